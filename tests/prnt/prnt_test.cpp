#include "prnt/prnt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace haplovex {
namespace {

// A line builder writing into a real output file in a fresh temporary folder; Lines() closes
// the file and reads back what was written, one string a line.
class LineBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("haplovex_prnt_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    ASSERT_EQ(out_.OpenReplace(dir_ / "HAPLOVEX.OUT"), 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::vector<std::string> Lines() {
    out_.Close();
    std::ifstream in(dir_ / "HAPLOVEX.OUT", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1) {
      lines.push_back(all.substr(start, nl - start));
    }
    EXPECT_EQ(start, all.size()) << "the file must end with a line end";
    return lines;
  }

  // Fills the buffer from empty with `count` characters "x", so that outpos is `count`.
  void FillTo(int32_t count) {
    PRNTA(outpos_, outline_, std::string(static_cast<size_t>(count), 'x'), out_);
    ASSERT_EQ(outpos_, count);
  }

  std::string Buffer() const { return std::string(outline_.data(), outline_.size()); }

  std::filesystem::path dir_;
  OutputFile out_{"HAPLOVEX.OUT"};
  Outline outline_ = BlankOutline();
  int32_t outpos_ = 0;
};

TEST_F(LineBuilderTest, CohortExampleFromEmptyBuffer) {
  PRNTA(outpos_, outline_, "COHORT=", out_);
  EXPECT_EQ(outpos_, 7);
  PRNTI(outpos_, outline_, 25, out_);
  EXPECT_EQ(outpos_, 9);
  EXPECT_EQ(Buffer().substr(0, 9), "COHORT=25");
  PRNTA(outpos_, outline_, ";", out_);
  EXPECT_EQ(outpos_, 10);
  PRNTI(outpos_, outline_, 3, out_);
  EXPECT_EQ(outpos_, 11);
  PRNTA(outpos_, outline_, ":;", out_);
  EXPECT_EQ(outpos_, 13);
  EXPECT_EQ(Buffer(), "COHORT=25;3:;" + std::string(237, ' '));
  EXPECT_TRUE(Lines().empty()) << "nothing is written before the caller ends the line";
}

TEST_F(LineBuilderTest, NumberMovesWhenFewerThanNineColumnsRemain) {
  FillTo(245);
  PRNTI(outpos_, outline_, 7, out_);
  EXPECT_EQ(outpos_, 1);
  EXPECT_EQ(Buffer(), "7" + std::string(249, ' '));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(245, 'x') + std::string(5, ' '));
}

TEST_F(LineBuilderTest, NumberMovesAtOutpos242EvenWithOneDigit) {
  FillTo(242);
  PRNTI(outpos_, outline_, 0, out_);
  EXPECT_EQ(outpos_, 1);
  EXPECT_EQ(Buffer()[0], '0');
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 250u);
}

TEST_F(LineBuilderTest, NineDigitsFillTheLastNineColumnsWithoutFlush) {
  FillTo(241);
  PRNTI(outpos_, outline_, 123456789, out_);
  EXPECT_EQ(outpos_, 250);
  EXPECT_EQ(Buffer(), std::string(241, 'x') + "123456789");
  EXPECT_TRUE(Lines().empty());
}

TEST_F(LineBuilderTest, TextExactlyFillingTheLineThenNextTextFlushes) {
  FillTo(248);
  PRNTA(outpos_, outline_, ":;", out_);
  EXPECT_EQ(outpos_, 250);
  PRNTA(outpos_, outline_, ";", out_);
  EXPECT_EQ(outpos_, 1);
  EXPECT_EQ(Buffer(), ";" + std::string(249, ' '));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(248, 'x') + ":;");
}

TEST_F(LineBuilderTest, TextOneColumnTooLongFlushesTheWholeBuffer) {
  FillTo(249);
  PRNTA(outpos_, outline_, ":;", out_);
  EXPECT_EQ(outpos_, 2);
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
    PRNTA(outpos_, outline_, "<", out_);
    PRNTI(outpos_, outline_, c.value, out_);
    PRNTA(outpos_, outline_, ">", out_);
    const std::string expected = "<" + c.appended + ">";
    EXPECT_EQ(outpos_, static_cast<int32_t>(expected.size())) << c.value;
    EXPECT_EQ(Buffer(), expected + std::string(250 - expected.size(), ' ')) << c.value;
    EndLine(outpos_, outline_, out_);
  }
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), cases.size());
  for (size_t k = 0; k < cases.size(); ++k) EXPECT_EQ(lines[k], "<" + cases[k].appended + ">");
}

TEST_F(LineBuilderTest, NumberWithNoDigitsStillFlushesWhenShortOfRoom) {
  FillTo(245);
  PRNTI(outpos_, outline_, 1000000000, out_);
  EXPECT_EQ(outpos_, 0);
  EXPECT_EQ(Lines().size(), 1u);
}

TEST_F(LineBuilderTest, EndLineWritesTheUsedPartAndLeavesABlankBuffer) {
  PRNTA(outpos_, outline_, "COHORT=", out_);
  PRNTI(outpos_, outline_, 12, out_);
  EndLine(outpos_, outline_, out_);
  EXPECT_EQ(outpos_, 0);
  EXPECT_EQ(Buffer(), std::string(250, ' '));
  PRNTA(outpos_, outline_, "C", out_);
  EndLine(outpos_, outline_, out_);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "COHORT=12");
  EXPECT_EQ(lines[1], "C");
}

TEST_F(LineBuilderTest, LongStatementContinuesOnFullLines) {
  // "COHORT=0;" and then "0:;" cells: after 78 cells 243 columns are used, so the 79th
  // cell's number finds only 7 free columns and goes to a new line.
  PRNTA(outpos_, outline_, "COHORT=", out_);
  PRNTI(outpos_, outline_, 0, out_);
  PRNTA(outpos_, outline_, ";", out_);
  for (int cell = 0; cell < 80; ++cell) {
    PRNTI(outpos_, outline_, 0, out_);
    PRNTA(outpos_, outline_, ":;", out_);
  }
  EndLine(outpos_, outline_, out_);
  std::string first = "COHORT=0;";
  for (int cell = 0; cell < 78; ++cell) first += "0:;";
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], first + std::string(250 - first.size(), ' '));
  EXPECT_EQ(lines[1], "0:;0:;");
}

}  // namespace
}  // namespace haplovex
