// The fixed sizes every part of the program shares: one constant per fact, used by the code
// that relies on it and by the messages that tell a user about it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace haplovex {

// A record is read as this many characters, and a line of the output file is built in a
// buffer of this many: columns count 1..kLineWidth.
inline constexpr int32_t kLineWidth = 250;

// Digits a count may take in a data cell; the line builders keep this many columns free for
// every number.
inline constexpr int32_t kCountDigits = 9;
// Largest count a table or run total may hold: the widest number a data cell can write.
inline constexpr int64_t kMaxCount = 999'999'999;
static_assert(kMaxCount + 1 == 1'000'000'000 && kCountDigits == 9,
              "kMaxCount is the largest number of kCountDigits digits");

// The code texts hold 26 characters: at most this many strata, age classes and groups.
inline constexpr int32_t kMaxCodes = 26;

}  // namespace haplovex
