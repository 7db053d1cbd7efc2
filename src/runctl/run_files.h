// What a converter finds open when the run driver calls it: the console, the capture-history
// file (rewound), the output file with its title line written, and the summary file.
#pragma once

#include "common/console.h"
#include "common/text_file.h"

namespace haplovex {

struct RunFiles {
  Console& console;
  InputFile& input;
  OutputFile& out;  // HAPLOVEX.OUT
  OutputFile& sum;  // HAPLOVEX.SUM
};

}  // namespace haplovex
