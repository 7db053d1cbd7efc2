#include "runctl/report.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <span>
#include <string_view>
#include <utility>

#include "common/format.h"
#include "gof/fit_reading.h"
#include "runctl/run_files.h"
#include "tabulate/tidy_tables.h"
#include "version.h"

namespace haplovex {

namespace {

// Text as HTML shows it: in UTF-8 (see TextAsUtf8), the characters that mark up escaped,
// control bytes as "?".
std::string Html(std::string_view raw) {
  const std::string text = TextAsUtf8(raw);
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        out += IsControlByte(c) ? '?' : c;
    }
  }
  return out;
}

// The name of one of the run's files, as code.
std::string CodeOf(RunFile file) { return "<code>" + std::string(NameOf(file)) + "</code>"; }

// The label of code k (1-based), as the tidy tables have it.
std::string Label(const std::string& codes, int32_t k) { return Html(CodeLabel(codes, k)); }

// The first `count` codes of a code text, as typed, each code byte a character of its own.
std::string Codes(const std::string& codes, int32_t count) {
  std::string shown;
  for (char code : std::string_view(codes).substr(0, static_cast<size_t>(std::max(count, 0)))) {
    shown += CodeAsUtf8(code);
  }
  return Html(shown);
}

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;max-width:60em;margin:1em auto;padding:0 1em;color:#222}"
    "h1{font-size:1.5em}h2{font-size:1.2em;border-bottom:1px solid #ccc;margin-top:1.6em}"
    "h3{font-size:1em}table{border-collapse:collapse;margin:.5em 0}"
    "th,td{border:1px solid #ccc;padding:.15em .45em;text-align:right}"
    "th{background:#f2f2f2}table.settings th,table.settings td{text-align:left}"
    "td.h1{background:#eef3fb}td.h2{background:#dce7f7}td.h3{background:#c6d8f1}"
    "td.h4{background:#adc7ea}td.h5{background:#8fb2e1}td.h6{background:#6f9ad6;color:#fff}"
    "td.h7{background:#4f82c9;color:#fff}td.h8{background:#326abb;color:#fff}"
    "td.h9{background:#1a4f9c;color:#fff}code{background:#f2f2f2;padding:0 .2em}"
    ".note{color:#555}svg text{font-size:11px;fill:#222}"
    "table.scale{font-size:.75em}"
    "table.scale th,table.scale td{padding:.1em .3em;text-align:center;white-space:nowrap}"
    "th.axis{background:none;border:none;font-weight:normal;font-style:italic;text-align:center}"
    "table.marray th,table.groups th{text-align:center}"
    "td.z{color:#aaa}td.x{background:#fafafa}span.p{display:block;color:#555;font-size:.8em}"
    "div.wide{overflow-x:auto}table.marray{font-size:.8em}"
    "table.marray th,table.marray td{padding:.1em .3em}"
    "table.tests th,table.sparse th{text-align:left}tr.total th,tr.total td{font-weight:bold}"
    "@media print{body{max-width:none}section{break-inside:avoid}div.wide{overflow:visible}}";

// A colour for stratum k of `count`, spread round the colour wheel.
std::string Colour(int32_t k, int32_t count) {
  const int hue = count > 0 ? (k - 1) * 360 / count : 0;
  return "hsl(" + std::to_string(hue) + ",70%,40%)";
}

// A count's share of the animals released, to three decimals.
std::string Share(int64_t count, int64_t released) {
  return Decimals(static_cast<double>(count) / static_cast<double>(released), 3);
}

// A cell of the m-array: the count and, below it, its share of the animals released in its
// row; a count of none in grey.
std::string CountCell(int64_t count, int64_t released) {
  if (count == 0) return "<td class=\"z\">0</td>";
  std::string cell = "<td>" + GroupedDigits(count);
  if (released > 0) cell += "<span class=\"p\">" + Share(count, released) + "</span>";
  return cell + "</td>";
}

// The colour scale of a heat map whose largest count is `most`: no colour for none, then each
// shade that a count can take, with the counts it stands for. (A count c takes shade
// ceil(9 c / most), at least 1.)
std::string Scale(int64_t most) {
  std::string scale = "<div class=\"wide\"><table class=\"scale\"><tr><th>animals</th><td>0</td>";
  for (int64_t k = 1; k <= 9 && most > 0; ++k) {
    const int64_t low = (k - 1) * most / 9 + 1;
    const int64_t high = k * most / 9;
    if (low > high) continue;
    scale += "<td class=\"h" + std::to_string(k) + "\">" + GroupedDigits(low) +
             (low == high ? "" : "&ndash;" + GroupedDigits(high)) + "</td>";
  }
  return scale + "</tr></table></div>\n";
}

