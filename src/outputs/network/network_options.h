// What the command line says of the network outputs: where the HTTP server listens and whether
// it asks for a token, which MQTT broker to publish to and under which topic prefix.
#pragma once

#include <string>

// Where the HTTP server listens. Only a port: the loopback address 127.0.0.1; any other address
// must be named ("0.0.0.0:9100", "[::]:9100").
struct HttpEndpoint {
  std::string address = "127.0.0.1";  // numeric, without brackets
  int port = 0;                       // 0: any free port, which the server tells once bound
  bool ipv6 = false;
  bool loopback = true;
};

// "9100", "ADDR:9100" (ADDR an IPv4 address or localhost), "[IPv6]:9100".
bool ParseHttpEndpoint(const std::string& text, HttpEndpoint* out, std::string* error);
// "http://127.0.0.1:9100", "http://[::1]:9100"
std::string EndpointUrl(const std::string& address, bool ipv6, int port);

struct MqttEndpoint {
  std::string host;  // a name or a numeric address, without brackets
  int port = 1883;
};

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT".
bool ParseMqttEndpoint(const std::string& text, MqttEndpoint* out, std::string* error);

// A topic prefix is one or more levels: no wildcard (+ #), no empty level, no NUL, UTF-8.
bool CheckTopicPrefix(const std::string& prefix, std::string* error);
// "wsmon/" and this machine's host name, with characters a topic level may not hold replaced.
std::string DefaultTopicPrefix();

// The token of --http-token: the file's first line without its line end and surrounding
// blanks. The file must be a regular file that no one but its owner may read or write (the token
// is a secret), and the token must be printable ASCII without blanks, at most 4096 bytes.
bool ReadTokenFile(const std::string& path, std::string* token, std::string* error);

struct NetworkOptions {
  bool http = false;
  HttpEndpoint http_endpoint;
  std::string http_token_file;
  std::string http_token;  // read from http_token_file; empty: no token asked for
  bool mqtt = false;
  MqttEndpoint mqtt_endpoint;
  std::string mqtt_topic;  // empty: DefaultTopicPrefix()
  bool mqtt_discovery = false;
};
