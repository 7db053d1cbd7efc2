// The record path's kernels with 32-byte vectors, for machines of x86-64-v3 (AVX2 and the bit
// instructions). Compiled for those machines only: the part reader that takes them in is too
// (HAPLOVEX_AVX2_TARGET), and the run chooses it only where the machine has them.
#pragma once

#include "tabulate/kernels/sse2.h"

#if HAPLOVEX_X86_KERNELS
#include <immintrin.h>

namespace haplovex {

// Two 32-byte halves for each 64 bytes; the quick frequency read is SSE2's.
struct Avx2Kernels : Sse2Kernels {
  HAPLOVEX_AVX2_TARGET static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    const __m256i first = _mm256_set1_epi8(ends.first);
    const __m256i second = _mm256_set1_epi8(ends.second);
    auto half = [&](const char* at) HAPLOVEX_AVX2_TARGET {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
      return static_cast<uint32_t>(_mm256_movemask_epi8(
          _mm256_or_si256(_mm256_cmpeq_epi8(v, first), _mm256_cmpeq_epi8(v, second))));
    };
    return uint64_t{half(chunk)} | uint64_t{half(chunk + 32)} << 32;
  }

  // The kinds of the bytes by the nibble test of CaptureMasks, 32 bytes at a time.
  HAPLOVEX_AVX2_TARGET static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                         size_t count, uint64_t* captures, uint64_t* odd) {
    if (!m.nibbles) return PortableKernels::Masks(m, histories, count, captures, odd);
    const __m256i lo = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.lo.data()));
    const __m256i hi = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.hi.data()));
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    const __m256i codes = _mm256_set1_epi8(static_cast<char>(m.code_bits));
    const __m256i none = _mm256_setzero_si256();
    const uint64_t period_bits = m.period_bits;
    const int halves = m.periods > 32 ? 2 : 1;
    MaskedHistories masked(captures, odd);
    for (size_t k = 0; k < count; ++k) {
      uint64_t not_caught = 0;
      uint64_t strange = 0;
      for (int half = 0; half < halves; ++half) {
        const __m256i v =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(histories[k] + 32 * half));
        const __m256i low = _mm256_shuffle_epi8(lo, _mm256_and_si256(v, nibble));
        const __m256i high =
            _mm256_shuffle_epi8(hi, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
        // The bits of each byte's kinds: some of code_bits for a capture code, others for a
        // mark of no capture, none for an odd byte.
        const __m256i kinds = _mm256_and_si256(low, high);
        const auto no_code = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(kinds, codes), none)));
        const auto no_kind =
            static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(kinds, none)));
        not_caught |= uint64_t{no_code} << (32 * half);
        strange |= uint64_t{no_kind} << (32 * half);
      }
      masked.Put(k, ~not_caught & period_bits, strange & period_bits);
    }
    return masked.Clean();
  }
};

}  // namespace haplovex
#endif
