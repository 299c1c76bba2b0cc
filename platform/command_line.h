// Splits the process's command line into a wide-character argument vector. The wrapper does
// this itself instead of relying on the C runtime, whose rules differ between Windows versions.
#pragma once

// Splits `commandLine` into `*argumentCount` arguments. Argument 0, the program's path, always
// exists: it ends at the first space or tab outside double quotes, and its quotes are removed.
// The others follow these rules:
// - arguments are separated by spaces or tabs outside a quoted stretch;
// - a double quote opens or closes a quoted stretch and is removed;
// - inside a quoted stretch, two double quotes give one literal double quote and the stretch
//   goes on;
// - 2n backslashes followed by a double quote give n backslashes and the quote acts as a
//   delimiter; 2n+1 backslashes followed by a double quote give n backslashes and a literal
//   double quote;
// - backslashes not followed by a double quote are literal.
// The vector ends with a null entry and lives in one block; release it with ReleaseArguments.
// Returns false when the block cannot be allocated.
bool SplitCommandLine(const wchar_t* commandLine, int* argumentCount, wchar_t*** arguments);

void ReleaseArguments(wchar_t** arguments);
