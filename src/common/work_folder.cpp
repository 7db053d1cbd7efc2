#include "common/work_folder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <sstream>
#include <string_view>

#include "common/fatal.h"
#include "common/format.h"
#include "common/text_file.h"

namespace haplovex {

namespace {

using platform::FileFacts;

std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// --- Partial files a stop request must remove -----------------------------------------------

// Fixed slots, so that the stop handler reads them without allocating or locking. A slot is
// filled before it is marked used, and marked unused before it is emptied.
struct PartialSlot {
  volatile std::sig_atomic_t used = 0;
  const platform::Folder* folder = nullptr;
  char name[256] = {};
};
constexpr int kPartialSlots = 16;
PartialSlot partial_slots[kPartialSlots];

// Set once a run's files are in place: a stop after that no longer means nothing was written.
volatile std::sig_atomic_t files_in_place = 0;

// What a stop request adds to its message (the answers kept at a terminal); a fixed buffer the
// handler reads without allocating, set before it is marked used.
char stop_note[640] = {};
volatile std::sig_atomic_t stop_note_length = 0;
// The message a stop request writes: one of the three below, then the note.
char stop_message[800] = {};

// Removes the partial files and makes the message of a stop request.
const char* OnStop(size_t& length) {
  for (PartialSlot& slot : partial_slots) {
    if (slot.used) platform::Remove(*slot.folder, slot.name);
  }
  static const char kKept[] =
      "\nhaplovex: stopped by a signal; no file was written, and the files in the folder are as "
      "they were\n";
  static const char kPlaced[] = "\nhaplovex: stopped by a signal after the run's files were written\n";
  static const char kKeptButTyped[] =
      "\nhaplovex: stopped by a signal; the files in the folder are as they were\n";
  const bool noted = stop_note_length > 0 && !files_in_place;
  const char* line = files_in_place ? kPlaced : noted ? kKeptButTyped : kKept;
  length = std::strlen(line);
  std::memcpy(stop_message, line, length);
  if (noted) {
    std::memcpy(stop_message + length, stop_note, static_cast<size_t>(stop_note_length));
    length += static_cast<size_t>(stop_note_length);
  }
  return stop_message;
}

// The process that made a hidden file of the program's, from its name: "." + "HAPLOVEX." + a
// name + `mark` + process + "-" + number (or, for a record of moves, nothing after the
// process); none for any other name, a user's ".HAPLOVEX.OUT.partial-notes" included.
std::optional<uint64_t> MakerOf(std::string_view name, std::string_view mark, bool numbered) {
  if (!name.starts_with(".HAPLOVEX.")) return std::nullopt;
  const size_t at = name.find(mark);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = name.substr(at + mark.size());
  const size_t dash = rest.find('-');
  const std::string_view process = numbered ? rest.substr(0, dash) : rest;
  if (numbered) {
    if (dash == std::string_view::npos) return std::nullopt;
    const std::string_view number = rest.substr(dash + 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
  }
  if (process.empty() || process.size() > 9 ||
      process.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoull(std::string(process));
}


}  // namespace

// Partial files are named "." + the file's name + this mark + process + "-" + a number.
constexpr const char* kPartialMark = ".partial-";
// What a file replaced is kept as until the run's files are in place.
constexpr const char* kBackupMark = ".previous-";
// The record of a run's moves while it puts its files in place: ".HAPLOVEX.moves-" + process.
constexpr const char* kMovesName = ".HAPLOVEX.moves-";

namespace {

std::string BackupName(const std::string& name) {
  static unsigned counter = 0;
  return "." + name + kBackupMark + std::to_string(platform::ProcessId()) + "-" + std::to_string(++counter);
}

// One move of a run's file into place, as its record of moves holds it: the name, the partial
// file, and where the file it replaces is kept ("-": the name was free).
struct Move {
  std::string name;
  std::string partial;
  std::string backup;
};

// The text of a record of moves (its first MiB); none when what stands at its name is not a
// regular file: a pipe is never waited on, and a folder or a link is no record.
std::optional<std::string> ReadMoves(const platform::Folder& folder, const std::string& record) {
  FileFacts there;
  if (platform::Look(folder, record, false, there) != 0 || there.kind != FileFacts::Kind::kRegular) {
    return std::nullopt;
  }
  platform::FileHandle file = platform::kNoFile;
  FileFacts facts;
  if (platform::OpenToRead(folder, record, file, facts) != 0) return std::nullopt;
  // What was opened is the file looked at, not a link put in its place meanwhile.
  if (facts.kind != FileFacts::Kind::kRegular || facts.device != there.device || facts.id != there.id) {
    platform::CloseFile(file);
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  int error = 0;
  for (int64_t got; (got = platform::Read(file, buffer, sizeof buffer, error)) > 0 && text.size() < (1u << 20);) {
    text.append(buffer, static_cast<size_t>(got));
  }
  platform::CloseFile(file);
  return text;
}

// Whether `name` is one a run of `process` gives a partial or kept file (`mark`) of its file
// `file`: "." + file + mark + process + "-" + a number, and nothing else.
bool HiddenNameOf(std::string_view name, const std::string& file, std::string_view mark,
                  const std::string& process) {
  const std::string head = "." + file + std::string(mark) + process + "-";
  if (!name.starts_with(head)) return false;
  const std::string_view number = name.substr(head.size());
  return !number.empty() && number.size() <= 10 &&
         number.find_first_not_of("0123456789") == std::string_view::npos;
}

// A line of a record of moves as a person is shown it: each field in quotes.
std::string ShownLine(const std::vector<std::string>& fields) {
  constexpr size_t kShown = 200;
  std::string shown;
  for (const std::string& field : fields) shown += (shown.empty() ? "\"" : " \"") + field + "\"";
  if (shown.size() > kShown) shown = shown.substr(0, kShown) + "...";
  return Harmless(shown);
}

// What finishing a record of moves did: the names put in place, whether any line was a move of
// a run's files, and the lines that were not (as shown), which were left undone.
struct MovesFinished {
  std::vector<std::string> placed;
  bool any_done = false;
  std::vector<std::string> refused;
};

// Finishes the moves of a run of `process` killed while putting its files in place, so that
// the files are again of one run: what is still a partial file is renamed onto its name, and
// the kept earlier files are removed. The record is data from the folder, which anyone may have
// written: a line is done only when its name is one of `run_names` and its partial and kept
// files are "-" or the names that process gives them; the other lines are left undone.
MovesFinished FinishMoves(const platform::Folder& fd, const std::string& text, const std::string& process,
                          const std::vector<std::string>& run_names) {
  MovesFinished result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    const bool one_of_ours =
        fields.size() == 3 &&
        std::find(run_names.begin(), run_names.end(), fields[0]) != run_names.end() &&
        fields[0].find('/') == std::string::npos &&
        (fields[1] == "-" || HiddenNameOf(fields[1], fields[0], kPartialMark, process)) &&
        (fields[2] == "-" || HiddenNameOf(fields[2], fields[0], kBackupMark, process));
    if (!one_of_ours) {
      result.refused.push_back(ShownLine(fields));
      continue;
    }
    result.any_done = true;
    const Move move{fields[0], fields[1], fields[2]};
    FileFacts facts;
    if (move.partial == "-") {
      // A removal: the earlier file goes, wherever the killed run left it.
      if (move.backup != "-" && platform::Look(fd, move.backup, false, facts) == 0) {
        platform::Remove(fd, move.name);
      }
    } else if (platform::Look(fd, move.partial, false, facts) == 0 &&
               platform::Rename(fd, move.partial, move.name) == 0) {
      result.placed.push_back(move.name);
    }
    if (move.backup != "-") platform::Remove(fd, move.backup);
  }
  return result;
}

}  // namespace

WorkFolder::WorkFolder(const std::filesystem::path& path, std::ostream* err,
                       const std::vector<std::string>& run_names) {
  if (const int error = platform::OpenFolder(path, folder_); error != 0) {
    throw FatalStop::Message("Can't open the working folder: " + Reason(error));
  }
  Hold();
  // Moves a run killed outright left half done come first: they may still need its files.
  for (const std::string& name : Names()) {
    const std::optional<uint64_t> maker = MakerOf(name, "moves-", false);
    if (!maker || !name.starts_with(kMovesName) || !platform::ProcessGone(*maker)) continue;
    const std::optional<std::string> record = ReadMoves(folder_, name);
    if (!record) continue;
    const MovesFinished finished = FinishMoves(folder_, *record, std::to_string(*maker), run_names);
    platform::Remove(folder_, name);
    platform::SyncFolder(folder_);
    if (err == nullptr) continue;
    if (finished.any_done) {
      *err << "haplovex: a run stopped while putting its files in place; this run finished its "
              "moves, so the folder holds that run's files";
      for (size_t k = 0; k < finished.placed.size(); ++k) {
        *err << (k == 0 ? " (" : ", ") << finished.placed[k];
      }
      *err << (finished.placed.empty() ? "" : ")") << "\n";
    }
    constexpr size_t kNamed = 10;
    for (size_t k = 0; k < finished.refused.size() && k < kNamed; ++k) {
      *err << "haplovex: a line of " << Harmless(name)
           << " names no move of a run's files and was not done: " << finished.refused[k] << "\n";
    }
    if (finished.refused.size() > kNamed) {
      *err << "haplovex: " << finished.refused.size() - kNamed << " more lines of " << Harmless(name)
           << " were not done either\n";
    }
  }
  // Partial and kept files of runs whose process is gone; nothing else.
  for (const std::string& name : Names()) {
    std::optional<uint64_t> maker = MakerOf(name, kPartialMark, true);
    if (!maker) maker = MakerOf(name, kBackupMark, true);
    if (maker && platform::ProcessGone(*maker)) platform::Remove(folder_, name);
  }
  // Free for other runs while this one waits for its answers.
  platform::ReleaseFolder(folder_);
}

void WorkFolder::Hold() {
  if (!platform::TryHoldFolder(folder_)) {
    throw FatalStop::Message(
        "Another HAPLOVEX run is converting in this folder; run again when it has finished");
  }
}

WorkFolder::~WorkFolder() { platform::CloseFolder(folder_); }

std::string PartialName(const std::string& name, unsigned attempt) {
  return "." + name + kPartialMark + std::to_string(platform::ProcessId()) + "-" + std::to_string(attempt);
}

namespace {

// The record of a run's moves, written and made durable before the first of them.
std::string WriteMoves(const platform::Folder& fd, const std::vector<Move>& moves) {
  const std::string record = kMovesName + std::to_string(platform::ProcessId());
  std::string text;
  for (const Move& m : moves) text += m.name + "\t" + m.partial + "\t" + m.backup + "\n";
  // A record a run killed earlier left under this process's number is no longer of use.
  platform::Remove(fd, record);
  platform::FileHandle file = platform::kNoFile;
  if (platform::CreateNew(fd, record, file) != 0) return "";
  const bool written = platform::WriteAll(file, text.data(), text.size()) == 0 && platform::SyncFile(file) == 0;
  platform::CloseFile(file);
  if (!written) {
    platform::Remove(fd, record);
    return "";
  }
  platform::SyncFolder(fd);
  return record;
}

}  // namespace

namespace {

// The moves that put a run's files in place: each file renamed onto its name, then each earlier
// file removed. What putting back needs is kept: a hard link to each file replaced or removed (a
// file replaced gives its permission bits to the one that replaces it). Where the file system
// has no hard links, the earlier file is moved aside at its move instead. The moves are recorded
// in the folder, then made all together or not at all.
class Placing {
 public:
  Placing(WorkFolder& folder, std::ostream& err) : folder_(folder), fd_(folder.system()), err_(err) {}

  // Adds the move of `file` onto its name.
  void Place(OutputFile* file) {
    Move move{file->name(), file->partial_name(), "-"};
    FileFacts facts;
    const bool aside = folder_.Look(move.name, facts) == 0 && KeepEarlier(move, facts, true);
    Add(std::move(move), file, aside);
  }
  // Adds the removal of the earlier file at `name`, when a file stands there.
  void Remove(const std::string& name) {
    FileFacts facts;
    if (folder_.Look(name, facts) != 0 || facts.kind == FileFacts::Kind::kFolder) return;
    Move move{name, "-", "-"};
    const bool aside = KeepEarlier(move, facts, false);
    Add(std::move(move), nullptr, aside);
  }
  // Writes the record of the moves, durable before the first of them.
  void Record() { record_ = WriteMoves(fd_, moves_); }
  // Makes every move; when one fails, every name is put back as it was and the run stops.
  void Make() {
    for (; done_ < moves_.size(); ++done_) {
      const Move& move = moves_[done_];
      if (moved_aside_[done_]) {
        if (const int error = platform::Rename(fd_, move.name, move.backup); error != 0) {
          Fail(error, "Can't replace " + move.name);
        }
      }
      if (placing_[done_] == nullptr) {
        // A removal: the earlier file is kept as the backup until the moves are done.
        if (!moved_aside_[done_]) {
          const int error = platform::Remove(fd_, move.name);
          if (error != 0 && error != ENOENT) Fail(error, "Can't remove " + move.name);
        }
        continue;
      }
      if (const int error = platform::Rename(fd_, move.partial, move.name); error != 0) {
        if (moved_aside_[done_]) platform::Rename(fd_, move.backup, move.name);
        Fail(error, "Can't put " + move.name + " in place");
      }
      placing_[done_]->Placed();
    }
  }
  // Once every move is made: what was kept of the earlier files and the record go, and the
  // removals are said on standard error.
  void Finish() {
    platform::SyncFolder(fd_);
    for (const Move& m : moves_) {
      if (m.backup != "-") platform::Remove(fd_, m.backup);
    }
    if (!record_.empty()) platform::Remove(fd_, record_);
    platform::SyncFolder(fd_);
    files_in_place = 1;
    for (size_t k = 0; k < moves_.size(); ++k) {
      if (placing_[k] == nullptr) {
        err_ << "haplovex: removed " << moves_[k].name
             << ", an earlier run's file that this run does not write\n";
      }
    }
  }

 private:
  void Add(Move move, OutputFile* file, bool aside) {
    moves_.push_back(std::move(move));
    placing_.push_back(file);
    moved_aside_.push_back(aside);
  }

  // Keeps what putting back the earlier file at `move.name` (whose information is `st`) needs;
  // returns whether it is moved aside at its move, for want of hard links.
  bool KeepEarlier(Move& move, const FileFacts& facts, bool replaced) {
    if (replaced && facts.kind != FileFacts::Kind::kLink) {
      platform::SetPermissions(fd_, move.partial, facts.permissions);
    }
    move.backup = BackupName(move.name);
    const int error = platform::Link(fd_, move.name, move.backup);
    if (error == 0) return false;
    if (!platform::NoHardLinks(error)) {
      // The links made for the earlier moves go; nothing has moved yet.
      for (size_t k = 0; k < moves_.size(); ++k) {
        if (moves_[k].backup != "-" && !moved_aside_[k]) platform::Remove(fd_, moves_[k].backup);
      }
      throw FatalStop::Message("Can't replace " + move.name + ": " + Reason(error));
    }
    err_ << "haplovex: this file system has no hard links: " << move.name
         << " is moved aside for a moment\n";
    return true;
  }

  // Puts back every name as it was before the run, the last move first, and stops the run with
  // `what` and the reason for the system's error number `error`.
  [[noreturn]] void Fail(int error, const std::string& what) {
    for (size_t k = done_; k-- > 0;) {
      if (moves_[k].backup != "-") {
        platform::Rename(fd_, moves_[k].backup, moves_[k].name);
      } else {
        platform::Remove(fd_, moves_[k].name);
      }
    }
    for (size_t k = done_; k < moves_.size(); ++k) {
      if (moves_[k].backup != "-" && !moved_aside_[k]) platform::Remove(fd_, moves_[k].backup);
    }
    if (!record_.empty()) platform::Remove(fd_, record_);
    platform::SyncFolder(fd_);
    throw FatalStop::Message(what + ": " + Reason(error));
  }

  WorkFolder& folder_;
  const platform::Folder& fd_;
  std::ostream& err_;
  std::vector<Move> moves_;
  std::vector<OutputFile*> placing_;  // the file put in place by each move; none: a removal
  std::vector<bool> moved_aside_;     // the backup is the earlier file itself, not a link to it
  std::string record_;
  size_t done_ = 0;  // the moves made
};

}  // namespace

void PutInPlace(WorkFolder& folder, const std::vector<FinishedFile>& files, std::ostream& err,
                const std::vector<std::string>& remove) {
  for (const FinishedFile& f : files) {
    const std::string& name = f.file->name();
    FileFacts facts;
    const int look = folder.Look(name, facts);
    if (look == 0 && !f.may_replace) {
      throw FatalStop::Message(name + " appeared in this folder while the run was converting; it "
                               "was left as it is and nothing was written");
    }
    if (look == 0 && facts.kind == FileFacts::Kind::kFolder) {
      throw FatalStop::Message("Can't replace " + name + ": " + Reason(EISDIR));
    }
  }
  Placing placing(folder, err);
  for (const FinishedFile& f : files) placing.Place(f.file);
  for (const std::string& name : remove) placing.Remove(name);
  placing.Record();
  const platform::StopsHeld held;
  placing.Make();
  placing.Finish();
}

void RegisterPartialFile(const platform::Folder& folder, const std::string& name) {
  for (PartialSlot& slot : partial_slots) {
    if (slot.used || name.size() >= sizeof slot.name) continue;
    slot.folder = &folder;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.used = 1;
    return;
  }
}

void ForgetPartialFile(const platform::Folder& folder, const std::string& name) {
  for (PartialSlot& slot : partial_slots) {
    if (slot.used && slot.folder == &folder && name == slot.name) slot.used = 0;
  }
}

void SetStopSignalNote(const std::string& note) {
  stop_note_length = 0;
  const size_t length = std::min(note.size(), sizeof stop_note);
  std::memcpy(stop_note, note.data(), length);
  stop_note_length = static_cast<std::sig_atomic_t>(length);
}

void InstallStopHandlers() { platform::InstallStopHandlers(OnStop); }

}  // namespace haplovex
