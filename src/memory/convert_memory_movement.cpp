#include "memory/convert_memory_movement.h"

#include <utility>

#include "memory/console_lines.h"
#include "memory/labels.h"
#include "memory/parameters.h"
#include "memory/runs.h"
#include "prnt/labels.h"
#include "tabulate/cohort_statement.h"
#include "tabulate/console_lines.h"

namespace haplovex {

ConversionResult<MemoryCounts> convert_memory_movement(const ConversionSettings& s,
                                                       const ConversionStreams& streams,
                                                       const ReadOptions& options) {
  const int64_t npar = MemoryParameters(s).npar();
  MemoryTables tables(s);
  WriteMemoryPreamble(s, npar, streams.console);
  RecordsRead read = tables.ReadAll(streams.input, streams.console, options);
  WriteCountLines(streams.console, read.records, read.animals, npar);

  LabelTable lbl(npar, kMemoryLayout.label_width, "LBL");
  WriteModel(s, npar, kMemoryLayout, tables, /*period_blocks=*/true, streams.out);
  WriteMemoryLabels(s, lbl, streams.out);
  std::vector<std::string> runs = WriteMemoryRuns(s, lbl, streams.out);
  WriteTransitions(s, tables, streams);
  return {std::move(read), npar, kMemoryLayout.number_width, std::move(runs),
          std::move(tables).TakeTables()};
}

}  // namespace haplovex
