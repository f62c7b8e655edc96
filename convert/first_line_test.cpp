#include "convert/first_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "platform/code_page.h"
#include "platform/fault_injection.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"
#include "testing/coordinate_line.h"
#include "testing/temp_folder.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace convert {
namespace {

namespace fs = std::filesystem;
using platform::CFileException;
using platform::CString;

constexpr char kMifHeader[] =
    "VERSION 300\r\nDELIMITER \",\"\r\nCOLUMNS 1\r\nblank char(1)\r\nDATA\r\n";

class ConvertFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return temp_.PathOf(name); }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    temp_.Write(name, bytes);
  }
  std::string ReadBytes(const std::string& name) const { return temp_.Read(name); }
  std::set<std::string> Names() const { return temp_.Names(); }

  // Removes route.mid and route.mif and, when `old_outputs`, writes old ones.
  void PutOldOutputs(bool old_outputs) const {
    fs::remove(folder_ / "route.mid");
    fs::remove(folder_ / "route.mif");
    if (old_outputs) {
      WriteFile("route.mid", "old mid");
      WriteFile("route.mif", "old mif");
    }
  }

  // After a failed conversion of route.kml: the old outputs as they were (or still none), and
  // nothing else beside the input.
  void ExpectOldOutputsKept(bool old_outputs) const {
    if (old_outputs) {
      EXPECT_EQ(ReadBytes("route.mid"), "old mid");
      EXPECT_EQ(ReadBytes("route.mif"), "old mif");
      EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid", "route.mif"}));
    } else {
      EXPECT_EQ(Names(), (std::set<std::string>{"route.kml"}));
    }
  }

  FirstLineSummary Convert(const std::string& name) { return ConvertFile(CString(PathOf(name))); }

  // Converts `name`, expecting a file error with `cause` whose report names `named`.
  void ExpectError(const std::string& name, CFileException::Cause cause, const std::string& named) {
    try {
      Convert(name);
      ADD_FAILURE() << name << " converted";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, cause);
      EXPECT_EQ(error.m_strFileName.str(), PathOf(named));
      EXPECT_NE(error.GetErrorMessage().str().find(PathOf(named)), std::string::npos)
          << error.GetErrorMessage().str();
    }
  }

  test_support::TempFolder temp_{"convert"};
  const fs::path folder_ = temp_.path();
};

TEST_F(ConvertFileTest, ExampleGivesTheExactBytes) {
  WriteFile("route.kml",
            "<Placemark><LineString>\n<coordinates>\n"
            "\t\t116.391,39.907,0 116.392,39.908,0 \n</coordinates>\n</LineString></Placemark>\n");
  const FirstLineSummary summary = Convert("route.kml");
  EXPECT_EQ(summary.mid_path.str(), PathOf("route.mid"));
  EXPECT_EQ(summary.mif_path.str(), PathOf("route.mif"));
  EXPECT_TRUE(summary.found_coordinate_line);
  EXPECT_EQ(summary.point_count, 2);
  EXPECT_EQ(ReadBytes("route.mif"),
            std::string(kMifHeader) + "PLINE 2\r\n\t\t116.391 39.907\r\n116.392 39.908\r\n");
  EXPECT_EQ(ReadBytes("route.mid"), "\r\n\r\n");
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid", "route.mif"}));
}

struct ContentRow {
  const char* what;
  std::string kml;
  bool found;
  std::string mif_after_header;
  std::string mid;
};

TEST_F(ConvertFileTest, ContentTable) {
  const ContentRow rows[] = {
      {"no coordinate list", "<kml>\n<Point/>\n</kml>\n", false, "PLINE 0\r\n", ""},
      {"empty file", "", false, "PLINE 0\r\n", ""},
      {"last tuple without blank: no final line end",
       "<coordinates>\n116.391,39.907,0 116.392,39.908,0\n</coordinates>\n", true,
       "PLINE 1\r\n116.391 39.907\r\n116.392 39.908 0", "\r\n"},
      {"altitude not 0: nothing counted", "<coordinates>\n1,2,25 3,4,25 \n", true,
       "PLINE 0\r\n1 2 25 3 4 25 ", ""},
      {"empty list", "<coordinates>\n\t\t</coordinates>\n", true, "PLINE 0\r\n\t\t", ""},
  };
  for (const ContentRow& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFile("route.kml", row.kml);
    EXPECT_EQ(Convert("route.kml").found_coordinate_line, row.found);
    EXPECT_EQ(ReadBytes("route.mif"), kMifHeader + row.mif_after_header);
    EXPECT_EQ(ReadBytes("route.mid"), row.mid);
  }
}

