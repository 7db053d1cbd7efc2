#include "gof/fit_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gof/fit_reading.h"
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

// One group with a component of each kind: tested by chi-square, by Fisher, not tested, and
// tested by chi-square though sparse; strata L and M.
GroupFit OneGroup() {
  GroupFit g;
  g.group = "M";
  g.strata_codes = "LM";
  Component sparse = At(2, 0, 4.081403, 1, 0.0433576, Method::kChiSquare);
  sparse.least_expected = 0.5;
  g.multi = {Test("3G.SR",
                  {At(2, 1, 3.894777e-03, 1, 9.502378e-01, Method::kChiSquare),
                   At(2, 2, 0.4843141, 1, 0.486512, Method::kFisher), At(3, 1, 0, 0, 1, Method::kNone)},
                  0.4882089, 2, 0.78338),
             Test("M.ITEC", {sparse}, 4.081403, 1, 0.0433576)};
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
            "group,test,period,stratum,statistic,df,p,method,least_expected\r\n"
            "M,3G.SR,2,L,0.003895,1,0.950238,chi-square,\r\n"
            "M,3G.SR,2,M,0.484314,1,0.486512,fisher,\r\n"
            "M,3G.SR,3,L,0.000000,0,,none,\r\n"
            "M,3G.SR,,,0.488209,2,0.78338,chi-square,\r\n"
            "M,M.ITEC,2,,4.081403,1,0.0433576,chi-square,0.500000\r\n"
            "M,M.ITEC,,,4.081403,1,0.0433576,chi-square,\r\n"
            "M,JMV,,,4.569612,3,0.206164,chi-square,\r\n"
            "M,2.CL,2,,0.000000,0,,none,\r\n"
            "M,2.CL,,,0.000000,0,,none,\r\n"
            "M,CJS,,,0.000000,0,,none,\r\n"
            "M,c-hat,,,1.523204,3,,,\r\n"
            "M,c-hat (CJS),,,0.000000,0,,,\r\n");
}

TEST(FitFilesTest, CHatAndItsReading) {
  struct Case {
    const char* name;
    double statistic;
    int df;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"JMV", 982.59, 197,
       "c-hat 4.988 (JMV 982.590 on 197 df): structural lack of fit: look at the components (transience "
       "3G.SR, trap-dependence M.ITEC, memory WBWA)"},
      {"CJS", 31, 10, "c-hat 3.100 (CJS 31.000 on 10 df): structural lack of fit: look at the components "
                      "(transience 3.SR, trap-dependence 2.CT)"},
      {"JMV", 14.9, 10, "c-hat 1.490 (JMV 14.900 on 10 df): fits acceptably"},
      {"JMV", 15.0, 10, "c-hat 1.500 (JMV 15.000 on 10 df): overdispersed: carry c-hat into model selection"},
      {"JMV", 30.0, 10, "c-hat 3.000 (JMV 30.000 on 10 df): overdispersed: carry c-hat into model selection"},
      {"JMV", 10.0, 10, "c-hat 1.000 (JMV 10.000 on 10 df): fits acceptably"},
      {"JMV", 9.99, 10, "c-hat 0.999 (JMV 9.990 on 10 df): no sign of overdispersion: use 1"},
      {"JMV", 0.123, 1, "c-hat 0.123 (JMV 0.123 on 1 df): no sign of overdispersion: use 1; rests on few degrees "
                        "of freedom"},
      {"CJS", 14.9, 9, "c-hat 1.656 (CJS 14.900 on 9 df): overdispersed: carry c-hat into model selection; rests "
                       "on few degrees of freedom"},
      {"JMV and CJS", 40, 10, "c-hat 4.000 (JMV and CJS 40.000 on 10 df): structural lack of fit: look at each "
                              "group's tests"},
      {"JMV", 0, 0, "c-hat 0.000 (JMV 0.000 on 0 df): nothing could be tested"},
  };
  for (const Case& c : cases) {
    TestResult overall;
    static_cast<Figures&>(overall) = ChiSquareJudged(Method::kChiSquare, c.statistic, c.df);
    overall.name = c.name;
    EXPECT_EQ(CHatLine(overall), c.line);
  }
}

