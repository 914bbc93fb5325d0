#include "receiver.h"

#include <cstdio>

Receiver::~Receiver() {
  Close();
}

void Receiver::Close() {
  if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
}

bool Receiver::Open(const std::wstring& port_name) {
  const std::wstring device = L"\\\\.\\" + port_name;
  port_ = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                      nullptr);
  if (port_ == INVALID_HANDLE_VALUE) return false;
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port_, &dcb);
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = 1;
  SetCommState(port_, &dcb);
  // Reads return at once with whatever is there.
  COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 0, 0};
  SetCommTimeouts(port_, &timeouts);
  PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return true;
}

bool Receiver::Send(const std::vector<std::uint8_t>& bytes) {
  DWORD written = 0;
  return WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::vector<std::uint8_t> Receiver::Collect(std::size_t want, DWORD timeout_ms) {
  std::vector<std::uint8_t> got;
  const DWORD start = GetTickCount();
  while (got.size() < want && GetTickCount() - start < timeout_ms) {
    std::uint8_t buf[64];
    DWORD n = 0;
    if (ReadFile(port_, buf, sizeof buf, &n, nullptr) && n > 0) {
      got.insert(got.end(), buf, buf + n);
    } else {
      Sleep(10);
    }
  }
  return got;
}

std::string Dump(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (std::uint8_t b : bytes) {
    char piece[4];
    std::snprintf(piece, sizeof piece, "%02X-", b);
    out += piece;
  }
  return out;
}
