// The product's platform: each operation forwards to the Windows function of the same name.
#include "platform/platform.h"

#include <wchar.h>

namespace platform {

namespace {
// The longest command line Windows passes to a new process, terminator excluded.
const SIZE_T MaxProcessCommandLineChars = 32766;
// Wide characters converted to UTF-8 per write; a UTF-16 unit never needs more than 3 bytes.
const SIZE_T OutputChunkChars = 1024;

SIZE_T ChunkLength(const wchar_t* text, SIZE_T remaining);
DWORD ExpandLineEnds(const char* bytes, DWORD count, char* expanded);
bool WriteAllBytes(HANDLE output, const char* bytes, DWORD count);
}  // namespace

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
  // Windows refuses a longer command line; some implementations (Wine) start the process
  // with the line cut short instead, which would run the installer with switches missing.
  if (commandLine != NULL && wcslen(commandLine) > MaxProcessCommandLineChars) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  return ::CreateProcessW(applicationName, commandLine, processAttributes, threadAttributes,
                          inheritHandles, creationFlags, environment, currentDirectory, startupInfo,
                          processInformation);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

DWORD GetLastError() { return ::GetLastError(); }

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  return ::CreateToolhelp32Snapshot(flags, processId);
}

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  return ::Process32FirstW(snapshot, entry);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  return ::Process32NextW(snapshot, entry);
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
  return ::OpenProcess(desiredAccess, inheritHandle, processId);
}

LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM desiredAccess, PHKEY result) {
  return ::RegOpenKeyExW(parent, subKey, options, desiredAccess, result);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  return ::RegQueryValueExW(key, valueName, reserved, type, data, dataSize);
}

LONG RegDeleteKeyExW(HKEY parent, LPCWSTR subKey, REGSAM view, DWORD reserved) {
  return ::RegDeleteKeyExW(parent, subKey, view, reserved);
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
  return ::GetCurrentDirectoryW(bufferLength, buffer);
}

int CompareStringW(LCID locale, DWORD flags, LPCWCH string1, int count1, LPCWCH string2, int count2) {
  return ::CompareStringW(locale, flags, string1, count1, string2, count2);
}

int CompareStringOrdinal(LPCWCH string1, int count1, LPCWCH string2, int count2, BOOL ignoreCase) {
  return ::CompareStringOrdinal(string1, count1, string2, count2, ignoreCase);
}

void* AllocateZeroed(SIZE_T bytes) { return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }

void Release(void* block) { ::HeapFree(::GetProcessHeap(), 0, block); }

LPCWSTR GetCommandLineW() { return ::GetCommandLineW(); }

void WriteStandardOutput(const wchar_t* text, SIZE_T length) {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == NULL || output == INVALID_HANDLE_VALUE) {
    return;
  }

  DWORD consoleMode = 0;
  const bool toConsole = ::GetConsoleMode(output, &consoleMode) != FALSE;
  while (length > 0) {
    const SIZE_T chunk = ChunkLength(text, length);
    if (toConsole) {
      DWORD written = 0;
      if (!::WriteConsoleW(output, text, static_cast<DWORD>(chunk), &written, NULL)) {
        return;
      }
    } else {
      // No flags: an unpaired surrogate becomes U+FFFD instead of failing the whole chunk.
      char bytes[OutputChunkChars * 3];
      char expanded[sizeof(bytes) * 2];
      const int count = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(chunk), bytes,
                                              sizeof(bytes), NULL, NULL);
      if (count <= 0 ||
          !WriteAllBytes(output, expanded,
                         ExpandLineEnds(bytes, static_cast<DWORD>(count), expanded))) {
        return;
      }
    }
    text += chunk;
    length -= chunk;
  }
}

namespace {

// A chunk never ends between the two halves of a surrogate pair, so each converts whole.
SIZE_T ChunkLength(const wchar_t* text, SIZE_T remaining) {
  if (remaining <= OutputChunkChars) {
    return remaining;
  }
  SIZE_T chunk = OutputChunkChars;
  if (IS_HIGH_SURROGATE(text[chunk - 1])) {
    --chunk;
  }
  return chunk;
}

// Lines written to a file or pipe end in CR LF, as Windows programs' text output does, so a
// deployment tool's log reads the same as from any other console program.
DWORD ExpandLineEnds(const char* bytes, DWORD count, char* expanded) {
  DWORD length = 0;
  for (DWORD index = 0; index < count; ++index) {
    if (bytes[index] == '\n') {
      expanded[length++] = '\r';
    }
    expanded[length++] = bytes[index];
  }
  return length;
}

bool WriteAllBytes(HANDLE output, const char* bytes, DWORD count) {
  while (count > 0) {
    DWORD written = 0;
    if (!::WriteFile(output, bytes, count, &written, NULL) || written == 0) {
      return false;
    }
    bytes += written;
    count -= written;
  }
  return true;
}

}  // namespace

}  // namespace platform