using Rows = std::vector<std::pair<std::string_view, std::string>>;

// The rows of the settings that say where the fields stand: the history, the fate, the age
// classes, the groups and the frequency, in columns of the record, or, in a file of
// summarised histories (--inp), as the history and one count for each group after it.
Rows FieldRows(const ConversionSettings& s) {
  std::string columns = s.ConsecutiveColumns() ? "columns " + std::to_string(s.codcol.front()) + " to " +
                                                     std::to_string(s.codcol.back())
                                               : "columns";
  for (size_t i = 0; !s.ConsecutiveColumns() && i < s.codcol.size(); ++i) {
    columns += (i == 0 ? " " : ", ") + std::to_string(s.codcol[i]);
  }
  Rows rows;
  rows.emplace_back("Time periods", std::to_string(s.nyrs) + ", " +
                                        (s.inp ? "a history of " + Counted(s.nyrs, "character") : columns));
  rows.emplace_back("Fate column", s.fatecol > 0 ? std::to_string(s.fatecol)
                                   : s.inp       ? "none: a negative count, animals removed at their last capture"
                                                 : "none: every animal released");
  std::string ages = "1";
  if (s.nage > 1) {
    ages = std::to_string(s.nage) + ", codes <code>" + Codes(s.acodes, s.nage) + "</code> (youngest first) " +
           (s.inp ? std::string("by time since marking: every animal enters the first")
                  : "in column " + std::to_string(s.agecol));
    if (s.ageinc != std::string(kAgeIncWidth, '1')) ages += ", age increments <code>" + Html(s.ageinc) + "</code>";
  }
  rows.emplace_back("Age classes", ages);
  const std::string where = s.inp ? ", one count each, in this order"
                            : s.grpcol > 0 ? " in column " + std::to_string(s.grpcol)
                                           : ", no group column";
  rows.emplace_back("Groups", s.ngroups > 1 ? std::to_string(s.ngroups) + ", codes <code>" +
                                                  Codes(s.gcodes, s.ngroups) + "</code>" + where
                                            : "1");
  rows.emplace_back("Frequency", s.inp           ? "one count per group after the history"
                                 : s.frqcol1 > 0 ? "columns " + std::to_string(s.frqcol1) + " to " +
                                                       std::to_string(s.frqcol2)
                                                 : "none: one animal a record");
  return rows;
}

// The page being written, with what each of its parts reads: the report's input, its settings
// and digest, and the design's periods (T) and strata (S).
struct Page {
  const ReportInput& in;
  const ConversionSettings& s;
  const RunDigest& d;
  int32_t T;
  int32_t S;
  std::string page = {};

  // The whole page, in `page`.
  void Whole();
  // Its parts, in the order of the page.
  void Settings();
  void Records();
  // For each group and age class, from one stratum (rows) to the stratum an animal was next
  // caught in (columns), the counts shaded by their share of the largest.
  void Transitions();
  // What the estimation has to work with: each group's captures and m-array, the captures of
  // each group by period, the sparse cohorts.
  void Support();
  // Group g's captures and m-array under its label, or, for g = 0, all groups together's.
  void GroupSupport(int32_t g, const MArray& m);
  // Animals caught at each period in each stratum (caught, as RunDigest::caught), a line per
  // stratum; `whose` names the animals for a reader who cannot see the chart.
  void CaptureChart(std::span<const int64_t> caught, const std::string& whose);
  void FullMArray(const MArray& m);
  void MArrayByPeriod(const MArray& m);
  void CaughtByGroup();
  void SparseCohorts();
  // The goodness-of-fit tests (--gof): c-hat of each group and its reading, then each group's
  // tests and their notes.
  void Fit();
  void FitReading(const std::vector<std::string>& lines);
  // What HAPLOVEX.OUT holds for the model set chosen.
  void Guide();
};

