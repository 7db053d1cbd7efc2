#include "movement/runs.h"

#include <algorithm>
#include <string>

#include "movement/parameters.h"
#include "prnt/constraints.h"

namespace haplovex {

namespace {

// The estimation runs of the movement-only model, one function each, in the order written.
class MovementRuns {
 public:
  MovementRuns(const ConversionSettings& s, const LabelTable& lbl, OutputFile& out)
      : s_(s), p_(s), out_(out), lines_(out, kMovementLayout, lbl) {}

  // MODL_D: every transition and capture probability constant over time.
  void ConstantModel() {
    lines_.Header("MODL_D");
    lines_.InitialAll(s_.nstrata);
    out_.WriteLine("CONSTRAINTS;");
    for (int64_t g = 1; g <= p_.G; ++g) {
      for (int64_t a = 1; a <= p_.A; ++a) {
        TransitionsConstant(g, a);
        if (!p_.HasCaptureBlock(a)) continue;
        for (int64_t t = 3; t <= p_.Y; ++t)
          for (int64_t i = 1; i <= p_.S; ++i) lines_.Equal(p_.R(g, a, t, i), p_.R(g, a, 2, i));
      }
    }
  }

  // MODL_B: the captures free, the transitions constant.
  void CapturesFree() {
    Header("MODL_B", "MODL_D");
    for (int64_t g = 1; g <= p_.G; ++g)
      for (int64_t a = 1; a <= p_.A; ++a) TransitionsConstant(g, a);
  }

  // MODL_A: everything free, but the last captures of every age class below the oldest.
  void AllFree() {
    Header("MODL_A", "MODL_B");
    for (int64_t g = 1; g <= p_.G; ++g)
      for (int64_t a = 1; a <= std::max<int64_t>(p_.A - 1, 1); ++a)
        for (int64_t i = 1; i <= p_.S; ++i) lines_.Fixed(p_.R(g, a, p_.Y, i), "1.0");
  }

  // 1AGE_A, with several age classes: every age class's transitions those of the first.
  void OneAge() {
    Header("1AGE_A", "MODL_A");
    for (int64_t g = 1; g <= p_.G; ++g) {
      for (int64_t a = 2; a <= p_.A; ++a) {
        TransitionsEqual(g, a, 1, [&](int64_t t, int64_t i, int64_t j) { return p_.T(g, 1, t, i, j); });
        for (int64_t i = 1; i <= p_.S; ++i) lines_.Fixed(p_.R(g, 1, 2, i), "1.0");
      }
    }
  }

  // 1GRP_A, with several groups: every group's transitions and captures those of the first.
  void OneGroup() {
    Header("1GRP_A", "MODL_A");
    for (int64_t g = 2; g <= p_.G; ++g) {
      for (int64_t a = 1; a <= p_.A; ++a) {
        TransitionsEqual(g, a, 1, [&](int64_t t, int64_t i, int64_t j) { return p_.T(1, a, t, i, j); });
        if (!p_.HasCaptureBlock(a)) continue;
        for (int64_t t = 2; t <= p_.Y - 1; ++t)
          for (int64_t i = 1; i <= p_.S; ++i) lines_.Equal(p_.R(g, a, t, i), p_.R(1, a, t, i));
        for (int64_t i = 1; i <= p_.S; ++i) {
          lines_.Fixed(p_.R(1, a, p_.Y, i), "1.0");
          lines_.Fixed(p_.R(g, a, p_.Y, i), "1.0");
        }
      }
    }
  }

  const std::vector<std::string>& runs() const { return lines_.runs(); }

 private:
  // A run's header and its starting values taken from the estimates of run `retain`.
  void Header(std::string_view name, const std::string& retain) {
    lines_.Header(name);
    out_.WriteLine("INITIAL; RETAIN=" + retain + "; CONSTRAINTS;");
  }

  // Every transition of group g and age class a from interval `first` on, set equal to the
  // transition that `reference(t, i, j)` numbers.
  template <typename Reference>
  void TransitionsEqual(int64_t g, int64_t a, int64_t first, Reference reference) {
    for (int64_t t = first; t <= p_.Y - 1; ++t)
      for (int64_t i = 1; i <= p_.S; ++i)
        for (int64_t j = 1; j <= p_.S; ++j) lines_.Equal(p_.T(g, a, t, i, j), reference(t, i, j));
  }
  // Transitions constant over time: every later interval equal to the first.
  void TransitionsConstant(int64_t g, int64_t a) {
    TransitionsEqual(g, a, 2, [&](int64_t, int64_t i, int64_t j) { return p_.T(g, a, 1, i, j); });
  }

  const ConversionSettings& s_;
  const MovementParameters p_;
  OutputFile& out_;
  RunLines lines_;
};

}  // namespace

std::vector<std::string> WriteMovementRuns(const ConversionSettings& s, const LabelTable& lbl,
                                           OutputFile& out) {
  MovementRuns runs(s, lbl, out);
  runs.ConstantModel();
  runs.CapturesFree();
  runs.AllFree();
  if (s.nage > 1) runs.OneAge();
  if (s.ngroups > 1) runs.OneGroup();
  out.WriteLine("PROC TEST; PROC STOP;");
  return runs.runs();
}

}  // namespace haplovex
