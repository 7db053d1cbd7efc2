#include "movement/convert_movement_only.h"

#include "movement/cohort_statements.h"
#include "movement/labels.h"
#include "movement/parameters.h"
#include "movement/runs.h"
#include "prnt/labels.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/console_lines.h"
#include "tabulate/summary.h"
#include "tabulate/tidy_tables.h"

namespace haplovex {

void convert_movement_only(ConversionSettings& s, RunFiles& files) {
  files.console.Free(AllocatingLine(s));
  CohortTables tables(s);
  files.console.Free(GcodesLine(s));
  files.console.Free(ObsfmtLine(s));
  tables.ReadAll(files);

  const int64_t npar = MovementParameters(s).npar();
  LabelTable lbl(npar, kMovementLayout.label_width, "lbl");
  ReportCounts(files, tables.nrec(), tables.nanim(), npar, kMovementLayout.number_width);
  WriteMovementModel(s, npar, tables, files.out);
  WriteMovementLabels(s, lbl, files.out);
  WriteMovementRuns(s, lbl, files.out);
  WriteMovementSummary(s, tables, files);
  HandOver(s, files, tables, WriteMovementTidyTables);
}

}  // namespace haplovex
