#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "input/document_source.h"
#include "testing/peak_memory.h"
#include "testing/temp_folder.h"
#include "testing/zip_builder.h"

namespace input {
namespace {

using platform::CFile;
using platform::CFileException;
using platform::CStdioFile;
using platform::CString;
using test_support::BuildZip;
using test_support::ZipEntry;

class SourceTest : public ::testing::Test {
 protected:
  CString WriteFile(const std::string& bytes, const std::string& name = "map.kmz") {
    return CString(folder_.Write(name, bytes));
  }

  // The document of the file with these bytes, read through OpenDocument in odd-sized pieces.
  std::string ReadDocument(const std::string& bytes, const std::string& name = "map.kmz") {
    CStdioFile file(WriteFile(bytes, name), CFile::modeRead);
    std::unique_ptr<ByteSource> source = OpenDocument(file);
    EXPECT_EQ(source->FileSize(), bytes.size());
    std::string document;
    char buffer[4097];
    while (const size_t count = source->Read(buffer, sizeof buffer)) {
      document.append(buffer, count);
      EXPECT_LE(source->FilePosition(), source->FileSize());
    }
    EXPECT_EQ(source->Read(buffer, sizeof buffer), 0u);
    return document;
  }

  test_support::TempFolder folder_{"kmz"};
};

std::string Kml(const std::string& name) { return "<kml><name>" + name + "</name></kml>"; }

TEST_F(SourceTest, PicksTheMainKml) {
  // Text that deflate cannot shrink much, so that its compressed bytes fill several reads.
  std::string big(300000, ' ');
  std::mt19937 random(7);
  for (char& c : big) c = static_cast<char>('!' + random() % 90);
  struct Case {
    const char* what;
    std::vector<ZipEntry> entries;
    bool zip64;
    std::string expected;
  };
  const Case cases[] = {
      {"doc.kml deflated", {{"doc.kml", Kml("a")}}, false, Kml("a")},
      {"doc.kml stored",
       {{.name = "doc.kml", .data = Kml("a"), .deflate = false}},
       false,
       Kml("a")},
      {"doc.kml after others",
       {{"files/x.png", "png"}, {"a.kml", Kml("a")}, {"DOC.KML", Kml("doc")}},
       false,
       Kml("doc")},
      {"first .kml, any case",
       {{"readme.txt", "hi"}, {"b.KML", Kml("b")}, {"c.kml", Kml("c")}},
       false,
       Kml("b")},
      {"nested doc.kml is only a .kml",
       {{"z.kml", Kml("z")}, {"files/doc.kml", Kml("n")}},
       false,
       Kml("z")},
      {"a folder named .kml/ is no document",
       {{"x.kml/", ""}, {"y.kml", Kml("y")}},
       false,
       Kml("y")},
      {"empty entry", {{"doc.kml", ""}}, false, ""},
      {"empty stored entry", {{.name = "doc.kml", .data = "", .deflate = false}}, false, ""},
      {"large entry in many input chunks", {{.name = "doc.kml", .data = big}}, false, big},
      {"zip64 records", {{"a.txt", "a"}, {"doc.kml", Kml("64")}}, true, Kml("64")},
      {"zip64 stored", {{.name = "doc.kml", .data = big, .deflate = false}}, true, big},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    EXPECT_EQ(ReadDocument(BuildZip(test.entries, test.zip64)), test.expected);
  }
}

TEST_F(SourceTest, CommentsThatHoldTheEndSignature) {
  const std::string fake_end("PK\x05\x06", 4);
  for (const std::string& comment :
       {std::string(), std::string("hello"), fake_end + std::string(30, 'c'),
        std::string(65535 - 4, 'c') + fake_end}) {
    SCOPED_TRACE(comment.size());
    EXPECT_EQ(ReadDocument(BuildZip({{"doc.kml", Kml("c")}}, false, comment)), Kml("c"));
  }
}

TEST_F(SourceTest, FilesThatAreNoZipAreReadAsTheyAre) {
  for (const std::string& bytes :
       {std::string(), std::string("P"), std::string("PK\x03", 3), std::string("PK\x05\x06"),
        Kml("plain"), std::string("\xEF\xBB\xBF<kml/>\x1A tail")}) {
    EXPECT_EQ(ReadDocument(bytes, "map.kml"), bytes);
  }
}

// A file named .kmz is read as KML when it is XML text; other files that are no zip are not
// blamed on their XML, and other zips on the zip layer.
TEST_F(SourceTest, KmzNamesThatAreNoZip) {
  const struct {
    const char* what;
    std::string bytes;
    std::optional<CFileException::Cause> refused;  // none: read as it is
  } rows[] = {
      {"plain KML", Kml("plain"), std::nullopt},
      {"KML after blanks and a BOM", "\xEF\xBB\xBF \r\n\t" + Kml("bom"), std::nullopt},
      {"UTF-16 LE", std::string("\xFF\xFE<\0k\0", 6), std::nullopt},
      {"UTF-16 BE without a BOM", std::string("\0<\0k", 4), std::nullopt},
      {"blanks beyond a read", std::string(10000, ' ') + Kml("far"), std::nullopt},
      {"a JPEG", "\xFF\xD8\xFF\xE0\0\x10JFIF", CFileException::notZip},
      {"text", "hello <kml/>", CFileException::notZip},
      {"empty", "", CFileException::notZip},
      {"only blanks", "  \n", CFileException::notZip},
      {"an empty zip", BuildZip({}), CFileException::noKmlInZip},
      {"a cut zip signature", "PK\x03", CFileException::badZip},
  };
  for (const auto& row : rows) {
    for (const char* name : {"map.kmz", "MAP.KMZ"}) {
      SCOPED_TRACE(std::string(row.what) + " in " + name);
      try {
        EXPECT_EQ(ReadDocument(row.bytes, name), row.bytes);
        EXPECT_FALSE(row.refused);
      } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, row.refused.value_or(CFileException::none)) << error.what();
        EXPECT_NE(std::string(error.what()).find(folder_.PathOf(name)), std::string::npos);
      }
    }
  }
}

