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
