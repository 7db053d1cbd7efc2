// Warnings about a run that can go on but may not be what the user meant: characters in the
// histories that are no codes, records with no capture or too short, blank frequencies, no
// release at all, a title the estimation program will misread, numbers too wide for the model
// statement. They are words for the person at the console, given on standard error once the
// records are read; the transcript and the files are not changed by them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/record_checks.h"

namespace haplovex {

// One line a kind of warning, each with a count and where it was first seen; none for a
// clean run. `title_typed` is the title answer as typed, before it was cut to its field;
// `npar` the number of parameters, and `npar_digits` the digits the model statement has for
// it.
std::vector<std::string> DataWarnings(const ConversionSettings& s, const std::string& title_typed,
                                      const RecordChecks& checks, int64_t npar, int npar_digits);

}  // namespace haplovex
