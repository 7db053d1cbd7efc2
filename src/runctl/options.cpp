#include "runctl/options.h"

#include <cstdlib>
#include <sstream>

namespace haplovex {

OptionRead ReadRunOption(const std::vector<std::string>& words, size_t& k, RunOptions& options,
                         std::string& problem) {
  const std::string_view word = words[k];
  if (word == "--inp") {
    options.inp = true;
  } else if (word == "--strict") {
    options.strict = true;
  } else if (word == "--csv") {
    options.csv = true;
  } else if (word == "--report") {
    options.report = true;
  } else if (word == "--gof") {
    options.gof = true;
  } else if (word == "--threads" || word.starts_with("--threads=")) {
    std::string value;
    if (word == "--threads") {
      if (k + 1 == words.size()) {
        problem = "--threads needs a number";
        return OptionRead::kRefused;
      }
      value = words[++k];
    } else {
      value = std::string(word.substr(10));
    }
    char* rest = nullptr;
    const long n = std::strtol(value.c_str(), &rest, 10);
    if (value.empty() || *rest != '\0' || n < 1 || n > 64) {
      problem = "--threads takes a number from 1 to 64, got '" + value + "'";
      return OptionRead::kRefused;
    }
    options.threads = static_cast<int>(n);
  } else {
    return OptionRead::kNotOne;
  }
  return OptionRead::kTaken;
}

bool IsOptionsLine(std::string_view line) {
  return line.starts_with(kOptionsMark) &&
         (line.size() == kOptionsMark.size() || line[kOptionsMark.size()] == ' ' ||
          line[kOptionsMark.size()] == '\t' || line[kOptionsMark.size()] == '\r');
}

bool ReadOptionsLine(std::string_view line, RunOptions& options, std::string& problem) {
  std::istringstream split{std::string(line.substr(kOptionsMark.size()))};
  std::vector<std::string> words;
  for (std::string word; split >> word;) words.push_back(word);
  RunOptions read;
  for (size_t k = 0; k < words.size(); ++k) {
    const OptionRead result = ReadRunOption(words, k, read, problem);
    if (result == OptionRead::kRefused) return false;
    if (result == OptionRead::kNotOne) {
      problem = "'" + words[k] + "' is no option of a conversion (--inp, --strict, --csv, "
                "--report, --gof, --threads N)";
      return false;
    }
  }
  options.inp = options.inp || read.inp;
  options.strict = options.strict || read.strict;
  options.csv = options.csv || read.csv;
  options.report = options.report || read.report;
  options.gof = options.gof || read.gof;
  if (options.threads == 0) options.threads = read.threads;
  return true;
}

std::string OptionsLine(const RunOptions& options) {
  std::string words;
  if (options.inp) words += " --inp";
  if (options.csv) words += " --csv";
  if (options.report) words += " --report";
  if (options.gof) words += " --gof";
  return words.empty() ? std::string() : std::string(kOptionsMark) + words;
}

}  // namespace haplovex
