#include "cli/batch.h"

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <optional>
#include <string_view>

#include "convert/first_line.h"
#include "convert/output_pair.h"
#include "platform/file_exception.h"
#include "platform/path.h"
#include "platform/stdio_file.h"

namespace cli {

using platform::CFileException;
using platform::CString;

namespace {

constexpr char kProgram[] = "kml2mif: ";

// Files above this size show a progress line while they convert.
constexpr uint64_t kProgressThreshold = uint64_t{64} << 20;

constexpr std::string_view kUsageEnglish =
    "usage: kml2mif [-k] [-q] [--first-line | --charset NAME] [-o DIR] FILE...\n"
    "Run \"kml2mif --help\" for more.\n";
constexpr std::string_view kUsageChinese =
    "用法：kml2mif [-k] [-q] [--first-line | --charset 字符集] [-o 文件夹] 文件...\n"
    "运行“kml2mif --help”查看说明。\n";

constexpr std::string_view kHelpEnglish =
    "usage: kml2mif [-k] [-q] [--first-line | --charset NAME] [-o DIR] FILE...\n"
    "\n"
    "Converts each KML or KMZ file into a MapInfo Interchange pair: FILE less its last three\n"
    "characters followed by mif and mid (route.kml gives route.mif and route.mid), beside the\n"
    "file or in DIR. Existing outputs are replaced whole; when a conversion fails they keep\n"
    "their content.\n"
    "\n"
    "Two conversions:\n"
    "  full (the default)  every placemark: points, lines, regions and collections, with names,\n"
    "                      folders, ExtendedData fields and styles, in the chosen character set.\n"
    "                      Use it for everything.\n"
    "  --first-line        only the first coordinate list of the file, as one polyline: exactly\n"
    "                      the output of the desktop program KmlConverter.exe. Use it when that\n"
    "                      output is wanted byte for byte.\n"
    "\n"
    "Options:\n"
    "  -k, --keep-going      after a file error, convert the remaining files\n"
    "  -q, --quiet           print nothing but warnings and errors\n"
    "      --first-line      the desktop program's conversion (see above)\n"
    "      --charset NAME    character set of the outputs of the full conversion:\n"
    "                        WindowsSimpChinese (the default), UTF-8, WindowsLatin1, Neutral\n"
    "  -o, --output-dir DIR  write the outputs into the existing folder DIR\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "  --                    every later argument is a file\n"
    "\n"
    "Messages are in Chinese under a Chinese locale, in English otherwise.\n"
    "\n"
    "Exit status:\n"
    "  0  every file was converted (a file without placemarks or coordinates gives an empty\n"
    "     table and a warning)\n"
    "  1  a file could not be converted (the message names it; without --keep-going the batch\n"
    "     stops there), or the report could not be written\n"
    "  2  bad usage: an unknown option, a bad value, no file, or two files with the same outputs\n";

constexpr std::string_view kHelpChinese =
    "用法：kml2mif [-k] [-q] [--first-line | --charset 字符集] [-o 文件夹] 文件...\n"
    "\n"
    "把每个 KML 或 KMZ 文件转换为 MapInfo 交换格式文件：文件名去掉最后三个字符后加上 mif 和\n"
    "mid（route.kml 得到 route.mif 和 route.mid），写在原文件旁边或 -o 指定的文件夹中。\n"
    "已有的同名文件将被整个替换；转换失败时，已有的输出文件保持不变。\n"
    "\n"
    "两种转换：\n"
    "  完整转换（默认）  所有地标：点、线、区域和集合，连同名称、文件夹、ExtendedData 字段和\n"
    "                    样式，使用所选的字符集。一般都用这种转换。\n"
    "  --first-line      只取文件中的第一个坐标列表，作为一条折线：与桌面程序 KmlConverter.exe\n"
    "                    的输出完全相同。需要逐字节相同的输出时使用。\n"
    "\n"
    "选项：\n"
    "  -k, --keep-going         某个文件出错后继续转换其余的文件\n"
    "  -q, --quiet              只显示警告和错误\n"
    "      --first-line         使用桌面程序的转换（见上）\n"
    "      --charset 字符集     完整转换输出的字符集：WindowsSimpChinese（默认）、UTF-8、\n"
    "                           WindowsLatin1、Neutral\n"
    "  -o, --output-dir 文件夹  输出文件写到已有的文件夹中\n"
    "  -h, --help               显示本说明并退出\n"
    "  -V, --version            显示版本号并退出\n"
    "  --                       其后的参数都是文件名\n"
    "\n"
    "在中文区域设置下显示中文信息，否则显示英文信息。\n"
    "\n"
    "退出状态：\n"
    "  0  所有文件都已转换（没有地标或坐标列表的文件写出空表，并给出警告）\n"
    "  1  有文件无法转换（错误信息指出文件名；不带 --keep-going 时转换就此停止），\n"
    "     或者无法写出转换结果信息\n"
    "  2  用法错误：未知的选项、错误的选项值、没有指定文件，或两个文件的输出文件相同\n";

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

class Reporter {
 public:
  Reporter(Console& console, Language language)
      : console_(console), language_(language), convert_literal_(PlatformLiteralConverter()) {}

