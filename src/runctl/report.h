// The report of a run (--report): HAPLOVEX.html, one page to look at before the estimation.
//
// It shows the settings as answered; the records, animals and comment lines read; the
// warnings about the data; the animals caught at each period in each stratum, as a chart;
// the movements between strata of each group and age class, as a heat map with the counts in
// its cells; and what HAPLOVEX.OUT holds for the model set chosen. The page stands alone: its
// style and its pictures (SVG) are written into it, it runs no script and fetches nothing, so
// it reads the same offline and prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/record_checks.h"

namespace haplovex {

// What the report shows of the records and the model besides the settings and the checks, as
// the run driver gathers it from the conversion's result.
struct RunDigest {
  int64_t records = 0;
  int64_t animals = 0;
  int32_t strata = 0;
  int32_t periods = 0;
  // caught[(period - 1) * strata + (stratum - 1)]: animals caught at the period in the stratum.
  std::vector<int64_t> caught;
  // For each group and age class (group outermost), the pairs of captures from one stratum
  // (row) to the next stratum the animal was caught in (column): [from - 1) * strata + to - 1].
  std::vector<std::vector<int64_t>> transitions;
  int64_t npar = 0;               // the number of parameters
  std::vector<std::string> runs = {};  // the estimation runs written to HAPLOVEX.OUT, in order
};

struct ReportInput {
  const ConversionSettings& settings;
  std::string input_name;  // the capture-history file as named
  const RecordChecks& checks;
  const RunDigest& digest;
  const std::vector<std::string>& warnings;
};

// The whole page.
std::string ReportPage(const ReportInput& in);

}  // namespace haplovex
