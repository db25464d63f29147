// The small dialog that asks for a toolset's title when one is created or
// renamed. It shows, as the title is typed, the file the title gives, and
// refuses a title that gives no file or one that is taken.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace AnnotationPlugin {

class CAuiDlgCreateToolBox {
 public:
  // `pathOf` gives the file a title stands for ("" when none); `taken`
  // tells whether that title and path are already used by another toolset.
  using PathOf = std::function<std::u16string(const std::u16string& title)>;
  using Taken = std::function<bool(const std::u16string& title, const std::u16string& path)>;

  CAuiDlgCreateToolBox(PathOf pathOf, Taken taken, void* parent = nullptr);

  // What the dialog shows for `title`: the path, the reason OK is refused
  // (empty when there is none to tell), and whether OK is allowed.
  struct Check {
    std::u16string path;
    std::u16string info;
    bool ok = false;
  };
  Check Validate(const std::u16string& title) const;

  // Shows the dialog filled with `title` until it is confirmed with a title
  // it accepts (returned trimmed) or cancelled (nothing). A refused title
  // keeps the dialog open with the reason in "labelInfo".
  std::optional<std::u16string> Run(const std::u16string& title = std::u16string());

 private:
  PathOf pathOf_;
  Taken taken_;
  void* parent_;
};

// `text` without spaces, tabs, carriage returns and line feeds at its ends.
std::u16string TrimTitle(const std::u16string& text);

}  // namespace AnnotationPlugin
