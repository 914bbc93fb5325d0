// A run's CSV files in the test's own process, where making them must fail.
#include <unistd.h>

#include "frontend/common/csv_export.h"
#include "support.h"

namespace {

TEST(CsvRunFilesTest, ARunWhoseFilesCannotBeMadeNeverPublishesAnEarlierRunsFiles) {
  ScratchDirectory dir;
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  Lines problems;
  {
    CsvExport csv([&problems](const std::string& problem) { problems.push_back(problem); });
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    csv.OnRunStarted();            // a run that is never exported
    ASSERT_EQ(chdir("/proc"), 0);  // nobody makes a file here
    csv.OnRunStarted();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    csv.OnExported("RUVEZ_run.txt");
  }
  ASSERT_EQ(chdir(before), 0);
  EXPECT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
  EXPECT_EQ(dir.Names(), Lines{});
}

}  // namespace
