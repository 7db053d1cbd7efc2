// The records of the input file read one at a time from its first line, as both converters
// read them: each is decoded, counted in nrec, echoed on the console when listdata is on, and
// its frequency added to nanim (a total that would pass kMaxCount stops the run). A comment
// line of an encounter-history file ("/* ... */" and nothing after it) is not a record: it is
// only counted. What the records look like is gathered in the run's RecordChecks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/console.h"
#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/decoder.h"
#include "tabulate/record.h"
#include "tabulate/record_checks.h"
#include "tabulate/record_screen.h"

namespace haplovex {

class RecordStream {
 public:
  // Rewinds the input file; what the records look like is gathered in `checks`. REQUIRES: as
  // for RecordDecoder.
  RecordStream(const ConversionSettings& s, InputFile& input, Console& console, RecordChecks& checks);

  // Reads and decodes the next record into `rec`; false at the end of the file.
  bool Next(DecodedRecord& rec);
  // Stops the run with the age-code error for `rec`, the record just read: the line
  // "** AGE CODE ERROR **", its echo line, and no stop message.
  [[noreturn]] void AgeCodeError(DecodedRecord& rec) const;

  int64_t nrec() const { return nrec_; }
  int32_t nanim() const { return nanim_; }

 private:
  const ConversionSettings& s_;
  InputFile& input_;
  Console& console_;
  RecordChecks& checks_;
  RecordDecoder decoder_;
  RecordScreen screen_;
  std::string padded_;  // a line shorter than the columns in use, padded with blanks
  std::string_view line_;  // the record just read
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex
