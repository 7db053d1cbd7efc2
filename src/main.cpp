// haplovex: converts capture histories of marked animals into the input of a multi-state
// estimation program. With no arguments it runs the question-and-answer dialogue on the
// console; everything else about a run comes from the answers.
#include <unistd.h>

#include <iostream>
#include <string>
#include <string_view>

#include "common/work_folder.h"
#include "runctl/driver.h"
#include "version.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: haplovex [--help | --version]\n"
    "\n"
    "Converts a text file of capture histories of marked animals into the input file of a\n"
    "multi-state capture-recapture estimation program. Run it with no arguments and answer the\n"
    "questions on the console: the input file, the numbers of strata, periods, age classes and\n"
    "groups, where each field stands in the records, the model set and a title.\n"
    "\n"
    "It writes two files in the current folder:\n"
    "  HAPLOVEX.OUT  the estimation-program input (model, data cells, labels, runs)\n"
    "  HAPLOVEX.SUM  a run summary with the movements between strata\n"
    "\n"
    "The answers can be piped from a file, one answer a line:  haplovex < answers.txt\n"
    "Exit status: 0 finished, 1 error stop, 2 bad command line. See haplovex(1) and README.md.\n";

// Writes `text` on standard output; a failure is reported and gives exit status 1.
int Print(std::string_view text) {
  std::cout << text;
  if (std::cout.flush()) return 0;
  std::cerr << "haplovex: the output could not be written\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string_view arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) return Print(kUsage);
    if (argc == 2 && arg == "--version") {
      return Print(std::string("haplovex ") + HAPLOVEX_VERSION + "\n");
    }
    std::cerr << "haplovex: unknown argument '" << arg << "'\n" << kUsage;
    return 2;
  }
  haplovex::InstallStopHandlers();
  std::ios::sync_with_stdio(false);
  try {
    haplovex::RunOptions options;
    options.console_is_terminal = isatty(STDOUT_FILENO) == 1;
    // The folder is reached through ".", never through its path: it may be very deep, or
    // have been removed while the user stood in it.
    return haplovex::RunHaplovex(std::cin, std::cout, std::cerr, ".", options);
  } catch (...) {
    std::cerr << "haplovex: the run failed unexpectedly; no file was written\n";
    return 1;
  }
}
