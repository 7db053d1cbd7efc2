// Numbering of the movement-only model's parameters, shared by its labels and its runs.
//
// Outermost first: group g, age class a, then within them the transition block (interval t,
// source i, destination j; (Y-1)*S*S numbers) and, for age classes that have one (A = 1 or
// a < A), the capture block (occasion t = 2..Y, stratum i; (Y-1)*S numbers).
#pragma once

#include <cstdint>

#include "prnt/labels.h"
#include "runctl/settings.h"

namespace haplovex {

// Parameter numbers of 4 digits, label entries (`lbl`) of 14 characters; a label line holds the
// label alone, then " ;".
inline constexpr ParameterLayout kMovementLayout{4, 14, false, " ;"};

struct MovementParameters {
  explicit MovementParameters(const ConversionSettings& s)
      : S(s.nstrata), Y(s.nyrs), A(s.nage), G(s.ngroups),
        B((Y - 1) * S * S + (Y - 1) * S),
        C(A == 1 ? A * B : A * B - (Y - 1) * S) {}

  int64_t S, Y, A, G;
  int64_t B;  // an age block with its capture block
  int64_t C;  // a group block

  int64_t npar() const { return G * C; }
  bool HasCaptureBlock(int64_t a) const { return A == 1 || a < A; }
  // Transition parameter of group g, age a, interval t, source i, destination j.
  int64_t T(int64_t g, int64_t a, int64_t t, int64_t i, int64_t j) const {
    return (g - 1) * C + (a - 1) * B + (t - 1) * S * S + (i - 1) * S + j;
  }
  // Capture parameter of occasion t (2..Y), stratum i, in age class a's capture block.
  int64_t R(int64_t g, int64_t a, int64_t t, int64_t i) const {
    return (g - 1) * C + (a - 1) * B + (Y - 1) * S * S + (t - 2) * S + i;
  }
};

}  // namespace haplovex