// Histories of a made-up study, an animal a record: at each period but the last, `marked` new
// animals in each stratum; each interval survived (the first after marking at its own rate,
// transients never), then a stratum drawn at random or, with memory, the one before; caught
// with `capture`, or `capture_after` where caught at the period before.
struct Study {
  int periods = 6, strata = 3, marked = 150;
  double survival = 0.8, first_survival = 0.8, transients = 0, go_back = 0;
  double capture = 0.5, capture_after = 0.5;
};

std::vector<testing::History> Simulate(const Study& s, uint32_t seed) {
  std::mt19937 random(seed);
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
  std::vector<testing::History> histories;
  for (int first = 1; first < s.periods; ++first) {
    for (int l = 1; l <= s.strata; ++l) {
      for (int n = 0; n < s.marked; ++n) {
        testing::History h{std::vector<uint8_t>(static_cast<size_t>(s.periods), 0), 1};
        h.sites[first - 1] = static_cast<uint8_t>(l);
        int here = l, before = 0;
        bool caught = true;
        const bool transient = chance(s.transients);
        for (int t = first + 1; t <= s.periods; ++t) {
          if (transient || !chance(t == first + 1 ? s.first_survival : s.survival)) break;
          const int next = before > 0 && before != here && chance(s.go_back)
                               ? before
                               : 1 + static_cast<int>(random() % static_cast<uint32_t>(s.strata));
          if (next != here) before = here;
          here = next;
          caught = chance(caught ? s.capture_after : s.capture);
          if (caught) h.sites[t - 1] = static_cast<uint8_t>(here);
        }
        histories.push_back(std::move(h));
      }
    }
  }
  return histories;
}

GroupFit FitOf(const std::vector<testing::History>& histories, int strata, const std::string& label = "1") {
  FitTables tables(static_cast<int>(histories.at(0).sites.size()), strata);
  for (const testing::History& h : histories) tables.Add(h.sites, h.count);
  return TestGroup(tables, label);
}

// The lines of the reading that mention `words`.
std::vector<std::string> Saying(const std::vector<std::string>& lines, const std::string& words) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(words) != std::string::npos) found.push_back(line);
  }
  return found;
}

// The headline is CJS's for a group of one stratum, declared or caught in, JMV's otherwise.
// The five records: 3.SR is Fisher's on [[0 5] [25 10]] (p = 3003/658008), 2.CT Fisher's on
// [[0 1] [25 0]] (p = 1/26, 4.28), CJS 12.329 on 2 df; the newly marked are seen again more
// often (25 of 35 against none of 5): no transients; released at period 2, all are caught at
// 3: trap-happy.
TEST(FitFilesTest, WhichCHatLeads) {
  const std::vector<testing::History> five = {
      {{1, 0, 0, 1}, 1}, {{0, 1, 1, 0}, 25}, {{1, 0, 0, 0}, 10}, {{0, 1, 0, 0}, 10}, {{1, 1, 0, 0}, 5}};
  std::vector<testing::History> in_stratum_3 = five;
  for (testing::History& h : in_stratum_3) {
    for (uint8_t& site : h.sites) site = site > 0 ? 3 : 0;
  }
  struct Case {
    const char* what;
    GroupFit g;
    std::string headline;  // the start of the headline
  };
  const std::vector<Case> cases = {
      {"five records, one stratum", FitOf(five, 1),
       "c-hat 6.165 (CJS 12.329 on 2 df): structural lack of fit: look at the components (transience 3.SR, "
       "trap-dependence 2.CT); rests on few degrees of freedom"},
      {"the same caught in stratum 3 of 3", FitOf(in_stratum_3, 3), "c-hat 6.165 (CJS 12.329 on 2 df)"},
      {"one stratum, a group", FitOf(Simulate({.strata = 1}, 1), 1, "M"), "c-hat "},
      {"three strata", FitOf(Simulate({}, 2), 3), "c-hat "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HeadlineTest(c.g).name, c.g.one_stratum ? "CJS" : "JMV") << c.what;
    EXPECT_EQ(CHatLine(HeadlineTest(c.g)).rfind(c.headline, 0), 0u) << c.what << ": " << CHatLine(HeadlineTest(c.g));
  }
  EXPECT_TRUE(cases[2].g.one_stratum);
  EXPECT_FALSE(cases[3].g.one_stratum);
  const std::vector<std::string> reading = Reading(cases[0].g);
  ASSERT_EQ(reading.size(), 5u) << reading[0];
  EXPECT_EQ(reading[1].rfind("- 3.SR, 65% of CJS (8.0", 0), 0u) << reading[1];
  EXPECT_NE(reading[1].find("the newly marked are seen again more often"), std::string::npos);
  EXPECT_EQ(reading[2].rfind("- 2.CT, 35% of CJS (4.28", 0), 0u) << reading[2];
  EXPECT_NE(reading[2].find("trap-happy"), std::string::npos);
  EXPECT_EQ(reading[3].rfind("Once the model suggested is fitted, 2.CT is accounted for: c-hat 8.0", 0), 0u)
      << reading[3];
  EXPECT_EQ(reading[4].rfind("With one stratum", 0), 0u);
}

