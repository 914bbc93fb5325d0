// The token check of the HTTP server (--http-token). A client shows the token as
// "Authorization: Bearer TOKEN" (Prometheus, scripts), or, so that a browser can open the live
// page, as the password of HTTP basic authentication with any user name.
#pragma once

#include <string>

// Whether the Authorization header's value carries the token. The comparison takes the same
// time wherever the first wrong byte is.
bool Authorized(const std::string& header, const std::string& token);

// a == b, in a time that depends on the lengths alone.
bool SameSecret(const std::string& a, const std::string& b);

// The bytes of standard base64 (with or without padding); false for anything else.
bool DecodeBase64(const std::string& text, std::string* bytes);
