#include "tabulate/fit_tables.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

namespace haplovex::gof {
namespace {

constexpr uint64_t kMostBytes = std::numeric_limits<uint64_t>::max();

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
  uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? kMostBytes : product;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? kMostBytes : sum;
}

// Cells of all the basic tables T(i, l), i = 1..periods-1, l = 1..strata: strata x (strata+1)
// rows x columns, where the columns over i add up to strata x (1 + ... + periods-1) + periods-1;
// and the spare cells, (periods + 1) x strata + 1.
uint64_t TableCells(int periods, int strata) {
  const uint64_t a = static_cast<uint64_t>(strata);
  const uint64_t k = static_cast<uint64_t>(periods);
  const uint64_t spare = SaturatingAdd(SaturatingMul(k + 1, a), 1);
  if (periods < 2) return spare;
  const uint64_t triangle = k % 2 == 0 ? SaturatingMul(k / 2, k - 1) : SaturatingMul(k, (k - 1) / 2);
  const uint64_t columns = SaturatingAdd(SaturatingMul(a, triangle), k - 1);
  return SaturatingAdd(SaturatingMul(SaturatingMul(a, a + 1), columns), spare);
}

// The captures of a record given as sites (0: not caught), one at a time, as Layout::Record
// takes them. Most periods of most records are empty, so runs of eight empty periods are
// skipped at once.
class SiteCaptures {
 public:
  explicit SiteCaptures(std::span<const uint8_t> sites) : sites_(sites) {}
  bool Next(int32_t& period, int32_t& stratum) {
    while (at_ + sizeof(uint64_t) <= sites_.size()) {
      uint64_t eight = 0;
      std::memcpy(&eight, sites_.data() + at_, sizeof eight);
      if (eight != 0) break;
      at_ += sizeof eight;
    }
    while (at_ < sites_.size() && sites_[at_] == 0) ++at_;
    if (at_ == sites_.size()) return false;
    period = static_cast<int32_t>(at_) + 1;
    stratum = sites_[at_++];
    return true;
  }

 private:
  std::span<const uint8_t> sites_;
  size_t at_ = 0;
};

}  // namespace

FitTables::FitTables(int periods, int strata)
    : periods_(periods),
      strata_(strata),
      first_cell_(static_cast<size_t>(periods) + 1, 0),
      row_(static_cast<size_t>(periods + 1) * static_cast<size_t>(strata) * static_cast<size_t>(strata + 1), 0) {
  size_t cells = 0;
  for (int i = 1; i <= periods - 1; ++i) {
    first_cell_[static_cast<size_t>(i)] = cells;
    for (int l = 1; l <= strata; ++l) {
      for (int before = 0; before <= strata; ++before) {
        row_[static_cast<size_t>((i * strata + l - 1) * (strata + 1) + before)] =
            Offset(i, l) + static_cast<size_t>(before) * static_cast<size_t>(Columns(i));
      }
    }
    cells += static_cast<size_t>(strata) * static_cast<size_t>(strata + 1) * static_cast<size_t>(Columns(i));
  }
  // The spare cells: the pair before a first capture lands up to periods x strata cells past
  // them, and a capture at the last period makes a "row" of one cell for each stratum before.
  spare_ = cells;
  for (int l = 1; l <= strata; ++l) {
    for (int before = 0; before <= strata; ++before) {
      row_[static_cast<size_t>((periods * strata + l - 1) * (strata + 1) + before)] =
          spare_ + static_cast<size_t>(before);
    }
  }
  cells_.assign(cells + static_cast<size_t>(periods + 1) * static_cast<size_t>(strata) + 1, 0);
}

void FitTables::Add(std::span<const uint8_t> sites, int64_t count) {
  assert(sites.size() == static_cast<size_t>(periods_));
  const auto animals = static_cast<uint32_t>(count < 0 ? -count : count);
  layout().Record(counts(), SiteCaptures(sites), animals, count > 0);
}

void FitTables::Merge(const FitTables& other) {
  assert(other.periods_ == periods_ && other.strata_ == strata_);
  for (size_t c = 0; c < cells_.size(); ++c) cells_[c] += other.cells_[c];
}

bool FitTables::operator==(const FitTables& other) const {
  return periods_ == other.periods_ && strata_ == other.strata_ &&
         std::equal(cells_.begin(), cells_.begin() + static_cast<std::ptrdiff_t>(spare_),
                    other.cells_.begin());
}

MultiStateMArray FitTables::marray() const {
  MultiStateMArray m(periods_, strata_);
  for (int t = 1; t <= periods_ - 1; ++t) {
    for (int s = 1; s <= strata_; ++s) {
      for (int row = 0; row <= strata_; ++row) {
        for (int t2 = t + 1; t2 <= periods_; ++t2) {
          for (int s2 = 1; s2 <= strata_; ++s2) {
            const int64_t animals = T(t, s, row, (t2 - t - 1) * strata_ + s2 - 1);
            if (animals != 0) m.AddPair(t, s, t2, s2, animals);
          }
        }
        const int64_t never = T(t, s, row, Columns(t) - 1);
        if (never != 0) m.AddLast(t, s, never);
      }
    }
  }
  return m;
}

int FitTables::largest_stratum_seen() const {
  int largest = 0;
  for (int t = 1; t <= periods_ - 1; ++t) {
    for (int s = 1; s <= strata_; ++s) {
      for (int row = 0; row <= strata_; ++row) {
        for (int c = 0; c < Columns(t); ++c) {
          if (T(t, s, row, c) == 0) continue;
          largest = std::max(largest, s);
          if (row > 0) largest = std::max(largest, row);
          if (c < Columns(t) - 1) largest = std::max(largest, c % strata_ + 1);
        }
      }
    }
  }
  return largest;
}

uint64_t FitTables::BytesFor(int periods, int strata) {
  // Where each row starts, by period, stratum and stratum before, and where each period's
  // tables start.
  const uint64_t k = static_cast<uint64_t>(periods) + 1;
  const uint64_t a = static_cast<uint64_t>(strata);
  const uint64_t places = SaturatingAdd(SaturatingMul(SaturatingMul(k, a), a + 1), k);
  return SaturatingAdd(SaturatingMul(TableCells(periods, strata), sizeof(uint32_t)),
                       SaturatingMul(places, sizeof(size_t)));
}

}  // namespace haplovex::gof
