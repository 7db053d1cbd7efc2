#include "common/format.h"

#include <charconv>
#include <cmath>
#include <system_error>

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

std::string Plural(int64_t count, std::string_view one, std::string_view more) {
  if (count == 1) return std::string(one);
  return more.empty() ? std::string(one) + "s" : std::string(more);
}

std::string Counted(int64_t count, std::string_view one, std::string_view more) {
  return GroupedDigits(count) + " " + Plural(count, one, more);
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

namespace {

// The characters of Windows-1252 at 0x80-0x9F; 0 where it has none.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendWindows1252(std::string& out, char byte) {
  const auto b = static_cast<unsigned char>(byte);
  if (b < 0x80) {
    out += byte;
  } else if (b < 0xA0) {
    const char16_t c = kWindows1252High[b - 0x80];
    AppendUtf8(out, c != 0 ? c : 0xFFFD);
  } else {
    AppendUtf8(out, b);
  }
}

// The length of the UTF-8 character at text[k], a byte of 0x80 or more, with its code point
// in `c`; 0 when the bytes there are no valid character (a stray continuation byte, a sequence
// cut short, an overlong form, a surrogate, a code point past U+10FFFF).
size_t Utf8Length(std::string_view text, size_t k, char32_t& c) {
  const auto b = static_cast<unsigned char>(text[k]);
  size_t more = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (k + more >= text.size()) return 0;  // the sequence runs past the end
  for (size_t m = 1; m <= more; ++m) {
    const auto next = static_cast<unsigned char>(text[k + m]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF)) {
    return 0;
  }
  return more + 1;
}

bool IsValidUtf8(std::string_view text) {
  char32_t c = 0;
  for (size_t k = 0; k < text.size();) {
    if (static_cast<unsigned char>(text[k]) < 0x80) {
      ++k;
    } else if (const size_t n = Utf8Length(text, k, c); n != 0) {
      k += n;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string Harmless(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  char32_t c = 0;
  for (size_t k = 0; k < text.size();) {
    const auto b = static_cast<unsigned char>(text[k]);
    if (b < 0x80) {
      shown += ControlsATerminal(text[k]) ? '?' : text[k];
      ++k;
    } else if (const size_t n = Utf8Length(text, k, c); n != 0) {
      if (c <= 0x9F) {
        shown += '?';
      } else {
        shown.append(text.substr(k, n));
      }
      k += n;
    } else {
      shown += b <= 0x9F ? '?' : text[k];
      ++k;
    }
  }
  return shown;
}

std::string TextAsUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  for (char c : text) AppendWindows1252(out, c);
  return out;
}

std::string CodeAsUtf8(char code) {
  std::string out;
  AppendWindows1252(out, code);
  return out;
}

namespace {

// `value` as std::to_chars writes it in `format` with `precision`, which is what printf's %.*f
// and %.*g give, without their locale.
std::string CharsOf(double value, std::chars_format format, int precision) {
  std::string text(32, '\0');
  for (;;) {
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value, format, precision);
    if (error == std::errc()) {
      text.resize(static_cast<size_t>(end - text.data()));
      return text;
    }
    text.resize(2 * text.size());  // a large value in fixed form: room for all its digits
  }
}

}  // namespace

std::string Decimals(double value, int decimals) { return CharsOf(value, std::chars_format::fixed, decimals); }

std::string SignificantDigits(double value, int digits) {
  return CharsOf(value, std::chars_format::general, digits);
}

}  // namespace haplovex