TEST_F(ConvertFileTest, ManyPointsGiveOneEmptyMidLineEach) {
  std::string tuples;
  for (int i = 0; i < 10000; ++i) tuples += std::to_string(i) + ".5,1,0 ";
  WriteFile("long.kml", "<coordinates>\n" + tuples + "\n");
  EXPECT_EQ(Convert("long.kml").point_count, 10000);
  std::string mid_expected;
  for (int i = 0; i < 10000; ++i) mid_expected += "\r\n";
  EXPECT_EQ(ReadBytes("long.mid"), mid_expected);
  EXPECT_NE(ReadBytes("long.mif").find("PLINE 10000\r\n0.5 1\r\n1.5 1\r\n"), std::string::npos);
}

// A coordinate line several times longer than the file buffer comes out as the held-string
// scan gives it.
TEST_F(ConvertFileTest, LongLineMatchesTheReferenceScan) {
  std::string tuples = "\t\t";
  for (int i = 0; tuples.size() < 3 * platform::CStdioFile::kBufferSize + 17; ++i) {
    tuples += std::to_string(100 + i % 50) + "." + std::to_string(i) + ",-3" + std::to_string(i) +
              (i % 7 == 0 ? ",25 " : ",0 ");
  }
  const std::string kml = "<kml>\r\n<coordinates>\r\n" + tuples + "</coordinates>\r\n</kml>\r\n";
  WriteFile("long.kml", kml);
  platform::CStdioFile input(CString(PathOf("long.kml")), platform::CFile::modeRead);
  std::optional<CString> line = test_support::FindCoordinateLine(input);
  ASSERT_TRUE(line.has_value());
  const PointCount points = test_support::RewriteCoordinates(*line);
  std::string expected = std::string(kMifHeader) + "PLINE " + std::to_string(points) + "\r\n";
  for (char byte : line->view()) {
    if (byte == '\n') expected += '\r';
    expected += byte;
  }
  input.Close();

  EXPECT_EQ(Convert("long.kml").point_count, points);
  EXPECT_TRUE(ReadBytes("long.mif") == expected);
  EXPECT_EQ(ReadBytes("long.mid").size(), 2 * static_cast<size_t>(points));
}

