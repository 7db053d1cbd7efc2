// The quick way through the records, for both converters: the file is split at line ends
// into parts that threads read at once, in blocks; the histories of up to kBatch records at a
// time are turned into capture masks with vector instructions; and each record is counted
// late, by every sink into its part's tally (record_sink.h), the tallies of the parts merged
// once every part is read. A batch whose records are all clean
// (every field there and simply written, a capture, nothing odd, nothing to warn of) is read
// whole, its fields looked up with no branch a record; any other batch is read with care,
// record by record.
//
// The quick way only ever gives the counts and record checks the plain way (the
// record stream, one record at a time) gives. Whatever the plain way would stop the run for
// (a bad group code, age code or frequency, a count past its limit, a read error), and
// whatever it alone can report exactly, makes a part give up; the converter then reads the
// records the plain way from the start, which stops the run with exactly its own message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/capture_mask.h"
#include "tabulate/decoder.h"
#include "tabulate/kernels/portable.h"
#include "tabulate/record.h"
#include "tabulate/record_checks.h"
#include "tabulate/record_sink.h"
#include "tabulate/record_screen.h"

namespace haplovex {

// What reading a part, or a piece of one, comes to: read; or left to the plain way, which alone
// stops the run with its own message, and reports exactly what only it can.
enum class [[nodiscard]] PartRead { kRead, kPlainWay };

// What a part reader reads of its part of the file besides the sinks' counts.
struct PartTally {
  int64_t nrec = 0;                 // records read
  int64_t nanim = 0;                // animals read
  RecordChecks checks;              // record numbers counted from the part's first record
  PartRead read = PartRead::kRead;  // kPlainWay: the plain way must read the records instead
};

// What every part reads with, made once a run.
struct FastReading {
  FastReading(const ConversionSettings& s, const InputFile& input, int64_t highest_age);

  const ConversionSettings& s;
  const InputFile& input;
  RecordDecoder decoder;
  RecordScreen screen;
  CaptureMasks masks;
  bool use_masks;  // the histories stand in consecutive columns and fit a mask
  int64_t highest_age;

  // For batches read whole (see PartReader), a table for every field, looked up with no
  // branch: a byte's age class (0 where the careful reading must take the record: no age
  // code, or one above the highest taken), its group (0: none), and whether a fate mark leaves
  // the animals released. A field that is not read looks at the first byte, whose table gives
  // every byte the same value; a fate column past the end of a line reads as a blank.
  // `quick`: batches may be read whole.
  bool quick;
  std::array<int8_t, 256> quick_age{};
  std::array<int8_t, 256> quick_group{};
  std::array<uint8_t, 256> quick_released{};
  std::array<uint8_t, 256> quick_lead{};  // 1 for the first bytes of comments and empty lines
  size_t age_at;    // 0-based offsets of the fields looked at
  size_t group_at;
  size_t fate_at;
  bool frequency;   // the records have a frequency field
  size_t frequency_at;
  size_t frequency_width;
};

// Splits the file into up to `parts` byte ranges that begin at the start of a line; fewer
// when the file has fewer lines. Each is [begin, end); the last one reads on to the end of the
// file, however long it has become.
// `past_header`: the first part starts after the file's first line (a line of names).
std::vector<std::pair<uint64_t, uint64_t>> SplitAtLines(const InputFile& input, int parts,
                                                        bool past_header = false);

// The number of parts for `threads` (0: as many as help on this machine) and a file of
// `bytes`: one for a small file, unless `threads` asks for more.
int PartsFor(int threads, uint64_t bytes);

}  // namespace haplovex