void Page::Settings() {
  auto row = [&](std::string_view name, const std::string& value) {
    page += "<tr><th>";
    page += name;
    page += "</th><td>" + value + "</td></tr>\n";
  };
  page += "<section><h2>Settings as answered</h2>\n<table class=\"settings\">\n";
  row("Capture-history file", Html(in.input_name));
  row("Strata", std::to_string(s.nstrata) + ", codes <code>" + Codes(s.scodes, s.nstrata) +
                    "</code>" + (s.listdata ? " (records listed)" : ""));
  for (const auto& [name, value] : FieldRows(s)) row(name, value);
  static constexpr std::string_view kSets[] = {
      "", "1, memory-movement", "2, movement-only", "3, memory-movement with the S-M parameterization",
      "4, movement-only with the S-M parameterization"};
  row("Model set", std::string(kSets[static_cast<int>(s.modset)]));
  if (HasSmParameterization(s.modset)) {
    row("S-M choice", std::to_string(s.smstrat) +
                          (s.smstrat == 0 ? " (the diagonal parameter)"
                           : s.smstrat <= s.nstrata ? " (stratum " + Label(s.scodes, s.smstrat) + ")"
                                                    : " (one more than the strata)"));
  }
  row("Title", Html(TrimmedRight(s.title)));
  page += "</table></section>\n";
}

void Page::Records() {
  page += "<section><h2>Records read</h2>\n<p>" + GroupedDigits(in.digest.records) +
          " records, representing " + GroupedDigits(in.digest.animals) + " animals.";
  if (in.checks.comment_lines > 0) {
    page += " " + GroupedDigits(in.checks.comment_lines) + " comment lines were not read as records.";
  }
  if (in.checks.empty_lines > 0) {
    page += " " + GroupedDigits(in.checks.empty_lines) + " empty lines were read as records of no animals.";
  }
  page += " The model has " + GroupedDigits(in.digest.npar) + " parameters.</p>\n";
  page += "<h3>Warnings</h3>\n";
  if (in.warnings.empty()) {
    page += "<p>None: the records look as the settings say.</p>\n";
  } else {
    page += "<ul>\n";
    for (const std::string& warning : in.warnings) page += "<li>" + Html(warning) + "</li>\n";
    page += "</ul>\n";
  }
  page += "</section>\n";
}

// The dashes of the chart's lines, a stratum's after another's: solid, long, short, long and
// short, dotted.
constexpr const char* kDashes[] = {"none", "8 4", "3 3", "8 3 2 3", "1 3"};

void Page::CaptureChart(std::span<const int64_t> caught, const std::string& whose) {
  if (caught.size() < static_cast<size_t>(T) * static_cast<size_t>(S)) return;
  int64_t most = 1;
  for (int64_t c : caught) most = std::max(most, c);
  const int left = 60, top = 10, width = 600, height = 220;
  auto x = [&](int32_t period) { return left + (T > 1 ? (period - 1) * width / (T - 1) : width / 2); };
  auto y = [&](int64_t count) { return top + height - static_cast<int>(count * height / most); };
  page += "<h4>Animals caught at each period</h4>\n";
  page += "<svg width=\"" + std::to_string(left + width + 140) + "\" height=\"" + std::to_string(top + height + 40) +
          "\" role=\"img\" aria-label=\"Animals caught at each period in each stratum, " + whose + "\">\n";
  page += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(top + height) + "\" x2=\"" +
          std::to_string(left + width) + "\" y2=\"" + std::to_string(top + height) + "\" stroke=\"#888\"/>\n";
  page += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(top) + "\" x2=\"" +
          std::to_string(left) + "\" y2=\"" + std::to_string(top + height) + "\" stroke=\"#888\"/>\n";
  page += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(top + 8) +
          "\" text-anchor=\"end\">" + GroupedDigits(most) + "</text>\n";
  page += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(top + height) +
          "\" text-anchor=\"end\">0</text>\n";
  const int32_t step = std::max(1, T / 20);
  for (int32_t period = 1; period <= T; period += step) {
    page += "<text x=\"" + std::to_string(x(period)) + "\" y=\"" + std::to_string(top + height + 16) +
            "\" text-anchor=\"middle\">" + std::to_string(period) + "</text>\n";
  }
  page += "<text x=\"" + std::to_string(left + width / 2) + "\" y=\"" + std::to_string(top + height + 34) +
          "\" text-anchor=\"middle\">period</text>\n";
  const std::string middle = std::to_string(top + height / 2);
  page += "<text x=\"14\" y=\"" + middle + "\" transform=\"rotate(-90 14 " + middle +
          ")\" text-anchor=\"middle\">animals caught</text>\n";
  for (int32_t k = 1; k <= S; ++k) {
    std::string points;
    for (int32_t period = 1; period <= T; ++period) {
      const int64_t count = caught[static_cast<size_t>((period - 1) * S + (k - 1))];
      points += (period == 1 ? "" : " ") + std::to_string(x(period)) + "," + std::to_string(y(count));
    }
    // Strata with equal counts draw one line over another: each stratum's dashes tell them apart.
    const std::string dash = " stroke-dasharray=\"" + std::string(kDashes[static_cast<size_t>(k - 1) % std::size(kDashes)]) + "\"";
    page += "<polyline fill=\"none\" stroke=\"" + Colour(k, S) + "\" stroke-width=\"1.5\"" + dash + " points=\"" + points +
            "\"/>\n";
    const int ly = top + 6 + (k - 1) * (height / std::max(S, 1));
    page += "<line x1=\"" + std::to_string(left + width + 8) + "\" y1=\"" + std::to_string(ly - 3) + "\" x2=\"" +
            std::to_string(left + width + 28) + "\" y2=\"" + std::to_string(ly - 3) + "\" stroke=\"" + Colour(k, S) +
            "\" stroke-width=\"2\"" + dash + "/>";
    page += "<text x=\"" + std::to_string(left + width + 32) + "\" y=\"" + std::to_string(ly + 1) +
            "\">stratum " + Label(s.scodes, k) + "</text>\n";
  }
  page += "</svg>\n";
}

