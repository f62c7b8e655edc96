// Hostile and odd inputs given to kml2mif: each is either converted correctly or refused with a
// clear error naming the file; never a crash, never a changed input, never a half-written or
// stray file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "platform/file_exception.h"
#include "testing/peak_memory.h"
#include "tests/robustness/robustness_fixture.h"

namespace robustness {
namespace {

namespace fs = std::filesystem;
using platform::CFileException;

constexpr char kHeader[] =
    "VERSION 300\r\nDELIMITER \",\"\r\nCOLUMNS 1\r\nblank char(1)\r\nDATA\r\n";

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

class BadInputTest : public RobustnessTest {};

struct ContentRow {
  const char* what;
  std::string kml;
  std::string mif_after_header;  // what the MIF holds after the five header lines
  std::string mid;
};

// Contents that are no KML at all, or KML with bytes no map program writes: converted as the
// line scan reads them, byte for byte.
TEST_F(BadInputTest, StrangeContentIsConvertedByteForByte) {
  const ContentRow rows[] = {
      {"empty file", "", "PLINE 0\r\n", ""},
      {"only the end-of-input byte", "\x1A<coordinates>\n1,2,0 \n", "PLINE 0\r\n", ""},
      {"NUL bytes in the coordinate line", std::string("<coordinates>\n1\0,2,0 3,4\0,0 \n", 29),
       std::string("PLINE 2\r\n1\0 2\r\n3 4\0\r\n", 21), "\r\n\r\n"},
      {"NUL bytes before the tag", std::string("\0\0<coordinates>\0\n5,6,0 \n", 24),
       "PLINE 1\r\n5 6\r\n", "\r\n"},
      {"invalid UTF-8 and GBK lead bytes",
       "<coordinates>\n\xFF\xFE"
       "1,2,0 \x81\xC0\x80 3,4,0 \x81\n",
       "PLINE 2\r\n\xFF\xFE"
       "1 2\r\n\x81\xC0\x80 3 4\r\n\x81",
       "\r\n\r\n"},
      {"lone CRs and a CR LF", "<coordinates>\r\n1,2,0 \r3,4,0 \r\n", "PLINE 2\r\n1 2\r\n\r3 4\r\n",
       "\r\n\r\n"},
      {"the end-of-input byte inside the coordinate line",
       "<coordinates>\n1,2,0 \x1A"
       "3,4,0 \n",
       "PLINE 1\r\n1 2\r\n", "\r\n"},
      {"a line of nothing but commas", "<coordinates>\n,,,,\n", "PLINE 0\r\n    ", ""},
  };
  for (const ContentRow& row : rows) {
    SCOPED_TRACE(row.what);
    Clear();
    WriteFile("odd.kml", row.kml);
    const BatchResult result = RunBatch({"odd.kml"});
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    EXPECT_EQ(ReadBytes("odd.mif"), kHeader + row.mif_after_header);
    EXPECT_EQ(ReadBytes("odd.mid"), row.mid);
    EXPECT_EQ(ReadBytes("odd.kml"), row.kml);
    EXPECT_EQ(Names(), (std::set<std::string>{"odd.kml", "odd.mid", "odd.mif"}));
  }
}

// Binary files (an image, a zip, random bytes) convert without a crash; what they give is the
// line scan's business, but it must be a whole pair and the input must stay.
TEST_F(BadInputTest, BinaryFilesGiveAWholePair) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    Clear();
    std::string bytes = RandomBytes(20000 + seed * 997, seed);
    // Some of them hold the tag, so that a coordinate line of binary bytes is taken.
    if (seed % 2 == 0) bytes.insert(seed * 100, "\n<coordinates>\n");
    WriteFile("blob.kml", bytes);
    const BatchResult result = RunBatch({"blob.kml"});
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    EXPECT_EQ(ReadBytes("blob.kml"), bytes);
    EXPECT_EQ(ReadBytes("blob.mif").rfind(kHeader, 0), 0u);
    EXPECT_EQ(Names(), (std::set<std::string>{"blob.kml", "blob.mid", "blob.mif"}));
  }
}

struct NameRow {
  const char* what;
  std::string input;
  std::string mid;
  std::string mif;
};

