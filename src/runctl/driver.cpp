#include "runctl/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/fatal.h"
#include "common/format.h"
#include "common/text_file.h"
#include "common/work_folder.h"
#include "gof/fit_files.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/tidy_tables.h"
#include "memory/convert_memory_movement.h"
#include "memory/tidy_tables.h"
#include "movement/convert_movement_only.h"
#include "runctl/answers.h"
#include "runctl/data_look.h"
#include "runctl/dialogue.h"
#include "runctl/file_names.h"
#include "runctl/options.h"
#include "runctl/report.h"
#include "runctl/settings.h"
#include "runctl/typed_answers.h"
#include "runctl/warnings.h"
#include "tabulate/conversion.h"
#include "tabulate/tidy_tables.h"

namespace haplovex {

namespace {

// The banner: each row is the text of a plain line (after its leading blank).
constexpr std::array<std::string_view, 27> kBanner = {
    "Program HAPLOVEX - Converts \"Capture-history\" data into",
    "                   TORVELAN input data",
    " ",
    " Date compiled: 1/23/98",
    " ",
    " Programmer: HAPLOVEX maintainers",
    "             Capture-history conversion for",
    "             multi-state capture-recapture studies",
    "             Open-source software (MIT licence)",
    "             Help: haplovex --help, README.md",
    "             Problems: the project's issue tracker",
    " ",
    " Version 2.0 - added capability for >2 age-classes",
    "               added capability for >1 group      ",
    " ",
    " ** Note: The order of age-classes in old version was",
    "          ADULT followed by YOUNG.  In this version",
    "          the order must be from youngest to oldest.",
    " ** Also: The old version used \"GROUP\" as a synonym of",
    "          \"STRATA\".  (That was stupid!)  In this version",
    "          \"STRATA\" are the transitional states and ",
    "          \"GROUPS\" are the separate classification ",
    "          of animals to/from which animals cannot move.",
    "          Examples of STRATA might be location,",
    "          breeding-status, weight-class.",
    "          Examples of GROUP might be sex, species.",
    " ",
};

std::string ErrorNumberLine(int ios) { return " *** ERROR NUMBER " + IntField(ios, 12); }

// 0 when the file at `name` may be replaced by the run: nothing stands there, or a file the
// user may write; otherwise the system's error number (a folder, a write-protected file).
int Replaceable(const WorkFolder& folder, const char* name) {
  struct stat st;
  if (folder.Look(name, st) == ENOENT) return 0;
  if (folder.LookThrough(name, st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
  if (faccessat(folder.fd(), name, W_OK, AT_EACCESS) != 0 && errno != ENOENT) return errno;
  return 0;
}

// What a run works with besides its files.
struct RunContext {
  AnswerReader& answers;
  Console& console;
  std::ostream& err;
  const RunOptions& options;
  WorkFolder& folder;
  // The run's last line ("=== HAPLOVEX FINISHED OK ===") is on the console.
  bool final_line_written = false;
};

// Starts HAPLOVEX.OUT as a partial file. When a file of that name exists it is replaced at the
// end only after a yes to the overwrite question (or --yes); returns whether it existed.
bool GuardOutput(RunContext& run, OutputFile& out) {
  struct stat st;
  const int look = run.folder.Look(kOutputName, st);
  if (look == ENOENT) {
    if (const int error = out.OpenPartial(run.folder); error != 0) {
      throw FatalStop::Message(std::string("Can't create ") + kOutputName +
                               " in this folder: " + std::strerror(error));
    }
    return false;
  }
  if (look != 0) {
    throw FatalStop::Message(std::string("Can't look for ") + kOutputName + " in this folder: " +
                             std::strerror(look));
  }
  run.console.Plain(" ");
  run.console.Plain("*** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)");
  const char answer = run.options.yes ? 'y' : run.answers.FirstCharacter("the overwrite question");
  if (answer != 'Y' && answer != 'y') {
    run.err << "haplovex: HAPLOVEX.OUT exists and the answer to the overwrite question was not y: "
               "nothing was replaced (answer y, or run with -y, to replace it)\n";
    throw FatalStop({});
  }
  int ios = Replaceable(run.folder, kOutputName);
  if (ios == 0) ios = out.OpenPartial(run.folder);
  if (ios != 0) {
    throw FatalStop({" *** Can't open the output file, HAPLOVEX.OUT", ErrorNumberLine(ios)});
  }
  return true;
}

// Before the conversion, with the folder held for it: a HAPLOVEX.OUT that appeared while the
// run waited for its answers is the overwrite question's business (asked at a terminal;
// elsewhere the run stops, unless --yes). Returns whether HAPLOVEX.OUT may be replaced.
bool GuardOutputAgain(RunContext& run, bool output_existed) {
  struct stat st;
  if (output_existed || run.folder.Look(kOutputName, st) == ENOENT) return output_existed;
  if (!run.options.yes) {
    if (!run.answers.interactive()) {
      throw FatalStop::Message(std::string(kOutputName) +
                               " appeared in this folder while the run waited for its answers; "
                               "it was left as it is and nothing was written (-y replaces it)");
    }
    run.console.Plain(" ");
    run.console.Plain("*** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)");
    const char answer = run.answers.FirstCharacter("the overwrite question");
    if (answer != 'Y' && answer != 'y') {
      run.err << "haplovex: HAPLOVEX.OUT appeared while the run waited for its answers, and the "
                 "answer to the overwrite question was not y: nothing was replaced\n";
      throw FatalStop({});
    }
  }
  if (const int ios = Replaceable(run.folder, kOutputName); ios != 0) {
    throw FatalStop({" *** Can't open the output file, HAPLOVEX.OUT", ErrorNumberLine(ios)});
  }
  return true;
}

// Opens the partial file of one of the run's other files, as the summary file is opened.
void OpenAlongside(RunContext& run, OutputFile& file) {
  int ios = Replaceable(run.folder, file.name().c_str());
  if (ios == 0) ios = file.OpenPartial(run.folder);
  if (ios != 0) {
    const std::string what = file.name() == kSummaryName   ? "summary file"
                             : file.name() == kAnswersName ? "the answers file"
                                                           : "the file";
    throw FatalStop({" *** Can't open " + what + ", " + file.name(), ErrorNumberLine(ios)});
  }
}

// Tells the warnings about the data on standard error; with --strict they stop the run.
// Returns them.
std::vector<std::string> Warn(RunContext& run, const ConversionSettings& settings,
                              const std::string& title_typed, const RecordChecks& checks,
                              int64_t npar, int npar_digits) {
  std::vector<std::string> warnings = DataWarnings(settings, title_typed, checks, npar, npar_digits);
  run.console.Flush();
  if (checks.comment_lines > 0) {
    run.err << "haplovex: " << Counted(checks.comment_lines, "comment line")
            << " (/* ... */) read as no record\n";
  }
  if (checks.empty_lines > 0) {
    run.err << "haplovex: " << Counted(checks.empty_lines, "empty line")
            << " read as a record of no animals\n";
  }
  // How a file of summarised histories was read: a file answered with too few or too many
  // groups shows at once.
  if (!checks.first_split.empty()) run.err << "haplovex: " << checks.first_split << "\n";
  for (const std::string& warning : warnings) run.err << "haplovex: warning: " << warning << "\n";
  run.err.flush();
  if (run.options.strict && !warnings.empty()) {
    throw FatalStop::Message("--strict: the data checks gave " +
                             Counted(static_cast<int64_t>(warnings.size()), "warning") +
                             " (on standard error)");
  }
  return warnings;
}

// Answers that the first records contradict, which a person at a terminal is asked again: a
// run whose answers were not typed hears of them once, on standard error, before any record
// is converted; --strict stops on them. Returns them.
std::vector<std::string> WarnOfAnswers(RunContext& run, const ConversionSettings& settings,
                                       InputFile& input) {
  if (run.answers.interactive()) return {};
  std::vector<std::string> warnings = LookWarnings(input, settings);
  if (warnings.empty()) return warnings;
  run.console.Flush();
  for (const std::string& warning : warnings) {
    run.err << "haplovex: warning: " << warning << "\n";
  }
  run.err.flush();
  if (run.options.strict) {
    throw FatalStop::Message("--strict: the data checks gave " +
                             Counted(static_cast<int64_t>(warnings.size()), "warning") +
                             " (on standard error) before any record was converted");
  }
  return warnings;
}

// The files a run may write besides HAPLOVEX.OUT and HAPLOVEX.SUM.
struct OtherFiles {
  OutputFile answers{kAnswersName};
  OutputFile releases{kReleasesName};
  OutputFile transitions{kTransitionsName};
  OutputFile report{kReportName};
  OutputFile fit{kFitName};
  OutputFile fit_table{kFitTableName};
};

// The most the goodness-of-fit tests may take at their peak, every reading thread's tables
// together, or the tests' working tables.
constexpr uint64_t kMostFitBytes = uint64_t{1} << 30;

// Refuses --gof, before any record is read, where its peak would pass kMostFitBytes: its tables
// grow as the strata cubed times the periods squared, for each group and reading thread.
void CheckFitSize(const RunOptions& options, const ConversionSettings& s) {
  const int threads = PartsFor(options.threads, std::numeric_limits<uint64_t>::max());
  const uint64_t peak = gof::FitPeakBytes(s.nyrs, s.nstrata, s.ngroups, threads);
  if (peak > kMostFitBytes) {
    const uint64_t mib = (std::min<uint64_t>(peak, uint64_t{1} << 62) + (1 << 20) - 1) / (1 << 20);
    throw FatalStop::Message("--gof: the tables of the goodness-of-fit tests for " + std::to_string(s.nyrs) +
                             " periods and " + std::to_string(s.nstrata) + " strata would take more than 1 GiB (" +
                             GroupedDigits(static_cast<int64_t>(mib)) + " MiB at their peak, for " +
                             Counted(s.ngroups, "group") + " read by " + Counted(threads, "thread") +
                             "); run it without --gof, with fewer threads, or with fewer periods or strata");
  }
}

// The goodness-of-fit tests of each group, from the tables counted as the records were read:
// HAPLOVEX.GOF, and HAPLOVEX.gof.csv with --csv.
// Returns the groups' tests, for the report.
std::vector<gof::GroupFit> WriteFit(RunContext& run, const ConversionSettings& s,
                                    const std::vector<gof::FitTables>& tables, OtherFiles& other) {
  std::vector<const gof::FitTables*> counted;
  std::vector<std::string> labels;
  for (int32_t g = 1; g <= s.ngroups && static_cast<size_t>(g) <= tables.size(); ++g) {
    counted.push_back(&tables[static_cast<size_t>(g - 1)]);
    labels.push_back(CodeLabel(s.gcodes, g));
  }
  const std::vector<gof::GroupFit> groups = gof::TestGroups(
      counted, labels, PartsFor(run.options.threads, std::numeric_limits<uint64_t>::max()));
  gof::WriteFitText({std::string(TrimmedRight(s.title)), s.nyrs, s.nstrata, s.nage > 1}, groups, other.fit);
  if (run.options.csv) gof::WriteFitCsv(groups, other.fit_table);
  // What a person wants first, before opening HAPLOVEX.GOF.
  for (const gof::GroupFit& g : groups) {
    char figures[96];
    std::snprintf(figures, sizeof figures, "c-hat %.3f (JMV %.3f on %d df)", gof::CHat(g.jmv), g.jmv.statistic,
                  g.jmv.df);
    run.err << "haplovex: goodness of fit, group " << g.group << ": " << figures << ": "
            << (g.jmv.df > 0 ? gof::CHatReading(gof::CHat(g.jmv)) : std::string("nothing could be tested"))
            << "; the tests are in " << kFitName << "\n";
  }
  return groups;
}

// What the report shows of a conversion's result: the records and animals read, the chart of
// captures (of every group and of each), a table of movements (released from, next caught in)
// for each group and age class from btot(to, from, age, group), which both converters' tables
// give, the m-array and the sparse cohorts from n and bt, the number of parameters, the
// estimation runs and the run's date.
template <typename Counts>
RunDigest Digest(const ConversionSettings& s, const ConversionResult<Counts>& result) {
  RunDigest digest;
  digest.records = result.read.records;
  digest.animals = result.read.animals;
  digest.strata = s.nstrata;
  digest.periods = s.nyrs;
  const ChartCounts::Result& chart = result.read.counted.template Of<ChartCounts>();
  digest.caught = chart.caught;
  digest.caught_by_group = chart.by_group;
  digest.date = RunDate();
  const auto S = static_cast<size_t>(s.nstrata);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      std::vector<int64_t> table(S * S);
      for (int32_t from = 1; from <= s.nstrata; ++from) {
        for (int32_t to = 1; to <= s.nstrata; ++to) {
          table[static_cast<size_t>(from - 1) * S + static_cast<size_t>(to - 1)] =
              result.counts.btot(to, from, a, g);
        }
      }
      digest.transitions.push_back(std::move(table));
    }
  }
  // The cohorts in the order of their statements in HAPLOVEX.OUT: the movement-only sets' by
  // group, age class, period (1 to T - 1) and stratum; the memory sets' by group, age class,
  // period (2 to T - 1), previous stratum and stratum, summed over the previous stratum in the
  // m-array.
  constexpr bool kMemory = std::is_same_v<Counts, MemoryCounts>;
  const Counts& tables = result.counts;
  const int32_t T = s.nyrs;
  const auto TS = static_cast<size_t>(T) * S;
  digest.first_release = kMemory ? 2 : 1;
  const int32_t first = digest.first_release;
  const size_t rows = T > first ? static_cast<size_t>(T - first) * S : 0;
  digest.released.assign(rows, 0);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t i = first; i < T; ++i) {
        for (int32_t q = 1; q <= (kMemory ? s.nstrata : 1); ++q) {
          for (int32_t r = 1; r <= s.nstrata; ++r) {
            int64_t released;
            if constexpr (kMemory) {
              released = tables.n(i, q, r, a, g);
            } else {
              released = tables.n(i, r, a, g);
            }
            ++digest.cohorts;
            if (released == 0) {
              ++digest.empty_cohorts;
            } else if (released < kSparseBelow) {
              ++digest.sparse_cohorts;
              if (digest.sparse.size() < kSparseListed) {
                digest.sparse.push_back({g, a, i, kMemory ? q : 0, r, released});
              }
            }
            digest.released[static_cast<size_t>(i - first) * S + static_cast<size_t>(r - 1)] +=
                released;
          }
        }
      }
    }
  }
  // The next captures, in one pass through bt as it lies (a run of pairs for each stratum,
  // next stratum, and previous stratum, age class and group, which are summed): the memory
  // sets' bt is the largest table of a run.
  digest.next.assign(rows * TS, 0);
  const CountTable& bt = tables.bt.counts();
  const auto& layout = tables.bt.layout();
  const auto pairs = static_cast<size_t>(PairCount(T));
  std::vector<int32_t> pair_from(pairs, 0);  // the release period of each pair
  std::vector<size_t> pair_to(pairs, 0);     // where its next period stands in a row of next
  for (int32_t i = 1; i < T; ++i) {
    for (int32_t j = i + 1; j <= T; ++j) {
      const auto ij = static_cast<size_t>(PairIndex(i, j, T) - 1);
      pair_from[ij] = i;
      pair_to[ij] = static_cast<size_t>(j - 1) * S;
    }
  }
  for (size_t block = 0; pairs > 0 && block < bt.size() / pairs; ++block) {
    const auto at = static_cast<int64_t>(block * pairs);
    const auto r = static_cast<size_t>(layout.Position(at, Axis::kStratum));
    const auto t = static_cast<size_t>(layout.Position(at, Axis::kNext));
    for (size_t ij = 0; ij < pairs; ++ij) {
      const int32_t count = bt.at(block * pairs + ij);
      if (count == 0 || pair_from[ij] < first) continue;
      const size_t row = static_cast<size_t>(pair_from[ij] - first) * S + r;
      digest.next[row * TS + pair_to[ij] + t] += count;
    }
  }
  digest.npar = result.npar;
  digest.runs = result.runs;
  return digest;
}

