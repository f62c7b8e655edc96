#include "cli/batch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/output_pair.h"
#include "testing/temp_folder.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using platform::CString;

class CaptureConsole : public Console {
 public:
  void Out(std::string_view text) override { out += text; }
  void Err(std::string_view text) override { err += text; }
  bool ErrIsTerminal() const override { return terminal; }
  std::string out;
  std::string err;
  bool terminal = false;
};

// "path", built without the string concatenations that GCC 12 wrongly warns of.
std::string InQuotes(std::string text) {
  text.insert(text.begin(), '"');
  text.push_back('"');
  return text;
}

struct ParseRow {
  std::vector<const char*> arguments;  // after the program name
  CommandLine::Action action;
  bool keep_going;
  bool quiet;
  std::vector<std::string> files;
  bool first_line = false;
  mif::Charset charset = mif::Charset::kWindowsSimpChinese;
  std::string output_folder = "";
};

TEST(ParseCommandLineTest, Table) {
  using Action = CommandLine::Action;
  using mif::Charset;
  const ParseRow rows[] = {
      {{"a.kml"}, Action::kConvert, false, false, {"a.kml"}},
      {{"--keep-going", "a.kml", "b.kml"}, Action::kConvert, true, false, {"a.kml", "b.kml"}},
      {{"a.kml", "--quiet"}, Action::kConvert, false, true, {"a.kml"}},
      {{"-k", "a.kml", "-q"}, Action::kConvert, true, true, {"a.kml"}},
      {{"--", "--quiet", "-"}, Action::kConvert, false, false, {"--quiet", "-"}},
      {{"-"}, Action::kConvert, false, false, {"-"}},
      {{"--help", "--bogus"}, Action::kHelp, false, false, {}},
      {{"-h"}, Action::kHelp, false, false, {}},
      {{"a.kml", "--version"}, Action::kVersion, false, false, {"a.kml"}},
      {{"-V"}, Action::kVersion, false, false, {}},
      {{"--first-line", "a.kml"}, Action::kConvert, false, false, {"a.kml"}, true},
      {{"--charset", "utf-8", "a.kml"},
       Action::kConvert,
       false,
       false,
       {"a.kml"},
       false,
       Charset::kUtf8},
      {{"a.kml", "--charset=Neutral"},
       Action::kConvert,
       false,
       false,
       {"a.kml"},
       false,
       Charset::kNeutral},
      {{"-o", "out", "a.kml"},
       Action::kConvert,
       false,
       false,
       {"a.kml"},
       false,
       Charset::kWindowsSimpChinese,
       "out"},
      {{"a.kml", "--output-dir", "o"},
       Action::kConvert,
       false,
       false,
       {"a.kml"},
       false,
       Charset::kWindowsSimpChinese,
       "o"},
      {{"--output-dir=d/e", "a.kml"},
       Action::kConvert,
       false,
       false,
       {"a.kml"},
       false,
       Charset::kWindowsSimpChinese,
       "d/e"},
      {{"--", "-o", "a.kml"}, Action::kConvert, false, false, {"-o", "a.kml"}},
      {{}, Action::kUsageError, false, false, {}},
      {{"--quiet"}, Action::kUsageError, false, true, {}},
      {{"--bogus", "a.kml"}, Action::kUsageError, false, false, {}},
      {{"-x", "a.kml"}, Action::kUsageError, false, false, {}},
      {{"--charset", "Latin9", "a.kml"}, Action::kUsageError, false, false, {}},
      {{"--charset=", "a.kml"}, Action::kUsageError, false, false, {}},
      {{"a.kml", "--charset"}, Action::kUsageError, false, false, {"a.kml"}},
      {{"--first-line", "--charset", "UTF-8", "a.kml"},
       Action::kUsageError,
       false,
       false,
       {"a.kml"},
       true,
       Charset::kUtf8},
      {{"a.kml", "-o"}, Action::kUsageError, false, false, {"a.kml"}},
      {{"--output-dir=", "a.kml"}, Action::kUsageError, false, false, {}},
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
    EXPECT_EQ(parsed.options.first_line, row.first_line);
    EXPECT_EQ(parsed.options.charset, row.charset);
    EXPECT_EQ(parsed.options.output_folder.str(), row.output_folder);
    std::vector<std::string> files;
    for (const CString& file : parsed.options.files) files.push_back(file.str());
    EXPECT_EQ(files, row.files);
  }
}

