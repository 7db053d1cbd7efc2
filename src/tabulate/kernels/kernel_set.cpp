#include "tabulate/kernels/kernel_set.h"

#include <array>

namespace haplovex {

namespace {

constexpr std::array<const char*, 5> kNames = {"portable", "sse2", "avx2", "avx512", "neon"};

bool MachineRuns(KernelSet set) {
#if HAPLOVEX_X86_KERNELS
  __builtin_cpu_init();
  switch (set) {
    case KernelSet::kPortable:
    case KernelSet::kSse2:
      return true;
#if defined(__clang__)
    case KernelSet::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
             __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
    case KernelSet::kAvx512:
      return MachineRuns(KernelSet::kAvx2) && __builtin_cpu_supports("avx512f") &&
             __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
             __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512cd");
#else
    case KernelSet::kAvx2:
      return __builtin_cpu_supports("x86-64-v3");
    case KernelSet::kAvx512:
      return __builtin_cpu_supports("x86-64-v4");
#endif
    case KernelSet::kNeon:
      return false;
  }
  return false;
#elif HAPLOVEX_NEON_KERNELS
  return set == KernelSet::kPortable || set == KernelSet::kNeon;
#else
  return set == KernelSet::kPortable;
#endif
}

}  // namespace

const char* KernelName(KernelSet set) { return kNames[static_cast<size_t>(set)]; }

std::optional<KernelSet> KernelNamed(std::string_view name) {
  for (size_t k = 0; k < kNames.size(); ++k) {
    if (name == kNames[k]) return static_cast<KernelSet>(k);
  }
  return std::nullopt;
}

std::vector<KernelSet> KernelSetsHere() {
  std::vector<KernelSet> sets;
  for (size_t k = 0; k < kNames.size(); ++k) {
    if (MachineRuns(static_cast<KernelSet>(k))) sets.push_back(static_cast<KernelSet>(k));
  }
  return sets;
}

KernelSet BestKernels() { return KernelSetsHere().back(); }

std::optional<KernelSet> ChooseKernels(const char* forced, std::string& problem) {
  const std::vector<KernelSet> here = KernelSetsHere();
  if (forced == nullptr || *forced == '\0') return BestKernels();
  std::string have;
  for (KernelSet set : here) have += std::string(have.empty() ? "" : ", ") + KernelName(set);
  const std::optional<KernelSet> named = KernelNamed(forced);
  if (!named) {
    problem = "HAPLOVEX_KERNELS='" + std::string(forced) +
              "' names no set of kernels (portable, sse2, avx2, avx512 or neon); here: " + have;
    return std::nullopt;
  }
  for (KernelSet set : here) {
    if (set == *named) return set;
  }
  problem = "HAPLOVEX_KERNELS=" + std::string(forced) +
            ": this machine or build can't run those kernels; here: " + have;
  return std::nullopt;
}

}  // namespace haplovex
