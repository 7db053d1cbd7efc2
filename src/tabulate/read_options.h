// How the records are read, and what of the run's options the record path's sinks switch on by.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "tabulate/kernels/kernel_set.h"

namespace haplovex {

class InputFile;

// Records that reach the record path laid out in columns, in memory, a window of the file at
// a time, in place of the input file's lines (a data frame's): the quick way counts each
// window's parts as they come, so that no file of columns is written and memory does not grow
// with the file.
class ColumnWindows {
 public:
  virtual ~ColumnWindows() = default;
  // The most parts a window has.
  virtual size_t MostParts() const = 0;
  // Lays out the lines of the next window's parts in columns at once, and calls `part(k,
  // columns)` with part k's (its text, which may be taken and must be given back) in the thread
  // that laid it out, as soon as it is laid out. Returns how many parts the window had; 0 when
  // no window is left.
  virtual size_t Next(const std::function<void(size_t, std::string&)>& part) = 0;
  // Puts every record laid out in columns in the place of `input`, which the plain way then
  // reads from its start.
  virtual void PutInPlace(InputFile& input) = 0;
};

struct ReadOptions {
  // Threads that may read the records at once; 0: as many as help on this machine.
  int threads = 0;
  // One record at a time only: the plain way, which the quick way is held to in tests.
  bool plain_only = false;
  // The instructions the quick way reads with (one of KernelSetsHere()).
  KernelSet kernels = BestKernels();
  // The run writes its report (--report) and its goodness-of-fit tests (--gof): the sinks that
  // count for them are on (record_sinks.h). The reading itself never looks at these.
  bool report = false;
  bool gof = false;
  // Where the records come from laid out in columns, when not from the input file's lines.
  ColumnWindows* windows = nullptr;
};

}  // namespace haplovex
