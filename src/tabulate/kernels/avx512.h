// The record path's kernels with 64-byte vectors (AVX-512 BW), for machines of x86-64-v4: a
// chunk's line ends and a history's kinds each in one comparison. Compiled for those machines
// only, as avx2.h is for its own.
#pragma once

#include "tabulate/kernels/avx2.h"

#if HAPLOVEX_X86_KERNELS
#include <immintrin.h>

namespace haplovex {

// A whole chunk or history in each comparison; the quick frequency read is SSE2's, as AVX2's is.
struct Avx512Kernels : Sse2Kernels {
  HAPLOVEX_AVX512_TARGET static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    const __m512i v = _mm512_loadu_si512(chunk);
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(ends.first)) |
           _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(ends.second));
  }

  HAPLOVEX_AVX512_TARGET static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                           size_t count, uint64_t* captures, uint64_t* odd) {
    if (!m.nibbles) return PortableKernels::Masks(m, histories, count, captures, odd);
    const __m512i lo =
        _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(m.lo.data())));
    const __m512i hi =
        _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(m.hi.data())));
    const __m512i nibble = _mm512_set1_epi8(0x0f);
    const __m512i codes = _mm512_set1_epi8(static_cast<char>(m.code_bits));
    const uint64_t period_bits = m.period_bits;
    MaskedHistories masked(captures, odd);
    for (size_t k = 0; k < count; ++k) {
      const __m512i v = _mm512_loadu_si512(histories[k]);
      const __m512i low = _mm512_shuffle_epi8(lo, _mm512_and_si512(v, nibble));
      const __m512i high =
          _mm512_shuffle_epi8(hi, _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
      const __m512i kinds = _mm512_and_si512(low, high);
      masked.Put(k, _mm512_test_epi8_mask(kinds, codes) & period_bits,
                 _mm512_testn_epi8_mask(kinds, kinds) & period_bits);
    }
    return masked.Clean();
  }
};

}  // namespace haplovex
#endif
