#include "tabulate/capture_mask.h"

#include <vector>

namespace haplovex {

CaptureMasks::CaptureMasks(const std::array<int8_t, 256>& classes, size_t period_count)
    : code_class(classes),
      periods(period_count),
      period_bits(period_count >= 64 ? ~uint64_t{0} : (uint64_t{1} << period_count) - 1) {
  // For each kind of byte that the test tells (capture codes, marks of no capture), the low
  // nibbles of its bytes under each high nibble; high nibbles with the same low nibbles share
  // a bit of the test. The capture codes take the bits of code_bits.
  size_t bits_used = 0;
  for (const bool codes : {true, false}) {
    std::array<uint16_t, 16> lows{};
    for (int b = 0; b < 256; ++b) {
      const int8_t kind = code_class[static_cast<size_t>(b)];
      if (codes ? kind > 0 : kind == 0) lows[static_cast<size_t>(b >> 4)] |= uint16_t(1u << (b & 15));
    }
    std::vector<uint16_t> patterns;
    for (size_t h = 0; h < 16; ++h) {
      if (lows[h] == 0) continue;
      size_t bit = 0;
      while (bit < patterns.size() && patterns[bit] != lows[h]) ++bit;
      if (bit == patterns.size()) patterns.push_back(lows[h]);
      if (bits_used + bit >= 8) return;  // more kinds than the test has bits
      const auto mask = static_cast<uint8_t>(1u << (bits_used + bit));
      hi[h] = hi[h + 16] = uint8_t(hi[h] | mask);
      for (size_t l = 0; l < 16; ++l) {
        if (lows[h] & (1u << l)) lo[l] = lo[l + 16] = uint8_t(lo[l] | mask);
      }
    }
    if (codes) code_bits = static_cast<uint8_t>((1u << patterns.size()) - 1);
    bits_used += patterns.size();
  }
  nibbles = true;
}

}  // namespace haplovex
