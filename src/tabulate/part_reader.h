// The reader of one part of the input file on the quick way (see fast_tabulation.h): it reads
// the part in blocks, finds the line ends of each 64-byte chunk, gathers the lines into
// batches, and counts each batch, read whole where it can be and with care where not.
//
// It is compiled once for each set of instructions the build has (ReadPart picks one for a
// run, with WithKernels), kernels and counting together: the kernels are inlined into it, with
// no call a chunk or a record to choose between sets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tabulate/fast_tabulation.h"
#include "tabulate/kernels/kernel_set.h"
#include "tabulate/kernels/with_kernels.h"

namespace haplovex {

// Bytes read at a time by each part.
inline constexpr size_t kPartBlock = size_t{256} << 10;

// Reads the part [begin, end) of the file into `tally`, handing the records of a batch read
// whole to `count.Batch(const CaptureBatch&)`, and every other record to
// `count(captures, const LateRecord&)` with its captures as a CaptureList or CaptureBits.
// Every member is inlined into the one function of each set that runs it (ReadPart).
template <typename Kernels, typename Count>
class PartReader {
 public:
  static constexpr size_t kSlack = CaptureMasks::kReach + 8;  // readable bytes after every line
  static constexpr size_t kBatch = 64;  // records whose masks are found together
  // Room for the lines of a batch: a batch is counted once it has kBatch lines, and one chunk
  // can hold kChunk more.
  static constexpr size_t kBatchRoom = kBatch + kChunk;
  static_assert(kBatchRoom <= CaptureBatch::kMost);

  [[gnu::always_inline]] PartReader(const FastReading& r, const InputFile& input, PartTally& tally, Count count)
      : r_(r),
        input_(input),
        tally_(tally),
        count_(count),
        // A line end before the block, then the block, then bytes read past its end.
        buffer_(1 + kPartBlock + kSlack, '\n'),
        data_(buffer_.data() + 1) {
    rec_.captures.resize(r.decoder.periods());
  }

