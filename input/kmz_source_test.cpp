#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "input/document_source.h"
#include "testing/peak_memory.h"
#include "testing/temp_folder.h"

namespace input {
namespace {

using platform::CFile;
using platform::CFileException;
using platform::CStdioFile;
using platform::CString;

// One entry of a zip the test writes; the fields after `data` spoil it on purpose.
struct ZipEntry {
  std::string name;
  std::string data;
  size_t repeat = 1;  // the entry holds `data` this many times
  bool deflate = true;
  uint16_t flags = 0;
  int method = -1;          // written instead of the real one when set
  uint32_t crc_change = 0;  // XORed into the recorded CRC
  int64_t size_change = 0;  // added to the recorded size
  size_t cut_data = 0;      // compressed bytes dropped from the end (the sizes say so too)
};

void Put16(std::string& out, uint64_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& out, uint64_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16 & 0xFFFF);
}
void Put64(std::string& out, uint64_t value) {
  Put32(out, value & 0xFFFFFFFF);
  Put32(out, value >> 32);
}

// A zip as common tools write it; with `zip64` every size and offset goes to the zip64 extra
// field and records, as for an archive beyond 4 GiB.
std::string BuildZip(const std::vector<ZipEntry>& entries, bool zip64 = false,
                     const std::string& comment = "") {
  std::string zip;
  std::string directory;
  for (const ZipEntry& entry : entries) {
    uLong crc = crc32(0, nullptr, 0);
    std::string data;
    z_stream stream = {};
    if (entry.deflate) deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    for (size_t i = 0; i < entry.repeat; ++i) {
      const auto* bytes = reinterpret_cast<const Bytef*>(entry.data.data());
      crc = crc32(crc, bytes, static_cast<uInt>(entry.data.size()));
      if (!entry.deflate) {
        data += entry.data;
        continue;
      }
      stream.next_in = const_cast<Bytef*>(bytes);
      stream.avail_in = static_cast<uInt>(entry.data.size());
      const int flush = i + 1 == entry.repeat ? Z_FINISH : Z_NO_FLUSH;
      int status;
      do {
        char out[16384];
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = sizeof out;
        status = deflate(&stream, flush);
        data.append(out, sizeof out - stream.avail_out);
      } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    }
    if (entry.deflate && entry.repeat == 0) {
      char out[64];
      stream.next_out = reinterpret_cast<Bytef*>(out);
      stream.avail_out = sizeof out;
      deflate(&stream, Z_FINISH);
      data.append(out, sizeof out - stream.avail_out);
    }
    if (entry.deflate) deflateEnd(&stream);
    data.resize(data.size() - entry.cut_data);

    const uint64_t size = entry.data.size() * entry.repeat + entry.size_change;
    const uint64_t offset = zip.size();
    const int method = entry.method >= 0 ? entry.method : entry.deflate ? 8 : 0;
    std::string zip64_extra;
    if (zip64) {
      Put16(zip64_extra, 1);
      Put16(zip64_extra, 24);
      Put64(zip64_extra, size);
      Put64(zip64_extra, data.size());
      Put64(zip64_extra, offset);
    }
    auto common = [&](std::string& out, bool central) {
      Put16(out, 45);
      Put16(out, entry.flags);
      Put16(out, method);
      Put32(out, 0);  // time and date
      Put32(out, crc ^ entry.crc_change);
      Put32(out, zip64 ? 0xFFFFFFFF : data.size());
      Put32(out, zip64 ? 0xFFFFFFFF : size);
      Put16(out, entry.name.size());
      Put16(out, central ? zip64_extra.size() : 0);
    };
    Put32(zip, 0x04034b50);
    common(zip, false);
    zip += entry.name;
    zip += data;
    Put32(directory, 0x02014b50);
    Put16(directory, 45);
    common(directory, true);
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, zip64 ? 0xFFFFFFFF : offset);
    directory += entry.name;
    directory += zip64_extra;
  }
  const uint64_t directory_offset = zip.size();
  zip += directory;
  if (zip64) {
    const uint64_t zip64_end = zip.size();
    Put32(zip, 0x06064b50);
    Put64(zip, 44);
    Put16(zip, 45);
    Put16(zip, 45);
    Put32(zip, 0);
    Put32(zip, 0);
    Put64(zip, entries.size());
    Put64(zip, entries.size());
    Put64(zip, directory.size());
    Put64(zip, directory_offset);
    Put32(zip, 0x07064b50);
    Put32(zip, 0);
    Put64(zip, zip64_end);
    Put32(zip, 1);
  }
  Put32(zip, 0x06054b50);
  Put32(zip, 0);
  Put16(zip, zip64 ? 0xFFFF : entries.size());
  Put16(zip, zip64 ? 0xFFFF : entries.size());
  Put32(zip, zip64 ? 0xFFFFFFFF : directory.size());
  Put32(zip, zip64 ? 0xFFFFFFFF : directory_offset);
  Put16(zip, comment.size());
  zip += comment;
  return zip;
}

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
