#include "prnt/prnt.h"

#include <algorithm>
#include <cstring>

#include "common/format.h"

namespace haplovex {

OutputLine::OutputLine(OutputFile& out) : out_(out) { outline_.fill(' '); }

void OutputLine::Flush() {
  out_.WriteLine(outline());
  outline_.fill(' ');
  outpos_ = 0;
}

void OutputLine::PRNTA(std::string_view text) {
  const auto length = static_cast<int32_t>(std::min<size_t>(text.size(), kLineWidth));
  if (outpos_ + length > kLineWidth) Flush();
  // Everything after the used part is already blank, so the text is simply copied in.
  std::memcpy(outline_.data() + outpos_, text.data(), static_cast<size_t>(length));
  outpos_ += length;
}

void OutputLine::PRNTI(int32_t value) {
  if (outpos_ + kCountDigits > kLineWidth) Flush();
  // The value's field right-justified in kCountDigits columns; of it only the characters not
  // below "0" are appended: the digits, never the blanks, the sign or the asterisks of a value
  // too wide for the field.
  field_.clear();
  AppendInt(field_, value, kCountDigits);
  for (char c : field_) {
    if (static_cast<unsigned char>(c) >= static_cast<unsigned char>('0')) outline_[static_cast<size_t>(outpos_++)] = c;
  }
}

void OutputLine::EndLine() {
  out_.WriteLine(outline().substr(0, static_cast<size_t>(outpos_)));
  std::fill_n(outline_.begin(), outpos_, ' ');
  outpos_ = 0;
}

}  // namespace haplovex
