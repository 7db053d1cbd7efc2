// Summarised histories (--inp): a file whose records are each a history, one count for each
// group and any individual covariates, ended by ";", with "/* ... */" comments between fields:
//
//   /* 1F1-16C-1054 Upper Green */ U00000000000 1  1295  548;
//   0000AA  8 10   /* males, then females */ ;
//
// A record is the text up to its ";", over as many lines as it takes. Its fields are split at
// blanks, tabs and line ends (a line feed, a carriage return and line feed, or a carriage return
// alone); a comment ends the field before it. The history has one character a period, read as
// a fixed-column history is; group g's animals are the g-th count, negative when they were
// removed at their last capture; the covariates after the counts are ignored. Each group with
// animals is counted as one record of the converter (age class 1, that group, that many
// animals), so that a run gets what a fixed-column file with a line for each history and group
// gets. A record's line, in messages and warnings, is the line its history stands on.
//
// InpFields splits the records off the bytes of the file, piece by piece; InpStream reads the
// records one at a time (the plain way, which alone stops the run with its messages). The quick
// way is inp_part_reader.h.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/decoder.h"
#include "tabulate/record.h"
#include "tabulate/record_checks.h"

namespace haplovex {

// The first record as a warning shows how it was split, after "line N: ": "history 0000AA,
// counts 8 10 (groups M, F), 1 covariate ignored"; with one group "history 000001, count 158".
std::string SplitDescription(std::string_view history, const int64_t* counts, int32_t groups,
                             int64_t covariates, const std::string& gcodes);

// A number of fields as the column of a Sighting.
inline int32_t FieldsColumn(int64_t fields) {
  return static_cast<int32_t>(fields < INT32_MAX ? fields : INT32_MAX);
}

// The fields of the records of a file of summarised histories, read from the pieces of the file
// in order: a record or a comment may run over any number of pieces. What is kept of a record
// does not grow with it: the history and each count up to kKept characters, the covariates
// only counted.
class InpFields {
 public:
  // Characters of a field kept for messages.
  static constexpr size_t kKept = 250;

  explicit InpFields(const ConversionSettings& s);

  // Starts over outside a comment, between records, the next byte on line `line`; `after_cr`:
  // the byte before it was a carriage return (a line feed next is part of its line end).
  void Restart(int64_t line, bool after_cr);
  // Reads from `at` up to `end`, stopping after a ";" that ends a record (complete() then
  // tells so); returns where it stopped.
  const char* Read(const char* at, const char* end);
  bool complete() const { return complete_; }
  // The line of the next byte.
  int64_t next_line() const { return line_; }
  // Nothing is pending: outside a comment, with nothing but blanks and comments since the last
  // record.
  bool Between() const { return complete_ || (!in_comment_ && !slash_ && fields_ == 0); }
  // What the end of the file leaves wrong: a comment left open, data after the last ";"; empty
  // when nothing is pending.
  std::string EndError() const;

  // The record that ended. Valid(): the run can take it; Problem() says why not, as the stop
  // message.
  bool Valid() const;
  std::string Problem() const;
  int64_t line() const { return fields_ > 0 ? history_line_ : end_line_; }
  int64_t fields() const { return fields_; }
  // The history's length, all of it, kept or not.
  size_t history_length() const { return history_length_; }
  // How many of the fields after the history, from the first and up to the groups read, are
  // whole numbers.
  int32_t WholeCounts() const;
  // The history, as far as it is kept, with CaptureMasks::kReach readable bytes from its start.
  std::string_view history() const;
  // The groups' counts, each at most kMaxCount + 1 animals (a larger count passes the run's
  // limit all the same). REQUIRES: Valid().
  const int64_t* counts() const { return values_.data(); }

 private:
  void StartRecord();
  // Reads from `at` (in a comment) to the end of the comment or to `end`, whichever is first.
  const char* PastComment(const char* at, const char* end);
  // A "/" read and a "*" after it.
  void OpenComment();
  // The ";" that ends a record read.
  void EndRecord();
  // Adds `n` bytes to the field being read, or starts one on `line`.
  void FieldBytes(const char* bytes, size_t n, int64_t line);

  int32_t periods_;
  int32_t groups_;
  std::string gcodes_;
  // Where the reading is.
  int64_t line_ = 1;
  bool after_cr_ = false;
  bool in_comment_ = false;
  bool star_ = false;   // in a comment, after a "*"
  bool slash_ = false;  // outside one, after a "/" that may open one
  int64_t slash_line_ = 0;
  int64_t comment_line_ = 0;
  bool in_field_ = false;
  bool complete_ = false;
  // The record read so far.
  int64_t fields_ = 0;
  int64_t history_line_ = 0;
  int64_t end_line_ = 0;  // the line of its ";"
  size_t history_length_ = 0;
  std::vector<char> history_;  // kept characters, then readable bytes for the capture masks
  struct Count {
    std::string text;  // up to kKept characters
    size_t length = 0;
    int64_t magnitude = 0;  // at most kMaxCount + 1
    bool negative = false;
    bool digits = false;  // a digit was read
    bool other = false;   // something other than a leading sign and digits was read
  };
  std::vector<Count> count_fields_;
  std::vector<int64_t> values_;
};

// The records of a file of summarised histories, read from its first line one at a time: each
// record is checked and noted in its RecordChecks (the first record's split and number of
// fields, records with another number, no capture, odd history characters), and each group of
// animals in it is handed out as a decoded record, echoed on the console when listdata is on,
// its animals added to nanim (a total past kMaxCount stops the run). An error stops the run
// with its message.
class InpStream {
 public:
  // What the records look like is gathered in `checks`. REQUIRES: s.inp, and the settings of
  // such a run (see ConversionSettings::inp).
  InpStream(const ConversionSettings& s, InputFile& input, Console& console, RecordChecks& checks);

  // The next group of animals of a record (age class 1, its group, its count without the sign,
  // removed when the count is negative), with the record's captures; false at the end of the
  // file.
  bool Next(DecodedRecord& rec);

  int64_t nrec() const { return nrec_; }
  int32_t nanim() const { return nanim_; }

 private:
  bool NextRecord();

  const ConversionSettings& s_;
  InputFile& input_;
  Console& console_;
  RecordChecks& checks_;
  RecordDecoder decoder_;
  InpFields fields_;
  DecodedRecord captures_;  // the record's captures, decoded once
  std::vector<char> block_;
  uint64_t offset_;  // of the next block in the file
  size_t pos_ = 0;   // next unread byte in block_
  size_t end_ = 0;   // bytes of block_ holding data
  int32_t group_;    // the next group of the record to hand out (0-based)
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex
