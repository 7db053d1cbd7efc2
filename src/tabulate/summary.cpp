#include "tabulate/summary.h"

namespace haplovex {

namespace {
constexpr int kCountsPerLine = 6;
constexpr int kCountWidth = 6;
}  // namespace

void WriteToBoth(const ConversionStreams& streams, std::string_view line) {
  streams.console.Line(line);
  streams.sum.WriteLine(line);
}

void WriteMovementSummary(const ConversionSettings& s, const CohortCounts& tables,
                          const ConversionStreams& streams) {
  const FreeLine heading = FreeLine().Text("MOVEMENT TRANSITIONS:");
  streams.console.Free(heading);
  streams.sum.WriteLine(FreeLine().Text(s.title).str());
  streams.sum.WriteLine(heading.str());
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      WriteToBoth(streams, FreeLine().Text("GROUP ").Int(g).Text(" AGE ").Int(a).str());
      WriteTransitionRows(streams, s.nstrata, kCountWidth, kCountsPerLine,
                          [&](int32_t from, int32_t to) { return tables.btot(to, from, a, g); });
      WriteToBoth(streams, "");
    }
  }
}

}  // namespace haplovex
