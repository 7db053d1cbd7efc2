// Line shapes of the estimation runs, shared by both model writers. The writers differ only in
// the width of parameter numbers (4 or 5 digits) and of labels (14 or 20 characters), which
// the caller fixes in a RunLines.
//
//   S(0005)=S(0001) /* PHI(02,A,M) AA=PHI(01,A,M) AA */;     equality
//   S(0011)=1.0 /* p(03,A,M) A    */;                        fixed at a value
//   INITIAL; ALL= 0.500;                                      starting values 1/S
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_file.h"

namespace haplovex {

class RunLines {
 public:
  // `labels` holds one entry of `label_width` characters per parameter, parameter 1 first.
  RunLines(OutputFile& out, int number_width, std::string_view labels, size_t label_width)
      : out_(out), number_width_(number_width), labels_(labels), label_width_(label_width) {}

  // "S(k)=S(ref) /* label k=label ref */;"
  void Equal(int64_t k, int64_t ref);
  // "S(k)=<value> /* label k */;" with the value text as given ("1.0", "0.5").
  void Fixed(int64_t k, std::string_view value);
  // "INITIAL; ALL=" with 1/S in 6 columns and 3 decimals, then ";".
  void InitialAll(int32_t nstrata);

 private:
  std::string_view Label(int64_t k) const {
    return labels_.substr(static_cast<size_t>(k - 1) * label_width_, label_width_);
  }
  void Number(std::string& line, int64_t k) const;

  OutputFile& out_;
  int number_width_;
  std::string_view labels_;
  size_t label_width_;
  std::string line_;
};

}  // namespace haplovex
