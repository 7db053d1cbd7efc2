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

// Model sets 2 and 4, with their cohort tables.
Converter<CohortCounts> convert_movement_only;

}  // namespace haplovex
