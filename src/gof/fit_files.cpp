#include "gof/fit_files.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>
#include <thread>
#include <utility>
#include <cstdio>

#include "common/format.h"
#include "gof/distributions.h"
#include "gof/fit_tests.h"
#include "gof/side_by_side.h"
#include "gof/test_m.h"
#include "tabulate/tidy_tables.h"

namespace haplovex::gof {

namespace {

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A statistic as the tables give it: six decimals, unrounded before.
std::string Statistic(double value) { return Printed("%.6f", value); }
// A probability: six significant digits.
std::string Probability(double p) { return Printed("%.6g", p); }

bool Tested(const Component& c) { return c.method != Method::kNone && c.df > 0; }

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string Right(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// A total's line: name, statistic, df, p.
std::string TotalLine(const TestResult& test) {
  return "  " + Padded(test.name, 8) + Right(Printed("%.3f", test.statistic), 12) +
         Right(std::to_string(test.df), 6) +
         Right(test.df > 0 ? Printed("%.4f", test.p) : std::string("-"), 10);
}

void WriteComponents(const TestResult& test, OutputFile& file) {
  for (const Component& c : test.components) {
    std::string line = "  " + Padded(test.name, 8) + Right(std::to_string(c.occasion), 7) +
                       Right(c.stratum > 0 ? std::to_string(c.stratum) : std::string("-"), 8);
    if (Tested(c)) {
      line += Right(Printed("%.4f", c.statistic), 12) + Right(std::to_string(c.df), 6) +
              Right(Printed("%.4f", c.p), 10) + "  " + MethodName(c.method);
    } else {
      line += Right("-", 12) + Right("0", 6) + Right("-", 10) + "  not tested";
    }
    file.WriteLine(line);
  }
}

void CsvTotal(const std::string& group, const TestResult& test, OutputFile& file) {
  CsvRow row;
  row.Text(group).Text(test.name).Empty().Empty().Text(Statistic(test.statistic)).Number(test.df);
  if (test.df > 0) {
    row.Text(Probability(test.p)).Text(MethodName(Method::kChiSquare));
  } else {
    row.Empty().Text(MethodName(Method::kNone));
  }
  row.WriteTo(file);
}

void CsvTest(const std::string& group, const TestResult& test, OutputFile& file) {
  for (const Component& c : test.components) {
    CsvRow row;
    row.Text(group).Text(test.name).Number(c.occasion);
    if (c.stratum > 0) {
      row.Number(c.stratum);
    } else {
      row.Empty();
    }
    if (Tested(c)) {
      row.Text(Statistic(c.statistic)).Number(c.df).Text(Probability(c.p)).Text(MethodName(c.method));
    } else {
      row.Text(Statistic(0)).Number(0).Empty().Text(MethodName(Method::kNone));
    }
    row.WriteTo(file);
  }
  CsvTotal(group, test, file);
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
    return {__builtin_mul_overflow(x.n, y.n, &product) ? std::numeric_limits<uint64_t>::max() : product};
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

uint64_t FitPeakBytes(int periods, int strata, int groups, int threads) {
  const int64_t k = periods;
  const int64_t a = strata;
  const Bytes g = Of(groups);
  const Bytes t = Of(std::max(threads, 1));
  // A group's tables: their counts and the places of their rows, in three blocks.
  const Bytes tables =
      Bytes{FitTables::BytesFor(periods, strata)} + Of(sizeof(FitTables)) + Of(3) * Block(Of(0), 1);
  const Bytes reading = g * (t + Of(1)) * tables;

  // A group's results, kept until the tests are written. A component is held in a vector that
  // may have grown to twice its size, and named in at most two notes of its test (in 24
  // characters, in strings that may have grown to twice their length); each period of the
  // mixture tests may have a note of its own, naming up to every stratum.
  const int64_t releases = std::max<int64_t>(k - 2, 0);
  const int64_t itec = std::max<int64_t>(k - 3, 0);
  const int64_t ltec = std::max<int64_t>(k - 4, 0);
  const int64_t components = 3 * a * releases + 2 * releases + 2 * (itec + ltec);
  const Bytes results = Of(components) * Of(2 * sizeof(Component) + 2 * 2 * 24) +
                        Of(itec + ltec) * Of(2 * (256 + 4 * a) + 2 * sizeof(std::string)) +
                        Of(9) * Of(1024);  // each test's name, vectors and notes of one line
  // The tables of a group's mixture tests, kept from when they are made until all are fitted,
  // with the room they were made with (pooling takes lines out, not room): M.ITEC 2 x strata
  // columns at periods 2..k-2, M.LTEC strata x (k - i - 1) columns at periods i = 2..k-3; and
  // which table each fit is and its statistic.
  Bytes mixture_tables = Of(2) * Block(Of(2 * k), sizeof(MixtureTable) + sizeof(size_t)) +
                         Of(2 * k) * Of(4 * sizeof(void*) + sizeof(double));
  for (int64_t i = 2; i <= k - 2; ++i) mixture_tables = mixture_tables + MixtureTableBytes(a, 2 * a);
  for (int64_t i = 2; i <= k - 3; ++i) mixture_tables = mixture_tables + MixtureTableBytes(a, a * (k - i - 1));

  // What one thread works on at once, the largest of:
  const int64_t widest = std::max(2 * a, a * std::max<int64_t>(k - 3, 1));  // a mixture table's columns
  // a group's multi-state m-array, of (periods x strata)^2 counts, and a mixture table made and
  // pooled from it;
  const Bytes making = Block(Of(k * a) * Of(k * a), sizeof(int64_t)) + Block(Of(k * a), sizeof(int64_t)) +
                       MixtureTableBytes(a, widest) + Block(Of(2 * a), sizeof(int64_t)) +
                       Block(Of(widest), sizeof(int64_t));
  // the widest table of the multi-state tests (2 x strata x (periods - 2)), a copy of it pooled
  // and its totals;
  const Bytes multi = Of(5) * Block(Of(a * k), sizeof(int64_t));
  // the single-state m-array, (periods + 1)^2 counts, and its tables;
  const Bytes single = Of(k + 1) * Block(Of(k + 1), sizeof(int64_t)) + Block(Of(k + 1), sizeof(std::vector<int64_t>)) +
                       Of(5) * Block(Of(k), sizeof(int64_t));
  // a fit: the counts of its table (in vectors that may have grown to twice their size), one
  // run from one start (where it stands, its step, the start, and the three of the round's
  // scratch), the height each start reached, and the fitted values.
  const Bytes parameters = Of(a * widest + a * a);
  const Bytes fit = Of(2) * Block(Of(2 * a * widest), sizeof(double)) + Of(2) * Block(Of(2 * a), sizeof(double)) +
                    Block(Of(widest), sizeof(double)) + Of(6) * Block(parameters, sizeof(double)) +
                    Block(Of(DefaultRandomStarts(static_cast<size_t>(a)) + 1), sizeof(double)) +
                    Of(3 * a) * Block(Of(widest), sizeof(double)) + Of(a) * Block(Of(a), sizeof(double)) +
                    Of(4) * Block(Of(a), sizeof(std::vector<double>));
  const Bytes work = {std::max({making.n, multi.n, single.n, fit.n})};

  // The results of every group, and those of one gathered again for HAPLOVEX.GOF.
  const Bytes testing = g * (tables + results + mixture_tables) + results + t * work;
  return std::max(reading.n, testing.n);
}

TestResult SumOfTests(const std::string& name, const std::vector<TestResult>& tests) {
  TestResult sum;
  sum.name = name;
  for (const TestResult& test : tests) {
    sum.statistic += test.statistic;
    sum.df += test.df;
  }
  sum.p = sum.df > 0 ? ChiSquareUpper(sum.statistic, sum.df) : 1.0;
  return sum;
}

std::vector<std::pair<std::string, std::string>> SharedNotes(const GroupFit& g) {
  std::vector<std::pair<std::string, std::string>> notes;
  for (const std::vector<TestResult>* tests : {&g.multi, &g.single}) {
    for (const TestResult& t : *tests) {
      for (const std::string& note : t.notes) {
        auto same = std::find_if(notes.begin(), notes.end(), [&](const auto& n) { return n.second == note; });
        if (same == notes.end()) {
          notes.emplace_back(t.name, note);
        } else {
          same->first += ", " + t.name;
        }
      }
    }
  }
  return notes;
}

std::vector<GroupFit> TestGroups(const std::vector<const FitTables*>& tables,
                                 const std::vector<std::string>& labels, int threads) {
  // First the tests of each group and the tables of its mixture tests, a group's three pieces
  // side by side with those of the others; then the mixture fits of all of them.
  std::vector<GroupFit> groups(tables.size());
  std::vector<TestMTables> mixtures(2 * tables.size());
  SideBySide(3 * tables.size(), threads, [&](size_t task) {
    const size_t g = task / 3;
    switch (task % 3) {
      case 0:
        groups[g].multi = MultiStateTests(*tables[g]);
        break;
      case 1:
        groups[g].single = SingleStateTests(*tables[g]);
        break;
      default: {
        const MultiStateMArray m = tables[g]->marray();
        mixtures[2 * g] = PrepareTestM(m, true);
        mixtures[2 * g + 1] = PrepareTestM(m, false);
      }
    }
  });
  std::vector<TestResult> fitted = FitTestsM(std::move(mixtures), threads);
  for (size_t g = 0; g < tables.size(); ++g) {
    groups[g].group = labels[g];
    groups[g].multi.push_back(std::move(fitted[2 * g]));
    groups[g].multi.push_back(std::move(fitted[2 * g + 1]));
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
  return overall.df > 0 ? overall.statistic / overall.df : 0.0;
}

std::string CHatReading(double c_hat) {
  if (c_hat < 1.5) return "fits acceptably";
  if (c_hat <= 3.0) return "overdispersed: carry c-hat into model selection";
  return "structural lack of fit: look at the components (transience 3G.SR, trap-dependence "
         "M.ITEC, memory WBWA)";
}

const char* MethodName(Method method) {
  switch (method) {
    case Method::kChiSquare:
      return "chi-square";
    case Method::kFisher:
      return "fisher";
    case Method::kNone:
      break;
  }
  return "none";
}

void WriteFitText(const FitSetting& setting, const std::vector<GroupFit>& groups, OutputFile& file) {
  file.WriteLine("HAPLOVEX goodness-of-fit tests");
  file.WriteLine("Title: " + TextAsUtf8(setting.title));
  file.WriteLine(std::to_string(setting.periods) + " periods, " + std::to_string(setting.strata) +
                 (setting.strata == 1 ? " stratum" : " strata") + ", " +
                 std::to_string(groups.size()) + (groups.size() == 1 ? " group" : " groups") +
                 "; the tests of each group are computed on its records as read.");
  if (setting.ages_pooled) {
    file.WriteLine("The age classes were pooled: the tests take all animals of a group together.");
  }
  for (const GroupFit& g : groups) {
    file.WriteLine("");
    file.WriteLine("Group " + g.group);
    const double c_hat = CHat(g.jmv);
    file.WriteLine("  c-hat = " + Printed("%.3f", c_hat) + " (JMV " + Printed("%.3f", g.jmv.statistic) +
                   " on " + std::to_string(g.jmv.df) + " df): " +
                   (g.jmv.df > 0 ? CHatReading(c_hat) : std::string("nothing could be tested")));
    file.WriteLine("");
    file.WriteLine("  Test       statistic    df         p");
    for (const TestResult& t : g.multi) file.WriteLine(TotalLine(t));
    file.WriteLine(TotalLine(g.jmv));
    file.WriteLine("");
    file.WriteLine("  Strata pooled (single-state tests):");
    for (const TestResult& t : g.single) file.WriteLine(TotalLine(t));
    file.WriteLine(TotalLine(g.cjs));
    const double cjs_c_hat = CHat(g.cjs);
    file.WriteLine("  c-hat (CJS) = " + Printed("%.3f", cjs_c_hat));
    const std::vector<std::pair<std::string, std::string>> notes = SharedNotes(g);
    if (!notes.empty()) {
      file.WriteLine("");
      file.WriteLine("  Notes:");
      for (const auto& [tests, note] : notes) file.WriteLine("  " + tests + ": " + note);
    }
    file.WriteLine("");
    file.WriteLine("  Components");
    file.WriteLine("  Test       period stratum  statistic    df         p  method");
    for (const TestResult& t : g.multi) WriteComponents(t, file);
    for (const TestResult& t : g.single) WriteComponents(t, file);
  }
}

void WriteFitCsv(const std::vector<GroupFit>& groups, OutputFile& file) {
  CsvRow header;
  for (const char* name : {"group", "test", "occasion", "stratum", "statistic", "df", "p", "method"}) {
    header.Text(name);
  }
  header.WriteTo(file);
  for (const GroupFit& g : groups) {
    for (const TestResult& t : g.multi) CsvTest(g.group, t, file);
    CsvTotal(g.group, g.jmv, file);
    for (const TestResult& t : g.single) CsvTest(g.group, t, file);
    CsvTotal(g.group, g.cjs, file);
  }
}

}  // namespace haplovex::gof
