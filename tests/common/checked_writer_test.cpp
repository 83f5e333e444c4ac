// The checked writer against streams whose writes fail: at once, or only when
// the buffer is flushed at the close.
#include "common/checked_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velmora::common {
namespace {

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("velmora_writer_") + name)).string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A buffered stream whose descriptor is already closed, as a program's
// standard output is when started with ">&-": writes stay in the buffer and
// fail only when it is flushed.
std::FILE* StreamWithClosedDescriptor(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return nullptr;
  std::setvbuf(f, nullptr, _IOFBF, 4096);
#ifdef _WIN32
  _close(_fileno(f));
#else
  close(fileno(f));
#endif
  return f;
}

TEST(CheckedWriter, EveryWriteArrives) {
  const std::string path = TempPath("arrives");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  CheckedWriter out(f);
  out.Write("line 1\n");
  out.Write("");
  out.Flush();
  out.Write(std::string(10000, 'x'));  // larger than the stream's buffer
  out.Close();
  out.Close();
  EXPECT_TRUE(out.ok());
  EXPECT_EQ(out.error(), 0);
  EXPECT_EQ(ReadAll(path), "line 1\n" + std::string(10000, 'x'));
  std::filesystem::remove(path);
}

TEST(CheckedWriter, AWriteThatFails) {
  const std::string path = TempPath("read_only");
  std::ofstream(path, std::ios::binary).close();
  CheckedWriter out(std::fopen(path.c_str(), "rb"));  // a stream that cannot be written
  out.Write("x");
  EXPECT_FALSE(out.ok());
  const int error = out.error();
  EXPECT_NE(error, 0);
  out.Write("y");
  out.Close();
  EXPECT_EQ(out.error(), error);  // the first failure is the one reported
  EXPECT_EQ(ReadAll(path), "");
  std::filesystem::remove(path);
}

TEST(CheckedWriter, AFailureThatOnlyTheCloseShows) {
  const std::string path = TempPath("closed_descriptor");
  std::FILE* f = StreamWithClosedDescriptor(path);
  ASSERT_NE(f, nullptr);
  CheckedWriter out(f);
  out.Write("the report\n");
  EXPECT_TRUE(out.ok());  // still in the buffer
  out.Close();
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(out.error(), EBADF);
  std::filesystem::remove(path);
}

TEST(CheckedWriter, NothingWrittenIsNothingLost) {
  const std::string path = TempPath("nothing_written");
  std::FILE* f = StreamWithClosedDescriptor(path);
  ASSERT_NE(f, nullptr);
  CheckedWriter out(f);
  out.Write("");
  out.Close();
  EXPECT_TRUE(out.ok());
  std::filesystem::remove(path);
}

#ifdef __GLIBC__
// A stream over our own functions: its writes fail without setting errno, or
// its close fails (with close_errno, or without setting errno when it is -1).
struct Sink {
  bool writes_fail;
  int close_errno;
};

std::FILE* StreamOver(Sink* sink) {
  cookie_io_functions_t io{};
  io.write = [](void* c, const char*, std::size_t size) -> ssize_t {
    return static_cast<Sink*>(c)->writes_fail ? -1 : static_cast<ssize_t>(size);
  };
  io.close = [](void* c) {
    const int e = static_cast<Sink*>(c)->close_errno;
    if (e > 0) errno = e;
    return e != 0 ? -1 : 0;
  };
  return fopencookie(sink, "w", io);
}

TEST(CheckedWriter, FailuresReportTheirOwnErrno) {
  const struct { const char* what; Sink sink; std::size_t size; bool flush; int want; } cases[] = {
      {"write fails silently", {true, 0},       100000, true,  EIO},  // more than the buffer
      {"flush fails silently", {true, 0},       1,      true,  EIO},
      {"only the close fails", {false, ENOSPC}, 1,      true,  ENOSPC},
      {"close fails silently", {false, -1},     1,      true,  EIO},
      {"flush, then close",    {true, ENOSPC},  1,      false, EIO},  // the close's own flush fails first
  };
  for (auto c : cases) {
    CheckedWriter out(StreamOver(&c.sink));
    errno = ERANGE;  // stale values from elsewhere must not be reported
    out.Write(std::string(c.size, 'x'));
    errno = EDOM;
    if (c.flush) out.Flush();
    out.Close();
    EXPECT_EQ(out.error(), c.want) << c.what;
  }
}
#endif

TEST(CheckedWriter, SyncPutsAFileOnTheDisk) {
  const std::string path = TempPath("synced");
  CheckedWriter out(std::fopen(path.c_str(), "wb"));
  out.Write("kept\n");
  out.Sync();
  EXPECT_TRUE(out.ok());
  EXPECT_EQ(ReadAll(path), "kept\n");  // flushed before the close
  out.Close();
  std::filesystem::remove(path);
}

#ifndef _WIN32
TEST(CheckedWriter, SyncOnAPipeFails) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  CheckedWriter out(fdopen(ends[1], "wb"));
  out.Write("x");
  out.Sync();
  EXPECT_EQ(out.error(), EINVAL);  // written, but a pipe has no disk
  out.Close();
  close(ends[0]);
}

TEST(CheckedWriter, AFullDevice) {
  for (const std::size_t size : {std::size_t{10}, std::size_t{100000}}) {  // buffered, and at once
    CheckedWriter out(std::fopen("/dev/full", "wb"));
    out.Write(std::string(size, 'x'));
    out.Close();
    EXPECT_EQ(out.error(), ENOSPC) << size;
  }
}
#endif

}  // namespace
}  // namespace velmora::common
