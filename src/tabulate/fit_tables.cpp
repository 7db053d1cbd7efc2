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

// Cells of all the basic tables T(i, l), i = 2..periods-1, l = 1..strata: strata x (strata+1)
// rows x columns, where the columns over i add up to strata x (1 + ... + periods-2) + periods-2.
uint64_t BasicTableCells(int periods, int strata) {
  if (periods < 3) return 0;
  const uint64_t a = static_cast<uint64_t>(strata);
  const uint64_t k = static_cast<uint64_t>(periods);
  const uint64_t triangle =
      (k - 2) % 2 == 0 ? SaturatingMul((k - 2) / 2, k - 1) : SaturatingMul(k - 2, (k - 1) / 2);
  const uint64_t columns = SaturatingAdd(SaturatingMul(a, triangle), k - 2);
  return SaturatingMul(SaturatingMul(a, a + 1), columns);
}

// The m-array's cells (marray.h): (periods x strata)^2 recaptures and periods x strata releases.
uint64_t MArrayCells(int periods, int strata) {
  const uint64_t releases =
      SaturatingMul(static_cast<uint64_t>(periods), static_cast<uint64_t>(strata));
  return SaturatingAdd(SaturatingMul(releases, releases), releases);
}

// The position of the first capture at or after `from`, or sites.size() when there is none.
// Most periods of most records are empty, so runs of eight empty periods are skipped at once.
size_t NextCapture(std::span<const uint8_t> sites, size_t from) {
  size_t p = from;
  while (p + sizeof(uint64_t) <= sites.size()) {
    uint64_t eight = 0;
    std::memcpy(&eight, sites.data() + p, sizeof eight);
    if (eight != 0) break;
    p += sizeof eight;
  }
  while (p < sites.size() && sites[p] == 0) ++p;
  return p;
}

}  // namespace

FitTables::FitTables(int periods, int strata)
    : periods_(periods),
      strata_(strata),
      first_cell_(static_cast<size_t>(periods) + 1, 0),
      marray_(periods, strata) {
  size_t cells = 0;
  for (int i = 2; i <= periods - 1; ++i) {
    first_cell_[i] = cells;
    cells += static_cast<size_t>(strata) * (strata + 1) * Columns(i);
  }
  cells_.assign(cells, 0);
}

void FitTables::Add(std::span<const uint8_t> sites, int64_t count) {
  assert(sites.size() == static_cast<size_t>(periods_));
  if (count == 0) return;
  const int64_t animals = count < 0 ? -count : count;
  const size_t end = sites.size();

  int before = 0;  // stratum of the capture before the current one; 0: none (first capture)
  size_t at = NextCapture(sites, 0);
  while (at < end) {
    const int period = static_cast<int>(at) + 1;
    const int stratum = sites[at];
    assert(stratum <= strata_);
    largest_seen_ = std::max(largest_seen_, stratum);
    const bool has_table = period >= 2 && period <= periods_ - 1;
    const size_t row =
        has_table ? Offset(period, stratum) + static_cast<size_t>(before) * Columns(period) : 0;

    const size_t next = NextCapture(sites, at + 1);
    if (next == end) {
      // Animals removed at their last capture were not released: they are in no table.
      if (count > 0) {
        if (period < periods_) marray_.AddLast(period, stratum, count);
        if (has_table) cells_[row + Columns(period) - 1] += count;
      }
      return;
    }
    const int next_period = static_cast<int>(next) + 1;
    const int next_stratum = sites[next];
    marray_.AddPair(period, stratum, next_period, next_stratum, animals);
    if (has_table) {
      cells_[row + static_cast<size_t>(next_period - period - 1) * strata_ + next_stratum - 1] +=
          animals;
    }
    before = stratum;
    at = next;
  }
}

void FitTables::Merge(const FitTables& other) {
  assert(other.periods_ == periods_ && other.strata_ == strata_);
  for (size_t c = 0; c < cells_.size(); ++c) cells_[c] += other.cells_[c];
  marray_.Merge(other.marray_);
  largest_seen_ = std::max(largest_seen_, other.largest_seen_);
}

uint64_t FitTables::BytesFor(int periods, int strata) {
  const uint64_t cells =
      SaturatingAdd(BasicTableCells(periods, strata), MArrayCells(periods, strata));
  return SaturatingMul(cells, sizeof(int64_t));
}

}  // namespace haplovex::gof
