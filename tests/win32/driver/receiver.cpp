#include "receiver.h"

#include <cstdio>

Receiver::~Receiver() {
  if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
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

std::vector<std::uint8_t> Frame(std::uint8_t sensor_id, std::uint8_t extra, std::uint16_t temp,
                                std::uint16_t humidity, bool bad_check) {
  std::vector<std::uint8_t> f = {0xCC,
                                 sensor_id,
                                 extra,
                                 static_cast<std::uint8_t>(temp & 0xFF),
                                 static_cast<std::uint8_t>(temp >> 8),
                                 static_cast<std::uint8_t>(humidity & 0xFF),
                                 static_cast<std::uint8_t>(humidity >> 8),
                                 0,
                                 0xDD};
  unsigned sum = 0;
  for (int i = 1; i <= 6; ++i) sum += f[static_cast<std::size_t>(i)];
  f[7] = static_cast<std::uint8_t>((256 - sum % 256) % 256 + (bad_check ? 1 : 0));
  return f;
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