// The full conversion as the batch sees it: a summary to report, or an error.
struct FakeFull {
  static inline std::vector<std::string> converted;
  static inline convert::FullOptions last_options;
  static inline convert::FullSummary summary;
  static convert::FullSummary Convert(const CString& path, const convert::FullOptions& options) {
    converted.push_back(path.str());
    last_options = options;
    if (options.progress != nullptr) {
      options.progress(0, uint64_t{100} << 20, options.progress_context);
      options.progress(uint64_t{50} << 20, uint64_t{100} << 20, options.progress_context);
    }
    convert::FullSummary result = summary;
    result.mif_path = convert::MakeOutputPath(path, options.output_folder, "mif");
    result.mid_path = convert::MakeOutputPath(path, options.output_folder, "mid");
    return result;
  }
};

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeFull::converted.clear();
    FakeFull::summary = convert::FullSummary();
    FakeFull::summary.kml_root = true;
    FakeFull::summary.placemarks = 1;
    FakeFull::summary.written.points = 1;
  }
  std::string PathOf(const std::string& name) const { return temp_.PathOf(name); }
  bool Exists(const std::string& name) const { return temp_.Exists(name); }
  // Every name in the scratch folder, to check that nothing was created.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
      names.push_back(fs::relative(entry.path(), folder_).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void WriteKml(const std::string& name, const std::string& tuples) const {
    temp_.Write(name, "<LineString>\n<coordinates>\n" + tuples + "\n</coordinates>\n");
  }

  // Arguments ending in .kml, .kmz or "/" name files of the scratch folder.
  int Run(std::vector<std::string> arguments, Language language = Language::kChinese) {
    std::vector<const char*> argv = {"kml2mif"};
    for (std::string& argument : arguments) {
      if (argument.starts_with("@")) argument = PathOf(argument.substr(1));
      argv.push_back(argument.c_str());
    }
    const Engine engine{RealEngine().first_line, &FakeFull::Convert};
    return RunCommandLine(static_cast<int>(argv.size()), argv.data(), console_, language, engine);
  }

  test_support::TempFolder temp_{"batch"};
  const fs::path folder_ = temp_.path();
  CaptureConsole console_;
};

TEST_F(BatchTest, FirstLineGivesOneLinePerFileNamingInputOutputsAndPoints) {
  WriteKml("a.kml", "1,2,0 3,4,0 ");
  WriteKml("b.kml", "1,2,0 ");
  EXPECT_EQ(Run({"--first-line", "@a.kml", "@b.kml"}), kExitSuccess);
  EXPECT_EQ(console_.out, "已转换“" + PathOf("a.kml") + "”：“" + PathOf("a.mif") + "”和“" +
                              PathOf("a.mid") + "”，2 个点。\n" + "已转换“" + PathOf("b.kml") +
                              "”：“" + PathOf("b.mif") + "”和“" + PathOf("b.mid") +
                              "”，1 个点。\n");
  EXPECT_EQ(console_.err, "");
  EXPECT_TRUE(Exists("a.mif") && Exists("a.mid") && Exists("b.mif") && Exists("b.mid"));
  EXPECT_TRUE(FakeFull::converted.empty());
}

