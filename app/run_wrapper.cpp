#include "app/run_wrapper.h"

#include "handoff/return_code_key.h"
#include "platform/output.h"
#include "platform/platform.h"
#include "switches/switch_translation.h"

const wchar_t InstallerName[] = L"setup.exe";

namespace {
bool StartInstaller(wchar_t* commandLine, PROCESS_INFORMATION* installer);
}  // namespace

int RunWrapper(int argumentCount, wchar_t** arguments) {
  bool helpRequested = false;
  bool silentRequested = false;
  wchar_t* commandLine = NULL;
  int exitCode = 0;
  PROCESS_INFORMATION installer;

  RemoveStaleResult();

  if (!BuildInstallerCommandLine(InstallerName, argumentCount, arguments, &commandLine,
                                 &helpRequested, &silentRequested)) {
    PrintMessage("Failed to process command line. Exiting.\n");
    exitCode = InstallFailureCode;
    goto Finish;
  }

  // Help alone is the inner installer's business: it is passed on and the run goes on.
  if (helpRequested && silentRequested) {
    PrintUsage();
    exitCode = 0;
    goto Finish;
  }

  PrintDisplayMessage("Calling %S\n", commandLine);
  if (!StartInstaller(commandLine, &installer)) {
    exitCode = InstallFailureCode;
    goto Finish;
  }

  // The installer's own exit code is not its result: the result comes from the registry.
  platform::WaitForSingleObject(installer.hProcess, INFINITE);

  // The handles stay open while its children are tracked, so that its identifier cannot be
  // reused by an unrelated process in the meantime.
  WaitForChildInstallers(installer.dwProcessId);
  platform::CloseHandle(installer.hProcess);
  platform::CloseHandle(installer.hThread);

  CollectReturnCode(&exitCode);

Finish:
  PrintDisplayMessage("Got ReturnCode: %d", exitCode);
  if (commandLine != NULL) {
    platform::Release(commandLine);
  }
  return exitCode;
}

HANDLE FindChildInstaller(DWORD parentProcessId) {
  HANDLE snapshot = platform::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return NULL;
  }

  HANDLE child = NULL;
  PROCESSENTRY32W entry;
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL found = platform::Process32FirstW(snapshot, &entry); found;
       found = platform::Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != parentProcessId) {
      continue;
    }
    // File names are case-insensitive: a package that ships Setup.exe relaunches as Setup.exe.
    if (platform::CompareStringOrdinal(entry.szExeFile, -1, InstallerName, -1, TRUE) !=
        CSTR_EQUAL) {
      PrintDisplayMessage("Found Child Process %S, not a match, continuing...\n", entry.szExeFile);
      continue;
    }
    PrintDisplayMessage("Found Child Process %S, waiting ...\n", entry.szExeFile);
    // A child that cannot be opened ends the tracking: the result is null.
    child = platform::OpenProcess(SYNCHRONIZE, TRUE, entry.th32ProcessID);
    break;
  }

  platform::CloseHandle(snapshot);
  return child;
}

void WaitForChildInstallers(DWORD parentProcessId) {
  for (HANDLE child = FindChildInstaller(parentProcessId); child != NULL;
       child = FindChildInstaller(parentProcessId)) {
    PrintDisplayMessage("Waiting for child process (0x%08d).\n",
                        static_cast<int>(reinterpret_cast<INT_PTR>(child)));
    platform::WaitForSingleObject(child, INFINITE);
    platform::CloseHandle(child);
  }
}

namespace {

// Starts the installer found by the platform's executable search, which looks in the
// wrapper's own directory first.
bool StartInstaller(wchar_t* commandLine, PROCESS_INFORMATION* installer) {
  STARTUPINFOW startupInfo;
  ZeroMemory(&startupInfo, sizeof(startupInfo));
  startupInfo.cb = sizeof(startupInfo);
  ZeroMemory(installer, sizeof(*installer));

  if (!platform::CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startupInfo,
                                installer)) {
    const DWORD error = platform::GetLastError();
    PrintDisplayMessage("Failed to start installer (%d).\n", static_cast<int>(error));
    return false;
  }
  return true;
}

}  // namespace
