// The estimation runs of the memory model, written after the labels, and the closing line:
//
//   NOMEM      always: transitions the same whatever the previous stratum
//   MEM1       model set 1 with three strata or more: the previous stratum matters only
//              through whether the animal returns to it
//   MEM_FULL   always: the full memory model
//    PROC TEST;
//
// Constraints quote the 20-character labels of LBL and cover the numbers 1..G*B.
#pragma once

#include <string>
#include <vector>

#include "common/text_file.h"
#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// Returns the names of the runs written, in order. REQUIRES: lbl holds the labels written by
// WriteMemoryLabels; nyrs >= 3.
std::vector<std::string> WriteMemoryRuns(const ConversionSettings& s, const LabelTable& lbl,
                                         OutputFile& out);

}  // namespace haplovex
