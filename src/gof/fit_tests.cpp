#include "gof/fit_tests.h"

#include <string>

#include "gof/contingency.h"
#include "gof/distributions.h"

namespace haplovex::gof {
namespace {

// The releases (or periods) a note is about, as "period 3 stratum 2, period 4 stratum 1".
class Places {
 public:
  void Add(int occasion, int stratum) {
    if (!list_.empty()) list_ += ", ";
    list_ += "period " + std::to_string(occasion);
    if (stratum > 0) list_ += " stratum " + std::to_string(stratum);
  }
  bool empty() const { return list_.empty(); }
  const std::string& list() const { return list_; }

 private:
  std::string list_;
};

// A component tested as `test`; with no degree of freedom it is not tested.
Component ComponentOf(int occasion, int stratum, const TableTest& test) {
  Component component;
  component.occasion = occasion;
  component.stratum = stratum;
  if (test.df > 0) {
    component.statistic = test.statistic;
    component.df = test.df;
    component.p = test.p;
    component.method = test.method;
  }
  return component;
}

void NoteFarTail(const Places& places, TestResult* test) {
  if (places.empty()) return;
  test->notes.push_back(
      "Fisher's p-value was too small for the reference computation, which gives an infinite "
      "statistic, at " +
      places.list() +
      "; the statistic given is the finite chi-square value of that p-value (of the smallest "
      "p-value that can be held, where it is smaller still).");
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
        for (int c = 0; c < tables.Columns(t) - 1; ++c) m[t][t + 1 + c / a] += tables.T(t, s, row, c);
      }
    }
  }
  return m;
}

}  // namespace

void SumComponents(TestResult* test) {
  test->statistic = 0;
  test->df = 0;
  for (const Component& component : test->components) {
    test->statistic += component.statistic;
    test->df += component.df;
  }
  test->p = test->df > 0 ? ChiSquareUpper(test->statistic, test->df) : 1.0;
}

std::vector<TestResult> MultiStateTests(const FitTables& tables) {
  const int k = tables.periods();
  const int a = tables.strata();
  TestResult sr;
  sr.name = "3G.SR";
  TestResult sm;
  sm.name = "3G.Sm";
  TestResult wbwa;
  wbwa.name = "WBWA";
  Places sr_empty_line, sr_far, sm_one_line, sm_far, wbwa_far;

  for (int i = 2; i <= k - 1; ++i) {
    const int never = tables.Columns(i) - 1;
    const int later = k - i;  // periods of a next capture
    for (int l = 1; l <= a; ++l) {
      const auto t = [&](int row, int column) { return tables.T(i, l, row, column); };

      // 3G.SR: first caught at i or caught before, by caught again or not.
      CountTable transience(2, 2);
      for (int r = 0; r <= a; ++r) {
        for (int c = 0; c < never; ++c) transience.at(r == 0 ? 0 : 1, 0) += t(r, c);
        transience.at(r == 0 ? 0 : 1, 1) += t(r, never);
      }
      const TableTest sr_test = TestTwoByTwo(transience);
      if (sr_test.method == Method::kNone && transience.Total() > 0) sr_empty_line.Add(i, l);
      if (sr_test.far_tail) sr_far.Add(i, l);
      sr.components.push_back(ComponentOf(i, l, sr_test));

      // 3G.Sm: (a) first caught at i against caught before, by period and stratum of the
      // next capture; (b) caught before, by stratum before and caught again or not; (c) for
      // each stratum of the next capture, caught before by stratum before and period next.
      SubTables parts;
      CountTable by_next(2, never);
      for (int c = 0; c < never; ++c) {
        by_next.at(0, c) = t(0, c);
        for (int r = 1; r <= a; ++r) by_next.at(1, c) += t(r, c);
      }
      parts.Add(by_next);
      if (a > 1) {
        CountTable again(a, 2);
        for (int r = 1; r <= a; ++r) {
          for (int c = 0; c < never; ++c) again.at(r - 1, 0) += t(r, c);
          again.at(r - 1, 1) = t(r, never);
        }
        parts.Add(again);
        for (int s = 1; s <= a; ++s) {
          CountTable when(a, later);
          for (int r = 1; r <= a; ++r) {
            for (int d = 0; d < later; ++d) when.at(r - 1, d) = t(r, d * a + s - 1);
          }
          parts.Add(when);
        }
      }
      const TableTest sum{.method = parts.method,
                          .statistic = parts.statistic,
                          .df = parts.df,
                          .p = parts.df > 0 ? ChiSquareUpper(parts.statistic, parts.df) : 1.0,
                          .far_tail = parts.far_tail};
      if (parts.one_line) sm_one_line.Add(i, l);
      if (parts.far_tail) sm_far.Add(i, l);
      sm.components.push_back(ComponentOf(i, l, sum));

      // WBWA: caught before, by stratum before and stratum of the next capture.
      TableTest memory;
      if (a > 1) {
        CountTable where(a, a);
        for (int r = 1; r <= a; ++r) {
          for (int c = 0; c < never; ++c) where.at(r - 1, c % a) += t(r, c);
        }
        memory = TestPooledTable(PoolCategories(where));
      }
      if (memory.far_tail) wbwa_far.Add(i, l);
      wbwa.components.push_back(ComponentOf(i, l, memory));
    }
  }

  if (!sr_empty_line.empty()) {
    sr.notes.push_back(
        "Not tested, as nothing is left to compare (no animal first caught there, none caught "
        "before, none caught again or all caught again): " +
        sr_empty_line.list() +
        ". The reference computation counts each as a test of statistic 0 on 1 degree of "
        "freedom.");
  }
  if (!sm_one_line.empty()) {
    sm.notes.push_back(
        "The tables of animals caught before, by stratum before and period of the next capture "
        "in each stratum, have a single column when only one period follows, and are not "
        "tested, at " +
        sm_one_line.list() + " (the reference computation fails on them).");
  }
  NoteFarTail(sr_far, &sr);
  NoteFarTail(sm_far, &sm);
  NoteFarTail(wbwa_far, &wbwa);
  const int seen = tables.largest_stratum_seen();
  std::vector<TestResult> tests{std::move(sr), std::move(sm), std::move(wbwa)};
  for (TestResult& test : tests) {
    if (seen > 0 && seen < a) {
      test.notes.push_back(std::to_string(a) + " strata were declared and the records use strata " +
                           "up to " + std::to_string(seen) + " only: the tables have all " +
                           std::to_string(a) +
                           " (the reference computation takes the largest stratum seen).");
    }
    SumComponents(&test);
  }
  return tests;
}