// For each group and age class, from one stratum (rows) to the stratum an animal was next
// caught in (columns), the counts shaded by their share of the largest.
void Page::Transitions() {
  page += "<section><h2>Movements between strata</h2>\n<p class=\"note\">Pairs of captures, each "
          "animal counted as often as its record stands for: from the stratum of a capture "
          "(rows) to the stratum of the next capture (columns)";
  page += IsMemoryModel(s.modset) ? ", counted at the memory releases (a capture right after another)." : ".";
  page += "</p>\n";
  size_t k = 0;
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage && k < in.digest.tables.transitions.size(); ++a, ++k) {
      const std::vector<int64_t>& table = in.digest.tables.transitions[k];
      int64_t most = 0;
      for (int64_t c : table) most = std::max(most, c);
      page += "<h3>Group " + Label(s.gcodes, g) + ", age class " + Label(AgeCodes(s), a) + "</h3>\n";
      page += "<table class=\"heat\"><tr><th class=\"axis\"></th><th class=\"axis\" colspan=\"" +
              std::to_string(S) +
              "\">next caught in</th></tr>\n<tr><th class=\"axis\">from stratum</th>";
      for (int32_t to = 1; to <= S; ++to) page += "<th>" + Label(s.scodes, to) + "</th>";
      page += "</tr>\n";
      for (int32_t from = 1; from <= S; ++from) {
        page += "<tr><th>" + Label(s.scodes, from) + "</th>";
        for (int32_t to = 1; to <= S; ++to) {
          const int64_t count = table[static_cast<size_t>((from - 1) * S + (to - 1))];
          const int64_t shade = most > 0 && count > 0 ? std::max<int64_t>(1, (count * 9 + most - 1) / most) : 0;
          page += shade > 0 ? "<td class=\"h" + std::to_string(shade) + "\">" : "<td>";
          page += std::to_string(count) + "</td>";
        }
        page += "</tr>\n";
      }
      page += "</table>\n" + Scale(most);
    }
  }
  page += "</section>\n";
}

// An m-array in full: a row for each release period and stratum, a column for each later
// period and stratum, and the animals never seen again.
void Page::FullMArray(const MArray& m) {
  const int32_t later = T - d.tables.first_release;  // the periods an animal can be next caught at
  page +=
      "<div class=\"wide\"><table class=\"marray\">\n<tr><th rowspan=\"3\">released at period</th>"
      "<th rowspan=\"3\">in stratum</th><th rowspan=\"3\">released</th><th colspan=\"" +
      std::to_string(later * S) +
      "\">next caught at period, in stratum</th>"
      "<th rowspan=\"3\">never seen again</th></tr>\n<tr>";
  for (int32_t j = d.tables.first_release + 1; j <= T; ++j) {
    page += "<th colspan=\"" + std::to_string(S) + "\">" + std::to_string(j) + "</th>";
  }
  page += "</tr>\n<tr>";
  for (int32_t j = d.tables.first_release + 1; j <= T; ++j) {
    for (int32_t t = 1; t <= S; ++t) page += "<th>" + Label(s.scodes, t) + "</th>";
  }
  page += "</tr>\n";
  for (int32_t i = d.tables.first_release; i < T; ++i) {
    for (int32_t r = 1; r <= S; ++r) {
      const auto row = static_cast<size_t>((i - d.tables.first_release) * S + (r - 1));
      const int64_t released = m.released[row];
      page += "<tr>";
      if (r == 1) {
        page += "<th rowspan=\"" + std::to_string(S) + "\">" + std::to_string(i) + "</th>";
      }
      page += "<th>" + Label(s.scodes, r) + "</th><td>" + GroupedDigits(released) + "</td>";
      int64_t seen = 0;
      for (int32_t j = d.tables.first_release + 1; j <= T; ++j) {
        for (int32_t t = 1; t <= S; ++t) {
          if (j <= i) {
            page += "<td class=\"x\"></td>";
            continue;
          }
          const int64_t count =
              m.next[row * static_cast<size_t>(T * S) + static_cast<size_t>((j - 1) * S + (t - 1))];
          seen += count;
          page += CountCell(count, released);
        }
      }
      page += CountCell(released - seen, released) + "</tr>\n";
    }
  }
  page += "</table></div>\n";
}

