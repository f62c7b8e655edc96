#include "platform/win/file_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

// A selection buffer from its zero-separated parts, with the final zero.
std::string Buffer(const std::vector<std::string>& parts) {
  std::string buffer;
  for (const std::string& part : parts) buffer += part + '\0';
  return buffer + '\0';
}

// All bytes of a literal but its own terminating zero.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::vector<std::string> Walk(const std::string& buffer, bool multi_select,
                              const CodePage& page = CodePage::Gbk()) {
  std::vector<std::string> paths;
  for (const char* at = FirstSelectedPosition(buffer.c_str()); at != nullptr;) {
    paths.push_back(NextSelectedPath(buffer.c_str(), at, multi_select, page).str());
  }
  return paths;
}

TEST(MakeFilterStringTest, TurnsBarsIntoZerosByCharacters) {
  struct Case {
    const char* name;
    std::string filter;
    std::string expected;
  };
  const std::string kml = "KML\xCE\xC4\xBC\xFE(*.kml)";  // KML文件(*.kml) in code page 936
  const std::string all = "\xCB\xF9\xD3\xD0\xCE\xC4\xBC\xFE(*.*)";  // 所有文件(*.*)
  const Case cases[] = {
      {"the program's filter", kml + "|*.kml|" + all + "|*.*|",
       kml + '\0' + "*.kml" + '\0' + all + '\0' + "*.*" + '\0' + '\0' + '\0'},
      {"no bar at the end", "A|*.a", Bytes("A\0*.a\0\0")},
      // 億 is 0x83 0x7C in code page 936: its trail byte is a '|' and must stay.
      {"trail byte equal to a bar", "\x83\x7C|*.a|", Bytes("\x83\x7C\0*.a\0\0\0")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeFilterString(c.filter, CodePage::Gbk()), c.expected) << c.name;
  }
}

TEST(SelectionTest, GivesTheFullPathsInTheOrderOfTheBuffer) {
  struct Case {
    const char* name;
    std::string buffer;
    bool multi_select;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"nothing chosen", std::string(4, '\0'), true, {}},
      {"one file", Buffer({"C:\\maps\\route.kml"}), true, {"C:\\maps\\route.kml"}},
      {"one file, single selection",
       Buffer({"C:\\maps\\route.kml"}),
       false,
       {"C:\\maps\\route.kml"}},
      {"three files",
       Buffer({"C:\\maps", "b.kml", "a.kml", "c.txt"}),
       true,
       {"C:\\maps\\b.kml", "C:\\maps\\a.kml", "C:\\maps\\c.txt"}},
      {"two files in a drive's root",
       Buffer({"C:\\", "a.kml", "b.kml"}),
       true,
       {"C:\\a.kml", "C:\\b.kml"}},
      // 嘰 is 0x87 0x5C in code page 936: the folder ends with a character, not with a '\'.
      {"folder ending in a trail byte equal to a backslash",
       Buffer({"C:\\\x87\x5C", "a.kml", "b.kml"}),
       true,
       {"C:\\\x87\x5C\\a.kml", "C:\\\x87\x5C\\b.kml"}},
      {"Chinese names",
       Buffer({"C:\\\xB5\xD8\xCD\xBC", "\xC2\xB7\xCF\xDF.kml", "x.kml"}),
       true,
       {"C:\\\xB5\xD8\xCD\xBC\\\xC2\xB7\xCF\xDF.kml", "C:\\\xB5\xD8\xCD\xBC\\x.kml"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Walk(c.buffer, c.multi_select), c.expected) << c.name;
  }
}

TEST(SelectionTest, IsCompleteOnlyWithItsFinalZeroInsideTheBuffer) {
  struct Case {
    const char* name;
    std::string buffer;  // the whole buffer, as the dialog left it
    bool complete;
  };
  const Case cases[] = {
      {"nothing chosen", std::string(8, '\0'), true},
      {"one file", Bytes("C:\\a.kml\0\0\0"), true},
      {"three files", Buffer({"C:\\m", "a.kml", "b.kml", "c.kml"}), true},
      {"cut inside a name", Bytes("C:\\m\0a.kml\0b.k"), false},
      {"cut after a name's zero", Bytes("C:\\m\0a.kml\0b.kml\0"), false},
      {"cut inside the folder", Bytes("C:\\maps"), false},
      {"a buffer of one byte", std::string(1, '\0'), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectionIsComplete(c.buffer.data(), c.buffer.size()), c.complete) << c.name;
  }
}

TEST(SelectionTest, HundredsOfLongNamesAreAllWalked) {
  std::vector<std::string> parts = {"C:\\maps"};
  std::vector<std::string> expected;
  for (int i = 0; i < 400; ++i) {
    std::string name = std::to_string(i) + std::string(150, 'x') + ".kml";
    parts.push_back(name);
    expected.push_back("C:\\maps\\" + name);
  }
  EXPECT_EQ(Walk(Buffer(parts), true), expected);
}

}  // namespace
}  // namespace platform
