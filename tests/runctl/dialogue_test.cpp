#include "runctl/dialogue.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "../common/test_support.h"

namespace haplovex {
namespace {

// Runs the dialogue on `answers` (one answer a line) against a records file in a fresh folder.
class DialogueTest : public ::testing::Test {
 protected:
  DialogueTest() { folder_.Write("records.txt", "AB0\nA0A\n0BBX\n"); }

  void Run(const std::vector<std::string>& answers) {
    std::string text;
    for (const std::string& a : answers) text += a + "\n";
    in_.str(text);
    RunDialogue(reader_, console_, err_, work_, s_, input_);
  }
  std::vector<std::string> ConsoleLines() const {
    std::vector<std::string> lines;
    std::istringstream all(out_.str());
    for (std::string line; std::getline(all, line);) lines.push_back(line);
    return lines;
  }

  testing::ScratchFolder folder_;
  WorkFolder work_{folder_.path()};
  std::istringstream in_;
  std::ostringstream out_;
  std::ostringstream err_;
  Console console_{out_};
  AnswerReader reader_{in_, console_};
  ConversionSettings s_;
  InputFile input_;
};

TEST_F(DialogueTest, ShortestDialogueKeepsTheStartValues) {
  Run({"records.txt", "-3,7,1,1", "ABC", "10", "0", "0", "2", "Trial run 2"});
  EXPECT_EQ(s_.nstrata, 3);
  EXPECT_EQ(s_.nyrs, 7);
  EXPECT_EQ(s_.nage, 1);
  EXPECT_EQ(s_.ngroups, 1);
  EXPECT_TRUE(s_.listdata);
  EXPECT_EQ(s_.codcol, (std::vector<int32_t>{10, 11, 12, 13, 14, 15, 16}));
  EXPECT_EQ(s_.scodes, "ABC" + std::string(23, ' '));
  EXPECT_EQ(s_.fatecol, 0);
  EXPECT_EQ(s_.agecol, 0);
  EXPECT_EQ(s_.grpcol, 0);
  EXPECT_EQ(s_.frqcol1, 0);
  EXPECT_EQ(s_.frqcol2, 0);
  EXPECT_EQ(s_.modset, ModelSet::kMovementOnly);
  EXPECT_EQ(s_.smstrat, 0);
  EXPECT_EQ(s_.acodes, "AA" + std::string(24, ' '));
  EXPECT_EQ(s_.ageinc, std::string(40, '1'));
  // Never asked: blanks, not zero bytes, since the converters echo and read them.
  EXPECT_EQ(s_.gcodes, std::string(26, ' '));
  EXPECT_EQ(s_.obsfmt, std::string(26, ' '));
  EXPECT_EQ(s_.title, "Trial run 2" + std::string(53, ' '));
}

TEST_F(DialogueTest, EveryQuestionAnswered) {
  Run({"records.txt", "3,5,3,2", "abc", "0", "4,2,", "3 1 7 99", "7", "-12", "YSA", "0110", "9",
       "MF", "71", "73", "4", "4", "Run"});
  EXPECT_FALSE(s_.listdata);
  EXPECT_EQ(s_.scodes, "abc" + std::string(23, ' '));  // case kept
  EXPECT_EQ(s_.codcol, (std::vector<int32_t>{4, 2, 3, 1, 7}));
  EXPECT_EQ(s_.fatecol, 7);
  EXPECT_EQ(s_.agecol, 12);
  EXPECT_EQ(s_.acodes, "YSA" + std::string(23, ' '));
  EXPECT_EQ(s_.ageinc, "0110" + std::string(36, ' '));
  EXPECT_EQ(s_.grpcol, 9);
  EXPECT_EQ(s_.gcodes, "MF" + std::string(24, ' '));
  EXPECT_EQ(s_.frqcol1, 71);
  EXPECT_EQ(s_.frqcol2, 73);
  EXPECT_EQ(s_.obsfmt, "(I 3)" + std::string(21, ' '));
  EXPECT_EQ(s_.modset, ModelSet::kMovementOnlySm);
  EXPECT_EQ(s_.smstrat, 4);  // one more than the number of strata is accepted
}

TEST_F(DialogueTest, PositiveAgeColumnKeepsTheIncrements) {
  Run({"records.txt", "2,3,2,1", "AB", "1", "0", "12", "YA", "0", "2", "t"});
  EXPECT_EQ(s_.agecol, 12);
  EXPECT_EQ(s_.acodes, "YA" + std::string(24, ' '));
  EXPECT_EQ(s_.ageinc, std::string(40, '1'));
}

TEST_F(DialogueTest, FrequencyFormat) {
  const std::vector<std::pair<std::pair<std::string, std::string>, std::string>> cases = {
      {{"5", "7"}, "(I 3)"},
      {{"61", "72"}, "(I12)"},
      {{"9", "9"}, "(I 1)"},
      {{"1", "99"}, "(I99)"},
  };
  for (const auto& [columns, format] : cases) {
    SCOPED_TRACE(columns.first + ".." + columns.second);
    ConversionSettings fresh;
    s_ = fresh;
    InputFile input;
    in_.clear();
    in_.str("records.txt\n2,3,1,1\nAB\n1\n0\n" + columns.first + "\n" + columns.second +
            "\n2\nt\n");
    RunDialogue(reader_, console_, err_, work_, s_, input);
    EXPECT_EQ(s_.obsfmt, format + std::string(21, ' '));
  }
}

TEST_F(DialogueTest, InputIsBackAtItsFirstRecordAfterThePreview) {
  Run({"records.txt", "2,3,1,1", "AB", "1", "0", "0", "2", "t"});
  std::string record;
  ASSERT_TRUE(input_.ReadRecord(record, 5));
  EXPECT_EQ(record, "AB0  ");
}

TEST_F(DialogueTest, PreviewShowsAtMostFiveRecordsCutAt70) {
  folder_.Write("long.txt", std::string(100, 'x') + "\r\n2\r\n3\n4\n5\n6\n7\n");
  Run({"long.txt", "2,3,1,1", "AB", "1", "0", "0", "2", "t"});
  const std::vector<std::string> lines = ConsoleLines();
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(lines[2], "  ");
  EXPECT_EQ(lines[3], "               FILE:long.txt" + std::string(56, ' '));
  EXPECT_EQ(lines[5], " ....5....0....5....0....5....0....5....0....5....0....5....0....5....0");
  EXPECT_EQ(lines[6], " " + std::string(70, 'x'));
  EXPECT_EQ(lines[7], " 2" + std::string(69, ' '));  // the carriage return is not shown
  EXPECT_EQ(lines[8], " 3" + std::string(69, ' '));
  EXPECT_EQ(lines[10], " 5" + std::string(69, ' '));
  EXPECT_EQ(lines[11], " " + std::string(70, '.'));
  std::string record;
  ASSERT_TRUE(input_.ReadRecord(record, 3));
  EXPECT_EQ(record, "xxx");
}

TEST_F(DialogueTest, EmptyInputFileShowsNoRecordLines) {
  folder_.Write("empty.txt", "");
  Run({"empty.txt", "2,3,1,1", "AB", "1", "0", "0", "2", "t"});
  const std::vector<std::string> lines = ConsoleLines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[5], " ....5....0....5....0....5....0....5....0....5....0....5....0....5....0");
  EXPECT_EQ(lines[6], " " + std::string(70, '.'));
}

TEST_F(DialogueTest, InputFileName) {
  std::filesystem::create_directory(folder_.path() / "folder");
  const std::string name64 = std::string(60, 'n') + ".txt";
  folder_.Write(name64, "AB0\n");
  ASSERT_EQ(mkfifo((folder_.path() / "fifo").c_str(), 0600), 0);
  folder_.Write("records", "AB0\n");
  struct Case {
    std::string typed;
    std::string stop;  // empty: opened; "read": the stop of a file that cannot be read
  };
  const std::string read = "read";
  const std::vector<Case> cases = {
      {"records.txt", ""},
      {"records.txt    ", ""},  // trailing blanks are not part of the name
      {"records.txt\r", ""},
      {name64, ""},
      {"  records.txt", read},  // leading blanks are
      {"RECORDS.TXT", read},
      {"missing.txt", read},
      {"folder", read},
      {"", read},
      {std::string(64, ' '), read},
      // Never cut to the name of another file.
      {"records.txt" + std::string(53, ' ') + "ignored",
       " *** The file name may be at most 64 characters long, got 71"},
      {name64 + "x", " *** The file name may be at most 64 characters long, got 65"},
      {std::string("records\0.txt", 12), " *** The file name holds a zero byte"},
      {"fifo", " *** The input file fifo is not a regular file (a device, a pipe or a socket); "
               "save the records in a file"},
      {"/dev/zero", " *** The input file /dev/zero is not a regular file (a device, a pipe or a "
                    "socket); save the records in a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE('"' + c.typed + '"');
    ConversionSettings fresh;
    s_ = fresh;
    InputFile input;
    in_.clear();
    in_.str(c.typed + "\n2,3,1,1\nAB\n1\n0\n0\n2\nt\n");
    std::string stop_line;
    try {
      RunDialogue(reader_, console_, err_, work_, s_, input);
    } catch (const FatalStop& stop) {
      ASSERT_EQ(stop.lines().size(), 1u);
      stop_line = stop.lines()[0];
      EXPECT_EQ(stop.stop(), kErrorStop);
    }
    if (c.stop == read) {
      std::string name = c.typed.substr(0, 64);
      if (!name.empty() && name.back() == '\r') name.pop_back();
      name.resize(64, ' ');
      EXPECT_EQ(stop_line, " *** Can't read the input file, " + name);
    } else {
      EXPECT_EQ(stop_line, c.stop);
    }
  }
}

// At a terminal the first records are looked at as each field is placed: an answer they
// contradict is asked again, the likely one offered; the same answer typed again is taken. The
// answers kept are those taken, in question order: read from a file they place every field
// as the person's did.
TEST_F(DialogueTest, AtATerminalTheRecordsMendAnAnswer) {
  folder_.Write("birds.txt", "AB0C0D M  3\nA0BB00 F 12\n00CD0A M  1\nD0000A F  7\nBBCC00 M  2\n"
                             "0A0B0C F  4\n");
  folder_.Write("birds.inp", "/* M, F */ AB0C0D 3 0;\nA0BB00 0 12;\n00CD0A 1 2;\n");
  // Moves among L, M and S: S stands in five periods' columns, 5 of the 24 characters.
  folder_.Write("moves.txt", "LM0S0L\nS0LL0M\n0MSS0L\nLLM0S0\n");
  // A count for each of two groups after each history, as --inp reads them and by columns.
  folder_.Write("dipper.inp", "1121111 1 0;\n2211102 0 1;\n1101201 0 1;\n");
  folder_.Write("dipper.txt", "1121111  0 1\n2211102  0 1\n1101201  1 0\n");
  folder_.Write("blank.txt", "1121111 5\n2211102  \n1101201  \n");
  // One count after each history; the last period blank in every record.
  folder_.Write("one.inp", "1121111 1;\n2211102 3;\n1101201 2;\n");
  folder_.Write("blank.inp", "1121110 1;\n2211100 1;\n1101200 2;\n");
  // A line of names, and a tab between the history and the count, which a screen widens to
  // column 9.
  folder_.Write("mstrata.txt", "ch\tfreq\nA000\t491\nAB0B\t12\nA0BA\t5\n");
  // A line of names over records with tabs, the names under 5% of the history's characters.
  std::string tabs = "ch\tfreq\n";
  for (int k = 0; k < 12; ++k) tabs += "A0BA\t5\nAB0B\t2\n";
  folder_.Write("tabs.txt", tabs);
  struct Case {
    std::string name;
    std::vector<std::string> typed;  // after the file name
    std::vector<std::string> said;   // on standard error, in this order
    std::vector<std::string> kept;   // empty: the answers typed right
    std::string file;                // empty: birds.txt, or birds.inp for --inp
  };
  const std::vector<std::string> right = {"4,6,1,2", "ABCD", "1",  "0", "8",
                                          "MF",      "10",   "11", "2", "B"};
  auto with = [&](size_t at, size_t replaced, std::vector<std::string> typed) {
    std::vector<std::string> all = right;
    const auto from = all.begin() + static_cast<std::ptrdiff_t>(at);
    all.erase(from, from + static_cast<std::ptrdiff_t>(replaced));
    all.insert(all.begin() + static_cast<std::ptrdiff_t>(at), typed.begin(), typed.end());
    return all;
  };
  const std::string holds = "the history in columns 1-6 holds, in the 6 records, the characters ";
  const std::vector<Case> cases = {
      {"stratum codes in the other case, asked again at the history's column",
       with(1, 2, {"abcd", "1", "ABCD"}),
       {holds + "a 0  b 0  c 0  d 0  0 17  B 6  A 5  C 5  D 3",
        "the stratum codes stand in the history in columns 1-6 of the 6 records as ABCD, not abcd "
        "(codes are case-sensitive); the stratum codes again, as the file writes them: ABCD",
        holds + "A 5  B 6  C 5  D 3  0 17",
        "the group column 8 holds, in the 6 records, the characters F 3  M 3",
        "the frequency in columns 10-11 holds, in the 6 records: counts 1 to 12, 0 blank, 0 not "
        "numbers"},
       {},
       ""},
      {"stratum codes typed again are taken",
       with(1, 2, {"abcd", "1", "abcd"}),
       {},
       with(1, 1, {"abcd"}),
       ""},
      {"a history column two off",
       with(2, 1, {"3", "1"}),
       {"6 of the 36 characters in the history in columns 3-8 of the 6 records are neither "
        "stratum codes nor 0, . or blank; the histories fit from column 1 on; the first column "
        "again"},
       {},
       ""},
      {"the columns one by one",
       with(2, 1, {"0", "3 4 5 6 7 8", "1"}),
       {"in the history in columns 3-8 of the 6 records", holds},
       {},
       ""},
      {"the same column again stands, and the codes typed again are taken",
       with(2, 1, {"3", "3", "ABCD"}),
       {"the history stays where it was; the stratum codes again"},
       with(2, 1, {"3"}),
       ""},
      {"no code in the history: the column again stands, the codes are mended",
       with(1, 2, {"WXYZ", "1", "1", "ABCD"}),
       {"none of the stratum codes WXYZ stands in the history in columns 1-6 of the 6 records; "
        "the first column again",
        "the history stays where it was"},
       {},
       ""},
      {"group codes with commas",
       with(5, 1, {"M,F", "MF"}),
       {"the group codes M,F were typed with commas between them, which makes a comma a code: "
        "without them they are MF (the same codes again keep them); please answer again"},
       {},
       ""},
      {"group codes in the other case",
       with(5, 1, {"mf", "MF"}),
       {"none of the group codes mf stands in the group column 8 of the 6 records, which holds F "
        "3  M 3; the file writes them MF"},
       {},
       ""},
      {"group codes typed again are taken", with(5, 1, {"XY", "XY"}), {}, with(5, 1, {"XY"}), ""},
      {"age codes with commas",
       {"4,6,2,1", "ABCD", "1", "0", "8", "M,F", "MF", "10", "11", "2", "B"},
       {"the age-code column 8 holds, in the 6 records, the characters F 3  M 3",
        "the age codes M,F were typed"},
       {"4,6,2,1", "ABCD", "1", "0", "8", "MF", "10", "11", "2", "B"},
       ""},
      {"a frequency field mostly no numbers",
       with(6, 2, {"8", "11", "10", "11"}),
       {"the frequency in columns 8-11 holds, in the 6 records: no count, 0 blank, 6 not numbers",
        "6 of the 6 fields of the frequency in columns 8-11 in the 6 records are not numbers; the "
        "first is \"M  3\", in record 1"},
       {},
       ""},
      {"--inp: the stratum codes and the group codes",
       {"4,6,1,2", "abcd", "ABCD", "M,F", "MF", "2", "B"},
       // (Each history ends at its last column: no column past it is read as blank.)
       {"the histories hold, in the 3 records, the characters a 0  b 0  c 0  d 0  0 8  A 3  B 3  C "
        "2  D 2\n",
        "as ABCD, not abcd", "the group codes M,F"},
       {"4,6,1,2", "ABCD", "MF", "2", "B"},
       ""},
      // Plausible answers the records deny, each asked again right after it with the answer
      // likely meant offered.
      {"--inp: periods the histories deny are asked again at the counts",
       {"2,8,1,2", "2,7,1,2", "12", "MF", "2", "B"},
       {"the histories of the 3 records have 7 characters (line 1: history 1121111, 7 "
        "characters), where the counts answer gives 8 periods: the counts that fit them are "
        "2,7,1,2; please answer again"},
       {"2,7,1,2", "12", "MF", "2", "B"},
       "dipper.inp"},
      {"--inp: a count for each of two groups answered as one group",
       {"2,7,1,1", "2,7,1,2", "12", "MF", "2", "B"},
       {"every record has 2 whole-number counts after its history: 2 groups? (the counts "
        "2,7,1,2; with 1 group, 2 of the 3 records count no animal) (the same counts again keep "
        "them); please answer again"},
       {"2,7,1,2", "12", "MF", "2", "B"},
       "dipper.inp"},
      {"--inp: one count on each record answered as two groups",
       {"2,7,1,2", "2,7,1,1", "12", "2", "B"},
       {"every record has 1 whole-number count after its history: 1 group? (the counts "
        "2,7,1,1; with 2 groups, each record needs 2) (the same counts again keep them); please "
        "answer again"},
       {"2,7,1,1", "12", "2", "B"},
       "one.inp"},
      {"--inp: a last period blank in every record asks the counts again, once",
       {"2,7,1,1", "12", "2,7,1,1", "2", "B"},
       {"period 7 is blank in every record (character 7 of the histories holds no stratum "
        "code); the counts again (the histories' 7 characters are the periods: the same counts, "
        "2,7,1,1, keep them)"},
       {"2,7,1,1", "12", "2", "B"},
       "blank.inp"},
      {"--inp: counts typed again with other strata ask the codes again",
       {"3,7,1,1", "123", "2,7,1,1", "12", "2", "B"},
       {"period 7 is blank in every record", "the counts again"},
       {"2,7,1,1", "12", "2", "B"},
       "blank.inp"},
      {"--inp: one group typed again is taken",
       {"2,7,1,1", "2,7,1,1", "12", "2", "B"},
       {"every record has 2 whole-number counts"},
       {"2,7,1,1", "12", "2", "B"},
       "dipper.inp"},
      {"a stratum code left out, said before any column is offered",
       {"2,6,1,1", "LM", "1", "LMS", "0", "0", "2", "B"},
       {"besides the stratum codes LM, the letter S (5 times) stands in the history in columns "
        "1-6 of the 4 records, in two periods or more: a stratum code left out? (3 strata with "
        "the codes LMS); the stratum codes again, which give the number of strata"},
       {"3,6,1,1", "LMS", "1", "0", "0", "2", "B"},
       "moves.txt"},
      {"a stratum code in no history",
       {"4,6,1,1", "LMSX", "1", "LMS", "0", "0", "2", "B"},
       {"the stratum code X stands nowhere in the history in columns 1-6 of the 4 records: 3 "
        "strata with the codes LMS?"},
       {"3,6,1,1", "LMS", "1", "0", "0", "2", "B"},
       "moves.txt"},
      {"the unused code typed again is kept",
       {"4,6,1,1", "LMSX", "1", "LMSX", "0", "0", "2", "B"},
       {"the stratum code X stands nowhere"},
       {"4,6,1,1", "LMSX", "1", "0", "0", "2", "B"},
       "moves.txt"},
      {"a history one column off leaves its last period blank",
       {"3,6,1,1", "LMS", "2", "1", "0", "0", "2", "B"},
       {"period 6 is blank in every record (column 7 holds no stratum code); the histories fit "
        "from column 1 on; the first column again"},
       {"3,6,1,1", "LMS", "1", "0", "0", "2", "B"},
       "moves.txt"},
      {"a frequency of 0 in most records: a count for each group",
       {"2,7,1,1", "12", "1", "0", "10", "10", "10", "10", "2", "B"},
       {"the frequency in column 10 is 0 in 2 of the 3 records, which count no animal; a file "
        "with a count for each group after its history is read with --inp"},
       {"2,7,1,1", "12", "1", "0", "10", "10", "2", "B"},
       "dipper.txt"},
      {"a frequency of numbers separated by blanks",
       {"2,7,1,1", "12", "1", "0", "10", "12", "10", "12", "2", "B"},
       {"the frequency in columns 10-12 holds numbers separated by blanks in 3 of the 3 records "
        "(\"0 1\" in record 1, read as one number); a file with a count for each group"},
       {"2,7,1,1", "12", "1", "0", "10", "12", "2", "B"},
       "dipper.txt"},
      {"tabs and a line of names, said at the preview",
       {"2,4,1,1", "AB", "1", "0", "6", "6", "2", "B"},
       {"the records hold tabs: each tab is one column of the record; line 1 (ch>freq) looks "
        "like a line of names, not a record"},
       {"2,4,1,1", "AB", "1", "0", "6", "6", "2", "B"},
       "tabs.txt"},
      {"a tab widens on a screen: the columns the counts stand in are offered",
       {"2,4,1,1", "AB", "1", "0", "9", "11", "6", "8", "2", "B"},
       {"line 1 (ch>freq) holds names, not a record: it is read as none",
        // (The line of names is not tallied.)
        "the history in columns 1-4 holds, in the 3 records, the characters A 4  B 3  0 5\n",
        "the 3 records hold 3 tabs at or before column 11, the frequency field's last (the first "
        "in column 5): each tab is one column of the record, however wide a screen shows it; the "
        "counts stand in columns 6-8 (the same columns again keep them); please answer again",
        "the frequency in columns 6-8 holds, in the 3 records: counts 5 to 491, 0 blank",
        "the 3 records hold 3 tabs at or before column 8"},
       {"2,4,1,1", "AB", "1", "0", "6", "8", "2", "B"},
       "mstrata.txt"},
      {"tabs said at the frequency columns typed where the counts stand, which are taken",
       {"2,4,1,1", "AB", "1", "0", "6", "9", "2", "B"},
       {"the 3 records hold 3 tabs at or before column 9, the frequency field's last (the first "
        "in column 5): each tab is one column of the record, however wide a screen shows it\n"},
       {"2,4,1,1", "AB", "1", "0", "6", "9", "2", "B"},
       "mstrata.txt"},
      {"a frequency blank in most records",
       {"2,7,1,1", "12", "1", "0", "9", "9", "9", "9", "2", "B"},
       {"the frequency in column 9 is blank in 2 of the 3 records, which count no animal"},
       {"2,7,1,1", "12", "1", "0", "9", "9", "2", "B"},
       "blank.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool inp = c.name.starts_with("--inp");
    std::istringstream in;
    std::ostringstream err;
    AnswerReader person(in, console_, true);
    ConversionSettings typed;
    typed.inp = inp;
    InputFile input;
    const std::string file = !c.file.empty() ? c.file : inp ? "birds.inp" : "birds.txt";
    std::string text = file + "\n";
    for (const std::string& a : c.typed) text += a + "\n";
    in.str(text);
    ASSERT_NO_THROW(RunDialogue(person, console_, err, work_, typed, input)) << err.str();
    size_t at = 0;
    for (const std::string& said : c.said) {
      at = err.str().find(said, at);
      ASSERT_NE(at, std::string::npos) << said << "\nin:\n" << err.str();
    }
    std::vector<std::string> kept = {file};
    for (const std::string& a : c.kept.empty() ? right : c.kept) kept.push_back(a);
    EXPECT_EQ(person.kept(), kept);
    // The answers kept, read from a file, place every field where the typed ones did.
    std::string saved;
    for (const std::string& line : person.kept()) saved += line + "\n";
    in_.clear();
    in_.str(saved);
    ConversionSettings replayed;
    replayed.inp = inp;
    InputFile again;
    RunDialogue(reader_, console_, err_, work_, replayed, again);
    EXPECT_EQ(replayed.nstrata, typed.nstrata);
    EXPECT_EQ(replayed.ngroups, typed.ngroups);
    EXPECT_EQ(replayed.scodes, typed.scodes);
    EXPECT_EQ(replayed.codcol, typed.codcol);
    EXPECT_EQ(replayed.acodes, typed.acodes);
    EXPECT_EQ(replayed.gcodes, typed.gcodes);
    EXPECT_EQ(replayed.frqcol1, typed.frqcol1);
    EXPECT_EQ(replayed.frqcol2, typed.frqcol2);
  }
}

TEST_F(DialogueTest, TheInputIsNeverOneOfTheRunsOwnFiles) {
  for (const char* own : {"HAPLOVEX.OUT", "HAPLOVEX.SUM"}) {
    for (bool symbolic : {true, false}) {
      SCOPED_TRACE(std::string(own) + (symbolic ? " as a symbolic link" : " as a hard link"));
      const std::filesystem::path link = folder_.path() / own;
      std::filesystem::remove(link);
      if (symbolic) {
        std::filesystem::create_symlink("records.txt", link);
      } else {
        std::filesystem::create_hard_link(folder_.path() / "records.txt", link);
      }
      ConversionSettings fresh;
      s_ = fresh;
      InputFile input;
      in_.clear();
      in_.str("records.txt\n");
      try {
        RunDialogue(reader_, console_, err_, work_, s_, input);
        ADD_FAILURE() << "the records were taken";
      } catch (const FatalStop& stop) {
        EXPECT_EQ(stop.lines(), std::vector<std::string>{" *** The input file records.txt is the "
                                                         "run's own " + std::string(own) +
                                                         "; copy the records to another name"});
      }
      std::filesystem::remove(link);
    }
  }
  EXPECT_EQ(folder_.Read("records.txt"), "AB0\nA0A\n0BBX\n");
}

}  // namespace
}  // namespace haplovex
