#include <string>
#include <vector>

#include "handoff/return_code_key.h"
#include "tests/unit/simulated_platform_test.h"

namespace {

using simulated::CreateKey;
using simulated::Dword;
using simulated::KeyExists;
using simulated::simulation;

using ReturnCodeKeyTest = SimulatedPlatformTest;

struct RetryCase {
  const char* name;
  int keyAppearsAtOpen;  // 0: never
  bool hasValue;
  std::vector<BYTE> value;
  int queriesToFail;
  int code;
  int pauses;
  bool keysDeleted;
};

TEST_F(ReturnCodeKeyTest, RetriesOpenAndQueryWithOneSecondPauses) {
  const RetryCase cases[] = {
      {"value present at once", 1, true, Dword(42), 0, 42, 0, true},
      {"key appears at the 4th open", 4, true, Dword(42), 0, 42, 3, true},
      {"key never appears", 0, false, {}, 0, 1603, 10, false},
      {"key appears too late, at the 11th open", 11, true, Dword(42), 0, 1603, 10, false},
      {"key without value", 1, false, {}, 0, 1603, 10, false},
      {"key just before the 10th open, never a value", 10, false, {}, 0, 1603, 19, false},
      {"value written after 9 failed queries", 1, true, Dword(3010), 9, 3010, 9, true},
      {"value never delivered in 10 queries", 1, true, Dword(3010), 10, 1603, 10, false},
      {"value of 6 bytes", 1, true, {1, 0, 0, 0, 0, 0}, 0, 1603, 10, false},
      {"value of 2 bytes fills only its own", 1, true, {0x34, 0x12}, 0, 0x1234, 0, true},
      {"value of 0 bytes", 1, true, {}, 0, 0, 0, true},
      {"value 0 is a result", 1, true, Dword(0), 0, 0, 0, true},
      {"negative value", 1, true, Dword(static_cast<DWORD>(-1000)), 0, -1000, 0, true},
  };
  for (const RetryCase& test : cases) {
    SCOPED_TRACE(test.name);
    StartCase();
    CreateKey(MakerKeyPath);
    simulated::RegistryKey& wrapper = simulation.registry[ResultKeyPath];
    wrapper.appearsAtOpenAttempt = test.keyAppearsAtOpen;
    wrapper.queriesToFail = test.queriesToFail;
    if (test.hasValue) {
      wrapper.values[L"ReturnCode"] = test.value;
    }
    int exitCode = -7;
    CollectReturnCode(&exitCode);
    EXPECT_EQ(test.code, exitCode);
    EXPECT_EQ(test.pauses, simulation.sleeps);
    EXPECT_EQ(test.pauses * 1000u, simulation.sleptMilliseconds);
    EXPECT_EQ(!test.keysDeleted, KeyExists(MakerKeyPath));
    if (test.keysDeleted) {
      EXPECT_FALSE(KeyExists(ResultKeyPath));
      EXPECT_TRUE(KeyExists(L"software"));
    }
    EXPECT_EQ(L"", simulation.output);
    ExpectAllReleased();
  }
}

TEST_F(ReturnCodeKeyTest, UnreadableResultIsReportedInDisplayMode) {
  DisplayMode = true;
  CreateKey(ResultKeyPath);
  int exitCode = 0;
  CollectReturnCode(&exitCode);
  EXPECT_EQ(1603, exitCode);
  EXPECT_EQ(L"Failed to get returncode (software\\Quellbrookdynamical\\quendlebox).\n",
            simulation.output);
  EXPECT_TRUE(KeyExists(ResultKeyPath));
}

struct DeleteCase {
  const char* name;
  std::vector<std::wstring> keys;
  const wchar_t* unopenable;
  bool deleted;
  const wchar_t* output;
};

TEST_F(ReturnCodeKeyTest, DeleteSubkeyReportsEachStepInDisplayMode) {
  const DeleteCase cases[] = {
      {"deleted", {ResultKeyPath}, nullptr, true,
       L"Opened key software\\Quellbrookdynamical\nDeleted key quendlebox\n"},
      {"subkey absent", {MakerKeyPath}, nullptr, false, L"Opened key software\\Quellbrookdynamical\n"},
      {"subkey cannot be opened", {ResultKeyPath}, ResultKeyPath, false,
       L"Opened key software\\Quellbrookdynamical\n"},
      {"parent cannot be opened", {ResultKeyPath}, MakerKeyPath, false,
       L"Failed to open registry key software\\Quellbrookdynamical.\n"},
      {"subkey has subkeys", {std::wstring(ResultKeyPath) + L"\\inner"}, nullptr, false,
       L"Opened key software\\Quellbrookdynamical\nFailed to delete key quendlebox.\n"},
  };
  for (const DeleteCase& test : cases) {
    SCOPED_TRACE(test.name);
    StartCase();
    DisplayMode = true;
    for (const std::wstring& key : test.keys) {
      CreateKey(key);
    }
    if (test.unopenable != nullptr) {
      simulation.registry[test.unopenable].opensToFail = 1;
    }
    const bool existed = KeyExists(ResultKeyPath);
    EXPECT_EQ(test.deleted, DeleteSubkey(MakerKeyPath, WrapperKeyName));
    EXPECT_EQ(test.output, simulation.output);
    EXPECT_EQ(existed && !test.deleted, KeyExists(ResultKeyPath));
    ExpectAllReleased();
  }
}

}  // namespace
