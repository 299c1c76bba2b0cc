// The resources of install.exe, read back through the Windows resource and version APIs: the
// elevation manifest, the version record and the icon group, all in U.S. English.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install_exe_path.h"
#include "install_version.h"

namespace {

constexpr WORD kEnglishUs = 1033;
using Bytes = std::vector<unsigned char>;

// ---------------------------------------------------------------------------------------------
// A minimal XML reader: declaration, comments, elements and quoted attributes. Text content,
// unbalanced tags, repeated attributes or a second root make it fail, so nothing in the
// manifest can go unseen.
struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::vector<XmlElement> children;
};

class XmlReader {
 public:
  explicit XmlReader(const std::string& text) : s_(text) {}

  bool ReadDocument(XmlElement* root) {
    if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
    SkipMisc();
    if (!ReadElement(root)) return false;
    SkipMisc();
    return pos_ == s_.size();
  }

 private:
  bool Consume(const char* token) {
    const size_t n = std::strlen(token);
    if (s_.compare(pos_, n, token) != 0) return false;
    pos_ += n;
    return true;
  }
  void SkipSpace() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool SkipPast(const char* open, const char* close) {
    if (s_.compare(pos_, std::strlen(open), open) != 0) return false;
    const size_t end = s_.find(close, pos_);
    pos_ = end == std::string::npos ? s_.size() : end + std::strlen(close);
    return true;
  }
  void SkipMisc() {
    do SkipSpace();
    while (SkipPast("<?", "?>") || SkipPast("<!--", "-->"));
  }
  std::string ReadName() {
    const size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) ||
                                std::strchr(":_-.", s_[pos_]) != NULL)) {
      ++pos_;
    }
    return s_.substr(start, pos_ - start);
  }
  bool ReadElement(XmlElement* element) {
    if (!Consume("<")) return false;
    element->name = ReadName();
    if (element->name.empty()) return false;
    for (;;) {
      SkipSpace();
      if (Consume("/>")) return true;
      if (Consume(">")) break;
      const std::string name = ReadName();
      SkipSpace();
      if (name.empty() || !Consume("=")) return false;
      SkipSpace();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return false;
      const size_t end = s_.find(s_[pos_], pos_ + 1);
      if (end == std::string::npos) return false;
      if (!element->attributes.emplace(name, s_.substr(pos_ + 1, end - pos_ - 1)).second) {
        return false;
      }
      pos_ = end + 1;
    }
    for (;;) {
      SkipMisc();
      if (Consume("</")) {
        const bool same = ReadName() == element->name;
        SkipSpace();
        return same && Consume(">");
      }
      XmlElement child;
      if (!ReadElement(&child)) return false;
      element->children.push_back(child);
    }
  }

  const std::string& s_;
  size_t pos_ = 0;
};

// One line per tree: name[attribute=value,...](children,...), attributes sorted by name.
std::string Describe(const XmlElement& element) {
  std::string out = element.name + "[";
  for (const auto& attribute : element.attributes) {
    if (out.back() != '[') out += ",";
    out += attribute.first + "=" + attribute.second;
  }
  out += "](";
  for (size_t i = 0; i < element.children.size(); ++i) {
    out += (i ? "," : "") + Describe(element.children[i]);
  }
  return out + ")";
}

std::string ReadXml(const std::string& text) {
  XmlElement root;
  return XmlReader(text).ReadDocument(&root) ? Describe(root) : "(rejected)";
}

// ---------------------------------------------------------------------------------------------
// The executable loaded as a data file: its resources are readable, none of its code runs.
class ExecutableResources : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(InstallExePath().c_str(), NULL,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot load " << std::string(InstallExePath().begin(),
                                                                 InstallExePath().end())
                                << ", error " << GetLastError();
  }
  void TearDown() override {
    if (module_ != NULL) FreeLibrary(module_);
  }

  // The U.S. English resource, or false when there is none.
  bool Load(LPCWSTR type, WORD id, Bytes* out) const {
    HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), kEnglishUs);
    if (found == NULL) return false;
    const DWORD size = SizeofResource(module_, found);
    const unsigned char* data = static_cast<const unsigned char*>(LockResource(
        LoadResource(module_, found)));
    if (data == NULL) return false;
    out->assign(data, data + size);
    return true;
  }

  HMODULE module_ = NULL;
};

