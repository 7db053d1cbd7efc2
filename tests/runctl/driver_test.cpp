#include "runctl/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "../common/test_support.h"

namespace haplovex {
namespace {

TEST(TitleLengthTest, LastCharacterNotBelowDigitZero) {
  const std::vector<std::pair<std::string, size_t>> cases = {
      {"Trial run 2", 11},
      {"Run (final).", 10},
      {"", 1},
      {std::string(64, ' '), 1},
      {"...", 1},
      {"a", 1},
      {"0", 1},
      {"/", 1},        // the code just below "0"
      {"A:", 2},       // ":" lies above "0"
      {"x!-,)( ", 1},  // all of these lie below "0"
      {"x  ~", 4},
      {std::string(63, ' ') + "z", 64},
      {"caf\xc3\xa9.", 5},  // bytes of 128 and more count as above "0"
      {"\xff", 1},
      {"ab\xff", 3},
  };
  for (const auto& [title, expected] : cases) {
    std::string padded = title;
    padded.resize(64, ' ');
    EXPECT_EQ(TitleLength(padded), expected) << '"' << title << '"';
  }
}

// A whole run in a fresh folder holding the three-record file of the tabulation example.
class RunTest : public ::testing::Test {
 protected:
  RunTest() { folder_.Write("records.txt", "AB0\nA0A\n0BBX\n"); }

  // Makes HAPLOVEX.SUM unopenable, so that a run ends right after its title line.
  void BlockSummary() { std::filesystem::create_directory(folder_.path() / "HAPLOVEX.SUM"); }

  int Run(const std::vector<std::string>& answers) {
    std::string text;
    for (const std::string& a : answers) text += a + "\n";
    std::istringstream in(text);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunHaplovex(in, out, err, folder_.path());
    err_ = err.str();
    console_.clear();
    std::istringstream all(out.str());
    for (std::string line; std::getline(all, line);) console_.push_back(line);
    return status;
  }
  // The last `n` console lines.
  std::vector<std::string> Tail(size_t n) const {
    if (console_.size() < n) return console_;
    return std::vector<std::string>(console_.end() - static_cast<std::ptrdiff_t>(n),
                                    console_.end());
  }

  // The names in the folder besides the records, sorted.
  std::vector<std::string> OtherNames() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder_.path())) {
      if (e.path().filename() != "records.txt") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::ScratchFolder folder_;
  std::vector<std::string> console_;
  std::string err_;
};

const std::string kSummaryBlocked[] = {
    " *** Can't open summary file, HAPLOVEX.SUM",
    " *** ERROR NUMBER           21",  // the system's number for a folder opened for writing
    "*** HAPLOVEX ERROR ***",
};

TEST_F(RunTest, OverwriteAnswer) {
  struct Case {
    std::string answer;
    bool replaced;
  };
  const std::vector<Case> cases = {
      {"y", true},  {"Y", true}, {"yes", true}, {"y\r", true}, {"Yolo", true}, {"N", false},
      {"n", false}, {"", false}, {"\r", false}, {" y", false}, {"\ty", false}, {"oui", false},
  };
  const std::string old = "old content\nkept byte for byte\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE('"' + c.answer + '"');
    folder_.Write("HAPLOVEX.OUT", old);
    folder_.Write("HAPLOVEX.SUM", old);
    const int status =
        Run({c.answer, "records.txt", "2,3,1,1", "AB", "1", "4", "0", "2", "Trial run 2"});
    ASSERT_GE(console_.size(), 29u);
    EXPECT_EQ(console_[27], "  ");
    EXPECT_EQ(console_[28], " *** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)");
    if (c.replaced) {
      EXPECT_EQ(status, kExitFinished);
      EXPECT_EQ(folder_.Read("HAPLOVEX.OUT").substr(0, 26), "PROC TITLE 'Trial run 2';\n");
      EXPECT_NE(folder_.Read("HAPLOVEX.SUM"), old);
      EXPECT_EQ(console_[29], " Enter the name of the file containing the capture-history records");
      EXPECT_EQ(console_.back(), "=== HAPLOVEX FINISHED OK ===");
    } else {
      EXPECT_EQ(status, kExitError);
      EXPECT_EQ(folder_.Read("HAPLOVEX.OUT"), old);
      EXPECT_EQ(folder_.Read("HAPLOVEX.SUM"), old);
      EXPECT_EQ(console_.size(), 30u);
      EXPECT_EQ(console_.back(), "*** HAPLOVEX ERROR ***");
      EXPECT_NE(err_.find("the files in the folder are as they were"), std::string::npos);
    }
    EXPECT_EQ(OtherNames(), (std::vector<std::string>{"HAPLOVEX.OUT", "HAPLOVEX.SUM"}));
  }
}

