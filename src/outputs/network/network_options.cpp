#include "outputs/network/network_options.h"

#include <cstdint>

#include "cli/decimal.h"
#include "display/utf8.h"
#include "outputs/network/network_host.h"

namespace {

constexpr std::size_t kMaxTokenBytes = 4096;

bool ParsePort(const std::string& text, int min, int* port) {
  std::int64_t value = 0;
  if (!ParseWholeNumber(text, min, 65535, &value)) return false;
  *port = static_cast<int>(value);
  return true;
}

// Splits "[v6]:port", "[v6]", "host:port" or "host"; false for a bracket that does not close or
// a host with more than one colon outside brackets (an IPv6 address must be bracketed, so that
// its last group is never taken for a port).
bool SplitHostPort(const std::string& text, std::string* host, std::string* port, bool* bracketed) {
  *bracketed = !text.empty() && text[0] == '[';
  if (*bracketed) {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return false;
    *host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (rest.empty()) return true;
    if (rest[0] != ':') return false;
    *port = rest.substr(1);
    return !port->empty();
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) {
    *host = text;
    return true;
  }
  if (text.find(':', colon + 1) != std::string::npos) return false;
  *host = text.substr(0, colon);
  *port = text.substr(colon + 1);
  return !port->empty();
}

}  // namespace

bool ParseHttpEndpoint(const std::string& text, HttpEndpoint* out, std::string* error) {
  const std::string expected =
      "is not PORT, ADDRESS:PORT or [IPv6]:PORT (a port from 0 to 65535, 0 for any free one; "
      "an IPv4 address, localhost or a bracketed IPv6 address)";
  HttpEndpoint e;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    if (!ParsePort(text, 0, &e.port)) {
      *error = "\"" + text + "\" " + expected;
      return false;
    }
    *out = e;
    return true;
  }
  std::string host;
  std::string port;
  bool bracketed = false;
  if (!SplitHostPort(text, &host, &port, &bracketed) || port.empty() ||
      !ParsePort(port, 0, &e.port)) {
    *error = "\"" + text + "\" " + expected;
    return false;
  }
  if (!bracketed && host == "localhost") host = "127.0.0.1";
  if (NumericAddress(host, bracketed, &e.loopback)) {
    e.ipv6 = bracketed;
  } else {
    *error = "\"" + text + "\" " + expected;
    return false;
  }
  e.address = host;
  *out = e;
  return true;
}

std::string EndpointUrl(const std::string& address, bool ipv6, int port) {
  return "http://" + (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

bool ParseMqttEndpoint(const std::string& text, MqttEndpoint* out, std::string* error) {
  std::string host;
  std::string port;
  bool bracketed = false;
  MqttEndpoint e;
  const bool split = SplitHostPort(text, &host, &port, &bracketed);
  bool loopback = false;
  const bool host_fits = !host.empty() && host.find_first_of(" \t/") == std::string::npos &&
                         (!bracketed || NumericAddress(host, true, &loopback));
  if (!split || !host_fits || (!port.empty() && !ParsePort(port, 1, &e.port))) {
    *error = "\"" + text +
             "\" is not HOST, HOST:PORT or [IPv6]:PORT (a port from 1 to 65535, 1883 when left "
             "out)";
    return false;
  }
  e.host = host;
  *out = e;
  return true;
}

namespace {

// Well-formed UTF-8 without NUL.
bool IsUtf8Text(const std::string& text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeUtf8(bytes + at, text.size() - at, &code_point);
    if (length == 0 || code_point == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace

bool CheckTopicPrefix(const std::string& prefix, std::string* error) {
  const char* why = nullptr;
  if (prefix.empty()) {
    why = "is empty";
  } else if (prefix.find_first_of("+#") != std::string::npos) {
    why = "holds a wildcard (+ or #)";
  } else if (prefix.front() == '/' || prefix.back() == '/' ||
             prefix.find("//") != std::string::npos) {
    why = "has an empty level (a / at either end, or //)";
  } else if (!IsUtf8Text(prefix)) {
    why = "is not UTF-8 text";
  } else if (prefix.size() > 1024) {
    why = "is longer than 1024 bytes";
  }
  if (why == nullptr) return true;
  *error = "the topic prefix \"" + prefix + "\" " + why;
  return false;
}

std::string DefaultTopicPrefix() {
  std::string level = HostName();
  for (char& c : level) {
    if (c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  return "wsmon/" + level;
}

bool ReadTokenFile(const std::string& path, std::string* token, std::string* error) {
  const std::string head = "--http-token " + path + ": ";
  std::string text;
  std::string reason;
  const char* why = nullptr;
  if (!ReadPrivateFile(path, kMaxTokenBytes, &text, &reason)) {
    *error = head + reason;
    return false;
  }
  text = text.substr(0, text.find('\n'));
  const std::size_t first = text.find_first_not_of(" \t\r");
  const std::size_t last = text.find_last_not_of(" \t\r");
  text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
  bool printable = true;
  for (char c : text) printable = printable && c > 0x20 && c < 0x7F;
  if (text.empty()) {
    why = "its first line holds no token";
  } else if (!printable || text.size() > kMaxTokenBytes) {
    why = "the token must be printable ASCII without blanks, at most 4096 bytes";
  }
  if (why != nullptr) {
    *error = head + why;
    return false;
  }
  *token = text;
  return true;
}
