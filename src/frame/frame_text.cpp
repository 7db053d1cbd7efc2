#include "frame/frame_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "common/format.h"

namespace haplovex {

namespace {

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Moves `p` past the line end at `p` (a carriage return and the line feed after it are one).
// False when the carriage return is the last byte given and more may follow.
bool PastLineEnd(const char*& p, const char* end, bool at_end) {
  if (*p == '\r' && p + 1 == end && !at_end) return false;
  p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
  return true;
}

// Sixteen bytes looked at together (GCC's vector types, which every target builds to its own
// vector instructions or to plain words).
using Bytes16 = unsigned char __attribute__((vector_size(16)));

// The first byte from `p` on, before `end`, that is one of `stops` (a line feed, a carriage
// return, a quote, a NUL, and maybe a separator) or for which `table` is set (the same bytes):
// sixteen bytes at a time while sixteen remain, then byte by byte.
template <size_t N>
const char* FirstOf(const char* p, const char* end, const std::array<unsigned char, N>& stops,
                    const unsigned char* table) {
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 16) {
      Bytes16 bytes;
      std::memcpy(&bytes, p, sizeof bytes);
      auto hit = bytes == stops[0];
      for (size_t k = 1; k < N; ++k) hit |= bytes == stops[k];
      uint64_t low;
      uint64_t high;
      std::memcpy(&low, &hit, 8);
      std::memcpy(&high, reinterpret_cast<const char*>(&hit) + 8, 8);
      if (low != 0) return p + __builtin_ctzll(low) / 8;
      if (high != 0) return p + 8 + __builtin_ctzll(high) / 8;
      p += 16;
    }
  }
  while (p < end && table[static_cast<unsigned char>(*p)] == 0) ++p;
  return p;
}

}  // namespace

int64_t CountLineEnds(std::string_view text) {
  int64_t ends = 0;
  for (size_t k = 0; k < text.size(); ++k) {
    ends += text[k] == '\n' || (text[k] == '\r' && (k + 1 == text.size() || text[k + 1] != '\n')) ? 1 : 0;
  }
  return ends;
}

FrameRecordParser::FrameRecordParser(char separator) : separator_(separator) {
  for (const char c : {'\n', '\r', '"', '\0', separator}) special_[static_cast<unsigned char>(c)] = 1;
  for (const char c : {'\n', '\r', '"', '\0'}) in_quotes_[static_cast<unsigned char>(c)] = 1;
}

void FrameRecordParser::NameFields(const FrameHeader& header) {
  names_ = header.names;
  if (header.row_names) names_.insert(names_.begin(), std::string());
  row_names_ = header.row_names;
}

std::string FrameRecordParser::FieldName(size_t k) const {
  if (k == 0 && row_names_) return "the row name";
  if (k < names_.size()) return "field \"" + names_[k] + "\"";
  return "field " + std::to_string(k + 1);
}

FrameRead FrameRecordParser::Fault(std::string text) {
  fault_ = std::move(text);
  return FrameRead::kFault;
}

bool FrameRecordParser::Field(const char*& p, const char* end, bool at_end, FrameRead& result) {
  return p < end && *p == '"' ? QuotedField(p, end, at_end, result) : UnquotedField(p, end, at_end, result);
}

bool FrameRecordParser::Stop(FrameRead& result, FrameRead why, std::string fault) {
  if (why == FrameRead::kFault) {
    fault_line_ = line_ends_;
    fault_ = std::move(fault);
  }
  result = why;
  return false;
}

