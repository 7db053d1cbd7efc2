#include "memory/memory_tables.h"

#include "tabulate/cohort_tables.h"

namespace haplovex {

MemoryTables::MemoryTables(const ConversionSettings& s)
    : s_(s),
      npairs_(int64_t{s.nyrs} * (s.nyrs - 1) / 2),
      n_("n", {s.nyrs, s.nstrata, s.nstrata, s.nage, s.ngroups}),
      bt_("bt", {npairs_, s.nstrata, s.nstrata, s.nstrata, s.nage, s.ngroups}) {
  rec_.ch = AllocateTable<int32_t>({s.nyrs}, "ch");
  btot_ = CountTable("btot", {s.nstrata, s.nstrata, s.nage, s.ngroups});
}

size_t MemoryTables::NOffset(int64_t i, int64_t q, int64_t r, int64_t a, int64_t g) const {
  const int64_t S = s_.nstrata;
  return static_cast<size_t>(((((g - 1) * s_.nage + (a - 1)) * S + (r - 1)) * S + (q - 1)) * s_.nyrs +
                             (i - 1));
}

size_t MemoryTables::BtOffset(int64_t ij, int64_t q, int64_t r, int64_t t, int64_t a,
                              int64_t g) const {
  const int64_t S = s_.nstrata;
  return static_cast<size_t>(
      (((((g - 1) * s_.nage + (a - 1)) * S + (t - 1)) * S + (r - 1)) * S + (q - 1)) * npairs_ +
      (ij - 1));
}

size_t MemoryTables::BtotOffset(int64_t t, int64_t r, int64_t a, int64_t g) const {
  const int64_t S = s_.nstrata;
  return static_cast<size_t>((((g - 1) * s_.nage + (a - 1)) * S + (r - 1)) * S + (t - 1));
}

int32_t MemoryTables::n(int32_t i, int32_t q, int32_t r, int32_t a, int32_t g) const {
  return n_.at(NOffset(i, q, r, a, g));
}

int32_t MemoryTables::bt(int64_t ij, int32_t q, int32_t r, int32_t t, int32_t a, int32_t g) const {
  return bt_.at(BtOffset(ij, q, r, t, a, g));
}

int32_t MemoryTables::btot(int32_t t, int32_t r, int32_t a, int32_t g) const {
  return btot_.at(BtotOffset(t, r, a, g));
}

void MemoryTables::ReadAll(RunFiles& files) {
  RecordStream records(s_, files);
  rec_.freq = 1;
  while (records.Next(rec_)) {
    nrec_ = records.nrec();
    nanim_ = records.nanim();
    if (rec_.iage <= 0) records.AgeCodeError(rec_);
    Count(rec_, nrec_);
  }
}

void MemoryTables::Count(const DecodedRecord& rec, int64_t record) {
  const CaptureSpan span = FindCaptureSpan(rec, s_.nstrata);
  const AgeSteps steps(s_);
  const int32_t S = s_.nstrata;
  auto caught = [&](int32_t position) { return position >= 1 && position <= S; };
  auto ch = [&](int32_t i) { return rec.ch[static_cast<size_t>(i - 1)]; };

  int32_t curage = rec.iage;
  int32_t q = 0;
  for (int32_t i = span.ifirst; i <= span.ilast; ++i) {
    const int32_t r = ch(i);
    if (i > span.ifirst) q = ch(i - 1);
    if (caught(q) && caught(r)) {
      if (!(i == span.ilast && LostOnCapture(rec.fate))) {
        n_.Add(NOffset(i, q, r, curage, rec.igrp), rec.freq, record);
      }
      for (int32_t j = i + 1; j <= span.ilast; ++j) {
        const int32_t t = ch(j);
        if (!caught(t)) continue;
        bt_.Add(BtOffset(PairIndex(i, j, s_.nyrs), q, r, t, curage, rec.igrp), rec.freq, record);
        btot_.Add(BtotOffset(t, r, curage, rec.igrp), rec.freq, record);
        break;
      }
    }
    // The age step of every period from the first capture on; an age position above the
    // oldest class is lowered here at the first capture, before anything is counted.
    if (steps.Raises(i)) ++curage;
    if (curage > s_.nage) curage = s_.nage;
  }
}

void MemoryTables::Release() {
  n_.Release();
  bt_.Release();
  rec_.ch.clear();
  rec_.ch.shrink_to_fit();
  btot_.Release();
}

}  // namespace haplovex
