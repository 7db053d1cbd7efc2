// The set-up dialogue: the fixed sequence of console questions that fills ConversionSettings.
//
// Along the way it opens the capture-history file, previews its first records under a column
// ruler (then rewinds it for the converter), skips the questions that do not apply, re-asks an
// out-of-range model set or S-M choice, and refuses, as soon as an answer is complete, any
// setting the converters cannot handle. Every other answer is taken as typed.
#pragma once

#include <filesystem>

#include "common/console.h"
#include "common/text_file.h"
#include "runctl/answers.h"
#include "runctl/settings.h"

namespace haplovex {

// Runs every step of the dialogue. On return `input` is open at its first record and every
// field of `settings` holds its final value. Fatal answers throw FatalStop.
// REQUIRES: `settings` holds the start values.
void RunDialogue(AnswerReader& answers, Console& console, const std::filesystem::path& workdir,
                 ConversionSettings& settings, InputFile& input);

}  // namespace haplovex
