#include "tessel/list_box.h"

namespace Tessel {

int ListBox::AddColumn(const std::u16string& title, int width) {
  columns_.push_back(ListColumn{title, width});
  for (auto& row : rows_) row.resize(columns_.size());
  return static_cast<int>(columns_.size()) - 1;
}

int ListBox::InsertRow(int index, std::vector<std::u16string> cells) {
  std::vector<Cell> row(columns_.size());
  for (size_t i = 0; i < row.size() && i < cells.size(); ++i) row[i].text = std::move(cells[i]);
  const int count = GetRowCount();
  if (index < 0 || index > count) index = count;
  rows_.insert(rows_.begin() + index, std::move(row));
  std::set<int> moved;
  for (int selected : selection_) moved.insert(selected >= index ? selected + 1 : selected);
  selection_ = std::move(moved);
  return index;
}

bool ListBox::DeleteRow(int row) {
  if (row < 0 || row >= GetRowCount()) return false;
  rows_.erase(rows_.begin() + row);
  std::set<int> moved;
  for (int selected : selection_)
    if (selected != row) moved.insert(selected > row ? selected - 1 : selected);
  selection_ = std::move(moved);
  return true;
}

void ListBox::DeleteAllRows() {
  rows_.clear();
  selection_.clear();
}

bool ListBox::InRange(int row, int column) const {
  return row >= 0 && row < GetRowCount() && column >= 0 && column < GetColumnCount();
}

std::u16string ListBox::GetCellText(int row, int column) const {
  return InRange(row, column) ? rows_[static_cast<size_t>(row)][static_cast<size_t>(column)].text : std::u16string();
}

bool ListBox::SetCellText(int row, int column, const std::u16string& text) {
  if (!InRange(row, column)) return false;
  rows_[static_cast<size_t>(row)][static_cast<size_t>(column)].text = text;
  return true;
}

bool ListBox::SetCellEditMode(int row, int column, CellEditMode mode) {
  if (!InRange(row, column)) return false;
  rows_[static_cast<size_t>(row)][static_cast<size_t>(column)].mode = mode;
  return true;
}

CellEditMode ListBox::GetCellEditMode(int row, int column) const {
  return InRange(row, column) ? rows_[static_cast<size_t>(row)][static_cast<size_t>(column)].mode
                              : CellEditMode::None;
}

bool ListBox::SetCurSel(int row) {
  if (row < -1 || row >= GetRowCount()) return false;
  selection_.clear();
  if (row >= 0) selection_.insert(row);
  return true;
}

bool ListBox::SelectRow(int row, bool selected) {
  if (row < 0 || row >= GetRowCount()) return false;
  if (selected) selection_.insert(row);
  else selection_.erase(row);
  return true;
}

bool ListBox::SetValueText(const std::u16string& value) {
  // One row index, or several joined by commas for a multiple selection;
  // a value with any bad index changes nothing.
  if (value.empty() || value.size() > 4096) return false;
  std::set<int> rows;
  int row = 0, digits = 0;
  for (char16_t c : value + u",") {
    if (c == u',') {
      if (digits == 0 || row >= GetRowCount()) return false;
      rows.insert(row);
      row = digits = 0;
    } else if (c >= u'0' && c <= u'9' && digits < 9) {
      row = row * 10 + (c - u'0');
      ++digits;
    } else {
      return false;
    }
  }
  selection_ = std::move(rows);
  return true;
}

}  // namespace Tessel