TEST_F(SourceTest, ZipErrorsNameTheFile) {
  const std::string good = BuildZip({{"doc.kml", Kml("a")}});
  std::string bad_directory = good;
  bad_directory[bad_directory.find("PK\x01\x02") + 1] = 'X';
  std::string bad_local = good;
  bad_local[good.find("PK\x01\x02") + 42] = 5;  // the local header's offset points elsewhere
  std::string corrupt_stream = BuildZip({{.name = "doc.kml", .data = std::string(5000, 'q')}});
  corrupt_stream[30 + 7] = '\xFF';

  struct Case {
    const char* what;
    std::string bytes;
    CFileException::Cause cause;
    const char* detail;
  };
  const Case cases[] = {
      {"no KML", BuildZip({{"a.txt", "x"}, {"b.kmz", "y"}}), CFileException::noKmlInZip, ""},
      {"empty zip", BuildZip({}).insert(0, "PK\x03\x04"), CFileException::noKmlInZip, ""},
      {"encrypted", BuildZip({{.name = "doc.kml", .data = "x", .flags = 1}}),
       CFileException::encryptedZip, ""},
      {"bzip2 method", BuildZip({{.name = "doc.kml", .data = "x", .method = 12}}),
       CFileException::badZip, "不支持的压缩方法 12"},
      {"CRC wrong", BuildZip({{.name = "doc.kml", .data = Kml("a"), .crc_change = 1}}),
       CFileException::badZip, "CRC"},
      {"CRC wrong, stored",
       BuildZip({{.name = "doc.kml", .data = "abc", .deflate = false, .crc_change = 0x100}}),
       CFileException::badZip, "CRC"},
      {"size too small", BuildZip({{.name = "doc.kml", .data = Kml("a"), .size_change = -1}}),
       CFileException::badZip, "长度不符"},
      {"size too large", BuildZip({{.name = "doc.kml", .data = Kml("a"), .size_change = 1}}),
       CFileException::badZip, "长度不符"},
      {"deflate data cut short",
       BuildZip({{.name = "doc.kml", .data = std::string(100000, 'k'), .cut_data = 3}}),
       CFileException::badZip, "文件不完整"},
      {"corrupt deflate data", corrupt_stream, CFileException::badZip, "解压出错"},
      {"file cut short", good.substr(0, good.size() - 10), CFileException::badZip,
       "找不到压缩文件的目录"},
      {"only the signature", "PK\x03\x04", CFileException::badZip, "文件不完整"},
      {"directory damaged", bad_directory, CFileException::badZip, "目录已损坏"},
      {"local header misplaced", bad_local, CFileException::badZip, "目录已损坏"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    try {
      const std::string document = ReadDocument(test.bytes);
      ADD_FAILURE() << "read " << document.size() << " bytes";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, test.cause) << error.what();
      EXPECT_NE(std::string(error.what()).find(folder_.PathOf("map.kmz")), std::string::npos)
          << error.what();
      EXPECT_NE(error.m_strDetail.str().find(CString(test.detail).str()), std::string::npos)
          << error.what();
    }
  }
}

// Random text that deflate cannot shrink much, so that its compressed bytes fill several reads.
std::string RandomText(size_t size, unsigned seed) {
  std::string text(size, ' ');
  std::mt19937 random(seed);
  for (char& c : text) c = static_cast<char>('!' + random() % 90);
  return text;
}

