#include "tabulate/decoder.h"

#include <algorithm>

#include "common/fatal.h"
#include "common/format.h"
#include "tabulate/frequency.h"

namespace haplovex {

CodeLookup::CodeLookup(std::string_view codes) {
  // Fill from the back so that the first occurrence of a repeated character wins.
  for (size_t k = codes.size(); k-- > 0;) {
    table_[static_cast<unsigned char>(codes[k])] = static_cast<int8_t>(k + 1);
  }
}

RecordDecoder::RecordDecoder(const ConversionSettings& settings)
    : s_(settings), strata_(settings.scodes), ages_(settings.acodes), groups_(settings.gcodes) {
  code_offsets_.reserve(settings.codcol.size());
  int32_t width = 1;
  for (int32_t column : settings.codcol) {
    code_offsets_.push_back(static_cast<size_t>(column - 1));
    width = std::max(width, column);
  }
  for (int c = 0; c < 256; ++c) {
    const int32_t position = strata_(static_cast<char>(c));
    const bool capture = position >= 1 && position <= settings.nstrata;
    // "0", "." and a blank are what a history holds where the animal was not caught.
    const bool not_caught = c == '0' || c == '.' || c == ' ';
    code_class_[static_cast<size_t>(c)] = static_cast<int8_t>(
        capture ? position : not_caught ? 0 : position > settings.nstrata ? kBeyondStrata : kForeign);
  }
  consecutive_ = settings.ConsecutiveColumns();
  if (settings.nage > 1) width = std::max(width, settings.agecol);
  if (settings.ngroups > 1) width = std::max(width, settings.grpcol);
  // A fate mark is written only for the animals not released: a record may end before it.
  needed_ = static_cast<size_t>(settings.frqcol1 > 0 ? std::max(width, settings.frqcol1) : width);
  width = std::max(width, settings.fatecol);
  if (settings.frqcol1 > 0) width = std::max(width, settings.frqcol2);
  width_ = static_cast<size_t>(width);
}

void RecordDecoder::DecodePositions(std::string_view line, DecodedRecord& rec) const {
  rec.ch.resize(code_offsets_.size());
  for (size_t i = 0; i < code_offsets_.size(); ++i) rec.ch[i] = strata_(line[code_offsets_[i]]);
}

void RecordDecoder::DecodeCaptures(std::string_view line, DecodedRecord& rec) const {
  const size_t periods = code_offsets_.size();
  rec.captures.resize(periods);
  Capture* captures = rec.captures.data();
  size_t ncaptures = 0;
  int odd = 0;  // negative once an odd byte was seen
  // First the periods caught: every period looked at is written into the list and kept only
  // when it is a capture, with no branch for random histories to mispredict and one store a
  // period. Then the strata of the few periods kept.
  auto look_at = [&](size_t i, unsigned char code) {
    const int kind = code_class_[code];
    captures[ncaptures].period = static_cast<int32_t>(i);
    ncaptures += kind > 0;
    odd |= kind;
  };
  if (consecutive_) {
    // The usual layout, one period a column: the codes are read straight along the line.
    const auto* codes = reinterpret_cast<const unsigned char*>(line.data()) + code_offsets_.front();
#pragma GCC unroll 8
    for (size_t i = 0; i < periods; ++i) look_at(i, codes[i]);
  } else {
    for (size_t i = 0; i < periods; ++i) look_at(i, static_cast<unsigned char>(line[code_offsets_[i]]));
  }
  for (size_t k = 0; k < ncaptures; ++k) {
    const size_t offset = code_offsets_[static_cast<size_t>(captures[k].period)];
    captures[k].stratum = code_class_[static_cast<unsigned char>(line[offset])];
    ++captures[k].period;  // periods count from 1
  }
  rec.ncaptures = ncaptures;
  rec.odd = odd < 0;
}

void RecordDecoder::Decode(std::string_view line, int64_t record_number, DecodedRecord& rec,
                           bool positions) const {
  switch (DecodeFields(line, rec)) {
    case FieldProblem::kNone:
      break;
    case FieldProblem::kGroup: {
      const char code = line[static_cast<size_t>(s_.grpcol - 1)];
      throw FatalStop({FreeLine().Text("GROUP OUT OF RANGE:").Text(std::string(1, code)).str(),
                       " *** Record " + std::to_string(record_number) + ": the group code in column " +
                           std::to_string(s_.grpcol) + " is not one of the " +
                           std::to_string(s_.ngroups) + " group codes"});
    }
    case FieldProblem::kFrequency:
      throw FatalStop::Message("Record " + std::to_string(record_number) +
                               ": the frequency in columns " + std::to_string(s_.frqcol1) + "-" +
                               std::to_string(s_.frqcol2) + " is not a number of animals: \"" +
                               std::string(FrequencyField(line)) + "\"" +
                               NoNumberHint(line, FrequencyField(line)));
  }
  DecodeCaptures(line, rec);
  if (positions) DecodePositions(line, rec);
}

std::string NoNumberHint(std::string_view line, std::string_view field) {
  // A "/*" with no "*/" after it on its line, or a "*/" with none before: a comment that runs
  // over several lines, whose lines are read as records.
  const size_t open = line.find("/*");
  const size_t close = line.find("*/", open == std::string_view::npos ? 0 : open + 2);
  if ((open != std::string_view::npos) != (close != std::string_view::npos)) {
    return "; the record is a line of a /* ... */ comment that is not closed on its line: a comment "
           "read by columns must open and close on each line (--inp reads comments over several "
           "lines)";
  }
  // Several numbers separated by blanks ("1 0 0 1"): a count for each group.
  size_t numbers = 0;
  bool in_number = false;
  for (const char c : field) {
    const bool sign = c == '-' || c == '+';
    const bool part = (c >= '0' && c <= '9') || sign;
    if ((!part && c != ' ') || (sign && in_number)) return "";
    numbers += part && !in_number ? 1 : 0;
    in_number = part;
  }
  return numbers > 1 ? "; a file with a count for each group after its history is read with --inp" : "";
}

std::string_view RecordDecoder::FrequencyField(std::string_view line) const {
  const auto from = static_cast<size_t>(s_.frqcol1 - 1);
  if (from >= line.size()) return {};
  return line.substr(from, static_cast<size_t>(s_.frqcol2 - s_.frqcol1 + 1));
}

RecordDecoder::FieldProblem RecordDecoder::DecodeFields(std::string_view line,
                                                        DecodedRecord& rec) const {
  // Columns past the end of the line read as blanks.
  auto at = [&](int32_t column) {
    const auto offset = static_cast<size_t>(column - 1);
    return offset < line.size() ? line[offset] : ' ';
  };
  rec.iage = s_.nage > 1 ? ages_(at(s_.agecol)) : 1;
  rec.igrp = 1;
  if (s_.ngroups > 1 && s_.grpcol > 0) {
    rec.igrp = groups_(at(s_.grpcol));
    if (rec.igrp <= 0 || rec.igrp > s_.ngroups) return FieldProblem::kGroup;
  }
  if (s_.fatecol > 0) rec.fate = at(s_.fatecol);
  if (s_.frqcol1 > 0) {
    const std::string_view field = FrequencyField(line);
    int32_t value = 0;
    // The most negative 32-bit number has no positive counterpart; it is no count anyway.
    if (!ParseFrequency(field, value, rec.spaced_frequency) || value == INT32_MIN) {
      return FieldProblem::kFrequency;
    }
    rec.blank_frequency =
        value == 0 && field.substr(0, field.find(';')).find_first_not_of(' ') == std::string_view::npos;
    rec.removed = value < 0;
    rec.freq = value < 0 ? -value : value;
  }
  return FieldProblem::kNone;
}

void RecordDecoder::CountOddities(std::string_view line, int64_t record_number, int64_t line_number,
                                  Sighting& foreign, Sighting& beyond) const {
  for (size_t offset : code_offsets_) {
    const char c = line[offset];
    const int kind = code_class_[static_cast<unsigned char>(c)];
    Sighting* seen = kind == kForeign ? &foreign : kind == kBeyondStrata ? &beyond : nullptr;
    if (seen != nullptr) seen->Add(1, record_number, line_number, static_cast<int32_t>(offset + 1), c);
  }
}

std::string RecordDecoder::EchoLine(int64_t nrec, const DecodedRecord& rec) const {
  std::string line = " ";
  AppendInt(line, nrec, 6);
  line += ' ';
  AppendInt(line, rec.removed ? -int64_t{rec.freq} : rec.freq, 5);  // as read
  line += ' ';
  line += rec.fate;
  line += ' ';
  AppendInt(line, rec.iage, 1);
  line += ' ';
  for (int32_t position : rec.ch) AppendInt(line, position, 1);
  return line;
}

}  // namespace haplovex
