#include "runctl/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "memory/parameters.h"
#include "memory/runs.h"
#include "movement/parameters.h"
#include "movement/runs.h"
#include "prnt/labels.h"

namespace haplovex {
namespace {

// The estimation runs that the converter of the model set of `s` writes.
std::vector<std::string> RunsWritten(const ConversionSettings& s) {
  OutputFile out("HAPLOVEX.OUT");
  out.OpenMemory();
  if (IsMemoryModel(s.modset)) {
    const LabelTable lbl(MemoryParameters(s).npar(), kMemoryLayout.label_width, "LBL");
    return WriteMemoryRuns(s, lbl, out);
  }
  const LabelTable lbl(MovementParameters(s).npar(), kMovementLayout.label_width, "lbl");
  return WriteMovementRuns(s, lbl, out);
}

std::string Padded(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

// The captured groups of every match of `pattern` in `text`.
std::vector<std::vector<std::string>> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::vector<std::string>> all;
  const std::regex re(pattern);
  const std::sregex_iterator end;
  for (auto m = std::sregex_iterator(text.begin(), text.end(), re); m != end; ++m) {
    all.emplace_back();
    for (size_t i = 1; i < m->size(); ++i) all.back().push_back((*m)[i].str());
  }
  return all;
}

// The section of the page under a heading, as far as its end.
std::string Section(const std::string& page, const std::string& heading) {
  const size_t start = page.find("<h2>" + heading + "</h2>");
  if (start == std::string::npos) return "";
  return page.substr(start, page.find("</section>", start) - start);
}

// A piece of the page as a reader sees it: the tags dropped.
std::string Shown(const std::string& html) {
  return std::regex_replace(html, std::regex("<[^>]*>"), "");
}

// Three strata (N, S, W), four periods, two groups (M, F) of one age class.
class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    checks_.comment_lines = 2;
    digest_.npar = 60;
  }
  // The page of the run, with the estimation runs its converter writes.
  std::string Page() const {
    RunDigest digest = digest_;
    digest.runs = RunsWritten(s_);
    return ReportPage({s_, "geese & swans.inp", checks_, digest, warnings_});
  }

  ConversionSettings s_{.nstrata = 3, .nyrs = 4, .nage = 1, .ngroups = 2, .grpcol = 20,
                        .frqcol1 = 16, .frqcol2 = 18, .codcol = {11, 12, 13, 14},
                        .title = Padded("Geese <north> & \"south\" 'pilot'", kTitleWidth),
                        .scodes = Padded("NSW", kCodesWidth), .acodes = Padded("", kCodesWidth),
                        .gcodes = Padded("MF", kCodesWidth)};
  RecordChecks checks_;
  RunDigest digest_{.records = 1234, .animals = 56789, .strata = 3, .periods = 4,
                    // period by period, the strata in order within each
                    .caught = {220, 0, 11, 110, 55, 0, 22, 200, 100, 0, 44, 2},
                    .transitions = {{0, 12, 3, 7, 0, 40, 1, 5, 0}, {2, 0, 0, 0, 9, 6, 0, 30, 4}}};
  std::vector<std::string> warnings_ = {
      "the title holds a ', which ends the quoted title in HAPLOVEX.OUT early",
      "2 records with no capture; the first is record 2"};
};

TEST_F(ReportTest, TitleIsEscapedWhereverShown) {
  const std::string page = Page();
  const std::string escaped = "Geese &lt;north&gt; &amp; &quot;south&quot; &#39;pilot&#39;";
  EXPECT_NE(page.find("<title>HAPLOVEX report: " + escaped + "</title>"), std::string::npos);
  EXPECT_NE(page.find("<h1>HAPLOVEX report: " + escaped + "</h1>"), std::string::npos);
  EXPECT_EQ(page.find("<north"), std::string::npos);
  EXPECT_EQ(Matches(page, escaped).size(), 3u);  // page title, heading, settings table
}

