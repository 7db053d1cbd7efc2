#include "common/console.h"

#include "common/fatal.h"
#include "common/format.h"

namespace haplovex {

void Console::Line(std::string_view text) {
  if (lost_) return;
  if (terminal_) {
    for (char c : text) out_.put(ControlsATerminal(c) ? '?' : c);
  } else {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  out_.put('\n');
  CheckWritten();
}

void Console::Flush() {
  if (lost_) return;
  out_.flush();
  CheckWritten();
}

void Console::CheckWritten() {
  if (out_.good()) return;
  lost_ = true;
  throw FatalStop::Message("The console output could not be written");
}

}  // namespace haplovex
