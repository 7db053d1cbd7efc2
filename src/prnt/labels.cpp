#include "prnt/labels.h"

#include "common/format.h"
#include "common/table.h"

namespace haplovex {

LabelTable::LabelTable(int64_t count, size_t width, const std::string& name)
    : width_(width), entries_(AllocateLabels(count, width, name)) {}

void LabelTable::Set(int64_t k, std::string_view label) {
  const size_t at = static_cast<size_t>(k - 1) * width_;
  const size_t kept = std::min(label.size(), width_);
  entries_.replace(at, kept, label.substr(0, kept));
  entries_.replace(at + kept, width_ - kept, width_ - kept, ' ');
}

LabelSection::LabelSection(const ParameterLayout& layout, LabelTable& lbl, OutputFile& out)
    : layout_(layout), lbl_(lbl), out_(out) {
  out_.WriteLine("LABELS;");
}

void LabelSection::Add(std::string_view label) {
  ++k_;
  lbl_.Set(k_, label);
  line_ = "S(";
  AppendZeroPadded(line_, k_, layout_.number_width);
  line_ += ")=";
  line_ += layout_.line_quotes_entry ? lbl_(k_) : label;
  line_ += layout_.line_end;
  out_.WriteLine(line_);
}

}  // namespace haplovex
