#include "runctl/dialogue.h"

#include <cstdint>
#include <string>

#include <sys/stat.h>

#include <cerrno>

#include "common/fatal.h"
#include "common/format.h"
#include "common/table.h"
#include "runctl/run_files.h"

namespace haplovex {

namespace {

constexpr int kPreviewRecords = 5;
constexpr size_t kPreviewWidth = 70;
// The frequency format "(Iw)" holds its width in two characters.
constexpr int64_t kMaxFrequencyWidth = 99;

[[noreturn]] void Refuse(const std::string& message) { throw FatalStop::Message(message); }

// Refuses a column outside the record; `what` names the column in the message.
void CheckColumn(int64_t column, const std::string& what) {
  if (column < 1 || column > kLineWidth) {
    Refuse(what + " must lie in columns 1 to " + std::to_string(kLineWidth) +
           " of the record, got " + std::to_string(column));
  }
}

// Refuses code texts whose first `count` characters are not all codes: a blank there would
// make every blank column of the records a code. `code` and `each` name a code and what it
// stands for ("stratum code", "stratum").
void CheckCodes(const std::string& codes, int32_t count, const std::string& code,
                const std::string& each) {
  if (codes.find(' ') >= static_cast<size_t>(count)) return;
  const std::string typed = codes.substr(0, codes.find_last_not_of(' ') + 1);
  Refuse("Expected " + std::to_string(count) + " " + code + (count == 1 ? "" : "s") +
         " (one for each " + each + ") with no blank among them, got \"" + typed + "\"");
}

// Refuses a count of strata, age classes or groups beyond what the code texts can name.
void CheckCodeCount(int64_t count, const std::string& what) {
  if (count < 1 || count > kMaxCodes) {
    Refuse("The number of " + what + " must be 1 to " + std::to_string(kMaxCodes) + ", got " +
           std::to_string(count));
  }
}

std::string Blanks(size_t n) { return std::string(n, ' '); }

void AskInputFile(AnswerReader& answers, Console& console, const WorkFolder& folder,
                  InputFile& input) {
  console.Plain("Enter the name of the file containing the capture-history records");
  console.Plain("FILE:");
  const std::string typed = answers.Text("FILE");
  // The name is taken whole or not at all: a name cut at its field, or at a zero byte, could
  // be the name of another file.
  if (typed.find('\0') != std::string::npos) Refuse("The file name holds a zero byte");
  const std::string trimmed = typed.substr(0, typed.find_last_not_of(' ') + 1);
  if (trimmed.size() > kFileNameWidth) {
    Refuse("The file name may be at most " + std::to_string(kFileNameWidth) +
           " characters long, got " + std::to_string(trimmed.size()));
  }
  const std::string name = Padded(typed, kFileNameWidth);
  const int opened = trimmed.empty() ? ENOENT : input.Open(trimmed, trimmed, folder.fd());
  if (opened == InputFile::kNotRegular) {
    Refuse("The input file " + trimmed +
           " is not a regular file (a device, a pipe or a socket); save the records in a file");
  }
  if (opened != 0) throw FatalStop({" *** Can't read the input file, " + name});
  // The run replaces both of its own files; reading one of them as the input would convert
  // the records into the file that holds them.
  for (const char* own : {kOutputName, kSummaryName}) {
    struct stat st;
    if (folder.LookThrough(own, st) == 0 && input.IsFile(st)) {
      Refuse("The input file " + trimmed + " is the run's own " + own +
             "; copy the records to another name");
    }
  }

  console.Plain(" ");
  console.Plain(Blanks(14) + "FILE:" + name);
  console.Plain("         1         2         3         4         5         6         7");
  console.Plain("....5....0....5....0....5....0....5....0....5....0....5....0....5....0");
  std::string record;
  for (int k = 0; k < kPreviewRecords && input.ReadRecord(record, kLineWidth); ++k) {
    console.Plain(std::string_view(record).substr(0, kPreviewWidth));
  }
  console.Plain(std::string(kPreviewWidth, '.'));
  input.Rewind();
}

void AskCounts(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain(
      "Enter the number of strata, time-periods(YEARS), age-classes(1 or 2) and groups:");
  console.Plain("STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS(eg 3,7,1,1):");
  const std::vector<int32_t> counts =
      answers.Numbers(4, "STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS");
  int64_t nstrata = counts[0];
  if (nstrata < 0) {
    nstrata = -nstrata;
    s.listdata = true;
  }
  CheckCodeCount(nstrata, "strata");
  s.nstrata = static_cast<int32_t>(nstrata);
  s.nyrs = counts[1];
  s.nage = counts[2];
  s.ngroups = counts[3];
  if (s.nyrs < kMinPeriods) {
    Refuse("The number of time periods must be at least " + std::to_string(kMinPeriods) +
           ", got " + std::to_string(s.nyrs));
  }
  // Each period has a column of its own in the record.
  if (s.nyrs > kLineWidth) {
    Refuse("The number of time periods may be at most " + std::to_string(kLineWidth) +
           ", one column each in a record, got " + std::to_string(s.nyrs));
  }
  CheckCodeCount(s.nage, "age classes");
  CheckCodeCount(s.ngroups, "groups");
  s.codcol = AllocateTable<int32_t>({s.nyrs}, "codcol");
}

void AskStratumCodes(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain("Enter the codes representing each strata");
  console.Plain(" (If upper case in input file, type upper case here.)");
  console.Plain("STRATA CODES(no quotes or spaces- eg 123):");
  s.scodes = answers.Line(kCodesWidth, "STRATA CODES");
  CheckCodes(s.scodes, s.nstrata, "stratum code", "stratum");
}

// Stores the column of period i + 1, refusing one outside the record.
void SetStratumColumn(ConversionSettings& s, size_t i, int64_t column) {
  if (column < 1 || column > kLineWidth) {
    CheckColumn(column, "The stratum code of period " + std::to_string(i + 1));
  }
  s.codcol[i] = static_cast<int32_t>(column);
}

void AskStratumColumns(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain("If strata codes are in consecutive columns, enter the");
  console.Plain(" column number of the first strata code,");
  console.Plain("Or enter 0 if they are not sequential");
  console.Plain("FIRST COLUMN OF STRATA CODES:");
  const int32_t first = answers.Number("FIRST COLUMN OF STRATA CODES");
  const size_t periods = s.codcol.size();
  if (first != 0) {
    // Echoed in full before any column is refused.
    // The columns are computed as they are shown, so the echo needs no table of its own.
    if (s.listdata) {
      console.ColumnRows(static_cast<int64_t>(periods), [first](int64_t i) { return first + i - 1; });
    }
    for (size_t i = 0; i < periods; ++i) {
      SetStratumColumn(s, i, int64_t{first} + static_cast<int64_t>(i));
    }
  } else {
    console.Plain("Enter column number containing strata codes for each time period");
    console.Plain(" seperated by commas - (eg. 1,2,3,4,5,6,7):");
    const std::vector<int32_t> typed = answers.Numbers(periods, "the stratum-code columns");
    for (size_t i = 0; i < periods; ++i) SetStratumColumn(s, i, typed[i]);
  }
}

void AskFate(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain("Enter column number containing fate on last capture, or");
  console.Plain("      0 if all captured animals were always released.");
  console.Plain("Note: Any non-blank character in this column is");
  console.Plain("      interpreted as indicating that the animal was");
  console.Plain("      not released.");
  console.Plain("FATE COLUMN:");
  s.fatecol = answers.Number("FATE COLUMN");
  if (s.fatecol > kLineWidth) CheckColumn(s.fatecol, "The fate column");
  s.agecol = 0;
}

void AskAge(AnswerReader& answers, Console& console, ConversionSettings& s) {
  if (s.nage <= 1) return;
  console.Plain("Enter column number containing age-code");
  console.Plain("AGE-CODE COLUMN:");
  const int32_t typed = answers.Number("AGE-CODE COLUMN");
  const int64_t column = typed < 0 ? -int64_t{typed} : int64_t{typed};
  CheckColumn(column, "The age-code column");
  s.agecol = static_cast<int32_t>(column);
  console.Plain("Enter age-codes for starting with youngest");
  console.Plain("  (eg. YSA for young, subadult, adult)");
  console.Plain("AGE-CODES:");
  s.acodes = answers.Line(kCodesWidth, "AGE-CODES");
  CheckCodes(s.acodes, s.nage, "age code", "age class");
  if (typed < 0) {
    console.Plain("Enter age-increments as a string of 1s and 0s");
    console.Plain("  (ie. 0-dont inc age, 1-inc age) for each time-interval");
    console.Plain("AGE-INCREMENTS:");
    s.ageinc = answers.Line(kAgeIncWidth, "AGE-INCREMENTS");
  }
}

void AskGroups(AnswerReader& answers, Console& console, ConversionSettings& s) {
  s.grpcol = 0;
  if (s.ngroups <= 1) return;
  console.Plain("Enter the column number containing the GROUP code,");
  console.Plain("GROUP COLUMN:");
  s.grpcol = answers.Number("GROUP COLUMN");
  if (s.grpcol > kLineWidth) CheckColumn(s.grpcol, "The group column");
  console.Plain("Enter groupe-codes");
  console.Plain("  (eg. MF for male, female)");
  console.Plain("GROUP-CODES:");
  s.gcodes = answers.Line(kCodesWidth, "GROUP-CODES");
  console.Plain("GCODES=" + s.gcodes + "<");
  // The group codes name the groups in the labels even when no group column is read.
  CheckCodes(s.gcodes, s.ngroups, "group code", "group");
}

void AskFrequency(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain("Enter starting column of cap-history frequency, or");
  console.Plain("      0 if capture-histories are not summarized.");
  console.Plain("STARTING COLUMN:");
  s.frqcol1 = answers.Number("STARTING COLUMN");
  if (s.frqcol1 <= 0) return;
  console.Plain("Enter ending column of cap-history frequency.");
  console.Plain("ENDING COLUMN:");
  s.frqcol2 = answers.Number("ENDING COLUMN");
  const int64_t width = int64_t{s.frqcol2} - s.frqcol1 + 1;
  s.obsfmt = "(I";
  AppendInt(s.obsfmt, width, 2);
  s.obsfmt += ")";
  s.obsfmt = Padded(s.obsfmt, kCodesWidth);
  console.Plain("OBSFMT=" + s.obsfmt);
  if (s.frqcol2 < s.frqcol1) {
    Refuse("The frequency field ends in column " + std::to_string(s.frqcol2) +
           ", before its first column " + std::to_string(s.frqcol1));
  }
  CheckColumn(s.frqcol2, "The frequency field");
  if (width > kMaxFrequencyWidth) {
    Refuse("The frequency field may be at most " + std::to_string(kMaxFrequencyWidth) +
           " columns wide, got " + std::to_string(width));
  }
}

void AskModelSet(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain("Enter 1 for the \"MEMORY-MOVEMENT model set");
  console.Plain("      2 for the \"MOVEMENT-ONLY model set");
  console.Plain("      3 for the \"MEMORY-MOVEMENT model setw/ S-M parameterization");
  console.Plain("      4 for the \"MOVEMENT-ONLY model setw/ S-M parameterization");
  for (;;) {
    console.Plain("MODEL SETS (1,2,3, or 4):");
    const int32_t typed = answers.Number("MODEL SETS");
    if (typed >= 1 && typed <= 4) {
      s.modset = static_cast<ModelSet>(typed);
      break;
    }
    console.Plain(" ");
    console.Plain(" ** Enter a number between 1 and 4 **");
    console.Plain(" ");
  }
  if (IsMemoryModel(s.modset) && (s.nyrs < kMinMemoryPeriods || s.nyrs > kMaxMemoryPeriods)) {
    Refuse("The memory-movement model sets need " + std::to_string(kMinMemoryPeriods) + " to " +
           std::to_string(kMaxMemoryPeriods) + " time periods, got " + std::to_string(s.nyrs));
  }
}

void AskSmChoice(AnswerReader& answers, Console& console, ConversionSettings& s) {
  if (!HasSmParameterization(s.modset)) return;
  console.Line(" For the S-M parameterization, one of the " + IntField(s.nstrata, 1));
  console.Line(" movement parameters must be replaced by the survival");
  console.Line(" parameter.  Choose 0 to replace the diagonal parameter");
  console.Line(" (probability of returning to a strata), or one of");
  console.Line(" the " + IntField(s.nstrata, 1) + " strata.");
  const std::string question =
      " STRATA (0 or 1-" + IntField(s.nstrata, s.nstrata <= 9 ? 1 : 2) + ")?";
  for (;;) {
    console.Line(question);
    s.smstrat = answers.Number("STRATA (0 or 1-" + std::to_string(s.nstrata) + ")?");
    if (s.smstrat >= 0 && int64_t{s.smstrat} <= int64_t{s.nstrata} + 1) break;
    console.Plain(" ** Enter a number between 0 and " + IntField(s.nstrata, 12));
  }
}

void AskTitle(AnswerReader& answers, Console& console, ConversionSettings& s) {
  console.Plain("Enter a title to appear on the TORVELAN output");
  console.Plain("TITLE(no quotes):");
  s.title = answers.Line(kTitleWidth, "TITLE");
}

}  // namespace

void RunDialogue(AnswerReader& answers, Console& console, const WorkFolder& folder,
                 ConversionSettings& settings, InputFile& input) {
  AskInputFile(answers, console, folder, input);
  AskCounts(answers, console, settings);
  AskStratumCodes(answers, console, settings);
  AskStratumColumns(answers, console, settings);
  AskFate(answers, console, settings);
  AskAge(answers, console, settings);
  AskGroups(answers, console, settings);
  AskFrequency(answers, console, settings);
  AskModelSet(answers, console, settings);
  AskSmChoice(answers, console, settings);
  AskTitle(answers, console, settings);
}

}  // namespace haplovex
