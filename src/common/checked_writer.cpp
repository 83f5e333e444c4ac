#include "common/checked_writer.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velmora::common {

void CheckedWriter::Fail() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

void CheckedWriter::Write(std::string_view text) {
  if (stream_ == nullptr || !ok() || text.empty()) return;
  wrote_ = true;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) Fail();
}

void CheckedWriter::Flush() {
  if (stream_ == nullptr || !ok()) return;
  errno = 0;
  if (std::fflush(stream_) != 0) Fail();
}

void CheckedWriter::Sync() {
  Flush();
  if (stream_ == nullptr || !ok()) return;
  errno = 0;
#ifdef _WIN32
  if (_commit(_fileno(stream_)) != 0) Fail();
#else
  if (fsync(fileno(stream_)) != 0) Fail();
#endif
}

void CheckedWriter::Close() {
  if (stream_ == nullptr) return;
  Flush();
  errno = 0;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!closed && (wrote_ || errno != EBADF)) Fail();
}

}  // namespace velmora::common
