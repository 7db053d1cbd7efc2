// The goodness-of-fit tests of one group computed from its FitTables: the multi-state tests of
// transience (3G.SR), of newly against previously caught animals (3G.Sm) and of memory
// (WBWA), each with one component per release (period 2..periods-1, stratum), and the
// single-state tests on the same animals with the strata pooled (3.SR, 3.SM, 2.CT, 2.CL), with
// one component per period.
//
// A component is a contingency table tested for independence (contingency.h); in 3G.Sm the
// sum of up to 2 + strata sub-tables, labelled with the method of the last one tested, as the
// reference computation labels it. A component whose tables have nothing to compare (an empty
// row or column, no degree of freedom left) is not tested: Method::kNone, statistic 0, df 0.
// A test's total is the unrounded sum of its components' statistics and df, with the
// chi-square p of that sum (1 on 0 df).
//
// Where the reference computation is unsound these tests do the sound thing, and say so in
// TestResult::notes when it changed something: the strata are those declared, not the largest
// code seen; a table of one row or one column is not tested; a 2x2 table with an empty row or
// column adds no degree of freedom; Fisher's p-values too small for 1 - p still give a
// finite statistic. Component statistics are not rounded.
//
// Example (geese data, 3 strata, 6 periods): 3G.SR 117.7527 on 12 df, 3G.Sm 302.7690 on 119,
// WBWA 472.8549 on 20; 3.SR 54.2389 on 4, 3.SM 8.0091 on 6, 2.CT 45.8212 on 3, 2.CL 3.5321 on
// 3 (the reference computation, which rounds the single-state components to 3 decimals before
// adding them: 54.239, 8.009, 45.820, 3.532).
#pragma once

#include <vector>

#include "gof/fit_result.h"
#include "tabulate/fit_tables.h"

namespace haplovex::gof {

// 3G.SR, 3G.Sm and WBWA, in that order.
std::vector<TestResult> MultiStateTests(const FitTables& tables);

// 3.SR, 3.SM, 2.CT and 2.CL, in that order, with the strata pooled.
std::vector<TestResult> SingleStateTests(const FitTables& tables);

// Sets the total of `test` from its components: the sums of their statistics and df, and the
// chi-square upper tail of that sum (1 on 0 df).
void SumComponents(TestResult* test);

}  // namespace haplovex::gof
