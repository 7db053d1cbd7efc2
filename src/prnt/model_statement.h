// The model statement that opens both model writers' part of HAPLOVEX.OUT, after the title:
//
//   PROC MODEL NPAR=0012 ADDCELL NAGE=1 NYRS=03 STRATA=2 NGROUPS=1
//     ;
//
// The writers differ in the width of NPAR and in the words after ADDCELL; with the S-M
// parameterization the second line is "  PHIMISS=" and smstrat in two digits, then ";".
#pragma once

#include <cstdint>
#include <string_view>

#include "common/text_file.h"
#include "runctl/settings.h"

namespace haplovex {

// `addcell` is what stands between "ADDCELL" and " NAGE=" (empty, or " MEMORY").
void WriteModelStatement(const ConversionSettings& s, int64_t npar, int npar_width,
                         std::string_view addcell, bool phimiss, OutputFile& out);

}  // namespace haplovex
