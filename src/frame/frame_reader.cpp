#include "frame/frame_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "common/fatal.h"
#include "common/format.h"
#include "common/limits.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/record_reader.h"

namespace haplovex {

namespace {

// Bytes a part reads at a time, besides the record carried over.
constexpr size_t kFrameBlock = size_t{1} << 20;

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number written with a decimal point, as a spreadsheet or R writes a number: "101.0",
// "1.01e+02".
bool DecimalNumber(std::string_view text) {
  const size_t exponent = text.find_first_of("eE");
  const std::string_view mantissa = text.substr(0, exponent);
  const size_t point = mantissa.find('.');
  if (point == std::string_view::npos) return false;
  const std::string_view whole = mantissa.substr(0, point);
  const std::string_view part = mantissa.substr(point + 1);
  if (!(AllDigits(whole) || whole.empty()) || !(AllDigits(part) || part.empty()) || whole.size() + part.size() == 0) {
    return false;
  }
  if (exponent == std::string_view::npos) return true;
  std::string_view power = text.substr(exponent + 1);
  if (!power.empty() && (power[0] == '+' || power[0] == '-')) power.remove_prefix(1);
  return AllDigits(power);
}

// Whether `text` holds a byte below a blank: eight bytes at a time (a byte below 0x20 borrows
// into its own top bit, which no byte of 0x20 or more whose top bit is clear does), then byte by
// byte.
bool HasControl(std::string_view text) {
  constexpr uint64_t kBlanks = 0x2020202020202020;
  constexpr uint64_t kTops = 0x8080808080808080;
  uint64_t found = 0;
  size_t k = 0;
  for (; k + 8 <= text.size(); k += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + k, sizeof word);
    found |= (word - kBlanks) & ~word & kTops;
  }
  for (; k < text.size(); ++k) found |= static_cast<unsigned char>(text[k]) < ' ' ? 1 : 0;
  return found != 0;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The 1-based place of a value among a field's levels; 0 when it is none of them. A value of
// one character, as most levels are, is found by a table.
class Levels {
 public:
  explicit Levels(const std::vector<std::string>& levels) : levels_(levels) {
    // (The first of levels typed twice is the one found.)
    for (size_t k = levels.size(); k-- > 0;) {
      if (levels[k].size() == 1) one_[static_cast<unsigned char>(levels[k][0])] = static_cast<uint32_t>(k + 1);
    }
  }
  size_t operator()(std::string_view value) const {
    if (value.size() == 1) return one_[static_cast<unsigned char>(value[0])];
    for (size_t k = 0; k < levels_.size(); ++k) {
      if (levels_[k] == value) return k + 1;
    }
    return 0;
  }

 private:
  const std::vector<std::string>& levels_;
  std::array<uint32_t, 256> one_{};
};

// What a frame run reads of each record, and where it lays each field out.
class RecordLayout {
 public:
  RecordLayout(const FrameHeader& header, const ConversionSettings& s)
      : s_(s), lost_(s.frame_fields.lost), ages_(s.frame_fields.ages), groups_(s.frame_fields.groups) {
    const FrameFields& f = s.frame_fields;
    history_ = Field(header, f.history);
    frequency_ = s.frqcol1 > 0 ? Field(header, f.frequency) : -1;
    fate_ = s.fatecol > 0 ? Field(header, f.fate) : -1;
    age_ = s.agecol > 0 && s.nage > 1 ? Field(header, f.age) : -1;
    group_ = s.grpcol > 0 && s.ngroups > 1 ? Field(header, f.group) : -1;
    width_ = static_cast<size_t>(std::max({s.nyrs, s.fatecol, s.agecol, s.grpcol, s.frqcol2}));
  }

