// End-to-end tests of install.exe: each test copies install.exe and fake_setup.exe (as
// setup.exe) into a fresh directory, runs install.exe with a raw command line, and checks
// what setup.exe received, what install.exe printed, its exit code and the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "e2e_paths.h"
#include "handoff/registry_names.h"

namespace {

const DWORD InstallFailure = 1603;
const REGSAM View32 = KEY_WOW64_32KEY;
const REGSAM View64 = KEY_WOW64_64KEY;
const std::wstring SiblingKey = std::wstring(MakerKeyPath) + L"\\sibling";
// Where the 32-bit view's result key lives when seen from the 64-bit view.
const std::wstring RedirectedResultKey =
    std::wstring(L"software\\WOW6432Node\\") + MakerKeyName + L"\\" + WrapperKeyName;
const DWORD RecordStarted = 1;
const DWORD RecordError = 2;
const ULONGLONG RunTimeoutMs = 60000;
const ULONGLONG StrayProcessTimeoutMs = 30000;
// A raw command line holds at most this many characters before its terminator.
const size_t MaxCommandLineChars = 32766;

const char UsageText[] =
    "Quellbrookdynamical Accelerometer Installer\n"
    "-------------------------------------------\n"
    "Usage:\n"
    "install.exe [/?|/help] [/s] [/application] [/v\"[LOGFILE=<path\\filename>] "
    "[EXTRACTDRIVERS=<path>]\"\n"
    "Switches:\n"
    "/help - display this help information\n"
    "/? - same as /help\n"
    "/s - unattended/silent install\n"
    "/application - application only install\n"
    "EXTRACTDRIVERS=<path> - extract driver package to specified directory\n"
    "LOGFILE=<path\\filename> - write log file to specified file at specified path\n";

struct RunResult {
  DWORD exitCode;
  std::string output;
  double seconds;
  DWORD processesLeft;  // processes of the run still alive when install.exe ended
};

struct StartedCopy {
  std::wstring modulePath;
  std::wstring commandLine;
};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       NULL, 0, NULL, NULL);
  std::string bytes(size, '\0');
  EXPECT_EQ(size, WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      &bytes[0], size, NULL, NULL));
  return bytes;
}

// The trace of a /display run that read `value` and deleted both keys.
std::string SuccessTrace(const std::wstring& commandLine, const std::string& childLines,
                         int value) {
  const std::string number = std::to_string(value);
  return "Calling " + Utf8(commandLine) + "\n" + childLines + "Read returncode key " + number +
         "\nOpened key software\\Quellbrookdynamical\nDeleted key quendlebox\n"
         "Opened key software\nDeleted key Quellbrookdynamical\nGot ReturnCode: " + number;
}

const char FailedReadTrace[] =
    "Calling setup.exe\n"
    "Failed to get returncode (software\\Quellbrookdynamical\\quendlebox).\n"
    "Got ReturnCode: 1603";

// 64-bit Windows, seen from a 64-bit test build or from a 32-bit one under WOW64: the
// wrapper's keys then live in the 32-bit view.
bool HasTwoRegistryViews() {
  BOOL wow64 = FALSE;
  EXPECT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64)) << GetLastError();
  return sizeof(void*) == 8 || wow64 != FALSE;
}

bool KeyExists(REGSAM view, const std::wstring& path) {
  HKEY key = NULL;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key);
  if (status == ERROR_SUCCESS) {
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    return true;
  }
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, status) << "opening " << Utf8(path);
  return false;
}

void CreateKeyWithValue(REGSAM view, const std::wstring& path, const DWORD* value) {
  HKEY key = NULL;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0,
                                           KEY_SET_VALUE | view, NULL, &key, NULL));
  if (value != NULL) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, ReturnCodeValueName, 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(value), sizeof(*value)));
  }
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

void DeleteKeyTree(REGSAM view, const std::wstring& path) {
  HKEY key = NULL;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key);
  if (status == ERROR_FILE_NOT_FOUND) {
    return;
  }
  ASSERT_EQ(ERROR_SUCCESS, status);
  std::vector<std::wstring> subkeys;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, index, name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
      break;
    }
    subkeys.push_back(name);
  }
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  for (const std::wstring& subkey : subkeys) {
    DeleteKeyTree(view, path + L"\\" + subkey);
  }
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0));
}

void CleanRegistry() {
  DeleteKeyTree(View32, MakerKeyPath);
  DeleteKeyTree(View64, MakerKeyPath);
}

void RemoveDirectoryTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  ASSERT_NE(INVALID_HANDLE_VALUE, search) << Utf8(path);
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveDirectoryTree(path + L"\\" + name);
    } else {
      EXPECT_TRUE(DeleteFileW((path + L"\\" + name).c_str())) << Utf8(name);
    }
  } while (FindNextFileW(search, &entry));
  EXPECT_TRUE(FindClose(search));
  EXPECT_TRUE(RemoveDirectoryW(path.c_str())) << Utf8(path);
}

std::wstring UniqueTemporaryDirectory() {
  static int counter = 0;
  wchar_t temporary[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
  EXPECT_GT(length, 0u);
  // A space in the name makes install.exe's own path need quoting.
  return std::wstring(temporary, length) + L"e2e install " +
         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

// Reads everything the pipe holds right now, without blocking.
void DrainPipe(HANDLE pipe, std::string* output) {
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL)) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), GetLastError());
      return;
    }
    if (available == 0) {
      return;
    }
    char buffer[65536];
    DWORD read = 0;
    const DWORD wanted = available < sizeof(buffer) ? available : sizeof(buffer);
    if (!ReadFile(pipe, buffer, wanted, &read, NULL)) {
      ADD_FAILURE() << "ReadFile failed: " << GetLastError();
      return;
    }
    output->append(buffer, read);
  }
}

// install.exe ends every line written to a pipe with CR LF; the expectations are written
// with plain line feeds.
std::string WithLineFeeds(const std::string& output) {
  std::string text;
  for (size_t index = 0; index < output.size(); ++index) {
    if (output[index] == '\n' && (index == 0 || output[index - 1] != '\r')) {
      ADD_FAILURE() << "line feed without carriage return at byte " << index;
    }
    if (output[index] != '\r' || index + 1 == output.size() || output[index + 1] != '\n') {
      text += output[index];
    }
  }
  return text;
}

DWORD ActiveProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                 sizeof(accounting), NULL)) {
    ADD_FAILURE() << "QueryInformationJobObject failed: " << GetLastError();
    return 0;
  }
  return accounting.ActiveProcesses;
}

class InstallExe : public ::testing::Test {
 protected:
  void SetUp() override {
    CleanRegistry();
    directory_ = UniqueTemporaryDirectory();
    ASSERT_TRUE(CreateDirectoryW(directory_.c_str(), NULL));
    ASSERT_TRUE(CopyFileW(InstallExePath, (directory_ + L"\\install.exe").c_str(), TRUE));
    CopyFake(L"setup.exe");
    logPath_ = directory_ + L"\\calls.log";
    ASSERT_TRUE(SetEnvironmentVariableW(L"E2E_FAKE_LOG", logPath_.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"E2E_FAKE_GENERATION", NULL) ||
                GetLastError() == ERROR_ENVVAR_NOT_FOUND);
    // Every process of a run, grandchildren included, lands in this job.
    job_ = CreateJobObjectW(NULL, NULL);
    ASSERT_NE(nullptr, job_);
  }

  void TearDown() override {
    if (job_ != NULL) {
      // No installer copy may outlive the test and write the registry during the next one.
      const ULONGLONG start = GetTickCount64();
      while (ActiveProcesses(job_) > 0 && GetTickCount64() - start < StrayProcessTimeoutMs) {
        Sleep(50);
      }
      if (ActiveProcesses(job_) > 0) {
        ADD_FAILURE() << "processes still running after the test; terminating them";
        EXPECT_TRUE(TerminateJobObject(job_, 1));
        Sleep(500);
      }
      EXPECT_TRUE(CloseHandle(job_));
    }
    EXPECT_EQ(std::vector<std::wstring>(), ReadLog().errors);
    CleanRegistry();
    RemoveDirectoryTree(directory_);
  }

  void CopyFake(const std::wstring& relativePath) {
    ASSERT_TRUE(CopyFileW(FakeSetupPath, (directory_ + L"\\" + relativePath).c_str(), TRUE))
        << Utf8(relativePath) << " error " << GetLastError();
  }

  RunResult Run(const std::wstring& arguments, const std::wstring& plan) {
    return RunIn(directory_, arguments, plan);
  }

