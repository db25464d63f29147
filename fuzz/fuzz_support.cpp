#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace annot_fuzz {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace annot_fuzz
