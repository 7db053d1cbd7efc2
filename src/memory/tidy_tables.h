// Tidy tables of what was read (--csv) for the memory model sets: as those of the
// movement-only sets (tabulate/tidy_tables.h), each cohort and each transition also by the
// stratum the animal was caught in at the period before.
#pragma once

#include "common/text_file.h"
#include "memory/memory_tables.h"
#include "runctl/settings.h"

namespace haplovex {

void WriteMemoryTidyTables(const ConversionSettings& s, const MemoryCounts& tables,
                           OutputFile& releases, OutputFile& transitions);

}  // namespace haplovex