  // Runs install.exe from the test directory with `arguments` as the raw rest of its command
  // line, while each fake installer copy follows `plan`.
  RunResult RunIn(const std::wstring& workingDirectory, const std::wstring& arguments,
                  const std::wstring& plan) {
    RunResult result = {InstallFailure + 1, std::string(), 0.0, 0};
    EXPECT_TRUE(SetEnvironmentVariableW(L"E2E_FAKE_PLAN", plan.c_str()));
    std::wstring commandLine = L"\"" + directory_ + L"\\install.exe\"";
    if (!arguments.empty()) {
      commandLine += L" " + arguments;
    }

    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 1 << 20) ||
        !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
      ADD_FAILURE() << "pipe: " << GetLastError();
      return result;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    PROCESS_INFORMATION process;
    const BOOL created =
        CreateProcessW(NULL, &commandLine[0], NULL, NULL, TRUE, CREATE_SUSPENDED, NULL,
                       workingDirectory.c_str(), &startup, &process);
    EXPECT_TRUE(CloseHandle(writeEnd));
    if (!created) {
      ADD_FAILURE() << "CreateProcessW: " << GetLastError();
      EXPECT_TRUE(CloseHandle(readEnd));
      return result;
    }
    EXPECT_TRUE(AssignProcessToJobObject(job_, process.hProcess)) << GetLastError();
    const ULONGLONG start = GetTickCount64();
    EXPECT_NE(static_cast<DWORD>(-1), ResumeThread(process.hThread));

    // Polled rather than read to the end: a leftover child may still hold the pipe open.
    for (;;) {
      const bool exited = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
      DrainPipe(readEnd, &result.output);
      if (exited) {
        break;
      }
      if (GetTickCount64() - start > RunTimeoutMs) {
        ADD_FAILURE() << "install.exe did not end; terminating it";
        EXPECT_TRUE(TerminateProcess(process.hProcess, 1));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, INFINITE));
        break;
      }
    }
    result.output = WithLineFeeds(result.output);
    result.seconds = (GetTickCount64() - start) / 1000.0;
    result.processesLeft = ActiveProcesses(job_);
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &result.exitCode));
    EXPECT_TRUE(CloseHandle(process.hProcess));
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(readEnd));
    return result;
  }

  struct Log {
    std::vector<StartedCopy> started;
    std::vector<std::wstring> errors;
  };

  Log ReadLog() {
    Log log;
    HANDLE file = CreateFileW(logPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
      return log;
    }
    std::vector<char> bytes(GetFileSize(file, NULL));
    DWORD read = 0;
    EXPECT_TRUE(bytes.empty() ||
                ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, NULL));
    EXPECT_EQ(bytes.size(), read);
    EXPECT_TRUE(CloseHandle(file));

    size_t offset = 0;
    auto takeWord = [&](DWORD* word) {
      if (offset + sizeof(*word) > bytes.size()) {
        return false;
      }
      memcpy(word, bytes.data() + offset, sizeof(*word));
      offset += sizeof(*word);
      return true;
    };
    auto takeText = [&](std::wstring* text) {
      DWORD length = 0;
      if (!takeWord(&length) || offset + length * sizeof(wchar_t) > bytes.size()) {
        return false;
      }
      text->assign(reinterpret_cast<const wchar_t*>(bytes.data() + offset), length);
      offset += length * sizeof(wchar_t);
      return true;
    };
    while (offset < bytes.size()) {
      DWORD kind = 0;
      StartedCopy copy;
      std::wstring error;
      if (takeWord(&kind) && kind == RecordStarted && takeText(&copy.modulePath) &&
          takeText(&copy.commandLine)) {
        log.started.push_back(copy);
      } else if (kind == RecordError && takeText(&error)) {
        log.errors.push_back(error);
      } else {
        ADD_FAILURE() << "malformed log record at byte " << offset;
        break;
      }
    }
    return log;
  }

  // The command line setup.exe received, when exactly one copy was started.
  std::wstring OnlyCommandLine() {
    const std::vector<StartedCopy> started = ReadLog().started;
    EXPECT_EQ(1u, started.size());
    return started.empty() ? L"<not started>" : started[0].commandLine;
  }

  std::wstring directory_;
  std::wstring logPath_;
  HANDLE job_ = NULL;
};

// Each table row names its own test.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// ---- Command-line translation --------------------------------------------------------------

struct TranslationCase {
  const char* name;
  const wchar_t* arguments;  // raw, after install.exe's own path
  const wchar_t* expected;   // setup.exe's whole command line
  bool display;
};

// A Calling line whose astral character straddles install.exe's 1,024-character output chunk:
// its high surrogate is the command line's 1,024th character.
const std::wstring ChunkFiller(1024 - 1 - std::wstring(L"setup.exe ").size(), L'c');
const std::wstring AstralAcrossChunkArguments = L"/display " + ChunkFiller + L"\U0001F600";
const std::wstring AstralAcrossChunkExpected = L"setup.exe " + ChunkFiller + L"\U0001F600";

