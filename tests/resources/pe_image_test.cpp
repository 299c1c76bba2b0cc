// install.exe as a file: a 32-bit console program that needs no DLL beyond those of Windows
// itself, and that another program can start even though it asks for administrator rights.
#include <windows.h>

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install_exe_path.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr DWORD kErrorElevationRequired = 740;  // not in MinGW's winerror.h

Bytes ReadWholeFile(const std::wstring& path) {
  Bytes data;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == NULL) return data;
  unsigned char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    data.insert(data.end(), buffer, buffer + n);
  }
  std::fclose(file);
  return data;
}

// The headers of a PE32 image, with bounds-checked access to the rest of the file.
class PeFile {
 public:
  bool Open(const std::wstring& path) {
    data_ = ReadWholeFile(path);
    IMAGE_DOS_HEADER dos;
    if (!Copy(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return false;
    if (!Copy(dos.e_lfanew, &nt_) || nt_.Signature != IMAGE_NT_SIGNATURE) return false;
    const size_t sectionsAt = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                              nt_.FileHeader.SizeOfOptionalHeader;
    sections_.resize(nt_.FileHeader.NumberOfSections);
    for (size_t i = 0; i < sections_.size(); ++i) {
      if (!Copy(sectionsAt + i * sizeof(IMAGE_SECTION_HEADER), &sections_[i])) return false;
    }
    return true;
  }

  const IMAGE_NT_HEADERS32& Headers() const { return nt_; }

  template <typename T>
  bool Copy(size_t offset, T* out) const {
    if (offset > data_.size() || data_.size() - offset < sizeof(T)) return false;
    std::memcpy(out, &data_[offset], sizeof(T));
    return true;
  }

  // File offset of a relative virtual address, or 0 when no section holds it.
  size_t Offset(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER& s : sections_) {
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
        return rva - s.VirtualAddress + s.PointerToRawData;
      }
    }
    return 0;
  }

  std::string String(DWORD rva) const {
    std::string text;
    for (size_t at = Offset(rva); at != 0 && at < data_.size() && data_[at] != 0; ++at) {
      text += char(data_[at]);
    }
    return text;
  }

 private:
  Bytes data_;
  IMAGE_NT_HEADERS32 nt_ = {};
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

TEST(PeImage, IsA32BitConsoleProgramWithoutTimestampOrSymbols) {
  PeFile pe;
  ASSERT_TRUE(pe.Open(InstallExePath())) << "not a PE file";
  const IMAGE_FILE_HEADER& file = pe.Headers().FileHeader;
  const IMAGE_OPTIONAL_HEADER32& optional = pe.Headers().OptionalHeader;
  EXPECT_EQ(file.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_TRUE(file.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE);
  EXPECT_FALSE(file.Characteristics & IMAGE_FILE_DLL);
  EXPECT_EQ(optional.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(optional.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
  // What would make two builds differ or leak the build machine's paths.
  EXPECT_EQ(file.TimeDateStamp, 0u);
  EXPECT_EQ(file.PointerToSymbolTable, 0u);
  EXPECT_EQ(file.NumberOfSymbols, 0u);
  EXPECT_EQ(optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG].Size, 0u);
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(PeImage, ImportsOnlyKernel32Advapi32AndMsvcrt) {
  PeFile pe;
  ASSERT_TRUE(pe.Open(InstallExePath())) << "not a PE file";
  const IMAGE_DATA_DIRECTORY* directories = pe.Headers().OptionalHeader.DataDirectory;
  EXPECT_EQ(directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u) << "delay-loaded DLLs";

  const IMAGE_DATA_DIRECTORY& imports = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(imports.Size, 0u);
  const size_t first = pe.Offset(imports.VirtualAddress);
  ASSERT_NE(first, 0u);
  std::set<std::string> dlls;
  for (size_t at = first;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    ASSERT_TRUE(pe.Copy(at, &descriptor)) << "import table runs off the file";
    if (descriptor.Name == 0) break;
    dlls.insert(Lower(pe.String(descriptor.Name)));
  }
  // A MinGW runtime DLL (libgcc, libstdc++, winpthread) here means the static link broke.
  const std::set<std::string> allowed = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"};
  EXPECT_TRUE(dlls.count("kernel32.dll"));
  for (const std::string& dll : dlls) EXPECT_TRUE(allowed.count(dll)) << "imports " << dll;
}

// TOKEN_ELEVATION_TYPE of a process, or 0 when it cannot be read.
int ElevationType(HANDLE process) {
  HANDLE token = NULL;
  TOKEN_ELEVATION_TYPE type = TOKEN_ELEVATION_TYPE(0);
  DWORD length = 0;
  if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
    if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &length)) {
      type = TOKEN_ELEVATION_TYPE(0);
    }
    CloseHandle(token);
  }
  return int(type);
}

// Windows refuses such a start with ERROR_ELEVATION_REQUIRED unless the caller is elevated;
// the end-to-end tests start install.exe this way, so it must work in their environment.
// The process is created suspended and ended: none of its code runs.
TEST(PeImage, StartsFromAnotherProgramDespiteTheElevationManifest) {
  std::wstring commandLine = L"\"" + InstallExePath() + L"\" /?";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(InstallExePath().c_str(), &commandLine[0], NULL, NULL,
                                      FALSE, CREATE_SUSPENDED, NULL, NULL, &startup, &process);
  const DWORD error = GetLastError();
  ASSERT_TRUE(started) << "CreateProcessW failed with error " << error
                       << (error == kErrorElevationRequired ? " (elevation required)" : "");

  std::printf("token elevation type (1 default, 2 full, 3 limited): this test %d, install.exe %d\n",
              ElevationType(GetCurrentProcess()), ElevationType(process.hProcess));
  EXPECT_TRUE(TerminateProcess(process.hProcess, 0));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
