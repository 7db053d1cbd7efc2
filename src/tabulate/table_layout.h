// Where each count of a converter's tables stands: a table is laid out along named axes, the
// first fastest, each with its extent and the stride that follows from those before it. One
// layout gives a table's accessors (the count at given periods, strata, age class and group),
// the offsets late counting adds up for a capture, and the moves from a count of bt to the
// counts of n and btot it adds to.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "tabulate/count_table.h"

namespace haplovex {

// What a position along a table counts.
enum class Axis {
  kPeriod,    // the period of a release
  kPair,      // a packed pair of periods (see PairIndex): released at i, next caught at j
  kPrevious,  // the stratum caught in at the period before a release (the memory model)
  kStratum,   // the stratum released in
  kNext,      // the stratum next caught in
  kAge,       // the age class
  kGroup,     // the group
};

template <size_t N>
class TableLayout {
 public:
  struct Dimension {
    Axis axis;
    int64_t extent;
  };

  // The axes from the fastest on.
  explicit TableLayout(const std::array<Dimension, N>& dimensions) : dimensions_(dimensions) {
    int64_t stride = 1;
    for (size_t k = 0; k < N; ++k) {
      strides_[k] = stride;
      stride *= dimensions[k].extent;
    }
    size_ = stride;
  }

  // Counts in the table.
  int64_t size() const { return size_; }
  // The extents from the fastest axis on, as the table is allocated.
  std::array<int64_t, N> extents() const {
    std::array<int64_t, N> extents;
    for (size_t k = 0; k < N; ++k) extents[k] = dimensions_[k].extent;
    return extents;
  }
  // How far apart two counts one apart along `axis` stand; 0 for an axis the table lacks.
  int64_t stride(Axis axis) const {
    const size_t k = Find(axis);
    return k < N ? strides_[k] : 0;
  }
  // The offset of the count at the given positions, 1-based, along the axes from the fastest.
  template <std::integral... Position>
    requires(sizeof...(Position) == N)
  size_t Offset(Position... at) const {
    const std::array<int64_t, N> positions = {static_cast<int64_t>(at)...};
    int64_t offset = 0;
    for (size_t k = 0; k < N; ++k) offset += (positions[k] - 1) * strides_[k];
    return static_cast<size_t>(offset);
  }
  // The part of an offset that position `at` (1-based) along `axis` makes.
  int64_t Part(Axis axis, int64_t at) const { return (at - 1) * stride(axis); }
  // The 0-based position along `axis` of the count at `offset`; 0 for an axis the table lacks.
  int64_t Position(int64_t offset, Axis axis) const {
    const size_t k = Find(axis);
    if (k == N || dimensions_[k].extent <= 0) return 0;
    return offset / strides_[k] % dimensions_[k].extent;
  }
  // The offset of the count that stands where the count at `offset` of the table laid out by
  // `other` stands along every axis of this table (position 0 along those `other` lacks).
  template <size_t M>
  int64_t Across(const TableLayout<M>& other, int64_t offset) const {
    int64_t across = 0;
    for (size_t k = 0; k < N; ++k) across += other.Position(offset, dimensions_[k].axis) * strides_[k];
    return across;
  }

 private:
  size_t Find(Axis axis) const {
    size_t k = 0;
    while (k < N && dimensions_[k].axis != axis) ++k;
    return k;
  }

  std::array<Dimension, N> dimensions_;
  std::array<int64_t, N> strides_{};
  int64_t size_ = 0;
};

// A count table with its layout: read with the positions of a count, 1-based, along the axes
// from the fastest (table(i, s, a, g)).
template <size_t N>
class LaidOutTable {
 public:
  // Allocates the table, all zero; one that cannot be had stops the run naming it.
  LaidOutTable(std::string name, const TableLayout<N>& layout)
      : layout_(layout), counts_(std::move(name), layout.extents()) {}

  template <std::integral... Position>
  int32_t operator()(Position... at) const {
    return counts_.at(layout_.Offset(at...));
  }
  // Adds `freq` at `offset`, stopping the run past the largest count (see CountTable::Add).
  void Add(size_t offset, int32_t freq, int64_t record) { counts_.Add(offset, freq, record); }
  const TableLayout<N>& layout() const { return layout_; }
  CountTable& counts() { return counts_; }
  const CountTable& counts() const { return counts_; }

 private:
  TableLayout<N> layout_;
  CountTable counts_;
};

// The three tables a converter counts in, allocated in this order: n, the releases; bt, the
// next captures of those released, by pair of periods; btot, bt summed over the pairs.
template <size_t Nn, size_t Nbt, size_t Nbtot>
struct CountTables {
  CountTables(const TableLayout<Nn>& n_layout, const TableLayout<Nbt>& bt_layout,
              const TableLayout<Nbtot>& btot_layout)
      : n("n", n_layout), bt("bt", bt_layout), btot("btot", btot_layout) {}

  LaidOutTable<Nn> n;
  LaidOutTable<Nbt> bt;
  LaidOutTable<Nbtot> btot;
};

}  // namespace haplovex
