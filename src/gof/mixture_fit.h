// The maximum-likelihood fit of a mixture of multinomials, which Test M compares its tables
// with: each base row j has its own probabilities pi_j over the columns, and each mixture row m
// the probabilities sum_j gamma_mj pi_j, gamma_m its weights on the bases (summing to 1). The
// log-likelihood is the sum over the cells of count x log probability.
//
// Method: expectation-maximisation (Dempster, Laird & Rubin 1977, J. R. Statist. Soc. B 39,
// 1-38), the animals of each mixture cell shared among the bases in proportion to gamma_mj
// pi_jc; accelerated by the squared extrapolation SQUAREM (Varadhan & Roland 2008, Scand. J.
// Statist. 35, 335-353), its step length S3 (-|r| / |v|, at most -1), halved towards -1 while a
// probability would turn negative, a plain step after each jump, and the jump kept only where
// it does not lower the likelihood. The likelihood can have several local maxima, so the fit
// climbs from the bases' own proportions and from random starts, and keeps the highest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace haplovex::gof {

// A table of Test M, all of whose rows share the same columns: a row per mixture, then a row
// per base.
struct MixtureTable {
  std::vector<std::vector<int64_t>> mixtures;
  std::vector<std::vector<int64_t>> bases;
};

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
// the runs from the bases' own proportions (weights equal) and from `random_starts` starting
// points of a generator seeded alike for every fit, each carried to its maximum, so the same
// table always gives the same figures. The bases' proportions alone may stop on a lower
// maximum. Where no start can explain every mixture count, the log-likelihood is -infinity and
// the fitted values 0.
//
// A random start stops as soon as it enters the basin of a maximum an earlier start reached
// (every parameter within 1e-3 of it and the log-likelihood within 1e-6 of it, relative to its
// size), which gives the same
// figures at a fraction of the cost; Basins::kClimbEvery carries every start to its maximum.
enum class Basins { kStopInKnown, kClimbEvery };
MixtureFit FitMixture(const MixtureTable& pooled, int random_starts, Basins basins = Basins::kStopInKnown);

// The random starts a fit makes unless told: 24, and 8 a base where there are more than three
// (the more strata, the more local maxima there are to climb past).
int DefaultRandomStarts(size_t bases);
inline MixtureFit FitMixture(const MixtureTable& pooled) {
  return FitMixture(pooled, DefaultRandomStarts(pooled.bases.size()));
}

}  // namespace haplovex::gof
