#include "gof/fit_tests.h"

#include <string>
#include <utility>
#include <vector>

#include "gof/contingency.h"
#include "tabulate/tidy_tables.h"

namespace haplovex::gof {
namespace {

// The releases (or periods) a note is about, as "period 3 stratum 2, period 4 stratum 1".
// The strata are named by their codes (`strata_codes`, a character each; by number where none).
class Places {
 public:
  explicit Places(const std::string& strata_codes) : codes_(strata_codes) {}

  void Add(int occasion, int stratum) {
    if (!list_.empty()) list_ += ", ";
    list_ += "period " + std::to_string(occasion);
    if (stratum > 0) list_ += " stratum " + CodeLabel(codes_, stratum);
  }
  bool empty() const { return list_.empty(); }
  const std::string& list() const { return list_; }

 private:
  const std::string& codes_;
  std::string list_;
};

// A test built a component at a time: each component's figures judged, the places where
// Fisher's p was too far in the tail for the reference computation kept for a note.
class Components {
 public:
  explicit Components(const char* name, const std::string& strata_codes = {}) : far_tail_(strata_codes) {
    result_.name = name;
  }

  void Add(int occasion, int stratum, const Figures& figures, bool far_tail) {
    if (far_tail) far_tail_.Add(occasion, stratum);
    result_.components.push_back(Component{figures, occasion, stratum});
  }
  // `excess`: the first cell's, of a 2x2 table (Component::excess).
  void Add(int occasion, int stratum, const TableTest& test, double excess = 0) {
    Add(occasion, stratum, Judged(test.method, test.statistic, test.df, test.p), test.far_tail);
    if (result_.components.back().tested()) result_.components.back().excess = excess;
  }
  void Note(std::string note) { result_.notes.push_back(std::move(note)); }

  // The test: after the notes so far, the far tail's, then `last_note` (unless empty); and its
  // total.
  TestResult Finish(std::string last_note = {}) {
    if (!far_tail_.empty()) {
      Note(
          "Fisher's p-value was too small for R2ucare and U-CARE, which give an infinite statistic, at " +
          far_tail_.list() +
          "; the statistic given is the finite chi-square value of that p-value (of the smallest "
          "p-value that can be held, where it is smaller still).");
    }
    if (!last_note.empty()) Note(std::move(last_note));
    SumComponents(&result_);
    return std::move(result_);
  }

 private:
  TestResult result_;
  Places far_tail_;
};

// The basic table T(i, l) of one release (fit_tables.h), and the tables the multi-state tests
// take from it. Rows: 0 first caught at i, r last caught before i in stratum r.
class Release {
 public:
  Release(const FitTables& tables, int period, int stratum)
      : tables_(tables),
        i_(period),
        l_(stratum),
        a_(tables.strata()),
        never_(tables.Columns(period) - 1) {}

  int period() const { return i_; }
  int stratum() const { return l_; }

  // First caught at i or caught before, by caught again or not.
  CountTable SeenAgain() const {
    CountTable table(2, 2);
    for (int r = 0; r <= a_; ++r) {
      for (int c = 0; c < never_; ++c) table.at(r == 0 ? 0 : 1, 0) += T(r, c);
      table.at(r == 0 ? 0 : 1, 1) += T(r, never_);
    }
    return table;
  }
  // First caught at i against caught before, by period and stratum of the next capture.
  CountTable ByNextCapture() const {
    CountTable table(2, never_);
    for (int c = 0; c < never_; ++c) {
      table.at(0, c) = T(0, c);
      for (int r = 1; r <= a_; ++r) table.at(1, c) += T(r, c);
    }
    return table;
  }
  // Caught before, by stratum before and caught again or not.
  CountTable AgainByStratumBefore() const {
    CountTable table(a_, 2);
    for (int r = 1; r <= a_; ++r) {
      for (int c = 0; c < never_; ++c) table.at(r - 1, 0) += T(r, c);
      table.at(r - 1, 1) = T(r, never_);
    }
    return table;
  }
  // Caught before and next caught in stratum s, by stratum before and period of that capture.
  CountTable WhenNextIn(int s) const {
    const int later = never_ / a_;  // periods after i
    CountTable table(a_, later);
    for (int r = 1; r <= a_; ++r) {
      for (int d = 0; d < later; ++d) table.at(r - 1, d) = T(r, d * a_ + s - 1);
    }
    return table;
  }
  // Caught before and again, by stratum before and stratum of the next capture.
  CountTable WhereBeforeWhereAfter() const {
    CountTable table(a_, a_);
    for (int r = 1; r <= a_; ++r) {
      for (int c = 0; c < never_; ++c) table.at(r - 1, c % a_) += T(r, c);
    }
    return table;
  }

