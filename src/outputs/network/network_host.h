// What the network outputs ask of the machine: its name, the process, numeric addresses and a
// file that holds a secret, and the sockets' words. This is their one piece of platform code
// (posix/, win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// This machine's host name; "localhost" when it has none.
std::string HostName();
// This process's id.
long ProcessId();
// Whether text is a numeric address (IPv4 dotted, or IPv6 without brackets when ipv6), and
// whether it is a loopback one.
bool NumericAddress(const std::string& text, bool ipv6, bool* loopback);
// The rule such a file must keep, for the help text: "FILE must be ...".
extern const char kPrivateFileRule[];
// Up to max_bytes + 1 bytes of a file that is meant to hold a secret: false, with the reason
// for the user in *why, when it cannot be read, is no regular file, or others than its owner
// may read or write it.
bool ReadPrivateFile(const std::string& path, std::size_t max_bytes, std::string* text,
                     std::string* why);

// Sets a listening socket's options so that a second program cannot listen on its port too.
void RefuseSharedPort(std::uintptr_t socket);
// The system's last socket error (errno, or Winsock's own), cleared before a call and read after
// it; and the words for such a number, or for an errno of the network libraries.
void ClearSocketError();
int LastSocketError();
std::string SocketErrorText(int error);
