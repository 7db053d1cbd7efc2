// ConversionSettings: every answer of the set-up dialogue, handed to the one converter a run
// calls. The dialogue fills it once, in question order; the converter reads it.
//
// Run parameters (the counts, columns and formats) come first, in the order the converters
// take them; the shared text settings (the listing switch, the title and the code texts)
// follow. Text fields have fixed widths and are blank-padded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace haplovex {

inline constexpr size_t kCodesWidth = 26;    // scodes, acodes, gcodes, obsfmt
inline constexpr size_t kAgeIncWidth = 40;   // ageinc: one character per interval
inline constexpr size_t kTitleWidth = 64;
inline constexpr size_t kFileNameWidth = 64;
inline constexpr int32_t kRecordWidth = 250;  // record and output line buffers
inline constexpr int32_t kMaxCodes = 26;      // strata, age classes, groups
inline constexpr int32_t kMaxMemoryPeriods = 40;

struct ConversionSettings {
  // Run parameters.
  int32_t modset = 0;    // 1 memory-movement, 2 movement-only, 3 and 4 the same with S-M
  int32_t smstrat = 0;   // S-M choice: 0 diagonal, 1..nstrata that stratum, nstrata+1
  int32_t nstrata = 0;
  int32_t nyrs = 0;      // time periods
  int32_t nage = 0;      // age classes
  int32_t ngroups = 0;
  int32_t agecol = 0;    // column of the age code; 0 with one age class
  int32_t fatecol = 0;   // column of the fate mark; 0 = every animal released
  int32_t grpcol = 0;    // column of the group code; 0 with one group
  int32_t frqcol1 = 0;   // first column of the frequency; 0 or less = one animal a record
  int32_t frqcol2 = 0;   // last column of the frequency
  std::vector<int32_t> codcol;  // codcol[i-1]: column of the stratum code of period i
  std::string obsfmt = std::string(kCodesWidth, ' ');  // "(I w)": frequency field width

  // Shared text settings.
  bool listdata = false;  // echo columns and records on the console
  std::string title = std::string(kTitleWidth, ' ');
  std::string scodes = "ABCDEFGH" + std::string(kCodesWidth - 8, ' ');
  std::string acodes = "AA" + std::string(kCodesWidth - 2, ' ');
  std::string gcodes = std::string(kCodesWidth, ' ');
  std::string ageinc = std::string(kAgeIncWidth, '1');

  // Column of the stratum code of period i (1-based).
  int32_t Codcol(int32_t i) const { return codcol[static_cast<size_t>(i - 1)]; }
};

}  // namespace haplovex
