#include <string>
#include <vector>

#include "app/run_wrapper.h"
#include "tests/unit/simulated_platform_test.h"

namespace {

using simulated::AddProcess;
using simulated::CreateKey;
using simulated::KeyExists;
using simulated::LaunchedProcessId;
using simulated::simulation;

const std::wstring UsageText =
    L"Quellbrookdynamical Accelerometer Installer\n" + std::wstring(43, L'-') +
    L"\n"
    L"Usage:\n"
    L"install.exe [/?|/help] [/s] [/application] [/v\"[LOGFILE=<path\\filename>] "
    L"[EXTRACTDRIVERS=<path>]\"\n"
    L"Switches:\n"
    L"/help - display this help information\n"
    L"/? - same as /help\n"
    L"/s - unattended/silent install\n"
    L"/application - application only install\n"
    L"EXTRACTDRIVERS=<path> - extract driver package to specified directory\n"
    L"LOGFILE=<path\\filename> - write log file to specified file at specified path\n";

class RunWrapperTest : public SimulatedPlatformTest {
 protected:
  static int Run(std::vector<std::wstring> arguments) {
    arguments.insert(arguments.begin(), L"install.exe");
    ArgumentVector argv(arguments);
    return RunWrapper(argv.count(), argv.vector());
  }
};

TEST_F(RunWrapperTest, SilentWithHelpPrintsUsageAndStartsNothing) {
  const std::vector<std::vector<std::wstring>> cases = {
      {L"/s", L"/?"},
      {L"/?", L"/s"},
      {L"/help", L"/s"},
      {L"/S", L"/HELP"},
      {L"x", L"/vA=1", L"/help", L"/w", L"/s", L"y"},
  };
  for (const std::vector<std::wstring>& arguments : cases) {
    SCOPED_TRACE(testing::Message() << arguments[0] << L" " << arguments[1]);
    StartCase();
    CreateKey(ResultKeyPath);  // left by an earlier run
    EXPECT_EQ(0, Run(arguments));
    EXPECT_EQ(UsageText, simulation.output);
    EXPECT_TRUE(simulation.processEvents.empty());
    EXPECT_FALSE(KeyExists(ResultKeyPath));
    EXPECT_EQ(0, simulation.sleeps);
    ExpectAllReleased();
  }
}

TEST_F(RunWrapperTest, UsageInDisplayModeEndsWithTheStatusLine) {
  EXPECT_EQ(0, Run({L"/display", L"/s", L"/help"}));
  EXPECT_EQ(UsageText + L"Got ReturnCode: 0", simulation.output);
  EXPECT_TRUE(simulation.processEvents.empty());
}

TEST_F(RunWrapperTest, HelpAlonePassesTheSwitchToTheInstaller) {
  ResultWrittenWhenEnds(LaunchedProcessId, 3010);
  EXPECT_EQ(3010, Run({L"/help"}));
  EXPECT_EQ(std::vector<std::wstring>{L"setup.exe /help"}, simulation.startedCommandLines);
  EXPECT_EQ(L"", simulation.output);
  EXPECT_FALSE(KeyExists(MakerKeyPath));
}

TEST_F(RunWrapperTest, FailedAllocationEndsTheRunWith1603) {
  simulation.failingAllocation = 1;
  // The buffer is allocated before any switch is read, so "/display" is never seen.
  EXPECT_EQ(1603, Run({L"/display", L"/s"}));
  EXPECT_EQ(L"Failed to process command line. Exiting.\n", simulation.output);
  EXPECT_TRUE(simulation.processEvents.empty());

  // Switched on beforehand, it shows the final status line too.
  StartCase();
  simulation.failingAllocation = 1;
  DisplayMode = true;
  EXPECT_EQ(1603, Run({L"/s"}));
  const std::wstring ending = L"Failed to process command line. Exiting.\nGot ReturnCode: 1603";
  const std::wstring& output = simulation.output;
  ASSERT_GE(output.size(), ending.size());
  EXPECT_EQ(ending, output.substr(output.size() - ending.size()));
}

TEST_F(RunWrapperTest, FailedProcessCreationEndsTheRunWith1603) {
  const struct {
    std::vector<std::wstring> arguments;
    const wchar_t* output;
  } cases[] = {
      {{L"/s"}, L""},
      {{L"/s", L"/display"},
       L"Calling setup.exe /s\nFailed to start installer (740).\nGot ReturnCode: 1603"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << "argument count " << test.arguments.size());
    StartCase();
    simulation.createProcessError = 740;  // ERROR_ELEVATION_REQUIRED
    ResultWrittenWhenEnds(LaunchedProcessId, 0);
    EXPECT_EQ(1603, Run(test.arguments));
    EXPECT_EQ(test.output, simulation.output);
    EXPECT_EQ(std::vector<std::string>{"CreateProcess"}, simulation.processEvents);
    EXPECT_EQ(0, simulation.sleeps);
    ExpectAllReleased();
  }
}

TEST_F(RunWrapperTest, FailingKeyCloseIsReportedInEveryModeAndChangesNothing) {
  const struct {
    std::vector<std::wstring> failingCloses;
    std::vector<std::wstring> arguments;
    std::wstring output;
  } cases[] = {
      {{MakerKeyPath, L"software"},
       {},
       L"Error, could not close key software\\Quellbrookdynamical"
       L"Error, could not close key software\\Quellbrookdynamical"
       L"Error, could not close key software"},
      {{MakerKeyPath, L"software"},
       {L"/display"},
       L"Error, could not close key software\\Quellbrookdynamical"
       L"Calling setup.exe\n"
       L"Read returncode key 5\n"
       L"Opened key software\\Quellbrookdynamical\n"
       L"Deleted key quendlebox\n"
       L"Error, could not close key software\\Quellbrookdynamical"
       L"Opened key software\n"
       L"Deleted key Quellbrookdynamical\n"
       L"Error, could not close key software"
       L"Got ReturnCode: 5"},
      // Closes on the way out of a failure or of the existence probe are not examined.
      {{ResultKeyPath}, {}, L""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << "argument count " << test.arguments.size());
    StartCase();
    CreateKey(ResultKeyPath);
    for (const std::wstring& path : test.failingCloses) {
      simulation.registry[path].closeFails = true;
    }
    ResultWrittenWhenEnds(LaunchedProcessId, 5);
    EXPECT_EQ(5, Run(test.arguments));
    EXPECT_EQ(test.output, simulation.output);
    EXPECT_FALSE(KeyExists(MakerKeyPath));
    ExpectAllReleased();
  }
}

TEST_F(RunWrapperTest, RefusedDeletionLeavesKeysAndKeepsTheValue) {
  const struct {
    const char* name;
    std::wstring existingKey;
    bool wrapperDeletionRefused;
    std::wstring output;
  } cases[] = {
      {"wrapper key deletion refused", MakerKeyPath, true,
       L"Calling setup.exe\nRead returncode key 7\n"
       L"Opened key software\\Quellbrookdynamical\n"
       L"Failed to delete key quendlebox.\nFailed to delete key quendlebox.\n"
       L"Got ReturnCode: 7"},
      {"maker key holds another subkey", std::wstring(MakerKeyPath) + L"\\other", false,
       L"Calling setup.exe\nRead returncode key 7\n"
       L"Opened key software\\Quellbrookdynamical\nDeleted key quendlebox\n"
       L"Opened key software\n"
       L"Failed to delete key Quellbrookdynamical.\nFailed to delete key Quellbrookdynamical.\n"
       L"Got ReturnCode: 7"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    StartCase();
    CreateKey(test.existingKey);
    simulation.registry[ResultKeyPath].deleteRefused = test.wrapperDeletionRefused;
    ResultWrittenWhenEnds(LaunchedProcessId, 7);
    EXPECT_EQ(7, Run({L"/display"}));
    EXPECT_EQ(test.output, simulation.output);
    EXPECT_EQ(test.wrapperDeletionRefused, KeyExists(ResultKeyPath));
    EXPECT_TRUE(KeyExists(MakerKeyPath));
    ExpectAllReleased();
  }
}

TEST_F(RunWrapperTest, DisplayTracesAFullRun) {
  CreateKey(MakerKeyPath);
  AddProcess(300, 7, L"setup.exe", 0);  // someone else's installer
  AddProcess(201, LaunchedProcessId, L"msiexec.exe", LaunchedProcessId);
  AddProcess(202, LaunchedProcessId, L"Setup.exe", LaunchedProcessId);
  simulation.openHandleValues[202] = 4660;
  ResultWrittenWhenEnds(202, 3010);

  EXPECT_EQ(3010, Run({L"/display", L"/s", L"/vLOGFILE=C:\\log.txt"}));
  EXPECT_EQ(
      L"Calling setup.exe /s /v\"LOGFILE=C:\\log.txt\"\n"
      L"Found Child Process msiexec.exe, not a match, continuing...\n"
      L"Found Child Process Setup.exe, waiting ...\n"
      L"Waiting for child process (0x00004660).\n"
      L"Found Child Process msiexec.exe, not a match, continuing...\n"
      L"Read returncode key 3010\n"
      L"Opened key software\\Quellbrookdynamical\n"
      L"Deleted key quendlebox\n"
      L"Opened key software\n"
      L"Deleted key Quellbrookdynamical\n"
      L"Got ReturnCode: 3010",
      simulation.output);
  // Without the flag a 64-bit build would look in the 64-bit view, where a 32-bit installer
  // never writes.
  ASSERT_FALSE(simulation.registryViews.empty());
  EXPECT_EQ(std::vector<REGSAM>(simulation.registryViews.size(), KEY_WOW64_32KEY),
            simulation.registryViews);
}

using ChildTrackingTest = RunWrapperTest;

TEST_F(ChildTrackingTest, MatchesTheInstallerNameIgnoringCaseOnly) {
  const struct {
    const wchar_t* name;
    bool matches;
  } cases[] = {
      {L"setup.exe", true},      {L"Setup.exe", true}, {L"SETUP.EXE", true},
      {L"setup.exe.bak", false}, {L"setup.ex", false}, {L"xsetup.exe", false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << test.name);
    StartCase();
    DisplayMode = true;
    AddProcess(200, LaunchedProcessId, test.name, 0);
    const HANDLE child = FindChildInstaller(LaunchedProcessId);
    EXPECT_EQ(test.matches, child != NULL);
    EXPECT_EQ(std::wstring(L"Found Child Process ") + test.name +
                  (test.matches ? L", waiting ...\n" : L", not a match, continuing...\n"),
              simulation.output);
    if (child != NULL) {
      platform::CloseHandle(child);
    }
    ExpectAllReleased();
  }
}

TEST_F(ChildTrackingTest, WaitsForDirectChildrenOneAtATimeBeforeClosingTheInstaller) {
  AddProcess(200, LaunchedProcessId, L"setup.exe", LaunchedProcessId);
  AddProcess(400, 999, L"setup.exe", 0);
  AddProcess(201, LaunchedProcessId, L"setup.exe", LaunchedProcessId);
  AddProcess(300, 200, L"setup.exe", 200);  // grandchild
  simulation.openHandleValues[200] = 1000;
  simulation.openHandleValues[201] = 20000000;
  ResultWrittenWhenEnds(201, 1);

  EXPECT_EQ(1, Run({L"/display"}));
  const std::wstring& output = simulation.output;
  EXPECT_EQ(
      L"Calling setup.exe\n"
      L"Found Child Process setup.exe, waiting ...\n"
      L"Waiting for child process (0x00001000).\n"
      L"Found Child Process setup.exe, waiting ...\n"
      L"Waiting for child process (0x20000000).\n",
      output.substr(0, output.find(L"Read returncode key 1\n")));
  EXPECT_EQ((std::vector<std::string>{
                "CreateProcess", "Wait 100",
                "Snapshot", "Open 200", "Close snapshot", "Wait 200", "Close process 200",
                "Snapshot", "Open 201", "Close snapshot", "Wait 201", "Close process 201",
                "Snapshot", "Close snapshot",
                "Close process 100", "Close thread 100"}),
            simulation.processEvents);
}

TEST_F(ChildTrackingTest, UnopenableChildOrFailedSnapshotEndsTracking) {
  const struct {
    const char* name;
    int failingSnapshot;
    std::vector<std::string> events;
  } cases[] = {
      {"child cannot be opened", 0,
       {"CreateProcess", "Wait 100", "Snapshot", "Open 200 refused", "Close snapshot",
        "Close process 100", "Close thread 100"}},
      {"snapshot refused", 1,
       {"CreateProcess", "Wait 100", "Snapshot refused", "Close process 100", "Close thread 100"}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    StartCase();
    AddProcess(200, LaunchedProcessId, L"setup.exe", LaunchedProcessId);
    AddProcess(201, LaunchedProcessId, L"setup.exe", LaunchedProcessId);
    simulation.unopenableIds.insert(200);
    simulation.failingSnapshot = test.failingSnapshot;
    ResultWrittenWhenEnds(LaunchedProcessId, 42);
    EXPECT_EQ(42, Run({L"/s"}));
    EXPECT_EQ(test.events, simulation.processEvents);
    EXPECT_EQ(L"", simulation.output);
    ExpectAllReleased();
  }
}

}  // namespace