std::wstring ResourceName(LPCWSTR name) {
  return IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR p) {
  reinterpret_cast<std::vector<std::wstring>*>(p)->push_back(
      ResourceName(type) + L"/" + ResourceName(name) + L"/" + std::to_wstring(language));
  return TRUE;
}
BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR p) {
  return EnumResourceLanguagesW(module, type, name, CollectLanguage, p);
}
BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR p) {
  return EnumResourceNamesW(module, type, CollectName, p);
}

TEST_F(ExecutableResources, HoldsOnlyTheManifestVersionAndIconsInUsEnglish) {
  std::vector<std::wstring> actual;
  ASSERT_TRUE(EnumResourceTypesW(module_, CollectType, reinterpret_cast<LONG_PTR>(&actual)));
  std::vector<std::wstring> expected = {L"14/101/1033", L"16/1/1033", L"24/1/1033"};
  for (int id = 1; id <= 20; ++id) expected.push_back(L"3/" + std::to_wstring(id) + L"/1033");
  std::sort(actual.begin(), actual.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(actual, expected);
}

TEST_F(ExecutableResources, ManifestRequiresAdministratorAndNothingElse) {
  Bytes manifest;
  ASSERT_TRUE(Load(RT_MANIFEST, 1, &manifest));
  EXPECT_EQ(ReadXml(std::string(manifest.begin(), manifest.end())),
            "assembly[manifestVersion=1.0,xmlns=urn:schemas-microsoft-com:asm.v1]("
            "trustInfo[xmlns=urn:schemas-microsoft-com:asm.v3]("
            "security[](requestedPrivileges[]("
            "requestedExecutionLevel[level=requireAdministrator,uiAccess=false]()))))");
}

// ---------------------------------------------------------------------------------------------
// Version record.
const wchar_t kStringTable[] = L"040904b0";
// Every key of the string table; NULL marks a text of our own choosing (only non-empty).
const struct {
  const wchar_t* key;
  const wchar_t* text;
} kVersionStrings[] = {
    {L"CompanyName", L"Quellbrookdynamical"},
    {L"FileDescription", NULL},
    {L"FileVersion", L"" INSTALL_VERSION_TEXT},
    {L"InternalName", L"Install.exe"},
    {L"LegalCopyright", NULL},
    {L"OriginalFilename", L"Install.exe"},
    {L"ProductName", NULL},
    {L"ProductVersion", L"" INSTALL_VERSION_TEXT},
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

Bytes FileVersionInfo() {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(InstallExePath().c_str(), &handle);
  Bytes info(size);
  if (size == 0 || !GetFileVersionInfoW(InstallExePath().c_str(), 0, size, info.data())) {
    info.clear();
  }
  return info;
}

TEST(VersionRecord, FixedPartIsTheProjectVersionForAnNtApplication) {
  Bytes info = FileVersionInfo();
  ASSERT_FALSE(info.empty()) << "no version record, error " << GetLastError();
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const DWORD versionMs = INSTALL_VERSION_MAJOR << 16 | INSTALL_VERSION_MINOR;
  const DWORD versionLs = INSTALL_VERSION_PATCH << 16 | INSTALL_VERSION_TWEAK;
  const struct {
    const char* field;
    DWORD actual, expected;
  } fields[] = {
      {"dwSignature", fixed->dwSignature, 0xFEEF04BD},
      {"dwFileVersionMS", fixed->dwFileVersionMS, versionMs},
      {"dwFileVersionLS", fixed->dwFileVersionLS, versionLs},
      {"dwProductVersionMS", fixed->dwProductVersionMS, versionMs},
      {"dwProductVersionLS", fixed->dwProductVersionLS, versionLs},
      {"dwFileFlagsMask", fixed->dwFileFlagsMask, 0x3F},
      {"dwFileFlags", fixed->dwFileFlags, 0},
      {"dwFileOS", fixed->dwFileOS, 0x40004},
      {"dwFileType", fixed->dwFileType, 1},
      {"dwFileSubtype", fixed->dwFileSubtype, 0},
      {"dwFileDateMS", fixed->dwFileDateMS, 0},
      {"dwFileDateLS", fixed->dwFileDateLS, 0},
  };
  for (const auto& f : fields) EXPECT_EQ(f.actual, f.expected) << f.field;
}

TEST(VersionRecord, StringsAndTranslationReadThroughTheVersionApi) {
  Bytes info = FileVersionInfo();
  ASSERT_FALSE(info.empty()) << "no version record, error " << GetLastError();
  for (const auto& s : kVersionStrings) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + kStringTable + L"\\" + s.key;
    wchar_t* text = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text),
                               &length)) << Narrow(s.key);
    if (s.text != NULL) {
      EXPECT_EQ(std::wstring(text), s.text) << Narrow(s.key);
    } else {
      EXPECT_GT(std::wcslen(text), 0u) << Narrow(s.key);
    }
  }
  WORD* translation = NULL;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);
}

