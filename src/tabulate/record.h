// A capture-history record as the tabulations count it: its captures in period order, its age
// class at the first capture, its group, its fate mark and the animals it stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace haplovex {

// A period at which the animal was caught, and the stratum it was caught in.
struct Capture {
  int32_t period;
  int32_t stratum;
};

struct DecodedRecord {
  int32_t iage = 1;   // age class at the first capture
  int32_t igrp = 1;   // group
  char fate = '\0';   // fate character; a zero byte when there is no fate column
  int32_t freq = 1;   // animals the record stands for (the frequency without its sign)
  // The frequency was negative: the field's mark that the animals were removed (not
  // released) at their last capture.
  bool removed = false;
  // ch[i-1]: stratum position at period i (1..nstrata = caught); filled only when asked for.
  std::vector<int32_t> ch;
  // The captures (periods with 1 <= ch <= nstrata) in period order: the first ncaptures
  // entries of a table with one entry per period.
  std::vector<Capture> captures;
  size_t ncaptures = 0;
  // Among the stratum codes stands a character that is neither a code of the strata nor a
  // mark of no capture.
  bool odd = false;
  // The frequency field is all blank (read as no animals).
  bool blank_frequency = false;
  // Blanks stand between the digits of the frequency field, which are read as one number.
  bool spaced_frequency = false;

  std::span<const Capture> Captures() const { return {captures.data(), ncaptures}; }
};

// Fills the captures of `rec` from its ch, for records whose positions were set directly.
void CollectCaptures(DecodedRecord& rec, int32_t nstrata);

// True when the fate character marks an animal not released after its last capture.
inline bool LostOnCapture(char fate) { return static_cast<unsigned char>(fate) > ' '; }

// True when the record's animals are not released at their last capture: a fate mark, or a
// negative frequency.
inline bool NotReleasedAtLast(const DecodedRecord& rec) {
  return rec.removed || LostOnCapture(rec.fate);
}

}  // namespace haplovex
