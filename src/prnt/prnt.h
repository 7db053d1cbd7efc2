// PRNTA and PRNTI: the line builders that lay long data-cell statements out on lines of at
// most 250 characters.
//
// The caller owns the line buffer `outline` and the count `outpos` of characters in use, sets
// `outpos` to 0 before a statement, and writes the first `outpos` characters itself when the
// statement ends (EndLine, which also readies the buffer for the next one). When a piece does not fit, the builder first writes the whole
// buffer, trailing blanks included, as one line: a text needs its own length, a number always
// 9 free columns whatever its digits.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/text_file.h"

namespace haplovex {

inline constexpr int32_t kOutlineWidth = 250;
// Columns a number must find free before PRNTI places it.
inline constexpr int32_t kNumberRoom = 9;

// The 250-character line buffer; positions after the used part are always blank.
using Outline = std::array<char, kOutlineWidth>;

// Appends `text`. A text longer than the buffer is cut at column 250.
void PRNTA(int32_t& outpos, Outline& outline, std::string_view text, OutputFile& out);
// Appends the decimal digits of `value`: no sign, no blanks; a value needing more than 9
// characters (as 1,000,000,000 or -100,000,000) appends nothing.
void PRNTI(int32_t& outpos, Outline& outline, int32_t value, OutputFile& out);
// Writes the used part of the buffer as the statement's last line, then leaves the buffer blank
// and `outpos` 0, ready for the next statement.
void EndLine(int32_t& outpos, Outline& outline, OutputFile& out);
// An empty, all-blank buffer.
Outline BlankOutline();

}  // namespace haplovex
