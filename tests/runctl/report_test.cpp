#include "runctl/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "gof/fit_files.h"
#include "memory/parameters.h"
#include "memory/runs.h"
#include "movement/parameters.h"
#include "movement/runs.h"
#include "prnt/labels.h"
#include "version.h"

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

// The rows of the table of class `kind` as a reader sees them, a blank between cells, a share
// after its count and a colon, "x" for a cell that cannot hold a count.
std::vector<std::string> TableRows(const std::string& html, const std::string& kind) {
  std::vector<std::string> rows;
  const size_t start = html.find("<table class=\"" + kind + "\">");
  const size_t end = html.find("</table>", start);
  for (size_t at = html.find("<tr", start); at < end; at = html.find("<tr", at + 1)) {
    std::string row = html.substr(at, html.find("</tr>", at) - at);
    row = std::regex_replace(row, std::regex("<span class=\"p\">"), ":");
    row = std::regex_replace(row, std::regex("<td class=\"x\"></td>"), "<td>x</td>");
    row = Shown(std::regex_replace(row, std::regex("</t[hd]><t"), " <t"));
    rows.push_back(row);
  }
  return rows;
}

// Three strata (N, S, W), four periods, two groups (M, F) of one age class.
class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    checks_.comment_lines = 2;
    digest_.npar = 60;
    // The m-arrays of M and F: released at period i in stratum s; of those, next caught at j in t.
    digest_.tables.m_arrays = {
        MArrayOf({100, 0, 8, 40, 5, 0, 20, 200, 3},
                 {{1, 1, 2, 1, 30}, {1, 1, 2, 2, 10}, {1, 1, 3, 1, 5}, {1, 1, 3, 3, 5},
                  {1, 3, 2, 3, 1}, {1, 3, 4, 2, 1}, {2, 1, 3, 1, 12}, {2, 1, 4, 2, 4},
                  {2, 2, 3, 2, 2}, {3, 1, 4, 1, 7}, {3, 2, 4, 2, 66}, {3, 2, 4, 3, 1}}),
        MArrayOf({10, 2, 0, 6, 0, 4, 0, 50, 1},
                 {{1, 1, 2, 2, 4}, {1, 1, 4, 3, 1}, {1, 2, 3, 2, 2}, {2, 1, 3, 1, 3},
                  {2, 3, 4, 3, 1}, {3, 2, 4, 2, 25}, {3, 3, 4, 1, 1}})};
  }
  // An m-array of the fixture's 3 strata and 4 periods: released, then the cells (i, s, j, t,
  // count) of the animals released at i in s next caught at j in t.
  static MArray MArrayOf(std::vector<int64_t> released,
                         const std::vector<std::tuple<int, int, int, int, int>>& cells) {
    MArray m{.released = std::move(released), .next = std::vector<int64_t>(9 * 12, 0)};
    for (const auto& [i, s, j, t, count] : cells) {
      m.next[static_cast<size_t>(((i - 1) * 3 + s - 1) * 12 + (j - 1) * 3 + t - 1)] = count;
    }
    return m;
  }
  // The page of the run, with the estimation runs its converter writes.
  std::string Page() const {
    RunDigest digest = digest_;
    digest.runs = RunsWritten(s_);
    return ReportPage({s_, "geese & swans.inp", checks_, digest, warnings_, fits_, csv_});
  }

  ConversionSettings s_{.nstrata = 3, .nyrs = 4, .nage = 1, .ngroups = 2, .grpcol = 20,
                        .frqcol1 = 16, .frqcol2 = 18, .codcol = {11, 12, 13, 14},
                        .title = Padded("Geese <north> & \"south\" 'pilot'", kTitleWidth),
                        .scodes = Padded("NSW", kCodesWidth), .acodes = Padded("", kCodesWidth),
                        .gcodes = Padded("MF", kCodesWidth)};
  RecordChecks checks_;
  RunDigest digest_{.records = 1234, .animals = 56789, .strata = 3, .periods = 4,
                    // period by period, the strata in order within each
                    .caught = {240, 0, 11, 110, 55, 0, 22, 590, 100, 0, 44, 2},
                    // M, then F, as caught: summed, they are `caught`
                    .caught_by_group = {220, 0, 10, 100, 50, 0, 20, 150, 60, 0, 40, 2,
                                        20, 0, 1, 10, 5, 0, 2, 440, 40, 0, 4, 0},
                    .tables = {.transitions = {{0, 12, 3, 7, 0, 40, 1, 5, 0}, {2, 0, 0, 0, 9, 6, 0, 30, 4}},
                               .cohorts = 18, .empty_cohorts = 8, .sparse_cohorts = 3,
                               .sparse = {{.group = 1, .period = 1, .stratum = 3, .released = 8},
                                          {.group = 1, .period = 3, .stratum = 3, .released = 3},
                                          {.group = 2, .period = 2, .stratum = 2, .released = 5}}},
                    .date = "2023-11-14"};
  std::vector<std::string> warnings_ = {
      "the title holds a ', which ends the quoted title in HAPLOVEX.OUT early",
      "2 records with no capture; the first is record 2"};
  std::vector<gof::GroupFit> fits_;
  bool csv_ = false;
};

