// Runs the resource and image tests on the install.exe named by the first argument. CTest
// passes it as "Z:" and the Linux path, so slashes are turned into backslashes here.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "install_exe_path.h"

namespace {
std::wstring g_installExePath;
}

const std::wstring& InstallExePath() { return g_installExePath; }

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH\\TO\\install.exe [gtest flags]\n", argv[0]);
    return 2;
  }
  const int length = MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, NULL, 0);
  g_installExePath.resize(length > 0 ? length - 1 : 0);
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, &g_installExePath[0], length);
  for (wchar_t& c : g_installExePath) {
    if (c == L'/') c = L'\\';
  }
  return RUN_ALL_TESTS();
}
