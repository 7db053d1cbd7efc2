#include "prnt/prnt.h"

#include <algorithm>
#include <cstring>

namespace haplovex {

namespace {

void Flush(int32_t& outpos, Outline& outline, OutputFile& out) {
  out.WriteLine(std::string_view(outline.data(), outline.size()));
  outline.fill(' ');
  outpos = 0;
}

}  // namespace

Outline BlankOutline() {
  Outline outline;
  outline.fill(' ');
  return outline;
}

void PRNTA(int32_t& outpos, Outline& outline, std::string_view text, OutputFile& out) {
  const auto length = static_cast<int32_t>(std::min<size_t>(text.size(), kOutlineWidth));
  if (outpos + length > kOutlineWidth) Flush(outpos, outline, out);
  // Everything after the used part is already blank, so the text is simply copied in.
  std::memcpy(outline.data() + outpos, text.data(), static_cast<size_t>(length));
  outpos += length;
}

void PRNTI(int32_t& outpos, Outline& outline, int32_t value, OutputFile& out) {
  if (outpos + kNumberRoom > kOutlineWidth) Flush(outpos, outline, out);
  // The value must fit a field of 9 characters, its minus sign included.
  if (value > 999999999 || value < -99999999) return;
  uint32_t magnitude = value < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(value))
                                 : static_cast<uint32_t>(value);
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (n > 0) outline[static_cast<size_t>(outpos++)] = digits[--n];
}

void EndLine(int32_t& outpos, Outline& outline, OutputFile& out) {
  out.WriteLine(std::string_view(outline.data(), static_cast<size_t>(outpos)));
  std::fill_n(outline.begin(), outpos, ' ');
  outpos = 0;
}

}  // namespace haplovex