// What a run builds from its conversion's result: the tidy tables (--csv), written by
// `write_tables(settings, counts, releases, transitions)`, the warnings, and the report
// (--report).
template <typename Counts, typename WriteTables>
void FromResult(RunContext& run, const ConversionSettings& settings, const std::string& title_typed,
                const std::vector<std::string>& answer_warnings, const InputFile& input,
                OtherFiles& other, const ConversionResult<Counts>& result, WriteTables write_tables) {
  if (run.options.csv) write_tables(settings, result.counts, other.releases, other.transitions);
  std::vector<gof::GroupFit> fit;
  if (run.options.gof) fit = WriteFit(run, settings, result.read.counted.template Of<FitCounting>(), other);
  std::vector<std::string> warnings =
      Warn(run, settings, title_typed, result.read.checks, result.npar, result.npar_digits);
  if (run.options.report) {
    warnings.insert(warnings.begin(), answer_warnings.begin(), answer_warnings.end());
    other.report.Write(
        ReportPage({settings, input.name(), result.read.checks, Digest(settings, result), warnings,
                    std::move(fit), run.options.csv}));
  }
}

// The whole run but its end. Returns whether the answers were saved in HAPLOVEX.ANS.
bool Run(RunContext& run, OutputFile& out, OutputFile& sum, OtherFiles& other, InputFile& input) {
  ConversionSettings settings;
  settings.inp = run.options.inp;
  for (std::string_view row : kBanner) run.console.Plain(row);
  const bool output_existed = GuardOutput(run, out);
  const std::string title_typed =
      RunDialogue(run.answers, run.console, run.err, run.folder, settings, input);
  if (run.options.gof) CheckFitSize(run.options, settings);
  const std::vector<std::string> answer_warnings = WarnOfAnswers(run, settings, input);
  // The folder is this run's from here to its end; it was free while the answers were awaited.
  run.folder.Hold();
  const bool output_replaced = GuardOutputAgain(run, output_existed);

  out.WriteLine("PROC TITLE '" + settings.title.substr(0, TitleLength(settings.title)) + "';");
  OpenAlongside(run, sum);

  const ConversionStreams streams{run.console, input, out, sum};
  ReadOptions read_options;
  read_options.threads = run.options.threads;
  read_options.kernels = run.options.kernels;
  std::vector<FinishedFile> finished = {{&out, output_replaced}, {&sum, true}};
  if (run.options.csv) {
    OpenAlongside(run, other.releases);
    OpenAlongside(run, other.transitions);
    finished.push_back({&other.releases, true});
    finished.push_back({&other.transitions, true});
  }
  if (run.options.gof) {
    OpenAlongside(run, other.fit);
    read_options.gof = true;
    finished.push_back({&other.fit, true});
    if (run.options.csv) {
      OpenAlongside(run, other.fit_table);
      finished.push_back({&other.fit_table, true});
    }
  }
  if (run.options.report) {
    OpenAlongside(run, other.report);
    read_options.report = true;
    finished.push_back({&other.report, true});
  }
  if (IsMemoryModel(settings.modset)) {
    FromResult(run, settings, title_typed, answer_warnings, input, other,
               convert_memory_movement(settings, streams, read_options), WriteMemoryTidyTables);
  } else {
    FromResult(run, settings, title_typed, answer_warnings, input, other,
               convert_movement_only(settings, streams, read_options), WriteMovementTidyTables);
  }
  settings.codcol.clear();
  settings.codcol.shrink_to_fit();

  // A person's answers at a terminal are kept, so that the run can be repeated.
  if (run.answers.interactive()) {
    OpenAlongside(run, other.answers);
    if (const std::string options = OptionsLine(run.options); !options.empty()) {
      other.answers.WriteLine(options);
    }
    for (const std::string& line : run.answers.kept()) other.answers.WriteLine(line);
    finished.push_back({&other.answers, true});
  }
  for (const FinishedFile& f : finished) f.file->Finish();
  // The run's last line comes before its files are put in place: a console that cannot take
  // it stops the run with the folder as it was.
  run.console.Line(kFinishedStop);
  run.console.Flush();
  if (run.console.lost()) throw FatalStop({});
  run.final_line_written = true;
  // The other files are always replaced; HAPLOVEX.OUT only as the overwrite question allowed.
  // An earlier run's report and tables that this run does not write go in the same step: the
  // folder never holds two runs' files side by side.
  std::vector<std::string> earlier;
  if (!run.options.report) earlier.push_back(kReportName);
  if (!run.options.csv) {
    earlier.push_back(kReleasesName);
    earlier.push_back(kTransitionsName);
  }
  if (!run.options.gof) earlier.push_back(kFitName);
  if (!run.options.gof || !run.options.csv) earlier.push_back(kFitTableName);
  PutInPlace(run.folder, finished, run.err, earlier);
  return run.answers.interactive();
}

