#include "tessel/headless.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>

namespace Tessel::Headless {
namespace {

struct Queues {
  std::mutex mutex;
  std::deque<DialogAnswer> dialogs;
  std::deque<std::vector<std::u16string>> files;
  std::vector<std::u16string> shown;
};

Queues& Current() {
  static Queues queues;
  return queues;
}

}  // namespace

void QueueDialogAnswer(DialogAnswer answer) {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  q.dialogs.push_back(std::move(answer));
}

void QueueFileDialogAnswer(std::vector<std::u16string> paths) {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  q.files.push_back(std::move(paths));
}

int PendingAnswers() {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  return static_cast<int>(q.dialogs.size() + q.files.size());
}

void ClearAnswers() {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  q.dialogs.clear();
  q.files.clear();
}

std::optional<DialogAnswer> TakeDialogAnswer(const std::vector<std::u16string>& names) {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  const auto fits = [&](const DialogAnswer& a) {
    return a.dialogName.empty() || std::find(names.begin(), names.end(), a.dialogName) != names.end();
  };
  const auto it = std::find_if(q.dialogs.begin(), q.dialogs.end(), fits);
  if (it == q.dialogs.end()) return std::nullopt;
  DialogAnswer answer = std::move(*it);
  q.dialogs.erase(it);
  return answer;
}

std::optional<std::vector<std::u16string>> TakeFileDialogAnswer() {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  if (q.files.empty()) return std::nullopt;
  auto paths = std::move(q.files.front());
  q.files.pop_front();
  return paths;
}

std::vector<std::u16string> TakeShownDialogs() {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  return std::exchange(q.shown, {});
}

void NoteDialogShown(const std::u16string& layoutFileName) {
  auto& q = Current();
  std::lock_guard lock(q.mutex);
  q.shown.push_back(layoutFileName);
}

}  // namespace Tessel::Headless

namespace Tessel::Headless {
namespace {
std::function<std::optional<DialogAnswer>(Dialog&)>& Provider() {
  static std::function<std::optional<DialogAnswer>(Dialog&)> provider;
  return provider;
}
}  // namespace

void SetDialogProvider(std::function<std::optional<DialogAnswer>(Dialog&)> ask) { Provider() = std::move(ask); }

std::optional<DialogAnswer> AskDialogProvider(Dialog& dialog) {
  if (!Provider()) return std::nullopt;
  return Provider()(dialog);
}

namespace {
FileDialogProvider& FileProvider() {
  static FileDialogProvider provider;
  return provider;
}
}  // namespace

void SetFileDialogProvider(FileDialogProvider choose) { FileProvider() = std::move(choose); }

std::optional<std::vector<std::u16string>> AskFileDialogProvider(bool open, const std::u16string& title,
                                                                 const std::u16string& defaultName) {
  if (!FileProvider()) return std::nullopt;
  return FileProvider()(open, title, defaultName);
}

}  // namespace Tessel::Headless
