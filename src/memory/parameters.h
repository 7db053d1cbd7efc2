// Numbering of the memory model's parameters, shared by its labels and its runs.
//
// Each group has a block of B = (T-2)*(S^3+S) numbers: first the transitions, by period block
// i' = 1..T-2 (from period i'+1 to i'+2), previous stratum q, stratum r and next stratum s
// (s fastest); then the capture probabilities of periods 3..T by stratum. Group g's block
// starts after g-1 blocks. The numbering has no age term: NPAR counts every age class, but
// only the numbers 1..G*B are labelled and constrained.
#pragma once

#include <cstddef>
#include <cstdint>

#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// Parameter numbers of 5 digits, label entries (`LBL`) of 20 characters; a label line quotes
// the whole entry, then "  ;".
inline constexpr ParameterLayout kMemoryLayout{5, 20, true, "  ;"};

struct MemoryParameters {
  explicit MemoryParameters(const ConversionSettings& s)
      : S(s.nstrata), T(s.nyrs), A(s.nage), G(s.ngroups), S3(S * S * S), B((T - 2) * (S3 + S)) {}

  int64_t S, T, A, G;
  int64_t S3;
  int64_t B;  // a group block

  int64_t npar() const { return B * A * G; }
  // Transition of group g, period block ip (1..T-2), previous stratum q, stratum r, next s.
  int64_t X(int64_t g, int64_t ip, int64_t q, int64_t r, int64_t s) const {
    return (g - 1) * B + (ip - 1) * S3 + (q - 1) * S * S + (r - 1) * S + s;
  }
  // Capture probability of group g at period i (3..T) in stratum q.
  int64_t P(int64_t g, int64_t i, int64_t q) const {
    return (g - 1) * B + (T - 2) * S3 + (i - 3) * S + q;
  }
};

}  // namespace haplovex
