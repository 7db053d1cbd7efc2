// The calls the run makes on the operating system, the same on every system the program is
// built for: the working folder and the files in it, the process, stop requests and the
// console. platform_posix.cpp keeps them with POSIX calls (Linux), platform_win32.cpp with the
// Windows API; nothing else calls the system directly. Which call keeps which promise of the
// folder's file safety on each system is said in work_folder.h.
//
// Names are the bytes of the run's own strings (UTF-8); a call that fails returns the error
// number of <cerrno> that says why (ENOENT, EACCES, EEXIST ...), on Windows too, so that
// messages are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace haplovex::platform {

// An open file or folder of the system (a descriptor, or a handle); kNoFile when none.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The working folder as the calls reach it: names are looked up relative to it.
struct Folder {
  FileHandle handle = kNoFile;  // the folder itself (POSIX), or its lock file (Windows)
  std::filesystem::path path;   // its full path (Windows; names are joined to it)
  bool held = false;            // this process holds it (TryHoldFolder)
};

// What stands at a name.
struct FileFacts {
  enum class Kind { kRegular, kFolder, kLink, kOther };
  Kind kind = Kind::kOther;
  uint64_t device = 0;  // with `id`: which file it is, whatever its name
  uint64_t id = 0;
  uint64_t size = 0;
  unsigned permissions = 0;  // the POSIX permission bits (07777); 0666 or 0444 on Windows
};

// --- The folder ------------------------------------------------------------------------------

int OpenFolder(const std::filesystem::path& path, Folder& folder);
void CloseFolder(Folder& folder);
// Takes the folder for this process without waiting: false when another process holds it.
bool TryHoldFolder(Folder& folder);
void ReleaseFolder(Folder& folder);
// Every name in the folder ("." and ".." may be among them).
std::vector<std::string> Names(const Folder& folder);
// What stands at `name`: the link itself, or (`through`) the file a link leads to.
int Look(const Folder& folder, const std::string& name, bool through, FileFacts& facts);
// 0 when this process may write the file at `name`.
int Writable(const Folder& folder, const std::string& name);
// Renames `from` onto `to`, replacing what stands there in one step, and (Windows) made durable
// before it returns.
int Rename(const Folder& folder, const std::string& from, const std::string& to);
int Remove(const Folder& folder, const std::string& name);
// A second name for the file at `name` (a hard link).
int Link(const Folder& folder, const std::string& name, const std::string& second);
// True when `error` (from Link) says the file system has no hard links.
bool NoHardLinks(int error);
void SetPermissions(const Folder& folder, const std::string& name, unsigned permissions);
// Makes the folder's names durable (the renames and removals made in it).
void SyncFolder(const Folder& folder);

// --- Files in the folder ---------------------------------------------------------------------

// Creates a new file at `name` for writing; EEXIST when something stands there already.
int CreateNew(const Folder& folder, const std::string& name, FileHandle& file);
// Opens the file at `name` for reading, without waiting for a writer of a pipe, and says what
// it is; the caller refuses what is not a regular file.
int OpenToRead(const Folder& folder, const std::string& name, FileHandle& file, FileFacts& facts);
int FactsOf(FileHandle file, FileFacts& facts);
// Writes all `size` bytes at the file's place, or at `offset`.
int WriteAll(FileHandle file, const char* bytes, size_t size);
int WriteAllAt(FileHandle file, uint64_t offset, const char* bytes, size_t size);
int Truncate(FileHandle file, uint64_t size);
// Makes what was written durable.
int SyncFile(FileHandle file);
int CloseFile(FileHandle file);
// Reads up to `size` bytes from the file's place (fewer only at its end); -1 with the error in
// `error`. ReadAt leaves the place as it is, and several threads may call it at once.
int64_t Read(FileHandle file, char* to, size_t size, int& error);
int64_t ReadAt(FileHandle file, uint64_t offset, char* to, size_t size, int& error);
int SeekToStart(FileHandle file);
// A second handle of the file open as `file` (a temporary file of the run's own), for reading
// it as a file of the folder is read; the caller still closes `file`.
int DuplicateStream(std::FILE* file, FileHandle& copy);

// --- The process ---------------------------------------------------------------------------

uint64_t ProcessId();
// True only when no process `pid` runs (any doubt says it runs).
bool ProcessGone(uint64_t pid);

// Standard input (0), output (1) or error (2) is a terminal (a console).
bool IsTerminal(int stream);
// Standard input, output and error pass bytes as they are (on Windows: no CR added before LF).
void BinaryStandardStreams();
// The program's arguments as UTF-8 (on Windows read again from the wide command line).
std::vector<std::string> Arguments(int argc, char** argv);
// The path a name the run holds (UTF-8) stands for.
std::filesystem::path PathOf(const std::string& name);

// --- Stop requests -------------------------------------------------------------------------

// What a stop request runs before the process ends: it removes the partial files and returns
// the message for standard error (a fixed buffer), with its length. Called with no lock held
// and nothing allocated on POSIX (a signal handler).
using StopWork = const char* (*)(size_t& length);

// Every way of asking a running program to stop from outside (POSIX: INT, TERM, HUP, QUIT and
// the other signals that end a process by default, not those of a fault; Windows: Ctrl-C,
// Ctrl-Break, a closed console, logoff and shutdown) runs `work`, writes its message on
// standard error and ends the process as the request would have. A closed pipe or the
// file-size limit makes the write fail instead of ending the process.
void InstallStopHandlers(StopWork work);

// While one lives, stop requests wait: the run's files are being put in place.
class StopsHeld {
 public:
  StopsHeld();
  ~StopsHeld();
  StopsHeld(const StopsHeld&) = delete;
  StopsHeld& operator=(const StopsHeld&) = delete;

 private:
  alignas(16) unsigned char saved_[256];  // what was held before (the POSIX signal mask)
};

}  // namespace haplovex::platform
