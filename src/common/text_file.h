// Sequential text files in the working folder: the output files the run writes and the
// capture-history file it reads.
//
// OutputFile writes whole lines through one large buffer into a partial file in the working
// folder, which becomes the named file only when the run has finished (WorkFolder,
// PutInPlace); a partial file that is never put in place is removed. Every write is checked:
// a write that fails (a full disk, the file-size limit) stops the run naming the file and the
// system's reason, so an output file can never silently miss its end.
//
// InputFile reads records in large blocks and hands out each line as the fixed-width record
// buffer the decoders expect (cut at its width, padded with blanks), with the line end and one
// carriage return in front of it removed. Its memory does not grow with the file or with the
// length of a line. Only a regular file is read: a device or a pipe could not be read twice,
// or might never end.
//
// Both can also work on text held in memory (OpenMemory), so that a converter can be run
// whole without a folder; the input then still goes through blocks of the size it was given.
#pragma once

#include <sys/types.h>  // ssize_t, on every system built for

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/limits.h"
#include "common/platform.h"

namespace haplovex {

class WorkFolder;

class OutputFile {
 public:
  // `name` is the file's name in the folder (e.g. HAPLOVEX.OUT), and how messages call it.
  explicit OutputFile(std::string name) : name_(std::move(name)) {}
  // Removes the partial file when the run did not put it in place.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the partial file in `folder`. Returns 0 or the system's error number.
  int OpenPartial(const WorkFolder& folder);
  // Keeps everything written in memory instead of a file; contents() shows it.
  void OpenMemory();
  bool is_open() const { return file_ != platform::kNoFile || in_memory_; }

  // Writes `text` and a line end. REQUIRES: is_open().
  void WriteLine(std::string_view text) {
    Write(text);
    buffer_.push_back('\n');
  }
  // Writes `text` with no line end, for callers that build a line in pieces.
  void Write(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kFlushAt && !in_memory_) Flush();
  }
  // Writes out what is still buffered, makes the file durable and closes it; a failure stops
  // the run. Does nothing for a file in memory.
  void Finish();

  const std::string& name() const { return name_; }
  // The partial file's name in the folder; empty before OpenPartial and once in place.
  const std::string& partial_name() const { return partial_; }
  // The partial file now stands under the file's name: nothing is left to remove.
  void Placed();
  // What has been written, when the file is kept in memory.
  const std::string& contents() const { return buffer_; }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;
  void Flush();
  [[noreturn]] void Fail(int error) const;

  std::string name_;
  const platform::Folder* folder_ = nullptr;
  std::string partial_;
  platform::FileHandle file_ = platform::kNoFile;
  bool in_memory_ = false;
  std::string buffer_;
};

class InputFile {
 public:
  // Bytes read at a time; also the most a line keeps in memory is independent of it.
  static constexpr size_t kDefaultBlock = size_t{1} << 20;

  explicit InputFile(size_t block_size = kDefaultBlock) : block_size_(block_size) {}
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // What Open returns for a name that is neither a regular file nor a folder.
  static constexpr int kNotRegular = -1;

  // Opens `path` (relative to `folder`, or to the current folder) for reading and reads its
  // first block, so that a folder or an unreadable file is refused here. Returns 0,
  // kNotRegular, or the system's error number.
  int Open(const std::filesystem::path& path, std::string display_name,
           const WorkFolder* folder = nullptr);
  // The same for a name as the run holds it (UTF-8 bytes, as typed).
  int Open(const std::string& name, std::string display_name, const WorkFolder* folder = nullptr);
  // True when the file read is the one `facts` describes.
  bool IsFile(const platform::FileFacts& facts) const {
    return file_ != platform::kNoFile && facts.device == info_.device && facts.id == info_.id;
  }
  // Reads `bytes` as if they were the file's content.
  void OpenMemory(std::string bytes, std::string display_name);
  // The content given to OpenMemory, taken back (nothing is left to read).
  std::string TakeMemory() && {
    std::string bytes = std::move(memory_);
    Rewind();
    return bytes;
  }
  // Reads, from its start, the regular file open as `file` (which the caller still closes), in
  // place of what was read before; messages call it `display_name`. Returns 0 or the system's
  // error number.
  int OpenStream(std::FILE* file, std::string display_name);
  bool is_open() const { return file_ != platform::kNoFile || in_memory_; }
  // The name the file was opened with, as messages give it.
  const std::string& name() const { return name_; }
  // Longest part of a line that is ever looked at: the record width.
  static constexpr size_t kLineKept = kLineWidth;

