#include "cli/batch.h"

#include <initializer_list>
#include <new>
#include <string_view>

#include "convert/convert_file.h"
#include "platform/file_exception.h"

namespace cli {

using platform::CFileException;
using platform::CString;

namespace {

constexpr char kProgram[] = "kml2mif: ";

constexpr char kUsageHint[] =
    "用法：kml2mif [--keep-going] [--quiet] 文件...\n"
    "运行“kml2mif --help”查看说明。\n";

constexpr char kHelp[] =
    "用法：kml2mif [--keep-going] [--quiet] 文件...\n"
    "\n"
    "依次转换每个 KML 文件：取文件中的第一个坐标列表，作为一条折线写入 MapInfo 交换格式文件。\n"
    "输出文件在 KML 文件所在的文件夹中，文件名是 KML 文件名去掉最后三个字符后加上 mif 和 mid\n"
    "（route.kml 得到 route.mif 和 route.mid），已有的同名文件将被替换。\n"
    "转换失败时，已有的输出文件保持不变。\n"
    "\n"
    "选项：\n"
    "  --keep-going  某个文件出错后继续转换其余的文件\n"
    "  --quiet       不显示每个文件的转换结果，只显示警告和错误\n"
    "  --help        显示本说明并退出\n"
    "  --version     显示版本号并退出\n"
    "  --            其后的参数都是文件名\n"
    "\n"
    "退出状态：\n"
    "  0  所有文件都已转换（没有坐标列表的文件也会转换，并给出警告）\n"
    "  1  有文件无法转换：错误信息写到标准错误并指出文件名；不带 --keep-going 时\n"
    "     转换就此停止，其后的文件不作处理\n"
    "  2  用法错误：未知的选项，或没有指定文件\n";

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

std::string Quoted(const CString& path) { return Join({"“", path.view(), "”"}); }

void ReportConverted(const convert::ConversionSummary& summary, const CString& input,
                     Console& console) {
  console.Out(
      Join({"已转换", Quoted(input), "：", Quoted(summary.mif_path), "和", Quoted(summary.mid_path),
            "，", std::to_string(summary.point_count), " 个点。\n"}));
}

void ReportError(const CFileException& error, Console& console) {
  console.Err(Join({kProgram, error.GetErrorMessage().view(), "\n"}));
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine command_line;
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (only_files || argument.size() < 2 || argument[0] != '-') {
      command_line.options.files.emplace_back(argument);
    } else if (argument == "--") {
      only_files = true;
    } else if (argument == "--keep-going") {
      command_line.options.keep_going = true;
    } else if (argument == "--quiet") {
      command_line.options.quiet = true;
    } else if (argument == "--help") {
      command_line.action = CommandLine::Action::kHelp;
      return command_line;
    } else if (argument == "--version") {
      command_line.action = CommandLine::Action::kVersion;
      return command_line;
    } else {
      command_line.action = CommandLine::Action::kUsageError;
      command_line.error = Join({"未知的选项“", argument, "”。"});
      return command_line;
    }
  }
  if (command_line.options.files.empty()) {
    command_line.action = CommandLine::Action::kUsageError;
    command_line.error = "没有指定要转换的文件。";
  }
  return command_line;
}

int RunBatch(const Options& options, Console& console) {
  int exit_code = kExitSuccess;
  for (const CString& input : options.files) {
    try {
      try {
        const convert::ConversionSummary summary = convert::ConvertFile(input);
        if (!options.quiet) ReportConverted(summary, input, console);
        if (!summary.found_coordinate_line) {
          console.Err(
              Join({kProgram, "警告：", Quoted(input), "中没有坐标列表，写出的折线没有点。\n"}));
        }
      } catch (const std::bad_alloc&) {
        throw CFileException(CFileException::outOfMemory, input);
      }
    } catch (const CFileException& error) {
      ReportError(error, console);
      exit_code = kExitFileError;
      if (!options.keep_going) break;
    }
  }
  return exit_code;
}

int RunCommandLine(int argc, const char* const* argv, Console& console) {
  const CommandLine command_line = ParseCommandLine(argc, argv);
  switch (command_line.action) {
    case CommandLine::Action::kHelp:
      console.Out(kHelp);
      return kExitSuccess;
    case CommandLine::Action::kVersion:
      console.Out("kml2mif " KML2MIF_VERSION "\n");
      return kExitSuccess;
    case CommandLine::Action::kUsageError:
      console.Err(Join({kProgram, command_line.error, "\n", kUsageHint}));
      return kExitUsage;
    case CommandLine::Action::kConvert:
      break;
  }
  return RunBatch(command_line.options, console);
}

}  // namespace cli
