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

#include "common/limits.h"

namespace haplovex {

inline constexpr size_t kCodesWidth = kMaxCodes;  // scodes, acodes, gcodes, obsfmt
inline constexpr size_t kAgeIncWidth = 40;   // ageinc: one character per interval
inline constexpr size_t kTitleWidth = 64;
inline constexpr size_t kFileNameWidth = 64;
// Every model has at least one interval between two periods.
inline constexpr int32_t kMinPeriods = 2;
// The memory model needs a period before and after every release, and reads one ageinc
// character per period.
inline constexpr int32_t kMinMemoryPeriods = 3;
inline constexpr int32_t kMaxMemoryPeriods = static_cast<int32_t>(kAgeIncWidth);

// The four model sets the dialogue offers, by the number the user types.
enum class ModelSet : int32_t {
  kMemoryMovement = 1,    // transitions depend on the previous stratum as well
  kMovementOnly = 2,
  kMemoryMovementSm = 3,  // the same two with the S-M parameterization: in each source
  kMovementOnlySm = 4,    // stratum one movement parameter becomes a survival parameter
};

// Model sets 1 and 3, written by the memory-movement converter.
constexpr bool IsMemoryModel(ModelSet m) {
  return m == ModelSet::kMemoryMovement || m == ModelSet::kMemoryMovementSm;
}
// Model sets 3 and 4, which ask the S-M choice and label survival parameters.
constexpr bool HasSmParameterization(ModelSet m) {
  return m == ModelSet::kMemoryMovementSm || m == ModelSet::kMovementOnlySm;
}

// The fields of a data frame (--frame) a run reads, chosen by name, and what the values of the
// fate, age and group fields stand for. An empty name: no such field.
struct FrameFields {
  std::string history;
  std::string frequency;
  std::string fate;
  std::string age;
  std::string group;
  std::vector<std::string> lost;    // fate values of animals not released at their last capture
  std::vector<std::string> ages;    // age levels, youngest first: level k has code acodes[k-1]
  std::vector<std::string> groups;  // group levels: level k has code gcodes[k-1]
};

struct ConversionSettings {
  // Run parameters.
  ModelSet modset = ModelSet::kMovementOnly;  // set by the dialogue
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
  // The input file holds summarised histories (--inp): each record a history of nyrs
  // characters, then one count for each group (the group codes' order), then covariates,
  // ended by ";", with /* ... */ comments. Such a run has one age class, no fate, age or group
  // column and no frequency columns; codcol is 1..nyrs.
  bool inp = false;
  // The input file is a data frame (--frame): a header of field names, then one record a line
  // in fields. Its records are laid out in columns before they are read: the history in columns
  // 1..nyrs, then the fate mark, the age code, the group code and the frequency, each where
  // its column setting says (0: no such field).
  bool frame = false;
  FrameFields frame_fields{};
  // The file's first line is a line of names (ch, freq), not a record: every way of reading the
  // records starts after it, and its line still counts in the lines messages name.
  bool header_line = false;

  // Shared text settings.
  bool listdata = false;  // echo columns and records on the console
  std::string title = std::string(kTitleWidth, ' ');
  std::string scodes = "ABCDEFGH" + std::string(kCodesWidth - 8, ' ');
  std::string acodes = "AA" + std::string(kCodesWidth - 2, ' ');
  std::string gcodes = std::string(kCodesWidth, ' ');
  std::string ageinc = std::string(kAgeIncWidth, '1');

  // Column of the stratum code of period i (1-based).
  int32_t Codcol(int32_t i) const { return codcol[static_cast<size_t>(i - 1)]; }
  // True when the stratum codes of the periods stand in consecutive columns, one after another.
  bool ConsecutiveColumns() const {
    for (size_t i = 1; i < codcol.size(); ++i) {
      if (codcol[i] != codcol[i - 1] + 1) return false;
    }
    return !codcol.empty();
  }
};

}  // namespace haplovex
