#include "tabulate/summary.h"

namespace haplovex {

namespace {
constexpr int kCountsPerLine = 6;
constexpr int kCountWidth = 6;
}  // namespace

void WriteToBoth(RunFiles& files, std::string_view line) {
  files.console.Line(line);
  files.sum.WriteLine(line);
}

void WriteMovementSummary(const ConversionSettings& s, const CohortTables& tables, RunFiles& files) {
  const FreeLine heading = FreeLine().Text("MOVEMENT TRANSITIONS:");
  files.console.Free(heading);
  files.sum.WriteLine(FreeLine().Text(s.title).str());
  files.sum.WriteLine(heading.str());
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      WriteToBoth(files, FreeLine().Text("GROUP ").Int(g).Text(" AGE ").Int(a).str());
      WriteTransitionRows(files, s.nstrata, kCountWidth, kCountsPerLine,
                          [&](int32_t from, int32_t to) { return tables.btot(to, from, a, g); });
      WriteToBoth(files, "");
    }
  }
}

}  // namespace haplovex
