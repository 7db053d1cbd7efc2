// PRNTA and PRNTI: the line builders that lay long data-cell statements out on lines of at
// most 250 characters.
//
// An OutputLine holds the line under construction (`outline`, always blank after its used
// part), the count of characters in use (`outpos`) and the file its lines go to. A statement
// starts on an empty line and ends with EndLine, which writes the used part. When a piece does
// not fit, the builder first writes the whole buffer, trailing blanks included, as one line: a
// text needs its own length, a number always kCountDigits free columns whatever its digits.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/limits.h"
#include "common/text_file.h"

namespace haplovex {

class OutputLine {
 public:
  explicit OutputLine(OutputFile& out);
  OutputLine(const OutputLine&) = delete;
  OutputLine& operator=(const OutputLine&) = delete;

  // Appends `text`. A text longer than the buffer is cut at its last column.
  void PRNTA(std::string_view text);
  // Appends the decimal digits of `value`: no sign, no blanks; a value that needs more than
  // kCountDigits characters (as 1,000,000,000 or -100,000,000) appends nothing.
  void PRNTI(int32_t value);
  // Writes the used part as the statement's last line and starts an empty one.
  void EndLine();

  int32_t outpos() const { return outpos_; }
  // The whole buffer, the blanks after the used part included.
  std::string_view outline() const { return {outline_.data(), outline_.size()}; }

 private:
  // Writes the whole buffer as a line and starts an empty one.
  void Flush();

  OutputFile& out_;
  std::array<char, kLineWidth> outline_;
  int32_t outpos_ = 0;
  std::string field_;  // a number's field, as the field formatter lays it out
};

}  // namespace haplovex
