// The goodness-of-fit tests of one group computed straight from its FitTables, one function a
// test: the multi-state tests of transience (3G.SR), of newly against previously caught animals
// (3G.Sm) and of memory (WBWA), each with one component per release (period 2..periods-1,
// stratum), and the single-state tests on the same animals with the strata pooled (3.SR, 3.SM,
// 2.CT, 2.CL), with one component per period. (Test M, of the mixtures, is in test_m.h.)
//
// A component is a contingency table tested for independence (contingency.h); in 3G.Sm the
// sum of up to 2 + strata sub-tables, labelled with the method of the last one tested, as the
// reference computation labels it. A component whose tables have nothing to compare (an empty
// row or column, no degree of freedom left) is not tested (Judged, fit_result.h). A test's
// total is the unrounded sum of its components' statistics and df, with the chi-square p of
// that sum (1 on 0 df).
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

#include <string>

#include "gof/fit_result.h"
#include "tabulate/fit_tables.h"

namespace haplovex::gof {

// 3G.SR: at each release, animals first caught there against those caught before, by caught
// again or not (2x2).
TestResult Test3GSR(const FitTables& tables, const std::string& strata_codes = {});
// 3G.Sm: at each release, the sum of (a) first caught against caught before, by period and
// stratum of the next capture; (b) caught before, by stratum before and caught again or not;
// (c) for each stratum of the next capture, caught before by stratum before and period next.
TestResult Test3GSm(const FitTables& tables, const std::string& strata_codes = {});
// WBWA: at each release, caught before, by stratum before and stratum of the next capture.
TestResult TestWBWA(const FitTables& tables, const std::string& strata_codes = {});

// 3.SR: at each period, caught before against first caught, by caught again or not (2x2).
TestResult Test3SR(const FitTables& tables, const std::string& strata_codes = {});
// 3.SM: at each period, caught before against first caught, by period of the next capture.
TestResult Test3SM(const FitTables& tables, const std::string& strata_codes = {});
// 2.CT: at periods 2..k-2, released before and next caught after it against released at it,
// by next caught at the next period or later (2x2).
TestResult Test2CT(const FitTables& tables, const std::string& strata_codes = {});
// 2.CL: at periods 2..k-3, the same two rows by period of a next capture two or more on.
TestResult Test2CL(const FitTables& tables, const std::string& strata_codes = {});

// Each takes the codes of the strata (a character each, from stratum 1) its notes name them by;
// by number where none is given.
//
// The tests of this file in the order they are written: the multi-state ones (which Test M
// follows), then those of the strata pooled.
using TableTestFunction = TestResult (*)(const FitTables&, const std::string& strata_codes);
inline constexpr TableTestFunction kMultiStateTableTests[] = {Test3GSR, Test3GSm, TestWBWA};
inline constexpr TableTestFunction kSingleStateTests[] = {Test3SR, Test3SM, Test2CT, Test2CL};

}  // namespace haplovex::gof
