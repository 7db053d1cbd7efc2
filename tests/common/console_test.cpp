#include "common/console.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"

namespace haplovex {
namespace {

TEST(ConsoleTest, BytesThatControlATerminalAreShownAsQuestionMarksThereOnly) {
  struct Case {
    std::string line;
    std::string on_terminal;
  };
  const std::vector<Case> cases = {
      {"AB0 A0A", "AB0 A0A"},
      {"A\tB", "A\tB"},  // a tab is shown as it is
      {"AB0\x1b[2J", "AB0?[2J"},
      {"\x1b]0;title\x07", "?]0;title?"},
      {std::string("fate \0 mark", 11), "fate ? mark"},
      {"\r\x7f", "??"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},  // bytes above 127 are text
      {"AB0\x9b" "2J\xc2\x9d" "0;x\x9c", "AB0?2J?0;x?"},  // C1 controls, as bytes and as UTF-8
      {"\xc5\x9b" "A0", "\xc5\x9b" "A0"},                // but within a character
  };
  for (const Case& c : cases) {
    std::ostringstream terminal_text, piped_text;
    Console terminal(terminal_text, true);
    Console piped(piped_text, false);
    terminal.Plain(c.line);
    piped.Line(c.line);
    EXPECT_EQ(terminal_text.str(), " " + c.on_terminal + "\n");
    EXPECT_EQ(piped_text.str(), c.line + "\n") << "a piped console keeps every byte";
  }
}

// Standard error: every line through the filter, wherever it goes; its line ends kept, and the
// bytes of a character written in pieces kept together.
TEST(HarmlessStreamTest, EveryLineIsShownHarmless) {
  std::ostringstream target;
  {
    HarmlessStream err(target);
    err << "haplovex: line 1: history \x1b[2J\x1b[8mA000, count 5\n";
    err << "names \xc5" << "\x9b and \xc2" << "\x9b" << '\x07' << '\n' << "\x9d" "52;c\n\n";
    err.write("tab\there\r\nlast", 14);
    err.flush();
    EXPECT_EQ(target.str(),
              "haplovex: line 1: history ?[2J?[8mA000, count 5\nnames \xc5\x9b and ??\n?52;c\n\n"
              "tab\there?\nlast");
    err << " \x1b";
  }
  EXPECT_EQ(target.str().substr(target.str().size() - 6), "last ?") << "kept until destroyed";
}

TEST(ConsoleTest, AConsoleThatCannotBeWrittenStopsTheRunOnce) {
  std::ostringstream text;
  Console console(text);
  text.setstate(std::ios::badbit);
  EXPECT_THROW(console.Line("lost"), FatalStop);
  EXPECT_TRUE(console.lost());
  EXPECT_NO_THROW(console.Line("dropped"));
  EXPECT_NO_THROW(console.Flush());
}

}  // namespace
}  // namespace haplovex
