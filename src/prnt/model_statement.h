// The model statement that opens both model writers' part of HAPLOVEX.OUT, after the title:
//
//   PROC MODEL NPAR=0012 ADDCELL NAGE=1 NYRS=03 STRATA=2 NGROUPS=1
//     ;
//
// NPAR takes as many digits as the writer's parameter numbers; the memory model sets add
// " MEMORY" after ADDCELL; with the S-M parameterization the second line is "  PHIMISS=" and
// smstrat in two digits, then ";".
#pragma once

#include <cstdint>

#include "common/text_file.h"
#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

void WriteModelStatement(const ConversionSettings& s, int64_t npar, const ParameterLayout& layout,
                         OutputFile& out);

}  // namespace haplovex
