// Converting the monitor's UTF-8 texts to code page 936, the encoding of the export file.
#pragma once

#include <cstddef>
#include <cstdint>

// The code page 936 bytes of a code point: 1 for ASCII (the byte itself), 2 for a character of
// the monitor's own texts, 0 for any other character.
int Cp936Encode(std::uint32_t code_point, std::uint8_t out[2]);

// Converts len bytes of UTF-8 at src into dst (at most cap bytes; no terminating zero). ASCII is
// copied unchanged; a character without a code page 936 form, and each byte of a broken UTF-8
// sequence, becomes '?'. A character that would not fit whole is left out, together with all
// that follows. Returns the number of bytes stored.
std::size_t Utf8ToCp936(const char* src, std::size_t len, std::uint8_t* dst, std::size_t cap);
