#include "runctl/driver.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/format.h"
#include "runctl/run_files.h"
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
    const int status = RunHaplovex(in, out, err, folder_.path(), options_);
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
  RunOptions options_;
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
      EXPECT_NE(err_.find("haplovex: HAPLOVEX.OUT exists and the answer to the overwrite question "
                          "was not y: nothing was replaced (answer y, or run with -y, to replace it)"),
                std::string::npos);
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

// A run killed while putting its files in place is finished by the next run, whatever options
// either had (a plain run puts a --report run's page in place); a line of the record that
// moves anything else, the records included, is not done.
TEST_F(RunTest, TheMovesOfAKilledRunAreFinishedForItsFilesAlone) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string gone = std::to_string(child);
  const std::vector<std::string> names = {
      "HAPLOVEX.OUT",  "HAPLOVEX.SUM", "HAPLOVEX.ANS", "HAPLOVEX.releases.csv", "HAPLOVEX.transitions.csv",
      "HAPLOVEX.html", "HAPLOVEX.GOF", "HAPLOVEX.gof.csv"};
  std::string record;
  std::string placed;
  for (const std::string& name : names) {
    const std::string partial = "." + name + ".partial-" + gone + "-1";
    folder_.Write(partial, "new " + name);
    record += name + "\t" + partial + "\t-\n";
    placed += (placed.empty() ? "" : ", ") + name;
  }
  record += "records.txt\t-\tHAPLOVEX.OUT\n";
  folder_.Write(".HAPLOVEX.moves-" + gone, record);
  EXPECT_EQ(Run({}), kExitError);  // (the input ends at the overwrite question)
  for (const std::string& name : names) EXPECT_EQ(folder_.Read(name), "new " + name);
  EXPECT_EQ(folder_.Read("records.txt"), "AB0\nA0A\n0BBX\n");
  EXPECT_EQ(OtherNames(), (std::vector<std::string>{"HAPLOVEX.ANS", "HAPLOVEX.GOF", "HAPLOVEX.OUT",
                                                    "HAPLOVEX.SUM", "HAPLOVEX.gof.csv", "HAPLOVEX.html",
                                                    "HAPLOVEX.releases.csv", "HAPLOVEX.transitions.csv"}));
  EXPECT_NE(err_.find("this run finished its moves, so the folder holds that run's files (" + placed + ")\n"),
            std::string::npos)
      << err_;
  EXPECT_NE(err_.find("haplovex: a line of .HAPLOVEX.moves-" + gone +
                      " names no move of a run's files and was not done: \"records.txt\" \"-\" "
                      "\"HAPLOVEX.OUT\"\n"),
            std::string::npos)
      << err_;
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
      {"a stratum-code line of 5,000 bytes (no answers file at all?)",
       With([](Answers& a) { a.strata_codes = std::string(5000, 'A'); }),
       " STRATA CODES(no quotes or spaces- eg 123):",
       "Answer to STRATA CODES is a line longer than 4,096 bytes"},
      {"a blank among the stratum codes", With([](Answers& a) { a.strata_codes = "A B"; }),
       " STRATA CODES(no quotes or spaces- eg 123):",
       "Expected 2 stratum codes (one for each stratum) with no blank among them, got \"A B\""},
      {"a stratum code twice", With([](Answers& a) {
         a.counts = "3,3,1,1";
         a.strata_codes = "ABA";
       }),
       " STRATA CODES(no quotes or spaces- eg 123):",
       "Expected 3 stratum codes (one for each stratum) with no code twice among them, got "
       "\"ABA\": \"A\" would stand for stratum 1 and for stratum 3"},
      {"an age code twice", With([](Answers& a) {
         a.counts = "2,3,3,1";
         a.age_codes = "JAJ";
       }),
       " AGE-CODES:",
       "Expected 3 age codes (one for each age class) with no code twice among them, got "
       "\"JAJ\": \"J\" would stand for age class 1 and for age class 3"},
      {"a group code twice, after its echo", With([](Answers& a) {
         a.counts = "2,3,1,2";
         a.group_codes = "MM";
       }),
       " GCODES=MM                        <",
       "Expected 2 group codes (one for each group) with no code twice among them, got "
       "\"MM\": \"M\" would stand for group 1 and for group 2"},
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
      {"a code repeated past the codes used", With([](Answers& a) { a.strata_codes = "ABA"; })},
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

