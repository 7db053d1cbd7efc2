#include "tabulate/cohort_tables.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/fatal.h"

namespace haplovex {
namespace {

std::string Codes(const std::string& typed) { return typed + std::string(26 - typed.size(), ' '); }

// Two strata AB, `nyrs` periods in columns 1..nyrs, one age class, one group, no fate column,
// no frequency field.
ConversionSettings BaseSettings(int32_t nyrs) {
  ConversionSettings s;
  s.modset = ModelSet::kMovementOnly;
  s.nstrata = 2;
  s.nyrs = nyrs;
  s.nage = 1;
  s.ngroups = 1;
  s.scodes = Codes("AB");
  for (int32_t i = 1; i <= nyrs; ++i) s.codcol.push_back(i);
  return s;
}

// Tabulates the records, read from memory in blocks of `block` bytes.
class TabulatedRecords {
 public:
  TabulatedRecords(const ConversionSettings& s, const std::vector<std::string>& records,
                   size_t block = InputFile::kDefaultBlock)
      : console_(console_text_), input_(block), tables_(s) {
    std::string text;
    for (const std::string& r : records) text += r + '\n';
    input_.OpenMemory(text, "records");
    read_ = tables_.ReadAll(input_, console_, ReadOptions{});
  }

  const CohortTables& tables() const { return tables_; }
  const RecordsRead& read() const { return read_; }
  std::string console() const { return console_text_.str(); }

