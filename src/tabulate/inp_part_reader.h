// The quick way through a file of summarised histories (--inp, see inp_stream.h), for both
// converters: as for fixed columns (fast_tabulation.h), the file is split at line ends into
// parts that threads read at once, in blocks, and every record is counted late, the histories
// of a batch turned into capture masks together.
//
// A part cannot know what it starts in: a comment or a record may run on over the line end
// before it. Each part is read assuming it starts outside a comment at the start of a record.
// The parts are then joined in order (JoinInpParts), and each one's true start is known from
// the part before: where that one ended between records, the assumption held; where not, the
// part is read again from right after the last ";" before it, where it does hold. A part that
// meets an error, or anything else the plain way alone reports, gives up; when its assumption
// held, the plain way then reads the whole file, and stops the run with its own message (when
// not, the part is read again like any other).
//
// Where a record starts, the separators (blanks, tabs, line ends, ";"), the ";" and "/", and
// the line ends of the 64 bytes from there are found as bits with the line-end kernel. A record
// that ends within them with no "/" in it (the usual record of a history and a few counts) is
// split with bit operations on them alone, and so is a comment before a record that ends within
// them; any other record (a comment among its fields, a long record, one across blocks, one in
// error) is read byte by byte by InpFields, as the plain way reads it. Either way its history
// joins a batch, whose masks are found together and whose clean records are counted together.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/limits.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/inp_stream.h"
#include "tabulate/kernels/kernel_set.h"
#include "tabulate/kernels/with_kernels.h"
#include "tabulate/part_reader.h"

