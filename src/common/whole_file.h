// Writing a file whole or not at all. The bytes go to a new file beside the
// target and take the target's place only once they are complete and on the
// disk, so that a write that fails half-way (a full disk, a file size limit)
// leaves the file that was there as it was.
#pragma once

#include <string>
#include <string_view>

namespace velmora::common {

// Creates or replaces the file at `path` (UTF-16; given to the system as
// UTF-8 on POSIX, as it stands on Windows) with exactly `bytes`.
//
// A regular file (reached through any symbolic links; the links stay) or a
// path where nothing is yet: the target must be writable as it is (a
// read-only file is refused, as opening it would be). The bytes are written
// to a new file of a unique name (".velmora-PID-N.tmp") in the target's
// folder, flushed (fflush, then fsync; _commit on Windows), given the old
// file's permissions and renamed over the target (rename(2); on Windows
// MoveFileExW with MOVEFILE_REPLACE_EXISTING). On any failure the new file is
// removed and the target is left untouched.
//
// Anything else that exists there (a device such as /dev/stdout, /dev/full
// or, on Windows, NUL and CON, a pipe, a dangling symbolic link, a folder) is
// opened and written in place, as a stream, with no flush to the disk.
//
// Returns 0, or the errno value of the first failure (EIO when the C library
// gave none). Never throws.
int WriteAllOrNothing(std::u16string_view path, std::string_view bytes) noexcept;

}  // namespace velmora::common
