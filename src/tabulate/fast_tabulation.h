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
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <cstring>
#include <span>
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
  std::vector<uint32_t> bt;    // next captures, by pair, as the converter lays them out
  std::vector<uint32_t> last;  // releases at the last capture, laid out as its table n
  bool wrapped = false;        // a count passed what 32 bits hold (far past its limit)
  int64_t nrec = 0;            // records read
  int64_t nanim = 0;           // animals read
  RecordChecks checks;         // record numbers counted from the part's first record
  std::vector<uint64_t> caught;  // for a report: animals caught by period and stratum
  bool gave_up = false;        // the plain way must read the records instead
};

// Adds `freq` to a count of a part's tally, noting in `wrapped` a count that passes 32 bits.
inline void AddTo(uint32_t& count, uint32_t freq, bool& wrapped) {
  wrapped |= __builtin_add_overflow(count, freq, &count);
}

// A record's captures one at a time, period and stratum, for a converter's late counting:
// from a list of captures, or from a capture mask and the history it was found in.
class CaptureList {
 public:
  explicit CaptureList(std::span<const Capture> captures)
      : at_(captures.data()), end_(captures.data() + captures.size()) {}
  bool Next(int32_t& period, int32_t& stratum) {
    if (at_ == end_) return false;
    period = at_->period;
    stratum = at_->stratum;
    ++at_;
    return true;
  }

 private:
  const Capture* at_;
  const Capture* end_;
};

class CaptureBits {
 public:
  CaptureBits(uint64_t bits, const unsigned char* history, const std::array<int8_t, 256>& code_class)
      : bits_(bits), history_(history), code_class_(code_class) {}
  // The next capture without a branch: true and it when there is one; false, with period 1 and
  // stratum 1, when there is none.
  bool Peek(int32_t& period, int32_t& stratum) const {
    const bool more = bits_ != 0;
    const auto i = static_cast<size_t>(__builtin_ctzll(bits_ | uint64_t{1} << 63));
    period = more ? static_cast<int32_t>(i + 1) : 1;
    stratum = more ? code_class_[history_[i]] : 1;
    return more;
  }
  // Goes past the capture Peek gave, when there was one.
  void Skip() { bits_ &= bits_ - 1; }
  bool Next(int32_t& period, int32_t& stratum) {
    if (bits_ == 0) return false;
    const auto i = static_cast<size_t>(__builtin_ctzll(bits_));
    bits_ &= bits_ - 1;
    period = static_cast<int32_t>(i + 1);
    stratum = code_class_[history_[i]];
    return true;
  }

 private:
  uint64_t bits_;
  const unsigned char* history_;
  const std::array<int8_t, 256>& code_class_;
};

// Captures handed on one at a time, each counted by period and stratum on the way: for the
// report's chart of captures. caught[(period - 1) * strata + (stratum - 1)].
template <typename Captures>
class CountedCaptures {
 public:
  CountedCaptures(Captures captures, uint64_t* caught, int32_t strata, uint32_t freq)
      : captures_(captures), caught_(caught), strata_(strata), freq_(freq) {}
  bool Next(int32_t& period, int32_t& stratum) {
    if (!captures_.Next(period, stratum)) return false;
    caught_[static_cast<size_t>((period - 1) * strata_ + (stratum - 1))] += freq_;
    return true;
  }

 private:
  Captures captures_;
  uint64_t* caught_;
  int32_t strata_;
  uint32_t freq_;
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
#if defined(__SSE2__)
    // Nearly every frequency is one run of digits among blanks, in a field of at most eight
    // columns: read here at once.
    if (frequency_width <= 8) {
      const auto from = static_cast<size_t>(frequency_at);
      const size_t length = from < line.size() ? std::min(frequency_width, line.size() - from) : 0;
      const char* field = line.data() + from;
      // Blanks and digits of the field's columns, as bits.
      const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(field));
      const unsigned keep = (1u << length) - 1;
      const auto digit = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                             _mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                             _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1))))) & keep;
      const auto blank =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))) & keep;
      if ((digit | blank) == keep) {
        uint32_t value = 0;
        if (digit != 0) {
          const int low = __builtin_ctz(digit);
          const int high = 31 - __builtin_clz(digit);
          // Digits with blanks between them are left to the full reader.
          if (digit != (2u << high) - (1u << low)) return decoder.DecodeFields(line, rec);
          for (int i = low; i <= high; ++i) value = value * 10 + static_cast<uint32_t>(field[i] - '0');
        }
        rec.freq = static_cast<int32_t>(value);
        rec.removed = false;
        rec.blank_frequency = digit == 0;
        return true;
      }
    }
#endif
    // Anything else (other characters, wider fields, machines without the vector
    // instructions): the full reader.
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

// The line ends of a block, found 64 bytes at a time.
class LineEnds {
 public:
  // REQUIRES: 64 readable bytes past data[size - 1].
  LineEnds(const char* data, size_t size) : data_(data), size_(size) {}

  // The place of the next line end, or the block's size when there is none left.
  size_t Next() {
    while (bits_ == 0) {
      if (next_ >= size_) return size_;
      bits_ = Chunk(data_ + next_);
      if (size_ - next_ < 64) bits_ &= (uint64_t{1} << (size_ - next_)) - 1;
      base_ = next_;
      next_ += 64;
    }
    const size_t at = base_ + static_cast<size_t>(__builtin_ctzll(bits_));
    bits_ &= bits_ - 1;
    return at;
  }

 private:
  // Bit k for a line end at at[k].
  static uint64_t Chunk(const char* at) {
#if defined(__SSE2__)
    const __m128i nl = _mm_set1_epi8('\n');
    uint64_t bits = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * k));
      bits |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nl)))} << (16 * k);
    }
    return bits;
