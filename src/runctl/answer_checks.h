// Answers that are plausible and wrong, found by a look at the first records (DataLook) before
// any record is converted: a count of periods or groups that the summarised histories deny, a
// stratum code left out or never used, a period in which no record was caught, a frequency
// field that counts most records as no animals or holds a count for each group.
//
// At a terminal the dialogue asks each such answer again right after it is typed, with the
// answer likely meant offered (the same answer typed again is taken); a run whose answers were
// not typed hears of them once, as warnings, before any record is converted (AnswerWarnings),
// and --strict stops on them. A finding the records after the look could refute says it judged
// "the first 10,000 records", and stops a --strict run only when the look read the whole file.
#pragma once

#include <string>
#include <vector>

#include "common/text_file.h"
#include "runctl/data_look.h"
#include "runctl/settings.h"

namespace haplovex {

// A tab as the preview at a terminal shows it: one column, as the records are read.
inline constexpr char kTabShown = '>';
// Puts kTabShown in the place of each tab of `record`.
void ShowTabs(std::string& record);
// What the preview's records (the file's first lines) tell a person before any answer: that
// tabs stand among them, each one column (`shown`: as kTabShown), and that the first line
// looks like a line of names (ch, freq), not a record. Empty when neither.
std::string PreviewNotes(const std::vector<std::string>& records, bool shown);

// The look's line of names as a line shown to a person says it: tabs shown, cut; empty when
// the look read no such line.
std::string ShownHeader(const DataLook& look);
// What every run says of a line of names (`shown` as ShownHeader gives it): that it is read as
// no record.
std::string NamesNote(const std::string& shown);

// What a check found about an answer; nothing when `said` is empty.
struct Finding {
  enum Kind {
    kNone,
    kLeftOut,      // letters stand where the codes do: a stratum code left out
    kBlankPeriod,  // a period with no capture in any record: the history's columns one off
    kUnused,       // a stratum code stands in no history
  };
  Kind kind = kNone;
  std::string said;       // what is wrong, in a sentence
  std::string offered;    // the answer likely meant, as it would be typed; may be empty
  bool refutable = true;  // the records after the look could prove the answer right

  explicit operator bool() const { return !said.empty(); }
};

// The counts answer that gives the settings' counts: "2,7,1,1", "-2,7,1,1" when the records are
// listed.
std::string CountsAnswer(const ConversionSettings& s);

// Summarised histories, at the counts answer: a record of the look whose history is not as long
// as the periods answered, which the conversion could not read (a stop, never refutable).
Finding JudgePeriods(const DataLook& look, const ConversionSettings& s);
// Summarised histories, at the counts answer: most records carry more whole numbers after their
// history than the groups answered, or fewer (which the conversion could not read).
Finding JudgeGroups(const DataLook& look, const ConversionSettings& s);
// The stratum codes and the history's columns, after the history is placed: letters standing
// where codes stand (offered as a code left out), a period blank in every record (offered as a
// first column), a stratum code in no history. The findings in that order.
std::vector<Finding> JudgeStrata(const DataLook& look, const ConversionSettings& s);
// A frequency field read by columns that is 0 in over a third of the records or holds numbers
// separated by blanks (a count for each group: --inp), or that is blank in most records.
Finding JudgeFrequencyCounts(const DataLook& look, const ConversionSettings& s);

// Records read by columns that hold tabs at or before the frequency field's last column (each
// tab is one column, whatever a screen shows), offered with the columns, first-last, in which
// the counts likely stand (those typed, when they hold the counts and no other digits). Never
// refutable: the tabs are there.
Finding JudgeTabs(const DataLook& look, const ConversionSettings& s);

// The judgements of a whole set of answers, for a run whose answers were not typed: a warning
// for each answer the first records contradict, and whether --strict stops on it.
struct AnswerWarning {
  std::string said;
  bool stops = true;
};
struct AnswersLooked {
  std::vector<AnswerWarning> warnings;
  // Summarised histories: how the first record is split with the groups answered.
  std::string first_split;
  // By columns: the file's first line, when it is a line of names (letters, no digit, no
  // stratum code at the history's columns), which the conversion then reads as no record.
  std::string header;
};
AnswersLooked AnswerWarnings(InputFile& input, const ConversionSettings& s);

}  // namespace haplovex
