// Parameter numbers and labels, as both model writers give them: the label table (`lbl` of
// the movement-only model, `LBL` of the memory model) and the labels section of HAPLOVEX.OUT.
//
//   LABELS;
//   S(0001)=PHI(01,A,M) AA ;                 movement-only: 4 digits, the label, " ;"
//   S(00001)=PHI(00002) M AAA      ;         memory: 5 digits, the entry at 20, "  ;"
//
// The estimation runs quote the same entries at their full width, trailing blanks included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_file.h"

namespace haplovex {

// How a model writer numbers and labels its parameters.
struct ParameterLayout {
  int number_width;           // digits of a parameter number, zero-padded: S(0001)
  size_t label_width;         // characters of a label-table entry, blank-padded
  bool line_quotes_entry;     // a label line quotes the whole entry, or the label alone
  std::string_view line_end;  // what follows the label on its line
};

// One label per parameter, parameter 1 first, each entry blank-padded to the layout's width.
class LabelTable {
 public:
  // `count` blank entries; a table that cannot be had stops the run with the allocation stop
  // for `name`.
  LabelTable(int64_t count, size_t width, const std::string& name);

  // Entry k (1-based) at its full width.
  std::string_view operator()(int64_t k) const {
    return std::string_view(entries_).substr(static_cast<size_t>(k - 1) * width_, width_);
  }
  // Stores `label` as entry k, cut or padded to the width.
  void Set(int64_t k, std::string_view label);

 private:
  size_t width_;
  std::string entries_;
};

// Writes "LABELS;", then one line per parameter as Add hands them over, numbering them from 1
// and storing each label in the table.
class LabelSection {
 public:
  LabelSection(const ParameterLayout& layout, LabelTable& lbl, OutputFile& out);

  // Numbers the next parameter, stores its label and writes its line.
  void Add(std::string_view label);
  // Parameters numbered so far.
  int64_t count() const { return k_; }

 private:
  const ParameterLayout& layout_;
  LabelTable& lbl_;
  OutputFile& out_;
  int64_t k_ = 0;
  std::string line_;
};

}  // namespace haplovex
