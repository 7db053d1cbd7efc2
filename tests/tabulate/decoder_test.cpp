#include "tabulate/decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "common/fatal.h"
#include "common/format.h"

namespace haplovex {
namespace {

std::string Codes(const std::string& typed) { return typed + std::string(26 - typed.size(), ' '); }

std::string Record(const std::string& text) { return text + std::string(250 - text.size(), ' '); }

struct LookupCase {
  char c;
  int32_t position;
};

TEST(CodeLookupTest, PositionInTheWholeCodeTextBlanksIncludedCaseSensitive) {
  const CodeLookup lookup(Codes("ABA"));
  const std::vector<LookupCase> cases = {
      {'A', 1},   // first occurrence wins
      {'B', 2},
      {' ', 4},   // the first trailing blank, one place after the last code typed
      {'a', 0},   // case counts
      {'b', 0},
      {'0', 0},
      {'.', 0},
      {'\0', 0},
      {static_cast<char>(0xC1), 0},  // a byte above 127 that is not among the codes
  };
  for (const LookupCase& c : cases) EXPECT_EQ(lookup(c.c), c.position) << int(c.c);
}

TEST(CodeLookupTest, FullCodeTextHasNoBlankPosition) {
  const CodeLookup lookup("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(lookup('Z'), 26);
  EXPECT_EQ(lookup(' '), 0);
}

TEST(CodeLookupTest, BytesAbove127AreCodesLikeAnyOther) {
  const CodeLookup lookup(Codes(std::string("x") + static_cast<char>(0xE9)));
  EXPECT_EQ(lookup(static_cast<char>(0xE9)), 2);
  EXPECT_EQ(lookup(static_cast<char>(0x69)), 0);  // same low seven bits
}

// Settings of the record A0BBX: 4 periods in columns 1-4, strata AB, fate in column 5.
ConversionSettings EchoSettings() {
  ConversionSettings s;
  s.modset = ModelSet::kMovementOnly;
  s.nstrata = 2;
  s.nyrs = 4;
  s.nage = 1;
  s.ngroups = 1;
  s.fatecol = 5;
  s.codcol = {1, 2, 3, 4};
  s.scodes = Codes("AB");
  return s;
}

TEST(RecordDecoderTest, EchoLineOfTheThirdRecordA0BBX) {
  const ConversionSettings s = EchoSettings();
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("A0BBX"), 3, rec);
  EXPECT_EQ(rec.ch, (std::vector<int32_t>{1, 0, 2, 2}));
  EXPECT_EQ(rec.fate, 'X');
  EXPECT_EQ(rec.iage, 1);
  EXPECT_EQ(rec.igrp, 1);
  EXPECT_EQ(rec.freq, 1);
  // Six blanks, 3, five blanks, 1, blank, X, blank, 1, blank, 1022.
  EXPECT_EQ(decoder.EchoLine(3, rec), "      3     1 X 1 1022");
}

TEST(RecordDecoderTest, EchoLineShowsAZeroByteFateAndAsterisksForWidePositions) {
  ConversionSettings s = EchoSettings();
  s.fatecol = 0;
  s.scodes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  s.nstrata = 12;
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("JKL?Q"), 1234567, rec);
  EXPECT_EQ(rec.fate, '\0');
  EXPECT_EQ(rec.ch, (std::vector<int32_t>{10, 11, 12, 0}));
  EXPECT_EQ(decoder.EchoLine(1234567, rec), std::string(" ****** ") + "    1 " + '\0' + " 1 ***0");
}

TEST(RecordDecoderTest, BlankShortAndForeignStratumColumnsAreNotCaptures) {
  ConversionSettings s = EchoSettings();
  s.scodes = Codes("ABC");  // a third code beyond the two strata
  s.nyrs = 8;
  s.fatecol = 0;
  s.codcol = {1, 2, 3, 4, 5, 6, 7, 8};
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("Ab .C0"), 1, rec);
  // A, lower-case b, blank (first blank of the codes: 4), ".", C (3, beyond nstrata), "0",
  // then columns past the end of the line read as blanks.
  EXPECT_EQ(rec.ch, (std::vector<int32_t>{1, 0, 4, 0, 3, 0, 4, 4}));
}

