// Test M of one group: do animals missed at a period behave, at their next capture, like a
// mixture of the animals caught at that period in each stratum? M.ITEC compares where they
// are next caught at the next period and later; M.LTEC compares the periods of the later
// captures one by one. Each period tested is one component (stratum 0), its table pooled and
// fitted by the mixture model (mixture_fit.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gof/fit_result.h"
#include "gof/mixture_fit.h"
#include "tabulate/marray.h"

namespace haplovex::gof {

// The two variants of Test M.
enum class TestMKind { kItec, kLtec };

// "M.ITEC" or "M.LTEC".
const char* NameOf(TestMKind kind);

// The table of one period i:
//   mixtures, one per stratum s: animals last released before i in s and missed at i;
//   bases, one per stratum s: animals released at i in s.
// Columns of M.ITEC: next caught at i+1 in each stratum, then next caught at i+2 or later in
// each stratum. Columns of M.LTEC: next caught at i+2, i+3, ... each by stratum (the animals
// next caught at i+1 are left out).
MixtureTable MixtureTableAt(const MultiStateMArray& m, int occasion, TestMKind kind);

// Pools the table until every expected count (row total x column total / grand total) is at
// least 2, where it can be, as PoolByExpected (contingency.h) with the bases as fixed rows:
// base rows are never merged; at least one mixture row and one column more than there are
// bases are kept, and once the columns are down to that, small expected counts in the bases
// are let be. A table of no animals, or without mixtures or bases, is left as it is.
MixtureTable PoolMixtures(MixtureTable table);

// A test in two steps, so that the fits of several tests and groups, the costly part, can
// share the threads: first the test's periods, those that cannot be tested said in its notes,
// and the pooled tables of the others;
struct TestMTables {
  TestResult result;                 // every period a component, none fitted yet
  std::vector<size_t> tested;        // the components to fit
  std::vector<MixtureTable> tables;  // and their pooled tables
};
// The notes name the strata by their codes (`strata_codes`, a character each; by number where
// none is given).
TestMTables PrepareTestM(const MultiStateMArray& m, TestMKind kind, const std::string& strata_codes = {});
// then, once each table is fitted (statistics[j] the statistic of tables[j]), each component
// compared with a chi-square of (mixture rows) x (columns - bases) degrees, and the total.
TestResult FinishTestM(TestMTables prepared, const std::vector<double>& statistics);

// M.ITEC over periods 2..k-2, or M.LTEC over periods 2..k-3, its tables fitted one after
// another.
TestResult TestM(const MultiStateMArray& m, TestMKind kind);

}  // namespace haplovex::gof
