// The console as the program writes to it: whole lines on an output stream.
//
// Lines are written exactly as built, their first character included, each ended by a
// newline; nothing is broken or stripped. A plain line is one blank followed by its text.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "common/format.h"

namespace haplovex {

class Console {
 public:
  explicit Console(std::ostream& out) : out_(out) {}

  // A plain line: one blank, then `text`.
  void Plain(std::string_view text) {
    out_.put(' ');
    Line(text);
  }
  // A formatted line, written exactly as given.
  void Line(std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    out_.put('\n');
  }
  void Free(const FreeLine& line) { Line(line.str()); }
  // Stratum-code columns as the echoes show them: `count` numbers value(1)..value(count), each
  // right-justified in 4 columns, 20 to a line.
  template <typename Value>
  void ColumnRows(int64_t count, Value value) {
    NumberRows(count, 4, 20, value, [this](const std::string& line) { Line(line); });
  }
  // Makes everything written so far visible, before the program waits for an answer.
  void Flush() { out_.flush(); }

 private:
  std::ostream& out_;
};

}  // namespace haplovex