TEST_F(BatchTest, FullConversionIsTheDefaultWithItsCharsetAndSummary) {
  WriteKml("a.kml", "1,2,0 ");
  EXPECT_EQ(Run({"--charset", "UTF-8", "@a.kml"}, Language::kEnglish), kExitSuccess);
  EXPECT_EQ(FakeFull::converted, std::vector<std::string>{PathOf("a.kml")});
  EXPECT_EQ(FakeFull::last_options.charset, mif::Charset::kUtf8);
  EXPECT_EQ(FakeFull::last_options.progress, nullptr);
  EXPECT_EQ(console_.out, "Converted \"" + PathOf("a.kml") + "\": \"" + PathOf("a.mif") +
                              "\" and \"" + PathOf("a.mid") + "\", 1 point.\n");
  EXPECT_EQ(console_.err, "");
}

TEST_F(BatchTest, FullConversionWarnsOfAnEmptyTable) {
  WriteKml("a.kml", "");
  FakeFull::summary.kml_root = false;
  EXPECT_EQ(Run({"-q", "@a.kml"}, Language::kEnglish), kExitSuccess);
  EXPECT_EQ(console_.out, "");
  EXPECT_EQ(console_.err, "kml2mif: warning: \"" + PathOf("a.kml") +
                              "\" is not a KML document; the table written is empty.\n");
}

TEST_F(BatchTest, ProgressOnATerminalIsRewrittenInPlaceAndCleared) {
  WriteKml("a.kml", "1,2,0 ");
  console_.terminal = true;
  EXPECT_EQ(Run({"@a.kml"}, Language::kEnglish), kExitSuccess);
  EXPECT_NE(console_.err.find("\rkml2mif: \"" + PathOf("a.kml") + "\" 0% "), std::string::npos);
  EXPECT_NE(console_.err.find(" 50% "), std::string::npos) << console_.err;
  EXPECT_TRUE(console_.err.ends_with(" \r")) << console_.err;
  EXPECT_EQ(console_.err.find('\n'), std::string::npos);

  console_ = CaptureConsole();
  console_.terminal = true;
  EXPECT_EQ(Run({"-q", "@a.kml"}), kExitSuccess);
  EXPECT_EQ(console_.err, "");
}

TEST_F(BatchTest, QuietPrintsNothingButStillConverts) {
  WriteKml("a.kml", "1,2,0 ");
  EXPECT_EQ(Run({"--quiet", "--first-line", "@a.kml"}), kExitSuccess);
  EXPECT_EQ(console_.out, "");
  EXPECT_EQ(console_.err, "");
  EXPECT_TRUE(Exists("a.mif"));
}

struct FirstLineWarningRow {
  std::string content;
  std::string warning;  // a part of the English warning
};

TEST_F(BatchTest, FirstLineResultsThatNoReaderTakesStillConvertWithAWarning) {
  const FirstLineWarningRow rows[] = {
      {"<kml/>\n", "has no coordinate list"},
      {"<coordinates>\n1,2 3,4\n</coordinates>\n", "no point was found"},
      {"<coordinates>\n1,2,5 3,4,0 \n</coordinates>\n", "not pairs of numbers"},
      {"<coordinates>\n1,2,0 x,4,0 \n</coordinates>\n", "not pairs of numbers"},
  };
  for (const FirstLineWarningRow& row : rows) {
    SCOPED_TRACE(row.content);
    temp_.Write("w.kml", row.content);
    console_ = CaptureConsole();
    EXPECT_EQ(Run({"-q", "--first-line", "@w.kml"}, Language::kEnglish), kExitSuccess);
    EXPECT_EQ(console_.err.rfind("kml2mif: warning: \"" + PathOf("w.kml") + "\"", 0), 0u)
        << console_.err;
    EXPECT_NE(console_.err.find(row.warning), std::string::npos) << console_.err;
    EXPECT_TRUE(Exists("w.mif") && Exists("w.mid"));
  }
}

