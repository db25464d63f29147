// Message boxes and popup menus (selector 30), answered by the editor.
#include <string>

#include "host/editor.h"
#include "host/host_functions.h"

namespace kshost::direct {

int32_t MessageBox(const char16_t* text, const char16_t* title, uint32_t buttons) {
  return Editor::Get().AnswerMessage(title ? title : u"", text ? text : u"", buttons);
}

// A headless menu is answered like a message box: a queued answer picks the
// item, none picks the first.
int32_t PopupMenu(const char16_t* const* items, int32_t count) {
  if (!items || count <= 0) return 0;
  std::u16string text;
  for (int32_t i = 0; i < count; ++i) text += (i ? u" | " : u"") + std::u16string(items[i] ? items[i] : u"");
  const int answer = Editor::Get().AnswerMessage(u"menu", text);
  return answer >= 1 && answer <= count ? answer : 0;
}

}  // namespace kshost::direct
