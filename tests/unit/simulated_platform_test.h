// The fixture every unit test uses: a fresh simulated platform and DisplayMode off before each
// test, and afterwards a check that everything opened or allocated was given back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handoff/registry_names.h"
#include "platform/output.h"
#include "platform/platform.h"
#include "tests/unit/simulated_platform.h"

class SimulatedPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { StartCase(); }
  void TearDown() override {
    ExpectAllReleased();
    DisplayMode = false;
  }

  // For tables that run several cases in one test.
  static void StartCase() {
    simulated::Reset();
    DisplayMode = false;
  }

  static void ExpectAllReleased() {
    EXPECT_EQ(0u, simulated::simulation.handles.size()) << "process, thread or snapshot handles";
    EXPECT_EQ(0u, simulated::simulation.openKeys.size()) << "registry keys";
    EXPECT_EQ(0u, simulated::simulation.liveBlocks.size()) << "heap blocks";
  }

  // The installer identified by `processId` leaves `code` as the result when it ends.
  static void ResultWrittenWhenEnds(DWORD processId, DWORD code) {
    simulated::simulation.onProcessEnd[processId] = [code] {
      simulated::CreateKey(ResultKeyPath).values[ReturnCodeValueName] = simulated::Dword(code);
    };
  }
};

// A vector of writable argument strings with the null entry behind the last, as main passes it.
class ArgumentVector {
 public:
  explicit ArgumentVector(std::vector<std::wstring> arguments) : texts_(std::move(arguments)) {
    for (std::wstring& text : texts_) {
      pointers_.push_back(&text[0]);
    }
    pointers_.push_back(nullptr);
  }
  int count() const { return static_cast<int>(texts_.size()); }
  wchar_t** vector() { return pointers_.data(); }

 private:
  std::vector<std::wstring> texts_;
  std::vector<wchar_t*> pointers_;
};
