#include "tabulate/inp_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "memory/memory_tables.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/inp_part_reader.h"
#include "tabulate/tabulation.h"
#include "toy_sink.h"

namespace haplovex {
namespace {

// A run of summarised histories: `strata` of the codes "ABCDE" (the code after them stands
// for a stratum beyond), `periods`, one group for each code of `groups` (one unnamed if none).
ConversionSettings InpSettings(int32_t strata, int32_t periods, const std::string& groups,
                               ModelSet model = ModelSet::kMovementOnly) {
  ConversionSettings s;
  s.inp = true;
  s.modset = model;
  s.nstrata = strata;
  s.nyrs = periods;
  s.nage = 1;
  s.ngroups = groups.empty() ? 1 : static_cast<int32_t>(groups.size());
  s.scodes = std::string("ABCDEF").substr(0, static_cast<size_t>(strata) + 1);
  s.scodes.resize(kCodesWidth, ' ');
  s.gcodes = groups;
  s.gcodes.resize(kCodesWidth, ' ');
  for (int32_t i = 1; i <= periods; ++i) s.codcol.push_back(i);
  return s;
}

// What a run read: the stop message, or the counts, checks, chart and every table cell.
struct Outcome {
  std::string error;
  int64_t nrec = 0;
  int64_t nanim = 0;
  RecordChecks checks;
  std::vector<int64_t> caught;
  std::vector<int32_t> cells;
  std::string console;
  // What a toy sink counted, in the rounds every sink shares, and another with a walk of its
  // own.
  std::vector<int64_t> by_age_in_pairs;
  std::vector<int64_t> by_age_own;
};

std::vector<int32_t> Cells(const ConversionSettings& s, const CohortTables& t) {
  std::vector<int32_t> cells;
  for (int g = 1; g <= s.ngroups; ++g)
    for (int st = 1; st <= s.nstrata; ++st)
      for (int s2 = 1; s2 <= s.nstrata; ++s2) {
        cells.push_back(t.btot(s2, st, 1, g));
        for (int i = 1; i <= s.nyrs; ++i) {
          if (s2 == 1) cells.push_back(t.n(i, st, 1, g));
          for (int j = i + 1; j <= s.nyrs; ++j)
            cells.push_back(t.bt(PairIndex(i, j, s.nyrs), st, s2, 1, g));
        }
      }
  return cells;
}

std::vector<int32_t> Cells(const ConversionSettings& s, const MemoryTables& t) {
  std::vector<int32_t> cells;
  for (int g = 1; g <= s.ngroups; ++g)
    for (int r = 1; r <= s.nstrata; ++r)
      for (int x = 1; x <= s.nstrata; ++x) {
        cells.push_back(t.btot(x, r, 1, g));
        for (int i = 1; i <= s.nyrs; ++i) {
          cells.push_back(t.n(i, x, r, 1, g));
          for (int j = i + 1; j <= s.nyrs; ++j)
            for (int y = 1; y <= s.nstrata; ++y)
              cells.push_back(t.bt(PairIndex(i, j, s.nyrs), x, r, y, 1, g));
        }
      }
  return cells;
}

// The records of `text` read by a converter: the plain way (threads -1) or the quick way.
template <typename Tables>
Outcome Convert(const ConversionSettings& s, const std::string& text, int threads,
                KernelSet set = BestKernels(),
                const std::function<void(const Tables&)>& inspect = {}) {
  std::ostringstream console_text;
  Console console(console_text);
  InputFile input;
  input.OpenMemory(text, "records.inp");
  ReadOptions options;
  options.threads = threads;
  options.plain_only = threads < 0;
  options.kernels = set;
  options.report = true;
  Outcome outcome;
  Tables tables(s);
  RecordsRead read;
  testing::AgeClassCaptures<testing::InPairs> in_pairs;
  testing::AgeClassCaptures<testing::OwnWalk> own;
  try {
    read = tables.ReadAll(input, console, options, in_pairs, own);
  } catch (const FatalStop& stop) {
    outcome.error = stop.lines().empty() ? stop.stop() : stop.lines().back();
    return outcome;
  }
  outcome.by_age_in_pairs = in_pairs.counts();
  outcome.by_age_own = own.counts();
  outcome.nrec = read.records;
  outcome.nanim = read.animals;
  outcome.checks = read.checks;
  outcome.caught = read.counted.Of<ChartCounts>().by_group;
  outcome.cells = Cells(s, tables);
  outcome.console = console_text.str();
  if (inspect) inspect(tables);
  return outcome;
}

// The checks of summarised histories in words.
std::string Described(const RecordChecks& checks) {
  std::string d;
  auto sighting = [&d](const char* what, const Sighting& seen, bool column) {
    if (seen.count == 0) return;
    d += std::string("; ") + what + " " + std::to_string(seen.count) + " from record " +
         std::to_string(seen.record) + " line " + std::to_string(seen.line) +
         (column ? " column " + std::to_string(seen.column) : "");
  };
  sighting("no capture", checks.no_capture, false);
  sighting("foreign", checks.foreign, true);
  sighting("beyond", checks.beyond, true);
  sighting("other fields", checks.other_fields, true);
  if (!checks.first_split.empty()) {
    d += "; " + checks.first_split + " [" + std::to_string(checks.first_fields) + " fields]";
  }
  return d;
}

// The counts and checks of an outcome in words, or its stop message.
std::string Described(const Outcome& o) {
  if (!o.error.empty()) return o.error;
  return "records " + std::to_string(o.nrec) + ", animals " + std::to_string(o.nanim) +
         Described(o.checks);
}

struct InpCase {
  const char* name;
  std::string groups;
  std::string text;
  std::string want;                                   // Described, typed from the documented rules
  std::vector<std::array<int32_t, 4>> releases = {};  // (period, stratum, group, n) of CohortTables
};

// Strata A and B (C beyond them), 4 periods. Every case gives the same on the plain way and the
// quick way, with 1 to 3 threads and every set of kernels.
TEST(InpStreamTest, RecordsCommentsLineEndsAndErrors) {
  // A record of no capture, 63 records after it (a batch of 64 read quickly), and one read byte
  // by byte (a comment among its fields).
  std::string batch = "0000 1 1;\n";
  for (int k = 0; k < 63; ++k) batch += "A0B0 1 1;\n";
  batch += "A0B0 /* c */ 1 1;\n";
  // 23,830 records of 11 bytes, then a comment line of 13 bytes: its carriage return is the
  // last byte of the first 256 KiB (262,144 bytes), its line feed the first of the next.
  std::string crlf;
  for (int k = 0; k < 23'830; ++k) crlf += "A0B0 1 1;\r\n";
  crlf += "/* padding */\r\n0000 1 1;\r\n";
  const std::string sevens(249, '7');
  const std::vector<InpCase> cases = {
      {"a record of no capture in a full batch before one read byte by byte", "MF", batch,
       "records 65, animals 130; no capture 1 from record 1 line 1"
       "; line 1: history 0000, counts 1 1 (groups M, F) [3 fields]"},
      {"a block that ends between a carriage return and its line feed", "MF", crlf,
       "records 23831, animals 47662; no capture 1 from record 23831 line 23832"
       "; line 1: history A0B0, counts 1 1 (groups M, F) [3 fields]"},
      {"a comment over several lines", "MF",
       "/* a comment\n   over three\n   lines */ A0B0 2 1;\n0AA0 0 3;\n",
       "records 2, animals 6"
       "; line 3: history A0B0, counts 2 1 (groups M, F) [3 fields]"},
      {"comments between fields", "MF", "A0B0 /* M */ 2 /* F */ 1 ;\n0000/**/1 0;\n",
       "records 2, animals 4; no capture 1 from record 2 line 2"
       "; line 1: history A0B0, counts 2 1 (groups M, F) [3 fields]"},
      {"a record over two lines", "MF", "A0B0 2\n  1;\n0000\n1 0;\n",
       "records 2, animals 4; no capture 1 from record 2 line 3"
       "; line 1: history A0B0, counts 2 1 (groups M, F) [3 fields]"},
      {"several records on a line", "MF", "A0B0 1 0; 0AB0 0 1;0000 2 2;",
       "records 3, animals 6; no capture 1 from record 3 line 1"
       "; line 1: history A0B0, counts 1 0 (groups M, F) [3 fields]"},
      {"covariates", "MF", "A0B0 2 1 0.75;\n0A0B 1 0 0.5 12;\n00B0 0 1 a/b;\n",
       "records 3, animals 5; other fields 1 from record 2 line 2 column 5"
       "; line 1: history A0B0, counts 2 1 (groups M, F), 1 covariate ignored [4 fields]"},
      {"a negative count, signs and zeros",
       "MF",
       "A0B0 -2 1;\n0A0B +0 -0;\n",
       "records 2, animals 3; line 1: history A0B0, counts -2 1 (groups M, F) [3 fields]",
       {{1, 1, 1, 2}, {3, 2, 1, 0}, {1, 1, 2, 1}, {3, 2, 2, 1}, {2, 1, 1, 0}}},
      {"odd history characters", "MF", "AzC0 1 0;\n",
       "records 1, animals 1; foreign 1 from record 1 line 1 column 2"
       "; beyond 1 from record 1 line 1 column 3"
       "; line 1: history AzC0, counts 1 0 (groups M, F) [3 fields]"},
      {"line feeds", "MF", "/* c */\nA0B0 1 0;\n\n0000 0 2;\n",
       "records 2, animals 3; no capture 1 from record 2 line 4"
       "; line 2: history A0B0, counts 1 0 (groups M, F) [3 fields]"},
      {"carriage returns and line feeds", "MF", "/* c */\r\nA0B0 1 0;\r\n\r\n0000 0 2;\r\n",
       "records 2, animals 3; no capture 1 from record 2 line 4"
       "; line 2: history A0B0, counts 1 0 (groups M, F) [3 fields]"},
      {"carriage returns", "MF", "/* c */\rA0B0 1 0;\r\r0000 0 2;\r",
       "records 2, animals 3; no capture 1 from record 2 line 4"
       "; line 2: history A0B0, counts 1 0 (groups M, F) [3 fields]"},
      {"line ends mixed", "MF", "A0B0 1 0;\r\n0B00\r1 1;\n\r\n0000 1 0;",
       "records 3, animals 4; no capture 1 from record 3 line 5"
       "; line 1: history A0B0, counts 1 0 (groups M, F) [3 fields]"},
      {"a byte-order mark", "MF", "\xEF\xBB\xBF/* header */\nA0B0 1 1;\n",
       "records 1, animals 2; line 2: history A0B0, counts 1 1 (groups M, F) [3 fields]"},
      {"\"/*/\" closes no comment", "MF", "/*/ A0B0 9 9; /* */ 0A00 1 0;\n",
       "records 1, animals 1; line 1: history 0A00, counts 1 0 (groups M, F) [3 fields]"},
      {"a \";\" in a comment", "MF", "/* a; b */ A0B0 1 0;",
       "records 1, animals 1; line 1: history A0B0, counts 1 0 (groups M, F) [3 fields]"},
      {"one group", "", "0A00  158 ;\n00B0 352;",
       "records 2, animals 510; line 1: history 0A00, count 158 [2 fields]"},
      {"comments and blanks only", "MF", "/* nothing */\n\t \n", "records 0, animals 0"},
      {"no \";\" after the last record", "MF", "A0B0 2 1;\n\n0A00 1 0\n",
       " *** Line 3: data after the last \";\""},
      {"a comment left open", "MF", "A0B0 1 1;\n/* open\n;\n",
       " *** Line 2: a comment is left open at the end of the file"},
      {"too few counts", "MF", "A0B0 2 1;\nAB00\n 3;\n",
       " *** Line 2: 1 count for 2 groups (M, F): each record needs one count for each group"},
      {"no count", "MF", "AB00;",
       " *** Line 1: 0 counts for 2 groups (M, F): each record needs one count for each group"},
      {"a history of another length", "MF", "A0B0 1 1;\n/* next */ A0B 1 0;",
       " *** Line 2: the history \"A0B\" has 3 characters, where there are 4 periods"},
      {"a comment inside a history", "MF", "A0/* x */B0 1 1;",
       " *** Line 1: the history \"A0\" has 2 characters, where there are 4 periods"},
      {"a count not whole", "MF", "A0B0 1 1.5;",
       " *** Line 1: the count \"1.5\" is not a whole number of animals"},
      {"a sign alone", "MF", "\nA0B0 - 1;",
       " *** Line 2: the count \"-\" is not a whole number of animals"},
      {"a sign inside a count", "MF", "A0B0 1 1;\nA0B0 1-2 1;",
       " *** Line 2: the count \"1-2\" is not a whole number of animals"},
      {"a bad count of 250 characters, shown whole", "MF", "A0B0 " + sevens + "x 1;",
       " *** Line 1: the count \"" + sevens + "x\" is not a whole number of animals"},
      {"a bad count of 251 characters, cut at 250", "MF", "A0B0 7" + sevens + "x 1;",
       " *** Line 1: the count \"7" + sevens + "...\" is not a whole number of animals"},
      {"a \"/\" after the last \";\", on a line of its own", "MF", "A0B0 1 1;\n\n/",
       " *** Line 3: data after the last \";\""},
      {"animals past the limit", "MF", "A0B0 999999999 0;\n0A0B 0 1;",
       " *** Record 2: the number of animals read passes 999,999,999"},
  };
  for (const InpCase& c : cases) {
    const ConversionSettings s = InpSettings(2, 4, c.groups);
    const Outcome plain =
        Convert<CohortTables>(s, c.text, -1, BestKernels(), [&c](const CohortTables& t) {
          for (const auto& [i, st, g, n] : c.releases) {
            EXPECT_EQ(t.n(i, st, 1, g), n)
                << c.name << ": n(" << i << ", " << st << ", 1, " << g << ")";
          }
        });
    EXPECT_EQ(Described(plain), c.want) << c.name;
    for (const KernelSet set : KernelSetsHere()) {
      for (int threads = 1; threads <= 3; ++threads) {
        const Outcome quick = Convert<CohortTables>(s, c.text, threads, set);
        EXPECT_EQ(Described(quick), c.want)
            << c.name << ", " << KernelName(set) << ", " << threads << " threads";
        EXPECT_EQ(quick.cells, plain.cells) << c.name << ", " << KernelName(set);
      }
    }
    const ConversionSettings m = InpSettings(2, 4, c.groups, ModelSet::kMemoryMovement);
    EXPECT_EQ(Described(Convert<MemoryTables>(m, c.text, 2)), c.want) << c.name << ", memory";
  }
}

// With listdata, each group counted is echoed as a fixed-column record of its animals is: the
// record's number, the count as read, no fate mark, age class 1, the stratum of each period.
TEST(InpStreamTest, ListingEchoesEachGroupCounted) {
  ConversionSettings s = InpSettings(2, 4, "MF");
  s.listdata = true;
  const std::string none(1, '\0');
  EXPECT_EQ(Convert<CohortTables>(s, "A0B0 2 -1;\n0AB0 0 3;\n", 2).console,
            "      1     2 " + none + " 1 1020\n      1    -1 " + none + " 1 1020\n      2     3 " +
                none + " 1 0120\n");
}

// The same animals as summarised histories and as fixed columns (a line for each history and
// group: the history, the group code in column 6, the count in columns 8-10): the same tables
// and animals, for both converters and both ways.
TEST(InpStreamTest, SameTablesAsFixedColumns) {
  const std::string inp =
      "A0B0 2 1;\n0AA0 0 -3;\nAB0B 1 0 7.5;\n0000 1 1;\n/* x */ BBAA 0 2;\nABAB 4 -1;";
  const std::string fixed =
      "A0B0 M   2\nA0B0 F   1\n0AA0 M   0\n0AA0 F  -3\nAB0B M   1\nAB0B F   0\n0000 M   1\n0000 F  "
      " 1\n"
      "BBAA M   0\nBBAA F   2\nABAB M   4\nABAB F  -1\n";
  for (const ModelSet model : {ModelSet::kMovementOnly, ModelSet::kMemoryMovement}) {
    const ConversionSettings s = InpSettings(2, 4, "MF", model);
    ConversionSettings f = s;
    f.inp = false;
    f.grpcol = 6;
    f.frqcol1 = 8;
    f.frqcol2 = 10;
    for (const int threads : {-1, 2}) {
      const bool memory = IsMemoryModel(model);
      const Outcome a =
          memory ? Convert<MemoryTables>(s, inp, threads) : Convert<CohortTables>(s, inp, threads);
      const Outcome b = memory ? Convert<MemoryTables>(f, fixed, threads)
                               : Convert<CohortTables>(f, fixed, threads);
      EXPECT_EQ(a.error, "");
      EXPECT_EQ(a.cells, b.cells) << (memory ? "memory" : "movement") << ", " << threads;
      EXPECT_EQ(a.nanim, 16);
      EXPECT_EQ(b.nanim, 16);
      EXPECT_EQ(a.nrec, 6);
      EXPECT_EQ(a.caught, b.caught);
    }
  }
}

// A group of animals as counted: group, animals, removed or not, captures.
std::string Counted(int32_t igrp, uint32_t freq, bool removed,
                    const std::vector<std::pair<int32_t, int32_t>>& caps) {
  std::string d = std::to_string(igrp) + " " + std::to_string(freq) + (removed ? " removed" : "");
  for (const auto& [period, stratum] : caps)
    d += " " + std::to_string(period) + ":" + std::to_string(stratum);
  return d;
}

// The groups of animals of `text` (those with a capture) as the plain way hands them out, sorted.
std::vector<std::string> PlainGroups(const ConversionSettings& s, const std::string& text,
                                     RecordChecks& checks, int64_t& nrec, int64_t& nanim) {
  std::ostringstream console_text;
  Console console(console_text);
  InputFile input;
  input.OpenMemory(text, "records.inp");
  checks = RecordChecks{};
  InpStream stream(s, input, console, checks);
  DecodedRecord rec = RecordOfPeriods(s.nyrs);
  std::vector<std::string> groups;
  while (stream.Next(rec)) {
    std::vector<std::pair<int32_t, int32_t>> caps;
    for (const Capture& c : rec.Captures()) caps.emplace_back(c.period, c.stratum);
    if (!caps.empty())
      groups.push_back(Counted(rec.igrp, static_cast<uint32_t>(rec.freq), rec.removed, caps));
  }
  std::sort(groups.begin(), groups.end());
  nrec = stream.nrec();
  nanim = stream.nanim();
  return groups;
}

// What a part reader hands on, each group of animals described.
struct GroupsListed {
  std::vector<std::string>* groups;
  template <typename Captures>
  void operator()(Captures captures, const LateRecord& late) const {
    std::vector<std::pair<int32_t, int32_t>> caps;
    for (int32_t period = 0, stratum = 0; captures.Next(period, stratum);) caps.emplace_back(period, stratum);
    groups->push_back(Counted(late.igrp, late.freq, late.released == 0, caps));
  }
  void Batch(const CaptureBatch& batch) const {
    for (size_t e = 0; e < batch.size; ++e) {
      (*this)(CaptureBits(batch.captured[e], batch.histories[e], batch.code_class), batch.records[e]);
    }
  }
};

// The same read by the quick way's part reader over `ranges` with the kernels of `set`, the
// parts joined (false in `joined` when one gave up); `rereads`: parts read again.
std::vector<std::string> QuickGroups(const ConversionSettings& s, const std::string& text,
                                     const std::vector<std::pair<uint64_t, uint64_t>>& ranges,
                                     KernelSet set, RecordChecks& checks, int64_t& nrec,
                                     int64_t& nanim, bool& joined, int& rereads) {
  InputFile input;
  input.OpenMemory(text, "records.inp");
  const FastReading reading(s, input, 1);
  std::vector<PartTally> tallies(ranges.size());
  std::vector<InpPart> parts(ranges.size());
  std::vector<std::vector<std::string>> counted(ranges.size());
  auto read = [&](size_t k, uint64_t begin) {
    tallies[k] = PartTally{};
    parts[k] = InpPart{};
    counted[k].clear();
    tallies[k].read =
        ReadInpPart(set, reading, begin, ranges[k].second, tallies[k], parts[k], GroupsListed{&counted[k]});
  };
  for (size_t k = 0; k < ranges.size(); ++k) read(k, ranges[k].first);
  rereads = 0;
  joined = JoinInpParts(
      ranges, tallies, parts,
      [&](size_t k, uint64_t begin) {
        ++rereads;
        read(k, begin);
      },
      checks, nrec, nanim);
  std::vector<std::string> groups;
  for (const std::vector<std::string>& part : counted)
    groups.insert(groups.end(), part.begin(), part.end());
  std::sort(groups.begin(), groups.end());
  return groups;
}

// Two parts split at every line end of a text with comments and records over several lines (and
// over the split): each set of kernels, joining the parts, counts every group of animals and
// gives the checks the plain way gives.
TEST(InpPartReaderTest, ACommentAndARecordAcrossEverySplitPoint) {
  const std::string text =
      "\xEF\xBB\xBF/* a header\n   over lines; with a \";\" and a /\n*/\n"
      "A0B0 1 2;\n0A0A\n  3 0 /* a comment\n  in the record */ 1.5;\n"
      "/* between */ 0000 1 1;  AB0B 0 2;\nB00A 1 /* c */\n\n-4 x y\nz;\n/* a comment; over\r\n a "
      "line end */\n"
      "0z0C 2 1 7 8;\r\nA000\r1\r\n1;\rBBBB\t0\t9\t;\n";
  const ConversionSettings s = InpSettings(2, 4, "MF");
  RecordChecks checks;
  int64_t nrec = 0;
  int64_t nanim = 0;
  const std::vector<std::string> plain = PlainGroups(s, text, checks, nrec, nanim);
  ASSERT_EQ(nrec, 8);
  int rereads = 0;
  for (size_t split = 4; split < text.size(); ++split) {
    if (text[split - 1] != '\n' && !(text[split - 1] == '\r' && text[split] != '\n')) continue;
    for (const KernelSet set : KernelSetsHere()) {
      const std::string what = "split at " + std::to_string(split) + ", " + KernelName(set);
      RecordChecks quick_checks;
      int64_t quick_nrec = 0;
      int64_t quick_nanim = 0;
      bool joined = false;
      int reread = 0;
      const std::vector<std::string> quick =
          QuickGroups(s, text, {{3, split}, {split, kToFileEnd}}, set, quick_checks, quick_nrec,
                      quick_nanim, joined, reread);
      rereads += reread;
      ASSERT_TRUE(joined) << what;
      EXPECT_EQ(quick, plain) << what;
      EXPECT_EQ(quick_nrec, nrec) << what;
      EXPECT_EQ(quick_nanim, nanim) << what;
      EXPECT_EQ(Described(quick_checks), Described(checks)) << what;
    }
  }
  EXPECT_GT(rereads, 0);  // some splits fall in a record or a comment
}

// A file of summarised histories as a careless hand or program writes them: blanks, tabs and
// every kind of line end between fields, comments between records and fields (over lines, with
// ";" and "/" in them), covariates, signed and zero counts, odd history characters, histories
// of no capture, records past 64 bytes, several records on a line, a byte-order mark.
std::string MessyInp(const ConversionSettings& s, size_t records, uint32_t seed) {
  std::mt19937 random(seed);
  auto one_in = [&random](unsigned n) { return random() % n == 0; };
  auto gap = [&]() {
    std::string g = one_in(3) ? "\t" : " ";
    if (one_in(25)) g += one_in(3) ? "\r\n" : one_in(2) ? "\r" : "\n";
    if (one_in(40)) g += "/* a; note\n over / lines */";
    if (one_in(40)) g += "/**/";
    if (one_in(10)) g += "   ";
    return g;
  };
  std::string text = one_in(2) ? "\xEF\xBB\xBF" : "";
  for (size_t r = 0; r < records; ++r) {
    if (one_in(30)) text += "/* record " + std::to_string(r) + "; */" + (one_in(2) ? "\n" : " ");
    std::string history;
    const bool none = one_in(15);
    for (int32_t i = 0; i < s.nyrs; ++i) {
      const unsigned roll = random() % 100;
      history += none || roll < 70 ? '0'
                 : roll < 72       ? '.'
                 : roll < 73       ? 'z'
                 : roll < 74       ? s.scodes[static_cast<size_t>(s.nstrata)]
                                   : s.scodes[random() % static_cast<unsigned>(s.nstrata)];
    }
    text += history;
    for (int32_t g = 0; g < s.ngroups; ++g) {
      std::string count = std::to_string(one_in(3) ? 0 : 1 + random() % (one_in(5) ? 300 : 3));
      if (one_in(30)) count = "0" + count;
      if (one_in(8)) {
        count = "-" + count;
      } else if (one_in(40)) {
        count = "+" + count;
      }
      text += gap() + count;
    }
    for (unsigned k = random() % 4; k > 1; --k)
      text += gap() + (one_in(10) ? "12345678901234567890.5" : "0.5");
    text += one_in(5) ? " ;" : ";";
    const unsigned end = random() % 20;
    text += end < 14 ? "\n" : end < 16 ? "\r\n" : end < 17 ? "\r" : " ";
  }
  return text + (one_in(2) ? "/* the end */" : "");
}

struct Layout {
  const char* what;
  int32_t strata, periods;
  std::string groups;
  bool memory;
};

// The quick way against the plain way on messy files, for each set of kernels, 1 to 3 threads,
// both converters: the same tables, counts, checks and chart.
class InpQuickPathTest : public ::testing::TestWithParam<KernelSet> {};

INSTANTIATE_TEST_SUITE_P(EverySet, InpQuickPathTest, ::testing::ValuesIn(KernelSetsHere()),
                         [](const auto& info) { return std::string(KernelName(info.param)); });

TEST_P(InpQuickPathTest, AgreesWithThePlainWayOnMessyFiles) {
  const Layout layouts[] = {
      {"3 strata, 12 periods, 3 groups", 3, 12, "MFU", false},
      {"3 strata, 12 periods, 3 groups, memory", 3, 12, "MFU", true},
      {"1 stratum, 40 periods, 1 group, memory", 1, 40, "", true},
      {"2 strata, 70 periods (past the masks), 2 groups", 2, 70, "MF", false},
  };
  for (const Layout& l : layouts) {
    const ConversionSettings s =
        InpSettings(l.strata, l.periods, l.groups,
                    l.memory ? ModelSet::kMemoryMovement : ModelSet::kMovementOnly);
    const std::string text = MessyInp(s, 4000, 17 + static_cast<uint32_t>(l.periods));
    const Outcome plain =
        l.memory ? Convert<MemoryTables>(s, text, -1) : Convert<CohortTables>(s, text, -1);
    ASSERT_EQ(plain.error, "") << l.what;
    for (int threads = 1; threads <= 3; ++threads) {
      const std::string what = std::string(l.what) + ", " + std::to_string(threads) + " threads";
      // The parts the run reads are joined with no part giving up: the quick way is taken.
      InputFile input;
      input.OpenMemory(text, "records.inp");
      RecordChecks checks;
      int64_t nrec = 0;
      int64_t nanim = 0;
      bool joined = false;
      int rereads = 0;
      (void)QuickGroups(s, text, SplitAtLines(input, threads), GetParam(), checks, nrec, nanim,
                        joined, rereads);
      EXPECT_TRUE(joined) << what;
      const Outcome quick = l.memory ? Convert<MemoryTables>(s, text, threads, GetParam())
                                     : Convert<CohortTables>(s, text, threads, GetParam());
      EXPECT_EQ(quick.cells, plain.cells) << what;
      EXPECT_EQ(quick.caught, plain.caught) << what;
      EXPECT_EQ(quick.by_age_in_pairs, plain.by_age_in_pairs) << what;
      EXPECT_EQ(quick.by_age_own, plain.by_age_own) << what;
      EXPECT_EQ(Described(quick), Described(plain)) << what;
    }
  }
}

}  // namespace
}  // namespace haplovex
