// haplovex: converts capture histories of marked animals into the input of a multi-state
// estimation program. With no arguments it runs the question-and-answer dialogue on the
// console; everything else about a run comes from the answers.
#include <filesystem>
#include <iostream>
#include <string_view>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string_view arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      std::cout << kUsage;
      return 0;
    }
    if (argc == 2 && arg == "--version") {
      std::cout << "haplovex " << HAPLOVEX_VERSION << '\n';
      return 0;
    }
    std::cerr << "haplovex: unknown argument '" << arg << "'\n" << kUsage;
    return 2;
  }
  std::ios::sync_with_stdio(false);
  const int status = haplovex::RunHaplovex(std::cin, std::cout, std::filesystem::current_path());
  // A console that could not be written (a closed or full output) hid the run's messages.
  if (!std::cout.flush()) {
    std::cerr << "haplovex: the console output could not be written\n";
    return status == 0 ? 1 : status;
  }
  return status;
}
