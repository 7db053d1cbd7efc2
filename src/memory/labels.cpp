#include "memory/labels.h"

#include <string>

#include "common/format.h"
#include "memory/parameters.h"

namespace haplovex {

std::string_view MemoryTransitionName(const ConversionSettings& s, int32_t r, int32_t next) {
  if (!HasSmParameterization(s.modset)) return "PHI";
  const bool survival = s.smstrat == next || (s.smstrat == 0 && next == r) ||
                        (s.smstrat == s.nstrata + 1 && next != r);
  return survival ? "SRV" : "MOV";
}

void WriteMemoryLabels(const ConversionSettings& s, LabelTable& lbl, OutputFile& out) {
  auto code = [&](int32_t stratum) { return s.scodes[static_cast<size_t>(stratum - 1)]; };
  LabelSection section(kMemoryLayout, lbl, out);
  std::string label;
  // Starts a label: "NAME(ppppp) g ".
  auto head = [&](std::string_view name, int32_t period, char group) {
    label.assign(name);
    label += '(';
    AppendZeroPadded(label, period, kMemoryLayout.number_width);
    label += ") ";
    label += group;
    label += ' ';
  };
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    const char group = s.gcodes[static_cast<size_t>(g - 1)];
    for (int32_t i = 2; i <= s.nyrs - 1; ++i) {
      for (int32_t q = 1; q <= s.nstrata; ++q) {
        for (int32_t r = 1; r <= s.nstrata; ++r) {
          for (int32_t next = 1; next <= s.nstrata; ++next) {
            const std::string_view name = MemoryTransitionName(s, r, next);
            head(name, i, group);
            label += code(q);
            label += code(r);
            if (name != "SRV") label += code(next);
            section.Add(label);
          }
        }
      }
    }
    for (int32_t i = 3; i <= s.nyrs; ++i) {
      for (int32_t q = 1; q <= s.nstrata; ++q) {
        head("p", i, group);
        label += code(q);
        section.Add(label);
      }
    }
  }
}

}  // namespace haplovex
