// What the goodness-of-fit tests give for one group: each test's components (by period of the
// release tested, and stratum where the test has one) and its total.
#pragma once

#include <string>
#include <vector>

namespace haplovex::gof {

// How a component was tested: Pearson chi-square, Fisher's exact test turned into the
// chi-square statistic of the same upper tail, or not at all (no table to test).
enum class Method { kChiSquare, kFisher, kNone };

// A statistic and its chi-square reading: a component's, a test's total, an overall test's.
// Where no degree of freedom is left nothing is tested: method none, statistic 0, df 0, p 1.
// Judged() alone decides that; whatever is written asks tested().
struct Figures {
  Method method = Method::kNone;
  double statistic = 0;  // unrounded; 0 when not tested
  int df = 0;            // 0 when not tested
  double p = 1;          // upper-tail probability; 1 when not tested
  bool tested() const { return method != Method::kNone; }
};

// The figures of a test that gave `statistic` on `df` degrees with upper tail `p`; not tested
// where df is 0 (Fisher's test of a table with one non-empty line gives that), whatever the rest.
Figures Judged(Method method, double statistic, int df, double p);
// The same with p the chi-square upper tail of `statistic` on `df` degrees: what a sum of
// tables, components or tests is read as.
Figures ChiSquareJudged(Method method, double statistic, int df);

struct Component : Figures {
  int occasion = 0;  // period of the release tested (1-based)
  int stratum = 0;   // stratum of the release (1-based); 0 where the test has none
  // Of a 2x2 table (3G.SR, 3.SR, 2.CT), its first cell's count less its expected count, which
  // says which way the animals differ (0 elsewhere): in 3G.SR the animals first caught and
  // caught again, in 3.SR those caught before and caught again, in 2.CT those released before
  // and next caught at the next period.
  double excess = 0;
  // Of a component tested by chi-square on a table whose pooling could not raise every
  // expected count to 2 (Test M, which has no Fisher step): its smallest expected count, under
  // 2; -1 elsewhere.
  double least_expected = -1;
  bool sparse() const { return least_expected >= 0; }
};

// One test over a group: its total (the sum of its components' statistics and df, read as a
// chi-square: method chi-square, or none on no df) and its components in order of occasion,
// then stratum.
struct TestResult : Figures {
  std::string name;  // "3G.SR", "3G.Sm", "WBWA", "M.ITEC", "M.LTEC", "3.SR", "3.SM", "2.CT", "2.CL"
  std::vector<Component> components;
  // What the run did where the reference computation is unsound or a table could not be
  // tested, in a sentence a reader of HAPLOVEX.GOF understands; empty when nothing.
  std::vector<std::string> notes;
};

// Sets the total of `test` from its components: the sums of their statistics and df, in order.
void SumComponents(TestResult* test);

// The overall test named `name`: the sum of the tests' totals and df, in order.
TestResult SumOfTests(const std::string& name, const std::vector<TestResult>& tests);

}  // namespace haplovex::gof
