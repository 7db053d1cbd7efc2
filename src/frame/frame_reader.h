// A data frame's records laid out in the columns the record path reads (settings.h,
// FrameFields): each record becomes the line a fixed-column file of the same animals would
// hold, so that every count, warning and file is the one that file gives.
//
// The file is read in parts at once. A part may start inside a quoted field, where a line end
// is data, so each part starts at the first line end after its nominal start that lies outside
// quotes: every quote of a file that reads opens or closes a quoted field (a doubled quote
// inside one opens and closes at once), so a byte lies inside quotes exactly when the quotes
// before it are odd in number. The quotes of each nominal part are counted first, at once;
// their sums give the state at every start. A file with a quote out of place is refused at its
// first fault in file order: every part before it starts where reading the whole would.
//
// The records are laid out a window of the file at a time (kFrameWindow bytes, each window read
// in parts as above), so that the run's memory does not grow with the file; each window ends
// where the record that passes its nominal end ends. Each part's lines go in memory straight
// to the record path's quick way (FrameWindows), which counts them in the thread that laid them
// out, as it counts the parts of a file of columns. Only where the quick way cannot read the
// records (the plain way alone gives the run's message, or echoes the records) are the lines
// written to an unnamed temporary file outside the working folder, which the plain way then
// reads as the file of columns: the frame is then read twice, as the file of columns is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.h"
#include "frame/frame_text.h"
#include "runctl/settings.h"
#include "tabulate/read_options.h"

namespace haplovex {

// The frame's header as the file open in `input` has it; a file that cannot be read as a frame
// stops the run with its message.
FrameHeader HeaderOf(const InputFile& input);

// The records of the frame in `input`, from `header`, laid out in the columns of `s`, read in
// parts that start nominally at `starts` (byte offsets after the header, increasing; none: one
// part). A record that cannot be read stops the run naming its line and its field.
std::string FrameColumns(const InputFile& input, const FrameHeader& header, const ConversionSettings& s,
                         const std::vector<uint64_t>& starts);

// Input bytes a window of a frame run holds at most, besides the record it ends in: the
// records are laid out in columns a window at a time, so that the run's memory does not grow
// with the file.
inline constexpr uint64_t kFrameWindow = uint64_t{32} << 20;

// The records of the frame in `input`, from `header`, laid out in columns as FrameColumns lays
// them out, read in windows of `window` input bytes (each ends at the first line start outside
// quotes after it), each window in parts for `threads` at once; `write` is called with each
// window's lines in file order.
void EachFrameWindow(const InputFile& input, const FrameHeader& header, const ConversionSettings& s, int threads,
                     uint64_t window, const std::function<void(std::string_view)>& write);

// The records of a frame laid out in columns a window at a time, as EachFrameWindow reads
// them, for the record path (ColumnWindows): the records are read once, and no file of columns
// is written.
class FrameWindows final : public ColumnWindows {
 public:
  // The windows of the frame in `input` from `header`, laid out in the columns of `s`, each
  // read by `threads` parts at once (0: as many as help here).
  FrameWindows(const InputFile& input, const FrameHeader& header, const ConversionSettings& s, int threads,
               uint64_t window = kFrameWindow);
  ~FrameWindows() override;
  size_t MostParts() const override;
  size_t Next(const std::function<void(size_t, std::string&)>& part) override;
  // As ConvertFrame.
  void PutInPlace(InputFile& input) override;

 private:
  struct Reading;
  const InputFile& input_;
  const ConversionSettings& s_;
  int threads_;
  uint64_t window_;
  std::unique_ptr<Reading> reading_;
};

// The first records of the frame in `input` laid out in columns, whole windows of them up to
// the first that reaches `lines` lines, or all of them, for a look at the records before the
// conversion. A record of those windows that cannot be read stops the run naming its line.
std::string FrameLook(const InputFile& input, const ConversionSettings& s, int threads, int64_t lines);

// Puts in the place of the frame open in `input` its records laid out in columns, read by
// `threads` parts at once (0: as many as help here) a window at a time into an unnamed
// temporary file outside the folder, which `input` then reads. REQUIRES: s.frame, the dialogue done.
void ConvertFrame(InputFile& input, const ConversionSettings& s, int threads);

}  // namespace haplovex
