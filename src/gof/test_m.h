// Test M of one group: do animals missed at a period behave, at their next capture, like a
// mixture of the animals caught at that period in each stratum? M.ITEC compares where they
// are next caught at the next period and later; M.LTEC compares the periods of the later
// captures one by one. Each period tested is one component (stratum 0).
#pragma once

#include <cstdint>
#include <vector>

#include "gof/fit_result.h"
#include "tabulate/marray.h"

namespace haplovex::gof {

// The table of one period i, all of whose rows share the same columns (the period and stratum
// of the next capture after i):
//   mixtures, one per stratum s: animals last released before i in s and missed at i;
//   bases, one per stratum s: animals released at i in s.
// Columns of M.ITEC: next caught at i+1 in each stratum, then next caught at i+2 or later in
// each stratum. Columns of M.LTEC: next caught at i+2, i+3, ... each by stratum (the animals
// next caught at i+1 are left out).
struct MixtureTable {
  std::vector<std::vector<int64_t>> mixtures;
  std::vector<std::vector<int64_t>> bases;
};

MixtureTable MixtureTableAt(const MultiStateMArray& m, int occasion, bool itec);

// Pools the table until every expected count (row total x column total / grand total) is at
// least 2, where it can be: the cell of smallest expected count (first column, then first row,
// on ties) has its column merged with the column of smallest total, or its row with the
// mixture row of smallest total, whichever its row and column means call for. Base rows are
// never merged; at least one mixture row and one column more than there are bases are kept,
// and once the columns are down to that, small expected counts in the bases are let be.
MixtureTable PoolMixtures(MixtureTable table);

// The maximum-likelihood fit of the mixture model to a pooled table: each base j its own
// probabilities pi_j over the columns, each mixture m the probabilities sum_j gamma_mj pi_j.
struct MixtureFit {
  double log_likelihood = 0;                 // sum of count x log probability over the cells
  std::vector<std::vector<double>> base;     // pi_j, a row per base
  std::vector<std::vector<double>> weights;  // gamma_m, a row per mixture
  std::vector<std::vector<double>> expected_mixtures;  // row total x fitted probability
  std::vector<std::vector<double>> expected_bases;
  double statistic = 0;  // sum of O (O/E - 1) over cells with O > 0 and E >= 0.01
  int starts_used = 0;   // starting points tried (the bases' own proportions, then random ones)
};

// Every base row must have a positive total, and every mixture row too. The fit is the best of
// expectation-maximisation runs from the bases' own proportions (weights equal) and from
// `random_starts` starting points of a fixed-seed generator, each carried to its maximum, so the
// same table always gives the same figures. The likelihood can have several local maxima: the
// bases' proportions alone may stop on a lower one.
MixtureFit FitMixture(const MixtureTable& pooled, int random_starts);

// The random starts a fit makes unless told: 24, and 8 a base where there are more than three
// (the more strata, the more local maxima there are to climb past).
int DefaultRandomStarts(size_t bases);
inline MixtureFit FitMixture(const MixtureTable& pooled) {
  return FitMixture(pooled, DefaultRandomStarts(pooled.bases.size()));
}

// M.ITEC (itec) over periods 2..k-2, or M.LTEC over periods 2..k-3; the statistic of each
// period is compared with a chi-square of (mixture rows) x (columns - bases) degrees.
TestResult TestM(const MultiStateMArray& m, bool itec);

// The same in two steps, so that the fits of several tests and groups, the costly part, share
// the threads: the test's periods, those that cannot be tested said in its notes, and the
// pooled tables of the others;
struct TestMTables {
  TestResult result;                 // every period a component, none fitted yet
  std::vector<size_t> tested;        // the components to fit
  std::vector<MixtureTable> tables;  // and their pooled tables
};
TestMTables PrepareTestM(const MultiStateMArray& m, bool itec);
// then every table fitted, on `threads` threads, and each test's components and total.
std::vector<TestResult> FitTestsM(std::vector<TestMTables> tests, int threads);

}  // namespace haplovex::gof