TEST_F(BadInputTest, NamesWithBlanksQuotesAndChineseCharacters) {
  const NameRow rows[] = {
      {"blanks", "my route 1.kml", "my route 1.mid", "my route 1.mif"},
      {"quotes", "it's \"the\" route.kml", "it's \"the\" route.mid", "it's \"the\" route.mif"},
      {"Chinese", "北京 路线（一）.kml", "北京 路线（一）.mid", "北京 路线（一）.mif"},
      {"a leading dash", "-route.kml", "-route.mid", "-route.mif"},
      {"a blank at the end", "route.kml ", "route.kmid", "route.kmif"},
      {"shell characters", "a;b|c&d$e`f*.kml", "a;b|c&d$e`f*.mid", "a;b|c&d$e`f*.mif"},
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(row.what);
#if defined(_WIN32)
    // Windows names hold no quotes, bars or stars, and lose a blank at their end.
    if (row.input.find_first_of("\"|*") != std::string::npos || row.input.back() == ' ') {
      continue;
    }
#endif
    Clear();
    WriteFile(row.input, kKml);
    const BatchResult result = RunBatch({row.input});
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    EXPECT_EQ(ReadBytes(row.mif), kMif);
    EXPECT_EQ(ReadBytes(row.mid), kMid);
    EXPECT_EQ(Names(), (std::set<std::string>{row.input, row.mid, row.mif}));
    EXPECT_NE(result.out.find(PathOf(row.input)), std::string::npos) << result.out;

    // A missing file of that name is reported with the name as it is.
    const BatchResult missing = RunBatch({"gone " + row.input});
    EXPECT_EQ(missing.err, ErrorLine(CFileException::fileNotFound, "gone " + row.input));
  }
}

class RefusedInputTest : public ConversionTest {};

