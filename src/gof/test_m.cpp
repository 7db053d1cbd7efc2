#include "gof/test_m.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>

#include "gof/distributions.h"
#include "gof/fit_tests.h"
#include "gof/side_by_side.h"

namespace haplovex::gof {
namespace {

int64_t Total(const std::vector<int64_t>& row) {
  int64_t total = 0;
  for (int64_t v : row) total += v;
  return total;
}

std::string Strata(const std::vector<int>& strata) {
  std::string text;
  for (size_t i = 0; i < strata.size(); ++i) {
    if (i > 0) text += i + 1 == strata.size() ? " and " : ", ";
    text += std::to_string(strata[i]);
  }
  return text;
}

// The counts of a pooled table as the fit reads them: row-major, a row per mixture then a
// row per base.
struct Counts {
  size_t mixtures = 0, bases = 0, columns = 0;
  std::vector<double> m;  // mixtures x columns
  std::vector<double> n;  // bases x columns
  std::vector<double> m_total, n_total;
};

// The parameters of a fit in one vector: each base's probabilities over the columns (pi_j, a
// row each), then each mixture's weights on the bases (gamma_m, a row each).
using Parameters = std::vector<double>;

constexpr double kUnexplained = -std::numeric_limits<double>::infinity();

// The expectation-maximisation step of one table, with the one row of scratch it needs.
class EmStepper {
 public:
  explicit EmStepper(const Counts& k) : k_(k), ratio_(k.columns) {}

  // One step from `theta` into `next`: the animals of each mixture cell are shared among the
  // bases in proportion to gamma_mj pi_jc; the weights become each mixture's shares, and each
  // base's probabilities its own counts plus the shares it received, normalised. Returns the
  // log-likelihood at `theta` where `with_log_likelihood` (else 0), or kUnexplained (and
  // `next` of no use) where `theta` cannot explain a mixture count at all. The logarithms
  // cost as much as the rest of the step: only the steps whose likelihood is compared ask
  // for it.
  double Step(const double* theta, double* next, bool with_log_likelihood) {
    const size_t nb = k_.bases, nc = k_.columns;
    const double* pi = theta;
    const double* gamma = pi + nb * nc;
    double* next_pi = next;
    double* next_gamma = next + nb * nc;
    std::fill(next_pi, next_pi + nb * nc, 0.0);
    double* ratio = ratio_.data();
    double ll = 0;
    for (size_t mi = 0; mi < k_.mixtures; ++mi) {
      const double* g = gamma + mi * nb;
      const double* count = k_.m.data() + mi * nc;
      // The mixture's probability of each column, then count / probability.
      std::fill(ratio, ratio + nc, 0.0);
      for (size_t j = 0; j < nb; ++j) {
        const double gj = g[j];
        const double* pj = pi + j * nc;
        for (size_t c = 0; c < nc; ++c) ratio[c] += gj * pj[c];
      }
      bool unexplained = false;
      for (size_t c = 0; c < nc; ++c) {
        if (count[c] > 0) {
          unexplained |= !(ratio[c] > 0);
          if (with_log_likelihood) ll += count[c] * std::log(ratio[c]);
          ratio[c] = count[c] / ratio[c];
        } else {
          ratio[c] = 0;
        }
      }
      if (unexplained) return kUnexplained;
      // Base j receives gamma_mj pi_jc ratio_c of cell c: its weight is the sum over the
      // columns, and pi_jc times the sum over the mixtures is added to its counts below.
      for (size_t j = 0; j < nb; ++j) {
        const double gj = g[j];
        const double* pj = pi + j * nc;
        double* share = next_pi + j * nc;
        double even = 0, odd = 0;
        size_t c = 0;
        for (; c + 1 < nc; c += 2) {
          even += pj[c] * ratio[c];
          odd += pj[c + 1] * ratio[c + 1];
        }
        if (c < nc) even += pj[c] * ratio[c];
        next_gamma[mi * nb + j] = k_.m_total[mi] > 0 ? gj * (even + odd) / k_.m_total[mi] : gj;
        for (c = 0; c < nc; ++c) share[c] += gj * ratio[c];
      }
    }
    if (with_log_likelihood) {
      for (size_t i = 0; i < nb * nc; ++i) {
        if (k_.n[i] > 0) ll += k_.n[i] * std::log(pi[i]);
      }
    }
    for (size_t j = 0; j < nb; ++j) {
      const double* pj = pi + j * nc;
      const double* own = k_.n.data() + j * nc;
      double* p = next_pi + j * nc;
      double total = 0;
      for (size_t c = 0; c < nc; ++c) {
        p[c] = own[c] + pj[c] * p[c];
        total += p[c];
      }
      if (total > 0) {
        for (size_t c = 0; c < nc; ++c) p[c] /= total;
      } else {
        std::copy(pj, pj + nc, p);
      }
    }
    return ll;
  }

