#include "gof/distributions.h"

#include <boost/math/distributions/chi_squared.hpp>

namespace haplovex::gof {

double ChiSquareUpper(double statistic, int df) {
  if (statistic <= 0) return 1.0;
  const boost::math::chi_squared dist(df);
  return boost::math::cdf(boost::math::complement(dist, statistic));
}

double ChiSquareUpperQuantile(double p, int df) {
  if (p >= 1.0) return 0.0;
  const boost::math::chi_squared dist(df);
  return boost::math::quantile(boost::math::complement(dist, p));
}

}  // namespace haplovex::gof
