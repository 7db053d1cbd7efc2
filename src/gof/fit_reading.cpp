#include "gof/fit_reading.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "common/format.h"

namespace haplovex::gof {
namespace {

// What a rejecting test points to and what to do about it, a row per test (the multi-state
// test first, then the single-state one it matches).
struct Advice {
  std::string_view multi, single;
  const char* points_to;
  const char* to_do;
};

constexpr const char* kTwoAgeClasses =
    "survival of the first interval after marking apart from the rest: two age classes by time "
    "since marking (answer 2 age classes, every age increment 1: with --inp every animal enters the "
    "first class at marking; by columns, an age column holding the first age code in every record)";

constexpr Advice kAdvice[] = {
    {"3G.SR", "3.SR", "transients: newly marked animals seen again less often than earlier marked ones",
     kTwoAgeClasses},
    {"3G.Sm", "3.SM",
     "when and where animals are next seen differs with their past (newly or earlier marked, the "
     "stratum before)",
     "a composite test: look at its components (heterogeneity, or memory); no single model removes it"},
    {"WBWA", "", "memory: animals go back to where they were before",
     "HAPLOVEX's memory-movement model sets 1 or 3 (3 with the S-M parameterization)"},
    {"M.ITEC", "2.CT", "trap-dependence: caught now makes caught next time more (or less) likely",
     "a model with trap-dependence in capture"},
    {"M.LTEC", "2.CL", "long-term trap-dependence", "as for trap-dependence, over longer lags"},
};

const Advice* AdviceOf(const std::string& name) {
  for (const Advice& a : kAdvice) {
    if (name == a.multi || name == a.single) return &a;
  }
  return nullptr;
}

bool IsTransience(const std::string& name) { return name == "3G.SR" || name == "3.SR"; }
bool IsTrapDependence(const std::string& name) { return name == "M.ITEC" || name == "2.CT"; }

// Sparse components making more than this share of the headline statistic are named.
constexpr double kSparseShare = 0.25;

// Sum over the components of the sign of the excess times the root of the statistic.
double SignedSum(const TestResult& test) {
  double sum = 0;
  for (const Component& c : test.components) {
    if (c.excess != 0) sum += std::copysign(std::sqrt(c.statistic), c.excess);
  }
  return sum;
}

std::string PValue(double p) { return p < 0.0001 ? "p < 0.0001" : "p = " + Decimals(p, 4); }

// What a named test points to and what to do, by its table and, for the tests of 2x2 tables,
// the way the animals differ. `accounted`: the model suggested takes the test out of c-hat.
std::string WhatItSays(const TestResult& t, bool* accounted) {
  const Advice* advice = AdviceOf(t.name);
  *accounted = false;
  if (IsTransience(t.name) && !NewlyMarkedSeenLess(t)) {
    return "the newly marked are seen again more often than earlier marked ones, which is not "
           "transience; look at its components";
  }
  std::string points_to = advice->points_to;
  if (t.name == "2.CT") {
    points_to = TrapHappy(t) ? "trap-happy: caught now makes caught next time more likely"
                             : "trap-shy: caught now makes caught next time less likely";
  }
  *accounted = IsTransience(t.name) || IsTrapDependence(t.name);
  return points_to + "; what to do: " + advice->to_do;
}

// The tests of `set` named, largest statistic first.
std::vector<const TestResult*> Named(const std::vector<TestResult>& set) {
  std::vector<const TestResult*> named;
  for (const TestResult& t : set) {
    if (t.tested() && t.p < kNamedBelow && AdviceOf(t.name) != nullptr) named.push_back(&t);
  }
  std::stable_sort(named.begin(), named.end(),
                   [](const TestResult* a, const TestResult* b) { return a->statistic > b->statistic; });
  return named;
}

// "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// c-hat once the model suggested takes the `accounted` tests out of `overall`.
std::string AfterTheModel(const TestResult& overall, const std::vector<const TestResult*>& accounted) {
  std::vector<TestResult> left(1);
  static_cast<Figures&>(left[0]) = overall;
  std::vector<std::string> names;
  for (const TestResult* t : accounted) {
    left[0].statistic -= t->statistic;
    left[0].df -= t->df;
    names.push_back(t->name);
  }
  TestResult rest = SumOfTests(overall.name + " less " + Listed(names), left);
  if (rest.statistic < 0) rest.statistic = 0;  // the rounding of a sum that should be 0
  return "Once the model suggested is fitted, " + Listed(names) + " " +
         (names.size() > 1 ? "are" : "is") + " accounted for: " +
         (rest.tested() ? CHatLine(rest) : "no degree of freedom is left to test it") + ".";
}

// Where the sparse components of `set` make over a quarter of `overall`'s statistic, the
// sentence that names them; else empty.
std::string SparseShare(const TestResult& overall, const std::vector<TestResult>& set) {
  double statistic = 0;
  std::vector<std::string> places;
  for (const TestResult& t : set) {
    for (const Component& c : t.components) {
      if (!c.sparse()) continue;
      statistic += c.statistic;
      places.push_back(t.name + " period " + std::to_string(c.occasion));
    }
  }
  if (places.empty() || !(statistic > kSparseShare * overall.statistic)) return {};
  return "Components tested by chi-square with an expected count below 2 (sparse: " + Listed(places) + ") make " +
         std::to_string(std::lround(100 * statistic / overall.statistic)) + "% of " + overall.name +
         ": its c-hat leans on small counts.";
}

}  // namespace

bool NewlyMarkedSeenLess(const TestResult& test) {
  if (test.name == "3.SR") return SignedSum(test) > 0;
  double excess = 0;
  for (const Component& c : test.components) excess += c.excess;
  return excess < 0;
}

bool TrapHappy(const TestResult& test) { return SignedSum(test) < 0; }

std::vector<std::string> Reading(const GroupFit& g) {
  const TestResult& overall = HeadlineTest(g);
  const std::vector<TestResult>& set = g.one_stratum ? g.single : g.multi;
  std::vector<std::string> lines;
  const std::vector<const TestResult*> named = Named(set);
  std::vector<const TestResult*> accounted;
  bool memory = false;
  if (!named.empty()) {
    lines.push_back("Tests with p below 0.05, the largest share of " + overall.name + " first:");
  }
  for (const TestResult* t : named) {
    bool removed = false;
    const std::string says = WhatItSays(*t, &removed);
    if (removed) accounted.push_back(t);
    memory = memory || t->name == "WBWA";
    const long share = overall.statistic > 0 ? std::lround(100 * t->statistic / overall.statistic) : 0;
    lines.push_back("- " + t->name + ", " + std::to_string(share) + "% of " + overall.name + " (" +
                    Decimals(t->statistic, 3) + " on " + std::to_string(t->df) + " df, " + PValue(t->p) +
                    "): " + says + ".");
  }
  if (!accounted.empty()) lines.push_back(AfterTheModel(overall, accounted));
  const std::string sparse = SparseShare(overall, set);
  if (!sparse.empty()) lines.push_back(sparse);
  if (memory) {
    lines.push_back(
        "These tests check the model without memory, so a memory model's c-hat cannot be read from them.");
  }
  if (g.one_stratum) {
    lines.push_back(
        "With one stratum the multi-state tests below add nothing: M.ITEC and M.LTEC repeat 2.CT and 2.CL "
        "by chi-square alone (where 2.CT turns to Fisher's test), and c-hat is CJS's.");
  }
  return lines;
}

}  // namespace haplovex::gof
