#include "tabulate/record_stream.h"

#include "common/fatal.h"
#include "common/format.h"
#include "tabulate/count_table.h"

namespace haplovex {

RecordStream::RecordStream(const ConversionSettings& s, RunFiles& files)
    : s_(s), files_(files), decoder_(s) {
  files_.input.Rewind();
}

bool IsCommentLine(std::string_view line) {
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos || line.substr(start, 2) != "/*") return false;
  const size_t end = line.find("*/", start + 2);
  return end != std::string_view::npos &&
         line.find_first_not_of(' ', end + 2) == std::string_view::npos;
}

bool RecordStream::Next(DecodedRecord& rec) {
  RecordChecks& checks = files_.checks;
  for (;;) {
    if (!files_.input.NextLine(line_)) return false;
    // Most records start with a character that no comment starts with.
    const bool maybe_comment = line_.empty() || line_[0] == ' ' || line_[0] == '/';
    if (!maybe_comment || !IsCommentLine(line_)) break;
    ++checks.comment_lines;
  }
  const int64_t number = nrec_ + 1;
  // An empty line (often the last of a file) is a record like any other; with a frequency
  // field it stands for no animals, and is only counted apart from the odd records.
  const bool empty = s_.frqcol1 > 0 && (line_.empty() || line_[0] == ' ') &&
                     line_.find_first_not_of(' ') == std::string_view::npos;
  if (empty) ++checks.empty_lines;
  if (line_.size() < decoder_.width()) {
    if (line_.size() < decoder_.needed() && !empty) {
      checks.short_record.Add(1, number, static_cast<int32_t>(line_.size()));
    }
    padded_.assign(line_);
    padded_.resize(decoder_.width(), ' ');
    line_ = padded_;
  }
  decoder_.Decode(line_, number, rec, s_.listdata);
  ++nrec_;
  if (rec.ncaptures == 0 && !empty) checks.no_capture.Add(1, nrec_, 0);
  if (rec.odd) [[unlikely]] {
    decoder_.CountOddities(line_, nrec_, checks.foreign, checks.beyond);
  }
  if (rec.blank_frequency && !empty) checks.blank_frequency.Add(1, nrec_, s_.frqcol1);
  if (s_.listdata) files_.console.Line(decoder_.EchoLine(nrec_, rec));
  AddToTotal(nanim_, rec.freq, "animals read", nrec_);
  return true;
}

void RecordStream::AgeCodeError(DecodedRecord& rec) const {
  decoder_.DecodePositions(line_, rec);
  throw FatalStop({FreeLine().Text("** AGE CODE ERROR **").str(), decoder_.EchoLine(nrec_, rec)}, "");
}

}  // namespace haplovex
