// kml2mif FILE...: converts KML files into MapInfo Interchange pairs (.mif and .mid).
#include "cli/batch.h"
#include "cli/console.h"

int main(int argc, char** argv) { return cli::RunCommandLine(argc, argv, cli::StandardConsole()); }
