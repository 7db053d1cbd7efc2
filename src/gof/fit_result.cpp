#include "gof/fit_result.h"

#include "gof/distributions.h"

namespace haplovex::gof {

Figures Judged(Method method, double statistic, int df, double p) {
  if (df <= 0) return Figures{};
  return Figures{.method = method, .statistic = statistic, .df = df, .p = p};
}

Figures ChiSquareJudged(Method method, double statistic, int df) {
  return Judged(method, statistic, df, df > 0 ? ChiSquareUpper(statistic, df) : 1.0);
}

namespace {

// The sum of `parts` (components or tests) in order, read as a chi-square.
template <typename Parts>
Figures SumOf(const Parts& parts) {
  double statistic = 0;
  int df = 0;
  for (const Figures& part : parts) {
    statistic += part.statistic;
    df += part.df;
  }
  return ChiSquareJudged(Method::kChiSquare, statistic, df);
}

}  // namespace

void SumComponents(TestResult* test) { static_cast<Figures&>(*test) = SumOf(test->components); }

TestResult SumOfTests(const std::string& name, const std::vector<TestResult>& tests) {
  TestResult sum;
  static_cast<Figures&>(sum) = SumOf(tests);
  sum.name = name;
  return sum;
}

}  // namespace haplovex::gof
