#include "tessel/element.h"

#include <gtest/gtest.h>

#include "tessel/button.h"
#include "tessel/combo_box.h"
#include "tessel/list_box.h"

using namespace Tessel;

TEST(Element, FireReachesTheProcedureUnlessInputGoesToADisabledElement) {
  Button button(u"Button_Go");
  EXPECT_FALSE(button.Click());  // nobody listens
  std::vector<EventKind> seen;
  button.SetEventProcedure([&](Element& e, const Event& ev) {
    seen.push_back(ev.kind);
    return &e == &button;
  });
  EXPECT_TRUE(button.Click());
  Event wheel;
  wheel.kind = EventKind::Wheel;
  wheel.wheel = -120;
  EXPECT_TRUE(button.Fire(wheel));

  button.Enable(false);
  EXPECT_FALSE(button.Click());
  Event paint;
  paint.kind = EventKind::Paint;
  EXPECT_TRUE(button.Fire(paint));
  EXPECT_EQ(seen, (std::vector<EventKind>{EventKind::Click, EventKind::Wheel, EventKind::Paint}));

  // A procedure may take itself away while it runs and still use what it
  // holds until it returns.
  button.Enable(true);
  int calls = 0;
  button.SetEventProcedure([&calls, held = std::vector<int>(16, 1)](Element& self, const Event&) {
    self.SetEventProcedure(nullptr);
    calls += held[0];
    return true;
  });
  EXPECT_TRUE(button.Click());
  EXPECT_FALSE(button.Click());
  EXPECT_EQ(calls, 1);
}

TEST(Element, TimersAndBalloonsAreRecorded) {
  Element element(u"E");
  element.SetTimer(1, 500);
  element.SetTimer(2, 100);
  element.SetTimer(1, 250);
  element.KillTimer(2);
  element.SetTimer(3, 0);
  EXPECT_EQ(element.GetTimers(), (std::map<int, int>{{1, 250}}));
  EXPECT_FALSE(element.GetLastBalloonTip());
  element.ShowBalloonTipEx(u"Title", u"Text", 2, 3000);
  ASSERT_TRUE(element.GetLastBalloonTip());
  EXPECT_EQ(element.GetLastBalloonTip()->text, u"Text");
  element.MoveWindow(1, 2, -5, 4);
  EXPECT_EQ(element.GetWindowRect().width, 0);
}

TEST(ComboBox, TextAndSelectionStayConsistent) {
  ComboBox combo(u"C");
  combo.AddItem(u"a");
  combo.AddItem(u"b");
  EXPECT_EQ(combo.GetCurSel(), -1);
  EXPECT_TRUE(combo.SetCurSel(1));
  EXPECT_EQ(combo.GetText(), u"b");
  EXPECT_FALSE(combo.SetCurSel(2));
  EXPECT_EQ(combo.GetCurSel(), 1);
  combo.SetText(u"free text");
  EXPECT_EQ(combo.GetCurSel(), -1);
  combo.SetText(u"a");
  EXPECT_EQ(combo.GetCurSel(), 0);
  combo.ResetContent();
  EXPECT_EQ(combo.GetCount(), 0);
  EXPECT_EQ(combo.GetText(), u"a");
}

TEST(ListBox, SelectionFollowsRowsOnInsertAndDelete) {
  ListBox list(u"L");
  list.AddColumn(u"A");
  list.AddRow({u"r0", u"dropped"});
  list.AddRow({u"r1"});
  list.AddRow({u"r2"});
  EXPECT_EQ(list.GetCellText(0, 1), u"");  // only one column
  list.SelectRow(1, true);
  list.SelectRow(2, true);
  EXPECT_EQ(list.InsertRow(0, {u"new"}), 0);
  EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{2, 3}));
  EXPECT_TRUE(list.DeleteRow(2));
  EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{2}));
  EXPECT_EQ(list.GetCellText(2, 0), u"r2");
  EXPECT_FALSE(list.DeleteRow(9));

  list.AddColumn(u"B", 40);
  EXPECT_TRUE(list.SetCellText(0, 1, u"x"));  // old rows grew a cell
  EXPECT_TRUE(list.SetCellEditMode(0, 1, CellEditMode::ComboBox));
  EXPECT_EQ(list.GetCellEditMode(0, 1), CellEditMode::ComboBox);
  EXPECT_EQ(list.GetCellEditMode(0, 0), CellEditMode::None);
  EXPECT_FALSE(list.SetCellEditMode(5, 0, CellEditMode::Edit));

  EXPECT_FALSE(list.SetValueText(u"x1"));
  EXPECT_FALSE(list.SetValueText(u"7"));
  EXPECT_TRUE(list.SetValueText(u"0"));
  EXPECT_EQ(list.GetSelectedRows(), std::vector<int>{0});
  EXPECT_TRUE(list.SetValueText(u"2,0"));
  EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{0, 2}));
  for (const char* refused : {"0,", ",1", "0,7", "1,,2", "1;2"}) {
    EXPECT_FALSE(list.SetValueText(std::u16string(refused, refused + std::char_traits<char>::length(refused))))
        << refused;
    EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{0, 2})) << refused;
  }
  list.DeleteAllRows();
  EXPECT_EQ(list.GetCurSel(), -1);
}
