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
#include "tabulate/tidy_tables.h"

namespace haplovex {

void convert_memory_movement(ConversionSettings& s, RunFiles& files) {
  const int64_t npar = MemoryParameters(s).npar();
  MemoryTables tables(s);
  WriteMemoryPreamble(s, npar, files.console);
  tables.ReadAll(files);
  ReportCounts(files, tables.nrec(), tables.nanim(), npar, kMemoryLayout.number_width);

  LabelTable lbl(npar, kMemoryLayout.label_width, "LBL");
  WriteMemoryModel(s, npar, tables, files.out);
  WriteMemoryLabels(s, lbl, files.out);
  WriteMemoryRuns(s, lbl, files.out);
  WriteTransitions(s, tables, files);
  HandOver(s, files, tables, WriteMemoryTidyTables);
}

}  // namespace haplovex
