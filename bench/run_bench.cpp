// Times "install.exe /s" in front of a trivial inner installer against that installer started
// directly. The two are interleaved, in alternating order, so that both share the machine's
// noise; each run starts with the result keys absent.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "handoff/registry_names.h"

namespace {

const wchar_t CodeVariable[] = L"QUENDLEBOX_BENCH_CODE";
const int WarmUpRuns = 2;
const int DefaultRuns = 25;
const int MinimumRuns = 20;
const int MemoryRuns = 5;
// The wrapper pauses 1000 ms before each registry retry; nothing else it does comes close.
const double PauseThresholdMs = 900.0;

struct Run {
  double milliseconds;
  DWORD exitCode;
};

struct Summary {
  double median;
  double minimum;
  double maximum;
};

bool Fail(const char* what) {
  std::printf("run_bench: %s failed (error %lu)\n", what, GetLastError());
  return false;
}

// Starts a program from a writable copy of its command line, as CreateProcessW needs.
bool StartProcess(const std::wstring& commandLine, PROCESS_INFORMATION* process) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startupInfo = {};
  startupInfo.cb = sizeof(startupInfo);
  return CreateProcessW(NULL, buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startupInfo,
                        process) || Fail("CreateProcessW");
}

// Starts a program and waits for it; the time covers CreateProcessW up to the process's end.
bool TimeRun(const std::wstring& commandLine, double ticksPerMs, Run* run) {
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  if (!QueryPerformanceCounter(&start)) return Fail("QueryPerformanceCounter");
  if (!StartProcess(commandLine, &process)) return false;
  const DWORD waited = WaitForSingleObject(process.hProcess, INFINITE);
  const BOOL timed = QueryPerformanceCounter(&end);
  bool ok = (waited == WAIT_OBJECT_0 && timed) || Fail("WaitForSingleObject");
  ok = ok && (GetExitCodeProcess(process.hProcess, &run->exitCode) || Fail("GetExitCodeProcess"));
  if (!CloseHandle(process.hThread) || !CloseHandle(process.hProcess)) ok = Fail("CloseHandle");
  run->milliseconds = static_cast<double>(end.QuadPart - start.QuadPart) / ticksPerMs;
  return ok;
}

// Wine reports zero memory counters for a process that has ended, so the peak working set is
// read while the process is alive: the trivial installer, once it has written its result,
// holds on an event until the reading is done. For install.exe the figure thus covers its run
// up to its wait for setup.exe, not the registry read and key removal after it.
bool MeasureHeldPeak(const std::wstring& commandLine, SIZE_T* peak) {
  HANDLE ready = CreateEventW(NULL, FALSE, FALSE, L"QuendleboxBenchReady");
  HANDLE release = CreateEventW(NULL, TRUE, FALSE, L"QuendleboxBenchRelease");
  if (ready == NULL || release == NULL) {
    Fail("CreateEventW");
    if (ready != NULL) CloseHandle(ready);
    if (release != NULL) CloseHandle(release);
    return false;
  }
  PROCESS_INFORMATION process = {};
  bool ok = StartProcess(commandLine, &process);
  if (ok) {
    // The process ending first means the installer never held.
    HANDLE waitFor[2] = {ready, process.hProcess};
    ok = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_OBJECT_0 ||
         Fail("holding setup.exe");
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ok = ok && (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)) ||
                Fail("GetProcessMemoryInfo"));
    *peak = counters.PeakWorkingSetSize;
    ok = (SetEvent(release) || Fail("SetEvent")) && ok;
    ok = (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 ||
          Fail("WaitForSingleObject")) && ok;
    if (!CloseHandle(process.hThread) || !CloseHandle(process.hProcess)) ok = Fail("CloseHandle");
  }
  if (!CloseHandle(release) || !CloseHandle(ready)) ok = Fail("CloseHandle");
  return ok;
}

