// The window's save path: a file written whole or not at all, with the
// system's error code for the message box. The failures half-way need a
// size limit or a full disk set up outside the program
// (tests/cli/check_write_failures.sh); without them those cases are skipped.
#include "common/win/save_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace velmora::common {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::wstring>;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Names NamesIn(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().wstring());
  return names;
}

fs::path FreshFolder(const wchar_t* name) {
  const fs::path folder = fs::temp_directory_path() / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// Replacing an existing file is a rename over it (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING): no temporary file stays.
TEST(SaveFile, WritesWholeAndReplaces) {
  const fs::path folder = FreshFolder(L"velmora_save_replace");
  const std::wstring file = (folder / L"velmora.cir").wstring();
  for (const std::string& bytes : {std::string(70000, 'a'), std::string("b\r\n"), std::string()}) {
    EXPECT_EQ(WriteWholeFile(file, bytes), 0u) << bytes.size();
    EXPECT_TRUE(ReadAll(file) == bytes) << bytes.size();
    EXPECT_EQ(NamesIn(folder), Names{L"velmora.cir"}) << bytes.size();
  }
  fs::remove_all(folder);
}

TEST(SaveFile, RefusalsNameTheSystemsError) {
  const fs::path folder = FreshFolder(L"velmora_save_refused");
  const fs::path old = folder / L"old.cir";
  std::ofstream(old, std::ios::binary) << "old";
  fs::create_directory(folder / L"sub");
  EXPECT_EQ(WriteWholeFile((folder / L"missing" / L"x.cir").wstring(), "x"), DWORD{ERROR_PATH_NOT_FOUND});
  EXPECT_EQ(WriteWholeFile((folder / L"sub").wstring(), "x"), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(WriteWholeFile(old.wstring(), "new"), DWORD{ERROR_ACCESS_DENIED});  // as opening it would be
  SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadAll(old), "old");
  EXPECT_EQ(NamesIn(folder), (Names{L"old.cir", L"sub"}));
  fs::remove_all(folder);
}

// The fault: a failed write left a torn file, or none, in place of the old one.
TEST(SaveFileFailures, UnderASizeLimit) {
  const char* limit = std::getenv("VELMORA_FILE_SIZE_LIMIT");
  if (limit == nullptr) GTEST_SKIP() << "run by check_write_failures.sh under ulimit -f";
  const fs::path folder = FreshFolder(L"velmora_save_limited");
  const fs::path old = folder / L"velmora.cir";
  std::ofstream(old, std::ios::binary) << "old netlist\r\n";
  const DWORD error = WriteWholeFile(old.wstring(), std::string(3 * std::strtoul(limit, nullptr, 10), 'n'));
  EXPECT_NE(error, 0u);
  EXPECT_EQ(ReadAll(old), "old netlist\r\n");
  EXPECT_EQ(NamesIn(folder), Names{L"velmora.cir"});
  fs::remove_all(folder);
}

TEST(SaveFileFailures, OnAFullDisk) {
  const char* full = std::getenv("VELMORA_FULL_FOLDER");
  if (full == nullptr) GTEST_SKIP() << "run by check_write_failures.sh on a full tmpfs";
  const fs::path folder(full);
  const fs::path old = folder / L"old.cir";
  const std::string before = ReadAll(old);
  ASSERT_FALSE(before.empty()) << old;
  EXPECT_EQ(WriteWholeFile(old.wstring(), std::string(100000, 'n')), DWORD{ERROR_DISK_FULL});
  EXPECT_EQ(ReadAll(old), before);
  EXPECT_EQ(NamesIn(folder), Names{L"old.cir"});
}

}  // namespace
}  // namespace velmora::common
