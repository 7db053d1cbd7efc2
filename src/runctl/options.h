// The options of a conversion, read in one place for the command line and for the first line
// of an answers file, which may carry the options its run needs: "#haplovex --inp --csv".
// An answers file without such a line is read as ever.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runctl/driver.h"

namespace haplovex {

// What the first line of an answers file begins with when it holds options.
inline constexpr std::string_view kOptionsMark = "#haplovex";

enum class OptionRead {
  kTaken,    // an option of a conversion, applied to the options
  kNotOne,   // no such option: the caller's own, or a mistake
  kRefused,  // an option with a value it cannot take; `problem` says why
};

// Reads the option at words[k] (--inp, --strict, --csv, --report, --gof, --threads N or
// --threads=N), moving k past its value.
OptionRead ReadRunOption(const std::vector<std::string>& words, size_t& k, RunOptions& options,
                         std::string& problem);

// True for a line that holds options ("#haplovex" and then options, separated by blanks).
bool IsOptionsLine(std::string_view line);
// Adds the options of an options line to `options` (where the command line set no number of
// threads, the line's is taken). False, with `problem` set, for a word that is no option.
bool ReadOptionsLine(std::string_view line, RunOptions& options, std::string& problem);
// The options line that repeats a run's options that shape its files (--inp, --csv,
// --report, --gof); empty when it has none of them.
std::string OptionsLine(const RunOptions& options);

}  // namespace haplovex
