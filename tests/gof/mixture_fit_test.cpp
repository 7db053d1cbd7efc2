#include "gof/mixture_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace haplovex::gof {
namespace {

// Fits whose figures follow from what the fit is. One mixture [4 1 6 2] over three bases: the
// bases' own proportions climb to a local maximum only; the maximum, found from the other starts,
// is what the reference computation reports (1.671). One base: the mixture and the base share
// its probabilities, which are the two rows' proportions together, 999997, 1 and 2 in a
// million; the mixture's expected counts in the rare columns are 7500 x 1e-6 = 0.0075, left out
// of the statistic (below 0.01), and 0.015, in it. Two bases of one column each, [10 0] and
// [0 10], and a mixture [3 7]: weighed 0.3 and 0.7 they explain it exactly, a statistic of 0.
// One base [5 0] and a mixture [1 1]: the base's own proportions give the mixture's second cell
// no chance at all, and the random starts climb to the rows' proportions together, 6/7 and 1/7,
// where O (O/E - 1) adds up to 5 (7/6 - 1) + (7/12 - 1) + (7/2 - 1) = 35/12.
TEST(MixtureFitTest, FiguresOfTheMaximum) {
  struct Case {
    const char* what;
    MixtureTable table;
    int random_starts;
    double log_likelihood, statistic;
  };
  const MixtureTable local{{{4, 1, 6, 2}}, {{1, 2, 0, 1}, {3, 2, 2, 1}, {3, 1, 2, 3}}};
  const double common = 0.999997;
  const Case cases[] = {
      {"the bases' own start", local, 0, -43.0423, 1.7163},
      {"every start", local, DefaultRandomStarts(3), -43.0385, 1.6708},
      {"a base of a million animals and rare cells",
       {{{7497, 1, 2}}, {{992500, 0, 0}}},
       DefaultRandomStarts(1),
       999997 * std::log(common) + std::log(1e-6) + 2 * std::log(2e-6),
       992500 * (1 / common - 1) + 7497 * (7497 / (7500 * common) - 1) + 2 * (2 / 0.015 - 1)},
      {"a mixture the bases explain exactly",
       {{{3, 7}}, {{10, 0}, {0, 10}}},
       DefaultRandomStarts(2),
       3 * std::log(0.3) + 7 * std::log(0.7),
       0},
      {"a cell the bases' own start cannot explain",
       {{{1, 1}}, {{5, 0}}},
       DefaultRandomStarts(1),
       6 * std::log(6.0 / 7) + std::log(1.0 / 7),
       35.0 / 12},
  };
  for (const Case& c : cases) {
    const MixtureFit fit = FitMixture(c.table, c.random_starts);
    EXPECT_NEAR(fit.log_likelihood, c.log_likelihood, 5e-5) << c.what;
    EXPECT_NEAR(fit.statistic, c.statistic, 5e-5) << c.what;
    EXPECT_EQ(fit.starts_used, c.random_starts + 1) << c.what;
  }
  // The fitted values of the exact mixture: its weights, and the expected counts of each row.
  const MixtureFit exact = FitMixture({{{3, 7}}, {{10, 0}, {0, 10}}});
  ASSERT_EQ(exact.weights.size(), 1u);
  EXPECT_NEAR(exact.weights[0][0], 0.3, 1e-9);
  EXPECT_NEAR(exact.weights[0][1], 0.7, 1e-9);
  EXPECT_NEAR(exact.expected_mixtures[0][0], 3, 1e-8);
  EXPECT_NEAR(exact.expected_mixtures[0][1], 7, 1e-8);
  EXPECT_NEAR(exact.expected_bases[1][1], 10, 1e-8);
  const MixtureFit shared = FitMixture({{{1, 1}}, {{5, 0}}});
  EXPECT_NEAR(shared.base[0][1], 1.0 / 7, 1e-9);
  EXPECT_NEAR(shared.expected_bases[0][1], 5.0 / 7, 1e-8);
}

// The random starts a fit makes: 24, and 8 a base where there are more than three.
TEST(MixtureFitTest, RandomStartsByBases) {
  const std::pair<size_t, int> cases[] = {{1, 24}, {3, 24}, {4, 32}, {5, 40}, {26, 208}};
  for (const auto& [bases, starts] : cases) EXPECT_EQ(DefaultRandomStarts(bases), starts) << bases;
  const MixtureTable four{{{4, 1, 6, 2, 3}},
                          {{1, 2, 0, 1, 1}, {3, 2, 2, 1, 0}, {3, 1, 2, 3, 1}, {0, 1, 1, 2, 5}}};
  EXPECT_EQ(FitMixture(four).starts_used, 33);
}

// The generator of the random starts is seeded afresh for every fit: a table's figures are the
// same bits whatever was fitted before it.
TEST(MixtureFitTest, FiguresOfATableAloneWhateverCameBefore) {
  const MixtureTable local{{{4, 1, 6, 2}}, {{1, 2, 0, 1}, {3, 2, 2, 1}, {3, 1, 2, 3}}};
  const MixtureTable other{{{9, 3, 1, 4}, {2, 2, 8, 1}},
                           {{5, 1, 1, 2}, {1, 6, 3, 1}, {2, 2, 2, 9}}};
  const MixtureFit first = FitMixture(local);
  FitMixture(other);
  const MixtureFit again = FitMixture(local);
  EXPECT_EQ(first.statistic, again.statistic);
  EXPECT_EQ(first.log_likelihood, again.log_likelihood);
  EXPECT_EQ(first.weights, again.weights);
}

// A start stopped on entering the basin of a maximum an earlier start reached changes no
// figure: on 1,000 random tables (1 to 3 mixtures, 2 to 4 bases, up to 8 columns, counts from
// sparse to large), every statistic and log-likelihood is the same to the last bit as when every
// start climbs to its maximum, with fewer rounds in all.
TEST(MixtureFitTest, StartsStoppedInKnownBasinsChangeNoFigure) {
  std::mt19937 random(34);
  auto draw = [&](int least, int most) { return std::uniform_int_distribution<int>(least, most)(random); };
  for (int n = 0; n < 1000; ++n) {
    const int bases = draw(2, 4);
    const int columns = draw(bases + 1, 8);
    const int largest = n % 3 == 0 ? 4 : n % 3 == 1 ? 20 : 200;
    auto row = [&] {
      std::vector<int64_t> counts(static_cast<size_t>(columns));
      for (int64_t& c : counts) c = draw(0, largest);
      counts[static_cast<size_t>(draw(0, columns - 1))] += 1;  // no empty row
      return counts;
    };
    MixtureTable table;
    for (int m = draw(1, 3); m > 0; --m) table.mixtures.push_back(row());
    for (int b = 0; b < bases; ++b) table.bases.push_back(row());
    const MixtureFit stopped = FitMixture(table, DefaultRandomStarts(table.bases.size()), Basins::kStopInKnown);
    const MixtureFit climbed = FitMixture(table, DefaultRandomStarts(table.bases.size()), Basins::kClimbEvery);
    ASSERT_EQ(stopped.statistic, climbed.statistic) << "table " << n;
    ASSERT_EQ(stopped.log_likelihood, climbed.log_likelihood) << "table " << n;
  }
}

}  // namespace
}  // namespace haplovex::gof
