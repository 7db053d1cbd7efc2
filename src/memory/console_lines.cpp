#include "memory/console_lines.h"

#include <string>

#include "common/format.h"

namespace haplovex {

namespace {

constexpr int kColumnWidth = 4;  // stratum-code columns
constexpr int kColumnsPerLine = 20;
constexpr int kCountWidth = 8;  // transition counts
constexpr int kCountsPerLine = 10;

}  // namespace

void WriteMemoryPreamble(const ConversionSettings& s, int64_t npar, Console& console) {
  console.Free(FreeLine().Text("MAX NUMBER OF PARAMETERS = ").Int(npar));
  console.Free(FreeLine().Text(" "));
  if (s.grpcol > 0) console.Free(FreeLine().Text("GCODES:").Text(s.gcodes));
  if (!s.listdata) return;
  NumberRows(
      s.nyrs, kColumnWidth, kColumnsPerLine, [&](int64_t i) { return s.Codcol(static_cast<int32_t>(i)); },
      [&](const std::string& line) { console.Line(line); });
  console.Free(FreeLine().Text("obsfmt=").Text(s.obsfmt));
}

void WriteTransitions(const ConversionSettings& s, const MemoryTables& tables, RunFiles& files) {
  auto both = [&](const std::string& line) {
    files.console.Line(line);
    files.sum.WriteLine(line);
  };
  both(FreeLine().Text("TRANSITIONS:").str());
  for (int32_t r = 1; r <= s.nstrata; ++r) {
    NumberRows(
        s.nstrata, kCountWidth, kCountsPerLine, [&](int64_t t) { return tables.btot(static_cast<int32_t>(t), r, 1, 1); },
        both);
  }
}

}  // namespace haplovex