// On studies made up with transients, newly marked animals surviving better, memory or
// trap-happiness, the reading names the test that shows it first, with what to do.
TEST(FitFilesTest, TheReadingNamesWhatTheTestsPointTo) {
  struct Case {
    const char* what;
    Study study;
    int strata;
    std::string first;        // the start of the first test named
    std::string says;         // in that line
    std::string after_model;  // the tests the suggested model accounts for ("" none, "*" not looked at)
    bool memory_note;
  };
  const std::vector<Case> cases = {
      {"transients", {.transients = 0.5}, 3, "- 3G.SR, ", "two age classes by time since marking", "3G.SR", false},
      {"transients, one stratum", {.strata = 1, .marked = 400, .transients = 0.5}, 1, "- 3.SR, ",
       "two age classes by time since marking", "3.SR", false},
      {"newly marked survive better", {.survival = 0.5, .first_survival = 0.98}, 3, "- 3G.SR, ",
       "seen again more often than earlier marked ones, which is not transience", "", false},
      {"memory", {.go_back = 0.9}, 3, "- WBWA, ", "memory-movement model sets 1 or 3", "*", true},
      {"trap-happy, one stratum", {.strata = 1, .marked = 400, .capture = 0.3, .capture_after = 0.8}, 1,
       "- 2.CT, ", "trap-happy", "2.CT", false},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> reading = Reading(FitOf(Simulate(c.study, 7), c.strata));
    ASSERT_GE(reading.size(), 2u) << c.what;
    EXPECT_EQ(reading[1].rfind(c.first, 0), 0u) << c.what << ": " << reading[1];
    EXPECT_NE(reading[1].find(c.says), std::string::npos) << c.what << ": " << reading[1];
    EXPECT_EQ(Saying(reading, "transients:").empty(), c.says.find("two age classes") == std::string::npos) << c.what;
    EXPECT_EQ(Saying(reading, "a memory model's c-hat cannot be read").size(), c.memory_note ? 1u : 0u) << c.what;
    const std::vector<std::string> after = Saying(reading, "Once the model suggested is fitted, ");
    if (c.after_model == "*") continue;
    EXPECT_EQ(after.size(), c.after_model.empty() ? 0u : 1u) << c.what << ": " << (after.empty() ? "" : after[0]);
    if (!after.empty()) {
      EXPECT_NE(after[0].find(c.after_model), std::string::npos) << c.what << ": " << after[0];
    }
  }
}

