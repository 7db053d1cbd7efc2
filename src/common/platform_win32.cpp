// The system calls of platform.h on Windows: wide (UTF-16) names joined to the folder's full
// path with the "\\?\" prefix, a lock file held with LockFileEx, MoveFileExW with replace and
// write-through, CreateHardLinkW, FlushFileBuffers, and a console control handler for stop
// requests. Errors are turned into the error numbers of <cerrno> the POSIX build gives.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/platform.h"

namespace haplovex::platform {

namespace {

// The lock file of a folder: one run converting in it at a time.
constexpr wchar_t kLockName[] = L".HAPLOVEX.lock";

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle Own(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

int ErrorFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
      return EINVAL;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_TOO_MANY_LINKS:
      return EMLINK;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      return ENOSYS;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}
int ErrorNow() { return ErrorFrom(GetLastError()); }

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
  utf8.pop_back();  // the terminating zero
  return utf8;
}

// A full path with the prefix that lifts the length limit of the Windows calls.
std::wstring Long(std::wstring full) {
  if (full.starts_with(L"\\\\?\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 3 && full[1] == L':') return L"\\\\?\\" + full;
  return full;
}

// The name `name` of the folder as the Windows calls take it; the name itself (relative to the
// current folder, or absolute) when the folder is none.
std::wstring At(const Folder& folder, const std::string& name) {
  if (folder.path.empty()) return Wide(name);
  std::wstring full = folder.path.wstring();
  if (!full.ends_with(L'\\')) full += L'\\';
  return Long(full + Wide(name));
}

FileFacts FactsFrom(const BY_HANDLE_FILE_INFORMATION& info, bool link) {
  FileFacts facts;
  facts.kind = link ? FileFacts::Kind::kLink
               : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileFacts::Kind::kFolder
                                                                        : FileFacts::Kind::kRegular;
  facts.device = info.dwVolumeSerialNumber;
  facts.id = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  facts.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  facts.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  return facts;
}

int FactsOfHandle(HANDLE handle, bool link, FileFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return ErrorNow();
  facts = FactsFrom(info, link && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
  if (GetFileType(handle) != FILE_TYPE_DISK) facts.kind = FileFacts::Kind::kOther;
  return 0;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

int OpenFolder(const std::filesystem::path& path, Folder& folder) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  if (error) return ENOENT;
  const DWORD attributes = GetFileAttributesW(Long(full.wstring()).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrorNow();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ENOTDIR;
  folder.path = full;
  // The lock file is opened shared, so that every run in the folder opens the same file, and
  // goes when the last of them closes it (a run that is killed too). A lock file whose last
  // run is just closing it cannot be opened for a moment: it is tried again.
  const std::wstring lock = At(folder, Utf8(kLockName));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const HANDLE handle =
        CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      folder.handle = Own(handle);
      return 0;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) break;
    Sleep(10);
  }
  // A folder the run cannot write: no lock file, and nothing the run writes there either.
  folder.handle = kNoFile;
  return 0;
}

void CloseFolder(Folder& folder) {
  ReleaseFolder(folder);
  if (folder.handle != kNoFile) CloseHandle(Handle(folder.handle));
  folder.handle = kNoFile;
}

bool TryHoldFolder(Folder& folder) {
  if (folder.held || folder.handle == kNoFile) return true;
  OVERLAPPED at{};
  if (LockFileEx(Handle(folder.handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    folder.held = true;
    return true;
  }
  return false;
}

void ReleaseFolder(Folder& folder) {
  if (!folder.held) return;
  OVERLAPPED at{};
  UnlockFileEx(Handle(folder.handle), 0, 1, 0, &at);
  folder.held = false;
}

std::vector<std::string> Names(const Folder& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW(At(folder, "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(Utf8(found.cFileName));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

int Look(const Folder& folder, const std::string& name, bool through, FileFacts& facts) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (through ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle = CreateFileW(At(folder, name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrorNow();
  const int error = FactsOfHandle(handle, !through, facts);
  CloseHandle(handle);
  return error;
}

int Writable(const Folder& folder, const std::string& name) {
  const DWORD attributes = GetFileAttributesW(At(folder, name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrorNow();
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? EACCES : 0;
}

int Rename(const Folder& folder, const std::string& from, const std::string& to) {
  return MoveFileExW(At(folder, from).c_str(), At(folder, to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : ErrorNow();
}

int Remove(const Folder& folder, const std::string& name) {
  const std::wstring at = At(folder, name);
  if (DeleteFileW(at.c_str())) return 0;
  // A read-only file is removed as on Linux, where its folder's permission decides.
  const DWORD attributes = GetFileAttributesW(at.c_str());
  if (GetLastError() == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      SetFileAttributesW(at.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) && DeleteFileW(at.c_str())) {
    return 0;
  }
  return ErrorNow();
}

int Link(const Folder& folder, const std::string& name, const std::string& second) {
  return CreateHardLinkW(At(folder, second).c_str(), At(folder, name).c_str(), nullptr) ? 0 : ErrorNow();
}

bool NoHardLinks(int error) {
  return error == EPERM || error == ENOSYS || error == EXDEV || error == EMLINK || error == EACCES;
}

void SetPermissions(const Folder& folder, const std::string& name, unsigned permissions) {
  const std::wstring at = At(folder, name);
  const DWORD attributes = GetFileAttributesW(at.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  const DWORD wanted = (permissions & 0222) == 0 ? attributes | FILE_ATTRIBUTE_READONLY
                                                 : attributes & ~FILE_ATTRIBUTE_READONLY;
  if (wanted != attributes) SetFileAttributesW(at.c_str(), wanted);
}

// The moves are made with MOVEFILE_WRITE_THROUGH, durable when they return: nothing to do.
void SyncFolder(const Folder&) {}

int CreateNew(const Folder& folder, const std::string& name, FileHandle& file) {
  // Shared for deletion, so that a stop request removes it while it is open.
  const HANDLE handle = CreateFileW(At(folder, name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrorNow();
  file = Own(handle);
  return 0;
}

int OpenToRead(const Folder& folder, const std::string& name, FileHandle& file, FileFacts& facts) {
  const HANDLE handle = CreateFileW(At(folder, name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrorNow();
  if (const int error = FactsOfHandle(handle, false, facts); error != 0) {
    facts = FileFacts{};  // a device or a pipe gives no file information
  }
  file = Own(handle);
  return 0;
}

int FactsOf(FileHandle file, FileFacts& facts) { return FactsOfHandle(Handle(file), false, facts); }

int WriteAll(FileHandle file, const char* bytes, size_t size) {
  while (size > 0) {
    const DWORD part = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD wrote = 0;
    if (!WriteFile(Handle(file), bytes, part, &wrote, nullptr)) return ErrorNow();
    if (wrote == 0) return EIO;
    bytes += wrote;
    size -= wrote;
  }
  return 0;
}

int WriteAllAt(FileHandle file, uint64_t offset, const char* bytes, size_t size) {
  while (size > 0) {
    const DWORD part = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD wrote = 0;
    if (!WriteFile(Handle(file), bytes, part, &wrote, &at)) return ErrorNow();
    if (wrote == 0) return EIO;
    bytes += wrote;
    size -= wrote;
    offset += wrote;
  }
  return 0;
}

int Truncate(FileHandle file, uint64_t size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(file)) ? 0 : ErrorNow();
}

int SyncFile(FileHandle file) {
  if (FlushFileBuffers(Handle(file))) return 0;
  // A device that cannot be made durable is not an error, as on Linux.
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION ? 0 : ErrorFrom(error);
}

int CloseFile(FileHandle file) { return CloseHandle(Handle(file)) ? 0 : ErrorNow(); }

int64_t Read(FileHandle file, char* to, size_t size, int& error) {
  size_t got = 0;
  while (got < size) {
    const DWORD part = size - got > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size - got);
    DWORD n = 0;
    if (!ReadFile(Handle(file), to + got, part, &n, nullptr)) {
      if (GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_BROKEN_PIPE) break;
      return error = ErrorNow(), -1;
    }
    if (n == 0) break;
    got += n;
  }
  return static_cast<int64_t>(got);
}

namespace {

int64_t ReadAtHere(FileHandle file, uint64_t offset, char* to, size_t size, int& error) {
  size_t got = 0;
  while (got < size) {
    const DWORD part = size - got > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size - got);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + got);
    at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
    DWORD n = 0;
    if (!ReadFile(Handle(file), to + got, part, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return error = ErrorNow(), -1;
    }
    if (n == 0) break;
    got += n;
  }
  return static_cast<int64_t>(got);
}

}  // namespace

// A read at a place moves the place of a handle opened for reading in turn: it is put back, and
// reads at places are made one at a time (a handle's reads are made one at a time anyway).
namespace {
SRWLOCK reading_at = SRWLOCK_INIT;
}  // namespace

int64_t ReadAt(FileHandle file, uint64_t offset, char* to, size_t size, int& error) {
  AcquireSRWLockExclusive(&reading_at);
  LARGE_INTEGER place{};
  const LARGE_INTEGER here{};
  SetFilePointerEx(Handle(file), here, &place, FILE_CURRENT);
  const int64_t got = ReadAtHere(file, offset, to, size, error);
  SetFilePointerEx(Handle(file), place, nullptr, FILE_BEGIN);
  ReleaseSRWLockExclusive(&reading_at);
  return got;
}

int SeekToStart(FileHandle file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(Handle(file), start, nullptr, FILE_BEGIN) ? 0 : ErrorNow();
}

int DuplicateStream(std::FILE* file, FileHandle& copy) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return EBADF;
  HANDLE duplicate = INVALID_HANDLE_VALUE;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return ErrorNow();
  }
  copy = Own(duplicate);
  return 0;
}

uint64_t ProcessId() { return GetCurrentProcessId(); }

bool ProcessGone(uint64_t pid) {
  if (pid == ProcessId()) return false;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

bool IsTerminal(int stream) { return _isatty(stream) != 0; }

void BinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv + 1, argv + argc};
  std::vector<std::string> arguments;
  for (int k = 1; k < count; ++k) arguments.push_back(Utf8(wide[k]));
  LocalFree(wide);
  return arguments;
}

std::filesystem::path PathOf(const std::string& name) { return std::filesystem::path(Wide(name)); }

// --- Stop requests -------------------------------------------------------------------------

namespace {

StopWork stop_work = nullptr;
// Held while the run's files are put in place: a stop request waits for it.
SRWLOCK placing = SRWLOCK_INIT;

// Runs on a thread of its own, which the system starts for the request.
BOOL WINAPI OnConsoleRequest(DWORD request) {
  switch (request) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  AcquireSRWLockExclusive(&placing);
  size_t length = 0;
  const char* message = stop_work(length);
  DWORD wrote = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, static_cast<DWORD>(length), &wrote, nullptr);
  // The exit status Windows gives a program that Ctrl-C ends.
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

void InstallStopHandlers(StopWork work) {
  stop_work = work;
  SetConsoleCtrlHandler(OnConsoleRequest, TRUE);
}

StopsHeld::StopsHeld() { AcquireSRWLockExclusive(&placing); }
StopsHeld::~StopsHeld() { ReleaseSRWLockExclusive(&placing); }

}  // namespace haplovex::platform
