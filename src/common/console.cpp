#include "common/console.h"

#include "common/fatal.h"
#include "common/format.h"

namespace haplovex {

void Console::Line(std::string_view text) {
  if (lost_) return;
  if (terminal_) {
    const std::string shown = Harmless(text);
    out_.write(shown.data(), static_cast<std::streamsize>(shown.size()));
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

bool HarmlessStream::Lines::PassOn(std::string_view end) {
  const std::string shown = Harmless(line_);
  line_.clear();
  target_.write(shown.data(), static_cast<std::streamsize>(shown.size()));
  target_.write(end.data(), static_cast<std::streamsize>(end.size()));
  return target_.good();
}

HarmlessStream::Lines::int_type HarmlessStream::Lines::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  if (byte != '\n') {
    line_ += byte;
    return c;
  }
  return PassOn("\n") ? c : traits_type::eof();
}

std::streamsize HarmlessStream::Lines::xsputn(const char* text, std::streamsize n) {
  std::string_view rest(text, static_cast<size_t>(n));
  for (size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1)) {
    line_.append(rest.substr(0, end));
    if (!PassOn("\n")) return 0;
  }
  line_.append(rest);
  return n;
}

int HarmlessStream::Lines::sync() {
  if (!line_.empty() && !PassOn("")) return -1;
  target_.flush();
  return target_.good() ? 0 : -1;
}

}  // namespace haplovex