std::vector<TestResult> SingleStateTests(const FitTables& tables) {
  const int k = tables.periods();
  const int a = tables.strata();
  TestResult sr;
  sr.name = "3.SR";
  TestResult sm;
  sm.name = "3.SM";
  TestResult ct;
  ct.name = "2.CT";
  TestResult cl;
  cl.name = "2.CL";
  Places sr_far, sm_far, ct_far, cl_far;

  for (int j = 2; j <= k - 1; ++j) {
    const int never = tables.Columns(j) - 1;
    // Rows: caught before j, first caught at j.
    CountTable transience(2, 2);
    CountTable by_next(2, k - j);
    for (int l = 1; l <= a; ++l) {
      for (int r = 0; r <= a; ++r) {
        const int row = r == 0 ? 1 : 0;
        for (int c = 0; c < never; ++c) {
          transience.at(row, 0) += tables.T(j, l, r, c);
          by_next.at(row, c / a) += tables.T(j, l, r, c);
        }
        transience.at(row, 1) += tables.T(j, l, r, never);
      }
    }
    const TableTest sr_test = TestTwoByTwo(transience);
    if (sr_test.far_tail) sr_far.Add(j, 0);
    sr.components.push_back(ComponentOf(j, 0, sr_test));
    const TableTest sm_test = TestTwoByC(PoolTwoByC(by_next));
    if (sm_test.far_tail) sm_far.Add(j, 0);
    sm.components.push_back(ComponentOf(j, 0, sm_test));
  }

  const std::vector<std::vector<int64_t>> m = PooledMArray(tables);
  for (int i = 2; i <= k - 2; ++i) {
    // Rows: released before i and next caught after i, released at i; columns: next caught
    // at i+1, later (2.CT); next caught at each of i+2..k (2.CL).
    CountTable trap(2, 2);
    CountTable later(2, k - i - 1);
    for (int t2 = i + 1; t2 <= k; ++t2) {
      int64_t before = 0;
      for (int t = 1; t < i; ++t) before += m[t][t2];
      trap.at(0, t2 == i + 1 ? 0 : 1) += before;
      trap.at(1, t2 == i + 1 ? 0 : 1) += m[i][t2];
      if (t2 > i + 1) {
        later.at(0, t2 - i - 2) = before;
        later.at(1, t2 - i - 2) = m[i][t2];
      }
    }
    const TableTest ct_test = TestTwoByTwo(trap);
    if (ct_test.far_tail) ct_far.Add(i, 0);
    ct.components.push_back(ComponentOf(i, 0, ct_test));
    if (i <= k - 3) {
      const TableTest cl_test = TestTwoByC(PoolTwoByC(later));
      if (cl_test.far_tail) cl_far.Add(i, 0);
      cl.components.push_back(ComponentOf(i, 0, cl_test));
    }
  }

  NoteFarTail(sr_far, &sr);
  NoteFarTail(sm_far, &sm);
  NoteFarTail(ct_far, &ct);
  NoteFarTail(cl_far, &cl);
  std::vector<TestResult> tests{std::move(sr), std::move(sm), std::move(ct), std::move(cl)};
  for (TestResult& test : tests) SumComponents(&test);
  return tests;
}

}  // namespace haplovex::gof