// A person at a terminal: each refused answer is told on standard error and asked again, the
// run then finishes, and HAPLOVEX.ANS holds the accepted answers alone.
TEST_F(RunTest, ARefusedAnswerIsAskedAgainOnATerminal) {
  struct Case {
    std::string name;
    std::vector<std::string> typed;  // the refused answers and their corrections among the rest
    std::string said;                // what standard error says of the refusal
    std::string prompt;              // the console line asked again
    long asked = 2;                  // how often the prompt is written
    std::vector<std::string> saved;  // HAPLOVEX.ANS; empty: the accepted answers below
  };
  folder_.Write("Records.txt", "AB0\nA0A\n0BBX\n");
  // The accepted answers; each case puts its refused ones in front of the one they replace.
  const std::vector<std::string> accepted = {"records.txt", "2,3,1,1", "AB", "1", "4",
                                             "0",           "2",       "Title"};
  auto with = [&](size_t at, std::vector<std::string> refused) {
    std::vector<std::string> typed = accepted;
    typed.insert(typed.begin() + static_cast<std::ptrdiff_t>(at), refused.begin(), refused.end());
    return typed;
  };
  const std::vector<Case> cases = {
      {"empty file name",
       with(0, {""}),
       "Type the name of the file that holds the records",
       " FILE:",
       2,
       {}},
      {"a typo in the file name, with the names meant",
       with(0, {"recrods.txt"}),
       "Can't read the input file recrods.txt: No such file or directory (did you mean "
       "Records.txt or records.txt?)",
       " FILE:",
       2,
       {}},
      {"a file name too long",
       with(0, {std::string(65, 'x')}),
       "The file name may be at most 64 characters long, got 65",
       " FILE:",
       2,
       {}},
      {"counts that are no numbers",
       with(1, {"four,12,1,1"}),
       "Answer to STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS must be a whole number, read \"four\"",
       " STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS(eg 3,7,1,1):",
       2,
       {}},
      {"counts refused",
       with(1, {"0,3,1,1", "2,300,1,1"}),
       "The number of time periods may be at most 250",
       " STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS(eg 3,7,1,1):",
       3,
       {}},
      {"too few stratum codes",
       with(2, {"A"}),
       "Expected 2 stratum codes",
       " STRATA CODES(no quotes or spaces- eg 123):",
       2,
       {}},
      {"a column past the record",
       with(3, {"249"}),
       "The stratum code of period 3 must lie in columns 1 to 250",
       " FIRST COLUMN OF STRATA CODES:",
       2,
       {}},
      {"a fate column past the record",
       with(4, {"251"}),
       "The fate column must lie",
       " FATE COLUMN:",
       2,
       {}},
      {"frequency columns the wrong way round",
       with(5, {"10", "9"}),
       "The frequency field ends in column 9, before its first column 10",
       " STARTING COLUMN:",
       2,
       {}},
      {"a model set that is no number, then one out of range (asked again as ever)",
       with(6, {"two", "5"}),
       "Answer to MODEL SETS must be a whole number, read \"two\"",
       " MODEL SETS (1,2,3, or 4):",
       3,
       {}},
      {"a title with a quote, which would end the quoted title early",
       with(7, {"Geese 'pilot'"}),
       "the title holds a ', which ends the quoted title in HAPLOVEX.OUT early (the same title "
       "again keeps it)",
       " TITLE(no quotes):",
       2,
       {}},
      {"a title line of 5,000 bytes: the rest of the line is no answer",
       with(7, {std::string(5000, 'T')}),
       "Answer to TITLE is a line longer than 4,096 bytes",
       " TITLE(no quotes):",
       2,
       {}},
      {"a memory model set with 3 periods is fine, with 2 it is not",
       {"records.txt", "2,2,1,1", "AB", "1", "3", "0", "1", "2", "Title"},
       "The memory-movement model sets need 3 to 40 time periods, got 2",
       " MODEL SETS (1,2,3, or 4):",
       2,
       {"records.txt", "2,2,1,1", "AB", "1", "3", "0", "2", "Title"}},
  };
  options_.answers_from_terminal = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
    EXPECT_EQ(Run(c.typed), kExitFinished) << err_;
    EXPECT_NE(err_.find("haplovex: " + c.said), std::string::npos) << err_;
    EXPECT_EQ(std::count(console_.begin(), console_.end(), c.prompt), c.asked);
    std::string saved;
    for (const std::string& a : c.saved.empty() ? accepted : c.saved) saved += a + "\n";
    EXPECT_EQ(folder_.Read("HAPLOVEX.ANS"), saved);
    EXPECT_NE(err_.find("to repeat this run: haplovex -y < HAPLOVEX.ANS"), std::string::npos);
  }
}

