// The report of a run (--report): HAPLOVEX.html, one page to look at before the estimation.
//
// It shows the program's version and the run's date; the settings as answered; the records,
// animals and comment lines read; the warnings about the data; the movements between strata of
// each group and age class, as a heat map with the counts in its cells and its colour scale; whether the data can carry the model: for each group, one
// below the other, the animals caught at each period in each stratum as a chart and the m-array
// with its row proportions (past kMostPeriodsInFull periods or kMostStrataInFull strata, both of
// all groups summed, the m-array by release period), the animals caught at each period in each
// group, and the sparse cohorts; with --gof, c-hat and the tests of each group; and what
// HAPLOVEX.OUT holds for the model set chosen. The page stands alone: its style and its
// pictures (SVG) are written into it, it runs no script and fetches nothing, so it reads the
// same offline and prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gof/fit_files.h"
#include "runctl/settings.h"
#include "tabulate/tables_digest.h"
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
  int64_t npar = 0;               // the number of parameters
  std::vector<std::string> runs = {};  // the estimation runs written to HAPLOVEX.OUT, in order
  // caught_by_group[(group - 1) * periods * strata + (period - 1) * strata + (stratum - 1)]:
  // animals of the group caught at the period in the stratum.
  std::vector<int64_t> caught_by_group = {};
  // What the report shows of the converter's tables: the movements, the m-array and the
  // release cohorts.
  TablesDigest tables = {};
  std::string date = {};  // the run's date, as RunDate gives it
};

struct ReportInput {
  const ConversionSettings& settings;
  std::string input_name;  // the capture-history file as named
  const RecordChecks& checks;
  const RunDigest& digest;
  const std::vector<std::string>& warnings;
  // The goodness-of-fit tests of each group (--gof); none without them.
  std::vector<gof::GroupFit> fits = {};
  bool releases_written = false;  // the run writes HAPLOVEX.releases.csv (--csv)
};

// The whole page.
std::string ReportPage(const ReportInput& in);

// The run's date, YYYY-MM-DD in UTC: that of SOURCE_DATE_EPOCH (seconds since the start of
// 1970) where it is set to such a number, else today's.
std::string RunDate();

}  // namespace haplovex
