#include "common/whole_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "common/checked_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace velmora::common {
namespace {

namespace fs = std::filesystem;

// errno after a failed call, EIO when the call set none.
int LastError() { return errno != 0 ? errno : EIO; }

// The errno value that a std::filesystem error stands for. libstdc++ reports
// the operations used here in the generic (errno) category on both systems;
// on Windows its rename gives EACCES for a denied access and EIO otherwise.
int ErrnoOf(const std::error_code& ec) {
  const int e = ec.default_error_condition().value();
  return e != 0 ? e : EIO;
}

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Opens the file at `path` for writing with open(2)'s `flags` added; -1 with
// errno set on failure.
int OpenForWriting(const fs::path& path, int flags) {
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

// 0 when the existing file at `path` may be written, else errno: it is
// opened for writing, not truncated, and closed again. On Windows a
// read-only file is refused for everyone, as the system does (Wine run by
// root would open it).
int CheckWritable(const fs::path& path, fs::perms perms) {
#ifdef _WIN32
  if ((perms & fs::perms::owner_write) == fs::perms::none) return EACCES;
#else
  (void)perms;
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
bool IsDevice(const fs::path& path) {
  const int fd = OpenForWriting(path, 0);
  if (fd < 0) return false;
  struct _stat64 st {};
  const bool device = _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG;
  CloseDescriptor(fd);
  return device;
}
#endif

// A new file at `path`, which must not exist yet, open for writing as a
// stream; nullptr with errno set when it cannot be made (EEXIST when
// something is already there).
std::FILE* CreateNew(const fs::path& path) {
#ifdef _WIN32
  const int fd = OpenForWriting(path, _O_CREAT | _O_EXCL);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
#else
  const int fd = OpenForWriting(path, O_CREAT | O_EXCL);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
#endif
  if (f == nullptr) {
    const int error = errno;
    CloseDescriptor(fd);
    errno = error;
  }
  return f;
}

// A name in the target's folder that no other writer uses: the process id
// and a counter of this process, with another count when a file of that name
// is left from an earlier process of the same id.
std::atomic<unsigned> tempCounter{0};

fs::path TempBeside(const fs::path& target) {
  return target.parent_path() /
         (".velmora-" + std::to_string(ProcessId()) + "-" + std::to_string(tempCounter++) + ".tmp");
}

// Puts the folder's new entry on the disk too, after a rename. Failing
// changes nothing: the new file is in place already. POSIX only; Windows has
// no such call for folders.
void SyncFolder(const fs::path& folder) {
#ifndef _WIN32
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
#else
  (void)folder;
#endif
}

// The file that is not regular, written as it is.
int WriteInPlace(const fs::path& path, std::string_view bytes) {
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

// `bytes` into a new file beside `target`, which then replaces it; `perms`
// are the replaced file's permissions (none for a new file).
int WriteBesideAndRename(const fs::path& target, std::optional<fs::perms> perms, std::string_view bytes) {
  fs::path temp;
  std::FILE* f = nullptr;
  for (int attempt = 0; f == nullptr; ++attempt) {
    temp = TempBeside(target);
    errno = 0;
    f = CreateNew(temp);
    if (f == nullptr && (errno != EEXIST || attempt == 100)) return LastError();
  }
  std::error_code ec;
  // Before the bytes arrive, so that a private file is never readable by
  // others; a file system without permissions refuses, which loses nothing.
  if (perms) fs::permissions(temp, *perms, fs::perm_options::replace, ec);
  CheckedWriter out(f);
  out.Write(bytes);
  out.Sync();
  out.Close();
  int error = out.error();
  if (error == 0) {
    // On Windows, libstdc++ (MinGW-w64 GCC 12) implements this rename as
    // MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING |
    // MOVEFILE_COPY_ALLOWED), as its source (ops-common.h) shows; the
    // program imports MoveFileExW for it, and the tests that replace a file
    // pass under Wine. The folder is the same, so nothing is ever copied.
    fs::rename(temp, target, ec);
    if (ec) error = ErrnoOf(ec);
  }
  if (error != 0) {
    fs::remove(temp, ec);
    return error;
  }
  SyncFolder(target.parent_path());
  return 0;
}

}  // namespace

int WriteAllOrNothing(const fs::path& path, std::string_view bytes) noexcept {
  try {
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(path, ec);
    if (ec && own.type() != fs::file_type::not_found) return ErrnoOf(ec);
    fs::path target = path;
    fs::file_status status = own;
    if (fs::is_symlink(own)) {
      status = fs::status(path, ec);
      if (fs::is_regular_file(status)) {
        target = fs::canonical(path, ec);  // the file itself, so that the link stays a link
        if (ec) return ErrnoOf(ec);
      }
    }
#ifdef _WIN32
    if (!fs::is_directory(status) && IsDevice(path)) return WriteInPlace(path, bytes);
#endif
    if (fs::is_regular_file(status)) {
      if (const int error = CheckWritable(target, status.permissions()); error != 0) return error;
      return WriteBesideAndRename(target, status.permissions(), bytes);
    }
    if (status.type() == fs::file_type::not_found && !fs::is_symlink(own))
      return WriteBesideAndRename(target, std::nullopt, bytes);
    return WriteInPlace(path, bytes);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}

}  // namespace velmora::common
