#include "outputs/network/socket_io.h"

// Winsock 2 before windows.h, which would bring the first version.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <climits>

namespace {

SOCKET Native(SocketHandle socket) {
  return static_cast<SOCKET>(socket);
}

bool Poll(SocketHandle socket, short events, int timeout_ms) {
  WSAPOLLFD p{Native(socket), events, 0};
  return WSAPoll(&p, 1, timeout_ms) > 0;
}

int Length(std::size_t size) {
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// Whether the socket holds bytes to read, without taking them or waiting.
bool Waiting(SOCKET socket) {
  u_long count = 0;
  return ioctlsocket(socket, FIONREAD, &count) == 0 && count > 0;
}

}  // namespace

long PeekSocket(SocketHandle socket, char* buffer, std::size_t size) {
  // A peek on a blocking socket would wait: ask first what is there.
  WSAPOLLFD p{Native(socket), POLLRDNORM, 0};
  if (WSAPoll(&p, 1, 0) <= 0) return -1;
  if ((p.revents & (POLLERR | POLLNVAL)) != 0) return -2;
  const int n = recv(Native(socket), buffer, Length(size), MSG_PEEK);
  if (n >= 0) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? -1 : -2;
}

long ReadSocket(SocketHandle socket, char* buffer, std::size_t size, int timeout_ms) {
  if (!Poll(socket, POLLRDNORM, timeout_ms)) return -1;
  const int n = recv(Native(socket), buffer, Length(size), 0);
  return n < 0 ? -1 : n;
}

long WriteSocket(SocketHandle socket, const char* buffer, std::size_t size, int timeout_ms) {
  if (!Poll(socket, POLLWRNORM, timeout_ms)) return -1;
  const int n = send(Native(socket), buffer, Length(size), 0);
  return n < 0 ? -1 : n;
}

bool SocketReady(SocketHandle socket, bool write, int timeout_ms) {
  return Poll(socket, write ? POLLWRNORM : POLLRDNORM, timeout_ms);
}

void SocketAddress(SocketHandle socket, bool peer, std::string* ip, int* port) {
  sockaddr_storage address{};
  int length = sizeof address;
  auto* a = reinterpret_cast<sockaddr*>(&address);
  ip->clear();
  *port = 0;
  if ((peer ? getpeername(Native(socket), a, &length) : getsockname(Native(socket), a, &length)) !=
      0) {
    return;
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    *port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    *port = ntohs(v6->sin6_port);
  }
  *ip = text;
}

void CloseSocket(SocketHandle socket) {
  shutdown(Native(socket), SD_SEND);
  // Closing with unread bytes would reset the connection, which may discard the response
  // before the peer reads it (a request body never read, say); take what is there first.
  char sink[4096];
  for (int i = 0; i < 16 && Waiting(Native(socket)); ++i) {
    if (recv(Native(socket), sink, sizeof sink, 0) <= 0) break;
  }
  closesocket(Native(socket));
}

// Winsock has no pipe to wait on beside sockets: the wake-up is a datagram a socket of loopback
// sends to itself.
SocketWaiter::SocketWaiter() {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof self;
  u_long nonblocking = 1;
  if (bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
      connect(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      ioctlsocket(s, FIONBIO, &nonblocking) != 0) {
    closesocket(s);
    return;
  }
  wake_read_ = s;
  wake_write_ = s;
}

SocketWaiter::~SocketWaiter() {
  if (wake_read_ != kNone) closesocket(Native(wake_read_));
}

bool SocketWaiter::Wait(const std::vector<SocketHandle>& sockets, int timeout_ms,
                        std::vector<bool>* ready) {
  std::vector<WSAPOLLFD> fds;
  fds.reserve(sockets.size() + 1);
  const bool wakeable = wake_read_ != kNone;
  if (wakeable) fds.push_back({Native(wake_read_), POLLRDNORM, 0});
  for (SocketHandle s : sockets) fds.push_back({Native(s), POLLRDNORM, 0});
  ready->assign(sockets.size(), false);
  // Without the wake-up socket, a short wait stands in for it.
  if (!wakeable) timeout_ms = timeout_ms < 0 || timeout_ms > 50 ? 50 : timeout_ms;
  if (fds.empty()) {
    Sleep(static_cast<DWORD>(timeout_ms));
    return true;
  }
  if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeout_ms) < 0) return false;
  const std::size_t first = wakeable ? 1 : 0;
  if (wakeable && fds[0].revents != 0) {
    char drain[64];
    while (recv(Native(wake_read_), drain, sizeof drain, 0) > 0) {
    }
  }
  for (std::size_t i = 0; i < sockets.size(); ++i) (*ready)[i] = fds[i + first].revents != 0;
  return true;
}

void SocketWaiter::Wake() {
  if (wake_write_ == kNone) return;
  const char wake = 1;
  send(Native(wake_write_), &wake, 1, 0);
}
