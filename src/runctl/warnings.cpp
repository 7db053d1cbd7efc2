#include "runctl/warnings.h"

#include <algorithm>
#include <cstdint>

#include "common/format.h"
#include "runctl/run_files.h"

namespace haplovex {

namespace {

// A character as a message shows it: itself in quotes, or its code when it is not printable.
std::string Shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (!IsControlByte(c) && byte < 0x80) return std::string("\"") + c + "\"";
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("the byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
}

// The record a sighting was first made in, and its line in the file where the two differ.
std::string Record(const Sighting& seen) {
  return "record " + GroupedDigits(seen.record) +
         (seen.line != seen.record ? " (line " + GroupedDigits(seen.line) + ")" : "");
}

std::string Where(const Sighting& seen) {
  return Record(seen) + ", column " + std::to_string(seen.column);
}

}  // namespace

namespace {

// What the records look like where they may not be what the settings say.
void RecordWarnings(const ConversionSettings& s, const RecordChecks& checks,
                    std::vector<std::string>& warnings) {
  if (checks.foreign.count > 0) {
    warnings.push_back(Counted(checks.foreign.count, "history character") +
                       " neither a stratum code nor 0, . or blank, read as not caught (codes "
                       "are case-sensitive); the first is " +
                       Shown(checks.foreign.byte) + " in " + Where(checks.foreign));
  }
  if (checks.beyond.count > 0) {
    warnings.push_back(Counted(checks.beyond.count, "stratum code") + " typed beyond the " +
                       Counted(s.nstrata, "stratum", "strata") +
                       ", read as not caught; the first is " + Shown(checks.beyond.byte) +
                       " in " + Where(checks.beyond));
  }
  if (checks.no_capture.count > 0) {
    warnings.push_back(Counted(checks.no_capture.count, "record") +
                       " with no capture; the first is " + Record(checks.no_capture));
  }
  if (checks.short_record.count > 0) {
    warnings.push_back(Counted(checks.short_record.count, "record") +
                       " too short to reach every column read, the missing columns read as "
                       "blanks; the first is " + Record(checks.short_record) + ", " +
                       Counted(checks.short_record.column, "column") + " long");
  }
  if (checks.blank_frequency.count > 0) {
    warnings.push_back(Counted(checks.blank_frequency.count, "record") +
                       " with a blank frequency field, read as no animals; the first is " +
                       Where(checks.blank_frequency));
  }
  if (checks.spaced_frequency.count > 0) {
    warnings.push_back(Counted(checks.spaced_frequency.count, "record") +
                       " with blanks between the digits of the frequency field, read as one "
                       "number (\"8 10\" as 810); the first is " + Where(checks.spaced_frequency) +
                       ". A file with one count for each group is read with --inp");
  }
  if (checks.other_fields.count > 0) {
    warnings.push_back(Counted(checks.other_fields.count, "record") +
                       " with another number of fields than the first record's " +
                       std::to_string(checks.first_fields) + " (the history, the counts and " +
                       "the covariates); the first is " + Record(checks.other_fields) + ", with " +
                       std::to_string(checks.other_fields.column));
  }
  if (checks.no_releases) {
    warnings.push_back("no animal is released in any cohort: every release count is 0");
  }
}

// A title the estimation program will misread.
void TitleWarnings(const std::string& title_typed, std::vector<std::string>& warnings) {
  const std::string beyond_field = title_typed.size() > kTitleWidth
                                       ? title_typed.substr(kTitleWidth)
                                       : std::string();
  if (beyond_field.find_first_not_of(' ') != std::string::npos) {
    warnings.push_back("the title was cut at " + std::to_string(kTitleWidth) + " characters");
  }
  const std::string title = title_typed.substr(0, kTitleWidth);
  if (title.find('\'') != std::string::npos) {
    warnings.push_back("the title holds a ', which ends the quoted title in " +
                       std::string(NameOf(RunFile::kOutput)) + " early");
  }
  if (std::any_of(title.begin(), title.end(), IsControlByte)) warnings.push_back("the title holds control characters");
}

// Fields of the model statement that are written as asterisks.
void ModelStatementWarnings(const ConversionSettings& s, int64_t npar, int npar_digits,
                            std::vector<std::string>& warnings) {
  std::string wide;
  auto field = [&](const char* name, int64_t value, int64_t largest) {
    if (value <= largest) return;
    wide += (wide.empty() ? "" : ", ") + std::string(name) + " (" + GroupedDigits(value) + ")";
  };
  int64_t largest_npar = 1;
  for (int d = 0; d < npar_digits; ++d) largest_npar *= 10;
  field("NPAR", npar, largest_npar - 1);
  field("NAGE", s.nage, 9);
  field("NYRS", s.nyrs, 99);
  field("STRATA", s.nstrata, 9);
  field("NGROUPS", s.ngroups, 9);
  if (!wide.empty()) {
    warnings.push_back("the model statement writes asterisks for " + wide +
                       ": the numbers do not fit their fields");
  }
}

}  // namespace

std::vector<std::string> DataWarnings(const ConversionSettings& s, const std::string& title_typed,
                                      const RecordChecks& checks, int64_t npar, int npar_digits) {
  std::vector<std::string> warnings;
  RecordWarnings(s, checks, warnings);
  TitleWarnings(title_typed, warnings);
  ModelStatementWarnings(s, npar, npar_digits, warnings);
  return warnings;
}

}  // namespace haplovex
