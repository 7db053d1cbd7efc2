#include "movement/convert_movement_only.h"

#include <utility>

#include "movement/labels.h"
#include "movement/parameters.h"
#include "movement/runs.h"
#include "prnt/labels.h"
#include "tabulate/cohort_statement.h"
#include "tabulate/console_lines.h"
#include "tabulate/summary.h"

namespace haplovex {

ConversionResult<CohortCounts> convert_movement_only(const ConversionSettings& s,
                                                     const ConversionStreams& streams,
                                                     const ReadOptions& options) {
  streams.console.Free(AllocatingLine(s));
  CohortTables tables(s);
  streams.console.Free(GcodesLine(s));
  streams.console.Free(ObsfmtLine(s));
  RecordsRead read = tables.ReadAll(streams.input, streams.console, options);

  const int64_t npar = MovementParameters(s).npar();
  LabelTable lbl(npar, kMovementLayout.label_width, "lbl");
  WriteCountLines(streams.console, read.records, read.animals, npar);
  WriteModel(s, npar, kMovementLayout, tables, /*period_blocks=*/false, streams.out);
  WriteMovementLabels(s, lbl, streams.out);
  std::vector<std::string> runs = WriteMovementRuns(s, lbl, streams.out);
  WriteMovementSummary(s, tables, streams);
  return {std::move(read), npar, kMovementLayout.number_width, std::move(runs),
          std::move(tables).TakeTables()};
}

}  // namespace haplovex
