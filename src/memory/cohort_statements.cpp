#include "memory/cohort_statements.h"

#include "memory/parameters.h"
#include "prnt/model_statement.h"
#include "prnt/prnt.h"
#include "tabulate/cohort_tables.h"

namespace haplovex {

void WriteMemoryModelStatement(const ConversionSettings& s, int64_t npar, OutputFile& out) {
  WriteModelStatement(s, npar, kMemoryNumberWidth, " MEMORY", s.modset == 3, out);
}

void WriteMemoryCohorts(const ConversionSettings& s, const MemoryTables& tables, OutputFile& out) {
  Outline outline = BlankOutline();
  int32_t outpos = 0;
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t i = 2; i <= s.nyrs - 1; ++i) {
        out.WriteLine("");
        for (int32_t q = 1; q <= s.nstrata; ++q) {
          for (int32_t r = 1; r <= s.nstrata; ++r) {
            PRNTA(outpos, outline, "COHORT=", out);
            PRNTI(outpos, outline, tables.n(i, q, r, a, g), out);
            PRNTA(outpos, outline, ";", out);
            for (int32_t j = i + 1; j <= s.nyrs; ++j) {
              const int64_t ij = PairIndex(i, j, s.nyrs);
              for (int32_t t = 1; t <= s.nstrata; ++t) {
                PRNTI(outpos, outline, tables.bt(ij, q, r, t, a, g), out);
                PRNTA(outpos, outline, ":;", out);
              }
            }
            EndLine(outpos, outline, out);
          }
        }
      }
    }
  }
}

}  // namespace haplovex