TEST_F(ConvertFileTest, OutputNamesLoseTheLastThreeBytes) {
  const struct {
    std::string input, mid, mif;
  } rows[] = {
      {"route.kml", "route.mid", "route.mif"}, {"route.txt", "route.mid", "route.mif"},
      {"route.kmz", "route.mid", "route.mif"}, {"routes", "roumid", "roumif"},
      {"a.b.kml", "a.b.mid", "a.b.mif"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    temp_.Clear();
    WriteFile(row.input, "<coordinates>\n1,2,0 \n");
    Convert(row.input);
    EXPECT_EQ(Names(), (std::set<std::string>{row.input, row.mid, row.mif}));
  }
}

TEST_F(ConvertFileTest, ExistingOutputsAreReplaced) {
  WriteFile("route.kml", "<coordinates>\n1,2,0 \n");
  WriteFile("route.mid", std::string(100, 'x'));
  WriteFile("route.mif", std::string(100, 'y'));
  Convert("route.kml");
  EXPECT_EQ(ReadBytes("route.mif"), std::string(kMifHeader) + "PLINE 1\r\n1 2\r\n");
  EXPECT_EQ(ReadBytes("route.mid"), "\r\n");
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid", "route.mif"}));
}

TEST_F(ConvertFileTest, MissingInputCreatesNothingAndKeepsOldOutputs) {
  ExpectError("gone.kml", CFileException::fileNotFound, "gone.kml");
  EXPECT_TRUE(Names().empty());

  WriteFile("gone.mid", "old mid");
  WriteFile("gone.mif", "old mif");
  ExpectError("gone.kml", CFileException::fileNotFound, "gone.kml");
  EXPECT_EQ(ReadBytes("gone.mid"), "old mid");
  EXPECT_EQ(ReadBytes("gone.mif"), "old mif");
  EXPECT_EQ(Names(), (std::set<std::string>{"gone.mid", "gone.mif"}));
}

// Whatever step fails, the old outputs keep their content (or stay absent) and no temporary
// or backup file stays behind, also when the MIF fails after the MID has been replaced.
TEST_F(ConvertFileTest, FailureAtAnyStepKeepsTheOldOutputs) {
  namespace fault = platform::fault;
  using Operation = fault::Operation;
  const struct {
    const char* what;
    Operation operation;
    int after_calls;
    CFileException::Cause cause;
    const char* named;
  } rows[] = {
      {"reading the input", Operation::kRead, 0, CFileException::hardIO, "route.kml"},
      {"creating the new MID", Operation::kOpen, 1, CFileException::accessDenied, "route.mid"},
      {"creating the new MIF", Operation::kOpen, 2, CFileException::accessDenied, "route.mif"},
      {"writing the MID", Operation::kWrite, 0, CFileException::diskFull, "route.mid"},
      {"writing the MIF", Operation::kWrite, 1, CFileException::diskFull, "route.mif"},
      {"putting the MID on the disk", Operation::kFlush, 0, CFileException::diskFull, "route.mid"},
      {"MID held when it is to be replaced", Operation::kHold, 2, CFileException::sharingViolation,
       "route.mid"},
      {"MIF held once the MID is replaced", Operation::kHold, 3, CFileException::sharingViolation,
       "route.mif"},
      {"replacing the MID", Operation::kRename, 0, CFileException::accessDenied, "route.mid"},
      {"replacing the MIF", Operation::kRename, 1, CFileException::accessDenied, "route.mif"},
  };
  WriteFile("route.kml", "<coordinates>\n1,2,0 3,4,0 \n</coordinates>\n");
  for (const bool old_outputs : {true, false}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.what) + (old_outputs ? "" : ", no old outputs"));
      PutOldOutputs(old_outputs);
      {
        fault::ScopedFault failing(row.operation, row.after_calls,
                                   fault::TypicalOsError(row.cause));
        ExpectError("route.kml", row.cause, row.named);
      }
      ExpectOldOutputsKept(old_outputs);
    }
  }
  Convert("route.kml");
  EXPECT_EQ(ReadBytes("route.mid"), "\r\n\r\n");
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid", "route.mif"}));
}

// Where the file system has no hard links (FAT32) each old output is renamed aside before the
// new one takes its name: four renames, any of which may fail.
TEST_F(ConvertFileTest, WithoutHardLinksAFailingRenameKeepsTheOldOutputs) {
  namespace fault = platform::fault;
  const char* const named[] = {"route.mid", "route.mid", "route.mif", "route.mif"};
  WriteFile("route.kml", "<coordinates>\n1,2,0 3,4,0 \n</coordinates>\n");
  for (const bool old_outputs : {true, false}) {
    for (int rename = 0; rename < 4; ++rename) {
      SCOPED_TRACE("rename " + std::to_string(rename + 1) +
                   (old_outputs ? "" : ", no old outputs"));
      PutOldOutputs(old_outputs);
      {
        fault::ScopedFault failing(fault::Operation::kRename, rename,
                                   fault::TypicalOsError(CFileException::accessDenied));
        fault::Arm(fault::Operation::kLink, 0, fault::TypicalOsError(CFileException::accessDenied),
                   -1);
        ExpectError("route.kml", CFileException::accessDenied, named[rename]);
      }
      ExpectOldOutputsKept(old_outputs);
    }
  }
}