// Inputs that both conversions must refuse before they write anything: a folder, an input
// whose output is the input itself (by its name, another case of it, a hard link or a symbolic
// link), a name too short for output names, and two inputs of a batch that share an output
// pair (a usage error naming both).
TEST_P(RefusedInputTest, NothingIsWritten) {
  struct Row {
    const char* what;
    std::function<void(RefusedInputTest*)> setup;
    std::vector<std::string> inputs;
    int exit_code;
    std::string err;  // what the error line starts with
  };
  const std::string x = Input("x");
  const auto error = [this](CFileException::Cause cause, const std::string& name) {
    return ErrorLine(cause, name);
  };
  // The batch's texts are UTF-8; this file's literals are in the system code page on Windows.
  const auto utf8 = [](std::string_view literal) {
    const cli::LiteralConverter convert = cli::PlatformLiteralConverter();
    return convert != nullptr ? convert(literal) : std::string(literal);
  };
  const auto shared = [this, utf8](const std::string& first, const std::string& second) {
    return "kml2mif: " + utf8("“") + PathOf(first) + utf8("”和“") + PathOf(second) +
           utf8("”会被转换为相同的输出文件");
  };
  const auto write = [this](const std::string& name) {
    return [this, name](RefusedInputTest*) { WriteFile(name, InputBytes()); };
  };
  const Row rows[] = {
    {"a folder",
     [x](RefusedInputTest* test) { fs::create_directory(test->folder_ / x); },
     {x},
     cli::kExitFileError,
     error(CFileException::isDirectory, x)},
    {"a folder with a KML inside",
     [x](RefusedInputTest* test) {
       fs::create_directory(test->folder_ / x);
       test->WriteFile(x + "/route.kml", kKml);
     },
     {x},
     cli::kExitFileError,
     error(CFileException::isDirectory, x)},
    {"an input named like its MIF",
     write("x.mif"),
     {"x.mif"},
     cli::kExitFileError,
     error(CFileException::sameAsInput, "x.mif")},
    {"an input named like its MID",
     write("x.mid"),
     {"x.mid"},
     cli::kExitFileError,
     error(CFileException::sameAsInput, "x.mid")},
    {"a hard link of the input in the MIF's place",
     [&](RefusedInputTest* test) {
       write(x)(test);
       fs::create_hard_link(test->folder_ / x, test->folder_ / "x.mif");
     },
     {x},
     cli::kExitFileError,
     error(CFileException::sameAsInput, x)},
#if defined(_WIN32)
    // Names that differ in case only are one file.
    {"an input named like its MIF in capitals",
     write("x.MIF"),
     {"x.MIF"},
     cli::kExitFileError,
     error(CFileException::sameAsInput, "x.MIF")},
    {"an input named like its MID in another case",
     write("x.Mid"),
     {"x.Mid"},
     cli::kExitFileError,
     error(CFileException::sameAsInput, "x.Mid")},
#else
    {"a symbolic link to the input in the MID's place",
     [&](RefusedInputTest* test) {
       write(x)(test);
       fs::create_symlink(x, test->folder_ / "x.mid");
     },
     {x},
     cli::kExitFileError,
     error(CFileException::sameAsInput, x)},
    {"a symbolic link to the input's folder in the MIF's place",
     [&](RefusedInputTest* test) {
       write(x)(test);
       fs::create_symlink(".", test->folder_ / "x.mif");
     },
     {x},
     cli::kExitFileError,
     error(CFileException::isDirectory, "x.mif")},
    // Names that differ in case are two files here, with the same outputs.
    {"two inputs whose names differ in case",
     [&](RefusedInputTest* test) {
       write("x.kml")(test);
       write("x.KML")(test);
     },
     {"x.kml", "x.KML"},
     cli::kExitUsage,
     shared("x.kml", "x.KML")},
#endif
    {"a name of three bytes",
     write("kml"),
     {"kml"},
     cli::kExitFileError,
     error(CFileException::nameTooShort, "kml")},
    {"two inputs with the same outputs",
     [&](RefusedInputTest* test) {
       write("x.kml")(test);
       write("x.kmz")(test);
     },
     {"x.kml", "x.kmz"},
     cli::kExitUsage,
     shared("x.kml", "x.kmz")},
    {"two inputs of two folders with the same outputs in the output folder",
     [&](RefusedInputTest* test) {
       for (const char* folder : {"one", "two", "out"})
         fs::create_directory(test->folder_ / folder);
       write("one/" + x)(test);
       write("two/" + x)(test);
       test->output_folder_ = "out";
     },
     {"one/" + x, "two/" + x},
     cli::kExitUsage,
     shared("one/" + x, "two/" + x)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Clear();
    output_folder_.clear();
    row.setup(this);
    const auto before = Snapshot();
    const BatchResult result = RunBatch(row.inputs);
    EXPECT_EQ(result.exit_code, row.exit_code);
    EXPECT_EQ(result.err.substr(0, row.err.size()), row.err);
    EXPECT_EQ(Snapshot(), before);
  }
}

INSTANTIATE_TEST_SUITE_P(, RefusedInputTest, ::testing::ValuesIn(SmallSubjects()), SubjectName);

TEST_F(BadInputTest, SameFileTwiceInOneBatch) {
  WriteFile("route.kml", kKml);
  for (const std::vector<std::string>& batch :
       {std::vector<std::string>{"route.kml", "route.kml"},
        std::vector<std::string>{"route.kml", "./route.kml",
                                 "../" + folder_.filename().string() + "/route.kml"}}) {
    const BatchResult result = RunBatch(batch);
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    EXPECT_EQ(ReadBytes("route.mif"), kMif);
    EXPECT_EQ(ReadBytes("route.mid"), kMid);
    EXPECT_EQ(ReadBytes("route.kml"), kKml);
    EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid", "route.mif"}));
  }
}

#if defined(_WIN32)
// A path longer than the 260 characters that plain Windows calls take.
TEST_F(BadInputTest, PathLongerThanMaxPath) {
  std::string folder;
  while (PathOf(folder).size() < 300) folder += "a-rather-long-folder-name\\";
  fs::create_directories(folder_ / folder);
  const std::string name = folder + "route.kml";
  WriteFile(name, kKml);
  const BatchResult result = RunBatch({name});
  EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
  EXPECT_EQ(ReadBytes(folder + "route.mif"), kMif);
  EXPECT_EQ(ReadBytes(folder + "route.mid"), kMid);
}
#else
// A name at the length limit of the file system: the temporary next to the output cannot have
// the output's name plus a suffix.
TEST_F(BadInputTest, NameAtTheLengthLimit) {
  const std::string stem(251, 'n');
  WriteFile(stem + ".kml", kKml);
  const BatchResult result = RunBatch({stem + ".kml"});
  EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
  EXPECT_EQ(ReadBytes(stem + ".mif"), kMif);
  EXPECT_EQ(Names(), (std::set<std::string>{stem + ".kml", stem + ".mid", stem + ".mif"}));
}

// Huge inputs, converted by kml2mif's batch with its peak memory measured: a 50 MB file with no
// line end at all, and a 50 MB coordinate line.
TEST_F(BadInputTest, HugeLinesInBoundedMemory) {
  constexpr size_t kSize = 50u << 20;
  for (const bool coordinates : {false, true}) {
    SCOPED_TRACE(coordinates ? "one coordinate line" : "no line end at all");
    Clear();
    long points = 0;
    {
      std::ofstream file(folder_ / "huge.kml", std::ios::binary);
      std::string chunk;
      size_t written = 0;
      if (coordinates) file << "<coordinates>\n";
      while (written < kSize) {
        chunk.clear();
        while (chunk.size() < 65536) {
          if (coordinates) {
            // Appended piece by piece: no temporary string on the heap for each tuple.
            chunk.append("116.").append(std::to_string(points++)).append(",39.9,0 ");
          } else {
            chunk.append(4096, 'x');
          }
        }
        file << chunk;
        written += chunk.size();
      }
      ASSERT_TRUE(file.good());
    }
    const test_support::PeakMemory peak;
    const BatchResult result = RunBatch({"huge.kml"});
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    const long growth = peak.GrowthKib();
    if (growth >= 0) {
      // Holding the line would take 50 MiB and more.
      EXPECT_LT(growth, 16 * 1024) << "KiB";
      std::printf("peak memory grew by %ld KiB\n", growth);
    }
    EXPECT_EQ(Names(), (std::set<std::string>{"huge.kml", "huge.mid", "huge.mif"}));
    EXPECT_EQ(fs::file_size(folder_ / "huge.mid"), static_cast<uintmax_t>(points) * 2);
  }
}
#endif

}  // namespace
}  // namespace robustness
