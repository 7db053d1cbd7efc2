#include "movement/runs.h"

#include <algorithm>

#include "movement/parameters.h"
#include "prnt/constraints.h"

namespace haplovex {

namespace {

constexpr const char* kHeader = "PROC ESTIMATE NOVAR NSIG=6 MAXFN=64000 NAME=";

void Header(OutputFile& out, const std::string& name, const std::string& retain) {
  out.WriteLine(kHeader + name + ";");
  out.WriteLine("INITIAL; RETAIN=" + retain + "; CONSTRAINTS;");
}

}  // namespace

void WriteMovementRuns(const ConversionSettings& s, const std::string& lbl, OutputFile& out) {
  const MovementParameters p(s);
  RunLines lines(out, 4, lbl, kLabelWidth);
  const int64_t S = p.S, Y = p.Y, A = p.A, G = p.G;

  // Every transition of every later interval equal to that of the first interval.
  auto transitions_constant = [&](int64_t g, int64_t a) {
    for (int64_t t = 2; t <= Y - 1; ++t)
      for (int64_t i = 1; i <= S; ++i)
        for (int64_t j = 1; j <= S; ++j) lines.Equal(p.T(g, a, t, i, j), p.T(g, a, 1, i, j));
  };

  out.WriteLine(std::string(kHeader) + "MODL_D;");
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

  Header(out, "MODL_B", "MODL_D");
  for (int64_t g = 1; g <= G; ++g)
    for (int64_t a = 1; a <= A; ++a) transitions_constant(g, a);

  Header(out, "MODL_A", "MODL_B");
  for (int64_t g = 1; g <= G; ++g)
    for (int64_t a = 1; a <= std::max<int64_t>(A - 1, 1); ++a)
      for (int64_t i = 1; i <= S; ++i) lines.Fixed(p.R(g, a, Y, i), "1.0");

  if (A > 1) {
    Header(out, "1AGE_A", "MODL_A");
    for (int64_t g = 1; g <= G; ++g) {
      for (int64_t a = 2; a <= A; ++a) {
        for (int64_t t = 1; t <= Y - 1; ++t)
          for (int64_t i = 1; i <= S; ++i)
            for (int64_t j = 1; j <= S; ++j) lines.Equal(p.T(g, a, t, i, j), p.T(g, 1, t, i, j));
        for (int64_t i = 1; i <= S; ++i) lines.Fixed(p.R(g, 1, 2, i), "1.0");
      }
    }
  }

  if (G > 1) {
    Header(out, "1GRP_A", "MODL_A");
    for (int64_t g = 2; g <= G; ++g) {
      for (int64_t a = 1; a <= A; ++a) {
        for (int64_t t = 1; t <= Y - 1; ++t)
          for (int64_t i = 1; i <= S; ++i)
            for (int64_t j = 1; j <= S; ++j) lines.Equal(p.T(g, a, t, i, j), p.T(1, a, t, i, j));
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
}

}  // namespace haplovex
