// The record path's kernels in plain C++, for any machine: the line ends of a 64-byte chunk,
// the capture masks of a batch of histories, and the quick frequency read. The vector sets
// (sse2.h, avx2.h, avx512.h) give the same results, faster, and fall back on these for what
// they have no instructions for.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tabulate/capture_mask.h"
#include "tabulate/kernels/kernel_set.h"

namespace haplovex {

// The bytes that end a line in the input file (the same byte twice when one is enough).
struct LineEndBytes {
  char first = '\n';
  char second = '\n';
};

// Bytes the line-end kernels look at, at once.
inline constexpr size_t kChunk = 64;

// The frequency of a field read whole, from the bits of its columns (bit k: column k) that
// hold a ";", a digit and a blank: the digits among blanks, before the first ";", as one
// 8-byte word. False for anything else (all blank, a sign, digits with blanks between them,
// any other character), which the full reader takes. REQUIRES: 1 <= columns <= 8, and 8
// bytes readable at `field`.
[[gnu::always_inline]] inline bool FrequencyOfDigits(const char* field, size_t columns,
                                                     unsigned semicolons, unsigned digit,
                                                     unsigned blank, uint32_t& value) {
  const unsigned all = (1u << columns) - 1;
  semicolons &= all;
  // The columns before the first ";".
  const unsigned keep = semicolons != 0 ? (semicolons & (0u - semicolons)) - 1 : all;
  digit &= keep;
  blank &= keep;
  if ((digit | blank) != keep || digit == 0) return false;
  const int low = __builtin_ctz(digit);
  const int high = 31 - __builtin_clz(digit);
  if (digit != (2u << high) - (1u << low)) return false;
  uint64_t x = 0;  // column k in byte k, whatever the machine's byte order
  for (unsigned k = 0; k < 8; ++k) x |= uint64_t{static_cast<unsigned char>(field[k])} << (8 * k);
  // Digits to their values and blanks to 0; the last digit moved to the top byte, so that
  // zeros lead. Then pairs, fours and the eight digits are combined by multiplication.
  x = (x & 0x0F0F0F0F0F0F0F0FULL) << (8 * (7 - high));
  x = ((x * (10 * 256 + 1)) >> 8) & 0x00FF00FF00FF00FFULL;
  x = ((x * (100 * 65536 + 1)) >> 16) & 0x0000FFFF0000FFFFULL;
  x = (x * ((uint64_t{10000} << 32) + 1)) >> 32;
  value = static_cast<uint32_t>(x);
  return true;
}

// The masks of a batch of histories as the kernels find them, one history at a time: its
// captures and odd bytes put in place, and whether every history has a capture and none an odd
// byte.
class MaskedHistories {
 public:
  MaskedHistories(uint64_t* captures, uint64_t* odd) : captures_(captures), odd_(odd) {}
  [[gnu::always_inline]] void Put(size_t k, uint64_t caught, uint64_t strange) {
    captures_[k] = caught;
    odd_[k] = strange;
    any_odd_ |= strange;
    all_caught_ &= caught != 0;
  }
  bool Clean() const { return all_caught_ && any_odd_ == 0; }

 private:
  uint64_t* captures_;
  uint64_t* odd_;
  uint64_t any_odd_ = 0;
  bool all_caught_ = true;
};

struct PortableKernels {
  // Bit k for a byte of `ends` at chunk[k]. REQUIRES: kChunk readable bytes at `chunk`.
  // Eight bytes at a time (on a little-endian machine): the top bit of each byte of a word that
  // equals a byte sought, then the eight top bits gathered into one byte by a multiplication.
  [[gnu::always_inline]] static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    auto zero_bytes = [](uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); };
    if constexpr (std::endian::native != std::endian::little) {
      uint64_t bits = 0;
      for (size_t k = 0; k < kChunk; ++k) {
        bits |= uint64_t{chunk[k] == ends.first || chunk[k] == ends.second} << k;
      }
      return bits;
    }
    const uint64_t first = kOnes * static_cast<unsigned char>(ends.first);
    const uint64_t second = kOnes * static_cast<unsigned char>(ends.second);
    uint64_t bits = 0;
    for (size_t w = 0; w < kChunk / 8; ++w) {
      uint64_t word;
      std::memcpy(&word, chunk + 8 * w, sizeof word);
      const uint64_t hit = zero_bytes(word ^ first) | zero_bytes(word ^ second);
      bits |= ((hit >> 7) * 0x0102040810204080ULL >> 56) << (8 * w);
    }
    return bits;
  }

  // For each of `count` histories, the bits of its captures and of its odd bytes. True when
  // every history has a capture and no odd byte. REQUIRES: CaptureMasks::kReach bytes
  // readable from each histories[k].
  [[gnu::always_inline]] static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                           size_t count, uint64_t* captures, uint64_t* odd) {
    MaskedHistories masked(captures, odd);
    for (size_t k = 0; k < count; ++k) {
      uint64_t caught = 0;
      uint64_t strange = 0;
      for (size_t i = 0; i < m.periods; ++i) {
        const int kind = m.code_class[histories[k][i]];
        caught |= uint64_t{kind > 0} << i;
        strange |= uint64_t{kind < 0} << i;
      }
      masked.Put(k, caught, strange);
    }
    return masked.Clean();
  }

  // The frequency of a field read whole (see FrequencyOfDigits).
  [[gnu::always_inline]] static bool QuickFrequency(const char* field, size_t columns, uint32_t& value) {
    unsigned semicolons = 0;
    unsigned digit = 0;
    unsigned blank = 0;
    for (unsigned k = 0; k < 8; ++k) {
      const auto c = static_cast<unsigned char>(field[k]);
      semicolons |= unsigned{c == ';'} << k;
      digit |= unsigned{c - unsigned{'0'} < 10} << k;
      blank |= unsigned{c == ' '} << k;
    }
    return FrequencyOfDigits(field, columns, semicolons, digit, blank, value);
  }
};

}  // namespace haplovex
