#include "memory/console_lines.h"

#include <string>

#include "common/format.h"
#include "tabulate/summary.h"

namespace haplovex {

namespace {

constexpr int kCountWidth = 8;  // transition counts
constexpr int kCountsPerLine = 10;

}  // namespace

void WriteMemoryPreamble(const ConversionSettings& s, int64_t npar, Console& console) {
  console.Free(FreeLine().Text("MAX NUMBER OF PARAMETERS = ").Int(npar));
  console.Free(FreeLine().Text(" "));
  if (s.grpcol > 0) console.Free(FreeLine().Text("GCODES:").Text(s.gcodes));
  if (!s.listdata) return;
  console.ColumnRows(s.nyrs, [&](int64_t i) { return s.Codcol(static_cast<int32_t>(i)); });
  console.Free(FreeLine().Text("obsfmt=").Text(s.obsfmt));
}

void WriteTransitions(const ConversionSettings& s, const MemoryCounts& tables,
                      const ConversionStreams& streams) {
  WriteToBoth(streams, FreeLine().Text("TRANSITIONS:").str());
  WriteTransitionRows(streams, s.nstrata, kCountWidth, kCountsPerLine,
                      [&](int32_t r, int32_t t) { return tables.btot(t, r, 1, 1); });
}

}  // namespace haplovex
