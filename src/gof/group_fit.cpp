#include "gof/group_fit.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

#include "common/format.h"
#include "gof/fit_tests.h"
#include "gof/side_by_side.h"
#include "gof/test_m.h"

namespace haplovex::gof {
namespace {

// A group's tasks before the fits: each test of its tables, then the tables of its Test M
// (both variants, from one m-array).
constexpr size_t kMultiStateTasks = std::size(kMultiStateTableTests);
constexpr size_t kSingleStateTasks = std::size(kSingleStateTests);
constexpr size_t kTasksPerGroup = kMultiStateTasks + kSingleStateTasks + 1;
constexpr TestMKind kTestsM[] = {TestMKind::kItec, TestMKind::kLtec};

// An overall test on fewer degrees of freedom than this gives a c-hat to take with care.
constexpr int kFewDegrees = 10;

// The name of the sum of the headlines of groups some of which have one stratum and some more.
constexpr const char* kBothOverall = "JMV and CJS";

// Whether the tables hold animals caught in one stratum at most: each stratum a release was
// made in, or an animal was caught in before or after one (a lone capture at the last period
// is in no table, and in no test).
bool OneStratumCaught(const FitTables& tables) {
  const int a = tables.strata();
  std::vector<bool> caught(static_cast<size_t>(a) + 1, false);
  for (int i = 1; i <= tables.periods() - 1; ++i) {
    const int never = tables.Columns(i) - 1;
    for (int l = 1; l <= a; ++l) {
      for (int r = 0; r <= a; ++r) {
        for (int c = 0; c <= never; ++c) {
          if (tables.T(i, l, r, c) == 0) continue;
          caught[static_cast<size_t>(l)] = true;
          caught[static_cast<size_t>(r)] = true;
          if (c < never) caught[static_cast<size_t>(c % a + 1)] = true;
        }
      }
    }
  }
  return std::count(caught.begin() + 1, caught.end(), true) <= 1;
}

// Every table of every Test M fitted side by side, the largest first so that no thread is left
// with a large one at the end; the figures do not depend on the order or the threads. Of each
// fit only its statistic is kept.
std::vector<TestResult> FitTestsM(std::vector<TestMTables> tests, int threads, const FitProgress& progress) {
  struct Fit {
    const MixtureTable* table;
    double* statistic;
    size_t cells;
  };
  std::vector<std::vector<double>> statistics(tests.size());
  std::vector<Fit> all;
  for (size_t t = 0; t < tests.size(); ++t) {
    statistics[t].resize(tests[t].tables.size());
    for (size_t j = 0; j < tests[t].tables.size(); ++j) {
      const MixtureTable& table = tests[t].tables[j];
      all.push_back({&table, &statistics[t][j],
                     (table.mixtures.size() + table.bases.size()) * table.bases[0].size()});
    }
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const Fit& a, const Fit& b) { return a.cells > b.cells; });
  std::mutex telling;
  size_t done = 0;
  SideBySide(all.size(), threads, [&](size_t j) {
    *all[j].statistic = FitMixture(*all[j].table).statistic;
    if (progress) {
      const std::lock_guard<std::mutex> lock(telling);
      progress(++done, all.size());
    }
  });
  std::vector<TestResult> results;
  for (size_t t = 0; t < tests.size(); ++t) {
    results.push_back(FinishTestM(std::move(tests[t]), statistics[t]));
  }
  return results;
}

// A number of bytes that stops at the largest uint64_t rather than wrapping.
struct Bytes {
  uint64_t n = 0;

  friend Bytes operator+(Bytes x, Bytes y) {
    uint64_t sum = 0;
    return {__builtin_add_overflow(x.n, y.n, &sum) ? std::numeric_limits<uint64_t>::max() : sum};
  }
  friend Bytes operator*(Bytes x, Bytes y) {
    uint64_t product = 0;
    return {__builtin_mul_overflow(x.n, y.n, &product) ? std::numeric_limits<uint64_t>::max()
                                                       : product};
  }
};

Bytes Of(int64_t n) { return {n > 0 ? static_cast<uint64_t>(n) : 0}; }

// What a vector of `count` elements of `size` bytes takes: its elements and the heap's own
// bookkeeping of the block.
Bytes Block(Bytes count, size_t size) { return count * Of(static_cast<int64_t>(size)) + Of(32); }

// A table of the mixture tests, `strata` mixture rows and as many base rows of `columns` counts.
Bytes MixtureTableBytes(int64_t strata, int64_t columns) {
  return Of(2 * strata) * Block(Of(columns), sizeof(int64_t)) +
         Of(2) * Block(Of(strata), sizeof(std::vector<int64_t>));
}

}  // namespace

