#include "memory/convert_memory_movement.h"

#include "memory/cohort_statements.h"
#include "memory/console_lines.h"
#include "memory/labels.h"
#include "memory/memory_tables.h"
#include "memory/parameters.h"
#include "memory/runs.h"
#include "prnt/labels.h"
#include "tabulate/console_lines.h"
#include "memory/tidy_tables.h"

namespace haplovex {

void convert_memory_movement(ConversionSettings& s, RunFiles& files) {
  const int64_t npar = MemoryParameters(s).npar();
  MemoryTables tables(s);
  WriteMemoryPreamble(s, npar, files.console);
  tables.ReadAll(files);
  WriteCountLines(files.console, tables.nrec(), tables.nanim(), npar);
  files.checks.npar = npar;
  files.checks.npar_digits = kMemoryLayout.number_width;

  LabelTable lbl(npar, kMemoryLayout.label_width, "LBL");
  WriteMemoryModel(s, npar, tables, files.out);
  WriteMemoryLabels(s, lbl, files.out);
  WriteMemoryRuns(s, lbl, files.out);
  WriteTransitions(s, tables, files);
  if (files.releases != nullptr && files.transitions != nullptr) {
    WriteMemoryTidyTables(s, tables, *files.releases, *files.transitions);
  }
  if (files.want_digest) {
    files.digest.records = tables.nrec();
    files.digest.animals = tables.nanim();
    files.digest.strata = s.nstrata;
    files.digest.periods = s.nyrs;
    DigestMemoryTransitions(s, tables, files.digest);
  }
}

}  // namespace haplovex
