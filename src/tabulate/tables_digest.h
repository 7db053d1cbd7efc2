// What the report shows of a converter's tables, read along their named axes so that one
// reading serves both converters' tables (CountTables):
//
//   transitions   btot of each group and age class: from a stratum to the next one caught in
//   m-arrays      the animals released at each period in each stratum, the age classes summed
//                 (the memory model's: its cohorts, summed over the previous stratum), and of
//                 those the animals next caught at each later period and stratum, from n and
//                 bt: one for each group, or one of all groups summed (MArraysByGroup)
//   cohorts       how many release cohorts, how many released none, how many few, and the
//                 first of those few, in the order of the cohort statements
//
// It is made only for a run that reports: the next captures are a pass over bt, the largest
// table of a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/release_cohorts.h"

namespace haplovex {

// A cohort is sparse with fewer animals released than this (and at least one).
inline constexpr int64_t kSparseBelow = 10;
// The sparse cohorts listed, at most.
inline constexpr size_t kSparseListed = 50;

// The m-array is shown release by release up to these; a larger design is summarised by
// release period.
inline constexpr int32_t kMostPeriodsInFull = 20;
inline constexpr int32_t kMostStrataInFull = 10;

inline bool MArrayInFull(const ConversionSettings& s) {
  return s.nyrs <= kMostPeriodsInFull && s.nstrata <= kMostStrataInFull;
}

// Whether each group has an m-array of its own: where the m-array is shown in full and the
// groups' m-arrays together are no larger than one of kMostPeriodsInFull periods and
// kMostStrataInFull strata (so that a page of many groups stays the size of one such table).
// Otherwise one m-array holds all groups summed.
inline bool MArraysByGroup(const ConversionSettings& s) {
  const int64_t most_rows = int64_t{kMostPeriodsInFull - 1} * kMostStrataInFull;
  const int64_t rows = int64_t{s.nyrs - 1} * s.nstrata;
  return MArrayInFull(s) && s.ngroups * rows * rows <= most_rows * most_rows;
}

// An m-array, over the age classes: the animals released at each period i from first_release to
// periods - 1 in each stratum s, released[(i - first_release) * strata + (s - 1)], and of those
// the animals next caught at period j in stratum t, next[row * periods * strata + (j - 1) *
// strata + (t - 1)] for the row of released. The memory model sets' cohorts are those of memory
// releases (after a capture at the period before), from period 2 on, summed over the stratum of
// that capture.
struct MArray {
  std::vector<int64_t> released = {};
  std::vector<int64_t> next = {};
};

struct TablesDigest {
  // For each group and age class (group outermost), the pairs of captures from one stratum
  // (row) to the next stratum the animal was caught in (column): [(from - 1) * strata + to - 1].
  std::vector<std::vector<int64_t>> transitions = {};
  // The first release period of the m-arrays, and the m-arrays: one for each group in the
  // order of the groups where MArraysByGroup, else one of all groups summed.
  int32_t first_release = 1;
  std::vector<MArray> m_arrays = {};
  // The release cohorts, one to each cohort statement: how many, how many with no animal, how
  // many sparse (1 to kSparseBelow - 1 animals), and the first kSparseListed of those, in the
  // order of the statements.
  int64_t cohorts = 0;
  int64_t empty_cohorts = 0;
  int64_t sparse_cohorts = 0;
  std::vector<ReleaseCohort> sparse = {};
};

// Adds to `digest`'s m-arrays the next captures counted in `bt` (laid out by `layout`): a run of
// pairs for each stratum, next stratum, and previous stratum, age class and group; the previous
// strata and age classes are summed, and the groups too where the digest has one m-array.
template <size_t N>
void AddNextCaptures(const ConversionSettings& s, const CountTable& bt, const TableLayout<N>& layout,
                     TablesDigest& digest) {
  const int32_t T = s.nyrs;
  const auto S = static_cast<size_t>(s.nstrata);
  const size_t TS = static_cast<size_t>(T) * S;
  const auto pairs = static_cast<size_t>(PairCount(T));
  std::vector<int32_t> pair_from(pairs, 0);  // the release period of each pair
  std::vector<size_t> pair_to(pairs, 0);     // where its next period stands in a row of next
  for (int32_t i = 1; i < T; ++i) {
    for (int32_t j = i + 1; j <= T; ++j) {
      const auto ij = static_cast<size_t>(PairIndex(i, j, T) - 1);
      pair_from[ij] = i;
      pair_to[ij] = static_cast<size_t>(j - 1) * S;
    }
  }
  const int32_t first = digest.first_release;
  for (size_t block = 0; pairs > 0 && block < bt.size() / pairs; ++block) {
    const auto at = static_cast<int64_t>(block * pairs);
    const auto r = static_cast<size_t>(layout.Position(at, Axis::kStratum));
    const auto t = static_cast<size_t>(layout.Position(at, Axis::kNext));
    const auto g = static_cast<size_t>(layout.Position(at, Axis::kGroup));
    std::vector<int64_t>& next = digest.m_arrays[digest.m_arrays.size() > 1 ? g : 0].next;
    for (size_t ij = 0; ij < pairs; ++ij) {
      const int32_t count = bt.at(block * pairs + ij);
      if (count == 0 || pair_from[ij] < first) continue;
      const size_t row = static_cast<size_t>(pair_from[ij] - first) * S + r;
      next[row * TS + pair_to[ij] + t] += count;
    }
  }
}

// The digest of `tables` (CountTables whose btot is read as btot(next, stratum, age, group)),
// counted for `s`.
template <typename Tables>
TablesDigest DigestOf(const ConversionSettings& s, const Tables& tables) {
  TablesDigest digest;
  const auto S = static_cast<size_t>(s.nstrata);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      std::vector<int64_t> table(S * S);
      for (int32_t from = 1; from <= s.nstrata; ++from) {
        for (int32_t to = 1; to <= s.nstrata; ++to) {
          table[static_cast<size_t>(from - 1) * S + static_cast<size_t>(to - 1)] = tables.btot(to, from, a, g);
        }
      }
      digest.transitions.push_back(std::move(table));
    }
  }
  digest.first_release = FirstRelease(tables.n.layout());
  const int32_t first = digest.first_release;
  const size_t rows = s.nyrs > first ? static_cast<size_t>(s.nyrs - first) * S : 0;
  const auto m_arrays = static_cast<size_t>(MArraysByGroup(s) ? s.ngroups : 1);
  digest.m_arrays.assign(m_arrays, {.released = std::vector<int64_t>(rows, 0),
                                    .next = std::vector<int64_t>(rows * static_cast<size_t>(s.nyrs) * S, 0)});
  ForEachCohort(s, tables, [&](const ReleaseCohort& c) {
    ++digest.cohorts;
    if (c.released == 0) {
      ++digest.empty_cohorts;
    } else if (c.released < kSparseBelow) {
      ++digest.sparse_cohorts;
      if (digest.sparse.size() < kSparseListed) digest.sparse.push_back(c);
    }
    MArray& m = digest.m_arrays[m_arrays > 1 ? static_cast<size_t>(c.group - 1) : 0];
    m.released[static_cast<size_t>(c.period - first) * S + static_cast<size_t>(c.stratum - 1)] += c.released;
  });
  AddNextCaptures(s, tables.bt.counts(), tables.bt.layout(), digest);
  return digest;
}

}  // namespace haplovex
