// Real files: a write that the device refuses is reported, not taken for done. What the store
// makes of pipes, links, directories and read-only files in the start directory is shown by the
// headless program's tests.
#include <fcntl.h>

#include "platform/posix/posix_file_store.h"
#include "support.h"

namespace {

TEST(PosixFileStoreTest, AWriteToAFullDeviceIsReportedFailed) {
  PosixFileStore files;
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);  // refuses every byte
  ASSERT_GE(full, 0);
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(files.Write(full, bytes, 4), -1);
  files.Close(full);
}

}  // namespace