// At a terminal the answers are kept as they are typed in a file of the run's own, which a run
// that stops leaves (named with the way to finish it) and a run that finishes removes.
TEST_F(RunTest, TypedAnswersAreKeptUntilTheRunFinishes) {
  struct Case {
    std::string name;
    std::vector<std::string> typed;
    std::string user_file;  // HAPLOVEX.ANS.partial of an earlier run, when not empty
    bool csv = false;
    int status = kExitError;
    std::string kept_in;  // the partial answers file left; empty: none
    std::string kept;     // what it holds
  };
  const std::vector<Case> cases = {
      {"the input ends after the seventh answer",
       {"records.txt", "2,3,1,1", "AB", "1", "4", "0", "2"}, "", false, kExitError,
       "HAPLOVEX.ANS.partial", "records.txt\n2,3,1,1\nAB\n1\n4\n0\n2\n"},
      {"refused answers are not kept, their corrections are",
       {"records.txt", "2,300,1,1", "2,3,1,1", "A", "AB"}, "", false, kExitError,
       "HAPLOVEX.ANS.partial", "records.txt\n2,3,1,1\nAB\n"},
      {"an answer refused last leaves none of its bytes", {"records.txt", "2,300,1,1"}, "", false,
       kExitError, "HAPLOVEX.ANS.partial", "records.txt\n"},
      {"the options of the run come first", {"records.txt", "2,3,1,1"}, "", true, kExitError,
       "HAPLOVEX.ANS.partial", "#haplovex --csv\nrecords.txt\n2,3,1,1\n"},
      {"an earlier run's file is left alone", {"records.txt"}, "mine\n", false, kExitError,
       "HAPLOVEX.ANS.partial-2", "records.txt\n"},
      {"a finished run removes its own file and no other",
       {"records.txt", "2,3,1,1", "AB", "1", "4", "0", "2", "Title"}, "mine\n", false,
       kExitFinished, "", ""},
      {"no answer, no file", {}, "", false, kExitError, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& name : OtherNames()) std::filesystem::remove(folder_.path() / name);
    if (!c.user_file.empty()) folder_.Write("HAPLOVEX.ANS.partial", c.user_file);
    options_ = RunOptions{};
    options_.answers_from_terminal = true;
    options_.csv = c.csv;
    EXPECT_EQ(Run(c.typed), c.status) << err_;
    std::vector<std::string> partial;
    for (const std::string& name : OtherNames()) {
      if (name.rfind("HAPLOVEX.ANS.partial", 0) == 0 && folder_.Read(name) != c.user_file) {
        partial.push_back(name);
      }
    }
    if (c.kept_in.empty()) {
      EXPECT_TRUE(partial.empty());
      EXPECT_EQ(err_.find(".partial"), std::string::npos) << err_;
    } else {
      ASSERT_EQ(partial, std::vector<std::string>{c.kept_in});
      EXPECT_EQ(folder_.Read(c.kept_in), c.kept);
      EXPECT_NE(err_.find("the answers typed so far are kept in " + c.kept_in +
                          ": to finish the run, complete the remaining answers in it, then run: "
                          "haplovex -y " + c.kept_in + "\n"),
                std::string::npos)
          << err_;
    }
    if (!c.user_file.empty()) {
      EXPECT_EQ(folder_.Read("HAPLOVEX.ANS.partial"), c.user_file);
    }
  }
  // Every answer given, and a history past the first 10,000 records of another length than the
  // periods: the note names the counts as the answer to change.
  std::string long_history;
  for (int k = 0; k < 10'000; ++k) long_history += "A0B 1;\n";
  folder_.Write("late.inp", long_history + "A0B0 1;\n");
  for (const std::string& name : OtherNames()) {
    if (name != "late.inp") std::filesystem::remove(folder_.path() / name);
  }
  options_ = RunOptions{};
  options_.answers_from_terminal = true;
  options_.inp = true;
  EXPECT_EQ(Run({"late.inp", "2,3,1,1", "AB", "2", "Late"}), kExitError);
  EXPECT_NE(err_.find("every answer typed is kept in HAPLOVEX.ANS.partial: to finish the run, "
                      "change the answer to STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS in it, then "
                      "run: haplovex -y HAPLOVEX.ANS.partial\n"),
            std::string::npos)
      << err_;
  std::filesystem::remove(folder_.path() / "late.inp");
  // Piped answers keep no such file.
  options_ = RunOptions{};
  for (const std::string& name : OtherNames()) std::filesystem::remove(folder_.path() / name);
  EXPECT_EQ(Run({"records.txt", "2,3,1,1"}), kExitError);
  EXPECT_TRUE(OtherNames().empty());
}

// The files a run leaves are those of the file table written under its options: in an empty
// folder exactly those; where an earlier run left every one of them, those (new) and the
// earlier files the table keeps (as they were), the others removed.
TEST_F(RunTest, TheRunLeavesTheFilesOfTheFileTable) {
  struct Case {
    bool csv, report, gof, typed;
    std::vector<std::string> written;  // besides HAPLOVEX.OUT and HAPLOVEX.SUM
  };
  const std::vector<Case> cases = {
      {false, false, false, false, {}},
      {true, false, false, false, {"HAPLOVEX.releases.csv", "HAPLOVEX.transitions.csv"}},
      {false, true, false, false, {"HAPLOVEX.html"}},
      {false, false, true, false, {"HAPLOVEX.GOF"}},
      {true, false, true, false,
       {"HAPLOVEX.GOF", "HAPLOVEX.gof.csv", "HAPLOVEX.releases.csv", "HAPLOVEX.transitions.csv"}},
      {false, true, true, false, {"HAPLOVEX.GOF", "HAPLOVEX.html"}},
      {false, false, false, true, {"HAPLOVEX.ANS"}},
      {true, true, true, true,
       {"HAPLOVEX.ANS", "HAPLOVEX.GOF", "HAPLOVEX.gof.csv", "HAPLOVEX.html", "HAPLOVEX.releases.csv",
        "HAPLOVEX.transitions.csv"}},
  };
  const std::string earlier = "an earlier run's\n";
  for (const Case& c : cases) {
    options_ = RunOptions{};
    options_.csv = c.csv;
    options_.report = c.report;
    options_.gof = c.gof;
    options_.answers_from_terminal = c.typed;
    options_.yes = true;
    std::vector<std::string> written = {"HAPLOVEX.OUT", "HAPLOVEX.SUM"};
    written.insert(written.end(), c.written.begin(), c.written.end());
    std::sort(written.begin(), written.end());
    std::vector<std::string> in_table;
    for (const RunFileSpec& spec : kRunFiles) {
      if (Written(spec, options_)) in_table.emplace_back(spec.name);
    }
    std::sort(in_table.begin(), in_table.end());
    EXPECT_EQ(in_table, written) << OptionsLine(options_);
    for (bool after_earlier : {false, true}) {
      SCOPED_TRACE(OptionsLine(options_) + (c.typed ? " typed" : "") + (after_earlier ? ", after an earlier run" : ""));
      for (const std::string& name : OtherNames()) std::filesystem::remove(folder_.path() / name);
      if (after_earlier) {
        for (const RunFileSpec& spec : kRunFiles) folder_.Write(std::string(spec.name), earlier);
      }
      ASSERT_EQ(Run({"records.txt", "2,3,1,1", "AB", "1", "4", "0", "2", "Trial run 2"}), kExitFinished) << err_;
      std::vector<std::string> left = written;
      for (const RunFileSpec& spec : kRunFiles) {
        const std::string name(spec.name);
        const bool is_written = std::find(written.begin(), written.end(), name) != written.end();
        // Only a person's saved answers outlast a run that does not write them.
        if (after_earlier && !is_written && name == "HAPLOVEX.ANS") left.push_back(name);
        if (after_earlier && std::filesystem::exists(folder_.path() / name)) {
          EXPECT_EQ(folder_.Read(name) == earlier, !is_written) << name;
        }
      }
      std::sort(left.begin(), left.end());
      EXPECT_EQ(OtherNames(), left);
    }
  }
}

// --gof: the tests of the geese example (the reference figures' unrounded sums of components)
// in HAPLOVEX.gof.csv, the same however the records are read; HAPLOVEX.OUT as without it; the
// files gone again with a run without it; tables past 1 GiB refused before any record is read.
TEST_F(RunTest, FitTestsOfEachGroup) {
  std::ifstream geese(std::string(HAPLOVEX_SOURCE_DIR) + "/examples/geese/geese.inp", std::ios::binary);
  folder_.Write("geese.inp", std::string(std::istreambuf_iterator<char>(geese), {}));
  const std::vector<std::string> answers = {"geese.inp", "3,6,1,1", "123", "1", "0", "9", "14", "2", "Geese"};
  options_.yes = true;
  ASSERT_EQ(Run(answers), kExitFinished) << err_;
  const std::string out = folder_.Read("HAPLOVEX.OUT");
  options_.gof = true;
  options_.csv = true;
  std::string csv;
  std::string text;
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    options_.threads = threads;
    ASSERT_EQ(Run(answers), kExitFinished) << err_;
    EXPECT_EQ(folder_.Read("HAPLOVEX.OUT"), out);
    if (threads == 1) {
      csv = folder_.Read("HAPLOVEX.gof.csv");
      text = folder_.Read("HAPLOVEX.GOF");
    }
    EXPECT_EQ(folder_.Read("HAPLOVEX.gof.csv"), csv);
    EXPECT_EQ(folder_.Read("HAPLOVEX.GOF"), text);
  }
  for (const char* total : {"1,3G.SR,,,117.752700,12,", "1,3G.Sm,,,302.768977,119,", "1,WBWA,,,472.854864,20,",
                            "1,3G.SR,2,1,0.003895,1,0.950238,chi-square,\r\n"}) {
    EXPECT_NE(csv.find(total), std::string::npos) << total << "\n" << csv;
  }
  EXPECT_NE(text.find("Group 1\nc-hat 4.9"), std::string::npos) << text;
  // (982.54 / 197 = 4.988: a structural lack of fit, said on standard error too.)
  EXPECT_NE(err_.find("haplovex: goodness of fit, group 1: c-hat 4.988 (JMV 982.5"),
            std::string::npos)
      << err_;
  EXPECT_NE(err_.find(" on 197 df): structural lack of fit"),
            std::string::npos)
      << err_;

  options_.gof = false;
  ASSERT_EQ(Run(answers), kExitFinished) << err_;
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "HAPLOVEX.GOF"));
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "HAPLOVEX.gof.csv"));

  options_.gof = true;
  options_.threads = 2;
  EXPECT_EQ(Run({"geese.inp", "26,250,1,1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "1", "0", "0", "2", "Wide"}),
            kExitError);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "HAPLOVEX.GOF"));
  EXPECT_NE(Tail(2)[0].find("--gof: the tables of the goodness-of-fit tests for 250 periods and 26 strata would "
                            "take more than 1 GiB ("),
            std::string::npos)
      << Tail(2)[0];
  EXPECT_NE(Tail(2)[0].find(" MiB at their peak, for 1 group read by 2 threads); run it without --gof, with fewer "
                            "threads, or with fewer periods or strata"),
            std::string::npos)
      << Tail(2)[0];
  // Test M's fits of 26 strata x 30 periods: 209 starts x 26^2 x (2 x 26 x 27 + 26 x 377)
  // columns (M.ITEC at 27 periods, M.LTEC 27 + 26 + ... + 2 periods later) = 1,583,228,504
  // steps, past 1.5e9; 29 periods give 209 x 676 x (52 x 26 + 26 x 350) = 1,476,700,368, 25
  // strata 201 x 625 x (50 x 27 + 25 x 377) = 1,353,609,375, within it.
  EXPECT_EQ(Run({"geese.inp", "26,30,1,1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "1", "0", "0", "2", "Wide"}), kExitError);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "HAPLOVEX.GOF"));
  EXPECT_NE(Tail(2)[0].find("--gof: the fits of Test M for 30 periods and 26 strata (1 group) would take more than "
                            "about 10 minutes of one core; 29 periods with 26 strata, or 25 strata with 30 periods, "
                            "would fit; run it without --gof, or with fewer periods or strata"),
            std::string::npos)
      << Tail(2)[0];
}

// Two age classes under --inp are time since marking: every animal enters the first and moves
// to the second after one period, the files those of the same records by columns with an age
// column holding the first code (A of AB) and every age increment 1; removed animals included.
TEST_F(RunTest, SummarisedHistoriesWithTwoAgeClassesByTimeSinceMarking) {
  const std::vector<std::string> histories = {"0110", "1001", "1000", "0100", "1100", "1200", "2021", "0022"};
  const std::vector<int> counts = {25, 1, 10, 10, 5, 7, 4, -3};
  std::string inp;
  std::string columns;
  for (size_t r = 0; r < histories.size(); ++r) {
    const std::string count = std::to_string(counts[r]);
    inp += histories[r] + " " + count + ";\n";
    columns += histories[r] + "A" + std::string(6 - count.size(), ' ') + count + "\n";
  }
  folder_.Write("ages.inp", inp);
  folder_.Write("ages.txt", columns);
  const std::vector<std::string> files = {"HAPLOVEX.OUT",     "HAPLOVEX.SUM",          "HAPLOVEX.GOF",
                                          "HAPLOVEX.gof.csv", "HAPLOVEX.releases.csv", "HAPLOVEX.transitions.csv"};
  options_.yes = options_.csv = options_.gof = true;
  for (const int32_t modset : {2, 1}) {
    SCOPED_TRACE(modset);
    const std::string set = std::to_string(modset);
    options_.inp = false;
    ASSERT_EQ(Run({"ages.txt", "2,4,2,1", "12", "1", "0", "5", "AB", "6", "11", set, "Ages"}), kExitFinished) << err_;
    std::vector<std::string> by_columns;
    for (const std::string& f : files) by_columns.push_back(folder_.Read(f));
    options_.inp = true;
    ASSERT_EQ(Run({"ages.inp", "2,4,2,1", "12", set, "Ages"}), kExitFinished) << err_;
    for (size_t f = 0; f < files.size(); ++f) EXPECT_EQ(folder_.Read(files[f]), by_columns[f]) << files[f];
  }
  EXPECT_EQ(Run({"ages.inp", "2,4,3,1"}), kExitError);
  EXPECT_NE(Tail(2)[0].find("read with one age class, or two by time since marking, got 3"), std::string::npos)
      << Tail(2)[0];
  options_ = RunOptions{};
}

TEST_F(RunTest, AnswersReplayedWithYesRepeatTheRun) {
  options_.answers_from_terminal = true;
  ASSERT_EQ(Run({"records.txt", "2,3,1,1", "AB", "0", "1 2", "3", "4", "0", "9", "4", "0",
                 "Replay"}),
            kExitFinished);
  const std::string out = folder_.Read("HAPLOVEX.OUT");
  const std::string sum = folder_.Read("HAPLOVEX.SUM");
  const std::string ans = folder_.Read("HAPLOVEX.ANS");
  EXPECT_EQ(ans, "records.txt\n2,3,1,1\nAB\n0\n1 2\n3\n4\n0\n4\n0\nReplay\n")
      << "a refused model set is not kept; columns typed over two lines are";
  options_ = RunOptions{};
  options_.yes = true;
  std::vector<std::string> replay;
  std::istringstream lines(ans);
  for (std::string line; std::getline(lines, line);) replay.push_back(line);
  ASSERT_EQ(Run(replay), kExitFinished);
  EXPECT_EQ(folder_.Read("HAPLOVEX.OUT"), out);
  EXPECT_EQ(folder_.Read("HAPLOVEX.SUM"), sum);
  EXPECT_EQ(folder_.Read("HAPLOVEX.ANS"), ans) << "a piped run leaves the saved answers alone";
}

// A first line "#haplovex ..." of piped answers gives the run its options; at a terminal the
// saved answers begin with the options that shape the files, so that they repeat the run.
TEST_F(RunTest, AnswersCarryTheRunsOptions) {
  const std::vector<std::string> answers = {"records.txt", "2,3,1,1", "AB", "1", "4", "0", "2", "Opts"};
  // (As saved by editors: with CR LF line ends, or a byte-order mark before the first line.)
  for (const std::string line : {"#haplovex --csv", "#haplovex --csv\r", "\xEF\xBB\xBF#haplovex --csv"}) {
    SCOPED_TRACE(::testing::PrintToString(line));
    for (const std::string& name : OtherNames()) std::filesystem::remove(folder_.path() / name);
    std::vector<std::string> with_line = {line};
    with_line.insert(with_line.end(), answers.begin(), answers.end());
    ASSERT_EQ(Run(with_line), kExitFinished) << Tail(2)[0];
    EXPECT_TRUE(std::filesystem::exists(folder_.path() / "HAPLOVEX.releases.csv"));
    EXPECT_EQ(std::count(console_.begin(), console_.end(), " #haplovex --csv"), 0)
        << "the options line is no answer";
  }
  std::vector<std::string> marked = answers;
  marked[0] = "\xEF\xBB\xBF" + marked[0];
  std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
  EXPECT_EQ(Run(marked), kExitFinished) << Tail(2)[0];

  // (The options line comes first, before the overwrite answer.)
  std::vector<std::string> bad = {"#haplovex --cvs", "y"};
  bad.insert(bad.end(), answers.begin(), answers.end());
  EXPECT_EQ(Run(bad), kExitError);
  EXPECT_NE(Tail(2)[0].find("The options line of the answers (#haplovex --cvs): '--cvs' is no option"),
            std::string::npos);

  options_.answers_from_terminal = true;
  options_.report = true;
  std::vector<std::string> typed = {"y"};
  typed.insert(typed.end(), answers.begin(), answers.end());
  ASSERT_EQ(Run(typed), kExitFinished);
  EXPECT_EQ(folder_.Read("HAPLOVEX.ANS"),
            "#haplovex --report\nrecords.txt\n2,3,1,1\nAB\n1\n4\n0\n2\nOpts\n");
}

// A file of summarised histories answered with too few or too many groups: the line that says
// how the first record was split shows the count out of place at once.
TEST_F(RunTest, SummarisedHistoriesShowTheirFirstRecordsSplit) {
  folder_.Write("geese.inp", "/* two groups, one covariate */\nAB0 8 10 31;\nA0A 1 2 40;\n");
  struct Case {
    std::string groups;
    std::vector<std::string> codes;  // the group-codes answer, when asked
    std::string split;
  };
  const std::vector<Case> cases = {
      {"2,3,1,1", {}, "line 2: history AB0, count 8, 2 covariates ignored"},
      {"2,3,1,2", {"MF"}, "line 2: history AB0, counts 8 10 (groups M, F), 1 covariate ignored"},
      {"2,3,1,3", {"MFU"}, "line 2: history AB0, counts 8 10 31 (groups M, F, U)"},
  };
  options_.inp = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.groups);
    std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
    std::vector<std::string> answers = {"geese.inp", c.groups, "AB"};
    answers.insert(answers.end(), c.codes.begin(), c.codes.end());
    answers.insert(answers.end(), {"2", "Geese"});
    EXPECT_EQ(Run(answers), kExitFinished);
    EXPECT_NE(err_.find("haplovex: " + c.split + "\n"), std::string::npos) << err_;
  }
}

