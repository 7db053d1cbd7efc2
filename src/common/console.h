// The console as the program writes to it: whole lines on an output stream.
//
// Lines are written exactly as built, their first character included, each ended by a
// newline; nothing is broken or stripped. A plain line is one blank followed by its text.
#pragma once

#include <ostream>
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
  // Makes everything written so far visible, before the program waits for an answer.
  void Flush() { out_.flush(); }

 private:
  std::ostream& out_;
};

}  // namespace haplovex