const TranslationCase TranslationCases[] = {
    {"NoArguments", L"", L"setup.exe", false},
    {"SilentAnyCase", L"/S /silent /SiLeNt", L"setup.exe /s /s /s", false},
    {"HelpWithoutSilentIsPassedOn", L"/HELP /? /helpme", L"setup.exe /help /? /help", false},
    {"Application", L"/Application /applicationX", L"setup.exe /application /application",
     false},
    {"ShortPrefixesPassVerbatim", L"/h /app /disp /a", L"setup.exe /h /app /disp /a", false},
    {"WaitDropped", L"/w /W /wait", L"setup.exe", false},
    {"DisplayDroppedAnyCase", L"/DISPLAY", L"setup.exe", true},
    {"DisplayPrefix", L"/displayx first", L"setup.exe first", true},
    {"EmptyProperties", L"/v", L"setup.exe /v\\\"", false},
    {"EmptyPropertiesCapital", L"/V", L"setup.exe /v\\\"", false},
    {"Properties", L"/vLOGFILE=C:\\logs\\x.log", L"setup.exe /v\"LOGFILE=C:\\logs\\x.log\"", false},
    {"PropertiesKeepTheirCase", L"/VProp=Mixed", L"setup.exe /v\"Prop=Mixed\"", false},
    {"QuotedPropertiesWithSpaces", L"\"/vLOGFILE=C:\\my logs\\x.log EXTRACTDRIVERS=C:\\d\"",
     L"setup.exe /v\"LOGFILE=C:\\my logs\\x.log EXTRACTDRIVERS=C:\\d\"", false},
    {"PropertiesEndingInQuote", L"\"/vA=\\\"quoted\\\"\"", L"setup.exe /v\"A=\"quoted\\\"", false},
    {"PropertiesOfOneQuote", L"/v\\\"", L"setup.exe /v\"\\\"", false},
    {"PropertiesTrailingBackslashKept", L"/vDIR=C:\\x\\", L"setup.exe /v\"DIR=C:\\x\\\"", false},
    {"RepairOnlyAtEndOfProperties", L"/v /s", L"setup.exe /v\\\" /s", false},
    {"PassThroughTrailingBackslash", L"C:\\path\\ x\\\\", L"setup.exe C:\\path\\ x\\\\", false},
    {"OrderKept", L"first /s second /vP=1 third /w fourth /application",
     L"setup.exe first /s second /v\"P=1\" third fourth /application", false},
    {"HyphenAndLoneSlashPassThrough", L"-s / /x PROP=1", L"setup.exe -s / /x PROP=1", false},
    {"EmptyArgumentIsLoneSpace", L"\"\"", L"setup.exe ", false},
    {"EmptyArgumentsBetween", L"a \"\" \"\" b", L"setup.exe a   b", false},
    {"SpacesPassedUnquoted", L"\"two words\" three", L"setup.exe two words three", false},
    {"SeparatorsCollapse", L"a \t  b\t", L"setup.exe a b", false},
    {"OddBackslashesEscapeQuote", L"a\\\\\\\"b", L"setup.exe a\\\"b", false},
    {"EvenBackslashesThenQuote", L"a\\\\\"b c\"", L"setup.exe a\\b c", false},
    {"DoubledQuoteInsideStretch", L"\"a\"\"b\" \"c\"\" d\"", L"setup.exe a\"b c\" d", false},
    {"QuoteRunOfFour", L"\"\"\"\"", L"setup.exe \"", false},
    {"LeadingEscapedQuote", L"\\\"lead", L"setup.exe \"lead", false},
    {"QuotedTrailingBackslashes", L"\"trail\\\\\"", L"setup.exe trail\\", false},
    {"QuotesInsideWord", L"a\"b\"c \"unterminated stretch",
     L"setup.exe abc unterminated stretch", false},
    {"QuotedPropertiesSwitch", L"/v\"x y\"", L"setup.exe /v\"x y\"", false},
    {"NonAsciiAndAstral",
     L"Gr\u00FC\u00DFe \U0001F600 \"/vNAME=\u00DCn\u00EF \U0001F600\" /display",
     L"setup.exe Gr\u00FC\u00DFe \U0001F600 /v\"NAME=\u00DCn\u00EF \U0001F600\"", true},
    {"AstralAcrossOutputChunk", AstralAcrossChunkArguments.c_str(),
     AstralAcrossChunkExpected.c_str(), true},
};

// Failure messages name the row instead of dumping its bytes.
void PrintTo(const TranslationCase& row, std::ostream* out) { *out << row.name; }

class Translation : public InstallExe, public ::testing::WithParamInterface<TranslationCase> {};

TEST_P(Translation, SetupReceivesTranslatedCommandLine) {
  const TranslationCase& row = GetParam();
  const RunResult run = Run(row.arguments, L"dword:0");
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(row.expected, OnlyCommandLine());
  // Stdout is UTF-8 on a pipe: the Calling line shows non-ASCII arguments exactly.
  EXPECT_EQ(row.display ? SuccessTrace(row.expected, "", 0) : std::string(), run.output);
}

