#include "input/text_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_exception.h"
#include "platform/transcoder.h"
#include "testing/piecewise_source.h"

namespace input {
namespace {

using platform::CFileException;
using platform::CString;
using namespace std::string_literals;

// Each document is read in pieces of these sizes, so that characters, BOMs and declarations
// are cut everywhere.
const std::vector<std::vector<size_t>> kPieces = {{1}, {2}, {3}, {7}, {1, 2, 3, 7, 64}, {1 << 20}};
const CString kPath("D:/maps/路线.kml");

std::string Encode(const std::string& utf8, const char* encoding) {
  std::string bytes;
  auto transcoder = platform::Transcoder::Open("UTF-8", encoding);
  EXPECT_TRUE(transcoder->Convert(utf8, true, bytes));
  return bytes;
}

// Everything the decoder gives, read `read_size` bytes at a time.
std::string DecodeAll(const std::string& bytes, const std::vector<size_t>& pieces,
                      size_t read_size) {
  test_support::PiecewiseSource raw(bytes, pieces);
  std::unique_ptr<ByteSource> text = DecodeToUtf8(raw, kPath);
  std::string all;
  std::string buffer(read_size, '\0');
  while (size_t got = text->Read(buffer.data(), buffer.size())) all.append(buffer, 0, got);
  EXPECT_EQ(text->FilePosition(), bytes.size());
  EXPECT_EQ(text->FileSize(), bytes.size());
  return all;
}

struct Document {
  std::string bom;
  std::string declared;  // empty for no declaration
  const char* write_as;  // how the text is encoded
  bool cjk;              // whether the encoding holds Chinese
};

TEST(TextDecoderTest, SameTextWhateverTheEncoding) {
  const Document rows[] = {
      {"", "", "UTF-8", true},
      {"", "UTF-8", "UTF-8", true},
      {"\xEF\xBB\xBF", "", "UTF-8", true},
      {"\xEF\xBB\xBF", "utf-8", "UTF-8", true},
      {"\xFF\xFE", "UTF-16", "UTF-16LE", true},
      {"\xFE\xFF", "UTF-16", "UTF-16BE", true},
      {"", "UTF-16", "UTF-16LE", true},  // "<?" in UTF-16 without a BOM
      {"", "UTF-16", "UTF-16BE", true},
      {"", "ISO-8859-1", "ISO-8859-1", false},
      {"", "windows-1252", "windows-1252", false},
      {"", "US-ASCII", "US-ASCII", false},
      {"", "GBK", "GBK", true},
      {"", "gb2312", "GBK", true},
      {"", "GB18030", "GBK", true},
      {"", "CP936", "GBK", true},
  };
  for (const Document& row : rows) {
    const std::string body =
        row.write_as == std::string("US-ASCII") ? "<kml><name>plain</name></kml>\n"
        : row.cjk ? "<kml>\n<name>\xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9</name>\n</kml>\n"
                  : "<kml>\n<name>caf\xC3\xA9 \xC3\xBC</name>\n</kml>\n";
    std::string declaration = "<?xml version=\"1.0\"";
    if (!row.declared.empty()) declaration += " encoding='" + row.declared + "'";
    declaration += "?>\n";
    const std::string bytes = row.bom + Encode(declaration + body, row.write_as);
    for (const auto& pieces : kPieces) {
      for (size_t read_size : {1, 5, 4096}) {
        SCOPED_TRACE(::testing::PrintToString(row.bom) + " " + row.declared + " as " +
                     row.write_as + " in pieces of " + std::to_string(pieces[0]) + ", read " +
                     std::to_string(read_size));
        EXPECT_EQ(DecodeAll(bytes, pieces, read_size), declaration + body);
      }
    }
  }
}

// Forms outside GBK in a document declared GBK, read as GB18030; an emoji; a long document.
TEST(TextDecoderTest, GbkDocumentsAreReadAsGb18030) {
  {
    auto gb18030 = platform::Transcoder::Open("GB18030", "UTF-8");
    std::string probe;
    if (!gb18030->Convert("\x81\x36\xA6\x31", true, probe)) {
      GTEST_SKIP() << "the system has no GB18030 code page (Wine)";
    }
  }
  const std::string head = "<?xml version=\"1.0\" encoding=\"GBK\"?>";
  const std::string gbk = head + "<a>\x94\x39\xFC\x36\xA2\xE3\x81\x36\xA6\x31</a>";
  const std::string utf8 = head + "<a>\xF0\x9F\x98\x80\xE2\x82\xAC\xE2\x80\xA2</a>";
  for (const auto& pieces : kPieces) EXPECT_EQ(DecodeAll(gbk, pieces, 4096), utf8);
  std::string long_gbk = head;
  std::string long_utf8 = head;
  for (int i = 0; i < 50000; ++i) {
    long_gbk += "<b>\xD6\xD0\xCE\xC4</b>\n";
    long_utf8 += "<b>\xE4\xB8\xAD\xE6\x96\x87</b>\n";
  }
  EXPECT_EQ(DecodeAll(long_gbk, {100000, 65537}, 70000), long_utf8);
}

// What is not an encoding declaration leaves the document UTF-8, passed on as it is.
TEST(TextDecoderTest, OnlyADeclarationAtTheStartWithinTheHeadCounts) {
  const std::string gbk_bytes = "\xD6\xD0";
  const std::string rows[] = {
      "<?xml-stylesheet encoding=\"GBK\"?><a>" + gbk_bytes + "</a>",
      " <?xml version=\"1.0\" encoding=\"GBK\"?><a>" + gbk_bytes + "</a>",
      "<?xml version=\"1.0\"" + std::string(1100, ' ') + "encoding=\"GBK\"?><a>" + gbk_bytes,
      "<?xml version=\"1.0\" myencoding=\"GBK\"?><a>" + gbk_bytes + "</a>",
      "<a>" + gbk_bytes + "</a><?xml version=\"1.0\" encoding=\"GBK\"?>",
      "",
  };
  for (const std::string& bytes : rows) {
    SCOPED_TRACE(bytes.substr(0, 60));
    EXPECT_EQ(DecodeAll(bytes, {3}, 4096), bytes);
  }
  EXPECT_EQ(DecodeAll("<?xml version='1.0' encoding = \"latin1\" ?>\xE9", {1}, 7),
            "<?xml version='1.0' encoding = \"latin1\" ?>\xC3\xA9");
}

struct Failure {
  std::string bytes;
  CFileException::Cause cause;
  std::string detail;
};

TEST(TextDecoderTest, ErrorsNameTheFile) {
  const std::string gbk = "<?xml version=\"1.0\" encoding=\"GBK\"?>\n";
  const Failure rows[] = {
      {"<?xml version=\"1.0\" encoding=\"KOI8-X\"?><a/>", CFileException::unknownEncoding,
       "（“KOI8-X”）"},
      {"<?xml version=\"1.0\" encoding=\"\"?><a/>", CFileException::unknownEncoding, "（“”）"},
      {"<?xml version=\"1.0\" encoding=\"UTF-32\"?><a/>", CFileException::unknownEncoding,
       "（“UTF-32”）"},
      {gbk + "<a>\n\x80</a>", CFileException::badEncoding, "第 3 行。"},
      {gbk + "<a>\xD6\xD0\n\xD6\xD0\n\xFF", CFileException::badEncoding, "第 4 行。"},
      {gbk + "\xD6", CFileException::badEncoding, "第 2 行。"},  // cut off at the end
      {"\xFF\xFE<\0\n\0\x00\xDC"s, CFileException::badEncoding, "第 2 行。"},
      {"\xFE\xFF\0<\0\n\0"s, CFileException::badEncoding, "第 2 行。"},
      {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n\x80", CFileException::none, ""},
  };
  for (const Failure& row : rows) {
    for (const auto& pieces : kPieces) {
      SCOPED_TRACE(::testing::PrintToString(row.bytes) + " in pieces of " +
                   std::to_string(pieces[0]));
      if (row.cause == CFileException::none) {
        // ASCII passes through unchecked; the parser finds the byte that is no UTF-8.
        EXPECT_EQ(DecodeAll(row.bytes, pieces, 4096), row.bytes);
        continue;
      }
      try {
        DecodeAll(row.bytes, pieces, 4096);
        ADD_FAILURE() << "no error";
      } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, row.cause);
        EXPECT_EQ(error.m_strFileName, kPath);
        EXPECT_EQ(error.m_strDetail, CString(row.detail));
        EXPECT_NE(error.GetErrorMessage().Find(kPath.view()), -1);
      }
    }
  }
}

}  // namespace
}  // namespace input
