// Names for new files that must never replace one: "<stem><extension>" first, then
// "<stem>_2<extension>", "<stem>_3<extension>" ... up to "<stem>_999<extension>".
#pragma once

#include <cstddef>

constexpr int kMaxNameNumber = 999;

// What one try at a name came to.
enum class NameClaim {
  kClaimed,  // the name is the new file's now
  kTaken,    // something exists under it: the next name may do
  kFailed,   // anything else: no other name will do better
};

// Tries to make the new file under a name.
class NameClaimer {
 public:
  virtual ~NameClaimer() = default;
  virtual NameClaim Claim(const char* name) = 0;
};

// Offers the names in turn until one is claimed (true) or a try fails otherwise, or the last is
// taken (false). name (cap bytes) holds the last name offered; a name that would not fit is never
// offered.
bool ClaimFreeName(const char* stem, const char* extension, NameClaimer& claimer, char* name,
                   std::size_t cap);
