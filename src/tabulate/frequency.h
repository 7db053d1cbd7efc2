// The frequency field of a record: how many animals share its capture history.
#pragma once

#include <climits>
#include <cstdint>
#include <string_view>

namespace haplovex {

// Reads a frequency field: the characters from the first ";" on are ignored (encounter-history
// files end each record with ";" right after the frequency); blanks anywhere are ignored, and
// all blanks is 0; otherwise an optional sign before the first digit, then digits. Returns
// false when the text is no whole number or does not fit in 32 bits; leading zeros do not
// count against the fit, and reading stops as soon as the number is too large, however many
// digits follow.
// `spaced` tells whether blanks stand between digits ("8 10", read as 810): a field that may
// hold more than one count.
inline bool ParseFrequency(std::string_view field, int32_t& freq, bool& spaced) {
  constexpr int64_t kTooLarge = int64_t{INT32_MAX} + 2;  // beyond every 32-bit magnitude
  int64_t magnitude = 0;
  bool negative = false;
  bool sign_seen = false;
  bool digit_seen = false;
  bool blank_after_digit = false;
  spaced = false;
  for (const char c : field) {
    const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
    if (digit < 10) {
      spaced = spaced || blank_after_digit;
      digit_seen = true;
      magnitude = magnitude * 10 + digit;
      if (magnitude >= kTooLarge) return false;
    } else if (c == ';') {
      break;
    } else if ((c == '+' || c == '-') && !sign_seen && !digit_seen) {
      sign_seen = true;
      negative = c == '-';
    } else if (c != ' ') {
      return false;
    } else {
      blank_after_digit = digit_seen;
    }
  }
  if (sign_seen && !digit_seen) return false;
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return false;
  freq = static_cast<int32_t>(value);
  return true;
}

inline bool ParseFrequency(std::string_view field, int32_t& freq) {
  bool spaced = false;
  return ParseFrequency(field, freq, spaced);
}

}  // namespace haplovex
