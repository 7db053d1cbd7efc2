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
#include "tabulate/fit_tables.h"
#include "tabulate/kernels/kernel_set.h"
#include "tabulate/record_checks.h"

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

// How the records are read.
struct ReadOptions {
  // Threads that may read the records at once; 0: as many as help on this machine.
  int threads = 0;
  // One record at a time only: the plain way, which the quick way is held to in tests.
  bool plain_only = false;
  // The instructions the quick way reads with (one of KernelSetsHere()).
  KernelSet kernels = BestKernels();
  // Count the animals caught at each period in each stratum, for the report's chart.
  bool chart = false;
  // Count the tables of the goodness-of-fit tests, for each group.
  bool fit = false;
};

// What reading every record gives besides the converter's tables.
struct RecordsRead {
  int64_t records = 0;
  int32_t animals = 0;
  RecordChecks checks;
  // With ReadOptions::chart: caught[(period - 1) * strata + (stratum - 1)], the animals caught
  // at the period in the stratum.
  std::vector<int64_t> caught;
  // With ReadOptions::chart, where the converter tells the chart from its pairs (the
  // movement-only converter), the same for each group: caught_by_group[(group - 1) * periods *
  // strata + (period - 1) * strata + (stratum - 1)]; else empty (the memory converter counts
  // the chart capture by capture, and a count by group there would slow every record).
  std::vector<int64_t> caught_by_group;
  // With ReadOptions::fit: the tables of the goodness-of-fit tests of each group (group g at
  // g - 1), the age classes pooled.
  std::vector<gof::FitTables> fit;
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
