#include "tabulate/chart_counts.h"

#include <utility>

namespace haplovex {

ChartCounts::ChartCounts(const ConversionSettings& s, const ReadOptions& options)
    : on_(options.report),
      periods_(s.nyrs),
      strata_(s.nstrata),
      groups_(s.ngroups),
      cells_(static_cast<size_t>(s.ngroups) * static_cast<size_t>(s.nyrs) *
             static_cast<size_t>(s.nstrata)) {}

void ChartCounts::Count(const DecodedRecord& rec, int64_t /*record*/) {
  const size_t group = static_cast<size_t>(rec.igrp - 1) * static_cast<size_t>(periods_ * strata_);
  for (const Capture& c : rec.Captures()) {
    by_group_[group + static_cast<size_t>((c.period - 1) * strata_ + (c.stratum - 1))] += rec.freq;
  }
}

bool ChartCounts::Merge(const std::vector<Tally>& tallies) {
  by_group_.assign(cells_, 0);
  size_t x = 0;
  for (int32_t g = 0; g < groups_; ++g) {
    for (int32_t p = 1; p <= periods_; ++p) {
      for (int32_t k = 1; k <= strata_; ++k, ++x) {
        const size_t at = static_cast<size_t>(g) * KeysOfGroup() + CaptureKey(p, k);
        for (const Tally& tally : tallies) by_group_[x] += tally[at];
      }
    }
  }
  return true;
}

ChartCounts::Result ChartCounts::TakeResult() && {
  Result result;
  if (!on_) return result;
  const size_t group_cells = cells_ / static_cast<size_t>(groups_);
  result.caught.assign(group_cells, 0);
  for (size_t x = 0; x < cells_; ++x) result.caught[x % group_cells] += by_group_[x];
  result.by_group = std::move(by_group_);
  return result;
}

}  // namespace haplovex
