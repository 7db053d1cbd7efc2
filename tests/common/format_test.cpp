#include "common/format.h"

#include <gtest/gtest.h>

namespace haplovex {
namespace {

TEST(FormatTest, Placeholder) { EXPECT_EQ(IntField(5, 3), "  5"); }

}  // namespace
}  // namespace haplovex
