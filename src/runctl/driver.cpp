#include "runctl/driver.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/fatal.h"
#include "common/format.h"
#include "common/text_file.h"
#include "common/work_folder.h"
#include "frame/frame_reader.h"
#include "gof/fit_files.h"
#include "memory/convert_memory_movement.h"
#include "memory/tidy_tables.h"
#include "movement/convert_movement_only.h"
#include "runctl/answer_checks.h"
#include "runctl/answers.h"
#include "runctl/data_look.h"
#include "runctl/dialogue.h"
#include "runctl/options.h"
#include "runctl/report.h"
#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "runctl/typed_answers.h"
#include "runctl/warnings.h"
#include "tabulate/conversion.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/tables_digest.h"
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
int Replaceable(const WorkFolder& folder, const std::string& name) {
  platform::FileFacts facts;
  if (folder.Look(name, facts) == ENOENT) return 0;
  if (folder.LookThrough(name, facts) == 0 && facts.kind == platform::FileFacts::Kind::kFolder) return EISDIR;
  const int writable = folder.Writable(name);
  return writable == ENOENT ? 0 : writable;
}

// The run's files, one for each entry of kRunFiles.
class RunFiles {
 public:
  RunFiles() {
    for (const RunFileSpec& spec : kRunFiles) files_.emplace_back(std::string(spec.name));
  }
  OutputFile& operator[](RunFile file) { return files_[static_cast<size_t>(file)]; }

 private:
  std::deque<OutputFile> files_;
};

// What a run works with.
struct RunContext {
  AnswerReader& answers;
  Console& console;
  std::ostream& err;
  // Standard error unfiltered: only for the fits' progress line, which holds no byte of data
  // and rewrites itself in place with carriage returns (which the filter would show as "?").
  std::ostream& progress_err;
  const RunOptions& options;
  WorkFolder& folder;
  RunFiles& files;
  InputFile& input;
  // The run's last line ("=== HAPLOVEX FINISHED OK ===") is on the console.
  bool final_line_written = false;
  // Every answer of the dialogue was given.
  bool answered = false;
};

// The stop of a run that cannot open `file`, with the system's error number.
FatalStop CantOpen(RunFile file, int ios) {
  const RunFileSpec& spec = Spec(file);
  return FatalStop({" *** Can't open " + std::string(spec.called) + ", " + std::string(spec.name),
                    ErrorNumberLine(ios)});
}

// Opens the partial file of one of the run's files, which the run may replace.
void OpenAlongside(RunContext& run, RunFile file) {
  OutputFile& out = run.files[file];
  int ios = Replaceable(run.folder, out.name());
  if (ios == 0) ios = out.OpenPartial(run.folder);
  if (ios != 0) throw CantOpen(file, ios);
}

// Asks whether HAPLOVEX.OUT is replaced (answered yes by --yes where `asked` is false); an
// answer not beginning with y stops the run, saying `refused` on standard error.
void AskOverwrite(RunContext& run, bool asked, const std::string& refused) {
  run.console.Plain(" ");
  run.console.Plain("*** Output file (" + std::string(NameOf(RunFile::kOutput)) + ") exists!, overwrite(Y/N)");
  const char answer = asked ? run.answers.FirstCharacter("the overwrite question") : 'y';
  if (answer != 'Y' && answer != 'y') {
    run.err << "haplovex: " << refused << "\n";
    throw FatalStop({});
  }
}

// Starts HAPLOVEX.OUT as a partial file. When a file of that name exists it is replaced at the
// end only after a yes to the overwrite question (or --yes); returns whether it existed.
bool GuardOutput(RunContext& run) {
  const std::string& name = run.files[RunFile::kOutput].name();
  platform::FileFacts facts;
  const int look = run.folder.Look(name, facts);
  if (look == ENOENT) {
    if (const int error = run.files[RunFile::kOutput].OpenPartial(run.folder); error != 0) {
      throw FatalStop::Message("Can't create " + name + " in this folder: " + std::strerror(error));
    }
    return false;
  }
  if (look != 0) {
    throw FatalStop::Message("Can't look for " + name + " in this folder: " + std::strerror(look));
  }
  AskOverwrite(run, !run.options.yes,
               name + " exists and the answer to the overwrite question was not y: nothing was "
                      "replaced (answer y, or run with -y, to replace it)");
  OpenAlongside(run, RunFile::kOutput);
  return true;
}