TEST_F(ConvertFileTest, FolderAsInputIsRefused) {
  fs::create_directory(folder_ / "maps.kml");
  ExpectError("maps.kml", CFileException::isDirectory, "maps.kml");
  EXPECT_EQ(Names(), (std::set<std::string>{"maps.kml"}));
}

TEST_F(ConvertFileTest, InputHeldByAnotherIsRefused) {
  WriteFile("route.kml", "<coordinates>\n1,2,0 \n");
  platform::CStdioFile holder(CString(PathOf("route.kml")), platform::CFile::modeRead);
  ExpectError("route.kml", CFileException::sharingViolation, "route.kml");
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml"}));
}

TEST_F(ConvertFileTest, InputNamedLikeAnOutputIsRefusedAndKept) {
  const std::string kml = "<coordinates>\n1,2,0 \n";
  for (const char* name : {"route.mid", "route.mif"}) {
    SCOPED_TRACE(name);
    temp_.Clear();
    WriteFile(name, kml);
    ExpectError(name, CFileException::sameAsInput, name);
    EXPECT_EQ(ReadBytes(name), kml);
    EXPECT_EQ(Names(), (std::set<std::string>{name}));
  }
}

TEST_F(ConvertFileTest, OutputThatIsAHardLinkOfTheInputIsRefused) {
  const std::string kml = "<coordinates>\n1,2,0 \n";
  WriteFile("route.kml", kml);
  fs::create_hard_link(folder_ / "route.kml", folder_ / "route.mif");
  ExpectError("route.kml", CFileException::sameAsInput, "route.kml");
  EXPECT_EQ(ReadBytes("route.kml"), kml);
  EXPECT_EQ(ReadBytes("route.mif"), kml);
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mif"}));
}

#if defined(_WIN32)
TEST_F(ConvertFileTest, OutputNameDifferingOnlyInCaseIsRefused) {
  const std::string kml = "<coordinates>\n1,2,0 \n";
  WriteFile("ROUTE.MID", kml);
  ExpectError("ROUTE.MID", CFileException::sameAsInput, "ROUTE.MID");
  // The derived name is ROUTE.mid: the same file on this file system.
  EXPECT_EQ(ReadBytes("ROUTE.MID"), kml);
}
#else
TEST_F(ConvertFileTest, OutputThatIsASymbolicLinkToTheInputIsRefused) {
  const std::string kml = "<coordinates>\n1,2,0 \n";
  WriteFile("route.kml", kml);
  fs::create_symlink("route.kml", folder_ / "route.mid");
  ExpectError("route.kml", CFileException::sameAsInput, "route.kml");
  EXPECT_EQ(ReadBytes("route.kml"), kml);
  EXPECT_TRUE(fs::is_symlink(folder_ / "route.mid"));
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid"}));
}

TEST_F(ConvertFileTest, OutputThatCannotBeCreatedLeavesNothingBehind) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  WriteFile("route.kml", "<coordinates>\n1,2,0 \n");
  WriteFile("route.mid", "old mid");
  fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_THROW(Convert("route.kml"), CFileException);
  fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadBytes("route.mid"), "old mid");
  EXPECT_EQ(Names(), (std::set<std::string>{"route.kml", "route.mid"}));
}
#endif

TEST(IsPairsOfNumbersTest, Table) {
  const struct {
    const char* text;
    bool complete;
    bool pairs;
  } rows[] = {
      {"", true, true},
      {"1 2\r\n3 4\r\n", true, true},
      {"116.39 39.9\n-1.5e3 +2.", true, true},
      {"\t1   2 \r\n", true, true},
      {"1 2 3\r\n", true, false},
      {"1\r\n", true, false},
      {"\r\n", true, false},
      {"1 2\r\nx 4\r\n", true, false},
      {"1 2\r\n1.2.3 4\r\n", true, false},
      {"1 2\r\n1e 4\r\n", true, false},
      {"1 2\r\n3 4 5", true, false},
      {"1 2\r\n3 4 5", false, true},  // the cut last line is not looked at
      {"1 2 3\r\n4 5", false, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsPairsOfNumbers(row.text, row.complete), row.pairs) << row.text;
  }
}

}  // namespace
}  // namespace convert
