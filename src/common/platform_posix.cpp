// The system calls of platform.h on Linux and other POSIX systems: names relative to the
// folder's descriptor, an advisory lock on the folder itself, renameat, hard links, fsync of
// the folder, and signals for stop requests.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "common/platform.h"

namespace haplovex::platform {

namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }
int Fd(const Folder& folder) { return static_cast<int>(folder.handle); }
int ErrorNow() { return errno != 0 ? errno : EIO; }

FileFacts FactsFrom(const struct stat& st) {
  FileFacts facts;
  facts.kind = S_ISREG(st.st_mode)   ? FileFacts::Kind::kRegular
               : S_ISDIR(st.st_mode) ? FileFacts::Kind::kFolder
               : S_ISLNK(st.st_mode) ? FileFacts::Kind::kLink
                                     : FileFacts::Kind::kOther;
  facts.device = static_cast<uint64_t>(st.st_dev);
  facts.id = static_cast<uint64_t>(st.st_ino);
  facts.size = static_cast<uint64_t>(st.st_size);
  facts.permissions = st.st_mode & 07777;
  return facts;
}

}  // namespace

int OpenFolder(const std::filesystem::path& path, Folder& folder) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrorNow();
  folder.handle = fd;
  folder.path = path;
  return 0;
}

void CloseFolder(Folder& folder) {
  if (folder.handle != kNoFile) close(Fd(folder));
  folder.handle = kNoFile;
}

