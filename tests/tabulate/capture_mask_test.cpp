#include "tabulate/capture_mask.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tabulate/kernels/kernels.h"

namespace haplovex {
namespace {

// Classes as the decoder gives them: the codes typed are captures, "0", "." and a blank are no
// capture, every other byte is odd.
std::array<int8_t, 256> Classes(const std::string& codes) {
  std::array<int8_t, 256> cls{};
  for (int b = 0; b < 256; ++b) cls[static_cast<size_t>(b)] = (b == '0' || b == '.' || b == ' ') ? 0 : -1;
  for (size_t i = 0; i < codes.size(); ++i) cls[static_cast<unsigned char>(codes[i])] = int8_t(i + 1);
  return cls;
}

struct MaskCase {
  const char* what;
  std::string codes;
};

// Every set of kernels the machine has must give the masks a byte-by-byte walk gives, for every byte at
// every period, whatever the code set: a wrong nibble table would drop or invent captures.
TEST(CaptureMasksTest, EveryWidthAgreesWithTheHistoryBytes) {
  std::string high_bytes;
  for (int b = 0x80; b < 0x80 + 26; b += 1) high_bytes += static_cast<char>(b * 5 % 128 + 128);
  std::string many_kinds;  // low-nibble sets that differ under each high nibble: past 8 kinds
  for (int h = 2; h < 16; ++h) many_kinds += static_cast<char>(h * 16 + h % 16);
  std::string seven_kinds;  // 7 kinds of codes fit the test, but not with the 2 of the marks
  for (int h = 4; h < 11; ++h) seven_kinds += static_cast<char>(h * 16 + h % 16);
  const std::vector<MaskCase> cases = {
      {"five letters", "ABCDE"},
      {"one code", "A"},
      {"26 letters", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"lower and upper case", "aBcDeFgHiJ"},
      {"digits", "123456789"},
      {"punctuation", "*+-/#@!$%"},
      {"a no-capture mark among the codes", "A0."},
      {"bytes above 127", high_bytes},
      {"more kinds than the test has bits", many_kinds},
      {"codes and marks of no capture past the bits of the test", seven_kinds},
      {"digits and letters, a mark under the digits' high nibble", "123ABCpqr"},
  };
  const std::vector<size_t> period_counts = {1, 5, 31, 32, 33, 40, 63};
  std::mt19937 random(20261207);
  for (const MaskCase& c : cases) {
    const std::array<int8_t, 256> cls = Classes(c.codes);
    for (size_t periods : period_counts) {
      // Histories of random bytes, then ones drawn from the codes and marks alone, each read
      // 64 bytes wide as the record path reads them.
      std::vector<std::array<unsigned char, CaptureMasks::kReach>> histories(600);
      const std::string usual = c.codes + "0. ";
      for (size_t k = 0; k < histories.size(); ++k) {
        for (unsigned char& b : histories[k]) {
          b = k < 300 ? static_cast<unsigned char>(random())
                      : static_cast<unsigned char>(usual[random() % usual.size()]);
        }
      }
      std::vector<const unsigned char*> starts;
      std::vector<uint64_t> want_caught;
      std::vector<uint64_t> want_odd;
      for (const auto& h : histories) {
        starts.push_back(h.data());
        uint64_t caught = 0;
        uint64_t odd = 0;
        for (size_t i = 0; i < periods; ++i) {
          caught |= uint64_t{cls[h[i]] > 0} << i;
          odd |= uint64_t{cls[h[i]] < 0} << i;
        }
        want_caught.push_back(caught);
        want_odd.push_back(odd);
      }
      const CaptureMasks masks(cls, periods);
      for (const KernelSet set : KernelSetsHere()) {
        const std::string width = KernelName(set);
        std::vector<uint64_t> caught(starts.size());
        std::vector<uint64_t> odd(starts.size());
        const bool plain = MasksWith(set, masks, starts.data(), starts.size(), caught.data(), odd.data());
        bool want_plain = true;
        for (size_t k = 0; k < starts.size(); ++k) {
          ASSERT_EQ(caught[k], want_caught[k]) << c.what << ", " << periods << " periods, width "
                                               << width << ", history " << k;
          ASSERT_EQ(odd[k], want_odd[k]) << c.what << ", " << periods << " periods, width "
                                         << width << ", history " << k;
          want_plain = want_plain && want_caught[k] != 0 && want_odd[k] == 0;
        }
        ASSERT_EQ(plain, want_plain) << c.what << ", " << periods << " periods, width " << width;
        // Histories that all have a capture and nothing odd: those of the usual bytes that do.
        std::vector<const unsigned char*> clean;
        for (size_t k = 0; k < starts.size(); ++k) {
          if (want_caught[k] != 0 && want_odd[k] == 0) clean.push_back(starts[k]);
        }
        if (!clean.empty()) {
          ASSERT_TRUE(MasksWith(set, masks, clean.data(), clean.size(), caught.data(), odd.data()))
              << c.what << ", " << periods << " periods, width " << width;
        }
      }
    }
  }
}

}  // namespace
}  // namespace haplovex
