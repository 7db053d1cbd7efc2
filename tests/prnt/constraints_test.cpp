#include "prnt/constraints.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace haplovex {
namespace {

class RunLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("haplovex_runlines_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    ASSERT_EQ(out_.OpenReplace(path_), 0);
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::string Written() {
    out_.Close();
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::filesystem::path path_;
  OutputFile out_{"HAPLOVEX.OUT"};
};

TEST_F(RunLinesTest, QuotesBothLabelsAtTheirFullWidth) {
  // Three 14-character entries: a transition, a survival and a capture label.
  const std::string lbl = "PHI(01,A,M) AASRV(02,A,M) A p(03,A,M) A   ";
  RunLines lines(out_, 4, lbl, 14);
  lines.Equal(2, 1);
  lines.Equal(3, 2);
  lines.Fixed(3, "1.0");
  EXPECT_EQ(Written(),
            "S(0002)=S(0001) /* SRV(02,A,M) A =PHI(01,A,M) AA */;\n"
            "S(0003)=S(0002) /* p(03,A,M) A   =SRV(02,A,M) A  */;\n"
            "S(0003)=1.0 /* p(03,A,M) A    */;\n");
}

TEST_F(RunLinesTest, ParameterNumbersTooWideAreAsterisks) {
  std::string lbl(10000 * 14, ' ');
  lbl.replace(9999 * 14, 14, "p(02,A,M) B   ");
  RunLines lines(out_, 4, lbl, 14);
  lines.Fixed(10000, "1.0");
  lines.Equal(10000, 1);
  EXPECT_EQ(Written(),
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
  RunLines lines(out_, 4, "", 14);
  for (const InitialCase& c : cases) {
    lines.InitialAll(c.nstrata);
    expected += std::string(c.line) + "\n";
  }
  EXPECT_EQ(Written(), expected);
}

}  // namespace
}  // namespace haplovex
