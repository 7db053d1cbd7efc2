#include "runctl/typed_answers.h"

#include <cerrno>
#include <cstring>

#include "common/work_folder.h"
#include "runctl/run_files.h"

namespace haplovex {

namespace {

// What the answers typed are kept under: the answers file's name and this ("-2", "-3" ... after
// it when that name is taken).
constexpr std::string_view kPartialMark = ".partial";
constexpr unsigned kMaxAttempts = 1000;

// Writes all of `text` at the start of the file and cuts what was longer; a new text shares
// its start with the one before (answers are added or the last ones dropped), so a stop in
// the midst leaves the earlier answers readable.
int WriteWhole(platform::FileHandle file, const std::string& text) {
  const int error = platform::WriteAllAt(file, 0, text.data(), text.size());
  return error != 0 ? error : platform::Truncate(file, text.size());
}

}  // namespace

TypedAnswers::~TypedAnswers() {
  SetStopSignalNote("");
  if (file_ != platform::kNoFile) platform::CloseFile(file_);
}

bool TypedAnswers::Create() {
  for (unsigned attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    std::string name(NameOf(RunFile::kAnswers));
    name += kPartialMark;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    const int error = platform::CreateNew(folder_, name, file_);
    if (error == 0) {
      name_ = name;
      SetStopSignalNote("haplovex: " + HowToFinish() + "\n");
      return true;
    }
    if (error != EEXIST) {
      err_ << "haplovex: the answers typed cannot be kept in " << name << ": "
           << std::strerror(error) << "\n";
      return false;
    }
  }
  err_ << "haplovex: the answers typed cannot be kept: " << NameOf(RunFile::kAnswers) << kPartialMark << " and "
       << kMaxAttempts - 1 << " more such names are taken\n";
  return false;
}

void TypedAnswers::Save(const std::vector<std::string>& answers) {
  if (failed_) return;
  if (file_ == platform::kNoFile && (answers.empty() || !Create())) {
    failed_ = file_ == platform::kNoFile && !answers.empty();
    return;
  }
  std::string text;
  if (!options_line_.empty()) text += options_line_ + "\n";
  for (const std::string& answer : answers) text += answer + "\n";
  if (const int error = WriteWhole(file_, text); error != 0) {
    err_ << "haplovex: the answers typed cannot be kept in " << name_ << ": "
         << std::strerror(error) << "\n";
    failed_ = true;
  }
}

std::string TypedAnswers::HowToFinish(bool all_given, const std::string& question) const {
  if (!all_given) {
    return "the answers typed so far are kept in " + name_ +
           ": to finish the run, complete the remaining answers in it, then run: haplovex -y " +
           name_;
  }
  const std::string change =
      question.empty() ? "the answer the message above concerns" : "the answer to " + question;
  return "every answer typed is kept in " + name_ + ": to finish the run, change " + change +
         " in it, then run: haplovex -y " + name_;
}

void TypedAnswers::Remove() {
  if (file_ == platform::kNoFile) return;
  SetStopSignalNote("");
  platform::FileFacts mine;
  platform::FileFacts there;
  if (platform::FactsOf(file_, mine) == 0 && platform::Look(folder_, name_, false, there) == 0 &&
      mine.device == there.device && mine.id == there.id) {
    platform::Remove(folder_, name_);
  }
  platform::CloseFile(file_);
  file_ = platform::kNoFile;
  name_.clear();
}

}  // namespace haplovex