std::vector<GroupFit> TestGroups(const std::vector<const FitTables*>& tables,
                                 const std::vector<std::string>& labels, int threads,
                                 const std::string& strata_codes, const FitProgress& progress) {
  const size_t count = tables.size();
  std::vector<GroupFit> groups(count);
  for (GroupFit& g : groups) {
    g.multi.resize(kMultiStateTasks);
    g.single.resize(kSingleStateTasks);
  }
  std::vector<TestMTables> mixtures(std::size(kTestsM) * count);
  SideBySide(kTasksPerGroup * count, threads, [&](size_t task) {
    const size_t g = task / kTasksPerGroup;
    const size_t k = task % kTasksPerGroup;
    const FitTables& counted = *tables[g];
    if (k < kMultiStateTasks) {
      groups[g].multi[k] = kMultiStateTableTests[k](counted, strata_codes);
    } else if (k < kMultiStateTasks + kSingleStateTasks) {
      groups[g].single[k - kMultiStateTasks] = kSingleStateTests[k - kMultiStateTasks](counted, strata_codes);
    } else {
      const MultiStateMArray m = counted.marray();
      for (size_t v = 0; v < std::size(kTestsM); ++v) {
        mixtures[std::size(kTestsM) * g + v] = PrepareTestM(m, kTestsM[v], strata_codes);
      }
    }
  });
  std::vector<TestResult> fitted = FitTestsM(std::move(mixtures), threads, progress);
  for (size_t g = 0; g < count; ++g) {
    groups[g].group = labels[g];
    groups[g].one_stratum = OneStratumCaught(*tables[g]);
    groups[g].strata_codes = strata_codes;
    for (size_t v = 0; v < std::size(kTestsM); ++v) {
      groups[g].multi.push_back(std::move(fitted[std::size(kTestsM) * g + v]));
    }
    groups[g].jmv = SumOfTests("JMV", groups[g].multi);
    groups[g].cjs = SumOfTests("CJS", groups[g].single);
  }
  return groups;
}

GroupFit TestGroup(const FitTables& tables, std::string label) {
  return TestGroups({&tables}, {std::move(label)},
                    static_cast<int>(std::max(1u, std::thread::hardware_concurrency())))[0];
}

double CHat(const TestResult& overall) {
  return overall.tested() ? overall.statistic / overall.df : 0.0;
}

std::string CHatReading(const TestResult& overall) {
  if (!overall.tested()) return "nothing could be tested";
  const double c_hat = CHat(overall);
  std::string reading;
  if (c_hat < 1) {
    reading = "no sign of overdispersion: use 1";
  } else if (c_hat < 1.5) {
    reading = "fits acceptably";
  } else if (c_hat <= 3.0) {
    reading = "overdispersed: carry c-hat into model selection";
  } else if (overall.name == kBothOverall) {
    reading = "structural lack of fit: look at each group's tests";
  } else if (overall.name.starts_with("JMV")) {
    reading = "structural lack of fit: look at the components (transience 3G.SR, trap-dependence M.ITEC, "
              "memory WBWA)";
  } else {
    reading = "structural lack of fit: look at the components (transience 3.SR, trap-dependence 2.CT)";
  }
  if (overall.df < kFewDegrees) reading += "; rests on few degrees of freedom";
  return reading;
}

std::string CHatLine(const TestResult& overall) {
  return "c-hat " + Decimals(CHat(overall), 3) + " (" + overall.name + " " + Decimals(overall.statistic, 3) +
         " on " + std::to_string(overall.df) + " df): " + CHatReading(overall);
}

const TestResult& HeadlineTest(const GroupFit& g) { return g.one_stratum ? g.cjs : g.jmv; }

std::string HeadlineReading(const GroupFit& g) { return CHatReading(HeadlineTest(g)); }

TestResult AllGroups(const std::vector<GroupFit>& groups) {
  std::vector<TestResult> headlines;
  bool jmv = false;
  bool cjs = false;
  for (const GroupFit& g : groups) {
    headlines.push_back(HeadlineTest(g));
    (g.one_stratum ? cjs : jmv) = true;
  }
  return SumOfTests(jmv && cjs ? kBothOverall : cjs ? "CJS" : "JMV", headlines);
}

