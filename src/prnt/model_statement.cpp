#include "prnt/model_statement.h"

#include <string>

#include "common/format.h"

namespace haplovex {

void WriteModelStatement(const ConversionSettings& s, int64_t npar, const ParameterLayout& layout,
                         OutputFile& out) {
  std::string line = "PROC MODEL NPAR=";
  AppendZeroPadded(line, npar, layout.number_width);
  line += IsMemoryModel(s.modset) ? " ADDCELL MEMORY" : " ADDCELL";
  line += " NAGE=";
  AppendInt(line, s.nage, 1);
  line += " NYRS=";
  AppendZeroPadded(line, s.nyrs, 2);
  line += " STRATA=";
  AppendInt(line, s.nstrata, 1);
  line += " NGROUPS=";
  AppendInt(line, s.ngroups, 1);
  out.WriteLine(line);
  if (HasSmParameterization(s.modset)) {
    out.WriteLine("  PHIMISS=" + ZeroPadded(s.smstrat, 2) + ";");
  } else {
    out.WriteLine("  ;");
  }
}

}  // namespace haplovex
