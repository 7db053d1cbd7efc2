// How the records are read, and what of the run's options the record path's sinks switch on by.
#pragma once

#include "tabulate/kernels/kernel_set.h"

namespace haplovex {

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
};

}  // namespace haplovex
