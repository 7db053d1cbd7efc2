// The quick way through the records, for both converters: the file is split at line ends
// into parts that threads read at once, in blocks; the histories of up to kBatch records at a
// time are turned into capture masks with vector instructions; and each record is counted
// late: one count per pair of captures and one per release at a last capture, from which the
// converter derives its tables once every part is read. A batch whose records are all clean
// (every field there and simply written, a capture, nothing odd, nothing to warn of) is read
// whole, its fields looked up with no branch a record; any other batch is read with care,
// record by record.
//
// The quick way only ever gives the tables, counters and record checks the plain way (the
// record stream, one record at a time) gives. Whatever the plain way would stop the run for
// (a bad group code, age code or frequency, a count past its limit, a read error), and
// whatever it alone can report exactly, makes a part give up; the converter then reads the
// records the plain way from the start, which stops the run with exactly its own message.
#pragma once

#include <cstddef>
#include <cstdint>
#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
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

// The record path is compiled twice, for the machines of the last decade (256-bit vectors,
// bit-manipulation instructions) and for any x86-64; the first the machine can run is chosen
// when the program starts.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define HAPLOVEX_RECORD_PATH_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define HAPLOVEX_RECORD_PATH_CLONES
#endif

namespace haplovex {

// What one thread counts of its part of the file. A record adds to a count at most once (its
// pairs of captures are pairs of different periods), so no count of a part exceeds the part's
// animals; a part whose animals pass 32 bits passes the run's limit on animals too, and the
// run then reads the records the plain way. The counts therefore never wrap.
struct PartTally {
  std::vector<uint32_t> bt;    // next captures, by pair, as the converter lays them out
  std::vector<uint32_t> last;  // releases at the last capture, laid out as its table n
  int64_t nrec = 0;            // records read
  int64_t nanim = 0;           // animals read
  RecordChecks checks;         // record numbers counted from the part's first record
  std::vector<uint64_t> caught;  // for a report: animals caught by period and stratum
  // Where the converter tells the report's captures from its pairs: the last captures of
  // animals not released there, laid out as `last` (which, with them, holds every last
  // capture).
  std::vector<uint32_t> lost;
  bool gave_up = false;        // the plain way must read the records instead
};

// Counts after bt in a part's tally, to which counting with no branch adds nothing: many,
// so that records one after the other seldom add to the same one and wait for each other.
inline constexpr size_t kSpareCounts = 64;

// A capture's place in a converter's tables of offsets: kKeyStride places a period, one a
// stratum (there are at most 26). kMaskKeys covers the periods of any capture mask and the
// key of no capture that CaptureBits::Peek gives.
inline constexpr size_t kKeyStride = 32;
inline constexpr size_t kMaskKeys = 66 * kKeyStride;
[[gnu::always_inline]] inline size_t CaptureKey(int32_t period, int32_t stratum) {
  return static_cast<size_t>(period) * kKeyStride + static_cast<size_t>(stratum);
}

// What late counting needs of a record besides its captures.
struct LateRecord {
  int32_t iage;   // age class at the first capture
  int32_t igrp;   // group
  uint32_t freq;  // animals
  // 1 when released at the last capture, else 0. (Not a bool: a store of one may be taken to
  // change anything, and would have the compiler read the settings again after each record.)
  uint32_t released;
};

inline LateRecord LateOf(const DecodedRecord& rec) {
  return {rec.iage, rec.igrp, static_cast<uint32_t>(rec.freq), NotReleasedAtLast(rec) ? 0u : 1u};
}

// The records of a batch read whole, for a converter's late counting: record k's captures
// are the bits captured[k] (period i + 1 is bit i) of the history at histories[k], and
// code_class gives the stratum of each byte. Every record has a capture and no odd byte.
struct CaptureBatch {
  static constexpr size_t kMost = 128;  // records a batch may hold
  const uint64_t* captured;
  const unsigned char* const* histories;
  const LateRecord* records;
  size_t size;
  const std::array<int8_t, 256>& code_class;
};

// `value`, hidden from the compiler's reasoning: a mask made of a condition stays a mask,
// and is not turned back into a branch that records with and without the condition would
// mispredict.
template <typename T>
[[gnu::always_inline]] inline T Opaque(T value) {
#if defined(__GNUC__)
  asm("" : "+r"(value));
#endif
  return value;
}

// Adds `freq` to counts[at] when `when` holds, and otherwise 0 to one of the spare counts from
// counts[spare] on, with no branch for records with and without to mispredict.
[[gnu::always_inline]] inline void AddWhen(uint32_t* counts, ptrdiff_t at, ptrdiff_t spare,
                                           bool when, uint32_t freq) {
  const ptrdiff_t all = Opaque(-static_cast<ptrdiff_t>(when));
  const ptrdiff_t none = spare + (at & static_cast<ptrdiff_t>(kSpareCounts - 1));
  counts[none + ((at - none) & all)] += freq & static_cast<uint32_t>(all);
}

// A record's captures one at a time, period and stratum, for a converter's late counting:
// from a list of captures, or from a capture mask and the history it was found in.
class CaptureList {
 public:
  explicit CaptureList(std::span<const Capture> captures)
      : at_(captures.data()), end_(captures.data() + captures.size()) {}
  [[gnu::always_inline]] bool Next(int32_t& period, int32_t& stratum) {
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
  // The next capture without a branch: true and it when there is one. When there is none,
  // false with period 64 and the class of the history's 64th byte as the stratum (from -2 to
  // 26), not to be counted: a caller's tables must take such a capture's key (CaptureKey
  // from 64 * kKeyStride - 2 to 64 * kKeyStride + 26).
  [[gnu::always_inline]] bool Peek(int32_t& period, int32_t& stratum) const {
    const auto i = static_cast<size_t>(__builtin_ctzll(bits_ | uint64_t{1} << 63));
    period = static_cast<int32_t>(i + 1);
    stratum = code_class_[history_[i]];
    return bits_ != 0;
  }
  // The captures not yet given, as bits (period i + 1 is bit i), the history and the class
  // of every byte, for counting that works on the bits themselves.
  uint64_t bits() const { return bits_; }
  const unsigned char* history() const { return history_; }
  const std::array<int8_t, 256>& code_class() const { return code_class_; }
  // Goes past the capture Peek gave, when there was one.
  [[gnu::always_inline]] void Skip() { bits_ &= bits_ - 1; }
  [[gnu::always_inline]] bool Next(int32_t& period, int32_t& stratum) {
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
  [[gnu::always_inline]] bool Next(int32_t& period, int32_t& stratum) {
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

// Work on the records of a batch read whole, in rounds: `step(entry)` does one piece of an
// entry's work, updates the entry, and says whether work is left; each round takes every
// entry with work left. A round is a loop of known length with no branch an entry, so that
// records with different amounts of work (captures, pairs, memory releases) cost no
// mispredicted branches, and no record waits for the one before it.
template <typename Entry, typename Step>
[[gnu::always_inline]] inline void InRounds(Entry* entries, size_t waiting, Step step) {
  while (waiting != 0) {
    size_t still = 0;
    for (size_t w = 0; w < waiting; ++w) {
      Entry entry = entries[w];
      const bool more = step(entry);
      entries[still] = entry;
      still += more ? 1 : 0;
    }
    waiting = still;
  }
}

// Adds the animals of every capture of a batch read whole to the report's chart of captures,
// caught[(period - 1) * strata + (stratum - 1)]: in rounds, the first capture left of every
// record in each.
[[gnu::always_inline]] inline void ChartCaptures(const CaptureBatch& batch, uint64_t* caught,
                                                 int32_t strata) {
  struct Pending {
    uint64_t bits;  // the captures left
    size_t k;       // of the record
  };
  Pending pending[CaptureBatch::kMost];
  for (size_t k = 0; k < batch.size; ++k) pending[k] = Pending{batch.captured[k], k};
  // Every record of the batch has a capture.
  InRounds(pending, batch.size, [&](Pending& p) __attribute__((always_inline)) {
    const auto i = static_cast<int32_t>(__builtin_ctzll(p.bits));
    const int32_t stratum = batch.code_class[batch.histories[p.k][i]];
    caught[static_cast<size_t>(i * strata + (stratum - 1))] += batch.records[p.k].freq;
    p.bits &= p.bits - 1;
    return p.bits != 0;
  });
}

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
    // Nearly every frequency is simply written: read as a batch read whole reads it.
    const auto from = static_cast<size_t>(frequency_at);
    uint32_t value = 0;
    if (frequency_width <= 8 && from < line.size() &&
        QuickFrequency(line.data() + from, std::min(frequency_width, line.size() - from), value)) {
      rec.freq = static_cast<int32_t>(value);
      rec.removed = false;
      rec.blank_frequency = false;
      return true;
    }
#endif
    // Anything else (blank or signed fields, wider fields, machines without the vector
    // instructions): the full reader.
    return decoder.DecodeFields(line, rec);
  }

#if defined(__SSE2__)
  // The frequency of a record of a batch read whole: the digits of the field's `length`
  // columns, among blanks and up to a ";", as one 8-byte word. False for anything else (all
  // blank, a sign, digits with blanks between them, any other character), which the careful
  // reading takes. REQUIRES: 1 <= length <= 8, and 8 bytes readable at `field`.
  [[gnu::always_inline]] static bool QuickFrequency(const char* field, size_t length, uint32_t& value) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(field));
    const unsigned columns = (1u << length) - 1;
    const unsigned semicolons =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(';')))) & columns;
    // The columns before the first ";".
    const unsigned keep = semicolons != 0 ? (semicolons & (0u - semicolons)) - 1 : columns;
    const auto digit = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                           _mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                           _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1))))) & keep;
    const auto blank =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))) & keep;
    if ((digit | blank) != keep || digit == 0) return false;
    const int low = __builtin_ctz(digit);
    const int high = 31 - __builtin_clz(digit);
    if (digit != (2u << high) - (1u << low)) return false;
    uint64_t x;
    std::memcpy(&x, field, sizeof x);
    // Digits to their values and blanks to 0; the last digit moved to the top byte, so that
    // zeros lead. Then pairs, fours and the eight digits are combined by multiplication.
    x = (x & 0x0F0F0F0F0F0F0F0FULL) << (8 * (7 - high));
    x = ((x * (10 * 256 + 1)) >> 8) & 0x00FF00FF00FF00FFULL;
    x = ((x * (100 * 65536 + 1)) >> 16) & 0x0000FFFF0000FFFFULL;
    x = (x * ((uint64_t{10000} << 32) + 1)) >> 32;
    value = static_cast<uint32_t>(x);
    return true;
  }
