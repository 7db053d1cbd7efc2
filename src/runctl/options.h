// The options of a run, each defined once in kOptions: its name, what it sets, where it may
// stand and its text in the usage. The one table drives the command line, the first line of an
// answers file, which may carry the options its run needs ("#haplovex --inp --csv"), the
// options line the answers a person typed are saved with, and the usage (--help). An answers
// file without such a line is read as ever.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "tabulate/kernels/kernel_set.h"

namespace haplovex {

struct RunOptions {
  // The console is a terminal: bytes of the data that would control it are shown as "?".
  bool console_is_terminal = false;
  // Standard error is a terminal: fitting that lasts shows its progress there.
  bool errors_to_terminal = false;
  // A person types the answers at a terminal: a refused answer is asked again, and a run that
  // finishes saves its answers (see RunFile::kAnswers).
  bool answers_from_terminal = false;
  // The overwrite question, when it is asked, is answered yes (--yes).
  bool yes = false;
  // A warning about the data stops the run (--strict).
  bool strict = false;
  // The input file holds summarised histories, read without columns (--inp).
  bool inp = false;
  // The input file is a data frame: a header of field names, then one record a line, its
  // fields chosen by name (--frame).
  bool frame = false;
  // Also write the tidy tables of the cohorts and the movements (--csv).
  bool csv = false;
  // Also write the report page (--report).
  bool report = false;
  // Also test the fit of the data to the model, and write the tests (--gof).
  bool gof = false;
  // Threads that may read the records at once (--threads); 0: as many as help here. The files
  // and the transcript are the same for every number.
  int threads = 0;
  // The instructions the records are read with (HAPLOVEX_KERNELS): the same files for every
  // set.
  KernelSet kernels = BestKernels();
};

// Where an option may stand besides the command line.
enum class OptionScope {
  kCommandLine,  // nowhere else: an answer about the folder, not about the run (-y)
  kRun,          // the options line of an answers file too (--strict, --threads)
  kFiles,        // there too, and in the options line of saved answers: it shapes the files
};

struct Option {
  std::string_view name;   // "--threads"
  std::string_view alias;  // a short name ("-y"), or none
  std::string_view value;  // what the usage calls its number ("N"); none for a switch
  bool RunOptions::*flag;  // what a switch sets
  int RunOptions::*number; // what an option with a number sets, to a number of 1 to `most`
  int most;
  OptionScope scope;
  std::string_view help;  // its text in the usage; a line end where the text goes on
};

inline constexpr std::array<Option, 8> kOptions = {{
    {"--inp", "", "", &RunOptions::inp, nullptr, 0, OptionScope::kFiles,
     "the input file holds summarised histories: each record a history, one\n"
     "count for each group, covariates, ended by \";\" (no column questions)"},
    {"--frame", "", "", &RunOptions::frame, nullptr, 0, OptionScope::kFiles,
     "the input file is a data frame as R or a spreadsheet writes it: a header\n"
     "of field names, fields separated by tabs, commas, semicolons or blanks\n"
     "(fields asked by name)"},
    {"--yes", "-y", "", &RunOptions::yes, nullptr, 0, OptionScope::kCommandLine,
     "answer yes when asked whether to replace an existing output file"},
    {"--strict", "", "", &RunOptions::strict, nullptr, 0, OptionScope::kRun,
     "stop, writing nothing, when the data checks give a warning"},
    {"--csv", "", "", &RunOptions::csv, nullptr, 0, OptionScope::kFiles,
     "also write tidy tables for R, pandas, spreadsheets"},
    {"--report", "", "", &RunOptions::report, nullptr, 0, OptionScope::kFiles,
     "also write a page to look at before the estimation"},
    {"--gof", "", "", &RunOptions::gof, nullptr, 0, OptionScope::kFiles,
     "also test the fit of the data to the model"},
    {"--threads", "", "N", nullptr, &RunOptions::threads, 64, OptionScope::kRun,
     "read the records with N threads (default: as many as help here);\n"
     "the files are the same for every N"},
}};

// The option of kOptions that sets `flag`; none for a setting that is no option.
const Option* OptionSetting(bool RunOptions::*flag);

// What the first line of an answers file begins with when it holds options.
inline constexpr std::string_view kOptionsMark = "#haplovex";

enum class OptionRead {
  kTaken,    // an option, applied to the options
  kNotOne,   // no such option: the caller's own, or a mistake
  kRefused,  // an option with a value it cannot take; `problem` says why
};

// Reads the option at words[k] (a name or alias of kOptions, a number after its name or
// after "="), moving k past its value. `command_line`: every option is taken; else only those
// an answers file may carry.
OptionRead ReadOption(const std::vector<std::string>& words, size_t& k, RunOptions& options,
                      std::string& problem, bool command_line);

// True for a line that holds options ("#haplovex" and then options, separated by blanks).
bool IsOptionsLine(std::string_view line);
// Adds the options of an options line to `options` (where the command line set no number,
// the line's is taken). False, with `problem` set, for a word that is no option.
bool ReadOptionsLine(std::string_view line, RunOptions& options, std::string& problem);
// The options line that repeats a run's options that shape its files; empty when it has none
// of them.
std::string OptionsLine(const RunOptions& options);

// The text of --help: the synopsis, the options and the files a run writes, from the tables.
std::string Usage();

}  // namespace haplovex
