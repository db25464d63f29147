// A drop-down list, optionally with an editable text field.
#pragma once

#include <string>
#include <vector>

#include "tessel/element.h"

namespace Tessel {

class TESSEL_API ComboBox : public Element {
 public:
  explicit ComboBox(std::u16string name) : Element(std::move(name), ElementType::ComboBox) {}

  // Appends an item; returns its index.
  int AddItem(const std::u16string& text);
  const std::vector<std::u16string>& GetItems() const { return items_; }
  int GetCount() const { return static_cast<int>(items_.size()); }
  // Removes all items and the selection; the text stays.
  void ResetContent();

  // The selected index, -1 for none.
  int GetCurSel() const { return selection_; }
  // Selects `index` and shows its text; -1 clears the selection. Returns
  // false (and changes nothing) for an index out of range.
  bool SetCurSel(int index);

  // Setting the text selects the first item with exactly that text, or
  // clears the selection when there is none.
  void SetText(const std::u16string& text) override;

  void SetEditable(bool editable) { editable_ = editable; }
  bool IsEditable() const { return editable_; }

  // Lets the user edit the items of the list itself.
  void EnableEditListMode(bool enable) { editListMode_ = enable; }
  bool IsEditListMode() const { return editListMode_; }

  // Same record as ShowBalloonTipEx.
  void ShowBalloonTip(const std::u16string& title, const std::u16string& text) { ShowBalloonTipEx(title, text); }

 private:
  std::vector<std::u16string> items_;
  int selection_ = -1;
  bool editable_ = false;
  bool editListMode_ = false;
};

}  // namespace Tessel
