// The questions of a data-frame run (--frame): where a column run asks columns, a frame run
// asks fields by the names its header gives. The preview shows the fields and the first records
// as they stand; the history field ("ch" offered when there is one), the fate field and the
// values that mean an animal was not released, the age and group fields and their levels in
// order (youngest first), and the frequency field ("freq" offered) are asked; the fields are
// then laid out in the columns the record path reads (settings.h, FrameFields). Every other
// question is the column run's.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/text_file.h"
#include "frame/frame_text.h"
#include "runctl/answers.h"
#include "runctl/settings.h"

namespace haplovex {

class FrameDialogue {
 public:
  FrameDialogue(AnswerReader& answers, Console& console, std::ostream& err, ConversionSettings& s,
                const InputFile& input)
      : answers_(answers), console_(console), err_(err), s_(s), input_(input) {}

  // Reads the header (a file that is no frame stops the run), says on standard error how the
  // fields are separated, and shows the fields and up to five records.
  void Preview();
  // The fields by name and their levels, after the counts and the stratum codes.
  void AskFields();

 private:
  // Writes `prompt`, reads one answer with `read`; a refusal a person may answer again is told
  // on standard error and the prompt written again.
  template <typename Read>
  void Answer(const std::string& prompt, Read read);
  // A field name typed for `prompt`; `offered` is taken for an empty answer, "none" (or an
  // empty answer with nothing offered) gives an empty name when `optional`. With `minus`, a
  // name typed after a minus sign is taken, and *minus says so.
  std::string AskField(const std::string& prompt, const std::string& offered, bool optional,
                       bool* minus = nullptr);
  // The levels of `field` typed for `prompt`, `count` of them (0: any number).
  std::vector<std::string> AskLevels(const std::string& field, const std::string& prompt, int32_t count);
  // The distinct values of `field` among the records of the file's first bytes, in the order
  // first seen.
  std::vector<std::string> LevelsFound(const std::string& field) const;
  void LayOutColumns();

  AnswerReader& answers_;
  Console& console_;
  std::ostream& err_;
  ConversionSettings& s_;
  const InputFile& input_;
  FrameHeader header_;
  std::string look_;  // the file's first bytes
};

// The codes that stand for `levels` in the columns: the levels themselves when each is one
// character, else their first characters when these differ, else A, B, C ...; padded to the
// codes' width.
std::string LevelCodes(const std::vector<std::string>& levels);

// The values of a levels answer: separated by commas, blanks around each taken off.
std::vector<std::string> SplitLevels(const std::string& typed);

}  // namespace haplovex