TEST_F(SourceTest, EntriesAreReadInTurnFromTheOneFile) {
  const std::string main = RandomText(300000, 1), a = RandomText(200000, 2),
                    b = RandomText(150000, 3);
  const std::string bytes = BuildZip({{"files/x.png", "png"},
                                      {"doc.kml", main},
                                      {"layers/a.kml", a},
                                      {.name = "layers/b.KML", .data = b, .deflate = false},
                                      {.name = "locked.kml", .data = "x", .flags = 1}});
  CStdioFile file(WriteFile(bytes), CFile::modeRead);
  Input input = OpenInput(file);
  ASSERT_NE(input.archive, nullptr);
  EXPECT_EQ(input.archive->main_entry(), "doc.kml");
  for (const char* missing : {"files/x.png", "missing.kml", "Layers/a.kml", "a.kml", ""}) {
    EXPECT_EQ(input.archive->Open(missing), nullptr) << missing;
  }
  EXPECT_THROW(input.archive->Open("locked.kml"), CFileException);

  // Each entry is read in odd-sized pieces in turn with the others, as a linked document is
  // read while the one that links to it waits.
  struct Stream {
    std::unique_ptr<ByteSource> source;
    std::string expected, read;
  } streams[] = {{std::move(input.document), main, {}},
                 {input.archive->Open("layers/a.kml"), a, {}},
                 {input.archive->Open("layers/b.KML"), b, {}}};
  uint64_t position = 0;
  for (bool more = true; more;) {
    more = false;
    for (Stream& stream : streams) {
      char buffer[7919];
      const size_t count = stream.source->Read(buffer, sizeof buffer);
      stream.read.append(buffer, count);
      more = more || count != 0;
      EXPECT_GE(stream.source->FilePosition(), position);
      position = stream.source->FilePosition();
      EXPECT_LE(position, bytes.size());
    }
  }
  for (const Stream& stream : streams) EXPECT_TRUE(stream.read == stream.expected);
}

TEST_F(SourceTest, ADamagedRecordAfterDocKmlMattersOnlyToWhatLiesBeyondIt) {
  std::string bytes = BuildZip({{"doc.kml", Kml("main")}, {"a.kml", Kml("a")}, {"b.kml", "b"}});
  const size_t directory = bytes.find("PK\x01\x02");
  bytes[bytes.find("PK\x01\x02", bytes.find("PK\x01\x02", directory + 4) + 4) + 2] = 'X';
  CStdioFile file(WriteFile(bytes), CFile::modeRead);
  Input input = OpenInput(file);
  std::string document(100, ' ');
  document.resize(input.document->Read(document.data(), document.size()));
  EXPECT_EQ(document, Kml("main"));
  EXPECT_NE(input.archive->Open("a.kml"), nullptr);
  try {
    input.archive->Open("b.kml");
    ADD_FAILURE() << "b.kml opened";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, CFileException::badZip);
    EXPECT_NE(std::string(error.what()).find(folder_.PathOf("map.kmz")), std::string::npos);
  }
}

// 50 MB of text inflated from a small KMZ, with the zip layer's memory measured.
TEST_F(SourceTest, LargeEntryInBoundedMemory) {
  std::string line = "<Placemark><name>点</name><Point><coordinates>116.3,39.9,0";
  line.resize(1023, ' ');
  line += '\n';
  constexpr size_t kLines = 50 * 1024;
  const CString path = WriteFile(BuildZip({{.name = "doc.kml", .data = line, .repeat = kLines}}));
  const test_support::PeakMemory peak;
  CStdioFile file(path, CFile::modeRead);
  std::unique_ptr<ByteSource> source = OpenDocument(file);
  uint64_t total = 0;
  bool same = true;
  std::vector<char> buffer(65536);
  while (const size_t count = source->Read(buffer.data(), buffer.size())) {
    for (size_t at = 0; at < count && same; at += 97) {
      same = buffer[at] == line[(total + at) % line.size()];
    }
    total += count;
  }
  EXPECT_TRUE(same);
  EXPECT_EQ(total, uint64_t{kLines} * line.size());
  EXPECT_EQ(source->FilePosition(), source->FileSize() - 22 - 46 - 7);
  const long growth = peak.GrowthKib();
  if (growth >= 0) {
    // The file's own buffer is 1 MiB; the zip layer adds about 100 KiB.
    EXPECT_LT(growth, 3 * 1024) << "KiB";
    std::printf("peak memory grew by %ld KiB\n", growth);
  }
}

}  // namespace
}  // namespace input