namespace haplovex {

// What a part of the file tells the joining besides its tally: lines are counted from the line
// the part starts on (1), records from its first record (1).
struct InpPart {
  int64_t lines = 0;          // line ends read
  bool between = true;        // it ended outside a comment, between records
  bool ended_record = false;  // it holds a ";"; `resume` is right after the last one,
  uint64_t resume = 0;        // where a part after it that must be read again starts
  int64_t resume_line = 1;
  // The part's first record: its number of fields, line and split (SplitDescription).
  int64_t first_fields = 0;
  int64_t first_line = 0;
  std::string first_split;
  // The records whose number of fields differs from the first record's, by that number.
  std::map<int64_t, Sighting> other_fields;
};

// The end of the range of the part that reads on to the end of the file (SplitAtLines).
inline constexpr uint64_t kToFileEnd = std::numeric_limits<uint64_t>::max();

// Adds what a part saw to the checks of the parts before it, which hold `records_before`
// records and end on line `lines_before` + 1, where the part starts: the sightings, the first
// record's split, and the records whose number of fields differs from the file's first record's.
inline void MergeInpPart(RecordChecks& into, const PartTally& tally, const InpPart& part,
                         int64_t records_before, int64_t lines_before) {
  auto merge = [&](Sighting& to, const Sighting& from) { to.Merge(from, records_before, lines_before); };
  merge(into.foreign, tally.checks.foreign);
  merge(into.beyond, tally.checks.beyond);
  merge(into.no_capture, tally.checks.no_capture);
  if (tally.nrec == 0) return;
  if (into.first_fields == 0) {
    into.first_split =
        "line " + std::to_string(part.first_line + lines_before) + ": " + part.first_split;
    into.first_fields = part.first_fields;
  }
  Sighting other;
  if (part.first_fields == into.first_fields) {
    for (const auto& [fields, seen] : part.other_fields) {
      const int64_t count = other.count;
      if (count == 0 || seen.record < other.record) other = seen;
      other.count = count + seen.count;
    }
  } else {
    // Every record of the part but those with the file's first number of fields, the part's
    // first record first.
    other.Add(tally.nrec, 1, part.first_line, FieldsColumn(part.first_fields));
    const auto same = part.other_fields.find(into.first_fields);
    if (same != part.other_fields.end()) other.count -= same->second.count;
  }
  merge(into.other_fields, other);
}

// Joins the parts of `ranges`, each read into tallies[k] and parts[k] assuming it starts
// between records, in order: the checks, records and animals of all of them. A part whose
// assumption was wrong is read again from its true start first, by reread(k, begin), which
// empties tallies[k] and parts[k] and reads [begin, ranges[k].second) into them. False when a
// part (its assumption right) gave up: the plain way must read the file.
template <typename Reread>
bool JoinInpParts(const std::vector<std::pair<uint64_t, uint64_t>>& ranges,
                  std::vector<PartTally>& tallies, std::vector<InpPart>& parts, Reread reread,
                  RecordChecks& checks, int64_t& nrec, int64_t& nanim) {
  uint64_t resume = ranges.front().first;  // after the last ";" so far
  int64_t resume_line = 1;
  int64_t next_line = 1;  // where the next part starts
  for (size_t k = 0; k < ranges.size(); ++k) {
    int64_t first_line = next_line;
    if (k > 0 && !parts[k - 1].between) {
      reread(k, resume);
      first_line = resume_line;
    }
    const PartTally& tally = tallies[k];
    const InpPart& part = parts[k];
    if (tally.read == PartRead::kPlainWay) return false;
    MergeInpPart(checks, tally, part, nrec, first_line - 1);
    nrec += tally.nrec;
    nanim += tally.nanim;
    next_line = first_line + part.lines;
    if (part.ended_record) {
      resume = part.resume;
      resume_line = first_line + part.resume_line - 1;
    }
  }
  return true;
}

// Reads the part [begin, end) of an --inp file (end kToFileEnd: on to the end of the file)
// into `tally` and `part`, handing the groups with animals of the records with a capture and
// nothing odd to `count.Batch(const CaptureBatch&)`, an entry each, and those of every other
// record to `count(captures, const LateRecord&)`. Every member that runs for each record is
// inlined into the one function of each set (ReadInpPart).
template <typename Kernels, typename Count>
class InpPartReader {
 public:
  static constexpr size_t kBlock = kPartBlock;  // bytes read at a time
  // Readable bytes after a block: the 64 bytes a record or comment is looked for in, and the
  // one after them, from the block's last byte on; and a history's reach.
  static constexpr size_t kSlack = std::max(kChunk + 1, CaptureMasks::kReach);
  static constexpr size_t kBatch = 64;  // histories whose masks are found together

  InpPartReader(const FastReading& r, PartTally& tally, InpPart& part, Count count)
      : r_(r),
        tally_(tally),
        part_(part),
        count_(count),
        fields_(r.s),
        groups_(r.s.ngroups),
        periods_(static_cast<size_t>(r.s.nyrs)),
        quick_(r.use_masks),
        // The byte before the block (the one before it in the file), the block, and slack.
        buffer_(1 + kBlock + kSlack, '\n'),
        data_(buffer_.data() + 1) {
    rec_.captures.resize(periods_);
  }

