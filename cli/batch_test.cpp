#include "cli/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace cli {
namespace {

namespace fs = std::filesystem;
using platform::CString;

class CaptureConsole : public Console {
 public:
  void Out(std::string_view text) override { out += text; }
  void Err(std::string_view text) override { err += text; }
  std::string out;
  std::string err;
};

struct ParseRow {
  std::vector<const char*> arguments;  // after the program name
  CommandLine::Action action;
  bool keep_going;
  bool quiet;
  std::vector<std::string> files;
};

TEST(ParseCommandLineTest, Table) {
  using Action = CommandLine::Action;
  const ParseRow rows[] = {
      {{"a.kml"}, Action::kConvert, false, false, {"a.kml"}},
      {{"--keep-going", "a.kml", "b.kml"}, Action::kConvert, true, false, {"a.kml", "b.kml"}},
      {{"a.kml", "--quiet"}, Action::kConvert, false, true, {"a.kml"}},
      {{"--", "--quiet", "-"}, Action::kConvert, false, false, {"--quiet", "-"}},
      {{"-"}, Action::kConvert, false, false, {"-"}},
      {{"--help", "--bogus"}, Action::kHelp, false, false, {}},
      {{"a.kml", "--version"}, Action::kVersion, false, false, {"a.kml"}},
      {{}, Action::kUsageError, false, false, {}},
      {{"--quiet"}, Action::kUsageError, false, true, {}},
      {{"--bogus", "a.kml"}, Action::kUsageError, false, false, {}},
      {{"-k", "a.kml"}, Action::kUsageError, false, false, {}},
  };
  for (const ParseRow& row : rows) {
    std::vector<const char*> argv = {"kml2mif"};
    argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
    SCOPED_TRACE(::testing::PrintToString(argv));
    const CommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(parsed.action, row.action);
    EXPECT_EQ(parsed.action == Action::kUsageError, !parsed.error.empty());
    EXPECT_EQ(parsed.options.keep_going, row.keep_going);
    EXPECT_EQ(parsed.options.quiet, row.quiet);
    std::vector<std::string> files;
    for (const CString& file : parsed.options.files) files.push_back(file.str());
    EXPECT_EQ(files, row.files);
  }
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / (std::string("kml2mif-batch-") + test->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  bool Exists(const std::string& name) const { return fs::exists(folder_ / name); }

  void WriteKml(const std::string& name, const std::string& tuples) const {
    std::ofstream(folder_ / name, std::ios::binary) << "<LineString>\n<coordinates>\n"
                                                    << tuples << "\n</coordinates>\n";
  }

  int Run(std::vector<std::string> arguments) {
    std::vector<const char*> argv = {"kml2mif"};
    for (std::string& argument : arguments) {
      if (argument.ends_with(".kml")) argument = PathOf(argument);
      argv.push_back(argument.c_str());
    }
    return RunCommandLine(static_cast<int>(argv.size()), argv.data(), console_);
  }

  fs::path folder_;
  CaptureConsole console_;
};

TEST_F(BatchTest, OneLinePerFileNamingInputOutputsAndPoints) {
  WriteKml("a.kml", "1,2,0 3,4,0 ");
  WriteKml("b.kml", "1,2,0 ");
  EXPECT_EQ(Run({"a.kml", "b.kml"}), kExitSuccess);
  EXPECT_EQ(console_.out, "已转换“" + PathOf("a.kml") + "”：“" + PathOf("a.mif") + "”和“" +
                              PathOf("a.mid") + "”，2 个点。\n" + "已转换“" + PathOf("b.kml") +
                              "”：“" + PathOf("b.mif") + "”和“" + PathOf("b.mid") +
                              "”，1 个点。\n");
  EXPECT_EQ(console_.err, "");
  EXPECT_TRUE(Exists("a.mif") && Exists("a.mid") && Exists("b.mif") && Exists("b.mid"));
}

TEST_F(BatchTest, QuietPrintsNothingButStillConverts) {
  WriteKml("a.kml", "1,2,0 ");
  EXPECT_EQ(Run({"--quiet", "a.kml"}), kExitSuccess);
  EXPECT_EQ(console_.out, "");
  EXPECT_EQ(console_.err, "");
  EXPECT_TRUE(Exists("a.mif"));
}

TEST_F(BatchTest, FileWithoutCoordinateListIsConvertedWithAWarning) {
  std::ofstream(folder_ / "empty.kml") << "<kml/>\n";
  EXPECT_EQ(Run({"--quiet", "empty.kml"}), kExitSuccess);
  EXPECT_EQ(console_.out, "");
  EXPECT_EQ(console_.err.rfind("kml2mif: 警告：", 0), 0u) << console_.err;
  EXPECT_NE(console_.err.find(PathOf("empty.kml")), std::string::npos);
  EXPECT_TRUE(Exists("empty.mif") && Exists("empty.mid"));
}

TEST_F(BatchTest, FileErrorStopsTheBatchAndNamesTheFile) {
  WriteKml("a.kml", "1,2,0 ");
  WriteKml("c.kml", "1,2,0 ");
  EXPECT_EQ(Run({"a.kml", "missing.kml", "c.kml"}), kExitFileError);
  EXPECT_TRUE(Exists("a.mif"));
  EXPECT_FALSE(Exists("missing.mif") || Exists("missing.mid"));
  EXPECT_FALSE(Exists("c.mif") || Exists("c.mid"));
  EXPECT_EQ(console_.err.rfind("kml2mif: ", 0), 0u);
  EXPECT_NE(console_.err.find(PathOf("missing.kml")), std::string::npos) << console_.err;
  EXPECT_EQ(console_.out.find(PathOf("c.kml")), std::string::npos);
}

TEST_F(BatchTest, KeepGoingConvertsTheRestAndStillFails) {
  WriteKml("c.kml", "1,2,0 ");
  fs::create_directory(folder_ / "folder.kml");
  EXPECT_EQ(Run({"--keep-going", "missing.kml", "folder.kml", "c.kml"}), kExitFileError);
  EXPECT_TRUE(Exists("c.mif") && Exists("c.mid"));
  EXPECT_NE(console_.err.find(PathOf("missing.kml")), std::string::npos);
  EXPECT_NE(console_.err.find(PathOf("folder.kml")), std::string::npos);
  EXPECT_NE(console_.out.find(PathOf("c.kml")), std::string::npos);
}

TEST_F(BatchTest, HelpVersionAndBadUsage) {
  EXPECT_EQ(Run({"--help"}), kExitSuccess);
  EXPECT_NE(console_.out.find("退出状态"), std::string::npos);
  EXPECT_NE(console_.out.find("--keep-going"), std::string::npos);

  console_ = CaptureConsole();
  EXPECT_EQ(Run({"--version"}), kExitSuccess);
  EXPECT_EQ(console_.out, "kml2mif 1.0.0.1\n");

  console_ = CaptureConsole();
  EXPECT_EQ(Run({"--frobnicate", "a.kml"}), kExitUsage);
  EXPECT_NE(console_.err.find("kml2mif: 未知的选项“--frobnicate”"), std::string::npos);
  EXPECT_FALSE(Exists("a.mif"));

  console_ = CaptureConsole();
  EXPECT_EQ(Run({}), kExitUsage);
  EXPECT_NE(console_.err.find("用法"), std::string::npos);
}

}  // namespace
}  // namespace cli
