// The periods of a history at which the animal was caught, as the bits of one mask, found for
// many records at a time by the record path's kernels (kernels/): what the kernels need to
// know of a run's codes, made once a run.
//
// A history byte is a capture (a code of one of the strata), a mark of no capture ("0", "."
// or a blank), or odd (anything else). Period i (from 0) is bit i.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace haplovex {

struct CaptureMasks {
  // Bytes read from each history, whatever its number of periods.
  static constexpr size_t kReach = 64;
  // Most periods a mask holds.
  static constexpr size_t kMaxPeriods = 63;

  // `code_class`: for every byte, above 0 a capture, 0 a mark of no capture, below 0 odd.
  // REQUIRES: periods <= kMaxPeriods.
  CaptureMasks(const std::array<int8_t, 256>& code_class, size_t periods);

  const std::array<int8_t, 256>& code_class;
  size_t periods;
  uint64_t period_bits;  // a bit for each period
  // The kinds of bytes as a nibble test, for the vector kernels: a byte b is a capture code
  // when lo[b & 15] & hi[b >> 4] & code_bits is not 0, a mark of no capture when lo[b & 15] &
  // hi[b >> 4] & ~code_bits is not, and odd when neither is. Each of up to 8 bits stands for a
  // set of high nibbles that share their low nibbles within one kind. `nibbles`: the kinds fit
  // the test's 8 bits (else the kernels read the bytes one by one).
  bool nibbles = false;
  alignas(32) std::array<uint8_t, 32> lo{};
  alignas(32) std::array<uint8_t, 32> hi{};
  uint8_t code_bits = 0;
};

}  // namespace haplovex