// An m-array summed by release period: the animals released at each period, in any stratum,
// and when they were next caught, in any stratum.
void Page::MArrayByPeriod(const MArray& m) {
  page +=
      "<div class=\"wide\"><table class=\"marray\">\n<tr><th rowspan=\"2\">released at period</th>"
      "<th rowspan=\"2\">released</th><th colspan=\"" +
      std::to_string(T - d.tables.first_release) +
      "\">next caught at period</th><th rowspan=\"2\">never seen again</th></tr>\n<tr>";
  for (int32_t j = d.tables.first_release + 1; j <= T; ++j) page += "<th>" + std::to_string(j) + "</th>";
  page += "</tr>\n";
  for (int32_t i = d.tables.first_release; i < T; ++i) {
    int64_t released = 0;
    std::vector<int64_t> next(static_cast<size_t>(T) + 1, 0);
    for (int32_t r = 1; r <= S; ++r) {
      const auto row = static_cast<size_t>((i - d.tables.first_release) * S + (r - 1));
      released += m.released[row];
      for (int32_t j = i + 1; j <= T; ++j) {
        for (int32_t t = 1; t <= S; ++t) {
          next[static_cast<size_t>(j)] +=
              m.next[row * static_cast<size_t>(T * S) + static_cast<size_t>((j - 1) * S + (t - 1))];
        }
      }
    }
    page += "<tr><th>" + std::to_string(i) + "</th><td>" + GroupedDigits(released) + "</td>";
    int64_t seen = 0;
    for (int32_t j = d.tables.first_release + 1; j <= T; ++j) {
      if (j <= i) {
        page += "<td class=\"x\"></td>";
        continue;
      }
      seen += next[static_cast<size_t>(j)];
      page += CountCell(next[static_cast<size_t>(j)], released);
    }
    page += CountCell(released - seen, released) + "</tr>\n";
  }
  page += "</table></div>\n";
}

// The animals caught at each period, strata summed, for each group and all together.
void Page::CaughtByGroup() {
  const auto G =
      static_cast<int32_t>(d.caught_by_group.size() / static_cast<size_t>(std::max(T * S, 1)));
  page += "<h3>Animals caught at each period, by group</h3>\n";
  if (G == 0) {
    page +=
        "<p>The memory model sets count the animals caught by period and stratum only, for "
        "all groups together (the chart above).</p>\n";
    return;
  }
  page += "<div class=\"wide\"><table class=\"groups\">\n<tr><th rowspan=\"2\">period</th>"
          "<th colspan=\"" + std::to_string(G + (G > 1 ? 1 : 0)) +
          "\">animals caught, group</th></tr>\n<tr>";
  for (int32_t g = 1; g <= G; ++g) page += "<th>" + Label(s.gcodes, g) + "</th>";
  if (G > 1) page += "<th>all</th>";
  page += "</tr>\n";
  for (int32_t p = 1; p <= T; ++p) {
    page += "<tr><th>" + std::to_string(p) + "</th>";
    int64_t all = 0;
    for (int32_t g = 1; g <= G; ++g) {
      int64_t caught = 0;
      for (int32_t k = 1; k <= S; ++k) {
        caught += d.caught_by_group[static_cast<size_t>(((g - 1) * T + (p - 1)) * S + (k - 1))];
      }
      all += caught;
      page += caught == 0 ? "<td class=\"z\">0</td>" : "<td>" + GroupedDigits(caught) + "</td>";
    }
    if (G > 1) page += "<td>" + GroupedDigits(all) + "</td>";
    page += "</tr>\n";
  }
  page += "</table></div>\n";
}

