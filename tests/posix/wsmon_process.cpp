#include "wsmon_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

double NowMsec() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& cwd) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  signal(SIGPIPE, SIG_IGN);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  in_fd_ = in[1];
  out_fd_ = out[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Finish(0);
  if (in_fd_ >= 0) close(in_fd_);
  if (out_fd_ >= 0) close(out_fd_);
}

void ChildProcess::Write(const std::string& text) {
  std::size_t done = 0;
  while (in_fd_ >= 0 && done < text.size()) {
    const ssize_t n = write(in_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

void ChildProcess::CloseInput() {
  if (in_fd_ >= 0) close(in_fd_);
  in_fd_ = -1;
}

bool ChildProcess::ReadLine(std::string* line, int timeout_ms) {
  const double end = NowMsec() + timeout_ms;
  while (pending_.find('\n') == std::string::npos) {
    if (out_fd_ < 0) return false;
    const double left = end - NowMsec();
    if (left <= 0) return false;
    pollfd p{out_fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[4096];
    const ssize_t n = read(out_fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(out_fd_);
      out_fd_ = -1;
      if (pending_.empty()) return false;
      pending_ += '\n';  // a last line without its newline
      break;
    }
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
  const std::size_t newline = pending_.find('\n');
  *line = pending_.substr(0, newline);
  pending_.erase(0, newline + 1);
  lines_.push_back(*line);
  return true;
}

bool ChildProcess::ReadUntil(const std::function<bool(const std::string&)>& match, int timeout_ms,
                             std::string* line) {
  const double end = NowMsec() + timeout_ms;
  std::string got;
  while (true) {
    const double left = end - NowMsec();
    if (left <= 0 || !ReadLine(&got, static_cast<int>(left) + 1)) return false;
    if (match(got)) {
      if (line != nullptr) *line = got;
      return true;
    }
  }
}

int ChildProcess::Finish(int timeout_ms) {
  if (pid_ <= 0) return -1;
  CloseInput();
  const double end = NowMsec() + timeout_ms;
  std::string ignored;
  while (NowMsec() < end && ReadLine(&ignored, static_cast<int>(end - NowMsec()) + 1)) {
  }
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && NowMsec() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string WsmonPath() {
  return WSMON_PATH;
}
std::string SimPath() {
  return WSMON_SIM_PATH;
}

std::vector<std::string> RunHeadless(const std::vector<std::string>& args, const std::string& input,
                                     const std::string& cwd, int* status) {
  std::vector<std::string> all = {"--headless"};
  all.insert(all.end(), args.begin(), args.end());
  ChildProcess wsmon(WsmonPath(), all, cwd);
  wsmon.Write(input);
  *status = wsmon.Finish(30000);
  return wsmon.lines();
}

ScratchDirectory::ScratchDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/wsmon-test-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
}

ScratchDirectory::~ScratchDirectory() {
  for (const std::string& name : Names()) unlink(File(name).c_str());
  rmdir(path_.c_str());
}

std::vector<std::string> ScratchDirectory::Names() const {
  std::vector<std::string> names;
  DIR* dir = opendir(path_.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}
