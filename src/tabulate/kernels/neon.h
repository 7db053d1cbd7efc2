// The record path's kernels with the 16-byte vectors of 64-bit ARM (NEON, which every aarch64
// machine has). NEON has no instruction that gathers the top bits of a vector's bytes into a
// mask as x86's movemask does: the bytes that hold a hit are weighed by their place (1, 2, 4 ...
// 128 within each group of eight) and added up pairwise, which leaves the mask's bytes in order.
#pragma once

#include "tabulate/kernels/portable.h"

#if HAPLOVEX_NEON_KERNELS
#include <arm_neon.h>

namespace haplovex {

struct NeonKernels {
  // Bit k for each byte k of the four vectors (64 bytes) that is all ones.
  [[gnu::always_inline]] static uint64_t Bits(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
    const uint8x16_t weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    uint8x16_t sum = vpaddq_u8(vpaddq_u8(vandq_u8(a, weights), vandq_u8(b, weights)),
                               vpaddq_u8(vandq_u8(c, weights), vandq_u8(d, weights)));
    sum = vpaddq_u8(sum, sum);
    return vgetq_lane_u64(vreinterpretq_u64_u8(sum), 0);
  }

  // Bit k for each of the eight bytes that is all ones.
  [[gnu::always_inline]] static unsigned Bits8(uint8x8_t v) {
    const uint8x8_t weights = {1, 2, 4, 8, 16, 32, 64, 128};
    return vaddv_u8(vand_u8(v, weights));
  }

  [[gnu::always_inline]] static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    const uint8x16_t first = vdupq_n_u8(static_cast<uint8_t>(ends.first));
    const uint8x16_t second = vdupq_n_u8(static_cast<uint8_t>(ends.second));
    auto end = [&](int k) {
      const uint8x16_t v = vld1q_u8(reinterpret_cast<const uint8_t*>(chunk) + 16 * k);
      return vorrq_u8(vceqq_u8(v, first), vceqq_u8(v, second));
    };
    return Bits(end(0), end(1), end(2), end(3));
  }

  // The kinds of the bytes by the nibble test of CaptureMasks, 16 bytes at a time (the tables'
  // first 16 bytes: their second 16 are the same, for the 32-byte sets).
  [[gnu::always_inline]] static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                           size_t count, uint64_t* captures, uint64_t* odd) {
    if (!m.nibbles) return PortableKernels::Masks(m, histories, count, captures, odd);
    const uint8x16_t lo = vld1q_u8(m.lo.data());
    const uint8x16_t hi = vld1q_u8(m.hi.data());
    const uint8x16_t nibble = vdupq_n_u8(0x0f);
    const uint8x16_t codes = vdupq_n_u8(m.code_bits);
    const uint64_t period_bits = m.period_bits;
    MaskedHistories masked(captures, odd);
    for (size_t k = 0; k < count; ++k) {
      uint8x16_t no_code[4];
      uint8x16_t no_kind[4];
      for (int part = 0; part < 4; ++part) {
        const uint8x16_t v = vld1q_u8(histories[k] + 16 * part);
        // The bits of each byte's kinds: some of code_bits for a capture code, others for a
        // mark of no capture, none for an odd byte.
        const uint8x16_t kinds =
            vandq_u8(vqtbl1q_u8(lo, vandq_u8(v, nibble)), vqtbl1q_u8(hi, vshrq_n_u8(v, 4)));
        no_code[part] = vceqzq_u8(vandq_u8(kinds, codes));
        no_kind[part] = vceqzq_u8(kinds);
      }
      const uint64_t not_caught = Bits(no_code[0], no_code[1], no_code[2], no_code[3]);
      const uint64_t strange = Bits(no_kind[0], no_kind[1], no_kind[2], no_kind[3]);
      masked.Put(k, ~not_caught & period_bits, strange & period_bits);
    }
    return masked.Clean();
  }

  [[gnu::always_inline]] static bool QuickFrequency(const char* field, size_t columns, uint32_t& value) {
    const uint8x8_t v = vld1_u8(reinterpret_cast<const uint8_t*>(field));
    const unsigned semicolons = Bits8(vceq_u8(v, vdup_n_u8(';')));
    const unsigned digit = Bits8(vclt_u8(vsub_u8(v, vdup_n_u8('0')), vdup_n_u8(10)));
    const unsigned blank = Bits8(vceq_u8(v, vdup_n_u8(' ')));
    return FrequencyOfDigits(field, columns, semicolons, digit, blank, value);
  }
};

}  // namespace haplovex
#endif
