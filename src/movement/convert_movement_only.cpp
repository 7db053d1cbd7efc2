#include "movement/convert_movement_only.h"

#include <string>

#include "movement/cohort_statements.h"
#include "movement/labels.h"
#include "movement/parameters.h"
#include "movement/runs.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/count_table.h"
#include "tabulate/record.h"
#include "tabulate/summary.h"

namespace haplovex {

void convert_movement_only(ConversionSettings& s, RunFiles& files) {
  files.console.Free(AllocatingLine(s));
  CohortTables tables(s);
  files.console.Free(GcodesLine(s));
  files.console.Free(ObsfmtLine(s));
  tables.ReadAll(files);

  const int64_t npar = MovementParameters(s).npar();
  std::string lbl = AllocateLabels(npar, kLabelWidth, "lbl");
  WriteCountLines(files.console, tables.nrec(), tables.nanim(), npar);

  WriteMovementModelStatement(s, npar, files.out);
  WriteMovementCohorts(s, tables, files.out);
  WriteMovementLabels(s, lbl, files.out);
  WriteMovementRuns(s, lbl, files.out);
  WriteMovementSummary(s, tables, files);
  tables.Release();
}

}  // namespace haplovex
