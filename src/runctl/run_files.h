// What a converter finds open when the run driver calls it: the console, the capture-history
// file (rewound), the output file with its title line written, and the summary file.
#pragma once

#include "common/console.h"
#include "common/text_file.h"

namespace haplovex {

// The run's own files in the working folder.
inline constexpr const char* kOutputName = "HAPLOVEX.OUT";  // the estimation-program input
inline constexpr const char* kSummaryName = "HAPLOVEX.SUM";  // the run summary

struct RunFiles {
  Console& console;
  InputFile& input;
  OutputFile& out;  // HAPLOVEX.OUT
  OutputFile& sum;  // HAPLOVEX.SUM
};

}  // namespace haplovex