TEST_F(BatchTest, FileErrorStopsTheBatchAndNamesTheFile) {
  WriteKml("a.kml", "1,2,0 ");
  WriteKml("c.kml", "1,2,0 ");
  EXPECT_EQ(Run({"--first-line", "@a.kml", "@missing.kml", "@c.kml"}), kExitFileError);
  EXPECT_TRUE(Exists("a.mif"));
  EXPECT_FALSE(Exists("missing.mif") || Exists("missing.mid"));
  EXPECT_FALSE(Exists("c.mif") || Exists("c.mid"));
  EXPECT_EQ(console_.err.rfind("kml2mif: ", 0), 0u);
  EXPECT_NE(console_.err.find(PathOf("missing.kml")), std::string::npos) << console_.err;
  EXPECT_EQ(console_.out.find(PathOf("c.kml")), std::string::npos);
}

TEST_F(BatchTest, FileErrorsInEnglishNameTheFile) {
  EXPECT_EQ(Run({"--first-line", "@missing.kml"}, Language::kEnglish), kExitFileError);
  EXPECT_EQ(console_.err, "kml2mif: cannot open file \"" + PathOf("missing.kml") +
                              "\": the file does not exist.\n");
}

TEST_F(BatchTest, KeepGoingConvertsTheRestAndStillFails) {
  WriteKml("c.kml", "1,2,0 ");
  fs::create_directory(folder_ / "folder.kml");
  EXPECT_EQ(Run({"--keep-going", "--first-line", "@missing.kml", "@folder.kml", "@c.kml"}),
            kExitFileError);
  EXPECT_TRUE(Exists("c.mif") && Exists("c.mid"));
  EXPECT_NE(console_.err.find(PathOf("missing.kml")), std::string::npos);
  EXPECT_NE(console_.err.find(PathOf("folder.kml")), std::string::npos);
  EXPECT_NE(console_.out.find(PathOf("c.kml")), std::string::npos);
}

#if !defined(_WIN32)
struct IrregularRow {
  std::string argument;  // '@' for a name in the scratch folder
  std::string expected;  // the English reason
};

TEST_F(BatchTest, OnlyRegularFilesAreConvertedAndNothingIsCreated) {
  fs::create_directory(folder_ / "maps.kml");
  ASSERT_EQ(::mkfifo(PathOf("pipe.kml").c_str(), 0600), 0);
  const std::vector<std::string> before = Names();
  const IrregularRow rows[] = {
      {"@maps.kml", "it is a folder"},
      {"@maps.kml/", "it is a folder"},
      {"@.", "it is a folder"},
      {"@..", "it is a folder"},
      {"@pipe.kml", "it is a pipe"},
      {"/dev/null", "it is a device"},
      {"/dev/stdin", ""},  // a terminal, a pipe or a file: never converted in /dev
  };
  for (const IrregularRow& row : rows) {
    for (bool first_line : {false, true}) {
      SCOPED_TRACE(row.argument);
      console_ = CaptureConsole();
      std::vector<std::string> arguments = {row.argument};
      if (first_line) arguments.push_back("--first-line");
      const int status = Run(arguments, Language::kEnglish);
      const std::string shown =
          row.argument.starts_with("@") ? PathOf(row.argument.substr(1)) : row.argument;
      if (row.expected.empty()) {
        EXPECT_FALSE(fs::exists("/dev/stdmif") || fs::exists("/dev/stdmid"));
        continue;
      }
      EXPECT_EQ(status, kExitFileError);
      EXPECT_NE(console_.err.find(InQuotes(shown) + ": " + row.expected), std::string::npos)
          << console_.err;
      EXPECT_EQ(Names(), before);
      EXPECT_TRUE(FakeFull::converted.empty());
    }
  }
}
#endif

