#include "common/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/fatal.h"

namespace haplovex {

namespace {
constexpr size_t kOutputBuffer = 1 << 20;
constexpr size_t kInputBlock = 1 << 20;
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

// "x" makes the creation exclusive: it fails when the name exists in any form.
int OutputFile::OpenNew(const std::filesystem::path& path) { return Open(path, "wx"); }

int OutputFile::OpenReplace(const std::filesystem::path& path) { return Open(path, "w"); }

void OutputFile::Fail(int error) const {
  throw FatalStop::Message("Can't write " + name_ + ": " + std::strerror(error != 0 ? error : EIO));
}

void OutputFile::Write(std::string_view text) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) Fail(errno);
}

void OutputFile::WriteLine(std::string_view text) {
  Write(text);
  if (std::fputc('\n', file_) == EOF) Fail(errno);
}

void OutputFile::Close() {
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
  block_.resize(kInputBlock);
  pos_ = end_ = 0;
  eof_ = false;
  errno = 0;
  const size_t got = std::fread(block_.data(), 1, block_.size(), file_);
  if (std::ferror(file_)) {
    const int error = errno != 0 ? errno : EIO;
    std::fclose(file_);
    file_ = nullptr;
    return error;
  }
  end_ = got;
  eof_ = got < block_.size();
  return 0;
}

bool InputFile::Fill() {
  if (eof_) return false;
  errno = 0;
  const size_t got = std::fread(block_.data(), 1, block_.size(), file_);
  if (std::ferror(file_)) {
    throw FatalStop::Message("Can't read the input file " + name_ + ": " +
                             std::strerror(errno != 0 ? errno : EIO));
  }
  pos_ = 0;
  end_ = got;
  if (got < block_.size()) eof_ = true;
  return got > 0;
}

bool InputFile::ReadRecord(std::string& record, size_t width) {
  if (pos_ == end_ && !Fill()) return false;
  record.clear();
  // Keep one character beyond the width: it may be the carriage return that ends the line.
  const size_t keep = width + 1;
  for (;;) {
    const char* start = block_.data() + pos_;
    const size_t avail = end_ - pos_;
    const void* nl = std::memchr(start, '\n', avail);
    const size_t len = nl != nullptr ? static_cast<size_t>(static_cast<const char*>(nl) - start) : avail;
    if (record.size() < keep) record.append(start, std::min(len, keep - record.size()));
    pos_ += len;
    if (nl != nullptr) {
      ++pos_;  // the line end itself
      break;
    }
    if (!Fill()) break;  // last line without a line end
  }
  // A carriage return directly before the line end belongs to the line end (files saved with
  // CRLF ends). When the line was longer than what was kept, the character dropped here lies
  // beyond the width and would be cut anyway.
  if (!record.empty() && record.back() == '\r') record.pop_back();
  if (record.size() > width) record.resize(width);
  record.append(width - record.size(), ' ');
  return true;
}

void InputFile::Rewind() {
  // The records are read twice (preview, then conversion); a pipe or a device cannot go
  // back, and reading on would silently lose the records the preview took.
  std::clearerr(file_);
  errno = 0;
  if (std::fseek(file_, 0, SEEK_SET) != 0) {
    throw FatalStop::Message("Can't read the input file " + name_ + " a second time: " +
                             std::strerror(errno != 0 ? errno : EIO));
  }
  pos_ = end_ = 0;
  eof_ = false;
}

}  // namespace haplovex
