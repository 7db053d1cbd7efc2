#include "tabulate/kernels/kernels.h"

#include "tabulate/kernels/with_kernels.h"

namespace haplovex {

uint64_t LineEndsWith(KernelSet set, const char* chunk, LineEndBytes ends) {
  return WithKernels(set, [&]<typename Kernels>() { return Kernels::LineEnds(chunk, ends); });
}

bool MasksWith(KernelSet set, const CaptureMasks& masks, const unsigned char* const* histories,
               size_t count, uint64_t* captures, uint64_t* odd) {
  return WithKernels(set, [&]<typename Kernels>() {
    return Kernels::Masks(masks, histories, count, captures, odd);
  });
}

bool QuickFrequencyWith(KernelSet set, const char* field, size_t columns, uint32_t& value) {
  return WithKernels(
      set, [&]<typename Kernels>() { return Kernels::QuickFrequency(field, columns, value); });
}

}  // namespace haplovex