  // Appends the line of the record whose fields are `fields`; false, with `fault`, for a record
  // the run cannot take.
  bool Line(const std::vector<std::string_view>& fields, std::string& out, std::string& fault) const {
    const std::string_view history = fields[static_cast<size_t>(history_)];
    if (!History(history, fault)) return false;
    const size_t at = out.size();
    out.append(history);
    out.append(width_ - history.size(), ' ');
    if (fate_ >= 0) {
      const std::string_view fate = fields[static_cast<size_t>(fate_)];
      if (lost_(fate) > 0) out[at + static_cast<size_t>(s_.fatecol) - 1] = 'X';
    }
    const FrameFields& f = s_.frame_fields;
    if (age_ >= 0 && !Code(fields[static_cast<size_t>(age_)], ages_, s_.acodes, s_.agecol, out, at)) {
      fault = Unknown("age", fields[static_cast<size_t>(age_)], f.age, f.ages);
      return false;
    }
    if (group_ >= 0 && !Code(fields[static_cast<size_t>(group_)], groups_, s_.gcodes, s_.grpcol, out, at)) {
      fault = Unknown("group", fields[static_cast<size_t>(group_)], f.group, f.groups);
      return false;
    }
    if (frequency_ >= 0 && !Frequency(fields[static_cast<size_t>(frequency_)], out, at, fault)) return false;
    out += '\n';
    return true;
  }

 private:
  static int Field(const FrameHeader& header, const std::string& name) {
    const int k = FieldNamed(header, name);
    if (k < 0) throw FatalStop::Message("The frame has no field named " + Quoted(name));
    return k;
  }

  bool History(std::string_view history, std::string& fault) const {
    const auto periods = static_cast<size_t>(s_.nyrs);
    if (history.size() == periods && !HasControl(history)) return true;
    const std::string said = "history " + Quoted(history);
    if (history.size() != periods && DecimalNumber(history)) {
      fault = said + " is a number with a decimal point: a spreadsheet may have stored it as a number (store the "
                     "field as text)";
      return false;
    }
    if (history.size() != periods) {
      fault = said + " has " + Counted(static_cast<int64_t>(history.size()), "character") + " for " +
              Counted(s_.nyrs, "period");
      if (history.size() < periods && AllDigits(history)) {
        fault += ": a spreadsheet may have dropped leading zeros (store the field as text)";
      }
      return false;
    }
    fault = said + " holds a control character";
    return false;
  }

  // Writes the code of the level `value` is at `column`; false for a value that is none of
  // the levels typed.
  static bool Code(std::string_view value, const Levels& levels, const std::string& codes, int32_t column,
                   std::string& out, size_t at) {
    const size_t level = levels(value);
    if (level == 0) return false;
    out[at + static_cast<size_t>(column) - 1] = codes[level - 1];
    return true;
  }
  static std::string Unknown(const std::string& what, std::string_view value, const std::string& field,
                             const std::vector<std::string>& levels) {
    std::string typed;
    for (const std::string& level : levels) typed += (typed.empty() ? "" : ", ") + level;
    return what + " " + Quoted(value) + " in field " + Quoted(field) + " is none of the " + what +
           " levels typed (" + typed + ")";
  }

  // Writes the frequency right-justified in its columns; an empty field stays blank, as a blank
  // frequency field of a fixed-column file.
  bool Frequency(std::string_view text, std::string& out, size_t at, std::string& fault) const {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return true;
    if (text.front() == '+') text.remove_prefix(1);
    const std::string_view digits = text.front() == '-' ? text.substr(1) : text;
    if (!AllDigits(digits) || text.size() > static_cast<size_t>(kFrameFrequencyWidth)) {
      fault = "frequency " + Quoted(text) + " in field " + Quoted(s_.frame_fields.frequency) +
              " is not a whole number of at most " + std::to_string(kFrameFrequencyWidth) + " characters";
      return false;
    }
    const auto last = at + static_cast<size_t>(s_.frqcol2);
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(last - text.size()));
    return true;
  }

  const ConversionSettings& s_;
  const Levels lost_;
  const Levels ages_;
  const Levels groups_;
  int history_ = -1;
  int frequency_ = -1;
  int fate_ = -1;
  int age_ = -1;
  int group_ = -1;
  size_t width_ = 0;
};

// What one part read: its records in columns, the line ends it passed, and its first fault.
struct FramePart {
  std::string columns;
  int64_t lines = 0;
  uint64_t end = 0;  // where the part stopped reading: a line start, or the end of the file
  int64_t fault_line = -1;  // lines of the part before the fault's line; -1: none
  std::string fault;
};

class PartReading {
 public:
  PartReading(const InputFile& input, const FrameHeader& header, const RecordLayout& layout)
      : input_(input), header_(header), layout_(layout) {}