// What the records and the folder hold reaches standard error through the one filter of what a
// person is shown, and a terminal's console through it too, while a piped console keeps every
// byte: a history of escape sequences on the line that says how the first record was split, C1
// controls as bytes and as characters (a character that merely holds such a byte stays), and a
// name in the record of moves of a run killed while putting its files in place.
TEST_F(RunTest, DataShownToAPersonCannotControlATerminal) {
  struct Case {
    std::string name;
    std::string record;  // the file's one record
    std::string counts;  // the answer of strata, periods, age classes, groups
    std::string said;    // on standard error, and on a terminal's console
  };
  const std::vector<Case> cases = {
      {"escape sequences", "\x1b[2J\x1b[8mA000 5;", "2,12,1,1", "history ?[2J?[8mA000, count 5"},
      {"C1 controls", "A\x9b" "2J\xc2\x9d 5;", "2,6,1,1", "history A?2J?, count 5"},
      {"a character holding 0x9B", "\xc5\x9b" "A000 5;", "2,6,1,1",
       "history \xc5\x9b" "A000, count 5"},
  };
  options_.inp = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder_.Write("odd.inp", c.record + "\n");
    for (const bool terminal : {false, true}) {
      std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
      options_.console_is_terminal = terminal;
      EXPECT_EQ(Run({"odd.inp", c.counts, "AB", "2", "Odd"}), kExitFinished);
      EXPECT_NE(err_.find("haplovex: line 1: " + c.said + "\n"), std::string::npos) << err_;
      for (const std::string& line : testing::Lines(err_)) EXPECT_EQ(Harmless(line), line);
      // The record as the preview shows it.
      const std::string shown = " " + (terminal ? Harmless(c.record) : c.record) + " ";
      EXPECT_NE(std::find_if(console_.begin(), console_.end(),
                             [&](const std::string& line) { return line.starts_with(shown); }),
                console_.end());
      if (!terminal) continue;
      for (const std::string& line : console_) EXPECT_EQ(Harmless(line), line);
    }
  }
  options_ = RunOptions{};
  // A clipboard write (OSC 52) in a name in the record of moves of a run long gone.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  folder_.Write(".planted", "planted\n");
  folder_.Write(".HAPLOVEX.moves-" + std::to_string(child), "x\x1b]52;c;aGk=\x07\t.planted\t-\n");
  Run({"records.txt", "2,3,1,1", "AB", "1", "4", "0", "2", "Title"});
  EXPECT_NE(err_.find("x?]52;c;aGk=?"), std::string::npos) << err_;
  for (const std::string& line : testing::Lines(err_)) EXPECT_EQ(Harmless(line), line);
}

