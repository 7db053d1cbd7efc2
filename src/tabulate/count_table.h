// Count tables: multi-dimensional arrays of counts indexed from 1, first index fastest, sized
// from the settings once per run and freed when their converter returns.
//
// Counts are added with a check: a count that would pass kMaxCount (the most a data cell can
// write) stops the run instead of wrapping.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/limits.h"

namespace haplovex {

class CountTable {
 public:
  CountTable() = default;
  // Allocates a zeroed table of the given extents, stopping the run when it cannot be had.
  CountTable(std::string name, std::span<const int64_t> extents);

  // Element at the 0-based flat offset.
  int32_t at(size_t offset) const { return counts_[offset]; }
  // Adds `freq` at the 0-based flat offset; a result above kMaxCount stops the run, naming
  // the table and the record number `record`.
  void Add(size_t offset, int32_t freq, int64_t record) {
    const int64_t sum = int64_t{counts_[offset]} + freq;
    if (sum > kMaxCount) [[unlikely]] {
      Overflow(record);
    }
    counts_[offset] = static_cast<int32_t>(sum);
  }
  size_t size() const { return counts_.size(); }
  // The counts, for filling the table from counts made elsewhere.
  int32_t* data() { return counts_.data(); }
  void Clear() { std::fill(counts_.begin(), counts_.end(), 0); }
  bool AllZero() const {
    for (int32_t count : counts_) {
      if (count != 0) return false;
    }
    return true;
  }
  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void Overflow(int64_t record) const;

  std::string name_;
  std::vector<int32_t> counts_;
};

// Stops the run: the total `what` would pass kMaxCount at record `record`.
[[noreturn]] void TotalOverflow(const char* what, int64_t record);

// Adds `freq` to a run total (such as the animals read), stopping the run when it would pass
// kMaxCount.
inline void AddToTotal(int32_t& total, int32_t freq, const char* what, int64_t record) {
  const int64_t sum = int64_t{total} + freq;
  if (sum > kMaxCount) [[unlikely]] {
    TotalOverflow(what, record);
  }
  total = static_cast<int32_t>(sum);
}

}  // namespace haplovex
