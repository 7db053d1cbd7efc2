// The distributions the goodness-of-fit tests need, from Boost.Math.
#pragma once

namespace haplovex::gof {

// P(X >= statistic) for a chi-square of `df` degrees of freedom (df >= 1).
double ChiSquareUpper(double statistic, int df);

// The statistic whose upper tail is `p` (0 < p <= 1) for `df` degrees: what a Fisher p-value is
// turned into. Computed from the upper tail itself, so a p too small for 1 - p still gives a
// finite statistic; p = 1 gives 0.
double ChiSquareUpperQuantile(double p, int df);

}  // namespace haplovex::gof