// Each warning about the data, with data that gives it; a clean run gives none.
TEST_F(RunTest, WarningsAboutTheData) {
  struct Case {
    std::string name;
    std::string records;
    std::vector<std::string> answers;
    std::string warning;  // empty: no warning at all
  };
  const std::vector<std::string> plain = {"records.txt", "2,3,1,1", "AB", "1", "4",
                                          "0",           "2",       "Title"};
  auto answers = [&](size_t at, const std::string& answer) {
    std::vector<std::string> a = plain;
    a[at] = answer;
    return a;
  };
  // n periods and no fate column; the record, caught at periods 1, 2, 99 and 100, is 100
  // columns long.
  auto periods = [&](int n) {
    std::vector<std::string> a = answers(1, "2," + std::to_string(n) + ",1,1");
    a[4] = "0";
    return a;
  };
  const std::string hundred = "AB" + std::string(96, '0') + "AB\n";
  const std::vector<Case> cases = {
      {"a clean run", "AB0\nA0A\n0BBX\n", plain, ""},
      {"characters that are no codes", "AB0\nAb0\nx0A\n", plain,
       "2 history characters neither a stratum code nor 0, . or blank, read as not caught "
       "(codes are case-sensitive); the first is \"b\" in record 2, column 2"},
      {"codes beyond the strata", "AB0\nA0A\n0CC\n", answers(2, "ABC"),
       "2 stratum codes typed beyond the 2 strata, read as not caught; the first is \"C\" in "
       "record 3, column 2"},
      {"records with no capture", "AB0\n000\n...\n", plain,
       "2 records with no capture; the first is record 2"},
      {"records too short", "AB0X\nA0\n0BBX\n", plain,
       "1 record too short to reach every column read, the missing columns read as blanks; the "
       "first is record 2, 2 columns long"},
      {"blank frequencies", "AB0 2\nA0A  \n0BB 1\n", answers(5, "5\n5"),
       "1 record with a blank frequency field, read as no animals; the first is record 2, "
       "column 5"},
      {"a frequency with blanks between its digits", "AB0 2\nA0A 1 1\n0BB 1\n",
       answers(5, "5\n7"),
       "1 record with blanks between the digits of the frequency field, read as one number "
       "(\"8 10\" as 810); the first is record 2, column 5. A file with one count for each "
       "group is read with --inp"},
      {"the line of a record after comment lines", "/* a */\nAB0\n/* b */\n/* c */\n000\n", plain,
       "1 record with no capture; the first is record 2 (line 5)"},
      {"no release at all", "A00X\n0A0X\n", plain,
       "no animal is released in any cohort: every release count is 0"},
      {"a title cut", "AB0\n", answers(7, std::string(64, 't') + "cut"),
       "the title was cut at 64 characters"},
      {"a quote in the title", "AB0\n", answers(7, "Geese 'pilot' run"),
       "the title holds a ', which ends the quoted title in HAPLOVEX.OUT early"},
      {"ten strata", "AB0\n", answers(1, "10,3,1,1"), ""},
      // NYRS has two digits.
      {"a hundred periods", hundred, periods(100),
       "the model statement writes asterisks for NYRS (100): the numbers do not fit their "
       "fields"},
      {"ninety-nine periods", hundred, periods(99), ""},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
    folder_.Write("records.txt", c.records);
    if (c.name == "ten strata") {
      c.answers[2] = "ABCDEFGHIJ";
      c.warning = "the model statement writes asterisks for STRATA (10): the numbers do not fit "
                  "their fields";
    }
    std::vector<std::string> typed;
    for (const std::string& a : c.answers) {
      std::istringstream split(a);
      for (std::string line; std::getline(split, line);) typed.push_back(line);
    }
    EXPECT_EQ(Run(typed), kExitFinished);
    if (c.warning.empty()) {
      EXPECT_EQ(err_.find("warning"), std::string::npos) << err_;
    } else {
      EXPECT_NE(err_.find("haplovex: warning: " + c.warning + "\n"), std::string::npos) << err_;
      // --strict: the same run stops, and writes nothing.
      options_.strict = true;
      const std::string out_before = folder_.Read("HAPLOVEX.OUT");
      std::vector<std::string> again = {"y"};
      again.insert(again.end(), typed.begin(), typed.end());
      EXPECT_EQ(Run(again), kExitError);
      EXPECT_EQ(folder_.Read("HAPLOVEX.OUT"), out_before);
      EXPECT_NE(Tail(2)[0].find(" *** --strict: the data checks gave"), std::string::npos);
      options_.strict = false;
    }
  }
}

