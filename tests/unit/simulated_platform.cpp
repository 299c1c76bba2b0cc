#include "tests/unit/simulated_platform.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"

namespace simulated {

Simulation simulation;

void Reset() { simulation = Simulation(); }

RegistryKey& CreateKey(const std::wstring& path) {
  for (size_t separator = path.find(L'\\'); separator != std::wstring::npos;
       separator = path.find(L'\\', separator + 1)) {
    simulation.registry[path.substr(0, separator)].exists = true;
  }
  RegistryKey& key = simulation.registry[path];
  key.exists = true;
  return key;
}

bool KeyExists(const std::wstring& path) {
  const auto found = simulation.registry.find(path);
  return found != simulation.registry.end() && found->second.exists;
}

void AddProcess(DWORD id, DWORD parentId, const std::wstring& exeName, DWORD startsWhenEnds) {
  simulation.processes.push_back({id, parentId, exeName, startsWhenEnds, startsWhenEnds == 0});
}

std::vector<BYTE> Dword(DWORD value) {
  return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
          static_cast<BYTE>(value >> 24)};
}

namespace {

// Handle values are distinct and never reused within a test.
HANDLE NewHandleValue() {
  simulation.lastHandleValue += 4;
  return reinterpret_cast<HANDLE>(simulation.lastHandleValue);
}

HANDLE NewHandle(HandleKind kind, DWORD processId) {
  const HANDLE handle = NewHandleValue();
  simulation.handles[handle] = {kind, processId, {}, 0};
  return handle;
}

// A process ends once; the processes waiting for its end start then.
void EndProcess(DWORD id) {
  bool wasRunning = false;
  for (Process& process : simulation.processes) {
    if (process.id == id && process.running) {
      process.running = false;
      wasRunning = true;
    }
  }
  if (!wasRunning) {
    return;
  }
  for (Process& process : simulation.processes) {
    if (process.startsWhenEnds == id) {
      process.running = true;
    }
  }
  const auto hook = simulation.onProcessEnd.find(id);
  if (hook != simulation.onProcessEnd.end()) {
    hook->second();
  }
}

BOOL DeliverEntry(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  const auto found = simulation.handles.find(snapshot);
  if (found == simulation.handles.end() || found->second.kind != SnapshotHandle) {
    ADD_FAILURE() << "process walk on something that is not an open snapshot";
    return FALSE;
  }
  EXPECT_EQ(sizeof(PROCESSENTRY32W), entry->dwSize);
  OpenHandle& walk = found->second;
  if (walk.nextEntry == walk.snapshotEntries.size()) {
    return FALSE;
  }
  const Process& process = walk.snapshotEntries[walk.nextEntry++];
  entry->th32ProcessID = process.id;
  entry->th32ParentProcessID = process.parentId;
  lstrcpynW(entry->szExeFile, process.exeName.c_str(), MAX_PATH);
  return TRUE;
}

bool HasSubkeys(const std::wstring& path) {
  const std::wstring prefix = path + L"\\";
  for (const auto& key : simulation.registry) {
    if (key.second.exists && _wcsnicmp(key.first.c_str(), prefix.c_str(), prefix.size()) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace
}  // namespace simulated

namespace platform {

using simulated::simulation;

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
  EXPECT_EQ(nullptr, applicationName);
  EXPECT_EQ(nullptr, processAttributes);
  EXPECT_EQ(nullptr, threadAttributes);
  EXPECT_FALSE(inheritHandles);
  EXPECT_EQ(0u, creationFlags);
  EXPECT_EQ(nullptr, environment);
  EXPECT_EQ(nullptr, currentDirectory);
  STARTUPINFOW zeroed = {};
  zeroed.cb = sizeof(zeroed);
  EXPECT_EQ(0, memcmp(&zeroed, startupInfo, sizeof(zeroed))) << "start-up record not zeroed";

  simulation.processEvents.push_back("CreateProcess");
  simulation.startedCommandLines.push_back(commandLine);
  if (simulation.createProcessError != 0) {
    simulation.lastError = simulation.createProcessError;
    return FALSE;
  }
  simulated::AddProcess(simulated::LaunchedProcessId, simulated::WrapperProcessId, L"setup.exe", 0);
  processInformation->hProcess =
      simulated::NewHandle(simulated::ProcessHandle, simulated::LaunchedProcessId);
  processInformation->hThread =
      simulated::NewHandle(simulated::ThreadHandle, simulated::LaunchedProcessId);
  processInformation->dwProcessId = simulated::LaunchedProcessId;
  processInformation->dwThreadId = simulated::LaunchedProcessId + 1;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  EXPECT_EQ(INFINITE, milliseconds);
  const auto found = simulation.handles.find(handle);
  if (found == simulation.handles.end() || found->second.kind != simulated::ProcessHandle) {
    ADD_FAILURE() << "wait on something that is not an open process handle";
    return WAIT_FAILED;
  }
  const DWORD id = found->second.processId;
  simulation.processEvents.push_back("Wait " + std::to_string(id));
  simulated::EndProcess(id);
  return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
  const auto found = simulation.handles.find(handle);
  if (found == simulation.handles.end()) {
    ADD_FAILURE() << "CloseHandle of a handle that is not open: " << handle;
    return FALSE;
  }
  static const char* const kindNames[] = {"process ", "thread ", "snapshot"};
  const simulated::OpenHandle& closed = found->second;
  simulation.processEvents.push_back(
      std::string("Close ") + kindNames[closed.kind] +
      (closed.kind == simulated::SnapshotHandle ? "" : std::to_string(closed.processId)));
  simulation.handles.erase(found);
  return TRUE;
}

DWORD GetLastError() { return simulation.lastError; }

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  EXPECT_EQ(static_cast<DWORD>(TH32CS_SNAPPROCESS), flags);
  EXPECT_EQ(0u, processId);
  if (++simulation.snapshots == simulation.failingSnapshot) {
    simulation.processEvents.push_back("Snapshot refused");
    return INVALID_HANDLE_VALUE;
  }
  simulation.processEvents.push_back("Snapshot");
  const HANDLE snapshot = simulated::NewHandle(simulated::SnapshotHandle, 0);
  for (const simulated::Process& process : simulation.processes) {
    if (process.running) {
      simulation.handles[snapshot].snapshotEntries.push_back(process);
    }
  }
  return snapshot;
}

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  const auto found = simulation.handles.find(snapshot);
  if (found != simulation.handles.end()) {
    found->second.nextEntry = 0;
  }
  return simulated::DeliverEntry(snapshot, entry);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  return simulated::DeliverEntry(snapshot, entry);
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
  EXPECT_EQ(static_cast<DWORD>(SYNCHRONIZE), desiredAccess);
  EXPECT_TRUE(inheritHandle);
  const std::string id = std::to_string(processId);
  bool running = false;
  for (const simulated::Process& process : simulation.processes) {
    running = running || (process.id == processId && process.running);
  }
  if (!running || simulation.unopenableIds.count(processId) != 0) {
    simulation.processEvents.push_back("Open " + id + " refused");
    return NULL;
  }
  simulation.processEvents.push_back("Open " + id);
  const auto scripted = simulation.openHandleValues.find(processId);
  if (scripted == simulation.openHandleValues.end()) {
    return simulated::NewHandle(simulated::ProcessHandle, processId);
  }
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(scripted->second));
  EXPECT_EQ(0u, simulation.handles.count(handle)) << "scripted handle value already open";
  simulation.handles[handle] = {simulated::ProcessHandle, processId, {}, 0};
  return handle;
}

LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM desiredAccess, PHKEY result) {
  EXPECT_EQ(0u, options);
  const REGSAM view = desiredAccess & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  simulation.registryViews.push_back(view);
  const REGSAM access = desiredAccess & ~view;
  EXPECT_TRUE(access == KEY_READ || access == (KEY_READ | KEY_SET_VALUE)) << "access " << access;
  std::wstring path = subKey;
  if (parent != HKEY_LOCAL_MACHINE) {
    const auto found = simulation.openKeys.find(parent);
    if (found == simulation.openKeys.end()) {
      ADD_FAILURE() << "RegOpenKeyExW under a key that is not open";
      return ERROR_INVALID_HANDLE;
    }
    path = found->second + L"\\" + subKey;
  }
  simulated::RegistryKey& key = simulation.registry[path];
  if (++key.openAttempts == key.appearsAtOpenAttempt) {
    simulated::CreateKey(path);
  }
  if (!key.exists) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (key.opensToFail > 0) {
    --key.opensToFail;
    return ERROR_ACCESS_DENIED;
  }
  *result = reinterpret_cast<HKEY>(simulated::NewHandleValue());
  simulation.openKeys[*result] = path;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  EXPECT_EQ(nullptr, reserved);
  EXPECT_EQ(nullptr, type);
  EXPECT_EQ(sizeof(DWORD), *dataSize) << "data size not reset before the attempt";
  const auto found = simulation.openKeys.find(key);
  if (found == simulation.openKeys.end()) {
    ADD_FAILURE() << "RegQueryValueExW on a key that is not open";
    return ERROR_INVALID_HANDLE;
  }
  simulated::RegistryKey& record = simulation.registry[found->second];
  if (record.queriesToFail > 0) {
    --record.queriesToFail;
    return ERROR_FILE_NOT_FOUND;
  }
  const auto value = record.values.find(valueName);
  if (value == record.values.end()) {
    return ERROR_FILE_NOT_FOUND;
  }
  const DWORD size = static_cast<DWORD>(value->second.size());
  if (size > *dataSize) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  memcpy(data, value->second.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyExW(HKEY parent, LPCWSTR subKey, REGSAM view, DWORD reserved) {
  EXPECT_EQ(0u, reserved);
  simulation.registryViews.push_back(view);
  const auto found = simulation.openKeys.find(parent);
  if (found == simulation.openKeys.end()) {
    ADD_FAILURE() << "RegDeleteKeyExW under a key that is not open";
    return ERROR_INVALID_HANDLE;
  }
  const std::wstring path = found->second + L"\\" + subKey;
  simulated::RegistryKey& key = simulation.registry[path];
  if (!key.exists) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (key.deleteRefused || simulated::HasSubkeys(path)) {
    return ERROR_ACCESS_DENIED;
  }
  key.exists = false;
  key.values.clear();
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  const auto found = simulation.openKeys.find(key);
  if (found == simulation.openKeys.end()) {
    ADD_FAILURE() << "RegCloseKey of a key that is not open: " << key;
    return ERROR_INVALID_HANDLE;
  }
  const bool fails = simulation.registry[found->second].closeFails;
  simulation.openKeys.erase(found);
  return fails ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}

void Sleep(DWORD milliseconds) {
  ++simulation.sleeps;
  simulation.sleptMilliseconds += milliseconds;
}

DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
  EXPECT_EQ(0u, bufferLength);
  EXPECT_EQ(nullptr, buffer);
  return simulation.currentDirectoryChars;
}

int CompareStringW(LCID locale, DWORD flags, LPCWCH string1, int count1, LPCWCH string2,
                   int count2) {
  EXPECT_EQ(static_cast<LCID>(LOCALE_INVARIANT), locale);
  EXPECT_EQ(static_cast<DWORD>(NORM_IGNORECASE), flags);
  EXPECT_EQ(count1, count2);
  return ::CompareStringW(locale, flags, string1, count1, string2, count2);
}

int CompareStringOrdinal(LPCWCH string1, int count1, LPCWCH string2, int count2, BOOL ignoreCase) {
  return ::CompareStringOrdinal(string1, count1, string2, count2, ignoreCase);
}

void* AllocateZeroed(SIZE_T bytes) {
  if (++simulation.allocations == simulation.failingAllocation) {
    return NULL;
  }
  void* block = std::calloc(1, bytes == 0 ? 1 : bytes);
  simulation.liveBlocks.insert(block);
  return block;
}

void Release(void* block) {
  if (simulation.liveBlocks.erase(block) == 0) {
    ADD_FAILURE() << "Release of a block that is not allocated: " << block;
    return;
  }
  std::free(block);
}

LPCWSTR GetCommandLineW() { return L"install.exe"; }

void WriteStandardOutput(const wchar_t* text, SIZE_T length) {
  simulation.output.append(text, length);
  simulation.longestWrite = std::max(simulation.longestWrite, length);
}

}  // namespace platform
