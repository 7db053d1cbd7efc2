#include "prnt/model_statement.h"

#include <string>

#include "common/format.h"

namespace haplovex {

void WriteModelStatement(const ConversionSettings& s, int64_t npar, int npar_width,
                         std::string_view addcell, bool phimiss, OutputFile& out) {
  std::string line = "PROC MODEL NPAR=";
  AppendZeroPadded(line, npar, npar_width);
  line += " ADDCELL";
  line += addcell;
  line += " NAGE=";
  AppendInt(line, s.nage, 1);
  line += " NYRS=";
  AppendZeroPadded(line, s.nyrs, 2);
  line += " STRATA=";
  AppendInt(line, s.nstrata, 1);
  line += " NGROUPS=";
  AppendInt(line, s.ngroups, 1);
  out.WriteLine(line);
  if (phimiss) {
    out.WriteLine("  PHIMISS=" + ZeroPadded(s.smstrat, 2) + ";");
  } else {
    out.WriteLine("  ;");
  }
}

}  // namespace haplovex
