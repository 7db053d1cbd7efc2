// The working folder of a run: where the capture-history file is found and where the run's
// own files appear, whole or not at all.
//
// A run takes the folder for itself (an advisory lock the system releases when the process
// ends, however it ends) briefly when it starts, to mend what a run killed outright left, and
// again for its conversion (Hold), not while it waits for answers. It writes each of its files
// as a partial file beside the name it will have, and puts them in place only when the run has
// finished: each partial file is renamed straight onto its name, so that the name holds the
// earlier file or the new one at every instant, after a hard link to the earlier file has kept
// what putting it back needs; a record of the moves left in the folder lets the next run finish
// them when a run is killed in their midst. Until then every file that was in the folder stays
// as it was; a partial file is removed on every stop, and on a stop signal (see
// InstallStopHandlers).
//
// Names are looked up relative to the folder, not through its path, so a folder whose path is
// very long, or that was removed while the run stood in it, is handled as any other.
//
// Which call keeps which promise (platform_posix.cpp on Linux, platform_win32.cpp on Windows):
//   one run converting a folder at a time:
//     Linux    flock(LOCK_EX | LOCK_NB) on the folder's own descriptor; the lock goes with the
//              descriptor, when the run ends however it ends.
//     Windows  LockFileEx (exclusive, fail at once) on byte 0 of the lock file ".HAPLOVEX.lock"
//              in the folder, which the run opens when it starts, with delete-on-close: the
//              lock is released and the file goes when the last run that has it open ends,
//              however it ends (the system closes a dead process's handles).
//   a name holds the earlier file or the new one at every instant:
//     Linux    renameat onto the name;
//     Windows  MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
//   the earlier file kept until the run's files are all in place, and put back or healed:
//     Linux    linkat (a hard link), or the file moved aside where there are none;
//     Windows  CreateHardLinkW, or MoveFileExW aside where the file system has none (FAT).
//   each step durable before the next:
//     Linux    fsync of the file and of the folder after its renames;
//     Windows  FlushFileBuffers of the file; the write-through moves are on the disk when they
//              return (a folder cannot be flushed there).
//   a stop asked for from outside leaves the folder as it was:
//     Linux    the stop signals (INT, TERM, HUP ...), held back with sigprocmask while the files
//              are put in place;
//     Windows  SetConsoleCtrlHandler (Ctrl-C, Ctrl-Break, a closed console, logoff, shutdown),
//              whose handler waits while the files are put in place; partial files are opened
//              shared for deletion, so that the handler removes them while they are open.
//   names as the user gave them: bytes on Linux; UTF-8 turned into UTF-16 at every Windows
//   call, with the "\\?\" prefix, so that long and non-ASCII names work.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "common/platform.h"

namespace haplovex {

class OutputFile;

class WorkFolder {
 public:
  // Opens the folder and takes it for a moment: the moves a run killed while putting its files
  // in place left half done are finished (said on `err`), and the partial and backup files of
  // runs whose process is gone are removed. Another run converting in the folder, or a folder
  // that cannot be opened, stops the run. `run_names` are the names any run writes in a folder:
  // a record of moves is data from the folder, and only its moves of those files between the
  // names a run gives their partial and kept files are done; its other lines are named on `err`
  // and left undone.
  explicit WorkFolder(const std::filesystem::path& path, std::ostream* err = nullptr,
                      const std::vector<std::string>& run_names = {});
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // Takes the folder for this run's conversion, until the run ends; another run converting in
  // it stops this one.
  void Hold();

  // The folder as the system calls reach it, for names relative to it.
  const platform::Folder& system() const { return folder_; }

  // Information on what stands at `name`, the link itself when `name` is a symbolic link.
  // Returns 0, ENOENT when nothing is there, or the system's error number.
  int Look(const std::string& name, platform::FileFacts& facts) const {
    return platform::Look(folder_, name, false, facts);
  }
  // The same, for the file a symbolic link at `name` leads to.
  int LookThrough(const std::string& name, platform::FileFacts& facts) const {
    return platform::Look(folder_, name, true, facts);
  }
  // 0 when this run may write the file at `name`, or the system's error number.
  int Writable(const std::string& name) const { return platform::Writable(folder_, name); }
  // Every name in the folder.
  std::vector<std::string> Names() const { return platform::Names(folder_); }

 private:
  platform::Folder folder_;
};

// A run's file and what its name may hold when the run ends.
struct FinishedFile {
  OutputFile* file;
  // False: the name was free when the run began and must still be free; a file that
  // appeared there meanwhile is not replaced.
  bool may_replace;
};

// Puts every finished file in place under its name, replacing what stands there (a symbolic
// link is replaced itself, never the file it leads to) and keeping the permission bits of the
// file it replaces. All or nothing: when one of them cannot be put in place, the others are
// put back as they were and the run stops. In the same step the files named in `remove` are
// removed where they are (an earlier run's files that this run does not write), as `err` is
// told. On a file system without hard links a file is moved aside before its name is taken, as
// `err` is told too.
void PutInPlace(WorkFolder& folder, const std::vector<FinishedFile>& files, std::ostream& err,
                const std::vector<std::string>& remove = {});

// The name of a partial file for `name`, the `attempt`-th one tried (a creation that finds it
// taken tries the next).
std::string PartialName(const std::string& name, unsigned attempt);

// Remembers a partial file, so that a stop signal removes it. Async-signal-safe to read.
void RegisterPartialFile(const platform::Folder& folder, const std::string& name);
void ForgetPartialFile(const platform::Folder& folder, const std::string& name);

// A line a stop signal's message is followed by, while nothing of the run is in place (say,
// where the answers typed so far are kept); empty for none.
void SetStopSignalNote(const std::string& note);

// Makes the process stop cleanly: every signal that ends a process by default and is asked
// for from outside (INT, TERM, HUP, QUIT, USR1, USR2, ALRM, the timers, XCPU, the real-time
// signals ...; not those of a fault) removes the partial files, says so on standard error and
// ends the process as the signal would; a console or file that can no
// longer be written (a closed pipe, the file-size limit) is reported by the write that fails
// instead of killing the process.
void InstallStopHandlers();

}  // namespace haplovex
