#include "outputs/network/http_auth.h"

#include <cctype>
#include <cstdint>

namespace {

// The credentials after a scheme ("Bearer", "Basic"), named in any case, with blanks between.
bool After(const std::string& header, const char* scheme, std::string* rest) {
  std::size_t i = 0;
  for (; scheme[i] != '\0'; ++i) {
    if (i >= header.size() || std::tolower(static_cast<unsigned char>(header[i])) !=
                                  std::tolower(static_cast<unsigned char>(scheme[i]))) {
      return false;
    }
  }
  if (i >= header.size() || header[i] != ' ') return false;
  const std::size_t start = header.find_first_not_of(' ', i);
  if (start == std::string::npos) return false;
  const std::size_t end = header.find_last_not_of(' ');
  *rest = header.substr(start, end - start + 1);
  return true;
}

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool SameSecret(const std::string& a, const std::string& b) {
  unsigned difference = a.size() == b.size() ? 0u : 1u;
  for (std::size_t i = 0; i < b.size(); ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    difference |= x ^ static_cast<unsigned char>(b[i]);
  }
  return difference == 0;
}

bool DecodeBase64(const std::string& text, std::string* bytes) {
  std::string body = text;
  while (!body.empty() && body.back() == '=') body.pop_back();
  if (text.size() - body.size() > 2 || body.size() % 4 == 1) return false;
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : body) {
    const int sextet = Sextet(c);
    if (sextet < 0) return false;
    bits = (bits << 6) | static_cast<std::uint32_t>(sextet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  *bytes = out;
  return true;
}

bool Authorized(const std::string& header, const std::string& token) {
  std::string credentials;
  if (After(header, "Bearer", &credentials)) return SameSecret(credentials, token);
  std::string decoded;
  if (!After(header, "Basic", &credentials) || !DecodeBase64(credentials, &decoded)) return false;
  const std::size_t colon = decoded.find(':');
  return colon != std::string::npos && SameSecret(decoded.substr(colon + 1), token);
}