// Before the conversion, with the folder held for it: a HAPLOVEX.OUT that appeared while the
// run waited for its answers is the overwrite question's business (asked at a terminal;
// elsewhere the run stops, unless --yes). Returns whether HAPLOVEX.OUT may be replaced.
bool GuardOutputAgain(RunContext& run, bool output_existed) {
  const std::string& name = run.files[RunFile::kOutput].name();
  platform::FileFacts facts;
  if (output_existed || run.folder.Look(name, facts) == ENOENT) return output_existed;
  if (!run.options.yes) {
    if (!run.answers.interactive()) {
      throw FatalStop::Message(name + " appeared in this folder while the run waited for its answers; "
                                      "it was left as it is and nothing was written (-y replaces it)");
    }
    AskOverwrite(run, true,
                 name + " appeared while the run waited for its answers, and the answer to the "
                        "overwrite question was not y: nothing was replaced");
  }
  if (const int ios = Replaceable(run.folder, name); ios != 0) throw CantOpen(RunFile::kOutput, ios);
  return true;
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
// is converted; --strict stops on those the rest of the file could not refute. How the first
// record of a file of summarised histories is split is said here too, for every run: a count
// out of place shows before the conversion. Returns the warnings.
std::vector<std::string> WarnOfAnswers(RunContext& run, ConversionSettings& settings) {
  // A data frame's first records are looked at laid out in the columns its fields were given.
  InputFile frame_look;
  if (settings.frame) {
    frame_look.OpenMemory(FrameLook(run.input, settings, run.options.threads, kLookRecords + 1), run.input.name());
  }
  const AnswersLooked looked = AnswerWarnings(settings.frame ? frame_look : run.input, settings);
  // A first line of names is no record, in every way of reading the records.
  settings.header_line = !looked.header.empty();
  std::vector<std::string> warnings;
  size_t stopping = 0;
  if (!run.answers.interactive()) {
    for (const AnswerWarning& warning : looked.warnings) {
      warnings.push_back(warning.said);
      stopping += warning.stops ? 1 : 0;
    }
  }
  if (warnings.empty() && looked.first_split.empty() && looked.header.empty()) return warnings;
  run.console.Flush();
  if (!looked.header.empty()) {
    run.err << "haplovex: " << NamesNote(looked.header) << "\n";
  }
  if (!looked.first_split.empty()) run.err << "haplovex: " << looked.first_split << "\n";
  for (const std::string& warning : warnings) {
    run.err << "haplovex: warning: " << warning << "\n";
  }
  run.err.flush();
  if (run.options.strict && stopping > 0) {
    throw FatalStop::Message("--strict: the data checks gave " +
                             Counted(static_cast<int64_t>(stopping), "warning") +
                             " (on standard error) before any record was converted");
  }
  return warnings;
}

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

// Refuses --gof, before any record is read, where the fits of Test M of every group would pass
// kMostFitWork (about 10 minutes of one core), naming the design and the periods (strata) that
// would fit with its strata (periods).
void CheckFitWork(const ConversionSettings& s) {
  const auto work = [&](int periods, int strata) {
    const uint64_t one = gof::FitWork(periods, strata);
    const auto groups = static_cast<uint64_t>(std::max(s.ngroups, 1));
    return one > gof::kMostFitWork / groups ? gof::kMostFitWork + 1 : one * groups;
  };
  if (work(s.nyrs, s.nstrata) <= gof::kMostFitWork) return;
  int periods = s.nyrs;
  while (periods > 0 && work(periods, s.nstrata) > gof::kMostFitWork) --periods;
  int strata = s.nstrata;
  while (strata > 0 && work(s.nyrs, strata) > gof::kMostFitWork) --strata;
  throw FatalStop::Message("--gof: the fits of Test M for " + std::to_string(s.nyrs) + " periods and " +
                           std::to_string(s.nstrata) + " strata (" + Counted(s.ngroups, "group") +
                           ") would take more than about 10 minutes of one core; " + std::to_string(periods) +
                           " periods with " + std::to_string(s.nstrata) + " strata, or " + std::to_string(strata) +
                           " " + Plural(strata, "stratum", "strata") + " with " + std::to_string(s.nyrs) +
                           " periods, would fit; run it without --gof, or with fewer periods or strata");
}

// The progress of the fits on standard error, at a terminal, once they have lasted 2 seconds:
// one line, rewritten in place at most 4 times a second, and cleared when they are done.
class FitProgressLine {
 public:
  explicit FitProgressLine(std::ostream& err) : err_(err), start_(std::chrono::steady_clock::now()) {}

  void operator()(size_t done, size_t all) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(2) || (shown_ && now - last_ < std::chrono::milliseconds(250))) return;
    last_ = now;
    const std::string line = "haplovex: goodness of fit: Test M's tables fitted: " + GroupedDigits(static_cast<int64_t>(done)) +
                             " of " + GroupedDigits(static_cast<int64_t>(all));
    width_ = std::max(width_, line.size());
    err_ << '\r' << line << std::flush;
    shown_ = true;
  }
  void Clear() {
    if (shown_) err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    shown_ = false;
  }

 private:
  std::ostream& err_;
  std::chrono::steady_clock::time_point start_, last_;
  size_t width_ = 0;
  bool shown_ = false;
};

