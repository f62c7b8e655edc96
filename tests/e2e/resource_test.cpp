// Reads the resources of the built KmlConverter.exe (loaded as a data file) and checks them
// against the dialog template, icon group and version record that the program must carry, byte
// for byte where the window system would otherwise hide a difference.
//
// Usage: kml_resource_test <path of KmlConverter.exe> [GoogleTest options]
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::wstring g_exe_path;

// A Unix path as Wine's drive Z: sees it; a Windows path unchanged.
std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& ch : path) {
    if (ch == L'/') ch = L'\\';
  }
  return path;
}

class ResourceTest : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(g_exe_path.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot load "
                                << std::string(g_exe_path.begin(), g_exe_path.end());
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // The bytes of resource `id` of `type`; empty if there is none.
  std::vector<uint8_t> Resource(LPCWSTR type, UINT id) const {
    HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (info == nullptr) return {};
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, info)));
    return std::vector<uint8_t>(data, data + SizeofResource(module_, info));
  }

  HMODULE module_ = nullptr;
};

// Reads the little-endian fields of a resource one after the other.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t Dword() { return Word() | static_cast<uint32_t>(Word()) << 16; }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  uint8_t Byte() {
    if (at_ >= bytes_.size()) {
      overrun_ = true;
      return 0;
    }
    return bytes_[at_++];
  }
  std::wstring String() {
    std::wstring text;
    for (uint16_t ch = Word(); ch != 0 && !overrun_; ch = Word()) text += static_cast<wchar_t>(ch);
    return text;
  }
  // A name or ordinal (0xFFFF, ordinal) field of a dialog template, as "#ordinal" or the name.
  std::wstring NameOrOrdinal() {
    const uint16_t first = Word();
    if (first == 0) return L"";
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    at_ -= 2;
    return String();
  }
  void AlignDword() { at_ = (at_ + 3) & ~size_t{3}; }
  bool overrun() const { return overrun_; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
  bool overrun_ = false;
};

struct Control {
  uint32_t id;
  std::wstring window_class;  // "#128" a button, "#130" a static control
  uint32_t style;
  int16_t x, y, cx, cy;
  std::wstring text;
};

TEST_F(ResourceTest, DialogTemplateIsExact) {
  const std::vector<uint8_t> bytes = Resource(MAKEINTRESOURCEW(5) /* RT_DIALOG */, 102);
  ASSERT_FALSE(bytes.empty());
  Reader in(bytes);
  EXPECT_EQ(in.Word(), 1);       // extended template
  EXPECT_EQ(in.Word(), 0xFFFF);  // signature
  EXPECT_EQ(in.Dword(), 0u);     // help id
  EXPECT_EQ(in.Dword(), 0x00040000u);
  EXPECT_EQ(in.Dword(), 0x90C800C0u);
  const uint16_t count = in.Word();
  EXPECT_EQ(count, 10);
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 316);
  EXPECT_EQ(in.Short(), 203);
  EXPECT_EQ(in.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(in.NameOrOrdinal(), L"");  // the default dialog class
  EXPECT_EQ(in.String(), L"KML文件转换工具 v1.0 - 朔维软件");
  EXPECT_EQ(in.Word(), 9);    // points
  EXPECT_EQ(in.Word(), 400);  // weight
  EXPECT_EQ(in.Byte(), 0);    // not italic
  EXPECT_EQ(in.Byte(), 0);    // character set
  EXPECT_EQ(in.String(), L"宋体");

  const Control expected[] = {
      {3, L"#128", 0x50010000, 254, 19, 50, 16, L"浏览(&B)..."},
      {0xFFFFFFFF, L"#130", 0x50020000, 15, 23, 238, 29,
       L"请选择需要转换的KML(*.kml)文件，转换完成后，将在KML(*.kml)\n\n"
       L"文件所在的相同文件夹生成同名的MIF(*.mif和*.mid)文件。"},
      {0xFFFFFFFF, L"#130", 0x50020000, 15, 101, 147, 8, L"网址 ：http://www.example.com/"},
      {4, L"#128", 0x50010000, 254, 97, 50, 16, L"请勿点击"},
      {0xFFFFFFFF, L"#130", 0x50020000, 15, 129, 119, 8, L"QQ   ：10000"},
      {0xFFFFFFFF, L"#130", 0x50020000, 15, 115, 119, 8, L"Email：someone@example.org"},
      {2, L"#128", 0x50010000, 254, 179, 50, 16, L"关闭(&C)"},
      {0xFFFFFFFF, L"#128", 0x50000007, 7, 7, 302, 70, L"文件转换"},
      {0xFFFFFFFF, L"#128", 0x50000007, 7, 85, 302, 70, L"关于我们"},
      {0xFFFFFFFF, L"#130", 0x50020000, 7, 183, 188, 8,
       L"(*)请将您的意见或建议反馈给我们，感谢您的支持！"},
  };
  for (int i = 0; i < count && i < 10; ++i) {
    in.AlignDword();
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_EQ(in.Dword(), 0u);  // help id
    EXPECT_EQ(in.Dword(), 0u);  // extended style
    EXPECT_EQ(in.Dword(), expected[i].style);
    EXPECT_EQ(in.Short(), expected[i].x);
    EXPECT_EQ(in.Short(), expected[i].y);
    EXPECT_EQ(in.Short(), expected[i].cx);
    EXPECT_EQ(in.Short(), expected[i].cy);
    EXPECT_EQ(in.Dword(), expected[i].id);
    EXPECT_EQ(in.NameOrOrdinal(), expected[i].window_class);
    EXPECT_EQ(in.NameOrOrdinal(), expected[i].text);
    EXPECT_EQ(in.Word(), 0);  // no creation data
  }
  EXPECT_FALSE(in.overrun());
}

