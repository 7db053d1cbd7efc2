#include "runctl/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace haplovex {
namespace {

// The first line of an answers file that carries its run's options, and what it adds to the
// options of the command line.
TEST(OptionsLineTest, ReadAddedToTheCommandLine) {
  struct Case {
    std::string line;
    bool is_options;
    bool read;  // read without a problem
    bool inp, csv, report, strict;
    int threads;  // with the command line's 0
  };
  const std::vector<Case> cases = {
      {"#haplovex --inp", true, true, true, false, false, false, 0},
      {"#haplovex --inp --csv --report", true, true, true, true, true, false, 0},
      {"#haplovex\t--strict --threads 3", true, true, false, false, false, true, 3},
      {"#haplovex --threads=2  --csv ", true, true, false, true, false, false, 2},
      {"#haplovex", true, true, false, false, false, false, 0},
      {"#haplovex\r", true, true, false, false, false, false, 0},  // a line end of CR LF
      {"#haplovex --csv\r", true, true, false, true, false, false, 0},
      {"#haplovex -y", true, false, false, false, false, false, 0},  // a folder's answer, not a run's
      {"#haplovex --threads 0", true, false, false, false, false, false, 0},
      {"#haplovex --inpt", true, false, false, false, false, false, 0},
      {"#haplovexx --inp", false, false, false, false, false, false, 0},  // a file's name
      {"geese.inp", false, false, false, false, false, false, 0},
      {" #haplovex --inp", false, false, false, false, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(IsOptionsLine(c.line), c.is_options);
    if (!c.is_options) continue;
    RunOptions options;
    std::string problem;
    EXPECT_EQ(ReadOptionsLine(c.line, options, problem), c.read) << problem;
    if (!c.read) {
      EXPECT_FALSE(problem.empty());
      continue;
    }
    EXPECT_EQ(options.inp, c.inp);
    EXPECT_EQ(options.csv, c.csv);
    EXPECT_EQ(options.report, c.report);
    EXPECT_EQ(options.strict, c.strict);
    EXPECT_EQ(options.threads, c.threads);
  }
  // The command line's number of threads stands; its options are kept.
  RunOptions options;
  options.threads = 1;
  options.report = true;
  std::string problem;
  ASSERT_TRUE(ReadOptionsLine("#haplovex --inp --threads 4", options, problem));
  EXPECT_EQ(options.threads, 1);
  EXPECT_TRUE(options.report && options.inp);
}

// The options line a run's saved answers begin with: the options that shape its files.
TEST(OptionsLineTest, WrittenForTheOptionsThatShapeTheFiles) {
  RunOptions options;
  EXPECT_EQ(OptionsLine(options), "");
  options.strict = true;
  options.threads = 2;
  options.yes = true;
  EXPECT_EQ(OptionsLine(options), "") << "these change no file";
  options.inp = true;
  EXPECT_EQ(OptionsLine(options), "#haplovex --inp");
  options.report = true;
  options.csv = true;
  EXPECT_EQ(OptionsLine(options), "#haplovex --inp --csv --report");
  RunOptions again;
  std::string problem;
  ASSERT_TRUE(ReadOptionsLine(OptionsLine(options), again, problem));
  EXPECT_TRUE(again.inp && again.csv && again.report);
}

// Each option of the table, by name or alias: on the command line it sets its setting; an
// answers file's options line takes it unless it is the folder's answer (-y); the saved
// answers' options line repeats it where it shapes the files.
TEST(OptionTableTest, EachOptionReadWhereItMayStand) {
  struct Case {
    std::vector<std::string> words;
    bool RunOptions::*flag;  // the switch set, or none for --threads
    int threads;
    bool on_answers_line;
    bool repeated;
  };
  const std::vector<Case> cases = {
      {{"--inp"}, &RunOptions::inp, 0, true, true},
      {{"-y"}, &RunOptions::yes, 0, false, false},
      {{"--yes"}, &RunOptions::yes, 0, false, false},
      {{"--strict"}, &RunOptions::strict, 0, true, false},
      {{"--csv"}, &RunOptions::csv, 0, true, true},
      {{"--report"}, &RunOptions::report, 0, true, true},
      {{"--gof"}, &RunOptions::gof, 0, true, true},
      {{"--threads", "7"}, nullptr, 7, true, false},
      {{"--threads=64"}, nullptr, 64, true, false},
      {{"--threads=1"}, nullptr, 1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.front());
    RunOptions options;
    size_t k = 0;
    std::string problem;
    ASSERT_EQ(ReadOption(c.words, k, options, problem, true), OptionRead::kTaken) << problem;
    EXPECT_EQ(k, c.words.size() - 1) << "the number is read with its option";
    if (c.flag != nullptr) {
      EXPECT_TRUE(options.*c.flag);
    }
    EXPECT_EQ(options.threads, c.threads);
    k = 0;
    RunOptions from_file;
    EXPECT_EQ(ReadOption(c.words, k, from_file, problem, false),
              c.on_answers_line ? OptionRead::kTaken : OptionRead::kNotOne);
    EXPECT_EQ(OptionsLine(options), c.repeated ? "#haplovex " + c.words.front() : "");
  }
}

TEST(OptionTableTest, WordsThatAreNoOption) {
  struct Case {
    std::vector<std::string> words;
    OptionRead read;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {{"--threads"}, OptionRead::kRefused, "--threads needs a number"},
      {{"--threads", "65"}, OptionRead::kRefused, "--threads takes a number from 1 to 64, got '65'"},
      {{"--threads=0"}, OptionRead::kRefused, "--threads takes a number from 1 to 64, got '0'"},
      {{"--threads=2x"}, OptionRead::kRefused, "--threads takes a number from 1 to 64, got '2x'"},
      {{"--threads="}, OptionRead::kRefused, "--threads takes a number from 1 to 64, got ''"},
      {{"--csv=1"}, OptionRead::kNotOne, ""},  // a switch takes no value
      {{"--Inp"}, OptionRead::kNotOne, ""},
      {{"--threadsx"}, OptionRead::kNotOne, ""},
      {{"-Y"}, OptionRead::kNotOne, ""},
      {{"answers.txt"}, OptionRead::kNotOne, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.front());
    RunOptions options;
    size_t k = 0;
    std::string problem;
    EXPECT_EQ(ReadOption(c.words, k, options, problem, true), c.read);
    EXPECT_EQ(problem, c.problem);
  }
  RunOptions options;
  std::string problem;
  EXPECT_FALSE(ReadOptionsLine("#haplovex --csv --bogus", options, problem));
  EXPECT_EQ(problem,
            "'--bogus' is no option of a conversion (--inp, --frame, --strict, --csv, --report, --gof, --threads N)");
}

// The usage names every option and every file a run writes, with the options it is written
// under, each line within 90 columns.
TEST(OptionTableTest, UsageFromTheTables) {
  const std::string usage = Usage();
  EXPECT_TRUE(usage.starts_with(
      "Usage: haplovex [--inp] [--frame] [-y] [--strict] [--csv] [--report] [--gof]\n"
      "                [--threads N] [ANSWERS]\n"));
  for (const char* item : {"\n  --inp         the input file holds summarised histories",
                                  "\n  --frame       the input file is a data frame",
                                  "\n  -y, --yes     answer yes when asked",
                                  "\n  --threads N   read the records with N threads",
                                  "\n  HAPLOVEX.OUT              the estimation-program input",
                                  "\n  HAPLOVEX.html             with --report: one page",
                                  "\n  HAPLOVEX.releases.csv     with --csv: the m-array",
                                  "\n  HAPLOVEX.gof.csv          with --gof --csv: every component",
                                  "\n  HAPLOVEX.ANS              the answers typed at a terminal",
                                  "haplovex -y < HAPLOVEX.ANS\n"}) {
    EXPECT_NE(usage.find(item), std::string::npos) << item;
  }
  std::istringstream lines(usage);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 90u) << line;
}

}  // namespace
}  // namespace haplovex
