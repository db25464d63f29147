// The editor's progress indicator: one at a time, over a range that its
// owner advances. Headless, a script cancels it by queueing the value at
// which the user presses Cancel; the trace shows it start, get cancelled
// and end.
#pragma once

#include <optional>
#include <string>

#include "sdk/ks_types.h"

struct KA_Progress__ {
  std::u16string title;
  int range = 100;
  int value = 0;
  bool cancelled = false;
};

namespace kshost {

class Progress {
 public:
  static Progress& Get();

  // The next indicator is cancelled once its value reaches `at`.
  void QueueCancel(int at) { cancelAt_ = at; }
  void Reset();

  KA_Progress Begin(const std::u16string& title, int range);
  bool SetValue(KA_Progress progress, int value);  // false once cancelled
  bool IsCancelled(KA_Progress progress) const;
  void End(KA_Progress progress);
  KA_Progress Current() const { return current_; }

 private:
  KA_Progress current_ = nullptr;
  std::optional<int> cancelAt_;
};

}  // namespace kshost