// The goodness-of-fit tests of each group, from the tables counted as the records were read,
// written to their files. Returns the groups' tests, for the report.
std::vector<gof::GroupFit> WriteFit(RunContext& run, const ConversionSettings& s,
                                    const std::vector<gof::FitTables>& tables) {
  std::vector<const gof::FitTables*> counted;
  std::vector<std::string> labels;
  for (int32_t g = 1; g <= s.ngroups && static_cast<size_t>(g) <= tables.size(); ++g) {
    counted.push_back(&tables[static_cast<size_t>(g - 1)]);
    labels.push_back(CodeLabel(s.gcodes, g));
  }
  run.err.flush();
  const auto fitting = std::chrono::steady_clock::now();
  FitProgressLine progress(run.progress_err);
  const std::vector<gof::GroupFit> groups =
      gof::TestGroups(counted, labels, PartsFor(run.options.threads, std::numeric_limits<uint64_t>::max()), s.scodes,
                      run.options.errors_to_terminal ? gof::FitProgress(std::ref(progress)) : gof::FitProgress());
  progress.Clear();
  // For the benchmark, which tells the fits' time apart from the counting's in the reading.
  if (std::getenv("HAPLOVEX_FIT_SECONDS") != nullptr) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - fitting;
    run.err << "haplovex: goodness of fit: the tests took " << Decimals(took.count(), 3) << " s after the reading\n";
  }
  gof::WriteFitText({std::string(TrimmedRight(s.title)), s.nyrs, s.nstrata, s.nage > 1}, groups,
                    run.files[RunFile::kFit]);
  if (Written(Spec(RunFile::kFitTable), run.options)) gof::WriteFitCsv(groups, run.files[RunFile::kFitTable]);
  // What a person wants first, before opening the tests' file.
  for (const gof::GroupFit& g : groups) {
    run.err << "haplovex: goodness of fit, group " << g.group << ": " << gof::CHatLine(gof::HeadlineTest(g))
            << "; the tests are in " << NameOf(RunFile::kFit) << "\n";
  }
  if (groups.size() > 1) {
    run.err << "haplovex: goodness of fit, all groups together: " << gof::CHatLine(gof::AllGroups(groups)) << "\n";
  }
  return groups;
}

// What the report shows of a conversion's result: the records and animals read, the chart of
// captures (of every group and of each), what the converter's tables give (DigestOf), the
// number of parameters, the estimation runs and the run's date.
template <typename Counts>
RunDigest ReportDigest(const ConversionSettings& s, const ConversionResult<Counts>& result) {
  const ChartCounts::Result& chart = result.read.counted.template Of<ChartCounts>();
  return {.records = result.read.records,
          .animals = result.read.animals,
          .strata = s.nstrata,
          .periods = s.nyrs,
          .caught = chart.caught,
          .npar = result.npar,
          .runs = result.runs,
          .caught_by_group = chart.by_group,
          .tables = DigestOf(s, result.counts),
          .date = RunDate()};
}

// What the dialogue leaves for the conversion.
struct Answered {
  ConversionSettings settings;
  std::string title_typed;                   // the title as typed, before it was cut
  std::vector<std::string> answer_warnings;  // the answers the first records contradict
  bool output_replaced = false;              // HAPLOVEX.OUT may be replaced
};

