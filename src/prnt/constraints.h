// Line shapes of the estimation runs, shared by both model writers, which differ only in the
// width of parameter numbers and of label entries (their ParameterLayout).
//
//   PROC ESTIMATE NOVAR NSIG=6 MAXFN=64000 NAME=MODL_D;        a run's header
//   INITIAL; ALL= 0.500;                                      starting values 1/S
//   S(0005)=S(0001) /* PHI(02,A,M) AA=PHI(01,A,M) AA */;     equality
//   S(0011)=1.0 /* p(03,A,M) A    */;                        fixed at a value
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.h"
#include "prnt/labels.h"

namespace haplovex {

// What every run header holds before the run's name.
inline constexpr std::string_view kEstimateHeader = "PROC ESTIMATE NOVAR NSIG=6 MAXFN=64000 NAME=";

class RunLines {
 public:
  // `lbl` holds the labels of the parameters the constraints name.
  RunLines(OutputFile& out, const ParameterLayout& layout, const LabelTable& lbl)
      : out_(out), layout_(layout), lbl_(lbl) {}

  // A run's header, kEstimateHeader then the run's name and ";", after `lead` (a blank for a
  // writer whose lines are free-form); the name is kept, in runs().
  void Header(std::string_view name, std::string_view lead = {});
  // The names of the runs whose headers were written, in order.
  const std::vector<std::string>& runs() const { return runs_; }
  // "S(k)=S(ref) /* label k=label ref */;"
  void Equal(int64_t k, int64_t ref);
  // "S(k)=<value> /* label k */;" with the value text as given ("1.0", "0.5").
  void Fixed(int64_t k, std::string_view value);
  // "INITIAL; ALL=" with 1/S in 6 columns and 3 decimals, then ";".
  void InitialAll(int32_t nstrata);

 private:
  void Number(std::string& line, int64_t k) const;

  OutputFile& out_;
  const ParameterLayout& layout_;
  const LabelTable& lbl_;
  std::string line_;
  std::vector<std::string> runs_;
};

}  // namespace haplovex
