#include "frame/frame_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/fatal.h"
#include "tabulate/cohort_tables.h"
#include "runctl/frame_dialogue.h"

namespace haplovex {
namespace {

// A frame run of 4 periods whose history is the field "ch" and frequency "freq", laid out as
// the dialogue lays them: the history in columns 1-4, the frequency in columns 5-12.
ConversionSettings FrameSettings() {
  ConversionSettings s;
  s.frame = true;
  s.nstrata = 2;
  s.nyrs = 4;
  s.nage = 1;
  s.ngroups = 1;
  s.codcol = {1, 2, 3, 4};
  s.frame_fields.history = "ch";
  s.frame_fields.frequency = "freq";
  s.frqcol1 = 5;
  s.frqcol2 = 12;
  return s;
}

// What the frame gives: its records in columns, or the message of its stop.
std::string Columns(const std::string& text, const ConversionSettings& s, const std::vector<uint64_t>& starts = {}) {
  InputFile input;
  input.OpenMemory(text, "frame.csv");
  try {
    return FrameColumns(input, HeaderOf(input), s, starts);
  } catch (const FatalStop& stop) {
    return stop.lines().empty() ? "stop" : stop.lines().front();
  }
}

struct FrameCase {
  const char* name;
  std::string text;
  std::string expected;  // the column lines, or " *** " and the message
};

// Histories A0B0 with 12 animals and 0B00 with 3, as the fixed-column file lays them out.
const std::string kTwoRecords = "A0B0      12\n0B00       3\n";

const std::vector<FrameCase> kCases = {
    {"write.table with tabs: quoted names and histories", "\"ch\"\t\"freq\"\n\"A0B0\"\t12\n\"0B00\"\t3\n",
     kTwoRecords},
    {"a spreadsheet's CSV: byte-order mark, CR LF", "\xEF\xBB\xBF" "ch,freq\r\nA0B0,12\r\n0B00,3\r\n", kTwoRecords},
    {"semicolons and a trailing separator", "ch;freq;\nA0B0;12;\n0B00;3;\n", kTwoRecords},
    {"write.table's defaults: blanks, row names", "\"ch\" \"freq\"\n\"1\" \"A0B0\" 12\n\"2\" \"0B00\"  3\n",
     kTwoRecords},
    {"write.csv's row names, named \"\"", "\"\",\"ch\",\"freq\"\n\"1\",\"A0B0\",12\n\"2\",\"0B00\",3\n",
     kTwoRecords},
    {"blank lines, no line end at the end", "ch,freq\n\nA0B0,12\n   \n0B00,3", kTwoRecords},
    {"lines ended by carriage returns alone", "ch,freq\rA0B0,12\r0B00,3\r", kTwoRecords},
    {"fields in another order, a quoted separator and line end",
     "note,freq,ch\n\"a, \"\"b\"\"\nc\",12,A0B0\nx,3,0B00\n", kTwoRecords},
    {"a negative count and a blank one", "ch,freq\nA0B0,-2\n0B00, \n", "A0B0      -2\n0B00        \n"},
    {"leading zeros a spreadsheet dropped", "ch,freq\n0101,1\n101,2\n",
     " *** line 3: history \"101\" has 3 characters for 4 periods: a spreadsheet may have dropped leading zeros "
     "(store the field as text)"},
    {"a count of nine digits", "ch,freq\nA0B0,123456789\n",
     " *** line 2: frequency \"123456789\" in field \"freq\" is not a whole number of at most 8 characters"},
    {"a history stored as a number", "ch,freq\n101.0,1\n",
     " *** line 2: history \"101.0\" is a number with a decimal point: a spreadsheet may have stored it as a "
     "number (store the field as text)"},
    {"a history holding a tab", "ch,freq\n\"A0\tB\",1\n", " *** line 2: history \"A0\tB\" holds a control character"},
    {"a history too long", "ch,freq\nA0B0A,1\n", " *** line 2: history \"A0B0A\" has 5 characters for 4 periods"},
    {"a record with more fields than the header", "ch,freq\nA0B0,1\nA0B0,1,2,3\n",
     " *** line 3: 4 fields where the header names 2 fields"},
    {"a record after a quoted line end is named by its own line", "ch,freq,note\nA0B0,1,\"x\ny\"\nAB,1,z\n",
     " *** line 4: history \"AB\" has 2 characters for 4 periods"},
    {"an unclosed quote", "ch,freq\nA0B0,1\n\"A0B0,1\nA0B0,2\n",
     " *** line 3: a quote opened in field \"ch\" is never closed"},
    {"a quote in an unquoted field", "ch,freq\nA0\"B0,1\n", " *** line 2: a quote inside field \"ch\", which is not quoted"},
    {"text after a closing quote", "ch,freq\n\"A0\"B0,1\n", " *** line 2: field \"ch\" goes on after its closing quote"},
    {"a zero byte", std::string("ch,freq\nA0B0,1\n0B00,1\0\n", 23),
     " *** line 3: a zero byte (NUL): the file is not text"},
    {"a frequency with a decimal point", "ch,freq\nA0B0,1.5\n",
     " *** line 2: frequency \"1.5\" in field \"freq\" is not a whole number of at most 8 characters"},
    {"a header only", "ch,freq\n\n",
     " *** The file holds a header line of field names and no record (frame.csv, read with --frame)"},
    {"no field of the name given", "history,n\nA0B0,1\n", " *** The frame has no field named \"ch\""},
};

TEST(FrameReaderTest, FormatsFaultsAndHostileFiles) {
  const ConversionSettings s = FrameSettings();
  for (const FrameCase& c : kCases) EXPECT_EQ(Columns(c.text, s), c.expected) << c.name;
}

// Each part starts at the first line end outside quotes after its nominal start: two parts
// split at every byte give what one part gives, records, faults and their lines alike.
TEST(FrameReaderTest, TwoPartsSplitAtEveryByteAgreeWithOne) {
  const ConversionSettings s = FrameSettings();
  for (const FrameCase& c : kCases) {
    const std::string whole = Columns(c.text, s);
    for (uint64_t at = 1; at < c.text.size(); ++at) {
      ASSERT_EQ(Columns(c.text, s, {at}), whole) << c.name << ", split at " << at;
      ASSERT_EQ(Columns(c.text, s, {at, at + 3}), whole) << c.name << ", split at " << at << " and " << at + 3;
    }
  }
}

// What the frame gives read a window of `window` bytes at a time, each window in `threads`
// parts: its records in columns, or the message of its stop.
std::string WindowedColumns(const std::string& text, const ConversionSettings& s, uint64_t window, int threads) {
  InputFile input;
  input.OpenMemory(text, "frame.csv");
  std::string columns;
  try {
    EachFrameWindow(input, HeaderOf(input), s, threads, window,
                    [&](std::string_view lines) { columns += lines; });
  } catch (const FatalStop& stop) {
    return stop.lines().empty() ? "stop" : stop.lines().front();
  }
  return columns;
}

// A window ends at the first line end outside quotes after its nominal end, its quotes carried
// on, and its lines counted on: windows of every size, from a byte on, read in one part and in
// two, give what the whole file read in one part gives, records, faults and their lines alike.
TEST(FrameReaderTest, WindowsOfEverySizeAgreeWithOne) {
  const ConversionSettings s = FrameSettings();
  for (const FrameCase& c : kCases) {
    const std::string whole = Columns(c.text, s);
    for (uint64_t window = 1; window <= c.text.size(); ++window) {
      for (const int threads : {1, 2}) {
        ASSERT_EQ(WindowedColumns(c.text, s, window, threads), whole)
            << c.name << ", windows of " << window << " bytes, " << threads << " parts";
      }
    }
  }
}

TEST(FrameReaderTest, LongHeaderRefused) {
  std::string header = "ch";
  for (int k = 1; k < 100000; ++k) header += ",f" + std::to_string(k);
  EXPECT_EQ(Columns(header + "\nA0B0\n", FrameSettings()),
            " *** The header line of field names: more than 10,000 fields (frame.csv, read with --frame)");
}

// The fate, age and group fields: each value a level, laid out as the code of its level after
// the history; a value that is none of the levels stops the run naming it.
TEST(FrameReaderTest, LevelsOfFateAgeAndGroup) {
  ConversionSettings s = FrameSettings();
  s.nage = 2;
  s.ngroups = 2;
  s.frame_fields.fate = "removed";
  s.frame_fields.lost = {"yes"};
  s.frame_fields.age = "stage";
  s.frame_fields.ages = {"juvenile", "adult"};
  s.frame_fields.group = "sex";
  s.frame_fields.groups = {"Female", "Male"};
  s.acodes = LevelCodes(s.frame_fields.ages);
  s.gcodes = LevelCodes(s.frame_fields.groups);
  s.fatecol = 5;
  s.agecol = 6;
  s.grpcol = 7;
  s.frqcol1 = 8;
  s.frqcol2 = 15;
  const std::string frame =
      "ch\tsex\tstage\tremoved\tfreq\n"
      "A0B0\tMale\tadult\tno\t2\n"
      "0B00\tFemale\tjuvenile\tyes\t1\n";
  EXPECT_EQ(Columns(frame, s), "A0B0 aM       2\n0B00XjF       1\n");
  EXPECT_EQ(Columns(frame + "AB00\tmale\tadult\tno\t1\n", s),
            " *** line 4: group \"male\" in field \"sex\" is none of the group levels typed (Female, Male)");
}

TEST(FrameReaderTest, LevelCodesAndLevelsTyped) {
  EXPECT_EQ(LevelCodes({"M", "F"}).substr(0, 3), "MF ");
  EXPECT_EQ(LevelCodes({"juvenile", "adult"}).substr(0, 3), "ja ");
  EXPECT_EQ(LevelCodes({"Female", "Fledgling"}).substr(0, 3), "AB ");
  EXPECT_EQ(LevelCodes({"1", "10"}).substr(0, 3), "AB ");
  EXPECT_EQ(SplitLevels(" juvenile, adult ,,old"), (std::vector<std::string>{"juvenile", "adult", "old"}));
}

// A history of the periods' length holding a byte below a blank, wherever it stands in it, is
// refused; bytes from a blank on, and above 0x7F, are read.
TEST(FrameReaderTest, ControlCharacterAnywhereInTheHistory) {
  ConversionSettings s = FrameSettings();
  s.nyrs = 12;
  s.codcol = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  s.frqcol1 = 13;
  s.frqcol2 = 20;
  EXPECT_EQ(Columns("ch,freq\n\" A0B\xC3\xA9~0000 \",1\n", s), " A0B\xC3\xA9~0000        1\n");
  for (const size_t at : {0, 7, 8, 11}) {
    std::string history(12, '0');
    history[at] = at == 8 ? '\x1F' : '\x01';
    EXPECT_EQ(Columns("ch,freq\n\"" + history + "\",1\n", s), " *** line 2: history \"" + history + "\" holds a control character")
        << at;
  }
}

// What the record path reads of a file of records, or of a frame's windows (`windows`): records,
// animals, the first record with no capture, and the tables' counts.
std::vector<int64_t> ReadByRecordPath(InputFile& input, const ConversionSettings& s, ColumnWindows* windows,
                                      int threads) {
  std::ostringstream text;
  Console console(text);
  CohortTables tables(s);
  ReadOptions options;
  options.threads = threads;
  options.windows = windows;
  const RecordsRead read = tables.ReadAll(input, console, options);
  std::vector<int64_t> got{read.records, read.animals, read.checks.no_capture.count, read.checks.no_capture.record,
                           read.checks.no_capture.line};
  for (const CountTable* table : {&tables.n.counts(), &tables.bt.counts(), &tables.btot.counts()}) {
    for (size_t k = 0; k < table->size(); ++k) got.push_back(table->at(k));
  }
  return got;
}

// The record path reads a frame's windows, each window's parts counted as they are laid out, as
// it reads the file of their columns: windows of a record or less up to the whole file, by one
// to three parts, give the same records, animals, warnings and tables.
TEST(FrameReaderTest, RecordPathReadsWindowsAsItReadsTheirColumns) {
  ConversionSettings s = FrameSettings();
  s.modset = ModelSet::kMovementOnly;
  s.scodes = "AB" + std::string(24, ' ');
  std::string text = "\"ch\",\"freq\",\"note\"\n";
  for (int k = 0; k < 300; ++k) {
    std::string history;
    for (int n = k + 7, p = 0; p < 4; ++p, n /= 3) history += "0AB"[n % 3];
    text += "\"" + history + "\"," + std::to_string(k % 7 + 1) + (k % 5 == 0 ? ",\"seen,\nonce\"\n" : ",\"\"\n");
  }
  InputFile columns;
  columns.OpenMemory(Columns(text, s), "frame.csv");
  const std::vector<int64_t> expected = ReadByRecordPath(columns, s, nullptr, 1);
  ASSERT_EQ(expected[0], 300);
  ASSERT_GT(expected[2], 0);  // (histories of 0000 stand among them)
  InputFile frame;
  frame.OpenMemory(text, "frame.csv");
  // The look at the first records before the conversion: whole windows, every record here.
  for (const int64_t lines : {1, 300, 301}) EXPECT_EQ(FrameLook(frame, s, 2, lines), Columns(text, s)) << lines;
  for (const uint64_t window : {uint64_t{1}, uint64_t{23}, uint64_t{400}, uint64_t{5000}, kFrameWindow}) {
    for (const int threads : {1, 2, 3}) {
      FrameWindows windows(frame, HeaderOf(frame), s, threads, window);
      EXPECT_EQ(ReadByRecordPath(frame, s, &windows, threads), expected)
          << "windows of " << window << " bytes, " << threads << " parts";
    }
  }
}

}  // namespace
}  // namespace haplovex