const char* FrameRecordParser::ClosingQuote(const char* q, const char* end, bool at_end, bool& doubled,
                                            FrameRead& result) {
  const int64_t opened_on = line_ends_;
  for (;;) {
    q = FirstOf(q, end, std::array<unsigned char, 4>{'\n', '\r', '"', '\0'}, in_quotes_);
    if (q == end && !at_end) return Stop(result, FrameRead::kMore), nullptr;
    if (q == end) {
      line_ends_ = opened_on;  // (the fault is on the line the quote opened)
      return Stop(result, FrameRead::kFault, "a quote opened in " + FieldName(fields_.size()) + " is never closed"),
             nullptr;
    }
    if (*q == '\0') return Stop(result, FrameRead::kFault, "a zero byte (NUL): the file is not text"), nullptr;
    if (*q != '"') {
      // A quoted line end: a carriage return before a line feed is one with it.
      if (*q == '\n' || q + 1 == end || q[1] != '\n') ++line_ends_;
      ++q;
      continue;
    }
    if (q + 1 == end && !at_end) return Stop(result, FrameRead::kMore), nullptr;
    if (q + 1 == end || q[1] != '"') return q;
    doubled = true;
    q += 2;
  }
}

bool FrameRecordParser::QuotedField(const char*& p, const char* end, bool at_end, FrameRead& result) {
  const size_t k = fields_.size();
  const char* const open = p + 1;
  bool doubled = false;
  const char* const close = ClosingQuote(open, end, at_end, doubled, result);
  if (close == nullptr) return false;
  std::string_view text(open, static_cast<size_t>(close - open));
  if (doubled) {
    if (unquoted_.size() <= k) unquoted_.resize(k + 1);
    std::string& single = unquoted_[k];
    single.clear();
    for (size_t i = 0; i < text.size(); ++i) {
      single += text[i];
      if (text[i] == '"') ++i;
    }
    text = single;
  }
  if (close + 1 < end && close[1] != separator_ && !IsLineEnd(close[1])) {
    return Stop(result, FrameRead::kFault, FieldName(k) + " goes on after its closing quote");
  }
  p = close + 1;
  fields_.push_back(text);
  quoted_.push_back(1);
  return true;
}

bool FrameRecordParser::UnquotedField(const char*& p, const char* end, bool at_end, FrameRead& result) {
  const char* q = p;
  q = FirstOf(q, end,
              std::array<unsigned char, 5>{'\n', '\r', '"', '\0', static_cast<unsigned char>(separator_)},
              special_);
  if (q < end && *q == '"') {
    return Stop(result, FrameRead::kFault, "a quote inside " + FieldName(fields_.size()) + ", which is not quoted");
  }
  if (q < end && *q == '\0') return Stop(result, FrameRead::kFault, "a zero byte (NUL): the file is not text");
  if (q == end && !at_end) return Stop(result, FrameRead::kMore);
  fields_.emplace_back(p, static_cast<size_t>(q - p));
  quoted_.push_back(0);
  p = q;
  return true;
}

FrameRead FrameRecordParser::Read(const char*& p, const char* end, bool at_end) {
  fields_.clear();
  quoted_.clear();
  line_ends_ = 0;
  fault_line_ = 0;
  const char* q = p;
  const bool blanks = separator_ == kBlankSeparated;
  // A line of blanks only is no record.
  const char* lead = q;
  while (lead < end && *lead == ' ') ++lead;
  if (lead == end && !at_end) return FrameRead::kMore;
  if (lead == end || IsLineEnd(*lead)) {
    if (lead < end && !PastLineEnd(lead, end, at_end)) return FrameRead::kMore;
    line_ends_ = lead == end ? 0 : 1;  // (the file's last line may have no line end)
    p = lead;
    return FrameRead::kBlank;
  }
  if (blanks) q = lead;
  for (;;) {
    if (fields_.size() > kMostFrameFields) {
      return Fault("more than " + GroupedDigits(static_cast<int64_t>(kMostFrameFields)) + " fields");
    }
    FrameRead result = FrameRead::kRecord;
    if (!Field(q, end, at_end, result)) return result;
    if (blanks) {
      while (q < end && *q == ' ') ++q;
    }
    if (q == end && !at_end) return FrameRead::kMore;
    if (q == end || IsLineEnd(*q)) break;
    if (blanks) continue;
    ++q;  // the separator
  }
  if (q < end) {
    if (!PastLineEnd(q, end, at_end)) return FrameRead::kMore;
    ++line_ends_;
  }
  p = q;
  return FrameRead::kRecord;
}

