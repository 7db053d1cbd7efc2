#include "runctl/frame_dialogue.h"

#include <algorithm>

#include "common/fatal.h"
#include "common/format.h"
#include "common/limits.h"
#include "frame/frame_reader.h"
#include "runctl/answer_again.h"

namespace haplovex {

namespace {

constexpr int kPreviewRecords = 5;
constexpr size_t kPreviewWidth = 70;
// At most this many levels are listed.
constexpr size_t kMostLevelsShown = 30;

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return std::string(text);
}

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (size_t k = 0; k < items.size() && k < kMostLevelsShown; ++k) text += (k == 0 ? "" : ", ") + items[k];
  if (items.size() > kMostLevelsShown) text += ", ...";
  return text;
}

}  // namespace

std::vector<std::string> SplitLevels(const std::string& typed) {
  std::vector<std::string> levels;
  size_t from = 0;
  for (;;) {
    const size_t comma = typed.find(',', from);
    std::string level = Trimmed(std::string_view(typed).substr(from, comma - from));
    if (!level.empty()) levels.push_back(std::move(level));
    if (comma == std::string::npos) return levels;
    from = comma + 1;
  }
}

std::string LevelCodes(const std::vector<std::string>& levels) {
  std::string codes;
  const bool single = std::all_of(levels.begin(), levels.end(), [](const std::string& l) { return l.size() == 1; });
  for (const std::string& level : levels) {
    const char first = level.empty() ? ' ' : level.front();
    codes += first != ' ' && codes.find(first) == std::string::npos ? first : '\0';
  }
  if (!single && codes.find('\0') != std::string::npos) {
    for (size_t k = 0; k < codes.size(); ++k) codes[k] = static_cast<char>('A' + k);
  }
  return Padded(codes, kCodesWidth);
}

template <typename Read>
void FrameDialogue::Answer(const std::string& prompt, Read read) {
  AnswerUntilTaken(answers_, console_, err_, prompt, read);
}

void FrameDialogue::Preview() {
  header_ = HeaderOf(input_);
  look_.assign(static_cast<size_t>(std::min<uint64_t>(input_.size(), kFrameLookBytes)), '\0');
  const ssize_t got = look_.empty() ? 0 : input_.ReadAt(0, look_.data(), look_.size());
  look_.resize(got > 0 ? static_cast<size_t>(got) : 0);
  console_.Flush();
  err_ << "haplovex: fields separated by " << SeparatorName(header_.separator) << " (found from the header)"
       << (header_.row_names ? "; the first field of each record is its row name, skipped" : "") << "\n";
  err_.flush();
  console_.Plain(" ");
  console_.Plain(std::string(14, ' ') + "FILE:" + Padded(input_.name(), 64));
  console_.Plain("FIELDS: " + Listed(header_.names));
  // Each record as its fields, separated by " | ": what each field holds is seen as the run
  // reads it, whatever the separators and quotes.
  FrameRecordParser parser(header_.separator);
  const char* p = look_.data() + header_.records_start;
  const char* const end = look_.data() + look_.size();
  for (int k = 0; k < kPreviewRecords && p < end;) {
    const FrameRead read = parser.Read(p, end, look_.size() == input_.size());
    if (read == FrameRead::kMore || read == FrameRead::kFault) break;
    if (read == FrameRead::kBlank) continue;
    std::string shown;
    for (const std::string_view field : parser.fields()) shown += (shown.empty() ? "" : " | ") + std::string(field);
    console_.Plain(shown.substr(0, kPreviewWidth));
    ++k;
  }
  console_.Plain(std::string(kPreviewWidth, '.'));
}

