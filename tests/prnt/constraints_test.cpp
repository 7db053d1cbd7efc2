#include "prnt/constraints.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace haplovex {
namespace {

class RunLinesTest : public ::testing::Test {
 protected:
  void SetUp() override { out_.OpenMemory(); }

  // A label table of 14-character entries holding `labels` from parameter 1 on.
  static LabelTable Labels(int64_t count, const std::vector<std::string>& labels) {
    LabelTable lbl(count, kFourDigits.label_width, "lbl");
    for (size_t k = 0; k < labels.size(); ++k) lbl.Set(static_cast<int64_t>(k + 1), labels[k]);
    return lbl;
  }

  static constexpr ParameterLayout kFourDigits{4, 14, false, " ;"};
  OutputFile out_{"HAPLOVEX.OUT"};
};

TEST_F(RunLinesTest, QuotesBothLabelsAtTheirFullWidth) {
  // A transition, a survival and a capture label.
  const LabelTable lbl = Labels(3, {"PHI(01,A,M) AA", "SRV(02,A,M) A", "p(03,A,M) A"});
  RunLines lines(out_, kFourDigits, lbl);
  lines.Equal(2, 1);
  lines.Equal(3, 2);
  lines.Fixed(3, "1.0");
  EXPECT_EQ(out_.contents(),
            "S(0002)=S(0001) /* SRV(02,A,M) A =PHI(01,A,M) AA */;\n"
            "S(0003)=S(0002) /* p(03,A,M) A   =SRV(02,A,M) A  */;\n"
            "S(0003)=1.0 /* p(03,A,M) A    */;\n");
}

TEST_F(RunLinesTest, ParameterNumbersTooWideAreAsterisks) {
  LabelTable lbl = Labels(10000, {});
  lbl.Set(10000, "p(02,A,M) B");
  RunLines lines(out_, kFourDigits, lbl);
  lines.Fixed(10000, "1.0");
  lines.Equal(10000, 1);
  EXPECT_EQ(out_.contents(),
            "S(****)=1.0 /* p(02,A,M) B    */;\n"
            "S(****)=S(0001) /* p(02,A,M) B   =               */;\n");
}

struct InitialCase {
  int32_t nstrata;
  const char* line;
};

TEST_F(RunLinesTest, StartingValueIsOneOverStrataToThreeDecimals) {
  const std::vector<InitialCase> cases = {
      {1, "INITIAL; ALL= 1.000;"},  {2, "INITIAL; ALL= 0.500;"},  {3, "INITIAL; ALL= 0.333;"},
      {4, "INITIAL; ALL= 0.250;"},  {6, "INITIAL; ALL= 0.167;"},  {7, "INITIAL; ALL= 0.143;"},
      {9, "INITIAL; ALL= 0.111;"},  {16, "INITIAL; ALL= 0.063;"},  // a tie goes away from zero
      {26, "INITIAL; ALL= 0.038;"},
  };
  std::string expected;
  const LabelTable lbl = Labels(0, {});
  RunLines lines(out_, kFourDigits, lbl);
  for (const InitialCase& c : cases) {
    lines.InitialAll(c.nstrata);
    expected += std::string(c.line) + "\n";
  }
  EXPECT_EQ(out_.contents(), expected);
}

}  // namespace
}  // namespace haplovex
