// Fixed-width fields and free-form lines: the one place where numbers become text.
//
// Every line the program writes is either formatted (fixed texts and numbers in fields of a
// stated width) or free-form (items one after another, texts as they are, whole numbers
// right-justified in 12 columns, one blank in front of a leading text). A number that does
// not fit its field is written as asterisks filling the field, never cut or widened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace haplovex {

// Appends `value` right-justified in `width` columns (a minus sign in front of the digits of a
// negative value); asterisks fill the field when the value needs more than `width` columns.
void AppendInt(std::string& out, int64_t value, int width);
// Appends `value` as exactly `width` digits with leading zeros; asterisks fill the field when
// it needs more (a negative value needs one column for its sign in front of the zeros).
void AppendZeroPadded(std::string& out, int64_t value, int width);
// Appends the single-precision `value` with `decimals` digits after the point, right-justified
// in `width` columns, with a 0 before the point of a value below one; a tie at the last digit
// rounds away from zero (1/16 gives 0.063).
void AppendFixed(std::string& out, float value, int width, int decimals);
// Appends `text` cut to `width` characters or padded with blanks to it.
void AppendPadded(std::string& out, std::string_view text, size_t width);

std::string IntField(int64_t value, int width);
std::string ZeroPadded(int64_t value, int width);
std::string FixedField(float value, int width, int decimals);
// `text` cut to `width` characters or padded with blanks to it.
std::string Padded(std::string_view text, size_t width);
// A control character (below a blank) or DEL: what a terminal may take as a command and no
// title or label should hold.
inline bool IsControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}
// Bytes a terminal takes as commands: the control characters but tab, and DEL.
inline bool ControlsATerminal(char c) { return IsControlByte(c) && c != '\t'; }
// `text` as a terminal may be shown it, the one filter of everything read from the folder,
// the records or the answers that a person is shown: each character that would control the
// terminal as "?". Those are the control characters but tab (a line end too: the text is
// shown as one line), DEL, the characters U+0080-U+009F (their two bytes as one "?"), and a
// byte of 0x80-0x9F that is no part of a valid UTF-8 character (an 8-bit terminal takes it as
// one of those). Everything else is kept as it is, valid UTF-8 ("\xC5\x9B", an s with acute)
// or not (a Latin-1 "\xE9").
std::string Harmless(std::string_view text);

// Text as UTF-8, for pages and tables declared so: `text` itself where it is valid UTF-8,
// otherwise read as Windows-1252 (Latin-1, with the printable characters of 0x80-0x9F; a byte
// with none becomes U+FFFD), decided for the whole text.
std::string TextAsUtf8(std::string_view text);
// One code byte as UTF-8: itself below 0x80, else its Windows-1252 character.
std::string CodeAsUtf8(char code);

// `text` without its trailing blanks (answers and titles are kept padded to their fields).
std::string_view TrimmedRight(std::string_view text);
// `value` with its digits in groups of three for a reader: 999999999 gives "999,999,999".
std::string GroupedDigits(int64_t value);
// The word for `count` things: `one` for a single one, else `more` ("strata"), or `one` and
// an "s" when `more` is not given; for a verb, Plural(n, "has", "have").
std::string Plural(int64_t count, std::string_view one, std::string_view more = {});
// A count with its noun, as messages and pages give it: "1 record", "1,024 records", "3 strata".
std::string Counted(int64_t count, std::string_view one, std::string_view more = {});

// Lays out `count` numbers, value(1) .. value(count), right-justified in `width` columns and
// `per_line` to a line, and hands each finished line to `emit` (the column echo, the
// transition tables).
template <typename Value, typename Emit>
void NumberRows(int64_t count, int width, int64_t per_line, Value value, Emit emit) {
  std::string line;
  for (int64_t k = 1; k <= count; ++k) {
    AppendInt(line, value(k), width);
    if (k % per_line == 0 || k == count) {
      emit(line);
      line.clear();
    }
  }
}

// Builds one free-form line: texts unchanged (trailing blanks included), whole numbers
// right-justified in 12 columns, nothing between items, and one blank in front of the line
// when its first item is a text. A line with no items is empty.
class FreeLine {
 public:
  FreeLine& Text(std::string_view text);
  FreeLine& Int(int64_t value);
  const std::string& str() const { return line_; }

 private:
  std::string line_;
};

// `value` with `decimals` digits after the point ("0.003895", "982.542", "-0.500"), the decimal
// nearest its binary value (an exact tie to the even digit); "inf" or "nan" where it is one.
std::string Decimals(double value, int decimals);
// `value` to `digits` significant digits, trailing zeros dropped, in exponent form where its
// exponent is below -4 or `digits` or more ("0.0433576", "1.79864e-72", "1.23457e+06"): for
// tables a program reads.
std::string SignificantDigits(double value, int digits);

}  // namespace haplovex
