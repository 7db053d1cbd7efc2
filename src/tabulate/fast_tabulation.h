// The quick way through the records, for both converters: the file is split at line ends
// into parts that threads read at once, in blocks; the histories of up to kBatch records at a
// time are turned into capture masks with vector instructions; and each record is counted
// late: one count per pair of captures and one per release at a last capture, from which the
// converter derives its tables once every part is read.
//
// The quick way only ever gives the tables, counters and record checks the plain way (the
// record stream, one record at a time) gives. Whatever the plain way would stop the run for
// (a bad group code, age code or frequency, a count past its limit, a read error), and
// whatever it alone can report exactly, makes a part give up; the converter then reads the
// records the plain way from the start, which stops the run with exactly its own message.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/fatal.h"
#include "common/text_file.h"
#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/capture_mask.h"
#include "tabulate/decoder.h"
#include "tabulate/record.h"
#include "tabulate/record_stream.h"

namespace haplovex {

// What one thread counts of its part of the file.
struct PartTally {
  std::vector<uint64_t> bt;    // next captures, by pair, as the converter lays them out
  std::vector<uint64_t> last;  // releases at the last capture, laid out as its table n
  int64_t nrec = 0;            // records read
  int64_t nanim = 0;           // animals read
  RecordChecks checks;         // record numbers counted from the part's first record
  bool gave_up = false;        // the plain way must read the records instead
};

// What every part reads with.
struct FastReading {
  FastReading(const ConversionSettings& s, const InputFile& input, int64_t highest_age);

  // Decodes age, group, fate and frequency as RecordDecoder::DecodeFields does, from a line
  // that may end before the last column read; false where the plain way would stop.
  bool Fields(std::string_view line, DecodedRecord& rec) const {
    auto at = [line](int32_t offset) {
      return static_cast<size_t>(offset) < line.size() ? line[static_cast<size_t>(offset)] : ' ';
    };
    if (age_at >= 0) rec.iage = ages(at(age_at));
    if (group_at >= 0) {
      rec.igrp = groups(at(group_at));
      if (rec.igrp <= 0 || rec.igrp > s.ngroups) return false;
    }
    if (fate_at >= 0) rec.fate = at(fate_at);
    if (frequency_at < 0) return true;
    // Nearly every frequency is blanks and at most nine digits; anything else is read by the
    // full reader.
    const auto from = static_cast<size_t>(frequency_at);
    const size_t length = from < line.size() ? std::min(frequency_width, line.size() - from) : 0;
    const char* field = line.data() + from;
    uint32_t value = 0;
    int digits = 0;
    size_t i = 0;
    for (; i < length; ++i) {
      const unsigned digit = static_cast<unsigned char>(field[i]) - unsigned{'0'};
      if (digit < 10) {
        value = value * 10 + digit;
        ++digits;
      } else if (field[i] != ' ') {
        break;
      }
    }
    if (i == length && digits <= 9) {
      rec.freq = static_cast<int32_t>(value);
      rec.removed = false;
      rec.blank_frequency = digits == 0;
      return true;
    }
    return decoder.DecodeFields(line, rec);
  }

