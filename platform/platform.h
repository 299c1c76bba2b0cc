// The Windows operations the wrapper uses. Every other module reaches Windows only through
// these declarations: the product links windows_platform.cpp, which forwards each one to the
// Windows function of the same name, and the unit tests link a simulated platform instead.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

namespace platform {

// Processes and synchronisation.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);

// Registry and the pause between registry attempts.
LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM desiredAccess, PHKEY result);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegDeleteKeyExW(HKEY parent, LPCWSTR subKey, REGSAM view, DWORD reserved);
LONG RegCloseKey(HKEY key);
void Sleep(DWORD milliseconds);

// Strings.
DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer);
int CompareStringW(LCID locale, DWORD flags, LPCWCH string1, int count1, LPCWCH string2, int count2);
int CompareStringOrdinal(LPCWCH string1, int count1, LPCWCH string2, int count2, BOOL ignoreCase);

// Memory: zero-filled blocks from the process heap; null when the heap refuses.
void* AllocateZeroed(SIZE_T bytes);
void Release(void* block);

// The process's own command line, as Windows received it.
LPCWSTR GetCommandLineW();

// Writes wide text to standard output at once, unbuffered: exact Unicode to a console,
// UTF-8 to a file or pipe. Nothing happens when there is no standard output.
void WriteStandardOutput(const wchar_t* text, SIZE_T length);

}  // namespace platform