  [[gnu::always_inline]] PartRead Read(uint64_t begin, uint64_t end) {
    uint64_t offset = begin;
    while (offset < end) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock, end - offset));
      const ssize_t got = r_.input.ReadAt(offset, data_, want);
      if (got < 0) return PartRead::kPlainWay;
      if (got == 0) break;
      const auto have = static_cast<size_t>(got);
      std::memset(data_ + have, 0, kSlack);
      if (Block(have, offset) == PartRead::kPlainWay) return PartRead::kPlainWay;
      offset += have;
    }
    tally_.nrec = nrec_;
    tally_.nanim = nanim_;
    part_.lines = (slow_ ? fields_.next_line() : line_) - 1;
    part_.between = !slow_ || fields_.Between();
    part_.ended_record = resume_ != 0;
    part_.resume = resume_;
    part_.resume_line = resume_line_;
    // A record or comment left open at the end of the file is an error.
    if (end == kToFileEnd && !part_.between) return PartRead::kPlainWay;
    return PartRead::kRead;
  }

 private:
  // The records of one block of `have` bytes from `offset` in the file.
  [[gnu::always_inline]] PartRead Block(size_t have, uint64_t offset) {
    size_t p = 0;
    size_t ended = 0;  // right after the last ";" read in the block (0: none)
    int64_t ended_line = 0;
    while (p < have) {
      if (!slow_) {
        const size_t next = quick_ ? QuickRecord(p) : p;
        if (next != p) {
          p = next;
          ended = p;
          ended_line = line_;
          continue;
        }
        // A comment before a record ("/* tag */ 0A00 1 0;"), passed over quickly.
        const size_t after = quick_ ? QuickComment(p) : p;
        if (after != p) {
          p = after;
          continue;
        }
        fields_.Restart(line_, data_[static_cast<ptrdiff_t>(p) - 1] == '\r');
        slow_ = true;
      }
      const char* at = data_ + p;
      p += static_cast<size_t>(fields_.Read(at, data_ + have) - at);
      if (!fields_.complete()) break;
      slow_ = false;
      line_ = fields_.next_line();
      ended = p;
      ended_line = line_;
      if (CarefulRecord() == PartRead::kPlainWay) return PartRead::kPlainWay;
    }
    if (ended != 0) {
      resume_ = offset + ended;
      resume_line_ = ended_line;
    }
    // The masks point into the block.
    FlushBatch();
    // Between records at the end of the block, the next record may be read quickly.
    if (slow_ && fields_.Between()) {
      slow_ = false;
      line_ = fields_.next_line();
    }
    data_[-1] = data_[have - 1];
    return PartRead::kRead;
  }

  // The record that starts at `p` in the block, between records, on line line_: read from
  // the bits of the 64 bytes from `p` when it ends there, has no "/", and its history and
  // counts are as they should be. Returns where the next one starts, or `p` when the record is
  // left to InpFields.
  [[gnu::always_inline]] size_t QuickRecord(size_t p) {
    const char* at = data_ + p;
    // The first ";" or "/": a "/" first may open a comment.
    const uint64_t marks = Kernels::LineEnds(at, LineEndBytes{';', '/'});
    if (marks == 0) return p;
    const auto s = static_cast<unsigned>(__builtin_ctzll(marks));
    if (at[s] != ';') return p;
    const uint64_t before = (uint64_t{1} << s) - 1;  // the record's bytes
    const uint64_t blanks = Kernels::LineEnds(at, LineEndBytes{' ', '\t'});
    const uint64_t breaks = Kernels::LineEnds(at, LineEndBytes{'\n', '\r'});
    // A line feed right after a carriage return is part of its line end. Most records have one
    // line end or none before them, which then needs no telling apart.
    uint64_t ends = breaks & before;
    if ((ends & (ends - 1)) != 0 || data_[static_cast<ptrdiff_t>(p) - 1] == '\r') [[unlikely]] {
      const uint64_t cr = Kernels::LineEnds(at, LineEndBytes{'\r', '\r'});
      const uint64_t cr_before = data_[static_cast<ptrdiff_t>(p) - 1] == '\r' ? 1 : 0;
      ends &= ~(((cr << 1) | cr_before) & ~cr);
    }
    const uint64_t sep = blanks | breaks | (uint64_t{1} << s);
    // Fields start after a separator, or at `p`: the byte before it ended a record, a comment or
    // a line.
    uint64_t starts = ~sep & (sep << 1 | 1) & before;
    if (__builtin_popcountll(starts) < 1 + groups_) return p;
    // A field ends at the first separator after its first byte; the ";" is one.
    auto end_of = [sep](unsigned first) {
      return static_cast<unsigned>(__builtin_ctzll(sep & (~uint64_t{1} << first)));
    };
    const auto h = static_cast<unsigned>(__builtin_ctzll(starts));
    if (end_of(h) - h != periods_) return p;
    starts &= starts - 1;
    // The counts, each group's animals in the record's places in the batch (kept only once
    // every count is read).
    if (batch_ == kBatch) FlushBatch();
    const auto* history = reinterpret_cast<const unsigned char*>(at + h);
    int64_t counts[kMaxCodes];
    int64_t animals = 0;
    LateRecord* const groups = groups_of_ + batch_ * static_cast<size_t>(groups_);
    for (int32_t g = 0; g < groups_; ++g) {
      const auto t = static_cast<unsigned>(__builtin_ctzll(starts));
      starts &= starts - 1;
      int64_t count;
      if (!CountOf(at + t, end_of(t) - t, count)) return p;
      counts[g] = count;
      const auto freq = static_cast<uint32_t>(count < 0 ? -count : count);
      animals += freq;
      groups[g] = LateRecord{1, g + 1, freq, count > 0 ? 1u : 0u};
    }
    const int64_t line = line_ + __builtin_popcountll(ends & ((uint64_t{1} << h) - 1));
    line_ += __builtin_popcountll(ends);
    const int64_t number = ++nrec_;
    const int64_t fields = 1 + groups_ + __builtin_popcountll(starts);
    if (fields != first_fields_) [[unlikely]] {
      NoteFields(number, line, history, counts, fields);
    }
    histories_[batch_] = history;
    lines_[batch_++] = line;
    nanim_ += animals;
    return p + s + 1;
  }

  // The comment that starts at `p` in the block, between records, after blanks and line ends
  // alone, when it ends within the 64 bytes from `p`: returns where it ends (line_ then the line
  // there), or `p` when it does not.
  [[gnu::always_inline]] size_t QuickComment(size_t p) {
    const char* at = data_ + p;
    const uint64_t marks = Kernels::LineEnds(at, LineEndBytes{';', '/'});
    if (marks == 0) return p;
    const auto s = static_cast<unsigned>(__builtin_ctzll(marks));
    // (One that opens past byte 60 does not end within the 64.)
    if (at[s] != '/' || at[s + 1] != '*' || s > 60) return p;
    const uint64_t before = (uint64_t{1} << s) - 1;
    const uint64_t breaks = Kernels::LineEnds(at, LineEndBytes{'\n', '\r'});
    if ((~(Kernels::LineEnds(at, LineEndBytes{' ', '\t'}) | breaks) & before) != 0) return p;
    // Its "*/": a "*" from the byte after its "/*" on, and a "/" right after it.
    const uint64_t closes = Kernels::LineEnds(at, LineEndBytes{'*', '*'}) &
                            (Kernels::LineEnds(at, LineEndBytes{'/', '/'}) >> 1) &
                            (~uint64_t{1} << (s + 1));
    if (closes == 0) return p;
    const auto end = static_cast<unsigned>(__builtin_ctzll(closes)) + 2;  // 4 to 64
    uint64_t ends = breaks & (~uint64_t{0} >> (64 - end));
    if (ends != 0) {
      const uint64_t cr = Kernels::LineEnds(at, LineEndBytes{'\r', '\r'});
      const uint64_t cr_before = data_[static_cast<ptrdiff_t>(p) - 1] == '\r' ? 1 : 0;
      ends &= ~(((cr << 1) | cr_before) & ~cr);
    }
    line_ += __builtin_popcountll(ends);
    return p + end;
  }

  // A count field of `length` bytes at `at`: a sign or none, then digits; its magnitude kept up
  // to kMaxCount + 1. False when it is no whole number.
  [[gnu::always_inline]] static bool CountOf(const char* at, size_t length, int64_t& count) {
    if (length == 1) {
      const unsigned digit = static_cast<unsigned char>(at[0]) - unsigned{'0'};
      count = digit;
      return digit <= 9;
    }
    const size_t sign = at[0] == '-' || at[0] == '+' ? 1 : 0;
    if (length == sign) return false;
    int64_t magnitude = 0;
    for (size_t k = sign; k < length; ++k) {
      const unsigned digit = static_cast<unsigned char>(at[k]) - unsigned{'0'};
      if (digit > 9) return false;
      magnitude = std::min(magnitude * 10 + digit, kMaxCount + 1);
    }
    count = at[0] == '-' ? -magnitude : magnitude;
    return true;
  }

  // The first record of the part, or one whose number of fields differs from the first's.
  [[gnu::noinline]] void NoteFields(int64_t number, int64_t line, const unsigned char* history,
                                    const int64_t* counts, int64_t fields) {
    if (number == 1) {
      first_fields_ = part_.first_fields = fields;
      part_.first_line = line;
      part_.first_split =
          SplitDescription(std::string_view(reinterpret_cast<const char*>(history), periods_),
                           counts, groups_, fields - 1 - groups_, r_.s.gcodes);
    } else {
      part_.other_fields[fields].Add(1, number, line, FieldsColumn(fields));
    }
  }

  // The batch counted: the masks of its histories at once, then the groups with animals of the
  // records with a capture and nothing odd in CaptureBatches, and the others one by one, noted.
  [[gnu::always_inline]] void FlushBatch() {
    if (batch_ == 0) return;
    const bool clean = Kernels::Masks(r_.masks, histories_, batch_, captured_, odd_);
    const auto groups = static_cast<size_t>(groups_);
    size_t whole = 0;  // entries of the CaptureBatch
    for (size_t k = 0; k < batch_; ++k) {
      if (clean || (captured_[k] != 0 && odd_[k] == 0)) [[likely]] {
        if (whole + groups > CaptureBatch::kMost) {
          CountWhole(whole);
          whole = 0;
        }
        for (const LateRecord* group = groups_of_ + k * groups;
             group != groups_of_ + (k + 1) * groups; ++group) {
          records_[whole] = *group;
          batch_captured_[whole] = captured_[k];
          batch_histories_[whole] = histories_[k];
          whole += group->freq != 0 ? 1 : 0;
        }
      } else {
        Unusual(k);
      }
    }
    CountWhole(whole);
    batch_ = 0;
  }

  [[gnu::always_inline]] void CountWhole(size_t entries) {
    if (entries > 0) {
      count_.Batch(CaptureBatch{batch_captured_, batch_histories_, records_, entries,
                                r_.decoder.code_class()});
    }
  }

  // Record k of the batch, with no capture or something odd: noted, and its groups with animals
  // counted one by one.
  [[gnu::noinline]] void Unusual(size_t k) {
    const std::string_view history(reinterpret_cast<const char*>(histories_[k]), periods_);
    // The batch holds the last records read.
    const int64_t number = nrec_ - static_cast<int64_t>(batch_ - k) + 1;
    Note(number, lines_[k], history, captured_[k] != 0, odd_[k] != 0);
    if (captured_[k] == 0) return;
    const auto groups = static_cast<size_t>(groups_);
    for (size_t g = k * groups; g < (k + 1) * groups; ++g) {
      if (groups_of_[g].freq != 0) {
        count_(CaptureBits(captured_[k], histories_[k], r_.decoder.code_class()), groups_of_[g]);
      }
    }
  }

  void Note(int64_t number, int64_t line, std::string_view history, bool caught, bool odd) const {
    RecordChecks& checks = tally_.checks;
    if (!caught) checks.no_capture.Add(1, number, line, 0);
    if (odd) r_.decoder.CountOddities(history, number, line, checks.foreign, checks.beyond);
  }

  // The record InpFields read: checked (one in error is the plain way's to report), noted, and
  // put in the batch, its history copied there; or, when histories do not fit a mask, counted
  // after the records before it.
  [[gnu::noinline]] PartRead CarefulRecord() {
    if (!fields_.Valid()) return PartRead::kPlainWay;
    // A full batch is counted first: its records are numbered back from the last one read.
    if (batch_ == kBatch) FlushBatch();
    const int64_t number = ++nrec_;
    const std::string_view history = fields_.history();
    const int64_t* counts = fields_.counts();
    const int64_t line = fields_.line();
    if (fields_.fields() != first_fields_) {
      NoteFields(number, line, reinterpret_cast<const unsigned char*>(history.data()), counts,
                 fields_.fields());
    }
    int64_t animals = 0;
    if (quick_) {
      std::memcpy(copies_[batch_], history.data(), periods_);
      histories_[batch_] = reinterpret_cast<const unsigned char*>(copies_[batch_]);
      lines_[batch_] = line;
      LateRecord* const groups = groups_of_ + batch_++ * static_cast<size_t>(groups_);
      for (int32_t g = 0; g < groups_; ++g) {
        const int64_t count = counts[g];
        const auto freq = static_cast<uint32_t>(count < 0 ? -count : count);
        animals += freq;
        groups[g] = LateRecord{1, g + 1, freq, count > 0 ? 1u : 0u};
      }
    } else {
      FlushBatch();
      r_.decoder.DecodeCaptures(history, rec_);
      Note(number, line, history, rec_.ncaptures > 0, rec_.odd);
      for (int32_t g = 0; g < groups_; ++g) {
        const int64_t count = counts[g];
        const auto freq = static_cast<uint32_t>(count < 0 ? -count : count);
        animals += freq;
        if (freq != 0 && rec_.ncaptures > 0) {
          count_(CaptureList(rec_.Captures()), LateRecord{1, g + 1, freq, count > 0 ? 1u : 0u});
        }
      }
    }
    nanim_ += animals;
    return PartRead::kRead;
  }

  const FastReading& r_;
  PartTally& tally_;
  InpPart& part_;
  Count count_;
  InpFields fields_;
  DecodedRecord rec_;
  int32_t groups_;
  size_t periods_;
  bool quick_;                // records may be read quickly (their histories fit a mask)
  bool slow_ = false;         // InpFields is reading: a record or comment begun and not ended
  int64_t nrec_ = 0;          // records read
  int64_t nanim_ = 0;         // animals read
  int64_t first_fields_ = 0;  // the fields of the part's first record
  int64_t line_ = 1;          // the line of the next byte the quick reading looks at
  uint64_t resume_ = 0;       // right after the last ";" read, in the file (0: none yet)
  int64_t resume_line_ = 1;
  std::vector<char> buffer_;
  char* const data_;

  // The batch (the last records read): for each record its history, line, masks and what late
  // counting needs of each of its groups (groups_of_[k * groups_ + g]); then the entries of a
  // CaptureBatch (a group with animals each).
  size_t batch_ = 0;
  const unsigned char* histories_[kBatch];
  int64_t lines_[kBatch];
  uint64_t captured_[kBatch];
  uint64_t odd_[kBatch];
  LateRecord groups_of_[kBatch * kMaxCodes];
  // The histories of the records of the batch that InpFields read, each with a mask's reach.
  char copies_[kBatch][CaptureMasks::kMaxPeriods + CaptureMasks::kReach];
  LateRecord records_[CaptureBatch::kMost];
  uint64_t batch_captured_[CaptureBatch::kMost];
  const unsigned char* batch_histories_[CaptureBatch::kMost];
};

// Reads the part [begin, end) of an --inp file with the kernels of `set` (one of
// KernelSetsHere()), counting with `count` (a PartCounting, or anything with its calls).
template <typename Count>
PartRead ReadInpPart(KernelSet set, const FastReading& r, uint64_t begin, uint64_t end, PartTally& tally,
                     InpPart& part, Count count) {
  return WithKernels(set, [&]<typename Kernels>() __attribute__((always_inline)) {
    return InpPartReader<Kernels, Count>(r, tally, part, count).Read(begin, end);
  });
}

}  // namespace haplovex