  // Reads the records of [begin, end), which starts and ends at the start of a line, or only up
  // to the first record that starts at or after `enough`, a block at a time into `buffer`.
  void Read(uint64_t begin, uint64_t end, FramePart& part, uint64_t enough, std::vector<char>& buffer) const {
    part.end = begin;
    if (begin >= enough) return;
    // (A record laid out in columns is mostly no longer than in the frame.)
    part.columns.reserve(static_cast<size_t>(std::min(end, enough) - begin));
    FrameRecordParser parser(header_.separator);
    parser.NameFields(header_);
    buffer.resize(kFrameBlock + kMostFrameRecordBytes);
    std::vector<std::string_view> fields;
    uint64_t offset = begin;
    size_t have = 0;
    for (;;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size() - have, end - offset));
      const ssize_t got = want == 0 ? 0 : input_.ReadAt(offset, buffer.data() + have, want);
      if (got < 0) throw FatalStop::Message("Can't read the input file " + input_.name());
      offset += static_cast<uint64_t>(got);
      have += static_cast<size_t>(got);
      const bool at_end = offset >= end || got == 0;
      const char* p = buffer.data();
      const char* const stop = buffer.data() + have;
      while (p < stop) {
        const FrameRead read = parser.Read(p, stop, at_end);
        if (read == FrameRead::kMore) break;
        if (read == FrameRead::kFault) return Fault(part, part.lines + parser.fault_line(), parser.fault());
        if (read == FrameRead::kRecord) {
          std::string fault;
          if (!HeaderFields(header_, parser, fields, fault) || !layout_.Line(fields, part.columns, fault)) {
            return Fault(part, part.lines, fault);
          }
        }
        part.lines += parser.line_ends();
        part.end = offset - static_cast<uint64_t>(stop - p);
        if (part.end >= enough) return;
      }
      if (at_end) return;
      const auto used = static_cast<size_t>(p - buffer.data());
      if (used == 0 && have == buffer.size()) {
        return Fault(part, part.lines,
                     "a record longer than " + GroupedDigits(static_cast<int64_t>(kMostFrameRecordBytes)) +
                         " bytes (is a quote never closed?)");
      }
      std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(used), buffer.begin() + static_cast<std::ptrdiff_t>(have),
                buffer.begin());
      have -= used;
    }
  }

 private:
  static void Fault(FramePart& part, int64_t line, std::string fault) {
    part.fault_line = line;
    part.fault = std::move(fault);
  }

  const InputFile& input_;
  const FrameHeader& header_;
  const RecordLayout& layout_;
};

// Calls `each(offset, bytes)` for the bytes of [begin, end) block by block.
template <typename Each>
void EachBlock(const InputFile& input, uint64_t begin, uint64_t end, Each each) {
  std::vector<char> block(std::min<uint64_t>(kFrameBlock, end - begin));
  for (uint64_t at = begin; at < end;) {
    const ssize_t got = input.ReadAt(at, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), end - at)));
    if (got <= 0) throw FatalStop::Message("Can't read the input file " + input.name());
    if (!each(at, std::string_view(block.data(), static_cast<size_t>(got)))) return;
    at += static_cast<uint64_t>(got);
  }
}

// The first line start at or after the byte at `at`, where the quotes before `at` leave it
// inside quotes (`inside`) or not; the file's size when there is none.
uint64_t LineStartFrom(const InputFile& input, uint64_t at, bool inside) {
  uint64_t start = input.size();
  if (at == 0) return 0;
  // The byte before `at` may end a line; a quote there was among those before `at`.
  char before = '\0';
  if (input.ReadAt(at - 1, &before, 1) == 1 && before == '"') inside = !inside;
  EachBlock(input, at - 1, input.size(), [&](uint64_t offset, std::string_view bytes) {
    for (size_t k = 0; k < bytes.size(); ++k) {
      const char c = bytes[k];
      if (c == '"') {
        inside = !inside;
        continue;
      }
      if (inside || (c != '\n' && c != '\r')) continue;
      if (c == '\r') {
        char next = '\0';
        const uint64_t after = offset + k + 1;
        if (k + 1 < bytes.size()) {
          next = bytes[k + 1];
        } else if (after < input.size() && input.ReadAt(after, &next, 1) != 1) {
          next = '\0';
        }
        if (next == '\n') continue;
      }
      start = offset + k + 1;
      return false;
    }
    return true;
  });
  return start;
}