// Answers not typed at a terminal hear once, before any record is converted, of what the
// first records would have a person asked again; --strict stops there. At most 10,000 records
// are looked at.
TEST_F(RunTest, AnswersTheFirstRecordsContradictAreWarnedOfFirst) {
  const std::string birds = "AB0C0D M  3\nA0BB00 F 12\n00CD0A M  1\n";
  std::string many;
  for (int k = 0; k < 10'000; ++k) many += "AB0C0D M  3\n";
  for (int k = 0; k < 1'000; ++k) many += "xxxxxx F  1\n";
  // Histories alone, each ending at the history's last column, with 1 in 20 of their characters
  // neither a code nor a mark of no capture (3 of 60), and a little more (4 of 78).
  std::string at_limit;
  std::string past_limit;
  for (int k = 0; k < 10; ++k) at_limit += k < 3 ? "xB0C0D\n" : "AB0C0D\n";
  for (int k = 0; k < 13; ++k) past_limit += k < 4 ? "xB0C0D\n" : "AB0C0D\n";
  const std::vector<std::string> histories = {"4,6,1,1", "ABCD", "1", "0", "0", "2", "B"};
  folder_.Write("birds.inp", "AB0C0D 3 0;\nA0BB00 0 12;\n");
  // Moves among L, M and S, S in five periods' columns; X only after the first 10,000 records.
  const std::string moves = "LM0S0L\nS0LL0M\n0MSS0L\nLLM0S0\n";
  std::string x_late;
  for (int k = 0; k < 10'000; ++k) x_late += "LM0S0L\n";
  x_late += "X0000L\n";
  struct Case {
    std::string name;
    std::string records;
    std::vector<std::string> answers;  // after the file name
    std::string warning;               // empty: none before the conversion
  };
  const std::vector<Case> cases = {
      {"answers that fit",
       birds,
       {"4,6,1,2", "ABCD", "1", "0", "8", "MF", "10", "11", "2", "B"},
       ""},
      {"stratum codes in the other case",
       birds,
       {"4,6,1,1", "abcd", "1", "0", "0", "2", "B"},
       "the stratum codes stand in the history in columns 1-6 of the 3 records as ABCD, not abcd "
       "(codes are case-sensitive)"},
      {"group codes with commas",
       birds,
       {"4,6,1,2", "ABCD", "1", "0", "8", "M,F", "10", "11", "2", "B"},
       "the group codes M,F were typed with commas between them, which makes a comma a code: "
       "without them they are MF"},
      {"--inp group codes with commas",
       "",
       {"4,6,1,2", "ABCD", "M,F", "2", "B"},
       "the group codes M,F were typed with commas between them"},
      {"odd histories after the first 10,000 records",
       many,
       {"4,6,1,1", "ABCD", "1", "0", "0", "2", "B"},
       ""},
      {"odd history characters at 5%", at_limit, histories, ""},
      {"odd history characters past 5%", past_limit, histories,
       "4 of the 78 characters in the history in columns 1-6 of the 13 records are neither "
       "stratum codes nor 0, . or blank; the histories fit from column 2 on"},
      // Columns 1-2 and 5-6 hold as many codes, each two columns from those typed.
      {"the nearer column on a tie is the earlier",
       "AB00AB\nAB00AB\n",
       {"2,2,1,1", "AB", "3", "0", "0", "2", "B"},
       "none of the stratum codes AB stands in the history in columns 3-4 of the 2 records; the "
       "histories fit from column 1 on"},
      {"frequency fields half not numbers",
       "AB0C0D M  3\nA0BB00 F xx\n00CD0A M  1\nD0000A F xx\n",
       {"4,6,1,2", "ABCD", "1", "0", "8", "MF", "10", "11", "2", "B"},
       ""},
      {"frequency fields more than half not numbers",
       "AB0C0D M  3\nA0BB00 F xx\n00CD0A M xx\n",
       {"4,6,1,2", "ABCD", "1", "0", "8", "MF", "10", "11", "2", "B"},
       "2 of the 3 fields of the frequency in columns 10-11 in the 3 records are not numbers; the "
       "first is \"xx\", in record 2"},
      {"group codes with a comma the group column holds",
       "AB0C0D M  3\nA0BB00 ,  2\n00CD0A F  1\n",
       {"4,6,1,3", "ABCD", "1", "0", "8", "M,F", "10", "11", "2", "B"},
       ""},
      {"a stratum code left out",
       moves,
       {"2,6,1,1", "LM", "1", "0", "0", "2", "B"},
       "besides the stratum codes LM, the letter S (5 times) stands in the history in columns 1-6 "
       "of the 4 records, in two periods or more: a stratum code left out? (3 strata with the "
       "codes LMS)"},
      {"a stratum code in no history",
       moves,
       {"4,6,1,1", "LMSX", "1", "0", "0", "2", "B"},
       "the stratum code X stands nowhere in the history in columns 1-6 of the 4 records: 3 strata "
       "with the codes LMS?"},
      {"a history one column off",
       moves,
       {"3,6,1,1", "LMS", "2", "0", "0", "2", "B"},
       "period 6 is blank in every record (column 7 holds no stratum code); the histories fit "
       "from column 1 on"},
      {"a frequency of 0 in most records",
       "1121111  0 1\n2211102  0 1\n1101201  1 0\n",
       {"2,7,1,1", "12", "1", "0", "10", "10", "2", "B"},
       "the frequency in column 10 is 0 in 2 of the 3 records, which count no animal; a file with "
       "a count for each group after its history is read with --inp"},
      {"--inp a count for each of two groups answered as one group",
       "",
       {"4,6,1,1", "ABCD", "2", "B"},
       "every record has 2 whole-number counts after its history: 2 groups? (the counts 4,6,1,2; "
       "with 1 group, 1 of the 2 records count no animal)"},
      {"--inp two counts on each record answered as three groups",
       "",
       {"4,6,1,3", "ABCD", "MFX", "2", "B"},
       "every record has 2 whole-number counts after its history: 2 groups? (the counts 4,6,1,2; "
       "with 3 groups, each record needs 3)"},
      {"tabs before the frequency field",
       "A0BA\t 5\nAB0B\t 2\n",
       {"2,4,1,1", "AB", "1", "0", "6", "7", "2", "B"},
       "the 2 records hold 2 tabs at or before column 7, the frequency field's last (the first in column "
       "5): each tab is one column of the record, however wide a screen shows it"},
      // (--strict does not stop on it: record 10,001 uses X.)
      {"a code unused in the first 10,000 records only",
       x_late,
       {"4,6,1,1", "LMSX", "1", "0", "0", "2", "B"},
       "the stratum code X stands nowhere in the history in columns 1-6 of the first 10,000 "
       "records: 3 strata with the codes LMS?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    options_.inp = c.name.starts_with("--inp");
    std::vector<std::string> answers = {options_.inp ? "birds.inp" : "birds.txt"};
    answers.insert(answers.end(), c.answers.begin(), c.answers.end());
    if (!options_.inp) folder_.Write("birds.txt", c.records);
    for (const bool strict : {false, true}) {
      std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
      options_.strict = strict;
      const int status = Run(answers);
      if (c.warning.empty()) {
        EXPECT_EQ(err_.find("in the history in"), std::string::npos) << err_;
        EXPECT_EQ(Tail(2)[0].find("before any record"), std::string::npos);
        continue;
      }
      EXPECT_NE(err_.find("haplovex: warning: " + c.warning), std::string::npos) << err_;
      if (!strict) continue;
      if (c.name.ends_with("first 10,000 records only")) {
        EXPECT_EQ(status, kExitFinished);
        continue;
      }
      EXPECT_EQ(status, kExitError);
      EXPECT_TRUE(Tail(2)[0].starts_with(" *** --strict: the data checks gave "));
      EXPECT_TRUE(Tail(2)[0].ends_with(" (on standard error) before any record was converted"));
      for (const std::string& line : console_) EXPECT_EQ(line.find("allocating"), std::string::npos);
      EXPECT_FALSE(folder_.Exists("HAPLOVEX.OUT"));
    }
  }
  // Periods the summarised histories deny stop the run at the counts, before the other answers.
  options_ = RunOptions{};
  options_.inp = true;
  std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
  EXPECT_EQ(Run({"birds.inp", "4,7,1,2"}), kExitError);
  EXPECT_EQ(Tail(2)[0],
            " *** the histories of the 2 records have 6 characters (line 1: history "
            "AB0C0D, 6 characters), where the counts answer gives 7 periods: the "
            "counts that fit them are 4,6,1,2");
  EXPECT_FALSE(folder_.Exists("HAPLOVEX.OUT"));
  options_ = RunOptions{};
}

// A first line of names over the records is read as no record, by one thread and by two, the
// plain way (records echoed) too; the lines named in warnings still count it.
TEST_F(RunTest, AFirstLineOfNamesIsNoRecord) {
  folder_.Write("names.txt", "ch\tfreq\nA0BA\t 5\n0000\t 1\nAB0B\t 2\n");
  struct Case {
    std::string counts;  // "-2,...": the records echoed, read the plain way
    int threads;
  };
  for (const Case& c : std::vector<Case>{{"2,4,1,1", 1}, {"2,4,1,1", 2}, {"-2,4,1,1", 1}}) {
    SCOPED_TRACE(c.counts + " by " + std::to_string(c.threads));
    std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
    options_.threads = c.threads;
    ASSERT_EQ(Run({"names.txt", c.counts, "AB", "1", "0", "6", "7", "2", "Names"}), kExitFinished)
        << err_;
    EXPECT_NE(std::find(console_.begin(), console_.end(),
                        "      3 records read, representing       8 animals"),
              console_.end());
    EXPECT_NE(err_.find("haplovex: line 1 (ch>freq) holds names, not a record: it is read as none\n"),
              std::string::npos)
        << err_;
    EXPECT_NE(err_.find("1 record with no capture; the first is record 2 (line 3)"), std::string::npos)
        << err_;
    // The look at the first records, before the conversion, reads the line as no record too.
    EXPECT_NE(err_.find("haplovex: warning: the 3 records hold 3 tabs at or before column 7, the "
                        "frequency field's last (the first in column 5)"),
              std::string::npos)
        << err_;
  }
  options_ = RunOptions{};
}

// Comment lines are counted apart and read as no record, also where their text in the history
// columns reads like a history; a line with data after its comment is a record.
TEST_F(RunTest, CommentLinesAreNoRecords) {
  struct Case {
    std::string name;
    std::string records;
    std::string first_column;
    std::string records_line;
    std::string comments;
    std::vector<std::string> cohorts;  // the COHORT lines of HAPLOVEX.OUT; none: not checked
  };
  const std::vector<Case> cases = {
      {"comments and a line with data after one",
       "/* tag 17, released at the weir */\nAB0\n  /* */  \n/* data after it */ A0A\n", "1",
       "      2 records read, representing       2 animals", "2 comment lines", {}},
      // Periods 1-3 in columns 5-7, where the comment holds "AB.": still no record.
      {"a comment whose history columns hold codes", "/*  AB. */\n    AB0\n    A0A\n", "5",
       "      2 records read, representing       2 animals", "1 comment line",
       {"COHORT=2;0:;1:;1:;0:;", "COHORT=0;0:;0:;0:;0:;", "COHORT=0;0:;0:;", "COHORT=1;0:;0:;"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder_.path() / "HAPLOVEX.OUT");
    folder_.Write("records.txt", c.records);
    ASSERT_EQ(Run({"records.txt", "2,3,1,1", "AB", c.first_column, "0", "0", "2", "Title"}),
              kExitFinished);
    EXPECT_NE(std::find(console_.begin(), console_.end(), c.records_line), console_.end());
    EXPECT_NE(err_.find("haplovex: " + c.comments + " (/* ... */) read as no record"),
              std::string::npos)
        << err_;
    EXPECT_NE(err_.find("haplovex: no frequency field: every record is one animal\n"),
              std::string::npos);
    if (c.cohorts.empty()) continue;
    std::vector<std::string> cohorts;
    std::istringstream out(folder_.Read("HAPLOVEX.OUT"));
    for (std::string line; std::getline(out, line);) {
      if (line.rfind("COHORT=", 0) == 0) cohorts.push_back(line);
    }
    EXPECT_EQ(cohorts, c.cohorts);
  }
}

}  // namespace
}  // namespace haplovex
