// Finding the receiver's port from the command line: WSMON_COM<N> beside --com, the reason for a
// failed open on standard error, and wsmon --list-ports.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "support.h"

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

// A shell command line run in dir with input on standard input.
Outcome Shell(const ScratchDirectory& dir, const std::string& words,
              const std::string& input = "") {
  std::ofstream(dir.File("in")) << input;
  const int status =
      std::system(("cd '" + dir.path() + "' && timeout 60 " + words + " <in >out 2>err").c_str());
  return {WEXITSTATUS(status), ReadWholeFile(dir.File("out")), ReadWholeFile(dir.File("err"))};
}

const std::string kWsmon = WSMON_PATH;

// WSMON_COM<N> points a port where no --com option does. A failed open says why on standard
// error in one line, and the event stream stays as it was.
TEST(PortFindingTest, TheEnvironmentPointsPortsAndAFailedOpenSaysWhyOnStandardError) {
  ScratchDirectory dir;
  PseudoTerminal line;
  chmod(dir.path().c_str(), 0777);  // the unprivileged run saves its settings here too
  // A second monitor holds the line open.
  Program holder(WSMON_PATH, {"--headless", "--com", "1=" + line.path()}, dir.path());
  holder.Write("open\n");
  ASSERT_TRUE(holder.WaitFor([](const std::string& l) { return l == "menu close enabled"; }));

  const std::string wsmon = kWsmon + " --headless --com 1=";
  struct Case {
    std::string words;
    int status;
    std::string err;  // a piece of standard error
  };
  std::vector<Case> cases = {
      {"env WSMON_COM1=/no/env " + kWsmon + " --headless", 0, "COM1 (/no/env): No such file"},
      {"env WSMON_COM1=/no/env " + kWsmon + " --headless --com 1=/no/option", 0,
       "COM1 (/no/option): No such file"},
      {"env WSMON_COMPACT=1 WSMON_COM2=/no/env " + kWsmon + " --headless --com 1=/no/option", 0,
       "COM1 (/no/option): No such file"},
      {"env WSMON_COM0=/dev/ttyUSB0 " + kWsmon + " --headless", 2, "WSMON_COM0: the port number"},
      {"env WSMON_COM1= " + kWsmon + " --headless", 2, "WSMON_COM1 is empty"},
      {wsmon + dir.File("missing"), 0,
       "(" + dir.File("missing") +
           "): No such file or directory; is the receiver plugged in? wsmon --list-ports shows"},
      {wsmon + line.path(), 0, "the device is busy: wsmon (pid "},  // the holder, named
      {wsmon + dir.File("in"), 0, "this is not a serial device"}};
  if (getuid() == 0) {  // root opens anything; nobody meets the root-owned pseudo-terminal
    // A copy that nobody may run, wherever the build lies.
    std::system(("cp '" + kWsmon + "' '" + dir.File("wsmon") + "'").c_str());
    cases.push_back(
        {"setpriv --reuid=nobody --regid=nogroup --clear-groups ./wsmon --headless "
         "--com 1=" +
             line.path(),
         0,
         "Permission denied; this user may not use the device: sudo usermod -aG "
         "dialout $USER, then log in again"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    const Outcome run = Shell(dir, c.words, "open\n");
    EXPECT_EQ(run.status, c.status);
    EXPECT_THAT(run.err, HasSubstr(c.err));
    if (c.status != 0) continue;
    EXPECT_THAT(run.err, StartsWith("wsmon: cannot open COM1 ("));
    // Told once (beside it, where the directory takes no file: why the settings were not saved).
    EXPECT_EQ(run.err.find("cannot open", run.err.find("cannot open") + 1), std::string::npos)
        << run.err;
    EXPECT_THAT(run.out, HasSubstr("> open\n" + kOpenFailedLine + "\n> exit"));
  }

  // The listing shows who holds the line, and which port leads there; a program that has a
  // device open without its lock leaves it free; of a device that is not there it says so, and
  // nothing of its use.
  PseudoTerminal free_line;
  Program opener("/bin/sh", {"-c", "exec 3<>'" + free_line.path() + "'; echo held; cat"});
  ASSERT_TRUE(opener.WaitFor([](const std::string& l) { return l == "held"; }));
  const Outcome list =
      Shell(dir, "env WSMON_COM4=" + line.path() + " " + kWsmon +
                     " --list-ports --com 5=" + dir.File("gone") + " --com 6=" + free_line.path());
  EXPECT_EQ(list.status, 0);
  EXPECT_THAT(list.out,
              HasSubstr(line.path() + " = COM4\n  open:    yes\n  in use:  yes, by wsmon (pid "));
  EXPECT_THAT(list.out,
              HasSubstr(free_line.path() +
                        " = COM6\n  open:    yes\n  in use:  no (open without a lock in "));
  EXPECT_THAT(list.out,
              HasSubstr(dir.File("gone") + " = COM5\n  open:    no, there is no such device\n" +
                        free_line.path()));
  EXPECT_EQ(holder.Finish(), 0);
}

}  // namespace
