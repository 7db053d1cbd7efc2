#include "memory/runs.h"

#include "common/format.h"
#include "memory/parameters.h"
#include "prnt/constraints.h"

namespace haplovex {

std::vector<std::string> WriteMemoryRuns(const ConversionSettings& s, const LabelTable& lbl,
                                         OutputFile& out) {
  const MemoryParameters p(s);
  RunLines lines(out, kMemoryLayout, lbl);
  const int64_t S = p.S, G = p.G, blocks = p.T - 2;
  auto last_captures = [&](int64_t g, std::string_view value) {
    for (int64_t r = 1; r <= S; ++r) lines.Fixed(p.P(g, p.T, r), value);
  };

  lines.Header("NOMEM", " ");
  lines.InitialAll(s.nstrata);
  out.WriteLine(FreeLine().Text("CONSTRAINTS;").str());
  for (int64_t g = 1; g <= G; ++g) {
    for (int64_t ip = 1; ip <= blocks; ++ip)
      for (int64_t q = 2; q <= S; ++q)
        for (int64_t r = 1; r <= S; ++r)
          for (int64_t t = 1; t <= S; ++t) lines.Equal(p.X(g, ip, q, r, t), p.X(g, ip, 1, r, t));
    last_captures(g, "1.0");
  }

  if (s.modset == ModelSet::kMemoryMovement && S > 2) {
    lines.Header("MEM1", " ");
    out.WriteLine("INITIAL; RETAIN=NOMEM;");
    out.WriteLine("CONSTRAINTS;");
    // Every previous stratum other than the next one shares the value of the first such.
    for (int64_t g = 1; g <= G; ++g) {
      for (int64_t ip = 1; ip <= blocks; ++ip) {
        for (int64_t q = 2; q <= S; ++q) {
          for (int64_t r = 1; r <= S; ++r) {
            for (int64_t t = 1; t <= S; ++t) {
              if (t != 1 && t != q) lines.Equal(p.X(g, ip, q, r, t), p.X(g, ip, 1, r, t));
              if (q != 2 && t != 2 && t != q) lines.Equal(p.X(g, ip, q, r, t), p.X(g, ip, 2, r, t));
            }
          }
        }
      }
      last_captures(g, "1.0");
    }
  }

  lines.Header("MEM_FULL", " ");
  out.WriteLine(FreeLine().Text("INITIAL; RETAIN=NOMEM; CONSTRAINTS;").str());
  for (int64_t g = 1; g <= G; ++g) last_captures(g, "0.5");

  out.WriteLine(FreeLine().Text("PROC TEST;").str());
  return lines.runs();
}

}  // namespace haplovex
