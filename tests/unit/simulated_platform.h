// A scripted stand-in for the operations of platform/platform.h: a registry, a process table,
// a heap and standard output that a test sets up beforehand and inspects afterwards, able to
// produce the failures a real system rarely does. Misused arguments and closes of handles that
// are not open are reported as test failures where they happen.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace simulated {

struct NoCaseLess {
  bool operator()(const std::wstring& left, const std::wstring& right) const {
    return _wcsicmp(left.c_str(), right.c_str()) < 0;
  }
};

struct RegistryKey {
  bool exists = false;
  int appearsAtOpenAttempt = 0;  // created just before this open attempt of its path (1-based)
  int opensToFail = 0;           // open attempts refused although the key exists
  int queriesToFail = 0;         // value queries refused before the value is delivered
  bool deleteRefused = false;
  bool closeFails = false;  // RegCloseKey reports an error for every key opened by this path
  std::map<std::wstring, std::vector<BYTE>, NoCaseLess> values;
  int openAttempts = 0;
};

struct Process {
  DWORD id;
  DWORD parentId;
  std::wstring exeName;
  DWORD startsWhenEnds;  // 0: running from the start; else starts when that process ends
  bool running;
};

enum HandleKind { ProcessHandle, ThreadHandle, SnapshotHandle };

struct OpenHandle {
  HandleKind kind;
  DWORD processId;
  std::vector<Process> snapshotEntries;
  size_t nextEntry;
};

const DWORD WrapperProcessId = 4;
const DWORD LaunchedProcessId = 100;

struct Simulation {
  // Registry under HKEY_LOCAL_MACHINE, by path.
  std::map<std::wstring, RegistryKey, NoCaseLess> registry;

  // Processes in snapshot order. CreateProcessW appends the launched installer,
  // LaunchedProcessId, named setup.exe, whose parent is the wrapper.
  std::vector<Process> processes;
  DWORD createProcessError = 0;  // non-zero: CreateProcessW fails with this last-error code
  int failingSnapshot = 0;       // number (1-based) of the snapshot that cannot be taken
  std::set<DWORD> unopenableIds;
  std::map<DWORD, DWORD> openHandleValues;  // the handle value OpenProcess gives for an id
  std::map<DWORD, std::function<void()>> onProcessEnd;

  int failingAllocation = 0;  // number (1-based) of the allocation that returns null
  DWORD currentDirectoryChars = 4;

  // What the code under test did.
  std::wstring output;
  SIZE_T longestWrite = 0;  // characters, of a single write to standard output
  std::vector<std::wstring> startedCommandLines;
  std::vector<std::string> processEvents;
  std::vector<REGSAM> registryViews;  // the view bits of every registry open and delete
  int snapshots = 0;
  int allocations = 0;
  int sleeps = 0;
  DWORD sleptMilliseconds = 0;
  DWORD lastError = 0;

  // What is open now.
  std::map<HANDLE, OpenHandle> handles;
  std::map<HKEY, std::wstring> openKeys;
  std::set<void*> liveBlocks;
  UINT_PTR lastHandleValue = 0x10000;
};

extern Simulation simulation;

void Reset();

// Creates the key and every key above it.
RegistryKey& CreateKey(const std::wstring& path);
bool KeyExists(const std::wstring& path);

void AddProcess(DWORD id, DWORD parentId, const std::wstring& exeName, DWORD startsWhenEnds);

// The four little-endian bytes of a REG_DWORD.
std::vector<BYTE> Dword(DWORD value);

}  // namespace simulated
