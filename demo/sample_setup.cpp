// A sample inner installer for the demo. Like real bootstrappers it relaunches itself: the
// first process starts a copy of itself with "/installing" added and ends at once; the copy
// does the installation, logs to the LOGFILE property of its /v argument when one is given,
// and reports its result in the registry value the wrapper reads. It reads its properties as
// a bootstrapper that hands them to Windows Installer does, so a demo that works in front of
// it quotes a path with spaces the way such an installer needs.
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
bool FindLogFile(int argumentCount, wchar_t** arguments, wchar_t* path, size_t capacity);
const wchar_t* ReadPropertyValue(const wchar_t* text, wchar_t* value, size_t capacity,
                                 bool* fits);
bool WriteResult(DWORD result);

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  const wchar_t* commandLine = GetCommandLineW();
  wchar_t logPath[MAX_PATH] = L"";
  const bool logging = FindLogFile(argumentCount, arguments, logPath, MAX_PATH);

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

// LOGFILE among the properties of the first argument that begins with /v, the arguments split
// by the C runtime's rules as any setup.exe splits them. The properties are separated by
// spaces or tabs, as on Windows Installer's command line.
bool FindLogFile(int argumentCount, wchar_t** arguments, wchar_t* path, size_t capacity) {
  const wchar_t Name[] = L"LOGFILE=";
  const size_t nameLength = wcslen(Name);
  for (int index = 1; index < argumentCount; ++index) {
    if (_wcsnicmp(arguments[index], L"/v", 2) != 0) {
      continue;
    }
    const wchar_t* property = arguments[index] + 2;
    while (*property != L'\0') {
      property += wcsspn(property, L" \t");
      const bool isLogFile = wcsncmp(property, Name, nameLength) == 0;
      bool fits = false;
      const wchar_t* next = ReadPropertyValue(property + (isLogFile ? nameLength : 0), path,
                                              capacity, &fits);
      if (isLogFile) {
        return fits && path[0] != L'\0';
      }
      property = next;
    }
    return false;
  }
  return false;
}

// Reads a value as Windows Installer reads a property value on its command line: double quotes
// group text with spaces and are removed, two of them inside quotes stand for one, and an
// unquoted space or tab ends the value. Copies it into `value` (of `capacity` characters,
// `*fits` false when it is longer) and returns where the value ends.
const wchar_t* ReadPropertyValue(const wchar_t* text, wchar_t* value, size_t capacity,
                                 bool* fits) {
  size_t length = 0;
  bool quoted = false;
  for (; *text != L'\0'; ++text) {
    if (*text == L'"') {
      if (!quoted || text[1] != L'"') {
        quoted = !quoted;
        continue;
      }
      ++text;
    } else if (!quoted && (*text == L' ' || *text == L'\t')) {
      break;
    }
    if (length + 1 < capacity) {
      value[length] = *text;
    }
    ++length;
  }
  *fits = length < capacity;
  if (capacity > 0) {
    value[*fits ? length : capacity - 1] = L'\0';
  }
  return text;
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
