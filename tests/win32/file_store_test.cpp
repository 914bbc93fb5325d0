// The Windows file store on real files: UTF-8 names in any script, the three ways of opening,
// replacing a file in one step, and flushing on close.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_file_store.h"

namespace {

class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[1024];
    ASSERT_GT(files_.GetCurrentDir(dir, sizeof dir), 0u);
    start_ = dir;
    // A fresh folder with a Chinese name; the tests work inside it.
    work_ = start_ + "\\文件测试_" + std::to_string(GetCurrentProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryW(Wide(work_).c_str(), nullptr));
    ASSERT_TRUE(files_.SetCurrentDir(work_.c_str()));
  }
  void TearDown() override {
    files_.SetCurrentDir(start_.c_str());
    WIN32_FIND_DATAW found;
    const std::wstring dir = Wide(work_);
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((dir + L"\\" + found.cFileName).c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(dir.c_str());
  }

  static std::wstring Wide(const std::string& utf8) {
    wchar_t out[1024];
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out, 1024);
    return out;
  }

  bool Put(const char* name, const std::vector<std::uint8_t>& bytes) {
    const FileHandle file = files_.CreateAlways(name);
    if (file == kInvalidFile) return false;
    const bool written = files_.Write(file, bytes.data(), static_cast<int>(bytes.size())) ==
                         static_cast<int>(bytes.size());
    return files_.Close(file) && written;
  }

  std::vector<std::uint8_t> Get(const char* name) {
    std::vector<std::uint8_t> bytes;
    const FileHandle file = files_.OpenRead(name);
    if (file == kInvalidFile) return bytes;
    std::uint8_t buf[64];
    int n = 0;
    while ((n = files_.Read(file, buf, sizeof buf)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    EXPECT_TRUE(files_.Close(file)) << "closing a file opened for reading succeeds";
    return bytes;
  }

  Win32FileStore files_;
  std::string start_;
  std::string work_;
};

TEST_F(FileStoreTest, ChineseNamesReachTheFileSystemAsTheirCharacters) {
  char dir[1024];
  ASSERT_GT(files_.GetCurrentDir(dir, sizeof dir), 0u);
  EXPECT_EQ(std::string(dir), work_);
  ASSERT_TRUE(Put("传感器.txt", {0xA1, 0xE6}));
  EXPECT_NE(GetFileAttributesW((Wide(work_) + L"\\\x4F20\x611F\x5668.txt").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Get("传感器.txt"), (std::vector<std::uint8_t>{0xA1, 0xE6}));
}

TEST_F(FileStoreTest, CurrentDirectoryThatDoesNotFitIsNotCut) {
  char small[4];
  EXPECT_EQ(files_.GetCurrentDir(small, sizeof small), 0u);
  EXPECT_STREQ(small, "");
}

TEST_F(FileStoreTest, CreateNewRefusesAnExistingFileAndCreateAlwaysTruncatesIt) {
  ASSERT_TRUE(Put("wscfg.cfg", {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(files_.CreateNew("wscfg.cfg"), kInvalidFile);
  EXPECT_EQ(Get("wscfg.cfg").size(), 6u);
  ASSERT_TRUE(Put("wscfg.cfg", {9}));
  EXPECT_EQ(Get("wscfg.cfg"), (std::vector<std::uint8_t>{9}));

  const FileHandle fresh = files_.CreateNew("RUVEZ_2006_04_04_09_05.txt");
  ASSERT_NE(fresh, kInvalidFile);
  EXPECT_TRUE(files_.Close(fresh));
  EXPECT_TRUE(Get("RUVEZ_2006_04_04_09_05.txt").empty());
}

TEST_F(FileStoreTest, ReplaceSwapsInTheNewFileAndRemoveDeletes) {
  ASSERT_TRUE(Put("wscfg.cfg", {1, 0, 0, 4}));
  ASSERT_TRUE(Put("wscfg.new", {2, 1, 1, 8}));
  EXPECT_TRUE(files_.Replace("wscfg.new", "wscfg.cfg"));
  EXPECT_EQ(Get("wscfg.cfg"), (std::vector<std::uint8_t>{2, 1, 1, 8}));
  EXPECT_EQ(files_.OpenRead("wscfg.new"), kInvalidFile);
  EXPECT_FALSE(files_.Replace("wscfg.new", "wscfg.cfg"));

  EXPECT_TRUE(files_.Remove("wscfg.cfg"));
  EXPECT_FALSE(files_.Remove("wscfg.cfg"));
  EXPECT_EQ(files_.OpenRead("wscfg.cfg"), kInvalidFile);
}

TEST_F(FileStoreTest, ReadingGivesTheBytesThatAreThere) {
  ASSERT_TRUE(Put("short.cfg", {1, 2, 3}));
  const FileHandle file = files_.OpenRead("short.cfg");
  ASSERT_NE(file, kInvalidFile);
  std::uint8_t buf[4] = {};
  EXPECT_EQ(files_.Read(file, buf, 4), 3);
  EXPECT_EQ(files_.Read(file, buf, 4), 0);
  EXPECT_EQ(files_.Write(file, buf, 1), -1) << "a file opened for reading takes no writes";
  EXPECT_TRUE(files_.Close(file));
}

TEST_F(FileStoreTest, InvalidNamesOpenNothing) {
  EXPECT_EQ(files_.OpenRead(""), kInvalidFile);
  EXPECT_EQ(files_.CreateAlways("\xFF\xFE.txt"), kInvalidFile) << "not UTF-8";
  EXPECT_FALSE(files_.SetCurrentDir("no such folder"));
}

}  // namespace