  Console& console() { return console_; }
  Language language() const { return language_; }

  void Warn(const std::string& warning) { console_.Err(Join({kProgram, warning, "\n"})); }
  void Error(const CFileException& error) {
    console_.Err(Join({kProgram, FileErrorMessage(error, language_, convert_literal_), "\n"}));
  }

 private:
  Console& console_;
  Language language_;
  LiteralConverter convert_literal_;
};

// The progress line of one large file, rewritten in place on a terminal.
class ProgressLine {
 public:
  ProgressLine(Reporter& reporter, const CString& input)
      : reporter_(reporter), input_(input), start_(std::chrono::steady_clock::now()) {}
  ~ProgressLine() { Clear(); }

  static void Report(uint64_t done, uint64_t total, void* context) {
    static_cast<ProgressLine*>(context)->Show(done, total);
  }

  void Show(uint64_t done, uint64_t total) {
    if (total < kProgressThreshold) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == percent_) return;
    percent_ = percent;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f MB/s",
                  seconds > 0 ? static_cast<double>(done) / (1 << 20) / seconds : 0.0);
    std::string line = Join({"\r", kProgram, Quoted(input_, reporter_.language()), " ",
                             std::to_string(percent), "% ", rate});
    // Blanks over what is left of a longer line before.
    const size_t length = line.size();
    if (line.size() < shown_) line.append(shown_ - line.size(), ' ');
    shown_ = length;
    reporter_.console().Err(line);
  }

 private:
  void Clear() {
    if (shown_ == 0) return;
    reporter_.console().Err(Join({"\r", std::string(shown_, ' '), "\r"}));
    shown_ = 0;
  }

  Reporter& reporter_;
  const CString& input_;
  std::chrono::steady_clock::time_point start_;
  int percent_ = -1;
  size_t shown_ = 0;
};

// Only a regular file is read: a device or a pipe would be read once and lost, and its
// outputs would land in a system folder (/dev/stdin gives /dev/stdmif).
void RefuseIrregularFile(const CString& input) {
  switch (platform::GetFileKind(input)) {
    case platform::FileKind::kFolder:
      throw CFileException(CFileException::isDirectory, input);
    case platform::FileKind::kDevice:
      throw CFileException(CFileException::isDevice, input);
    case platform::FileKind::kPipe:
      throw CFileException(CFileException::isPipe, input);
    case platform::FileKind::kSocket:
      throw CFileException(CFileException::isSocket, input);
    case platform::FileKind::kMissing:
    case platform::FileKind::kRegular:
      break;
  }
}

void CheckOutputFolder(const CString& folder) {
  switch (platform::GetFileKind(folder)) {
    case platform::FileKind::kFolder:
      return;
    case platform::FileKind::kMissing:
      throw CFileException(CFileException::badPath, folder);
    default:
      throw CFileException(CFileException::notAFolder, folder);
  }
}

#if defined(_WIN32)
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif

// Where an output lands: its folder (by identity when it exists) and its name.
struct OutputPlace {
  bool folder_known = false;
  platform::FileIdentity folder;
  std::string folder_text;
  std::string name;
  friend bool operator==(const OutputPlace& a, const OutputPlace& b) {
    if (a.name != b.name || a.folder_known != b.folder_known) return false;
    return a.folder_known ? a.folder == b.folder : a.folder_text == b.folder_text;
  }
};

OutputPlace PlaceOf(const CString& output) {
  const platform::PathParts parts = platform::SplitPath(output.view());
  OutputPlace place;
  place.name = std::string(parts.name);
  if (kNamesIgnoreCase) {
    for (char& ch : place.name) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
  }
  // "dir/." names the folder itself, also where "dir/" would be a drive ("C:").
  place.folder_text = parts.folder.empty() ? "." : std::string(parts.folder) + ".";
  place.folder_known = platform::GetFileIdentity(CString(place.folder_text), &place.folder);
  return place;
}

