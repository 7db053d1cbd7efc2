// How the goodness-of-fit tests of a run are written: HAPLOVEX.GOF, a table a person reads,
// and with --csv HAPLOVEX.gof.csv, a row per component and per total.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/text_file.h"
#include "gof/fit_result.h"
#include "gof/group_fit.h"

namespace haplovex::gof {

// What a run's tests were computed on.
struct FitSetting {
  std::string title;
  int periods = 0;
  int strata = 0;
  bool ages_pooled = false;  // more than one age class, tested as one
};

void WriteFitText(const FitSetting& setting, const std::vector<GroupFit>& groups, OutputFile& file);
void WriteFitCsv(const std::vector<GroupFit>& groups, OutputFile& file);

// The notes of a group's tests, a note several tests share once: (the tests' names, the note).
std::vector<std::pair<std::string, std::string>> SharedNotes(const GroupFit& g);

// The method's name in the CSV table: "chi-square", "fisher" or "none".
const char* MethodName(Method method);

}  // namespace haplovex::gof