TEST_F(ReportTest, SettingsTable) {
  const std::map<std::string, std::string> plain = {
      {"Capture-history file", "geese &amp; swans.inp"},
      {"Strata", "3, codes NSW"},
      {"Time periods", "4, columns 11 to 14"},
      {"Fate column", "none: every animal released"},
      {"Age classes", "1"},
      {"Groups", "2, codes MF in column 20"},
      {"Frequency", "columns 16 to 18"},
      {"Model set", "2, movement-only"},
      {"Title", "Geese &lt;north&gt; &amp; &quot;south&quot; &#39;pilot&#39;"},
  };
  struct Case {
    std::function<void(ConversionSettings&)> change;
    std::map<std::string, std::string> rows;  // the rows that differ from the plain ones
  };
  const std::vector<Case> cases = {
      {[](ConversionSettings&) {}, {}},
      {[](ConversionSettings& s) { s.codcol = {11, 13, 15, 17}; },
       {{"Time periods", "4, columns 11, 13, 15, 17"}}},
      {[](ConversionSettings& s) { s.fatecol = 9; s.frqcol1 = s.frqcol2 = 0; },
       {{"Fate column", "9"}, {"Frequency", "none: one animal a record"}}},
      {[](ConversionSettings& s) {
         s.nage = 2;
         s.acodes = Padded("JA", kCodesWidth);
         s.agecol = 21;
       },
       {{"Age classes", "2, codes JA (youngest first) in column 21"}}},
      {[](ConversionSettings& s) { s.modset = ModelSet::kMovementOnlySm; s.smstrat = 2; },
       {{"Model set", "4, movement-only with the S-M parameterization"},
        {"S-M choice", "2 (stratum S)"}}},
  };
  const ConversionSettings before = s_;
  for (const Case& c : cases) {
    s_ = before;
    c.change(s_);
    std::map<std::string, std::string> expected = plain;
    for (const auto& [name, value] : c.rows) expected[name] = value;
    std::map<std::string, std::string> shown;
    const std::string table = Section(Page(), "Settings as answered");
    for (const auto& row : Matches(table, "<tr><th>(.*?)</th><td>(.*?)</td></tr>")) {
      shown[row[0]] = Shown(row[1]);
    }
    EXPECT_EQ(shown, expected);
  }
}

TEST_F(ReportTest, RecordsAndWarnings) {
  std::string records = Section(Page(), "Records read");
  EXPECT_NE(Shown(records).find("1,234 records, representing 56,789 animals. 2 comment lines "
                                "were not read as records. The model has 60 parameters."),
            std::string::npos);
  const std::vector<std::vector<std::string>> listed = {
      {"the title holds a &#39;, which ends the quoted title in HAPLOVEX.OUT early"},
      {"2 records with no capture; the first is record 2"}};
  EXPECT_EQ(Matches(records, "<li>(.*?)</li>"), listed);

  warnings_.clear();
  checks_.comment_lines = 0;
  checks_.empty_lines = 3;
  records = Section(Page(), "Records read");
  EXPECT_NE(Shown(records).find("animals. 3 empty lines were read as records of no animals. The"),
            std::string::npos);
  EXPECT_NE(records.find("None: the records look as the settings say."), std::string::npos);
  EXPECT_EQ(records.find("<li>"), std::string::npos);
}

// The largest count, 220, is the chart's height in pixels: a count c stands at y = 230 - c
// (the axis), and period p at x = 60 + 200 (p - 1) (the chart is 600 wide).
TEST_F(ReportTest, CaptureChartHasALinePerStratum) {
  const std::string chart = Section(Page(), "Animals caught at each period");
  const auto lines = Matches(chart, "<polyline [^>]*stroke=\"([^\"]*)\"[^>]*points=\"([^\"]*)\"");
  ASSERT_EQ(lines.size(), 3u);
  std::vector<int64_t> caught(12, -1);
  for (size_t k = 0; k < lines.size(); ++k) {
    const auto points = Matches(lines[k][1], "(\\d+),(\\d+)");
    ASSERT_EQ(points.size(), 4u) << lines[k][1];
    for (size_t p = 0; p < points.size(); ++p) {
      EXPECT_EQ(std::stoi(points[p][0]), 60 + 200 * static_cast<int>(p));
      caught[p * 3 + k] = 230 - std::stoi(points[p][1]);
    }
  }
  EXPECT_EQ(caught, digest_.caught);
  // A legend entry per stratum, in the colour of its line; no two lines alike.
  const auto legend =
      Matches(chart, "<rect [^>]*fill=\"([^\"]*)\"/><text [^>]*>stratum (.*?)</text>");
  ASSERT_EQ(legend.size(), 3u);
  for (size_t k = 0; k < legend.size(); ++k) {
    EXPECT_EQ(legend[k][0], lines[k][0]);
    EXPECT_EQ(legend[k][1], std::string(1, "NSW"[k]));
  }
  EXPECT_EQ((std::set<std::string>{lines[0][0], lines[1][0], lines[2][0]}).size(), 3u);
}

