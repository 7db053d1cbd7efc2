// The run driver: one invocation, one conversion.
//
// Shows the banner, guards HAPLOVEX.OUT, runs the set-up dialogue, writes the title line,
// opens the other files the run writes (run_files.h), calls the converter the model set
// selects, builds the tidy tables, the fit tests and the report from its result, and puts the
// files in place together; a run that stops before its end leaves the folder as it found it.
// The run takes its streams and working folder as parameters, so a whole run can be driven
// from a test; every fatal stop is caught here and becomes the returned exit status.
#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>

#include "runctl/options.h"

namespace haplovex {

inline constexpr int kExitFinished = 0;
inline constexpr int kExitError = 1;

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
