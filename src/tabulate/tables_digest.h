// What the report shows of a converter's tables, read along their named axes so that one
// reading serves both converters' tables (CountTables):
//
//   transitions   btot of each group and age class: from a stratum to the next one caught in
//   m-array       the animals released at each period in each stratum, the age classes and
//                 groups summed (the memory model's: its cohorts, summed over the previous
//                 stratum), and of those the animals next caught at each later period and
//                 stratum, from n and bt
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

struct TablesDigest {
  // For each group and age class (group outermost), the pairs of captures from one stratum
  // (row) to the next stratum the animal was caught in (column): [(from - 1) * strata + to - 1].
  std::vector<std::vector<int64_t>> transitions = {};
  // The m-array, the age classes and groups summed: the animals released at each period i from
  // first_release to periods - 1 in each stratum s, released[(i - first_release) * strata +
  // (s - 1)], and of those the animals next caught at period j in stratum t, next[row *
  // periods * strata + (j - 1) * strata + (t - 1)] for the row of released. The memory model
  // sets' cohorts are those of memory releases (after a capture at the period before), from
  // period 2 on, summed over the stratum of that capture.
  int32_t first_release = 1;
  std::vector<int64_t> released = {};
  std::vector<int64_t> next = {};
  // The release cohorts, one to each cohort statement: how many, how many with no animal, how
  // many sparse (1 to kSparseBelow - 1 animals), and the first kSparseListed of those, in the
  // order of the statements.
  int64_t cohorts = 0;
  int64_t empty_cohorts = 0;
  int64_t sparse_cohorts = 0;
  std::vector<ReleaseCohort> sparse = {};
};

// Adds to `digest` the next captures counted in `bt` (laid out by `layout`): a run of pairs for
// each stratum, next stratum, and previous stratum, age class and group, which are summed.
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
    for (size_t ij = 0; ij < pairs; ++ij) {
      const int32_t count = bt.at(block * pairs + ij);
      if (count == 0 || pair_from[ij] < first) continue;
      const size_t row = static_cast<size_t>(pair_from[ij] - first) * S + r;
      digest.next[row * TS + pair_to[ij] + t] += count;
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
  digest.released.assign(rows, 0);
  ForEachCohort(s, tables, [&](const ReleaseCohort& c) {
    ++digest.cohorts;
    if (c.released == 0) {
      ++digest.empty_cohorts;
    } else if (c.released < kSparseBelow) {
      ++digest.sparse_cohorts;
      if (digest.sparse.size() < kSparseListed) digest.sparse.push_back(c);
    }
    digest.released[static_cast<size_t>(c.period - first) * S + static_cast<size_t>(c.stratum - 1)] += c.released;
  });
  digest.next.assign(rows * static_cast<size_t>(s.nyrs) * S, 0);
  AddNextCaptures(s, tables.bt.counts(), tables.bt.layout(), digest);
  return digest;
}

}  // namespace haplovex