TEST_F(ReportTest, VersionAndDate) {
  EXPECT_NE(Page().find("Written by HAPLOVEX " + std::string(HAPLOVEX_VERSION) + " on 2023-11-14."),
            std::string::npos);
  unsetenv("SOURCE_DATE_EPOCH");
  const std::string today = RunDate();
  EXPECT_TRUE(std::regex_match(today, std::regex("\\d{4}-\\d\\d-\\d\\d"))) << today;
  // 2000-02-29 is day 10,957 + 31 + 28 since 1970; anything but seconds gives today.
  for (const auto& [epoch, date] : std::vector<std::pair<std::string, std::string>>{
           {"0", "1970-01-01"}, {"86399", "1970-01-01"}, {"951782400", "2000-02-29"},
           {"951868799", "2000-02-29"}, {"1700000000", "2023-11-14"}, {"", today}, {"-1", today},
           {"12abc", today}}) {
    setenv("SOURCE_DATE_EPOCH", epoch.c_str(), 1);
    EXPECT_EQ(RunDate(), date) << epoch;
  }
  unsetenv("SOURCE_DATE_EPOCH");
}

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
      // Summarised histories (--inp): the settings the dialogue leaves (the history in columns 1
      // to 4, no frequency or group column) read as the file is read.
      {[](ConversionSettings& s) {
         s.inp = true;
         s.codcol = {1, 2, 3, 4};
         s.grpcol = s.frqcol1 = s.frqcol2 = 0;
       },
       {{"Time periods", "4, a history of 4 characters"},
        {"Fate column", "none: a negative count, animals removed at their last capture"},
        {"Groups", "2, codes MF, one count each, in this order"},
        {"Frequency", "one count per group after the history"}}},
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

