// Free names for new files: the plain name first, then _2 to _999, a failure that is no taken
// name ending the search at once.
#include "settings/free_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct Directory : NameClaimer {
  NameClaim Claim(const char* name) override {
    offered.push_back(name);
    if (name == refusing) return NameClaim::kFailed;
    return taken.insert(name).second ? NameClaim::kClaimed : NameClaim::kTaken;
  }
  std::set<std::string> taken;
  std::string refusing;
  std::vector<std::string> offered;
};

TEST(FreeName, ThePlainNameThenTheFirstFreeNumberUpTo999) {
  Directory dir;
  char name[16];
  dir.taken = {"a.txt", "a_2.txt"};
  EXPECT_TRUE(ClaimFreeName("a", ".txt", dir, name, sizeof name));
  EXPECT_EQ(dir.offered, (std::vector<std::string>{"a.txt", "a_2.txt", "a_3.txt"}));
  for (int k = 4; k <= 999; ++k) dir.taken.insert("a_" + std::to_string(k) + ".txt");
  EXPECT_FALSE(ClaimFreeName("a", ".txt", dir, name, sizeof name));
  EXPECT_STREQ(name, "a_999.txt");  // the last one offered
  dir.offered.clear();
  dir.refusing = "b_2.txt";
  dir.taken.insert("b.txt");
  EXPECT_FALSE(ClaimFreeName("b", ".txt", dir, name, sizeof name));
  EXPECT_EQ(dir.offered.size(), 2u);
  dir.offered.clear();
  EXPECT_FALSE(ClaimFreeName("a", ".txt", dir, name, 8));  // "a_10.txt" would not fit
  EXPECT_EQ(dir.offered.size(), 9u);
}

}  // namespace