namespace {

// A group's results, kept until the tests are written. A component is held in a vector that
// may have grown to twice its size, and named in at most two notes of its test (in 24
// characters, in strings that may have grown to twice their length); each period of the
// mixture tests may have a note of its own, naming up to every stratum.
Bytes ResultBytes(int64_t k, int64_t a) {
  const int64_t releases = std::max<int64_t>(k - 2, 0);
  const int64_t itec = std::max<int64_t>(k - 3, 0);
  const int64_t ltec = std::max<int64_t>(k - 4, 0);
  const int64_t components = 3 * a * releases + 2 * releases + 2 * (itec + ltec);
  return Of(components) * Of(2 * sizeof(Component) + 2 * 2 * 24) +
         Of(itec + ltec) * Of(2 * (256 + 4 * a) + 2 * sizeof(std::string)) +
         Of(9) * Of(1024);  // each test's name, vectors and notes of one line
}

// The tables of a group's mixture tests, kept from when they are made until all are fitted,
// with the room they were made with (pooling takes lines out, not room): M.ITEC 2 x strata
// columns at periods 2..k-2, M.LTEC strata x (k - i - 1) columns at periods i = 2..k-3; and
// which table each fit is and its statistic.
Bytes MixtureTablesBytes(int64_t k, int64_t a) {
  Bytes mixture_tables = Of(2) * Block(Of(2 * k), sizeof(MixtureTable) + sizeof(size_t)) +
                         Of(2 * k) * Of(4 * sizeof(void*) + sizeof(double));
  for (int64_t i = 2; i <= k - 2; ++i) {
    mixture_tables = mixture_tables + MixtureTableBytes(a, 2 * a);
  }
  for (int64_t i = 2; i <= k - 3; ++i) {
    mixture_tables = mixture_tables + MixtureTableBytes(a, a * (k - i - 1));
  }
  return mixture_tables;
}

// What one thread works on at once, the largest of:
Bytes ThreadWorkBytes(int64_t k, int64_t a) {
  const int64_t widest =
      std::max(2 * a, a * std::max<int64_t>(k - 3, 1));  // a mixture table's columns
  // a group's multi-state m-array, of (periods x strata)^2 counts, and a mixture table made and
  // pooled from it;
  const Bytes making = Block(Of(k * a) * Of(k * a), sizeof(int64_t)) +
                       Block(Of(k * a), sizeof(int64_t)) + MixtureTableBytes(a, widest) +
                       Block(Of(2 * a), sizeof(int64_t)) + Block(Of(widest), sizeof(int64_t));
  // the widest table of the multi-state tests (2 x strata x (periods - 2)), a copy of it pooled
  // and its totals;
  const Bytes multi = Of(5) * Block(Of(a * k), sizeof(int64_t));
  // the single-state m-array, (periods + 1)^2 counts, and its tables;
  const Bytes single = Of(k + 1) * Block(Of(k + 1), sizeof(int64_t)) +
                       Block(Of(k + 1), sizeof(std::vector<int64_t>)) +
                       Of(5) * Block(Of(k), sizeof(int64_t));
  // a fit: the counts of its table (in vectors that may have grown to twice their size), one
  // run from one start (where it stands, its step, the start, and the three of the round's
  // scratch), the height each start reached, and the fitted values.
  const Bytes parameters = Of(a * widest + a * a);
  const Bytes fit =
      Of(2) * Block(Of(2 * a * widest), sizeof(double)) + Of(2) * Block(Of(2 * a), sizeof(double)) +
      Block(Of(widest), sizeof(double)) + Of(6) * Block(parameters, sizeof(double)) +
      Block(Of(DefaultRandomStarts(static_cast<size_t>(a)) + 1), sizeof(double)) +
      Of(3 * a) * Block(Of(widest), sizeof(double)) + Of(a) * Block(Of(a), sizeof(double)) +
      Of(4) * Block(Of(a), sizeof(std::vector<double>));
  return {std::max({making.n, multi.n, single.n, fit.n})};
}

}  // namespace

uint64_t FitWork(int periods, int strata) {
  const int64_t k = periods;
  const int64_t a = strata;
  // M.ITEC: 2 x strata columns at periods 2..k-2; M.LTEC: strata x (k - i - 1) at i = 2..k-3.
  Bytes columns{0};
  for (int64_t i = 2; i <= k - 2; ++i) columns = columns + Of(2 * a);
  for (int64_t i = 2; i <= k - 3; ++i) columns = columns + Of(a * (k - i - 1));
  const Bytes starts = Of(DefaultRandomStarts(static_cast<size_t>(std::max<int64_t>(a, 1))) + 1);
  return (starts * Of(a) * Of(a) * columns).n;
}

uint64_t FitPeakBytes(int periods, int strata, int groups, int threads) {
  const int64_t k = periods;
  const int64_t a = strata;
  const Bytes g = Of(groups);
  const Bytes t = Of(std::max(threads, 1));
  // A group's tables: their counts and the places of their rows, in three blocks.
  const Bytes tables =
      Bytes{FitTables::BytesFor(periods, strata)} + Of(sizeof(FitTables)) + Of(3) * Block(Of(0), 1);
  const Bytes reading = g * (t + Of(1)) * tables;
  const Bytes results = ResultBytes(k, a);
  // The results of every group, and those of one gathered again for HAPLOVEX.GOF.
  const Bytes testing =
      g * (tables + results + MixtureTablesBytes(k, a)) + results + t * ThreadWorkBytes(k, a);
  return std::max(reading.n, testing.n);
}

}  // namespace haplovex::gof