#endif

  const ConversionSettings& s;
  const InputFile& input;
  RecordDecoder decoder;
  CaptureMasks masks;
  bool use_masks;     // the histories stand in consecutive columns and fit a mask
  bool wide_lines;    // line ends are found with 32-byte vectors
  int64_t highest_age;
  CodeLookup ages;
  CodeLookup groups;
  // 0-based offsets of the fields read, -1 for those not read.
  int32_t age_at;
  int32_t group_at;
  int32_t fate_at;
  int32_t frequency_at;
  size_t frequency_width;

  // For batches read whole (see TallyPart), a table for every field, looked up with no
  // branch: a byte's age class (0 where the careful reading must take the record: no age
  // code, or one above the highest taken), its group (0: none), and whether a fate mark
  // leaves the animals released. A field that is not read looks at the first column, in a
  // table that gives every byte class 1, group 1; a fate column past the end of a line reads
  // as a blank. `quick`: batches may be read whole.
  bool quick;
  std::array<int8_t, 256> quick_age{};
  std::array<int8_t, 256> quick_group{};
  std::array<uint8_t, 256> quick_released{};
  std::array<uint8_t, 256> quick_lead{};  // 1 for the first bytes of comments and empty lines
  size_t quick_age_at;
  size_t quick_group_at;
  size_t quick_fate_at;  // SIZE_MAX when there is no fate column
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

