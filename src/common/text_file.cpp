#include "common/text_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/fatal.h"
#include "common/work_folder.h"

namespace haplovex {

namespace {
std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }
}  // namespace

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!partial_.empty()) {
    unlinkat(folder_fd_, partial_.c_str(), 0);
    ForgetPartialFile(folder_fd_, partial_);
  }
}

int OutputFile::OpenPartial(const WorkFolder& folder) {
  folder_fd_ = folder.fd();
  for (unsigned attempt = 1;; ++attempt) {
    std::string candidate = PartialName(name_, attempt);
    // Registered before it exists, so that no moment passes in which a stop signal would
    // leave it behind.
    RegisterPartialFile(folder_fd_, candidate);
    fd_ = openat(folder_fd_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      partial_ = std::move(candidate);
      return 0;
    }
    const int error = errno;
    ForgetPartialFile(folder_fd_, candidate);
    if (error != EEXIST) return error;
  }
}

void OutputFile::OpenMemory() {
  in_memory_ = true;
  buffer_.clear();
}

void OutputFile::Fail(int error) const {
  throw FatalStop::Message("Can't write " + name_ + ": " + Reason(error));
}

void OutputFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t wrote = write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    done += static_cast<size_t>(wrote);
  }
  buffer_.clear();
}

void OutputFile::Finish() {
  if (in_memory_ || fd_ < 0) return;
  Flush();
  if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 && errno != EINTR) Fail(errno);
}

void OutputFile::Placed() {
  ForgetPartialFile(folder_fd_, partial_);
  partial_.clear();
}

InputFile::~InputFile() {
  if (fd_ >= 0) close(fd_);
}

int InputFile::Open(const std::filesystem::path& path, std::string display_name, int dirfd) {
  name_ = std::move(display_name);
  // Not waiting for a writer: a pipe is refused below, not read.
  fd_ = openat(dirfd, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return errno != 0 ? errno : EIO;
  return Adopt();
}

int InputFile::OpenStream(std::FILE* file, std::string display_name) {
  if (fd_ >= 0) close(fd_);
  name_ = std::move(display_name);
  in_memory_ = false;
  std::string().swap(memory_);
  fd_ = fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) return errno != 0 ? errno : EIO;
  if (lseek(fd_, 0, SEEK_SET) != 0) {
    const int error = errno != 0 ? errno : EIO;
    close(fd_);
    fd_ = -1;
    return error;
  }
  return Adopt();
}

int InputFile::Adopt() {
  int refused = 0;
  if (fstat(fd_, &info_) != 0) {
    refused = errno;
  } else if (S_ISDIR(info_.st_mode)) {
    refused = EISDIR;
  } else if (!S_ISREG(info_.st_mode)) {
    refused = kNotRegular;
  } else {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  }
  if (refused == 0) {
    block_.resize(block_size_);
    pos_ = end_ = 0;
    eof_ = false;
    after_cr_ = false;
    char lead[kByteOrderMark.size()];
    const ssize_t marked = ReadAt(0, lead, sizeof lead);
    data_start_ = marked == sizeof lead && std::string_view(lead, sizeof lead) == kByteOrderMark
                      ? kByteOrderMark.size()
                      : 0;
    to_skip_ = data_start_;
    const ssize_t got = ReadBytes(block_.data(), block_.size());
    if (got < 0) {
      refused = errno != 0 ? errno : EIO;
    } else {
      end_ = static_cast<size_t>(got);
      eof_ = end_ < block_.size();
      pos_ = std::min(to_skip_, end_);
      to_skip_ -= pos_;
    }
  }
  if (refused != 0) {
    close(fd_);
    fd_ = -1;
  }
  return refused;
}

void InputFile::OpenMemory(std::string bytes, std::string display_name) {
  name_ = std::move(display_name);
  in_memory_ = true;
  memory_ = std::move(bytes);
  data_start_ = std::string_view(memory_).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  block_.resize(block_size_);
  Rewind();
}

ssize_t InputFile::ReadBytes(char* to, size_t size) {
  if (in_memory_) {
    const size_t got = std::min(size, memory_.size() - memory_pos_);
    std::memcpy(to, memory_.data() + memory_pos_, got);
    memory_pos_ += got;
    return static_cast<ssize_t>(got);
  }
  // A regular file gives all that is asked but at its end; a signal may cut a read short.
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd_, to + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

ssize_t InputFile::ReadAt(uint64_t offset, char* to, size_t size) const {
  if (in_memory_) {
    if (offset >= memory_.size()) return 0;
    const size_t got = std::min<uint64_t>(size, memory_.size() - offset);
    std::memcpy(to, memory_.data() + offset, got);
    return static_cast<ssize_t>(got);
  }
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd_, to + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool InputFile::Fill() {
  for (;;) {
    if (eof_) return false;
    const ssize_t got = ReadBytes(block_.data(), block_.size());
    if (got < 0) {
      throw FatalStop::Message("Can't read the input file " + name_ + ": " + Reason(errno));
    }
    end_ = static_cast<size_t>(got);
    if (end_ < block_.size()) eof_ = true;
    // The byte-order mark at the start of the file, in as many blocks as it takes.
    pos_ = std::min(to_skip_, end_);
    to_skip_ -= pos_;
    if (pos_ < end_) return true;
  }
}

bool InputFile::NextLineSlow(std::string_view& line) {
  if (pos_ == end_ && !Fill()) return false;
  if (after_cr_) {
    after_cr_ = false;
    if (block_[pos_] == '\n' && ++pos_ == end_ && !Fill()) return false;
  }
  const char* start = block_.data() + pos_;
  const size_t avail = end_ - pos_;
  size_t len = LineEndAt(start, avail);
  if (len < avail) {
    after_cr_ = start[len] == '\r';
    pos_ += len + 1;
    line = std::string_view(start, std::min(len, kLineKept));
    return true;
  }
  // The line runs on into the next block (or ends the file without a line end). Only its
  // first kLineKept characters are kept.
  carry_.assign(start, std::min(avail, kLineKept));
  pos_ = end_;
  while (Fill()) {
    const char* more = block_.data();
    len = LineEndAt(more, end_);
    if (carry_.size() < kLineKept) carry_.append(more, std::min(len, kLineKept - carry_.size()));
    if (len < end_) {
      after_cr_ = more[len] == '\r';
      pos_ = len + 1;
      break;
    }
    pos_ = end_;
  }
  line = carry_;
  return true;
}

bool InputFile::ReadRecord(std::string& record, size_t width) {
  std::string_view line;
  if (!NextLine(line)) return false;
  record.assign(line.substr(0, width));
  record.append(width - record.size(), ' ');
  return true;
}

void InputFile::Rewind() {
  pos_ = end_ = 0;
  eof_ = false;
  after_cr_ = false;
  to_skip_ = data_start_;
  if (in_memory_) {
    memory_pos_ = 0;
    return;
  }
  if (lseek(fd_, 0, SEEK_SET) != 0) {
    throw FatalStop::Message("Can't read the input file " + name_ + " a second time: " +
                             Reason(errno));
  }
}

}  // namespace haplovex
