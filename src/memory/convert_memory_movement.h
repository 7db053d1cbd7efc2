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

// Returns the records read, the number of parameters, the estimation runs written and the
// tables. REQUIRES: `s` as the dialogue leaves it with modset 1 or 3 and 3 <= nyrs <= 40; the
// output file holds its title line, the summary file is open and empty. Fatal conditions
// throw FatalStop.
ConversionResult<MemoryCounts> convert_memory_movement(const ConversionSettings& s,
                                                       const ConversionStreams& streams,
                                                       const ReadOptions& options);

}  // namespace haplovex
