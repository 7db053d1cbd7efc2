#include "common/format.h"

#include <cmath>

namespace haplovex {

namespace {

// Decimal digits of |value| written backwards into `buf`; returns how many.
int ReversedDigits(uint64_t magnitude, char* buf) {
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  return n;
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? ~static_cast<uint64_t>(value) + 1 : static_cast<uint64_t>(value);
}

}  // namespace

void AppendInt(std::string& out, int64_t value, int width) {
  char digits[24];
  const int n = ReversedDigits(Magnitude(value), digits);
  const int needed = n + (value < 0 ? 1 : 0);
  if (needed > width) {
    out.append(static_cast<size_t>(width), '*');
    return;
  }
  out.append(static_cast<size_t>(width - needed), ' ');
  if (value < 0) out.push_back('-');
  for (int i = n - 1; i >= 0; --i) out.push_back(digits[i]);
}

void AppendZeroPadded(std::string& out, int64_t value, int width) {
  char digits[24];
  const int n = ReversedDigits(Magnitude(value), digits);
  // Exactly `width` digits: a negative value would need one column more for its sign.
  if (value < 0 || n > width) {
    out.append(static_cast<size_t>(width), '*');
    return;
  }
  out.append(static_cast<size_t>(width - n), '0');
  for (int i = n - 1; i >= 0; --i) out.push_back(digits[i]);
}

void AppendFixed(std::string& out, float value, int width, int decimals) {
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  // The float is widened exactly, so a tie such as 0.0625 stays a tie and std::round takes
  // it away from zero.
  const double scaled = std::round(std::fabs(static_cast<double>(value)) * static_cast<double>(scale));
  if (!std::isfinite(scaled) || scaled > 9.0e18) {
    out.append(static_cast<size_t>(width), '*');
    return;
  }
  const auto units = static_cast<uint64_t>(scaled);
  std::string text;
  if (value < 0 && units != 0) text.push_back('-');
  text += std::to_string(units / scale);
  if (decimals > 0) {
    text.push_back('.');
    AppendZeroPadded(text, static_cast<int64_t>(units % scale), decimals);
  }
  if (text.size() > static_cast<size_t>(width)) {
    out.append(static_cast<size_t>(width), '*');
    return;
  }
  out.append(static_cast<size_t>(width) - text.size(), ' ');
  out += text;
}

void AppendPadded(std::string& out, std::string_view text, size_t width) {
  if (text.size() >= width) {
    out.append(text.substr(0, width));
  } else {
    out.append(text);
    out.append(width - text.size(), ' ');
  }
}

std::string IntField(int64_t value, int width) {
  std::string s;
  AppendInt(s, value, width);
  return s;
}

std::string ZeroPadded(int64_t value, int width) {
  std::string s;
  AppendZeroPadded(s, value, width);
  return s;
}

std::string FixedField(float value, int width, int decimals) {
  std::string s;
  AppendFixed(s, value, width, decimals);
  return s;
}

std::string Padded(std::string_view text, size_t width) {
  std::string s;
  AppendPadded(s, text, width);
  return s;
}

std::string GroupedDigits(int64_t value) {
  char digits[24];
  const int n = ReversedDigits(Magnitude(value), digits);
  std::string s = value < 0 ? "-" : "";
  for (int i = n - 1; i >= 0; --i) {
    s.push_back(digits[i]);
    if (i > 0 && i % 3 == 0) s.push_back(',');
  }
  return s;
}

FreeLine& FreeLine::Text(std::string_view text) {
  if (line_.empty()) line_.push_back(' ');
  line_.append(text);
  return *this;
}

FreeLine& FreeLine::Int(int64_t value) {
  AppendInt(line_, value, 12);
  return *this;
}

std::string_view TrimmedRight(std::string_view text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

}  // namespace haplovex
