#include "movement/labels.h"

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

void WriteMovementLabels(const ConversionSettings& s, std::string& lbl, OutputFile& out) {
  const MovementParameters p(s);
  out.WriteLine("LABELS;");
  std::string label;
  std::string line;
  int64_t k = 0;
  auto emit = [&]() {
    ++k;
    line = "S(";
    AppendZeroPadded(line, k, 4);
    line += ")=";
    line += label;
    line += " ;";
    out.WriteLine(line);
    lbl.replace(static_cast<size_t>(k - 1) * kLabelWidth, kLabelWidth, Padded(label, kLabelWidth));
  };
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    const char group = s.gcodes[static_cast<size_t>(g - 1)];
    for (int32_t a = 1; a <= s.nage; ++a) {
      const char age = s.acodes[static_cast<size_t>(a - 1)];
      for (int32_t t = 1; t <= s.nyrs - 1; ++t) {
        for (int32_t i = 1; i <= s.nstrata; ++i) {
          const char source = s.scodes[static_cast<size_t>(i - 1)];
          const int32_t survival =
              s.modset == 4 ? SurvivalDestination(s.smstrat, s.nstrata, i) : 0;
          for (int32_t j = 1; j <= s.nstrata; ++j) {
            if (s.modset == 4 && j == survival) {
              LabelHead(label, "SRV(", t, age, group);
              label += source;
            } else {
              LabelHead(label, s.modset == 4 ? "MOV(" : "PHI(", t, age, group);
              label += source;
              label += s.scodes[static_cast<size_t>(j - 1)];
            }
            emit();
          }
        }
      }
      if (!p.HasCaptureBlock(a)) continue;
      // The capture block of age class a carries the code of the class after it.
      const char next_age = s.acodes[static_cast<size_t>(a)];
      for (int32_t t = 2; t <= s.nyrs; ++t) {
        for (int32_t i = 1; i <= s.nstrata; ++i) {
          LabelHead(label, "p(", t, next_age, group);
          label += s.scodes[static_cast<size_t>(i - 1)];
          emit();
        }
      }
    }
  }
}

}  // namespace haplovex