 private:
  int64_t T(int row, int column) const { return tables_.T(i_, l_, row, column); }

  const FitTables& tables_;
  int i_, l_, a_, never_;
};

// test(release) for each release tested, period 2..periods-1 in order, then stratum.
template <typename Test>
void EachRelease(const FitTables& tables, Test test) {
  for (int i = 2; i <= tables.periods() - 1; ++i) {
    for (int l = 1; l <= tables.strata(); ++l) test(Release(tables, i, l));
  }
}

// The note of the multi-state tests where the records use fewer strata than declared.
std::string DeclaredStrataNote(const FitTables& tables) {
  const int a = tables.strata();
  const int seen = tables.largest_stratum_seen();
  if (seen == 0 || seen >= a) return {};
  return std::to_string(a) + " strata were declared and the records use strata up to " +
         std::to_string(seen) + " only: the tables have all " + std::to_string(a) +
         " (R2ucare and U-CARE take the largest stratum seen).";
}

// The sum of the sub-tables of a 3G.Sm component.
struct SubTables {
  double statistic = 0;
  int df = 0;
  // Of the last sub-table tested, as the reference computation labels the component.
  Method method = Method::kNone;
  bool far_tail = false;
  bool one_line = false;  // a sub-table of one row or column was left out

  void Add(const CountTable& sub) {
    if (sub.rows() < 2 || sub.columns() < 2) {
      // Tables of fewer than 4 cells are left out by the reference computation too.
      one_line = one_line || sub.rows() * sub.columns() >= 4;
      return;
    }
    const TableTest test = TestPooledTable(PoolCategories(sub));
    statistic += test.statistic;
    df += test.df;
    method = test.method;
    far_tail = far_tail || test.far_tail;
  }
};

// f(row, column, count) for each count of the releases at period j, the strata pooled: row 0
// caught before j, row 1 first caught at j; the columns those of T (the last: never caught
// again).
template <typename F>
void EachPooledCount(const FitTables& tables, int j, F f) {
  for (int l = 1; l <= tables.strata(); ++l) {
    for (int r = 0; r <= tables.strata(); ++r) {
      for (int c = 0; c < tables.Columns(j); ++c) f(r == 0 ? 1 : 0, c, tables.T(j, l, r, c));
    }
  }
}

// The single-state m-array (strata pooled): m[t][t2], animals released at t next caught at t2,
// summed from the tables of the releases (without the multi-state m-array, which would take
// (periods x strata)^2 counts).
std::vector<std::vector<int64_t>> PooledMArray(const FitTables& tables) {
  const int k = tables.periods();
  const int a = tables.strata();
  std::vector<std::vector<int64_t>> m(k + 1, std::vector<int64_t>(k + 1, 0));
  for (int t = 1; t <= k - 1; ++t) {
    for (int s = 1; s <= a; ++s) {
      for (int row = 0; row <= a; ++row) {
        for (int c = 0; c < tables.Columns(t) - 1; ++c) {
          m[t][t + 1 + c / a] += tables.T(t, s, row, c);
        }
      }
    }
  }
  return m;
}

// The two rows of the trap-dependence tests at period i, for a next capture at t2 > i: released
// before i and next caught at t2, released at i and next caught at t2.
struct TrapRows {
  int64_t before = 0, at = 0;
};
TrapRows NextCaughtAt(const std::vector<std::vector<int64_t>>& m, int i, int t2) {
  TrapRows rows{0, m[i][t2]};
  for (int t = 1; t < i; ++t) rows.before += m[t][t2];
  return rows;
}

// 2.CT's table at period i: columns next caught at i+1, later.
CountTable NextOrLater(const std::vector<std::vector<int64_t>>& m, int i) {
  CountTable table(2, 2);
  for (int t2 = i + 1; t2 < static_cast<int>(m.size()); ++t2) {
    const TrapRows rows = NextCaughtAt(m, i, t2);
    table.at(0, t2 == i + 1 ? 0 : 1) += rows.before;
    table.at(1, t2 == i + 1 ? 0 : 1) += rows.at;
  }
  return table;
}

// 2.CL's table at period i: columns next caught at each of i+2..k.
CountTable EachLaterPeriod(const std::vector<std::vector<int64_t>>& m, int i) {
  const int k = static_cast<int>(m.size()) - 1;
  CountTable table(2, k - i - 1);
  for (int t2 = i + 2; t2 <= k; ++t2) {
    const TrapRows rows = NextCaughtAt(m, i, t2);
    table.at(0, t2 - i - 2) = rows.before;
    table.at(1, t2 - i - 2) = rows.at;
  }
  return table;
}

// A test of trap-dependence: at each period i from 2 to periods - last_from_end, the table
// `table_at`(m, i) from the single-state m-array, tested by `test_of`; `with_excess`: each
// component keeps its first cell's excess (a 2x2 table).
template <typename TableAt, typename TestOf>
TestResult TrapDependence(const char* name, const FitTables& tables, int last_from_end,
                          TableAt table_at, TestOf test_of, bool with_excess) {
  Components test(name);
  const std::vector<std::vector<int64_t>> m = PooledMArray(tables);
  for (int i = 2; i <= tables.periods() - last_from_end; ++i) {
    const CountTable table = table_at(m, i);
    test.Add(i, 0, test_of(table), with_excess ? table.FirstCellExcess() : 0.0);
  }
  return test.Finish();
}

}  // namespace

TestResult Test3GSR(const FitTables& tables, const std::string& strata_codes) {
  Components test("3G.SR", strata_codes);
  Places nothing_to_compare(strata_codes);
  EachRelease(tables, [&](const Release& release) {
    const CountTable seen_again = release.SeenAgain();
    const TableTest outcome = TestTwoByTwo(seen_again);
    if (outcome.method == Method::kNone && seen_again.Total() > 0) {
      nothing_to_compare.Add(release.period(), release.stratum());
    }
    test.Add(release.period(), release.stratum(), outcome, seen_again.FirstCellExcess());
  });
  if (!nothing_to_compare.empty()) {
    test.Note(
        "Not tested, as nothing is left to compare (no animal first caught there, none caught "
        "before, none caught again or all caught again): " +
        nothing_to_compare.list() +
        ". R2ucare and U-CARE count such a table as a statistic of 0 on 1 df; here it is not tested.");
  }
  return test.Finish(DeclaredStrataNote(tables));
}

TestResult Test3GSm(const FitTables& tables, const std::string& strata_codes) {
  Components test("3G.Sm", strata_codes);
  Places one_line(strata_codes);
  EachRelease(tables, [&](const Release& release) {
    SubTables parts;
    parts.Add(release.ByNextCapture());
    if (tables.strata() > 1) {
      parts.Add(release.AgainByStratumBefore());
      for (int s = 1; s <= tables.strata(); ++s) parts.Add(release.WhenNextIn(s));
    }
    if (parts.one_line) one_line.Add(release.period(), release.stratum());
    test.Add(release.period(), release.stratum(),
             ChiSquareJudged(parts.method, parts.statistic, parts.df), parts.far_tail);
  });
  if (!one_line.empty()) {
    test.Note(
        "The tables of animals caught before, by stratum before and period of the next capture in "
        "each stratum, have a single column when only one period follows, and are not tested, "
        "at " +
        one_line.list() + " (R2ucare and U-CARE fail on them).");
  }
  return test.Finish(DeclaredStrataNote(tables));
}

TestResult TestWBWA(const FitTables& tables, const std::string& strata_codes) {
  Components test("WBWA", strata_codes);
  EachRelease(tables, [&](const Release& release) {
    // With one stratum there is no stratum before to compare.
    const TableTest memory = tables.strata() > 1
                                 ? TestPooledTable(PoolCategories(release.WhereBeforeWhereAfter()))
                                 : TableTest{};
    test.Add(release.period(), release.stratum(), memory);
  });
  return test.Finish(DeclaredStrataNote(tables));
}

TestResult Test3SR(const FitTables& tables, const std::string&) {
  Components test("3.SR");
  for (int j = 2; j <= tables.periods() - 1; ++j) {
    const int never = tables.Columns(j) - 1;
    CountTable seen_again(2, 2);
    EachPooledCount(
        tables, j, [&](int row, int c, int64_t n) { seen_again.at(row, c == never ? 1 : 0) += n; });
    test.Add(j, 0, TestTwoByTwo(seen_again), seen_again.FirstCellExcess());
  }
  return test.Finish();
}

TestResult Test3SM(const FitTables& tables, const std::string&) {
  Components test("3.SM");
  const int k = tables.periods();
  for (int j = 2; j <= k - 1; ++j) {
    const int never = tables.Columns(j) - 1;
    CountTable by_next(2, k - j);
    EachPooledCount(tables, j, [&](int row, int c, int64_t n) {
      if (c < never) by_next.at(row, c / tables.strata()) += n;
    });
    test.Add(j, 0, TestTwoByC(PoolTwoByC(by_next)));
  }
  return test.Finish();
}

TestResult Test2CT(const FitTables& tables, const std::string&) {
  return TrapDependence("2.CT", tables, 2, NextOrLater,
                        [](const CountTable& t) { return TestTwoByTwo(t); }, true);
}

TestResult Test2CL(const FitTables& tables, const std::string&) {
  return TrapDependence("2.CL", tables, 3, EachLaterPeriod,
                        [](const CountTable& t) { return TestTwoByC(PoolTwoByC(t)); }, false);
}

}  // namespace haplovex::gof
