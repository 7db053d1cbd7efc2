#include "tabulate/fast_tabulation.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <thread>

namespace haplovex {

namespace {

// Below this many bytes a file is read by one part: threads would cost more than they save.
constexpr uint64_t kSmallFile = uint64_t{4} << 20;
// Parts beyond the machine's cores do not help; nor do many more than two cores, since reading
// the file from the page cache then takes most of the time.
constexpr int kMostParts = 8;

}  // namespace

FastReading::FastReading(const ConversionSettings& settings, const InputFile& in, int64_t highest)
    : s(settings),
      input(in),
      decoder(settings),
      screen(settings, decoder),
      masks(decoder.code_class(), std::min(decoder.periods(), CaptureMasks::kMaxPeriods)),
      use_masks(decoder.consecutive() && decoder.periods() <= CaptureMasks::kMaxPeriods),
      highest_age(highest),
      age_at(settings.nage > 1 ? static_cast<size_t>(settings.agecol - 1) : 0),
      group_at(settings.ngroups > 1 && settings.grpcol > 0 ? static_cast<size_t>(settings.grpcol - 1) : 0),
      fate_at(settings.fatecol > 0 ? static_cast<size_t>(settings.fatecol - 1) : 0),
      frequency(settings.frqcol1 > 0),
      frequency_at(frequency ? static_cast<size_t>(settings.frqcol1 - 1) : 0),
      frequency_width(frequency ? static_cast<size_t>(settings.frqcol2 - settings.frqcol1 + 1) : 0) {
  quick = use_masks && frequency_width <= 8;
  const CodeLookup ages(settings.acodes);
  const CodeLookup groups(settings.gcodes);
  for (int c = 0; c < 256; ++c) {
    const auto byte = static_cast<char>(c);
    const int32_t age = settings.nage > 1 ? ages(byte) : 1;
    const int32_t group = settings.ngroups > 1 && settings.grpcol > 0 ? groups(byte) : 1;
    quick_age[static_cast<size_t>(c)] = static_cast<int8_t>(age >= 1 && age <= highest_age ? age : 0);
    quick_group[static_cast<size_t>(c)] =
        static_cast<int8_t>(group >= 1 && group <= settings.ngroups ? group : 0);
    quick_released[static_cast<size_t>(c)] = settings.fatecol > 0 && LostOnCapture(byte) ? 0 : 1;
    quick_lead[static_cast<size_t>(c)] = RecordScreen::MaybeNoRecord(byte) ? 1 : 0;
  }
}

int PartsFor(int threads, uint64_t bytes) {
  if (threads > 0) return std::min(threads, 64);
  if (bytes < kSmallFile) return 1;
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores), 1, kMostParts);
}

// Where the line that holds the byte at `at` or starts after it ends: the first byte after its
// line end (a line feed, a lone carriage return, or a carriage return and line feed); 0 when
// the file ends first.
uint64_t NextLineStart(const InputFile& input, uint64_t at) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = input.ReadAt(at, buffer, sizeof buffer);
    if (got <= 0) return 0;
    const size_t end = InputFile::LineEndAt(buffer, static_cast<size_t>(got));
    if (end == static_cast<size_t>(got)) {
      at += static_cast<uint64_t>(got);
      continue;
    }
    uint64_t start = at + end + 1;
    if (buffer[end] == '\r') {
      char next = 0;
      if (end + 1 < static_cast<size_t>(got)) {
        next = buffer[end + 1];
      } else if (input.ReadAt(start, &next, 1) != 1) {
        next = 0;
      }
      if (next == '\n') ++start;
    }
    return start;
  }
}

std::vector<std::pair<uint64_t, uint64_t>> SplitAtLines(const InputFile& input, int parts,
                                                        bool past_header) {
  const uint64_t size = input.size();
  uint64_t first = input.DataStart();
  if (past_header && first < size) {
    const uint64_t next = NextLineStart(input, first);
    first = next == 0 ? size : next;
  }
  std::vector<uint64_t> starts = {first};
  for (int k = 1; k < parts; ++k) {
    // The part starts after the first line end at or past its share of the file.
    uint64_t at = std::max(starts.back(), size / static_cast<uint64_t>(parts) * static_cast<uint64_t>(k));
    if (at > 0) --at;
    const uint64_t start = at < size ? NextLineStart(input, at) : 0;
    if (start == 0 || start >= size || start <= starts.back()) break;
    starts.push_back(start);
  }
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (size_t k = 0; k < starts.size(); ++k) {
    ranges.emplace_back(starts[k], k + 1 < starts.size() ? starts[k + 1]
                                                          : std::numeric_limits<uint64_t>::max());
  }
  return ranges;
}

}  // namespace haplovex
