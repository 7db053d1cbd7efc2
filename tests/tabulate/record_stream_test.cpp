#include "tabulate/record_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace haplovex
