#include "tabulate/summary.h"

#include "common/format.h"

namespace haplovex {

namespace {
constexpr int kCountsPerLine = 6;
constexpr int kCountWidth = 6;
}  // namespace

void WriteMovementSummary(const ConversionSettings& s, const CohortTables& tables, RunFiles& files) {
  const FreeLine heading = FreeLine().Text("MOVEMENT TRANSITIONS:");
  files.console.Free(heading);
  files.sum.WriteLine(FreeLine().Text(s.title).str());
  files.sum.WriteLine(heading.str());
  auto both = [&](const std::string& line) {
    files.console.Line(line);
    files.sum.WriteLine(line);
  };
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      both(FreeLine().Text("GROUP ").Int(g).Text(" AGE ").Int(a).str());
      for (int32_t from = 1; from <= s.nstrata; ++from) {
        NumberRows(
            s.nstrata, kCountWidth, kCountsPerLine,
            [&](int64_t to) { return tables.btot(static_cast<int32_t>(to), from, a, g); }, both);
      }
      both("");
    }
  }
}

}  // namespace haplovex
