// The run driver: one invocation, one conversion.
//
// Shows the banner, guards HAPLOVEX.OUT, runs the set-up dialogue, writes the title line,
// opens HAPLOVEX.SUM, calls the converter the model set selects, and puts both files in place
// together; a run that stops before its end leaves the folder as it found it.
// The run takes its streams and working folder as parameters, so a whole run can be driven
// from a test; every fatal stop is caught here and becomes the returned exit status.
#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>

#include "tabulate/kernels/kernel_set.h"

namespace haplovex {

inline constexpr int kExitFinished = 0;
inline constexpr int kExitError = 1;

struct RunOptions {
  // The console is a terminal: bytes of the data that would control it are shown as "?".
  bool console_is_terminal = false;
  // A person types the answers at a terminal: a refused answer is asked again, and a run that
  // finishes saves its answers in HAPLOVEX.ANS.
  bool answers_from_terminal = false;
  // The overwrite question, when it is asked, is answered yes (--yes).
  bool yes = false;
  // A warning about the data stops the run (--strict).
  bool strict = false;
  // The input file holds summarised histories, read without columns (--inp).
  bool inp = false;
  // Also write the tidy tables HAPLOVEX.releases.csv and HAPLOVEX.transitions.csv (--csv).
  bool csv = false;
  // Also write the report HAPLOVEX.html (--report).
  bool report = false;
  // Also test the fit of the data to the model: HAPLOVEX.GOF, and HAPLOVEX.gof.csv with --csv
  // (--gof).
  bool gof = false;
  // Threads that may read the records at once (--threads); 0: as many as help here. The files
  // and the transcript are the same for every number.
  int threads = 0;
  // The instructions the records are read with (HAPLOVEX_KERNELS): the same files for every
  // set.
  KernelSet kernels = BestKernels();
};

// Runs one conversion reading answers from `in`, writing the console to `out` and the words
// for the person at the console (what a stop left in the folder) to `err`, each line through
// Harmless, with files in the folder `workdir`. Returns the exit status: 0 after the normal
// end, 1 after any error stop.
int RunHaplovex(std::istream& in, std::ostream& out, std::ostream& err,
                const std::filesystem::path& workdir, const RunOptions& options = {});

// Length of the title as written on the title line: the position of its last character that
// is not below "0" (bytes compared unsigned), at least 1.
size_t TitleLength(const std::string& title);

}  // namespace haplovex
