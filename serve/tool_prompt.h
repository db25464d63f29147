// What the status bar asks of the person for the current tool's next step:
// a key of the editor's words, from the tool's name, whether it is in the
// middle of a gesture and how many presses that gesture has had.
#pragma once

#include <string_view>

namespace annotserve {

// The presses of one gesture: counted from the press that started it, and
// back to none when the tool is idle again.
class GestureClicks {
 public:
  // After a left press (or double click) or any other event, with whether
  // the tool is busy before and after it.
  void After(bool press, bool busyBefore, bool busyAfter) {
    if (!busyAfter) count_ = 0;
    else if (press) count_ = busyBefore ? count_ + 1 : 1;
  }
  int Count() const { return count_; }

 private:
  int count_ = 0;
};

// The key of the prompt ("IDS_EDITOR_PROMPT_..."); null for a tool that
// asks nothing of its own.
const char* ToolPromptKey(std::string_view tool, bool busy, int clicks);

}  // namespace annotserve
