// Real files: a new file never replaces an existing one, a replacement happens in one step, and
// failures are reported rather than ignored.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/posix/posix_file_store.h"
#include "wsmon_process.h"

namespace {

class PosixFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    old_cwd_ = buf;
    ASSERT_TRUE(files_.SetCurrentDir(dir_.path().c_str()));
  }
  void TearDown() override { ASSERT_EQ(chdir(old_cwd_.c_str()), 0); }

  void Put(const char* name, const std::string& bytes) {
    const FileHandle f = files_.CreateAlways(name);
    ASSERT_NE(f, kInvalidFile);
    ASSERT_EQ(files_.Write(f, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    ASSERT_TRUE(files_.Close(f));
  }

  ScratchDirectory dir_;
  PosixFileStore files_;
  std::string old_cwd_;
};

TEST_F(PosixFileStoreTest, CurrentDirectoryIsSetAndTold) {
  char buf[4096];
  const std::size_t n = files_.GetCurrentDir(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), dir_.path());
  char tiny[4];
  EXPECT_EQ(files_.GetCurrentDir(tiny, sizeof tiny), 0u);
  EXPECT_FALSE(files_.SetCurrentDir("/no/such/directory"));
}

TEST_F(PosixFileStoreTest, CreateNewRefusesAnExistingFileAndLeavesItAlone) {
  Put("a.txt", "first");
  EXPECT_EQ(files_.CreateNew("a.txt"), kInvalidFile);
  EXPECT_EQ(ReadWholeFile(dir_.File("a.txt")), "first");
  const FileHandle f = files_.CreateNew("b.txt");
  ASSERT_NE(f, kInvalidFile);
  EXPECT_TRUE(files_.Close(f));
}

TEST_F(PosixFileStoreTest, CreateAlwaysTruncatesAndReadGivesWhatIsThere) {
  Put("c.cfg", "123456");
  Put("c.cfg", "ab");
  const FileHandle f = files_.OpenRead("c.cfg");
  ASSERT_NE(f, kInvalidFile);
  std::uint8_t buf[4] = {};
  EXPECT_EQ(files_.Read(f, buf, 4), 2);
  EXPECT_EQ(files_.Read(f, buf, 4), 0);
  EXPECT_TRUE(files_.Close(f));
  EXPECT_EQ(files_.OpenRead("missing"), kInvalidFile);
}

TEST_F(PosixFileStoreTest, ReplacePutsTheNewFileInPlaceOfTheOld) {
  Put("old", "old settings");
  Put("new", "new");
  EXPECT_TRUE(files_.Replace("new", "old"));
  EXPECT_EQ(ReadWholeFile(dir_.File("old")), "new");
  EXPECT_FALSE(files_.Replace("new", "old"));  // nothing left to move
  EXPECT_TRUE(files_.Remove("old"));
  EXPECT_FALSE(files_.Remove("old"));
}

TEST_F(PosixFileStoreTest, ADirectoryThatTakesNoFilesFailsEveryCreation) {
  ASSERT_TRUE(files_.SetCurrentDir("/proc"));
  EXPECT_EQ(files_.CreateNew("x.txt"), kInvalidFile);
  EXPECT_EQ(files_.CreateAlways("x.txt"), kInvalidFile);
}

TEST_F(PosixFileStoreTest, AWriteToAFullDeviceIsReportedShort) {
  // /dev/full refuses every byte with "no space left".
  const FileHandle f = files_.CreateAlways("/dev/full");
  ASSERT_NE(f, kInvalidFile);
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(files_.Write(f, bytes, 4), -1);
  files_.Close(f);
}

}  // namespace
