#include <limits.h>

#include <string>

#include "platform/output.h"
#include "tests/unit/simulated_platform_test.h"

namespace {

using simulated::simulation;

using OutputTest = SimulatedPlatformTest;

struct IntegerCase {
  const char* format;
  int value;
  const wchar_t* text;
};

// Every message here fits the formatter's 128-character buffer, so it must reach the output in
// one write; the last fills the buffer exactly.
const std::wstring BufferFull = std::wstring(127, L'0') + L"7";

TEST_F(OutputTest, FormatsIntegersLikePrintfInOneWrite) {
  const IntegerCase cases[] = {
      {"(0x%08d)", 4660, L"(0x00004660)"},
      {"(0x%08d)", 0, L"(0x00000000)"},
      {"(0x%08d)", -42, L"(0x-0000042)"},
      {"(0x%08d)", 123456789, L"(0x123456789)"},
      {"%08d", INT_MIN, L"-2147483648"},
      {"%d", INT_MIN, L"-2147483648"},
      {"%d", INT_MAX, L"2147483647"},
      {"Got ReturnCode: %d", -1, L"Got ReturnCode: -1"},
      {"100%% %d%%", 5, L"100% 5%"},
      {"%0128d", 7, BufferFull.c_str()},
  };
  for (const IntegerCase& test : cases) {
    SCOPED_TRACE(testing::Message() << test.format << " with " << test.value);
    simulation.output.clear();
    simulation.longestWrite = 0;
    PrintMessage(test.format, test.value);
    EXPECT_EQ(test.text, simulation.output);
    EXPECT_EQ(simulation.output.size(), simulation.longestWrite);
  }
}

TEST_F(OutputTest, WritesWideArgumentsExactly) {
  std::wstring longText;
  for (int index = 0; index < 1500; ++index) {
    longText += static_cast<wchar_t>(L'a' + index % 26);
  }
  PrintMessage("Calling %S\n", longText.c_str());
  EXPECT_EQ(L"Calling " + longText + L"\n", simulation.output);

  // Latin, CJK and an astral character (a surrogate pair) between two conversions.
  const wchar_t nonAscii[] = L"Gr\u00fc\u00dfe \u4e2d \xD83D\xDE00.exe";
  simulation.output.clear();
  PrintMessage("[%S|%d|%S]", nonAscii, 7, L"");
  EXPECT_EQ(std::wstring(L"[") + nonAscii + L"|7|]", simulation.output);
}

TEST_F(OutputTest, LongLiteralTextIsWrittenWhole) {
  const std::string literal(300, 'x');
  PrintMessage((literal + "%d" + literal).c_str(), 12345);
  EXPECT_EQ(std::wstring(300, L'x') + L"12345" + std::wstring(300, L'x'), simulation.output);
  // Literal text is written from a 128-character buffer: a longer write means characters
  // were stored past its end.
  EXPECT_LE(simulation.longestWrite, 128u);
}

TEST_F(OutputTest, DisplayMessagesOnlyInDisplayMode) {
  PrintDisplayMessage("Opened key %S\n", L"software");
  EXPECT_EQ(L"", simulation.output);
  DisplayMode = true;
  PrintDisplayMessage("Opened key %S\n", L"software");
  EXPECT_EQ(L"Opened key software\n", simulation.output);
}

}  // namespace
