// Output to a C stream that notices every failed write. A program sends all
// of its standard output through one CheckedWriter and, after Close, asks it
// whether everything arrived: a full disk or a closed descriptor often shows
// only when the buffer is flushed or the stream closed.
#pragma once

#include <cstdio>
#include <string_view>

namespace velmora::common {

class CheckedWriter {
 public:
  explicit CheckedWriter(std::FILE* stream) : stream_(stream) {}
  CheckedWriter(const CheckedWriter&) = delete;
  CheckedWriter& operator=(const CheckedWriter&) = delete;

  // Writes `text`; after the first failure nothing more is written.
  void Write(std::string_view text);
  // Pushes out what the stream has buffered (before a message on another stream).
  void Flush();
  // Flushes, then asks the system to put everything written on the disk
  // (fsync; _commit on Windows). For a file: a pipe or a terminal fails (EINVAL).
  void Sync();
  // Flushes and closes the stream; later calls do nothing. A stream that was
  // never written to may have had no open descriptor at all: its close
  // failing with EBADF loses nothing and is not a failure.
  void Close();

  bool ok() const { return error_ == 0; }
  // The errno value of the first failure, 0 while ok() (EIO when the C
  // library reported a failure without setting errno).
  int error() const { return error_; }

 private:
  void Fail();

  std::FILE* stream_;
  bool wrote_ = false;
  int error_ = 0;
};

}  // namespace velmora::common
