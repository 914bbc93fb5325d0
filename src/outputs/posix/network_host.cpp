#include "outputs/network/network_host.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

long ProcessId() {
  return static_cast<long>(::getpid());
}

bool NumericAddress(const std::string& text, bool ipv6, bool* loopback) {
  if (ipv6) {
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
    *loopback = IN6_IS_ADDR_LOOPBACK(&v6);
    return true;
  }
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) != 1) return false;
  *loopback = (ntohl(v4.s_addr) >> 24) == 127;
  return true;
}

const char kPrivateFileRule[] = "FILE must be readable by its owner alone (chmod 600)";

bool ReadPrivateFile(const std::string& path, std::size_t max_bytes, std::string* text,
                     std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  why->clear();
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = "not a regular file";
  } else if ((st.st_mode & 077) != 0) {
    *why = "others than its owner may read or write it, so the token is no secret: chmod 600 it";
  } else {
    std::vector<char> buffer(max_bytes + 2);
    ssize_t n = 0;
    while (text->size() <= max_bytes && (n = ::read(fd, buffer.data(), buffer.size())) > 0) {
      text->append(buffer.data(), static_cast<std::size_t>(n));
    }
    if (n < 0) *why = std::strerror(errno);
  }
  ::close(fd);
  return why->empty();
}

void RefuseSharedPort(std::uintptr_t socket) {
  // Only SO_REUSEADDR, which lets the port be bound again at once after the program ended; the
  // library's own options would add SO_REUSEPORT, which lets a second program listen too.
  int yes = 1;
  ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void ClearSocketError() {
  errno = 0;
}

int LastSocketError() {
  return errno;
}

std::string SocketErrorText(int error) {
  return std::strerror(error);
}
