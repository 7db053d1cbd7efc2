// Asking one question until its answer is taken, for every dialogue (by columns or by a frame's
// field names).
#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

#include "common/console.h"
#include "common/format.h"
#include "runctl/answers.h"

namespace haplovex {

// Writes the question's last line, `prompt`, and reads and checks one answer with `read`. A
// refusal that a person at a terminal may answer again is told on standard error and the prompt
// written again for the next try; the refused answer's lines are not kept.
template <typename Read>
void AnswerUntilTaken(AnswerReader& answers, Console& console, std::ostream& err, std::string_view prompt,
                      Read read) {
  for (;;) {
    console.Plain(prompt);
    const size_t mark = answers.Mark();
    try {
      read();
      return;
    } catch (const AnswerRefused& refused) {
      answers.Drop(mark);
      // (What was typed, or a name in the folder, may hold bytes a terminal takes as commands.)
      err << "haplovex: " << Harmless(refused.message) << "; please answer again\n";
      err.flush();
    }
  }
}

}  // namespace haplovex