bool TryHoldFolder(Folder& folder) {
  return !(flock(Fd(folder), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
}

void ReleaseFolder(Folder& folder) { flock(Fd(folder), LOCK_UN); }

std::vector<std::string> Names(const Folder& folder) {
  std::vector<std::string> names;
  const int scan = dup(Fd(folder));
  if (scan < 0) return names;
  DIR* dir = fdopendir(scan);
  if (dir == nullptr) {
    close(scan);
    return names;
  }
  rewinddir(dir);  // the copy shares its place in the folder with every other reader
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

int Look(const Folder& folder, const std::string& name, bool through, FileFacts& facts) {
  struct stat st;
  if (fstatat(Fd(folder), name.c_str(), &st, through ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return ErrorNow();
  facts = FactsFrom(st);
  return 0;
}

int Writable(const Folder& folder, const std::string& name) {
  return faccessat(Fd(folder), name.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : ErrorNow();
}

int Rename(const Folder& folder, const std::string& from, const std::string& to) {
  return renameat(Fd(folder), from.c_str(), Fd(folder), to.c_str()) == 0 ? 0 : ErrorNow();
}

int Remove(const Folder& folder, const std::string& name) {
  return unlinkat(Fd(folder), name.c_str(), 0) == 0 ? 0 : ErrorNow();
}

int Link(const Folder& folder, const std::string& name, const std::string& second) {
  return linkat(Fd(folder), name.c_str(), Fd(folder), second.c_str(), 0) == 0 ? 0 : ErrorNow();
}

bool NoHardLinks(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == EXDEV || error == EMLINK ||
         error == ENOSYS;
}

void SetPermissions(const Folder& folder, const std::string& name, unsigned permissions) {
  fchmodat(Fd(folder), name.c_str(), permissions, 0);
}

void SyncFolder(const Folder& folder) { fsync(Fd(folder)); }

int CreateNew(const Folder& folder, const std::string& name, FileHandle& file) {
  const int fd =
      openat(Fd(folder), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return ErrorNow();
  file = fd;
  return 0;
}

int OpenToRead(const Folder& folder, const std::string& name, FileHandle& file, FileFacts& facts) {
  // Not waiting for a writer: a pipe is refused by the caller, not read.
  const int at = folder.handle == kNoFile ? AT_FDCWD : Fd(folder);
  const int fd = openat(at, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ErrorNow();
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int error = ErrorNow();
    close(fd);
    return error;
  }
  facts = FactsFrom(st);
  if (S_ISREG(st.st_mode)) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file = fd;
  return 0;
}

int FactsOf(FileHandle file, FileFacts& facts) {
  struct stat st;
  if (fstat(Fd(file), &st) != 0) return ErrorNow();
  facts = FactsFrom(st);
  return 0;
}

int WriteAll(FileHandle file, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = write(Fd(file), bytes + done, size - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return ErrorNow();
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

int WriteAllAt(FileHandle file, uint64_t offset, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(Fd(file), bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ErrorNow();
    done += static_cast<size_t>(n);
  }
  return 0;
}

int Truncate(FileHandle file, uint64_t size) {
  return ftruncate(Fd(file), static_cast<off_t>(size)) == 0 ? 0 : ErrorNow();
}

int SyncFile(FileHandle file) {
  // A file system that cannot make a file durable (a pipe, a read-only mount) is not an error.
  return fsync(Fd(file)) == 0 || errno == EINVAL || errno == EROFS ? 0 : ErrorNow();
}

int CloseFile(FileHandle file) { return close(Fd(file)) == 0 || errno == EINTR ? 0 : ErrorNow(); }

// A regular file gives all that is asked but at its end; a signal may cut a read short.
int64_t Read(FileHandle file, char* to, size_t size, int& error) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(Fd(file), to + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return error = ErrorNow(), -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

int64_t ReadAt(FileHandle file, uint64_t offset, char* to, size_t size, int& error) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(Fd(file), to + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return error = ErrorNow(), -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

int SeekToStart(FileHandle file) { return lseek(Fd(file), 0, SEEK_SET) == 0 ? 0 : ErrorNow(); }

int DuplicateStream(std::FILE* file, FileHandle& copy) {
  const int fd = fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return ErrorNow();
  copy = fd;
  return 0;
}

uint64_t ProcessId() { return static_cast<uint64_t>(getpid()); }

bool ProcessGone(uint64_t pid) {
  return pid != ProcessId() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

bool IsTerminal(int stream) { return isatty(stream) == 1; }

void BinaryStandardStreams() {}

std::vector<std::string> Arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

std::filesystem::path PathOf(const std::string& name) { return name; }

// --- Stop signals ----------------------------------------------------------------------------

namespace {

StopWork stop_work = nullptr;

void OnStopSignal(int signal) {
  size_t length = 0;
  const char* message = stop_work(length);
  const ssize_t ignored = write(STDERR_FILENO, message, length);
  (void)ignored;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The signals that end a process by default and that a program may catch, but those that
// mean a fault (SEGV, ABRT, BUS, FPE, ILL, SYS, TRAP) and the two a write failure reports
// instead (PIPE, XFSZ): a stop asked for from outside.
sigset_t StopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                     SIGPROF, SIGXCPU, SIGIO}) {
    sigaddset(&stops, signal);
  }
#ifdef SIGPWR
  sigaddset(&stops, SIGPWR);
#endif
#ifdef SIGSTKFLT
  sigaddset(&stops, SIGSTKFLT);
#endif
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&stops, signal);
#endif
  return stops;
}

}  // namespace

void InstallStopHandlers(StopWork work) {
  stop_work = work;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  // Each stop signal holds back the others while its handler runs.
  action.sa_mask = StopSignals();
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&action.sa_mask, signal) == 1) sigaction(signal, &action, nullptr);
  }
  // A closed console pipe and the file-size limit make the write fail instead, and the run
  // stops through its usual path.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

StopsHeld::StopsHeld() {
  static_assert(sizeof(sigset_t) <= sizeof saved_, "the signal mask fits");
  const sigset_t stops = StopSignals();
  sigset_t before;
  sigprocmask(SIG_BLOCK, &stops, &before);
  std::memcpy(saved_, &before, sizeof before);
}

StopsHeld::~StopsHeld() {
  sigset_t before;
  std::memcpy(&before, saved_, sizeof before);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace haplovex::platform
