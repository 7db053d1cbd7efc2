// The capture-history record and its decoding, shared by both converters.
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
#include <climits>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "runctl/run_files.h"
#include "runctl/settings.h"

namespace haplovex {

// Position of every byte value in one code text, built once per run.
class CodeLookup {
 public:
  explicit CodeLookup(std::string_view codes);
  int32_t operator()(char c) const { return table_[static_cast<unsigned char>(c)]; }

 private:
  std::array<int8_t, 256> table_{};
};

// A period at which the animal was caught, and the stratum it was caught in.
struct Capture {
  int32_t period;
  int32_t stratum;
};

struct DecodedRecord {
  int32_t iage = 1;   // age class at the first capture
  int32_t igrp = 1;   // group
  char fate = '\0';   // fate character; a zero byte when there is no fate column
  int32_t freq = 1;   // animals the record stands for (the frequency without its sign)
  // The frequency was negative: the field's mark that the animals were removed (not
  // released) at their last capture.
  bool removed = false;
  // ch[i-1]: stratum position at period i (1..nstrata = caught); filled only when asked for.
  std::vector<int32_t> ch;
  // The captures (periods with 1 <= ch <= nstrata) in period order: the first ncaptures
  // entries of a table with one entry per period.
  std::vector<Capture> captures;
  size_t ncaptures = 0;

  std::span<const Capture> Captures() const { return {captures.data(), ncaptures}; }
};

// Fills the captures of `rec` from its ch, for records whose positions were set directly.
void CollectCaptures(DecodedRecord& rec, int32_t nstrata);

// True when the fate character marks an animal not released after its last capture.
inline bool LostOnCapture(char fate) { return static_cast<unsigned char>(fate) > ' '; }

// True when the record's animals are not released at their last capture: a fate mark, or a
// negative frequency.
inline bool NotReleasedAtLast(const DecodedRecord& rec) {
  return rec.removed || LostOnCapture(rec.fate);
}

class RecordDecoder {
 public:
  // REQUIRES: every column of `settings` that will be read lies in 1..250.
  explicit RecordDecoder(const ConversionSettings& settings);

  // Decodes `line` into `rec`: the captures, age, group, fate and frequency, and ch when
  // `positions` is true (counting needs only the captures; ch is for the echo line).
  // `record_number` is the number the record has among those read, used in messages. A group
  // position of 0 or above ngroups, and a frequency field that is not a whole number of
  // animals, stop the run.
  // REQUIRES: line.size() >= width() (a shorter line is padded with blanks by the caller).
  void Decode(std::string_view line, int64_t record_number, DecodedRecord& rec,
              bool positions = true) const;
  // Fills rec.ch from `line`. REQUIRES: as for Decode.
  void DecodePositions(std::string_view line, DecodedRecord& rec) const;

  // The highest column any field is read from.
  size_t width() const { return width_; }

  // The record echo line: nrec, freq, fate, iage and one column per period.
  std::string EchoLine(int64_t nrec, const DecodedRecord& rec) const;

 private:
  const ConversionSettings& s_;
  CodeLookup strata_;
  CodeLookup ages_;
  CodeLookup groups_;
  void DecodeCaptures(std::string_view line, DecodedRecord& rec) const;

  // The stratum a code marks a capture in (its position, when 1..nstrata), 0 for every other
  // byte: one look-up tells both whether and where the animal was caught.
  std::array<int8_t, 256> capture_stratum_{};
  // 0-based offsets of the stratum-code columns.
  std::vector<size_t> code_offsets_;
  bool consecutive_ = false;  // the periods stand in consecutive columns
  size_t width_ = 0;
};

// The records of the input file read one at a time from its first line, as both converters
// read them: each is decoded, counted in nrec, echoed on the console when listdata is on, and
// its frequency added to nanim (a total that would pass 999,999,999 stops the run).
class RecordStream {
 public:
  // Rewinds the input file. REQUIRES: as for RecordDecoder.
  RecordStream(const ConversionSettings& s, RunFiles& files);

  // Reads and decodes the next record into `rec`; false at the end of the file.
  bool Next(DecodedRecord& rec);
  // Stops the run with the age-code error for `rec`, the record just read: the line
  // "** AGE CODE ERROR **", its echo line, and no stop message.
  [[noreturn]] void AgeCodeError(DecodedRecord& rec) const;

  int64_t nrec() const { return nrec_; }
  int32_t nanim() const { return nanim_; }

 private:
  const ConversionSettings& s_;
  RunFiles& files_;
  RecordDecoder decoder_;
  std::string padded_;  // a line shorter than the columns in use, padded with blanks
  std::string_view line_;  // the record just read
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

// ParseFrequency in full, signs included; ParseFrequency hands it what its quick path does not
// read.
bool ParseSignedFrequency(std::string_view field, int32_t& freq);

// Reads a frequency field: the characters from the first ";" on are ignored (encounter-history
// files end each record with ";" right after the frequency); blanks anywhere are ignored, all
// blanks is 0; otherwise an optional sign and digits. Returns false when the text is no whole
// number or does not fit in 32 bits.
inline bool ParseFrequency(std::string_view field, int32_t& freq) {
  // Nearly every field is blanks and digits, read here; a sign or anything else goes to the
  // full reader.
  int64_t value = 0;
  int digits = 0;
  size_t i = 0;
  for (; i < field.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(field[i]) - unsigned{'0'};
    if (digit < 10) {
      value = value * 10 + digit;
      ++digits;
    } else if (field[i] != ' ') {
      break;
    }
  }
  if ((i == field.size() || field[i] == ';') && digits <= 10 && value <= INT32_MAX) {
    freq = static_cast<int32_t>(value);
    return true;
  }
  return ParseSignedFrequency(field, freq);
}

// The console lines the movement-only converter writes before it reads: "allocating n(" with
// the four counts, then (after its tables exist) "GCODES:" and "obsfmt:".
FreeLine AllocatingLine(const ConversionSettings& s);
FreeLine GcodesLine(const ConversionSettings& s);
FreeLine ObsfmtLine(const ConversionSettings& s);

// The three count lines both converters show when the input has been read.
void WriteCountLines(Console& console, int64_t nrec, int32_t nanim, int64_t npar);

}  // namespace haplovex
