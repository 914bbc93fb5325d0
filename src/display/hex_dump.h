// Bytes written as hex for people to read: two upper-case digits a byte, with a separator after
// every byte ("CC-05-3A-", as the error log shows them) or only between them ("CC 05 3A").
#pragma once

#include <cstddef>
#include <cstdint>

enum class HexSeparator { kAfterEach, kBetween };

// Writes count bytes into out, cap bytes at most including the terminating zero (cap at least 1);
// what does not fit is cut at a whole byte. Returns the length written.
std::size_t FormatHexDump(const std::uint8_t* bytes, int count, char separator,
                          HexSeparator placement, char* out, std::size_t cap);
