#include "tabulate/kernels/kernel_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace haplovex {
namespace {

// The set a run reads with: the best unless HAPLOVEX_KERNELS names another the machine has;
// anything else is refused with the sets there are.
TEST(ChooseKernelsTest, BestOrTheOneNamed) {
  const std::vector<KernelSet> here = KernelSetsHere();
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(here.front(), KernelSet::kPortable) << "every machine reads with the portable kernels";
  std::string problem;
  EXPECT_EQ(ChooseKernels(nullptr, problem), here.back());
  EXPECT_EQ(ChooseKernels("", problem), here.back());
  for (const KernelSet set : here) {
    EXPECT_EQ(ChooseKernels(KernelName(set), problem), set) << KernelName(set);
    EXPECT_EQ(KernelNamed(KernelName(set)), set);
  }
  EXPECT_TRUE(problem.empty()) << problem;
  for (const char* name : {"mmx", "AVX2", " avx2", "avx2 "}) {
    problem.clear();
    EXPECT_FALSE(ChooseKernels(name, problem).has_value()) << name;
    EXPECT_NE(problem.find("names no set of kernels"), std::string::npos) << problem;
    EXPECT_NE(problem.find("here: portable"), std::string::npos) << problem;
  }
  for (const char* name : {"portable", "sse2", "avx2", "avx512", "neon"}) {
    const KernelSet set = *KernelNamed(name);
    if (std::find(here.begin(), here.end(), set) != here.end()) continue;
    problem.clear();
    EXPECT_FALSE(ChooseKernels(name, problem).has_value()) << name;
    EXPECT_NE(problem.find("can't run those kernels"), std::string::npos) << problem;
  }
}

// The sets a build has follow from its machine: every x86-64 machine has SSE2 and no NEON, every
// 64-bit ARM machine NEON (chosen there) and no x86 set, and a build of the portable kernels only
// has those.
TEST(ChooseKernelsTest, TheMachinesOwnSets) {
  const std::vector<KernelSet> here = KernelSetsHere();
  auto has = [&](KernelSet set) { return std::find(here.begin(), here.end(), set) != here.end(); };
  EXPECT_EQ(has(KernelSet::kSse2), HAPLOVEX_X86_KERNELS == 1);
  EXPECT_EQ(has(KernelSet::kNeon), HAPLOVEX_NEON_KERNELS == 1);
  if (HAPLOVEX_NEON_KERNELS) {
    EXPECT_EQ(here.size(), 2u);
    EXPECT_EQ(BestKernels(), KernelSet::kNeon);
  }
  if (!HAPLOVEX_X86_KERNELS && !HAPLOVEX_NEON_KERNELS) {
    EXPECT_EQ(here, std::vector<KernelSet>{KernelSet::kPortable});
  }
  EXPECT_EQ(KernelName(KernelSet::kNeon), std::string("neon"));
}

}  // namespace
}  // namespace haplovex
