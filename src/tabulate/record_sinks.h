// The sink list: what every reading of the records counts besides the converter's own tables,
// which come first (Tabulation::ReadAll). Each sink is switched on by the run's options as it
// decides (a switched-off sink counts nothing), and its result reaches the run in RecordsRead,
// found by the sink's type: read.counted.Of<ChartCounts>().
//
// To count something more of the records: write its sink in a file of its own, as
// chart_counts.h is written (what a sink brings: record_sink.h), and name it here.
#pragma once

#include "tabulate/chart_counts.h"
#include "tabulate/fit_counting.h"
#include "tabulate/record_sink.h"

namespace haplovex {

using OtherSinks = SinkList<ChartCounts, FitCounting>;

}  // namespace haplovex