TEST_F(ResourceTest, IconGroupHoldsThreeImages) {
  const std::vector<uint8_t> group = Resource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, 128);
  ASSERT_FALSE(group.empty());
  Reader in(group);
  EXPECT_EQ(in.Word(), 0);
  EXPECT_EQ(in.Word(), 1);  // icons
  ASSERT_EQ(in.Word(), 3);
  struct Image {
    int size;
    int bit_count;
  };
  const Image expected[] = {{64, 32}, {32, 8}, {16, 8}};
  for (const Image& image : expected) {
    SCOPED_TRACE(std::to_string(image.size));
    EXPECT_EQ(in.Byte(), image.size);
    EXPECT_EQ(in.Byte(), image.size);
    in.Byte();                // colour count
    in.Byte();                // reserved
    EXPECT_EQ(in.Word(), 1);  // planes
    EXPECT_EQ(in.Word(), image.bit_count);
    const uint32_t size = in.Dword();
    const uint16_t id = in.Word();

    const std::vector<uint8_t> bits = Resource(MAKEINTRESOURCEW(3) /* RT_ICON */, id);
    ASSERT_EQ(bits.size(), size);
    BITMAPINFOHEADER header;
    ASSERT_GE(bits.size(), sizeof(header));
    std::memcpy(&header, bits.data(), sizeof(header));
    EXPECT_EQ(header.biWidth, image.size);
    EXPECT_EQ(header.biHeight, 2 * image.size);  // colour image and mask
    EXPECT_EQ(header.biBitCount, image.bit_count);
    HICON icon =
        CreateIconFromResourceEx(const_cast<uint8_t*>(bits.data()), static_cast<DWORD>(bits.size()),
                                 TRUE, 0x00030000, image.size, image.size, 0);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) DestroyIcon(icon);
  }
}

TEST_F(ResourceTest, VersionRecordIsChinesePrcApplication) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(g_exe_path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(g_exe_path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 936);

  const struct {
    const wchar_t* name;
    const wchar_t* value;
  } strings[] = {
      {L"FileVersion", L"1.0.0.1"},
      {L"ProductVersion", L"1.0.0.1"},
      {L"OriginalFilename", L"KmlConverter.exe"},
  };
  for (const auto& entry : strings) {
    wchar_t* value = nullptr;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\080403a8\\") + entry.name;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
    EXPECT_EQ(std::wstring(value), entry.value);
  }
}

// Narrow literals are compiled into code page 936 (this file is compiled the same way, so its
// literals are the bytes to look for).
TEST_F(ResourceTest, NarrowTextsAreStoredInCodePage936) {
  std::ifstream file(std::filesystem::path(g_exe_path), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(image.empty());
  const char* const texts[] = {
      "转换完毕。",
      "KML文件(*.kml)|*.kml|所有文件(*.*)|*.*|",
      "应用程序向导生成的本地应用程序",
  };
  EXPECT_EQ(std::string("转换完毕。"), "\xD7\xAA\xBB\xBB\xCD\xEA\xB1\xCF\xA1\xA3");
  for (const char* text : texts) {
    EXPECT_NE(image.find(text), std::string::npos) << text;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fputws(L"usage: kml_resource_test KmlConverter.exe\n", stderr);
    return 2;
  }
  g_exe_path = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
