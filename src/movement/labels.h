// The labels section of the movement-only model: "LABELS;" and one line per parameter,
// "S(0001)=PHI(01,A,M) AA ;". Model set 4 labels, for every source stratum, one transition
// "SRV(" (chosen by smstrat) and the others "MOV(".
#pragma once

#include <cstdint>

#include "common/text_file.h"
#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// Destination stratum whose transition from `source` is the survival parameter under the S-M
// choice `smstrat` with `nstrata` strata.
int32_t SurvivalDestination(int32_t smstrat, int32_t nstrata, int32_t source);

// Writes the section and fills `lbl`. REQUIRES: lbl holds an entry for every parameter.
void WriteMovementLabels(const ConversionSettings& s, LabelTable& lbl, OutputFile& out);

}  // namespace haplovex
