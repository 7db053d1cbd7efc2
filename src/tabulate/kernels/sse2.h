// The record path's kernels with 16-byte vectors (SSE2, which every x86-64 machine has). The
// capture masks need a byte shuffle SSE2 lacks: they are the portable ones.
#pragma once

#include "tabulate/kernels/portable.h"

#if HAPLOVEX_X86_KERNELS
#include <emmintrin.h>

namespace haplovex {

struct Sse2Kernels {
  [[gnu::always_inline]] static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    const __m128i first = _mm_set1_epi8(ends.first);
    const __m128i second = _mm_set1_epi8(ends.second);
    uint64_t bits = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk + 16 * k));
      const __m128i end = _mm_or_si128(_mm_cmpeq_epi8(v, first), _mm_cmpeq_epi8(v, second));
      bits |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(end))} << (16 * k);
    }
    return bits;
  }

  [[gnu::always_inline]] static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                           size_t count, uint64_t* captures, uint64_t* odd) {
    return PortableKernels::Masks(m, histories, count, captures, odd);
  }

  [[gnu::always_inline]] static bool QuickFrequency(const char* field, size_t columns, uint32_t& value) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(field));
    const auto semicolons =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(';'))));
    const auto digit = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
        _mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)))));
    const auto blank = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
    return FrequencyOfDigits(field, columns, semicolons, digit, blank, value);
  }
};

}  // namespace haplovex
#endif