INSTANTIATE_TEST_SUITE_P(Switches, Translation, ::testing::ValuesIn(TranslationCases),
                         CaseName<TranslationCase>);

// ---- The deployment guide's examples -------------------------------------------------------

// docs/deployment.md is the one copy of its examples: an indented install.exe line, the line
// "setup.exe receives:" and an indented setup.exe line, each a paragraph of its own. Longer
// indented blocks, such as the picture of a run, are not examples.
struct GuideExample {
  std::string name;        // the test's name, after the install.exe line's number
  std::string place;       // section and line, for failure messages
  std::wstring arguments;  // raw, after install.exe
  std::wstring expected;   // setup.exe's whole command line
  std::string problem;     // why the lines there make no whole example; empty when they do
};

const std::string GuideIndent = "    ";
const std::string GuideMarker = "setup.exe receives:";

std::vector<std::string> ReadGuideLines() {
  std::vector<std::string> lines;
  FILE* file = _wfopen(DeploymentGuidePath, L"rb");
  if (file == NULL) {
    return lines;
  }
  std::string line;
  for (int character = fgetc(file); character != EOF; character = fgetc(file)) {
    if (character == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (character != '\r') {
      line += static_cast<char>(character);
    }
  }
  fclose(file);
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

// Whether line `index` is an indented paragraph of one line that runs `program`.
bool IsOneLineCommand(const std::vector<std::string>& lines, size_t index,
                      const std::string& program) {
  const std::string start = GuideIndent + program;
  const std::string& line = lines[index];
  return (index == 0 || lines[index - 1].empty()) &&
         (index + 1 == lines.size() || lines[index + 1].empty()) &&
         line.compare(0, start.size(), start) == 0 &&
         (line.size() == start.size() || line[start.size()] == ' ');
}

// The guide is ASCII: one byte, one character.
std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The guide's examples in order, together with every install.exe line and every marker that
// is not part of a whole example, so that a broken example fails instead of vanishing.
std::vector<GuideExample> ReadGuideExamples() {
  const std::vector<std::string> lines = ReadGuideLines();
  std::vector<GuideExample> examples;
  std::string section = "introduction";
  for (size_t index = 0; index < lines.size(); ++index) {
    if (lines[index].compare(0, 3, "## ") == 0) {
      section = lines[index].substr(3);
    }
    const bool installLine = IsOneLineCommand(lines, index, "install.exe");
    if (!installLine && lines[index] != GuideMarker) {
      continue;
    }
    GuideExample example;
    example.name = "Line" + std::to_string(index + 1);
    example.place = "section \"" + section + "\", line " + std::to_string(index + 1);
    if (!installLine) {
      example.problem = "\"" + GuideMarker + "\" without an install.exe line before it";
    } else if (index + 4 >= lines.size() || lines[index + 2] != GuideMarker ||
               !IsOneLineCommand(lines, index + 4, "setup.exe")) {
      example.problem = "install.exe line without \"" + GuideMarker + "\" and a setup.exe line";
    } else {
      const size_t argumentsStart = (GuideIndent + "install.exe ").size();
      example.arguments = Widen(lines[index].substr(std::min(argumentsStart, lines[index].size())));
      example.expected = Widen(lines[index + 4].substr(GuideIndent.size()));
      index += 4;
    }
    examples.push_back(example);
  }
  return examples;
}

void PrintTo(const GuideExample& example, std::ostream* out) { *out << example.place; }

class DeploymentGuide : public InstallExe, public ::testing::WithParamInterface<GuideExample> {};

TEST_P(DeploymentGuide, SetupReceivesTheLineTheGuideShows) {
  const GuideExample& example = GetParam();
  ASSERT_TRUE(example.problem.empty()) << example.place << ": " << example.problem;
  const RunResult run = Run(example.arguments, L"dword:0");
  EXPECT_EQ(0u, run.exitCode) << example.place;
  EXPECT_EQ(example.expected, OnlyCommandLine()) << example.place;
}

INSTANTIATE_TEST_SUITE_P(Examples, DeploymentGuide, ::testing::ValuesIn(ReadGuideExamples()),
                         CaseName<GuideExample>);

TEST(DeploymentGuideExamples, AreReadAndCounted) {
  ASSERT_FALSE(ReadGuideLines().empty()) << "cannot read " << Utf8(DeploymentGuidePath);
  const std::vector<GuideExample> examples = ReadGuideExamples();
  int whole = 0;
  for (const GuideExample& example : examples) {
    if (example.problem.empty()) {
      ++whole;
    }
  }
  const int broken = static_cast<int>(examples.size()) - whole;
  std::cout << whole << " examples in the deployment guide, " << broken << " broken\n";
  RecordProperty("examples", whole);
  EXPECT_GT(whole, 0);
}

// ---- Usage text ----------------------------------------------------------------------------

struct UsageCase {
  const char* name;
  const wchar_t* arguments;
  bool display;
};

const UsageCase UsageCases[] = {
    {"SilentThenQuestionMark", L"/s /?", false},
    {"HelpThenSilent", L"/help /s", false},
    {"CapitalsAmongOtherArguments", L"x /S /vA=1 /HELP y", false},
    {"LongerWords", L"/silent /?please", false},
    {"WithDisplay", L"/display /s /help", true},
};

void PrintTo(const UsageCase& row, std::ostream* out) { *out << row.name; }

class Usage : public InstallExe, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(Usage, PrintsUsageStartsNothingAndRemovesStaleKey) {
  const DWORD staleValue = 5;
  CreateKeyWithValue(View32, ResultKeyPath, &staleValue);

  const RunResult run = Run(GetParam().arguments, L"dword:1");

  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(std::string(UsageText) + (GetParam().display ? "Got ReturnCode: 0" : ""), run.output);
  EXPECT_TRUE(ReadLog().started.empty());
  EXPECT_FALSE(KeyExists(View32, ResultKeyPath));
  // Only the wrapper key is stale; the maker key is left to the end of a successful run.
  EXPECT_TRUE(KeyExists(View32, MakerKeyPath));
}

INSTANTIATE_TEST_SUITE_P(HelpWithSilent, Usage, ::testing::ValuesIn(UsageCases),
                         CaseName<UsageCase>);

// ---- Exit status ---------------------------------------------------------------------------

struct StatusCase {
  const char* name;
  const wchar_t* plan;
  DWORD expected;
};

const StatusCase StatusCases[] = {
    {"Zero", L"dword:0", 0},
    {"RebootRequired", L"dword:3010", 3010},
    {"One", L"dword:1", 1},
    {"LargestPositive", L"dword:0x7FFFFFFF", 0x7FFFFFFF},
    {"MinusOne", L"dword:0xFFFFFFFF", 0xFFFFFFFF},
    {"SmallestNegative", L"dword:0x80000000", 0x80000000},
    {"InstallerFailure", L"dword:1603", 1603},
    {"HResultFailure", L"dword:0x80070643", 0x80070643},
    // Four bytes of text ("A" and its terminator) are read like a number: the type is not
    // examined.
    {"FourByteText", L"sz:A", 'A'},
    // An empty text is two zero bytes: it reads as 0, success.
    {"EmptyText", L"sz:", 0},
};

void PrintTo(const StatusCase& row, std::ostream* out) { *out << row.name; }

class ExitStatus : public InstallExe, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatus, IsTheValueWrittenAndKeysAreRemoved) {
  const RunResult run = Run(L"/display", GetParam().plan);
  EXPECT_EQ(GetParam().expected, run.exitCode);
  EXPECT_EQ(SuccessTrace(L"setup.exe", "", static_cast<int>(GetParam().expected)), run.output);
  EXPECT_FALSE(KeyExists(View32, ResultKeyPath));
  EXPECT_FALSE(KeyExists(View32, MakerKeyPath));
}

INSTANTIATE_TEST_SUITE_P(ReturnCodes, ExitStatus, ::testing::ValuesIn(StatusCases),
                         CaseName<StatusCase>);

// ---- Child installers ----------------------------------------------------------------------

TEST_F(InstallExe, WaitsForRelaunchedSetupBeforeReading) {
  // The parent's provisional value would be the result if the child were not waited for.
  const RunResult run = Run(L"/display", L"dword:1,spawn:setup.exe|sleep:2000,dword:3010");
  EXPECT_EQ(3010u, run.exitCode);
  EXPECT_EQ(2u, ReadLog().started.size());
  EXPECT_NE(std::string::npos,
            run.output.find("Found Child Process setup.exe, waiting ...\n"
                            "Waiting for child process (0x"))
      << run.output;
  EXPECT_NE(std::string::npos, run.output.find("Read returncode key 3010\n")) << run.output;
}

TEST_F(InstallExe, WaitsForChildWhoseNameDiffersInCase) {
  ASSERT_TRUE(CreateDirectoryW((directory_ + L"\\sub").c_str(), NULL));
  CopyFake(L"sub\\Setup.exe");
  const RunResult run = Run(L"/display", L"dword:1,spawn:sub\\Setup.exe|sleep:1500,dword:42");
  EXPECT_EQ(42u, run.exitCode);
  EXPECT_NE(std::string::npos, run.output.find("Found Child Process Setup.exe, waiting ...\n"))
      << run.output;
}

TEST_F(InstallExe, GrandchildSetupIsNotWaitedFor) {
  const RunResult run = Run(L"/display", L"spawn:setup.exe|spawn:setup.exe,dword:5|sleep:4000,dword:9");
  EXPECT_EQ(5u, run.exitCode);
  EXPECT_LT(run.seconds, 3.5);
  EXPECT_EQ(1u, run.processesLeft);  // the grandchild, still asleep; TearDown waits for it
  const size_t found = run.output.find("Found Child Process setup.exe, waiting");
  EXPECT_NE(std::string::npos, found) << run.output;
  EXPECT_EQ(found, run.output.rfind("Found Child Process")) << run.output;
}

TEST_F(InstallExe, OtherChildIsNotWaitedForAndLateKeyIsReadAfterRetries) {
  CopyFake(L"helper.exe");
  // helper.exe writes the result about three seconds after the wrapper started reading.
  const RunResult run = Run(L"/display", L"spawn:helper.exe|sleep:3000,dword:77");
  EXPECT_EQ(77u, run.exitCode);
  EXPECT_EQ(SuccessTrace(L"setup.exe",
                         "Found Child Process helper.exe, not a match, continuing...\n", 77),
            run.output);
  EXPECT_GE(run.seconds, 2.5);
  EXPECT_LT(run.seconds, 8.0);
}

// ---- Failures ------------------------------------------------------------------------------

TEST_F(InstallExe, MissingSetupFailsWithStartError) {
  ASSERT_TRUE(DeleteFileW((directory_ + L"\\setup.exe").c_str()));

  RunResult run = Run(L"/display", L"");
  EXPECT_EQ(InstallFailure, run.exitCode);
  EXPECT_EQ("Calling setup.exe\nFailed to start installer (2).\nGot ReturnCode: 1603", run.output);

  run = Run(L"/s", L"");
  EXPECT_EQ(InstallFailure, run.exitCode);
  EXPECT_EQ("", run.output);
}

TEST_F(InstallExe, KeyWithoutValueFailsAfterRetriesAndKeepsKeys) {
  // On 64-bit Windows only the 64-bit view holds a value; the wrapper must look in the 32-bit
  // view alone. 32-bit Windows has one view, and there this part means nothing.
  const bool twoViews = HasTwoRegistryViews();
  const DWORD otherViewValue = 7;
  if (twoViews) {
    CreateKeyWithValue(View64, ResultKeyPath, &otherViewValue);
  }

  const RunResult run = Run(L"/display", L"key");

  EXPECT_EQ(InstallFailure, run.exitCode);
  EXPECT_EQ(FailedReadTrace, run.output);
  EXPECT_GE(run.seconds, 9.0);
  EXPECT_LE(run.seconds, 15.0);
  EXPECT_TRUE(KeyExists(View32, ResultKeyPath));
  if (twoViews) {
    EXPECT_TRUE(KeyExists(View64, RedirectedResultKey));
  }
}

TEST_F(InstallExe, TextValueFailsAfterRetries) {
  const RunResult run = Run(L"/display", L"sz:3010");
  EXPECT_EQ(InstallFailure, run.exitCode);
  EXPECT_EQ(FailedReadTrace, run.output);
  EXPECT_GE(run.seconds, 9.0);
  EXPECT_LE(run.seconds, 15.0);
  EXPECT_TRUE(KeyExists(View32, ResultKeyPath));
}

// ---- Registry keys and search order --------------------------------------------------------

TEST_F(InstallExe, SiblingKeyKeepsMakerKey) {
  CreateKeyWithValue(View32, SiblingKey, NULL);
  const RunResult run = Run(L"/display", L"dword:12");
  EXPECT_EQ(12u, run.exitCode);
  EXPECT_EQ("Calling setup.exe\nRead returncode key 12\n"
            "Opened key software\\Quellbrookdynamical\nDeleted key quendlebox\n"
            "Opened key software\n"
            "Failed to delete key Quellbrookdynamical.\nFailed to delete key Quellbrookdynamical.\n"
            "Got ReturnCode: 12",
            run.output);
  EXPECT_FALSE(KeyExists(View32, ResultKeyPath));
  EXPECT_TRUE(KeyExists(View32, SiblingKey));
}

TEST_F(InstallExe, SetupBesideWrapperWinsOverCurrentDirectory) {
  ASSERT_TRUE(CreateDirectoryW((directory_ + L"\\work").c_str(), NULL));
  CopyFake(L"work\\setup.exe");
  const RunResult run = RunIn(directory_ + L"\\work", L"", L"dword:0");
  EXPECT_EQ(0u, run.exitCode);
  const std::vector<StartedCopy> started = ReadLog().started;
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ(0, _wcsicmp((directory_ + L"\\setup.exe").c_str(), started[0].modulePath.c_str()))
      << Utf8(started[0].modulePath);
}

// ---- Long and unusual command lines --------------------------------------------------------

// install.exe's quoted path plus a space, which every raw command line starts with.
size_t WrapperPrefixLength(const std::wstring& directory) {
  return (L"\"" + directory + L"\\install.exe\" ").size();
}

TEST_F(InstallExe, LongArgumentNearLimitPassesWhole) {
  std::wstring argument;
  const size_t length = MaxCommandLineChars - WrapperPrefixLength(directory_);
  while (argument.size() + 4 <= length) {
    argument += L"x\u00E9\U0001F600";
  }
  argument.append(length - argument.size(), L'z');
  Run(argument, L"dword:0");
  EXPECT_EQ(L"setup.exe " + argument, OnlyCommandLine());
}

TEST_F(InstallExe, LongPropertiesNearLimitPassWhole) {
  const std::wstring text(MaxCommandLineChars - WrapperPrefixLength(directory_) - 2, L'p');
  Run(L"/v" + text, L"dword:0");
  EXPECT_EQ(L"setup.exe /v\"" + text + L"\"", OnlyCommandLine());
}

TEST_F(InstallExe, ThousandsOfShortArguments) {
  // Each raw form with its translation, written out by hand.
  const wchar_t* const raw[] = {L"a", L"\"\"", L"/S", L"/w", L"b\\\"c", L"/vK=\\\"v\\\""};
  const wchar_t* const translated[] = {L" a", L" ", L" /s", L"", L" b\"c", L" /v\"K=\"v\\\""};
  std::wstring arguments = L"/display";
  std::wstring expected = L"setup.exe";
  for (int index = 0; index < 3000; ++index) {
    arguments += std::wstring(L" ") + raw[index % 6];
    expected += translated[index % 6];
  }
  const RunResult run = Run(arguments, L"dword:0");
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(expected, OnlyCommandLine());
  EXPECT_EQ(SuccessTrace(expected, "", 0), run.output);
}

// ---- Installer command lines at the process limit -----------------------------------------

struct LimitCase {
  const char* name;
  size_t installerChars;  // length of setup.exe's whole translated command line
};

const LimitCase LimitCases[] = {
    {"AtLimitStarts", MaxCommandLineChars},
    {"OneOverIsRefused", MaxCommandLineChars + 1},
    {"FarOverIsRefused", 45000},
};

void PrintTo(const LimitCase& row, std::ostream* out) { *out << row.name; }

class InstallerLineLimit : public InstallExe, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(InstallerLineLimit, StartsWholeOrNotAtAll) {
  // Each "/vX" grows by half on translation, so the installer's line can outgrow the wrapper's;
  // a short pass-through argument makes up the exact length.
  const size_t vSwitches = (GetParam().installerChars - 11) / 6;
  const std::wstring filler(GetParam().installerChars - 10 - 6 * vSwitches, L'f');
  std::wstring arguments = L"/display";
  std::wstring expected = L"setup.exe";
  for (size_t index = 0; index < vSwitches; ++index) {
    arguments += L" /vX";
    expected += L" /v\"X\"";
  }
  arguments += L" " + filler;
  expected += L" " + filler;
  ASSERT_EQ(GetParam().installerChars, expected.size());
  ASSERT_LE(WrapperPrefixLength(directory_) + arguments.size(), MaxCommandLineChars);

  const RunResult run = Run(arguments, L"dword:0");

  const std::vector<StartedCopy> started = ReadLog().started;
  if (expected.size() <= MaxCommandLineChars) {
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(expected, started[0].commandLine);
    EXPECT_EQ(SuccessTrace(expected, "", 0), run.output);
  } else {
    // A shortened line would silently drop the switches at its end.
    EXPECT_TRUE(started.empty()) << "setup.exe was started with "
                                 << started[0].commandLine.size() << " characters";
    EXPECT_EQ(InstallFailure, run.exitCode);
    EXPECT_EQ("Calling " + Utf8(expected) +
                  "\nFailed to start installer (206).\nGot ReturnCode: 1603",
              run.output);
  }
}

INSTANTIATE_TEST_SUITE_P(LongLines, InstallerLineLimit, ::testing::ValuesIn(LimitCases),
                         CaseName<LimitCase>);

}  // namespace
