// The registry hand-off through which the inner installation reports its result: the keys,
// the removal of a stale result, and the reading of the result with retries.
#pragma once

#include <windows.h>

// All paths are relative to HKEY_LOCAL_MACHINE.
extern const wchar_t MakerKeyPath[];
extern const wchar_t WrapperKeyName[];
extern const wchar_t ResultKeyPath[];
extern const wchar_t MakerKeyName[];
extern const wchar_t MakerKeyParentPath[];
extern const wchar_t ReturnCodeValueName[];
// Every open and delete names the 32-bit view, where a 32-bit installer's writes land. The
// 32-bit wrapper gets that view anyway (32-bit Windows ignores the flag); a 64-bit build of
// the same sources would otherwise look in the 64-bit view.
const REGSAM ResultKeyView = KEY_WOW64_32KEY;

// Failed attempts allowed for opening the key and, separately, for reading the value.
const int RegistryAttempts = 10;
// The pause after every failed attempt.
const DWORD RegistryRetryPauseMs = 1000;
// The exit status of a run whose own work failed: ERROR_INSTALL_FAILURE.
const int InstallFailureCode = 1603;

// Deletes the single key `subKeyName` under `parentPath`; true when it existed and was deleted.
bool DeleteSubkey(const wchar_t* parentPath, const wchar_t* subKeyName);

// Reads the 32-bit value `valueName` of `keyPath` into `*code`, retrying while the key or the
// value is missing. On failure `*code` is InstallFailureCode.
bool ReadReturnCode(const wchar_t* keyPath, const wchar_t* valueName, int* code);

// Removes the wrapper key left by an earlier run.
void RemoveStaleResult();

// Sets `*exitCode` to the installation's result, or to InstallFailureCode when it cannot be
// read; after a successful read, deletes the wrapper key and then the maker key.
void CollectReturnCode(int* exitCode);
