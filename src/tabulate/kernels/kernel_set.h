// The sets of instructions the record path is compiled for. The part reader (part_reader.h)
// is compiled once for each set this build has, kernels and counting together; one place
// (ChooseKernels) picks the set a run reads with: the best this machine can run, unless
// HAPLOVEX_KERNELS names another. Every set gives the same tables, byte for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The x86-64 sets are built with g++ or clang on x86-64, unless the build asks for the
// portable kernels only (the CMake option HAPLOVEX_PORTABLE_KERNELS).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(HAPLOVEX_PORTABLE_KERNELS)
#define HAPLOVEX_X86_KERNELS 1
// What a function compiled for the AVX2 set, or for the AVX-512 set, is marked with: its code
// may use those instructions, and runs only where the machine has them.
#define HAPLOVEX_AVX2_TARGET __attribute__((target("arch=x86-64-v3")))
#define HAPLOVEX_AVX512_TARGET __attribute__((target("arch=x86-64-v4")))
#else
#define HAPLOVEX_X86_KERNELS 0
#endif
// The NEON set is built with g++ or clang on 64-bit ARM, where every machine has it.
#if defined(__aarch64__) && defined(__GNUC__) && !defined(HAPLOVEX_PORTABLE_KERNELS)
#define HAPLOVEX_NEON_KERNELS 1
#else
#define HAPLOVEX_NEON_KERNELS 0
#endif

namespace haplovex {

enum class KernelSet {
  kPortable,  // plain C++, for any machine
  kSse2,      // 16-byte vectors, which every x86-64 machine has
  kAvx2,      // 32-byte vectors and the bit instructions of x86-64-v3
  kAvx512,    // 64-byte vectors (AVX-512 BW) and x86-64-v4
  kNeon,      // 16-byte vectors of 64-bit ARM, which every aarch64 machine has
};

// "portable", "sse2", "avx2", "avx512", "neon".
const char* KernelName(KernelSet set);
std::optional<KernelSet> KernelNamed(std::string_view name);

// The sets this build has and this machine can run, plainest first (the portable set first).
std::vector<KernelSet> KernelSetsHere();

// The best of KernelSetsHere().
KernelSet BestKernels();

// The set a run reads with: the best of KernelSetsHere(), or the one `forced` names (the value
// of HAPLOVEX_KERNELS; none when null or empty). A name that is no set, or a set this build
// or machine lacks, leaves `problem` saying so and gives nothing.
std::optional<KernelSet> ChooseKernels(const char* forced, std::string& problem);

}  // namespace haplovex