// What a run builds from its conversion's result: the tidy tables (--csv), written by
// `write_tables(settings, counts, releases, transitions)`, the fit tests (--gof), the warnings,
// and the report (--report).
template <typename Counts, typename WriteTables>
void FromResult(RunContext& run, const Answered& a, const ConversionResult<Counts>& result,
                WriteTables write_tables) {
  const ConversionSettings& s = a.settings;
  if (run.options.csv) {
    write_tables(s, result.counts, run.files[RunFile::kReleases], run.files[RunFile::kTransitions]);
  }
  std::vector<gof::GroupFit> fit;
  if (run.options.gof) fit = WriteFit(run, s, result.read.counted.template Of<FitCounting>());
  std::vector<std::string> warnings =
      Warn(run, s, a.title_typed, result.read.checks, result.npar, result.npar_digits);
  if (run.options.report) {
    warnings.insert(warnings.begin(), a.answer_warnings.begin(), a.answer_warnings.end());
    run.files[RunFile::kReport].Write(ReportPage({s, run.input.name(), result.read.checks, ReportDigest(s, result),
                                                  warnings, std::move(fit), run.options.csv}));
  }
}

// The banner, the overwrite guard and the dialogue, up to the folder held for the conversion.
Answered Converse(RunContext& run) {
  Answered a;
  a.settings.inp = run.options.inp;
  a.settings.frame = run.options.frame;
  if (run.options.inp && run.options.frame) {
    throw FatalStop::Message("--inp and --frame name two layouts of the input file; give one of them");
  }
  for (std::string_view row : kBanner) run.console.Plain(row);
  const bool output_existed = GuardOutput(run);
  a.title_typed = RunDialogue(run.answers, run.console, run.err, run.folder, a.settings, run.input);
  run.answered = true;
  if (run.options.gof) {
    CheckFitSize(run.options, a.settings);
    CheckFitWork(a.settings);
  }
  a.answer_warnings = WarnOfAnswers(run, a.settings);
  // The folder is this run's from here to its end; it was free while the answers were awaited.
  run.folder.Hold();
  a.output_replaced = GuardOutputAgain(run, output_existed);
  return a;
}

// The title line, the run's other files opened, and the conversion of the model set chosen.
void Convert(RunContext& run, Answered& a) {
  OutputFile& out = run.files[RunFile::kOutput];
  out.WriteLine("PROC TITLE '" + a.settings.title.substr(0, TitleLength(a.settings.title)) + "';");
  for (const RunFileSpec& spec : kRunFiles) {
    if (spec.file != RunFile::kOutput && Written(spec, run.options)) OpenAlongside(run, spec.file);
  }
  const ConversionStreams streams{run.console, run.input, out, run.files[RunFile::kSummary]};
  ReadOptions read_options;
  read_options.threads = run.options.threads;
  read_options.kernels = run.options.kernels;
  read_options.gof = run.options.gof;
  read_options.report = run.options.report;
  // A data frame's records are read once, laid out a window at a time in the columns its fields
  // were given.
  std::unique_ptr<FrameWindows> frame;
  if (a.settings.frame) {
    frame = std::make_unique<FrameWindows>(run.input, HeaderOf(run.input), a.settings, run.options.threads);
    read_options.windows = frame.get();
  }
  if (IsMemoryModel(a.settings.modset)) {
    FromResult(run, a, convert_memory_movement(a.settings, streams, read_options), WriteMemoryTidyTables);
  } else {
    FromResult(run, a, convert_movement_only(a.settings, streams, read_options), WriteMovementTidyTables);
  }
  a.settings.codcol.clear();
  a.settings.codcol.shrink_to_fit();
}

// Saves a person's answers, so that the run can be repeated, writes the run's last line and
// puts its files in place together, with the earlier run's files it does not write removed.
void Finish(RunContext& run, bool output_replaced) {
  if (Written(Spec(RunFile::kAnswers), run.options)) {
    OutputFile& answers = run.files[RunFile::kAnswers];
    if (const std::string options = OptionsLine(run.options); !options.empty()) answers.WriteLine(options);
    for (const std::string& line : run.answers.kept()) answers.WriteLine(line);
  }
  // HAPLOVEX.OUT is replaced only as the overwrite question allowed, the other files always.
  std::vector<FinishedFile> finished;
  std::vector<std::string> earlier;
  for (const RunFileSpec& spec : kRunFiles) {
    if (Written(spec, run.options)) {
      finished.push_back({&run.files[spec.file], spec.file != RunFile::kOutput || output_replaced});
    } else if (!spec.earlier_stays) {
      earlier.emplace_back(spec.name);
    }
  }
  for (const FinishedFile& f : finished) f.file->Finish();
  // The run's last line comes before its files are put in place: a console that cannot take
  // it stops the run with the folder as it was.
  run.console.Line(kFinishedStop);
  run.console.Flush();
  if (run.console.lost()) throw FatalStop({});
  run.final_line_written = true;
  PutInPlace(run.folder, finished, run.err, earlier);
}

