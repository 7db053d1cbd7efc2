#include "tabulate/capture_mask.h"

#include <immintrin.h>

#include <vector>

namespace haplovex {

CaptureMasks::CaptureMasks(const std::array<int8_t, 256>& code_class, size_t periods,
                           Width width)
    : code_class_(code_class),
      period_bits_(periods >= 64 ? ~uint64_t{0} : (uint64_t{1} << periods) - 1) {
  // The low nibbles of the capture codes under each high nibble; high nibbles with the same
  // low nibbles share a bit of the test.
  std::array<uint16_t, 16> lows{};
  for (int b = 0; b < 256; ++b) {
    if (code_class[static_cast<size_t>(b)] > 0) lows[static_cast<size_t>(b >> 4)] |= uint16_t(1u << (b & 15));
  }
  std::vector<uint16_t> patterns;
  for (size_t h = 0; h < 16; ++h) {
    if (lows[h] == 0) continue;
    size_t bit = 0;
    while (bit < patterns.size() && patterns[bit] != lows[h]) ++bit;
    if (bit == patterns.size()) patterns.push_back(lows[h]);
    if (bit >= 8) return;  // more kinds than the test has bits: the plain code serves
    hi_[h] = hi_[h + 16] = uint8_t(hi_[h] | (1u << bit));
    for (size_t l = 0; l < 16; ++l) {
      if (lows[h] & (1u << l)) lo_[l] = lo_[l + 16] = uint8_t(lo_[l] | (1u << bit));
    }
  }
#if defined(__x86_64__) || defined(__i386__)
  wide_ = width == Width::kBest && __builtin_cpu_supports("avx512bw");
  vectors_ = width != Width::kPlain && (wide_ || __builtin_cpu_supports("avx2"));
#else
  (void)width;
#endif
  halves_ = periods > 32 ? 2 : 1;
}

bool CaptureMasks::Find(const unsigned char* const* histories, size_t count, uint64_t* captures,
                        uint64_t* odd) const {
  if (wide_) return FindWide(histories, count, captures, odd);
  if (vectors_) return FindVectors(histories, count, captures, odd);
  return FindPlain(histories, count, captures, odd);
}

bool CaptureMasks::FindPlain(const unsigned char* const* histories, size_t count,
                             uint64_t* captures, uint64_t* odd) const {
  const size_t periods = static_cast<size_t>(64 - __builtin_clzll(period_bits_ | 1));
  bool plain = true;
  for (size_t k = 0; k < count; ++k) {
    uint64_t caught = 0;
    uint64_t strange = 0;
    for (size_t i = 0; i < periods; ++i) {
      const int kind = code_class_[histories[k][i]];
      caught |= uint64_t{kind > 0} << i;
      strange |= uint64_t{kind < 0} << i;
    }
    captures[k] = caught & period_bits_;
    odd[k] = strange & period_bits_;
    plain &= (captures[k] != 0) & (odd[k] == 0);
  }
  return plain;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) bool CaptureMasks::FindVectors(const unsigned char* const* histories,
                                                                size_t count, uint64_t* captures,
                                                                uint64_t* odd) const {
  const __m256i lo = _mm256_load_si256(reinterpret_cast<const __m256i*>(lo_.data()));
  const __m256i hi = _mm256_load_si256(reinterpret_cast<const __m256i*>(hi_.data()));
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i zero = _mm256_set1_epi8('0');
  const __m256i dot = _mm256_set1_epi8('.');
  const __m256i blank = _mm256_set1_epi8(' ');
  const __m256i none = _mm256_setzero_si256();
  bool plain = true;
  for (size_t k = 0; k < count; ++k) {
    uint64_t caught = 0;
    uint64_t empty = 0;
    for (int half = 0; half < halves_; ++half) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(histories[k] + 32 * half));
      const __m256i low = _mm256_shuffle_epi8(lo, _mm256_and_si256(v, nibble));
      const __m256i high =
          _mm256_shuffle_epi8(hi, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
      const __m256i not_code = _mm256_cmpeq_epi8(_mm256_and_si256(low, high), none);
      const __m256i no_capture =
          _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v, zero), _mm256_cmpeq_epi8(v, dot)),
                          _mm256_cmpeq_epi8(v, blank));
      caught |= uint64_t{~static_cast<uint32_t>(_mm256_movemask_epi8(not_code))} << (32 * half);
      empty |= uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(no_capture))} << (32 * half);
    }
    caught &= period_bits_;
    captures[k] = caught;
    odd[k] = ~(caught | empty) & period_bits_;
    plain &= (caught != 0) & (odd[k] == 0);
  }
  return plain;
}

__attribute__((target("avx512bw"))) bool CaptureMasks::FindWide(const unsigned char* const* histories,
                                                                 size_t count, uint64_t* captures,
                                                                 uint64_t* odd) const {
  const __m512i lo = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(lo_.data())));
  const __m512i hi = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(hi_.data())));
  const __m512i nibble = _mm512_set1_epi8(0x0f);
  const __m512i zero = _mm512_set1_epi8('0');
  const __m512i dot = _mm512_set1_epi8('.');
  const __m512i blank = _mm512_set1_epi8(' ');
  bool plain = true;
  for (size_t k = 0; k < count; ++k) {
    const __m512i v = _mm512_loadu_si512(histories[k]);
    const __m512i low = _mm512_shuffle_epi8(lo, _mm512_and_si512(v, nibble));
    const __m512i high = _mm512_shuffle_epi8(hi, _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
    const uint64_t caught = _mm512_test_epi8_mask(low, high) & period_bits_;
    const uint64_t empty = _mm512_cmpeq_epi8_mask(v, zero) | _mm512_cmpeq_epi8_mask(v, dot) |
                           _mm512_cmpeq_epi8_mask(v, blank);
    captures[k] = caught;
    odd[k] = ~(caught | empty) & period_bits_;
    plain &= (caught != 0) & (odd[k] == 0);
  }
  return plain;
}
#else
bool CaptureMasks::FindWide(const unsigned char* const* histories, size_t count,
                            uint64_t* captures, uint64_t* odd) const {
  return FindPlain(histories, count, captures, odd);
}

bool CaptureMasks::FindVectors(const unsigned char* const* histories, size_t count,
                               uint64_t* captures, uint64_t* odd) const {
  return FindPlain(histories, count, captures, odd);
}
#endif

}  // namespace haplovex
