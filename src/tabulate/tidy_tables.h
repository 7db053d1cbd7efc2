// Tidy tables of what was read (--csv), beside HAPLOVEX.OUT: comma-separated values as RFC
// 4180 has them (a header row, one observation a row, lines ended by CR LF, a field quoted
// where it holds a comma, a quote or a line end), which R's read.csv and pandas read with no
// options. Codes stand as the user typed them, periods as numbers, counts in full.
//
//   HAPLOVEX.releases.csv      the m-array: each cohort released, where its animals were
//                              caught next, and how many were never seen again
//   HAPLOVEX.transitions.csv   the movements between strata of the run summary
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"

namespace haplovex {

// One row, field by field.
class CsvRow {
 public:
  CsvRow& Text(std::string_view field);
  CsvRow& Number(int64_t value);
  CsvRow& Empty() { return Text(""); }
  // The fields of `other` (a label, or the fields a cohort's rows all begin with), formatted
  // once and written again on every row.
  CsvRow& Fields(const CsvRow& other);
  // Writes the row to `file`, ended by CR LF, and starts the next one.
  void WriteTo(OutputFile& file);

 private:
  void Separate();
  std::string line_;
  bool first_ = true;
};

// The label of code k (1-based) of `codes`: the code typed, or the number k where none was
// (a single group or age class, whose code is never asked).
std::string CodeLabel(const std::string& codes, int32_t k);
// The age codes as the tables label the age classes: those typed, or none for a single class
// (whose code is never asked, though the labels of HAPLOVEX.OUT call it A).
std::string AgeCodes(const ConversionSettings& s);
// The labels of codes 1..count as fields, formatted once for the many rows that repeat them.
class CodeFields {
 public:
  CodeFields(const std::string& codes, int32_t count);
  // Code k, 1-based.
  const CsvRow& operator[](int32_t k) const { return fields_[static_cast<size_t>(k - 1)]; }

 private:
  std::vector<CsvRow> fields_;
};

// The movement-only model sets' tables: a row per next capture of a cohort, in the order of
// the cohort statements, and the animals never seen again; the transitions by group and age
// class. Rows of next captures of no animal are left out; every cohort has its row of animals
// never seen again.
void WriteMovementTidyTables(const ConversionSettings& s, const CohortCounts& tables,
                             OutputFile& releases, OutputFile& transitions);

}  // namespace haplovex