bool DeleteKeyIfPresent(const wchar_t* path) {
  const LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, ResultKeyView, 0);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    std::printf("run_bench: cannot delete HKLM\\%ls (%ld)\n", path, status);
    return false;
  }
  return true;
}

bool DeleteResultKeys() {
  return DeleteKeyIfPresent(ResultKeyPath) && DeleteKeyIfPresent(MakerKeyPath);
}

bool ReadResult(DWORD* value) {
  HKEY key = NULL;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ResultKeyPath, 0,
                              KEY_QUERY_VALUE | ResultKeyView, &key);
  if (status == ERROR_SUCCESS) {
    DWORD size = sizeof(*value);
    status = RegGetValueW(key, NULL, ReturnCodeValueName, RRF_RT_REG_DWORD, NULL, value, &size);
    const LONG closed = RegCloseKey(key);
    if (status == ERROR_SUCCESS) {
      status = closed;
    }
  }
  if (status != ERROR_SUCCESS) {
    std::printf("run_bench: ReturnCode not written (%ld)\n", status);
    return false;
  }
  return true;
}

void PrintRow(const char* label, const Summary& summary, double unit, int decimals) {
  std::printf("%-38s %9.*f %9.*f %9.*f\n", label, decimals, summary.median / unit, decimals,
              summary.minimum / unit, decimals, summary.maximum / unit);
}

