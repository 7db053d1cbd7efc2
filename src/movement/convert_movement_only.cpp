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
  WriteCountLines(files.console, tables.nrec(), tables.nanim(), npar);
  files.checks.npar = npar;
  files.checks.npar_digits = kMovementLayout.number_width;
  WriteMovementModel(s, npar, tables, files.out);
  WriteMovementLabels(s, lbl, files.out);
  WriteMovementRuns(s, lbl, files.out);
  WriteMovementSummary(s, tables, files);
  if (files.releases != nullptr && files.transitions != nullptr) {
    WriteMovementTidyTables(s, tables, *files.releases, *files.transitions);
  }
  if (files.want_digest) {
    files.digest.records = tables.nrec();
    files.digest.animals = tables.nanim();
    files.digest.strata = s.nstrata;
    files.digest.periods = s.nyrs;
    DigestMovementTransitions(s, tables, files.digest);
  }
}

}  // namespace haplovex