TEST(RecordDecoderTest, AgeAndGroupPositions) {
  ConversionSettings s = EchoSettings();
  s.nage = 2;
  s.agecol = 6;
  s.acodes = Codes("JA");
  s.ngroups = 3;
  s.grpcol = 7;
  s.gcodes = Codes("MFU");
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("AB.. AU"), 1, rec);
  EXPECT_EQ(rec.iage, 2);
  EXPECT_EQ(rec.igrp, 3);
  decoder.Decode(Record("AB.. jM"), 2, rec);
  EXPECT_EQ(rec.iage, 0);  // not an age code: the caller stops the run
  EXPECT_EQ(rec.igrp, 1);
  decoder.Decode(Record("AB..  F"), 3, rec);
  EXPECT_EQ(rec.iage, 3);  // a blank age column lies beyond the two age codes
  EXPECT_EQ(rec.igrp, 2);
}

TEST(RecordDecoderTest, OneAgeClassOrNoGroupColumnReadNothing) {
  ConversionSettings s = EchoSettings();
  s.nage = 1;
  s.agecol = 6;
  s.acodes = Codes("JA");
  s.ngroups = 2;
  s.grpcol = 0;
  s.gcodes = Codes("MF");
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("AB.. ??"), 1, rec);
  EXPECT_EQ(rec.iage, 1);
  EXPECT_EQ(rec.igrp, 1);
}

struct GroupErrorCase {
  std::string record;
  std::string first_line;
};

TEST(RecordDecoderTest, GroupOutOfRangeStopsTheRunNamingTheRecord) {
  ConversionSettings s = EchoSettings();
  s.ngroups = 2;
  s.grpcol = 7;
  s.gcodes = Codes("MF");
  const RecordDecoder decoder(s);
  const std::vector<GroupErrorCase> cases = {
      {"AB..  X", " GROUP OUT OF RANGE:X"},  // not among the codes: position 0
      {"AB..  m", " GROUP OUT OF RANGE:m"},
      {"AB..   ", " GROUP OUT OF RANGE: "},  // blank: position 3, above the two groups
  };
  for (const GroupErrorCase& c : cases) {
    DecodedRecord rec;
    try {
      decoder.Decode(Record(c.record), 17, rec);
      ADD_FAILURE() << "no stop for " << c.record;
    } catch (const FatalStop& stop) {
      ASSERT_EQ(stop.lines().size(), 2u);
      EXPECT_EQ(stop.lines()[0], c.first_line);
      EXPECT_EQ(stop.lines()[1].rfind(" *** ", 0), 0u) << stop.lines()[1];
      EXPECT_NE(stop.lines()[1].find("17"), std::string::npos) << stop.lines()[1];
      EXPECT_EQ(stop.stop(), "*** HAPLOVEX ERROR ***");
    }
  }
}

struct FieldCase {
  std::string field;  // columns 6-9
  bool ok;
  int32_t freq;
  bool removed;
};

TEST(RecordDecoderTest, FrequencyFieldIsAWholeNumberOfAnimals) {
  ConversionSettings s = EchoSettings();
  s.fatecol = 0;
  s.frqcol1 = 6;
  s.frqcol2 = 9;
  const RecordDecoder decoder(s);
  const std::vector<FieldCase> cases = {
      {"  12", true, 12, false}, {"12  ", true, 12, false}, {"    ", true, 0, false},
      {"+007", true, 7, false},  {"  -5", true, 5, true},    {"-0  ", true, 0, false},
      {"3 ;x", true, 3, false},  {"-2; ", true, 2, true},    {"1x  ", false, 0, false},
      {"9 9-", false, 0, false},
  };
  for (const FieldCase& c : cases) {
    DecodedRecord rec;
    try {
      decoder.Decode(Record("AB.. " + c.field + "9"), 314, rec);  // column 10 is not read
      EXPECT_TRUE(c.ok) << c.field;
      EXPECT_EQ(rec.freq, c.freq) << c.field;
      EXPECT_EQ(rec.removed, c.removed) << c.field;
      EXPECT_EQ(NotReleasedAtLast(rec), c.removed) << c.field;
    } catch (const FatalStop& stop) {
      EXPECT_FALSE(c.ok) << c.field;
      ASSERT_EQ(stop.lines().size(), 1u);
      const std::string& line = stop.lines()[0];
      EXPECT_EQ(line.rfind(" *** ", 0), 0u) << line;
      EXPECT_NE(line.find("314"), std::string::npos) << line;
      EXPECT_NE(line.find("\"" + c.field + "\""), std::string::npos) << line;
      EXPECT_EQ(stop.stop(), "*** HAPLOVEX ERROR ***");
    }
  }
}

