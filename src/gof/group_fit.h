// The goodness-of-fit tests of a run's groups, computed side by side on the run's threads, and
// what they say: c-hat and its reading. (How they are written: fit_files.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gof/fit_result.h"
#include "tabulate/fit_tables.h"

namespace haplovex::gof {

// The tests of one group.
struct GroupFit {
  std::string group;                 // the group's label, as in the run's other tables
  std::vector<TestResult> multi;     // 3G.SR, 3G.Sm, WBWA, M.ITEC, M.LTEC
  TestResult jmv;                    // their sum
  std::vector<TestResult> single;    // 3.SR, 3.SM, 2.CT, 2.CL, of the strata pooled
  TestResult cjs;                    // their sum
  // One stratum declared, or only one caught in: the single-state tests are then the group's
  // own, and its c-hat is CJS's.
  bool one_stratum = false;
  std::string strata_codes = {};  // the strata's codes, a character each (by number where none)
};

// Every test of each group (tables[g] labelled labels[g]) on `threads` threads: first each
// group's tests of its tables and the pooled tables of its Test M, each a task of its own; then
// the mixture fits of all of them, the largest first. Every task writes only its own result, so
// the figures are the same on any number of threads.
// The strata are named by `strata_codes` (a character each; by number where none is given).
// `progress`, where given, is told of the mixture fits as each is done (fits done, fits in
// all), from any thread, one call at a time.
using FitProgress = std::function<void(size_t done, size_t all)>;
std::vector<GroupFit> TestGroups(const std::vector<const FitTables*>& tables,
                                 const std::vector<std::string>& labels, int threads,
                                 const std::string& strata_codes = {}, const FitProgress& progress = {});
// Every test of one group, from its tables, labelled `label`, on the machine's threads.
GroupFit TestGroup(const FitTables& tables, std::string label);

// The overdispersion factor of an overall test: its statistic over its df (0 for no df).
double CHat(const TestResult& overall);
// What the c-hat of an overall test says, in a few words: below 1 "no sign of overdispersion:
// use 1", then "fits acceptably" up to 1.5, overdispersed up to 3, structural lack of fit
// above; "rests on few degrees of freedom" added on fewer than 10; or that nothing could be
// tested.
std::string CHatReading(const TestResult& overall);
// "c-hat F.FFF (NAME S on D df): reading", the line c-hat is told in.
std::string CHatLine(const TestResult& overall);
// The overall test a group's c-hat is read from: CJS for a group of one stratum (the
// multi-state tests then repeat the single-state ones, some without Fisher's test), JMV
// otherwise; and what it says of the group.
const TestResult& HeadlineTest(const GroupFit& g);
std::string HeadlineReading(const GroupFit& g);
// What a model of all groups together carries: each group's headline statistic and df summed,
// named after the tests summed ("JMV", "CJS", or "JMV and CJS").
TestResult AllGroups(const std::vector<GroupFit>& groups);

// The work of the fits of Test M of one group of `periods` x `strata`, at its most (no column
// pooled), in steps of one mixture cell against one base: the starts of a fit, times the
// strata squared (mixtures x bases), times the columns of all its tables; the same on every
// machine and number of threads (saturating at the largest uint64_t).
uint64_t FitWork(int periods, int strata);
// The most work a run's fits may take, all groups together: about 10 minutes of one core at the
// slowest rate measured (about 0.4 microseconds a step, on tables whose climbs creep).
inline constexpr uint64_t kMostFitWork = 1'500'000'000;

// The most memory the goodness-of-fit tests of a run hold at once (saturating at the largest
// uint64_t), so that a run can refuse them before any record is read: the larger of
// - while the records are read, the tables of every group for each of `threads` reading
//   threads, and the tables those are merged into;
// - while the tests are computed (on as many threads), each group's tables, its results and
//   the tables of its mixture tests, and what each thread works on at once: a group's
//   multi-state m-array while its mixture tables are made, the tables of a test, or a fit.
uint64_t FitPeakBytes(int periods, int strata, int groups, int threads);

}  // namespace haplovex::gof
