// The report of a run (--report): HAPLOVEX.html, one page to look at before the estimation.
//
// It shows the program's version and the run's date; the settings as answered; the records,
// animals and comment lines read; the warnings about the data; the animals caught at each
// period in each stratum, as a chart; the movements between strata of each group and age
// class, as a heat map with the counts in its cells and its colour scale; whether the data can
// carry the model: the m-array with its row proportions, the animals caught at each period in
// each group, and the sparse cohorts; with --gof, c-hat and the tests of each group; and what
// HAPLOVEX.OUT holds for the model set chosen. The page stands alone: its style and its
// pictures (SVG) are written into it, it runs no script and fetches nothing, so it reads the
// same offline and prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gof/fit_files.h"
#include "runctl/settings.h"
#include "tabulate/record_checks.h"

namespace haplovex {

// A cohort is sparse with fewer animals released than this (and at least one).
inline constexpr int64_t kSparseBelow = 10;
// The sparse cohorts the page lists, at most.
inline constexpr size_t kSparseListed = 50;
// The m-array is shown release by release up to these; a larger design is summarised by
// release period.
inline constexpr int32_t kMostPeriodsInFull = 20;
inline constexpr int32_t kMostStrataInFull = 10;

// A release cohort of the converter's tables, as a cohort statement of HAPLOVEX.OUT has it.
struct ReleaseCohort {
  int32_t group = 1;
  int32_t age = 1;
  int32_t period = 1;
  int32_t previous = 0;  // the stratum caught in at the period before (memory cohorts); 0: none
  int32_t stratum = 1;
  int64_t released = 0;
};

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
  // caught_by_group[(group - 1) * periods * strata + (period - 1) * strata + (stratum - 1)]:
  // animals of the group caught at the period in the stratum.
  std::vector<int64_t> caught_by_group = {};
  // The m-array, the age classes and groups summed: the animals released at each period i from
  // first_release to periods - 1 in each stratum s, released[(i - first_release) * strata +
  // (s - 1)], and of those the animals next caught at period j in stratum t, next[row *
  // periods * strata + (j - 1) * strata + (t - 1)] for the row of released. The memory model
  // sets' cohorts are those of memory releases (after a capture at the period before), from
  // period 2 on, summed over the stratum of that capture.
  int32_t first_release = 1;
  std::vector<int64_t> released = {};
  std::vector<int64_t> next = {};
  // The release cohorts of the tables, one to each cohort statement of HAPLOVEX.OUT: how many,
  // how many with no animal, how many sparse (1 to kSparseBelow - 1 animals), and the first
  // kSparseListed of those, in the order of HAPLOVEX.OUT.
  int64_t cohorts = 0;
  int64_t empty_cohorts = 0;
  int64_t sparse_cohorts = 0;
  std::vector<ReleaseCohort> sparse = {};
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
