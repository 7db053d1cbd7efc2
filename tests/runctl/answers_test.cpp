#include "runctl/answers.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/fatal.h"

namespace haplovex {
namespace {

TEST(ParseWholeNumberTest, SignAndDigitsThatFitIn32Bits) {
  const std::vector<std::pair<std::string, std::optional<int32_t>>> cases = {
      {"0", 0},
      {"5", 5},
      {"+5", 5},
      {"-5", -5},
      {"007", 7},
      {"-0", 0},
      {"+0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"00000000000000000012", 12},  // leading zeros do not count towards the limit
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+", std::nullopt},
      {"--5", std::nullopt},
      {"+-5", std::nullopt},
      {"5-", std::nullopt},
      {"3.0", std::nullopt},
      {"1e3", std::nullopt},
      {"0x10", std::nullopt},
      {"abc", std::nullopt},
      {" 5", std::nullopt},  // the caller splits at blanks; a blank is not a digit
      {"5 ", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseWholeNumber(text), expected) << '"' << text << '"';
  }
}

// Reads answers from `input` the way a run does, with the console kept for inspection.
class ReaderTest : public ::testing::Test {
 protected:
  void SetInput(const std::string& input) { in_.str(input); }

  std::vector<int32_t> Numbers(size_t count) { return reader_.Numbers(count, "COUNTS"); }

  // The console line of the stop that `read` ends with.
  template <typename Read>
  std::string StopLine(Read read) {
    try {
      read();
    } catch (const FatalStop& stop) {
      EXPECT_EQ(stop.stop(), kErrorStop);
      EXPECT_EQ(stop.lines().size(), 1u);
      return stop.lines().empty() ? "" : stop.lines()[0];
    }
    ADD_FAILURE() << "the answer was accepted";
    return "";
  }

  std::istringstream in_;
  std::ostringstream out_;
  Console console_{out_};
  AnswerReader reader_{in_, console_};
};

struct NumbersCase {
  std::string name;
  std::string input;
  size_t count;
  std::vector<int32_t> expected;
  std::string left_over;  // the next line answer after the numbers
};

TEST_F(ReaderTest, NumbersAcrossSeparatorsAndLines) {
  const std::vector<NumbersCase> cases = {
      {"commas", "3,7,1,1\nnext\n", 4, {3, 7, 1, 1}, "next"},
      {"blanks", "3 7  1 1\nnext\n", 4, {3, 7, 1, 1}, "next"},
      {"tabs", "3\t7\nnext\n", 2, {3, 7}, "next"},
      {"commas with blanks", " 3 , 7,1 ,1 \nnext\n", 4, {3, 7, 1, 1}, "next"},
      {"over two lines", "1,2,3\n4,5,6,7\nnext\n", 7, {1, 2, 3, 4, 5, 6, 7}, "next"},
      {"trailing comma", "1,2,3,\n4\nnext\n", 4, {1, 2, 3, 4}, "next"},
      {"empty lines skipped", "\n  \n5\nnext\n", 1, {5}, "next"},
      {"extras ignored", "2,3,1,1,9,junk\nnext\n", 4, {2, 3, 1, 1}, "next"},
      {"extras on the last line only", "1\n2 3 x\nnext\n", 2, {1, 2}, "next"},
      {"signs and zeros", "+5,-0,007,-2\nnext\n", 4, {5, 0, 7, -2}, "next"},
      {"limits", "2147483647 -2147483648\nnext\n", 2, {2147483647, -2147483647 - 1}, "next"},
      {"CRLF", "3,7\r\n1\r\nnext\r\n", 3, {3, 7, 1}, "next"},
      {"CR after comma", "3,\r\n7\r\nnext\n", 2, {3, 7}, "next"},
      {"last line without end", "1\n2", 2, {1, 2}, ""},
  };
  for (const NumbersCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetInput(c.input);
    EXPECT_EQ(Numbers(c.count), c.expected);
    if (!c.left_over.empty()) {
      EXPECT_EQ(reader_.Line(4, "NEXT"), c.left_over);
    }
  }
}

// At a terminal a number answer typed in part is prompted for the rest, naming what is still
// awaited; read from a file it reads on without a word.
TEST_F(ReaderTest, NumbersTypedInPartAtATerminalPromptForTheRest) {
  struct Case {
    std::string question;
    std::string input;
    size_t count;
    std::string prompts;  // the console lines written
  };
  const std::vector<Case> cases = {
      {"STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS", "2,7,1\n1\n", 4, " still awaited: GROUPS:\n"},
      {"STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS", "2\n7\n1,1\n", 4,
       " still awaited: TIME-PERIODS,AGE-CLASSES,GROUPS:\n still awaited: AGE-CLASSES,GROUPS:\n"},
      {"the stratum-code columns", "1,2,3\n4,5,6,7\n", 7,
       " still awaited: 4 more of the stratum-code columns:\n"},
      {"the stratum-code columns", "1,2,3,4,5,6,7\n", 7, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    for (const bool terminal : {true, false}) {
      std::istringstream in(c.input);
      std::ostringstream out;
      Console console(out);
      AnswerReader reader(in, console, terminal);
      EXPECT_EQ(reader.Numbers(c.count, c.question).size(), c.count);
      console.Flush();
      EXPECT_EQ(out.str(), terminal ? c.prompts : "");
    }
  }
}

TEST_F(ReaderTest, FaultyNumbersStopNamingTheQuestionAndWhatWasRead) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc\n", " *** Answer to COUNTS must be a whole number, read \"abc\""},
      {"3.0\n", " *** Answer to COUNTS must be a whole number, read \"3.0\""},
      {"1e3\n", " *** Answer to COUNTS must be a whole number, read \"1e3\""},
      {"-\n", " *** Answer to COUNTS must be a whole number, read \"-\""},
      {"1 + 2\n", " *** Answer to COUNTS must be a whole number, read \"+\""},
      {"2147483648\n", " *** Answer to COUNTS must be a whole number, read \"2147483648\""},
      {"-2147483649\n", " *** Answer to COUNTS must be a whole number, read \"-2147483649\""},
      {"1,,2\n", " *** Answer to COUNTS has an empty value between commas: \"1,,2\""},
      {",1,2\n", " *** Answer to COUNTS has an empty value between commas: \",1,2\""},
      {"1\n,2\n", " *** Answer to COUNTS has an empty value between commas: \",2\""},
      {"1, ,2\n", " *** Answer to COUNTS has an empty value between commas: \"1, ,2\""},
      {"1,2\n", " *** The input ended while waiting for the answer to COUNTS"},
      {"", " *** The input ended while waiting for the answer to COUNTS"},
  };
  for (const auto& [input, expected] : cases) {
    SCOPED_TRACE(input);
    SetInput(input);
    EXPECT_EQ(StopLine([&] { Numbers(3); }), expected);
  }
}

TEST_F(ReaderTest, LineAnswersAreCutOrPaddedAfterTheLineEnd) {
  SetInput("MF\n  A b \nABCDEFGHIJ\r\n\nx\r\r\n");
  EXPECT_EQ(reader_.Line(5, "GROUP-CODES"), "MF   ");
  EXPECT_EQ(reader_.Line(8, "AGE-CODES"), "  A b   ");  // nothing trimmed, case kept
  EXPECT_EQ(reader_.Line(4, "STRATA CODES"), "ABCD");
  EXPECT_EQ(reader_.Line(3, "TITLE"), "   ");
  EXPECT_EQ(reader_.Line(3, "TITLE"), "x\r ");  // only one carriage return belongs to the end
  EXPECT_EQ(StopLine([&] { reader_.Line(3, "TITLE"); }),
            " *** The input ended while waiting for the answer to TITLE");
}

// A byte-order mark, which editors on some systems put at the start of a text file, is not
// part of the first answer; anywhere else its bytes are the answer's.
TEST_F(ReaderTest, AByteOrderMarkBeginsTheInputOnly) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"\xEF\xBB\xBFgeese.inp\n2\n", {"geese.inp", "2"}},
      {"\xEF\xBB\xBF#haplovex --inp\r\n", {"#haplovex --inp"}},
      {"\xEF\xBB\xBF\nx\n", {"", "x"}},
      {"\xEF\xBB\xBF\xEF\xBB\xBFx\n", {"\xEF\xBB\xBFx"}},  // only one mark is the file's
      {"a\n\xEF\xBB\xBF" "b\n", {"a", "\xEF\xBB\xBF" "b"}},
      {"\xEF\xBBx\n", {"\xEF\xBBx"}},
      {"\xBB\xBF\xEFx\n", {"\xBB\xBF\xEFx"}},
      {"\xEF\xBB\xBF", {}},  // a mark and nothing else: no answer
  };
  for (const auto& [input, lines] : cases) {
    SCOPED_TRACE(::testing::PrintToString(input));
    in_.clear();
    SetInput(input);
    AnswerReader reader(in_, console_);
    for (const std::string& line : lines) EXPECT_EQ(reader.Text("Q"), line);
    EXPECT_EQ(reader.Peek(), std::nullopt);
  }
}

TEST_F(ReaderTest, FirstCharacterOfTheLine) {
  SetInput("yes\n\n N\r\n\r\n");
  EXPECT_EQ(reader_.FirstCharacter("Q"), 'y');
  EXPECT_EQ(reader_.FirstCharacter("Q"), '\0');
  EXPECT_EQ(reader_.FirstCharacter("Q"), ' ');
  EXPECT_EQ(reader_.FirstCharacter("Q"), '\0');
  EXPECT_EQ(StopLine([&] { reader_.FirstCharacter("the overwrite question"); }),
            " *** The input ended while waiting for the answer to the overwrite question");
}

}  // namespace
}  // namespace haplovex
