#include "movement/labels.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../common/test_support.h"
#include "movement/parameters.h"

namespace haplovex {
namespace {

std::string Codes(const std::string& typed) { return typed + std::string(26 - typed.size(), ' '); }

struct SurvivalCase {
  int32_t nstrata;
  int32_t smstrat;
  std::vector<int32_t> destination;  // for source 1..nstrata
};

TEST(SurvivalDestinationTest, OneSurvivalParameterPerSource) {
  const std::vector<SurvivalCase> cases = {
      {2, 0, {1, 2}},  // the diagonal
      {2, 1, {1, 1}},
      {2, 2, {2, 2}},
      {2, 3, {2, 1}},  // S+1: the last stratum, and the first one for the last stratum
      {3, 0, {1, 2, 3}},
      {3, 1, {1, 1, 1}},
      {3, 2, {2, 2, 2}},
      {3, 3, {3, 3, 3}},
      {3, 4, {3, 3, 1}},
      {1, 0, {1}},
      {1, 1, {1}},
      {1, 2, {1}},
      {5, 6, {5, 5, 5, 5, 1}},
  };
  for (const SurvivalCase& c : cases) {
    for (int32_t i = 1; i <= c.nstrata; ++i) {
      EXPECT_EQ(SurvivalDestination(c.smstrat, c.nstrata, i),
                c.destination[static_cast<size_t>(i - 1)])
          << "S=" << c.nstrata << " smstrat=" << c.smstrat << " source " << i;
    }
  }
}

struct Shape {
  int32_t S, Y, A, G;
  int64_t npar;
};

TEST(MovementParametersTest, EveryNumberFromOneToNparOnce) {
  const std::vector<Shape> shapes = {
      {2, 3, 1, 2, 24}, {2, 3, 2, 1, 20}, {2, 2, 1, 1, 6},   {1, 4, 1, 1, 6},
      {3, 4, 3, 2, 198}, {8, 3, 1, 1, 144}, {2, 3, 2, 3, 60},
  };
  for (const Shape& shape : shapes) {
    ConversionSettings s;
    s.nstrata = shape.S;
    s.nyrs = shape.Y;
    s.nage = shape.A;
    s.ngroups = shape.G;
    const MovementParameters p(s);
    EXPECT_EQ(p.npar(), shape.npar);
    // Numbers given out in the order the labels are written.
    int64_t k = 0;
    for (int64_t g = 1; g <= shape.G; ++g) {
      for (int64_t a = 1; a <= shape.A; ++a) {
        for (int64_t t = 1; t < shape.Y; ++t)
          for (int64_t i = 1; i <= shape.S; ++i)
            for (int64_t j = 1; j <= shape.S; ++j) EXPECT_EQ(p.T(g, a, t, i, j), ++k);
        if (!p.HasCaptureBlock(a)) continue;
        for (int64_t t = 2; t <= shape.Y; ++t)
          for (int64_t i = 1; i <= shape.S; ++i) EXPECT_EQ(p.R(g, a, t, i), ++k);
      }
    }
    EXPECT_EQ(k, p.npar()) << shape.S << " " << shape.Y << " " << shape.A << " " << shape.G;
  }
}

class LabelsTest : public ::testing::Test {
 protected:
  // Writes the labels section and returns its lines.
  std::vector<std::string> Write(const ConversionSettings& s) {
    lbl_ = std::make_unique<LabelTable>(MovementParameters(s).npar(), kMovementLayout.label_width,
                                        "lbl");
    OutputFile out("HAPLOVEX.OUT");
    out.OpenMemory();
    WriteMovementLabels(s, *lbl_, out);
    return testing::Lines(out.contents());
  }
  std::string Entry(int64_t k) const { return std::string((*lbl_)(k)); }

