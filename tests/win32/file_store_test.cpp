// The Windows file store on real files: UTF-8 names in any script, new files only where the
// name is free and only on a disk, replacing a file in one step where it may be written, and
// the operations of files that grow or must be whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
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
    for (const char* name :
         {"传感器.txt", "wscfg.cfg", "wscfg.new", "RUVEZ.txt", "run.journal", "export.tmp",
          "export_2.txt", "RUN.csv", "RUN_2.csv", "RUN_run.csv", "events.jsonl"})
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

TEST_F(FileStoreTest, AppendingCuttingBackNamingNewAndTheMarkOfUse) {
  ASSERT_TRUE(Put("RUVEZ.txt", {'o', 'l', 'd'}));
  const FileHandle file = files_.OpenAppend("run.journal", true, nullptr);
  ASSERT_NE(file, kInvalidFile);
  ASSERT_TRUE(files_.TryLock(file));
  EXPECT_EQ(files_.Write(file, reinterpret_cast<const std::uint8_t*>("one;two;"), 8), 8);
  EXPECT_TRUE(files_.SyncData(file));
  EXPECT_TRUE(files_.Truncate(file, 4));
  EXPECT_EQ(files_.Write(file, reinterpret_cast<const std::uint8_t*>("2;"), 2), 2);
  EXPECT_EQ(files_.Size(file), 6);
  // Another handle, as another monitor's would be: it may open the file, but not take the mark.
  const FileHandle other = files_.OpenAppend("run.journal", false, nullptr);
  ASSERT_NE(other, kInvalidFile);
  EXPECT_FALSE(files_.TryLock(other));
  EXPECT_TRUE(files_.Close(other));
  EXPECT_TRUE(files_.Close(file));
  EXPECT_EQ(Get("run.journal"), Bytes({'o', 'n', 'e', ';', '2', ';'}));

  CreateFailure why = CreateFailure::kNone;
  ASSERT_TRUE(Put("export.tmp", {'n', 'e', 'w'}));
  EXPECT_FALSE(files_.RenameNew("export.tmp", "RUVEZ.txt", &why));
  EXPECT_EQ(why, CreateFailure::kNameTaken);
  EXPECT_FALSE(files_.LastFailure().empty());
  EXPECT_TRUE(files_.RenameNew("export.tmp", "export_2.txt", &why));
  EXPECT_TRUE(files_.SyncDirectory("."));
  EXPECT_EQ(Get("RUVEZ.txt"), Bytes({'o', 'l', 'd'}));
  std::vector<std::string> names;
  EXPECT_TRUE(files_.ListFiles(".", [&names](const char* name) { names.push_back(name); }));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, std::vector<std::string>({"RUVEZ.txt", "export_2.txt", "run.journal"}));
}

// The outputs' writers on the same files: a CSV file of a run is named as the run's, and its
// export names it anew, never in the place of another; JSON Lines keep what an earlier session
// wrote.
TEST_F(FileStoreTest, TheOutputsFilesNeverReplaceOrLoseWhatIsThere) {
  ASSERT_TRUE(Put("RUN.csv", {'o', 'l', 'd'}));
  std::string name;
  std::string problem;
  CsvRowFile csv;
  ASSERT_TRUE(csv.Begin(&files_, "RUN_run", "id\r\n", nullptr, &problem)) << problem;
  csv.Append("7\r\n", 3);
  ASSERT_TRUE(csv.Publish("RUN", &name, &problem)) << problem;
  EXPECT_EQ(name, "RUN_2.csv");
  EXPECT_EQ(Get("RUN_2.csv"), Bytes({'i', 'd', '\r', '\n', '7', '\r', '\n'}));
  EXPECT_EQ(Get("RUN.csv"), Bytes({'o', 'l', 'd'}));
  EXPECT_EQ(Get("RUN_run.csv"), Bytes{});

  // A last line that a crash tore is ended first.
  ASSERT_TRUE(Put("events.jsonl", {'{', '}'}));
  {
    LineOutput json;
    ASSERT_TRUE(json.Open("events.jsonl", &problem)) << problem;
    ASSERT_TRUE(json.appended());
    EXPECT_TRUE(json.Append("[]\n", 3));
  }
  EXPECT_EQ(Get("events.jsonl"), Bytes({'{', '}', '\n', '[', ']', '\n'}));
  LineOutput device;
  EXPECT_FALSE(device.Open("NUL", &problem)) << "a device could hold the window up";
}

}  // namespace