// With several groups, a line for all together sums each group's headline test.
TEST(FitFilesTest, AllGroupsTogether) {
  auto group = [](double jmv, int jmv_df, double cjs, int cjs_df, bool one_stratum) {
    GroupFit g;
    static_cast<Figures&>(g.jmv) = ChiSquareJudged(Method::kChiSquare, jmv, jmv_df);
    g.jmv.name = "JMV";
    static_cast<Figures&>(g.cjs) = ChiSquareJudged(Method::kChiSquare, cjs, cjs_df);
    g.cjs.name = "CJS";
    g.one_stratum = one_stratum;
    return g;
  };
  struct Case {
    std::vector<GroupFit> groups;
    std::string line;
  };
  const std::vector<Case> cases = {
      {{group(10, 8, 5, 6, false), group(12.57, 9, 9, 5, false), group(10, 8, 1, 1, false), group(10, 9, 0, 0, false)},
       "c-hat 1.252 (JMV 42.570 on 34 df): fits acceptably"},
      {{group(32.823, 10, 11.062, 9, true), group(17.27, 10, 10.275, 12, true)},
       "c-hat 1.016 (CJS 21.337 on 21 df): fits acceptably"},
      {{group(30, 10, 11, 9, true), group(20, 10, 10, 12, false)}, "c-hat 1.632 (JMV and CJS 31.000 on 19 df): "
                                                                     "overdispersed: carry c-hat into model selection"},
  };
  for (const Case& c : cases) EXPECT_EQ(CHatLine(AllGroups(c.groups)), c.line);
}

TEST(FitFilesTest, ThePlainTableLeadsWithCHatAndSaysWhatWasPooled) {
  OutputFile file("HAPLOVEX.GOF");
  file.OpenMemory();
  WriteFitText({"Geese", 6, 3, true}, {OneGroup()}, file);
  const std::string& text = file.contents();
  EXPECT_NE(text.find("The age classes were pooled"), std::string::npos);
  EXPECT_NE(text.find("Group M\nc-hat 1.523 (JMV 4.570 on 3 df): overdispersed"),
            std::string::npos)
      << text;
  // M.ITEC (p 0.0434) is 4.081403 / 4.569612 = 89% of JMV, and sparse; without it JMV is 0.488
  // on 2 df.
  for (const std::string& line :
       {std::string("\n  3G.SR         3       L           -     0         -  not tested\n"),
        "\n  M.ITEC" + std::string(8, ' ') + "2" + std::string(7, ' ') + "-" + std::string(6, ' ') + "4.0814" +
            std::string(5, ' ') + "1" + std::string(4, ' ') + "0.0434  chi-square  sparse (least expected 0.50)\n",
        std::string("\n- M.ITEC, 89% of JMV (4.081 on 1 df, p = 0.0434): trap-dependence: caught now makes caught "
                    "next time more (or less) likely; what to do: a model with trap-dependence in capture.\n"),
        std::string("\nOnce the model suggested is fitted, M.ITEC is accounted for: c-hat 0.244 (JMV less M.ITEC "
                    "0.488 on 2 df): no sign of overdispersion: use 1; rests on few degrees of freedom.\n"),
        std::string("\nComponents tested by chi-square with an expected count below 2 (sparse: M.ITEC period 2) "
                    "make 89% of JMV: its c-hat leans on small counts.\n")}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
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
  EXPECT_EQ(HeadlineReading(g).rfind("structural lack of fit", 0), 0u);
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
    // Told of each fit as it is done, one at a time, up to all of them.
    size_t told = 0;
    size_t last = 0;
    size_t all = 0;
    const FitProgress progress = [&](size_t done, size_t of) {
      ++told;
      EXPECT_EQ(done, last + 1);
      last = done;
      all = of;
    };
    const std::vector<GroupFit> together = TestGroups({&tables[0], &tables[1]}, {"M", "F"}, threads, {}, progress);
    EXPECT_EQ(told, all);
    EXPECT_GT(all, 5u);
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
