// The console as the program writes to it: whole lines on an output stream.
//
// Lines are written exactly as built, their first character included, each ended by a
// newline; nothing is broken or stripped. A plain line is one blank followed by its text.
// On a terminal, the bytes that would control it (the control characters but tab, and DEL),
// which a data file can hold and the preview and record echoes show, are written as "?";
// anywhere else every byte is written as it is. A console that can no longer be written (a
// closed pipe, a full disk) stops the run.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "common/format.h"

namespace haplovex {

class Console {
 public:
  explicit Console(std::ostream& out, bool terminal = false) : out_(out), terminal_(terminal) {}

  // A plain line: one blank, then `text`.
  void Plain(std::string_view text) {
    if (lost_) return;
    out_.put(' ');
    Line(text);
  }
  // A formatted line, written exactly as given.
  void Line(std::string_view text);
  void Free(const FreeLine& line) { Line(line.str()); }
  // Stratum-code columns as the echoes show them: `count` numbers value(1)..value(count), each
  // right-justified in 4 columns, 20 to a line.
  template <typename Value>
  void ColumnRows(int64_t count, Value value) {
    NumberRows(count, 4, 20, value, [this](const std::string& line) { Line(line); });
  }
  // Makes everything written so far visible, before the program waits for an answer.
  void Flush();
  // The console could not be written; nothing more is tried.
  bool lost() const { return lost_; }

 private:
  // Stops the run, once: later lines are dropped, as they would be lost too.
  void CheckWritten();

  std::ostream& out_;
  bool terminal_;
  bool lost_ = false;
};

}  // namespace haplovex
