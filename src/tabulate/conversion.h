// What the run driver hands a converter and what the converter hands back. A converter takes
// the settings as the dialogue left them, its streams and how to read the records; it writes
// HAPLOVEX.OUT, HAPLOVEX.SUM and the console, and returns what the run builds the rest from:
// the warnings, the tidy tables (--csv) and the report (--report).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/text_file.h"
#include "tabulate/read_options.h"
#include "tabulate/record_checks.h"
#include "tabulate/record_sinks.h"

namespace haplovex {

struct ConversionSettings;

// What a converter finds open: the console, the capture-history file (read from its start),
// the output file with its title line written, and the summary file, empty.
struct ConversionStreams {
  Console& console;
  InputFile& input;
  OutputFile& out;  // HAPLOVEX.OUT
  OutputFile& sum;  // HAPLOVEX.SUM
};

// What reading every record gives besides the converter's tables: the records and animals read,
// what they looked like, and what the other sinks counted (record_sinks.h).
struct RecordsRead {
  int64_t records = 0;
  int32_t animals = 0;
  RecordChecks checks;
  OtherSinks::Results counted;
};

// What a conversion gives back: the records read, the number of parameters, the estimation
// runs written to HAPLOVEX.OUT, and the converter's tables (`Counts`: n, bt and btot, each read
// as table(positions...)).
template <typename Counts>
struct ConversionResult {
  RecordsRead read;
  int64_t npar = 0;
  int npar_digits = 0;            // the digits the model statement has for npar
  std::vector<std::string> runs;  // the names of the estimation runs, in the order written
  Counts counts;
};

// A converter: it takes the settings as the dialogue left them (for its model sets), its
// streams and how to read the records, and returns the records read, the number of parameters,
// the estimation runs written and its tables. REQUIRES: the output file holds its title line,
// the summary file is open and empty. Fatal conditions throw FatalStop.
template <typename Counts>
using Converter = ConversionResult<Counts>(const ConversionSettings& s, const ConversionStreams& streams,
                                           const ReadOptions& options);

}  // namespace haplovex
