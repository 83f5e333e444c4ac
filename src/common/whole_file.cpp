#include "common/whole_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "common/checked_writer.h"
#include "common/utf.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32
// The two calls of the system's that replace a file in one step, declared
// here rather than through <windows.h>, which the portable core keeps out.
extern "C" __declspec(dllimport) int __stdcall MoveFileExW(const wchar_t* from, const wchar_t* to,
                                                           unsigned long flags);
extern "C" __declspec(dllimport) unsigned long __stdcall GetLastError();
#endif

namespace velmora::common {
namespace {

#ifdef _WIN32
using Path = std::wstring;  // as the system takes it
using Stat = struct _stat64;
constexpr unsigned long kMoveReplaceExisting = 0x1;  // MOVEFILE_REPLACE_EXISTING
Path ToPath(std::u16string_view path) { return Path(path.begin(), path.end()); }
int StatOf(const Path& p, Stat& st) { return _wstat64(p.c_str(), &st); }
#else
using Path = std::string;
using Stat = struct stat;
Path ToPath(std::u16string_view path) { return Utf16ToUtf8(path); }
int StatOf(const Path& p, Stat& st) { return stat(p.c_str(), &st); }
#endif

bool IsRegular(const Stat& st) { return (st.st_mode & S_IFMT) == S_IFREG; }

// errno after a failed call, EIO when the call set none.
int LastError() { return errno != 0 ? errno : EIO; }

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Opens the file at `path` for writing with open(2)'s `flags` added; -1 with
// errno set on failure.
int OpenForWriting(const Path& path, int flags) {
#ifdef _WIN32
  return _wopen(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT | flags, _S_IREAD | _S_IWRITE);
#else
  return open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags, 0666);
#endif
}

int CloseDescriptor(int fd) {
#ifdef _WIN32
  return _close(fd);
#else
  return close(fd);
#endif
}

int RemoveFile(const Path& path) {
#ifdef _WIN32
  return _wremove(path.c_str());
#else
  return std::remove(path.c_str());
#endif
}

// 0 when the existing file at `path` may be written, else errno: it is
// opened for writing, not truncated, and closed again. On Windows a
// read-only file is refused for everyone, as the system does (Wine run by
// root would open it).
int CheckWritable(const Path& path, const Stat& st) {
#ifdef _WIN32
  if ((st.st_mode & _S_IWRITE) == 0) return EACCES;
#else
  (void)st;
#endif
  errno = 0;
  const int fd = OpenForWriting(path, 0);
  if (fd < 0) return LastError();
  CloseDescriptor(fd);
  return 0;
}

#ifdef _WIN32
// True when `path` names a device (NUL, CON, COM1, a named pipe): the
// system's stat calls them no file or a regular one, so it is opened, not
// truncated, and asked.
bool IsDevice(const Path& path) {
  const int fd = OpenForWriting(path, 0);
  if (fd < 0) return false;
  Stat st{};
  const bool device = _fstat64(fd, &st) == 0 && !IsRegular(st);
  CloseDescriptor(fd);
  return device;
}
#endif

// A new file at `path`, which must not exist yet, open for writing as a
// stream and given the permissions of `like` if any; nullptr with errno set
// when it cannot be made (EEXIST when something is already there).
std::FILE* CreateNew(const Path& path, const Stat* like) {
#ifdef _WIN32
  const int fd = OpenForWriting(path, _O_CREAT | _O_EXCL);
  if (fd < 0) return nullptr;
  // Before the bytes arrive; the file was made writable, and a read-only
  // target was refused before.
  if (like != nullptr) _wchmod(path.c_str(), like->st_mode & (_S_IREAD | _S_IWRITE));
  std::FILE* f = _fdopen(fd, "wb");
#else
  const int fd = OpenForWriting(path, O_CREAT | O_EXCL);
  if (fd < 0) return nullptr;
  // Before the bytes arrive, so that a private file is never readable by
  // others; a file system without permissions refuses, which loses nothing.
  if (like != nullptr) fchmod(fd, like->st_mode & 07777);
  std::FILE* f = fdopen(fd, "wb");
#endif
  if (f == nullptr) {
    const int error = errno;
    CloseDescriptor(fd);
    RemoveFile(path);
    errno = error;
  }
  return f;
}

// The folder part of `path`, with its separator ("" for none).
Path FolderOf(const Path& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of(L"\\/:");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  return slash == Path::npos ? Path() : path.substr(0, slash + 1);
}

// A name in the target's folder that no other writer uses: the process id
// and a counter of this process, with another count when a file of that name
// is left from an earlier process of the same id.
std::atomic<unsigned> tempCounter{0};

Path TempBeside(const Path& target) {
  const std::string name = ".velmora-" + std::to_string(ProcessId()) + "-" + std::to_string(tempCounter++) + ".tmp";
  return FolderOf(target) + Path(name.begin(), name.end());
}

// Puts the folder's new entry on the disk too, after a rename. Failing
// changes nothing: the new file is in place already. POSIX only; Windows has
// no such call for folders.
void SyncFolder(const Path& target) {
#ifndef _WIN32
  const Path folder = FolderOf(target);
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
#else
  (void)target;
#endif
}

// Moves `from` over `to`, replacing it; 0 or errno.
int Replace(const Path& from, const Path& to) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), kMoveReplaceExisting) != 0) return 0;
  constexpr unsigned long kAccessDenied = 5;  // ERROR_ACCESS_DENIED
  return GetLastError() == kAccessDenied ? EACCES : EIO;
