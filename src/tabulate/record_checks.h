// What the records looked like, gathered while they are read, for the warnings a run gives
// once they are read and for its report.
#pragma once

#include <cstdint>
#include <string>

namespace haplovex {

// Something seen in the records: how often, and where first.
struct Sighting {
  int64_t count = 0;
  int64_t record = 0;  // the first record it was seen in, counted as the records are
  int64_t line = 0;    // that record's line in the file (comment lines count there)
  int32_t column = 0;  // its column there (for a short record: the record's length)
  char byte = 0;       // the character seen there, where there is one

  void Add(int64_t n, int64_t at_record, int64_t at_line, int32_t at_column, char at_byte = 0) {
    if (count == 0) {
      record = at_record;
      line = at_line;
      column = at_column;
      byte = at_byte;
    }
    count += n;
  }
  // Adds what a later part of the file saw, whose records and lines were counted from its own
  // start: `records_before` records and `lines_before` lines stand before it.
  void Merge(const Sighting& part, int64_t records_before, int64_t lines_before) {
    if (part.count == 0) return;
    if (count == 0) {
      *this = part;
      record += records_before;
      line += lines_before;
    } else {
      count += part.count;
    }
  }
};

// What the records looked like, gathered while they are read.
struct RecordChecks {
  Sighting foreign;          // history characters neither a stratum code nor 0, . or blank
  Sighting beyond;           // stratum codes typed beyond the number of strata
  Sighting no_capture;       // records with no capture
  Sighting short_record;     // records shorter than the last column read
  Sighting blank_frequency;  // frequency fields all blank, read as no animals
  Sighting spaced_frequency;  // frequency fields with blanks between digits, read as one number
  // Summarised histories (--inp): how the first record was split ("line 3: history 0000AA,
  // counts 8 10 (groups M, F), 1 covariate ignored"), its number of fields, and the records
  // with another number (column: that number).
  std::string first_split;
  int64_t first_fields = 0;
  Sighting other_fields;
  int64_t comment_lines = 0;  // "/* ... */" lines, which are not records
  int64_t header_lines = 0;   // the file's first line, read as names (header_line)
  int64_t empty_lines = 0;    // blank records of no animals, with a frequency field
  bool no_releases = false;   // every release count is zero
};

}  // namespace haplovex
