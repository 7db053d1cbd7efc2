#include "prnt/prnt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/test_support.h"

namespace haplovex {
namespace {

// A line builder writing into an output kept in memory; Lines() reads back what was written,
// one string a line.
class LineBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { out_.OpenMemory(); }

  std::vector<std::string> Lines() {
    const std::string& all = out_.contents();
    EXPECT_TRUE(all.empty() || all.back() == '\n') << "the file must end with a line end";
    return testing::Lines(all);
  }

  // Fills the buffer from empty with `count` characters "x", so that outpos is `count`.
  void FillTo(int32_t count) {
    line_.PRNTA(std::string(static_cast<size_t>(count), 'x'));
    ASSERT_EQ(line_.outpos(), count);
  }

  std::string Buffer() const { return std::string(line_.outline()); }

  OutputFile out_{"HAPLOVEX.OUT"};
  OutputLine line_{out_};
};

TEST_F(LineBuilderTest, CohortExampleFromEmptyBuffer) {
  line_.PRNTA("COHORT=");
  EXPECT_EQ(line_.outpos(), 7);
  line_.PRNTI(25);
  EXPECT_EQ(line_.outpos(), 9);
  EXPECT_EQ(Buffer().substr(0, 9), "COHORT=25");
  line_.PRNTA(";");
  EXPECT_EQ(line_.outpos(), 10);
  line_.PRNTI(3);
  EXPECT_EQ(line_.outpos(), 11);
  line_.PRNTA(":;");
  EXPECT_EQ(line_.outpos(), 13);
  EXPECT_EQ(Buffer(), "COHORT=25;3:;" + std::string(237, ' '));
  EXPECT_TRUE(Lines().empty()) << "nothing is written before the caller ends the line";
}

TEST_F(LineBuilderTest, NumberMovesWhenFewerThanNineColumnsRemain) {
  FillTo(245);
  line_.PRNTI(7);
  EXPECT_EQ(line_.outpos(), 1);
  EXPECT_EQ(Buffer(), "7" + std::string(249, ' '));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(245, 'x') + std::string(5, ' '));
}

TEST_F(LineBuilderTest, NumberMovesAtOutpos242EvenWithOneDigit) {
  FillTo(242);
  line_.PRNTI(0);
  EXPECT_EQ(line_.outpos(), 1);
  EXPECT_EQ(Buffer()[0], '0');
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 250u);
}

TEST_F(LineBuilderTest, NineDigitsFillTheLastNineColumnsWithoutFlush) {
  FillTo(241);
  line_.PRNTI(123456789);
  EXPECT_EQ(line_.outpos(), 250);
  EXPECT_EQ(Buffer(), std::string(241, 'x') + "123456789");
  EXPECT_TRUE(Lines().empty());
}

TEST_F(LineBuilderTest, TextExactlyFillingTheLineThenNextTextFlushes) {
  FillTo(248);
  line_.PRNTA(":;");
  EXPECT_EQ(line_.outpos(), 250);
  line_.PRNTA(";");
  EXPECT_EQ(line_.outpos(), 1);
  EXPECT_EQ(Buffer(), ";" + std::string(249, ' '));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(248, 'x') + ":;");
}

TEST_F(LineBuilderTest, TextOneColumnTooLongFlushesTheWholeBuffer) {
  FillTo(249);
  line_.PRNTA(":;");
  EXPECT_EQ(line_.outpos(), 2);
  EXPECT_EQ(Buffer().substr(0, 3), ":; ");
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(249, 'x') + " ");
}

struct DigitsCase {
  int32_t value;
  std::string appended;
};

TEST_F(LineBuilderTest, NumbersAppendTheirDigitsOnly) {
  const std::vector<DigitsCase> cases = {
      {0, "0"},
      {7, "7"},
      {1234, "1234"},
      {-5, "5"},                   // the sign is never appended
      {999999999, "999999999"},    // nine digits: the widest that is written
      {-99999999, "99999999"},     // nine characters with its sign
      {1000000000, ""},            // ten digits: nothing at all
      {-100000000, ""},            // ten characters with its sign
      {2147483647, ""},
      {-2147483647 - 1, ""},
  };
  for (const DigitsCase& c : cases) {
    line_.PRNTA("<");
    line_.PRNTI(c.value);
    line_.PRNTA(">");
    const std::string expected = "<" + c.appended + ">";
    EXPECT_EQ(line_.outpos(), static_cast<int32_t>(expected.size())) << c.value;
    EXPECT_EQ(Buffer(), expected + std::string(250 - expected.size(), ' ')) << c.value;
    line_.EndLine();
  }
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), cases.size());
  for (size_t k = 0; k < cases.size(); ++k) EXPECT_EQ(lines[k], "<" + cases[k].appended + ">");
}

TEST_F(LineBuilderTest, NumberWithNoDigitsStillFlushesWhenShortOfRoom) {
  FillTo(245);
  line_.PRNTI(1000000000);
  EXPECT_EQ(line_.outpos(), 0);
  EXPECT_EQ(Lines().size(), 1u);
}

TEST_F(LineBuilderTest, EndLineWritesTheUsedPartAndLeavesABlankBuffer) {
  line_.PRNTA("COHORT=");
  line_.PRNTI(12);
  line_.EndLine();
  EXPECT_EQ(line_.outpos(), 0);
  EXPECT_EQ(Buffer(), std::string(250, ' '));
  line_.PRNTA("C");
  line_.EndLine();
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "COHORT=12");
  EXPECT_EQ(lines[1], "C");
}

TEST_F(LineBuilderTest, LongStatementContinuesOnFullLines) {
  // "COHORT=0;" and then "0:;" cells: after 78 cells 243 columns are used, so the 79th
  // cell's number finds only 7 free columns and goes to a new line.
  line_.PRNTA("COHORT=");
  line_.PRNTI(0);
  line_.PRNTA(";");
  for (int cell = 0; cell < 80; ++cell) {
    line_.PRNTI(0);
    line_.PRNTA(":;");
  }
  line_.EndLine();
  std::string first = "COHORT=0;";
  for (int cell = 0; cell < 78; ++cell) first += "0:;";
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], first + std::string(250 - first.size(), ' '));
  EXPECT_EQ(lines[1], "0:;0:;");
}

}  // namespace
}  // namespace haplovex