// The charts of captures, one for each group under its label, or one of all groups past 10
// strata. The chart is 220 high and 600 wide: a count c stands at y = 230 - 220 c / most (the
// axis), most being the chart's largest count, and period p at x = 60 + 600 (p - 1) / (T - 1).
TEST_F(ReportTest, CaptureChartsHaveALinePerStratum) {
  struct Case {
    std::string heading;           // above the chart
    int32_t strata;                // 3 (N, S, W), or 11 (A to K)
    std::vector<int64_t> y;        // of each period, the strata in order within each
  };
  const std::vector<Case> cases = {
      // M: most 220, y = 230 - c
      {"Group M", 3, {10, 230, 220, 130, 180, 230, 210, 80, 170, 230, 190, 228}},
      // F: most 440, y = 230 - c / 2 (rounded down); M's chart does not take F's most
      {"Group F", 3, {220, 230, 230, 225, 228, 230, 229, 10, 210, 230, 228, 230}},
      // all groups, 11 strata, 3 periods (x = 60, 360, 660): most 4, y = 230 - 55 c
      {"All groups together", 11, {175, 230, 230, 230, 230, 230, 230, 230, 230, 230, 230,
                                   230, 230, 230, 230, 230, 230, 230, 230, 230, 230, 230,
                                   230, 230, 230, 230, 230, 230, 230, 230, 230, 230, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heading);
    if (c.strata == 11) {
      digest_.strata = s_.nstrata = 11;
      digest_.periods = s_.nyrs = 3;
      s_.codcol = {11, 12, 13};
      s_.scodes = Padded("ABCDEFGHIJK", kCodesWidth);
      digest_.caught.assign(33, 0);
      digest_.caught[0] = 1, digest_.caught[32] = 4;
      digest_.caught_by_group.assign(66, 0);
      digest_.tables.m_arrays = {{.released = std::vector<int64_t>(22, 0), .next = std::vector<int64_t>(22 * 33, 0)}};
      for (std::vector<int64_t>& table : digest_.tables.transitions) table.assign(11 * 11, 0);
    }
    const std::string support = Section(Page(), "Can the data carry the model?");
    const size_t at = support.find("<h3>" + c.heading + "</h3>\n<h4>Animals caught at each period</h4>\n<svg");
    ASSERT_NE(at, std::string::npos);
    const std::string chart = support.substr(at, support.find("</svg>", at) - at);
    std::string whose = c.heading;
    whose[0] = static_cast<char>(std::tolower(whose[0]));
    EXPECT_NE(chart.find("aria-label=\"Animals caught at each period in each stratum, " + whose + "\""),
              std::string::npos);
    const auto lines =
        Matches(chart, "<polyline [^>]*stroke=\"([^\"]*)\"[^>]*stroke-dasharray=\"([^\"]*)\" points=\"([^\"]*)\"");
    const auto S = static_cast<size_t>(c.strata);
    const size_t T = c.y.size() / S;
    ASSERT_EQ(lines.size(), S);
    std::vector<int64_t> y(c.y.size(), -1);
    for (size_t k = 0; k < lines.size(); ++k) {
      const auto points = Matches(lines[k][2], "(\\d+),(\\d+)");
      ASSERT_EQ(points.size(), T) << lines[k][2];
      for (size_t p = 0; p < points.size(); ++p) {
        EXPECT_EQ(std::stoi(points[p][0]), 60 + 600 * static_cast<int>(p) / static_cast<int>(T - 1));
        y[p * S + k] = std::stoi(points[p][1]);
      }
    }
    EXPECT_EQ(y, c.y);
    // A legend entry per stratum, in the colour and dashes of its line; no two lines alike in
    // colour, nor (among the first five) in dashes, so that lines of equal counts, one over
    // another, are told apart.
    const auto legend = Matches(
        chart, "<line [^>]*stroke=\"([^\"]*)\" stroke-width=\"2\" stroke-dasharray=\"([^\"]*)\"/><text [^>]*>stratum (.*?)</text>");
    ASSERT_EQ(legend.size(), S);
    std::set<std::string> colours, dashes;
    for (size_t k = 0; k < legend.size(); ++k) {
      EXPECT_EQ(legend[k][0], lines[k][0]);
      EXPECT_EQ(legend[k][1], lines[k][1]);
      EXPECT_EQ(legend[k][2], std::string(1, s_.scodes[k]));
      colours.insert(lines[k][0]);
      if (k < 5) dashes.insert(lines[k][1]);
    }
    EXPECT_EQ(colours.size(), S);
    EXPECT_EQ(dashes.size(), std::min<size_t>(S, 5));
    EXPECT_NE(chart.find("rotate(-90 14 120)\" text-anchor=\"middle\">animals caught</text>"),
              std::string::npos);
  }
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
    const std::vector<int64_t>& typed = digest_.tables.transitions[t];
    const int64_t most = *std::max_element(typed.begin(), typed.end());
    std::vector<int64_t> cells;
    for (const auto& cell : Matches(tables[t][0], "<td( class=\"h\\d\")?>(\\d+)</td>")) {
      cells.push_back(std::stoll(cell[1]));
      const int64_t count = cells.back();
      EXPECT_EQ(cell[0], count == 0 ? "" : count == most ? " class=\"h9\"" : cell[0]) << count;
    }
    EXPECT_EQ(cells, typed);
  }
  // Its axes titled, and its colour scale: shade k for the counts above (k - 1) most / 9 up to
  // k most / 9 (most 40, then 30; then 5, where a count c takes shade ceil(9 c / 5)).
  EXPECT_EQ(TableRows(movements, "heat")[0], " next caught in");
  EXPECT_EQ(TableRows(movements, "heat")[1], "from stratum N S W");
  auto scales = [&] {
    std::vector<std::string> shown;
    const std::string movements = Section(Page(), "Movements between strata");
    for (const auto& m : Matches(movements, "<table class=\"scale\">(.*?)</table>")) {
      const std::string shades = std::regex_replace(m[0], std::regex("<td class=\"(h\\d)\">"), "$1:");
      shown.push_back(Shown(std::regex_replace(std::regex_replace(shades, std::regex("&ndash;"), "-"),
                                               std::regex("</t[hd]>"), " ")));
    }
    return shown;
  };
  EXPECT_EQ(scales(),
            (std::vector<std::string>{
                "animals 0 h1:1-4 h2:5-8 h3:9-13 h4:14-17 h5:18-22 h6:23-26 h7:27-31 h8:32-35 h9:36-40 ",
                "animals 0 h1:1-3 h2:4-6 h3:7-10 h4:11-13 h5:14-16 h6:17-20 h7:21-23 h8:24-26 h9:27-30 "}));
  digest_.tables.transitions = {{5, 1, 2, 3, 4, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(scales(), (std::vector<std::string>{"animals 0 h2:1 h4:2 h6:3 h8:4 h9:5 ", "animals 0 "}));
}

// The m-arrays of the fixture's groups, each under its group's label, their shares worked out by
// hand; past 10 strata the groups are summed and the m-array by release period, the page saying
// so and where it stands in full.
TEST_F(ReportTest, MArraysOfEachGroupWithRowProportions) {
  const std::string full = Section(Page(), "Can the data carry the model?");
  const std::string larger = "more than 20 periods or 10 strata, or whose groups' m-arrays together would be larger "
                             "than one of that size";
  EXPECT_NE(Shown(full).find("Each group is shown apart, one below the other (in a design of " + larger +
                             ", all groups are summed)."),
            std::string::npos);
  const std::vector<std::string> head = {
      "released at period in stratum released next caught at period, in stratum never seen again", "2 3 4",
      "N S W N S W N S W"};
  struct Case {
    std::string group;
    std::vector<std::string> rows;  // below the head
  };
  const std::vector<Case> cases = {
      {"M",
       {"1 N 100 30:0.300 10:0.100 0 5:0.050 0 5:0.050 0 0 0 50:0.500",
        "S 0 0 0 0 0 0 0 0 0 0 0",
        "W 8 0 0 1:0.125 0 0 0 0 1:0.125 0 6:0.750",
        "2 N 40 x x x 12:0.300 0 0 0 4:0.100 0 24:0.600",
        "S 5 x x x 0 2:0.400 0 0 0 0 3:0.600",
        "W 0 x x x 0 0 0 0 0 0 0",
        "3 N 20 x x x x x x 7:0.350 0 0 13:0.650",
        "S 200 x x x x x x 0 66:0.330 1:0.005 133:0.665",
        "W 3 x x x x x x 0 0 0 3:1.000"}},
      {"F",
       {"1 N 10 0 4:0.400 0 0 0 0 0 0 1:0.100 5:0.500",
        "S 2 0 0 0 0 2:1.000 0 0 0 0 0",
        "W 0 0 0 0 0 0 0 0 0 0 0",
        "2 N 6 x x x 3:0.500 0 0 0 0 0 3:0.500",
        "S 0 x x x 0 0 0 0 0 0 0",
        "W 4 x x x 0 0 0 0 0 1:0.250 3:0.750",
        "3 N 0 x x x x x x 0 0 0 0",
        "S 50 x x x x x x 0 25:0.500 0 25:0.500",
        "W 1 x x x x x x 1:1.000 0 0 0"}},
  };
  size_t last = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    // The group's heading, its chart, then its m-array, below the group before.
    const size_t at = full.find("<h3>Group " + c.group + "</h3>");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(at, last);
    last = at;
    const std::string group = full.substr(at, full.find("<h3>", at + 1) - at);
    EXPECT_LT(group.find("<svg"), group.find("<h4>Releases and where they were next caught (the m-array)</h4>"));
    std::vector<std::string> rows = head;
    rows.insert(rows.end(), c.rows.begin(), c.rows.end());
    EXPECT_EQ(TableRows(group, "marray"), rows);
  }
  // 11 strata (A to K), 3 periods: M releases 1 A 10 and 2 K 7, F 1 E 20; summed, as DigestOf
  // gives them past 10 strata.
  digest_.strata = s_.nstrata = 11;
  digest_.periods = s_.nyrs = 3;
  s_.codcol = {11, 12, 13};
  s_.scodes = Padded("ABCDEFGHIJK", kCodesWidth);
  digest_.caught.assign(33, 1);
  digest_.caught_by_group.assign(66, 0);
  digest_.tables.transitions.assign(2, std::vector<int64_t>(121, 0));
  MArray m{.released = std::vector<int64_t>(22, 0), .next = std::vector<int64_t>(22 * 33, 0)};
  m.released[0] = 10, m.released[4] = 20, m.released[21] = 7;
  // 1 A to 2 C, 1 A to 3 K, 1 E to 2 E, 2 K to 3 A
  m.next[0 * 33 + 11 + 2] = 4, m.next[0 * 33 + 22 + 10] = 2;
  m.next[4 * 33 + 11 + 4] = 6, m.next[21 * 33 + 22 + 0] = 7;
  digest_.tables.m_arrays = {m};
  for (const bool csv : {false, true}) {
    csv_ = csv;
    const std::string summed = Section(Page(), "Can the data carry the model?");
    EXPECT_EQ(summed.find("<h3>Group"), std::string::npos);
    EXPECT_NE(summed.find("<h3>All groups together</h3>"), std::string::npos);
    EXPECT_EQ(TableRows(summed, "marray"),
              (std::vector<std::string>{"released at period released next caught at period never seen again",
                                        "2 3", "1 30 10:0.333 2:0.067 18:0.600", "2 7 x 7:1.000 0"}));
    EXPECT_NE(Shown(summed).find("All groups are summed, as in any design of " + larger +
                                 ". With 3 periods and 11 strata, the m-array is summarised by release "
                                 "period, the strata summed; HAPLOVEX.releases.csv" +
                                 std::string(csv ? ", which this run writes, holds it in full."
                                                 : " holds it in full (run with --csv to write it).")),
              std::string::npos);
  }
}

// The captures of each group, and the sparse cohorts counted and the first ones listed.
TEST_F(ReportTest, CapturesByGroupAndSparseCohorts) {
  struct Case {
    std::function<void()> change;
    std::vector<std::string> groups;  // the rows of the table of groups, or what is said instead
    std::string sparse;               // what is said of the sparse cohorts
    std::vector<std::string> listed;  // the rows of their table
  };
  const ConversionSettings settings = s_;
  const RunDigest digest = digest_;
  const std::vector<Case> cases = {
      {[] {},
       {"period animals caught, group", "M F all", "1 230 21 251", "2 150 15 165", "3 230 482 712",
        "4 42 4 46"},
       "Of the 18 release cohorts of HAPLOVEX.OUT (one for each group, age class, release period and "
       "release stratum), 3 have fewer than 10 animals released (1 to 9), and 8 have none.",
       {"group age class release period release stratum released", "M 1 1 W 8", "M 1 3 W 3", "F 1 2 S 5"}},
      {[&] {
         s_.modset = ModelSet::kMemoryMovement;
         digest_.caught_by_group.clear();
         digest_.tables.cohorts = digest_.tables.empty_cohorts = digest_.tables.sparse_cohorts = 1;
         digest_.tables.sparse = {{.group = 2, .period = 2, .previous = 1, .stratum = 3, .released = 6}};
       },
       {"The memory model sets count the animals caught by period and stratum only, for all groups "
        "together (the chart above)."},
       "Of the 1 release cohort of HAPLOVEX.OUT (one for each group, age class, release period, previous "
       "stratum and release stratum), 1 has fewer than 10 animals released (1 to 9), and 1 has none.",
       {"group age class release period previous stratum release stratum released", "F 1 2 N W 6"}},
      {[&] {
         s_.ngroups = 1;
         s_.gcodes = Padded("", kCodesWidth);
         digest_.caught_by_group = digest_.caught;
         digest_.tables.m_arrays.resize(1);
         digest_.tables.sparse_cohorts = 52;
         digest_.tables.sparse.resize(kSparseListed, {.group = 1, .period = 3, .stratum = 1, .released = 9});
       },
       {"period animals caught, group", "1", "1 251", "2 165", "3 712", "4 46"},
       "Of the 18 release cohorts of HAPLOVEX.OUT (one for each group, age class, release period and "
       "release stratum), 52 have fewer than 10 animals released (1 to 9), and 8 have none. The first 50 "
       "are listed; 2 more are not.",
       {}},
  };
  for (const Case& c : cases) {
    s_ = settings;
    digest_ = digest;
    c.change();
    const std::string support = Section(Page(), "Can the data carry the model?");
    const size_t at = support.find("<h3>Sparse cohorts</h3>");
    const std::string groups = support.substr(support.find("by group</h3>"), at);
    std::vector<std::string> shown = TableRows(groups, "groups");
    if (shown.empty()) shown = {Shown(Matches(groups, "<p>(.*?)</p>").at(0)[0])};
    EXPECT_EQ(shown, c.groups);
    const std::string sparse = support.substr(at);
    EXPECT_EQ(Shown(Matches(sparse, "<p>(.*?)</p>").at(0)[0]), c.sparse);
    shown = TableRows(sparse, "sparse");
    EXPECT_EQ(shown.size(), digest_.tables.sparse.size() + 1);
    if (!c.listed.empty()) {
      EXPECT_EQ(shown, c.listed);
    }
  }
}

// c-hat and its reading lead, then each group's tests, a note two tests share given once.
TEST_F(ReportTest, GoodnessOfFit) {
  EXPECT_EQ(Page().find("Goodness of fit"), std::string::npos);
  auto test = [](std::string name, double statistic, int df, double p, std::vector<std::string> notes) {
    return gof::TestResult{gof::Judged(gof::Method::kChiSquare, statistic, df, p), std::move(name), {}, std::move(notes)};
  };
  gof::GroupFit m{"M",
                  {test("3G.SR", 12.5, 4, 0.013977, {"few"}), test("3G.Sm", 3.25, 6, 0.77687, {}),
                   test("WBWA", 9, 3, 0.029291, {"few"}), test("M.ITEC", 4.25, 5, 0.51399, {}),
                   test("M.LTEC", 1, 2, 0.60653, {})},
                  test("JMV", 30, 20, 0.069854, {}),
                  {test("3.SR", 40, 2, 2.06e-9, {}), test("3.SM", 0, 0, 1, {"none"}),
                   test("2.CT", 2.5, 1, 0.11385, {}), test("2.CL", 0.5, 1, 0.4795, {})},
                  test("CJS", 43, 4, 1.03e-8, {})};
  gof::GroupFit f{"F", {}, test("JMV", 0, 0, 1, {}), {}, test("CJS", 0, 0, 1, {})};
  fits_ = {m, f};
  const std::string fit = Section(Page(), "Goodness of fit");
  EXPECT_EQ(Shown(fit.substr(0, fit.find("<p class"))),
            "Goodness of fit\nGroup M: c-hat 1.500 (JMV 30.000 on 20 df): overdispersed: carry c-hat into "
            "model selection.\nTests with p below 0.05, the largest share of JMV first:\n\n"
            "3G.SR, 42% of JMV (12.500 on 4 df, p = 0.0140): the newly marked are seen again more often than "
            "earlier marked ones, which is not transience; look at its components.\n"
            "WBWA, 30% of JMV (9.000 on 3 df, p = 0.0293): memory: animals go back to where they were before; "
            "what to do: HAPLOVEX&#39;s memory-movement model sets 1 or 3 (3 with the S-M parameterization).\n\n"
            "These tests check the model without memory, so a memory model&#39;s c-hat cannot be read from them.\n"
            "Group F: c-hat 0.000 (JMV 0.000 on 0 df): nothing could be tested.\n"
            "All groups together (each group's headline test summed: what a model of all groups carries): c-hat "
            "1.500 (JMV 30.000 on 20 df): overdispersed: carry c-hat into model selection.\n");
  EXPECT_EQ(TableRows(fit, "tests"),
            (std::vector<std::string>{"test statistic df p", "3G.SR 12.500 4 0.0140",
                                      "3G.Sm 3.250 6 0.7769", "WBWA 9.000 3 0.0293",
                                      "M.ITEC 4.250 5 0.5140", "M.LTEC 1.000 2 0.6065",
                                      "JMV 30.000 20 0.0699", "the strata pooled (c-hat 10.750)",
                                      "3.SR 40.000 2 &lt;0.0001", "3.SM 0.000 0 &ndash;",
                                      "2.CT 2.500 1 0.1139",
                                      "2.CL 0.500 1 0.4795", "CJS 43.000 4 &lt;0.0001"}));
  const std::string tables = fit.substr(fit.find("<table"));
  EXPECT_EQ(Matches(tables, "<li>(.*?)</li>"),
            (std::vector<std::vector<std::string>>{{"3G.SR, WBWA: few"}, {"3.SM: none"}}));
  EXPECT_NE(fit.find("<h3>Group F</h3>"), std::string::npos);
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
