// convert_movement_only: the converter of model sets 2 and 4 (the movement-only model, and the
// same with the S-M parameterization).
//
// It tabulates every record into cohort tables, then writes to HAPLOVEX.OUT the model
// statement, the cohort statements, the labels and the estimation runs, and finally the
// movement-transition tables to the console and HAPLOVEX.SUM.
#pragma once

#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/conversion.h"

namespace haplovex {

// Returns the records read, the number of parameters, the estimation runs written and the
// cohort tables. REQUIRES: `s` as the dialogue leaves it with modset 2 or 4; the output file
// holds its title line, the summary file is open and empty. Fatal conditions throw FatalStop.
ConversionResult<CohortCounts> convert_movement_only(const ConversionSettings& s,
                                                     const ConversionStreams& streams,
                                                     const ReadOptions& options);

}  // namespace haplovex
