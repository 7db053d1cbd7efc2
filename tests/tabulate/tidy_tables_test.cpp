#include "tabulate/tidy_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/text_file.h"

namespace haplovex {
namespace {

struct RowCase {
  const char* what;
  std::function<void(CsvRow&)> fill;
  std::string line;
};

// Rows as R's read.csv and pandas read them: a field quoted only where it holds a comma, a
// quote or a line end, its quotes doubled; numbers in full; CR LF at the end.
TEST(CsvRowTest, FieldsAreQuotedOnlyWhereNeededAndCountsWrittenInFull) {
  const CodeFields odd_codes("A,\" ", 4);  // a comma and a quote typed as stratum codes
  const std::vector<RowCase> cases = {
      {"plain text and numbers", [](CsvRow& r) { r.Text("M").Number(3).Number(0); }, "M,3,0\r\n"},
      {"empty fields", [](CsvRow& r) { r.Text("A").Empty().Empty().Number(7); }, "A,,,7\r\n"},
      {"comma", [](CsvRow& r) { r.Text("a,b"); }, "\"a,b\"\r\n"},
      {"quote", [](CsvRow& r) { r.Text("say \"hi\""); }, "\"say \"\"hi\"\"\"\r\n"},
      {"line ends", [](CsvRow& r) { r.Text("a\rb").Text("c\nd"); }, "\"a\rb\",\"c\nd\"\r\n"},
      {"past nine digits, never asterisks",
       [](CsvRow& r) { r.Number(1000000000).Number(std::numeric_limits<int64_t>::max()); },
       "1000000000,9223372036854775807\r\n"},
      {"negative", [](CsvRow& r) { r.Number(-12); }, "-12\r\n"},
      {"code labels formatted once",
       [&](CsvRow& r) { r.Fields(odd_codes[1]).Fields(odd_codes[2]).Fields(odd_codes[3]); },
       "A,\",\",\"\"\"\"\r\n"},
      {"a blank code is its number", [&](CsvRow& r) { r.Fields(odd_codes[4]).Number(1); }, "4,1\r\n"},
      // A single age class, whose code is never asked (HAPLOVEX.OUT's labels call it A).
      {"a single age class is 1", [](CsvRow& r) { r.Fields(CodeFields(AgeCodes(ConversionSettings{}), 1)[1]); },
       "1\r\n"},
      {"age classes by their codes",
       [](CsvRow& r) {
         ConversionSettings s;
         s.nage = 2;
         s.acodes = "JA" + std::string(24, ' ');
         const CodeFields ages(AgeCodes(s), 2);
         r.Fields(ages[1]).Fields(ages[2]);
       },
       "J,A\r\n"},
      {"a cohort's fields repeated",
       [](CsvRow& r) {
         CsvRow cohort;
         cohort.Text("F").Number(2);
         r.Fields(cohort).Number(5).Text("B");
       },
       "F,2,5,B\r\n"},
  };
  for (const RowCase& c : cases) {
    OutputFile file("HAPLOVEX.releases.csv");
    file.OpenMemory();
    CsvRow row;
    c.fill(row);
    row.WriteTo(file);
    // The row starts again empty after each line.
    row.Text("next").WriteTo(file);
    EXPECT_EQ(file.contents(), c.line + "next\r\n") << c.what;
  }
}

}  // namespace
}  // namespace haplovex