struct PlannedInput {
  CString path;
  std::optional<platform::FileIdentity> identity;
  std::optional<OutputPlace> mif;
};

// The inputs in order, each file once, with where its MIF would land (none when the name
// cannot give outputs: that error comes when the file is converted).
std::vector<PlannedInput> Plan(const Options& options) {
  std::vector<PlannedInput> planned;
  for (const CString& path : options.files) {
    PlannedInput input{path, std::nullopt, std::nullopt};
    platform::FileIdentity identity;
    if (platform::GetFileIdentity(path, &identity)) input.identity = identity;
    bool repeated = false;
    for (const PlannedInput& earlier : planned) {
      repeated = input.identity ? earlier.identity == input.identity : earlier.path == path;
      if (repeated) break;
    }
    if (repeated) continue;
    try {
      input.mif = PlaceOf(convert::MakeOutputPath(path, options.output_folder, "mif"));
    } catch (const CFileException&) {
    }
    planned.push_back(std::move(input));
  }
  return planned;
}

// Two inputs with the same outputs: the second would silently replace the first's.
std::optional<std::string> FindSharedOutputs(const std::vector<PlannedInput>& planned,
                                             Language language) {
  for (size_t i = 0; i < planned.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (!planned[i].mif || !planned[j].mif || !(*planned[i].mif == *planned[j].mif)) continue;
      return Join({Quoted(planned[j].path, language), Pick(language, " and ", "和"),
                   Quoted(planned[i].path, language),
                   Pick(language,
                        " would be converted into the same files; convert them one at a time "
                        "or into another folder with -o.",
                        "会被转换为相同的输出文件；请分开转换，或用 -o 指定另一个文件夹。")});
    }
  }
  return std::nullopt;
}

void ConvertOne(const Options& options, const CString& input, const Engine& engine,
                Reporter& reporter) {
  RefuseIrregularFile(input);
  const Language language = reporter.language();
  if (options.first_line) {
    const convert::FirstLineSummary summary = engine.first_line(input, options.output_folder);
    // Everything about this file is put together before its line is printed: once the line is
    // out, a failure (no memory, say) would be reported against a file already converted.
    const std::vector<std::string> warnings = FirstLineWarnings(summary, input, language);
    if (!options.quiet) reporter.console().Out(FormatFirstLineSummary(summary, input, language));
    for (const std::string& warning : warnings) reporter.Warn(warning);
    return;
  }
  convert::FullOptions full_options;
  full_options.charset = options.charset;
  full_options.output_folder = options.output_folder;
  std::optional<ProgressLine> progress;
  if (!options.quiet && reporter.console().ErrIsTerminal()) {
    progress.emplace(reporter, input);
    full_options.progress = &ProgressLine::Report;
    full_options.progress_context = &*progress;
  }
  const convert::FullSummary summary = engine.full(input, full_options);
  progress.reset();
  const std::vector<std::string> warnings = FullWarnings(summary, input, language);
  if (!options.quiet) reporter.console().Out(FormatFullSummary(summary, input, language));
  for (const std::string& warning : warnings) reporter.Warn(warning);
}

std::string UsageError(Language language, std::string_view english, std::string_view chinese,
                       std::string_view argument = {}) {
  return Join({Pick(language, english, chinese), argument,
               argument.empty() ? "" : Pick(language, "\".", "”。")});
}

}  // namespace

Engine RealEngine() {
  return Engine{
      static_cast<convert::FirstLineSummary (*)(const CString&, const CString&)>(
          &convert::ConvertFile),
      &convert::ConvertFull,
  };
}

