// The Linux file store's operations for files that grow and files that must be whole: appending
// (never through a link), cutting back, naming a file only where no file is, the mark of use
// that keeps a second monitor out, listing a directory, and the system's words for a failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/posix/posix_file_store.h"
#include "support.h"

namespace {

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

class PosixFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(files_.SetCurrentDir(dir_.path().c_str())); }
  void TearDown() override { files_.SetCurrentDir("/"); }
  bool Put(const char* name, const std::string& bytes) {
    const FileHandle file = files_.OpenAppend(name, false, nullptr);
    const bool written = file != kInvalidFile &&
                         files_.Write(file, Text(bytes).data(), static_cast<int>(bytes.size())) ==
                             static_cast<int>(bytes.size());
    return file != kInvalidFile && files_.Close(file) && written;
  }
  std::string Get(const char* name) const { return ReadWholeFile(dir_.File(name)); }

  ScratchDirectory dir_;
  PosixFileStore files_;
};

TEST_F(PosixFileStoreTest, AppendsGoToTheEndAndCuttingBackLeavesWholeRecords) {
  ASSERT_TRUE(Put("run.journal", "one;"));
  const FileHandle file = files_.OpenAppend("run.journal", false, nullptr);
  ASSERT_NE(file, kInvalidFile);
  EXPECT_EQ(files_.Size(file), 4);
  EXPECT_EQ(files_.Write(file, Text("two;").data(), 4), 4);
  EXPECT_TRUE(files_.SyncData(file));
  EXPECT_TRUE(files_.Truncate(file, 6));
  EXPECT_EQ(files_.Write(file, Text("!").data(), 1), 1);
  EXPECT_TRUE(files_.Close(file));
  EXPECT_EQ(Get("run.journal"), "one;tw!");

  const FileHandle reader = files_.OpenRead("run.journal");
  std::uint8_t last[4] = {};
  EXPECT_EQ(files_.ReadAt(reader, 5, last, sizeof last), 2);
  EXPECT_EQ(std::string(last, last + 2), "w!");
  EXPECT_EQ(files_.ReadAt(reader, 7, last, 1), 0);
  EXPECT_TRUE(files_.Close(reader));
}

TEST_F(PosixFileStoreTest, NewNamesAreOnlyEverTakenWhereNothingIs) {
  ASSERT_TRUE(Put("export.tmp", "new"));
  ASSERT_TRUE(Put("export.txt", "old"));
  ASSERT_EQ(symlink("elsewhere", dir_.File("link.journal").c_str()), 0);
  CreateFailure why = CreateFailure::kNone;
  // Renaming onto a taken name, appending to a new file that exists, or through a link: refused.
  EXPECT_FALSE(files_.RenameNew("export.tmp", "export.txt", &why));
  EXPECT_EQ(why, CreateFailure::kNameTaken);
  EXPECT_EQ(files_.OpenAppend("export.txt", true, &why), kInvalidFile);
  EXPECT_EQ(why, CreateFailure::kNameTaken);
  EXPECT_EQ(files_.OpenAppend("link.journal", false, &why), kInvalidFile);
  EXPECT_EQ(Get("export.txt"), "old");
  EXPECT_NE(access(dir_.File("elsewhere").c_str(), F_OK), 0) << "nothing made through the link";

  EXPECT_TRUE(files_.RenameNew("export.tmp", "export_2.txt", &why));
  EXPECT_TRUE(files_.SyncDirectory("."));
  EXPECT_EQ(Get("export_2.txt"), "new");
  Lines listed;
  EXPECT_TRUE(files_.ListFiles(".", [&listed](const char* name) { listed.push_back(name); }));
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, Lines({"export.txt", "export_2.txt"})) << "regular files only";
}

TEST_F(PosixFileStoreTest, TheMarkOfUseKeepsASecondHolderOutUntilTheFirstCloses) {
  const FileHandle first = files_.OpenAppend("run.journal", true, nullptr);
  ASSERT_TRUE(files_.TryLock(first));
  const FileHandle second = files_.OpenRead("run.journal");
  EXPECT_FALSE(files_.TryLock(second));
  EXPECT_THAT(files_.LastFailure(), HasSubstr("Resource temporarily unavailable"));
  EXPECT_TRUE(files_.Close(first));
  EXPECT_TRUE(files_.TryLock(second));
  EXPECT_TRUE(files_.Close(second));
}

TEST_F(PosixFileStoreTest, FailuresAreToldInTheSystemsWords) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);  // refuses every byte
  ASSERT_GE(full, 0);
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(files_.Write(full, bytes, 4), -1);
  EXPECT_EQ(files_.LastFailure(), "No space left on device");
  files_.Close(full);
  EXPECT_EQ(files_.OpenAppend("no/such/dir.journal", false, nullptr), kInvalidFile);
  EXPECT_EQ(files_.LastFailure(), "No such file or directory");
  EXPECT_FALSE(files_.SyncDirectory("no-such-directory"));
  EXPECT_EQ(files_.LastFailure(), "No such file or directory");
  EXPECT_FALSE(files_.ListFiles("no-such-directory", [](const char*) {}));
}

}  // namespace
