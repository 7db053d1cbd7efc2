#include "tabulate/tabulation.h"

#include <algorithm>

#include "common/limits.h"
#include "common/table.h"

namespace haplovex {

bool FillChecked(CountTable& table, const std::vector<uint64_t>& counts) {
  for (uint64_t count : counts) {
    if (count > static_cast<uint64_t>(kMaxCount)) return false;
  }
  int32_t* to = table.data();
  for (size_t x = 0; x < counts.size(); ++x) to[x] = static_cast<int32_t>(counts[x]);
  return true;
}

int64_t ExtentOf(const ConversionSettings& s, Axis axis) {
  switch (axis) {
    case Axis::kPeriod:
      return s.nyrs;
    case Axis::kPair:
      return PairCount(s.nyrs);
    case Axis::kPrevious:
    case Axis::kStratum:
    case Axis::kNext:
      return s.nstrata;
    case Axis::kAge:
      return s.nage;
    case Axis::kGroup:
      return s.ngroups;
  }
  return 0;
}

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

std::vector<int32_t> AgeOffsets(int32_t nage, int32_t nyrs, int64_t block) {
  std::vector<int32_t> offsets(static_cast<size_t>(kMaxCodes + nyrs + 1), 0);
  for (size_t v = 1; v < offsets.size(); ++v) {
    offsets[v] = static_cast<int32_t>((std::min<int64_t>(static_cast<int64_t>(v), nage) - 1) * block);
  }
  return offsets;
}

}  // namespace haplovex