 private:
  std::ostringstream console_text_;
  Console console_;
  InputFile input_;
  CohortTables tables_;
  RecordsRead read_;
};

struct Release {
  int32_t i, s, a, g, count;
};
struct Pair {
  int32_t i, j, s, s2, a, g, count;
};

struct TabulationCase {
  const char* name;
  std::function<void(ConversionSettings&)> settings;
  int32_t nyrs;
  std::vector<std::string> records;
  std::vector<Release> releases;  // every n not listed is 0
  std::vector<Pair> pairs;        // every bt not listed is 0; btot is their sum over (i, j)
  int64_t nrec;
  int32_t nanim;
};

void CheckTables(const TabulationCase& c, const ConversionSettings& s, const CohortTables& t,
                 const RecordsRead& read) {
  std::map<std::tuple<int, int, int, int>, int> n;
  for (const Release& r : c.releases) n[{r.i, r.s, r.a, r.g}] += r.count;
  std::map<std::tuple<int, int, int, int, int, int>, int> bt;
  std::map<std::tuple<int, int, int, int>, int> btot;
  for (const Pair& p : c.pairs) {
    bt[{p.i, p.j, p.s, p.s2, p.a, p.g}] += p.count;
    btot[{p.s2, p.s, p.a, p.g}] += p.count;
  }
  for (int g = 1; g <= s.ngroups; ++g) {
    for (int a = 1; a <= s.nage; ++a) {
      for (int st = 1; st <= s.nstrata; ++st) {
        for (int i = 1; i <= s.nyrs; ++i) {
          EXPECT_EQ(t.n(i, st, a, g), (n[{i, st, a, g}]))
              << c.name << ": n(" << i << "," << st << "," << a << "," << g << ")";
          for (int j = i + 1; j <= s.nyrs; ++j) {
            for (int s2 = 1; s2 <= s.nstrata; ++s2) {
              EXPECT_EQ(t.bt(PairIndex(i, j, s.nyrs), st, s2, a, g), (bt[{i, j, st, s2, a, g}]))
                  << c.name << ": bt of (" << i << "," << j << ") " << st << "->" << s2
                  << " age " << a << " group " << g;
            }
          }
        }
        for (int s2 = 1; s2 <= s.nstrata; ++s2) {
          EXPECT_EQ(t.btot(s2, st, a, g), (btot[{s2, st, a, g}]))
              << c.name << ": btot(" << s2 << "," << st << "," << a << "," << g << ")";
        }
      }
    }
  }
  EXPECT_EQ(read.records, c.nrec) << c.name;
  EXPECT_EQ(read.animals, c.nanim) << c.name;
}

const std::string kAllOnes(40, '1');

TEST(CohortTablesTest, ReleasesAndFirstRecaptures) {
  const std::vector<TabulationCase> cases = {
      {"records AB0, A0A, 0BBX with fate in column 4",
       [](ConversionSettings& s) { s.fatecol = 4; }, 3, {"AB0", "A0A", "0BBX"},
       {{1, 1, 1, 1, 2}, {2, 2, 1, 1, 2}, {3, 1, 1, 1, 1}},
       {{1, 2, 1, 2, 1, 1, 1}, {1, 3, 1, 1, 1, 1, 1}, {2, 3, 2, 2, 1, 1, 1}}, 3, 3},
      {"captures at 1, 2 and 4 pair (1,2) and (2,4), never (1,4)", nullptr, 4, {"AB.A"},
       {{1, 1, 1, 1, 1}, {2, 2, 1, 1, 1}, {4, 1, 1, 1, 1}},
       {{1, 2, 1, 2, 1, 1, 1}, {2, 4, 2, 1, 1, 1, 1}}, 1, 1},
      {"loss at the last capture removes only that release",
       [](ConversionSettings& s) { s.fatecol = 5; }, 4, {"ABBAX", "A.B.*", "..A.1", "..A. "},
       {{1, 1, 1, 1, 2}, {2, 2, 1, 1, 1}, {3, 2, 1, 1, 1}, {3, 1, 1, 1, 1}},
       {{1, 2, 1, 2, 1, 1, 1}, {2, 3, 2, 2, 1, 1, 1}, {3, 4, 2, 1, 1, 1, 1}, {1, 3, 1, 2, 1, 1, 1}},
       4, 4},
      {"a code typed beyond the strata neither starts nor ends a pair",
       [](ConversionSettings& s) { s.scodes = Codes("ABC"); }, 4, {"ACBC", "CCCC", "a b "},
       {{1, 1, 1, 1, 1}, {3, 2, 1, 1, 1}}, {{1, 3, 1, 2, 1, 1, 1}}, 3, 3},
      {"counts of exactly 999,999,999 are kept",
       [](ConversionSettings& s) {
         s.frqcol1 = 5;
         s.frqcol2 = 13;
       },
       3, {"AA. 499999999", "A.A 499999999", "AA.         1"},
       {{1, 1, 1, 1, 999999999}, {2, 1, 1, 1, 500000000}, {3, 1, 1, 1, 499999999}},
       {{1, 2, 1, 1, 1, 1, 500000000}, {1, 3, 1, 1, 1, 1, 499999999}}, 3, 999999999},
      {"frequencies weight every count; a blank field is no animals",
       [](ConversionSettings& s) {
         s.frqcol1 = 5;
         s.frqcol2 = 7;
       },
       3, {"AB.   5", "AB. 12 ", "BB.    ", "...   9"},
       {{1, 1, 1, 1, 17}, {2, 2, 1, 1, 17}, {1, 2, 1, 1, 0}, {2, 2, 1, 1, 0}},
       {{1, 2, 1, 2, 1, 1, 17}, {1, 2, 2, 2, 1, 1, 0}}, 4, 26},
      {"groups count apart",
       [](ConversionSettings& s) {
         s.ngroups = 3;
         s.grpcol = 5;
         s.gcodes = Codes("MFU");
       },
       3, {"AB. F", "AB. U", "B.B U", "AA. M"},
       {{1, 1, 1, 2, 1}, {2, 2, 1, 2, 1}, {1, 1, 1, 3, 1}, {2, 2, 1, 3, 1}, {1, 2, 1, 3, 1},
        {3, 2, 1, 3, 1}, {1, 1, 1, 1, 1}, {2, 1, 1, 1, 1}},
       {{1, 2, 1, 2, 1, 2, 1}, {1, 2, 1, 2, 1, 3, 1}, {1, 3, 2, 2, 1, 3, 1},
        {1, 2, 1, 1, 1, 1, 1}},
       4, 4},
      {"age rises after every marked interval and the oldest class absorbs the rest",
       [](ConversionSettings& s) {
         s.nage = 2;
         s.agecol = 5;
         s.acodes = Codes("YA");
       },
       4, {"AAA.Y", "BBBBA"},
       {{1, 1, 1, 1, 1}, {2, 1, 2, 1, 1}, {3, 1, 2, 1, 1},
        {1, 2, 2, 1, 1}, {2, 2, 2, 1, 1}, {3, 2, 2, 1, 1}, {4, 2, 2, 1, 1}},
       {{1, 2, 1, 1, 1, 1, 1}, {2, 3, 1, 1, 2, 1, 1},
        {1, 2, 2, 2, 2, 1, 1}, {2, 3, 2, 2, 2, 1, 1}, {3, 4, 2, 2, 2, 1, 1}},
       2, 2},
      {"age steps start at the first capture and also pass periods not caught",
       [](ConversionSettings& s) {
         s.nage = 3;
         s.agecol = 5;
         s.acodes = Codes("YSA");
         s.ageinc = "1011" + std::string(36, '0');
       },
       4, {".AAAY", "A.AAY", "AAAAS"},
       // .AAA: first caught at 2 as young; interval 2 is "0", interval 3 is "1".
       {{2, 1, 1, 1, 1}, {3, 1, 1, 1, 1}, {4, 1, 2, 1, 1},
        // A.AA: young at 1, subadult from 2 (not caught), still at 3, adult at 4.
        {1, 1, 1, 1, 1}, {3, 1, 2, 1, 1}, {4, 1, 3, 1, 1},
        // AAAA as subadult: adult from 2 on.
        {1, 1, 2, 1, 1}, {2, 1, 3, 1, 1}, {3, 1, 3, 1, 1}, {4, 1, 3, 1, 1}},
       {{2, 3, 1, 1, 1, 1, 1}, {3, 4, 1, 1, 1, 1, 1},
        {1, 3, 1, 1, 1, 1, 1}, {3, 4, 1, 1, 2, 1, 1},
        {1, 2, 1, 1, 2, 1, 1}, {2, 3, 1, 1, 3, 1, 1}, {3, 4, 1, 1, 3, 1, 1}},
       3, 3},
  };
  for (const TabulationCase& c : cases) {
    ConversionSettings s = BaseSettings(c.nyrs);
    if (c.settings) c.settings(s);
    // Read whole, and in blocks so small that every record crosses a block edge.
    for (size_t block : {InputFile::kDefaultBlock, size_t{1}, size_t{3}, size_t{5}}) {
      SCOPED_TRACE("blocks of " + std::to_string(block));
      TabulatedRecords run(s, c.records, block);
      CheckTables(c, s, run.tables(), run.read());
    }
  }
}

TEST(CohortTablesTest, AgeDoesNotChangeBeyondTheFortiethPeriod) {
  ConversionSettings s = BaseSettings(43);
  s.nstrata = 1;
  s.scodes = Codes("A");
  s.nage = 2;
  s.agecol = 45;
  s.acodes = Codes("YA");
  s.ageinc = kAllOnes;
  const std::string before(39, '.');
  // Caught at 40, 41, 42 as young: adult from 41 on (interval 40 is the last marked one).
  // Caught at 41, 42, 43 as young: young throughout, as there is no interval 41 or 42.
  const TabulationCase c = {
      "beyond 40", nullptr, 43,
      {before + "AAA. Y", before + ".AAA Y"},
      {{40, 1, 1, 1, 1}, {41, 1, 2, 1, 1}, {42, 1, 2, 1, 1},
       {41, 1, 1, 1, 1}, {42, 1, 1, 1, 1}, {43, 1, 1, 1, 1}},
      {{40, 41, 1, 1, 1, 1, 1}, {41, 42, 1, 1, 2, 1, 1},
       {41, 42, 1, 1, 1, 1, 1}, {42, 43, 1, 1, 1, 1, 1}},
      2, 2};
  TabulatedRecords run(s, c.records);
  CheckTables(c, s, run.tables(), run.read());
}

TEST(CohortTablesTest, ListingEchoesEveryRecord) {
  ConversionSettings s = BaseSettings(3);
  s.fatecol = 4;
  s.listdata = true;
  TabulatedRecords run(s, {"AB0", "A0A", "0BBX"});
  EXPECT_EQ(run.console(),
            std::string("      1     1   1 120\n") +
                "      2     1   1 101\n"
                "      3     1 X 1 022\n");
}

struct StopCase {
  const char* name;
  std::function<void(ConversionSettings&)> settings;
  std::vector<std::string> records;
  std::vector<std::string> lines;  // lines expected exactly; empty: only checked for " *** "
  const char* mentions;            // text the " *** " line must hold
  std::string stop;
};

TEST(CohortTablesTest, RecordsThatStopTheRun) {
  auto ages = [](ConversionSettings& s) {
    s.nage = 2;
    s.agecol = 5;
    s.acodes = Codes("JA");
  };
  auto freq9 = [](ConversionSettings& s) {
    s.frqcol1 = 5;
    s.frqcol2 = 13;
  };
  const std::vector<StopCase> cases = {
      {"age code not among the codes, even without capture", ages, {"AB. J", "... X"},
       {" ** AGE CODE ERROR **", std::string("      2     1 ") + '\0' + " 0 000"}, nullptr, ""},
      {"age position above the age classes", ages, {"AB.  "},
       {" ** AGE CODE ERROR **", std::string("      1     1 ") + '\0' + " 3 120"}, nullptr, ""},
      {"animals read passing 999,999,999", freq9, {"A.. 999999999", "A.. 999999999"}, {},
       "animals", "*** HAPLOVEX ERROR ***"},
      {"animals read reaching exactly 1,000,000,000", freq9, {"A.. 999999999", "...        1"},
       {}, "animals read passes 999,999,999", "*** HAPLOVEX ERROR ***"},
      {"a table count reaching exactly 1,000,000,000", freq9, {"AAA 500000000"}, {},
       "Record 1: a count of table btot passes 999,999,999 animals", "*** HAPLOVEX ERROR ***"},
      {"a table count passing 999,999,999", freq9, {"AAA 600000000"}, {}, "btot",
       "*** HAPLOVEX ERROR ***"},
  };
  for (const StopCase& c : cases) {
    ConversionSettings s = BaseSettings(3);
    c.settings(s);
    try {
      TabulatedRecords run(s, c.records);
      ADD_FAILURE() << c.name << ": no stop";
    } catch (const FatalStop& stop) {
      EXPECT_EQ(stop.stop(), c.stop) << c.name;
      if (!c.lines.empty()) {
        EXPECT_EQ(stop.lines(), c.lines) << c.name;
      } else {
        ASSERT_EQ(stop.lines().size(), 1u) << c.name;
        EXPECT_EQ(stop.lines()[0].rfind(" *** ", 0), 0u) << stop.lines()[0];
        EXPECT_NE(stop.lines()[0].find(c.mentions), std::string::npos) << stop.lines()[0];
      }
    }
  }
}

TEST(PairIndexTest, PairsArePackedRowByRow) {
  for (int64_t nyrs : {2, 3, 5, 40}) {
    int64_t expected = 0;
    for (int64_t i = 1; i < nyrs; ++i) {
      for (int64_t j = i + 1; j <= nyrs; ++j) {
        EXPECT_EQ(PairIndex(i, j, nyrs), ++expected);
        EXPECT_EQ(PairStart(i, nyrs) + j, expected - 1) << i << "," << j << " of " << nyrs;
      }
    }
    EXPECT_EQ(expected, nyrs * (nyrs - 1) / 2);
  }
}

}  // namespace
}  // namespace haplovex
