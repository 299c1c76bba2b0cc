// A stand-in inner installer that does nothing but hand its result over at once: the value
// comes from QUENDLEBOX_BENCH_CODE (0 when unset), so the caller can tell a fresh result from
// a stale one. When the benchmark has created its hold event, it stays alive after writing
// until that event is set, so that the process waiting for it can be inspected.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "handoff/registry_names.h"

int main() {
  DWORD code = 0;
  wchar_t text[16];
  const DWORD length = GetEnvironmentVariableW(L"QUENDLEBOX_BENCH_CODE", text, 16);
  if (length > 0 && length < 16) {
    code = static_cast<DWORD>(wcstoul(text, NULL, 10));
  }

  HKEY key = NULL;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ResultKeyPath, 0, NULL, 0,
                                KEY_SET_VALUE | ResultKeyView, NULL, &key, NULL);
  if (status != ERROR_SUCCESS) {
    std::printf("trivial setup: cannot create the result key (%ld)\n", status);
    return 1;
  }
  status = RegSetValueExW(key, ReturnCodeValueName, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&code), sizeof(code));
  const LONG closeStatus = RegCloseKey(key);
  if (status != ERROR_SUCCESS || closeStatus != ERROR_SUCCESS) {
    std::printf("trivial setup: cannot write ReturnCode (%ld, %ld)\n", status, closeStatus);
    return 1;
  }

  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, L"QuendleboxBenchRelease");
  if (release == NULL) {
    return 0;
  }
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QuendleboxBenchReady");
  const bool held = ready != NULL && SetEvent(ready) &&
                    WaitForSingleObject(release, INFINITE) == WAIT_OBJECT_0;
  if (!held) {
    std::printf("trivial setup: hold failed (%lu)\n", GetLastError());
  }
  if ((ready != NULL && !CloseHandle(ready)) || !CloseHandle(release)) {
    std::printf("trivial setup: CloseHandle failed (%lu)\n", GetLastError());
    return 1;
  }
  return held ? 0 : 1;
}