// One node of VS_VERSIONINFO: length, value length, type, key, padding to 32 bits, value,
// padding, children.
struct VersionNode {
  std::wstring key;
  WORD type = 0;
  Bytes value;
  std::vector<VersionNode> children;
};

size_t Align4(size_t offset) { return (offset + 3) & ~size_t(3); }

bool ParseVersionNode(const Bytes& data, size_t offset, VersionNode* node) {
  WORD header[3];
  if (offset + sizeof header > data.size()) return false;
  std::memcpy(header, &data[offset], sizeof header);
  const size_t limit = offset + header[0];
  if (header[0] < sizeof header || limit > data.size()) return false;
  size_t p = offset + sizeof header;
  for (wchar_t c = 1; c != 0; p += 2) {
    if (p + 2 > limit) return false;
    c = static_cast<wchar_t>(data[p] | data[p + 1] << 8);
    if (c != 0) node->key += c;
  }
  p = Align4(p);
  node->type = header[2];
  const size_t valueBytes = node->type == 1 ? header[1] * 2u : header[1];
  if (p + valueBytes > limit) return false;
  node->value.assign(data.begin() + p, data.begin() + p + valueBytes);
  for (p = Align4(p + valueBytes); p < limit;) {
    VersionNode child;
    if (!ParseVersionNode(data, p, &child)) return false;
    p = Align4(p + (data[p] | data[p + 1] << 8));
    node->children.push_back(child);
  }
  return true;
}

std::vector<std::wstring> Keys(const VersionNode& node) {
  std::vector<std::wstring> keys;
  for (const VersionNode& child : node.children) keys.push_back(child.key);
  return keys;
}

TEST_F(ExecutableResources, VersionRecordHasOneStringTableWithExactlyTheEightKeys) {
  Bytes data;
  ASSERT_TRUE(Load(RT_VERSION, 1, &data));
  VersionNode root;
  ASSERT_TRUE(ParseVersionNode(data, 0, &root));
  EXPECT_EQ(root.key, L"VS_VERSION_INFO");
  EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  ASSERT_EQ(Keys(root), (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));

  const VersionNode& stringFileInfo = root.children[0];
  ASSERT_EQ(Keys(stringFileInfo), std::vector<std::wstring>{kStringTable});
  const VersionNode& table = stringFileInfo.children[0];
  std::vector<std::wstring> expectedKeys;
  for (const auto& s : kVersionStrings) expectedKeys.push_back(s.key);
  std::vector<std::wstring> keys = Keys(table);
  std::sort(keys.begin(), keys.end());
  ASSERT_EQ(keys, expectedKeys);
  for (const VersionNode& entry : table.children) {
    EXPECT_EQ(entry.type, 1) << Narrow(entry.key);  // text, not binary
  }

  const VersionNode& varFileInfo = root.children[1];
  ASSERT_EQ(Keys(varFileInfo), std::vector<std::wstring>{L"Translation"});
  EXPECT_EQ(varFileInfo.children[0].value, (Bytes{0x09, 0x04, 0xB0, 0x04}));
}

// ---------------------------------------------------------------------------------------------
// Icon group 101: sizes 256, 48, 32, 24, 16 at 4 bits per pixel, then at 8, 24 and 32.
const int kIconSizes[] = {256, 48, 32, 24, 16};
const int kIconDepths[] = {4, 8, 24, 32};
constexpr int kIconCount = 20;
int IconSize(int index) { return kIconSizes[index % 5]; }
int IconDepth(int index) { return kIconDepths[index / 5]; }

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

