// Reading the monitor's UTF-8 texts one character at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes the UTF-8 sequence at s (n bytes available). Returns its length and sets *code_point,
// or returns 0 where no well-formed sequence starts: a byte that begins none, a sequence cut
// short, an overlong form, a surrogate or a value beyond U+10FFFF.
std::size_t DecodeUtf8(const std::uint8_t* s, std::size_t n, std::uint32_t* code_point);

// The length a sequence that begins with lead has when it is well formed (1 to 4), or 0 for a
// byte that begins none (a continuation byte, C0, C1, F5 to FF).
std::size_t Utf8LeadLength(std::uint8_t lead);