char FindSeparator(std::string_view header) {
  bool quoted = false;
  bool semicolon = false;
  bool comma = false;
  for (const char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (IsLineEnd(c)) break;
    if (c == '\t') return '\t';
    semicolon = semicolon || c == ';';
    comma = comma || c == ',';
  }
  return semicolon ? ';' : comma ? ',' : kBlankSeparated;
}

std::string SeparatorName(char separator) {
  switch (separator) {
    case '\t': return "tabs";
    case ';': return "semicolons";
    case ',': return "commas";
    default: return "blanks";
  }
}

std::string ReadFrameHeader(std::string_view start, size_t from, bool whole, FrameHeader& header) {
  header = FrameHeader{};
  header.separator = FindSeparator(start.substr(from));
  FrameRecordParser parser(header.separator);
  const char* p = start.data() + from;
  const char* const end = start.data() + start.size();
  FrameRead read = FrameRead::kBlank;
  while (read == FrameRead::kBlank && p < end) read = parser.Read(p, end, whole);
  if (read == FrameRead::kBlank || read == FrameRead::kMore) {
    return whole ? "The file is empty: a frame starts with a header line of field names"
                 : "The header line of field names is longer than " +
                       GroupedDigits(static_cast<int64_t>(kFrameLookBytes)) + " bytes";
  }
  if (read == FrameRead::kFault) return "The header line of field names: " + parser.fault();
  for (size_t k = 0; k < parser.fields().size(); ++k) {
    // A trailing separator names no field.
    if (k + 1 == parser.fields().size() && k > 0 && parser.fields()[k].empty() && !parser.quoted(k) &&
        header.separator != kBlankSeparated) {
      break;
    }
    header.names.emplace_back(parser.fields()[k]);
  }
  header.records_start = static_cast<uint64_t>(p - start.data());
  header.header_lines = CountLineEnds(start.substr(from, header.records_start - from));
  // write.csv names the row names' field "".
  if (header.names.size() > 1 && header.names.front().empty()) {
    header.names.erase(header.names.begin());
    header.row_names = true;
  }
  read = FrameRead::kBlank;
  while (read == FrameRead::kBlank && p < end) read = parser.Read(p, end, whole);
  if (read == FrameRead::kBlank && p == end && whole) return "The file holds a header line of field names and no record";
  if (read == FrameRead::kRecord && !header.row_names) {
    size_t fields = parser.fields().size();
    // (R writes no trailing separator: an empty last field is one, not a row name's place.)
    if (fields > 1 && parser.fields().back().empty() && !parser.quoted(fields - 1) &&
        header.separator != kBlankSeparated) {
      --fields;
    }
    header.row_names = fields == header.names.size() + 1;
  }
  return {};
}

int FieldNamed(const FrameHeader& header, std::string_view name) {
  const auto at = std::find(header.names.begin(), header.names.end(), name);
  return at == header.names.end() ? -1 : static_cast<int>(at - header.names.begin());
}

bool HeaderFields(const FrameHeader& header, const FrameRecordParser& parser, std::vector<std::string_view>& fields,
                  std::string& fault) {
  const std::vector<std::string_view>& all = parser.fields();
  const size_t want = header.names.size() + (header.row_names ? 1 : 0);
  size_t have = all.size();
  if (have == want + 1 && all.back().empty() && !parser.quoted(have - 1) && header.separator != kBlankSeparated) {
    --have;
  }
  if (have != want) {
    fault = Counted(static_cast<int64_t>(have), "field") + " where the header names " +
            Counted(static_cast<int64_t>(header.names.size()), "field") +
            (header.row_names ? " after a row name" : "");
    return false;
  }
  const size_t skip = header.row_names ? 1 : 0;
  fields.assign(all.begin() + static_cast<std::ptrdiff_t>(skip), all.begin() + static_cast<std::ptrdiff_t>(have));
  return true;
}

}  // namespace haplovex