TEST_F(ExecutableResources, IconGroupListsTwentyImagesInOrder) {
  Bytes group;
  ASSERT_TRUE(Load(RT_GROUP_ICON, 101, &group));
  ASSERT_EQ(group.size(), 6 + kIconCount * sizeof(GroupIconEntry));
  WORD header[3];
  std::memcpy(header, group.data(), sizeof header);
  EXPECT_EQ(header[0], 0);
  EXPECT_EQ(header[1], 1);  // icons, not cursors
  ASSERT_EQ(header[2], kIconCount);
  for (int i = 0; i < kIconCount; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i + 1));
    GroupIconEntry entry;
    std::memcpy(&entry, &group[6 + i * sizeof entry], sizeof entry);
    EXPECT_EQ(entry.width, IconSize(i) % 256);  // 0 stands for 256
    EXPECT_EQ(entry.height, IconSize(i) % 256);
    EXPECT_EQ(entry.planes, 1);
    EXPECT_EQ(entry.bitCount, IconDepth(i));
    EXPECT_EQ(entry.id, i + 1);
    Bytes image;
    ASSERT_TRUE(Load(RT_ICON, entry.id, &image));
    EXPECT_EQ(entry.bytes, image.size());
  }
}

struct ImageHeader {
  bool png = false;
  long width = 0, height = 0;  // for a DIB, height counts colour and mask rows together
  int depth = 0;
  size_t expectedBytes = 0;  // DIB only: header, palette, colour rows and mask rows
};

bool ReadImageHeader(const Bytes& image, ImageHeader* header) {
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (image.size() >= 26 && std::memcmp(image.data(), kPngSignature, 8) == 0) {
    if (std::memcmp(&image[12], "IHDR", 4) != 0) return false;
    auto be32 = [&](size_t at) {
      return long(image[at]) << 24 | long(image[at + 1]) << 16 | image[at + 2] << 8 | image[at + 3];
    };
    static const std::map<int, int> kChannels = {{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}};
    const auto channels = kChannels.find(image[25]);
    if (channels == kChannels.end()) return false;
    header->png = true;
    header->width = be32(16);
    header->height = be32(20);
    header->depth = image[24] * channels->second;
    return true;
  }
  BITMAPINFOHEADER bih;
  if (image.size() < sizeof bih) return false;
  std::memcpy(&bih, image.data(), sizeof bih);
  if (bih.biSize != sizeof bih || bih.biPlanes != 1 || bih.biCompression != BI_RGB) return false;
  header->width = bih.biWidth;
  header->height = bih.biHeight;
  header->depth = bih.biBitCount;
  const size_t rows = size_t(bih.biHeight / 2);
  const size_t colours =
      bih.biBitCount > 8 ? 0 : bih.biClrUsed ? bih.biClrUsed : size_t(1) << bih.biBitCount;
  auto stride = [&](int bits) { return size_t((bih.biWidth * bits + 31) / 32 * 4); };
  header->expectedBytes = sizeof bih + colours * 4 + rows * (stride(bih.biBitCount) + stride(1));
  return true;
}

TEST_F(ExecutableResources, EachIconImageDecodesAtItsSizeAndDepth) {
  for (int i = 0; i < kIconCount; ++i) {
    const int size = IconSize(i);
    SCOPED_TRACE("icon " + std::to_string(i + 1) + ": " + std::to_string(size) + " px, " +
                 std::to_string(IconDepth(i)) + " bpp");
    Bytes image;
    ASSERT_TRUE(Load(RT_ICON, WORD(i + 1), &image));
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(image, &header));
    EXPECT_EQ(header.depth, IconDepth(i));
    EXPECT_EQ(header.width, size);
    if (header.png) {
      EXPECT_EQ(header.height, size);
    } else {
      EXPECT_EQ(header.height, 2 * size);  // colour image and AND mask
      EXPECT_EQ(image.size(), header.expectedBytes);
    }

    HICON icon = CreateIconFromResourceEx(image.data(), DWORD(image.size()), TRUE, 0x00030000,
                                          0, 0, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr) << "does not decode, error " << GetLastError();
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour = {}, mask = {};
    EXPECT_EQ(GetObjectW(info.hbmColor, sizeof colour, &colour), int(sizeof colour));
    EXPECT_EQ(GetObjectW(info.hbmMask, sizeof mask, &mask), int(sizeof mask));
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    EXPECT_EQ(mask.bmWidth, size);
    if (info.hbmColor != NULL) DeleteObject(info.hbmColor);
    if (info.hbmMask != NULL) DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

}  // namespace
