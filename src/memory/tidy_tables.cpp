#include "memory/tidy_tables.h"

#include <vector>

#include "tabulate/tabulation.h"
#include "tabulate/tidy_tables.h"

namespace haplovex {

void WriteMemoryTidyTables(const ConversionSettings& s, const MemoryCounts& tables,
                           OutputFile& releases, OutputFile& transitions) {
  const auto S = static_cast<size_t>(s.nstrata);
  CsvRow row;
  for (const char* name : {"group", "age", "release_period", "previous_stratum", "release_stratum",
                           "released", "next_period", "next_stratum", "animals"}) {
    row.Text(name);
  }
  row.WriteTo(releases);
  for (const char* name : {"group", "age", "previous_stratum", "from_stratum", "to_stratum",
                           "animals"}) {
    row.Text(name);
  }
  row.WriteTo(transitions);
  const CodeFields strata(s.scodes, s.nstrata);
  const CodeFields ages(AgeCodes(s), s.nage);
  const CodeFields groups(s.gcodes, s.ngroups);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      // moved[((q - 1) * S + (r - 1)) * S + (t - 1)]: pairs after q in r, next caught in t.
      std::vector<int64_t> moved(S * S * S, 0);
      for (int32_t i = 2; i <= s.nyrs - 1; ++i) {
        for (int32_t q = 1; q <= s.nstrata; ++q) {
          for (int32_t r = 1; r <= s.nstrata; ++r) {
            const int64_t released = tables.n(i, q, r, a, g);
            CsvRow cohort;
            cohort.Fields(groups[g]).Fields(ages[a]).Number(i);
            cohort.Fields(strata[q]).Fields(strata[r]).Number(released);
            int64_t seen = 0;
            for (int32_t j = i + 1; j <= s.nyrs; ++j) {
              const int64_t ij = PairIndex(i, j, s.nyrs);
              for (int32_t t = 1; t <= s.nstrata; ++t) {
                const int64_t animals = tables.bt(ij, q, r, t, a, g);
                if (animals == 0) continue;
                row.Fields(cohort).Number(j).Fields(strata[t]).Number(animals).WriteTo(releases);
                seen += animals;
                moved[((static_cast<size_t>(q) - 1) * S + static_cast<size_t>(r) - 1) * S +
                      static_cast<size_t>(t) - 1] += animals;
              }
            }
            row.Fields(cohort).Empty().Empty().Number(released - seen).WriteTo(releases);
          }
        }
      }
      for (int32_t q = 1; q <= s.nstrata; ++q) {
        for (int32_t r = 1; r <= s.nstrata; ++r) {
          for (int32_t t = 1; t <= s.nstrata; ++t) {
            row.Fields(groups[g]).Fields(ages[a]).Fields(strata[q]).Fields(strata[r]);
            row.Fields(strata[t]);
            row.Number(moved[((static_cast<size_t>(q) - 1) * S + static_cast<size_t>(r) - 1) * S +
                             static_cast<size_t>(t) - 1]);
            row.WriteTo(transitions);
          }
        }
      }
    }
  }
}

}  // namespace haplovex
