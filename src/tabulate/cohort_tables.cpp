#include "tabulate/cohort_tables.h"

namespace haplovex {

CaptureSpan FindCaptureSpan(const DecodedRecord& rec, int32_t nstrata) {
  CaptureSpan span;
  for (size_t i = 0; i < rec.ch.size(); ++i) {
    if (rec.ch[i] >= 1 && rec.ch[i] <= nstrata) {
      if (span.ifirst == 0) span.ifirst = static_cast<int32_t>(i + 1);
      span.ilast = static_cast<int32_t>(i + 1);
    }
  }
  return span;
}

CohortTables::CohortTables(const ConversionSettings& s)
    : s_(s),
      npairs_(int64_t{s.nyrs} * (s.nyrs - 1) / 2),
      n_("n", {s.nyrs, s.nstrata, s.nage, s.ngroups}),
      bt_("bt", {npairs_, s.nstrata, s.nstrata, s.nage, s.ngroups}) {
  rec_.ch = AllocateTable<int32_t>({s.nyrs}, "ch");
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
    const CaptureSpan span = FindCaptureSpan(rec_, s_.nstrata);
    if (rec_.iage <= 0 || rec_.iage > s_.nage) records.AgeCodeError(rec_);
    Count(rec_, span);
  }
}

void CohortTables::Count(const DecodedRecord& rec, const CaptureSpan& span) {
  const AgeSteps steps(s_);
  const int64_t S = s_.nstrata;
  const int64_t group_base = (int64_t{rec.igrp} - 1) * s_.nage;
  int32_t curage = rec.iage;
  int32_t next = span.ifirst;  // the capture period being looked at
  for (int32_t i = span.ifirst; i <= span.ilast; ++i) {
    const int32_t from = rec.ch[static_cast<size_t>(i - 1)];
    if (i == next) {
      const int64_t age_base = group_base + (curage - 1);
      if (!(i == span.ilast && LostOnCapture(rec.fate))) {
        n_.Add(static_cast<size_t>((age_base * S + (from - 1)) * s_.nyrs + (i - 1)), rec.freq, nrec_);
      }
      // The next capture after i, if any, closes the pair that starts at i.
      next = 0;
      for (int32_t j = i + 1; j <= span.ilast; ++j) {
        const int32_t to = rec.ch[static_cast<size_t>(j - 1)];
        if (to >= 1 && to <= S) {
          next = j;
          const int64_t ij = PairIndex(i, j, s_.nyrs);
          bt_.Add(static_cast<size_t>(((age_base * S + (to - 1)) * S + (from - 1)) * npairs_ + (ij - 1)),
                  rec.freq, nrec_);
          btot_.Add(static_cast<size_t>((age_base * S + (from - 1)) * S + (to - 1)), rec.freq, nrec_);
          break;
        }
      }
    }
    if (steps.Raises(i) && curage < s_.nage) ++curage;
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
