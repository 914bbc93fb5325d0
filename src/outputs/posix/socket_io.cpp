#include "outputs/network/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool Poll(SocketHandle socket, short events, int timeout_ms) {
  pollfd p{socket, events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

}  // namespace

long PeekSocket(SocketHandle socket, char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::recv(socket, buffer, size, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
}

long ReadSocket(SocketHandle socket, char* buffer, std::size_t size, int timeout_ms) {
  if (!Poll(socket, POLLIN, timeout_ms)) return -1;
  ssize_t n;
  do {
    n = ::recv(socket, buffer, size, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<long>(n);
}

long WriteSocket(SocketHandle socket, const char* buffer, std::size_t size, int timeout_ms) {
  if (!Poll(socket, POLLOUT, timeout_ms)) return -1;
  ssize_t n;
  do {
    n = ::send(socket, buffer, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<long>(n);
}

bool SocketReady(SocketHandle socket, bool write, int timeout_ms) {
  return Poll(socket, write ? POLLOUT : POLLIN, timeout_ms);
}

void SocketAddress(SocketHandle socket, bool peer, std::string* ip, int* port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  auto* a = reinterpret_cast<sockaddr*>(&address);
  ip->clear();
  *port = 0;
  if ((peer ? ::getpeername(socket, a, &length) : ::getsockname(socket, a, &length)) != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    *port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    *port = ntohs(v6->sin6_port);
  }
  *ip = text;
}

void CloseSocket(SocketHandle socket) {
  ::shutdown(socket, SHUT_WR);
  // Closing with unread bytes would reset the connection, which may discard the response
  // before the peer reads it (a request body never read, say); take what is there first.
  char sink[4096];
  for (int i = 0; i < 16 && ::recv(socket, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
  }
  ::close(socket);
}

SocketWaiter::SocketWaiter() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wake_read_ = fds[0];
    wake_write_ = fds[1];
  }
}

SocketWaiter::~SocketWaiter() {
  if (wake_read_ != kNone) ::close(wake_read_);
  if (wake_write_ != kNone) ::close(wake_write_);
}

bool SocketWaiter::Wait(const std::vector<SocketHandle>& sockets, int timeout_ms,
                        std::vector<bool>* ready) {
  std::vector<pollfd> fds;
  fds.reserve(sockets.size() + 1);
  fds.push_back({wake_read_, POLLIN, 0});
  for (SocketHandle s : sockets) fds.push_back({s, POLLIN, 0});
  ready->assign(sockets.size(), false);
  const int rc = ::poll(fds.data(), fds.size(), timeout_ms);
  if (rc < 0) return errno == EINTR;
  char drain[64];
  if (fds[0].revents != 0) {
    while (::read(wake_read_, drain, sizeof drain) > 0) {
    }
  }
  for (std::size_t i = 0; i < sockets.size(); ++i) (*ready)[i] = fds[i + 1].revents != 0;
  return true;
}

void SocketWaiter::Wake() {
  const char wake = 1;
  // A full pipe already holds a wake-up.
  (void)!::write(wake_write_, &wake, 1);
}
