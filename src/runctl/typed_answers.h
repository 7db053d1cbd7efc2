// The answers a person types at a terminal, kept in a file of their own as they are typed, so
// that a run that stops (a refused record, --strict, Ctrl-C) does not lose them: the file is
// finished by hand and given back as the answers (haplovex -y FILE).
//
// The file is created for this run alone at its first answer (HAPLOVEX.ANS.partial, or
// HAPLOVEX.ANS.partial-2, -3 ... when that name is taken), holds the run's options line and the
// answers as they stand after each one, and is removed by the run that finishes (its answers are
// in HAPLOVEX.ANS then). A file that cannot be written is said once on standard error; the run
// goes on without it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/platform.h"

namespace haplovex {

class TypedAnswers {
 public:
  // `options_line`: the first line of the file, or empty for none.
  TypedAnswers(const platform::Folder& folder, std::string options_line, std::ostream& err)
      : folder_(folder), options_line_(std::move(options_line)), err_(err) {}
  ~TypedAnswers();
  TypedAnswers(const TypedAnswers&) = delete;
  TypedAnswers& operator=(const TypedAnswers&) = delete;

  // Writes the answers as they now stand, creating the file at the first.
  void Save(const std::vector<std::string>& answers);
  // The file's name; empty while there is none.
  const std::string& name() const { return name_; }
  // What a person does to finish a run that stopped: the file and the way to give it back.
  // `all_given`: every answer was typed, and one is to be changed: that to `question` when it
  // is named.
  std::string HowToFinish(bool all_given = false, const std::string& question = "") const;
  // Removes the file (the run finished), when it is still the one this run created.
  void Remove();

 private:
  bool Create();

  const platform::Folder& folder_;
  std::string options_line_;
  std::ostream& err_;
  platform::FileHandle file_ = platform::kNoFile;
  std::string name_;
  bool failed_ = false;
};

}  // namespace haplovex
