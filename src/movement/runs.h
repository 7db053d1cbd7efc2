// The estimation runs of the movement-only model, written after the labels: MODL_D, MODL_B,
// MODL_A, then 1AGE_A with several age classes and 1GRP_A with several groups, and the closing
// line "PROC TEST; PROC STOP;". Constraints quote the 14-character labels of lbl.
#pragma once

#include "common/text_file.h"
#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// REQUIRES: lbl holds the labels written by WriteMovementLabels.
void WriteMovementRuns(const ConversionSettings& s, const LabelTable& lbl, OutputFile& out);

}  // namespace haplovex
