// Allocation of the run's tables: counts, stratum-code columns and labels, sized from the
// settings once per run.
//
// Sizes are computed in 64 bits and held to a limit, so that a count typed by mistake (a
// million periods) stops the run with "error allocating memory for <name>" instead of taking
// the machine's memory first; a table the system cannot give stops the run the same way.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace haplovex {

// Largest table the program will try to allocate, unless lowered with SetTableByteLimit.
inline constexpr uint64_t kMaxTableBytes = uint64_t{2} << 30;

// Lowers (or restores) the largest table size, for harnesses that run many conversions in
// one process with little memory.
void SetTableByteLimit(uint64_t bytes);

// Elements of a table with the given extents, or 0 when it would pass the table limit for
// elements of `element_size` bytes (callers treat that as an allocation failure). An extent
// of 0 or less gives an empty table.
uint64_t TableElements(std::span<const int64_t> extents, uint64_t element_size);

// A table of the given extents, every element zero; an extent of 0 or less gives an empty
// table. One that passes the limit or cannot be had stops the run with the allocation stop
// for `name`.
template <typename T>
std::vector<T> AllocateTable(std::span<const int64_t> extents, const std::string& name);
template <typename T>
std::vector<T> AllocateTable(std::initializer_list<int64_t> extents, const std::string& name) {
  return AllocateTable<T>(std::span<const int64_t>(extents.begin(), extents.size()), name);
}

// A label table of `count` entries of `width` characters, all blank, stopping the run with the
// allocation stop for `name` when it cannot be had.
std::string AllocateLabels(int64_t count, size_t width, const std::string& name);

}  // namespace haplovex
