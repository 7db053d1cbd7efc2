#include "memory/runs.h"

#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "memory/labels.h"
#include "memory/parameters.h"

namespace haplovex {
namespace {

struct RunLinesRead {
  std::vector<std::pair<int64_t, int64_t>> equal;  // S(k)=S(ref)
  std::map<int64_t, std::string> fixed;            // S(k)=value
};

// The constraint lines of each run in the written text, by run name.
std::map<std::string, RunLinesRead> ReadRuns(const std::string& text) {
  std::map<std::string, RunLinesRead> runs;
  const std::regex header(R"( PROC ESTIMATE NOVAR NSIG=6 MAXFN=64000 NAME=(\w+);)");
  const std::regex equal(R"(S\((\d{5})\)=S\((\d{5})\) /\* .{20}=.{20} \*/;)");
  const std::regex fixed(R"(S\((\d{5})\)=(\d\.\d) /\* .{20} \*/;)");
  std::istringstream in(text);
  RunLinesRead* run = nullptr;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_match(line, m, header)) {
      run = &runs[m[1]];
    } else if (run != nullptr && std::regex_match(line, m, equal)) {
      run->equal.emplace_back(std::stoll(m[1]), std::stoll(m[2]));
    } else if (run != nullptr && std::regex_match(line, m, fixed)) {
      run->fixed[std::stoll(m[1])] = m[2];
    }
  }
  return runs;
}

// Classes of transition parameters made equal by a run's equality lines.
class Classes {
 public:
  explicit Classes(int64_t n) : parent_(static_cast<size_t>(n + 1)) {
    std::iota(parent_.begin(), parent_.end(), int64_t{0});
  }
  int64_t Find(int64_t k) {
    while (parent_[static_cast<size_t>(k)] != k) k = parent_[static_cast<size_t>(k)];
    return k;
  }
  void Join(int64_t a, int64_t b) { parent_[static_cast<size_t>(Find(a))] = Find(b); }

 private:
  std::vector<int64_t> parent_;
};

// Four strata, four periods, two groups: NOMEM makes every previous stratum share one value;
// MEM1 makes every previous stratum other than the next stratum share one, and leaves the
// previous stratum equal to the next one alone. Both fix the last capture probabilities.
TEST(MemoryRunsTest, ConstraintsTieThePreviousStrata) {
  ConversionSettings s;
  s.modset = ModelSet::kMemoryMovement;
  s.nstrata = 4;
  s.nyrs = 4;
  s.nage = 1;
  s.ngroups = 2;
  s.gcodes = "MF" + std::string(24, ' ');
  const MemoryParameters p(s);
  LabelTable lbl(p.npar(), kMemoryLayout.label_width, "LBL");
  OutputFile out("HAPLOVEX.OUT");
  out.OpenMemory();
  WriteMemoryLabels(s, lbl, out);
  WriteMemoryRuns(s, lbl, out);
  std::map<std::string, RunLinesRead> runs = ReadRuns(out.contents());
  ASSERT_EQ(runs.size(), 3u);

  std::map<int64_t, std::string> last_one, last_half;
  for (int64_t g = 1; g <= 2; ++g)
    for (int64_t r = 1; r <= 4; ++r) {
      last_one[g * p.B - 4 + r] = "1.0";
      last_half[g * p.B - 4 + r] = "0.5";
    }
  EXPECT_EQ(runs["NOMEM"].fixed, last_one);
  EXPECT_EQ(runs["MEM1"].fixed, last_one);
  EXPECT_EQ(runs["MEM_FULL"].fixed, last_half);
  EXPECT_TRUE(runs["MEM_FULL"].equal.empty());

  for (const char* name : {"NOMEM", "MEM1"}) {
    SCOPED_TRACE(name);
    const bool mem1 = std::string(name) == "MEM1";
    Classes classes(p.npar());
    for (auto [k, ref] : runs[name].equal) {
      EXPECT_GT(k, ref);
      classes.Join(k, ref);
    }
    for (int64_t g = 1; g <= 2; ++g)
      for (int64_t ip = 1; ip <= 2; ++ip)
        for (int64_t r = 1; r <= 4; ++r)
          for (int64_t next = 1; next <= 4; ++next)
            for (int64_t q = 1; q <= 4; ++q)
              for (int64_t q2 = 1; q2 <= 4; ++q2) {
                const bool want_same =
                    !mem1 || q == q2 || (q != next && q2 != next);
                EXPECT_EQ(classes.Find(p.X(g, ip, q, r, next)) == classes.Find(p.X(g, ip, q2, r, next)),
                          want_same)
                    << "g " << g << " block " << ip << " r " << r << " s " << next << " q " << q
                    << " q' " << q2;
              }
  }
}

// Model set 3, and model set 1 with two strata, have no MEM1.
TEST(MemoryRunsTest, NoMem1WithoutThreeStrataOfModelSet1) {
  struct Case {
    int32_t modset, nstrata;
    bool mem1;
  };
  for (const Case& c : std::vector<Case>{{1, 2, false}, {3, 3, false}, {1, 3, true}}) {
    ConversionSettings s;
    s.modset = static_cast<ModelSet>(c.modset);
    s.nstrata = c.nstrata;
    s.nyrs = 3;
    s.nage = 1;
    s.ngroups = 1;
    const MemoryParameters p(s);
    const LabelTable lbl(p.npar(), kMemoryLayout.label_width, "LBL");
    OutputFile out("HAPLOVEX.OUT");
    out.OpenMemory();
    WriteMemoryRuns(s, lbl, out);
    EXPECT_EQ(ReadRuns(out.contents()).count("MEM1"), c.mem1 ? 1u : 0u)
        << "modset " << c.modset << " strata " << c.nstrata;
  }
}

}  // namespace
}  // namespace haplovex
