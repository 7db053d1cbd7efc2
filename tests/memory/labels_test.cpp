#include "memory/labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/test_support.h"
#include "common/text_file.h"
#include "memory/parameters.h"

namespace haplovex {
namespace {

TEST(MemoryLabelsTest, TransitionNames) {
  struct Case {
    int32_t modset, smstrat, r, next;
    const char* name;
  };
  // Three strata: smstrat 0 is the diagonal, 1..3 a destination, 4 every other destination.
  const std::vector<Case> cases = {
      {1, 0, 1, 1, "PHI"}, {1, 0, 1, 2, "PHI"},
      {3, 0, 2, 2, "SRV"}, {3, 0, 2, 3, "MOV"}, {3, 0, 3, 2, "MOV"},
      {3, 2, 1, 2, "SRV"}, {3, 2, 2, 2, "SRV"}, {3, 2, 3, 2, "SRV"}, {3, 2, 1, 1, "MOV"},
      {3, 4, 1, 2, "SRV"}, {3, 4, 1, 3, "SRV"}, {3, 4, 1, 1, "MOV"}, {3, 4, 3, 3, "MOV"},
  };
  for (const Case& c : cases) {
    ConversionSettings s;
    s.modset = static_cast<ModelSet>(c.modset);
    s.smstrat = c.smstrat;
    s.nstrata = 3;
    EXPECT_EQ(MemoryTransitionName(s, c.r, c.next), c.name)
        << "modset " << c.modset << " smstrat " << c.smstrat << " r " << c.r << " s " << c.next;
  }
}

// Three strata with every other destination replaced, and two age classes: only the first
// G*B parameters are labelled, and the replaced transitions of one (q, r) share a label.
TEST(MemoryLabelsTest, LabelsCoverTheGroupBlocksOnly) {
  ConversionSettings s;
  s.modset = ModelSet::kMemoryMovementSm;
  s.smstrat = 4;
  s.nstrata = 3;
  s.nyrs = 3;
  s.nage = 2;
  s.ngroups = 1;
  s.scodes = "XYZ" + std::string(23, ' ');
  const MemoryParameters p(s);
  ASSERT_EQ(p.B, 30);
  ASSERT_EQ(p.npar(), 60);
  LabelTable lbl(p.npar(), kMemoryLayout.label_width, "LBL");
  OutputFile out("HAPLOVEX.OUT");
  out.OpenMemory();
  WriteMemoryLabels(s, lbl, out);
  const std::vector<std::string> lines = testing::Lines(out.contents());
  ASSERT_EQ(lines.size(), 31u);
  EXPECT_EQ(lines[0], "LABELS;");
  EXPECT_EQ(lines[1], "S(00001)=MOV(00002)   XXX      ;");
  EXPECT_EQ(lines[2], "S(00002)=SRV(00002)   XX       ;");
  EXPECT_EQ(lines[3], "S(00003)=SRV(00002)   XX       ;");
  EXPECT_EQ(lines[14], "S(00014)=MOV(00002)   YYY      ;");
  EXPECT_EQ(lines[28], "S(00028)=p(00003)   X          ;");
  EXPECT_EQ(lines[30], "S(00030)=p(00003)   Z          ;");
  EXPECT_EQ(lbl(14), "MOV(00002)   YYY    ");
  // Entries past the group block are never filled.
  for (int64_t k = 31; k <= 60; ++k) EXPECT_EQ(lbl(k), std::string(20, ' ')) << k;
}

}  // namespace
}  // namespace haplovex
