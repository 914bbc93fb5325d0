#include "support.h"

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/posix/serial_device_list.h"

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms, int every_ms) {
  for (const double end = NowMs() + timeout_ms; !done();) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(every_ms));
  }
  return true;
}

namespace {

// Waits for fd to become readable until the deadline; false when time is up.
bool Readable(int fd, double deadline) {
  for (;;) {
    const double left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left) + 1);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace

int OpenDescriptorCount() {
  return static_cast<int>(DirectoryEntries("/proc/self/fd").size()) - 1;  // the listing's own
}

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128] = {};
  termios raw{};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0 || tcgetattr(master_, &raw) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return;
  }
  cfmakeraw(&raw);
  tcsetattr(master_, TCSANOW, &raw);
  path_ = name;
}

void PseudoTerminal::Send(const Bytes& bytes) {
  ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes PseudoTerminal::Receive(int timeout_ms, std::size_t at_least) {
  Bytes got;
  const double end = NowMs() + timeout_ms;
  while (got.size() < at_least && Readable(master_, end)) {
    std::uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) break;  // nobody has the device open
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

void PseudoTerminal::Hangup() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

Program::Program(const std::string& program, const std::vector<std::string>& args,
                 const std::string& cwd, const Surroundings& around) {
  signal(SIGPIPE, SIG_IGN);  // a program that ended early must not end the test
  int in[2] = {-1, -1};
  const int out = open(output_.File("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  const int err = around.keep_errors
                      ? open(output_.File("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)
                      : 2;
  if (out < 0 || err < 0 || pipe2(in, O_CLOEXEC) != 0) return;
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // Made before the fork, so that the child allocates nothing; the variables of the test's come
  // first, which getenv finds before any of the same name.
  std::vector<char*> envp;
  for (const std::string& variable : around.environment) {
    envp.push_back(const_cast<char*>(variable.c_str()));
  }
  for (char** variable = environ; *variable != nullptr; ++variable) envp.push_back(*variable);
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    if (!around.terminal.empty()) {
      setsid();
      close(open(around.terminal.c_str(), O_RDWR));  // the first terminal a leader opens
    }
    const bool placed = dup2(in[0], 0) == 0 && dup2(out, 1) == 1 && dup2(err, 2) == 2 &&
                        chdir(cwd.c_str()) == 0 &&
                        (!around.as_nobody ||
                         (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0));
    for (const int fd : around.closed) close(fd);
    alarm(60);  // kept across exec
    if (placed) execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out);
  if (err != 2) close(err);
  input_ = fdopen(in[1], "w");
}

void Program::Write(const std::string& text) {
  if (input_ == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), input_);
  std::fflush(input_);
}

void Program::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

bool Program::WaitFor(const std::function<bool(const std::string&)>& match, int timeout_ms) {
  const double end = NowMs() + timeout_ms;
  for (std::size_t seen = 0;; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    for (const Lines& all = lines(); seen < all.size(); ++seen) {
      if (match(all[seen])) return true;
    }
    if (NowMs() >= end) return false;
  }
}

int Program::Finish() {
  if (input_ == nullptr) return status_;
  std::fclose(input_);
  input_ = nullptr;
  int status = -1;
  while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return status_;
}

const Lines& Program::lines() {
  // Whole lines only while the program runs: the last one may still be half written.
  std::istringstream text(ReadWholeFile(output_.File("out")));
  lines_.clear();
  for (std::string line; std::getline(text, line);) {
    if (input_ == nullptr || !text.eof()) lines_.push_back(line);
  }
  return lines_;
}

Lines Program::error_lines() const {
  std::istringstream text(ReadWholeFile(output_.File("err")));
  Lines lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

ScratchDirectory::ScratchDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp");
  pattern += "/wsmon-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  // Depth first, links as links, so that nothing outside the directory is touched.
  nftw(
      path_.c_str(),
      [](const char* path, const struct stat*, int, FTW*) {
        (void)remove(path);
        return 0;
      },
      16, FTW_DEPTH | FTW_PHYS);
}

bool ScratchDirectory::Lay(const std::vector<std::pair<std::string, std::string>>& tree) const {
  for (const auto& [path, what] : tree) {
    const std::string full = File(path);
    for (std::size_t slash = path_.size() + 1; (slash = full.find('/', slash)) != std::string::npos;
         ++slash) {
      (void)mkdir(full.substr(0, slash).c_str(), 0755);
    }
    const bool laid = what[0] == '@'
                          ? symlink(what.c_str() + 1, full.c_str()) == 0
                          : static_cast<bool>(std::ofstream(full) << what.substr(1) << "\n");
    if (!laid) {
      ADD_FAILURE() << "cannot lay out " << full;
      return false;
    }
  }
  return true;
}

std::vector<std::string> ScratchDirectory::Names() const {
  return DirectoryEntries(path_);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

Relay::Relay(const std::string& a, const std::string& b)
    : socat_("/usr/bin/socat", {"pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b}),
      names_{a, b} {
  EXPECT_TRUE(
      WaitUntil([&] { return access(a.c_str(), F_OK) == 0 && access(b.c_str(), F_OK) == 0; }));
}

Relay::~Relay() {
  // The names go first, as a device's by-id name goes when it is unplugged: another test may
  // get the number of a pseudo-terminal the moment it is freed.
  for (const std::string& name : names_) EXPECT_EQ(unlink(name.c_str()), 0);
  socat_.Signal(SIGTERM);
  socat_.Finish();
}

long RunFiles(const std::string& dir, const std::string& extension) {
  long n = 0;
  for (const std::string& name : DirectoryEntries(dir)) {
    n += name.rfind("RUVEZ_", 0) == 0 && name.size() > extension.size() &&
         name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
  }
  return n;
}
