// Sensor frames as the receiver sends them: for the tests on every platform and for the driver
// of the Windows program, which has no test framework.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A frame whose check byte makes bytes 1 to 7 sum to 0 modulo 256.
inline Bytes MakeFrame(std::uint8_t id, std::uint8_t extra, std::uint16_t temp, std::uint16_t hum) {
  const auto low = [](unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); };
  const unsigned sum = id + extra + (temp & 0xFF) + (temp >> 8) + (hum & 0xFF) + (hum >> 8);
  return {0xCC,          id,  extra, low(temp), low(temp >> 8u), low(hum), low(hum >> 8u),
          low(0u - sum), 0xDD};
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
