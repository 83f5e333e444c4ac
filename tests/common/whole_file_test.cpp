// Files written whole or not at all: what a folder holds after a write that
// succeeds, one that fails half-way (a file size limit), and targets that
// are no regular file.
#include "common/whole_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velmora::common {
namespace {

namespace fs = std::filesystem;

// The function under test, for a path as the tests build it.
int WriteAllOrNothing(const fs::path& path, std::string_view bytes) {
  return common::WriteAllOrNothing(path.u16string(), bytes);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh, empty folder of the test's own, removed with what is left in it.
class Folder {
 public:
  explicit Folder(const char* name)
      : path_(fs::temp_directory_path() / (std::string("velmora_whole_") + name)) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  fs::path operator/(const char* name) const { return path_ / name; }
  // The names in the folder: a temporary file left behind shows here.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.insert(entry.path().filename().string());
    return names;
  }

 private:
  fs::path path_;
};

using Names = std::set<std::string>;

TEST(WholeFile, CreatesAndReplacesLeavingNothingElse) {
  const Folder folder("replace");
  const fs::path file = folder / "stage.cir";
  const struct { const char* what; std::string bytes; } writes[] = {
      {"new file",        std::string(10000, 'a')},
      {"shorter",         "b\n"},
      {"longer",          std::string(70000, 'c')},  // more than a stream buffer
      {"empty",           ""},
  };
  for (const auto& w : writes) {
    EXPECT_EQ(WriteAllOrNothing(file, w.bytes), 0) << w.what;
    EXPECT_EQ(ReadAll(file), w.bytes) << w.what;
    EXPECT_EQ(folder.Names(), Names{"stage.cir"}) << w.what;
  }
}

TEST(WholeFile, FailuresBeforeWritingTouchNothing) {
  const Folder folder("refused");
  WriteText(folder / "old.svg", "old");
  fs::create_directory(folder / "sub");
  // No such folder: nothing is made there or here.
  EXPECT_EQ(WriteAllOrNothing(folder / "missing" / "h.svg", "x"), ENOENT);
  // A folder in the target's place is opened in place, and refused.
  const int folderError = WriteAllOrNothing(folder / "sub", "x");
  EXPECT_TRUE(folderError == EISDIR || folderError == EACCES) << folderError;
  EXPECT_TRUE(fs::is_directory(folder / "sub"));
  EXPECT_EQ(ReadAll(folder / "old.svg"), "old");
  EXPECT_EQ(folder.Names(), (Names{"old.svg", "sub"}));
}

#ifdef _WIN32
// Devices have no status a stat call would tell: NUL takes everything and
// stays a device, with nothing made beside it.
TEST(WholeFile, TheNullDeviceIsWrittenInPlace) {
  const Folder folder("nul");
  const fs::path before = fs::current_path();
  fs::current_path(folder / "");
  EXPECT_EQ(WriteAllOrNothing("NUL", std::string(100000, 'x')), 0);
  EXPECT_EQ(WriteAllOrNothing("nul", "x"), 0);
  EXPECT_EQ(folder.Names(), Names{});
  fs::current_path(before);
}
#else
TEST(WholeFile, KeepsTheLinkAndThePermissions) {
  const Folder folder("link");
  WriteText(folder / "real.svg", "old");
  fs::permissions(folder / "real.svg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.svg", folder / "link.svg");
  EXPECT_EQ(WriteAllOrNothing(folder / "link.svg", "new"), 0);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link.svg")));
  EXPECT_EQ(ReadAll(folder / "real.svg"), "new");
  EXPECT_EQ(fs::status(folder / "real.svg").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(folder.Names(), (Names{"link.svg", "real.svg"}));
  // A link to nothing yet: the file is made where it points, as a plain open would.
  fs::create_symlink("later.svg", folder / "dangling.svg");
  EXPECT_EQ(WriteAllOrNothing(folder / "dangling.svg", "made"), 0);
  EXPECT_EQ(ReadAll(folder / "later.svg"), "made");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "dangling.svg")));
}

TEST(WholeFile, DevicesAndPipesAreWrittenInPlace) {
  EXPECT_EQ(WriteAllOrNothing("/dev/null", std::string(100000, 'x')), 0);
  EXPECT_EQ(WriteAllOrNothing("/dev/full", "x"), ENOSPC);  // the failure shows at the close
  const Folder folder("pipe");
  const fs::path fifo = folder / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {  // reads the pipe and exits with what it read
    std::ifstream in(fifo, std::ios::binary);
    const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    _exit(got == "through the pipe" ? 0 : 1);
  }
  EXPECT_EQ(WriteAllOrNothing(fifo, "through the pipe"), 0);
  int status = 0;
  ASSERT_EQ(waitpid(reader, &status, 0), reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(folder.Names(), Names{"pipe"});
}

// The fault: a write cut short by a file size limit left the first 4096
// bytes in place of the old file. Now the old file stays, and the new one's
// remains are gone.
TEST(WholeFileRegression, TornFileUnderASizeLimit) {
  const Folder folder("size_limit");
  const fs::path file = folder / "good.svg";
  const std::string old(3000, 'o');
  WriteText(file, old);
  // In a child, as `ulimit -f 4` with SIGXFSZ ignored; its exit status is the result.
  auto limited = [&](std::size_t size) {
    const pid_t child = fork();
    if (child == 0) {
      const rlimit limit{4096, 4096};
      std::signal(SIGXFSZ, SIG_IGN);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(255);
      _exit(WriteAllOrNothing(file, std::string(size, 'n')));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(limited(10000), EFBIG);
  EXPECT_EQ(ReadAll(file), old);
  EXPECT_EQ(folder.Names(), Names{"good.svg"});
  EXPECT_EQ(limited(4096), 0);  // what fits the limit is written
  EXPECT_EQ(ReadAll(file), std::string(4096, 'n'));
  EXPECT_EQ(folder.Names(), Names{"good.svg"});
}
#endif

}  // namespace
}  // namespace velmora::common