TEST_F(BatchTest, InputsThatShareTheirOutputsAreAUsageErrorNamingBoth) {
  WriteKml("a.kml", "1,2,0 ");
  WriteKml("a.kmz", "1,2,0 ");
  WriteKml("b.kml", "1,2,0 ");
  const std::vector<std::string> before = Names();
  EXPECT_EQ(Run({"@b.kml", "@a.kml", "@a.kmz"}, Language::kEnglish), kExitUsage);
  EXPECT_NE(console_.err.find(InQuotes(PathOf("a.kml")) + " and " + InQuotes(PathOf("a.kmz"))),
            std::string::npos)
      << console_.err;
  EXPECT_EQ(Names(), before);
  EXPECT_TRUE(FakeFull::converted.empty());
}

TEST_F(BatchTest, TheSameFileNamedTwiceIsConvertedOnce) {
  WriteKml("a.kml", "1,2,0 ");
  fs::create_directory(folder_ / "sub");
  const std::string other_spelling = PathOf("sub/../a.kml");
  EXPECT_EQ(Run({"@a.kml", other_spelling, "@a.kml"}), kExitSuccess);
  EXPECT_EQ(FakeFull::converted, std::vector<std::string>{PathOf("a.kml")});
}

TEST_F(BatchTest, OutputFolderTakesTheOutputs) {
  WriteKml("a.kml", "1,2,0 ");
  fs::create_directory(folder_ / "out");
  EXPECT_EQ(Run({"--first-line", "-q", "-o", "@out", "@a.kml"}), kExitSuccess);
  EXPECT_TRUE(Exists("out/a.mif") && Exists("out/a.mid"));
  EXPECT_FALSE(Exists("a.mif") || Exists("a.mid"));
  EXPECT_EQ(Run({"--output-dir=" + PathOf("out"), "@a.kml"}), kExitSuccess);
  EXPECT_EQ(FakeFull::last_options.output_folder.str(), PathOf("out"));
}

TEST_F(BatchTest, OutputFolderThatIsMissingOrAFileIsAnErrorNamingIt) {
  WriteKml("a.kml", "1,2,0 ");
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"missing", "a folder of the path does not exist"},
      {"a.kml", "it is not a folder"},
  };
  for (const auto& [folder, reason] : rows) {
    console_ = CaptureConsole();
    EXPECT_EQ(Run({"-o", "@" + folder, "--first-line", "@a.kml"}, Language::kEnglish),
              kExitFileError);
    EXPECT_NE(console_.err.find(InQuotes(PathOf(folder)) + ": " + reason), std::string::npos)
        << console_.err;
    EXPECT_FALSE(Exists("a.mif"));
  }
}

TEST_F(BatchTest, HelpVersionAndBadUsage) {
  EXPECT_EQ(Run({"--help"}), kExitSuccess);
  EXPECT_NE(console_.out.find("退出状态"), std::string::npos);
  EXPECT_NE(console_.out.find("--first-line"), std::string::npos);

  console_ = CaptureConsole();
  EXPECT_EQ(Run({"-h"}, Language::kEnglish), kExitSuccess);
  EXPECT_NE(console_.out.find("Exit status"), std::string::npos);

  console_ = CaptureConsole();
  EXPECT_EQ(Run({"--version"}), kExitSuccess);
  EXPECT_EQ(console_.out, "kml2mif 1.0.0.1\n");

  console_ = CaptureConsole();
  EXPECT_EQ(Run({"--frobnicate", "@a.kml"}), kExitUsage);
  EXPECT_NE(console_.err.find("kml2mif: 未知的选项“--frobnicate”"), std::string::npos);
  EXPECT_FALSE(Exists("a.mif"));

  console_ = CaptureConsole();
  EXPECT_EQ(Run({}, Language::kEnglish), kExitUsage);
  EXPECT_NE(console_.err.find("usage: kml2mif"), std::string::npos);
}

