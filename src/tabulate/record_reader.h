// The reading of every record once, for both converters: the plain way (one record at a time,
// which alone stops the run with its messages), or the quick way (parts of the file read by
// threads at once, fast_tabulation.h), each record handed to every sink that is on (record_sink.h):
// the converter's tables, and whatever else the run counts. The reading knows nothing of what
// the sinks count, nor why one is switched off.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/limits.h"
#include "runctl/settings.h"
#include "tabulate/conversion.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/inp_part_reader.h"
#include "tabulate/inp_stream.h"
#include "tabulate/part_reader.h"
#include "tabulate/record.h"
#include "tabulate/record_sink.h"
#include "tabulate/record_stream.h"

namespace haplovex {

// Runs part(0) .. part(count - 1), as many at once as there are parts; a part whose thread
// cannot be had runs here, after the others have started.
void RunParts(size_t count, const std::function<void(size_t)>& part);

// Runs part(k) for every part, as many at once as there are parts. What a part's thread throws
// is carried back and thrown again here once every part is done.
template <typename Part>
void RunPartsCarried(size_t count, Part part) {
  std::vector<std::exception_ptr> failures(count);
  RunParts(count, [&](size_t k) {
    try {
      part(k);
    } catch (...) {
      failures[k] = std::current_exception();
    }
  });
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

// Adds a part's record checks to those of the parts before it, which hold `records_before`
// records: counts add up, and the first sighting in file order stays first.
void MergeChecks(RecordChecks& into, const RecordChecks& part, int64_t records_before);

// Most counts the sinks of one part of the quick way may copy: with more, the records are read
// the plain way, with no copy.
inline constexpr size_t kMostPartCounts = size_t{8} << 20;

// What a reading is handed by the converter's tables: the settings, the highest age position at
// a first capture they take (a record above it, or below 1, stops the run with the age-code
// error), whether a record's age class may change between its captures (`aging`: the late
// counters are then compiled for classes that change), and the record the plain way decodes
// into (allocated with the tables).
struct RecordReading {
  const ConversionSettings& s;
  int64_t highest_age;
  bool aging;
  DecodedRecord& rec;
};

template <typename... Sinks>
class RecordReader {
 public:
  RecordReader(const RecordReading& reading, const ReadOptions& options, Sinks&... sinks)
      : reading_(reading), s_(reading.s), options_(options), sinks_(sinks...), on_{SinkOn(sinks)...} {}

  // Reads every record of `input` from its start, with the console diagnostics, into every sink
  // that is on. A file of summarised histories (s.inp) is read by its own readers (inp_stream.h,
  // inp_part_reader.h).
  RecordsRead Read(InputFile& input, Console& console) {
    RecordsRead read;
    const bool quick = !options_.plain_only && input.is_open() && !s_.listdata && PartCounts() <= kMostPartCounts;
    if (s_.inp) {
      if (!quick || !ReadInpQuickly(input, read)) ReadPlainly<InpStream>(input, console, read);
    } else if (options_.windows != nullptr) {
      // (A first line of names, which the parts of a window would not skip, takes the file.)
      if (!quick || s_.header_line || !ReadWindowsQuickly(*options_.windows, input, read)) {
        options_.windows->PutInPlace(input);
        if (!quick || s_.header_line || !ReadQuickly(input, read)) ReadPlainly<RecordStream>(input, console, read);
      }
    } else if (!quick || !ReadQuickly(input, read)) {
      ReadPlainly<RecordStream>(input, console, read);
    }
    return read;
  }

 private:
  using Tallies = std::tuple<std::vector<typename Sinks::Tally>...>;
  using Switches = std::integer_sequence<bool, Switched<Sinks>...>;
  using All = std::index_sequence_for<Sinks...>;

  // f(sink) for every sink that is on, in the list's order; with its place, f(sink, I).
  template <typename F>
  void EachOn(F f) {
    [&]<size_t... I>(std::index_sequence<I...>) {
      ((on_[I] ? f(std::get<I>(sinks_), std::integral_constant<size_t, I>{}) : void()), ...);
    }(All{});
  }

  size_t PartCounts() {
    size_t counts = 0;
    EachOn([&](auto& sink, auto) { counts += sink.PartCounts(); });
    return counts;
  }

  // The plain way: one record at a time, with the record echo, stopping at the first record the
  // run cannot take, with its message.
  template <typename Stream>
  void ReadPlainly(InputFile& input, Console& console, RecordsRead& read) {
    read = RecordsRead{};
    EachOn([](auto& sink, auto) { sink.Plain(); });
    Stream records(s_, input, console, read.checks);
    DecodedRecord& rec = reading_.rec;
    while (records.Next(rec)) {
      // (Summarised histories are all of age class 1.)
      if constexpr (std::is_same_v<Stream, RecordStream>) {
        if (rec.iage <= 0 || rec.iage > reading_.highest_age) records.AgeCodeError(rec);
      }
      const int64_t number = records.nrec();
      EachOn([&](auto& sink, auto) { sink.Count(rec, number); });
    }
    read.records = records.nrec();
    read.animals = records.nanim();
  }

  // What the parts of the quick way read with, where they lie, and what each reads: its
  // records (tally) and each sink's counts.
  struct Parts {
    Parts(RecordReader& reader, const InputFile& input)
        : reading(reader.s_, input, reader.reading_.highest_age),
          ranges(SplitAtLines(input, PartsFor(reader.options_.threads, input.size()), reader.s_.header_line)),
          tally(ranges.size()),
          counts(reader.EmptyTallies(ranges.size())) {}
    const FastReading reading;
    const std::vector<std::pair<uint64_t, uint64_t>> ranges;
    std::vector<PartTally> tally;
    Tallies counts;
  };

  // The quick way: parts read by threads at once, counted late. False when a part gave up, or a
  // count passed its limit; the sinks then count from zero the plain way.
  bool ReadQuickly(const InputFile& input, RecordsRead& read) {
    Parts parts(*this, input);
    auto read_parts = [&]<bool kAging>() {
      RunPartsCarried(parts.ranges.size(), [&](size_t k) {
        const auto [begin, end] = parts.ranges[k];
        parts.tally[k].read =
            ReadPart(options_.kernels, parts.reading, input, begin, end, parts.tally[k],
                     Counting<kAging>(parts.counts, k));
      });
    };
    // Counting is compiled twice: with age classes that change from period to period, and with
    // none that do (no age increments), where a record's class is fixed.
    if (reading_.aging) {
      read_parts.template operator()<true>();
    } else {
      read_parts.template operator()<false>();
    }
    RecordChecks checks;
    checks.header_lines = s_.header_line ? 1 : 0;
    int64_t nrec = 0;
    int64_t nanim = 0;
    for (const PartTally& tally : parts.tally) {
      if (tally.read == PartRead::kPlainWay) return false;
      MergeChecks(checks, tally.checks, nrec);
      nrec += tally.nrec;
      nanim += tally.nanim;
    }
    return FinishParts(parts.counts, std::move(checks), nrec, nanim, read);
  }

  static constexpr size_t kNoBlock = 64;
  // The quick way through records laid out in columns in memory, a window at a time: each
  // window's parts read at once, as the parts of a file, their counts added up window after
  // window and their checks merged in file order. False when a part gave up, or a count passed
  // its limit.
  bool ReadWindowsQuickly(ColumnWindows& windows, const InputFile& input, RecordsRead& read) {
    const FastReading reading(s_, input, reading_.highest_age);
    Tallies counts = EmptyTallies(windows.MostParts());
    RecordChecks checks;
    int64_t nrec = 0;
    int64_t nanim = 0;
    std::vector<PartTally> tally;
    for (;;) {
      tally.assign(windows.MostParts(), PartTally{});
      size_t count = 0;
      auto read_window = [&]<bool kAging>() {
        count = windows.Next([&](size_t k, std::string& columns) {
          // (Read by ReadAt alone: no block of lines is needed. The text goes back to the windows
          // for the next window's part.)
          InputFile part(kNoBlock);
          part.OpenMemory(std::move(columns), input.name());
          tally[k].read = ReadPart(options_.kernels, reading, part, 0, part.size(), tally[k],
                                   Counting<kAging>(counts, k));
          columns = std::move(part).TakeMemory();
        });
      };
      if (reading_.aging) {
        read_window.template operator()<true>();
      } else {
        read_window.template operator()<false>();
      }
      if (count == 0) break;
      for (size_t k = 0; k < count; ++k) {
        if (tally[k].read == PartRead::kPlainWay) return false;
        MergeChecks(checks, tally[k].checks, nrec);
        nrec += tally[k].nrec;
        nanim += tally[k].nanim;
      }
    }
    return FinishParts(counts, std::move(checks), nrec, nanim, read);
  }

  // The quick way through summarised histories: every part read at once, assuming it starts
  // between records, then joined in order, a part whose assumption was wrong read again (see
  // inp_part_reader.h). False when the plain way must read the file.
  bool ReadInpQuickly(const InputFile& input, RecordsRead& read) {
    Parts parts(*this, input);
    std::vector<InpPart> inp(parts.ranges.size());
    // One age class, or two by time since marking, where every animal's class changes after its
    // first period.
    auto read_part = [&](size_t k, uint64_t begin) {
      auto read = [&]<bool kAging>() {
        parts.tally[k].read = ReadInpPart(options_.kernels, parts.reading, begin, parts.ranges[k].second,
                                          parts.tally[k], inp[k], Counting<kAging>(parts.counts, k));
      };
      if (reading_.aging) {
        read.template operator()<true>();
      } else {
        read.template operator()<false>();
      }
    };
    RunPartsCarried(parts.ranges.size(), [&](size_t k) { read_part(k, parts.ranges[k].first); });
    auto reread = [&](size_t k, uint64_t begin) {
      parts.tally[k] = PartTally{};
      inp[k] = InpPart{};
      EachOn([&](auto& sink, auto I) { std::get<I>(parts.counts)[k] = sink.EmptyTally(); });
      read_part(k, begin);
    };
    RecordChecks checks;
    int64_t nrec = 0;
    int64_t nanim = 0;
    return JoinInpParts(parts.ranges, parts.tally, inp, reread, checks, nrec, nanim) &&
           FinishParts(parts.counts, std::move(checks), nrec, nanim, read);
  }

  // A tally of each sink for each of `parts`, all zero; a sink switched off has empty ones.
  Tallies EmptyTallies(size_t parts) {
    Tallies tallies;
    EachOn([&](auto& sink, auto I) {
      std::get<I>(tallies).reserve(parts);
      for (size_t k = 0; k < parts; ++k) std::get<I>(tallies).push_back(sink.EmptyTally());
    });
    [&]<size_t... I>(std::index_sequence<I...>) { (std::get<I>(tallies).resize(parts), ...); }(All{});
    return tallies;
  }

  // What part k counts with: the late counter of every sink, into its tally of the part.
  template <bool kAging>
  auto Counting(Tallies& tallies, size_t k) {
    return [&]<size_t... I>(std::index_sequence<I...>) {
      using Counting = PartCounting<Switches, decltype(std::get<I>(sinks_).template LateInto<kAging>(
                                                  std::get<I>(tallies)[k]))...>;
      return Counting(std::tuple{std::get<I>(sinks_).template LateInto<kAging>(std::get<I>(tallies)[k])...}, on_);
    }(All{});
  }

  // The sinks' counts from the parts' tallies, once every part was read, with the parts' checks,
  // records and animals merged; false when a count passed its limit.
  bool FinishParts(Tallies& tallies, RecordChecks checks, int64_t nrec, int64_t nanim, RecordsRead& read) {
    if (nanim > kMaxCount) return false;
    bool merged = true;
    EachOn([&](auto& sink, auto I) { merged = merged && sink.Merge(std::get<I>(tallies)); });
    if (!merged) return false;
    read.records = nrec;
    read.animals = static_cast<int32_t>(nanim);
    read.checks = std::move(checks);
    return true;
  }

  RecordReading reading_;
  const ConversionSettings& s_;
  const ReadOptions& options_;
  std::tuple<Sinks&...> sinks_;
  std::array<bool, sizeof...(Sinks)> on_;
};

// Reads every record of `input` into each of `sinks` that is on (see RecordReader).
template <typename... Sinks>
RecordsRead ReadRecords(const RecordReading& reading, InputFile& input, Console& console,
                        const ReadOptions& options, Sinks&... sinks) {
  return RecordReader<Sinks...>(reading, options, sinks...).Read(input, console);
}

}  // namespace haplovex
