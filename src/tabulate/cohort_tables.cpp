#include "tabulate/cohort_tables.h"

#include <algorithm>
#include <span>

namespace haplovex {

AgeSteps::AgeSteps(const ConversionSettings& s)
    : nage_(s.nage), raises_before_(static_cast<size_t>(std::max(s.nyrs, 0)) + 1, 0) {
  for (size_t p = 2; p < raises_before_.size(); ++p) {
    const size_t interval = p - 1;
    const bool raises = interval <= s.ageinc.size() && s.ageinc[interval - 1] == '1';
    raises_before_[p] = raises_before_[p - 1] + (raises ? 1 : 0);
  }
}

CohortTables::CohortTables(const ConversionSettings& s)
    : s_(s),
      steps_(s),
      npairs_(int64_t{s.nyrs} * (s.nyrs - 1) / 2),
      n_("n", {s.nyrs, s.nstrata, s.nage, s.ngroups}),
      bt_("bt", {npairs_, s.nstrata, s.nstrata, s.nage, s.ngroups}) {
  rec_.ch = AllocateTable<int32_t>({s.nyrs}, "ch");
  rec_.captures.resize(rec_.ch.size());
  btot_ = CountTable("btot", {s.nstrata, s.nstrata, s.nage, s.ngroups});
}

int32_t CohortTables::n(int32_t i, int32_t s, int32_t a, int32_t g) const {
  return n_.at(static_cast<size_t>(
      (((int64_t{g} - 1) * s_.nage + (a - 1)) * s_.nstrata + (s - 1)) * s_.nyrs + (i - 1)));
}

int32_t CohortTables::bt(int64_t ij, int32_t s, int32_t s2, int32_t a, int32_t g) const {
  return bt_.at(static_cast<size_t>(
      ((((int64_t{g} - 1) * s_.nage + (a - 1)) * s_.nstrata + (s2 - 1)) * s_.nstrata + (s - 1)) *
          npairs_ +
      (ij - 1)));
}

int32_t CohortTables::btot(int32_t s2, int32_t s, int32_t a, int32_t g) const {
  return btot_.at(static_cast<size_t>(
      (((int64_t{g} - 1) * s_.nage + (a - 1)) * s_.nstrata + (s - 1)) * s_.nstrata + (s2 - 1)));
}

void CohortTables::ReadAll(RunFiles& files) {
  RecordStream records(s_, files);
  rec_.freq = 1;
  while (records.Next(rec_)) {
    nrec_ = records.nrec();
    nanim_ = records.nanim();
    if (rec_.iage <= 0 || rec_.iage > s_.nage) records.AgeCodeError(rec_);
    Count(rec_);
  }
}

void CohortTables::Count(const DecodedRecord& rec) {
  const std::span<const Capture> captures = rec.Captures();
  if (captures.empty()) return;
  const int64_t S = s_.nstrata;
  const int64_t group_base = (int64_t{rec.igrp} - 1) * s_.nage;
  const int32_t first = captures.front().period;
  const size_t last = captures.size() - 1;
  for (size_t k = 0; k <= last; ++k) {
    const Capture& at = captures[k];
    const int64_t age_base = group_base + (steps_.At(rec.iage, first, at.period) - 1);
    // Every capture is a release, but the last one of an animal not released.
    if (k < last || !NotReleasedAtLast(rec)) {
      n_.Add(static_cast<size_t>((age_base * S + (at.stratum - 1)) * s_.nyrs + (at.period - 1)),
             rec.freq, nrec_);
    }
    // Each capture pairs with the next one only.
    if (k < last) {
      const Capture& next = captures[k + 1];
      const int64_t ij = PairIndex(at.period, next.period, s_.nyrs);
      bt_.Add(static_cast<size_t>(((age_base * S + (next.stratum - 1)) * S + (at.stratum - 1)) *
                                      npairs_ + (ij - 1)),
              rec.freq, nrec_);
      btot_.Add(static_cast<size_t>((age_base * S + (at.stratum - 1)) * S + (next.stratum - 1)),
                rec.freq, nrec_);
    }
  }
}

void CohortTables::Release() {
  n_.Release();
  bt_.Release();
  rec_.ch.clear();
  rec_.ch.shrink_to_fit();
  btot_.Release();
}

}  // namespace haplovex
