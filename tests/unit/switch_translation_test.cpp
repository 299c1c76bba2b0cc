#include <string>
#include <vector>

#include "switches/switch_translation.h"
#include "tests/unit/simulated_platform_test.h"

namespace {

using simulated::simulation;

using SwitchTranslationTest = SimulatedPlatformTest;

struct SwitchCase {
  const wchar_t* argument;
  int result;
  const wchar_t* appended;
  bool help;
  bool silent;
  bool display;
};

TEST_F(SwitchTranslationTest, TranslatesEachArgumentByCaseInsensitivePrefix) {
  const SwitchCase cases[] = {
      {L"/?", SwitchHandled, L" /?", true, false, false},
      {L"/?x", SwitchHandled, L" /?", true, false, false},
      {L"/help", SwitchHandled, L" /help", true, false, false},
      {L"/HELPME", SwitchHandled, L" /help", true, false, false},
      {L"/Application", SwitchHandled, L" /application", false, false, false},
      {L"/applications", SwitchHandled, L" /application", false, false, false},
      {L"/s", SwitchHandled, L" /s", false, true, false},
      {L"/SILENT", SwitchHandled, L" /s", false, true, false},
      // "/v" carries the rest of the argument, unchanged, in quotes.
      {L"/vLOGFILE=C:\\a.log", SwitchHandled, L" /v\"LOGFILE=C:\\a.log\"", false, false, false},
      {L"/V A=b", SwitchHandled, L" /v\" A=b\"", false, false, false},
      {L"/vDIR=C:\\x\\", SwitchHandled, L" /v\"DIR=C:\\x\\\"", false, false, false},
      // Two quotes at the end become a backslash and a quote.
      {L"/v", SwitchHandled, L" /v\\\"", false, false, false},
      {L"/vX=\"q\"", SwitchHandled, L" /v\"X=\"q\\\"", false, false, false},
      {L"/w", SwitchHandled, L"", false, false, false},
      {L"/Wait", SwitchHandled, L"", false, false, false},
      {L"/display", SwitchHandled, L"", false, false, true},
      {L"/DISPLAYED", SwitchHandled, L"", false, false, true},
      // Shorter than every entry they begin, or not in slash form: not switches.
      {L"/h", SwitchNotRecognised, L"", false, false, false},
      {L"/app", SwitchNotRecognised, L"", false, false, false},
      {L"/disp", SwitchNotRecognised, L"", false, false, false},
      {L"/", SwitchNotRecognised, L"", false, false, false},
      {L"-s", SwitchNotRecognised, L"", false, false, false},
      {L"", SwitchNotRecognised, L"", false, false, false},
      {L"LOGFILE=x", SwitchNotRecognised, L"", false, false, false},
  };
  for (const SwitchCase& test : cases) {
    SCOPED_TRACE(testing::Message() << "argument: " << test.argument);
    DisplayMode = false;
    wchar_t commandLine[64] = L"setup.exe";
    bool help = true;  // the flags are cleared first
    bool silent = true;
    EXPECT_EQ(test.result, TranslateSwitch(test.argument, commandLine, 64, &help, &silent));
    EXPECT_EQ(std::wstring(L"setup.exe") + test.appended, commandLine);
    EXPECT_EQ(test.help, help);
    EXPECT_EQ(test.silent, silent);
    EXPECT_EQ(test.display, DisplayMode);
  }
}

TEST_F(SwitchTranslationTest, FailsWhenTheTranslationDoesNotFit) {
  const struct {
    const wchar_t* argument;
    SIZE_T fittingCapacity;
  } cases[] = {{L"/s", 13}, {L"/application", 23}, {L"/vA", 16}, {L"/v", 15}};
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << "argument: " << test.argument);
    wchar_t commandLine[64] = L"setup.exe";
    bool help = false;
    bool silent = false;
    EXPECT_EQ(SwitchFailed,
              TranslateSwitch(test.argument, commandLine, test.fittingCapacity - 1, &help, &silent));
    EXPECT_LT(wcslen(commandLine), test.fittingCapacity - 1) << "left unterminated";
    wcscpy(commandLine, L"setup.exe");
    EXPECT_EQ(SwitchHandled,
              TranslateSwitch(test.argument, commandLine, test.fittingCapacity, &help, &silent));
  }
}

