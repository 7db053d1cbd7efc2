#include "tabulate/inp_stream.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "common/fatal.h"
#include "common/format.h"
#include "common/limits.h"
#include "tabulate/capture_mask.h"
#include "tabulate/count_table.h"
#include "tabulate/tidy_tables.h"

namespace haplovex {

namespace {

// Bytes the plain way reads at a time.
constexpr size_t kInpBlock = size_t{64} << 10;

std::string Numbered(int64_t n, const char* noun) { return std::to_string(n) + " " + Plural(n, noun); }

// "M, F": the groups by their labels.
std::string GroupList(const std::string& gcodes, int32_t groups) {
  std::string list;
  for (int32_t g = 1; g <= groups; ++g) list += (g > 1 ? ", " : "") + CodeLabel(gcodes, g);
  return list;
}

// The bytes that may end a field: a blank, a tab, a line end, the ";" that ends a record, or a
// "/" that may open a comment.
constexpr std::array<bool, 256> kMayEndField = [] {
  std::array<bool, 256> table{};
  for (const unsigned char c : std::string_view(" \t\n\r;/")) table[c] = true;
  return table;
}();

bool MayEndField(char c) { return kMayEndField[static_cast<unsigned char>(c)]; }

}  // namespace

std::string SplitDescription(std::string_view history, const int64_t* counts, int32_t groups,
                             int64_t covariates, const std::string& gcodes) {
  std::string text = "history " + std::string(history) + ", " + Plural(groups, "count");
  for (int32_t g = 0; g < groups; ++g) text += " " + std::to_string(counts[g]);
  if (groups > 1) text += " (groups " + GroupList(gcodes, groups) + ")";
  if (covariates > 0) text += ", " + Numbered(covariates, "covariate") + " ignored";
  return text;
}

InpFields::InpFields(const ConversionSettings& s)
    : periods_(s.nyrs),
      groups_(s.ngroups),
      gcodes_(s.gcodes),
      history_(std::max<size_t>(kKept, static_cast<size_t>(s.nyrs)) + CaptureMasks::kReach, '\0'),
      count_fields_(static_cast<size_t>(s.ngroups)),
      values_(static_cast<size_t>(s.ngroups), 0) {}

void InpFields::Restart(int64_t line, bool after_cr) {
  line_ = line;
  after_cr_ = after_cr;
  in_comment_ = star_ = slash_ = false;
  StartRecord();
}

void InpFields::StartRecord() {
  complete_ = false;
  in_field_ = false;
  fields_ = 0;
  history_length_ = 0;
  for (Count& count : count_fields_) {
    count.text.clear();
    count.length = 0;
    count.magnitude = 0;
    count.negative = count.digits = count.other = false;
  }
}

void InpFields::FieldBytes(const char* bytes, size_t n, int64_t line) {
  if (!in_field_) {
    in_field_ = true;
    if (++fields_ == 1) history_line_ = line;
  }
  if (fields_ == 1) {
    const size_t kept = history_.size() - CaptureMasks::kReach;
    if (history_length_ < kept)
      std::memcpy(&history_[history_length_], bytes, std::min(n, kept - history_length_));
    history_length_ += n;
  } else if (fields_ - 1 <= groups_) {
    Count& count = count_fields_[static_cast<size_t>(fields_ - 2)];
    for (const char c : std::string_view(bytes, n)) {
      const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
      if (digit < 10) {
        count.digits = true;
        count.magnitude = std::min(count.magnitude * 10 + digit, kMaxCount + 1);
      } else if (count.length == 0 && (c == '-' || c == '+')) {
        count.negative = c == '-';
      } else {
        count.other = true;
      }
      if (count.length++ < kKept) count.text += c;
    }
  }
}

const char* InpFields::PastComment(const char* at, const char* end) {
  // Up to the "*/" that closes it, counting its line ends.
  for (; at < end && in_comment_; ++at) {
    const char c = *at;
    line_ += c == '\r' || (c == '\n' && !after_cr_) ? 1 : 0;
    after_cr_ = c == '\r';
    in_comment_ = !(star_ && c == '/');
    star_ = c == '*';
  }
  return at;
}

void InpFields::OpenComment() {
  // A comment ends the field before it.
  in_comment_ = true;
  star_ = false;
  comment_line_ = slash_line_;
  in_field_ = false;
  after_cr_ = false;
}

void InpFields::EndRecord() {
  in_field_ = false;
  complete_ = true;
  end_line_ = line_;
  for (size_t g = 0; g < values_.size(); ++g) {
    const Count& count = count_fields_[g];
    values_[g] = count.negative ? -count.magnitude : count.magnitude;
  }
}

const char* InpFields::Read(const char* at, const char* end) {
  if (complete_) StartRecord();
  while (at < end) {
    if (in_comment_) {
      at = PastComment(at, end);
      continue;
    }
    const char c = *at;
    if (slash_) {
      slash_ = false;
      if (c == '*') {
        OpenComment();
        ++at;
        continue;
      }
      FieldBytes("/", 1, slash_line_);
    }
    const bool was_cr = after_cr_;
    after_cr_ = c == '\r';
    switch (c) {
      case '\n':
      case '\r':
        line_ += c == '\r' || !was_cr ? 1 : 0;
        in_field_ = false;
        break;
      case ' ':
      case '\t':
        in_field_ = false;
        break;
      case ';':
        EndRecord();
        return at + 1;
      case '/':
        slash_ = true;
        slash_line_ = line_;
        break;
      default: {
        // The bytes of a field up to the next that may end it, at once.
        const char* run = at + 1;
        while (run < end && !MayEndField(*run)) ++run;
        FieldBytes(at, static_cast<size_t>(run - at), line_);
        at = run;
        continue;
      }
    }
    ++at;
  }
  return end;
}

std::string InpFields::EndError() const {
  if (Between()) return "";
  if (in_comment_) {
    return "Line " + std::to_string(comment_line_) +
           ": a comment is left open at the end of the file";
  }
  return "Line " + std::to_string(fields_ > 0 ? history_line_ : slash_line_) +
         ": data after the last \";\"";
}

std::string_view InpFields::history() const {
  return {history_.data(), std::min(history_length_, history_.size() - CaptureMasks::kReach)};
}

bool InpFields::Valid() const {
  if (history_length_ != static_cast<size_t>(periods_) || fields_ - 1 < groups_) return false;
  for (const Count& count : count_fields_) {
    if (!count.digits || count.other) return false;
  }
  return true;
}

int32_t InpFields::WholeCounts() const {
  int32_t whole = 0;
  const int64_t read = std::min<int64_t>(fields_ - 1, groups_);
  while (whole < read && count_fields_[static_cast<size_t>(whole)].digits &&
         !count_fields_[static_cast<size_t>(whole)].other) {
    ++whole;
  }
  return whole;
}

std::string InpFields::Problem() const {
  const std::string at = "Line " + std::to_string(line()) + ": ";
  if (history_length_ != static_cast<size_t>(periods_)) {
    const bool cut = history_length_ > history().size();
    return at + "the history \"" + std::string(history()) + (cut ? "..." : "") + "\" has " +
           Numbered(static_cast<int64_t>(history_length_), "character") + ", where there are " +
           std::to_string(periods_) + " periods";
  }
  const int64_t counts = fields_ - 1;
  if (counts < groups_) {
    return at + Numbered(counts, "count") + " for " + Numbered(groups_, "group") +
           (groups_ > 1 ? " (" + GroupList(gcodes_, groups_) + ")" : "") +
           ": each record needs one count for each group";
  }
  for (const Count& count : count_fields_) {
    if (!count.digits || count.other) {
      return at + "the count \"" + count.text + (count.length > kKept ? "..." : "") +
             "\" is not a whole number of animals";
    }
  }
  return "";
}

InpStream::InpStream(const ConversionSettings& s, InputFile& input, Console& console,
                     RecordChecks& checks)
    : s_(s),
      input_(input),
      console_(console),
      checks_(checks),
      decoder_(s),
      fields_(s),
      captures_(),
      block_(kInpBlock),
      offset_(input.DataStart()),
      group_(s.ngroups) {
  fields_.Restart(1, false);
}

bool InpStream::Next(DecodedRecord& rec) {
  for (;;) {
    while (group_ < s_.ngroups) {
      const int64_t count = fields_.counts()[group_++];
      if (count == 0) continue;
      rec.iage = 1;
      rec.igrp = group_;
      rec.removed = count < 0;
      rec.freq = static_cast<int32_t>(count < 0 ? -count : count);
      decoder_.DecodeCaptures(fields_.history(), rec);
      if (s_.listdata) {
        decoder_.DecodePositions(fields_.history(), rec);
        console_.Line(decoder_.EchoLine(nrec_, rec));
      }
      AddToTotal(nanim_, rec.freq, "animals read", nrec_);
      return true;
    }
    if (!NextRecord()) return false;
    group_ = 0;
  }
}

bool InpStream::NextRecord() {
  do {
    if (pos_ == end_) {
      const ssize_t got = input_.ReadAt(offset_, block_.data(), block_.size());
      if (got < 0) {
        throw FatalStop::Message("Can't read the input file " + input_.name() + ": " +
                                 std::strerror(errno != 0 ? errno : EIO));
      }
      if (got == 0) {
        const std::string problem = fields_.EndError();
        if (!problem.empty()) throw FatalStop::Message(problem);
        return false;
      }
      offset_ += static_cast<uint64_t>(got);
      pos_ = 0;
      end_ = static_cast<size_t>(got);
    }
    const char* at = block_.data() + pos_;
    pos_ += static_cast<size_t>(fields_.Read(at, block_.data() + end_) - at);
  } while (!fields_.complete());
  if (!fields_.Valid()) {
    // A history of another length than the periods, or too few counts for the groups: the
    // counts answer is the one to change.
    const bool counts = fields_.history_length() != static_cast<size_t>(s_.nyrs) ||
                        fields_.fields() - 1 < s_.ngroups;
    FatalStop stop = FatalStop::Message(fields_.Problem());
    if (counts) stop.From("STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS");
    throw stop;
  }

  ++nrec_;
  const std::string_view history = fields_.history();
  const int64_t line = fields_.line();
  RecordChecks& checks = checks_;
  if (nrec_ == 1) {
    checks.first_split = "line " + std::to_string(line) + ": " +
                         SplitDescription(history, fields_.counts(), s_.ngroups,
                                          fields_.fields() - 1 - s_.ngroups, s_.gcodes);
    checks.first_fields = fields_.fields();
  } else if (fields_.fields() != checks.first_fields) {
    checks.other_fields.Add(1, nrec_, line, FieldsColumn(fields_.fields()));
  }
  decoder_.DecodeCaptures(history, captures_);
  if (captures_.ncaptures == 0) checks.no_capture.Add(1, nrec_, line, 0);
  if (captures_.odd) decoder_.CountOddities(history, nrec_, line, checks.foreign, checks.beyond);
  return true;
}

}  // namespace haplovex
