// The tables of movements between strata that end every run, on the console and in
// HAPLOVEX.SUM: a row per stratum an animal was caught in, a column per stratum it was next
// caught in.
//
// The movement-only converter writes one table per group and age class:
//
//    Test run                                                          <- file only: the title
//    MOVEMENT TRANSITIONS:
//    GROUP            1 AGE            1
//        1     1                                                       <- from A: to A, to B
//        0     1
//                                                                      <- empty line
#pragma once

#include <cstdint>
#include <string_view>

#include "common/format.h"
#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/conversion.h"

namespace haplovex {

// Writes `line` to the console, then the same line to the summary file.
void WriteToBoth(const ConversionStreams& streams, std::string_view line);

// The rows of one transition table, `width` columns a count and `per_line` counts to a line;
// `count(from, to)` is the number of pairs of captures from stratum `from` to stratum `to`.
template <typename Count>
void WriteTransitionRows(const ConversionStreams& streams, int32_t nstrata, int width, int per_line, Count count) {
  for (int32_t from = 1; from <= nstrata; ++from) {
    NumberRows(
        nstrata, width, per_line,
        [&](int64_t to) { return count(from, static_cast<int32_t>(to)); },
        [&](const std::string& line) { WriteToBoth(streams, line); });
  }
}

// The movement-only converter's summary, from btot.
void WriteMovementSummary(const ConversionSettings& s, const CohortCounts& tables,
                          const ConversionStreams& streams);

}  // namespace haplovex
