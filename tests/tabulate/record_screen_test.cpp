#include "tabulate/record_screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tabulate/fast_tabulation.h"

namespace haplovex {
namespace {

TEST(IsCommentLineTest, OnlyACommentWithNothingAfterIt) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"/* tag 17 */", true},
      {"   /* indented */   ", true},
      {"/**/", true},
      {"/* a */ /* b */", false},  // something after the first comment
      {"/* 1F1-16C-1054 Upper Green  */ U00000000000 1  1295  548;", false},
      {"/* never closed", false},
      {"*/ /*", false},
      {"AB0 /* x */", false},
      {"", false},
      {"    ", false},
      {"/ * spaced */", false},
  };
  for (const auto& [line, comment] : cases) EXPECT_EQ(IsCommentLine(line), comment) << line;
}

// Histories in columns 1-3, fate in 4, age in 5, group in 6, frequency in 8-10: a record must
// reach column 8, and is read to column 10.
ConversionSettings ScreenSettings(bool frequency) {
  ConversionSettings s;
  s.nstrata = 2;
  s.nyrs = 3;
  s.nage = 2;
  s.ngroups = 2;
  s.scodes = "AB" + std::string(24, ' ');
  s.acodes = "JA" + std::string(24, ' ');
  s.gcodes = "MF" + std::string(24, ' ');
  s.codcol = {1, 2, 3};
  s.fatecol = 4;
  s.agecol = 5;
  s.grpcol = 6;
  s.frqcol1 = frequency ? 8 : 0;
  s.frqcol2 = frequency ? 10 : 0;
  return s;
}

// What each kind of line is, and what it adds to the checks: the screen every way of reading
// the records goes through.
TEST(RecordScreenTest, CommentsEmptyAndShortRecords) {
  struct Case {
    std::string line;
    bool frequency;
    bool record;
    bool empty;
    int64_t comments, empties, short_count;
    int32_t short_length;
  };
  const std::vector<Case> cases = {
      {"AB0XJM   12", true, true, false, 0, 0, 0, 0},
      {"AB0 JM  1", true, true, false, 0, 0, 0, 0},  // reaches column 8: whole
      {"AB0 JM ", true, true, false, 0, 0, 1, 7},   // short of the frequency's first column
      {"AB0 JM", false, true, false, 0, 0, 0, 0},   // without a frequency, column 6 is enough
      {"AB0", false, true, false, 0, 0, 1, 3},
      {"", true, true, true, 0, 1, 0, 0},           // empty: no animals, counted apart
      {"     ", true, true, true, 0, 1, 0, 0},
      {"", false, true, false, 0, 0, 1, 0},          // without a frequency it is a short record
      {"/* tag 17 */", true, false, false, 1, 0, 0, 0},
      {"  /* */  ", false, false, false, 1, 0, 0, 0},
      {"/* x */ AB0 JM  1", true, true, false, 0, 0, 0, 0},  // data after the comment
  };
  for (const Case& c : cases) {
    const ConversionSettings s = ScreenSettings(c.frequency);
    const RecordDecoder decoder(s);
    const RecordScreen screen(s, decoder);
    RecordChecks checks;
    std::string padded;
    std::string_view line = c.line;
    bool empty = false;
    EXPECT_EQ(screen.Screen(line, 7, padded, checks, empty), c.record) << '"' << c.line << '"';
    EXPECT_EQ(empty, c.empty) << '"' << c.line << '"';
    EXPECT_EQ(checks.comment_lines, c.comments) << '"' << c.line << '"';
    EXPECT_EQ(checks.empty_lines, c.empties) << '"' << c.line << '"';
    EXPECT_EQ(checks.short_record.count, c.short_count) << '"' << c.line << '"';
    if (c.short_count > 0) {
      EXPECT_EQ(checks.short_record.record, 7);
      EXPECT_EQ(checks.short_record.column, c.short_length);
    }
    if (c.record) {
      EXPECT_GE(line.size(), decoder.width()) << "a record is padded to the columns read";
    }
    // The quick way's look at a line's first byte, and at its length, agree with the screen.
    EXPECT_EQ(RecordScreen::MaybeNoRecord(std::string_view(c.line)),
              c.line.empty() || c.line[0] == ' ' || c.line[0] == '/');
    EXPECT_EQ(screen.Whole(c.line.size()), c.line.size() >= decoder.needed());
  }
}

// A line as the quick way cuts it from a block: its line end and one carriage return before it
// gone, cut at the record width.
TEST(RecordScreenTest, LineFromABlock) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"AB0\n", "AB0"},
      {"AB0\r\n", "AB0"},
      {"AB0\r\r\n", "AB0\r"},
      {"\n", ""},
      {"\r\n", ""},
      {std::string(300, 'A') + "\n", std::string(kLineWidth, 'A')},
  };
  for (const auto& [bytes, line] : cases) {
    const std::string block = "\n" + bytes;  // a line end before the line, as in a block
    EXPECT_EQ(RecordScreen::Line(block.data() + 1, bytes.size() - 1), line);
  }
}

// The lookup tables batches read whole take their fields from give, byte for byte, what the
// decoder reads (where they take the record at all).
TEST(RecordScreenTest, QuickTablesAgreeWithTheDecoder) {
  for (const bool frequency : {false, true}) {
    const ConversionSettings s = ScreenSettings(frequency);
    InputFile input;
    input.OpenMemory("", "records");
    const FastReading reading(s, input, s.nage);
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      std::string line = "AB0XJM   12";
      line[static_cast<size_t>(s.agecol - 1)] = c;
      DecodedRecord rec;
      ASSERT_EQ(reading.decoder.DecodeFields(line, rec), RecordDecoder::FieldProblem::kNone);
      const int age = reading.quick_age[static_cast<unsigned char>(line[reading.age_at])];
      EXPECT_EQ(age, rec.iage >= 1 && rec.iage <= s.nage ? rec.iage : 0) << b;
      line = "AB0XJM   12";
      line[static_cast<size_t>(s.grpcol - 1)] = c;
      const bool group_read = reading.decoder.DecodeFields(line, rec) == RecordDecoder::FieldProblem::kNone;
      const int group = reading.quick_group[static_cast<unsigned char>(line[reading.group_at])];
      EXPECT_EQ(group, group_read ? rec.igrp : 0) << b;
      line = "AB0XJM   12";
      line[static_cast<size_t>(s.fatecol - 1)] = c;
      ASSERT_EQ(reading.decoder.DecodeFields(line, rec), RecordDecoder::FieldProblem::kNone);
      const bool released = reading.quick_released[static_cast<unsigned char>(line[reading.fate_at])] != 0;
      EXPECT_EQ(released, !NotReleasedAtLast(rec)) << b;
      EXPECT_EQ(reading.quick_lead[static_cast<size_t>(b)] != 0, RecordScreen::MaybeNoRecord(c)) << b;
    }
  }
}

}  // namespace
}  // namespace haplovex
