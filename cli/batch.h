// The command line kml2mif: reads its options and converts the files it is given, in order,
// with the full conversion (ConvertFull) or the desktop program's (ConvertFile), reporting
// one line per file and every file error.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/report.h"
#include "convert/first_line.h"
#include "convert/full.h"
#include "crs/system.h"
#include "crs/transformer.h"
#include "mif/mif_writer.h"
#include "platform/cstring.h"

namespace cli {

// Exit codes of kml2mif.
enum ExitCode {
  kExitSuccess = 0,    // every file converted (files without placemarks included)
  kExitFileError = 1,  // a file could not be converted, or the report could not be written
  kExitUsage = 2,      // unknown option, bad option value, no file, or two inputs, one output
};

struct Options {
  bool keep_going = false;  // after a file error, convert the remaining files
  bool quiet = false;       // no line per converted file; warnings and errors still shown
  bool first_line = false;  // the desktop program's conversion instead of the full one
  bool charset_given = false;
  mif::Charset charset = mif::Charset::kWindowsSimpChinese;
  crs::System system;                        // --coordsys and --towgs84
  crs::Source source = crs::Source::kWgs84;  // --from
  platform::CString output_folder;           // empty: the outputs go beside each input
  std::vector<platform::CString> files;
};

struct CommandLine {
  enum class Action { kConvert, kHelp, kVersion, kUsageError };
  Action action = Action::kConvert;
  Options options;
  std::string error;  // for kUsageError: what is wrong (English; see UsageErrorText)
};

// Reads argv[1..argc-1] (UTF-8 or the system's narrow strings): -k/--keep-going, -q/--quiet,
// --first-line, --charset NAME, --coordsys CODE, --towgs84 LIST, --from MAP, -o/--output-dir
// DIR (each also as --option=VALUE), -h/--help, -V/--version, "--" (every later argument is a
// file), and files, in any order.
// --help and --version take effect where they stand. The error of a kUsageError is in
// `language`.
CommandLine ParseCommandLine(int argc, const char* const* argv,
                             Language language = Language::kEnglish);

// The two conversions, as the batch calls them; tests put fakes in their place.
struct Engine {
  convert::FirstLineSummary (*first_line)(const platform::CString& path,
                                          const platform::CString& output_folder);
  convert::FullSummary (*full)(const platform::CString& path, const convert::FullOptions& options);
};
Engine RealEngine();

// Converts options.files in order and reports to `console` in `language`. Before anything is
// converted, checks the output folder and that no two different inputs share their outputs
// (kExitUsage); a file named twice is converted once. Stops at the first file error unless
// options.keep_going. Gives kExitSuccess, kExitFileError or kExitUsage.
int RunBatch(const Options& options, Console& console, Language language,
             const Engine& engine = RealEngine());

// The whole program: parses, then prints help or the version, or runs the batch. Gives the
// exit code.
int RunCommandLine(int argc, const char* const* argv, Console& console,
                   Language language = Language::kEnglish, const Engine& engine = RealEngine());

// The same for a command line already parsed (with `language`).
int RunCommandLine(const CommandLine& command_line, Console& console, Language language,
                   const Engine& engine = RealEngine());

}  // namespace cli
