#include "gof/fit_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "gof/side_by_side.h"
#include "summarised_histories.h"

namespace haplovex::gof {
namespace {

TestResult Test(const std::string& name, std::vector<Component> components, double statistic,
                int df, double p) {
  TestResult t;
  static_cast<Figures&>(t) = Judged(Method::kChiSquare, statistic, df, p);
  t.name = name;
  t.components = std::move(components);
  return t;
}

Component At(int occasion, int stratum, double statistic, int df, double p, Method method) {
  return Component{Judged(method, statistic, df, p), occasion, stratum};
}

// One group with a component of each kind: tested by chi-square, by Fisher, not tested.
GroupFit OneGroup() {
  GroupFit g;
  g.group = "M";
  g.multi = {Test("3G.SR",
                  {At(2, 1, 3.894777e-03, 1, 9.502378e-01, Method::kChiSquare),
                   At(2, 2, 0.4843141, 1, 0.486512, Method::kFisher), At(3, 1, 0, 0, 1, Method::kNone)},
                  0.4882089, 2, 0.78338),
             Test("M.ITEC", {At(2, 0, 4.081403, 1, 0.0433576, Method::kChiSquare)}, 4.081403, 1,
                  0.0433576)};
  g.jmv = SumOfTests("JMV", g.multi);
  g.single = {Test("2.CL", {At(2, 0, 0, 0, 1, Method::kNone)}, 0, 0, 1)};
  g.cjs = SumOfTests("CJS", g.single);
  return g;
}

TEST(FitFilesTest, TheCsvTableHasARowPerComponentAndPerTotal) {
  OutputFile file("HAPLOVEX.gof.csv");
  file.OpenMemory();
  WriteFitCsv({OneGroup()}, file);
  EXPECT_EQ(file.contents(),
            "group,test,occasion,stratum,statistic,df,p,method\r\n"
            "M,3G.SR,2,1,0.003895,1,0.950238,chi-square\r\n"
            "M,3G.SR,2,2,0.484314,1,0.486512,fisher\r\n"
            "M,3G.SR,3,1,0.000000,0,,none\r\n"
            "M,3G.SR,,,0.488209,2,0.78338,chi-square\r\n"
            "M,M.ITEC,2,,4.081403,1,0.0433576,chi-square\r\n"
            "M,M.ITEC,,,4.081403,1,0.0433576,chi-square\r\n"
            "M,JMV,,,4.569612,3,0.206164,chi-square\r\n"
            "M,2.CL,2,,0.000000,0,,none\r\n"
            "M,2.CL,,,0.000000,0,,none\r\n"
            "M,CJS,,,0.000000,0,,none\r\n");
}

TEST(FitFilesTest, CHatAndItsReading) {
  struct Case {
    double statistic;
    int df;
    double c_hat;
    std::string reading;
  };
  const std::vector<Case> cases = {
      {982.59, 197, 4.98777, "structural lack of fit"},
      {14.9, 10, 1.49, "fits acceptably"},
      {15.0, 10, 1.5, "overdispersed: carry c-hat into model selection"},
      {30.0, 10, 3.0, "overdispersed"},
      {0, 0, 0, "fits acceptably"},
  };
  for (const Case& c : cases) {
    TestResult overall;
    static_cast<Figures&>(overall) = ChiSquareJudged(Method::kChiSquare, c.statistic, c.df);
    EXPECT_NEAR(CHat(overall), c.c_hat, 1e-5);
    EXPECT_EQ(CHatReading(CHat(overall)).rfind(c.reading, 0), 0u) << c.statistic;
  }
}

TEST(FitFilesTest, ThePlainTableLeadsWithCHatAndSaysWhatWasPooled) {
  OutputFile file("HAPLOVEX.GOF");
  file.OpenMemory();
  WriteFitText({"Geese", 6, 3, true}, {OneGroup()}, file);
  const std::string& text = file.contents();
  EXPECT_NE(text.find("The age classes were pooled"), std::string::npos);
  EXPECT_NE(text.find("Group M\n  c-hat = 1.523 (JMV 4.570 on 3 df): overdispersed"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  3G.SR         3       1           -     0         -  not tested"),
            std::string::npos)
      << text;
  // Totals: the name in 8 characters, the statistic with 3 decimals in 12, df in 6, p with 4
  // decimals in 10 ("-" on no df): "3G.SR" and 3 spaces, then 7 before "0.488". JMV is
  // 0.4882089 + 4.081403 on 3 df, p 0.206164.
  for (const std::string& line : {std::string("\n  Test       statistic    df         p\n"),
                                  "\n  3G.SR" + std::string(10, ' ') + "0.488     2    0.7834\n",
                                  "\n  JMV" + std::string(12, ' ') + "4.570     3    0.2062\n",
                                  "\n  CJS" + std::string(12, ' ') + "0.000     0         -\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
}

// The geese example, every test together: the overall statistics of the reference figures
// (JMV 982.59 on 197 df, CJS 111.6 on 16), within what the mixture tests' fits allow.
TEST(FitFilesTest, TheGeeseGroupAsAWhole) {
  FitTables tables(6, 3);
  for (const testing::History& h : testing::ReadHistories(testing::SourcePath("examples/geese/geese.inp"))) {
    tables.Add(h.sites, h.count);
  }
  const GroupFit g = TestGroup(tables, "1");
  ASSERT_EQ(g.multi.size(), 5u);
  ASSERT_EQ(g.single.size(), 4u);
  const std::vector<std::string> names = {"3G.SR", "3G.Sm", "WBWA", "M.ITEC", "M.LTEC"};
  for (size_t k = 0; k < names.size(); ++k) EXPECT_EQ(g.multi[k].name, names[k]);
  EXPECT_EQ(g.jmv.df, 197);
  EXPECT_NEAR(g.jmv.statistic, 982.59, 0.1);
  EXPECT_EQ(g.cjs.df, 16);
  EXPECT_NEAR(g.cjs.statistic, 111.6, 0.01);
  EXPECT_EQ(CHatReading(CHat(g.jmv)).rfind("structural lack of fit", 0), 0u);
}

// Every task runs once, on however many threads (none asked for is one), and what a task
// throws reaches the caller once the others are done.
TEST(FitFilesTest, TasksSideBySide) {
  struct Case {
    size_t tasks;
    int threads;
  };
  for (const Case c : {Case{0, 2}, Case{1, 1}, Case{5, 0}, Case{5, 2}, Case{100, 8}, Case{3, 64}}) {
    std::vector<std::atomic<int>> runs(c.tasks);
    SideBySide(c.tasks, c.threads, [&](size_t j) { ++runs[j]; });
    for (size_t j = 0; j < c.tasks; ++j) EXPECT_EQ(runs[j], 1) << c.tasks << " tasks, " << c.threads << " threads";
    if (c.tasks == 0) continue;
    EXPECT_THROW(SideBySide(c.tasks, c.threads,
                            [&](size_t j) {
                              if (j + 1 == c.tasks) throw std::runtime_error("the last task fails");
                            }),
                 std::runtime_error);
  }
}

// Groups are fitted together, their mixture tables sharing the threads: each group's figures
// are, to the last bit, those it has alone, whatever the number of threads.
TEST(FitFilesTest, GroupsFittedTogetherOnAnyThreadsAsEachAlone) {
  std::vector<FitTables> tables;
  for (const char* path : {"examples/geese/geese.inp", "tests/gof/cases/009/data.inp"}) {
    const std::vector<testing::History> histories = testing::ReadHistories(testing::SourcePath(path));
    int strata = 1;
    for (const testing::History& h : histories) {
      for (uint8_t site : h.sites) strata = std::max<int>(strata, site);
    }
    tables.emplace_back(static_cast<int>(histories.at(0).sites.size()), strata);
    for (const testing::History& h : histories) tables.back().Add(h.sites, h.count);
  }
  const std::vector<GroupFit> alone = {TestGroup(tables[0], "M"), TestGroup(tables[1], "F")};
  for (int threads : {1, 2, 3}) {
    const std::vector<GroupFit> together = TestGroups({&tables[0], &tables[1]}, {"M", "F"}, threads);
    ASSERT_EQ(together.size(), 2u);
    for (size_t g = 0; g < 2; ++g) {
      EXPECT_EQ(together[g].group, alone[g].group);
      ASSERT_EQ(together[g].multi.size(), alone[g].multi.size());
      for (size_t t = 0; t < alone[g].multi.size(); ++t) {
        const TestResult& a = alone[g].multi[t];
        const TestResult& b = together[g].multi[t];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.statistic, a.statistic) << a.name << ", " << threads << " threads";
        EXPECT_EQ(b.df, a.df) << a.name;
        ASSERT_EQ(b.components.size(), a.components.size()) << a.name;
        for (size_t c = 0; c < a.components.size(); ++c) {
          EXPECT_EQ(b.components[c].statistic, a.components[c].statistic) << a.name << " component " << c;
        }
      }
      EXPECT_EQ(together[g].jmv.statistic, alone[g].jmv.statistic);
      EXPECT_EQ(together[g].cjs.statistic, alone[g].cjs.statistic);
    }
  }
}

}  // namespace
}  // namespace haplovex::gof
