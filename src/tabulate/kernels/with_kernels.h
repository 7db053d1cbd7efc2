// The one place a run's set of kernels is chosen for the record path: WithKernels runs a piece of
// code with the kernels of a set, compiled with that set's instructions, so that the kernels are
// inlined into it with no call a chunk or a record to choose between sets.
#pragma once

#include "tabulate/kernels/avx512.h"
#include "tabulate/kernels/kernel_set.h"
#include "tabulate/kernels/neon.h"
#include "tabulate/kernels/portable.h"

namespace haplovex {

namespace kernels_detail {

// run.operator()<Kernels>(), in a function with the instructions of the set.
template <typename Kernels>
struct CompiledFor {
  template <typename Run>
  static decltype(auto) Call(Run& run) {
    return run.template operator()<Kernels>();
  }
};
#if HAPLOVEX_X86_KERNELS
template <>
struct CompiledFor<Avx2Kernels> {
  template <typename Run>
  HAPLOVEX_AVX2_TARGET static decltype(auto) Call(Run& run) {
    return run.template operator()<Avx2Kernels>();
  }
};
template <>
struct CompiledFor<Avx512Kernels> {
  template <typename Run>
  HAPLOVEX_AVX512_TARGET static decltype(auto) Call(Run& run) {
    return run.template operator()<Avx512Kernels>();
  }
};
#endif

}  // namespace kernels_detail

// run.operator()<Kernels>() with the kernels of `set` (one of KernelSetsHere()). `run` is a
// template lambda, `[&]<typename Kernels>() __attribute__((always_inline)) { ... }`: always
// inlined, so that what it runs is compiled with the set's instructions.
template <typename Run>
decltype(auto) WithKernels(KernelSet set, Run run) {
  using kernels_detail::CompiledFor;
  switch (set) {
#if HAPLOVEX_X86_KERNELS
    case KernelSet::kSse2:
      return CompiledFor<Sse2Kernels>::Call(run);
    case KernelSet::kAvx2:
      return CompiledFor<Avx2Kernels>::Call(run);
    case KernelSet::kAvx512:
      return CompiledFor<Avx512Kernels>::Call(run);
#endif
#if HAPLOVEX_NEON_KERNELS
    case KernelSet::kNeon:
      return CompiledFor<NeonKernels>::Call(run);
#endif
    default:
      return CompiledFor<PortableKernels>::Call(run);
  }
}

}  // namespace haplovex
