#include "tabulate/tabulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "../common/test_support.h"
#include "common/text_file.h"
#include "tabulate/fast_tabulation.h"

namespace haplovex {
namespace {

// What the record path takes of a sink, held at compile time: a late counter needs a way
// through a batch read whole, its own (Batch) or the shared rounds' (Last and Pair), as well as
// the call for one record; a sink needs the plain way, a tally, a late counter and a merge.
struct OneRecordOnly {
  void operator()(CaptureList, const LateRecord&) const {}
  void operator()(CaptureBits, const LateRecord&) const {}
};
struct WithBatch : OneRecordOnly {
  void Batch(const CaptureBatch&) const {}
};
struct WithPairs : OneRecordOnly {
  struct Entry {};
  Entry Last(const BatchRecord&) const { return {}; }
  void Pair(Entry&, const BatchPair&) const {}
};
static_assert(LateCounter<WithBatch> && OwnBatch<WithBatch> && !PairWalker<WithBatch>);
static_assert(LateCounter<WithPairs> && PairWalker<WithPairs>);
static_assert(!LateCounter<OneRecordOnly>);
template <typename Late>
struct Sink {
  using Tally = std::vector<uint32_t>;
  void Plain() {}
  void Count(const DecodedRecord&, int64_t) {}
  Tally EmptyTally() const { return {}; }
  size_t PartCounts() const { return 0; }
  template <bool kAging>
  Late LateInto(Tally&) const {
    return {};
  }
  bool Merge(std::vector<Tally>&) { return true; }
};
struct SwitchedSink : Sink<WithPairs> {
  bool on() const { return false; }
};
static_assert(RecordSink<Sink<WithBatch>> && RecordSink<Sink<WithPairs>> && !RecordSink<Sink<OneRecordOnly>>);
static_assert(RecordSink<SwitchedSink> && Switched<SwitchedSink> && !Switched<Sink<WithPairs>>);

// Where each part of a file of records begins, worked out by hand: a part begins at the first
// line start at or past its share (size / parts * k) of the file, and none begins at the end.
struct SplitCase {
  const char* name;
  std::string text;
  int parts;
  std::vector<uint64_t> begins;
};

TEST(SplitAtLinesTest, PartsBeginAtLineStartsAndCoverTheFile) {
  const std::string a9999(9999, 'A');
  const std::vector<SplitCase> cases = {
      {"empty file", "", 4, {0}},
      {"one line, no line end", "1A 1", 4, {0}},
      {"one part asked for", "AB\nCD\nEF\n", 1, {0}},
      {"only line ends", "\n\n\n\n", 4, {0, 1, 2, 3}},
      // Shares at 10, 20, 30: each the byte after a line end, whose line is not skipped.
      {"share at a line start", "AAAAAAAAA\nBBBBBBBBB\nCCCCCCCCC\nDDDDDDDDD\n", 4, {0, 10, 20, 30}},
      // Shares at 9, 18, 27: 9 is a line end itself.
      {"share on a line end", "AAAAAAAAA\nBBBBBBBBB\nCCCCCCCCC\nDDDDDD", 4, {0, 10, 20, 30}},
      {"carriage returns", "AB\r\nCD\r\nEF\r\nGH\r\n", 2, {0, 8}},
      // Share 8 falls between a carriage return and its line feed: one line end.
      {"a share inside a carriage return and line feed", "ABCDEF\r\nGHIJK\r\n", 2, {0, 8}},
      {"carriage returns alone", "AB\rCD\rEF\rGH\r", 2, {0, 6}},
      // The first part starts after the byte-order mark.
      {"a byte-order mark", "\xEF\xBB\xBF" "AB\nCD\nEF\nGH\n", 2, {3, 9}},
      // Share 8 falls in the last line, which has no line end.
      {"last line unended", "AAAA\nBBBBBBBBBBB", 4, {0, 5}},
      // Share 7 falls in the only line: no part would begin at the end of the file.
      {"nothing after the last line end", "AAAAAAAAAAAAAA\n", 2, {0}},
      // Share 10050: the next line end, at 19999, lies more than two 4096-byte reads on.
      {"line end beyond the read buffer", a9999 + "\n" + a9999 + "\n" + std::string(99, 'B') + "\n", 2,
       {0, 20000}},
      // Shares at 10000 and 20000: line starts, a long way from the line end before them.
      {"long lines", a9999 + "\n" + a9999 + "\n" + a9999 + "\n", 3, {0, 10000, 20000}},
  };
  testing::ScratchFolder folder;
  for (const SplitCase& c : cases) {
    folder.Write("records.txt", c.text);
    InputFile in_memory;
    in_memory.OpenMemory(c.text, "records");
    InputFile on_disk;
    ASSERT_EQ(on_disk.Open(folder.path() / "records.txt", "records.txt"), 0) << c.name;
    for (const InputFile* input : {&in_memory, &on_disk}) {
      const auto ranges = SplitAtLines(*input, c.parts);
      std::vector<uint64_t> begins;
      for (size_t k = 0; k < ranges.size(); ++k) {
        const uint64_t begin = ranges[k].first;
        begins.push_back(begin);
        EXPECT_TRUE(begin == input->DataStart() ||
                    (begin < c.text.size() && (c.text[begin - 1] == '\n' ||
                                               (c.text[begin - 1] == '\r' && c.text[begin] != '\n'))))
            << c.name << ": part " << k << " begins at " << begin;
        const uint64_t end = k + 1 < ranges.size() ? ranges[k + 1].first
                                                   : std::numeric_limits<uint64_t>::max();
        EXPECT_EQ(ranges[k].second, end) << c.name << ": part " << k;
      }
      EXPECT_EQ(begins, c.begins) << c.name;
      EXPECT_LE(ranges.size(), static_cast<size_t>(c.parts)) << c.name;
    }
  }
}

TEST(PartsForTest, ThreadsAskedForElseOneForASmallFile) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  const int cores = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
  struct Case {
    int threads;
    uint64_t bytes;
    int parts;
  };
  for (const Case& c : std::vector<Case>{{1, 100 * kMiB, 1},
                                         {3, 0, 3},  // asked for, even for a small file
                                         {64, 10, 64},
                                         {65, 10, 64},
                                         {0, 0, 1},
                                         {0, 4 * kMiB - 1, 1},
                                         {0, 4 * kMiB, cores},
                                         {0, 1000 * kMiB, cores}}) {
    EXPECT_EQ(PartsFor(c.threads, c.bytes), c.parts) << c.threads << " threads, " << c.bytes << " bytes";
  }
}

void ExpectSighting(const Sighting& got, const Sighting& want, const std::string& where) {
  EXPECT_EQ(got.count, want.count) << where;
  EXPECT_EQ(got.record, want.record) << where;
  EXPECT_EQ(got.line, want.line) << where;
  EXPECT_EQ(got.column, want.column) << where;
  EXPECT_EQ(got.byte, want.byte) << where;
}

// Every kind of sighting, seen in parts read one after the other, and merged as the converter
// merges its parts: the first sighting in the file keeps its column and byte, its record and
// its line counted from the start of the file (part k holds k + 1 comment lines).
TEST(MergeChecksTest, FirstSightingInFileOrderAndCountsAddUp) {
  struct Part {
    int64_t records;
    Sighting seen;  // numbered from the part's first record and line
  };
  struct Case {
    const char* name;
    std::vector<Part> parts;
    Sighting merged;
  };
  const std::vector<Case> cases = {
      {"seen nowhere", {{10, {}}, {5, {}}}, {}},
      // Record 3 of the second part, on its line 5: after 10 records and 1 comment line.
      {"first seen in a later part",
       {{10, {}}, {5, {2, 3, 5, 7, 'z'}}, {6, {}}, {4, {1, 1, 1, 9, 'q'}}},
       {3, 13, 16, 7, 'z'}},
      {"first seen in the first part", {{10, {1, 4, 5, 2, 'x'}}, {5, {2, 1, 2, 3, 'y'}}},
       {3, 4, 5, 2, 'x'}},
  };
  Sighting RecordChecks::*const kinds[] = {&RecordChecks::foreign, &RecordChecks::beyond,
                                           &RecordChecks::no_capture, &RecordChecks::short_record,
                                           &RecordChecks::blank_frequency,
                                           &RecordChecks::spaced_frequency};
  for (const Case& c : cases) {
    for (size_t kind = 0; kind < std::size(kinds); ++kind) {
      RecordChecks merged;
      int64_t records_before = 0;
      for (size_t k = 0; k < c.parts.size(); ++k) {
        RecordChecks part;
        part.*kinds[kind] = c.parts[k].seen;
        part.comment_lines = static_cast<int64_t>(k) + 1;
        part.empty_lines = 10 * static_cast<int64_t>(k);
        MergeChecks(merged, part, records_before);
        records_before += c.parts[k].records;
      }
      const std::string where = std::string(c.name) + ", kind " + std::to_string(kind);
      for (size_t other = 0; other < std::size(kinds); ++other) {
        ExpectSighting(merged.*kinds[other], other == kind ? c.merged : Sighting{},
                       where + ", merged kind " + std::to_string(other));
      }
      const auto n = static_cast<int64_t>(c.parts.size());
      EXPECT_EQ(merged.comment_lines, n * (n + 1) / 2) << where;
      EXPECT_EQ(merged.empty_lines, 10 * n * (n - 1) / 2) << where;
    }
  }
}

ConversionSettings AgeSettings(int32_t nyrs, int32_t nage, const std::string& ageinc) {
  ConversionSettings s;
  s.nyrs = nyrs;
  s.nage = nage;
  s.ageinc = ageinc + std::string(kAgeIncWidth - ageinc.size(), '0');
  return s;
}

TEST(AgeStepsTest, ClassRisesAtIntervalsMarkedOneUpToTheOldest) {
  struct Case {
    int32_t iage, first, period, age;
  };
  // Six periods, three classes; intervals 1, 3 and 4 raise the class.
  const AgeSteps six(AgeSettings(6, 3, "10110"));
  for (const Case& c : std::vector<Case>{{1, 1, 1, 1}, {1, 1, 2, 2}, {1, 1, 3, 2}, {1, 1, 4, 3},
                                         {1, 1, 6, 3},  // 1 + 3 raises, capped at 3
                                         {1, 2, 3, 1}, {1, 2, 4, 2}, {1, 3, 6, 3}, {1, 5, 6, 1},
                                         {2, 3, 4, 3}, {3, 1, 2, 3}, {2, 4, 4, 2}}) {
    EXPECT_EQ(six.At(c.iage, c.first, c.period), c.age)
        << "class " << c.iage << " first caught at " << c.first << ", at period " << c.period;
  }
  EXPECT_TRUE(six.Raises());
  // 45 periods, every ageinc character "1": intervals 41 to 44 lie past them and never raise.
  const AgeSteps long_run(AgeSettings(45, 26, std::string(kAgeIncWidth, '1')));
  for (const Case& c : std::vector<Case>{{1, 20, 30, 11}, {1, 40, 45, 2}, {1, 41, 45, 1},
                                         {3, 39, 44, 5}, {1, 1, 45, 26}, {26, 44, 45, 26}}) {
    EXPECT_EQ(long_run.At(c.iage, c.first, c.period), c.age)
        << "class " << c.iage << " first caught at " << c.first << ", at period " << c.period;
  }
}

TEST(AgeStepsTest, RaisesOnlyWithTwoClassesAndAnIntervalMarkedOne) {
  EXPECT_FALSE(AgeSteps(AgeSettings(5, 1, "1111")).Raises());  // one class
  EXPECT_FALSE(AgeSteps(AgeSettings(5, 3, "")).Raises());      // no "1"
  EXPECT_FALSE(AgeSteps(AgeSettings(3, 3, "001")).Raises());   // only after the last period
  EXPECT_TRUE(AgeSteps(AgeSettings(3, 2, "01")).Raises());
}

// Offsets `block` apart, by class, the oldest class taking every class above it.
TEST(AgeStepsTest, AgeOffsetsCapAtTheOldestClass) {
  const std::vector<int32_t> three = AgeOffsets(3, 4, 100);
  ASSERT_GE(three.size(), static_cast<size_t>(kMaxCodes + 4));  // class 26 plus 3 raises
  const std::vector<int32_t> want = {0, 100, 200, 200, 200};  // classes 1 to 5
  EXPECT_EQ(std::vector<int32_t>(three.begin() + 1, three.begin() + 6), want);
  EXPECT_EQ(three[static_cast<size_t>(kMaxCodes + 3)], 200);
  const std::vector<int32_t> one = AgeOffsets(1, 2, 7);
  ASSERT_GE(one.size(), static_cast<size_t>(kMaxCodes + 2));
  EXPECT_TRUE(std::all_of(one.begin(), one.end(), [](int32_t x) { return x == 0; }));
}

}  // namespace
}  // namespace haplovex
