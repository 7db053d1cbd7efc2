// What the goodness-of-fit tests of a run give, and how they are written: HAPLOVEX.GOF, a
// table a person reads, and with --csv HAPLOVEX.gof.csv, a row per component and per total.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/text_file.h"
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
};

// Every test of one group, from its tables, labelled `label`.
GroupFit TestGroup(const FitTables& tables, std::string label);
// Every test of each group (tables[g] labelled labels[g]), the mixture fits of all of them on
// `threads` threads.
std::vector<GroupFit> TestGroups(const std::vector<const FitTables*>& tables,
                                 const std::vector<std::string>& labels, int threads);

// The notes of a group's tests, a note several tests share once: (the tests' names, the note).
std::vector<std::pair<std::string, std::string>> SharedNotes(const GroupFit& g);

// The most memory the goodness-of-fit tests of a run hold at once (saturating at the largest
// uint64_t), so that a run can refuse them before any record is read: the larger of
// - while the records are read, the tables of every group for each of `threads` reading
//   threads, and the tables those are merged into;
// - while the tests are computed (on as many threads), each group's tables, its results and
//   the tables of its mixture tests, and what each thread works on at once: a group's
//   multi-state m-array while its mixture tables are made, the tables of a test, or a fit.
uint64_t FitPeakBytes(int periods, int strata, int groups, int threads);

// The overall test named `name`: the sum of the tests' totals and df, p from that sum.
TestResult SumOfTests(const std::string& name, const std::vector<TestResult>& tests);

// The overdispersion factor of an overall test: its statistic over its df (0 for no df).
double CHat(const TestResult& overall);
// What c-hat says, in a few words.
std::string CHatReading(double c_hat);

// What a run's tests were computed on.
struct FitSetting {
  std::string title;
  int periods = 0;
  int strata = 0;
  bool ages_pooled = false;  // more than one age class, tested as one
};

void WriteFitText(const FitSetting& setting, const std::vector<GroupFit>& groups, OutputFile& file);
void WriteFitCsv(const std::vector<GroupFit>& groups, OutputFile& file);

// The method's name in the CSV table: "chi-square", "fisher" or "none".
const char* MethodName(Method method);

}  // namespace haplovex::gof
