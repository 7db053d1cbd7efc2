#include "gof/test_m.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "gof/distributions.h"

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

// One expectation-maximisation step from `theta` into `next`: the animals of each mixture cell
// are shared among the bases in proportion to gamma_mj pi_jc; the weights become each
// mixture's shares, and each base's probabilities its own counts plus the shares it received,
// normalised. Returns the log-likelihood at `theta`, or minus infinity (and `next` of no use)
// where it cannot explain a mixture count at all.
double EmStep(const Counts& k, const Parameters& theta, Parameters& next) {
  const double* pi = theta.data();
  const double* gamma = pi + k.bases * k.columns;
  next.assign(theta.size(), 0.0);
  double* share_pi = next.data();
  double* share_gamma = share_pi + k.bases * k.columns;
  double ll = 0;
  for (size_t mi = 0; mi < k.mixtures; ++mi) {
    const double* g = gamma + mi * k.bases;
    for (size_t c = 0; c < k.columns; ++c) {
      const double count = k.m[mi * k.columns + c];
      if (count == 0) continue;
      double p = 0;
      for (size_t j = 0; j < k.bases; ++j) p += g[j] * pi[j * k.columns + c];
      if (!(p > 0)) return -std::numeric_limits<double>::infinity();
      ll += count * std::log(p);
      const double ratio = count / p;
      for (size_t j = 0; j < k.bases; ++j) {
        const double w = g[j] * pi[j * k.columns + c] * ratio;
        share_gamma[mi * k.bases + j] += w;
        share_pi[j * k.columns + c] += w;
      }
    }
  }
  for (size_t j = 0; j < k.bases; ++j) {
    for (size_t c = 0; c < k.columns; ++c) {
      const double count = k.n[j * k.columns + c];
      if (count > 0) ll += count * std::log(pi[j * k.columns + c]);
    }
  }
  for (size_t mi = 0; mi < k.mixtures; ++mi) {
    for (size_t j = 0; j < k.bases; ++j) {
      double& g = share_gamma[mi * k.bases + j];
      g = k.m_total[mi] > 0 ? g / k.m_total[mi] : gamma[mi * k.bases + j];
    }
  }
  for (size_t j = 0; j < k.bases; ++j) {
    double total = k.n_total[j];
    for (size_t c = 0; c < k.columns; ++c) total += share_pi[j * k.columns + c];
    for (size_t c = 0; c < k.columns; ++c) {
      double& p = share_pi[j * k.columns + c];
      p = total > 0 ? (k.n[j * k.columns + c] + p) / total : pi[j * k.columns + c];
    }
  }
  return ll;
}

