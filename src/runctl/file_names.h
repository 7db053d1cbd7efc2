// The run's own files in the working folder.
#pragma once

#include <array>

namespace haplovex {

inline constexpr const char* kOutputName = "HAPLOVEX.OUT";   // the estimation-program input
inline constexpr const char* kSummaryName = "HAPLOVEX.SUM";  // the run summary
inline constexpr const char* kAnswersName = "HAPLOVEX.ANS";  // a terminal run's answers
inline constexpr const char* kReleasesName = "HAPLOVEX.releases.csv";        // with --csv
inline constexpr const char* kTransitionsName = "HAPLOVEX.transitions.csv";  // with --csv
inline constexpr const char* kReportName = "HAPLOVEX.html";                  // with --report
inline constexpr const char* kFitName = "HAPLOVEX.GOF";                      // with --gof
inline constexpr const char* kFitTableName = "HAPLOVEX.gof.csv";             // with --gof --csv

// Every name a run writes, whatever its options: a run killed while putting its files in place
// is finished by the next run in the folder, whichever options that one has.
inline constexpr std::array<const char*, 8> kRunFileNames = {
    kOutputName,      kSummaryName, kAnswersName, kReleasesName,
    kTransitionsName, kReportName,  kFitName,     kFitTableName};

}  // namespace haplovex