TEST_F(ReportTest, HeatMapHoldsTheTransitions) {
  const std::string movements = Section(Page(), "Movements between strata");
  const auto headings = Matches(movements, "<h3>(.*?)</h3>");
  ASSERT_EQ(headings.size(), 2u);
  EXPECT_EQ(headings[0][0], "Group M, age class 1");
  EXPECT_EQ(headings[1][0], "Group F, age class 1");
  const auto tables = Matches(movements, "<table class=\"heat\">([\\s\\S]*?)</table>");
  ASSERT_EQ(tables.size(), 2u);
  for (size_t t = 0; t < tables.size(); ++t) {
    SCOPED_TRACE(headings[t][0]);
    EXPECT_EQ(Matches(tables[t][0], "<tr><th>(.)</th>"),
              (std::vector<std::vector<std::string>>{{"N"}, {"S"}, {"W"}}));
    // An empty cell is left white, the largest count has the darkest shade.
    const std::vector<int64_t>& typed = digest_.transitions[t];
    const int64_t most = *std::max_element(typed.begin(), typed.end());
    std::vector<int64_t> cells;
    for (const auto& cell : Matches(tables[t][0], "<td( class=\"h\\d\")?>(\\d+)</td>")) {
      cells.push_back(std::stoll(cell[1]));
      const int64_t count = cells.back();
      EXPECT_EQ(cell[0], count == 0 ? "" : count == most ? " class=\"h9\"" : cell[0]) << count;
    }
    EXPECT_EQ(cells, typed);
  }
}

TEST_F(ReportTest, GuideNamesTheEstimationRuns) {
  struct Case {
    ModelSet set;
    int32_t strata, ages, groups;
    std::vector<std::string> runs;  // in the order of HAPLOVEX.OUT; the other names absent
  };
  const std::vector<Case> cases = {
      {ModelSet::kMovementOnly, 3, 1, 2, {"MODL_D", "MODL_B", "MODL_A", "1GRP_A"}},
      {ModelSet::kMovementOnlySm, 3, 2, 1, {"MODL_D", "MODL_B", "MODL_A", "1AGE_A"}},
      {ModelSet::kMemoryMovement, 3, 1, 1, {"NOMEM", "MEM1", "MEM_FULL"}},
      {ModelSet::kMemoryMovement, 2, 1, 1, {"NOMEM", "MEM_FULL"}},
      {ModelSet::kMemoryMovementSm, 3, 1, 1, {"NOMEM", "MEM_FULL"}},
  };
  for (const Case& c : cases) {
    s_.modset = c.set;
    s_.nstrata = c.strata;
    s_.nage = c.ages;
    s_.ngroups = c.groups;
    const std::string guide = Section(Page(), "What HAPLOVEX.OUT holds");
    size_t last = 0;
    for (const char* name :
         {"MODL_D", "MODL_B", "MODL_A", "1AGE_A", "1GRP_A", "NOMEM", "MEM1", "MEM_FULL"}) {
      const size_t at = guide.find("<code>" + std::string(name) + "</code>");
      const bool named = std::find(c.runs.begin(), c.runs.end(), name) != c.runs.end();
      EXPECT_EQ(at != std::string::npos, named) << static_cast<int>(c.set) << ": " << name;
      if (named && at != std::string::npos) {
        EXPECT_GT(at, last) << name;
        last = at;
      }
    }
  }
}

}  // namespace
}  // namespace haplovex
