// The estimation runs of the movement-only model, written after the labels: MODL_D, MODL_B,
// MODL_A, then 1AGE_A with several age classes and 1GRP_A with several groups, and the closing
// line "PROC TEST; PROC STOP;". Constraints quote the 14-character labels of lbl.
#pragma once

#include <string>

#include "common/text_file.h"
#include "runctl/settings.h"

namespace haplovex {

// REQUIRES: lbl holds the npar labels written by WriteMovementLabels.
void WriteMovementRuns(const ConversionSettings& s, const std::string& lbl, OutputFile& out);

}  // namespace haplovex
