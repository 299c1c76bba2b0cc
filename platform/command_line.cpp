#include "platform/command_line.h"

#include "platform/platform.h"

namespace {

// Where a scan writes; with null `arguments` and `text` the scan only counts.
struct ScanOutput {
  wchar_t** arguments;
  wchar_t* text;
  SIZE_T argumentCount;
  SIZE_T characterCount;
};

void ScanCommandLine(const wchar_t* commandLine, ScanOutput* output);
const wchar_t* ScanProgramName(const wchar_t* cursor, ScanOutput* output);
const wchar_t* ScanArgument(const wchar_t* cursor, ScanOutput* output);
void BeginArgument(ScanOutput* output);
void EmitCharacter(ScanOutput* output, wchar_t character);
void EndArgument(ScanOutput* output);
bool IsSeparator(wchar_t character);

}  // namespace

bool SplitCommandLine(const wchar_t* commandLine, int* argumentCount, wchar_t*** arguments) {
  *argumentCount = 0;
  *arguments = NULL;
  if (commandLine == NULL) {
    commandLine = L"";
  }

  ScanOutput counts = {NULL, NULL, 0, 0};
  ScanCommandLine(commandLine, &counts);

  // Both counts are bounded by the command line's own length, so the sum cannot overflow.
  const SIZE_T pointerBytes = (counts.argumentCount + 1) * sizeof(wchar_t*);
  void* block = platform::AllocateZeroed(pointerBytes + counts.characterCount * sizeof(wchar_t));
  if (block == NULL) {
    return false;
  }

  ScanOutput fill = {static_cast<wchar_t**>(block),
                     reinterpret_cast<wchar_t*>(static_cast<char*>(block) + pointerBytes), 0, 0};
  ScanCommandLine(commandLine, &fill);
  fill.arguments[fill.argumentCount] = NULL;

  *argumentCount = static_cast<int>(fill.argumentCount);
  *arguments = fill.arguments;
  return true;
}

void ReleaseArguments(wchar_t** arguments) {
  if (arguments != NULL) {
    platform::Release(arguments);
  }
}

namespace {

void ScanCommandLine(const wchar_t* commandLine, ScanOutput* output) {
  const wchar_t* cursor = ScanProgramName(commandLine, output);
  for (;;) {
    while (IsSeparator(*cursor)) {
      ++cursor;
    }
    if (*cursor == L'\0') {
      return;
    }
    cursor = ScanArgument(cursor, output);
  }
}

// The program's path knows no escapes: quotes only group, and are removed.
const wchar_t* ScanProgramName(const wchar_t* cursor, ScanOutput* output) {
  bool quoted = false;
  BeginArgument(output);
  for (; *cursor != L'\0'; ++cursor) {
    if (*cursor == L'"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(*cursor)) {
      break;
    } else {
      EmitCharacter(output, *cursor);
    }
  }
  EndArgument(output);
  return cursor;
}

const wchar_t* ScanArgument(const wchar_t* cursor, ScanOutput* output) {
  bool quoted = false;
  BeginArgument(output);
  for (;;) {
    SIZE_T backslashes = 0;
    while (*cursor == L'\\') {
      ++backslashes;
      ++cursor;
    }

    if (*cursor == L'"') {
      for (SIZE_T kept = backslashes / 2; kept > 0; --kept) {
        EmitCharacter(output, L'\\');
      }
      if (backslashes % 2 == 1) {
        EmitCharacter(output, L'"');
        ++cursor;
      } else if (quoted && cursor[1] == L'"') {
        EmitCharacter(output, L'"');
        cursor += 2;
      } else {
        quoted = !quoted;
        ++cursor;
      }
      continue;
    }

    for (; backslashes > 0; --backslashes) {
      EmitCharacter(output, L'\\');
    }
    if (*cursor == L'\0' || (!quoted && IsSeparator(*cursor))) {
      break;
    }
    EmitCharacter(output, *cursor);
    ++cursor;
  }
  EndArgument(output);
  return cursor;
}

void BeginArgument(ScanOutput* output) {
  if (output->arguments != NULL) {
    output->arguments[output->argumentCount] = output->text + output->characterCount;
  }
}

void EmitCharacter(ScanOutput* output, wchar_t character) {
  if (output->text != NULL) {
    output->text[output->characterCount] = character;
  }
  ++output->characterCount;
}

void EndArgument(ScanOutput* output) {
  EmitCharacter(output, L'\0');
  ++output->argumentCount;
}

bool IsSeparator(wchar_t character) { return character == L' ' || character == L'\t'; }

}  // namespace