// The whole run: the dialogue, the conversion and the files put in place.
void Run(RunContext& run) {
  Answered a = Converse(run);
  Convert(run, a);
  Finish(run, a.output_replaced);
}

// The options of the run: those given, with those of the first line of answers read from a
// file or a pipe, which may carry the options its run needs.
RunOptions WithAnswersOptions(AnswerReader& answers, const RunOptions& options) {
  RunOptions run_options = options;
  if (answers.interactive()) return run_options;
  if (const std::optional<std::string> first = answers.Peek(); first && IsOptionsLine(*first)) {
    std::string problem;
    if (!ReadOptionsLine(*first, run_options, problem)) {
      throw FatalStop::Message("The options line of the answers (" + *first + "): " + problem);
    }
    answers.DropPeeked();
  }
  return run_options;
}

// How a run stopped: the console lines of the stop, whether the console had already said the
// run finished, and where the answers typed are kept.
struct Stop {
  std::vector<std::string> lines;
  bool final_line_written = false;
  std::string typed_note;
};

// Writes the lines of a stop; a console lost meanwhile takes no more.
void WriteStop(Console& console, const std::vector<std::string>& lines) {
  try {
    for (const std::string& line : lines) console.Line(line);
    console.Flush();
  } catch (const FatalStop&) {
  }
}

// Says how the run stopped, on the console and standard error. Returns the exit status.
int Stopped(Console& console, std::ostream& err, const Stop& stop) {
  if (stop.final_line_written) {
    // The console has said the run finished; its files could not be put in place after all.
    for (const std::string& line : stop.lines) {
      if (line.rfind(" *** ", 0) == 0) err << "haplovex: " << line.substr(5) << "\n";
    }
    err << "haplovex: the run's files could not be put in place: the files in the folder are as "
           "they were\n";
    if (!stop.typed_note.empty()) err << "haplovex: " << stop.typed_note << "\n";
    err.flush();
    return kExitError;
  }
  WriteStop(console, stop.lines);
  if (console.lost()) err << "haplovex: the console output could not be written\n";
  if (stop.typed_note.empty()) {
    err << "haplovex: the run stopped before its end: no file was written, and the files in the "
           "folder are as they were\n";
  } else {
    err << "haplovex: the run stopped before its end: the files in the folder are as they were\n"
        << "haplovex: " << stop.typed_note << "\n";
  }
  err.flush();
  return kExitError;
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
  Stop stop;
  try {
    WorkFolder folder(workdir, &err, RunFileNames());
    // Declared after the folder, so that their partial files are removed while it is open.
    RunFiles files;
    InputFile input;
    const RunOptions run_options = WithAnswersOptions(answers, options);
    // At a terminal the answers are kept in a file of their own as they are typed, so that a
    // run that stops does not lose them.
    TypedAnswers typed(folder.system(), OptionsLine(run_options), err);
    if (answers.interactive()) {
      answers.OnKept([&typed](const std::vector<std::string>& kept) { typed.Save(kept); });
    }
    RunContext run{answers, console, err, standard_error, run_options, folder, files, input};
    // Where the answers typed are kept, and which of them to change when every one was given.
    auto note = [&](const std::string& question) {
      stop.final_line_written = run.final_line_written;
      stop.typed_note =
          typed.name().empty() ? std::string() : typed.HowToFinish(run.answered, question);
      answers.OnKept(nullptr);
    };
    try {
      Run(run);
    } catch (const FatalStop& fatal) {
      note(fatal.question());
      throw;
    } catch (...) {
      note("");
      throw;
    }
    answers.OnKept(nullptr);
    typed.Remove();
    if (Written(Spec(RunFile::kAnswers), run_options)) {
      const std::string_view saved = NameOf(RunFile::kAnswers);
      err << "haplovex: the answers are saved in " << saved << "; to repeat this run: haplovex -y < " << saved
          << "\n";
    }
    return kExitFinished;
  } catch (const FatalStop& fatal) {
    stop.lines = fatal.lines();
    if (!fatal.stop().empty()) stop.lines.push_back(fatal.stop());
  } catch (const AnswerRefused& refused) {
    // (Every question a person may answer again catches its refusals; this is the net.)
    stop.lines = {" *** " + refused.message, kErrorStop};
  } catch (const std::bad_alloc&) {
    stop.lines = {" *** Not enough memory to finish the run", kErrorStop};
  } catch (const std::exception& failure) {
    stop.lines = {std::string(" *** The run failed: ") + failure.what(), kErrorStop};
  }
  return Stopped(console, err, stop);
}

}  // namespace haplovex