// --coordsys, --towgs84 and --from reach the full conversion; bad values and combinations are
// usage errors in both languages, and then nothing is converted or written.
TEST_F(BatchTest, CoordinateSystemOptions) {
  struct Row {
    std::vector<std::string> arguments;  // before the file
    int epsg;                            // accepted: the code (0: automatic zone); else -1
    crs::Source source;
    const char* english = "";  // refused: in the message
    const char* chinese = "";
  };
  using crs::Source;
  const Row rows[] = {
      {{"--coordsys", "EPSG:4527"}, 4527, Source::kWgs84},
      {{"--coordsys=cgcs2000-gk6", "--from", "BD09"}, 0, Source::kBd09},
      {{"--from=gcj02"}, 4326, Source::kGcj02},
      {{"--towgs84", "-1.5,2,3,0.1,0.2,0.3,1", "--coordsys", "2401"}, 2401, Source::kWgs84},
      {{"--coordsys", "3857"},
       -1,
       Source::kWgs84,
       "--coordsys takes wgs84, cgcs2000, cgcs2000-gk3, cgcs2000-gk6 or an EPSG code of CGCS2000, "
       "Beijing 1954 or Xian 1980 (see --help), not \"3857\".",
       "不接受“3857”。"},
      {{"--coordsys", "2401"},
       -1,
       Source::kWgs84,
       "\"Beijing 1954 / 3-degree Gauss-Kruger zone 25\" needs --towgs84",
       "“Beijing 1954 / 3-degree Gauss-Kruger zone 25”需要 --towgs84"},
      {{"--coordsys", "2401", "--towgs84", "1,2"},
       -1,
       Source::kWgs84,
       "or the first 3, not \"1,2\".",
       "或前 3 个数，不接受“1,2”。"},
      {{"--towgs84=1,2,3"},
       -1,
       Source::kWgs84,
       "--towgs84 applies only to the systems of Beijing 1954 and Xian 1980, not to \"WGS 84\".",
       "不适用于“WGS 84”。"},
      {{"--from", "wgs84"},
       -1,
       Source::kWgs84,
       "--from takes gcj02 or bd09, not \"wgs84\".",
       "--from 只接受 gcj02 或 bd09，不接受“wgs84”。"},
      {{"--first-line", "--coordsys", "wgs84"},
       -1,
       Source::kWgs84,
       "--coordsys, --towgs84 and --from do not apply to --first-line",
       "不能与 --first-line"},
      {{"--from", "gcj02", "--first-line"},
       -1,
       Source::kWgs84,
       "do not apply to --first-line",
       "不能与 --first-line"},
  };
  WriteKml("a.kml", "1,2 3,4");
  const std::vector<std::string> names = Names();
  for (const Row& row : rows) {
    for (const Language language : {Language::kEnglish, Language::kChinese}) {
      SCOPED_TRACE(::testing::PrintToString(row.arguments));
      FakeFull::converted.clear();
      FakeFull::last_options = convert::FullOptions();
      console_ = CaptureConsole();
      std::vector<std::string> arguments = row.arguments;
      arguments.push_back("@a.kml");
      const int status = Run(arguments, language);
      if (row.epsg >= 0) {
        EXPECT_EQ(status, kExitSuccess);
        EXPECT_EQ(FakeFull::last_options.system.code.epsg, row.epsg);
        EXPECT_EQ(FakeFull::last_options.source, row.source);
        continue;
      }
      EXPECT_EQ(status, kExitUsage);
      EXPECT_NE(console_.err.find(language == Language::kEnglish ? row.english : row.chinese),
                std::string::npos)
          << console_.err;
      EXPECT_TRUE(FakeFull::converted.empty());
      EXPECT_EQ(Names(), names);
    }
  }
  // A value missing at the end of the line.
  for (const char* option : {"--coordsys", "--towgs84", "--from"}) {
    console_ = CaptureConsole();
    EXPECT_EQ(Run({"@a.kml", option}, Language::kEnglish), kExitUsage);
    EXPECT_NE(console_.err.find(std::string(option) + " needs"), std::string::npos);
  }
}

}  // namespace
}  // namespace cli
