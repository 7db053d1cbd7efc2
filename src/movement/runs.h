// The estimation runs of the movement-only model, written after the labels: MODL_D, MODL_B,
// MODL_A, then 1AGE_A with several age classes and 1GRP_A with several groups, and the closing
// line "PROC TEST; PROC STOP;". Constraints quote the 14-character labels of lbl.
#pragma once

#include <string>
#include <vector>

#include "common/text_file.h"
#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// Returns the names of the runs written, in order. REQUIRES: lbl holds the labels written by
// WriteMovementLabels.
std::vector<std::string> WriteMovementRuns(const ConversionSettings& s, const LabelTable& lbl,
                                           OutputFile& out);

}  // namespace haplovex
