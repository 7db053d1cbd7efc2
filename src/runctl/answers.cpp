#include "runctl/answers.h"

#include <limits>

#include "common/fatal.h"
#include "common/format.h"

namespace haplovex {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The bytes of a UTF-8 byte-order mark, which editors on some systems put at the start of a
// text file: no part of the first answer.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string Quoted(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string q = "\"";
  q.append(text.substr(0, kShown));
  if (text.size() > kShown) q += "...";
  q += "\"";
  return q;
}

}  // namespace

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

void AnswerReader::Refuse(const std::string& message) const {
  if (interactive_) throw AnswerRefused{message};
  throw FatalStop::Message(message);
}

AnswerReader::LineRead AnswerReader::ReadLine(std::string& line) {
  line.clear();
  std::streambuf* const buffer = in_.rdbuf();
  if (buffer == nullptr || !in_.good()) return LineRead::kEnd;
  using Traits = std::char_traits<char>;
  bool read_any = false;
  // The input's first three bytes are looked at once for a byte-order mark.
  bool look_for_mark = at_start_;
  at_start_ = false;
  for (;;) {
    const Traits::int_type c = buffer->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) {
      in_.setstate(std::ios::eofbit);
      if (!read_any) return LineRead::kEnd;
      break;
    }
    read_any = true;
    if (Traits::to_char_type(c) == '\n') break;
    // One byte more than an answer may have, for a carriage return before the line end.
    if (line.size() > kMaxAnswerBytes) {
      if (interactive_) {
        for (;;) {
          const Traits::int_type rest = buffer->sbumpc();
          if (Traits::eq_int_type(rest, Traits::eof())) {
            in_.setstate(std::ios::eofbit);
            break;
          }
          if (Traits::to_char_type(rest) == '\n') break;
        }
      }
      line.clear();
      return LineRead::kTooLong;
    }
    line.push_back(Traits::to_char_type(c));
    if (look_for_mark && line.size() == kByteOrderMark.size()) {
      look_for_mark = false;
      if (line == kByteOrderMark) {
        line.clear();
        read_any = false;  // a mark and nothing else is no line
      }
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxAnswerBytes) {
    line.clear();
    return LineRead::kTooLong;
  }
  return LineRead::kLine;
}

std::optional<std::string> AnswerReader::Peek() {
  if (!peeked_ && !peeked_too_long_) {
    std::string line;
    switch (ReadLine(line)) {
      case LineRead::kEnd:
        return std::nullopt;
      case LineRead::kTooLong:
        peeked_too_long_ = true;
        return std::nullopt;
      case LineRead::kLine:
        peeked_ = std::move(line);
        break;
    }
  }
  return peeked_;
}

std::string AnswerReader::NextLine(std::string_view question, bool keep) {
  console_.Flush();
  std::string line;
  if (peeked_) {
    line = std::move(*peeked_);
    peeked_.reset();
  } else {
    LineRead read = LineRead::kTooLong;
    if (peeked_too_long_) {
      peeked_too_long_ = false;
    } else {
      read = ReadLine(line);
    }
    if (read == LineRead::kEnd) {
      throw FatalStop::Message("The input ended while waiting for the answer to " +
                               std::string(question));
    }
    if (read == LineRead::kTooLong) {
      Refuse("Answer to " + std::string(question) + " is a line longer than " +
             GroupedDigits(static_cast<int64_t>(kMaxAnswerBytes)) + " bytes");
    }
  }
  if (keep) {
    kept_.push_back(line);
    if (on_kept_) on_kept_(kept_);
  }
  return line;
}

std::string AnswerReader::Line(size_t width, std::string_view question) {
  return Padded(NextLine(question, true), width);
}

char AnswerReader::FirstCharacter(std::string_view question) {
  std::string line;
  try {
    line = NextLine(question, false);
  } catch (const AnswerRefused& refused) {
    // Its question is not asked again: a line too long is no answer to it.
    throw FatalStop::Message(refused.message);
  }
  return line.empty() ? '\0' : line[0];
}

std::string StillAwaited(std::string_view question, size_t typed, size_t count) {
  // A question that names each number ("STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS") names those
  // still awaited.
  std::vector<std::string_view> names;
  for (size_t from = 0;;) {
    const size_t comma = question.find(',', from);
    names.push_back(question.substr(from, comma - from));
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  std::string text = "still awaited: ";
  if (names.size() == count) {
    for (size_t k = typed; k < count; ++k)
      text += std::string(k > typed ? "," : "") + std::string(names[k]);
  } else {
    text += std::to_string(count - typed) + " more of " + std::string(question);
  }
  return text + ":";
}

std::vector<int32_t> AnswerReader::Numbers(size_t count, std::string_view question) {
  // Not reserved up front: `count` comes from an earlier answer and may be huge, while the
  // values only take what the user actually types.
  std::vector<int32_t> values;
  while (values.size() < count) {
    const std::string line = NextLine(question, true);
    // A comma with nothing before it since the last value (or the start of the line) is an
    // empty value; a comma after a value only separates.
    bool after_value = false;
    size_t pos = 0;
    while (values.size() < count) {
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos == line.size()) break;
      if (line[pos] == ',') {
        if (!after_value) {
          Refuse("Answer to " + std::string(question) + " has an empty value between commas: " +
                 Quoted(line));
        }
        after_value = false;
        ++pos;
        continue;
      }
      const size_t start = pos;
      while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != ',') ++pos;
      const std::string_view item = std::string_view(line).substr(start, pos - start);
      const std::optional<int32_t> value = ParseWholeNumber(item);
      if (!value) {
        Refuse("Answer to " + std::string(question) + " must be a whole number, read " +
               Quoted(item));
      }
      values.push_back(*value);
      after_value = true;
    }
    // A person who typed too few numbers is shown what is still awaited.
    if (interactive_ && values.size() < count)
      console_.Plain(StillAwaited(question, values.size(), count));
  }
  return values;
}

}  // namespace haplovex