 private:
  const Counts& k_;
  std::vector<double> ratio_;
};

// The run from one starting point, which can be taken up again once it has stopped (to
// settle): `theta` is where it stands, `one` the step from there and `ll` the log-likelihood at
// `theta`, `previous` that of the round before.
struct Run {
  Parameters theta, one;
  double ll = 0, previous = 0;
  int round = 0;
  int calm = 0;       // rounds running whose log-likelihood did not change
  bool done = false;  // at its maximum, or unable to explain a mixture count
};

// How a run is carried on.
enum class Pace {
  // Until the log-likelihood changes by less than 1e-13 of itself from one round to the next.
  kClimb,
  // Then on until it has not changed (by 1e-16 of itself) two rounds running. Along a ridge
  // the likelihood is flat long before the fitted values are settled: runs from different
  // starts that stop at 1e-13 can disagree in the fifth decimal of the statistic, and this
  // brings them within 1e-7 but on the flattest tables (one calm round is not always enough).
  kSettle,
};

// Scratch of the rounds, shared by the runs of one fit.
struct RoundScratch {
  Parameters two, jump, after;
};

// Puts `run` at `start` and takes its first step.
void BeginRun(EmStepper& em, Run& run, const Parameters& start) {
  run.round = 0;
  run.calm = 0;
  run.theta = start;
  run.one.resize(start.size());
  run.ll = em.Step(run.theta.data(), run.one.data(), true);
  run.done = run.ll == kUnexplained;
}

// Carries `run` on at `pace` until it is done. Where two strata
// behave alike the plain steps creep (each gains almost nothing), so each round takes two steps
// and extrapolates along their path as far as their change and the change of that change call
// for (a squared extrapolation), backed off while a probability would turn negative, then takes
// one step from there; the round's end is kept only when that is at least as good as where the
// round began, else the round ends with a third plain step.
void Advance(EmStepper& em, RoundScratch& s, Run& run, Pace pace) {
  constexpr int kMaxRounds = 5000;
  const double change = pace == Pace::kSettle ? 1e-16 : 1e-13;
  const int calm_rounds = pace == Pace::kSettle ? 2 : 1;
  const size_t size = run.theta.size();
  s.two.resize(size);
  s.jump.resize(size);
  s.after.resize(size);
  while (!run.done) {
    if (run.round >= kMaxRounds) {
      run.done = true;
      break;
    }
    const Parameters& theta = run.theta;
    const Parameters& one = run.one;
    em.Step(one.data(), s.two.data(), false);  // explains every count where theta does
    double rr = 0, vv = 0;
    for (size_t i = 0; i < size; ++i) {
      const double r = one[i] - theta[i];
      const double v = s.two[i] - 2 * one[i] + theta[i];
      rr += r * r;
      vv += v * v;
    }
    double alpha = vv > 0 ? -std::sqrt(rr / vv) : -1.0;
    if (alpha > -1) alpha = -1;
    for (;;) {
      bool valid = true;
      for (size_t i = 0; i < size; ++i) {
        const double r = one[i] - theta[i];
        const double v = s.two[i] - 2 * one[i] + theta[i];
        s.jump[i] = theta[i] - 2 * alpha * r + alpha * alpha * v;
        if (s.jump[i] < 0) valid = false;
      }
      if (valid) break;
      if (alpha > -1.01) {
        s.jump = s.two;
        break;
      }
      alpha = (alpha - 1) / 2;
    }
    const double ll_jump = em.Step(s.jump.data(), s.after.data(), true);
    if (ll_jump == kUnexplained || ll_jump < run.ll) {
      em.Step(s.two.data(), s.after.data(), false);
    }
    run.theta.swap(s.after);
    run.previous = run.ll;
    run.ll = em.Step(run.theta.data(), run.one.data(), true);
    ++run.round;
    if (run.ll == kUnexplained) {
      run.done = true;
      break;
    }
    if (std::fabs(run.ll - run.previous) < change * std::fabs(run.ll)) {
      if (++run.calm >= calm_rounds) run.done = true;
    } else {
      run.calm = 0;
    }
  }
}

// The generator of the random starts is seeded alike for every fit.
constexpr std::mt19937::result_type kStartsSeed = 20031205u;

// A uniform draw in (0, 1) from the generator's own 32 bits, the same on every platform.
double Uniform(std::mt19937& random) {
  return (static_cast<double>(random()) + 0.5) / 4294967296.0;
}

// Rows of `width` probabilities drawn at random over [first, last).
void RandomRows(std::mt19937& random, Parameters::iterator first, Parameters::iterator last,
                size_t width) {
  for (auto row = first; row != last; row += static_cast<std::ptrdiff_t>(width)) {
    double total = 0;
    for (size_t i = 0; i < width; ++i)
      total += row[static_cast<std::ptrdiff_t>(i)] = Uniform(random);
    for (size_t i = 0; i < width; ++i) row[static_cast<std::ptrdiff_t>(i)] /= total;
  }
}

}  // namespace

MixtureTable MixtureTableAt(const MultiStateMArray& m, int occasion, bool itec) {
  const int k = m.periods();
  const int a = m.strata();
  const int i = occasion;
  // Column of a next capture at (t2, s2), -1 where the test leaves it out.
  auto column = [&](int t2, int s2) {
    if (itec) return (t2 == i + 1 ? 0 : a) + s2 - 1;
    if (t2 == i + 1) return -1;
    return (t2 - i - 2) * a + s2 - 1;
  };
  const size_t columns = static_cast<size_t>(itec ? 2 * a : a * (k - i - 1));
  MixtureTable table;
  table.mixtures.assign(static_cast<size_t>(a), std::vector<int64_t>(columns, 0));
  table.bases.assign(static_cast<size_t>(a), std::vector<int64_t>(columns, 0));
  for (int t = 1; t <= i; ++t) {
    auto& rows = t < i ? table.mixtures : table.bases;
    for (int s = 1; s <= a; ++s) {
      for (int t2 = i + 1; t2 <= k; ++t2) {
        for (int s2 = 1; s2 <= a; ++s2) {
          const int c = column(t2, s2);
          if (c >= 0)
            rows[static_cast<size_t>(s - 1)][static_cast<size_t>(c)] += m.next(t, s, t2, s2);
        }
      }
    }
  }
  return table;
}

MixtureTable PoolMixtures(MixtureTable table) {
  auto& mixtures = table.mixtures;
  auto& bases = table.bases;
  const size_t nj = bases.size();
  auto row = [&](size_t r) -> std::vector<int64_t>& {
    return r < mixtures.size() ? mixtures[r] : bases[r - mixtures.size()];
  };
  if (mixtures.empty() || bases.empty()) return table;
  // The totals are kept up to date as lines are pooled, so that a step costs rows + columns.
  std::vector<int64_t> row_total(mixtures.size() + nj, 0), column_total(bases[0].size(), 0);
  int64_t grand = 0;
  for (size_t r = 0; r < row_total.size(); ++r) {
    for (size_t c = 0; c < column_total.size(); ++c) {
      row_total[r] += row(r)[c];
      column_total[c] += row(r)[c];
      grand += row(r)[c];
    }
  }
  if (grand == 0) return table;
  const auto expected = [&](size_t r, size_t c) {
    return static_cast<double>(row_total[r]) * static_cast<double>(column_total[c]) /
           static_cast<double>(grand);
  };
  while (!mixtures.empty()) {
    const size_t nm = mixtures.size();
    const size_t nr = nm + nj;
    const size_t nc = column_total.size();
    const bool columns_at_least = nc <= nj + 1;
    const bool rows_at_least = nm <= 1;
    // Once the columns cannot be pooled further, nothing can raise a base's expected counts:
    // they are let be, as if they were 2.
    const auto base_expected = [&](size_t r, size_t c) { return columns_at_least ? 2.0 : expected(r, c); };
    // The cell of smallest expected count, the first in column order on ties: within a column
    // the expected count grows with the row total, so each column's smallest is at the
    // smallest mixture total or, after the mixtures, the smallest base total; and it grows with
    // the column total, so only a column with a smaller total than every one before it can
    // hold a smaller one.
    const size_t fewest_mixture = static_cast<size_t>(
        std::min_element(row_total.begin(), row_total.begin() + static_cast<std::ptrdiff_t>(nm)) - row_total.begin());
    const size_t fewest_base = static_cast<size_t>(
        std::min_element(row_total.begin() + static_cast<std::ptrdiff_t>(nm), row_total.end()) - row_total.begin());
    double smallest = std::numeric_limits<double>::infinity();
    size_t rs = 0, cs = 0;
    int64_t least_column = std::numeric_limits<int64_t>::max();
    for (size_t c = 0; c < nc; ++c) {
      if (column_total[c] >= least_column) continue;
      least_column = column_total[c];
      const double e = std::min(expected(fewest_mixture, c), base_expected(fewest_base, c));
      if (e < smallest) smallest = e, cs = c;
    }
    if (smallest >= 2) break;
    while ((rs < nm ? expected(rs, cs) : base_expected(rs, cs)) != smallest) ++rs;
    bool pool_columns = true;  // a small base cell: only its column can be pooled
    if (rs < nm) {
      pool_columns = static_cast<double>(row_total[rs]) / static_cast<double>(nc) >
                     static_cast<double>(column_total[cs]) / static_cast<double>(nr);
      if (pool_columns && columns_at_least) {
        if (rows_at_least) break;
        pool_columns = false;
      } else if (!pool_columns && rows_at_least) {
        if (columns_at_least) break;
        pool_columns = true;
      }
    }
    if (pool_columns) {
      size_t partner = nc;
      for (size_t c = 0; c < nc; ++c) {
        if (c != cs && (partner == nc || column_total[c] < column_total[partner])) partner = c;
      }
      for (size_t r = 0; r < nr; ++r) {
        auto& cells = row(r);
        cells[cs] += cells[partner];
        cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(partner));
      }
      column_total[cs] += column_total[partner];
      column_total.erase(column_total.begin() + static_cast<std::ptrdiff_t>(partner));
    } else {
      size_t partner = nm;
      for (size_t r = 0; r < nm; ++r) {
        if (r != rs && (partner == nm || row_total[r] < row_total[partner])) partner = r;
      }
      for (size_t c = 0; c < nc; ++c) mixtures[rs][c] += mixtures[partner][c];
      mixtures.erase(mixtures.begin() + static_cast<std::ptrdiff_t>(partner));
      row_total[rs] += row_total[partner];
      row_total.erase(row_total.begin() + static_cast<std::ptrdiff_t>(partner));
    }
  }
  return table;
}

