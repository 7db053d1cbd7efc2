// The files a run writes in the working folder, each defined once in kRunFiles: its name, how
// a stop names it, when a run writes it, whether an earlier run's file of that name stays when
// this run does not write it, and what the usage says it holds. Everything that names a run's
// file reads this table: the opening of the files, putting them in place, the removal of an
// earlier run's files, the dialogue's refusal of an input file that is one of them, the
// overwrite question, the messages, the report and the usage.
//
// The table's order is the order in which the files are opened, put in place and removed, and
// in which the usage lists them; HAPLOVEX.OUT comes first, as the overwrite question guards it
// before the dialogue.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runctl/options.h"

namespace haplovex {

enum class RunFile {
  kOutput,       // the estimation-program input
  kSummary,      // the run summary
  kReport,       // the report page (--report)
  kReleases,     // the tidy table of the m-array (--csv)
  kTransitions,  // the tidy table of the movements (--csv)
  kFit,          // the goodness-of-fit tests (--gof)
  kFitTable,     // their tidy table (--gof --csv)
  kAnswers,      // the answers a person typed at a terminal
};

struct RunFileSpec {
  RunFile file;
  std::string_view name;
  // How a stop that cannot open the file names it, before its name.
  std::string_view called;
  // A run writes the file when all of these hold (none: every run).
  std::array<bool RunOptions::*, 2> when;
  // An earlier run's file of this name stays when this run does not write it (else it goes
  // when this run's files are put in place: the folder never holds two runs' files side by
  // side). A person's saved answers stay: a run may be reading them.
  bool earlier_stays;
  // What the usage says the file holds.
  std::string_view about;
};

inline constexpr std::array<RunFileSpec, 8> kRunFiles = {{
    {RunFile::kOutput, "HAPLOVEX.OUT", "the output file", {}, false,
     "the estimation-program input (model, data cells, labels, runs)"},
    {RunFile::kSummary, "HAPLOVEX.SUM", "summary file", {}, false,
     "a run summary with the movements between strata"},
    {RunFile::kReport, "HAPLOVEX.html", "the file", {&RunOptions::report}, false,
     "one page showing the settings, the counts, the warnings, the captures per period, the "
     "movements, and what the estimation-program input holds"},
    {RunFile::kReleases, "HAPLOVEX.releases.csv", "the file", {&RunOptions::csv}, false,
     "the m-array, for R, pandas and spreadsheets"},
    {RunFile::kTransitions, "HAPLOVEX.transitions.csv", "the file", {&RunOptions::csv}, false,
     "the movements between strata, for the same"},
    {RunFile::kFit, "HAPLOVEX.GOF", "the file", {&RunOptions::gof}, false,
     "the goodness-of-fit tests of each group and c-hat"},
    {RunFile::kFitTable, "HAPLOVEX.gof.csv", "the file", {&RunOptions::gof, &RunOptions::csv}, false,
     "every component of the tests, for a program"},
    {RunFile::kAnswers, "HAPLOVEX.ANS", "the answers file", {&RunOptions::answers_from_terminal},
     true, "the answers typed at a terminal, to repeat the run"},
}};

// The entry of `file`.
constexpr const RunFileSpec& Spec(RunFile file) { return kRunFiles[static_cast<size_t>(file)]; }
// The name of `file` in the folder.
constexpr std::string_view NameOf(RunFile file) { return Spec(file).name; }

// Whether a run with `options` writes the file.
bool Written(const RunFileSpec& spec, const RunOptions& options);
// Every name a run may write, whatever its options: a run killed while putting its files in
// place is finished by the next run in the folder, whichever options that one has.
std::vector<std::string> RunFileNames();

}  // namespace haplovex
