#include "settings/free_name.h"

#include <cstdio>

bool ClaimFreeName(const char* stem, const char* extension, NameClaimer& claimer, char* name,
                   std::size_t cap) {
  for (int k = 1; k <= kMaxNameNumber; ++k) {
    const int length = k == 1 ? std::snprintf(name, cap, "%s%s", stem, extension)
                              : std::snprintf(name, cap, "%s_%d%s", stem, k, extension);
    if (length < 0 || static_cast<std::size_t>(length) >= cap) return false;
    const NameClaim claim = claimer.Claim(name);
    if (claim != NameClaim::kTaken) return claim == NameClaim::kClaimed;
  }
  return false;
}
