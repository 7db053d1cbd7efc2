#include "tabulate/fast_tabulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "memory/memory_tables.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/frequency.h"
#include "tabulate/kernels/kernels.h"
#include "tabulate/part_reader.h"
#include "tabulate/record_stream.h"
#include "tabulate/tabulation.h"
#include "toy_sink.h"

namespace haplovex {
namespace {

// The quick frequency reader takes a field whole or not at all: what it takes it reads as
// the full reader does; every set of kernels takes the same fields.
// A count added with masks goes to the first choice whose condition holds, else 0 to the spare.
TEST(AddToFirstTest, TheFirstChoiceThatHoldsTakesTheAnimals) {
  const struct {
    bool first, second;
    std::array<uint32_t, 3> counts;  // the first choice's, the second's, the spare's
  } cases[] = {
      {true, true, {7, 0, 0}}, {true, false, {7, 0, 0}}, {false, true, {0, 7, 0}}, {false, false, {0, 0, 0}}};
  for (const auto& c : cases) {
    std::array<uint32_t, 3> counts = {0, 0, 0};
    AddToFirst(7, &counts[2], CountWhen{c.first, &counts[0]}, CountWhen{c.second, &counts[1]});
    EXPECT_EQ(counts, c.counts) << c.first << c.second;
    counts = {0, 0, 0};
    AddToFirst(7, &counts[2], CountWhen{c.second, &counts[1]});
    EXPECT_EQ(counts[1], c.second ? 7u : 0u);
    EXPECT_EQ(counts[2], 0u);
  }
}

TEST(QuickFrequencyTest, AgreesWithTheFullReaderOnWhatItTakes) {
  const std::string alphabet = "0123456789  ;;-+x\t\x80\xb9";
  std::mt19937 random(7);
  int taken = 0;
  for (int n = 0; n < 200000; ++n) {
    const size_t columns = 1 + random() % 8;
    char bytes[8];
    for (char& b : bytes) b = alphabet[random() % alphabet.size()];
    uint32_t quick = 0;
    const bool took = QuickFrequencyWith(KernelSet::kPortable, bytes, columns, quick);
    for (const KernelSet set : KernelSetsHere()) {
      uint32_t value = 0;
      ASSERT_EQ(QuickFrequencyWith(set, bytes, columns, value), took) << KernelName(set);
      if (took) {
        ASSERT_EQ(value, quick) << KernelName(set);
      }
    }
    if (!took) continue;
    ++taken;
    const std::string field(bytes, columns);
    int32_t full = -1;
    ASSERT_TRUE(ParseFrequency(field, full)) << '"' << field << '"';
    ASSERT_EQ(int64_t{quick}, int64_t{full}) << '"' << field << '"';
    ASSERT_NE(field.substr(0, field.find(';')).find_first_not_of(' '), std::string::npos)
        << "an all-blank field is read with care: \"" << field << '"';
  }
  EXPECT_GT(taken, 1000);
}

// The line-end kernels find every byte of their set in a 64-byte chunk, at any place, the
// last included: each set of kernels the machine has against a byte-by-byte look.
TEST(LineEndBitsTest, EverySetFindsEveryLineEnd) {
  std::mt19937 random(3);
  std::vector<std::string> chunks;
  for (size_t at = 0; at < kChunk; ++at) {
    std::string chunk(kChunk, 'A');
    chunk[at] = '\n';
    chunks.push_back(chunk);
    chunk.assign(kChunk, '\n');
    chunk[at] = '\r';
    chunks.push_back(chunk);
  }
  for (int n = 0; n < 2000; ++n) {
    std::string chunk(kChunk, ' ');
    for (char& c : chunk) c = "\n\r A0\x8a\x0a"[random() % 7];
    chunks.push_back(chunk);
  }
  const LineEndBytes sets[] = {{'\n', '\n'}, {'\n', '\r'}, {'\x8a', ';'}};
  for (const LineEndBytes ends : sets) {
    for (const std::string& chunk : chunks) {
      uint64_t want = 0;
      for (size_t k = 0; k < chunk.size(); ++k) {
        want |= uint64_t{chunk[k] == ends.first || chunk[k] == ends.second} << k;
      }
      for (const KernelSet set : KernelSetsHere()) {
        ASSERT_EQ(LineEndsWith(set, chunk.data(), ends), want) << KernelName(set);
      }
    }
  }
}

// A file of the records a careless hand or program writes, among clean ones: comments,
// empty lines, short lines, carriage returns, blank, signed, ";"-ended and spaced frequencies,
// foreign bytes and codes beyond the strata, and no line end at the last line.
// `rarity` makes each kind of mess that many times rarer: at 1 nearly every batch of records
// holds some, at 500 most batches are clean.
std::string MessyRecords(const ConversionSettings& s, size_t records, uint32_t seed, bool ragged,
                         int rarity) {
  std::mt19937 random(seed);
  auto chance = [&](int in) { return random() % static_cast<unsigned>(in * rarity) == 0; };
  auto even = [&](int in) { return random() % static_cast<unsigned>(in) == 0; };
  std::string text;
  for (size_t r = 0; r < records; ++r) {
    if (chance(97)) text += "/* a comment */\n";
    // (An empty line is a record of no animals, but one with no age or group code.)
    if (s.nage == 1 && s.ngroups == 1 && chance(89)) text += "\n";
    std::string line(static_cast<size_t>(s.frqcol2) + 2, ' ');
    for (int32_t i = 0; i < s.nyrs; ++i) {
      const unsigned roll = random() % 100;
      // Mostly no capture; now and then a foreign byte, or the code after the strata's.
      line[static_cast<size_t>(i)] = roll < 70 ? '0' : roll < 72 ? '.' : roll < 73 ? 'z'
                                   : roll < 74 ? s.scodes[static_cast<size_t>(s.nstrata)]
                                               : s.scodes[random() % static_cast<unsigned>(s.nstrata)];
    }
    if (chance(13)) line.replace(0, static_cast<size_t>(s.nyrs), static_cast<size_t>(s.nyrs), '0');
    line[static_cast<size_t>(s.agecol - 1)] = s.acodes[random() % static_cast<unsigned>(s.nage)];
    line[static_cast<size_t>(s.grpcol - 1)] = s.gcodes[random() % static_cast<unsigned>(s.ngroups)];
    if (chance(10)) line[static_cast<size_t>(s.fatecol - 1)] = 'X';
    // Whole numbers only (another stops the run), written in every way that reads as one.
    std::string frequency = std::to_string(even(5) ? 2 + random() % 300 : 1);
    if (chance(70)) frequency = "0" + frequency;
    if (chance(80)) frequency.insert(1, " ");
    if (chance(60)) frequency = "-" + frequency;
    if (chance(40)) frequency = "";
    const auto from = static_cast<size_t>(s.frqcol1 - 1);
    const auto width = static_cast<size_t>(s.frqcol2 - s.frqcol1 + 1);
    if (frequency.size() > width) frequency = "1";
    if (ragged) {
      line.resize(from);
      line += frequency + ";";
    } else {
      line.replace(from + width - frequency.size(), frequency.size(), frequency);
      line.resize(from + width);
    }
    // Cut short, but never before the age and group codes (without them the run stops), nor
    // inside the frequency (which might leave a sign alone).
    const auto codes_end = static_cast<size_t>(std::max(s.agecol, s.grpcol));
    if (chance(50)) line.resize(codes_end + random() % (from + 1 - codes_end));
    // Line ends of every kind: a line feed, a carriage return and line feed, a carriage return.
    const bool returns = chance(7);
    text += line;
    if (r + 1 < records || chance(2)) text += returns ? "\r\n" : chance(11) ? "\r" : "\n";
  }
  return text;
}

// What a reading gives: every cell of its tables n, bt and btot as they lie, the checks, the
// chart of captures and the tables of the fit tests (counted with the chart), the counts; and
// what two toy sinks counted, one switched on with the chart (counting a batch in the shared
// rounds), the other always on (with a walk of its own).
struct Reading {
  std::vector<int32_t> cells;
  RecordChecks checks;
  std::vector<int64_t> caught;
  std::vector<int64_t> by_group;
  std::vector<gof::FitTables> fit;
  std::vector<int64_t> by_age_in_pairs;
  std::vector<int64_t> by_age_own;
  int64_t records = 0;
  int32_t animals = 0;
};

template <typename Tables>
Reading Read(const ConversionSettings& s, const std::string& text, int threads, bool chart = true,
             KernelSet set = BestKernels()) {
  std::ostringstream console_text;
  Console console(console_text);
  InputFile input;
  input.OpenMemory(text, "records");
  ReadOptions options;
  options.threads = threads;
  options.plain_only = threads < 0;
  options.report = chart;
  options.gof = chart;
  options.kernels = set;
  Tables tables(s);
  Reading reading;
  RecordsRead read;
  testing::SwitchedAgeClassCaptures<testing::InPairs> in_pairs(chart);
  testing::AgeClassCaptures<testing::OwnWalk> own;
  try {
    read = tables.ReadAll(input, console, options, in_pairs, own);
  } catch (const FatalStop& stop) {
    ADD_FAILURE() << "the run stopped: " << (stop.lines().empty() ? "" : stop.lines().back())
                  << " " << stop.stop();
  }
  for (const CountTable* table : {&tables.n.counts(), &tables.bt.counts(), &tables.btot.counts()}) {
    for (size_t k = 0; k < table->size(); ++k) reading.cells.push_back(table->at(k));
  }
  reading.checks = read.checks;
  reading.caught = read.counted.Of<ChartCounts>().caught;
  reading.by_group = read.counted.Of<ChartCounts>().by_group;
  reading.fit = read.counted.Of<FitCounting>();
  reading.records = read.records;
  reading.animals = read.animals;
  reading.by_age_in_pairs = in_pairs.counts();
  reading.by_age_own = own.counts();
  return reading;
}

void ExpectSameChecks(const RecordChecks& a, const RecordChecks& b, const std::string& what) {
  const Sighting* sa[] = {&a.foreign, &a.beyond, &a.no_capture, &a.short_record, &a.blank_frequency,
                          &a.spaced_frequency};
  const Sighting* sb[] = {&b.foreign, &b.beyond, &b.no_capture, &b.short_record, &b.blank_frequency,
                          &b.spaced_frequency};
  for (size_t k = 0; k < std::size(sa); ++k) {
    EXPECT_EQ(sa[k]->count, sb[k]->count) << what << ", sighting " << k;
    EXPECT_EQ(sa[k]->record, sb[k]->record) << what << ", sighting " << k;
    EXPECT_EQ(sa[k]->line, sb[k]->line) << what << ", sighting " << k;
    EXPECT_EQ(sa[k]->column, sb[k]->column) << what << ", sighting " << k;
  }
  EXPECT_EQ(a.comment_lines, b.comment_lines) << what;
  EXPECT_EQ(a.empty_lines, b.empty_lines) << what;
  EXPECT_EQ(a.no_releases, b.no_releases) << what;
}

struct Layout {
  const char* what;
  int32_t nstrata, nyrs, nage, ngroups;
  bool aging;   // age classes rise from period to period
  int32_t width;  // of the frequency field
  bool ragged;  // frequencies left-justified and ended by ";", the line ending there
};

ConversionSettings SettingsFor(const Layout& l, ModelSet model) {
  ConversionSettings s;
  s.modset = model;
  s.nstrata = l.nstrata;
  s.nyrs = l.nyrs;
  s.nage = l.nage;
  s.ngroups = l.ngroups;
  // The code after the strata's stands for a stratum beyond them.
  s.scodes = std::string("ABCDEFGHIJ").substr(0, static_cast<size_t>(l.nstrata) + 1);
  s.scodes.resize(26, ' ');
  s.acodes = std::string("JAS").substr(0, static_cast<size_t>(l.nage));
  s.acodes.resize(26, ' ');
  s.gcodes = std::string("MFU").substr(0, static_cast<size_t>(l.ngroups));
  s.gcodes.resize(26, ' ');
  s.ageinc = std::string(40, l.aging ? '1' : '0');
  for (int32_t i = 1; i <= l.nyrs; ++i) s.codcol.push_back(i);
  s.agecol = l.nyrs + 2;
  s.grpcol = l.nyrs + 3;
  s.fatecol = l.nyrs + 4;
  s.frqcol1 = l.nyrs + 6;
  s.frqcol2 = l.nyrs + 5 + l.width;
  return s;
}

const Layout kLayouts[] = {
    {"5 strata, 40 periods, 2 ages rising, 2 groups, 4 columns", 5, 40, 2, 2, true, 4, false},
    {"5 strata, 40 periods, ragged", 5, 40, 2, 2, true, 4, true},
    {"3 strata, 12 periods, fixed ages, 8 columns", 3, 12, 2, 3, false, 8, false},
    {"1 stratum, 63 periods, 1 age, 1 column", 1, 63, 1, 1, true, 1, false},
    {"2 strata, 70 periods (past the masks), 3 ages", 2, 70, 3, 2, true, 5, false},
    {"4 strata, 6 periods, 10 columns (past the quick reader)", 4, 6, 2, 1, true, 10, false},
};

// The chart of captures by group, counted by hand, by both converters, the plain way and the
// quick way with each set of kernels: a capture counts where its group, period and stratum put
// it, the last capture of animals not released there too.
TEST(ChartCountsTest, CapturesByGroupCountedByHand) {
  const Layout layout = {"2 strata, 3 periods, 2 groups", 2, 3, 1, 2, false, 2, false};
  //   AB0 M x3: M caught at 1 in A, at 2 in B; 0AA F x2: F at 2 and 3 in A; B0B F x1, lost on
  //   capture: F at 1 and 3 in B.
  const std::string text = "AB0 JM   3\n0AA JF   2\nB0B JFX  1\n";
  // [group][period][stratum]
  const std::vector<int64_t> by_group = {3, 0, 0, 3, 0, 0, 0, 1, 2, 0, 2, 1};
  const std::vector<int64_t> caught = {3, 1, 2, 3, 2, 1};
  for (const bool memory : {false, true}) {
    const ConversionSettings s = SettingsFor(layout, memory ? ModelSet::kMemoryMovement : ModelSet::kMovementOnly);
    for (const KernelSet set : KernelSetsHere()) {
      for (const int threads : {-1, 1}) {
        const Reading read = memory ? Read<MemoryTables>(s, text, threads, true, set)
                                    : Read<CohortTables>(s, text, threads, true, set);
        const std::string what = std::string(memory ? "memory" : "movement") + ", " + KernelName(set) +
                                 (threads < 0 ? ", plain" : ", quick");
        EXPECT_EQ(read.by_group, by_group) << what;
        EXPECT_EQ(read.caught, caught) << what;
      }
    }
  }
}

// Every record of a text as the record stream reads it, one line a record: its captures, age
// class, group, animals and whether they are released at the last capture.
std::string Described(int32_t iage, int32_t igrp, uint32_t freq, uint32_t released,
                      const std::vector<std::pair<int32_t, int32_t>>& captures) {
  std::string d = std::to_string(iage) + " " + std::to_string(igrp) + " " + std::to_string(freq) +
                  (released != 0 ? " r" : " l");
  for (const auto& [period, stratum] : captures) {
    d += " " + std::to_string(period) + ":" + std::to_string(stratum);
  }
  return d;
}

std::vector<std::string> PlainRecords(const ConversionSettings& s, const std::string& text,
                                      RecordChecks& checks, int64_t& nanim) {
  std::ostringstream console_text;
  Console console(console_text);
  InputFile input;
  input.OpenMemory(text, "records");
  checks = RecordChecks{};
  RecordStream stream(s, input, console, checks);
  DecodedRecord rec = RecordOfPeriods(s.nyrs);
  std::vector<std::string> records;
  for (;;) {
    try {
      if (!stream.Next(rec)) break;
    } catch (const FatalStop& stop) {
      ADD_FAILURE() << "record " << stream.nrec() + 1 << ": " << stop.lines().back();
      break;
    }
    std::vector<std::pair<int32_t, int32_t>> captures;
    for (const Capture& c : rec.Captures()) captures.emplace_back(c.period, c.stratum);
    const LateRecord late = LateOf(rec);
    records.push_back(Described(late.iage, late.igrp, late.freq, late.released, captures));
  }
  nanim = stream.nanim();
  return records;
}

// What a part reader hands on, every record described, in the order handed.
struct Listing {
  std::vector<std::string>* records;
  template <typename Captures>
  void operator()(Captures captures, const LateRecord& rec) const {
    std::vector<std::pair<int32_t, int32_t>> list;
    for (int32_t period = 0, stratum = 0; captures.Next(period, stratum);) list.emplace_back(period, stratum);
    records->push_back(Described(rec.iage, rec.igrp, rec.freq, rec.released, list));
  }
  void Batch(const CaptureBatch& batch) const {
    for (size_t k = 0; k < batch.size; ++k) {
      (*this)(CaptureBits(batch.captured[k], batch.histories[k], batch.code_class), batch.records[k]);
    }
  }
};

// The same records as one part of the quick way reads them with the kernels of `set`.
std::vector<std::string> QuickRecords(const ConversionSettings& s, const std::string& text,
                                      KernelSet set, PartTally& tally) {
  InputFile input;
  input.OpenMemory(text, "records");
  const FastReading reading(s, input, s.nage);
  std::vector<std::string> records;
  tally.read = ReadPart(set, reading, reading.input, 0, text.size(), tally, Listing{&records});
  return records;
}

// A record across the edge of the blocks a part reads, at every offset around it, and a file
// that ends at every byte of its last record: each set of kernels reads every record as the
// record stream does.
TEST(QuickPathTest, RecordsAcrossBlockEdgesAndAtTheEnd) {
  const Layout layout = {"3 strata, 20 periods", 3, 20, 2, 2, true, 5, false};
  const ConversionSettings s = SettingsFor(layout, ModelSet::kMovementOnly);
  std::string body = MessyRecords(s, 400, 5, false, 1);
  if (body.back() != '\n') body += '\n';
  body += "0A0B.000C000A000B00. AFX   123\r\n";
  // The record at the block edge, ended by a carriage return and line feed, or a carriage
  // return alone.
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string edge : {"AB0C0000A00B000C0000 JM  00017\r\n", "AB0C0000A00B000C0000 JM  00017\r"}) {
  for (size_t before = 0; before <= edge.size() + 1; ++before) {
    // Comment lines up to the edge (quick to read; within the record width), the last of them
    // long enough to put the edge record's start `before` bytes ahead of the block's end.
    const std::string comment = "/*" + std::string(95, ' ') + "*/\n";
    std::string text;
    while (text.size() + 2 * comment.size() < kPartBlock - before) text += comment;
    const size_t pad = kPartBlock - before - text.size();
    text += "/*" + std::string(pad - 5, ' ') + "*/\n";
    text += edge + body;
    files.emplace_back("edge record " + std::to_string(before) + " bytes before the block's end, " +
                           (edge.back() == '\n' ? "CR LF" : "CR"), text);
  }
  }
  // (From its group code on: a record without one stops the run.)
  const size_t last = body.rfind('\n', body.size() - 2) + 1;
  for (size_t cut = last + static_cast<size_t>(s.grpcol); cut <= body.size(); ++cut) {
    files.emplace_back("file ending at byte " + std::to_string(cut - last) + " of its last record",
                       body.substr(0, cut));
  }
  for (const auto& [what, text] : files) {
    RecordChecks checks;
    int64_t nanim = 0;
    const std::vector<std::string> plain = PlainRecords(s, text, checks, nanim);
    for (const KernelSet set : KernelSetsHere()) {
      PartTally tally;
      const std::vector<std::string> quick = QuickRecords(s, text, set, tally);
      const std::string where = what + ", " + KernelName(set);
      ASSERT_EQ(tally.read, PartRead::kRead) << where;
      ASSERT_EQ(quick, plain) << where;
      EXPECT_EQ(tally.nrec, static_cast<int64_t>(plain.size())) << where;
      EXPECT_EQ(tally.nanim, nanim) << where;
      ExpectSameChecks(checks, tally.checks, where);
    }
  }
}

// Every layout, both converters, one to three threads, each set of kernels the machine has:
// the same tables (every cell), counts, checks and chart of captures as one record at a time,
// which reads each file once.
class QuickPathSetTest : public ::testing::TestWithParam<KernelSet> {};

INSTANTIATE_TEST_SUITE_P(EverySet, QuickPathSetTest, ::testing::ValuesIn(KernelSetsHere()),
                         [](const auto& info) { return std::string(KernelName(info.param)); });

TEST_P(QuickPathSetTest, AgreesWithThePlainWayOnMessyFiles) {
  const KernelSet set = GetParam();
  for (const Layout& layout : kLayouts) {
    for (const bool memory : {false, true}) {
      if (memory && layout.nyrs > kMaxMemoryPeriods) continue;
      const ConversionSettings s =
          SettingsFor(layout, memory ? ModelSet::kMemoryMovement : ModelSet::kMovementOnly);
      const auto read = memory ? Read<MemoryTables> : Read<CohortTables>;
      for (const int rarity : {1, 500}) {
        const std::string text = MessyRecords(s, 12000, 11, layout.ragged, rarity);
        const Reading plain = read(s, text, -1, true, set);
        // With a chart of captures to count, and without (batches read whole are then counted
        // otherwise).
        // (The machine's best set reads every way; the others, which differ from it in their
        // kernels alone, one thread with a chart and two without.)
        std::vector<std::pair<int, bool>> runs = {{1, true}, {2, false}};
        if (set == BestKernels()) runs = {{1, true}, {1, false}, {2, false}, {3, true}};
        for (const auto& [threads, chart] : runs) {
          const std::string what = std::string(layout.what) + (memory ? ", memory" : ", movement") +
                                   ", mess 1/" + std::to_string(rarity) + ", " +
                                   std::to_string(threads) + " threads" + (chart ? ", chart" : "");
          const Reading quick = read(s, text, threads, chart, set);
          ASSERT_EQ(quick.cells.size(), plain.cells.size()) << what;
          const auto differs =
              std::mismatch(plain.cells.begin(), plain.cells.end(), quick.cells.begin()).first;
          EXPECT_EQ(differs - plain.cells.begin(), std::ssize(plain.cells))
              << what << ": the first cell that differs";
          EXPECT_EQ(plain.records, quick.records) << what;
          EXPECT_EQ(plain.animals, quick.animals) << what;
          ExpectSameChecks(plain.checks, quick.checks, what);
          // A sink added to the list counts the same on every way, whether its batches are
          // counted in the shared rounds or by its own walk; switched off, it counts nothing.
          EXPECT_EQ(plain.by_age_own, quick.by_age_own) << what;
          EXPECT_EQ(quick.by_age_in_pairs, chart ? quick.by_age_own : std::vector<int64_t>{}) << what;
          if (chart) {
            // Its captures by period, every age class together, are the chart's.
            for (int32_t period = 1; period <= s.nyrs; ++period) {
              int64_t by_age = 0;
              for (size_t age = 0; age < 27; ++age) by_age += quick.by_age_own[age * testing::kRow + period];
              int64_t charted = 0;
              for (int32_t k = 0; k < s.nstrata; ++k) charted += quick.caught[(period - 1) * s.nstrata + k];
              ASSERT_EQ(by_age, charted) << what << ", period " << period;
            }
            EXPECT_EQ(plain.caught, quick.caught) << what;
            EXPECT_EQ(plain.by_group, quick.by_group) << what;
            EXPECT_TRUE(plain.fit == quick.fit) << what;
            EXPECT_EQ(quick.fit.size(), static_cast<size_t>(s.ngroups)) << what;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace haplovex
