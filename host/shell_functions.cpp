// The system's shell (selector 905). A headless host launches nothing: it
// notes what a desktop would have shown, for session traces and tests.
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/utf.h"

namespace kshost::direct {

int32_t AppShellOpen(const char16_t* path) {
  if (!path || !*path || (!FileExists(path) && !DirectoryExists(path))) return 0;
  Editor::Get().TraceNote("shell open: " + ToUtf8(path));
  return 1;
}

}  // namespace kshost::direct
