// Progress indicators (selector 31).
#include <algorithm>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/progress.h"
#include "host/utf.h"

namespace kshost {

Progress& Progress::Get() {
  static Progress progress;
  return progress;
}

void Progress::Reset() {
  delete current_;
  current_ = nullptr;
  cancelAt_.reset();
}

KA_Progress Progress::Begin(const std::u16string& title, int range) {
  // A second indicator replaces the first, which its owner no longer sees.
  delete current_;
  current_ = new KA_Progress__{title, std::max(range, 1), 0, false};
  Editor::Get().TracePanel("progress: " + ToUtf8(title));
  return current_;
}

bool Progress::SetValue(KA_Progress progress, int value) {
  if (!progress || progress != current_) return false;
  if (progress->cancelled) return false;
  progress->value = std::clamp(value, 0, progress->range);
  if (cancelAt_ && progress->value >= *cancelAt_) {
    cancelAt_.reset();
    progress->cancelled = true;
    Editor::Get().TracePanel("progress: cancelled at " + std::to_string(progress->value));
    return false;
  }
  return true;
}

bool Progress::IsCancelled(KA_Progress progress) const {
  return progress && progress == current_ && progress->cancelled;
}

void Progress::End(KA_Progress progress) {
  if (!progress || progress != current_) return;
  Editor::Get().TracePanel("progress: end");
  delete current_;
  current_ = nullptr;
}

namespace direct {

KA_Progress ProgressBegin(const char16_t* title, int32_t range) {
  return Progress::Get().Begin(title ? title : u"", range);
}
int32_t ProgressSetValue(KA_Progress progress, int32_t value) {
  return Progress::Get().SetValue(progress, value) ? 1 : 0;
}
int32_t ProgressIsCancelled(KA_Progress progress) { return Progress::Get().IsCancelled(progress) ? 1 : 0; }
void ProgressEnd(KA_Progress progress) { Progress::Get().End(progress); }

}  // namespace direct
}  // namespace kshost
