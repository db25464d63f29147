// A list of rows with columns of text cells (a report-style list view).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tessel/element.h"

namespace Tessel {

enum class CellEditMode { None, Edit, ComboBox };

struct ListColumn {
  std::u16string title;
  int width = 0;
};

class TESSEL_API ListBox : public Element {
 public:
  explicit ListBox(std::u16string name) : Element(std::move(name), ElementType::ListBox) {}

  // Appends a column; returns its index. Existing rows get an empty cell.
  int AddColumn(const std::u16string& title, int width = 0);
  const std::vector<ListColumn>& GetColumns() const { return columns_; }
  int GetColumnCount() const { return static_cast<int>(columns_.size()); }

  // Inserts a row before `index` (-1 or past the end appends); cells beyond
  // the column count are dropped, missing ones are empty. Returns the row's
  // index. Selection follows the rows it was on.
  int InsertRow(int index, std::vector<std::u16string> cells);
  int AddRow(std::vector<std::u16string> cells) { return InsertRow(-1, std::move(cells)); }
  // False for a row out of range.
  bool DeleteRow(int row);
  void DeleteAllRows();
  int GetRowCount() const { return static_cast<int>(rows_.size()); }

  // Empty text, or false, for a cell out of range.
  std::u16string GetCellText(int row, int column) const;
  bool SetCellText(int row, int column, const std::u16string& text);

  // How the user may edit a cell; None unless set. False out of range.
  bool SetCellEditMode(int row, int column, CellEditMode mode);
  CellEditMode GetCellEditMode(int row, int column) const;

  void EnableDragDrop(bool enable) { dragDrop_ = enable; }
  bool IsDragDropEnabled() const { return dragDrop_; }

  // Word-wrap bits per the caller's own meaning (e.g. header / cells).
  void SetWordWrapFlags(unsigned flags) { wordWrap_ = flags; }
  unsigned GetWordWrapFlags() const { return wordWrap_; }

  // Single selection view: the first selected row, -1 for none.
  int GetCurSel() const { return selection_.empty() ? -1 : *selection_.begin(); }
  // Selects only `row`; -1 clears. False for a row out of range.
  bool SetCurSel(int row);
  // Multiple selection.
  bool SelectRow(int row, bool selected);
  std::vector<int> GetSelectedRows() const { return {selection_.begin(), selection_.end()}; }

  // Scripted answers select a row by its decimal index, or several rows
  // by indices joined with commas ("0,2").
  bool SetValueText(const std::u16string& value) override;

 private:
  struct Cell {
    std::u16string text;
    CellEditMode mode = CellEditMode::None;
  };

  bool InRange(int row, int column) const;

  std::vector<ListColumn> columns_;
  std::vector<std::vector<Cell>> rows_;
  std::set<int> selection_;
  bool dragDrop_ = false;
  unsigned wordWrap_ = 0;
};

}  // namespace Tessel