struct BuildCase {
  std::vector<std::wstring> arguments;  // after argument 0
  const wchar_t* commandLine;
  bool help;
  bool silent;
};

TEST_F(SwitchTranslationTest, BuildsTheInstallerCommandLineInOrder) {
  const BuildCase cases[] = {
      {{}, L"setup.exe", false, false},
      {{L"/s", L"/vLOGFILE=C:\\l.txt"}, L"setup.exe /s /v\"LOGFILE=C:\\l.txt\"", false, true},
      {{L"/w", L"/display", L"/application"}, L"setup.exe /application", false, false},
      {{L"/s", L"/S"}, L"setup.exe /s /s", false, true},
      {{L""}, L"setup.exe ", false, false},
      {{L"a b", L"/h", L"-s", L"/"}, L"setup.exe a b /h -s /", false, false},
      // The quote repair of the first "/v" is not undone by the second.
      {{L"/v", L"/vA"}, L"setup.exe /v\\\" /v\"A\"", false, false},
      {{L"/help", L"x", L"/s"}, L"setup.exe /help x /s", true, true},
      {{L"/s", L"/?"}, L"setup.exe /s /?", true, true},
  };
  for (const BuildCase& test : cases) {
    SCOPED_TRACE(testing::Message() << "expected: " << test.commandLine);
    std::vector<std::wstring> arguments = test.arguments;
    arguments.insert(arguments.begin(), L"install.exe");
    ArgumentVector argv(arguments);
    wchar_t* commandLine = nullptr;
    bool help = false;
    bool silent = false;
    ASSERT_TRUE(BuildInstallerCommandLine(L"setup.exe", argv.count(), argv.vector(), &commandLine,
                                          &help, &silent));
    EXPECT_EQ(std::wstring(test.commandLine), commandLine);
    EXPECT_EQ(test.help, help);
    EXPECT_EQ(test.silent, silent);
    platform::Release(commandLine);
  }
}

TEST_F(SwitchTranslationTest, FlagsAreOnlyEverSet) {
  ArgumentVector argv({L"install.exe", L"/application"});
  wchar_t* commandLine = nullptr;
  bool help = true;
  bool silent = true;
  ASSERT_TRUE(BuildInstallerCommandLine(L"setup.exe", argv.count(), argv.vector(), &commandLine,
                                        &help, &silent));
  EXPECT_TRUE(help);
  EXPECT_TRUE(silent);
  platform::Release(commandLine);
}

TEST_F(SwitchTranslationTest, WorstCaseArgumentsFitWithoutCurrentDirectory) {
  simulation.currentDirectoryChars = 0;
  std::vector<std::wstring> arguments(40, L"/v");
  arguments.insert(arguments.begin(), L"install.exe");
  arguments.push_back(L"/v\"");
  ArgumentVector argv(arguments);
  wchar_t* commandLine = nullptr;
  bool help = false;
  bool silent = false;
  EXPECT_TRUE(BuildInstallerCommandLine(L"setup.exe", argv.count(), argv.vector(), &commandLine,
                                        &help, &silent));
  platform::Release(commandLine);
}

TEST_F(SwitchTranslationTest, FailsOnMissingArgumentOrAllocation) {
  wchar_t* arguments[] = {const_cast<wchar_t*>(L"install.exe"), nullptr};
  wchar_t* commandLine = nullptr;
  bool help = false;
  bool silent = false;
  EXPECT_FALSE(BuildInstallerCommandLine(L"setup.exe", 2, arguments, &commandLine, &help, &silent));
  EXPECT_EQ(nullptr, commandLine);
  EXPECT_EQ(0, simulation.allocations);

  simulation.failingAllocation = 1;
  EXPECT_FALSE(BuildInstallerCommandLine(L"setup.exe", 1, arguments, &commandLine, &help, &silent));
  EXPECT_EQ(nullptr, commandLine);
}

}  // namespace
