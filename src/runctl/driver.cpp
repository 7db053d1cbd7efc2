#include "runctl/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/fatal.h"
#include "common/format.h"
#include "common/text_file.h"
#include "common/work_folder.h"
#include "memory/convert_memory_movement.h"
#include "movement/convert_movement_only.h"
#include "runctl/answers.h"
#include "runctl/dialogue.h"
#include "runctl/run_files.h"
#include "runctl/settings.h"

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

// Starts HAPLOVEX.OUT as a partial file. When a file of that name exists it is replaced at the
// end only after a yes to the overwrite question; returns whether it existed.
bool GuardOutput(AnswerReader& answers, Console& console, const WorkFolder& folder,
                 OutputFile& out) {
  struct stat st;
  const int look = folder.Look(kOutputName, st);
  if (look == ENOENT) {
    if (const int error = out.OpenPartial(folder); error != 0) {
      throw FatalStop::Message(std::string("Can't create ") + kOutputName +
                               " in this folder: " + std::strerror(error));
    }
    return false;
  }
  if (look != 0) {
    throw FatalStop::Message(std::string("Can't look for ") + kOutputName + " in this folder: " +
                             std::strerror(look));
  }
  console.Plain(" ");
  console.Plain("*** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)");
  const char answer = answers.FirstCharacter("the overwrite question");
  if (answer != 'Y' && answer != 'y') throw FatalStop({});
  int ios = Replaceable(folder, kOutputName);
  if (ios == 0) ios = out.OpenPartial(folder);
  if (ios != 0) {
    throw FatalStop({" *** Can't open the output file, HAPLOVEX.OUT", ErrorNumberLine(ios)});
  }
  return true;
}

void Run(AnswerReader& answers, Console& console, WorkFolder& folder, OutputFile& out,
         OutputFile& sum, InputFile& input) {
  ConversionSettings settings;
  for (std::string_view row : kBanner) console.Plain(row);
  const bool output_existed = GuardOutput(answers, console, folder, out);
  RunDialogue(answers, console, folder, settings, input);

  out.WriteLine("PROC TITLE '" + settings.title.substr(0, TitleLength(settings.title)) + "';");
  int ios = Replaceable(folder, kSummaryName);
  if (ios == 0) ios = sum.OpenPartial(folder);
  if (ios != 0) {
    throw FatalStop({" *** Can't open summary file, HAPLOVEX.SUM", ErrorNumberLine(ios)});
  }

  RunFiles files{console, input, out, sum};
  if (IsMemoryModel(settings.modset)) {
    convert_memory_movement(settings, files);
  } else {
    convert_movement_only(settings, files);
  }
  settings.codcol.clear();
  settings.codcol.shrink_to_fit();
  out.Finish();
  sum.Finish();
  // A console lost by now stops the run before anything is put in place.
  console.Flush();
  // The summary is always replaced; HAPLOVEX.OUT only as the overwrite question allowed.
  PutInPlace(folder, {{&out, output_existed}, {&sum, true}});
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

int RunHaplovex(std::istream& in, std::ostream& out, std::ostream& err,
                const std::filesystem::path& workdir, const RunOptions& options) {
  Console console(out, options.console_is_terminal);
  AnswerReader answers(in, console);
  bool finished = false;
  std::vector<std::string> stop_lines;
  try {
    WorkFolder folder(workdir);
    // Declared after the folder, so that their partial files are removed while it is open.
    OutputFile output(kOutputName);
    OutputFile summary(kSummaryName);
    InputFile input;
    Run(answers, console, folder, output, summary, input);
    finished = true;
  } catch (const FatalStop& stop) {
    stop_lines = stop.lines();
    if (!stop.stop().empty()) stop_lines.push_back(stop.stop());
  } catch (const std::bad_alloc&) {
    stop_lines = {" *** Not enough memory to finish the run", kErrorStop};
  } catch (const std::exception& failure) {
    stop_lines = {std::string(" *** The run failed: ") + failure.what(), kErrorStop};
  }
  if (finished) {
    WriteStop(console, {kFinishedStop});
    if (!console.lost()) return kExitFinished;
    err << "haplovex: the console output could not be written; the run's files were written\n";
    return kExitError;
  }
  WriteStop(console, stop_lines);
  if (console.lost()) err << "haplovex: the console output could not be written\n";
  err << "haplovex: the run stopped before its end: no file was written, and the files in the "
         "folder are as they were\n";
  err.flush();
  return kExitError;
}

}  // namespace haplovex