// A frequency that is no number says what its record may be instead.
TEST(RecordDecoderTest, AFrequencyThatIsNoNumberSaysWhatItMayBe) {
  const std::string comment = "; the record is a line of a /* ... */ comment that is not closed";
  const std::string inp = "; a file with a count for each group after its history is read with --inp";
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"/* Mean", "ean", comment},           // a comment's first line
      {"   age */", "age", comment},         // and its last
      {"/* a */ 1x", "1x", ""},              // closed on its line
      {"A000 1 -2 0", "1 -2 0", inp},        // three counts
      {"A000 1x 2", "1x 2", ""},             // one field that is no number
      {"A000 9 9-", "9 9-", ""},             // a sign after the digits is no count
  };
  for (const auto& [line, field, hint] : cases) {
    SCOPED_TRACE(line);
    const std::string said = NoNumberHint(line, field);
    EXPECT_EQ(said.substr(0, hint.size()), hint);
    EXPECT_EQ(said.empty(), hint.empty());
  }
}

TEST(RecordDecoderTest, EchoLineShowsANegativeFrequencyAsRead) {
  ConversionSettings s = EchoSettings();
  s.fatecol = 0;
  s.frqcol1 = 6;
  s.frqcol2 = 9;
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("A0BB  -5;"), 2, rec);
  EXPECT_EQ(rec.freq, 5);
  EXPECT_EQ(decoder.EchoLine(2, rec), std::string("      2    -5 ") + '\0' + " 1 1022");
}

TEST(RecordDecoderTest, FrequencyFieldBeyondThirtyTwoBitsStops) {
  ConversionSettings s = EchoSettings();
  s.fatecol = 0;
  s.frqcol1 = 6;
  s.frqcol2 = 16;
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  EXPECT_THROW(decoder.Decode(Record("AB.. 99999999999"), 1, rec), FatalStop);
  decoder.Decode(Record("AB.. 02147483647"), 2, rec);
  EXPECT_EQ(rec.freq, 2147483647);
}

TEST(RecordDecoderTest, SameColumnServesTwoFields) {
  ConversionSettings s = EchoSettings();
  s.fatecol = 4;
  const RecordDecoder decoder(s);
  DecodedRecord rec;
  decoder.Decode(Record("A..B"), 1, rec);
  EXPECT_EQ(rec.ch, (std::vector<int32_t>{1, 0, 0, 2}));
  EXPECT_EQ(rec.fate, 'B');
}

struct FateCase {
  char fate;
  bool lost;
};

TEST(LostOnCaptureTest, AnyByteAboveTheBlankMeansNotReleased) {
  const std::vector<FateCase> cases = {
      {'\0', false}, {'\t', false}, {'\x1f', false}, {' ', false},
      {'!', true},   {'1', true},   {'X', true},     {'*', true},
      {'\x7f', true}, {static_cast<char>(0x80), true}, {static_cast<char>(0xFF), true},
  };
  for (const FateCase& c : cases) EXPECT_EQ(LostOnCapture(c.fate), c.lost) << int(c.fate);
}

// The captures the decoder finds eight columns at a time (periods in consecutive columns) or
// column by column must be those of the positions, for any record and period count.
TEST(RecordDecoderTest, CapturesAgreeWithPositionsOnRandomRecords) {
  uint64_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(seed >> 33);
  };
  const std::string alphabet = "AB0C. D\tE\x80z";
  for (int trial = 0; trial < 400; ++trial) {
    ConversionSettings s;
    s.nstrata = 1 + static_cast<int32_t>(next() % 4);
    s.nyrs = 2 + static_cast<int32_t>(next() % 30);
    s.scodes = Padded("ABCD", kCodesWidth);
    const bool consecutive = trial % 2 == 0;
    s.codcol.clear();
    for (int32_t i = 0; i < s.nyrs; ++i) {
      s.codcol.push_back(consecutive ? 3 + i : 1 + static_cast<int32_t>(next() % 40));
    }
    std::string line(kLineWidth, ' ');
    for (char& c : line) c = alphabet[next() % alphabet.size()];
    const RecordDecoder decoder(s);
    DecodedRecord fast;
    decoder.Decode(line, 1, fast, /*positions=*/false);
    DecodedRecord slow;
    decoder.Decode(line, 1, slow, /*positions=*/true);
    CollectCaptures(slow, s.nstrata);
    ASSERT_EQ(fast.ncaptures, slow.ncaptures) << "trial " << trial;
    for (size_t k = 0; k < fast.ncaptures; ++k) {
      EXPECT_EQ(fast.captures[k].period, slow.captures[k].period) << "trial " << trial;
      EXPECT_EQ(fast.captures[k].stratum, slow.captures[k].stratum) << "trial " << trial;
    }
  }
}

}  // namespace
}  // namespace haplovex
