#include "runctl/options.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace haplovex
