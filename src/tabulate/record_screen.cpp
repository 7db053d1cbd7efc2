#include "tabulate/record_screen.h"

namespace haplovex {

bool IsCommentLine(std::string_view line) {
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos || line.substr(start, 2) != "/*") return false;
  const size_t end = line.find("*/", start + 2);
  return end != std::string_view::npos &&
         line.find_first_not_of(' ', end + 2) == std::string_view::npos;
}

bool RecordScreen::Screen(std::string_view& line, int64_t number, std::string& padded,
                          RecordChecks& checks, bool& empty) const {
  const bool maybe = MaybeNoRecord(line);
  if (maybe && IsCommentLine(line)) {
    ++checks.comment_lines;
    return false;
  }
  // An empty line (often the last of a file) is a record like any other; with a frequency
  // field it stands for no animals, and is only counted apart from the odd records.
  empty = frequency_field_ && maybe && line.find_first_not_of(' ') == std::string_view::npos;
  if (empty) ++checks.empty_lines;
  if (line.size() < width_) {
    if (!Whole(line.size()) && !empty) {
      checks.short_record.Add(1, number, number + checks.comment_lines + checks.header_lines,
                             static_cast<int32_t>(line.size()));
    }
    padded.assign(line);
    padded.resize(width_, ' ');
    line = padded;
  }
  return true;
}

void RecordScreen::Note(std::string_view line, int64_t number, bool caught, bool odd,
                        const DecodedRecord& rec, bool empty, RecordChecks& checks) const {
  // Every line before the record is a record or a comment.
  const int64_t at_line = number + checks.comment_lines + checks.header_lines;
  if (!caught && !empty) checks.no_capture.Add(1, number, at_line, 0);
  if (odd) [[unlikely]] {
    decoder_.CountOddities(line, number, at_line, checks.foreign, checks.beyond);
  }
  if (empty) return;
  if (rec.blank_frequency) checks.blank_frequency.Add(1, number, at_line, frequency_column_);
  if (rec.spaced_frequency) [[unlikely]] {
    checks.spaced_frequency.Add(1, number, at_line, frequency_column_);
  }
}

}  // namespace haplovex
