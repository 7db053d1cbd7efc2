// Reading the user's answers from the console input.
//
// A line answer is one line cut or padded to its field's width. A number answer is a list of
// whole numbers separated by commas and/or blanks, continued over as many lines as it takes;
// numbers after the last one asked for on the last line read are ignored. Every line loses
// its line end and one carriage return in front of it (answers files saved with CRLF ends).
// An answer that is not a whole number, and the end of the input while an answer is awaited,
// stop the run with a message naming the question.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"

namespace haplovex {

// Parses one item of a number answer: an optional sign followed by digits that fit in 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

class AnswerReader {
 public:
  // The console is flushed before every read, so the question is seen before the wait.
  AnswerReader(std::istream& in, Console& console) : in_(in), console_(console) {}

  // One line answer cut or padded to `width`. `question` names it in messages.
  std::string Line(size_t width, std::string_view question);
  // One line answer as typed.
  std::string Text(std::string_view question) { return NextLine(question); }
  // The first character of one answer line, or '\0' for an empty line.
  char FirstCharacter(std::string_view question);
  // `count` whole numbers.
  std::vector<int32_t> Numbers(size_t count, std::string_view question);
  int32_t Number(std::string_view question) { return Numbers(1, question)[0]; }

 private:
  std::string NextLine(std::string_view question);

  std::istream& in_;
  Console& console_;
};

}  // namespace haplovex
