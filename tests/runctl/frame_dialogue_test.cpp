#include "runctl/frame_dialogue.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "runctl/dialogue.h"
#include "../common/test_support.h"

namespace haplovex {
namespace {

// Runs a frame run's dialogue on `answers` (one a line) against a frame of two birds.
class FrameDialogueTest : public ::testing::Test {
 protected:
  FrameDialogueTest() {
    folder_.Write("birds.csv",
                  "id,ch,sex,stage,removed,freq\n1,A0B0,Male,adult,no,2\n2,0BB0,Female,juvenile,yes,1\n");
    s_.frame = true;
  }

  // The stop message, or "" when the dialogue ends; each run from the start values.
  std::string Run(const std::vector<std::string>& answers) {
    std::string text;
    for (const std::string& a : answers) text += a + "\n";
    std::istringstream in(text);
    std::ostringstream out;
    std::ostringstream err;
    Console console(out);
    AnswerReader reader(in, console);
    InputFile input;
    s_ = ConversionSettings{};
    s_.frame = true;
    std::string stop;
    try {
      RunDialogue(reader, console, err, work_, s_, input);
    } catch (const FatalStop& fatal) {
      stop = fatal.lines().empty() ? "stop" : fatal.lines().front();
    }
    console.Flush();
    out_ = out.str();
    err_ = err.str();
    return stop;
  }

  testing::ScratchFolder folder_;
  WorkFolder work_{folder_.path()};
  std::string out_;
  std::string err_;
  ConversionSettings s_;
};

// "ch" and "freq" are offered; the fate, age and group fields follow the history in the
// columns, in that order, then the frequency's 8 columns; the levels' codes are their first
// characters.
TEST_F(FrameDialogueTest, FieldsByNameLaidOutAfterTheHistory) {
  ASSERT_EQ(Run({"birds.csv", "2,4,2,2", "AB", "", "removed", "yes", "stage", "juvenile, adult", "sex",
                 "Male,Female", "", "2", "Birds"}),
            "");
  const FrameFields& f = s_.frame_fields;
  EXPECT_EQ(f.history, "ch");
  EXPECT_EQ(f.frequency, "freq");
  EXPECT_EQ(f.lost, std::vector<std::string>{"yes"});
  EXPECT_EQ(f.ages, (std::vector<std::string>{"juvenile", "adult"}));
  EXPECT_EQ(s_.codcol, (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(s_.fatecol, 5);
  EXPECT_EQ(s_.agecol, 6);
  EXPECT_EQ(s_.grpcol, 7);
  EXPECT_EQ(s_.frqcol1, 8);
  EXPECT_EQ(s_.frqcol2, 15);
  EXPECT_EQ(s_.acodes.substr(0, 3), "ja ");
  EXPECT_EQ(s_.gcodes.substr(0, 3), "MF ");
  for (const char* line : {"\n FIELDS: id, ch, sex, stage, removed, freq\n", "\n 1 | A0B0 | Male | adult | no | 2\n",
                           "\n LEVELS FOUND: adult, juvenile\n", "\n HISTORY FIELD (ch):\n",
                           "\n FREQUENCY FIELD (freq):\n"}) {
    EXPECT_NE(out_.find(line), std::string::npos) << line;
  }
  EXPECT_NE(err_.find("fields separated by commas (found from the header)"), std::string::npos);
}

TEST_F(FrameDialogueTest, AnswersRefused) {
  struct Case {
    std::vector<std::string> answers;
    std::string stop;
  };
  const std::vector<Case> cases = {
      {{"birds.csv", "2,4,1,1", "AB", "hist"},
       " *** The frame has no field named \"hist\"; its fields: id, ch, sex, stage, removed, freq"},
      {{"birds.csv", "2,4,2,1", "AB", "ch", "none", "stage", "juvenile"},
       " *** Expected 2 levels separated by commas, got 1"},
      {{"birds.csv", "2,4,2,1", "AB", "ch", "none", "stage", "juvenile,juvenile"},
       " *** The level \"juvenile\" is typed twice"},
      {{"birds.csv", "2,245,1,1", "AB", "ch", "removed", "yes", "freq"},
       " *** A frame of 245 periods with these fields needs 254 columns, more than the 250 of a record"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.answers), c.stop) << c.answers.back();
  }
}

TEST_F(FrameDialogueTest, NoFrequencyFieldAndAgeIncrements) {
  ASSERT_EQ(Run({"birds.csv", "2,4,2,1", "AB", "ch", "none", "-stage", "juvenile,adult", "011", "none", "2", "B"}),
            "");
  EXPECT_EQ(s_.frame_fields.age, "stage");
  EXPECT_EQ(s_.ageinc, "011" + std::string(37, ' '));
  EXPECT_EQ(s_.fatecol, 0);
  EXPECT_EQ(s_.agecol, 5);
  EXPECT_EQ(s_.frqcol1, 0);
}

}  // namespace
}  // namespace haplovex