constexpr size_t kChunk = 64;  // bytes whose line ends are found at once
// Room for the lines of a batch: a batch is counted once it has kBatch lines, and one chunk
// can hold kChunk more.
constexpr size_t kBatchRoom = kBatch + kChunk;
static_assert(kBatchRoom <= CaptureBatch::kMost);

// Bit k for a line end at at[k]. REQUIRES: kChunk readable bytes at `at`.
[[gnu::always_inline]] inline uint64_t LineEndBits(const char* at) {
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
  for (size_t k = 0; k < kChunk; ++k) bits |= uint64_t{at[k] == '\n'} << k;
  return bits;
#endif
}

#if defined(__x86_64__) && defined(__GNUC__)
// As LineEndBits, with 32-byte vectors, for machines that have them. (Not always inlined:
// only code compiled for such machines may take it in.)
__attribute__((target("avx2"))) inline uint64_t WideLineEndBits(const char* at) {
  const __m256i nl = _mm256_set1_epi8('\n');
  const auto low = static_cast<uint32_t>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), nl)));
  const auto high = static_cast<uint32_t>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32)), nl)));
  return uint64_t{low} | uint64_t{high} << 32;
}
#endif

// A record line as the plain way sees it: the line end and one carriage return before it
// removed, cut at the record width. REQUIRES: start[-1] readable (a line end, or a byte put
// before the block), so that an empty line needs no branch.
[[gnu::always_inline]] inline std::string_view RecordLine(const char* start, size_t length) {
  length -= start[static_cast<ptrdiff_t>(length) - 1] == '\r' ? 1 : 0;
  return std::string_view(start, length < kLineWidth ? length : kLineWidth);
}

}  // namespace fast_detail

