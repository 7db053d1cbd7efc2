// The memory converter's own console lines, before reading and at the end:
//
//    MAX NUMBER OF PARAMETERS =           20
//                                          (a line whose only item is one blank)
//    GCODES:MF                             (only with a group column; all 26 characters)
//      1   2   3                           (only with listdata: the stratum-code columns,
//    obsfmt=(I 2)                           20 a line, then the frequency format)
//   ...
//    TRANSITIONS:                          (on the console and as the whole of HAPLOVEX.SUM:
//          0       1                        btot of group 1, age class 1; a row per stratum
//          0       0                        released from, a column per next stratum)
#pragma once

#include <cstdint>

#include "common/console.h"
#include "memory/memory_tables.h"
#include "runctl/settings.h"
#include "tabulate/conversion.h"

namespace haplovex {

// REQUIRES: codcol holds nyrs columns.
void WriteMemoryPreamble(const ConversionSettings& s, int64_t npar, Console& console);
// REQUIRES: `tables` were built for `s`; the summary file is open.
void WriteTransitions(const ConversionSettings& s, const MemoryCounts& tables,
                      const ConversionStreams& streams);

}  // namespace haplovex