// The sparse cohorts, counted and the first of them listed.
void Page::SparseCohorts() {
  const bool memory = IsMemoryModel(s.modset);
  page += "<h3>Sparse cohorts</h3>\n<p>Of the " +
          Counted(d.tables.cohorts, "release cohort") +
          " of " + CodeOf(RunFile::kOutput) + " (one for each group, age class, release period" +
          (memory ? ", previous stratum" : "") + " and release stratum), " +
          GroupedDigits(d.tables.sparse_cohorts) + " " + Plural(d.tables.sparse_cohorts, "has", "have") +
          " fewer than " + std::to_string(kSparseBelow) + " animals released (1 to " +
          std::to_string(kSparseBelow - 1) + "), and " + GroupedDigits(d.tables.empty_cohorts) +
          " " + Plural(d.tables.empty_cohorts, "has", "have") + " none.";
  if (d.tables.sparse_cohorts == 0) {
    page += "</p>\n";
    return;
  }
  const auto listed = static_cast<int64_t>(d.tables.sparse.size());
  if (listed < d.tables.sparse_cohorts) {
    page += " The first " + GroupedDigits(listed) + " are listed; " +
            GroupedDigits(d.tables.sparse_cohorts - listed) + " more are not.";
  }
  page +=
      "</p>\n<table class=\"sparse\">\n<tr><th>group</th><th>age class</th><th>release period</th>";
  if (memory) page += "<th>previous stratum</th>";
  page += "<th>release stratum</th><th>released</th></tr>\n";
  for (const ReleaseCohort& c : d.tables.sparse) {
    page += "<tr><td>" + Label(s.gcodes, c.group) + "</td><td>" + Label(AgeCodes(s), c.age) +
            "</td><td>" + std::to_string(c.period) + "</td>";
    if (memory) page += "<td>" + Label(s.scodes, c.previous) + "</td>";
    page += "<td>" + Label(s.scodes, c.stratum) + "</td><td>" + GroupedDigits(c.released) +
            "</td></tr>\n";
  }
  page += "</table>\n";
}

// Group g's captures and m-array under its label, or, for g = 0, all groups together's.
void Page::GroupSupport(int32_t g, const MArray& m) {
  const std::string whose = g > 0 ? "group " + Label(s.gcodes, g) : "all groups together";
  page += "<h3>" + std::string(g > 0 ? "Group " + Label(s.gcodes, g) : "All groups together") + "</h3>\n";
  const size_t cells = static_cast<size_t>(T) * static_cast<size_t>(S);
  const size_t at = std::min(static_cast<size_t>(g - 1) * cells, d.caught_by_group.size());
  CaptureChart(g > 0 ? std::span<const int64_t>(d.caught_by_group)
                           .subspan(at, std::min(cells, d.caught_by_group.size() - at))
                     : std::span<const int64_t>(d.caught),
               whose);
  page += "<h4>Releases and where they were next caught (the m-array)</h4>\n";
  if (m.released.empty()) {
    page += "<p>No cohort: the design has too few periods.</p>\n";
  } else if (MArrayInFull(s)) {
    FullMArray(m);
  } else {
    MArrayByPeriod(m);
  }
}

// What the estimation has to work with: each group's captures and m-array, the captures of
// each group by period, the sparse cohorts.
void Page::Support() {
  const bool memory = IsMemoryModel(s.modset);
  page += "<section><h2>Can the data carry the model?</h2>\n<p class=\"note\">";
  page += "The animals caught at each period in each stratum, and the m-array: ";
  if (memory) {
    page +=
        "the cohorts of the memory model, animals released at a period after a capture at the "
        "period just before (from period 2 on), summed over the stratum of that earlier "
        "capture and the age classes. An animal's first capture, and a capture "
        "after a period it was not caught, start no such cohort and are not counted there.";
  } else {
    page +=
        "the animals released at each period in each stratum (every capture, but the last of "
        "an animal not released), the age classes summed.";
  }
  page +=
      " For each, where they were next caught and how many were never seen again; under each "
      "count its share of the animals released.";
  const bool by_group = d.tables.m_arrays.size() == static_cast<size_t>(s.ngroups);
  const std::string larger = "more than " + std::to_string(kMostPeriodsInFull) + " periods or " +
                             std::to_string(kMostStrataInFull) +
                             " strata, or whose groups' m-arrays together would be larger than one of that size";
  if (s.ngroups > 1) {
    page += by_group ? " Each group is shown apart, one below the other (in a design of " + larger +
                           ", all groups are summed)."
                     : " All groups are summed, as in any design of " + larger + ".";
  }
  if (!MArrayInFull(s)) {
    page += " With " + std::to_string(d.periods) + " periods and " + Counted(d.strata, "stratum", "strata") +
            ", the m-array is summarised by release period, the strata summed; " + CodeOf(RunFile::kReleases) +
            (in.releases_written ? ", which this run writes, holds it in full."
                                 : " holds it in full (run with <code>--csv</code> to write it).");
  }
  page += "</p>\n";
  for (size_t k = 0; k < d.tables.m_arrays.size(); ++k) {
    GroupSupport(by_group ? static_cast<int32_t>(k + 1) : 0, d.tables.m_arrays[k]);
  }
  CaughtByGroup();
  SparseCohorts();
  page += "</section>\n";
}