  const ConversionSettings& s;
  const InputFile& input;
  RecordDecoder decoder;
  CaptureMasks masks;
  bool use_masks;     // the histories stand in consecutive columns and fit a mask
  int64_t highest_age;
  CodeLookup ages;
  CodeLookup groups;
  // 0-based offsets of the fields read, -1 for those not read.
  int32_t age_at;
  int32_t group_at;
  int32_t fate_at;
  int32_t frequency_at;
  size_t frequency_width;
};

// Splits the file into up to `parts` byte ranges that begin at the start of a line; fewer
// when the file has fewer lines. Each is [begin, end); the last one reads on to the end of the
// file, however long it has become.
std::vector<std::pair<uint64_t, uint64_t>> SplitAtLines(const InputFile& input, int parts);

// The number of parts for `threads` (0: as many as help on this machine) and a file of
// `bytes`: one for a small file, unless `threads` asks for more.
int PartsFor(int threads, uint64_t bytes);

namespace fast_detail {

constexpr size_t kBlock = size_t{256} << 10;  // bytes read at a time by each part
constexpr size_t kSlack = CaptureMasks::kReach + 8;  // readable bytes after every line
constexpr size_t kBatch = 64;                  // records whose masks are found together

// A record line as the plain way sees it: the line end and one carriage return before it
// removed, cut at the record width.
inline std::string_view RecordLine(const char* start, size_t length) {
  if (length > 0 && start[length - 1] == '\r') --length;
  return std::string_view(start, length < kLineWidth ? length : kLineWidth);
}

}  // namespace fast_detail

// Reads the part [begin, end) of the file into `tally`, handing every record to
// `count(const DecodedRecord&, PartTally&)`; the record's captures are rec.Captures().
template <typename Count>
void TallyPart(const FastReading& r, uint64_t begin, uint64_t end, PartTally& tally, Count count) {
  using namespace fast_detail;
  const ConversionSettings& s = r.s;
  const size_t needed = r.decoder.needed();
  const size_t width = r.decoder.width();
  const size_t periods = r.decoder.periods();
  const size_t code_offset = r.decoder.first_code_offset();
  const std::array<int8_t, 256>& code_class = r.decoder.code_class();
  RecordChecks& checks = tally.checks;

  std::vector<char> buffer(kBlock + kSlack, '\0');
  DecodedRecord rec;
  rec.captures.resize(periods);
  std::string padded;

  const unsigned char* histories[kBatch];
  uint64_t captured[kBatch];
  uint64_t odd[kBatch];
  std::string_view lines[kBatch];
  size_t masked[kBatch];  // for each line, its place among the masked histories, or kBatch

  // One record; false when the part gives up.
  auto record = [&](std::string_view line, size_t k) -> bool {
    if (line.empty() || line[0] == ' ' || line[0] == '/') {
      if (IsCommentLine(line)) {
        ++checks.comment_lines;
        return true;
      }
    }
    const int64_t number = tally.nrec + 1;
    const bool empty = s.frqcol1 > 0 && (line.empty() || line[0] == ' ') &&
                       line.find_first_not_of(' ') == std::string_view::npos;
    if (empty) ++checks.empty_lines;
    bool is_odd;
    if (masked[k] < kBatch) {
      if (!r.Fields(line, rec)) return false;
      uint64_t bits = captured[masked[k]];
      const auto* codes = reinterpret_cast<const unsigned char*>(line.data()) + code_offset;
      size_t n = 0;
      while (bits != 0) {
        const auto i = static_cast<size_t>(__builtin_ctzll(bits));
        rec.captures[n++] = Capture{static_cast<int32_t>(i + 1), code_class[codes[i]]};
        bits &= bits - 1;
      }
      rec.ncaptures = n;
      is_odd = odd[masked[k]] != 0;
    } else {
      std::string_view whole = line;
      if (line.size() < width) {
        if (line.size() < needed && !empty) {
          checks.short_record.Add(1, number, static_cast<int32_t>(line.size()));
        }
        padded.assign(line);
        padded.resize(width, ' ');
        whole = padded;
      }
      try {
        r.decoder.Decode(whole, number, rec, false);
      } catch (const FatalStop&) {
        return false;
      }
      is_odd = rec.odd;
      line = whole;
    }
    tally.nrec = number;
    if (rec.ncaptures == 0 && !empty) checks.no_capture.Add(1, number, 0);
    if (is_odd) [[unlikely]] {
      r.decoder.CountOddities(line, number, checks.foreign, checks.beyond);
    }
    if (rec.blank_frequency && !empty) checks.blank_frequency.Add(1, number, s.frqcol1);
    tally.nanim += rec.freq;
    if (rec.iage <= 0 || rec.iage > r.highest_age) return false;
    count(rec, tally);
    return true;
  };

  // The lines of one batch: masks first, then every record in order.
  size_t batch = 0;
  auto run_batch = [&]() -> bool {
    size_t nmasked = 0;
    for (size_t k = 0; k < batch; ++k) {
      masked[k] = kBatch;
      const std::string_view line = lines[k];
      if (!r.use_masks || line.size() < needed) continue;
      if (line.empty() || line[0] == ' ' || line[0] == '/') continue;  // maybe a comment
      masked[k] = nmasked;
      histories[nmasked++] = reinterpret_cast<const unsigned char*>(line.data()) + code_offset;
    }
    if (nmasked > 0) r.masks.Find(histories, nmasked, captured, odd);
    for (size_t k = 0; k < batch; ++k) {
      if (!record(lines[k], k)) return false;
    }
    batch = 0;
    return true;
  };

  uint64_t offset = begin;
  size_t have = 0;  // bytes of buffer holding data: a line carried over, then what was read
  for (;;) {
    // A line longer than a block is left to the plain way.
    if (have == kBlock) {
      tally.gave_up = true;
      return;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock - have, end - offset));
    const ssize_t got = want == 0 ? 0 : r.input.ReadAt(offset, buffer.data() + have, want);
    if (got < 0) {
      tally.gave_up = true;
      return;
    }
    offset += static_cast<uint64_t>(got);
    have += static_cast<size_t>(got);
    const bool at_end = got == 0 || offset >= end;
    std::memset(buffer.data() + have, 0, kSlack);
    size_t pos = 0;
    while (pos < have) {
      const void* nl = std::memchr(buffer.data() + pos, '\n', have - pos);
      if (nl == nullptr) break;
      const size_t length = static_cast<size_t>(static_cast<const char*>(nl) - buffer.data()) - pos;
      lines[batch++] = RecordLine(buffer.data() + pos, length);
      pos += length + 1;
      if (batch == kBatch && !run_batch()) {
        tally.gave_up = true;
        return;
      }
    }
    if (at_end) {
      // The last line of the file may have no line end.
      if (pos < have) lines[batch++] = RecordLine(buffer.data() + pos, have - pos);
      if (!run_batch()) tally.gave_up = true;
      return;
    }
    if (!run_batch()) {
      tally.gave_up = true;
      return;
    }
    std::memmove(buffer.data(), buffer.data() + pos, have - pos);
    have -= pos;
  }
}

}  // namespace haplovex
