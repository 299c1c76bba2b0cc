// The wrapper's run: from its arguments to its exit status.
#pragma once

#include <windows.h>

// The inner installer: the start of its command line, and the name of the relaunched copies
// that are waited for.
extern const wchar_t InstallerName[];

// Runs the whole job once and returns the exit status: the installation's ReturnCode, 0 after
// the usage text, or 1603 when the wrapper's own work fails.
int RunWrapper(int argumentCount, wchar_t** arguments);

// An open, waitable handle of the first direct child of `parentProcessId` named like the
// inner installer (ignoring case), or null when there is none.
HANDLE FindChildInstaller(DWORD parentProcessId);

// Waits for each child installer of `parentProcessId` in turn until none is left.
void WaitForChildInstallers(DWORD parentProcessId);
