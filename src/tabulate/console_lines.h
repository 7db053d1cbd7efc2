// Console lines of reading the records: the movement-only converter's lines before it reads
// ("allocating n(" with the four counts, then, once its tables exist, "GCODES:" and "obsfmt:"),
// and the three count lines both converters show when the input has been read.
#pragma once

#include <cstdint>

#include "common/console.h"
#include "common/format.h"
#include "runctl/settings.h"

namespace haplovex {

FreeLine AllocatingLine(const ConversionSettings& s);
FreeLine GcodesLine(const ConversionSettings& s);
FreeLine ObsfmtLine(const ConversionSettings& s);

// An empty line, the records and animals read, and the number of parameters.
void WriteCountLines(Console& console, int64_t nrec, int32_t nanim, int64_t npar);

}  // namespace haplovex
