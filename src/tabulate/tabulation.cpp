#include "tabulate/tabulation.h"

#include <algorithm>

#include "common/table.h"

namespace haplovex {

DecodedRecord RecordOfPeriods(int32_t nyrs) {
  DecodedRecord rec;
  rec.ch = AllocateTable<int32_t>({nyrs}, "ch");
  rec.captures.resize(rec.ch.size());
  return rec;
}

AgeSteps::AgeSteps(const ConversionSettings& s)
    : nage_(s.nage), raises_before_(static_cast<size_t>(std::max(s.nyrs, 0)) + 1, 0) {
  for (size_t p = 2; p < raises_before_.size(); ++p) {
    const size_t interval = p - 1;
    const bool raises = interval <= s.ageinc.size() && s.ageinc[interval - 1] == '1';
    raises_before_[p] = raises_before_[p - 1] + (raises ? 1 : 0);
  }
}

}  // namespace haplovex
