// The command line kml2mif: reads its options and converts the files it is given, in order,
// with the engine's ConvertFile, reporting one line per file and every file error.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "platform/cstring.h"

namespace cli {

// Exit codes of kml2mif.
enum ExitCode {
  kExitSuccess = 0,    // every file converted (files without a coordinate list included)
  kExitFileError = 1,  // a file could not be converted
  kExitUsage = 2,      // unknown option or no file given
};

struct Options {
  bool keep_going = false;  // after a file error, convert the remaining files
  bool quiet = false;       // no line per converted file; warnings and errors still shown
  std::vector<platform::CString> files;
};

struct CommandLine {
  enum class Action { kConvert, kHelp, kVersion, kUsageError };
  Action action = Action::kConvert;
  Options options;
  std::string error;  // for kUsageError: what is wrong, in the system code page
};

// Reads argv[1..argc-1]: --keep-going, --quiet, --help, --version, "--" (every later argument
// is a file), and files. --help and --version take effect where they stand.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// Converts options.files in order and reports to `console`. Stops at the first file error
// unless options.keep_going. Gives kExitSuccess or kExitFileError.
int RunBatch(const Options& options, Console& console);

// The whole program: parses, then prints help or the version, or runs the batch. Gives the
// exit code.
int RunCommandLine(int argc, const char* const* argv, Console& console);

}  // namespace cli
