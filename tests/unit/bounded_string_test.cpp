#include <gtest/gtest.h>

#include <string>

#include "switches/bounded_string.h"

namespace {

// Destinations live in a buffer of '#' so that a write past the capacity shows.
const size_t BufferChars = 8;

std::wstring Guarded(const wchar_t* initial) {
  std::wstring buffer(BufferChars, L'#');
  for (size_t index = 0; initial[index] != L'\0'; ++index) {
    buffer[index] = initial[index];
  }
  return buffer;
}

TEST(BoundedLength, CountsUpToTheTerminatorAndRefusesNull) {
  SIZE_T length = 99;
  EXPECT_TRUE(BoundedLength(L"", &length));
  EXPECT_EQ(0u, length);
  EXPECT_TRUE(BoundedLength(L"setup.exe", &length));
  EXPECT_EQ(9u, length);
  length = 99;
  EXPECT_FALSE(BoundedLength(nullptr, &length));
  EXPECT_EQ(0u, length);
}

struct CopyCase {
  SIZE_T capacity;
  const wchar_t* source;
  bool succeeds;
  std::wstring buffer;  // the whole guarded buffer afterwards
};

TEST(BoundedCopy, StaysWithinCapacityAndAlwaysTerminates) {
  const CopyCase cases[] = {
      {0, L"a", false, L"xyz#####"},
      {1, L"", true, std::wstring(L"\0yz#####", 8)},
      {1, L"a", false, std::wstring(L"\0yz#####", 8)},
      {4, L"abc", true, std::wstring(L"abc\0####", 8)},
      {3, L"abc", false, std::wstring(L"ab\0#####", 8)},
      {4, nullptr, false, std::wstring(L"\0yz#####", 8)},
      {MaxStringChars + 1, L"a", false, L"xyz#####"},
  };
  for (const CopyCase& test : cases) {
    SCOPED_TRACE(testing::Message() << "capacity " << test.capacity << ", source "
                                    << (test.source ? test.source : L"(null)"));
    std::wstring buffer = Guarded(L"xyz");
    EXPECT_EQ(test.succeeds, BoundedCopy(&buffer[0], test.capacity, test.source));
    EXPECT_EQ(test.buffer, buffer);
  }
  EXPECT_FALSE(BoundedCopy(nullptr, 4, L"a"));
}

struct AppendCase {
  const wchar_t* initial;
  SIZE_T capacity;
  const wchar_t* source;
  bool succeeds;
  std::wstring buffer;
};

TEST(BoundedAppend, StaysWithinCapacityAndAlwaysTerminates) {
  const AppendCase cases[] = {
      {L"ab", 8, L"cd", true, std::wstring(L"abcd\0###", 8)},
      {L"", 8, L"cd", true, std::wstring(L"cd\0#####", 8)},
      {L"ab", 5, L"cd", true, std::wstring(L"abcd\0###", 8)},
      {L"ab", 4, L"cd", false, std::wstring(L"abc\0####", 8)},
      {L"ab", 3, L"c", false, std::wstring(L"ab\0#####", 8)},
      {L"ab", 3, L"", true, std::wstring(L"ab\0#####", 8)},
      {L"ab", 5, nullptr, false, std::wstring(L"ab\0#####", 8)},
      // No terminator within the capacity: nothing is written.
      {L"abcd", 4, L"e", false, std::wstring(L"abcd\0###", 8)},
      {L"ab", 0, L"c", false, std::wstring(L"ab\0#####", 8)},
  };
  for (const AppendCase& test : cases) {
    SCOPED_TRACE(testing::Message() << "initial " << test.initial << ", capacity " << test.capacity
                                    << ", source " << (test.source ? test.source : L"(null)"));
    std::wstring buffer = Guarded(test.initial);
    buffer[wcslen(test.initial)] = L'\0';
    EXPECT_EQ(test.succeeds, BoundedAppend(&buffer[0], test.capacity, test.source));
    EXPECT_EQ(test.buffer, buffer);
  }
  EXPECT_FALSE(BoundedAppend(nullptr, 4, L"a"));
}

}  // namespace