std::vector<std::string> FrameDialogue::LevelsFound(const std::string& field) const {
  std::vector<std::string> found;
  const int k = FieldNamed(header_, field);
  if (k < 0) return found;
  FrameRecordParser parser(header_.separator);
  const char* p = look_.data() + header_.records_start;
  const char* const end = look_.data() + look_.size();
  const bool whole = look_.size() == input_.size();
  std::vector<std::string_view> fields;
  std::string fault;
  while (p < end) {
    const FrameRead read = parser.Read(p, end, whole);
    if (read == FrameRead::kMore || read == FrameRead::kFault) break;
    if (read != FrameRead::kRecord || !HeaderFields(header_, parser, fields, fault)) continue;
    const std::string value(fields[static_cast<size_t>(k)]);
    if (std::find(found.begin(), found.end(), value) == found.end()) found.push_back(value);
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string FrameDialogue::AskField(const std::string& prompt, const std::string& offered, bool optional,
                                    bool* minus) {
  std::string name;
  Answer(prompt + (offered.empty() ? "" : " (" + offered + ")") + ":", [&] {
    name = Trimmed(answers_.Text(prompt));
    if (name.empty()) name = offered;
    if (minus != nullptr) {
      *minus = name.starts_with('-') && FieldNamed(header_, name) < 0;
      if (*minus) name.erase(0, 1);
    }
    if (optional && (name.empty() || name == "none")) {
      name.clear();
      return;
    }
    if (FieldNamed(header_, name) < 0) {
      answers_.Refuse("The frame has no field named \"" + name + "\"; its fields: " + Listed(header_.names));
    }
  });
  return name;
}

std::vector<std::string> FrameDialogue::AskLevels(const std::string& field, const std::string& prompt,
                                                  int32_t count) {
  if (!field.empty()) {
    const std::vector<std::string> found = LevelsFound(field);
    console_.Plain("LEVELS FOUND: " + Listed(found));
  }
  std::vector<std::string> levels;
  Answer(prompt + ":", [&] {
    levels = SplitLevels(answers_.Text(prompt));
    for (size_t k = 1; k < levels.size(); ++k) {
      if (std::find(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(k), levels[k]) !=
          levels.begin() + static_cast<std::ptrdiff_t>(k)) {
        answers_.Refuse("The level \"" + levels[k] + "\" is typed twice");
      }
    }
    if (count > 0 && levels.size() != static_cast<size_t>(count)) {
      answers_.Refuse("Expected " + Counted(count, "level") + " separated by commas, got " +
                      std::to_string(levels.size()));
    }
  });
  return levels;
}

void FrameDialogue::AskFields() {
  FrameFields& f = s_.frame_fields;
  const bool has_ch = FieldNamed(header_, "ch") >= 0;
  console_.Plain("Enter the name of the field holding the capture histories");
  f.history = AskField("HISTORY FIELD", has_ch ? "ch" : "", false);

  console_.Plain("Enter the name of the field holding fate on last capture, or");
  console_.Plain("      none if all captured animals were always released.");
  f.fate = AskField("FATE FIELD", "", true);
  if (!f.fate.empty()) {
    console_.Plain("Enter the fate values meaning the animal was not released,");
    console_.Plain("      separated by commas");
    f.lost = AskLevels(f.fate, "NOT RELEASED", 0);
  }

  if (s_.nage > 1) {
    console_.Plain("Enter the name of the field holding the age class at first capture");
    console_.Plain("      (a minus sign before the name asks the age increments)");
    bool increments = false;
    f.age = AskField("AGE FIELD", "", false, &increments);
    console_.Plain("Enter the age levels, youngest first, separated by commas");
    f.ages = AskLevels(f.age, "AGE LEVELS", s_.nage);
    s_.acodes = LevelCodes(f.ages);
    if (increments) {
      console_.Plain("Enter age-increments as a string of 1s and 0s");
      console_.Plain("  (ie. 0-dont inc age, 1-inc age) for each time-interval");
      console_.Plain("AGE-INCREMENTS:");
      s_.ageinc = answers_.Line(kAgeIncWidth, "AGE-INCREMENTS");
    }
  }

  if (s_.ngroups > 1) {
    console_.Plain("Enter the name of the field holding the group, or");
    console_.Plain("      none if every animal is of the first group.");
    f.group = AskField("GROUP FIELD", "", true);
    console_.Plain("Enter the group levels in order, separated by commas");
    f.groups = AskLevels(f.group, "GROUP LEVELS", s_.ngroups);
    s_.gcodes = LevelCodes(f.groups);
  }

  console_.Plain("Enter the name of the field holding the frequency of each history, or");
  console_.Plain("      none if every record is one animal.");
  f.frequency = AskField("FREQUENCY FIELD", FieldNamed(header_, "freq") >= 0 ? "freq" : "", true);
  if (f.frequency.empty()) err_ << "haplovex: no frequency field: every record is one animal\n";
  LayOutColumns();
}

void FrameDialogue::LayOutColumns() {
  // The fields follow the history in the columns, each only when it is read.
  int32_t next = s_.nyrs + 1;
  for (size_t i = 0; i < s_.codcol.size(); ++i) s_.codcol[i] = static_cast<int32_t>(i + 1);
  const FrameFields& f = s_.frame_fields;
  s_.fatecol = f.fate.empty() ? 0 : next++;
  s_.agecol = f.age.empty() ? 0 : next++;
  s_.grpcol = f.group.empty() ? 0 : next++;
  s_.frqcol1 = s_.frqcol2 = 0;
  if (!f.frequency.empty()) {
    s_.frqcol1 = next;
    s_.frqcol2 = next + kFrameFrequencyWidth - 1;
    s_.obsfmt = "(I";
    AppendInt(s_.obsfmt, kFrameFrequencyWidth, 2);
    s_.obsfmt = Padded(s_.obsfmt + ")", kCodesWidth);
    next = s_.frqcol2 + 1;
  }
  if (next - 1 > kLineWidth) {
    throw FatalStop::Message("A frame of " + std::to_string(s_.nyrs) + " periods with these fields needs " +
                             std::to_string(next - 1) + " columns, more than the " + std::to_string(kLineWidth) +
                             " of a record");
  }
}

}  // namespace haplovex
