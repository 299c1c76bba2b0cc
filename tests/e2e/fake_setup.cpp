// A stand-in for the inner installer, copied by the end-to-end tests as setup.exe (or under
// other names). It is steered only by environment variables, because its command line is
// what the tests examine:
//   E2E_FAKE_LOG         file that receives one record per started copy (see below)
//   E2E_FAKE_PLAN        steps per generation: generations separated by '|', steps by ','
//   E2E_FAKE_GENERATION  this copy's generation, set by its parent (absent: 0)
// Steps:
//   spawn:<path>   start <own directory>\<path> as the next generation, without waiting
//   sleep:<ms>     pause
//   dword:<n>      write ReturnCode as REG_DWORD (n in decimal or 0x hex)
//   sz:<text>      write ReturnCode as REG_SZ
//   key            create the result key only
// Records are appended to the log file: a 32-bit kind (RecordStarted or RecordError), then
// length-prefixed UTF-16 fields, so that any command line survives unchanged.
// A started record holds the module path and the raw command line; an error record a text.
#include <windows.h>

#include <string>
#include <vector>

#include "handoff/registry_names.h"

namespace {

const DWORD RecordStarted = 1;
const DWORD RecordError = 2;

std::wstring ReadEnvironment(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, NULL, 0);
  if (needed == 0) {
    return std::wstring();
  }
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, &value[0], needed);
  value.resize(length < needed ? length : 0);
  return value;
}

void AppendField(std::vector<char>* record, const std::wstring& text) {
  const DWORD length = static_cast<DWORD>(text.size());
  const char* lengthBytes = reinterpret_cast<const char*>(&length);
  record->insert(record->end(), lengthBytes, lengthBytes + sizeof(length));
  const char* textBytes = reinterpret_cast<const char*>(text.data());
  record->insert(record->end(), textBytes, textBytes + text.size() * sizeof(wchar_t));
}

// One WriteFile per record, so that copies running side by side do not interleave.
bool AppendRecord(DWORD kind, const std::vector<std::wstring>& fields) {
  const std::wstring logPath = ReadEnvironment(L"E2E_FAKE_LOG");
  if (logPath.empty()) {
    return false;
  }
  std::vector<char> record(reinterpret_cast<const char*>(&kind),
                           reinterpret_cast<const char*>(&kind) + sizeof(kind));
  for (const std::wstring& field : fields) {
    AppendField(&record, field);
  }
  HANDLE log = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (log == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const BOOL wrote = WriteFile(log, record.data(), static_cast<DWORD>(record.size()), &written, NULL);
  const BOOL closed = CloseHandle(log);
  return wrote && closed && written == record.size();
}

bool Fail(const std::wstring& what) {
  AppendRecord(RecordError, {what + L" (error " + std::to_wstring(GetLastError()) + L")"});
  return false;
}

std::wstring ModulePath() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(NULL, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  return path;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::wstring::npos) {
      return parts;
    }
    start = end + 1;
  }
}

bool WriteResult(DWORD type, const void* data, DWORD size) {
  HKEY key = NULL;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ResultKeyPath, 0, NULL, 0,
                                KEY_SET_VALUE | ResultKeyView, NULL, &key, NULL);
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return Fail(L"RegCreateKeyExW");
  }
  if (data != NULL) {
    status = RegSetValueExW(key, ReturnCodeValueName, 0, type, static_cast<const BYTE*>(data), size);
  }
  const LONG closed = RegCloseKey(key);
  if (status != ERROR_SUCCESS || closed != ERROR_SUCCESS) {
    SetLastError(status != ERROR_SUCCESS ? status : closed);
    return Fail(L"RegSetValueExW");
  }
  return true;
}

bool Spawn(const std::wstring& relativePath, int generation) {
  const std::wstring own = ModulePath();
  const std::wstring path = own.substr(0, own.find_last_of(L'\\') + 1) + relativePath;
  if (!SetEnvironmentVariableW(L"E2E_FAKE_GENERATION", std::to_wstring(generation + 1).c_str())) {
    return Fail(L"SetEnvironmentVariableW");
  }
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child;
  if (!CreateProcessW(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                      &child)) {
    return Fail(L"CreateProcessW " + path);
  }
  if (!CloseHandle(child.hThread) || !CloseHandle(child.hProcess)) {
    return Fail(L"CloseHandle");
  }
  return true;
}

bool RunStep(const std::wstring& step, int generation) {
  const size_t colon = step.find(L':');
  const std::wstring verb = step.substr(0, colon);
  const std::wstring argument = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
  if (verb == L"spawn") {
    return Spawn(argument, generation);
  }
  if (verb == L"sleep") {
    Sleep(std::stoul(argument));
    return true;
  }
  if (verb == L"dword") {
    const DWORD value = std::stoul(argument, NULL, 0);
    return WriteResult(REG_DWORD, &value, sizeof(value));
  }
  if (verb == L"sz") {
    return WriteResult(REG_SZ, argument.c_str(),
                       static_cast<DWORD>((argument.size() + 1) * sizeof(wchar_t)));
  }
  if (verb == L"key") {
    return WriteResult(REG_NONE, NULL, 0);
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return Fail(L"unknown step " + step);
}

}  // namespace

int main() {
  if (!AppendRecord(RecordStarted, {ModulePath(), GetCommandLineW()})) {
    return 2;
  }
  const std::wstring generationText = ReadEnvironment(L"E2E_FAKE_GENERATION");
  const int generation = generationText.empty() ? 0 : std::stoi(generationText);
  const std::vector<std::wstring> generations = Split(ReadEnvironment(L"E2E_FAKE_PLAN"), L'|');
  if (generation >= static_cast<int>(generations.size()) || generations[generation].empty()) {
    return 0;
  }
  for (const std::wstring& step : Split(generations[generation], L',')) {
    if (!RunStep(step, generation)) {
      return 1;
    }
  }
  return 0;
}
