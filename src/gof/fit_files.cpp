#include "gof/fit_files.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/format.h"
#include "gof/fit_reading.h"
#include "tabulate/tidy_tables.h"

namespace haplovex::gof {
namespace {

// `text` right-justified in `width` columns, or as it is where it is wider.
std::string Right(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// A total's line: name, statistic, df, p ("-" where not tested).
std::string TotalLine(const TestResult& test) {
  return "  " + Padded(test.name, 8) + Right(Decimals(test.statistic, 3), 12) +
         Right(std::to_string(test.df), 6) +
         Right(test.tested() ? Decimals(test.p, 4) : std::string("-"), 10);
}

// A component's line: test, period, stratum ("-" where the test has none), then its figures
// and method, or that it was not tested.
std::string ComponentLine(const std::string& test, const Component& c, const std::string& strata_codes) {
  std::string line = "  " + Padded(test, 8) + Right(std::to_string(c.occasion), 7) +
                     Right(c.stratum > 0 ? CodeLabel(strata_codes, c.stratum) : std::string("-"), 8);
  if (!c.tested()) return line + Right("-", 12) + Right("0", 6) + Right("-", 10) + "  not tested";
  line += Right(Decimals(c.statistic, 4), 12) + Right(std::to_string(c.df), 6) + Right(Decimals(c.p, 4), 10) +
          "  " + MethodName(c.method);
  if (c.sparse()) line += "  sparse (least expected " + Decimals(c.least_expected, 2) + ")";
  return line;
}

// The lines of one group: c-hat and its reading, the totals, the notes, the components.
void WriteGroupText(const GroupFit& g, OutputFile& file) {
  file.WriteLine("");
  file.WriteLine("Group " + g.group);
  file.WriteLine(CHatLine(HeadlineTest(g)));
  for (const std::string& line : Reading(g)) file.WriteLine(line);
  file.WriteLine("");
  file.WriteLine("  Test       statistic    df         p");
  for (const TestResult& t : g.multi) file.WriteLine(TotalLine(t));
  file.WriteLine(TotalLine(g.jmv));
  file.WriteLine("");
  file.WriteLine("  Strata pooled (single-state tests):");
  for (const TestResult& t : g.single) file.WriteLine(TotalLine(t));
  file.WriteLine(TotalLine(g.cjs));
  file.WriteLine("  c-hat (JMV) = " + Decimals(CHat(g.jmv), 3) + ", c-hat (CJS) = " + Decimals(CHat(g.cjs), 3) +
                 ": the headline above is " + HeadlineTest(g).name + "'s" +
                 (g.one_stratum ? " (one stratum)" : "; CJS's is for a model of the strata pooled"));
  const std::vector<std::pair<std::string, std::string>> notes = SharedNotes(g);
  if (!notes.empty()) {
    file.WriteLine("");
    file.WriteLine("  Notes:");
    for (const auto& [tests, note] : notes) file.WriteLine("  " + tests + ": " + note);
  }
  file.WriteLine("");
  file.WriteLine("  Components");
  file.WriteLine("  Test       period stratum  statistic    df         p  method");
  for (const std::vector<TestResult>* tests : {&g.multi, &g.single}) {
    for (const TestResult& t : *tests) {
      for (const Component& c : t.components) file.WriteLine(ComponentLine(t.name, c, g.strata_codes));
    }
  }
}

// The figures of a row of the CSV table: the statistic unrounded to 6 decimals, df, p to 6
// significant digits (none where not tested), and the method.
void CsvFigures(const Figures& figures, CsvRow& row) {
  row.Text(Decimals(figures.statistic, 6)).Number(figures.df);
  if (figures.tested()) {
    row.Text(SignificantDigits(figures.p, 6));
  } else {
    row.Empty();
  }
  row.Text(MethodName(figures.method));
}

// The least expected count of a sparse component (empty where it is not one, and on a total).
void CsvLeastExpected(const Component* c, CsvRow& row) {
  if (c != nullptr && c->sparse()) {
    row.Text(Decimals(c->least_expected, 6));
  } else {
    row.Empty();
  }
}

// A test's total: no period, no stratum.
void CsvTotal(const std::string& group, const TestResult& test, OutputFile& file) {
  CsvRow row;
  row.Text(group).Text(test.name).Empty().Empty();
  CsvFigures(test, row);
  CsvLeastExpected(nullptr, row);
  row.WriteTo(file);
}

// A row per component of the test, then its total.
void CsvTest(const GroupFit& g, const TestResult& test, OutputFile& file) {
  const std::string& group = g.group;
  for (const Component& c : test.components) {
    CsvRow row;
    row.Text(group).Text(test.name).Number(c.occasion);
    if (c.stratum > 0) {
      row.Text(CodeLabel(g.strata_codes, c.stratum));
    } else {
      row.Empty();
    }
    CsvFigures(c, row);
    CsvLeastExpected(&c, row);
    row.WriteTo(file);
  }
  CsvTotal(group, test, file);
}

// A row of c-hat: no period, no stratum, c-hat as the statistic and the df it rests on, no p
// and no method.
void CsvCHat(const std::string& group, const char* name, const TestResult& overall, OutputFile& file) {
  CsvRow row;
  row.Text(group).Text(name).Empty().Empty().Text(Decimals(CHat(overall), 6)).Number(overall.df).Empty().Empty();
  CsvLeastExpected(nullptr, row);
  row.WriteTo(file);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SharedNotes(const GroupFit& g) {
  std::vector<std::pair<std::string, std::string>> notes;
  for (const std::vector<TestResult>* tests : {&g.multi, &g.single}) {
    for (const TestResult& t : *tests) {
      for (const std::string& note : t.notes) {
        auto same = std::find_if(notes.begin(), notes.end(),
                                 [&](const auto& n) { return n.second == note; });
        if (same == notes.end()) {
          notes.emplace_back(t.name, note);
        } else {
          same->first += ", " + t.name;
        }
      }
    }
  }
  return notes;
}

const char* MethodName(Method method) {
  switch (method) {
    case Method::kChiSquare:
      return "chi-square";
    case Method::kFisher:
      return "fisher";
    case Method::kNone:
      break;
  }
  return "none";
}

void WriteFitText(const FitSetting& setting, const std::vector<GroupFit>& groups,
                  OutputFile& file) {
  file.WriteLine("HAPLOVEX goodness-of-fit tests");
  file.WriteLine("Title: " + TextAsUtf8(setting.title));
  const auto group_count = static_cast<int64_t>(groups.size());
  file.WriteLine(std::to_string(setting.periods) + " " + Plural(setting.periods, "period") + ", " +
                 std::to_string(setting.strata) + " " + Plural(setting.strata, "stratum", "strata") + ", " +
                 std::to_string(group_count) + " " + Plural(group_count, "group") +
                 "; the tests of each group are computed on its records as read.");
  if (setting.ages_pooled) {
    file.WriteLine("The age classes were pooled: the tests take all animals of a group together.");
  }
  if (groups.size() > 1) {
    file.WriteLine("");
    file.WriteLine("All groups together (each group's headline test summed: what a model of all groups carries)");
    file.WriteLine(CHatLine(AllGroups(groups)));
  }
  for (const GroupFit& g : groups) WriteGroupText(g, file);
}

void WriteFitCsv(const std::vector<GroupFit>& groups, OutputFile& file) {
  CsvRow header;
  for (const char* name :
       {"group", "test", "period", "stratum", "statistic", "df", "p", "method", "least_expected"}) {
    header.Text(name);
  }
  header.WriteTo(file);
  for (const GroupFit& g : groups) {
    for (const TestResult& t : g.multi) CsvTest(g, t, file);
    CsvTotal(g.group, g.jmv, file);
    for (const TestResult& t : g.single) CsvTest(g, t, file);
    CsvTotal(g.group, g.cjs, file);
    CsvCHat(g.group, "c-hat", HeadlineTest(g), file);
    CsvCHat(g.group, "c-hat (CJS)", g.cjs, file);
  }
  if (groups.size() > 1) CsvCHat("", "all groups", AllGroups(groups), file);
}

}  // namespace haplovex::gof
