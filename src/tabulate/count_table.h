// Count tables: multi-dimensional arrays of counts indexed from 1, first index fastest, sized
// from the settings once per run.
//
// Sizes are computed in 64 bits; a table that cannot be had stops the run with the stop
// "error allocating memory for <name>". Counts are added with a check: a count that would pass
// 999,999,999 (the most the data cells can write) stops the run instead of wrapping.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace haplovex {

// Largest count any table or total may hold: the data cells write at most nine digits.
inline constexpr int64_t kMaxCount = 999999999;
// Largest table the program will try to allocate, unless lowered with SetTableByteLimit.
inline constexpr uint64_t kMaxTableBytes = uint64_t{2} << 30;

// Lowers (or restores) the largest table size, for harnesses that run many conversions in
// one process with little memory.
void SetTableByteLimit(uint64_t bytes);

// Elements of a table with the given extents, or 0 when it would pass the table limit for
// elements of `element_size` bytes (callers treat that as an allocation failure). An extent
// of 0 or less gives an empty table.
uint64_t TableElements(std::initializer_list<int64_t> extents, uint64_t element_size);

// Allocates `elements` zeroed values, stopping the run with the allocation stop for `name`
// when they cannot be had. `elements` of 0 with a non-empty request means "too large".
template <typename T>
std::vector<T> AllocateTable(std::initializer_list<int64_t> extents, const std::string& name);

// A label table of `count` entries of `width` characters, all blank, stopping the run with the
// allocation stop for `name` when it cannot be had.
std::string AllocateLabels(int64_t count, size_t width, const std::string& name);

class CountTable {
 public:
  CountTable() = default;
  // Allocates a zeroed table of the given extents, stopping the run when it cannot be had.
  CountTable(std::string name, std::initializer_list<int64_t> extents);

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
  const std::string& name() const { return name_; }
  void Release() {
    counts_.clear();
    counts_.shrink_to_fit();
  }

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
