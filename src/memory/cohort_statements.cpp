#include "memory/cohort_statements.h"

#include "memory/parameters.h"
#include "prnt/model_statement.h"
#include "prnt/prnt.h"
#include "tabulate/cohort_statement.h"

namespace haplovex {

void WriteMemoryModel(const ConversionSettings& s, int64_t npar, const MemoryCounts& tables,
                      OutputFile& out) {
  WriteModelStatement(s, npar, kMemoryLayout, out);
  OutputLine line(out);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t i = 2; i <= s.nyrs - 1; ++i) {
        out.WriteLine("");
        for (int32_t q = 1; q <= s.nstrata; ++q) {
          for (int32_t r = 1; r <= s.nstrata; ++r) {
            WriteCohortStatement(
                line, tables.n(i, q, r, a, g), i, s.nyrs, s.nstrata,
                [&](int64_t ij, int32_t t) { return tables.bt(ij, q, r, t, a, g); });
          }
        }
      }
    }
  }
}

}  // namespace haplovex
