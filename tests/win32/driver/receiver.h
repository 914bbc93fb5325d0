// The driver's end of the serial line: it plays the radio receiver on the port that is wired
// to the monitor's port (two pseudo-terminals joined by a relay).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Receiver {
 public:
  Receiver() = default;
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  ~Receiver();

  bool Open(const std::wstring& port_name);
  void Close();
  // Sends bytes as they are.
  bool Send(const std::vector<std::uint8_t>& bytes);
  // Collects what the monitor sends until want bytes came or timeout_ms passed.
  std::vector<std::uint8_t> Collect(std::size_t want, DWORD timeout_ms);

 private:
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

// Bytes as "CC-05-...-DD-", the way the error log dumps them.
std::string Dump(const std::vector<std::uint8_t>& bytes);