template <typename T>
Summary Summarise(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  const double median = values.size() % 2 != 0
                            ? static_cast<double>(values[middle])
                            : (static_cast<double>(values[middle - 1]) + values[middle]) / 2.0;
  return {median, static_cast<double>(values.front()), static_cast<double>(values.back())};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc == 4 ? _wtoi(argv[3]) : DefaultRuns;
  if ((argc != 3 && argc != 4) || runs < MinimumRuns) {
    std::printf("usage: run_bench <install.exe> <trivial setup.exe> [runs, at least %d]\n",
                MinimumRuns);
    return 2;
  }

  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency)) {
    Fail("QueryPerformanceFrequency");
    return 1;
  }
  const double ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

  // Copies in a directory of their own, so that the wrapper finds this setup.exe beside it.
  wchar_t tempPath[MAX_PATH];
  const DWORD tempLength = GetTempPathW(MAX_PATH, tempPath);
  if (tempLength == 0 || tempLength >= MAX_PATH) {
    Fail("GetTempPathW");
    return 1;
  }
  const std::wstring directory =
      std::wstring(tempPath) + L"install-bench-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring wrapperPath = directory + L"\\install.exe";
  const std::wstring setupPath = directory + L"\\setup.exe";
  if (!CreateDirectoryW(directory.c_str(), NULL)) {
    Fail("CreateDirectoryW");
    return 1;
  }
  WIN32_FILE_ATTRIBUTE_DATA wrapperFile;
  bool ok = CopyFileW(argv[1], wrapperPath.c_str(), TRUE) || Fail("CopyFileW install.exe");
  ok = ok && (CopyFileW(argv[2], setupPath.c_str(), TRUE) || Fail("CopyFileW setup.exe"));
  ok = ok && (GetFileAttributesExW(wrapperPath.c_str(), GetFileExInfoStandard, &wrapperFile) ||
              Fail("GetFileAttributesExW"));
  ok = ok && DeleteResultKeys();

  const std::wstring wrapperCommand = L"\"" + wrapperPath + L"\" /s";
  const std::wstring setupCommand = L"\"" + setupPath + L"\" /s";
  std::vector<double> wrapperMs, directMs;
  std::vector<SIZE_T> wrapperPeak, directPeak;
  int wrongCodes = 0;
  int pauses = 0;
  for (int i = -WarmUpRuns; ok && i < runs; ++i) {
    // A fresh value every run: a wrapper that returned a stale result would be caught.
    const DWORD expected = 1000 + static_cast<DWORD>(i + WarmUpRuns);
    ok = SetEnvironmentVariableW(CodeVariable, std::to_wstring(expected).c_str()) ||
         Fail("SetEnvironmentVariableW");
    for (int turn = 0; ok && turn < 2; ++turn) {
      const bool wrapperTurn = (turn == 0) == (i % 2 == 0);
      Run run = {};
      DWORD written = 0;
      ok = DeleteResultKeys() && TimeRun(wrapperTurn ? wrapperCommand : setupCommand,
                                         ticksPerMs, &run);
      if (ok && !wrapperTurn) {
        ok = ReadResult(&written);
        if (ok && (written != expected || run.exitCode != 0)) {
          std::printf("run_bench: setup.exe alone wrote %lu, exited %lu\n", written, run.exitCode);
          ok = false;
        }
      }
      if (!ok || i < 0) continue;
      if (wrapperTurn) {
        if (run.exitCode != expected) {
          std::printf("run %d: install.exe exited %ld, expected %lu\n", i + 1,
                      static_cast<long>(run.exitCode), expected);
          ++wrongCodes;
        }
        if (run.milliseconds >= PauseThresholdMs) {
          std::printf("run %d: install.exe took %.1f ms: it hit a registry retry pause\n", i + 1,
                      run.milliseconds);
          ++pauses;
        }
      }
      (wrapperTurn ? wrapperMs : directMs).push_back(run.milliseconds);
    }
  }
  for (int i = 0; ok && i < MemoryRuns; ++i) {
    SIZE_T peak = 0;
    ok = DeleteResultKeys() && MeasureHeldPeak(wrapperCommand, &peak);
    wrapperPeak.push_back(peak);
    ok = ok && DeleteResultKeys() && MeasureHeldPeak(setupCommand, &peak);
    directPeak.push_back(peak);
  }

  ok = DeleteResultKeys() && ok;
  ok = (SetEnvironmentVariableW(CodeVariable, NULL) || Fail("SetEnvironmentVariableW")) && ok;
  // A copy that failed is not there to delete.
  ok = (DeleteFileW(wrapperPath.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
        Fail("DeleteFileW install.exe")) && ok;
  ok = (DeleteFileW(setupPath.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
        Fail("DeleteFileW setup.exe")) && ok;
  ok = (RemoveDirectoryW(directory.c_str()) || Fail("RemoveDirectoryW")) && ok;
  if (!ok) return 1;

  const Summary wrapper = Summarise(wrapperMs);
  const Summary direct = Summarise(directMs);
  std::printf("%d runs each, interleaved, after %d warm-up runs each. Time: CreateProcessW to\n"
              "process end (QueryPerformanceCounter). Peak working set: read while the process\n"
              "is alive (%d runs each), install.exe waiting for a setup.exe held after writing.\n\n",
              runs, WarmUpRuns, MemoryRuns);
  std::printf("%-38s %9s %9s %9s\n", "", "median", "min", "max");
  PrintRow("install.exe /s + setup.exe (ms)", wrapper, 1.0, 2);
  PrintRow("setup.exe alone (ms)", direct, 1.0, 2);
  PrintRow("peak working set, install.exe (KiB)", Summarise(wrapperPeak), 1024.0, 0);
  PrintRow("peak working set, setup.exe (KiB)", Summarise(directPeak), 1024.0, 0);
  std::printf("%-38s %9.2f\n", "ratio of medians", wrapper.median / direct.median);
  std::printf("%-38s %9.2f\n", "wrapper overhead (ms, median diff)",
              wrapper.median - direct.median);
  const unsigned long long fileSize =
      (static_cast<unsigned long long>(wrapperFile.nFileSizeHigh) << 32) | wrapperFile.nFileSizeLow;
  std::printf("%-38s %9llu\n", "install.exe file size (bytes)", fileSize);
  std::printf("%-38s %6d/%d\n", "wrapper exit code = value written", runs - wrongCodes, runs);
  std::printf("%-38s %9d\n", "wrapper runs >= 900 ms (retry pause)", pauses);
  return wrongCodes == 0 && pauses == 0 ? 0 : 1;
}
