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
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

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

  // The folder's descriptor, for names relative to it.
  int fd() const { return fd_; }

  // Information on what stands at `name`, the link itself when `name` is a symbolic link.
  // Returns 0, ENOENT when nothing is there, or the system's error number.
  int Look(const std::string& name, struct stat& st) const;
  // The same, for the file a symbolic link at `name` leads to.
  int LookThrough(const std::string& name, struct stat& st) const;

 private:
  int fd_ = -1;
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
void RegisterPartialFile(int folder_fd, const std::string& name);
void ForgetPartialFile(int folder_fd, const std::string& name);

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
