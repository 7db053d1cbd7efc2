#include "common/text_file.h"

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
  if (file_ != platform::kNoFile) platform::CloseFile(file_);
  if (!partial_.empty()) {
    platform::Remove(*folder_, partial_);
    ForgetPartialFile(*folder_, partial_);
  }
}

int OutputFile::OpenPartial(const WorkFolder& folder) {
  folder_ = &folder.system();
  for (unsigned attempt = 1;; ++attempt) {
    std::string candidate = PartialName(name_, attempt);
    // Registered before it exists, so that no moment passes in which a stop signal would
    // leave it behind.
    RegisterPartialFile(*folder_, candidate);
    const int error = platform::CreateNew(*folder_, candidate, file_);
    if (error == 0) {
      partial_ = std::move(candidate);
      return 0;
    }
    ForgetPartialFile(*folder_, candidate);
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
  if (const int error = platform::WriteAll(file_, buffer_.data(), buffer_.size()); error != 0) {
    Fail(error);
  }
  buffer_.clear();
}

void OutputFile::Finish() {
  if (in_memory_ || file_ == platform::kNoFile) return;
  Flush();
  if (const int error = platform::SyncFile(file_); error != 0) Fail(error);
  const platform::FileHandle file = file_;
  file_ = platform::kNoFile;
  if (const int error = platform::CloseFile(file); error != 0) Fail(error);
}

void OutputFile::Placed() {
  ForgetPartialFile(*folder_, partial_);
  partial_.clear();
}

InputFile::~InputFile() {
  if (file_ != platform::kNoFile) platform::CloseFile(file_);
}

int InputFile::Open(const std::filesystem::path& path, std::string display_name,
                    const WorkFolder* folder) {
  const std::u8string bytes = path.u8string();
  return Open(std::string(bytes.begin(), bytes.end()), std::move(display_name), folder);
}

int InputFile::Open(const std::string& name, std::string display_name, const WorkFolder* folder) {
  name_ = std::move(display_name);
  static const platform::Folder kCurrentFolder;
  if (const int error =
          platform::OpenToRead(folder != nullptr ? folder->system() : kCurrentFolder, name, file_, info_);
      error != 0) {
    return error;
  }
  return Adopt();
}

int InputFile::OpenStream(std::FILE* file, std::string display_name) {
  if (file_ != platform::kNoFile) platform::CloseFile(file_);
  file_ = platform::kNoFile;
  name_ = std::move(display_name);
  in_memory_ = false;
  std::string().swap(memory_);
  if (const int error = platform::DuplicateStream(file, file_); error != 0) return error;
  int error = platform::SeekToStart(file_);
  if (error == 0) error = platform::FactsOf(file_, info_);
  if (error != 0) {
    platform::CloseFile(file_);
    file_ = platform::kNoFile;
    return error;
  }
  return Adopt();
}

int InputFile::Adopt() {
  int refused = 0;
  if (info_.kind == platform::FileFacts::Kind::kFolder) {
    refused = EISDIR;
  } else if (info_.kind != platform::FileFacts::Kind::kRegular) {
    refused = kNotRegular;
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
    platform::CloseFile(file_);
    file_ = platform::kNoFile;
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
  int error = 0;
  const int64_t got = platform::Read(file_, to, size, error);
  if (got < 0) errno = error;
  return static_cast<ssize_t>(got);
}

ssize_t InputFile::ReadAt(uint64_t offset, char* to, size_t size) const {
  if (in_memory_) {
    if (offset >= memory_.size()) return 0;
    const size_t got = std::min<uint64_t>(size, memory_.size() - offset);
    std::memcpy(to, memory_.data() + offset, got);
    return static_cast<ssize_t>(got);
  }
  int error = 0;
  const int64_t got = platform::ReadAt(file_, offset, to, size, error);
  if (got < 0) errno = error;
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
  if (const int error = platform::SeekToStart(file_); error != 0) {
    throw FatalStop::Message("Can't read the input file " + name_ + " a second time: " +
                             Reason(error));
  }
}

}  // namespace haplovex
