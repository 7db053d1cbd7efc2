// A look at the first records of the input file while the dialogue places their fields.
//
// The records are read as the conversion reads them (the same record screen and decoder, a
// file of summarised histories split into its fields), at most kLookRecords of them, and what
// each field holds is tallied: the bytes of every column, the frequency fields as numbers.
// From a look the dialogue tells a person at a terminal what a field holds, in a line, and
// judges an answer the data contradicts: stratum codes that stand in the history only in the
// other case, a history whose columns hold no code or too many other characters, age or group
// codes none of which stands in their column or typed with commas between them, a frequency
// field mostly not numbers. A scripted run gets the same judgements once, as warnings, before
// any record is converted.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.h"
#include "runctl/settings.h"

namespace haplovex {

// Records a look reads at most (lines, for a file read by columns: comment lines count).
inline constexpr int64_t kLookRecords = 10'000;

// How often each byte stands in a field of the records looked at.
using ByteCounts = std::array<int64_t, 256>;

class DataLook {
 public:
  // The frequency fields of the records, when a frequency field is placed.
  struct Frequencies {
    int64_t fields = 0;       // records with a frequency field (blank lines are none)
    int64_t blank = 0;        // all blank: no animals
    int64_t not_numbers = 0;  // no whole number of animals
    int64_t least = 0;        // the counts read, as signed (a negative count: removed)
    int64_t most = 0;
    std::string first_bad;  // the first field that is not a number, and its record
    int64_t first_bad_record = 0;
    int64_t zero = 0;    // a count of 0 animals
    int64_t spaced = 0;  // blanks between its digits ("1 0")
    std::string first_spaced;
    int64_t first_spaced_record = 0;
  };
  // A file of summarised histories, as its records split into fields.
  struct Summarised {
    // whole_counts[k]: records whose first k fields after the history, and no more, are whole
    // numbers (up to kMaxCodes).
    std::vector<int64_t> whole_counts;
    // Records whose counts of the groups answered are all 0, with a whole number after them
    // that is not: animals the groups answered leave out.
    int64_t counts_missed = 0;
    // The first record whose history is not as long as the periods answered: its line, the
    // history's length and the history.
    int64_t other_length_line = 0;
    size_t other_length = 0;
    std::string other_history;
    // "line 3: history 1111110, count 1, 1 covariate ignored": how the first record is split
    // with the groups answered (empty when it has fewer counts than groups).
    std::string first_split;
  };

  // Reads up to kLookRecords records of `input` with the fields placed as in `s`, and leaves
  // the file at its first record. A file of summarised histories (s.inp) has the characters of
  // its histories tallied as columns 1, 2, ... REQUIRES: every column of `s` placed so far lies
  // in 1..kLineWidth.
  DataLook(InputFile& input, const ConversionSettings& s);

  int64_t records() const { return records_; }
  // The look reached the end of the file: what it says holds for every record.
  bool whole() const { return whole_; }
  // The history length most records have (at most kLineWidth), 0 with no record; how many
  // records have a length.
  int32_t UsualLength() const;
  int64_t RecordsOfLength(int32_t length) const { return lengths_[static_cast<size_t>(length)]; }
  // "the 623 records", or "the first 10,000 records" when the file may hold more.
  std::string RecordsText() const;
  // The bytes in `column` (1-based) of every record; a column past a record's end reads as a
  // blank, as the decoder reads it.
  ByteCounts Column(int32_t column) const;
  // The bytes in the columns `columns`, summed.
  ByteCounts Columns(const std::vector<int32_t>& columns) const;
  const Frequencies& frequencies() const { return frequencies_; }
  const Summarised& summarised() const { return summarised_; }
  // The file's first line when it is a line of names (IsLineOfNames), read as no record; empty
  // when it is none.
  const std::string& header() const { return header_; }

 private:
  void ReadRecords(InputFile& input, const ConversionSettings& s);
  void ReadSummarised(InputFile& input, const ConversionSettings& s);
  // Tallies the bytes of a record read.
  void Tally(std::string_view line);

  int64_t records_ = 0;
  bool whole_ = false;  // the file ended before the look did
  std::vector<std::array<int32_t, 256>> columns_;
  std::vector<int64_t> lengths_;  // lengths_[n]: records n columns long (at most kLineWidth)
  Frequencies frequencies_;
  Summarised summarised_;
  std::string header_;
};

// A file's first line read by columns that holds names over the columns (ch, freq): letters,
// no digit, no comment, and no stratum code at the history's columns. The conversion reads it
// as no record, and so does a look.
bool IsLineOfNames(std::string_view line, const ConversionSettings& s);

// Where the history and the frequency stand, as the lines about them name them: "the
// histories" (summarised), "the history in columns 1-6", "the frequency in columns 10-11".
std::string HistoryPlace(const ConversionSettings& s);
std::string FrequencyPlace(const ConversionSettings& s);

// What a field holds, in a line for the person at the terminal: "the history in columns 1-6
// holds, in the 623 records, the characters A 1,204  B 988  0 4,310  . 12".
std::string HistoryHolds(const DataLook& look, const ConversionSettings& s);
// `name` names the column ("the fate column"): "the fate column 7 holds, in ..., the characters
// blank 600  X 23".
std::string ColumnHolds(const DataLook& look, int32_t column, const std::string& name);
std::string FrequencyHolds(const DataLook& look, const ConversionSettings& s);

// What the history says of the stratum codes and the columns answered.
struct HistoryJudgement {
  enum Fault {
    kNone,
    kCase,     // the codes stand there in the other case: the codes are to be asked again
    kNoCode,   // none of the codes stands there
    kForeign,  // more than 5% of the characters are neither codes nor marks of no capture
  };
  Fault fault = kNone;
  std::string file_case;  // kCase: the codes as the file writes them
  std::string said;       // what is wrong, in a sentence; empty for kNone
};
HistoryJudgement JudgeHistory(const DataLook& look, const ConversionSettings& s);

// What a code column says of the codes typed for it: `codes` (the answer, padded), `count` of
// them used, read from `column` of the records looked at (no look, or column 0: none, as for
// the group codes of summarised histories, which are judged only by how they were typed).
// `name` is "group" or "age". Returns what is wrong, in a sentence, or nothing.
std::string JudgeCodes(const DataLook* look, const std::string& codes, int32_t count,
                       int32_t column, const std::string& name);

// The first column, other than the one typed, from which the periods, one a column, fit the
// histories best (a code stands there and at most 5% of the characters are neither codes nor
// marks of no capture); 0 when none does. REQUIRES: the periods in consecutive columns.
int32_t LikelyFirstColumn(const DataLook& look, const ConversionSettings& s);

// More than half of the frequency fields are not numbers: what is wrong, or nothing.
std::string JudgeFrequency(const DataLook& look, const ConversionSettings& s);

}  // namespace haplovex
