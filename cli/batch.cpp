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
    "usage: kml2mif [-k] [-q] [--charset NAME] [--coordsys CODE [--towgs84 LIST]] [--from MAP]\n"
    "               [-o DIR] FILE...\n"
    "       kml2mif [-k] [-q] --first-line [-o DIR] FILE...\n"
    "Run \"kml2mif --help\" for more.\n";
constexpr std::string_view kUsageChinese =
    "用法：kml2mif [-k] [-q] [--charset 字符集] [--coordsys 坐标系 [--towgs84 参数]] [--from "
    "地图]\n"
    "              [-o 文件夹] 文件...\n"
    "      kml2mif [-k] [-q] --first-line [-o 文件夹] 文件...\n"
    "运行“kml2mif --help”查看说明。\n";

constexpr std::string_view kHelpEnglish =
    "usage: kml2mif [-k] [-q] [--charset NAME] [--coordsys CODE [--towgs84 LIST]] [--from MAP]\n"
    "               [-o DIR] FILE...\n"
    "       kml2mif [-k] [-q] --first-line [-o DIR] FILE...\n"
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
    "      --coordsys CODE   coordinate system of the outputs of the full conversion (below)\n"
    "      --towgs84 LIST    dx,dy,dz,rx,ry,rz,ppm: your seven parameters from Beijing 1954 or\n"
    "                        Xian 1980 to WGS 84 (position vector convention, as PROJ and GDAL\n"
    "                        take them: metres, arc-seconds, parts per million); required with\n"
    "                        those systems, which have no official public parameters\n"
    "      --from MAP        the KML was traced on a Chinese web map: gcj02 (Amap, Tencent,\n"
    "                        Google's map of China) or bd09 (Baidu); its points are first moved\n"
    "                        back to WGS 84 (within a few decimetres)\n"
    "  -o, --output-dir DIR  write the outputs into the existing folder DIR\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "  --                    every later argument is a file\n"
    "\n"
    "Coordinate systems (--coordsys CODE; \"EPSG:\" may be left out, case is ignored):\n"
    "  wgs84, EPSG:4326      longitude/latitude as in the KML (the default)\n"
    "  cgcs2000, EPSG:4490   longitude/latitude on CGCS2000, taken as WGS 84 (the two agree to a\n"
    "                        few centimetres; there is no official public transformation)\n"
    "  EPSG:4513-4533        CGCS2000 3-degree Gauss-Kruger zones 25-45, the zone's number in\n"
    "                        front of the false easting; EPSG:4534-4554 the same without it\n"
    "  EPSG:4491-4501        CGCS2000 6-degree zones 13-23; EPSG:4502-4512 without the number\n"
    "  cgcs2000-gk3          the CGCS2000 3-degree (gk6: 6-degree) zone of the middle of the\n"
    "  cgcs2000-gk6          file's longitudes, with the zone's number\n"
    "  EPSG:4214, 2401-2442, 21413-21423, 21453-21463\n"
    "                        Beijing 1954: longitude/latitude, 3-degree zones, 6-degree zones\n"
    "  EPSG:4610, 2327-2390  Xian 1980: longitude/latitude, 6-degree and 3-degree zones\n"
    "Zones are written in metres with three decimals, longitude/latitude in degrees with nine.\n"
    "Choose the zone that holds most of the data: points more than half a zone outside it are\n"
    "counted in a warning; points more than 60 degrees from its central meridian, or with a\n"
    "latitude beyond 90 degrees, cannot be projected and are skipped with a warning.\n"
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
    "用法：kml2mif [-k] [-q] [--charset 字符集] [--coordsys 坐标系 [--towgs84 参数]] [--from "
    "地图]\n"
    "              [-o 文件夹] 文件...\n"
    "      kml2mif [-k] [-q] --first-line [-o 文件夹] 文件...\n"
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
    "      --coordsys 坐标系    完整转换输出的坐标系（见下）\n"
    "      --towgs84 参数       dx,dy,dz,rx,ry,rz,ppm：您自己的从北京 1954 或西安 1980 到\n"
    "                           WGS 84 的七参数（位置矢量约定，与 PROJ 和 GDAL 相同：米、\n"
    "                           角秒、百万分率）；这两个基准没有官方公开的参数，使用它们\n"
    "                           的坐标系时必须给出\n"
    "      --from 地图          KML 是在国内网络地图上描绘的：gcj02（高德、腾讯、谷歌中国\n"
    "                           地图）或 bd09（百度）；先把其中的点移回 WGS 84（误差在几分米\n"
    "                           以内）\n"
    "  -o, --output-dir 文件夹  输出文件写到已有的文件夹中\n"
    "  -h, --help               显示本说明并退出\n"
    "  -V, --version            显示版本号并退出\n"
    "  --                       其后的参数都是文件名\n"
    "\n"
    "坐标系（--coordsys 坐标系；可以省略“EPSG:”，不区分大小写）：\n"
    "  wgs84、EPSG:4326      与 KML 相同的经纬度（默认）\n"
    "  cgcs2000、EPSG:4490   CGCS2000 经纬度，按与 WGS 84 相同处理（两者相差几厘米；没有官方\n"
    "                        公开的转换）\n"
    "  EPSG:4513-4533        CGCS2000 3 度带高斯-克吕格投影第 25-45 带，东偏移前加带号；\n"
    "                        EPSG:4534-4554 为不加带号的同一投影\n"
    "  EPSG:4491-4501        CGCS2000 6 度带第 13-23 带；EPSG:4502-4512 不加带号\n"
    "  cgcs2000-gk3          文件经度范围中点所在的 CGCS2000 3 度带（gk6：6 度带），\n"
    "  cgcs2000-gk6          东偏移前加带号\n"
    "  EPSG:4214、2401-2442、21413-21423、21453-21463\n"
    "                        北京 1954：经纬度、3 度带、6 度带\n"
    "  EPSG:4610、2327-2390  西安 1980：经纬度、6 度带和 3 度带\n"
    "投影带坐标以米为单位写出，保留三位小数；经纬度以度为单位，保留九位小数。\n"
    "请选择包含大部分数据的投影带：超出投影带半个带宽以上的点会在警告中计数；距中央子午线\n"
    "超过 60 度或纬度超出 90 度的点无法投影，将被跳过并给出警告。\n"
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
  full_options.system = options.system;
  full_options.source = options.source;
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