int DefaultRandomStarts(size_t bases) { return std::max(24, 8 * static_cast<int>(bases)); }

MixtureFit FitMixture(const MixtureTable& pooled, int random_starts) {
  Counts k;
  k.mixtures = pooled.mixtures.size();
  k.bases = pooled.bases.size();
  k.columns = k.bases > 0 ? pooled.bases[0].size() : 0;
  for (const auto& r : pooled.mixtures) {
    k.m_total.push_back(static_cast<double>(Total(r)));
    for (int64_t v : r) k.m.push_back(static_cast<double>(v));
  }
  for (const auto& r : pooled.bases) {
    k.n_total.push_back(static_cast<double>(Total(r)));
    for (int64_t v : r) k.n.push_back(static_cast<double>(v));
  }
  EmStepper em(k);
  RoundScratch scratch;

  MixtureFit fit;
  fit.log_likelihood = kUnexplained;
  // First start: each base's own proportions, the mixtures weighing the bases equally; then the
  // random ones, drawn in turn. Every start climbs to its maximum, and the highest is kept, so
  // that a table's figures never depend on how soon a start looked promising. Only the height
  // each start reached is kept: the start kept is climbed again, which gives the same run to the
  // last bit, so that a fit holds one run at a time however many starts it makes.
  const size_t pi_size = k.bases * k.columns;
  Parameters start(pi_size + k.mixtures * k.bases);
  std::mt19937 random;
  // Puts `start` at start r, which follows start r - 1 (r > 0) or is the first.
  const auto start_at = [&](size_t r) {
    if (r == 0) {
      random.seed(kStartsSeed);
      std::fill(start.begin() + static_cast<std::ptrdiff_t>(pi_size), start.end(),
                1.0 / static_cast<double>(k.bases));
      for (size_t j = 0; j < k.bases; ++j) {
        for (size_t c = 0; c < k.columns; ++c) {
          start[j * k.columns + c] = k.n_total[j] > 0 ? k.n[j * k.columns + c] / k.n_total[j] : 0.0;
        }
      }
      return;
    }
    RandomRows(random, start.begin(), start.begin() + static_cast<std::ptrdiff_t>(pi_size), k.columns);
    RandomRows(random, start.begin() + static_cast<std::ptrdiff_t>(pi_size), start.end(), k.bases);
  };
  std::vector<double> reached(static_cast<size_t>(random_starts) + 1);
  Run run;
  for (size_t r = 0; r < reached.size(); ++r) {
    start_at(r);
    BeginRun(em, run, start);
    Advance(em, scratch, run, Pace::kClimb);
    reached[r] = run.ll;
    ++fit.starts_used;
  }
  // The maximum is the highest reached; runs that stopped on it differ in the last digits of
  // their likelihood, and the earliest start among them is taken, so that the same maximum gives
  // the same figures however many starts reached it.
  constexpr double kSameMaximum = 1e-10;
  const double top = *std::max_element(reached.begin(), reached.end());
  size_t best = reached.size();
  for (size_t r = 0; r < reached.size(); ++r) {
    if (reached[r] != kUnexplained && reached[r] >= top - kSameMaximum * std::fabs(top)) {
      best = r;
      break;
    }
  }
  fit.base.assign(k.bases, std::vector<double>(k.columns));
  fit.weights.assign(k.mixtures, std::vector<double>(k.bases));
  fit.expected_bases = fit.base;
  fit.expected_mixtures.assign(k.mixtures, std::vector<double>(k.columns));
  if (best == reached.size()) return fit;  // no start explained every mixture count: not reached
  if (best + 1 != reached.size()) {
    for (size_t r = 0; r <= best; ++r) start_at(r);
    BeginRun(em, run, start);
    Advance(em, scratch, run, Pace::kClimb);
  }
  run.done = false;
  run.calm = 0;
  Advance(em, scratch, run, Pace::kSettle);
  fit.log_likelihood = run.ll;
  const double* best_pi = run.theta.data();
  const double* best_gamma = best_pi + pi_size;
  auto add = [&fit](double observed, double expected) {
    if (observed > 0 && expected >= 0.01) fit.statistic += observed * (observed / expected - 1);
  };
  for (size_t j = 0; j < k.bases; ++j) {
    for (size_t c = 0; c < k.columns; ++c) {
      fit.base[j][c] = best_pi[j * k.columns + c];
      fit.expected_bases[j][c] = k.n_total[j] * fit.base[j][c];
      add(k.n[j * k.columns + c], fit.expected_bases[j][c]);
    }
  }
  for (size_t mi = 0; mi < k.mixtures; ++mi) {
    for (size_t j = 0; j < k.bases; ++j) fit.weights[mi][j] = best_gamma[mi * k.bases + j];
    for (size_t c = 0; c < k.columns; ++c) {
      double p = 0;
      for (size_t j = 0; j < k.bases; ++j) p += fit.weights[mi][j] * fit.base[j][c];
      fit.expected_mixtures[mi][c] = k.m_total[mi] * p;
      add(k.m[mi * k.columns + c], fit.expected_mixtures[mi][c]);
    }
  }
  return fit;
}

