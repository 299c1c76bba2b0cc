#include "handoff/return_code_key.h"

#include "platform/output.h"
#include "platform/platform.h"

bool DeleteSubkey(const wchar_t* parentPath, const wchar_t* subKeyName) {
  HKEY parent = NULL;
  if (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath, 0,
                              KEY_READ | KEY_SET_VALUE | ResultKeyView, &parent) != ERROR_SUCCESS) {
    PrintDisplayMessage("Failed to open registry key %S.\n", parentPath);
    return false;
  }
  PrintDisplayMessage("Opened key %S\n", parentPath);

  // Opened only to learn whether it exists; any failure counts as absence.
  HKEY subKey = NULL;
  if (platform::RegOpenKeyExW(parent, subKeyName, 0, KEY_READ | ResultKeyView, &subKey) !=
      ERROR_SUCCESS) {
    platform::RegCloseKey(parent);
    return false;
  }
  platform::RegCloseKey(subKey);

  // One key only: the registry refuses to delete a key that still has subkeys.
  if (platform::RegDeleteKeyExW(parent, subKeyName, ResultKeyView, 0) != ERROR_SUCCESS) {
    PrintDisplayMessage("Failed to delete key %S.\n", subKeyName);
    platform::RegCloseKey(parent);
    return false;
  }
  PrintDisplayMessage("Deleted key %S\n", subKeyName);

  if (platform::RegCloseKey(parent) != ERROR_SUCCESS) {
    PrintMessage("Error, could not close key %S", parentPath);
  }
  return true;
}

bool ReadReturnCode(const wchar_t* keyPath, const wchar_t* valueName, int* code) {
  *code = 0;

  HKEY key = NULL;
  int failedOpens = 0;
  while (platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | ResultKeyView,
                                 &key) != ERROR_SUCCESS) {
    platform::Sleep(RegistryRetryPauseMs);
    if (++failedOpens == RegistryAttempts) {
      *code = InstallFailureCode;
      return false;
    }
  }

  // The type is not examined. A value of more than four bytes is never delivered, so it
  // fails every attempt; a shorter one fills only its own bytes of the zeroed code.
  int failedQueries = 0;
  for (;;) {
    *code = 0;
    DWORD size = sizeof(*code);
    if (platform::RegQueryValueExW(key, valueName, NULL, NULL, reinterpret_cast<LPBYTE>(code),
                                   &size) == ERROR_SUCCESS) {
      break;
    }
    platform::Sleep(RegistryRetryPauseMs);
    if (++failedQueries == RegistryAttempts) {
      *code = InstallFailureCode;
      platform::RegCloseKey(key);
      return false;
    }
  }

  platform::RegCloseKey(key);
  return true;
}

void RemoveStaleResult() { DeleteSubkey(MakerKeyPath, WrapperKeyName); }

void CollectReturnCode(int* exitCode) {
  if (!ReadReturnCode(ResultKeyPath, ReturnCodeValueName, exitCode)) {
    PrintDisplayMessage("Failed to get returncode (%S).\n", ResultKeyPath);
    return;
  }
  PrintDisplayMessage("Read returncode key %d\n", *exitCode);

  // A failed deletion is reported in DisplayMode only; the value read stands.
  if (!DeleteSubkey(MakerKeyPath, WrapperKeyName)) {
    PrintDisplayMessage("Failed to delete key %S.\n", WrapperKeyName);
    return;
  }
  if (!DeleteSubkey(MakerKeyParentPath, MakerKeyName)) {
    PrintDisplayMessage("Failed to delete key %S.\n", MakerKeyName);
  }
}
