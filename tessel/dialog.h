// A dialog made from a layout file in the ui folder:
//
//   <dialog name="About" title="About">
//     <label name="Label_Version" text="1.0"/>
//     <edit name="Edit_Ratio" text="1" readonly="0"/>
//     <combobox name="Combo_Unit" editable="0" selected="0">
//       <item>mm</item><item>in</item>
//     </combobox>
//     <checkbox name="Check_Snap" text="Snap" checked="1"/>
//     <listbox name="List_Scales">
//       <column title="Name" width="80"/>
//       <row><cell>1:100</cell></row>
//     </listbox>
//     <hyperlink name="Link_Help" text="Help" url="https://example.org"/>
//     <button name="Button_Reset" text="Reset"/>
//     <buttonbox name="ButtonBox" buttons="ok,cancel"/>
//   </dialog>
//
// Every element may carry name, text, visible, enabled, tooltip, x, y, width
// and height. Other tags (groups, rows) are containers whose children are
// read as well. With table="Annotation" on <dialog>, a title, text, tooltip,
// column title or item that is a translation key ("IDS_MA_XSCALE") is shown
// as that key's text in the current language. Headless: DoModal answers
// from Headless's queue.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tessel/button.h"
#include "tessel/button_box.h"
#include "tessel/check_box.h"
#include "tessel/combo_box.h"
#include "tessel/edit.h"
#include "tessel/element.h"
#include "tessel/headless.h"
#include "tessel/hyper_link_element.h"
#include "tessel/label.h"
#include "tessel/list_box.h"
#include "tessel/tessel_export.h"

namespace Tessel {

// Results of DoModal.
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

// A tab control asked for with CreateTabWindow(Ex); recorded only.
struct TabWindow {
  std::u16string name;
  std::vector<std::u16string> pages;
  int selected = 0;
};

class TESSEL_API Dialog {
 public:
  // Reads the layout `layoutFileName` (relative to GetUiDirPath(), or an
  // absolute path). A missing or malformed file gives a dialog without
  // elements; IsLoaded() tells which.
  Dialog(const std::u16string& layoutFileName, void* parent);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  bool IsLoaded() const;
  const std::u16string& GetLayoutFileName() const;
  // The name attribute of the layout's <dialog>; empty when absent.
  const std::u16string& GetName() const;
  void* GetParent() const;
  // A handle unique to this dialog while it lives; never null.
  void* GetHandle();

  // The element of that name, or empty when the layout has none. With two of
  // the same name the first in the file wins.
  std::shared_ptr<Element> GetElementByName(const std::u16string& name) const;

  // The element cast to T; empty when missing or of another kind.
  template <class T>
  std::shared_ptr<T> GetElement(const std::u16string& name) const {
    return std::dynamic_pointer_cast<T>(GetElementByName(name));
  }

  // All elements in layout order.
  const std::vector<std::shared_ptr<Element>>& GetElements() const;

  // Called when the dialog opens, before any answer is applied. Done()
  // called from here ends DoModal with that result without taking an answer.
  void SetInitHook(std::function<void(Dialog&)> hook);
  // Called with the result just before DoModal returns (and by Done() of a
  // modeless dialog).
  void SetCloseHook(std::function<void(Dialog&, int result)> hook);

  // Shows the dialog modally: runs the init hook, takes the first queued
  // answer for this dialog, sets its values on the elements (unknown names
  // and refused values are skipped), runs the close hook and returns the
  // answer's result. Without an answer: kDialogCancel.
  virtual int DoModal();

  // Shows or hides the dialog without waiting; the first show runs the init
  // hook.
  virtual void DoModeless(bool show);

  // Ends the dialog with `result`. A modeless dialog is hidden and its close
  // hook runs.
  void Done(int result);
  // The result given to Done() or returned by DoModal; 0 before either.
  int GetResult() const;
  bool IsVisible() const;

  void SetWindowTitle(const std::u16string& title);
  const std::u16string& GetWindowTitle() const;

  // Recorded only: a resource number or an icon file path.
  void SetIcon(int resourceId);
  void SetIcon(const std::u16string& path);
  int GetIconId() const;
  const std::u16string& GetIconPath() const;

  // The button pressed by Enter. False when the dialog has no such element.
  bool SetDefaultButton(const std::u16string& elementName);
  const std::u16string& GetDefaultButton() const;

  // Moves the focus; false when there is no such element.
  bool SetFocusToCtrl(const std::u16string& elementName);
  const std::u16string& GetFocusedCtrl() const;

  // Sets an element's tool tip; false when there is no such element.
  bool SetToolTip(const std::u16string& elementName, const std::u16string& text);

  // Recorded only.
  void CreateTabWindow(const std::u16string& name, const std::vector<std::u16string>& pages);
  void CreateTabWindowEx(const std::u16string& name, const std::vector<std::u16string>& pages, int selected);
  const std::vector<TabWindow>& GetTabWindows() const;

  // A panel that shows live values reports each change of one through
  // TraceValue; the host's session trace installs the sink (none by
  // default, process-wide).
  static void SetValueTraceSink(std::function<void(const std::u16string& element, const std::u16string& text)> sink);
  static void TraceValue(const std::u16string& element, const std::u16string& text);

  // The modeless dialogs shown now (side panels), oldest first. For a front
  // end that draws them; the pointers are valid until the dialogs change.
  static std::vector<Dialog*> ShownModeless();

 protected:
  // Override points; the defaults run the hooks.
  virtual void OnInitDialog();
  virtual void OnClose(int result);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Tessel