CommandLine ParseCommandLine(int argc, const char* const* argv, Language language) {
  CommandLine command_line;
  Options& options = command_line.options;
  const auto usage_error = [&](std::string error) {
    command_line.action = CommandLine::Action::kUsageError;
    command_line.error = std::move(error);
    return command_line;
  };
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (only_files || argument.size() < 2 || argument[0] != '-') {
      options.files.emplace_back(argument);
      continue;
    }
    // An option that takes a value: "--name=VALUE", or the value as the next argument.
    const auto value_of = [&](std::string_view long_name,
                              std::string_view short_name) -> std::optional<std::string_view> {
      if (argument == long_name || (!short_name.empty() && argument == short_name)) {
        if (i + 1 < argc) return std::string_view(argv[++i]);
        return std::nullopt;
      }
      return argument.substr(long_name.size() + 1);
    };
    if (argument == "--") {
      only_files = true;
    } else if (argument == "--keep-going" || argument == "-k") {
      options.keep_going = true;
    } else if (argument == "--quiet" || argument == "-q") {
      options.quiet = true;
    } else if (argument == "--first-line") {
      options.first_line = true;
    } else if (argument == "--help" || argument == "-h") {
      command_line.action = CommandLine::Action::kHelp;
      return command_line;
    } else if (argument == "--version" || argument == "-V") {
      command_line.action = CommandLine::Action::kVersion;
      return command_line;
    } else if (argument == "--charset" || argument.starts_with("--charset=")) {
      const std::optional<std::string_view> name = value_of("--charset", "");
      if (!name) {
        return usage_error(UsageError(language, "--charset needs a character set name.",
                                      "--charset 后面需要字符集的名称。"));
      }
      if (!mif::ParseCharset(*name, &options.charset)) {
        return usage_error(UsageError(
            language, "--charset takes WindowsSimpChinese, UTF-8, WindowsLatin1 or Neutral, not \"",
            "--charset 只接受 WindowsSimpChinese、UTF-8、WindowsLatin1 或 Neutral，不接受“",
            *name));
      }
      options.charset_given = true;
    } else if (argument == "--output-dir" || argument == "-o" ||
               argument.starts_with("--output-dir=")) {
      const std::optional<std::string_view> folder = value_of("--output-dir", "-o");
      if (!folder || folder->empty()) {
        return usage_error(UsageError(language, "--output-dir needs a folder.",
                                      "--output-dir 后面需要文件夹的名称。"));
      }
      options.output_folder = CString(*folder);
    } else {
      return usage_error(UsageError(language, "unknown option \"", "未知的选项“", argument));
    }
  }
  if (options.first_line && options.charset_given) {
    return usage_error(UsageError(language,
                                  "--charset does not apply to --first-line, whose outputs are "
                                  "always those of the desktop program.",
                                  "--charset 不能与 --first-line 一起使用：后者的输出总是与桌面"
                                  "程序的相同。"));
  }
  if (options.files.empty()) {
    return usage_error(UsageError(language, "no file to convert.", "没有指定要转换的文件。"));
  }
  return command_line;
}

int RunBatch(const Options& options, Console& console, Language language, const Engine& engine) {
  Reporter reporter(console, language);
  if (!options.output_folder.IsEmpty()) {
    try {
      CheckOutputFolder(options.output_folder);
    } catch (const CFileException& error) {
      reporter.Error(error);
      return kExitFileError;
    }
  }
  const std::vector<PlannedInput> planned = Plan(options);
  if (const std::optional<std::string> shared = FindSharedOutputs(planned, language)) {
    console.Err(Join({kProgram, *shared, "\n"}));
    return kExitUsage;
  }
  int exit_code = kExitSuccess;
  for (const PlannedInput& input : planned) {
    try {
      try {
        ConvertOne(options, input.path, engine, reporter);
      } catch (const std::bad_alloc&) {
        throw CFileException(CFileException::outOfMemory, input.path);
      }
    } catch (const CFileException& error) {
      reporter.Error(error);
      exit_code = kExitFileError;
      if (!options.keep_going) break;
    }
  }
  return exit_code;
}

int RunCommandLine(int argc, const char* const* argv, Console& console, Language language,
                   const Engine& engine) {
  return RunCommandLine(ParseCommandLine(argc, argv, language), console, language, engine);
}

int RunCommandLine(const CommandLine& command_line, Console& console, Language language,
                   const Engine& engine) {
  switch (command_line.action) {
    case CommandLine::Action::kHelp:
      console.Out(Pick(language, kHelpEnglish, kHelpChinese));
      return kExitSuccess;
    case CommandLine::Action::kVersion:
      console.Out("kml2mif " KML2MIF_VERSION "\n");
      return kExitSuccess;
    case CommandLine::Action::kUsageError:
      console.Err(
          Join({kProgram, command_line.error, "\n", Pick(language, kUsageEnglish, kUsageChinese)}));
      return kExitUsage;
    case CommandLine::Action::kConvert:
      break;
  }
  return RunBatch(command_line.options, console, language, engine);
}

}  // namespace cli
