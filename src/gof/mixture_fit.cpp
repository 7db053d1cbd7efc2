#include "gof/mixture_fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>

namespace haplovex::gof {
namespace {

// The counts of a table as the fit reads them: row-major, a row per mixture then a row per
// base.
struct Counts {
  size_t mixtures = 0, bases = 0, columns = 0;
  std::vector<double> m;  // mixtures x columns
  std::vector<double> n;  // bases x columns
  std::vector<double> m_total, n_total;
};

double Total(const std::vector<int64_t>& row) {
  int64_t total = 0;
  for (int64_t v : row) total += v;
  return static_cast<double>(total);
}

Counts CountsOf(const MixtureTable& table) {
  Counts k;
  k.mixtures = table.mixtures.size();
  k.bases = table.bases.size();
  k.columns = k.bases > 0 ? table.bases[0].size() : 0;
  for (const auto& r : table.mixtures) {
    k.m_total.push_back(Total(r));
    for (int64_t v : r) k.m.push_back(static_cast<double>(v));
  }
  for (const auto& r : table.bases) {
    k.n_total.push_back(Total(r));
    for (int64_t v : r) k.n.push_back(static_cast<double>(v));
  }
  return k;
}

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
    const size_t pi_size = k_.bases * k_.columns;
    std::fill(next, next + pi_size, 0.0);
    double ll = 0;
    for (size_t mi = 0; mi < k_.mixtures; ++mi) {
      const double* g = theta + pi_size + mi * k_.bases;
      if (!Ratios(mi, theta, g, with_log_likelihood, ll)) return kUnexplained;
      ShareOut(mi, theta, g, next, next + pi_size);
    }
    if (with_log_likelihood) {
      for (size_t i = 0; i < pi_size; ++i) {
        if (k_.n[i] > 0) ll += k_.n[i] * std::log(theta[i]);
      }
    }
    Normalise(theta, next);
    return ll;
  }