  std::unique_ptr<LabelTable> lbl_;
};

// Strata AB, 3 periods, one age class, groups MF.
ConversionSettings TwoGroups(ModelSet modset, int32_t smstrat) {
  ConversionSettings s;
  s.modset = modset;
  s.smstrat = smstrat;
  s.nstrata = 2;
  s.nyrs = 3;
  s.nage = 1;
  s.ngroups = 2;
  s.scodes = Codes("AB");
  s.gcodes = Codes("MF");
  return s;
}

struct SmCase {
  int32_t smstrat;
  std::vector<std::string> first_four;
};

TEST_F(LabelsTest, SurvivalLabelsOfGroupOne) {
  const std::vector<SmCase> cases = {
      {0, {"SRV(01,A,M) A", "MOV(01,A,M) AB", "MOV(01,A,M) BA", "SRV(01,A,M) B"}},
      {1, {"SRV(01,A,M) A", "MOV(01,A,M) AB", "SRV(01,A,M) B", "MOV(01,A,M) BB"}},
      {2, {"MOV(01,A,M) AA", "SRV(01,A,M) A", "MOV(01,A,M) BA", "SRV(01,A,M) B"}},
      {3, {"MOV(01,A,M) AA", "SRV(01,A,M) A", "SRV(01,A,M) B", "MOV(01,A,M) BB"}},
  };
  for (const SmCase& c : cases) {
    const std::vector<std::string> lines = Write(TwoGroups(ModelSet::kMovementOnlySm, c.smstrat));
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[0], "LABELS;");
    for (size_t k = 1; k <= 4; ++k) {
      EXPECT_EQ(lines[k], "S(000" + std::to_string(k) + ")=" + c.first_four[k - 1] + " ;")
          << "smstrat " << c.smstrat;
      EXPECT_EQ(Entry(k), c.first_four[k - 1] + std::string(14 - c.first_four[k - 1].size(), ' '));
    }
    // Interval 2 and group F follow the same rule.
    EXPECT_EQ(lines[5].substr(8), c.first_four[0].substr(0, 4) + "02,A,M) " +
                                      c.first_four[0].substr(12) + " ;");
    EXPECT_EQ(lines[20].substr(8), c.first_four[3].substr(0, 4) + "02,A,F) " +
                                       c.first_four[3].substr(12) + " ;");
    EXPECT_EQ(lines[24], "S(0024)=p(03,A,F) B ;");
  }
}

TEST_F(LabelsTest, OneEntryPerParameterBlankPadded) {
  ConversionSettings s = TwoGroups(ModelSet::kMovementOnly, 0);
  s.nage = 2;
  s.acodes = Codes("JA");
  const std::vector<std::string> lines = Write(s);
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[1], "S(0001)=PHI(01,J,M) AA ;");
  EXPECT_EQ(lines[9], "S(0009)=p(02,A,M) A ;");  // the capture block carries the next age code
  EXPECT_EQ(lines[13], "S(0013)=PHI(01,A,M) AA ;");
  EXPECT_EQ(lines[21], "S(0021)=PHI(01,J,F) AA ;");
  EXPECT_EQ(lines[40], "S(0040)=PHI(02,A,F) BB ;");
  EXPECT_EQ(Entry(9), "p(02,A,M) A   ");
  EXPECT_EQ(Entry(40), "PHI(02,A,F) BB");
  for (int64_t k = 1; k <= 40; ++k) EXPECT_NE(Entry(k), std::string(14, ' ')) << "entry " << k;
}

TEST_F(LabelsTest, WideNumbersAndTimesAreAsterisks) {
  // One stratum, 101 periods: times 100 and 101 need three digits.
  ConversionSettings s;
  s.modset = ModelSet::kMovementOnly;
  s.nstrata = 1;
  s.nyrs = 101;
  s.nage = 1;
  s.ngroups = 1;
  s.scodes = Codes("A");
  std::vector<std::string> lines = Write(s);
  ASSERT_EQ(lines.size(), 201u);
  EXPECT_EQ(lines[99], "S(0099)=PHI(99,A, ) AA ;");
  EXPECT_EQ(lines[100], "S(0100)=PHI(**,A, ) AA ;");
  EXPECT_EQ(lines[199], "S(0199)=p(**,A, ) A ;");
  EXPECT_EQ(Entry(200), "p(**,A, ) A   ");

  // 26 strata, 16 periods: 15 * (676 + 26) = 10530 parameters.
  s.nstrata = 26;
  s.nyrs = 16;
  s.scodes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  lines = Write(s);
  ASSERT_EQ(lines.size(), 10531u);
  EXPECT_EQ(lines[9999], "S(9999)=PHI(15,A, ) UO ;");
  EXPECT_EQ(lines[10000], "S(****)=PHI(15,A, ) UP ;");
  EXPECT_EQ(lines[10530], "S(****)=p(16,A, ) Z ;");
}

}  // namespace
}  // namespace haplovex
