#include "platform/transcoder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
namespace {

using namespace std::string_literals;

struct Conversion {
  const char* from;
  const char* to;
  std::string input;
  std::string expected;
  size_t replaced;
};

// Bytes are spelled out so that the test means the same in every build's literal code page.
const std::vector<Conversion>& Conversions() {
  static const std::vector<Conversion> rows = {
      // 中文 in every name of the GBK family is read as GB18030.
      {"GBK", "UTF-8", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87", 0},
      {"gb2312", "UTF-8", "a\xD6\xD0\xCE\xC4z", "a\xE4\xB8\xAD\xE6\x96\x87z", 0},
      {"CP936", "UTF-8", "\xD6\xD0", "\xE4\xB8\xAD", 0},
      {"EUC-CN", "UTF-8", "\xD6\xD0", "\xE4\xB8\xAD", 0},
      {"GB18030", "UTF-8", "\xD6\xD0", "\xE4\xB8\xAD", 0},
      // Four-byte GB18030 forms in a document declared GBK: bullet, emoji; the euro sign.
      {"GBK", "UTF-8", "\x81\x36\xA6\x31", "\xE2\x80\xA2", 0},
      {"GBK", "UTF-8", "\x94\x39\xFC\x36", "\xF0\x9F\x98\x80", 0},
      {"GBK", "UTF-8", "\xA2\xE3", "\xE2\x82\xAC", 0},
      {"GBK", "UTF-8", "\xA1\xA4\xA1\xAA\xA8\x44", "\xC2\xB7\xE2\x80\x94\xE2\x80\x95", 0},
      // Writing code page 936: the euro is its one byte 0x80; what GBK lacks becomes one '?'.
      {"UTF-8", "CP936", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4", 0},
      {"UTF-8", "GBK", "\xE2\x82\xAC\xC2\xB7\xE2\x80\x94", "\x80\xA1\xA4\xA1\xAA", 0},
      {"UTF-8", "CP936", "a\xF0\x9F\x98\x80z", "a?z", 1},
      {"UTF-8", "CP936", "\xE2\x80\xA2\xE2\x80\xA2", "??", 2},
      {"UTF-8", "CP936", "\xC3\xA9\xD0\x96", "\xA8\xA6\xA7\xA8", 0},  // é Ж
      {"UTF-8", "GB18030", "\xF0\x9F\x98\x80\xE2\x82\xAC", "\x94\x39\xFC\x36\xA2\xE3", 0},
      // Latin-1 and its Windows cousin, both ways.
      {"ISO-8859-1", "UTF-8", "caf\xE9\x81", "caf\xC3\xA9\xC2\x81", 0},
      {"latin1", "UTF-8", "\xFF", "\xC3\xBF", 0},
      {"UTF-8", "ISO-8859-1", "caf\xC3\xA9", "caf\xE9", 0},
      {"UTF-8", "ISO-8859-1", "\xD0\x9F\xD1\x80\xD0\xB8", "???", 3},  // Cyrillic
      {"UTF-8", "ISO-8859-1", "\xE2\x82\xAC", "?", 1},
      {"windows-1252", "UTF-8", "\x80\x9F", "\xE2\x82\xAC\xC5\xB8", 0},
      {"UTF-8", "CP1252", "\xE2\x82\xAC\xC4\x80\xC2\x81", "\x80??", 2},
      {"US-ASCII", "UTF-8", "plain", "plain", 0},
      {"UTF-8", "ASCII", "caf\xC3\xA9\xF0\x9F\x98\x80", "caf??", 2},
      // UTF-16 both ways, with a surrogate pair; UTF-8 to itself is checked, not changed.
      {"UTF-16LE", "UTF-8", "a\0\x3D\xD8\x00\xDE"s, "a\xF0\x9F\x98\x80", 0},
      {"UTF-16BE", "UTF-8", "\x4E\x2D\xD8\x3D\xDE\x00"s, "\xE4\xB8\xAD\xF0\x9F\x98\x80", 0},
      {"UTF-8", "UTF-16LE", "\xE4\xB8\xAD\xF0\x9F\x98\x80", "\x2D\x4E\x3D\xD8\x00\xDE"s, 0},
      {"UTF-8", "UTF-16BE", "a\xE4\xB8\xAD", "\0a\x4E\x2D"s, 0},
      {"UTF-8", "UTF-8", "\xEF\xBF\xBE\xF4\x8F\xBF\xBF", "\xEF\xBF\xBE\xF4\x8F\xBF\xBF", 0},
      {"UTF-16LE", "GBK", "\x2D\x4E\x3D\xD8\x00\xDE"s, "\xD6\xD0?", 1},
      {"GBK", "ISO-8859-1", "\xA8\xA6\xD6\xD0", "\xE9?", 1},
  };
  return rows;
}

std::string Label(const Conversion& row) {
  return std::string(row.from) + " -> " + row.to + " of " + ::testing::PrintToString(row.input);
}

// Wine has no GB18030 code page: there the GBK family is read with code page 936, which lacks
// GB18030's four-byte forms and reads a few two-byte forms otherwise (A2E3 is no euro sign).
bool ReadsGb18030() {
  auto transcoder = Transcoder::Open("GB18030", "UTF-8");
  std::string output;
  return transcoder != nullptr && transcoder->Convert("\x81\x36\xA6\x31\xA2\xE3", true, output) &&
         output == "\xE2\x80\xA2\xE2\x82\xAC";
}

bool NeedsGb18030(const Conversion& row) {
  const std::string from = row.from;
  if (from == "UTF-8" || from.find("UTF-16") == 0 || from == "ISO-8859-1" || from == "latin1" ||
      from == "US-ASCII" || from == "windows-1252") {
    return false;
  }
  for (size_t i = 0; i + 1 < row.input.size(); ++i) {
    const auto second = static_cast<unsigned char>(row.input[i + 1]);
    if (static_cast<unsigned char>(row.input[i]) >= 0x81 && second >= 0x30 && second <= 0x39) {
      return true;
    }
  }
  return row.input.find("\xA2\xE3") != std::string::npos;
}

// Windows writes no GB18030 where the system lacks its code page; nothing in the program
// writes it.
bool CanWrite(std::string to) {
  for (char& c : to) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return to != "GB18030" || Transcoder::Open("UTF-8", "GB18030") != nullptr;
}

TEST(TranscoderTest, ConvertsInOneCall) {
  for (const Conversion& row : Conversions()) {
    if (NeedsGb18030(row) && !ReadsGb18030()) continue;
    SCOPED_TRACE(Label(row));
    auto transcoder = Transcoder::Open(row.from, row.to);
    if (transcoder == nullptr && !CanWrite(row.to)) continue;
    ASSERT_NE(transcoder, nullptr);
    std::string output = "kept";
    ASSERT_TRUE(transcoder->Convert(row.input, true, output));
    EXPECT_EQ(output, "kept" + row.expected);
    EXPECT_EQ(transcoder->replaced(), row.replaced);
  }
}

// Every way of cutting the input in two, and byte by byte: characters come out whole.
TEST(TranscoderTest, CharactersSplitAcrossCallsComeOutWhole) {
  for (const Conversion& row : Conversions()) {
    if (!CanWrite(row.to)) continue;
    for (size_t cut = 0; cut <= row.input.size(); ++cut) {
      SCOPED_TRACE(Label(row) + " cut at " + std::to_string(cut));
      auto transcoder = Transcoder::Open(row.from, row.to);
      std::string output;
      ASSERT_TRUE(transcoder->Convert(std::string_view(row.input).substr(0, cut), false, output));
      ASSERT_TRUE(transcoder->Convert(std::string_view(row.input).substr(cut), true, output));
      EXPECT_EQ(output, row.expected);
      EXPECT_EQ(transcoder->replaced(), row.replaced);
    }
    SCOPED_TRACE(Label(row) + " byte by byte");
    auto transcoder = Transcoder::Open(row.from, row.to);
    std::string output;
    for (char byte : row.input) ASSERT_TRUE(transcoder->Convert({&byte, 1}, false, output));
    ASSERT_TRUE(transcoder->Convert({}, true, output));
    EXPECT_EQ(output, row.expected);
    EXPECT_EQ(transcoder->replaced(), row.replaced);
  }
}

struct Invalid {
  const char* from;
  std::string input;
  std::string before;  // what is converted ahead of the invalid bytes
};

TEST(TranscoderTest, InvalidBytesGiveFalseAfterWhatCameBefore) {
  const Invalid rows[] = {
      {"UTF-8", "ab\x80", "ab"},
      {"UTF-8", "ab\xC0\x80", "ab"},          // overlong
      {"UTF-8", "ab\xE0\x9F\xBF", "ab"},      // overlong
      {"UTF-8", "ab\xED\xA0\x80", "ab"},      // surrogate
      {"UTF-8", "ab\xF4\x90\x80\x80", "ab"},  // above U+10FFFF
      {"UTF-8", "ab\xF5\x80\x80\x80", "ab"},
      {"UTF-8", "ab\xE4\xB8", "ab"},  // cut off at the end
      {"UTF-8", "ab\xE4\xB8z", "ab"},
      {"GBK", "ab\x80", "ab"},  // the euro byte of 936 is no GB18030
      {"GBK", "ab\xFF", "ab"},
      {"GBK", "ab\x81\x7F", "ab"},
      {"GB18030", "ab\x81\x30\x81", "ab"},
      {"GB18030", "ab\x81\x30z0", "ab"},
      {"US-ASCII", "ab\x80", "ab"},
      {"US-ASCII", "ab\xE9", "ab"},
      {"windows-1252", "ab\x81", "ab"},  // bytes 1252 leaves undefined
      {"windows-1252", "ab\x9D", "ab"},
      {"UTF-16LE", "a\0b\0\x00\xDC"s, "ab"},  // lone low surrogate
      {"UTF-16LE", "a\0b\0\x3D\xD8z\0"s, "ab"},
      {"UTF-16BE", "\0a\0b\xD8\x3D"s, "ab"},  // cut off at the end
      {"UTF-16BE", "\0a\0b\0"s, "ab"},
  };
  for (const Invalid& row : rows) {
    SCOPED_TRACE(std::string(row.from) + " " + ::testing::PrintToString(row.input));
    for (const char* to : {"UTF-8", "UTF-16LE"}) {
      auto transcoder = Transcoder::Open(row.from, to);
      ASSERT_NE(transcoder, nullptr);
      std::string output;
      EXPECT_FALSE(transcoder->Convert(row.input, true, output));
      if (std::string_view(to) == "UTF-8") {
        EXPECT_EQ(output, row.before);
      }
    }
  }
}

TEST(TranscoderTest, OpensByNameIgnoringCaseAndRefusesUnknownNames) {
  const char* known[] = {"utf-8",    "Utf-16le", "UTF-16BE",     "iso-8859-1", "LATIN1",
                         "us-ascii", "ascii",    "Windows-1252", "cp1252",     "gbk",
                         "GB2312",   "cp936",    "gb18030",      "euc-cn"};
  for (const char* name : known) {
    SCOPED_TRACE(name);
    EXPECT_NE(Transcoder::Open(name, "UTF-8"), nullptr);
    if (CanWrite(name)) {
      EXPECT_NE(Transcoder::Open("UTF-8", name), nullptr);
    }
  }
  const char* unknown[] = {"", "KOI8-X", "UTF-16", "UTF-32", "GBK ", "Shift_JIS"};
  for (const char* name : unknown) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Transcoder::Open(name, "UTF-8"), nullptr);
    EXPECT_EQ(Transcoder::Open("UTF-8", name), nullptr);
  }
}

// A large document in blocks of a few hundred kilobytes, each ending inside a character.
TEST(TranscoderTest, ConvertsLargeBlocks) {
  std::string gbk;
  std::string utf8;
  for (int i = 0; i < 200000; ++i) {
    gbk += "\xD6\xD0\x81\x36\xA6\x31<a>\n";
    utf8 += "\xE4\xB8\xAD\xE2\x80\xA2<a>\n";
  }
  auto decoder = Transcoder::Open("GBK", "UTF-8");
  auto encoder = Transcoder::Open("UTF-8", "CP936");
  std::string decoded;
  std::string encoded;
  for (size_t at = 0; at < gbk.size(); at += 300001) {
    ASSERT_TRUE(decoder->Convert(std::string_view(gbk).substr(at, 300001), false, decoded));
  }
  ASSERT_TRUE(decoder->Convert({}, true, decoded));
  EXPECT_EQ(decoded, utf8);
  ASSERT_TRUE(encoder->Convert(decoded, true, encoded));
  EXPECT_EQ(encoder->replaced(), 200000u);  // the bullet
  EXPECT_EQ(encoded.size(), 200000u * 7);
}

}  // namespace
}  // namespace platform
