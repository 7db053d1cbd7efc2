// haplovex: converts capture histories of marked animals into the input of a multi-state
// estimation program. It runs the question-and-answer dialogue on the console, the answers
// typed or read from a file; everything about a conversion comes from the answers.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <optional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/format.h"
#include "common/platform.h"
#include "common/work_folder.h"
#include "runctl/driver.h"
#include "runctl/options.h"
#include "runctl/run_files.h"
#include "tabulate/kernels/kernel_set.h"
#include "version.h"

namespace {

// Writes `text` on standard output; a failure is reported and gives exit status 1.
int Print(std::string_view text) {
  std::cout << text;
  if (std::cout.flush()) return 0;
  std::cerr << "haplovex: the output could not be written\n";
  return 1;
}

// Says what is wrong on standard error. What the command line and the environment hold is shown
// through the one filter of data shown to a person, as everything the run says there is.
void Complain(const std::string& problem) {
  std::cerr << "haplovex: " << haplovex::Harmless(problem) << "\n";
}

int Usage(const std::string& problem) {
  Complain(problem);
  std::cerr << haplovex::Usage();
  return 2;
}

// A line as a person would name what it holds: its first field (up to a blank, tab or ";").
std::string_view FirstField(std::string_view line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  line.remove_prefix(start);
  return line.substr(0, line.find_first_of(" \t;"));
}

// The first two lines of a file look like capture histories rather than answers: a comment
// ("/*"), a record ended by ";", or two lines that each begin with a history of the same length
// (letters, digits and dots), where an answers file has a file name, then the counts "2,3,1,1".
bool LooksLikeRecords(const std::string& first, const std::string& second) {
  const size_t text = std::min(first.find_first_not_of(" \t"), first.size());
  if (first.compare(text, 2, "/*") == 0) return true;
  if (first.find(';') != std::string::npos && first.find(',') == std::string::npos) return true;
  const std::string_view lead = FirstField(first);
  auto history = [](std::string_view field) {
    return field.size() >= 2 && field.find_first_not_of(
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.") ==
                                    std::string_view::npos;
  };
  const std::string_view next = FirstField(second);
  return history(lead) && history(next) && lead.size() == next.size() &&
         second.find(',') == std::string::npos;
}

// What is wrong with `name` as an answers file, in words; empty when nothing is.
std::string AnswersFileProblem(const char* name) {
  const std::string quoted = "'" + std::string(name) + "'";
  std::error_code error;
  const std::filesystem::path path = haplovex::platform::PathOf(name);
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    return "there is no answers file " + quoted + " (no such file)";
  }
  if (std::filesystem::is_directory(status)) return quoted + " is a folder, not an answers file";
  std::ifstream file(path, std::ios::binary);
  std::string first;
  std::string second;
  std::getline(file, first);
  std::getline(file, second);
  for (std::string* line : {&first, &second}) {
    if (line->starts_with("\xEF\xBB\xBF")) line->erase(0, 3);
    if (!line->empty() && line->back() == '\r') line->pop_back();
  }
  const std::string named(FirstField(first));
  if (!LooksLikeRecords(first, second) || (!named.empty() && std::filesystem::exists(haplovex::platform::PathOf(named), error))) {
    return "";
  }
  const std::string saved(haplovex::NameOf(haplovex::RunFile::kAnswers));
  return quoted + " looks like a file of capture histories, not an answers file (which holds the "
         "answers to the questions, one a line, the file's name first). Run haplovex and give " +
         quoted + " at the FILE question; the answers are then kept in " + saved +
         " to repeat the run with: haplovex -y < " + saved;
}

}  // namespace

int main(int argc, char** argv) {
  // Bytes pass as they are: a line ends in LF on every system, as the files do.
  haplovex::platform::BinaryStandardStreams();
  haplovex::RunOptions options;
  // The instructions the records are read with: the machine's best, or those named.
  std::string problem;
  const std::optional<haplovex::KernelSet> kernels =
      haplovex::ChooseKernels(std::getenv("HAPLOVEX_KERNELS"), problem);
  if (!kernels) {
    Complain(problem);
    return 2;
  }
  options.kernels = *kernels;
  const char* answers_file = nullptr;
  const std::vector<std::string> words = haplovex::platform::Arguments(argc, argv);
  for (size_t k = 0; k < words.size(); ++k) {
    const std::string_view arg = words[k];
    if (argc == 2 && (arg == "--help" || arg == "-h")) return Print(haplovex::Usage());
    if (argc == 2 && arg == "--version") {
      return Print(std::string("haplovex ") + HAPLOVEX_VERSION + "\nkernels: " +
                   haplovex::KernelName(*kernels) + "\n");
    }
    std::string problem;
    const haplovex::OptionRead read = haplovex::ReadOption(words, k, options, problem, true);
    if (read == haplovex::OptionRead::kRefused) return Usage(problem);
    if (read == haplovex::OptionRead::kTaken) continue;
    if (arg.starts_with("-") && arg != "-") {
      return Usage("unknown option '" + std::string(arg) + "'");
    } else if (answers_file != nullptr) {
      return Usage("one answers file at most, got '" + std::string(answers_file) + "' and '" +
                   std::string(arg) + "'");
    } else {
      answers_file = words[k].c_str();
    }
  }
  std::ifstream answers;
  if (answers_file != nullptr && std::string_view(answers_file) != "-") {
    if (const std::string problem = AnswersFileProblem(answers_file); !problem.empty()) {
      Complain(problem);
      return 2;
    }
    answers.open(haplovex::platform::PathOf(answers_file), std::ios::binary);
    if (!answers) return Usage("can't read the answers file '" + std::string(answers_file) + "'");
  }
  std::istream& in = answers.is_open() ? static_cast<std::istream&>(answers) : std::cin;

  haplovex::InstallStopHandlers();
  std::ios::sync_with_stdio(false);
  try {
    options.console_is_terminal = haplovex::platform::IsTerminal(1);
    options.errors_to_terminal = haplovex::platform::IsTerminal(2);
    options.answers_from_terminal = !answers.is_open() && haplovex::platform::IsTerminal(0);
    // The folder is reached through ".", never through its path: it may be very deep, or
    // have been removed while the user stood in it.
    return haplovex::RunHaplovex(in, std::cout, std::cerr, ".", options);
  } catch (...) {
    std::cerr << "haplovex: the run failed unexpectedly; no file was written\n";
    return 1;
  }
}
