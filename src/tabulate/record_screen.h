// What a line of the input file is to the record path, told in one place for every way the
// records are read (one at a time, or a part at a time by the quick way, batch by batch):
// a comment line, which is counted and read as no record; or a record, which may be empty (a
// record of no animals, with a frequency field), short of the columns it must reach (its
// missing columns read as blanks), or whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/limits.h"
#include "runctl/settings.h"
#include "tabulate/decoder.h"
#include "tabulate/record_checks.h"

namespace haplovex {

// True for a line whose first characters but blanks are "/*", and which holds only blanks
// after the "*/" that closes it.
bool IsCommentLine(std::string_view line);

class RecordScreen {
 public:
  RecordScreen(const ConversionSettings& s, const RecordDecoder& decoder)
      : decoder_(decoder),
        frequency_column_(s.frqcol1),
        frequency_field_(s.frqcol1 > 0),
        needed_(decoder.needed()),
        width_(decoder.width()) {}

  // A line of the file as a record is read from it: `length` bytes from `start` up to its line
  // feed, less the carriage return of a carriage return and line feed, cut at the record width.
  // REQUIRES: start[-1] a line feed (the line end before the line, or a byte put before the
  // block), so that an empty line needs no branch.
  [[gnu::always_inline]] static std::string_view Line(const char* start, size_t length) {
    length -= start[static_cast<ptrdiff_t>(length) - 1] == '\r' ? 1 : 0;
    return std::string_view(start, length < kLineWidth ? length : kLineWidth);
  }

  // A line that may be a comment or empty, by its first byte (`first`, or none for an empty
  // line): every other line is a record, with no more to look at.
  [[gnu::always_inline]] static bool MaybeNoRecord(char first) { return first == ' ' || first == '/'; }
  [[gnu::always_inline]] static bool MaybeNoRecord(std::string_view line) {
    return line.empty() || MaybeNoRecord(line[0]);
  }
  // A line of `length` bytes holds every column a record must reach.
  [[gnu::always_inline]] bool Whole(size_t length) const { return length >= needed_; }

  // Screens `line`, which is record `number` if it is one at all. A comment line is counted
  // in `checks` and gives false. A record gives true, `empty` when it is blank with a
  // frequency field (counted), sighted in `checks` when it is short; a record shorter than
  // the columns read is then copied into `padded`, padded with blanks, and `line` points there.
  bool Screen(std::string_view& line, int64_t number, std::string& padded, RecordChecks& checks,
              bool& empty) const;

  // Adds to `checks` what record `number` shows, its fields decoded into `rec`: no capture
  // (`caught` false), history bytes that are no codes (`odd`), a blank frequency, digits of its
  // frequency with blanks between them. An empty record (Screen) shows none of these.
  void Note(std::string_view line, int64_t number, bool caught, bool odd, const DecodedRecord& rec,
            bool empty, RecordChecks& checks) const;

 private:
  const RecordDecoder& decoder_;
  int32_t frequency_column_;
  bool frequency_field_;
  size_t needed_;
  size_t width_;
};

}  // namespace haplovex
