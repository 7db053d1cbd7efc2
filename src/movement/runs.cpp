#include "movement/runs.h"

#include <algorithm>
#include <string>

#include "movement/parameters.h"
#include "prnt/constraints.h"

namespace haplovex {

namespace {

// A run's header and its starting values taken from the estimates of run `retain`.
void Header(OutputFile& out, std::vector<std::string>& runs, const std::string& name,
            const std::string& retain) {
  runs.push_back(name);
  out.WriteLine(std::string(kEstimateHeader) + name + ";");
  out.WriteLine("INITIAL; RETAIN=" + retain + "; CONSTRAINTS;");
}

}  // namespace

std::vector<std::string> WriteMovementRuns(const ConversionSettings& s, const LabelTable& lbl,
                                           OutputFile& out) {
  std::vector<std::string> runs;
  const MovementParameters p(s);
  RunLines lines(out, kMovementLayout, lbl);
  const int64_t S = p.S, Y = p.Y, A = p.A, G = p.G;

  // Every transition of group g and age class a from interval `first` on, set equal to the
  // transition that `reference(t, i, j)` numbers.
  auto transitions_equal = [&](int64_t g, int64_t a, int64_t first, auto reference) {
    for (int64_t t = first; t <= Y - 1; ++t)
      for (int64_t i = 1; i <= S; ++i)
        for (int64_t j = 1; j <= S; ++j) lines.Equal(p.T(g, a, t, i, j), reference(t, i, j));
  };
  // Transitions constant over time: every later interval equal to the first.
  auto transitions_constant = [&](int64_t g, int64_t a) {
    transitions_equal(g, a, 2, [&](int64_t, int64_t i, int64_t j) { return p.T(g, a, 1, i, j); });
  };

  runs.emplace_back("MODL_D");
  out.WriteLine(std::string(kEstimateHeader) + "MODL_D;");
  lines.InitialAll(s.nstrata);
  out.WriteLine("CONSTRAINTS;");
  for (int64_t g = 1; g <= G; ++g) {
    for (int64_t a = 1; a <= A; ++a) {
      transitions_constant(g, a);
      if (!p.HasCaptureBlock(a)) continue;
      for (int64_t t = 3; t <= Y; ++t)
        for (int64_t i = 1; i <= S; ++i) lines.Equal(p.R(g, a, t, i), p.R(g, a, 2, i));
    }
  }

  Header(out, runs, "MODL_B", "MODL_D");
  for (int64_t g = 1; g <= G; ++g)
    for (int64_t a = 1; a <= A; ++a) transitions_constant(g, a);

  Header(out, runs, "MODL_A", "MODL_B");
  for (int64_t g = 1; g <= G; ++g)
    for (int64_t a = 1; a <= std::max<int64_t>(A - 1, 1); ++a)
      for (int64_t i = 1; i <= S; ++i) lines.Fixed(p.R(g, a, Y, i), "1.0");

  if (A > 1) {
    Header(out, runs, "1AGE_A", "MODL_A");
    for (int64_t g = 1; g <= G; ++g) {
      for (int64_t a = 2; a <= A; ++a) {
        transitions_equal(g, a, 1, [&](int64_t t, int64_t i, int64_t j) { return p.T(g, 1, t, i, j); });
        for (int64_t i = 1; i <= S; ++i) lines.Fixed(p.R(g, 1, 2, i), "1.0");
      }
    }
  }

  if (G > 1) {
    Header(out, runs, "1GRP_A", "MODL_A");
    for (int64_t g = 2; g <= G; ++g) {
      for (int64_t a = 1; a <= A; ++a) {
        transitions_equal(g, a, 1, [&](int64_t t, int64_t i, int64_t j) { return p.T(1, a, t, i, j); });
        if (!p.HasCaptureBlock(a)) continue;
        for (int64_t t = 2; t <= Y - 1; ++t)
          for (int64_t i = 1; i <= S; ++i) lines.Equal(p.R(g, a, t, i), p.R(1, a, t, i));
        for (int64_t i = 1; i <= S; ++i) {
          lines.Fixed(p.R(1, a, Y, i), "1.0");
          lines.Fixed(p.R(g, a, Y, i), "1.0");
        }
      }
    }
  }

  out.WriteLine("PROC TEST; PROC STOP;");
  return runs;
}

}  // namespace haplovex
