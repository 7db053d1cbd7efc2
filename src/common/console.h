// The console as the program writes to it: whole lines on an output stream.
//
// Lines are written exactly as built, their first character included, each ended by a
// newline; nothing is broken or stripped. A plain line is one blank followed by its text.
// On a terminal each line passes Harmless (format.h), as the characters that would control it,
// which a data file can hold and the preview and record echoes show, are written as "?";
// anywhere else every byte is written as it is, so that a scripted run's transcript keeps its
// bytes. A console that can no longer be written (a closed pipe, a full disk) stops the run.
//
// Standard error is for people wherever it goes: every line written to it passes Harmless
// (HarmlessStream).
#pragma once

#include <cstdint>
#include <ostream>
#include <streambuf>
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
  // The lines go to a terminal.
  bool terminal() const { return terminal_; }

 private:
  // Stops the run, once: later lines are dropped, as they would be lost too.
  void CheckWritten();

  std::ostream& out_;
  bool terminal_;
  bool lost_ = false;
};

// An output stream whose lines reach `target` through Harmless: whatever a message names (a
// file, a record, an answer, a code) cannot control the terminal it is shown on. A line is
// passed on at its line end, which is kept, and what is left of one when the stream is
// flushed or destroyed.
class HarmlessStream : public std::ostream {
 public:
  explicit HarmlessStream(std::ostream& target) : std::ostream(&lines_), lines_(target) {}
  ~HarmlessStream() override { flush(); }

 private:
  class Lines : public std::streambuf {
   public:
    explicit Lines(std::ostream& target) : target_(target) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize n) override;
    int sync() override;

   private:
    // Passes on the line held, `end` (a line end, or nothing) after it.
    bool PassOn(std::string_view end);

    std::ostream& target_;
    std::string line_;  // the line begun, not yet passed on
  };
  Lines lines_;
};

}  // namespace haplovex