// Reads the part [begin, end) of the file into `tally`, handing the records of a batch read
// whole to `count_batch(const CaptureBatch&)`, and every other record to
// `count(captures, const LateRecord&)` with its captures as a CaptureList or CaptureBits.
template <typename Count, typename CountBatch>
HAPLOVEX_RECORD_PATH_CLONES void TallyPart(const FastReading& r, uint64_t begin, uint64_t end,
                                           PartTally& tally, Count count, CountBatch count_batch) {
  using namespace fast_detail;
  const ConversionSettings& s = r.s;
  const size_t needed = r.decoder.needed();
  const size_t width = r.decoder.width();
  const size_t code_offset = r.decoder.first_code_offset();
  const std::array<int8_t, 256>& code_class = r.decoder.code_class();
  const int64_t highest_age = r.highest_age;
  const int32_t frequency_column = s.frqcol1;
  RecordChecks& checks = tally.checks;

  // A line end before the block, then the block, then bytes that may be read past its end.
  std::vector<char> buffer(1 + kBlock + kSlack, '\n');
  char* const data = buffer.data() + 1;
  DecodedRecord rec;
  rec.captures.resize(r.decoder.periods());
  std::string padded;

  const unsigned char* histories[kBatchRoom];
  uint64_t captured[kBatchRoom];
  uint64_t odd[kBatchRoom];
  // Where the lines of the batch start in the block: line k runs from starts[k] to its line
  // end at starts[k + 1] - 1.
  uint32_t starts[kBatchRoom + 1];
  starts[0] = 0;
  auto line_of = [&](size_t k) {
    return RecordLine(data + starts[k], starts[k + 1] - 1 - starts[k]);
  };
  bool masked[kBatchRoom];

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
    count(CaptureList(rec.Captures()), LateOf(rec));
    return true;
  };

  // A batch read whole: the fields of every line looked up with no branch a record, then
  // the masks, then every record counted. Only a batch of records that all hold every field,
  // read simply (see FastReading), with a capture and no odd byte, and that need no warning,
  // is read so; for any other, nothing is counted and false returned, and the batch is read
  // with care.
  size_t batch = 0;
  LateRecord records[kBatchRoom];
  // The frequency fields read whole, by a hash of their bytes: the bytes (those past its
  // columns zero), the columns, and what the field held (-1: not simply written). Most
  // records of a file share a few frequencies, each read once and then found here, with a
  // branch that records of different frequencies do not mispredict.
  struct KnownFrequency {
    uint64_t field = 0;
    uint32_t columns = 0;  // none yet
    int32_t value = -1;
  };
  KnownFrequency known[64];
  auto quick_batch = [&]() __attribute__((always_inline)) -> bool {
#if defined(__SSE2__)
    if (!r.quick) return false;
    const auto frequency_at = static_cast<size_t>(r.frequency_at);
    int32_t unread = 0;  // negative when some record must be read with care
    int64_t nanim = 0;
    for (size_t k = 0; k < batch; ++k) {
      // The record as the plain way sees it, but for its cut at the record width, which no
      // field read here reaches.
      const char* line = data + starts[k];
      size_t length = starts[k + 1] - 1 - starts[k];
      length -= line[static_cast<ptrdiff_t>(length) - 1] == '\r' ? 1 : 0;
      if (length < needed) return false;
      auto byte = [line](size_t at) { return static_cast<unsigned char>(line[at]); };
      LateRecord& record = records[k];
      record.iage = r.quick_age[byte(r.quick_age_at)];
      record.igrp = r.quick_group[byte(r.quick_group_at)];
      record.released = r.quick_released[r.quick_fate_at < length ? byte(r.quick_fate_at) : ' '];
      // Negative for a line that may be a comment or empty, or a class or group of 0.
      unread |= (record.iage - 1) | (record.igrp - 1) | -int32_t{r.quick_lead[byte(0)]};
      if (r.frequency_at >= 0) {
        const size_t columns = std::min(r.frequency_width, length - frequency_at);
        uint64_t field;
        std::memcpy(&field, line + frequency_at, sizeof field);
        field &= ~uint64_t{0} >> (64 - 8 * columns);
        KnownFrequency& frequency = known[(field * 0x9E3779B97F4A7C15ULL) >> 58];
        if (field != frequency.field || columns != frequency.columns) [[unlikely]] {
          uint32_t value;
          const bool simple = FastReading::QuickFrequency(line + frequency_at, columns, value);
          frequency = {field, static_cast<uint32_t>(columns), simple ? static_cast<int32_t>(value) : -1};
        }
        record.freq = static_cast<uint32_t>(frequency.value);
        unread |= frequency.value;
        nanim += frequency.value;
      } else {
        record.freq = 1;
        ++nanim;
      }
      histories[k] = reinterpret_cast<const unsigned char*>(line) + code_offset;
    }
    if (unread < 0) return false;
    if (!r.masks.Find(histories, batch, captured, odd)) return false;
    count_batch(CaptureBatch{captured, histories, records, batch, code_class});
    tally.nrec += static_cast<int64_t>(batch);
    tally.nanim += nanim;
    return true;
#else
    return false;
#endif
  };

  // The lines of one batch: the masks of their histories at once, then every record in order.
  // A line that starts with a blank or "/" may be a comment or empty, and a line too short to
  // hold every field is padded: neither is masked. False when the part gives up.
  auto careful_batch = [&]() -> bool {
    size_t nmasked = 0;
    for (size_t k = 0; k < batch; ++k) {
      const std::string_view line = line_of(k);
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
        if (!other_record(line_of(k))) return false;
        nrec = tally.nrec;
        nanim = tally.nanim;
        continue;
      }
      const std::string_view line = line_of(k);
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
      count(CaptureBits(bits, codes, code_class), LateOf(rec));
    }
    tally.nrec = nrec;
    tally.nanim = nanim;
    return true;
  };
  // A batch read whole where it can be, with care where not; the next batch then starts.
  auto run_batch = [&]() __attribute__((always_inline)) -> bool {
    if (!quick_batch() && !careful_batch()) return false;
    starts[0] = starts[batch];
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
    const ssize_t got = want == 0 ? 0 : r.input.ReadAt(offset, data + have, want);
    if (got < 0) {
      tally.gave_up = true;
      return;
    }
    offset += static_cast<uint64_t>(got);
    have += static_cast<size_t>(got);
    const bool at_end = got == 0 || offset >= end;
    std::memset(data + have, 0, kSlack);
    for (size_t chunk = 0; chunk < have; chunk += kChunk) {
#if defined(__x86_64__) && defined(__GNUC__)
      uint64_t bits = r.wide_lines ? WideLineEndBits(data + chunk) : LineEndBits(data + chunk);
#else
      uint64_t bits = LineEndBits(data + chunk);
#endif
      if (have - chunk < kChunk) bits &= (uint64_t{1} << (have - chunk)) - 1;
      // Records of more than 32 bytes: two lines with no branch to guess how many there are
      // (past the last, starts that are never read); a chunk with more is rare.
      uint32_t* const next = starts + batch + 1;
      const auto base = static_cast<uint32_t>(chunk + 1);
      size_t count = 0;
      for (size_t k = 0; k < 2; ++k) {
        next[k] = base + static_cast<uint32_t>(__builtin_ctzll(bits | uint64_t{1} << 63));
        count += bits != 0 ? 1 : 0;
        bits &= bits - 1;
      }
      while (bits != 0) {
        next[count++] = base + static_cast<uint32_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
      }
      batch += count;
      if (batch >= kBatch && !run_batch()) {
        tally.gave_up = true;
        return;
      }
    }
    // The last line of the file may have no line end.
    if (at_end && starts[batch] < have) starts[++batch] = static_cast<uint32_t>(have + 1);
    if (!run_batch()) {
      tally.gave_up = true;
      return;
    }
    if (at_end) return;
    const size_t pos = starts[0];  // where the line carried over starts
    starts[0] = 0;
    std::memmove(data, data + pos, have - pos);
    have -= pos;
  }
}

}  // namespace haplovex
