// The allocator's settings, made before main runs. With mimalloc linked in
// (it then replaces malloc for the whole process, the plug-in included),
// its memory comes in huge pages where the system allows: fewer page
// faults and TLB misses for the many small objects of a large document.
#if defined(ANNOT_WITH_MIMALLOC)
#include <mimalloc.h>

namespace {

const bool kHugePages = [] {
  mi_option_enable(mi_option_large_os_pages);
  return true;
}();

}  // namespace
#endif