// Writes the lines of a stop; a console lost meanwhile takes no more.
void WriteStop(Console& console, const std::vector<std::string>& lines) {
  try {
    for (const std::string& line : lines) console.Line(line);
    console.Flush();
  } catch (const FatalStop&) {
  }
}

}  // namespace

size_t TitleLength(const std::string& title) {
  size_t tlen = 1;
  for (size_t p = 0; p < title.size(); ++p) {
    if (static_cast<unsigned char>(title[p]) >= static_cast<unsigned char>('0')) tlen = p + 1;
  }
  return tlen;
}

int RunHaplovex(std::istream& in, std::ostream& out, std::ostream& standard_error,
                const std::filesystem::path& workdir, const RunOptions& options) {
  // Messages name what the folder, the records and the answers hold: every line passes the
  // one filter of what a person is shown.
  HarmlessStream err(standard_error);
  Console console(out, options.console_is_terminal);
  AnswerReader answers(in, console, options.answers_from_terminal);
  bool finished = false;
  bool final_line_written = false;
  bool answers_saved = false;
  std::string typed_note;  // where the answers typed are kept, when the run stopped
  std::vector<std::string> stop_lines;
  try {
    WorkFolder folder(workdir, &err, {kRunFileNames.begin(), kRunFileNames.end()});
    // Declared after the folder, so that their partial files are removed while it is open.
    OutputFile output(kOutputName);
    OutputFile summary(kSummaryName);
    OtherFiles other;
    InputFile input;
    // Answers read from a file or a pipe may begin with the options their run needs.
    RunOptions run_options = options;
    if (!answers.interactive()) {
      if (const std::optional<std::string> first = answers.Peek(); first && IsOptionsLine(*first)) {
        std::string problem;
        if (!ReadOptionsLine(*first, run_options, problem)) {
          throw FatalStop::Message("The options line of the answers (" + *first + "): " + problem);
        }
        answers.DropPeeked();
      }
    }
    // At a terminal the answers are kept in a file of their own as they are typed, so that a
    // run that stops does not lose them.
    TypedAnswers typed(folder.fd(), OptionsLine(run_options), err);
    if (answers.interactive()) {
      answers.OnKept([&typed](const std::vector<std::string>& kept) { typed.Save(kept); });
    }
    RunContext run{answers, console, err, run_options, folder};
    try {
      answers_saved = Run(run, output, summary, other, input);
    } catch (...) {
      final_line_written = run.final_line_written;
      typed_note = typed.name().empty() ? std::string() : typed.HowToFinish();
      answers.OnKept(nullptr);
      throw;
    }
    answers.OnKept(nullptr);
    typed.Remove();
    finished = true;
  } catch (const FatalStop& stop) {
    stop_lines = stop.lines();
    if (!stop.stop().empty()) stop_lines.push_back(stop.stop());
  } catch (const AnswerRefused& refused) {
    // (Every question a person may answer again catches its refusals; this is the net.)
    stop_lines = {" *** " + refused.message, kErrorStop};
  } catch (const std::bad_alloc&) {
    stop_lines = {" *** Not enough memory to finish the run", kErrorStop};
  } catch (const std::exception& failure) {
    stop_lines = {std::string(" *** The run failed: ") + failure.what(), kErrorStop};
  }
  if (finished) {
    if (answers_saved) {
      err << "haplovex: the answers are saved in " << kAnswersName
          << "; to repeat this run: haplovex -y < " << kAnswersName << "\n";
    }
    return kExitFinished;
  }
  if (final_line_written) {
    // The console has said the run finished; its files could not be put in place after all.
    for (const std::string& line : stop_lines) {
      if (line.rfind(" *** ", 0) == 0) err << "haplovex: " << line.substr(5) << "\n";
    }
    err << "haplovex: the run's files could not be put in place: the files in the folder are as "
           "they were\n";
    if (!typed_note.empty()) err << "haplovex: " << typed_note << "\n";
    err.flush();
    return kExitError;
  }
  WriteStop(console, stop_lines);
  if (console.lost()) err << "haplovex: the console output could not be written\n";
  if (typed_note.empty()) {
    err << "haplovex: the run stopped before its end: no file was written, and the files in the "
           "folder are as they were\n";
  } else {
    err << "haplovex: the run stopped before its end: the files in the folder are as they were\n"
        << "haplovex: " << typed_note << "\n";
  }
  err.flush();
  return kExitError;
}

}  // namespace haplovex
