#include "platform/cstring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/code_page.h"

namespace platform {
namespace {

enum class Page { kAscii, kGbk, kUtf8 };

CodePage Make(Page page) {
  switch (page) {
    case Page::kGbk:
      return CodePage::Gbk();
    case Page::kUtf8:
      return CodePage::Utf8();
    case Page::kAscii:
      break;
  }
  return CodePage::SingleByte();
}

struct LengthCase {
  Page page;
  std::string bytes;
  size_t expected;
};

TEST(CodePageTest, CharLength) {
  const LengthCase cases[] = {
      {Page::kAscii, "\x81\x40", 1},
      {Page::kGbk, "a", 1},
      {Page::kGbk, "\x81\x40", 2},  // lowest trail
      {Page::kGbk, "\xFE\xFE", 2},  // highest lead and trail
      {Page::kGbk, "\xD6\xD0", 2},  // 中
      {Page::kGbk, "\x81\x7F", 1},  // 0x7F is no trail
      {Page::kGbk, "\x81\xFF", 1},  // nor is 0xFF
      {Page::kGbk, "\x81<", 1},     // a tag after a lead byte stays a tag
      {Page::kGbk, "\x81", 1},      // cut off by the end of the buffer
      {Page::kGbk, "\x80\x40", 1},  // 0x80 is no lead
      {Page::kGbk, "\xFF\x40", 1},
      {Page::kUtf8, "\xC3\xA9", 2},      // é
      {Page::kUtf8, "\xE4\xB8\xAD", 3},  // 中
      {Page::kUtf8, "\xF0\x9F\x98\x80", 4},
      {Page::kUtf8, "\xC3", 1},
      {Page::kUtf8, "\xC3<", 1},
      {Page::kUtf8, "\xC0\x80", 1},          // overlong
      {Page::kUtf8, "\xE0\x80\x80", 1},      // overlong
      {Page::kUtf8, "\xED\xA0\x80", 1},      // surrogate
      {Page::kUtf8, "\xF4\x90\x80\x80", 1},  // above U+10FFFF
      {Page::kUtf8, "\xE4\xB8", 1},
      {Page::kUtf8, "\x80", 1},
  };
  for (const LengthCase& row : cases) {
    const CodePage page = Make(row.page);
    EXPECT_EQ(page.CharLength(row.bytes.data(), row.bytes.size()), row.expected)
        << "bytes of length " << row.bytes.size() << " starting " << int(uint8_t(row.bytes[0]));
  }
}

TEST(CodePageTest, DoubleByteFromLeadRanges) {
  const unsigned char ranges[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};  // as code page 932 reports
  const CodePage page = CodePage::DoubleByte(ranges);
  EXPECT_EQ(page.kind(), CodePage::Kind::kDoubleByte);
  EXPECT_EQ(page.CharLength("\x9F\x40", 2), 2u);
  EXPECT_EQ(page.CharLength("\xA0\x40", 2), 1u);
  EXPECT_EQ(page.CharLength("\xE0\x40", 2), 2u);
  EXPECT_EQ(page.CharLength("\xFD\x40", 2), 1u);
}

TEST(CodePageTest, ScopedCodePageRestores) {
  const CodePage::Kind native = CodePage::System().kind();
  {
    ScopedCodePage gbk(CodePage::Gbk());
    EXPECT_EQ(CodePage::System().kind(), CodePage::Kind::kDoubleByte);
    {
      ScopedCodePage utf8(CodePage::Utf8());
      EXPECT_EQ(CodePage::System().kind(), CodePage::Kind::kUtf8);
    }
    EXPECT_EQ(CodePage::System().kind(), CodePage::Kind::kDoubleByte);
  }
  EXPECT_EQ(CodePage::System().kind(), native);
}

struct FindCase {
  Page page;
  std::string text;
  std::string sub;
  size_t start;
  ptrdiff_t expected;
};

TEST(CStringTest, Find) {
  const FindCase cases[] = {
      {Page::kAscii, "\t\t<coordinates>", "<coordinates>", 0, 2},
      {Page::kAscii, "<Coordinates>", "<coordinates>", 0, -1},
      {Page::kAscii, "abcabc", "abc", 1, 3},
      {Page::kAscii, "abc", "", 2, 2},
      {Page::kAscii, "abc", "", 4, -1},
      {Page::kAscii, "abc", "c", 3, -1},
      {Page::kAscii, std::string("a\0b", 3), "b", 0, 2},  // NUL is data
      {Page::kAscii,
       "\x81"
       "a",
       "a", 0, 1},
      // A tag right after a lead byte is found: '<' is never a trail byte.
      {Page::kGbk, "\x81<coordinates>", "<coordinates>", 0, 1},
      {Page::kGbk, "\xD6\xD0<coordinates>", "<coordinates>", 0, 2},
      // A letter right after a lead byte is that character's trail byte.
      {Page::kGbk,
       "\x81"
       "abc",
       "abc", 0, -1},
      {Page::kGbk,
       "\x81"
       "abcabc",
       "abc", 0, 4},
      {Page::kGbk, "\x81\x40\x40", "\x40", 0, 2},
      // The match would end inside a character.
      {Page::kGbk, "ab\x81\x40", "b\x81", 0, -1},
      {Page::kGbk, "ab\x81<", "b\x81", 0, 1},
      // `start` inside a character: the search begins at the next character.
      {Page::kGbk, "\x81\x41\x41", "A", 1, 2},
      {Page::kGbk, "xx\x81\x41\x41", "A", 3, 4},
      {Page::kUtf8, "\xC3\xA9<a>", "<a>", 0, 2},
      {Page::kUtf8,
       "\xE4\xB8"
       "a",
       "a", 0, 2},  // a cut-off sequence is lone bytes
      {Page::kUtf8, "\xE4\xB8\xAD\xE6\x96\x87", "\xAD", 0, -1},
      {Page::kUtf8, "\xE4\xB8\xAD\xE6\x96\x87", "\xE6\x96\x87", 0, 3},
  };
  for (const FindCase& row : cases) {
    ScopedCodePage page(Make(row.page));
    EXPECT_EQ(CString(row.text).Find(row.sub, row.start), row.expected)
        << "find \"" << row.sub << "\" in \"" << row.text << "\" from " << row.start;
  }
}

struct ReplaceCase {
  Page page;
  std::string text;
  std::string old_text;
  std::string new_text;
  std::string expected;
  size_t count;
};

TEST(CStringTest, Replace) {
  const ReplaceCase cases[] = {
      {Page::kAscii, "116.391,39.907,0 116.392,39.908,0 ", ",0 ", "\n",
       "116.391,39.907\n116.392,39.908\n", 2},
      {Page::kAscii, "116.391,39.907,0 116.392,39.908,0", ",0 ", "\n",
       "116.391,39.907\n116.392,39.908,0", 1},
      {Page::kAscii, "10,0,0 ", ",0 ", "\n", "10,0\n", 1},
      {Page::kAscii, "1,25 2,25 ", ",0 ", "\n", "1,25 2,25 ", 0},
      {Page::kAscii, "aaaa", "aa", "b", "bb", 2},
      {Page::kAscii, "aaa", "aa", "b", "ba", 1},  // left to right, no overlap
      {Page::kAscii, "abc", "", "x", "abc", 0},
      {Page::kAscii, "", "a", "x", "", 0},
      {Page::kAscii, "a,b,", ",", " ", "a b ", 2},
      {Page::kAscii, "abc", "abc", "", "", 1},
      {Page::kAscii, std::string("a\0,0 b", 6), ",0 ", "\n", std::string("a\0\nb", 4), 1},
      {Page::kGbk, "\x81,0 ", ",0 ", "\n", "\x81\n", 1},
      {Page::kGbk, "\x81\x40\x40", "\x40", "#", "\x81\x40#", 1},
      {Page::kGbk, "\xD6\xD0\xCE\xC4", "\xD0\xCE", "!", "\xD6\xD0\xCE\xC4", 0},
      {Page::kGbk, "\xD6\xD0\xCE\xC4\xD6\xD0", "\xD6\xD0", "z", "z\xCE\xC4z", 2},
      {Page::kGbk,
       "a\x81"
       "aa",
       "a", "b",
       "b\x81"
       "ab",
       2},
      {Page::kUtf8, "\xC3\xA9,0 \xC3\xA9", ",0 ", "\n", "\xC3\xA9\n\xC3\xA9", 1},
      {Page::kUtf8, "\xE4\xB8\xAD\xB8\xAD", "\xB8\xAD", "x", "\xE4\xB8\xADx", 1},
  };
  for (const ReplaceCase& row : cases) {
    ScopedCodePage page(Make(row.page));
    CString text(row.text);
    EXPECT_EQ(text.Replace(row.old_text, row.new_text), row.count) << "in \"" << row.text << "\"";
    EXPECT_EQ(text.str(), row.expected) << "in \"" << row.text << "\"";
  }
}

struct TrimCase {
  Page page;
  std::string text;
  std::string targets;
  std::string expected;
};

TEST(CStringTest, Trim) {
  const std::string tag = "</coordinates>";
  const TrimCase cases[] = {
      {Page::kAscii, "\t\t1 2\n3 4\n</coordinates>", tag, "\t\t1 2\n3 4\n"},
      {Page::kAscii, "\t\t</LineString>", tag, "\t\t</LineString"},
      {Page::kAscii, "\t\t</Point>", tag, "\t\t</P"},
      {Page::kAscii, "</LineString>", tag, "LineString"},
      {Page::kAscii, "</Point>", tag, "P"},
      {Page::kAscii, "\t\t</coordinates>", tag, "\t\t"},
      {Page::kAscii, "</coordinates>", tag, ""},
      {Page::kAscii, "", tag, ""},
      {Page::kAscii, "abc", "", "abc"},
      // A double-byte character whose trail byte is in the set is not split.
      {Page::kGbk, "x\x81s", tag, "x\x81s"},
      {Page::kGbk, "1\x81\x81s", tag, "1\x81\x81"},
      {Page::kGbk, "s\x81s", tag, "\x81s"},
      {Page::kGbk, "<\x81>", tag, "\x81"},  // a lone lead byte is a character of its own
      // Multi-byte targets.
      {Page::kGbk,
       "<\xD6\xD0"
       "a\xD6\xD0<",
       "<\xD6\xD0", "a"},
      {Page::kGbk, "a\xD0", "\xD6\xD0", "a\xD0"},
      {Page::kGbk, "a\xD6\xD6\xD0", "\xD6\xD0", "a\xD6\xD6\xD0"},
      {Page::kUtf8, "\xC3\xA9\xC3\xA9x\xC3\xA9", "\xC3\xA9", "x"},
      {Page::kUtf8, "x\xC3\xA9", "\xA9", "x\xC3\xA9"},
      {Page::kUtf8, "es\xC3\xA9s", tag, "\xC3\xA9"},
  };
  for (const TrimCase& row : cases) {
    ScopedCodePage page(Make(row.page));
    CString text(row.text);
    EXPECT_EQ(text.Trim(row.targets).str(), row.expected) << "trim \"" << row.text << "\"";
  }
}

TEST(CStringTest, TrimLeftAndRightSeparately) {
  ScopedCodePage page(CodePage::Gbk());
  CString left("<<a<<");
  EXPECT_EQ(left.TrimLeft("<").str(), "a<<");
  CString right("<<a<<");
  EXPECT_EQ(right.TrimRight("<").str(), "<<a");
}

TEST(CStringTest, FormatLeftAndJoin) {
  CString text;
  text.Format("PLINE %d\n", -2147483647 - 1);
  EXPECT_EQ(text.str(), "PLINE -2147483648\n");
  text.Format("%s", std::string(1000, 'x').c_str());
  EXPECT_EQ(text.GetLength(), 1000u);
  EXPECT_EQ(CString("C:\\maps\\route.kml").Left(14).str(), "C:\\maps\\route.");
  EXPECT_EQ(CString("ab").Left(10).str(), "ab");
  EXPECT_EQ((CString("a") + "b" + CString("c")).str(), "abc");
  EXPECT_EQ(("x" + CString("y")).str(), "xy");
}

// Long lines are replaced and trimmed in linear time: a quadratic walk would not finish.
TEST(CStringTest, LongGbkLineInLinearTime) {
  ScopedCodePage page(CodePage::Gbk());
  std::string tuple =
      "\xD6\xD0"
      "116.391,39.907,0 ";
  std::string line;
  const size_t tuples = (32u << 20) / tuple.size();
  line.reserve(tuples * tuple.size() + 20);
  for (size_t i = 0; i < tuples; ++i) line += tuple;
  line += "</coordinates>";
  CString text(std::move(line));
  EXPECT_EQ(text.Replace(",0 ", "\n"), tuples);
  EXPECT_EQ(text.Replace(",", " "), tuples);
  text.Trim("</coordinates>");
  EXPECT_EQ(text.GetLength(), tuples * (tuple.size() - 2));
  EXPECT_EQ(text.Find("</"), -1);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

// The same operations done the slow way: split the whole string into characters first.
class Reference {
 public:
  Reference(const std::string& text, const CodePage& page) : text_(text) {
    for (size_t pos = 0; pos < text.size();) {
      starts_.push_back(pos);
      pos += page.CharLength(text.data() + pos, text.size() - pos);
    }
    starts_.push_back(text.size());
  }

  bool IsBoundary(size_t pos) const {
    return std::find(starts_.begin(), starts_.end(), pos) != starts_.end();
  }

  ptrdiff_t Find(const std::string& sub, size_t start) const {
    for (size_t pos : starts_) {
      if (pos >= start && text_.compare(pos, sub.size(), sub) == 0 &&
          pos + sub.size() <= text_.size() && IsBoundary(pos + sub.size())) {
        return static_cast<ptrdiff_t>(pos);
      }
    }
    return -1;
  }

  std::string Replace(const std::string& old_text, const std::string& new_text) const {
    std::string result;
    size_t pos = 0;
    while (pos < text_.size()) {
      if (IsBoundary(pos) && text_.compare(pos, old_text.size(), old_text) == 0 &&
          IsBoundary(pos + old_text.size())) {
        result += new_text;
        pos += old_text.size();
      } else {
        result += text_[pos++];
      }
    }
    return result;
  }

  std::string Trim(const std::string& targets, const CodePage& page) const {
    std::vector<std::string> set;
    for (size_t pos = 0; pos < targets.size();) {
      const size_t length = page.CharLength(targets.data() + pos, targets.size() - pos);
      set.push_back(targets.substr(pos, length));
      pos += length;
    }
    auto in_set = [&](size_t index) {
      const std::string character =
          text_.substr(starts_[index], starts_[index + 1] - starts_[index]);
      return std::find(set.begin(), set.end(), character) != set.end();
    };
    size_t last = starts_.size() - 1;  // characters [first, last)
    while (last > 0 && in_set(last - 1)) --last;
    size_t first = 0;
    while (first < last && in_set(first)) ++first;
    return text_.substr(starts_[first], starts_[last] - starts_[first]);
  }

 private:
  std::string text_;
  std::vector<size_t> starts_;
};

// Random strings of bytes that make lead, trail, lone and ASCII bytes of both code pages.
TEST(CStringTest, AgreesWithCharacterByCharacterReference) {
  const char kBytes[] = "as<>,0 \x81\xD6\xD0\x40\xC3\xA9\xE4\xB8\xAD\xFF\x7F";
  const size_t kCount = sizeof kBytes - 1;
  std::mt19937 random(42);
  auto random_string = [&](size_t max_length) {
    std::string text(random() % (max_length + 1), ' ');
    for (char& ch : text) ch = kBytes[random() % kCount];
    return text;
  };
  for (CodePage page : {CodePage::Gbk(), CodePage::Utf8()}) {
    ScopedCodePage scoped(page);
    for (int round = 0; round < 20000; ++round) {
      const std::string text = random_string(24);
      const std::string sub = random_string(3);
      const Reference reference(text, page);
      const size_t start = random() % (text.size() + 1);
      if (!sub.empty()) {
        EXPECT_EQ(CString(text).Find(sub, start), reference.Find(sub, start)) << "round " << round;
        CString replaced(text);
        replaced.Replace(sub, "#");
        EXPECT_EQ(replaced.str(), reference.Replace(sub, "#")) << "round " << round;
      }
      CString trimmed(text);
      EXPECT_EQ(trimmed.Trim(sub).str(), reference.Trim(sub, page)) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace platform
