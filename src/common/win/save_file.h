// Saving a text the program made: the standard Save dialog and writing the
// file.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace velmora::common {

// Shows the standard Save dialog owned by `owner`. `filter` holds pairs of a
// description and a pattern separated by '|' ("Text (*.txt)|*.txt");
// `defaultName` is the name offered first, `defaultExt` the extension added
// to a name typed without one; an existing file's replacement is confirmed
// by the dialog. Returns the chosen path, or nothing when the user cancels
// or the dialog cannot be shown.
std::optional<std::wstring> AskSavePath(HWND owner, std::wstring_view filter, std::wstring_view defaultName,
                                        std::wstring_view defaultExt);

// Creates or replaces the file at `path` with exactly `bytes`, whole or not
// at all: through WriteAllOrNothing (common/whole_file.h), so that a failed
// write leaves a file that was there as it was and no other file behind.
// Returns 0, or the system's error code nearest to the failure (for its
// text): ERROR_DISK_FULL, ERROR_FILE_TOO_LARGE, ERROR_ACCESS_DENIED,
// ERROR_PATH_NOT_FOUND, ..., ERROR_WRITE_FAULT for any other.
DWORD WriteWholeFile(const std::wstring& path, std::string_view bytes);

// The system's error code for an errno value of the C library, as
// WriteWholeFile reports it.
DWORD SystemErrorOf(int errnoValue);

}  // namespace velmora::common
