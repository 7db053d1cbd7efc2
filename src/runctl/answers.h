// Reading the user's answers from the console input.
//
// A line answer is one line cut or padded to its field's width. A number answer is a list of
// whole numbers separated by commas and/or blanks, continued over as many lines as it takes;
// numbers after the last one asked for on the last line read are ignored. Every line loses
// its line end and one carriage return in front of it (answers files saved with CRLF ends), and
// the first line a byte-order mark before it, as data files do.
// The end of the input while an answer is awaited stops the run with a message naming the
// question. An answer line is at most kMaxAnswerBytes long: a longer one is refused (memory
// stays bounded on any stream, an endless line included). An answer that is not a whole number, and any answer the dialogue refuses, stop
// the run too, unless the answers come from a person at a terminal: then the refusal is an
// AnswerRefused, and the dialogue asks the same question again.
//
// The reader keeps every line it reads for an answer, so that the answers of a run can be
// saved and replayed; the dialogue drops the lines of an answer it asks again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"

namespace haplovex {

// The longest answer line taken, without its line end.
inline constexpr size_t kMaxAnswerBytes = 4096;

// Parses one item of a number answer: an optional sign followed by digits that fit in 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// The prompt for the rest of a number answer typed in part at a terminal: "still awaited:
// GROUPS:" after three of the four counts, "still awaited: 4 more of the stratum-code columns:".
std::string StillAwaited(std::string_view question, size_t typed, size_t count);

// An answer refused where the question can be asked again; `message` says why.
struct AnswerRefused {
  std::string message;
};

class AnswerReader {
 public:
  // The console is flushed before every read, so the question is seen before the wait.
  // `interactive`: a person types the answers at a terminal.
  AnswerReader(std::istream& in, Console& console, bool interactive = false)
      : in_(in), console_(console), interactive_(interactive) {}

  bool interactive() const { return interactive_; }
  // Refuses the answer being read: AnswerRefused for a person at a terminal, otherwise a stop
  // with " *** " and `message`.
  [[noreturn]] void Refuse(const std::string& message) const;

  // One line answer cut or padded to `width`. `question` names it in messages.
  std::string Line(size_t width, std::string_view question);
  // One line answer as typed.
  std::string Text(std::string_view question) { return NextLine(question, true); }
  // The first character of one answer line, or '\0' for an empty line. Not kept with the
  // answers: it answers a question about the folder, not about the conversion.
  char FirstCharacter(std::string_view question);
  // `count` whole numbers.
  std::vector<int32_t> Numbers(size_t count, std::string_view question);
  int32_t Number(std::string_view question) { return Numbers(1, question)[0]; }

  // The next line, read ahead and left for the next answer; none at the end of the input.
  std::optional<std::string> Peek();
  // Forgets the line Peek read ahead, which is no answer.
  void DropPeeked() { peeked_.reset(); }

  // The lines read for answers so far, as typed (without their line ends).
  const std::vector<std::string>& kept() const { return kept_; }
  // Where the next answer's lines will start in kept(); Drop(mark) forgets them again.
  size_t Mark() const { return kept_.size(); }
  void Drop(size_t mark) {
    kept_.resize(mark);
    if (on_kept_) on_kept_(kept_);
  }
  // Puts the lines kept from `mark` on in the place of those kept from `from` up to `to`
  // (from <= to <= mark): an answer asked again after later ones takes the place of the one it
  // mends, so that the answers stay in question order.
  void Replace(size_t from, size_t to, size_t mark) {
    const auto at = [this](size_t k) { return kept_.begin() + static_cast<std::ptrdiff_t>(k); };
    std::vector<std::string> again(at(mark), kept_.end());
    kept_.resize(mark);
    kept_.erase(at(from), at(to));
    kept_.insert(at(from), again.begin(), again.end());
    if (on_kept_) on_kept_(kept_);
  }
  // Puts `line` in the place of the lines kept from `from` up to `to`: an answer that follows
  // from one asked again later (the counts of strata from the stratum codes typed again).
  void Rewrite(size_t from, size_t to, const std::string& line) {
    const auto at = [this](size_t k) { return kept_.begin() + static_cast<std::ptrdiff_t>(k); };
    kept_.erase(at(from), at(to));
    kept_.insert(at(from), line);
    if (on_kept_) on_kept_(kept_);
  }
  // Called with the kept lines each time they change.
  void OnKept(std::function<void(const std::vector<std::string>&)> on_kept) {
    on_kept_ = std::move(on_kept);
  }

 private:
  enum class LineRead { kLine, kEnd, kTooLong };
  // One line of at most kMaxAnswerBytes, its line end and a carriage return before it taken
  // off. At a terminal the rest of a line too long is read and forgotten, so that the question
  // can be asked again; elsewhere nothing more is read.
  LineRead ReadLine(std::string& line);
  std::string NextLine(std::string_view question, bool keep);

  std::istream& in_;
  Console& console_;
  bool interactive_;
  std::vector<std::string> kept_;
  std::optional<std::string> peeked_;  // a line read ahead, its line end taken off
  bool peeked_too_long_ = false;       // the line read ahead was longer than an answer may be
  bool at_start_ = true;               // nothing has been read yet
  std::function<void(const std::vector<std::string>&)> on_kept_;
};

}  // namespace haplovex
