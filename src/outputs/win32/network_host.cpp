#include "outputs/network/network_host.h"

// Winsock 2 before windows.h, which would bring the first version.
#include <winsock2.h>

#include <aclapi.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "outputs/win32/access_list.h"
#include "outputs/win32/system_error.h"
#include "platform/win32/wide_text.h"

namespace {

// Winsock once for the process (the numeric address functions want it); the libraries of the
// network outputs start it again for themselves, which only counts up.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

}  // namespace

std::string SystemErrorText(unsigned long error) {
  wchar_t* words = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<wchar_t*>(&words), 0, nullptr);
  std::string text;
  if (length > 0 && words != nullptr) text = Utf8String(words);
  if (words != nullptr) LocalFree(words);
  while (!text.empty() && std::strchr("\r\n. ", text.back()) != nullptr) text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
}

std::string HostName() {
  wchar_t name[256];
  DWORD size = sizeof name / sizeof name[0];
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) return "localhost";
  const std::string text = Utf8String(name);
  return text.empty() ? "localhost" : text;
}

long ProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

bool NumericAddress(const std::string& text, bool ipv6, bool* loopback) {
  StartWinsock();
  if (ipv6) {
    IN6_ADDR v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
    static const IN6_ADDR kLoopback = IN6ADDR_LOOPBACK_INIT;
    *loopback = std::memcmp(&v6, &kLoopback, sizeof v6) == 0;
    return true;
  }
  IN_ADDR v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) != 1) return false;
  *loopback = (ntohl(v4.s_addr) >> 24) == 127;
  return true;
}

const char kPrivateFileRule[] =
    "FILE must not be readable by Everyone, Users or Authenticated Users (a file in\n"
    "                   the user's own profile folder is not)";

bool ReadPrivateFile(const std::string& path, std::size_t max_bytes, std::string* text,
                     std::string* why) {
  const WideText name(path.c_str());
  const HANDLE file = name.valid()
                          ? CreateFileW(name.get(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) {
    *why = SystemErrorText(GetLastError());
    return false;
  }
  why->clear();
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *why = "not a regular file";
  } else if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    *why = "its permissions cannot be read, so the token may be no secret";
  } else if (GroupsMayUse(acl)) {
    *why =
        "groups of users may read or write it (Everyone, Users or Authenticated Users), so the "
        "token is no secret: keep it in your own profile folder, or remove those groups in the "
        "file's Properties, Security";
  } else {
    std::vector<char> buffer(max_bytes + 2);
    DWORD n = 0;
    BOOL ok = TRUE;
    while (text->size() <= max_bytes &&
           (ok = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) &&
           n > 0) {
      text->append(buffer.data(), n);
    }
    if (!ok) *why = SystemErrorText(GetLastError());
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  CloseHandle(file);
  return why->empty();
}

void RefuseSharedPort(std::uintptr_t socket) {
  // Windows lets a second program bind a port that was bound with SO_REUSEADDR; this option
  // keeps it out instead.
  BOOL yes = TRUE;
  ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
}

void ClearSocketError() {
  WSASetLastError(0);
}

int LastSocketError() {
  return WSAGetLastError();
}

std::string SocketErrorText(int error) {
  // Winsock's codes start at 10000, above the C library's numbers, which the libraries also use.
  return error >= WSABASEERR ? SystemErrorText(static_cast<DWORD>(error)) : std::strerror(error);
}

// The rights that let a holder read or change the file's data.
constexpr DWORD kDataRights = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_READ |
                              GENERIC_WRITE | GENERIC_ALL;

bool GroupsMayUse(const ACL* acl) {
  if (acl == nullptr) return true;
  static const WELL_KNOWN_SID_TYPE kGroups[] = {WinWorldSid, WinAuthenticatedUserSid,
                                                WinBuiltinUsersSid, WinBuiltinGuestsSid,
                                                WinAnonymousSid};
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(acl), i, &entry)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0)
      continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kDataRights) == 0) continue;
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    for (WELL_KNOWN_SID_TYPE group : kGroups) {
      BYTE buffer[SECURITY_MAX_SID_SIZE];
      DWORD size = sizeof buffer;
      if (CreateWellKnownSid(group, nullptr, buffer, &size) && EqualSid(sid, buffer)) return true;
    }
  }
  return false;
}
