#include "runctl/report.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "common/format.h"
#include "tabulate/tidy_tables.h"

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
    "@media print{body{max-width:none}section{break-inside:avoid}}";

// A colour for stratum k of `count`, spread round the colour wheel.
std::string Colour(int32_t k, int32_t count) {
  const int hue = count > 0 ? (k - 1) * 360 / count : 0;
  return "hsl(" + std::to_string(hue) + ",70%,40%)";
}

void Settings(const ReportInput& in, std::string& page) {
  const ConversionSettings& s = in.settings;
  auto row = [&](std::string_view name, const std::string& value) {
    page += "<tr><th>";
    page += name;
    page += "</th><td>" + value + "</td></tr>\n";
  };
  page += "<section><h2>Settings as answered</h2>\n<table class=\"settings\">\n";
  row("Capture-history file", Html(in.input_name));
  row("Strata", std::to_string(s.nstrata) + ", codes <code>" + Codes(s.scodes, s.nstrata) +
                    "</code>" + (s.listdata ? " (records listed)" : ""));
  std::string columns;
  if (s.ConsecutiveColumns()) {
    columns = "columns " + std::to_string(s.codcol.front()) + " to " + std::to_string(s.codcol.back());
  } else {
    columns = "columns";
    for (size_t i = 0; i < s.codcol.size(); ++i) columns += (i == 0 ? " " : ", ") + std::to_string(s.codcol[i]);
  }
  row("Time periods", std::to_string(s.nyrs) + ", " + columns);
  row("Fate column", s.fatecol > 0 ? std::to_string(s.fatecol) : "none: every animal released");
  if (s.nage > 1) {
    std::string ages = std::to_string(s.nage) + ", codes <code>" + Codes(s.acodes, s.nage) +
                       "</code> (youngest first) in column " + std::to_string(s.agecol);
    if (s.ageinc != std::string(kAgeIncWidth, '1')) ages += ", age increments <code>" + Html(s.ageinc) + "</code>";
    row("Age classes", ages);
  } else {
    row("Age classes", "1");
  }
  if (s.ngroups > 1) {
    row("Groups", std::to_string(s.ngroups) + ", codes <code>" + Codes(s.gcodes, s.ngroups) + "</code>" +
                      (s.grpcol > 0 ? " in column " + std::to_string(s.grpcol) : ", no group column"));
  } else {
    row("Groups", "1");
  }
  row("Frequency", s.frqcol1 > 0 ? "columns " + std::to_string(s.frqcol1) + " to " + std::to_string(s.frqcol2)
                                 : "none: one animal a record");
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

void Records(const ReportInput& in, std::string& page) {
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

// Animals caught at each period in each stratum, a line per stratum.
void CaptureChart(const ReportInput& in, std::string& page) {
  const ConversionSettings& s = in.settings;
  const RunDigest& d = in.digest;
  const int32_t T = d.periods;
  const int32_t S = d.strata;
  int64_t most = 1;
  for (int64_t c : d.caught) most = std::max(most, c);
  const int left = 60, top = 10, width = 600, height = 220;
  auto x = [&](int32_t period) { return left + (T > 1 ? (period - 1) * width / (T - 1) : width / 2); };
  auto y = [&](int64_t count) { return top + height - static_cast<int>(count * height / most); };
  page += "<section><h2>Animals caught at each period</h2>\n";
  page += "<svg width=\"" + std::to_string(left + width + 140) +
          "\" height=\"" + std::to_string(top + height + 40) + "\" role=\"img\" aria-label=\"Animals caught at each period in each stratum\">\n";
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
  for (int32_t k = 1; k <= S; ++k) {
    std::string points;
    for (int32_t period = 1; period <= T; ++period) {
      const int64_t count = d.caught[static_cast<size_t>((period - 1) * S + (k - 1))];
      points += (period == 1 ? "" : " ") + std::to_string(x(period)) + "," + std::to_string(y(count));
    }
    page += "<polyline fill=\"none\" stroke=\"" + Colour(k, S) + "\" stroke-width=\"1.5\" points=\"" + points + "\"/>\n";
    const int ly = top + 6 + (k - 1) * (height / std::max(S, 1));
    page += "<rect x=\"" + std::to_string(left + width + 16) + "\" y=\"" + std::to_string(ly - 8) +
            "\" width=\"10\" height=\"10\" fill=\"" + Colour(k, S) + "\"/>";
    page += "<text x=\"" + std::to_string(left + width + 32) + "\" y=\"" + std::to_string(ly + 1) +
            "\">stratum " + Label(s.scodes, k) + "</text>\n";
  }
  page += "</svg></section>\n";
}

// For each group and age class, from one stratum (rows) to the stratum an animal was next
// caught in (columns), the counts shaded by their share of the largest.
void Transitions(const ReportInput& in, std::string& page) {
  const ConversionSettings& s = in.settings;
  const int32_t S = in.digest.strata;
  page += "<section><h2>Movements between strata</h2>\n<p class=\"note\">Pairs of captures, each "
          "animal counted as often as its record stands for: from the stratum of a capture "
          "(rows) to the stratum of the next capture (columns)";
  page += IsMemoryModel(s.modset) ? ", counted at the memory releases (a capture right after another)." : ".";
  page += "</p>\n";
  size_t k = 0;
  for (int32_t g = 1; g <= s.ngroups; ++g) {
    for (int32_t a = 1; a <= s.nage && k < in.digest.transitions.size(); ++a, ++k) {
      const std::vector<int64_t>& table = in.digest.transitions[k];
      int64_t most = 0;
      for (int64_t c : table) most = std::max(most, c);
      page += "<h3>Group " + Label(s.gcodes, g) + ", age class " + Label(AgeCodes(s), a) + "</h3>\n";
      page += "<table class=\"heat\"><tr><th>from \\ to</th>";
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
      page += "</table>\n";
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

void Guide(const ReportInput& in, std::string& page) {
  const ConversionSettings& s = in.settings;
  const bool memory = IsMemoryModel(s.modset);
  const bool sm = HasSmParameterization(s.modset);
  page += "<section><h2>What HAPLOVEX.OUT holds</h2>\n<ol>\n";
  page += "<li><code>PROC TITLE</code> with the title, then the model statement <code>PROC MODEL NPAR=" +
          std::to_string(in.digest.npar) + (memory ? " ADDCELL MEMORY" : " ADDCELL") +
          " ...</code> and its closing line" + (sm ? " <code>PHIMISS=" + std::to_string(s.smstrat) + "</code>" : "") + ".</li>\n";
  if (memory) {
    page += "<li>The data cells: for each group, each age class and each release period 2 to " +
            std::to_string(s.nyrs - 1) + " (an empty line before each period), one <code>COHORT=</code> "
            "statement for each previous stratum and, within it, each release stratum: the animals "
            "released at that period in that stratum after a capture in the previous stratum at the "
            "period before, then, for each later period and each stratum, the animals next caught there. "
            "<code>HAPLOVEX.releases.csv</code> (with <code>--csv</code>) lists them in this order.</li>\n";
    page += std::string("<li><code>LABELS;</code> and a line for each parameter of each group: the transitions ") +
            (sm ? "<code>MOV</code> and <code>SRV</code>" : "<code>PHI</code>") +
            " (period, group, previous, present and next stratum), then the capture probabilities "
            "<code>p</code> (period, group, stratum).</li>\n";
    page += "<li>The estimation runs " + RunNames(in.digest.runs, " and ") + ", and <code>PROC TEST;</code>.</li>\n";
  } else {
    page += "<li>The data cells: for each group, each age class, each release period 1 to " +
            std::to_string(s.nyrs - 1) + " and each release stratum (group outermost), one "
            "<code>COHORT=</code> statement: the animals released, then, for each later period and "
            "each stratum, the animals next caught there. <code>HAPLOVEX.releases.csv</code> (with "
            "<code>--csv</code>) lists them in this order.</li>\n";
    page += std::string("<li><code>LABELS;</code> and a line for each parameter: for each group and age "
                        "class the transitions ") +
            (sm ? "<code>MOV</code> and <code>SRV</code>" : "<code>PHI</code>") +
            " (interval, age, group, from and to stratum), then the capture probabilities <code>p</code> "
            "(occasion, age, group, stratum).</li>\n";
    page += "<li>The estimation runs " + RunNames(in.digest.runs, ", ") + ", and <code>PROC TEST; PROC STOP;</code>.</li>\n";
  }
  page += "</ol></section>\n";
}

}  // namespace

std::string ReportPage(const ReportInput& in) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>HAPLOVEX report: " +
      Html(TrimmedRight(in.settings.title)) + "</title>\n<style>";
  page += kStyle;
  page += "</style>\n</head>\n<body>\n<h1>HAPLOVEX report: " + Html(TrimmedRight(in.settings.title)) + "</h1>\n";
  Settings(in, page);
  Records(in, page);
  CaptureChart(in, page);
  Transitions(in, page);
  Guide(in, page);
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace haplovex
