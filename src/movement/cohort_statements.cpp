#include "movement/cohort_statements.h"

#include "movement/parameters.h"
#include "prnt/model_statement.h"
#include "prnt/prnt.h"
#include "tabulate/cohort_statement.h"

namespace haplovex {

void WriteMovementModel(const ConversionSettings& s, int64_t npar, const CohortCounts& tables,
                        OutputFile& out) {
  WriteModelStatement(s, npar, kMovementLayout, out);
  OutputLine line(out);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t i = 1; i <= s.nyrs - 1; ++i) {
        for (int32_t from = 1; from <= s.nstrata; ++from) {
          WriteCohortStatement(
              line, tables.n(i, from, a, g), i, s.nyrs, s.nstrata,
              [&](int64_t ij, int32_t to) { return tables.bt(ij, from, to, a, g); });
        }
      }
    }
  }
}

}  // namespace haplovex
