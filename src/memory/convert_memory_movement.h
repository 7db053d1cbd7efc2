// convert_memory_movement: the converter of model sets 1 and 3 (the memory-movement model, in
// which a transition depends on the stratum before as well, and the same with the S-M
// parameterization).
//
// It tabulates every record by previous stratum, then writes to HAPLOVEX.OUT the model
// statement, the cohort statements, the labels and the estimation runs, and finally the
// transition table to the console and HAPLOVEX.SUM.
#pragma once

#include "memory/memory_tables.h"
#include "runctl/settings.h"
#include "tabulate/conversion.h"

namespace haplovex {

// Model sets 1 and 3, with 3 to 40 periods (REQUIRES), and their tables by previous stratum.
Converter<MemoryCounts> convert_memory_movement;

}  // namespace haplovex
