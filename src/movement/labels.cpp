#include "movement/labels.h"

#include <string>

#include "common/format.h"
#include "movement/parameters.h"

namespace haplovex {

int32_t SurvivalDestination(int32_t smstrat, int32_t nstrata, int32_t source) {
  if (smstrat == 0) return source;
  if (smstrat <= nstrata) return smstrat;
  return source < nstrata ? nstrata : 1;
}

namespace {

// Builds "KIND(tt,a,g) " into `label`, the common start of every label.
void LabelHead(std::string& label, std::string_view kind, int64_t time, char age, char group) {
  label.assign(kind);
  AppendZeroPadded(label, time, 2);
  label += ',';
  label += age;
  label += ',';
  label += group;
  label += ") ";
}

}  // namespace

void WriteMovementLabels(const ConversionSettings& s, LabelTable& lbl, OutputFile& out) {
  const MovementParameters p(s);
  const bool sm = HasSmParameterization(s.modset);
  auto code = [](const std::string& codes, int32_t k) { return codes[static_cast<size_t>(k - 1)]; };
  LabelSection section(kMovementLayout, lbl, out);
  std::string label;
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    const char group = code(s.gcodes, g);
    for (int32_t a = 1; a <= s.nage; ++a) {
      const char age = code(s.acodes, a);
      for (int32_t t = 1; t <= s.nyrs - 1; ++t) {
        for (int32_t i = 1; i <= s.nstrata; ++i) {
          const int32_t survival = sm ? SurvivalDestination(s.smstrat, s.nstrata, i) : 0;
          for (int32_t j = 1; j <= s.nstrata; ++j) {
            if (j == survival) {
              LabelHead(label, "SRV(", t, age, group);
              label += code(s.scodes, i);
            } else {
              LabelHead(label, sm ? "MOV(" : "PHI(", t, age, group);
              label += code(s.scodes, i);
              label += code(s.scodes, j);
            }
            section.Add(label);
          }
        }
      }
      if (!p.HasCaptureBlock(a)) continue;
      // The capture block of age class a carries the code of the class after it.
      const char next_age = code(s.acodes, a + 1);
      for (int32_t t = 2; t <= s.nyrs; ++t) {
        for (int32_t i = 1; i <= s.nstrata; ++i) {
          LabelHead(label, "p(", t, next_age, group);
          label += code(s.scodes, i);
          section.Add(label);
        }
      }
    }
  }
}

}  // namespace haplovex
