// Real files: a new file never replaces an existing one, a replacement happens in one step, and
// failures are reported rather than ignored.
#include <unistd.h>

#include "platform/posix/posix_file_store.h"
#include "support.h"

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

TEST_F(PosixFileStoreTest, CreateNewRefusesAnExistingFileAndReplaceTakesTheNewOnesPlace) {
  Put("a.txt", "first");
  EXPECT_EQ(files_.CreateNew("a.txt"), kInvalidFile);
  EXPECT_EQ(ReadWholeFile(dir_.File("a.txt")), "first");
  Put("new", "new");
  EXPECT_TRUE(files_.Replace("new", "a.txt"));
  EXPECT_EQ(ReadWholeFile(dir_.File("a.txt")), "new");
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"a.txt"});
  EXPECT_FALSE(files_.Replace("new", "a.txt"));  // nothing left to move
}

TEST_F(PosixFileStoreTest, AWriteToAFullDeviceIsReportedShort) {
  const FileHandle full = files_.CreateAlways("/dev/full");  // refuses every byte
  ASSERT_NE(full, kInvalidFile);
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(files_.Write(full, bytes, 4), -1);
  files_.Close(full);
}

}  // namespace
