#include "common/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/fatal.h"

namespace haplovex {

namespace {
constexpr size_t kOutputBuffer = 1 << 20;
}  // namespace

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

int OutputFile::Open(const std::filesystem::path& path, const char* mode) {
  errno = 0;
  file_ = std::fopen(path.c_str(), mode);
  if (file_ == nullptr) return errno != 0 ? errno : EIO;
  buffer_ = std::make_unique<char[]>(kOutputBuffer);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kOutputBuffer);
  return 0;
}

void OutputFile::OpenMemory() {
  in_memory_ = true;
  memory_.clear();
}

// "x" makes the creation exclusive: it fails when the name exists in any form.
int OutputFile::OpenNew(const std::filesystem::path& path) { return Open(path, "wx"); }

int OutputFile::OpenReplace(const std::filesystem::path& path) { return Open(path, "w"); }

void OutputFile::Fail(int error) const {
  throw FatalStop::Message("Can't write " + name_ + ": " + std::strerror(error != 0 ? error : EIO));
}

void OutputFile::Write(std::string_view text) {
  if (text.empty()) return;
  if (in_memory_) {
    memory_.append(text);
    return;
  }
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) Fail(errno);
}

void OutputFile::WriteLine(std::string_view text) {
  Write(text);
  if (in_memory_) {
    memory_.push_back('\n');
  } else if (std::fputc('\n', file_) == EOF) {
    Fail(errno);
  }
}

void OutputFile::Close() {
  in_memory_ = false;
  if (file_ == nullptr) return;
  std::FILE* f = file_;
  file_ = nullptr;
  errno = 0;
  const bool flushed = std::fflush(f) == 0;
  const int flush_error = errno;
  const bool closed = std::fclose(f) == 0;
  if (!flushed) Fail(flush_error);
  if (!closed) Fail(errno);
}

InputFile::~InputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

int InputFile::Open(const std::filesystem::path& path, std::string display_name) {
  name_ = std::move(display_name);
  errno = 0;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return errno != 0 ? errno : EIO;
  block_.resize(block_size_);
  pos_ = end_ = 0;
  eof_ = false;
  errno = 0;
  const size_t got = ReadBytes(block_.data(), block_.size());
  if (Failed()) {
    const int error = errno != 0 ? errno : EIO;
    std::fclose(file_);
    file_ = nullptr;
    return error;
  }
  end_ = got;
  eof_ = got < block_.size();
  return 0;
}

void InputFile::OpenMemory(std::string bytes, std::string display_name) {
  name_ = std::move(display_name);
  in_memory_ = true;
  memory_ = std::move(bytes);
  block_.resize(block_size_);
  Rewind();
}

size_t InputFile::ReadBytes(char* to, size_t size) {
  if (!in_memory_) return std::fread(to, 1, size, file_);
  const size_t got = std::min(size, memory_.size() - memory_pos_);
  std::memcpy(to, memory_.data() + memory_pos_, got);
  memory_pos_ += got;
  return got;
}

bool InputFile::Fill() {
  if (eof_) return false;
  errno = 0;
  const size_t got = ReadBytes(block_.data(), block_.size());
  if (Failed()) {
    throw FatalStop::Message("Can't read the input file " + name_ + ": " +
                             std::strerror(errno != 0 ? errno : EIO));
  }
  pos_ = 0;
  end_ = got;
  if (got < block_.size()) eof_ = true;
  return got > 0;
}

bool InputFile::NextLineSlow(std::string_view& line) {
  if (pos_ == end_ && !Fill()) return false;
  const char* start = block_.data() + pos_;
  const size_t avail = end_ - pos_;
  const void* nl = std::memchr(start, '\n', avail);
  size_t len;
  if (nl != nullptr) {
    len = static_cast<size_t>(static_cast<const char*>(nl) - start);
    pos_ += len + 1;
    if (len > 0 && start[len - 1] == '\r') --len;
    line = std::string_view(start, std::min(len, kLineKept));
    return true;
  }
  // The line runs on into the next block (or ends the file without a line end). Keep one
  // character more than is ever looked at: it may be the carriage return before the line end.
  constexpr size_t keep = kLineKept + 1;
  carry_.assign(start, std::min(avail, keep));
  pos_ = end_;
  while (Fill()) {
    const char* more = block_.data();
    nl = std::memchr(more, '\n', end_);
    len = nl != nullptr ? static_cast<size_t>(static_cast<const char*>(nl) - more) : end_;
    if (carry_.size() < keep) carry_.append(more, std::min(len, keep - carry_.size()));
    if (nl != nullptr) {
      pos_ = len + 1;
      break;
    }
    pos_ = end_;
  }
  // A carriage return kept at the end is the one before the line end, or lies beyond the
  // characters looked at: dropping it is right either way.
  if (!carry_.empty() && carry_.back() == '\r') carry_.pop_back();
  if (carry_.size() > kLineKept) carry_.resize(kLineKept);
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
  if (in_memory_) {
    memory_pos_ = 0;
    return;
  }
  // The records are read twice (preview, then conversion); a pipe or a device cannot go
  // back, and reading on would silently lose the records the preview took.
  std::clearerr(file_);
  errno = 0;
  if (std::fseek(file_, 0, SEEK_SET) != 0) {
    throw FatalStop::Message("Can't read the input file " + name_ + " a second time: " +
                             std::strerror(errno != 0 ? errno : EIO));
  }
}

}  // namespace haplovex
