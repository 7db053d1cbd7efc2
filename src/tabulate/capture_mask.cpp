#include "tabulate/capture_mask.h"

#include <immintrin.h>

#include <vector>

namespace haplovex {

CaptureMasks::CaptureMasks(const std::array<int8_t, 256>& code_class, size_t periods,
                           Width width)
    : code_class_(code_class),
      period_bits_(periods >= 64 ? ~uint64_t{0} : (uint64_t{1} << periods) - 1) {
  // For each kind of byte that the test tells (capture codes, marks of no capture), the low
  // nibbles of its bytes under each high nibble; high nibbles with the same low nibbles share
  // a bit of the test. The capture codes take the bits of code_bits_.
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
      if (bits_used + bit >= 8) return;  // more kinds than the test has bits: the plain code serves
      const auto mask = static_cast<uint8_t>(1u << (bits_used + bit));
      hi_[h] = hi_[h + 16] = uint8_t(hi_[h] | mask);
      for (size_t l = 0; l < 16; ++l) {
        if (lows[h] & (1u << l)) lo_[l] = lo_[l + 16] = uint8_t(lo_[l] | mask);
      }
    }
    if (codes) code_bits_ = static_cast<uint8_t>((1u << patterns.size()) - 1);
    bits_used += patterns.size();
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
  const __m256i codes = _mm256_set1_epi8(static_cast<char>(code_bits_));
  const __m256i none = _mm256_setzero_si256();
  const uint64_t period_bits = period_bits_;
  uint64_t any_odd = 0;
  bool all_caught = true;
  for (size_t k = 0; k < count; ++k) {
    uint64_t not_caught = 0;
    uint64_t strange = 0;
    for (int half = 0; half < halves_; ++half) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(histories[k] + 32 * half));
      const __m256i low = _mm256_shuffle_epi8(lo, _mm256_and_si256(v, nibble));
      const __m256i high =
          _mm256_shuffle_epi8(hi, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
      // The bits of each byte's kinds: some of code_bits_ for a capture code, others for a
      // mark of no capture, none for an odd byte.
      const __m256i kinds = _mm256_and_si256(low, high);
      const auto no_code = static_cast<uint32_t>(
          _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(kinds, codes), none)));
      const auto no_kind = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(kinds, none)));
      not_caught |= uint64_t{no_code} << (32 * half);
      strange |= uint64_t{no_kind} << (32 * half);
    }
    const uint64_t caught = ~not_caught & period_bits;
    captures[k] = caught;
    odd[k] = strange & period_bits;
    any_odd |= odd[k];
    all_caught &= caught != 0;
  }
  return all_caught && any_odd == 0;
}

__attribute__((target("avx512bw"))) bool CaptureMasks::FindWide(const unsigned char* const* histories,
                                                                 size_t count, uint64_t* captures,
                                                                 uint64_t* odd) const {
  const __m512i lo = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(lo_.data())));
  const __m512i hi = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(hi_.data())));
  const __m512i nibble = _mm512_set1_epi8(0x0f);
  const __m512i codes = _mm512_set1_epi8(static_cast<char>(code_bits_));
  const uint64_t period_bits = period_bits_;
  uint64_t any_odd = 0;
  bool all_caught = true;
  for (size_t k = 0; k < count; ++k) {
    const __m512i v = _mm512_loadu_si512(histories[k]);
    const __m512i low = _mm512_shuffle_epi8(lo, _mm512_and_si512(v, nibble));
    const __m512i high = _mm512_shuffle_epi8(hi, _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
    const __m512i kinds = _mm512_and_si512(low, high);
    const uint64_t caught = _mm512_test_epi8_mask(kinds, codes) & period_bits;
    const uint64_t strange = _mm512_testn_epi8_mask(kinds, kinds) & period_bits;
    captures[k] = caught;
    odd[k] = strange;
    any_odd |= strange;
    all_caught &= caught != 0;
  }
  return all_caught && any_odd == 0;
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
