#include <string>
#include <vector>

#include "platform/command_line.h"
#include "tests/unit/simulated_platform_test.h"

namespace {

using simulated::simulation;

using SplitCommandLineTest = SimulatedPlatformTest;

struct SplitCase {
  const wchar_t* commandLine;
  std::vector<std::wstring> arguments;
};

TEST_F(SplitCommandLineTest, FollowsTheRuntimeRules) {
  const SplitCase cases[] = {
      {L"", {L""}},
      {L"install.exe", {L"install.exe"}},
      {L"install.exe  /s\t\t/w  ", {L"install.exe", L"/s", L"/w"}},
      // Argument 0 knows no escapes: its quotes only group.
      {L"\"C:\\Program Files\\install.exe\" /s", {L"C:\\Program Files\\install.exe", L"/s"}},
      {L"\"C:\\dir\\\" x", {L"C:\\dir\\", L"x"}},
      {L"x \"a b\" c", {L"x", L"a b", L"c"}},
      {L"x a\"b c\"d", {L"x", L"ab cd"}},
      {L"x a\"\"b", {L"x", L"ab"}},
      // Two quotes inside a quoted stretch give one, and the stretch goes on.
      {L"x \"a\"\"b c\" d", {L"x", L"a\"b c", L"d"}},
      {L"x \"\"\"\"", {L"x", L"\""}},
      {L"x \"\" y \"\"", {L"x", L"", L"y", L""}},
      // 2n backslashes before a quote: n of them, the quote delimits.
      {L"x a\\\\\"b c\"", {L"x", L"a\\b c"}},
      {L"x \"C:\\dir\\\\\" y", {L"x", L"C:\\dir\\", L"y"}},
      // 2n+1 backslashes before a quote: n of them and a literal quote.
      {L"x a\\\"b", {L"x", L"a\"b"}},
      {L"x a\\\\\\\"b c", {L"x", L"a\\\"b", L"c"}},
      {L"x /v\"LOGFILE=\\\"C:\\a b\\\"\"", {L"x", L"/vLOGFILE=\"C:\\a b\""}},
      // Backslashes not before a quote are literal.
      {L"x C:\\dir\\ a\\\\b", {L"x", L"C:\\dir\\", L"a\\\\b"}},
      {L"x \u00e9t\u00e9 \xD83D\xDE00z", {L"x", L"\u00e9t\u00e9", L"\xD83D\xDE00z"}},
  };
  for (const SplitCase& test : cases) {
    SCOPED_TRACE(testing::Message() << "command line: " << test.commandLine);
    int count = -1;
    wchar_t** arguments = nullptr;
    ASSERT_TRUE(SplitCommandLine(test.commandLine, &count, &arguments));
    ASSERT_EQ(static_cast<int>(test.arguments.size()), count);
    for (int index = 0; index < count; ++index) {
      EXPECT_EQ(test.arguments[index], arguments[index]) << "argument " << index;
    }
    EXPECT_EQ(nullptr, arguments[count]);
    ReleaseArguments(arguments);
  }
}

TEST_F(SplitCommandLineTest, FailsWhenTheBlockCannotBeAllocated) {
  simulation.failingAllocation = 1;
  int count = -1;
  wchar_t** arguments = reinterpret_cast<wchar_t**>(&count);
  EXPECT_FALSE(SplitCommandLine(L"install.exe /s", &count, &arguments));
  EXPECT_EQ(0, count);
  EXPECT_EQ(nullptr, arguments);
}

}  // namespace
