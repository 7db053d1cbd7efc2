#include "runctl/answer_checks.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/format.h"
#include "common/limits.h"
#include "tabulate/decoder.h"

namespace haplovex {

namespace {

// Characters of a history shown in a message; a longer one is cut, with "...".
constexpr size_t kShownHistory = 40;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsCodeDigit(char c) { return c >= '1' && c <= '9'; }

char OtherCase(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return c;
}

// "the 294 records" where the look read the whole file, "the first 10,000 records" otherwise:
// `every` as a finding about each record says it.
std::string EveryRecord(const DataLook& look) {
  return look.whole() ? "every record" : "every record of " + look.RecordsText();
}

// The stratum codes answered beside the strata they give: "2 strata with the codes 12".
std::string StrataWith(const std::string& codes) {
  return Counted(static_cast<int64_t>(codes.size()), "stratum", "strata") + " with the codes " +
         codes;
}

// Letters (or, for codes that are digits, digits) that stand in the history where the codes do,
// in two periods' columns at least, and are no code in either case: the codes a person left
// out, the most frequent first.
std::string LeftOutCodes(const std::vector<ByteCounts>& periods, const ByteCounts& bytes,
                         const std::string& codes, const std::array<int8_t, 256>& code_class) {
  const bool letters = std::all_of(codes.begin(), codes.end(), IsLetter);
  const bool digits = std::all_of(codes.begin(), codes.end(), IsCodeDigit);
  // Codes all in one case are left out in that case: a mark of another kind ("x" among ABCD) is
  // the history's own.
  const bool upper = std::all_of(codes.begin(), codes.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  const bool lower = std::all_of(codes.begin(), codes.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  auto like_codes = [&](char c) {
    if (digits) return IsCodeDigit(c);
    if (!letters || !IsLetter(c)) return false;
    return upper ? c >= 'A' && c <= 'Z' : lower ? c >= 'a' && c <= 'z' : true;
  };
  std::string left_out;
  for (size_t b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (code_class[b] > 0 || bytes[b] < 2 || !like_codes(c) ||
        codes.find(OtherCase(c)) != std::string::npos) {
      continue;
    }
    const auto columns = std::count_if(periods.begin(), periods.end(),
                                       [b](const ByteCounts& column) { return column[b] > 0; });
    if (columns >= 2) left_out += c;
  }
  std::stable_sort(left_out.begin(), left_out.end(), [&](char a, char b) {
    return bytes[static_cast<unsigned char>(a)] > bytes[static_cast<unsigned char>(b)];
  });
  left_out.resize(std::min(left_out.size(), static_cast<size_t>(kMaxCodes) - codes.size()));
  return left_out;
}

Finding LeftOut(const std::string& left_out, const ByteCounts& bytes, const std::string& codes,
                const std::string& where) {
  Finding f;
  f.kind = Finding::kLeftOut;
  f.offered = codes + left_out;
  const auto n = static_cast<int64_t>(left_out.size());
  const std::string kind = IsLetter(left_out[0]) ? "letter" : "digit";
  std::string seen;
  for (const char c : left_out) {
    seen += (seen.empty() ? "" : ", ") + std::string(1, c) + " (" +
            Counted(bytes[static_cast<unsigned char>(c)], "time") + ")";
  }
  f.said = "besides the stratum codes " + codes + ", the " + Plural(n, kind) + " " + seen + " " +
           Plural(n, "stands", "stand") + " in " + where +
           ", in two periods or more: a stratum code left out? (" + StrataWith(f.offered) + ")";
  return f;
}

// Period 1 or the last with no capture in any record: where a history one column off leaves a
// period empty (one inside may be a season not sampled).
Finding BlankPeriod(const DataLook& look, const ConversionSettings& s,
                    const std::vector<ByteCounts>& periods,
                    const std::array<int8_t, 256>& code_class) {
  Finding f;
  for (const size_t i : {periods.size() - 1, size_t{0}}) {
    int64_t captured = 0;
    for (size_t b = 0; b < 256; ++b) captured += code_class[b] > 0 ? periods[i][b] : 0;
    if (captured > 0) continue;
    f.kind = Finding::kBlankPeriod;
    f.said = "period " + std::to_string(i + 1) + " is blank in " + EveryRecord(look) + " (" +
             (s.inp ? "character " + std::to_string(i + 1) + " of the histories"
                    : "column " + std::to_string(s.codcol[i])) +
             " holds no stratum code)";
  }
  if (f && !s.inp && s.ConsecutiveColumns()) {
    if (const int32_t likely = LikelyFirstColumn(look, s); likely != 0) {
      f.offered = std::to_string(likely);
      f.said += "; the histories fit from column " + f.offered + " on";
    }
  }
  return f;
}

bool HasDigit(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The columns after the history in which digits stand, one run of them after another: where
// numbers stand, whatever a screen shows.
std::vector<std::pair<int32_t, int32_t>> DigitRuns(const DataLook& look, const ConversionSettings& s) {
  std::vector<std::pair<int32_t, int32_t>> runs;
  const int32_t after = s.codcol.empty() ? 1 : *std::max_element(s.codcol.begin(), s.codcol.end()) + 1;
  for (int32_t c = after; c <= kLineWidth; ++c) {
    const ByteCounts bytes = look.Column(c);
    bool digits = false;
    for (char d = '0'; d <= '9'; ++d) digits = digits || bytes[static_cast<unsigned char>(d)] > 0;
    if (!digits) continue;
    if (!runs.empty() && runs.back().second == c - 1) {
      runs.back().second = c;
    } else {
      runs.emplace_back(c, c);
    }
  }
  return runs;
}

}  // namespace

Finding JudgeTabs(const DataLook& look, const ConversionSettings& s) {
  Finding f;
  int64_t tabs = 0;
  int32_t first = 0;
  const int32_t last = std::min(s.frqcol2, kLineWidth);
  for (int32_t c = 1; c <= last; ++c) {
    const int64_t here = look.Column(c)[static_cast<unsigned char>('\t')];
    if (here > 0 && first == 0) first = c;
    tabs += here;
  }
  if (tabs == 0) return f;
  f.refutable = false;
  f.said = look.RecordsText() + " hold " + Counted(tabs, "tab") + " at or before column " +
           std::to_string(last) + ", the frequency field's last (the first in column " +
           std::to_string(first) +
           "): each tab is one column of the record, however wide a screen shows it";
  // Columns typed that hold one run of digits whole, and no other digit, are offered as typed.
  // Otherwise a screen widened a tab: the numbers stand before the columns it showed them in,
  // in the last run of digits that starts at or before the field's first column.
  const std::vector<std::pair<int32_t, int32_t>> runs = DigitRuns(look, s);
  auto columns = [](int32_t from, int32_t to) {
    return std::to_string(from) + "-" + std::to_string(to);
  };
  const auto within = std::find_if(runs.begin(), runs.end(), [&](const auto& run) {
    return run.second >= s.frqcol1 && run.first <= s.frqcol2;
  });
  if (within != runs.end() && s.frqcol1 <= within->first && within->second <= s.frqcol2 &&
      (within + 1 == runs.end() || (within + 1)->first > s.frqcol2)) {
    f.offered = columns(s.frqcol1, s.frqcol2);
    return f;
  }
  const auto before = std::find_if(runs.rbegin(), runs.rend(), [&](const auto& run) {
    return run.first <= s.frqcol1;
  });
  if (before != runs.rend()) f.offered = columns(before->first, before->second);
  return f;
}

void ShowTabs(std::string& record) { std::replace(record.begin(), record.end(), '\t', kTabShown); }

std::string PreviewNotes(const std::vector<std::string>& records, bool shown) {
  std::string notes;
  if (std::any_of(records.begin(), records.end(),
                  [](const std::string& r) { return r.find('\t') != std::string::npos; })) {
    notes = std::string("the records hold tabs") +
            (shown ? std::string(", shown as ") + kTabShown : "") +
            ": each tab is one column of the record";
  }
  // Names over the columns: a first line with letters and no digit, over records with digits.
  if (records.size() >= 2 && !HasDigit(records[0]) &&
      std::any_of(records[0].begin(), records[0].end(), IsLetter) &&
      std::any_of(records.begin() + 1, records.end(),
                  [](const std::string& r) { return HasDigit(r); })) {
    std::string first(TrimmedRight(records[0]));
    ShowTabs(first);
    notes += (notes.empty() ? "" : "; ") + std::string("line 1 (") +
             first.substr(0, kShownHistory) + ") looks like a line of names, not a record";
  }
  return notes;
}

std::string ShownHeader(const DataLook& look) {
  std::string line = look.header();
  ShowTabs(line);
  return std::string(TrimmedRight(line)).substr(0, kShownHistory);
}

std::string NamesNote(const std::string& shown) {
  return "line 1 (" + shown + ") holds names, not a record: it is read as none";
}

std::string CountsAnswer(const ConversionSettings& s) {
  return (s.listdata ? "-" : "") + std::to_string(s.nstrata) + "," + std::to_string(s.nyrs) + "," +
         std::to_string(s.nage) + "," + std::to_string(s.ngroups);
}

Finding JudgePeriods(const DataLook& look, const ConversionSettings& s) {
  Finding f;
  const DataLook::Summarised& sum = look.summarised();
  if (sum.other_length_line == 0) return f;
  f.refutable = false;
  std::string history = sum.other_history.substr(0, kShownHistory);
  if (sum.other_history.size() > kShownHistory || sum.other_length > sum.other_history.size())
    history += "...";
  const std::string line = "line " + std::to_string(sum.other_length_line) + ": history " +
                           history + ", " +
                           Counted(static_cast<int64_t>(sum.other_length), "character");
  const std::string answered = "where the counts answer gives " + Counted(s.nyrs, "period");
  const int32_t usual = look.UsualLength();
  if (usual == s.nyrs || usual == 0) {
    f.said = "the history on " + line + ", " + answered + ", as most histories have";
    return f;
  }
  ConversionSettings fits = s;
  fits.nyrs = usual;
  f.offered = CountsAnswer(fits);
  const int64_t with = look.RecordsOfLength(usual);
  f.said = (with == look.records() ? "the histories of "
                                   : GroupedDigits(with) + " of the histories of ") +
           look.RecordsText() + " have " + Counted(usual, "character") + " (" + line + "), " +
           answered + ": the counts that fit them are " + f.offered;
  return f;
}

Finding JudgeGroups(const DataLook& look, const ConversionSettings& s) {
  Finding f;
  const std::vector<int64_t>& whole = look.summarised().whole_counts;
  if (whole.empty() || look.records() == 0) return f;
  const auto groups = static_cast<size_t>(s.ngroups);
  // Most records with fewer counts than groups: the conversion would stop at the first of
  // them. The groups likely meant are the count most of those records carry (one at least).
  int64_t fewer = 0;
  for (size_t k = 0; k < groups && k < whole.size(); ++k) fewer += whole[k];
  const bool short_of = fewer * 2 > look.records();
  size_t usual = 0;
  if (short_of) {
    for (size_t k = 1; k < groups && k < whole.size(); ++k) usual = whole[k] > whole[usual] ? k : usual;
    if (usual == 0) return f;
  } else {
    usual = static_cast<size_t>(std::max_element(whole.begin(), whole.end()) - whole.begin());
  }
  // (A whole-number covariate on every record is no count: the counts answered then hold the
  // animals.)
  const int64_t missed = look.summarised().counts_missed;
  if (!short_of &&
      (usual <= groups || whole[usual] * 2 <= look.records() || missed * 10 < look.records())) {
    return f;
  }
  ConversionSettings fits = s;
  fits.ngroups = static_cast<int32_t>(usual);
  f.offered = CountsAnswer(fits);
  const std::string counts = Counted(static_cast<int64_t>(usual), "whole-number count");
  f.said = whole[usual] == look.records()
               ? EveryRecord(look) + " has " + counts + " after its history"
               : GroupedDigits(whole[usual]) + " of " + look.RecordsText() + " have " + counts +
                     " after their history";
  f.said += ": " + Counted(static_cast<int64_t>(usual), "group") + "? (the counts " + f.offered +
            "; with " + Counted(s.ngroups, "group") + ", " +
            (short_of ? "each record needs " + std::to_string(s.ngroups) + ")"
                      : GroupedDigits(missed) + " of " + look.RecordsText() + " count no animal)");
  return f;
}

std::vector<Finding> JudgeStrata(const DataLook& look, const ConversionSettings& s) {
  std::vector<Finding> found;
  if (look.records() == 0 || s.codcol.empty()) return found;
  const std::string codes = s.scodes.substr(0, static_cast<size_t>(s.nstrata));
  const std::string where = HistoryPlace(s) + " of " + look.RecordsText();
  const RecordDecoder decoder(s);
  const std::array<int8_t, 256>& code_class = decoder.code_class();
  std::vector<ByteCounts> periods;
  for (const int32_t column : s.codcol) periods.push_back(look.Column(column));
  const ByteCounts bytes = look.Columns(s.codcol);

  if (const std::string left_out = LeftOutCodes(periods, bytes, codes, code_class);
      !left_out.empty()) {
    found.push_back(LeftOut(left_out, bytes, codes, where));
  }
  if (Finding blank = BlankPeriod(look, s, periods, code_class)) found.push_back(std::move(blank));
  std::string used;
  std::string unused;
  for (const char c : codes) (bytes[static_cast<unsigned char>(c)] > 0 ? used : unused) += c;
  // (No code at all is the history's own judgement.)
  if (!unused.empty() && !used.empty()) {
    Finding f;
    f.kind = Finding::kUnused;
    f.offered = used;
    f.said =
        Plural(static_cast<int64_t>(unused.size()), "the stratum code ", "the stratum codes ") +
        unused + " " + Plural(static_cast<int64_t>(unused.size()), "stands", "stand") +
        " nowhere in " + where + ": " + StrataWith(used) + "?";
    found.push_back(std::move(f));
  }
  return found;
}

Finding JudgeFrequencyCounts(const DataLook& look, const ConversionSettings& s) {
  Finding f;
  const DataLook::Frequencies& q = look.frequencies();
  if (q.fields == 0) return f;
  const std::string place = FrequencyPlace(s);
  const std::string of = " of " + look.RecordsText();
  const std::string inp =
      "; a file with a count for each group after its history is read with --inp";
  if (q.spaced * 3 > q.fields) {
    f.said = place + " holds numbers separated by blanks in " + GroupedDigits(q.spaced) + of +
             " (\"" + q.first_spaced + "\" in record " + GroupedDigits(q.first_spaced_record) +
             ", read as one number)" + inp;
  } else if (q.zero * 3 > q.fields) {
    f.said = place + " is 0 in " + GroupedDigits(q.zero) + of + ", which count no animal" + inp;
  } else if (q.blank * 2 > q.fields) {
    f.said = place + " is blank in " + GroupedDigits(q.blank) + of + ", which count no animal";
  }
  return f;
}

AnswersLooked AnswerWarnings(InputFile& input, const ConversionSettings& s) {
  const DataLook look(input, s);
  AnswersLooked looked;
  looked.header = ShownHeader(look);
  looked.first_split = look.summarised().first_split;
  auto add = [&](std::string said, bool refutable = true) {
    if (!said.empty()) looked.warnings.push_back({std::move(said), !refutable || look.whole()});
  };
  const HistoryJudgement history = JudgeHistory(look, s);
  add(history.said);
  // (Codes that stand nowhere, or in the other case, leave every period blank.)
  // A code left out is said before the columns the history's judgement offers.
  if (history.fault == HistoryJudgement::kNone || history.fault == HistoryJudgement::kForeign) {
    for (const Finding& f : JudgeStrata(look, s)) {
      if (history.fault == HistoryJudgement::kNone || f.kind == Finding::kLeftOut) add(f.said);
    }
  }
  // Codes typed with commas between them are wrong whatever the records after the look hold.
  auto codes = [&](const std::string& typed, int32_t count, int32_t column,
                   const std::string& name) {
    const std::string said = JudgeCodes(&look, typed, count, column, name);
    add(said, said.find("typed with commas") == std::string::npos);
  };
  if (s.nage > 1) codes(s.acodes, s.nage, s.agecol, "age");
  if (s.ngroups > 1) codes(s.gcodes, s.ngroups, s.grpcol, "group");
  if (s.frqcol1 > 0) {
    add(JudgeFrequency(look, s));
    add(JudgeFrequencyCounts(look, s).said);
  }
  if (s.inp) {
    add(JudgeGroups(look, s).said);
  } else {
    const Finding tabs = JudgeTabs(look, s);
    add(tabs.said, tabs.refutable);
  }
  return looked;
}

}  // namespace haplovex