TestMTables PrepareTestM(const MultiStateMArray& m, bool itec) {
  TestMTables prepared;
  TestResult& result = prepared.result;
  result.name = itec ? "M.ITEC" : "M.LTEC";
  const int k = m.periods();
  const int last = itec ? k - 2 : k - 3;
  if (last < 2) {
    result.notes.push_back(result.name + " needs at least " + std::to_string(itec ? 4 : 5) +
                           " periods; with " + std::to_string(k) + " it has no period to test.");
  }
  for (int i = 2; i <= last; ++i) {
    Component component;
    component.occasion = i;
    const std::string where = result.name + ", period " + std::to_string(i) + ": ";
    MixtureTable table = MixtureTableAt(m, i, itec);
    std::vector<int> empty_bases;
    for (size_t s = 0; s < table.bases.size(); ++s) {
      if (Total(table.bases[s]) == 0) empty_bases.push_back(static_cast<int>(s) + 1);
    }
    if (!empty_bases.empty()) {
      result.notes.push_back(where + "no animal caught in stratum " + Strata(empty_bases) +
                             " at this period was caught again " +
                             (itec ? "after it" : "two periods or more after it") +
                             ", so the animals missed at it cannot be compared with " +
                             (empty_bases.size() > 1 ? "those strata" : "that stratum") +
                             "; this period is not tested, the others are.");
      result.components.push_back(component);
      continue;
    }
    table = PoolMixtures(std::move(table));
    // Pooling merges a mixture row of no animals into another while there are two or more, so
    // what can be left empty is a single row: then there is nothing to compare.
    std::erase_if(table.mixtures, [](const std::vector<int64_t>& r) { return Total(r) == 0; });
    if (table.mixtures.empty()) {
      result.notes.push_back(where + "no animal missed at this period was caught again " +
                             (itec ? "after it" : "two periods or more after it") +
                             "; this period is not tested.");
      result.components.push_back(component);
      continue;
    }
    prepared.tested.push_back(result.components.size());
    prepared.tables.push_back(std::move(table));
    result.components.push_back(component);
  }
  return prepared;
}

