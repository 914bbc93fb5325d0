// The Windows file store on real files: UTF-8 names in any script, new files only where the
// name is free and only on a disk, and replacing a file in one step where it may be written.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "outputs/csv_row_file.h"
#include "outputs/line_output.h"
#include "platform/win32/win32_file_store.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

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
    for (const char* name : {"传感器.txt", "wscfg.cfg", "wscfg.new", "RUVEZ.txt", "RUN.csv",
                             "RUN_2.csv", "events.jsonl"})
      files_.Remove(name);
    files_.SetCurrentDir(start_.c_str());
    RemoveDirectoryW(Wide(work_).c_str());
  }
  static std::wstring Wide(const std::string& utf8) {
    wchar_t out[1024];
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out, 1024);
    return out;
  }
  bool Put(const char* name, const Bytes& bytes) {
    files_.Remove(name);
    const FileHandle file = files_.CreateNew(name, nullptr);
    if (file == kInvalidFile) return false;
    const bool written = files_.Write(file, bytes.data(), static_cast<int>(bytes.size())) ==
                         static_cast<int>(bytes.size());
    return files_.Close(file) && written;
  }
  Bytes Get(const char* name) {
    Bytes bytes;
    const FileHandle file = files_.OpenRead(name);
    if (file == kInvalidFile) return bytes;
    std::uint8_t buf[64];
    for (int n; (n = files_.Read(file, buf, sizeof buf)) > 0;)
      bytes.insert(bytes.end(), buf, buf + n);
    EXPECT_EQ(files_.Write(file, buf, 1), -1) << "a file opened for reading takes no writes";
    EXPECT_TRUE(files_.Close(file));
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
  EXPECT_EQ(Get("传感器.txt"), Bytes({0xA1, 0xE6}));
  EXPECT_EQ(files_.CreateNew("\xFF\xFE.txt", nullptr), kInvalidFile) << "not UTF-8";
}

TEST_F(FileStoreTest, NewFilesOnlyWhereTheNameIsFreeAndNothingButDiskFiles) {
  ASSERT_TRUE(Put("wscfg.cfg", {1, 2, 3, 4, 5, 6}));
  CreateFailure why = CreateFailure::kNone;
  EXPECT_EQ(files_.CreateNew("wscfg.cfg", &why), kInvalidFile);
  EXPECT_EQ(why, CreateFailure::kNameTaken);
  EXPECT_EQ(Get("wscfg.cfg").size(), 6u);
  EXPECT_EQ(files_.CreateNew("NUL", &why), kInvalidFile) << "a device";
  EXPECT_EQ(why, CreateFailure::kRefused);
  ASSERT_TRUE(CreateDirectoryW(L"RUVEZ.txt", nullptr));
  EXPECT_EQ(files_.OpenRead("RUVEZ.txt"), kInvalidFile);
  EXPECT_FALSE(files_.Remove("RUVEZ.txt"));
  EXPECT_TRUE(RemoveDirectoryW(L"RUVEZ.txt"));
}

TEST_F(FileStoreTest, ReplaceTakesTheOldFilesPlaceButNeverAReadOnlyOnes) {
  ASSERT_TRUE(Put("wscfg.cfg", {1, 0, 0, 4}));
  ASSERT_TRUE(Put("wscfg.new", {2, 1, 1, 8}));
  EXPECT_TRUE(files_.Replace("wscfg.new", "wscfg.cfg"));
  EXPECT_EQ(Get("wscfg.cfg"), Bytes({2, 1, 1, 8}));
  EXPECT_EQ(files_.OpenRead("wscfg.new"), kInvalidFile);
  ASSERT_TRUE(SetFileAttributesW(L"wscfg.cfg", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(Put("wscfg.new", {3, 0, 0, 1}));
  EXPECT_FALSE(files_.Replace("wscfg.new", "wscfg.cfg"));
  EXPECT_EQ(Get("wscfg.cfg"), Bytes({2, 1, 1, 8}));
  EXPECT_TRUE(SetFileAttributesW(L"wscfg.cfg", FILE_ATTRIBUTE_NORMAL));
}

// The outputs' writers on the same files: a CSV file is named only when whole and never in the
// place of another, leaving no stand-in; JSON Lines keep what an earlier session wrote.
TEST_F(FileStoreTest, TheOutputsFilesNeverReplaceOrLoseWhatIsThere) {
  ASSERT_TRUE(Put("RUN.csv", {'o', 'l', 'd'}));
  const auto stand_ins = [] {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(L".wsmon-run-*", &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
  };
  std::string name;
  std::string problem;
  {
    CsvRowFile dropped;
    ASSERT_TRUE(dropped.Begin("id\r\n", &problem)) << problem;
  }
  EXPECT_FALSE(stand_ins()) << "a run that is never exported leaves nothing";
  CsvRowFile csv;
  ASSERT_TRUE(csv.Begin("id\r\n", &problem)) << problem;
  EXPECT_TRUE(stand_ins());
  csv.Append("7\r\n", 3);
  ASSERT_TRUE(csv.Publish("RUN", &name, &problem)) << problem;
  EXPECT_EQ(name, "RUN_2.csv");
  EXPECT_EQ(Get("RUN_2.csv"), Bytes({'i', 'd', '\r', '\n', '7', '\r', '\n'}));
  EXPECT_EQ(Get("RUN.csv"), Bytes({'o', 'l', 'd'}));
  EXPECT_FALSE(stand_ins());

  ASSERT_TRUE(Put("events.jsonl", {'{', '}', '\n'}));
  {
    LineOutput json;
    ASSERT_TRUE(json.Open("events.jsonl", &problem)) << problem;
    int error = 0;
    EXPECT_EQ(json.Write("[]\n", 3, &error), 3);
  }
  EXPECT_EQ(Get("events.jsonl"), Bytes({'{', '}', '\n', '[', ']', '\n'}));
  LineOutput device;
  EXPECT_FALSE(device.Open("NUL", &problem)) << "a device could hold the window up";
}

}  // namespace