// Reads a frame's records window by window, each window in parts at once, and hands on each
// window's records laid out in columns, in file order. A window starts at a line start outside
// quotes; the quotes of its nominal parts, counted at once, give where each part but the last
// starts exactly (frame_reader.h), and the last part reads on to the first line start past the
// window's nominal end, where the next window starts.  Lines are counted on from window to window.
class WindowReading {
 public:
  WindowReading(const InputFile& input, const FrameHeader& header, const ConversionSettings& s)
      : input_(input), layout_(header, s), reading_(input, header, layout_), line_(header.header_lines) {}

  // Reads the window that starts at bounds.front(), whose nominal parts are [bounds[k],
  // bounds[k + 1]), and calls `each(k, columns)` with part k's records laid out in columns, in
  // the part's own thread, once it is read (in the room of the window before, so that window
  // after window takes no new memory); a record that cannot be read stops the run naming its
  // line once every part is done. Returns where the window ended exactly: at the first line
  // start outside quotes at or after bounds.back(), where its last part, read on past its
  // nominal end, stopped.
  template <typename Each>
  uint64_t Read(const std::vector<uint64_t>& bounds, Each each) {
    const size_t count = bounds.size() - 1;
    // (The last part's quotes set no start.)
    std::vector<uint64_t> quotes(count - 1, 0);
    if (!quotes.empty()) {
      RunPartsCarried(quotes.size(), [&](size_t k) {
        EachBlock(input_, bounds[k], bounds[k + 1], [&](uint64_t, std::string_view bytes) {
          quotes[k] += static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), '"'));
          return true;
        });
      });
    }
    std::vector<uint64_t> exact{bounds.front()};
    uint64_t before = 0;
    for (size_t k = 1; k < count; ++k) {
      before += quotes[k - 1];
      exact.push_back(std::max(exact.back(), LineStartFrom(input_, bounds[k], before % 2 == 1)));
    }
    exact.push_back(input_.size());
    std::vector<FramePart> parts(count);
    if (buffers_.size() < count) buffers_.resize(count);
    if (columns_.size() < count) columns_.resize(count);
    for (size_t k = 0; k < count; ++k) {
      parts[k].columns = std::move(columns_[k]);
      parts[k].columns.clear();
    }
    RunPartsCarried(count, [&](size_t k) {
      reading_.Read(exact[k], exact[k + 1], parts[k], k + 1 < count ? exact[k + 1] : bounds.back(), buffers_[k]);
      if (parts[k].fault_line < 0) each(k, parts[k].columns);
    });
    for (size_t k = 0; k < count; ++k) {
      if (parts[k].fault_line >= 0) {
        throw FatalStop::Message("line " + GroupedDigits(line_ + parts[k].fault_line + 1) + ": " + parts[k].fault);
      }
      line_ += parts[k].lines;
      columns_[k] = std::move(parts[k].columns);
    }
    return parts.back().end;
  }

 private:
  const InputFile& input_;
  const RecordLayout layout_;
  const PartReading reading_;
  int64_t line_;  // lines before the window
  std::vector<std::vector<char>> buffers_;  // each part's, kept from window to window
  std::vector<std::string> columns_;        // likewise
};

}  // namespace

// The reading of the windows one after another.
struct FrameWindows::Reading {
  Reading(const InputFile& input, const FrameHeader& frame_header, const ConversionSettings& s)
      : header(frame_header), windows(input, header, s), begin(header.records_start) {}
  const FrameHeader header;  // (the reading keeps a reference to it)
  WindowReading windows;
  uint64_t begin;  // where the next window starts
};

FrameWindows::FrameWindows(const InputFile& input, const FrameHeader& header, const ConversionSettings& s,
                           int threads, uint64_t window)
    : input_(input),
      s_(s),
      threads_(threads),
      window_(std::max<uint64_t>(window, 1)),
      reading_(std::make_unique<Reading>(input, header, s)) {}

FrameWindows::~FrameWindows() = default;

size_t FrameWindows::MostParts() const {
  const uint64_t begin = std::min(reading_->begin, input_.size());
  return static_cast<size_t>(PartsFor(threads_, std::min(window_, input_.size() - begin)));
}

