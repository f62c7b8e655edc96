// kml2mif FILE...: converts KML and KMZ files into MapInfo Interchange pairs (.mif and .mid).
#include "cli/batch.h"
#include "cli/console.h"
#include "cli/program_arguments.h"

int main(int argc, char** argv) {
  const cli::ProgramArguments arguments(argc, argv);
  const cli::Language language = cli::UserLanguage();
  cli::Console& console = cli::StandardConsole();
  const cli::CommandLine command_line =
      cli::ParseCommandLine(arguments.argc(), arguments.argv(), language);
  int exit_code = cli::RunCommandLine(command_line, console, language);
  if (cli::StandardConsoleFailed()) {
    // Said on standard error if that still works; the status tells it in any case.
    console.Err(cli::Pick(language, "kml2mif: writing the report failed.\n",
                          "kml2mif: 无法写出转换结果信息。\n"));
    if (exit_code == cli::kExitSuccess) exit_code = cli::kExitFileError;
  }
  cli::HoldOwnConsole(language, command_line.options.quiet);
  return exit_code;
}