 private:
  // The mixture's probability of each column under `pi` and its weights `g`, then count /
  // probability into ratio_ (0 where the count is 0), the log-likelihood of its counts added to
  // `ll` where asked. False where a count has no probability.
  bool Ratios(size_t mi, const double* pi, const double* g, bool with_log_likelihood, double& ll) {
    const size_t nc = k_.columns;
    const double* count = k_.m.data() + mi * nc;
    double* ratio = ratio_.data();
    std::fill(ratio, ratio + nc, 0.0);
    for (size_t j = 0; j < k_.bases; ++j) {
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
    return !unexplained;
  }

  // Base j receives gamma_mj pi_jc ratio_c of cell c of mixture mi: its new weight is the sum
  // over the columns, and gamma_mj ratio_c is added to the base's shares (times pi_jc in
  // Normalise).
  void ShareOut(size_t mi, const double* pi, const double* g, double* shares, double* next_gamma) {
    const size_t nb = k_.bases, nc = k_.columns;
    const double* ratio = ratio_.data();
    for (size_t j = 0; j < nb; ++j) {
      const double gj = g[j];
      const double* pj = pi + j * nc;
      double* share = shares + j * nc;
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

  // Each base's new probabilities: its own counts plus pi_jc times the shares it received,
  // normalised (kept as they were where the base has nothing).
  void Normalise(const double* pi, double* next_pi) const {
    const size_t nc = k_.columns;
    for (size_t j = 0; j < k_.bases; ++j) {
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
  }

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
  bool known = false;  // stopped on entering the basin of a maximum an earlier start reached
};

// The maxima the starts of a fit reached, each once, so that a later start can stop as soon as
// it enters the basin of one: every parameter within kNear of it and the log-likelihood within
// kNearHeight of it, relative to its size (as the climb's own stop is). A start stopped there would have climbed to that maximum, which the earlier
// start holds already; the fit keeps the earliest start at the top, so stopping it changes no
// figure (held on random tables by the tests), and spares the slow creep of the last rounds.
class KnownMaxima {
 public:
  static constexpr double kNear = 1e-3;
  static constexpr double kNearHeight = 1e-6;

  bool Entered(const Parameters& theta, double ll) const {
    for (size_t m = 0; m < heights_.size(); ++m) {
      if (std::fabs(ll - heights_[m]) <= kNearHeight * std::fabs(heights_[m]) && Near(theta, m)) return true;
    }
    return false;
  }
  // Keeps a maximum reached, unless it is near one kept.
  void Add(const Parameters& theta, double ll) {
    for (size_t m = 0; m < heights_.size(); ++m) {
      if (Near(theta, m)) return;
    }
    heights_.push_back(ll);
    points_.insert(points_.end(), theta.begin(), theta.end());
  }

 private:
  bool Near(const Parameters& theta, size_t m) const {
    const double* point = points_.data() + m * theta.size();
    for (size_t i = 0; i < theta.size(); ++i) {
      if (std::fabs(theta[i] - point[i]) > kNear) return false;
    }
    return true;
  }

  std::vector<double> heights_;
  std::vector<double> points_;  // a maximum's parameters after another's
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
  run.known = false;
  run.theta = start;
  run.one.resize(start.size());
  run.ll = em.Step(run.theta.data(), run.one.data(), true);
  run.done = run.ll == kUnexplained;
}

// The squared extrapolation from `theta` along its two plain steps `one` and `two`, into `jump`:
// as far as their change and the change of that change call for, backed off towards -1 while a
// probability would turn negative; the plain step `two` where no length short of that is valid.
void Extrapolate(const Parameters& theta, const Parameters& one, const Parameters& two, Parameters& jump) {
  const size_t size = theta.size();
  double rr = 0, vv = 0;
  for (size_t i = 0; i < size; ++i) {
    const double r = one[i] - theta[i];
    const double v = two[i] - 2 * one[i] + theta[i];
    rr += r * r;
    vv += v * v;
  }
  double alpha = vv > 0 ? -std::sqrt(rr / vv) : -1.0;
  if (alpha > -1) alpha = -1;
  for (;;) {
    bool valid = true;
    for (size_t i = 0; i < size; ++i) {
      const double r = one[i] - theta[i];
      const double v = two[i] - 2 * one[i] + theta[i];
      jump[i] = theta[i] - 2 * alpha * r + alpha * alpha * v;
      if (jump[i] < 0) valid = false;
    }
    if (valid) break;
    // Halving towards -1 ends within 0.01 of it from any finite length; an infinite one (the
    // change of the change so small that the ratio overflows) never would: a plain step.
    if (alpha > -1.01 || std::isinf(alpha)) {
      jump = two;
      break;
    }
    alpha = (alpha - 1) / 2;
  }
}

// Carries `run` on at `pace` until it is done. Where two strata
// behave alike the plain steps creep (each gains almost nothing), so each round takes two steps
// and extrapolates along their path as far as their change and the change of that change call
// for (a squared extrapolation), backed off while a probability would turn negative, then takes
// one step from there; the round's end is kept only when that is at least as good as where the
// round began, else the round ends with a third plain step.
void Advance(EmStepper& em, RoundScratch& s, Run& run, Pace pace, const KnownMaxima* known = nullptr) {
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
    Extrapolate(theta, one, s.two, s.jump);
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
    if (!run.done && known != nullptr) run.done = run.known = known->Entered(run.theta, run.ll);
  }
}

// The seed of the random starts. The generator (a Mersenne Twister, whose sequence the C++
// standard fixes) is seeded with it afresh for every fit, so that a table's figures depend on
// the table alone: not on the run, the machine, the thread that fits it or the tables fitted
// before it. The value itself is arbitrary, any fixed one would do; it is kept because runs
// from other starts can stop at other points of a flat maximum, a few last digits apart.
constexpr std::mt19937::result_type kStartsSeed = 20031205u;

// A uniform draw in (0, 1) from the generator's own 32 bits, the same on every platform (the
// standard's uniform_real_distribution leaves its arithmetic to each library).
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

// The starting points of a fit, in turn: first each base's own proportions with the mixtures
// weighing the bases equally, then random ones, drawn one after another from kStartsSeed.
class Starts {
 public:
  explicit Starts(const Counts& k)
      : k_(k), pi_size_(k.bases * k.columns), start_(pi_size_ + k.mixtures * k.bases) {}

  // Start r, which follows start r - 1 (r > 0) or is the first.
  const Parameters& At(size_t r) {
    if (r == 0) {
      random_.seed(kStartsSeed);
      std::fill(start_.begin() + static_cast<std::ptrdiff_t>(pi_size_), start_.end(),
                1.0 / static_cast<double>(k_.bases));
      for (size_t j = 0; j < k_.bases; ++j) {
        for (size_t c = 0; c < k_.columns; ++c) {
          start_[j * k_.columns + c] =
              k_.n_total[j] > 0 ? k_.n[j * k_.columns + c] / k_.n_total[j] : 0.0;
        }
      }
      return start_;
    }
    const auto weights = start_.begin() + static_cast<std::ptrdiff_t>(pi_size_);
    RandomRows(random_, start_.begin(), weights, k_.columns);
    RandomRows(random_, weights, start_.end(), k_.bases);
    return start_;
  }

 private:
  const Counts& k_;
  size_t pi_size_;
  Parameters start_;
  std::mt19937 random_;
};

// The runs of one fit: its stepper and their scratch, one run held at a time.
struct Climber {
  explicit Climber(const Counts& k) : em(k), starts(k) {}

  // Climbs from start r (after every start before it has been drawn) to its maximum, or, where
  // `known` is given, until it enters the basin of one of those.
  void Climb(size_t r, const KnownMaxima* known = nullptr) {
    BeginRun(em, run, starts.At(r));
    Advance(em, scratch, run, Pace::kClimb, known);
  }

  EmStepper em;
  Starts starts;
  RoundScratch scratch;
  Run run;
  KnownMaxima maxima;
};

// The start whose maximum is kept: the highest reached. Runs that stopped on it differ in the
// last digits of their likelihood, and the earliest start among them is taken, so that the
// same maximum gives the same figures however many starts reached it. reached.size() where no
// start explained every mixture count.
size_t EarliestAtTheTop(const std::vector<double>& reached) {
  constexpr double kSameMaximum = 1e-10;
  const double top = *std::max_element(reached.begin(), reached.end());
  for (size_t r = 0; r < reached.size(); ++r) {
    if (reached[r] != kUnexplained && reached[r] >= top - kSameMaximum * std::fabs(top)) return r;
  }
  return reached.size();
}

// The fitted probabilities at `theta`, the expected counts and the statistic, the bases' cells
// first.
void FittedValues(const Counts& k, const Parameters& theta, MixtureFit& fit) {
  const double* pi = theta.data();
  const double* gamma = pi + k.bases * k.columns;
  auto add = [&fit](double observed, double expected) {
    if (observed > 0 && expected >= 0.01) fit.statistic += observed * (observed / expected - 1);
  };
  for (size_t j = 0; j < k.bases; ++j) {
    for (size_t c = 0; c < k.columns; ++c) {
      fit.base[j][c] = pi[j * k.columns + c];
      fit.expected_bases[j][c] = k.n_total[j] * fit.base[j][c];
      add(k.n[j * k.columns + c], fit.expected_bases[j][c]);
    }
  }
  for (size_t mi = 0; mi < k.mixtures; ++mi) {
    for (size_t j = 0; j < k.bases; ++j) fit.weights[mi][j] = gamma[mi * k.bases + j];
    for (size_t c = 0; c < k.columns; ++c) {
      double p = 0;
      for (size_t j = 0; j < k.bases; ++j) p += fit.weights[mi][j] * fit.base[j][c];
      fit.expected_mixtures[mi][c] = k.m_total[mi] * p;
      add(k.m[mi * k.columns + c], fit.expected_mixtures[mi][c]);
    }
  }
}

}  // namespace

int DefaultRandomStarts(size_t bases) { return std::max(24, 8 * static_cast<int>(bases)); }

MixtureFit FitMixture(const MixtureTable& pooled, int random_starts, Basins basins) {
  const Counts k = CountsOf(pooled);
  Climber climber(k);
  MixtureFit fit;
  fit.log_likelihood = kUnexplained;
  fit.base.assign(k.bases, std::vector<double>(k.columns));
  fit.weights.assign(k.mixtures, std::vector<double>(k.bases));
  fit.expected_bases = fit.base;
  fit.expected_mixtures.assign(k.mixtures, std::vector<double>(k.columns));
  // Every start climbs to its maximum, and the highest is kept, so that a table's figures never
  // depend on how soon a start looked promising. Only the height each start reached is kept:
  // the start kept is climbed again, which gives the same run to the last bit, so that a fit
  // holds one run at a time however many starts it makes.
  // A start that reaches the basin of a maximum an earlier start reached counts as reaching
  // nothing of its own: the earlier start stands for it. It stops there, or (kClimbEvery) climbs
  // on and is judged where it ends.
  const bool stop_in_known = basins == Basins::kStopInKnown;
  std::vector<double> reached(static_cast<size_t>(random_starts) + 1);
  for (size_t r = 0; r < reached.size(); ++r) {
    Run& run = climber.run;
    climber.Climb(r, stop_in_known ? &climber.maxima : nullptr);
    run.known = run.known || (run.ll != kUnexplained && climber.maxima.Entered(run.theta, run.ll));
    reached[r] = run.known ? kUnexplained : run.ll;
    if (!run.known && run.ll != kUnexplained) climber.maxima.Add(run.theta, run.ll);
    ++fit.starts_used;
  }
  const size_t best = EarliestAtTheTop(reached);
  if (best == reached.size()) return fit;  // no start explained every mixture count: not reached
  if (best + 1 != reached.size()) {
    for (size_t r = 0; r < best; ++r) climber.starts.At(r);
    climber.Climb(best);
  }
  Run& run = climber.run;
  run.done = false;
  run.calm = 0;
  Advance(climber.em, climber.scratch, run, Pace::kSettle);
  fit.log_likelihood = run.ll;
  FittedValues(k, run.theta, fit);
  return fit;
}

}  // namespace haplovex::gof