TEST_F(RunTest, AYesThenAStopKeepsBothEarlierFiles) {
  BlockSummary();
  folder_.Write("HAPLOVEX.OUT", "old\n");
  EXPECT_EQ(Run({"y", "records.txt", "2,3,1,1", "AB", "1", "4", "0", "2", "Trial run 2"}),
            kExitError);
  EXPECT_EQ(Tail(3),
            std::vector<std::string>(std::begin(kSummaryBlocked), std::end(kSummaryBlocked)));
  EXPECT_EQ(folder_.Read("HAPLOVEX.OUT"), "old\n");
  EXPECT_EQ(OtherNames(), (std::vector<std::string>{"HAPLOVEX.OUT", "HAPLOVEX.SUM"}));
}

TEST_F(RunTest, OutputThatCannotBeReplaced) {
  std::filesystem::create_directory(folder_.path() / "HAPLOVEX.OUT");
  EXPECT_EQ(Run({"y", "records.txt"}), kExitError);
  EXPECT_EQ(Tail(4), (std::vector<std::string>{
                         " *** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)",
                         " *** Can't open the output file, HAPLOVEX.OUT",
                         " *** ERROR NUMBER           21",
                         "*** HAPLOVEX ERROR ***",
                     }));
}

TEST_F(RunTest, EndOfInputAtTheOverwriteQuestion) {
  folder_.Write("HAPLOVEX.OUT", "old\n");
  EXPECT_EQ(Run({}), kExitError);
  EXPECT_EQ(Tail(2), (std::vector<std::string>{
                         " *** The input ended while waiting for the answer to the overwrite "
                         "question",
                         "*** HAPLOVEX ERROR ***",
                     }));
  EXPECT_EQ(folder_.Read("HAPLOVEX.OUT"), "old\n");
}

// Answers of a run that every refusal case starts from; each case changes some of them.
struct Answers {
  std::string counts = "2,3,1,1";
  std::string strata_codes = "AB";
  std::string age_codes = "YA";
  std::string group_codes = "MF";
  std::string first_column = "1";
  std::string columns;  // asked when first_column is 0
  std::string fate = "0";
  std::string age_column = "12";
  std::string group_column = "13";
  std::string frequency_from = "0";
  std::string frequency_to;  // asked when frequency_from is above 0
  std::string model_set = "2";
  std::string sm_choice = "0";  // asked for model sets 3 and 4

  // The answer lines, holding only the answers the dialogue asks for.
  std::vector<std::string> Lines() const {
    std::vector<int> n;
    std::istringstream split(counts);
    for (std::string item; std::getline(split, item, ',');) n.push_back(std::stoi(item));
    std::vector<std::string> lines = {"records.txt", counts, strata_codes, first_column};
    if (first_column == "0") lines.push_back(columns);
    lines.push_back(fate);
    if (n[2] > 1) {
      lines.insert(lines.end(), {age_column, age_codes});
      if (age_column[0] == '-') lines.push_back("0101");
    }
    if (n[3] > 1) lines.insert(lines.end(), {group_column, group_codes});
    lines.push_back(frequency_from);
    if (!frequency_to.empty()) lines.push_back(frequency_to);
    lines.push_back(model_set);
    if (model_set == "3" || model_set == "4") lines.push_back(sm_choice);
    lines.push_back("Title");
    return lines;
  }
};

struct RefusalCase {
  std::string name;
  Answers answers;
  std::string last_line_before;  // the console line right before the message
  std::string message;
};

Answers With(void (*change)(Answers&)) {
  Answers a;
  change(a);
  return a;
}

