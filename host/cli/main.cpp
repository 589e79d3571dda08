// morvane: the effect on the command line. Everything is in morvane_cli_lib.
#include "host/cli/CliApp.h"

int main(int argc, char** argv) {
    return morvane_cli::runCli(argc, argv);
}
