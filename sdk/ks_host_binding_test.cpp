#include <gtest/gtest.h>

#include "sdk/ks_host_binding.h"

namespace {

// Two hand-made host tables: each answers ObjectGetType with its own
// function and knows nothing else; they count how often they are asked.
int g_asked[2];

int32_t TypeFromFirst(KPD_Object) { return 11; }
int32_t TypeFromSecond(KPD_Object) { return 22; }

template <int N>
void* Entry(KS_CoreHFT, int32_t selector, int32_t index, KS_PluginID) {
  ++g_asked[N];
  if (selector != 61 || index != 0) return nullptr;
  return reinterpret_cast<void*>(N == 0 ? &TypeFromFirst : &TypeFromSecond);
}

KS_CoreHFTRec g_first = {sizeof(KS_CoreHFTRec), &Entry<0>};
KS_CoreHFTRec g_second = {sizeof(KS_CoreHFTRec), &Entry<1>};

TEST(HostBinding, FunctionsAreLookedUpOncePerBindAndRebindingSwitchesTables) {
  g_asked[0] = g_asked[1] = 0;
  ks::host::Bind(&g_first, nullptr);
  EXPECT_EQ(ks::host::ObjectGetType(nullptr), 11);
  EXPECT_EQ(ks::host::ObjectGetType(nullptr), 11);
  // A function the table lacks answers the empty value, also the second time.
  EXPECT_EQ(ks::host::ObjectGetNumber(nullptr), 0.0);
  EXPECT_EQ(ks::host::ObjectGetNumber(nullptr), 0.0);
  EXPECT_EQ(g_asked[0], 2);

  ks::host::Bind(&g_second, nullptr);
  EXPECT_EQ(ks::host::ObjectGetType(nullptr), 22);
  EXPECT_EQ(g_asked[1], 1);

  ks::host::Bind(nullptr, nullptr);
  EXPECT_EQ(ks::host::ObjectGetType(nullptr), 0);
}

}  // namespace
