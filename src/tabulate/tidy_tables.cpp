#include "tabulate/tidy_tables.h"

#include <charconv>
#include <iterator>

namespace haplovex {

void CsvRow::Separate() {
  if (!first_) line_ += ',';
  first_ = false;
}

CsvRow& CsvRow::Text(std::string_view field) {
  Separate();
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    line_ += field;
    return *this;
  }
  line_ += '"';
  for (char c : field) {
    if (c == '"') line_ += '"';
    line_ += c;
  }
  line_ += '"';
  return *this;
}

CsvRow& CsvRow::Number(int64_t value) {
  Separate();
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
  line_.append(digits, end);
  return *this;
}

CsvRow& CsvRow::Fields(const CsvRow& other) {
  Separate();
  line_ += other.line_;
  return *this;
}

void CsvRow::WriteTo(OutputFile& file) {
  line_ += "\r\n";
  file.Write(line_);
  line_.clear();
  first_ = true;
}

std::string CodeLabel(const std::string& codes, int32_t k) {
  const char code = k >= 1 && static_cast<size_t>(k) <= codes.size() ? codes[static_cast<size_t>(k - 1)] : ' ';
  return code == ' ' ? std::to_string(k) : CodeAsUtf8(code);
}

std::string AgeCodes(const ConversionSettings& s) {
  return s.nage > 1 ? s.acodes : std::string(kCodesWidth, ' ');
}

CodeFields::CodeFields(const std::string& codes, int32_t count) : fields_(static_cast<size_t>(count)) {
  for (int32_t k = 1; k <= count; ++k) fields_[static_cast<size_t>(k - 1)].Text(CodeLabel(codes, k));
}

void WriteMovementTidyTables(const ConversionSettings& s, const CohortCounts& tables,
                             OutputFile& releases, OutputFile& transitions) {
  const CodeFields strata(s.scodes, s.nstrata);
  const CodeFields ages(AgeCodes(s), s.nage);
  const CodeFields groups(s.gcodes, s.ngroups);
  CsvRow row;
  for (const char* name : {"group", "age", "release_period", "release_stratum", "released",
                           "next_period", "next_stratum", "animals"}) {
    row.Text(name);
  }
  row.WriteTo(releases);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t i = 1; i <= s.nyrs - 1; ++i) {
        for (int32_t from = 1; from <= s.nstrata; ++from) {
          const int64_t released = tables.n(i, from, a, g);
          CsvRow cohort;
          cohort.Fields(groups[g]).Fields(ages[a]).Number(i);
          cohort.Fields(strata[from]).Number(released);
          int64_t seen = 0;
          for (int32_t j = i + 1; j <= s.nyrs; ++j) {
            const int64_t ij = PairIndex(i, j, s.nyrs);
            for (int32_t to = 1; to <= s.nstrata; ++to) {
              const int64_t animals = tables.bt(ij, from, to, a, g);
              if (animals == 0) continue;
              row.Fields(cohort).Number(j).Fields(strata[to]).Number(animals).WriteTo(releases);
              seen += animals;
            }
          }
          row.Fields(cohort).Empty().Empty().Number(released - seen).WriteTo(releases);
        }
      }
    }
  }

  for (const char* name : {"group", "age", "from_stratum", "to_stratum", "animals"}) row.Text(name);
  row.WriteTo(transitions);
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage; ++a) {
      for (int32_t from = 1; from <= s.nstrata; ++from) {
        for (int32_t to = 1; to <= s.nstrata; ++to) {
          row.Fields(groups[g]).Fields(ages[a]);
          row.Fields(strata[from]).Fields(strata[to]);
          row.Number(tables.btot(to, from, a, g)).WriteTo(transitions);
        }
      }
    }
  }
}

}  // namespace haplovex
