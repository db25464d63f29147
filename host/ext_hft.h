// Extension function tables that plug-ins publish for one another.
#pragma once

#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kshost {

struct PublishedTable {
  std::string name;
  int version = 0;
  int entryCount = 0;
  const void* owner = nullptr;  // the plug-in whose callback published it
};

// The tables published so far, in publishing order.
std::vector<PublishedTable> PublishedTables();

// Tables created or published while `owner` is set belong to that plug-in and
// are withdrawn by WithdrawTables(owner) before its library is unloaded.
void SetTableOwner(const void* owner);
const void* TableOwner();
void WithdrawTables(const void* owner);

}  // namespace kshost
