#include "frontend/program/recover_main.h"

#include <cstdio>
#include <vector>

#include "journal/recovery.h"
#include "platform/posix/posix_file_store.h"

int RunRecover(const std::string& directory) {
  PosixFileStore files;
  const std::string dir = directory.empty() ? "." : directory;
  if (!files.SetCurrentDir(dir.c_str())) {
    std::fprintf(stderr, "wsmon: --recover %s: %s\n", dir.c_str(), files.LastFailure().c_str());
    return 1;
  }
  const std::vector<RecoveryResult> results = RecoverRuns(files);
  if (results.empty()) std::printf("No run to recover in %s.\n", dir.c_str());
  int status = 0;
  for (const RecoveryResult& result : results) {
    // What was recovered goes to standard output; a run that could not be, to standard error.
    std::fprintf(result.recovered ? stdout : stderr, "%s\n", DescribeRecovery(result).c_str());
    if (!result.recovered) status = 1;
  }
  return status;
}
