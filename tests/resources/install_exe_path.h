// The install.exe under test, as a Windows path, given on the test program's command line.
#pragma once
#include <string>

const std::wstring& InstallExePath();
