#include "movement/cohort_statements.h"

#include "prnt/model_statement.h"
#include "prnt/prnt.h"

namespace haplovex {

void WriteMovementModelStatement(const ConversionSettings& s, int64_t npar, OutputFile& out) {
  WriteModelStatement(s, npar, 4, "", s.modset == 4, out);
}

void WriteMovementCohorts(const ConversionSettings& s, const CohortTables& tables, OutputFile& out) {
  Outline outline = BlankOutline();
  int32_t outpos = 0;
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t i = 1; i <= s.nyrs - 1; ++i) {
        for (int32_t st = 1; st <= s.nstrata; ++st) {
          PRNTA(outpos, outline, "COHORT=", out);
          PRNTI(outpos, outline, tables.n(i, st, a, g), out);
          PRNTA(outpos, outline, ";", out);
          for (int32_t j = i + 1; j <= s.nyrs; ++j) {
            const int64_t ij = PairIndex(i, j, s.nyrs);
            for (int32_t s2 = 1; s2 <= s.nstrata; ++s2) {
              PRNTI(outpos, outline, tables.bt(ij, st, s2, a, g), out);
              PRNTA(outpos, outline, ":;", out);
            }
          }
          EndLine(outpos, outline, out);
        }
      }
    }
  }
}

}  // namespace haplovex
