#include "runctl/data_look.h"

#include <algorithm>
#include <cstdlib>

#include "common/format.h"
#include "tabulate/record_checks.h"
#include "runctl/warnings.h"
#include "tabulate/decoder.h"
#include "tabulate/inp_stream.h"
#include "tabulate/record.h"
#include "tabulate/record_screen.h"

namespace haplovex {

namespace {

// Bytes of a file of summarised histories read at a time, and at most: a file with no ";"
// (one by columns, read with --inp) is one record that never ends.
constexpr size_t kLookBlock = size_t{64} << 10;
constexpr uint64_t kLookBytes = uint64_t{8} << 20;
// Characters shown of a field besides those named first; the rest are counted.
constexpr size_t kMaxShown = 12;

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

std::string_view TrimmedBoth(std::string_view text) {
  text = TrimmedRight(text);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

char OtherCase(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return c;
}

// A byte as a line on the terminal shows it: itself when printable, "blank", or its code.
std::string ShownByte(unsigned char b) {
  if (b == ' ') return "blank";
  if (b > ' ' && b < 0x7f) return std::string(1, static_cast<char>(b));
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[b >> 4] + kHex[b & 15];
}

// "A 1,204  B 988  0 4,310  . 12": the bytes of `lead` first, seen or not, then every other
// byte seen, the most frequent first.
std::string BytesSeen(const ByteCounts& bytes, std::string_view lead) {
  std::string text;
  std::array<bool, 256> named{};
  auto add = [&](unsigned char b) {
    named[b] = true;
    text += (text.empty() ? "" : "  ") + ShownByte(b) + " " + GroupedDigits(bytes[b]);
  };
  for (const char c : lead) {
    if (!named[Byte(c)]) add(Byte(c));
  }
  std::vector<unsigned char> rest;
  for (int b = 0; b < 256; ++b) {
    if (!named[static_cast<size_t>(b)] && bytes[static_cast<size_t>(b)] > 0) {
      rest.push_back(static_cast<unsigned char>(b));
    }
  }
  std::stable_sort(rest.begin(), rest.end(),
                   [&](unsigned char a, unsigned char b) { return bytes[a] > bytes[b]; });
  for (size_t k = 0; k < rest.size() && k < kMaxShown; ++k) add(rest[k]);
  if (rest.size() > kMaxShown) {
    text += "  and " + Counted(static_cast<int64_t>(rest.size() - kMaxShown), "other character");
  }
  return text;
}

// "columns 1-6", or the columns one by one when they do not follow each other.
std::string ColumnsText(const std::vector<int32_t>& columns) {
  if (columns.size() == 1) return "column " + std::to_string(columns.front());
  bool consecutive = true;
  for (size_t i = 1; i < columns.size(); ++i)
    consecutive = consecutive && columns[i] == columns[i - 1] + 1;
  if (consecutive) {
    return "columns " + std::to_string(columns.front()) + "-" + std::to_string(columns.back());
  }
  constexpr size_t kListed = 8;
  std::string text = "columns ";
  for (size_t i = 0; i < columns.size() && i < kListed; ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(columns[i]);
  }
  if (columns.size() > kListed) text += ", ...";
  return text;
}

// The history characters seen: of a stratum, of no capture, and the rest.
struct HistoryTally {
  int64_t captured = 0;
  int64_t odd = 0;
  int64_t total = 0;

  // A code stands there, and at most 5% of the characters are odd.
  bool Fits() const { return captured > 0 && odd * 20 <= total; }
  HistoryTally& operator+=(const HistoryTally& other) {
    captured += other.captured;
    odd += other.odd;
    total += other.total;
    return *this;
  }
};

// What each byte is in a history with the stratum codes `codes`, as the conversion reads it.
std::array<int8_t, 256> CodeClass(const ConversionSettings& s, const std::string& codes) {
  ConversionSettings with = s;
  with.scodes = codes;
  return RecordDecoder(with).code_class();
}

HistoryTally TallyHistory(const ByteCounts& bytes, const std::array<int8_t, 256>& code_class) {
  HistoryTally tally;
  for (size_t b = 0; b < 256; ++b) {
    tally.total += bytes[b];
    if (code_class[b] > 0) tally.captured += bytes[b];
    if (code_class[b] < 0) tally.odd += bytes[b];
  }
  return tally;
}

// The first column from which the periods, one a column, fit the histories best: the most
// captures, and the nearest to the column typed among equals; 0 when none fits.
int32_t FirstColumnFitting(const DataLook& look, const ConversionSettings& s,
                           const std::array<int8_t, 256>& code_class) {
  const auto periods = static_cast<int32_t>(s.codcol.size());
  const int32_t typed = s.codcol.front();
  std::vector<HistoryTally> column(static_cast<size_t>(kLineWidth) + 1);
  for (int32_t c = 1; c <= kLineWidth; ++c) {
    column[static_cast<size_t>(c)] = TallyHistory(look.Column(c), code_class);
  }
  int32_t best = 0;
  HistoryTally best_tally;
  for (int32_t first = 1; first + periods - 1 <= kLineWidth; ++first) {
    HistoryTally tally;
    for (int32_t i = 0; i < periods; ++i) tally += column[static_cast<size_t>(first + i)];
    if (!tally.Fits() || first == typed) continue;
    if (best == 0 || tally.captured > best_tally.captured ||
        (tally.captured == best_tally.captured &&
         std::abs(first - typed) < std::abs(best - typed))) {
      best = first;
      best_tally = tally;
    }
  }
  return best;
}

}  // namespace

bool IsLineOfNames(std::string_view line, const ConversionSettings& s) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (s.inp || IsCommentLine(line) || std::any_of(line.begin(), line.end(), digit) ||
      std::none_of(line.begin(), line.end(), letter)) {
    return false;
  }
  const std::array<int8_t, 256> code_class = RecordDecoder(s).code_class();
  for (const int32_t column : s.codcol) {
    const auto at = static_cast<size_t>(column - 1);
    if (column >= 1 && at < line.size() && code_class[Byte(line[at])] > 0) return false;
  }
  return true;
}

std::string HistoryPlace(const ConversionSettings& s) {
  return s.inp ? "the histories" : "the history in " + ColumnsText(s.codcol);
}

std::string FrequencyPlace(const ConversionSettings& s) {
  std::vector<int32_t> columns;
  for (int32_t c = s.frqcol1; c <= s.frqcol2; ++c) columns.push_back(c);
  return "the frequency in " + ColumnsText(columns);
}

DataLook::DataLook(InputFile& input, const ConversionSettings& s)
    : columns_(static_cast<size_t>(kLineWidth)), lengths_(static_cast<size_t>(kLineWidth) + 1) {
  input.Rewind();
  if (s.inp) {
    ReadSummarised(input, s);
  } else {
    ReadRecords(input, s);
  }
  input.Rewind();
}

void DataLook::ReadRecords(InputFile& input, const ConversionSettings& s) {
  // Every record's frequency is read, whatever its group code.
  ConversionSettings fields = s;
  fields.ngroups = 1;
  const RecordDecoder decoder(fields);
  const RecordScreen screen(fields, decoder);
  RecordChecks checks;  // the conversion's business
  std::string padded;
  DecodedRecord rec;
  std::string_view line;
  // A first line of names is read as no record, as the conversion reads it.
  if (input.NextLine(line) && IsLineOfNames(line, s)) {
    header_.assign(line.substr(0, line.size() - (line.ends_with('\r') ? 1 : 0)));
  } else {
    input.Rewind();
  }
  for (int64_t lines = 0; lines < kLookRecords; ++lines) {
    if (!input.NextLine(line)) {
      whole_ = true;
      return;
    }
    bool empty = false;
    if (!screen.Screen(line, records_ + 1, padded, checks, empty)) continue;
    ++records_;
    Tally(line);
    if (fields.frqcol1 <= 0 || empty) continue;
    Frequencies& f = frequencies_;
    ++f.fields;
    if (decoder.DecodeFields(line, rec) != RecordDecoder::FieldProblem::kNone) {
      if (f.not_numbers++ == 0) {
        f.first_bad = Harmless(
            TrimmedRight(line.substr(static_cast<size_t>(fields.frqcol1 - 1),
                                     static_cast<size_t>(fields.frqcol2 - fields.frqcol1 + 1))));
        f.first_bad_record = records_;
      }
    } else if (rec.blank_frequency) {
      ++f.blank;
    } else {
      f.zero += rec.freq == 0 ? 1 : 0;
      if (rec.spaced_frequency && f.spaced++ == 0) {
        f.first_spaced = Harmless(
            TrimmedBoth(line.substr(static_cast<size_t>(fields.frqcol1 - 1),
                                    static_cast<size_t>(fields.frqcol2 - fields.frqcol1 + 1))));
        f.first_spaced_record = records_;
      }
      const int64_t count = rec.removed ? -int64_t{rec.freq} : int64_t{rec.freq};
      const bool first = f.fields - f.blank - f.not_numbers == 1;
      f.least = first ? count : std::min(f.least, count);
      f.most = first ? count : std::max(f.most, count);
    }
  }
}

void DataLook::ReadSummarised(InputFile& input, const ConversionSettings& s) {
  // As many fields after the history are read as there may be groups, to tell how many of
  // them are counts.
  ConversionSettings wide = s;
  wide.ngroups = kMaxCodes;
  InpFields fields(wide);
  Summarised& sum = summarised_;
  sum.whole_counts.assign(static_cast<size_t>(kMaxCodes) + 1, 0);
  fields.Restart(1, false);
  std::vector<char> block(kLookBlock);
  uint64_t offset = input.DataStart();
  size_t pos = 0;
  size_t end = 0;
  while (records_ < kLookRecords) {
    if (pos == end) {
      if (offset - input.DataStart() >= kLookBytes) return;
      // (A read error is the conversion's to report.)
      const ssize_t got = input.ReadAt(offset, block.data(), block.size());
      if (got <= 0) {
        whole_ = true;
        return;
      }
      offset += static_cast<uint64_t>(got);
      pos = 0;
      end = static_cast<size_t>(got);
    }
    const char* at = block.data() + pos;
    pos += static_cast<size_t>(fields.Read(at, block.data() + end) - at);
    if (!fields.complete()) continue;
    ++records_;
    Tally(fields.history());
    const int32_t whole = fields.WholeCounts();
    ++sum.whole_counts[static_cast<size_t>(whole)];
    if (whole > s.ngroups) {
      const int64_t* counts = fields.counts();
      const auto groups = static_cast<size_t>(s.ngroups);
      if (std::all_of(counts, counts + groups, [](int64_t n) { return n == 0; }) &&
          std::any_of(counts + groups, counts + whole, [](int64_t n) { return n != 0; })) {
        ++sum.counts_missed;
      }
    }
    if (fields.history_length() != static_cast<size_t>(s.nyrs) && sum.other_length_line == 0) {
      sum.other_length_line = fields.line();
      sum.other_length = fields.history_length();
      sum.other_history = Harmless(fields.history());
    }
    if (records_ == 1 && fields.WholeCounts() >= s.ngroups) {
      sum.first_split = "line " + std::to_string(fields.line()) + ": " +
                        SplitDescription(fields.history(), fields.counts(), s.ngroups,
                                         fields.fields() - 1 - s.ngroups, s.gcodes);
    }
  }
}

void DataLook::Tally(std::string_view line) {
  const size_t n = std::min(line.size(), static_cast<size_t>(kLineWidth));
  for (size_t c = 0; c < n; ++c) ++columns_[c][Byte(line[c])];
  ++lengths_[n];
}

int32_t DataLook::UsualLength() const {
  size_t usual = 0;
  for (size_t n = 1; n < lengths_.size(); ++n) {
    if (lengths_[n] > lengths_[usual]) usual = n;
  }
  return static_cast<int32_t>(usual);
}

std::string DataLook::RecordsText() const {
  return std::string(whole_ ? "the " : "the first ") + Counted(records_, "record");
}

ByteCounts DataLook::Column(int32_t column) const {
  ByteCounts bytes{};
  if (column < 1 || column > kLineWidth) return bytes;
  const auto& counted = columns_[static_cast<size_t>(column - 1)];
  for (size_t b = 0; b < 256; ++b) bytes[b] = counted[b];
  // Records that end before the column read blank there.
  for (size_t n = 0; n < static_cast<size_t>(column); ++n) bytes[Byte(' ')] += lengths_[n];
  return bytes;
}

ByteCounts DataLook::Columns(const std::vector<int32_t>& columns) const {
  ByteCounts bytes{};
  for (const int32_t column : columns) {
    const ByteCounts one = Column(column);
    for (size_t b = 0; b < 256; ++b) bytes[b] += one[b];
  }
  return bytes;
}

std::string HistoryHolds(const DataLook& look, const ConversionSettings& s) {
  if (look.records() == 0) return "";
  // (The tallies count characters, not records.)
  return HistoryPlace(s) + (s.inp ? " hold" : " holds") + ", in " + look.RecordsText() +
         ", the characters " +
         BytesSeen(look.Columns(s.codcol), s.scodes.substr(0, static_cast<size_t>(s.nstrata)));
}

std::string ColumnHolds(const DataLook& look, int32_t column, const std::string& name) {
  if (look.records() == 0) return "";
  return name + " " + std::to_string(column) + " holds, in " + look.RecordsText() +
         ", the characters " + BytesSeen(look.Column(column), "");
}

std::string FrequencyHolds(const DataLook& look, const ConversionSettings& s) {
  const DataLook::Frequencies& f = look.frequencies();
  if (f.fields == 0) return "";
  const int64_t numbers = f.fields - f.blank - f.not_numbers;
  std::string what = numbers == 0 ? "no count"
                     : f.least == f.most
                         ? "counts all " + GroupedDigits(f.least)
                         : "counts " + GroupedDigits(f.least) + " to " + GroupedDigits(f.most);
  what += ", " + GroupedDigits(f.blank) + " blank, " + GroupedDigits(f.not_numbers) +
          " " + Plural(f.not_numbers, "not a number", "not numbers");
  return FrequencyPlace(s) + " holds, in " + look.RecordsText() + ": " + what;
}

HistoryJudgement JudgeHistory(const DataLook& look, const ConversionSettings& s) {
  HistoryJudgement judgement;
  if (look.records() == 0) return judgement;
  const ByteCounts bytes = look.Columns(s.codcol);
  const auto n = static_cast<size_t>(s.nstrata);
  const std::string codes = s.scodes.substr(0, n);
  const std::string where = HistoryPlace(s) + " of " + look.RecordsText();

  // The codes as the file writes them: each one that stands nowhere, in the other case where
  // that stands and is no other code. (A code in the other case is a character read as no
  // capture: even among few, it is a mistake.)
  std::string file_case = s.scodes;
  for (size_t k = 0; k < n; ++k) {
    const char other = OtherCase(file_case[k]);
    if (other != file_case[k] && bytes[Byte(file_case[k])] == 0 && bytes[Byte(other)] > 0 &&
        file_case.substr(0, n).find(other) == std::string::npos) {
      file_case[k] = other;
    }
  }
  if (file_case != s.scodes && TallyHistory(bytes, CodeClass(s, file_case)).Fits()) {
    judgement.fault = HistoryJudgement::kCase;
    judgement.file_case = file_case.substr(0, n);
    judgement.said = "the stratum codes stand in " + where + " as " + judgement.file_case +
                     ", not " + codes + " (codes are case-sensitive)";
    return judgement;
  }
  const std::array<int8_t, 256> code_class = CodeClass(s, s.scodes);
  const HistoryTally typed = TallyHistory(bytes, code_class);
  if (typed.Fits()) return judgement;
  if (typed.captured == 0) {
    judgement.fault = HistoryJudgement::kNoCode;
    judgement.said = "none of the stratum codes " + codes + " stands in " + where;
  } else {
    judgement.fault = HistoryJudgement::kForeign;
    judgement.said = GroupedDigits(typed.odd) + " of the " + GroupedDigits(typed.total) +
                     " characters in " + where + " are neither stratum codes nor 0, . or blank";
  }
  if (!s.inp && s.ConsecutiveColumns()) {
    if (const int32_t likely = FirstColumnFitting(look, s, code_class); likely != 0) {
      judgement.said += "; the histories fit from column " + std::to_string(likely) + " on";
    }
  }
  return judgement;
}

int32_t LikelyFirstColumn(const DataLook& look, const ConversionSettings& s) {
  return FirstColumnFitting(look, s, CodeClass(s, s.scodes));
}

std::string JudgeCodes(const DataLook* look, const std::string& codes, int32_t count,
                       int32_t column, const std::string& name) {
  const auto n = static_cast<size_t>(count);
  const std::string used = codes.substr(0, n);
  const std::string typed(TrimmedRight(codes));
  const bool read = look != nullptr && column > 0 && look->records() > 0;
  const ByteCounts bytes = read ? look->Column(column) : ByteCounts{};
  // "M,F" holds the codes "M" and ",".
  if (used.find(',') != std::string::npos && bytes[Byte(',')] == 0) {
    std::string without;
    for (const char c : typed) {
      if (c != ',' && c != ' ') without += c;
    }
    return "the " + name + " codes " + typed +
           " were typed with commas between them, which makes a comma a code: without them "
           "they are " +
           without;
  }
  if (!read) return "";
  for (const char c : used) {
    if (bytes[Byte(c)] > 0) return "";
  }
  std::string said = "none of the " + name + " codes " + used + " stands in the " + name +
                     " column " + std::to_string(column) + " of " + look->RecordsText() +
                     ", which holds " + BytesSeen(bytes, "");
  std::string file_case = used;
  for (char& c : file_case) {
    const char other = OtherCase(c);
    if (other != c && bytes[Byte(other)] > 0 && file_case.find(other) == std::string::npos)
      c = other;
  }
  if (file_case != used)
    said += "; the file writes them " + file_case + " (codes are case-sensitive)";
  return said;
}

std::string JudgeFrequency(const DataLook& look, const ConversionSettings& s) {
  const DataLook::Frequencies& f = look.frequencies();
  if (f.not_numbers * 2 <= f.fields) return "";
  return GroupedDigits(f.not_numbers) + " of the " + GroupedDigits(f.fields) + " fields of " +
         FrequencyPlace(s) + " in " + look.RecordsText() + " are not numbers; the first is \"" +
         f.first_bad + "\", in record " + GroupedDigits(f.first_bad_record);
}

}  // namespace haplovex