// A row of the table of tests: name, statistic, df, p (to four decimals).
std::string TestRow(const gof::TestResult& test, bool total) {
  return std::string(total ? "<tr class=\"total\">" : "<tr>") + "<th>" + Html(test.name) +
         "</th><td>" + Decimals(test.statistic, 3) + "</td><td>" + std::to_string(test.df) +
         "</td><td>" +
         (test.df == 0       ? std::string("&ndash;")
          : test.p < 0.00005 ? std::string("&lt;0.0001")
                             : Decimals(test.p, 4)) +
         "</td></tr>\n";
}

// c-hat's line, c-hat in bold: "c-hat F.FFF (TEST S on D df): reading."
std::string CHatParagraph(const gof::TestResult& overall) {
  const std::string line = gof::CHatLine(overall);
  const size_t figure = line.find(' ', 6);
  return "<strong>" + Html(line.substr(0, figure)) + "</strong>" + Html(line.substr(figure)) + ".";
}

// The reading of a group's tests: the tests named as a list, the other sentences as paragraphs.
void Page::FitReading(const std::vector<std::string>& lines) {
  bool in_list = false;
  for (const std::string& line : lines) {
    const bool item = line.starts_with("- ");
    if (item != in_list) page += item ? "<ul>\n" : "</ul>\n";
    in_list = item;
    page += item ? "<li>" + Html(line.substr(2)) + "</li>\n" : "<p>" + Html(line) + "</p>\n";
  }
  if (in_list) page += "</ul>\n";
}

// The goodness-of-fit tests (--gof): c-hat of each group and its reading, then each group's
// tests and their notes.
void Page::Fit() {
  if (in.fits.empty()) return;
  page += "<section><h2>Goodness of fit</h2>\n";
  for (const gof::GroupFit& g : in.fits) {
    page += "<p>Group " + Html(g.group) + ": " + CHatParagraph(gof::HeadlineTest(g)) + "</p>\n";
    FitReading(gof::Reading(g));
  }
  if (in.fits.size() > 1) {
    page += "<p>All groups together (each group's headline test summed: what a model of all groups carries): " +
            CHatParagraph(gof::AllGroups(in.fits)) + "</p>\n";
  }
  page +=
      "<p class=\"note\">c-hat is the statistic of an overall test over its degrees of freedom: CJS's, of the "
      "single-state tests, for a group of one stratum, else JMV's, of the multi-state tests; " +
      CodeOf(RunFile::kFit) + " has each test's components";
  page += in.settings.nage > 1 ? "; the age classes are pooled.</p>\n" : ".</p>\n";
  for (const gof::GroupFit& g : in.fits) {
    page += "<h3>Group " + Html(g.group) +
            "</h3>\n<table class=\"tests\">\n"
            "<tr><th>test</th><th>statistic</th><th>df</th><th>p</th></tr>\n";
    for (const gof::TestResult& t : g.multi) page += TestRow(t, false);
    page += TestRow(g.jmv, true);
    page += "<tr><th colspan=\"4\">the strata pooled (c-hat " + Decimals(gof::CHat(g.cjs), 3) +
            ")</th></tr>\n";
    for (const gof::TestResult& t : g.single) page += TestRow(t, false);
    page += TestRow(g.cjs, true);
    page += "</table>\n";
    // A note several tests share is given once, with their names.
    const std::vector<std::pair<std::string, std::string>> notes = gof::SharedNotes(g);
    if (!notes.empty()) {
      page += "<ul>\n";
      for (const auto& [tests, note] : notes) {
        page += "<li>" + Html(tests) + ": " + Html(note) + "</li>\n";
      }
      page += "</ul>\n";
    }
  }
  page += "</section>\n";
}

// The names of the estimation runs as code, separated by commas, the last by `last`.
std::string RunNames(const std::vector<std::string>& runs, std::string_view last) {
  std::string names;
  for (size_t k = 0; k < runs.size(); ++k) {
    if (k > 0) names += k + 1 == runs.size() ? last : ", ";
    names += "<code>" + Html(runs[k]) + "</code>";
  }
  return names;
}

void Page::Guide() {
  const bool memory = IsMemoryModel(s.modset);
  const bool sm = HasSmParameterization(s.modset);
  page += "<section><h2>What " + std::string(NameOf(RunFile::kOutput)) + " holds</h2>\n<ol>\n";
  page += "<li><code>PROC TITLE</code> with the title, then the model statement <code>PROC MODEL NPAR=" +
          std::to_string(in.digest.npar) + (memory ? " ADDCELL MEMORY" : " ADDCELL") +
          " ...</code> and its closing line" + (sm ? " <code>PHIMISS=" + std::to_string(s.smstrat) + "</code>" : "") + ".</li>\n";
  if (memory) {
    page += "<li>The data cells: for each group, each age class and each release period 2 to " +
            std::to_string(s.nyrs - 1) + " (an empty line before each period), one <code>COHORT=</code> "
            "statement for each previous stratum and, within it, each release stratum: the animals "
            "released at that period in that stratum after a capture in the previous stratum at the "
            "period before, then, for each later period and each stratum, the animals next caught there. " +
            CodeOf(RunFile::kReleases) + " (with <code>--csv</code>) lists them in this order.</li>\n";
    page += std::string("<li><code>LABELS;</code> and a line for each parameter of each group: the transitions ") +
            (sm ? "<code>MOV</code> and <code>SRV</code>" : "<code>PHI</code>") +
            " (period, group, previous, present and next stratum), then the capture probabilities "
            "<code>p</code> (period, group, stratum).</li>\n";
    page += "<li>The estimation runs " + RunNames(in.digest.runs, " and ") + ", and <code>PROC TEST;</code>.</li>\n";
  } else {
    page += "<li>The data cells: for each group, each age class, each release period 1 to " +
            std::to_string(s.nyrs - 1) + " and each release stratum (group outermost), one "
            "<code>COHORT=</code> statement: the animals released, then, for each later period and "
            "each stratum, the animals next caught there. " +
            CodeOf(RunFile::kReleases) + " (with <code>--csv</code>) lists them in this order.</li>\n";
    page += std::string("<li><code>LABELS;</code> and a line for each parameter: for each group and age "
                        "class the transitions ") +
            (sm ? "<code>MOV</code> and <code>SRV</code>" : "<code>PHI</code>") +
            " (interval, age, group, from and to stratum), then the capture probabilities <code>p</code> "
            "(occasion, age, group, stratum).</li>\n";
    page += "<li>The estimation runs " + RunNames(in.digest.runs, ", ") + ", and <code>PROC TEST; PROC STOP;</code>.</li>\n";
  }
  page += "</ol></section>\n";
}

void Page::Whole() {
  page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>HAPLOVEX report: " +
      Html(TrimmedRight(s.title)) + "</title>\n<style>";
  page += kStyle;
  page += "</style>\n</head>\n<body>\n<h1>HAPLOVEX report: " + Html(TrimmedRight(s.title)) + "</h1>\n";
  page += "<p class=\"note\">Written by HAPLOVEX " + Html(HAPLOVEX_VERSION) + " on " + Html(d.date) + ".</p>\n";
  Settings();
  Records();
  Transitions();
  Support();
  Fit();
  Guide();
  page += "</body>\n</html>\n";
}

}  // namespace

std::string ReportPage(const ReportInput& in) {
  Page page{in, in.settings, in.digest, in.digest.periods, in.digest.strata};
  page.Whole();
  return std::move(page.page);
}

std::string RunDate() {
  std::time_t when = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr) {
    const std::string_view text(epoch);
    int64_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    // Up to the end of the year 9999.
    if (error == std::errc() && end == text.data() + text.size() && seconds >= 0 &&
        seconds <= 253402300799) {
      when = static_cast<std::time_t>(seconds);
    }
  }
  std::tm utc{};
  gmtime_r(&when, &utc);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
  return date;
}

}  // namespace haplovex
