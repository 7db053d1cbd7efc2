// The report of a run (--report): HAPLOVEX.html, one page to look at before the estimation.
//
// It shows the settings as answered; the records, animals and comment lines read; the
// warnings about the data; the animals caught at each period in each stratum, as a chart;
// the movements between strata of each group and age class, as a heat map with the counts in
// its cells; and what HAPLOVEX.OUT holds for the model set chosen. The page stands alone: its
// style and its pictures (SVG) are written into it, it runs no script and fetches nothing, so
// it reads the same offline and prints.
#pragma once

#include <string>
#include <vector>

#include "runctl/run_files.h"
#include "runctl/settings.h"

namespace haplovex {

struct ReportInput {
  const ConversionSettings& settings;
  std::string input_name;  // the capture-history file as named
  const RecordChecks& checks;
  const RunDigest& digest;
  const std::vector<std::string>& warnings;
};

// The whole page.
std::string ReportPage(const ReportInput& in);

}  // namespace haplovex