std::string CoordSysError(const crs::ParseError& error, Language language) {
  using Kind = crs::ParseError::Kind;
  switch (error.kind) {
    case Kind::kUnknownCode:
      return UsageError(language,
                        "--coordsys takes wgs84, cgcs2000, cgcs2000-gk3, cgcs2000-gk6 or an EPSG "
                        "code of CGCS2000, Beijing 1954 or Xian 1980 (see --help), not \"",
                        "--coordsys 只接受 wgs84、cgcs2000、cgcs2000-gk3、cgcs2000-gk6 或 "
                        "CGCS2000、北京 1954、西安 1980 的 EPSG 代码（见 --help），不接受“",
                        error.text);
    case Kind::kMalformedTowgs84:
      return UsageError(language,
                        "--towgs84 takes 7 numbers separated by commas, dx,dy,dz,rx,ry,rz,ppm "
                        "(metres, arc-seconds, parts per million), or the first 3, not \"",
                        "--towgs84 只接受以逗号分隔的 7 个数 dx,dy,dz,rx,ry,rz,ppm（米、角秒、"
                        "百万分率）或前 3 个数，不接受“",
                        error.text);
    case Kind::kTowgs84Missing:
      return Join({Pick(language, "\"", "“"), error.text,
                   Pick(language,
                        "\" needs --towgs84 dx,dy,dz,rx,ry,rz,ppm: this datum has no official "
                        "public parameters to WGS 84, so kml2mif takes yours (position vector "
                        "convention, as PROJ and GDAL take them).",
                        "”需要 --towgs84 dx,dy,dz,rx,ry,rz,ppm：该基准没有官方公开的到 WGS 84 "
                        "的转换参数，请给出您自己的参数（位置矢量约定，与 PROJ 和 GDAL 相同）。")});
    case Kind::kTowgs84NotApplicable:
      return UsageError(language,
                        "--towgs84 applies only to the systems of Beijing 1954 and Xian 1980, not "
                        "to \"",
                        "--towgs84 只适用于北京 1954 和西安 1980 的坐标系，不适用于“", error.text);
  }
  return {};
}

// "gcj02" or "bd09", case ignored.
bool ParseSource(std::string_view name, crs::Source* source) {
  std::string lower(name);
  for (char& ch : lower) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  if (lower == "gcj02") {
    *source = crs::Source::kGcj02;
  } else if (lower == "bd09") {
    *source = crs::Source::kBd09;
  } else {
    return false;
  }
  return true;
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
  std::optional<std::string_view> coordsys;
  std::optional<std::string_view> towgs84;
  bool from_given = false;
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
    } else if (argument == "--coordsys" || argument.starts_with("--coordsys=")) {
      coordsys = value_of("--coordsys", "");
      if (!coordsys) {
        return usage_error(UsageError(language, "--coordsys needs a coordinate system.",
                                      "--coordsys 后面需要坐标系。"));
      }
    } else if (argument == "--towgs84" || argument.starts_with("--towgs84=")) {
      towgs84 = value_of("--towgs84", "");
      if (!towgs84) {
        return usage_error(UsageError(language, "--towgs84 needs dx,dy,dz,rx,ry,rz,ppm.",
                                      "--towgs84 后面需要 dx,dy,dz,rx,ry,rz,ppm。"));
      }
    } else if (argument == "--from" || argument.starts_with("--from=")) {
      const std::optional<std::string_view> map = value_of("--from", "");
      if (!map) {
        return usage_error(
            UsageError(language, "--from needs gcj02 or bd09.", "--from 后面需要 gcj02 或 bd09。"));
      }
      if (!ParseSource(*map, &options.source)) {
        return usage_error(UsageError(language, "--from takes gcj02 or bd09, not \"",
                                      "--from 只接受 gcj02 或 bd09，不接受“", *map));
      }
      from_given = true;
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
  if (options.first_line && (coordsys || towgs84 || from_given)) {
    return usage_error(UsageError(language,
                                  "--coordsys, --towgs84 and --from do not apply to --first-line, "
                                  "whose outputs are always those of the desktop program.",
                                  "--coordsys、--towgs84 和 --from 不能与 --first-line 一起使用："
                                  "后者的输出总是与桌面程序的相同。"));
  }
  if (coordsys || towgs84) {
    crs::ParseError error{};
    if (!crs::ParseSystem(coordsys.value_or("wgs84"), towgs84, &options.system, &error)) {
      return usage_error(CoordSysError(error, language));
    }
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
