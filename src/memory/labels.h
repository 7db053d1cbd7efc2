// The labels section of the memory model: "LABELS;" and one line per parameter of the group
// blocks, "S(00001)=PHI(00002) M AAA      ;" (the label padded to 20 characters, then "  ;").
//
//   PHI(ppppp) g qrs    transition from r at period p to s, after q at p-1 (model set 1)
//   MOV(ppppp) g qrs    the same, model set 3, transitions not replaced
//   SRV(ppppp) g qr     model set 3, the transitions smstrat replaces by survival
//   p(ppppp) g q        capture probability at period p in q
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_file.h"
#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// Name of the transition from stratum r to next stratum s: "PHI" in model set 1; in model set
// 3 "SRV" when smstrat is s, or is 0 and s = r, or is nstrata+1 and s != r; otherwise "MOV".
std::string_view MemoryTransitionName(const ConversionSettings& s, int32_t r, int32_t next);

// Writes the section and fills LBL entries 1..G*B. REQUIRES: lbl holds NPAR entries,
// NPAR >= G*B.
void WriteMemoryLabels(const ConversionSettings& s, LabelTable& lbl, OutputFile& out);

}  // namespace haplovex
