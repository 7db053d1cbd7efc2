#include "runctl/typed_answers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
bool WriteWhole(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

}  // namespace

TypedAnswers::~TypedAnswers() {
  SetStopSignalNote("");
  if (fd_ >= 0) close(fd_);
}

bool TypedAnswers::Create() {
  for (unsigned attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    std::string name(NameOf(RunFile::kAnswers));
    name += kPartialMark;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    const int fd = openat(folder_fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0666);
    if (fd >= 0) {
      fd_ = fd;
      name_ = name;
      SetStopSignalNote("haplovex: " + HowToFinish() + "\n");
      return true;
    }
    if (errno != EEXIST) {
      err_ << "haplovex: the answers typed cannot be kept in " << name << ": "
           << std::strerror(errno) << "\n";
      return false;
    }
  }
  err_ << "haplovex: the answers typed cannot be kept: " << NameOf(RunFile::kAnswers) << kPartialMark << " and "
       << kMaxAttempts - 1 << " more such names are taken\n";
  return false;
}

void TypedAnswers::Save(const std::vector<std::string>& answers) {
  if (failed_) return;
  if (fd_ < 0 && (answers.empty() || !Create())) {
    failed_ = fd_ < 0 && !answers.empty();
    return;
  }
  std::string text;
  if (!options_line_.empty()) text += options_line_ + "\n";
  for (const std::string& answer : answers) text += answer + "\n";
  if (!WriteWhole(fd_, text)) {
    err_ << "haplovex: the answers typed cannot be kept in " << name_ << ": "
         << std::strerror(errno != 0 ? errno : EIO) << "\n";
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
  if (fd_ < 0) return;
  SetStopSignalNote("");
  struct stat mine {};
  struct stat there {};
  if (fstat(fd_, &mine) == 0 && fstatat(folder_fd_, name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
      mine.st_dev == there.st_dev && mine.st_ino == there.st_ino) {
    unlinkat(folder_fd_, name_.c_str(), 0);
  }
  close(fd_);
  fd_ = -1;
  name_.clear();
}

}  // namespace haplovex
