#include "tessel/file_dialog.h"

#include "tessel/headless.h"

namespace Tessel {

namespace {

std::vector<std::u16string> Choose(bool open, const std::u16string& title, const std::u16string& defaultName) {
  auto paths = Headless::TakeFileDialogAnswer();
  if (!paths) paths = Headless::AskFileDialogProvider(open, title, defaultName);
  if (!paths) return {};
  // A save dialog gives one path whatever the script queued.
  if (!open && paths->size() > 1) paths->resize(1);
  return std::move(*paths);
}

}  // namespace

std::vector<std::u16string> FileDialog(void* parent, bool open, const std::u16string& filter,
                                       const std::u16string& defaultName) {
  return Choose(open, u"", defaultName);
}

std::vector<std::u16string> FileDialogEx(void* parent, bool open, const std::u16string& title,
                                         const std::u16string& filter, const std::u16string& defaultName) {
  return Choose(open, title, defaultName);
}

}  // namespace Tessel