std::vector<TestResult> FitTestsM(std::vector<TestMTables> tests, int threads) {
  // Every table of every test, fitted side by side, the largest first so that no thread is
  // left with a large one at the end; the figures do not depend on the order or the threads.
  // Of each fit only its statistic is kept.
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
      all.push_back({&table, &statistics[t][j], (table.mixtures.size() + table.bases.size()) * table.bases[0].size()});
    }
  }
  std::stable_sort(all.begin(), all.end(), [](const Fit& a, const Fit& b) { return a.cells > b.cells; });
  SideBySide(all.size(), threads, [&](size_t j) { *all[j].statistic = FitMixture(*all[j].table).statistic; });
  std::vector<TestResult> results;
  for (size_t t = 0; t < tests.size(); ++t) {
    TestResult& result = tests[t].result;
    for (size_t j = 0; j < tests[t].tables.size(); ++j) {
      const MixtureTable& table = tests[t].tables[j];
      Component& component = result.components[tests[t].tested[j]];
      const int columns = static_cast<int>(table.bases[0].size());
      const int bases = static_cast<int>(table.bases.size());
      component.statistic = statistics[t][j];
      component.df = static_cast<int>(table.mixtures.size()) * (columns - bases);
      component.p = ChiSquareUpper(component.statistic, component.df);
      component.method = Method::kChiSquare;
    }
    SumComponents(&result);
    results.push_back(std::move(result));
  }
  return results;
}

TestResult TestM(const MultiStateMArray& m, bool itec) {
  std::vector<TestMTables> one;
  one.push_back(PrepareTestM(m, itec));
  return FitTestsM(std::move(one), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())))[0];
}

}  // namespace haplovex::gof
