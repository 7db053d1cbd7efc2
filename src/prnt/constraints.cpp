#include "prnt/constraints.h"

#include "common/format.h"

namespace haplovex {

void RunLines::Number(std::string& line, int64_t k) const {
  line += "S(";
  AppendZeroPadded(line, k, layout_.number_width);
  line += ')';
}

void RunLines::Header(std::string_view name, std::string_view lead) {
  runs_.emplace_back(name);
  line_.assign(lead);
  line_ += kEstimateHeader;
  line_ += name;
  line_ += ';';
  out_.WriteLine(line_);
}

void RunLines::Equal(int64_t k, int64_t ref) {
  line_.clear();
  Number(line_, k);
  line_ += '=';
  Number(line_, ref);
  line_ += " /* ";
  line_ += lbl_(k);
  line_ += '=';
  line_ += lbl_(ref);
  line_ += " */;";
  out_.WriteLine(line_);
}

void RunLines::Fixed(int64_t k, std::string_view value) {
  line_.clear();
  Number(line_, k);
  line_ += '=';
  line_ += value;
  line_ += " /* ";
  line_ += lbl_(k);
  line_ += " */;";
  out_.WriteLine(line_);
}

void RunLines::InitialAll(int32_t nstrata) {
  line_ = "INITIAL; ALL=";
  AppendFixed(line_, 1.0f / static_cast<float>(nstrata), 6, 3);
  line_ += ';';
  out_.WriteLine(line_);
}

}  // namespace haplovex
