// The manage-toolsets dialog: every toolset of the list as a row (shown in
// the tool chest or not, title, file), and the buttons that create, import,
// export, rename and delete toolsets. Files are made, copied and removed
// at once by the buttons; OK makes the rows (order, visible flags, titles)
// the new list, cancel keeps the list as it was.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolset/annot_toolset.h"

namespace Tessel {
class Dialog;
}

namespace AnnotationPlugin {

// One row of the table.
struct ToolsetRowData {
  bool visible = true;
  std::u16string title;
  std::u16string path;                                  // full path of the file
  std::shared_ptr<CAnnot_ToolSet> toolset;              // when loaded
  std::shared_ptr<CAnnot_ToolSetPreference> preference;  // the entry it came from
  std::u16string shownTitle;                            // the title first shown
};

class CTS_ManageToolBoxDlg {
 public:
  explicit CTS_ManageToolBoxDlg(void* parent = nullptr);
  ~CTS_ManageToolBoxDlg();

  // Shows the dialog until OK or cancel and returns Tessel::kDialogOk or
  // Tessel::kDialogCancel.
  int DoModal();

  // The rows from the manager's list, in list order.
  void InitializeControls();
  const std::vector<std::shared_ptr<ToolsetRowData>>& Rows() const { return rows_; }

  // The buttons, on the rows selected (indices into Rows()).
  void OnCreateClicked();
  void OnImportClicked();
  void OnExportClicked(const std::vector<int>& selected);
  void OnRenameClicked(const std::vector<int>& selected);
  void OnDeleteClicked(const std::vector<int>& selected);
  void OnVisibleClicked(const std::vector<int>& selected);
  // OK: the rows become the manager's list.
  bool OnOk();
  // The dialog ended: list entries whose file is gone are forgotten.
  void FilterDone(bool committed);

 private:
  void FillTable(Tessel::Dialog& dialog);
  std::shared_ptr<CAnnot_ToolSet> LoadedToolSet(ToolsetRowData& row);
  int RowOfPath(const std::u16string& path) const;
  int RowTitled(const std::u16string& title, int except = -1) const;
  bool AskReplace(const std::u16string& destination, std::optional<bool>* forAll);

  void* parent_;
  std::vector<std::shared_ptr<ToolsetRowData>> rows_;
};

// A toolset-file name ("Review.ktz") joined to the toolset folder; empty
// when the title gives no name.
std::u16string ToolsetPathFromTitle(const std::u16string& folder, const std::u16string& title);

}  // namespace AnnotationPlugin
