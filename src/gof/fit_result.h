// What the goodness-of-fit tests give for one group: each test's components (by period of the
// release tested, and stratum where the test has one) and its total.
#pragma once

#include <string>
#include <vector>

namespace haplovex::gof {

// How a component was tested: Pearson chi-square, Fisher's exact test turned into the
// chi-square statistic of the same upper tail, or not at all (no table to test).
enum class Method { kChiSquare, kFisher, kNone };

struct Component {
  int occasion = 0;      // period of the release tested (1-based)
  int stratum = 0;       // stratum of the release (1-based); 0 where the test has none
  double statistic = 0;  // unrounded; 0 when not tested
  int df = 0;            // 0 when not tested
  double p = 1;          // upper-tail probability; meaningless when not tested
  Method method = Method::kNone;
};

// One test over a group: its components in order of occasion, then stratum, and its total
// (the sum of the components' statistics and df, with the chi-square p of that sum).
struct TestResult {
  std::string name;  // "3G.SR", "3G.Sm", "WBWA", "M.ITEC", "M.LTEC", "3.SR", "3.SM", "2.CT", "2.CL"
  std::vector<Component> components;
  double statistic = 0;
  int df = 0;
  double p = 1;
  // What the run did where the reference computation is unsound or a table could not be
  // tested, in a sentence a reader of HAPLOVEX.GOF understands; empty when nothing.
  std::vector<std::string> notes;
};

}  // namespace haplovex::gof
