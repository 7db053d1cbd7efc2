#include "tabulate/fit_counting.h"

#include <utility>

namespace haplovex {

FitCounting::FitCounting(const ConversionSettings& s, const ReadOptions& options)
    : on_(options.gof), periods_(s.nyrs), strata_(s.nstrata), groups_(s.ngroups) {}

FitCounting::Tally FitCounting::EmptyTally() const {
  Tally tables;
  tables.reserve(static_cast<size_t>(groups_));
  for (int32_t g = 0; g < groups_; ++g) tables.emplace_back(periods_, strata_);
  return tables;
}

bool FitCounting::Merge(std::vector<Tally>& tallies) {
  tables_ = std::move(tallies.front());
  for (size_t k = 1; k < tallies.size(); ++k) {
    for (size_t g = 0; g < tables_.size(); ++g) tables_[g].Merge(tallies[k][g]);
  }
  return true;
}

}  // namespace haplovex