#else
    uint64_t bits = 0;
    for (int k = 0; k < 64; ++k) bits |= uint64_t{at[k] == '\n'} << k;
    return bits;
#endif
  }

  const char* data_;
  size_t size_;
  size_t next_ = 0;  // the first byte not yet looked at
  size_t base_ = 0;  // where the bits start
  uint64_t bits_ = 0;
};

// A record line as the plain way sees it: the line end and one carriage return before it
// removed, cut at the record width.
inline std::string_view RecordLine(const char* start, size_t length) {
  if (length > 0 && start[length - 1] == '\r') --length;
  return std::string_view(start, length < kLineWidth ? length : kLineWidth);
}

}  // namespace fast_detail

// Reads the part [begin, end) of the file into `tally`, handing every record to
// `count(captures, const DecodedRecord&, PartTally&)` with its captures as a CaptureList or
// CaptureBits.
template <typename Count>
void TallyPart(const FastReading& r, uint64_t begin, uint64_t end, PartTally& tally, Count count) {
  using namespace fast_detail;
  const ConversionSettings& s = r.s;
  const size_t needed = r.decoder.needed();
  const size_t width = r.decoder.width();
  const size_t code_offset = r.decoder.first_code_offset();
  const std::array<int8_t, 256>& code_class = r.decoder.code_class();
  const int64_t highest_age = r.highest_age;
  const int32_t frequency_column = s.frqcol1;
  RecordChecks& checks = tally.checks;

  std::vector<char> buffer(kBlock + kSlack, '\0');
  DecodedRecord rec;
  rec.captures.resize(r.decoder.periods());
  std::string padded;

  const unsigned char* histories[kBatch];
  uint64_t captured[kBatch];
  uint64_t odd[kBatch];
  std::string_view lines[kBatch];
  bool masked[kBatch];

  // A record the masks do not serve: maybe a comment or an empty line, maybe too short, maybe
  // laid out otherwise. False when the part gives up.
  auto other_record = [&](std::string_view line) -> bool {
    if (line.empty() || line[0] == ' ' || line[0] == '/') {
      if (IsCommentLine(line)) {
        ++checks.comment_lines;
        return true;
      }
    }
    const int64_t number = tally.nrec + 1;
    const bool empty = s.frqcol1 > 0 && line.find_first_not_of(' ') == std::string_view::npos;
    if (empty) ++checks.empty_lines;
    if (line.size() < width) {
      if (line.size() < needed && !empty) {
        checks.short_record.Add(1, number, static_cast<int32_t>(line.size()));
      }
      padded.assign(line);
      padded.resize(width, ' ');
      line = padded;
    }
    try {
      r.decoder.Decode(line, number, rec, false);
    } catch (const FatalStop&) {
      return false;
    }
    tally.nrec = number;
    if (rec.ncaptures == 0 && !empty) checks.no_capture.Add(1, number, 0);
    if (rec.odd) r.decoder.CountOddities(line, number, checks.foreign, checks.beyond);
    if (rec.blank_frequency && !empty) checks.blank_frequency.Add(1, number, s.frqcol1);
    tally.nanim += rec.freq;
    if (rec.iage <= 0 || rec.iage > highest_age) return false;
    count(CaptureList(rec.Captures()), rec, tally);
    return true;
  };

  // The lines of one batch: the masks of their histories at once, then every record in order.
  // A line that starts with a blank or "/" may be a comment or empty, and a line too short to
  // hold every field is padded: neither is masked. False when the part gives up.
  size_t batch = 0;
  auto run_batch = [&]() -> bool {
    size_t nmasked = 0;
    for (size_t k = 0; k < batch; ++k) {
      const std::string_view line = lines[k];
      masked[k] = r.use_masks && line.size() >= needed && line[0] != ' ' && line[0] != '/';
      if (masked[k]) {
        histories[nmasked++] = reinterpret_cast<const unsigned char*>(line.data()) + code_offset;
      }
    }
    if (nmasked > 0) r.masks.Find(histories, nmasked, captured, odd);
    size_t m = 0;
    // The counters in locals for the loop: a store to a count could otherwise be taken to
    // change them, and have them read and written again for every record.
    int64_t nrec = tally.nrec;
    int64_t nanim = tally.nanim;
    for (size_t k = 0; k < batch; ++k) {
      if (!masked[k]) {
        tally.nrec = nrec;
        tally.nanim = nanim;
        if (!other_record(lines[k])) return false;
        nrec = tally.nrec;
        nanim = tally.nanim;
        continue;
      }
      const std::string_view line = lines[k];
      if (!r.Fields(line, rec)) return false;
      const uint64_t bits = captured[m];
      const auto* codes = reinterpret_cast<const unsigned char*>(line.data()) + code_offset;
      const int64_t number = ++nrec;
      if (bits == 0) checks.no_capture.Add(1, number, 0);
      if (odd[m] != 0) [[unlikely]] {
        r.decoder.CountOddities(line, number, checks.foreign, checks.beyond);
      }
      ++m;
      if (rec.blank_frequency) checks.blank_frequency.Add(1, number, frequency_column);
      nanim += rec.freq;
      if (rec.iage <= 0 || rec.iage > highest_age) return false;
      count(CaptureBits(bits, codes, code_class), rec, tally);
    }
    tally.nrec = nrec;
    tally.nanim = nanim;
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
    LineEnds ends(buffer.data(), have);
    for (size_t nl = ends.Next(); nl < have; nl = ends.Next()) {
      lines[batch++] = RecordLine(buffer.data() + pos, nl - pos);
      pos = nl + 1;
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
