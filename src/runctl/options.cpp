#include "runctl/options.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "runctl/run_files.h"

namespace haplovex {

namespace {

// The option `word` names (by name or alias, a number after "=" included); none for a word
// that is no option.
const Option* Named(std::string_view word) {
  for (const Option& option : kOptions) {
    if (word == option.name || (!option.alias.empty() && word == option.alias)) return &option;
    if (!option.value.empty() && word.starts_with(option.name) &&
        word.substr(option.name.size()).starts_with("=")) {
      return &option;
    }
  }
  return nullptr;
}

// Reads the number of `option` at words[k] (after its name, or in the next word), moving k
// past it.
OptionRead ReadNumber(const Option& option, const std::vector<std::string>& words, size_t& k,
                      RunOptions& options, std::string& problem) {
  const std::string name(option.name);
  std::string value;
  if (words[k] == option.name) {
    if (k + 1 == words.size()) {
      problem = name + " needs a number";
      return OptionRead::kRefused;
    }
    value = words[++k];
  } else {
    value = words[k].substr(option.name.size() + 1);
  }
  char* rest = nullptr;
  const long n = std::strtol(value.c_str(), &rest, 10);
  if (value.empty() || *rest != '\0' || n < 1 || n > option.most) {
    problem = name + " takes a number from 1 to " + std::to_string(option.most) + ", got '" + value + "'";
    return OptionRead::kRefused;
  }
  options.*option.number = static_cast<int>(n);
  return OptionRead::kTaken;
}

// The usage's width: items are wrapped to lines no longer.
constexpr size_t kUsageWidth = 90;

// An item of the usage: `lead` padded to `column`, then the words of `text`, wrapped to
// kUsageWidth, each further line indented to `column`.
void AppendItem(std::string& usage, std::string lead, std::string_view text, size_t column) {
  std::string line = "  " + lead;
  line.resize(std::max(line.size() + 1, column), ' ');
  std::istringstream words{std::string(text)};
  bool bare = true;  // no word yet on the line
  for (std::string word; words >> word; bare = false) {
    if (!bare && line.size() + 1 + word.size() > kUsageWidth) {
      usage += line + "\n";
      line = std::string(column, ' ');
      bare = true;
    }
    line += (bare ? "" : " ") + word;
  }
  usage += line + "\n";
}

// "with --gof --csv: ", the options a file is written with; empty for a file of every run.
std::string WrittenWith(const RunFileSpec& spec) {
  std::string with;
  for (bool RunOptions::*flag : spec.when) {
    const Option* option = flag != nullptr ? OptionSetting(flag) : nullptr;
    if (option != nullptr) with += (with.empty() ? "with " : " ") + std::string(option->name);
  }
  return with.empty() ? with : with + ": ";
}

}  // namespace

const Option* OptionSetting(bool RunOptions::*flag) {
  for (const Option& option : kOptions) {
    if (option.flag == flag) return &option;
  }
  return nullptr;
}

OptionRead ReadOption(const std::vector<std::string>& words, size_t& k, RunOptions& options,
                      std::string& problem, bool command_line) {
  const Option* option = Named(words[k]);
  if (option == nullptr || (!command_line && option->scope == OptionScope::kCommandLine)) {
    return OptionRead::kNotOne;
  }
  if (option->number != nullptr) return ReadNumber(*option, words, k, options, problem);
  options.*option->flag = true;
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
    const OptionRead result = ReadOption(words, k, read, problem, false);
    if (result == OptionRead::kRefused) return false;
    if (result == OptionRead::kNotOne) {
      std::string known;
      for (const Option& option : kOptions) {
        if (option.scope == OptionScope::kCommandLine) continue;
        known += (known.empty() ? "" : ", ") + std::string(option.name) +
                 (option.value.empty() ? "" : " " + std::string(option.value));
      }
      problem = "'" + words[k] + "' is no option of a conversion (" + known + ")";
      return false;
    }
  }
  for (const Option& option : kOptions) {
    if (option.scope == OptionScope::kCommandLine) continue;
    if (option.flag != nullptr) options.*option.flag = options.*option.flag || read.*option.flag;
    if (option.number != nullptr && options.*option.number == 0) {
      options.*option.number = read.*option.number;
    }
  }
  return true;
}

std::string OptionsLine(const RunOptions& options) {
  std::string words;
  for (const Option& option : kOptions) {
    if (option.scope == OptionScope::kFiles && options.*option.flag) words += " " + std::string(option.name);
  }
  return words.empty() ? std::string() : std::string(kOptionsMark) + words;
}

std::string Usage() {
  std::string usage = "Usage: haplovex";
  // The synopsis goes on under its first option where a line would pass 80 columns.
  constexpr size_t kSynopsisWidth = 80;
  const std::string under = "\n" + std::string(usage.size(), ' ');
  size_t line_start = 0;
  auto add = [&](const std::string& item) {
    if (usage.size() - line_start + 1 + item.size() > kSynopsisWidth) {
      usage += under;
      line_start = usage.size() - under.size() + 1;
    }
    usage += " " + item;
  };
  for (const Option& option : kOptions) {
    add("[" + std::string(option.alias.empty() ? option.name : option.alias) +
        (option.value.empty() ? "" : " " + std::string(option.value)) + "]");
  }
  add("[ANSWERS]");
  usage +=
      "\n"
      "       haplovex --help | --version\n"
      "\n"
      "Converts a text file of capture histories of marked animals into the input file of a\n"
      "multi-state capture-recapture estimation program. Run it and answer the questions on the\n"
      "console: the input file, the numbers of strata, periods, age classes and groups, where\n"
      "each field stands in the records, the model set and a title.\n"
      "\n";
  constexpr size_t kOptionColumn = 16;
  AppendItem(usage, "ANSWERS",
             "read the answers from this file, one a line (as haplovex < ANSWERS); a first line \"" +
                 std::string(kOptionsMark) + " --inp --csv\" gives the options the run needs",
             kOptionColumn);
  for (const Option& option : kOptions) {
    const std::string name = (option.alias.empty() ? "" : std::string(option.alias) + ", ") +
                             std::string(option.name) +
                             (option.value.empty() ? "" : " " + std::string(option.value));
    AppendItem(usage, name, option.help, kOptionColumn);
  }
  usage += "\nIt writes its files in the current folder, all together and only when the run finishes:\n";
  size_t column = 0;
  for (const RunFileSpec& spec : kRunFiles) column = std::max(column, spec.name.size() + 4);
  for (const RunFileSpec& spec : kRunFiles) {
    AppendItem(usage, std::string(spec.name), WrittenWith(spec) + std::string(spec.about), column);
  }
  return usage +
         "\n"
         "At a terminal a refused answer is asked again; warnings and hints go to standard error.\n"
         "Repeat a run typed at a terminal with:  haplovex -y < " +
         std::string(NameOf(RunFile::kAnswers)) +
         "\n"
         "Exit status: 0 finished, 1 error stop, 2 bad command line. See haplovex(1) and README.md.\n";
}

}  // namespace haplovex
