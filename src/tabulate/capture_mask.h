// The periods of a history at which the animal was caught, as the bits of one mask, found for
// many records at a time: with 64-byte or 32-byte vector instructions where the machine has
// them (the binary stays portable: the choice is made when the program runs), with plain code
// elsewhere.
//
// A history byte is a capture (a code of one of the strata), a mark of no capture ("0", "."
// or a blank), or odd (anything else). Period i (from 0) is bit i.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace haplovex {

class CaptureMasks {
 public:
  // Bytes read from each history, whatever its number of periods.
  static constexpr size_t kReach = 64;
  // Most periods a mask holds.
  static constexpr size_t kMaxPeriods = 63;

  // The widest instructions the masks may use: the machine's best, or (for comparing them)
  // at most 32-byte vectors, or the plain code.
  enum class Width { kBest, kAtMost32, kPlain };

  // `code_class`: for every byte, above 0 a capture, 0 a mark of no capture, below 0 odd.
  // REQUIRES: periods <= kMaxPeriods.
  CaptureMasks(const std::array<int8_t, 256>& code_class, size_t periods,
               Width width = Width::kBest);

  // For each of `count` histories, the bits of its captures and of its odd bytes. True when
  // every history has a capture and no odd byte.
  // REQUIRES: kReach bytes readable from each histories[k] (only the first `periods` count).
  bool Find(const unsigned char* const* histories, size_t count, uint64_t* captures,
            uint64_t* odd) const;

 private:
  bool FindPlain(const unsigned char* const* histories, size_t count, uint64_t* captures,
                 uint64_t* odd) const;
  bool FindVectors(const unsigned char* const* histories, size_t count, uint64_t* captures,
                   uint64_t* odd) const;
  bool FindWide(const unsigned char* const* histories, size_t count, uint64_t* captures,
                uint64_t* odd) const;

  const std::array<int8_t, 256>& code_class_;
  uint64_t period_bits_;
  // The kinds of bytes as a nibble test: a byte b is a capture code when lo_[b & 15] &
  // hi_[b >> 4] & code_bits_ is not 0, a mark of no capture when lo_[b & 15] & hi_[b >> 4] &
  // ~code_bits_ is not, and odd when neither is. Each of up to 8 bits stands for a set of high
  // nibbles that share their low nibbles within one kind.
  alignas(32) std::array<uint8_t, 32> lo_{};
  alignas(32) std::array<uint8_t, 32> hi_{};
  uint8_t code_bits_ = 0;
  bool vectors_ = false;  // 32-byte vectors
  bool wide_ = false;     // 64-byte vectors
  int halves_ = 2;        // 32-byte halves a history takes
};

}  // namespace haplovex
