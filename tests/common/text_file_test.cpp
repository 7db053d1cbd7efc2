#include "common/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "../common/test_support.h"
#include "common/fatal.h"
#include "common/work_folder.h"

namespace haplovex {
namespace {

// The lines as a record reader must hand them out: split at every line end (a line feed, a
// carriage return, or the two together), each cut at the record width, a byte-order mark at
// the start left out; a last line without a line end counts, an empty file has none.
std::vector<std::string> ExpectedLines(std::string text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.size() > kLineWidth) line.resize(kLineWidth);
    lines.push_back(line);
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::vector<std::string> ReadLines(InputFile& input) {
  std::vector<std::string> lines;
  std::string_view line;
  while (input.NextLine(line)) lines.emplace_back(line);
  return lines;
}

TEST(InputFileTest, LinesAreTheSameWhereverTheBlocksEnd) {
  const std::string long_line(300, 'L');
  const std::string exactly(250, 'E');
  const std::vector<std::pair<const char*, std::string>> texts = {
      {"empty file", ""},
      {"short lines", "AB0\nA0A\n0BBX\n"},
      {"no line end at the end", "AB0\nA0A"},
      {"carriage returns", "AB0\r\nA0A\r\n\r\n0BBX\r\n"},
      {"a carriage return alone ends a line", "A\rB\n\r\r\n"},
      {"carriage returns alone", "AB0\rA0A\r\r0BBX\r"},
      {"a byte-order mark", "\xEF\xBB\xBF/* geese */\nAB0\n"},
      {"a byte-order mark alone", "\xEF\xBB\xBF"},
      {"a byte-order mark's bytes later on", "AB0\n\xEF\xBB\xBF\n"},
      {"empty lines", "\n\n\nA\n\n"},
      {"lines longer than a record", long_line + "\r\n" + long_line + "\nA\n" + long_line},
      {"a record exactly 250 long, then with a carriage return, then 251",
       exactly + "\n" + exactly + "\r\n" + exactly + "X\r\n" + exactly + "\r"},
      {"a carriage return at column 251", exactly + "\rX\n" + exactly + "\r\r\n"},
  };
  for (const auto& [name, text] : texts) {
    // Every block size from one byte up puts each line end, and each carriage return, on
    // both sides of a block edge.
    for (size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{7},
                         size_t{64}, size_t{249}, size_t{250}, size_t{251}, size_t{252},
                         InputFile::kDefaultBlock}) {
      SCOPED_TRACE(std::string(name) + ", blocks of " + std::to_string(block));
      InputFile input(block);
      input.OpenMemory(text, "records");
      EXPECT_EQ(ReadLines(input), ExpectedLines(text));
      input.Rewind();
      EXPECT_EQ(ReadLines(input), ExpectedLines(text)) << "read again after a rewind";
    }
  }
}

TEST(InputFileTest, ARecordIsCutOrPaddedToItsWidth) {
  InputFile input(3);
  input.OpenMemory("ABCDEFG\nAB\n\n", "records");
  std::string record;
  ASSERT_TRUE(input.ReadRecord(record, 5));
  EXPECT_EQ(record, "ABCDE");
  ASSERT_TRUE(input.ReadRecord(record, 5));
  EXPECT_EQ(record, "AB   ");
  ASSERT_TRUE(input.ReadRecord(record, 5));
  EXPECT_EQ(record, "     ");
  EXPECT_FALSE(input.ReadRecord(record, 5));
}

TEST(InputFileTest, DiskFileReadsLikeMemory) {
  testing::ScratchFolder folder;
  const std::string text = std::string(400, 'x') + "\r\nAB0\nA0A";
  folder.Write("d.txt", text);
  InputFile input(16);
  ASSERT_EQ(input.Open(folder.path() / "d.txt", "d.txt"), 0);
  EXPECT_EQ(ReadLines(input), ExpectedLines(text));
  EXPECT_NE(input.Open(folder.path() / "missing.txt", "missing.txt"), 0);
}

TEST(OutputFileTest, MemoryKeepsEveryLineAndThePartialFileTheSame) {
  testing::ScratchFolder folder;
  const WorkFolder work(folder.path());
  OutputFile memory("HAPLOVEX.OUT");
  OutputFile disk("HAPLOVEX.OUT");
  memory.OpenMemory();
  ASSERT_EQ(disk.OpenPartial(work), 0);
  for (OutputFile* out : {&memory, &disk}) {
    out->WriteLine("PROC TITLE 'x';");
    out->Write("COHORT=");
    out->WriteLine("1;");
    out->WriteLine("");
    out->Finish();
  }
  EXPECT_EQ(memory.contents(), "PROC TITLE 'x';\nCOHORT=1;\n\n");
  EXPECT_EQ(folder.Read(disk.partial_name()), memory.contents());
  EXPECT_FALSE(folder.Exists("HAPLOVEX.OUT")) << "only putting it in place gives the name";
}

}  // namespace
}  // namespace haplovex