  [[gnu::always_inline]] PartRead Read(uint64_t begin, uint64_t end) {
    uint64_t offset = begin;
    size_t have = 0;  // bytes of the block holding data: a line carried over, then what was read
    for (;;) {
      // A line longer than a block is left to the plain way.
      if (have == kPartBlock) return PartRead::kPlainWay;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kPartBlock - have, end - offset));
      const ssize_t got = want == 0 ? 0 : input_.ReadAt(offset, data_ + have, want);
      if (got < 0) return PartRead::kPlainWay;
      offset += static_cast<uint64_t>(got);
      have += static_cast<size_t>(got);
      const bool at_end = got == 0 || offset >= end;
      std::memset(data_ + have, 0, kSlack);
      if (LinesOfBlock(have, at_end) == PartRead::kPlainWay) return PartRead::kPlainWay;
      // The last line of the file may have no line end.
      if (at_end && starts_[batch_] < have) starts_[++batch_] = static_cast<uint32_t>(have + 1);
      if (RunBatch() == PartRead::kPlainWay) return PartRead::kPlainWay;
      if (at_end) return PartRead::kRead;
      const size_t pos = starts_[0];  // where the line carried over starts
      starts_[0] = 0;
      std::memmove(data_, data_ + pos, have - pos);
      have -= pos;
    }
  }

 private:
  // Finds the line ends of the block's `have` bytes chunk by chunk, counting each batch as it
  // fills. A line ends at a line feed, or at a carriage return with no line feed right after
  // it, which is made a line feed in the block, so that every line ends at one (a carriage
  // return before a line feed is the record's, and RecordScreen::Line takes it off); a
  // carriage return at the end of a block that is not the last waits for the next byte, in the
  // next block.
  [[gnu::always_inline]] PartRead LinesOfBlock(size_t have, bool at_end) {
    for (size_t chunk = 0; chunk < have; chunk += kChunk) {
      uint64_t bits = Kernels::LineEnds(data_ + chunk, LineEndBytes{'\n', '\n'});
      uint64_t returns = Kernels::LineEnds(data_ + chunk, LineEndBytes{'\r', '\r'});
      if (returns != 0) [[unlikely]] {
        const uint64_t feed_next = data_[chunk + kChunk] == '\n' ? 1 : 0;
        returns &= ~((bits >> 1) | feed_next << 63);
        const size_t last = have - 1 - chunk;
        if (!at_end && last < kChunk) returns &= ~(uint64_t{1} << last);
        bits |= returns;
        for (; returns != 0; returns &= returns - 1) data_[chunk + static_cast<size_t>(__builtin_ctzll(returns))] = '\n';
      }
      if (have - chunk < kChunk) bits &= (uint64_t{1} << (have - chunk)) - 1;
      // Records of more than 32 bytes: two lines with no branch to guess how many there are
      // (past the last, starts that are never read); a chunk with more is rare.
      uint32_t* const next = starts_ + batch_ + 1;
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
      batch_ += count;
      if (batch_ >= kBatch && RunBatch() == PartRead::kPlainWay) return PartRead::kPlainWay;
    }
    return PartRead::kRead;
  }

  // Line k of the batch as a record is read from it.
  [[gnu::always_inline]] std::string_view LineOf(size_t k) const {
    return RecordScreen::Line(data_ + starts_[k], starts_[k + 1] - 1 - starts_[k]);
  }

  // A batch read whole where it can be, with care where not; the next batch then starts.
  [[gnu::always_inline]] PartRead RunBatch() {
    if (!WholeBatch() && CarefulBatch() == PartRead::kPlainWay) return PartRead::kPlainWay;
    starts_[0] = starts_[batch_];
    batch_ = 0;
    return PartRead::kRead;
  }

  // The fields of one line of a batch read whole, looked up with no branch; negative (in
  // `unread`) when the careful reading must take it: it may be a comment or empty, or has a
  // class or group of 0, or a frequency not simply written. False when the line is short.
  [[gnu::always_inline]] bool WholeLine(size_t k, size_t code_offset, int32_t& unread, int64_t& nanim) {
    // The record as the plain way sees it (no field read here lies past the record width).
    const char* line = data_ + starts_[k];
    const size_t length = LineOf(k).size();
    if (!r_.screen.Whole(length)) return false;
    auto byte = [line](size_t at) { return static_cast<unsigned char>(line[at]); };
    LateRecord& record = records_[k];
    record.iage = r_.quick_age[byte(r_.age_at)];
    record.igrp = r_.quick_group[byte(r_.group_at)];
    record.released = r_.quick_released[r_.fate_at < length ? byte(r_.fate_at) : ' '];
    unread |= (record.iage - 1) | (record.igrp - 1) | -int32_t{r_.quick_lead[byte(0)]};
    if (r_.frequency) {
      const size_t columns = std::min(r_.frequency_width, length - r_.frequency_at);
      const int32_t value = KnownFrequency(line + r_.frequency_at, columns);
      record.freq = static_cast<uint32_t>(value);
      unread |= value;
      nanim += value;
    } else {
      record.freq = 1;
      ++nanim;
    }
    histories_[k] = reinterpret_cast<const unsigned char*>(line) + code_offset;
    return true;
  }

  // A frequency field read whole, found by a hash of its bytes among those read before: most
  // records of a file share a few frequencies, each read once and then found here, with a
  // branch that records of different frequencies do not mispredict. -1: not simply written.
  [[gnu::always_inline]] int32_t KnownFrequency(const char* at, size_t columns) {
    uint64_t field;
    std::memcpy(&field, at, sizeof field);
    field &= ~uint64_t{0} >> (64 - 8 * columns);
    Frequency& known = known_[(field * 0x9E3779B97F4A7C15ULL) >> 58];
    if (field != known.field || columns != known.columns) [[unlikely]] {
      uint32_t value;
      const bool simple = Kernels::QuickFrequency(at, columns, value);
      known = {field, static_cast<uint32_t>(columns), simple ? static_cast<int32_t>(value) : -1};
    }
    return known.value;
  }

  // A batch read whole: the fields of every line looked up with no branch a record, then the
  // masks, then every record counted. Only a batch of records that all hold every field, read
  // simply, with a capture and no odd byte, and that need no warning, is read so; for any
  // other, nothing is counted and false returned, and the batch is read with care.
  [[gnu::always_inline]] bool WholeBatch() {
    if (!r_.quick) return false;
    const size_t code_offset = r_.decoder.first_code_offset();
    int32_t unread = 0;
    int64_t nanim = 0;
    for (size_t k = 0; k < batch_; ++k) {
      if (!WholeLine(k, code_offset, unread, nanim)) return false;
    }
    if (unread < 0) return false;
    if (!Kernels::Masks(r_.masks, histories_, batch_, captured_, odd_)) return false;
    count_.Batch(CaptureBatch{captured_, histories_, records_, batch_, r_.decoder.code_class()});
    tally_.nrec += static_cast<int64_t>(batch_);
    tally_.nanim += nanim;
    return true;
  }

  // The lines of one batch: the masks of their histories at once, then every record in order.
  // A line that may be a comment or empty, or is too short to hold every field, is screened
  // and decoded as the plain way does (OtherRecord). (Not inlined: the reading of whole batches
  // keeps the registers of the one function to itself.)
  [[gnu::noinline]] PartRead CarefulBatch() {
    size_t nmasked = 0;
    for (size_t k = 0; k < batch_; ++k) {
      const std::string_view line = LineOf(k);
      masked_[k] = r_.use_masks && r_.screen.Whole(line.size()) && !RecordScreen::MaybeNoRecord(line);
      if (masked_[k]) {
        histories_[nmasked++] =
            reinterpret_cast<const unsigned char*>(line.data()) + r_.decoder.first_code_offset();
      }
    }
    if (nmasked > 0) (void)Kernels::Masks(r_.masks, histories_, nmasked, captured_, odd_);
    size_t m = 0;
    for (size_t k = 0; k < batch_; ++k) {
      const PartRead read = masked_[k] ? MaskedRecord(LineOf(k), m++) : OtherRecord(LineOf(k));
      if (read == PartRead::kPlainWay) return PartRead::kPlainWay;
    }
    return PartRead::kRead;
  }

  // A whole record of a batch read with care, whose captures are the m-th mask.
  [[gnu::always_inline]] PartRead MaskedRecord(std::string_view line, size_t m) {
    if (r_.decoder.DecodeFields(line, rec_) != RecordDecoder::FieldProblem::kNone) {
      return PartRead::kPlainWay;
    }
    const uint64_t bits = captured_[m];
    const int64_t number = ++tally_.nrec;
    r_.screen.Note(line, number, bits != 0, odd_[m] != 0, rec_, false, tally_.checks);
    tally_.nanim += rec_.freq;
    if (rec_.iage <= 0 || rec_.iage > r_.highest_age) return PartRead::kPlainWay;
    const auto* codes = reinterpret_cast<const unsigned char*>(line.data()) + r_.decoder.first_code_offset();
    count_(CaptureBits(bits, codes, r_.decoder.code_class()), LateOf(rec_));
    return PartRead::kRead;
  }

  // A line the masks do not serve: maybe a comment or an empty line, maybe too short, maybe
  // laid out otherwise; screened and decoded as the plain way does.
  PartRead OtherRecord(std::string_view line) {
    const int64_t number = tally_.nrec + 1;
    bool empty = false;
    if (!r_.screen.Screen(line, number, padded_, tally_.checks, empty)) return PartRead::kRead;
    if (r_.decoder.DecodeFields(line, rec_) != RecordDecoder::FieldProblem::kNone) {
      return PartRead::kPlainWay;
    }
    r_.decoder.DecodeCaptures(line, rec_);
    tally_.nrec = number;
    r_.screen.Note(line, number, rec_.ncaptures > 0, rec_.odd, rec_, empty, tally_.checks);
    tally_.nanim += rec_.freq;
    if (rec_.iage <= 0 || rec_.iage > r_.highest_age) return PartRead::kPlainWay;
    count_(CaptureList(rec_.Captures()), LateOf(rec_));
    return PartRead::kRead;
  }

  const FastReading& r_;
  const InputFile& input_;
  PartTally& tally_;
  Count count_;
  std::vector<char> buffer_;
  char* const data_;
  DecodedRecord rec_;
  std::string padded_;  // a short record, padded with blanks

  // The batch: where its lines start in the block (line k runs from starts_[k] to its line end
  // at starts_[k + 1] - 1), and for each record its history, its masks and what late counting
  // needs of it.
  size_t batch_ = 0;
  uint32_t starts_[kBatchRoom + 1] = {0};
  const unsigned char* histories_[kBatchRoom];
  uint64_t captured_[kBatchRoom];
  uint64_t odd_[kBatchRoom];
  bool masked_[kBatchRoom];
  LateRecord records_[kBatchRoom];

  // The frequency fields read whole, by a hash of their bytes: the bytes (those past its
  // columns zero), the columns, and what the field held (-1: not simply written).
  struct Frequency {
    uint64_t field = 0;
    uint32_t columns = 0;  // none yet
    int32_t value = -1;
  };
  Frequency known_[64];
};

// Reads the part [begin, end) of `input` (the run's input file, or records laid out in columns
// in memory) with the kernels of `set` (one of KernelSetsHere()), counting with `count` (a
// PartCounting, or anything with its calls).
template <typename Count>
PartRead ReadPart(KernelSet set, const FastReading& r, const InputFile& input, uint64_t begin, uint64_t end,
                  PartTally& tally, Count count) {
  return WithKernels(set, [&]<typename Kernels>() __attribute__((always_inline)) {
    return PartReader<Kernels, Count>(r, input, tally, count).Read(begin, end);
  });
}

}  // namespace haplovex
