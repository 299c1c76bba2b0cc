// Runs the demo installation: install.exe in front of the sample installer, both in the
// directory given as the only argument. Prints the wrapper's trace as it comes, then the exit
// status as Windows sees it (all 32 bits) and the sample installer's log.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {
void PrintLogFile(const wchar_t* logPath);
}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount != 2) {
    fwprintf(stderr, L"usage: run_demo.exe <directory holding install.exe and setup.exe>\n");
    return 2;
  }
  const wchar_t* directory = arguments[1];

  wchar_t logPath[MAX_PATH];
  wchar_t commandLine[4 * MAX_PATH];
  swprintf(logPath, MAX_PATH, L"%ls\\demo.log", directory);
  // The log's path may hold spaces (the checkout's path), so it is quoted for the sample
  // installer, which reads its properties as Windows Installer does: three backslashes and a
  // quote reach setup.exe as a backslash and a quote, which its C runtime turns into the quote
  // around the value. The space after it keeps the /v text from ending in a quote, which
  // install.exe would turn into a backslash.
  swprintf(commandLine, sizeof(commandLine) / sizeof(commandLine[0]),
           L"\"%ls\\install.exe\" /display /s /v\"LOGFILE=\\\\\\\"%ls\\\\\\\" \"", directory,
           logPath);
  DeleteFileW(logPath);

  wprintf(L"> %ls\n\n", commandLine);
  fflush(stdout);

  STARTUPINFOW startupInfo;
  ZeroMemory(&startupInfo, sizeof(startupInfo));
  startupInfo.cb = sizeof(startupInfo);
  PROCESS_INFORMATION wrapper;
  if (!CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, directory, &startupInfo,
                      &wrapper)) {
    fwprintf(stderr, L"could not start install.exe (error %lu)\n", GetLastError());
    return 1;
  }
  WaitForSingleObject(wrapper.hProcess, INFINITE);
  DWORD exitCode = 0;
  const BOOL haveExitCode = GetExitCodeProcess(wrapper.hProcess, &exitCode);
  CloseHandle(wrapper.hProcess);
  CloseHandle(wrapper.hThread);
  if (!haveExitCode) {
    fwprintf(stderr, L"\ncould not read the exit status (error %lu)\n", GetLastError());
    return 1;
  }

  wprintf(L"\n\ninstall.exe exit status: %lu\n\n", exitCode);
  PrintLogFile(logPath);
  return 0;
}

namespace {

void PrintLogFile(const wchar_t* logPath) {
  FILE* log = _wfopen(logPath, L"r");
  if (log == NULL) {
    wprintf(L"The sample installer wrote no log at %ls.\n", logPath);
    return;
  }
  wprintf(L"The sample installer's log (%ls):\n", logPath);
  char line[512];
  while (fgets(line, sizeof(line), log) != NULL) {
    printf("  %s", line);
  }
  fclose(log);
}

}  // namespace