#else
  errno = 0;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastError();
#endif
}

// The file that is not regular, written as it is.
int WriteInPlace(const Path& path, std::string_view bytes) {
  errno = 0;
#ifdef _WIN32
  std::FILE* f = _wfopen(path.c_str(), L"wb");
#else
  std::FILE* f = std::fopen(path.c_str(), "wb");
#endif
  if (f == nullptr) return LastError();
  CheckedWriter out(f);
  out.Write(bytes);
  out.Close();
  return out.error();
}

// `bytes` into a new file beside `target`, which then replaces it; `like`
// holds the replaced file's permissions (none for a new file).
int WriteBesideAndReplace(const Path& target, const Stat* like, std::string_view bytes) {
  Path temp;
  std::FILE* f = nullptr;
  for (int attempt = 0; f == nullptr; ++attempt) {
    temp = TempBeside(target);
    errno = 0;
    f = CreateNew(temp, like);
    if (f == nullptr && (errno != EEXIST || attempt == 100)) return LastError();
  }
  CheckedWriter out(f);
  out.Write(bytes);
  out.Sync();
  out.Close();
  int error = out.error();
  if (error == 0) error = Replace(temp, target);
  if (error != 0) {
    RemoveFile(temp);
    return error;
  }
  SyncFolder(target);
  return 0;
}

}  // namespace

int WriteAllOrNothing(std::u16string_view pathText, std::string_view bytes) noexcept {
  try {
    const Path path = ToPath(pathText);
    Path target = path;
    Stat st{};
    errno = 0;
    bool exists = StatOf(path, st) == 0;  // through any links
    if (!exists && errno != ENOENT) return LastError();
#ifndef _WIN32
    Stat own{};
    const bool link = lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
    if (link && !exists) return WriteInPlace(path, bytes);  // a dangling link: written through, in place
    if (link && IsRegular(st)) {
      // The file itself, so that the link stays a link.
      char* real = realpath(path.c_str(), nullptr);
      if (real == nullptr) return LastError();
      target = real;
      std::free(real);
    }
#else
    if (!(exists && (st.st_mode & S_IFMT) == S_IFDIR) && IsDevice(path)) return WriteInPlace(path, bytes);
#endif
    if (!exists) return WriteBesideAndReplace(target, nullptr, bytes);
    if (IsRegular(st)) {
      if (const int error = CheckWritable(target, st); error != 0) return error;
      return WriteBesideAndReplace(target, &st, bytes);
    }
    return WriteInPlace(path, bytes);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}

}  // namespace velmora::common
