#include "runctl/driver.h"

#include <array>
#include <new>
#include <string_view>

#include "common/console.h"
#include "common/fatal.h"
#include "common/format.h"
#include "common/text_file.h"
#include "memory/convert_memory_movement.h"
#include "movement/convert_movement_only.h"
#include "runctl/answers.h"
#include "runctl/dialogue.h"
#include "runctl/run_files.h"
#include "runctl/settings.h"

namespace haplovex {

namespace {

constexpr const char* kOutputName = "HAPLOVEX.OUT";
constexpr const char* kSummaryName = "HAPLOVEX.SUM";

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

// Creates HAPLOVEX.OUT new, or replaces it only after a yes to the overwrite question.
void GuardOutput(AnswerReader& answers, Console& console, const std::filesystem::path& path,
                 OutputFile& out) {
  if (out.OpenNew(path) == 0) return;
  console.Plain(" ");
  console.Plain("*** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)");
  const char answer = answers.FirstCharacter("the overwrite question");
  if (answer != 'Y' && answer != 'y') throw FatalStop({});
  if (const int ios = out.OpenReplace(path); ios != 0) {
    throw FatalStop({" *** Can't open the output file, HAPLOVEX.OUT", ErrorNumberLine(ios)});
  }
}

void Run(AnswerReader& answers, Console& console, const std::filesystem::path& workdir,
         OutputFile& out, OutputFile& sum, InputFile& input) {
  ConversionSettings settings;
  for (std::string_view row : kBanner) console.Plain(row);
  GuardOutput(answers, console, workdir / kOutputName, out);
  RunDialogue(answers, console, workdir, settings, input);

  out.WriteLine("PROC TITLE '" + settings.title.substr(0, TitleLength(settings.title)) + "';");
  if (const int ios = sum.OpenReplace(workdir / kSummaryName); ios != 0) {
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
  out.Close();
  sum.Close();
}

}  // namespace

size_t TitleLength(const std::string& title) {
  size_t tlen = 1;
  for (size_t p = 0; p < title.size(); ++p) {
    if (static_cast<unsigned char>(title[p]) >= static_cast<unsigned char>('0')) tlen = p + 1;
  }
  return tlen;
}

int RunHaplovex(std::istream& in, std::ostream& out, const std::filesystem::path& workdir) {
  Console console(out);
  AnswerReader answers(in, console);
  OutputFile output(kOutputName);
  OutputFile summary(kSummaryName);
  InputFile input;
  int status = kExitFinished;
  try {
    Run(answers, console, workdir, output, summary, input);
    console.Line(kFinishedStop);
  } catch (const FatalStop& stop) {
    for (const std::string& line : stop.lines()) console.Line(line);
    if (!stop.stop().empty()) console.Line(stop.stop());
    status = kExitError;
  } catch (const std::bad_alloc&) {
    console.Line(" *** Not enough memory to finish the run");
    console.Line(kErrorStop);
    status = kExitError;
  }
  console.Flush();
  return status;
}

}  // namespace haplovex
