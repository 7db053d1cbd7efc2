#include "runctl/dialogue.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/fatal.h"
#include "common/format.h"
#include "common/table.h"
#include "runctl/answer_again.h"
#include "runctl/answer_checks.h"
#include "runctl/data_look.h"
#include "runctl/frame_dialogue.h"
#include "runctl/run_files.h"

namespace haplovex {

namespace {

constexpr int kPreviewRecords = 5;
constexpr size_t kPreviewWidth = 70;
// The frequency format "(Iw)" holds its width in two characters.
constexpr int64_t kMaxFrequencyWidth = 99;
// At most this many names are offered for a file name that was not found.
constexpr size_t kMaxSuggestions = 5;

std::string Blanks(size_t n) { return std::string(n, ' '); }

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Edits (a character added, removed, changed, or two next to each other swapped) that turn `a`
// into `b`, counted up to `limit` + 1.
size_t Edits(const std::string& a, const std::string& b, size_t limit) {
  if (a.size() > b.size() + limit || b.size() > a.size() + limit) return limit + 1;
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// Names of regular files in the folder that differ from `name` only in case, or by one or two
// characters: what the user may have meant.
std::vector<std::string> NamesLike(const WorkFolder& folder, const std::string& name) {
  std::vector<std::string> like;
  const std::string lower = Lower(name);
  for (const std::string& candidate : folder.Names()) {
    platform::FileFacts facts;
    if (candidate == name || candidate.starts_with(".") || folder.LookThrough(candidate, facts) != 0 ||
        facts.kind != platform::FileFacts::Kind::kRegular) {
      continue;
    }
    if (Lower(candidate) == lower || Edits(candidate, name, 2) <= 2) like.push_back(candidate);
  }
  std::sort(like.begin(), like.end());
  if (like.size() > kMaxSuggestions) like.resize(kMaxSuggestions);
  return like;
}

template <typename T>
bool Has(const std::vector<T>& answers, const T& answer) {
  return std::find(answers.begin(), answers.end(), answer) != answers.end();
}

class Dialogue {
 public:
  Dialogue(AnswerReader& answers, Console& console, std::ostream& err, const WorkFolder& folder,
           ConversionSettings& s, InputFile& input)
      : answers_(answers), console_(console), err_(err), folder_(folder), s_(s), input_(input) {}

  void AskInputFile();
  void AskCounts();
  void AskStratumCodes();
  void AskStratumColumns();
  void AskFate();
  void AskAge();
  void AskGroups();
  void AskFrequency();
  void SetSummarisedFields();
  // At a terminal: shows what the history holds in the first records, and asks again the
  // stratum codes or the history's columns when it cannot match them.
  void SettleHistory();
  // `look`: the first records, with the group column placed; none when there is no column.
  void AskGroupCodes(const DataLook* look = nullptr);
  void AskModelSet();
  void AskSmChoice();
  std::string AskTitle();

 private:
  // The question's last line, `prompt`, and its answer read and checked by `read`, asked again
  // at a terminal while it is refused.
  template <typename Read>
  void Answer(std::string_view prompt, Read read) {
    AnswerUntilTaken(answers_, console_, err_, prompt, read);
  }
  [[noreturn]] void Refuse(const std::string& message) { answers_.Refuse(message); }
  // The first records under a column ruler, as the file answered (`name`, padded) holds them.
  void PreviewRecords(const std::string& name);
  // Refuses a column outside the record; `what` names the column in the message.
  void CheckColumn(int64_t column, const std::string& what);
  // Refuses code texts whose first `count` characters are not all codes: a blank there would
  // make every blank column of the records a code. `code` and `each` name a code and what it
  // stands for ("stratum code", "stratum").
  void CheckCodes(const std::string& codes, int32_t count, const std::string& code,
                  const std::string& each);
  // Refuses a count of strata, age classes or groups beyond what the code texts can name.
  void CheckCodeCount(int64_t count, const std::string& what);
  // Stores the column of period i + 1, refusing one outside the record.
  void SetStratumColumn(size_t i, int64_t column);
  // Says `text` to the person at the terminal, on standard error; nothing for an empty text.
  void Tell(const std::string& text);
  // Asks the stratum codes again after the answers that follow them; the new answer takes
  // the place of the old among the answers kept.
  void AskStratumCodesAgain();
  void AskStratumColumnsAgain();
  // Summarised histories: asks the counts again after the stratum codes; the new answer takes
  // the place of the old, and the codes are asked again when the strata change.
  void AskCountsAgain();
  // Summarised histories, at the counts: refuses periods the histories deny, and at a terminal
  // groups they deny, unless the same counts were refused before (kept in `refused`).
  void CheckCountsInData(std::vector<std::string>& refused);
  // The answers the records denied once, and were asked again, as the history is settled.
  struct Refused {
    std::vector<std::string> codes;
    std::vector<std::vector<int32_t>> columns;
    bool counts = false;  // once: no other counts mend a blank period of summarised histories
  };
  // At a terminal, after the history is placed: asks again, once for each answer, a stratum
  // code left out or never used (the stratum codes, whose number then gives the strata) or a
  // period blank in every record (the first column; the counts, for summarised histories,
  // whose length fixes the periods). True when an answer was asked again. `fits`: the history
  // fits the codes; else only a code left out is asked (before the columns).
  bool MendStrata(const DataLook& look, bool fits, Refused& refused);
  // At a terminal, refuses `codes` for `column` when the first records (`look`) cannot match
  // them, unless they were refused once already (kept in `refused`): codes typed again are
  // taken, the data may be unusual on purpose. `name`: "age", "group".
  void CheckCodesInData(const std::string& codes, int32_t count, int32_t column,
                        const DataLook* look, const std::string& name,
                        std::vector<std::string>& refused);

  AnswerReader& answers_;
  Console& console_;
  std::ostream& err_;
  const WorkFolder& folder_;
  ConversionSettings& s_;
  InputFile& input_;
  // Where the stratum codes' lines and the history columns' lines start among the answers
  // kept.
  size_t codes_mark_ = 0;
  size_t columns_mark_ = 0;
  size_t counts_mark_ = 0;
  // The stratum codes asked again give the number of strata.
  bool strata_follow_codes_ = false;
};

void Dialogue::Tell(const std::string& text) {
  if (text.empty()) return;
  console_.Flush();
  err_ << "haplovex: " << Harmless(text) << "\n";
  err_.flush();
}

void Dialogue::CheckCodesInData(const std::string& codes, int32_t count, int32_t column,
                                const DataLook* look, const std::string& name,
                                std::vector<std::string>& refused) {
  if (!answers_.interactive() || Has(refused, codes)) return;
  const std::string said = JudgeCodes(look, codes, count, column, name);
  if (said.empty()) return;
  refused.push_back(codes);
  Refuse(said + " (the same codes again keep them)");
}

void Dialogue::CheckColumn(int64_t column, const std::string& what) {
  if (column < 1 || column > kLineWidth) {
    Refuse(what + " must lie in columns 1 to " + std::to_string(kLineWidth) +
           " of the record, got " + std::to_string(column));
  }
}

void Dialogue::CheckCodes(const std::string& codes, int32_t count, const std::string& code,
                          const std::string& each) {
  const std::string expected = "Expected " + Counted(count, code) + " (one for each " + each + ")";
  const std::string got = ", got \"" + std::string(TrimmedRight(codes)) + "\"";
  const auto used = static_cast<size_t>(count);
  if (codes.find(' ') < used) Refuse(expected + " with no blank among them" + got);
  // A code given twice would name two of them, and the later could never be read.
  for (size_t k = 1; k < used && k < codes.size(); ++k) {
    if (codes.find(codes[k]) < k) {
      Refuse(expected + " with no code twice among them" + got + ": \"" + std::string(1, codes[k]) +
             "\" would stand for " + each + " " + std::to_string(codes.find(codes[k]) + 1) +
             " and for " + each + " " + std::to_string(k + 1));
    }
  }
}

void Dialogue::CheckCodeCount(int64_t count, const std::string& what) {
  if (count < 1 || count > kMaxCodes) {
    Refuse("The number of " + what + " must be 1 to " + std::to_string(kMaxCodes) + ", got " +
           std::to_string(count));
  }
}

void Dialogue::AskInputFile() {
  console_.Plain("Enter the name of the file containing the capture-history records");
  std::string name;
  Answer("FILE:", [&] {
    const std::string typed = answers_.Text("FILE");
    // The name is taken whole or not at all: a name cut at its field, or at a zero byte,
    // could be the name of another file.
    if (typed.find('\0') != std::string::npos) Refuse("The file name holds a zero byte");
    const std::string trimmed(TrimmedRight(typed));
    if (trimmed.size() > kFileNameWidth) {
      Refuse("The file name may be at most " + std::to_string(kFileNameWidth) +
             " characters long, got " + std::to_string(trimmed.size()));
    }
    name = Padded(typed, kFileNameWidth);
    const int opened = trimmed.empty() ? ENOENT : input_.Open(trimmed, trimmed, &folder_);
    if (opened == InputFile::kNotRegular) {
      Refuse("The input file " + trimmed +
             " is not a regular file (a device, a pipe or a socket); save the records in a file");
    }
    if (opened != 0 && !answers_.interactive()) {
      throw FatalStop({" *** Can't read the input file, " + name});
    }
    if (opened != 0 && trimmed.empty()) Refuse("Type the name of the file that holds the records");
    if (opened != 0) {
      std::string message =
          "Can't read the input file " + trimmed + ": " + std::strerror(opened);
      const std::vector<std::string> like = NamesLike(folder_, trimmed);
      for (size_t k = 0; k < like.size(); ++k) {
        message += (k == 0 ? " (did you mean " : k + 1 == like.size() ? " or " : ", ") + like[k];
      }
      if (!like.empty()) message += "?)";
      Refuse(message);
    }
    // The run replaces its own files; reading one of them as the input would convert the
    // records into the file that holds them.
    for (const std::string& own : RunFileNames()) {
      platform::FileFacts facts;
      if (folder_.LookThrough(own, facts) == 0 && input_.IsFile(facts)) {
        Refuse("The input file " + trimmed + " is the run's own " + own +
               "; copy the records to another name");
      }
    }
  });
  // (A data frame is previewed by its fields, not under a column ruler.)
  if (s_.frame) return;

  PreviewRecords(name);
}

void Dialogue::PreviewRecords(const std::string& name) {
  console_.Plain(" ");
  console_.Plain(Blanks(14) + "FILE:" + name);
  console_.Plain("         1         2         3         4         5         6         7");
  console_.Plain("....5....0....5....0....5....0....5....0....5....0....5....0....5....0");
  std::string record;
  std::vector<std::string> previewed;
  for (int k = 0; k < kPreviewRecords && input_.ReadRecord(record, kLineWidth); ++k) {
    previewed.push_back(record);
    // (A terminal would widen a tab to its next stop: the columns under the ruler would be off.)
    if (console_.terminal()) ShowTabs(record);
    console_.Plain(std::string_view(record).substr(0, kPreviewWidth));
  }
  console_.Plain(std::string(kPreviewWidth, '.'));
  input_.Rewind();
  if (answers_.interactive()) Tell(PreviewNotes(previewed, console_.terminal()));
}

void Dialogue::AskCounts() {
  console_.Plain(
      "Enter the number of strata, time-periods(YEARS), age-classes(1 or 2) and groups:");
  counts_mark_ = answers_.Mark();
  std::vector<std::string> refused;
  Answer("STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS(eg 3,7,1,1):", [&] {
    const std::vector<int32_t> counts =
        answers_.Numbers(4, "STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS");
    int64_t nstrata = counts[0];
    s_.listdata = nstrata < 0;
    if (nstrata < 0) nstrata = -nstrata;
    CheckCodeCount(nstrata, "strata");
    s_.nstrata = static_cast<int32_t>(nstrata);
    s_.nyrs = counts[1];
    s_.nage = counts[2];
    s_.ngroups = counts[3];
    if (s_.nyrs < kMinPeriods) {
      Refuse("The number of time periods must be at least " + std::to_string(kMinPeriods) +
             ", got " + std::to_string(s_.nyrs));
    }
    // Each period has a column of its own in the record.
    if (s_.nyrs > kLineWidth) {
      Refuse("The number of time periods may be at most " + std::to_string(kLineWidth) +
             ", one column each in a record, got " + std::to_string(s_.nyrs));
    }
    CheckCodeCount(s_.nage, "age classes");
    CheckCodeCount(s_.ngroups, "groups");
    if (s_.inp && s_.nage != 1 && s_.nage != 2) {
      Refuse("A file of summarised histories (--inp) is read with one age class, or two by time since marking, "
             "got " + std::to_string(s_.nage) + "; read a file with age codes by its columns (without --inp)");
    }
    if (s_.inp) CheckCountsInData(refused);
  });
  s_.codcol = AllocateTable<int32_t>({s_.nyrs}, "codcol");
}

void Dialogue::SetSummarisedFields() {
  // The history is read as the first field of each record, one character a period.
  for (size_t i = 0; i < s_.codcol.size(); ++i) s_.codcol[i] = static_cast<int32_t>(i + 1);
  s_.fatecol = s_.agecol = s_.grpcol = 0;
  s_.frqcol1 = s_.frqcol2 = 0;
  // Two age classes are time since marking: every animal enters the first (code A) and moves to
  // the second (B) after one period, every age increment 1.
  if (s_.nage == 2) s_.acodes = "AB" + std::string(kCodesWidth - 2, ' ');
}

void Dialogue::AskStratumCodes() {
  codes_mark_ = answers_.Mark();
  console_.Plain("Enter the codes representing each strata");
  console_.Plain(" (If upper case in input file, type upper case here.)");
  Answer("STRATA CODES(no quotes or spaces- eg 123):", [&] {
    s_.scodes = answers_.Line(kCodesWidth, "STRATA CODES");
    if (const size_t typed = TrimmedRight(s_.scodes).size();
        strata_follow_codes_ && typed >= 1 && typed <= static_cast<size_t>(kMaxCodes)) {
      s_.nstrata = static_cast<int32_t>(typed);
    }
    CheckCodes(s_.scodes, s_.nstrata, "stratum code", "stratum");
  });
}

void Dialogue::SetStratumColumn(size_t i, int64_t column) {
  if (column < 1 || column > kLineWidth) {
    CheckColumn(column, "The stratum code of period " + std::to_string(i + 1));
  }
  s_.codcol[i] = static_cast<int32_t>(column);
}

void Dialogue::AskStratumColumns() {
  console_.Plain("If strata codes are in consecutive columns, enter the");
  console_.Plain(" column number of the first strata code,");
  console_.Plain("Or enter 0 if they are not sequential");
  columns_mark_ = answers_.Mark();
  const size_t periods = s_.codcol.size();
  int32_t first = 0;
  Answer("FIRST COLUMN OF STRATA CODES:", [&] {
    first = answers_.Number("FIRST COLUMN OF STRATA CODES");
    if (first == 0) return;
    // Echoed in full before any column is refused. The columns are computed as they are
    // shown, so the echo needs no table of its own.
    if (s_.listdata) {
      console_.ColumnRows(static_cast<int64_t>(periods),
                          [first](int64_t i) { return first + i - 1; });
    }
    for (size_t i = 0; i < periods; ++i) {
      SetStratumColumn(i, int64_t{first} + static_cast<int64_t>(i));
    }
  });
  if (first != 0) return;
  console_.Plain("Enter column number containing strata codes for each time period");
  Answer(" seperated by commas - (eg. 1,2,3,4,5,6,7):", [&] {
    const std::vector<int32_t> typed = answers_.Numbers(periods, "the stratum-code columns");
    for (size_t i = 0; i < periods; ++i) SetStratumColumn(i, typed[i]);
  });
}

void Dialogue::AskStratumCodesAgain() {
  const size_t from = codes_mark_;
  const size_t again = answers_.Mark();
  // (A file of summarised histories has no column answers after the codes.)
  const size_t to = s_.inp ? again : columns_mark_;
  AskStratumCodes();
  const size_t lines = answers_.Mark() - again;
  answers_.Replace(from, to, again);
  codes_mark_ = from;
  columns_mark_ = from + lines;
}

void Dialogue::AskStratumColumnsAgain() {
  answers_.Drop(columns_mark_);
  AskStratumColumns();
}

void Dialogue::AskCountsAgain() {
  const size_t from = counts_mark_;
  const size_t again = answers_.Mark();
  const int32_t strata = s_.nstrata;
  AskCounts();
  SetSummarisedFields();
  const size_t lines = answers_.Mark() - again;
  answers_.Replace(from, codes_mark_, again);
  counts_mark_ = from;
  codes_mark_ = from + lines;
  // (The codes typed name the strata answered before.)
  if (s_.nstrata != strata) AskStratumCodesAgain();
}

void Dialogue::CheckCountsInData(std::vector<std::string>& refused) {
  const DataLook look(input_, s_);
  if (const Finding periods = JudgePeriods(look, s_)) Refuse(periods.said);
  const std::string counts = CountsAnswer(s_);
  if (!answers_.interactive() || Has(refused, counts)) return;
  if (const Finding groups = JudgeGroups(look, s_)) {
    refused.push_back(counts);
    Refuse(groups.said + " (the same counts again keep them)");
  }
}

bool Dialogue::MendStrata(const DataLook& look, bool fits, Refused& refused) {
  for (const Finding& found : JudgeStrata(look, s_)) {
    if (!fits && found.kind != Finding::kLeftOut) continue;
    if (found.kind == Finding::kBlankPeriod && s_.inp) {
      if (refused.counts) continue;
      Tell(found.said + "; the counts again (the histories' " + Counted(s_.nyrs, "character") +
           " are the periods: the same counts, " + CountsAnswer(s_) + ", keep them)");
      refused.counts = true;
      AskCountsAgain();
      return true;
    }
    if (found.kind == Finding::kBlankPeriod) {
      if (found.offered.empty() || Has(refused.columns, s_.codcol)) continue;
      Tell(found.said + "; the first column again (the same again keeps it)");
      refused.columns.push_back(s_.codcol);
      AskStratumColumnsAgain();
      return true;
    }
    if (Has(refused.codes, s_.scodes)) continue;
    Tell(found.said +
         "; the stratum codes again, which give the number of strata (the same codes "
         "again keep them)");
    refused.codes.push_back(s_.scodes);
    const int32_t before = s_.nstrata;
    strata_follow_codes_ = true;
    AskStratumCodesAgain();
    strata_follow_codes_ = false;
    if (s_.nstrata != before) {
      // The counts answer kept says the strata the codes give, in one line.
      const size_t lines = codes_mark_ - counts_mark_;
      answers_.Rewrite(counts_mark_, codes_mark_, CountsAnswer(s_));
      codes_mark_ = codes_mark_ + 1 - lines;
      columns_mark_ = columns_mark_ + 1 - lines;
    }
    return true;
  }
  return false;
}

// Each mistake is told where its answer can be mended at once: stratum codes in the other
// case than the file's are asked again; a history whose columns hold no code, or too many
// other characters, has its first column asked again. Columns typed again as they were stand,
// and the stratum codes are asked again; codes typed again as they were are taken.
void Dialogue::SettleHistory() {
  if (!answers_.interactive()) return;
  Refused refused;
  bool columns_stand = s_.inp;  // a file of summarised histories has no column to ask
  const std::string codes_again = "; the stratum codes again (the same codes again keep them)";
  bool names_told = false;
  for (;;) {
    const DataLook look(input_, s_);
    // (Placed by the history's columns, a first line of names is no record.)
    if (!look.header().empty() && !names_told) {
      Tell(NamesNote(ShownHeader(look)));
      names_told = true;
    }
    if (look.records() == 0) return;
    Tell(HistoryHolds(look, s_));
    const HistoryJudgement judgement = JudgeHistory(look, s_);
    if ((judgement.fault == HistoryJudgement::kNone ||
         judgement.fault == HistoryJudgement::kForeign) &&
        MendStrata(look, judgement.fault == HistoryJudgement::kNone, refused)) {
      continue;
    }
    if (judgement.fault == HistoryJudgement::kNone || Has(refused.codes, s_.scodes)) return;
    if (judgement.fault == HistoryJudgement::kCase) {
      Tell(judgement.said + "; the stratum codes again, as the file writes them: " +
           judgement.file_case + " (the same codes again keep them)");
    } else if (!columns_stand) {
      Tell(judgement.said + "; the first column again (the same again keeps it, and asks the "
           "stratum codes again)");
      refused.columns.push_back(s_.codcol);
      AskStratumColumnsAgain();
      if (!Has(refused.columns, s_.codcol)) continue;
      columns_stand = true;
      Tell("the history stays where it was" + codes_again);
    } else {
      Tell(judgement.said + codes_again);
    }
    refused.codes.push_back(s_.scodes);
    AskStratumCodesAgain();
  }
}

void Dialogue::AskFate() {
  console_.Plain("Enter column number containing fate on last capture, or");
  console_.Plain("      0 if all captured animals were always released.");
  console_.Plain("Note: Any non-blank character in this column is");
  console_.Plain("      interpreted as indicating that the animal was");
  console_.Plain("      not released.");
  Answer("FATE COLUMN:", [&] {
    s_.fatecol = answers_.Number("FATE COLUMN");
    if (s_.fatecol > kLineWidth) CheckColumn(s_.fatecol, "The fate column");
  });
  s_.agecol = 0;
  if (answers_.interactive() && s_.fatecol > 0) {
    Tell(ColumnHolds(DataLook(input_, s_), s_.fatecol, "the fate column"));
  }
}

void Dialogue::AskAge() {
  if (s_.nage <= 1) return;
  console_.Plain("Enter column number containing age-code");
  int32_t typed = 0;
  Answer("AGE-CODE COLUMN:", [&] {
    typed = answers_.Number("AGE-CODE COLUMN");
    const int64_t column = typed < 0 ? -int64_t{typed} : int64_t{typed};
    CheckColumn(column, "The age-code column");
    s_.agecol = static_cast<int32_t>(column);
  });
  std::optional<DataLook> look;
  if (answers_.interactive()) {
    look.emplace(input_, s_);
    Tell(ColumnHolds(*look, s_.agecol, "the age-code column"));
  }
  console_.Plain("Enter age-codes for starting with youngest");
  console_.Plain("  (eg. YSA for young, subadult, adult)");
  std::vector<std::string> refused;
  Answer("AGE-CODES:", [&] {
    s_.acodes = answers_.Line(kCodesWidth, "AGE-CODES");
    CheckCodes(s_.acodes, s_.nage, "age code", "age class");
    CheckCodesInData(s_.acodes, s_.nage, s_.agecol, look ? &*look : nullptr, "age", refused);
  });
  if (typed < 0) {
    console_.Plain("Enter age-increments as a string of 1s and 0s");
    console_.Plain("  (ie. 0-dont inc age, 1-inc age) for each time-interval");
    console_.Plain("AGE-INCREMENTS:");
    s_.ageinc = answers_.Line(kAgeIncWidth, "AGE-INCREMENTS");
  }
}

void Dialogue::AskGroups() {
  s_.grpcol = 0;
  if (s_.ngroups <= 1) return;
  console_.Plain("Enter the column number containing the GROUP code,");
  Answer("GROUP COLUMN:", [&] {
    s_.grpcol = answers_.Number("GROUP COLUMN");
    if (s_.grpcol > kLineWidth) CheckColumn(s_.grpcol, "The group column");
  });
  std::optional<DataLook> look;
  if (answers_.interactive() && s_.grpcol > 0) {
    look.emplace(input_, s_);
    Tell(ColumnHolds(*look, s_.grpcol, "the group column"));
  }
  AskGroupCodes(look ? &*look : nullptr);
}

void Dialogue::AskGroupCodes(const DataLook* look) {
  if (s_.ngroups <= 1) return;
  console_.Plain("Enter groupe-codes");
  console_.Plain("  (eg. MF for male, female)");
  std::vector<std::string> refused;
  Answer("GROUP-CODES:", [&] {
    s_.gcodes = answers_.Line(kCodesWidth, "GROUP-CODES");
    console_.Plain("GCODES=" + s_.gcodes + "<");
    // The group codes name the groups in the labels even when no group column is read.
    CheckCodes(s_.gcodes, s_.ngroups, "group code", "group");
    CheckCodesInData(s_.gcodes, s_.ngroups, s_.grpcol, look, "group", refused);
  });
}

void Dialogue::AskFrequency() {
  console_.Plain("Enter starting column of cap-history frequency, or");
  console_.Plain("      0 if capture-histories are not summarized.");
  // A refused field is asked again from its first column, which may be the wrong one.
  std::vector<std::pair<int32_t, int32_t>> refused;
  Answer("STARTING COLUMN:", [&] {
    s_.frqcol1 = answers_.Number("STARTING COLUMN");
    s_.frqcol2 = 0;
    if (s_.frqcol1 <= 0) {
      err_ << "haplovex: no frequency field: every record is one animal\n";
      return;
    }
    console_.Plain("Enter ending column of cap-history frequency.");
    console_.Plain("ENDING COLUMN:");
    s_.frqcol2 = answers_.Number("ENDING COLUMN");
    const int64_t width = int64_t{s_.frqcol2} - s_.frqcol1 + 1;
    s_.obsfmt = "(I";
    AppendInt(s_.obsfmt, width, 2);
    s_.obsfmt += ")";
    s_.obsfmt = Padded(s_.obsfmt, kCodesWidth);
    console_.Plain("OBSFMT=" + s_.obsfmt);
    if (s_.frqcol2 < s_.frqcol1) {
      Refuse("The frequency field ends in column " + std::to_string(s_.frqcol2) +
             ", before its first column " + std::to_string(s_.frqcol1));
    }
    CheckColumn(s_.frqcol2, "The frequency field");
    if (width > kMaxFrequencyWidth) {
      Refuse("The frequency field may be at most " + std::to_string(kMaxFrequencyWidth) +
             " columns wide, got " + std::to_string(width));
    }
    if (!answers_.interactive()) return;
    const DataLook look(input_, s_);
    Tell(FrequencyHolds(look, s_));
    const std::pair<int32_t, int32_t> columns(s_.frqcol1, s_.frqcol2);
    if (Has(refused, columns)) return;
    // Tabs before the field explain the other findings: a screen shows the counts further on.
    // (Columns typed as the counts stand, read in the preview where a tab is one column, are
    // taken.)
    std::string said;
    if (const Finding tabs = JudgeTabs(look, s_);
        tabs && tabs.offered == std::to_string(s_.frqcol1) + "-" + std::to_string(s_.frqcol2)) {
      Tell(tabs.said);
    } else if (tabs) {
      said = tabs.said + (tabs.offered.empty() ? "" : "; the counts stand in columns " + tabs.offered);
    }
    if (said.empty()) said = JudgeFrequency(look, s_);
    if (said.empty()) said = JudgeFrequencyCounts(look, s_).said;
    if (!said.empty()) {
      refused.push_back(columns);
      Refuse(said + " (the same columns again keep them)");
    }
  });
}

void Dialogue::AskModelSet() {
  console_.Plain("Enter 1 for the \"MEMORY-MOVEMENT model set");
  console_.Plain("      2 for the \"MOVEMENT-ONLY model set");
  console_.Plain("      3 for the \"MEMORY-MOVEMENT model setw/ S-M parameterization");
  console_.Plain("      4 for the \"MOVEMENT-ONLY model setw/ S-M parameterization");
  Answer("MODEL SETS (1,2,3, or 4):", [&] {
    for (;;) {
      const size_t mark = answers_.Mark();
      const int32_t typed = answers_.Number("MODEL SETS");
      if (typed >= 1 && typed <= 4) {
        s_.modset = static_cast<ModelSet>(typed);
        break;
      }
      answers_.Drop(mark);
      console_.Plain(" ");
      console_.Plain(" ** Enter a number between 1 and 4 **");
      console_.Plain(" ");
      console_.Plain("MODEL SETS (1,2,3, or 4):");
    }
    if (IsMemoryModel(s_.modset) &&
        (s_.nyrs < kMinMemoryPeriods || s_.nyrs > kMaxMemoryPeriods)) {
      Refuse("The memory-movement model sets need " + std::to_string(kMinMemoryPeriods) +
             " to " + std::to_string(kMaxMemoryPeriods) + " time periods, got " +
             std::to_string(s_.nyrs));
    }
  });
}

void Dialogue::AskSmChoice() {
  if (!HasSmParameterization(s_.modset)) return;
  console_.Line(" For the S-M parameterization, one of the " + IntField(s_.nstrata, 1));
  console_.Line(" movement parameters must be replaced by the survival");
  console_.Line(" parameter.  Choose 0 to replace the diagonal parameter");
  console_.Line(" (probability of returning to a strata), or one of");
  console_.Line(" the " + IntField(s_.nstrata, 1) + " strata.");
  const std::string question =
      "STRATA (0 or 1-" + IntField(s_.nstrata, s_.nstrata <= 9 ? 1 : 2) + ")?";
  Answer(question, [&] {
    for (;;) {
      const size_t mark = answers_.Mark();
      s_.smstrat = answers_.Number("STRATA (0 or 1-" + std::to_string(s_.nstrata) + ")?");
      if (s_.smstrat >= 0 && int64_t{s_.smstrat} <= int64_t{s_.nstrata} + 1) break;
      answers_.Drop(mark);
      console_.Plain(" ** Enter a number between 0 and " + IntField(s_.nstrata, 12));
      console_.Plain(question);
    }
  });
}

std::string Dialogue::AskTitle() {
  console_.Plain("Enter a title to appear on the TORVELAN output");
  std::string typed;
  std::vector<std::string> refused;
  Answer("TITLE(no quotes):", [&] {
    typed = answers_.Text("TITLE");
    if (!answers_.interactive() || Has(refused, typed) || typed.find('\'') == std::string::npos)
      return;
    refused.push_back(typed);
    Refuse(
        "the title holds a ', which ends the quoted title in HAPLOVEX.OUT early (the same title "
        "again keeps it)");
  });
  s_.title = Padded(typed, kTitleWidth);
  return typed;
}

}  // namespace

std::string RunDialogue(AnswerReader& answers, Console& console, std::ostream& err,
                        const WorkFolder& folder, ConversionSettings& settings,
                        InputFile& input) {
  Dialogue dialogue(answers, console, err, folder, settings, input);
  dialogue.AskInputFile();
  if (settings.frame) {
    // A data frame: its fields are asked by name in place of the column questions.
    FrameDialogue frame(answers, console, err, settings, input);
    frame.Preview();
    dialogue.AskCounts();
    dialogue.AskStratumCodes();
    frame.AskFields();
    dialogue.AskModelSet();
    dialogue.AskSmChoice();
    return dialogue.AskTitle();
  }
  dialogue.AskCounts();
  dialogue.AskStratumCodes();
  if (settings.inp) {
    // Summarised histories: no column questions; the group codes label the counts.
    dialogue.SetSummarisedFields();
    dialogue.SettleHistory();
    dialogue.AskGroupCodes();
    dialogue.AskModelSet();
    dialogue.AskSmChoice();
    return dialogue.AskTitle();
  }
  dialogue.AskStratumColumns();
  dialogue.SettleHistory();
  dialogue.AskFate();
  dialogue.AskAge();
  dialogue.AskGroups();
  dialogue.AskFrequency();
  dialogue.AskModelSet();
  dialogue.AskSmChoice();
  return dialogue.AskTitle();
}

}  // namespace haplovex