  // Points `line` at the next line: its characters up to its line end, cut at kLineKept
  // characters. A line ends at a line feed, at a carriage return, or at a carriage return and
  // the line feed right after it (one line end, also where a block ends between the two); a
  // UTF-8 byte-order mark at the start of the file is not part of the first line. The view
  // stays valid until the next call. Returns false at the end of the file. A read error stops
  // the run.
  bool NextLine(std::string_view& line) {
    // The usual case, inline: the whole line lies in the block and is handed out where it
    // stands.
    if (pos_ < end_) {
      const char* start = block_.data() + pos_;
      size_t avail = end_ - pos_;
      if (after_cr_) {
        after_cr_ = false;
        if (*start == '\n') {
          ++start;
          ++pos_;
          --avail;
        }
      }
      const size_t len = LineEndAt(start, avail);
      if (len < avail) {
        after_cr_ = start[len] == '\r';
        pos_ += len + 1;
        line = std::string_view(start, len < kLineKept ? len : kLineKept);
        return true;
      }
    }
    return NextLineSlow(line);
  }
  // Where the first line end (a line feed or a carriage return) among `n` bytes stands; `n`
  // when there is none.
  static size_t LineEndAt(const char* bytes, size_t n) {
    for (size_t k = 0; k < n; ++k) {
      if (bytes[k] == '\n' || bytes[k] == '\r') return k;
    }
    return n;
  }
  // The bytes of a UTF-8 byte-order mark, which is not part of a file's first line.
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  // Where the file's first line starts: after its byte-order mark, if it has one.
  uint64_t DataStart() const { return data_start_; }
  // Reads the next line into `record` as exactly `width` characters (width <= kLineKept): cut
  // at `width`, padded with blanks. Returns false at the end of the file.
  bool ReadRecord(std::string& record, size_t width);
  // Repositions to the first line.
  void Rewind();

  // The file's size when it was opened, or the length of the text in memory.
  uint64_t size() const { return in_memory_ ? memory_.size() : info_.size; }
  // Copies up to `size` bytes from `offset` on into `to`, leaving the place NextLine reads at
  // as it is; returns how many (fewer only at the end), or -1 with errno set on a read error.
  // Several threads may read at once.
  ssize_t ReadAt(uint64_t offset, char* to, size_t size) const;

 private:
  // Takes the file open as file_ (its facts in info_) for reading: a regular file only, its
  // first block read.
  // Returns 0, kNotRegular, or the system's error number, with file_ closed.
  int Adopt();
  bool Fill();  // Reads the next block (past a byte-order mark); false at end of file.
  // NextLine at the end of a block: the line runs on into the next one, or the file ends.
  bool NextLineSlow(std::string_view& line);

  // Copies up to `size` bytes of the file (or of the text in memory) into `to`. Returns -1
  // with errno set on a read error.
  ssize_t ReadBytes(char* to, size_t size);

  size_t block_size_;
  platform::FileHandle file_ = platform::kNoFile;
  platform::FileFacts info_;
  bool in_memory_ = false;
  std::string memory_;       // the content, when read from memory
  size_t memory_pos_ = 0;    // next byte of memory_ to hand out
  std::string name_;
  std::vector<char> block_;
  std::string carry_;  // a line that runs past the end of a block, up to kLineKept characters
  size_t pos_ = 0;   // next unread byte in block_
  size_t end_ = 0;   // bytes of block_ holding data
  bool eof_ = false;
  bool after_cr_ = false;     // the last line ended at a carriage return: a line feed next is its
  uint64_t data_start_ = 0;   // 3 after a byte-order mark, else 0
  size_t to_skip_ = 0;        // bytes of the byte-order mark not yet read past
};

}  // namespace haplovex