// One run from `theta`, which it leaves at the fitted values; returns their log-likelihood.
// Where two strata behave alike the plain steps creep (each gains almost nothing), so each
// round takes two steps and extrapolates along their path as far as their change and the
// change of that change call for (a squared extrapolation), backed off while a probability
// would turn negative, then takes one step from there; the round's end is kept only when that
// is at least as good as one plain step, else the round ends with a third plain step. Stops
// when the log-likelihood changes by less than 1e-13 of itself from one round to the next.
double RunEm(const Counts& k, Parameters& theta) {
  constexpr int kMaxRounds = 5000;
  constexpr double kRelativeChange = 1e-13;
  Parameters one, two, jump, after;
  double previous = 0;
  for (int round = 0;; ++round) {
    const double ll = EmStep(k, theta, one);
    if (ll == -std::numeric_limits<double>::infinity()) return ll;
    if (round > 0 && std::fabs(ll - previous) < kRelativeChange * std::fabs(ll)) return ll;
    if (round == kMaxRounds) return ll;
    previous = ll;
    const double ll_one = EmStep(k, one, two);
    double rr = 0, vv = 0;
    for (size_t i = 0; i < theta.size(); ++i) {
      const double r = one[i] - theta[i];
      const double v = two[i] - 2 * one[i] + theta[i];
      rr += r * r;
      vv += v * v;
    }
    double alpha = vv > 0 ? -std::sqrt(rr / vv) : -1.0;
    if (alpha > -1) alpha = -1;
    jump.resize(theta.size());
    for (;;) {
      bool valid = true;
      for (size_t i = 0; i < theta.size(); ++i) {
        const double r = one[i] - theta[i];
        const double v = two[i] - 2 * one[i] + theta[i];
        jump[i] = theta[i] - 2 * alpha * r + alpha * alpha * v;
        if (jump[i] < 0) valid = false;
      }
      if (valid) break;
      if (alpha > -1.01) {
        jump = two;
        break;
      }
      alpha = (alpha - 1) / 2;
    }
    if (EmStep(k, jump, after) < ll_one) EmStep(k, two, after);
    theta.swap(after);
  }
}

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
  while (!mixtures.empty() && !bases.empty()) {
    const size_t nm = mixtures.size();
    const size_t nr = nm + nj;
    const size_t nc = bases[0].size();
    std::vector<double> row_total(nr, 0), column_total(nc, 0);
    double grand = 0;
    for (size_t r = 0; r < nr; ++r) {
      for (size_t c = 0; c < nc; ++c) {
        const auto v = static_cast<double>(row(r)[c]);
        row_total[r] += v;
        column_total[c] += v;
        grand += v;
      }
    }
    if (grand == 0) break;
    const bool columns_at_least = nc <= nj + 1;
    const bool rows_at_least = nm <= 1;
    // Once the columns cannot be pooled further, nothing can raise a base's expected counts:
    // they are let be, as if they were 2.
    double smallest = std::numeric_limits<double>::infinity();
    size_t rs = 0, cs = 0;
    for (size_t c = 0; c < nc; ++c) {
      for (size_t r = 0; r < nr; ++r) {
        const double e = r >= nm && columns_at_least ? 2.0 : row_total[r] * column_total[c] / grand;
        if (e < smallest) smallest = e, rs = r, cs = c;
      }
    }
    if (smallest >= 2) break;
    bool pool_columns = true;  // a small base cell: only its column can be pooled
    if (rs < nm) {
      pool_columns =
          row_total[rs] / static_cast<double>(nc) > column_total[cs] / static_cast<double>(nr);
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
    } else {
      size_t partner = nm;
      for (size_t r = 0; r < nm; ++r) {
        if (r != rs && (partner == nm || row_total[r] < row_total[partner])) partner = r;
      }
      for (size_t c = 0; c < nc; ++c) mixtures[rs][c] += mixtures[partner][c];
      mixtures.erase(mixtures.begin() + static_cast<std::ptrdiff_t>(partner));
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

  MixtureFit fit;
  fit.log_likelihood = -std::numeric_limits<double>::infinity();
  // First start: each base's own proportions, the mixtures weighing the bases equally.
  const size_t pi_size = k.bases * k.columns;
  Parameters theta(pi_size + k.mixtures * k.bases, 1.0 / static_cast<double>(k.bases)), best;
  for (size_t j = 0; j < k.bases; ++j) {
    for (size_t c = 0; c < k.columns; ++c) {
      theta[j * k.columns + c] = k.n_total[j] > 0 ? k.n[j * k.columns + c] / k.n_total[j] : 0.0;
    }
  }
  std::mt19937 random(20031205u);
  for (int start = 0; start <= random_starts; ++start) {
    if (start > 0) {
      RandomRows(random, theta.begin(), theta.begin() + static_cast<std::ptrdiff_t>(pi_size),
                 k.columns);
      RandomRows(random, theta.begin() + static_cast<std::ptrdiff_t>(pi_size), theta.end(),
                 k.bases);
    }
    const double ll = RunEm(k, theta);
    ++fit.starts_used;
    if (ll > fit.log_likelihood) fit.log_likelihood = ll, best = theta;
  }
  fit.base.assign(k.bases, std::vector<double>(k.columns));
  fit.weights.assign(k.mixtures, std::vector<double>(k.bases));
  fit.expected_bases = fit.base;
  fit.expected_mixtures.assign(k.mixtures, std::vector<double>(k.columns));
  if (best.empty()) return fit;  // no start explained every mixture count: not reached
  const double* best_pi = best.data();
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

TestResult TestM(const MultiStateMArray& m, bool itec) {
  TestResult result;
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
    const MixtureFit fit = FitMixture(table);
    const int columns = static_cast<int>(table.bases[0].size());
    const int bases = static_cast<int>(table.bases.size());
    component.statistic = fit.statistic;
    component.df = static_cast<int>(table.mixtures.size()) * (columns - bases);
    component.p = ChiSquareUpper(component.statistic, component.df);
    component.method = Method::kChiSquare;
    result.components.push_back(component);
  }
  for (const Component& c : result.components) {
    result.statistic += c.statistic;
    result.df += c.df;
  }
  result.p = result.df > 0 ? ChiSquareUpper(result.statistic, result.df) : 1.0;
  return result;
}

}  // namespace haplovex::gof
