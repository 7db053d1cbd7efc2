// Decoding of one capture-history record, shared by both converters.
//
// A record is one line of the input file read as 250 characters (cut, or padded with blanks;
// only the columns in use are ever padded). Where its fields stand comes from the settings:
//   stratum code of period i   1 character at codcol(i)        -> ch(i), position in scodes
//   age code                   1 character at agecol           -> iage, position in acodes
//   group code                 1 character at grpcol           -> igrp, position in gcodes
//   fate mark                  1 character at fatecol          -> fate (above blank: lost)
//   frequency                  columns frqcol1..frqcol2         -> freq, blanks ignored, ended
//                                                                 by a ";"; negative: removed
// A code's position is its 1-based place in the 26-character code text, trailing blanks
// included, case-sensitive, 0 when absent. The decoder does not know which converter calls it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/record.h"
#include "tabulate/record_checks.h"

namespace haplovex {

// Position of every byte value in one code text, built once per run.
class CodeLookup {
 public:
  explicit CodeLookup(std::string_view codes);
  int32_t operator()(char c) const { return table_[static_cast<unsigned char>(c)]; }

 private:
  std::array<int8_t, 256> table_{};
};

// What a frequency field that is no number of animals may be, after the stop's message: a line
// of a comment over several lines, or a count for each group (--inp); empty when neither.
std::string NoNumberHint(std::string_view line, std::string_view field);

class RecordDecoder {
 public:
  // REQUIRES: every column of `settings` that will be read lies in 1..kLineWidth.
  explicit RecordDecoder(const ConversionSettings& settings);

  // Decodes `line` into `rec`: the captures, age, group, fate and frequency, and ch when
  // `positions` is true (counting needs only the captures; ch is for the echo line).
  // `record_number` is the number the record has among those read, used in messages. A group
  // position of 0 or above ngroups, and a frequency field that is not a whole number of
  // animals, stop the run.
  // REQUIRES: line.size() >= width() (a shorter line is padded with blanks by the caller).
  void Decode(std::string_view line, int64_t record_number, DecodedRecord& rec,
              bool positions = true) const;
  // What can be wrong with a record's fields: a group code that is none of the groups, a
  // frequency that is not a whole number of animals.
  enum class FieldProblem { kNone, kGroup, kFrequency };
  // Decodes all but the history: age, group, fate and frequency, from a line that may end
  // before the last column read (the columns past its end read as blanks). What Decode stops
  // the run for is returned, with the fields read so far.
  FieldProblem DecodeFields(std::string_view line, DecodedRecord& rec) const;
  // Fills the captures of `rec` from `line`, and `rec.odd`. REQUIRES: as for Decode.
  void DecodeCaptures(std::string_view line, DecodedRecord& rec) const;
  // Fills rec.ch from `line`. REQUIRES: as for Decode.
  void DecodePositions(std::string_view line, DecodedRecord& rec) const;

  // Adds to `foreign` every stratum-code character of `line` (record `record_number`, on line
  // `line_number` of the file) that is neither a code nor a mark of no capture ("0", "." or a
  // blank), and to `beyond` every code typed beyond the strata. For records marked `odd`.
  // REQUIRES: as for Decode.
  void CountOddities(std::string_view line, int64_t record_number, int64_t line_number,
                     Sighting& foreign, Sighting& beyond) const;

  // What each byte is in a history: above 0 the stratum of a capture, 0 a mark of no capture,
  // below 0 odd.
  const std::array<int8_t, 256>& code_class() const { return code_class_; }
  // The periods stand in consecutive columns from first_code_offset() (0-based) on.
  bool consecutive() const { return consecutive_; }
  size_t first_code_offset() const { return code_offsets_.empty() ? 0 : code_offsets_.front(); }
  size_t periods() const { return code_offsets_.size(); }

  // The highest column any field is read from.
  size_t width() const { return width_; }
  // The columns a record must reach to hold every field: the one-character fields and the
  // first column of the frequency, whose number may end before the field does.
  size_t needed() const { return needed_; }

  // The record echo line: nrec, freq, fate, iage and one column per period.
  std::string EchoLine(int64_t nrec, const DecodedRecord& rec) const;

 private:
  // The frequency columns of `line`, as far as it reaches them.
  std::string_view FrequencyField(std::string_view line) const;

  const ConversionSettings& s_;
  CodeLookup strata_;
  CodeLookup ages_;
  CodeLookup groups_;
  // What each byte is in a history, in one look-up: the stratum it marks a capture in (its
  // position, 1..nstrata), 0 for a mark of no capture ("0", "." or a blank), and below 0 for
  // a byte that is odd there: kForeign, or kBeyondStrata for a code typed beyond the strata.
  static constexpr int8_t kForeign = -1;
  static constexpr int8_t kBeyondStrata = -2;
  std::array<int8_t, 256> code_class_{};
  // 0-based offsets of the stratum-code columns.
  std::vector<size_t> code_offsets_;
  bool consecutive_ = false;  // the periods stand in consecutive columns
  size_t width_ = 0;
  size_t needed_ = 0;
};

}  // namespace haplovex