size_t FrameWindows::Next(const std::function<void(size_t, std::string&)>& part) {
  const uint64_t begin = reading_->begin;
  if (begin >= input_.size()) return 0;
  const uint64_t nominal_end = std::min(input_.size(), begin + window_);
  const auto count = static_cast<uint64_t>(PartsFor(threads_, nominal_end - begin));
  std::vector<uint64_t> bounds;
  for (uint64_t k = 0; k <= count; ++k) bounds.push_back(begin + (nominal_end - begin) * k / count);
  reading_->begin = reading_->windows.Read(bounds, part);
  return static_cast<size_t>(count);
}

void FrameWindows::PutInPlace(InputFile& input) { ConvertFrame(input, s_, threads_); }

FrameHeader HeaderOf(const InputFile& input) {
  const auto look = static_cast<size_t>(std::min<uint64_t>(input.size(), kFrameLookBytes));
  std::string start(look, '\0');
  const ssize_t got = look == 0 ? 0 : input.ReadAt(0, start.data(), look);
  if (got < 0) throw FatalStop::Message("Can't read the input file " + input.name());
  start.resize(static_cast<size_t>(got));
  FrameHeader header;
  const std::string problem =
      ReadFrameHeader(start, static_cast<size_t>(input.DataStart()), input.size() <= kFrameLookBytes, header);
  if (!problem.empty()) throw FatalStop::Message(problem + " (" + input.name() + ", read with --frame)");
  return header;
}

std::string FrameColumns(const InputFile& input, const FrameHeader& header, const ConversionSettings& s,
                         const std::vector<uint64_t>& starts) {
  std::vector<uint64_t> bounds{header.records_start};
  for (const uint64_t at : starts) bounds.push_back(std::clamp(at, bounds.back(), input.size()));
  bounds.push_back(input.size());
  std::vector<std::string> parts(bounds.size() - 1);
  WindowReading(input, header, s).Read(bounds, [&](size_t k, std::string& part) { parts[k] = part; });
  std::string columns;
  for (const std::string& part : parts) columns += part;
  return columns;
}

void EachFrameWindow(const InputFile& input, const FrameHeader& header, const ConversionSettings& s, int threads,
                     uint64_t window, const std::function<void(std::string_view)>& write) {
  FrameWindows windows(input, header, s, threads, window);
  std::vector<std::string> parts(windows.MostParts());
  const auto each = [&](size_t k, const std::string& part) { parts[k].assign(part); };
  for (size_t count; (count = windows.Next(each)) > 0;) {
    for (size_t k = 0; k < count; ++k) write(parts[k]);
  }
}

std::string FrameLook(const InputFile& input, const ConversionSettings& s, int threads, int64_t lines) {
  // (Windows no larger than the dialogue's look, so that the look adds little to the run's memory.)
  FrameWindows windows(input, HeaderOf(input), s, threads, kFrameLookBytes);
  std::string look;
  std::vector<std::string> parts(windows.MostParts());
  const auto each = [&](size_t k, const std::string& part) { parts[k].assign(part); };
  for (size_t count; std::count(look.begin(), look.end(), '\n') < lines && (count = windows.Next(each)) > 0;) {
    for (size_t k = 0; k < count; ++k) look += parts[k];
  }
  return look;
}

void ConvertFrame(InputFile& input, const ConversionSettings& s, int threads) {
  const FrameHeader header = HeaderOf(input);
  // Unnamed and outside the folder: the system removes it when the run ends, however it ends.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> columns(std::tmpfile(), &std::fclose);
  const auto fail = [](int error) {
    throw FatalStop::Message("Can't keep the frame's records laid out in columns in a temporary file: " +
                             std::string(std::strerror(error != 0 ? error : EIO)));
  };
  if (!columns) fail(errno);
  EachFrameWindow(input, header, s, threads, kFrameWindow, [&](std::string_view lines) {
    if (std::fwrite(lines.data(), 1, lines.size(), columns.get()) != lines.size()) fail(errno);
  });
  if (std::fflush(columns.get()) != 0) fail(errno);
  const int refused = input.OpenStream(columns.get(), input.name());
  if (refused != 0) fail(refused);
}

}  // namespace haplovex
