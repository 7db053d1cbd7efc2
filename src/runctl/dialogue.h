// The set-up dialogue: the fixed sequence of console questions that fills ConversionSettings.
//
// Along the way it opens the capture-history file, previews its first records under a column
// ruler (then rewinds it for the converter), skips the questions that do not apply, re-asks an
// out-of-range model set or S-M choice, and refuses, as soon as an answer is complete, any
// setting the converters cannot handle: a file name longer than its field, an input that is
// not a regular file or is one of the run's own files, counts and columns beyond a record,
// fewer codes than strata, age classes or groups. Every other answer is taken as typed, except
// at a terminal: there the first records are looked at as each field is placed, what the
// field holds is shown on standard error, and an answer the records contradict (stratum codes
// in the other case, history columns that hold no code or too much else, age or group codes
// none of which stands in their column or typed with commas, a frequency field mostly not
// numbers) is asked again; the same answer typed again is taken.
#pragma once

#include <ostream>
#include <string>

#include "common/console.h"
#include "common/text_file.h"
#include "common/work_folder.h"
#include "runctl/answers.h"
#include "runctl/settings.h"

namespace haplovex {

// Runs every step of the dialogue. On return `input` is open at its first record and every
// field of `settings` holds its final value; the title is returned as typed (it may be longer
// than its field). Fatal answers throw FatalStop. When a person answers at a terminal
// (answers.interactive()), a refused answer is explained on `err` and asked again.
// REQUIRES: `settings` holds the start values.
std::string RunDialogue(AnswerReader& answers, Console& console, std::ostream& err,
                        const WorkFolder& folder, ConversionSettings& settings,
                        InputFile& input);

}  // namespace haplovex
