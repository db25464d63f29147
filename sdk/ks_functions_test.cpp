#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "sdk/ks_functions.h"

// Two rows with the same selector and index would silently shadow each other
// in the host's table; two with the same name would not compile in the
// binding but would in a table built by hand.
TEST(HostFunctionList, SelectorIndexPairsAndNamesAreUnique) {
  std::set<std::pair<int, int>> slots;
  std::set<std::string> names;
  int rows = 0;
#define CHECK_ROW(sel, idx, name, ret, params)                                    \
  ++rows;                                                                         \
  EXPECT_TRUE(slots.emplace(sel, idx).second) << #name << " reuses " << sel << "/" << idx; \
  EXPECT_TRUE(names.insert(#name).second) << #name << " is listed twice";
  KS_HOST_FUNCTIONS(CHECK_ROW)
#undef CHECK_ROW
  EXPECT_GT(rows, 0);
}