TEST_F(RunTest, SettingsTheConvertersCannotHandleAreRefusedAtOnce) {
  const std::string counts_question = " STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS(eg 3,7,1,1):";
  const std::vector<RefusalCase> cases = {
      {"no strata", With([](Answers& a) { a.counts = "0,3,1,1"; }), counts_question,
       "The number of strata must be 1 to 26, got 0"},
      {"27 strata", With([](Answers& a) { a.counts = "27,3,1,1"; }), counts_question,
       "The number of strata must be 1 to 26, got 27"},
      {"-27 strata", With([](Answers& a) { a.counts = "-27,3,1,1"; }), counts_question,
       "The number of strata must be 1 to 26, got 27"},
      {"lowest strata count", With([](Answers& a) { a.counts = "-2147483648,3,1,1"; }),
       counts_question, "The number of strata must be 1 to 26, got 2147483648"},
      {"one period", With([](Answers& a) { a.counts = "2,1,1,1"; }), counts_question,
       "The number of time periods must be at least 2, got 1"},
      {"negative periods", With([](Answers& a) { a.counts = "2,-3,1,1"; }), counts_question,
       "The number of time periods must be at least 2, got -3"},
      {"more periods than record columns", With([](Answers& a) { a.counts = "1,251,1,1"; }),
       counts_question,
       "The number of time periods may be at most 250, one column each in a record, got 251"},
      {"a huge period count, before any table or column echo",
       With([](Answers& a) { a.counts = "-1,536870911,1,1"; }), counts_question,
       "The number of time periods may be at most 250, one column each in a record, got "
       "536870911"},
      {"fewer stratum codes than strata", With([](Answers& a) { a.counts = "3,3,1,1"; }),
       " STRATA CODES(no quotes or spaces- eg 123):",
       "Expected 3 stratum codes (one for each stratum) with no blank among them, got \"AB\""},
      {"a blank among the stratum codes", With([](Answers& a) { a.strata_codes = "A B"; }),
       " STRATA CODES(no quotes or spaces- eg 123):",
       "Expected 2 stratum codes (one for each stratum) with no blank among them, got \"A B\""},
      {"fewer age codes than age classes", With([](Answers& a) {
         a.counts = "2,3,3,1";
         a.age_codes = "YA";
       }),
       " AGE-CODES:",
       "Expected 3 age codes (one for each age class) with no blank among them, got \"YA\""},
      {"no group code, after its echo", With([](Answers& a) {
         a.counts = "2,3,1,2";
         a.group_codes = "";
       }),
       " GCODES=                          <",
       "Expected 2 group codes (one for each group) with no blank among them, got \"\""},
      {"fewer group codes without a group column", With([](Answers& a) {
         a.counts = "2,3,1,3";
         a.group_column = "0";
       }),
       " GCODES=MF                        <",
       "Expected 3 group codes (one for each group) with no blank among them, got \"MF\""},
      {"no age class", With([](Answers& a) { a.counts = "2,3,0,1"; }), counts_question,
       "The number of age classes must be 1 to 26, got 0"},
      {"27 age classes", With([](Answers& a) { a.counts = "2,3,27,1"; }), counts_question,
       "The number of age classes must be 1 to 26, got 27"},
      {"no group", With([](Answers& a) { a.counts = "2,3,1,0"; }), counts_question,
       "The number of groups must be 1 to 26, got 0"},
      {"27 groups", With([](Answers& a) { a.counts = "2,3,1,27"; }), counts_question,
       "The number of groups must be 1 to 26, got 27"},
      {"model set 1 with 2 periods", With([](Answers& a) {
         a.counts = "2,2,1,1";
         a.model_set = "1";
       }),
       " MODEL SETS (1,2,3, or 4):",
       "The memory-movement model sets need 3 to 40 time periods, got 2"},
      {"model set 3 with 41 periods", With([](Answers& a) {
         a.counts = "2,41,1,1";
         a.model_set = "3";
       }),
       " MODEL SETS (1,2,3, or 4):",
       "The memory-movement model sets need 3 to 40 time periods, got 41"},
      {"typed column above 250", With([](Answers& a) {
         a.first_column = "0";
         a.columns = "1,251,3";
       }),
       "  seperated by commas - (eg. 1,2,3,4,5,6,7):",
       "The stratum code of period 2 must lie in columns 1 to 250 of the record, got 251"},
      {"typed column 0", With([](Answers& a) {
         a.first_column = "0";
         a.columns = "1 2 0";
       }),
       "  seperated by commas - (eg. 1,2,3,4,5,6,7):",
       "The stratum code of period 3 must lie in columns 1 to 250 of the record, got 0"},
      {"consecutive columns past 250", With([](Answers& a) { a.first_column = "249"; }),
       " FIRST COLUMN OF STRATA CODES:",
       "The stratum code of period 3 must lie in columns 1 to 250 of the record, got 251"},
      {"negative first column after its echo", With([](Answers& a) {
         a.counts = "-2,3,1,1";
         a.first_column = "-1";
       }),
       "  -1   0   1",
       "The stratum code of period 1 must lie in columns 1 to 250 of the record, got -1"},
      {"fate column above 250", With([](Answers& a) { a.fate = "251"; }),
       " FATE COLUMN:", "The fate column must lie in columns 1 to 250 of the record, got 251"},
      {"age column 0", With([](Answers& a) {
         a.counts = "2,3,2,1";
         a.age_column = "0";
       }),
       " AGE-CODE COLUMN:",
       "The age-code column must lie in columns 1 to 250 of the record, got 0"},
      {"age column -251", With([](Answers& a) {
         a.counts = "2,3,2,1";
         a.age_column = "-251";
       }),
       " AGE-CODE COLUMN:",
       "The age-code column must lie in columns 1 to 250 of the record, got 251"},
      {"group column above 250", With([](Answers& a) {
         a.counts = "2,3,1,2";
         a.group_column = "251";
       }),
       " GROUP COLUMN:", "The group column must lie in columns 1 to 250 of the record, got 251"},
      {"frequency ending before it starts", With([](Answers& a) {
         a.frequency_from = "10";
         a.frequency_to = "9";
       }),
       " OBSFMT=(I 0)                     ",
       "The frequency field ends in column 9, before its first column 10"},
      {"frequency past column 250", With([](Answers& a) {
         a.frequency_from = "249";
         a.frequency_to = "251";
       }),
       " OBSFMT=(I 3)                     ",
       "The frequency field must lie in columns 1 to 250 of the record, got 251"},
      {"frequency 100 columns wide", With([](Answers& a) {
         a.frequency_from = "1";
         a.frequency_to = "100";
       }),
       " OBSFMT=(I**)                     ",
       "The frequency field may be at most 99 columns wide, got 100"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.answers.Lines()), kExitError);
    EXPECT_EQ(Tail(3), (std::vector<std::string>{c.last_line_before, " *** " + c.message,
                                                 "*** HAPLOVEX ERROR ***"}));
    // Nothing is written, not even a partial file.
    EXPECT_EQ(OtherNames(), std::vector<std::string>{});
  }
}

