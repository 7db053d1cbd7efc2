#include "common/work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/fatal.h"
#include "common/text_file.h"

namespace haplovex {

namespace {

std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// --- Partial files a stop signal must remove -----------------------------------------------

// Fixed slots, so that the signal handler reads them without allocating or locking. A slot is
// filled before it is marked used, and marked unused before it is emptied.
struct PartialSlot {
  volatile std::sig_atomic_t used = 0;
  int folder_fd = -1;
  char name[256] = {};
};
constexpr int kPartialSlots = 16;
PartialSlot partial_slots[kPartialSlots];

// Set once a run's files are in place: a signal after that no longer means nothing was written.
volatile std::sig_atomic_t files_in_place = 0;

void OnStopSignal(int signal) {
  for (PartialSlot& slot : partial_slots) {
    if (slot.used) unlinkat(slot.folder_fd, slot.name, 0);
  }
  static const char kKept[] =
      "\nhaplovex: stopped by a signal; no file was written, and the files in the folder are as "
      "they were\n";
  static const char kPlaced[] = "\nhaplovex: stopped by a signal after the run's files were written\n";
  const ssize_t ignored = files_in_place ? write(STDERR_FILENO, kPlaced, sizeof kPlaced - 1)
                                         : write(STDERR_FILENO, kKept, sizeof kKept - 1);
  (void)ignored;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Holds the stop signals back while files are renamed into place, so that a stop never leaves
// half of the run's files replaced.
class StopSignalsHeld {
 public:
  StopSignalsHeld() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    sigprocmask(SIG_BLOCK, &stops, &before_);
  }
  ~StopSignalsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

// A free name for a file beside `name` in the folder, marked with `mark`.
std::string FreeNameBeside(int folder_fd, const std::string& name, const char* mark) {
  static unsigned counter = 0;
  for (;;) {
    const unsigned long tag = (static_cast<unsigned long>(getpid()) << 16) ^ ++counter;
    std::string candidate = "." + name + mark + std::to_string(tag);
    struct stat st;
    if (fstatat(folder_fd, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
      return candidate;
    }
  }
}

}  // namespace

// Partial files are named "." + the file's name + this mark + a number.
constexpr const char* kPartialMark = ".partial-";

WorkFolder::WorkFolder(const std::filesystem::path& path) {
  fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) throw FatalStop::Message("Can't open the working folder: " + Reason(errno));
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    close(fd_);
    fd_ = -1;
    throw FatalStop::Message(
        "Another HAPLOVEX run is converting in this folder; run again when it has finished");
  }
  // The folder is this run's now: a partial file in it was left by a run that was killed
  // outright, before it could remove it.
  const int scan = dup(fd_);
  if (scan < 0) return;
  DIR* dir = fdopendir(scan);
  if (dir == nullptr) {
    close(scan);
    return;
  }
  rewinddir(dir);
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.starts_with(".HAPLOVEX.") && name.find(kPartialMark) != std::string_view::npos) {
      stale.emplace_back(name);
    }
  }
  closedir(dir);
  for (const std::string& name : stale) unlinkat(fd_, name.c_str(), 0);
}

WorkFolder::~WorkFolder() {
  if (fd_ >= 0) close(fd_);
}

int WorkFolder::Look(const std::string& name, struct stat& st) const {
  return fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int WorkFolder::LookThrough(const std::string& name, struct stat& st) const {
  return fstatat(fd_, name.c_str(), &st, 0) == 0 ? 0 : errno;
}

std::string PartialName(const std::string& name, unsigned attempt) {
  return "." + name + kPartialMark + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

void PutInPlace(WorkFolder& folder, const std::vector<FinishedFile>& files) {
  const int fd = folder.fd();
  struct stat st;
  for (const FinishedFile& f : files) {
    const std::string& name = f.file->name();
    const int look = folder.Look(name, st);
    if (look == 0 && !f.may_replace) {
      throw FatalStop::Message(name + " appeared in this folder while the run was converting; it "
                               "was left as it is and nothing was written");
    }
    if (look == 0 && S_ISDIR(st.st_mode)) {
      throw FatalStop::Message("Can't replace " + name + ": " + Reason(EISDIR));
    }
  }

  const StopSignalsHeld held;
  struct Placed {
    const std::string* name;
    std::string previous;  // where the file that stood at the name was moved; empty: none
  };
  std::vector<Placed> placed;
  // Puts back every name as it was before the run, the last placed first.
  auto undo = [&]() {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      if (!it->previous.empty()) {
        renameat(fd, it->previous.c_str(), fd, it->name->c_str());
      } else {
        unlinkat(fd, it->name->c_str(), 0);
      }
    }
  };
  for (const FinishedFile& f : files) {
    const std::string& name = f.file->name();
    Placed now{&name, ""};
    if (folder.Look(name, st) == 0) {
      now.previous = FreeNameBeside(fd, name, ".previous-");
      if (renameat(fd, name.c_str(), fd, now.previous.c_str()) != 0) {
        const int error = errno;
        undo();
        throw FatalStop::Message("Can't replace " + name + ": " + Reason(error));
      }
    }
    if (renameat(fd, f.file->partial_name().c_str(), fd, name.c_str()) != 0) {
      const int error = errno;
      if (!now.previous.empty()) renameat(fd, now.previous.c_str(), fd, name.c_str());
      undo();
      throw FatalStop::Message("Can't put " + name + " in place: " + Reason(error));
    }
    f.file->Placed();
    placed.push_back(std::move(now));
  }
  for (const Placed& p : placed) {
    if (!p.previous.empty()) unlinkat(fd, p.previous.c_str(), 0);
  }
  files_in_place = 1;
}

void RegisterPartialFile(int folder_fd, const std::string& name) {
  for (PartialSlot& slot : partial_slots) {
    if (slot.used || name.size() >= sizeof slot.name) continue;
    slot.folder_fd = folder_fd;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.used = 1;
    return;
  }
}

void ForgetPartialFile(int folder_fd, const std::string& name) {
  for (PartialSlot& slot : partial_slots) {
    if (slot.used && slot.folder_fd == folder_fd && name == slot.name) slot.used = 0;
  }
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A closed console pipe and the file-size limit make the write fail instead, and the run
  // stops through its usual path.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace haplovex
