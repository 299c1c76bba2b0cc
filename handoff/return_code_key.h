// The registry hand-off through which the inner installation reports its result: the keys,
// the removal of a stale result, and the reading of the result with retries.
#pragma once

#include <windows.h>

#include "handoff/registry_names.h"

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