TEST_F(RunTest, SettingsAtTheLimitsAreAccepted) {
  const std::vector<std::pair<std::string, Answers>> cases = {
      {"26 strata, 2 periods", With([](Answers& a) {
         a.counts = "26,2,1,1";
         a.strata_codes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
       })},
      {"26 age classes and groups", With([](Answers& a) {
         a.counts = "2,3,26,26";
         a.age_codes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
         a.group_codes = "abcdefghijklmnopqrstuvwxyz";
       })},
      {"250 periods", With([](Answers& a) { a.counts = "1,250,1,1"; })},
      {"more stratum codes than strata", With([](Answers& a) { a.strata_codes = "ABC D"; })},
      {"model set 1 with 3 periods", With([](Answers& a) {
         a.counts = "2,3,1,1";
         a.model_set = "1";
       })},
      {"model set 3 with 40 periods", With([](Answers& a) {
         a.counts = "2,40,1,1";
         a.model_set = "3";
       })},
      {"columns 1 and 250", With([](Answers& a) {
         a.first_column = "0";
         a.columns = "250,1,250";
       })},
      {"consecutive up to 250", With([](Answers& a) { a.first_column = "248"; })},
      {"fate column 250, or none", With([](Answers& a) { a.fate = "250"; })},
      {"negative fate column", With([](Answers& a) { a.fate = "-4"; })},
      {"age column -250", With([](Answers& a) {
         a.counts = "2,3,2,1";
         a.age_column = "-250";
       })},
      {"group column 0", With([](Answers& a) {
         a.counts = "2,3,1,2";
         a.group_column = "0";
       })},
      {"group column 250", With([](Answers& a) {
         a.counts = "2,3,1,2";
         a.group_column = "250";
       })},
      {"frequency 99 wide", With([](Answers& a) {
         a.frequency_from = "152";
         a.frequency_to = "250";
       })},
      {"frequency one wide", With([](Answers& a) {
         a.frequency_from = "250";
         a.frequency_to = "250";
       })},
      {"negative frequency start", With([](Answers& a) { a.frequency_from = "-3"; })},
  };
  // Accepted through the whole dialogue: the run goes on to open the summary file, which a
  // folder of that name stops.
  BlockSummary();
  for (const auto& [name, answers] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Run(answers.Lines()), kExitError);
    EXPECT_EQ(Tail(3),
              std::vector<std::string>(std::begin(kSummaryBlocked), std::end(kSummaryBlocked)));
    EXPECT_EQ(OtherNames(), std::vector<std::string>{"HAPLOVEX.SUM"});
  }
}

}  // namespace
}  // namespace haplovex
