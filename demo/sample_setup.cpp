// A sample inner installer for the demo. Like real bootstrappers it relaunches itself: the
// first process starts a copy of itself with "/installing" added and ends at once; the copy
// does the installation, logs to the LOGFILE property when one is given, and reports its
// result in the registry value the wrapper reads.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "handoff/registry_names.h"

namespace {

const wchar_t InstallingSwitch[] = L" /installing";
// Success, restart required: a value above 255 shows the status arriving whole.
const DWORD SampleResult = 3010;

bool Relaunch(const wchar_t* commandLine);
void LogLine(const wchar_t* logPath, const wchar_t* text);
bool FindLogFile(const wchar_t* commandLine, wchar_t* path, size_t capacity);
bool WriteResult(DWORD result);

}  // namespace

int main() {
  const wchar_t* commandLine = GetCommandLineW();
  wchar_t logPath[MAX_PATH] = L"";
  const bool logging = FindLogFile(commandLine, logPath, MAX_PATH);

  if (wcsstr(commandLine, InstallingSwitch) == NULL) {
    if (logging) {
      LogLine(logPath, L"bootstrapper: started, relaunching as the installing process");
    }
    return Relaunch(commandLine) ? 0 : 1;
  }

  if (logging) {
    LogLine(logPath, L"installer: copying files");
  }
  Sleep(1500);
  if (!WriteResult(SampleResult)) {
    if (logging) {
      LogLine(logPath, L"installer: could not write the result");
    }
    return 1;
  }
  if (logging) {
    LogLine(logPath, L"installer: done, result 3010 (restart required)");
  }
  return 0;
}

namespace {

bool Relaunch(const wchar_t* commandLine) {
  wchar_t self[MAX_PATH];
  const DWORD selfLength = GetModuleFileNameW(NULL, self, MAX_PATH);
  if (selfLength == 0 || selfLength == MAX_PATH) {
    return false;
  }
  const size_t capacity = wcslen(commandLine) + wcslen(InstallingSwitch) + 1;
  wchar_t* childCommandLine = static_cast<wchar_t*>(calloc(capacity, sizeof(wchar_t)));
  if (childCommandLine == NULL) {
    return false;
  }
  swprintf(childCommandLine, capacity, L"%ls%ls", commandLine, InstallingSwitch);

  STARTUPINFOW startupInfo;
  ZeroMemory(&startupInfo, sizeof(startupInfo));
  startupInfo.cb = sizeof(startupInfo);
  PROCESS_INFORMATION child;
  const BOOL started = CreateProcessW(self, childCommandLine, NULL, NULL, FALSE, 0, NULL, NULL,
                                      &startupInfo, &child);
  free(childCommandLine);
  if (!started) {
    return false;
  }
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  return true;
}

void LogLine(const wchar_t* logPath, const wchar_t* text) {
  FILE* log = _wfopen(logPath, L"a");
  if (log == NULL) {
    return;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  fwprintf(log, L"%02u:%02u:%02u.%03u [%lu] %ls\n", now.wHour, now.wMinute, now.wSecond,
           now.wMilliseconds, GetCurrentProcessId(), text);
  fclose(log);
}

// LOGFILE=<path> inside the /v"..." properties; the path ends at a space or a quote.
bool FindLogFile(const wchar_t* commandLine, wchar_t* path, size_t capacity) {
  const wchar_t* property = wcsstr(commandLine, L"LOGFILE=");
  if (property == NULL) {
    return false;
  }
  property += wcslen(L"LOGFILE=");
  size_t length = wcscspn(property, L" \"");
  if (length == 0 || length >= capacity) {
    return false;
  }
  wmemcpy(path, property, length);
  path[length] = L'\0';
  return true;
}

bool WriteResult(DWORD result) {
  HKEY key = NULL;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ResultKeyPath, 0, NULL, 0,
                      KEY_SET_VALUE | ResultKeyView, NULL, &key, NULL) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status = RegSetValueExW(key, ReturnCodeValueName, 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&result), sizeof(result));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace
