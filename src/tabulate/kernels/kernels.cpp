#include "tabulate/kernels/kernels.h"

#include "tabulate/kernels/avx512.h"

namespace haplovex {

namespace {

template <typename Kernels>
struct OutOfLine {
  static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    return Kernels::LineEnds(chunk, ends);
  }
  static bool Masks(const CaptureMasks& m, const unsigned char* const* histories, size_t count,
                    uint64_t* captures, uint64_t* odd) {
    return Kernels::Masks(m, histories, count, captures, odd);
  }
  static bool QuickFrequency(const char* field, size_t columns, uint32_t& value) {
    return Kernels::QuickFrequency(field, columns, value);
  }
};

#if HAPLOVEX_X86_KERNELS
template <>
struct OutOfLine<Avx2Kernels> {
  HAPLOVEX_AVX2_TARGET static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    return Avx2Kernels::LineEnds(chunk, ends);
  }
  HAPLOVEX_AVX2_TARGET static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                         size_t count, uint64_t* captures, uint64_t* odd) {
    return Avx2Kernels::Masks(m, histories, count, captures, odd);
  }
  HAPLOVEX_AVX2_TARGET static bool QuickFrequency(const char* field, size_t columns, uint32_t& value) {
    return Avx2Kernels::QuickFrequency(field, columns, value);
  }
};

template <>
struct OutOfLine<Avx512Kernels> {
  HAPLOVEX_AVX512_TARGET static uint64_t LineEnds(const char* chunk, LineEndBytes ends) {
    return Avx512Kernels::LineEnds(chunk, ends);
  }
  HAPLOVEX_AVX512_TARGET static bool Masks(const CaptureMasks& m, const unsigned char* const* histories,
                                           size_t count, uint64_t* captures, uint64_t* odd) {
    return Avx512Kernels::Masks(m, histories, count, captures, odd);
  }
  HAPLOVEX_AVX512_TARGET static bool QuickFrequency(const char* field, size_t columns,
                                                    uint32_t& value) {
    return Avx512Kernels::QuickFrequency(field, columns, value);
  }
};
#endif

// Calls `call` with the OutOfLine kernels of `set`.
template <typename Call>
auto WithSet(KernelSet set, Call call) {
  switch (set) {
#if HAPLOVEX_X86_KERNELS
    case KernelSet::kSse2:
      return call(OutOfLine<Sse2Kernels>{});
    case KernelSet::kAvx2:
      return call(OutOfLine<Avx2Kernels>{});
    case KernelSet::kAvx512:
      return call(OutOfLine<Avx512Kernels>{});
#endif
    default:
      return call(OutOfLine<PortableKernels>{});
  }
}

}  // namespace

uint64_t LineEndsWith(KernelSet set, const char* chunk, LineEndBytes ends) {
  return WithSet(set, [&](auto k) { return decltype(k)::LineEnds(chunk, ends); });
}

bool MasksWith(KernelSet set, const CaptureMasks& masks, const unsigned char* const* histories,
               size_t count, uint64_t* captures, uint64_t* odd) {
  return WithSet(set, [&](auto k) { return decltype(k)::Masks(masks, histories, count, captures, odd); });
}

bool QuickFrequencyWith(KernelSet set, const char* field, size_t columns, uint32_t& value) {
  return WithSet(set, [&](auto k) { return decltype(k)::QuickFrequency(field, columns, value); });
}

}  // namespace haplovex
