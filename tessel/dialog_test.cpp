#include "tessel/dialog.h"
#include "tessel/translator.h"

#include <gtest/gtest.h>

#include "tessel/file_dialog.h"
#include "tessel/tessel_utils.h"
#include "tessel/test_support.h"

using namespace Tessel;
using Tessel::testing::StringsFile;
using Tessel::testing::TempAppFolder;

namespace {

constexpr char kLayout[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<dialog name="Scale" title="Set Scale">
  <edit name="Edit_Ratio" text="1" limit="8"/>
  <label name="Label_Unit" text="Unit &amp; size" width="35" ellipsis="1"/>
  <combobox name="Combo_Unit" editable="0" selected="1"><item>mm</item><item>cm</item><item>in</item></combobox>
  <group name="Group_Options">
    <checkbox name="Check_Snap" text="Snap" checked="1" enabled="0"/>
    <button name="Button_Reset" text="Reset" visible="0" tooltip="Back to 1:1"/>
  </group>
  <listbox name="List_Scales" dragdrop="1">
    <column title="Name" width="80"/><column title="Ratio"/>
    <row><cell>Plan</cell><cell>1:100</cell></row>
    <row><cell>Detail</cell></row>
  </listbox>
  <hyperlink name="Link_Help" text="Help" url="https://example.org/help"/>
  <buttonbox name="Box" buttons="ok, cancel, bogus"/>
  <edit name="Edit_Ratio" text="second of the same name"/>
</dialog>
)";

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() { app_.Write("ui/scale.ui.kw", kLayout); }
  TempAppFolder app_;
};

}  // namespace

TEST_F(DialogTest, BuildsNamedElementsOfTheRightKindFromTheLayout) {
  Dialog dlg(u"scale.ui.kw", nullptr);
  ASSERT_TRUE(dlg.IsLoaded());
  EXPECT_EQ(dlg.GetName(), u"Scale");
  EXPECT_EQ(dlg.GetWindowTitle(), u"Set Scale");
  EXPECT_EQ(dlg.GetElements().size(), 9u);

  auto edit = dlg.GetElement<Edit>(u"Edit_Ratio");
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->GetText(), u"1");  // the first of two with that name
  EXPECT_EQ(edit->GetLimitText(), 8);
  EXPECT_EQ(dlg.GetElement<Label>(u"Label_Unit")->GetText(), u"Unit & size");
  EXPECT_EQ(dlg.GetElement<Label>(u"Label_Unit")->GetDisplayText(), u"Unit\u2026");

  auto combo = dlg.GetElement<ComboBox>(u"Combo_Unit");
  ASSERT_TRUE(combo);
  EXPECT_EQ(combo->GetItems(), (std::vector<std::u16string>{u"mm", u"cm", u"in"}));
  EXPECT_EQ(combo->GetCurSel(), 1);

  auto check = dlg.GetElement<CheckBox>(u"Check_Snap");  // inside a group
  ASSERT_TRUE(check);
  EXPECT_TRUE(check->GetCheck());
  EXPECT_FALSE(check->IsEnabled());
  auto reset = dlg.GetElement<Button>(u"Button_Reset");
  EXPECT_FALSE(reset->IsVisible());
  EXPECT_EQ(reset->GetToolTip(), u"Back to 1:1");

  auto list = dlg.GetElement<ListBox>(u"List_Scales");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->GetColumnCount(), 2);
  EXPECT_EQ(list->GetRowCount(), 2);
  EXPECT_EQ(list->GetCellText(0, 1), u"1:100");
  EXPECT_EQ(list->GetCellText(1, 1), u"");
  EXPECT_TRUE(list->IsDragDropEnabled());

  EXPECT_EQ(dlg.GetElement<HyperLinkElement>(u"Link_Help")->GetUrl(), u"https://example.org/help");
  auto box = dlg.GetElement<ButtonBox>(u"Box");
  ASSERT_TRUE(box);
  ASSERT_TRUE(box->GetButton(StandardButton::Ok));
  EXPECT_EQ(box->GetButton(StandardButton::Cancel)->GetText(), u"Cancel");
  EXPECT_FALSE(box->GetButton(StandardButton::Help));

  // Missing names and the wrong kind give empty pointers.
  EXPECT_FALSE(dlg.GetElementByName(u"No_Such_Element"));
  EXPECT_FALSE(dlg.GetElementByName(u""));
  EXPECT_FALSE(dlg.GetElement<CheckBox>(u"Edit_Ratio"));
  EXPECT_FALSE(dlg.SetFocusToCtrl(u"No_Such_Element"));
  EXPECT_TRUE(dlg.SetFocusToCtrl(u"Edit_Ratio"));
  EXPECT_EQ(dlg.GetFocusedCtrl(), u"Edit_Ratio");
  EXPECT_TRUE(dlg.SetToolTip(u"Edit_Ratio", u"ratio"));
  EXPECT_EQ(dlg.GetElementByName(u"Edit_Ratio")->GetToolTip(), u"ratio");
}

TEST_F(DialogTest, MissingOrMalformedLayoutGivesAnEmptyDialogThatCancels) {
  app_.Write("ui/broken.ui.kw", "<dialog name=\"B\"><edit name=\"E\"></dialog>");
  app_.Write("ui/wrong.ui.kw", "<window><edit name=\"E\"/></window>");
  Headless::QueueDialogAnswer({u"", {}, kDialogOk});
  for (const char16_t* file : {u"broken.ui.kw", u"wrong.ui.kw", u"absent.ui.kw", u""}) {
    Dialog dlg(file, nullptr);
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_TRUE(dlg.GetElements().empty());
    EXPECT_FALSE(dlg.GetElementByName(u"E"));
    EXPECT_EQ(dlg.DoModal(), kDialogCancel);
  }
  EXPECT_EQ(Headless::PendingAnswers(), 1);  // left for a dialog that can use it
}

TEST_F(DialogTest, DoModalWithoutAnswerCancelsAtOnce) {
  Dialog dlg(u"scale.ui.kw", nullptr);
  int closedWith = 0;
  dlg.SetCloseHook([&](Dialog&, int result) { closedWith = result; });
  EXPECT_EQ(dlg.DoModal(), kDialogCancel);
  EXPECT_EQ(closedWith, kDialogCancel);
  EXPECT_FALSE(dlg.IsVisible());
  EXPECT_EQ(Headless::TakeShownDialogs(), std::vector<std::u16string>{u"scale.ui.kw"});
}

TEST_F(DialogTest, DoModalAppliesTheFirstFittingAnswerBeforeTheCloseHook) {
  Headless::QueueDialogAnswer({u"other.ui.kw", {{u"Edit_Ratio", u"wrong dialog"}}, kDialogOk});
  Headless::QueueDialogAnswer({u"Scale",
                               {{u"Edit_Ratio", u"2.5"},
                                {u"Combo_Unit", u"in"},
                                {u"Check_Snap", u"0"},
                                {u"List_Scales", u"1"},
                                {u"Unknown", u"ignored"}},
                               kDialogOk});
  Headless::QueueDialogAnswer({u"", {}, 7});

  Dialog dlg(u"scale.ui.kw", nullptr);
  std::u16string seenAtClose;
  dlg.SetCloseHook([&](Dialog& d, int) { seenAtClose = d.GetElementByName(u"Edit_Ratio")->GetText(); });
  EXPECT_EQ(dlg.DoModal(), kDialogOk);
  EXPECT_EQ(seenAtClose, u"2.5");
  EXPECT_EQ(dlg.GetElement<ComboBox>(u"Combo_Unit")->GetCurSel(), 2);
  EXPECT_FALSE(dlg.GetElement<CheckBox>(u"Check_Snap")->GetCheck());
  EXPECT_EQ(dlg.GetElement<ListBox>(u"List_Scales")->GetCurSel(), 1);

  // The answer for "other" is still queued; the catch-all one comes next.
  EXPECT_EQ(Dialog(u"scale.ui.kw", nullptr).DoModal(), 7);
  EXPECT_EQ(Headless::PendingAnswers(), 1);
  EXPECT_EQ(Dialog(u"scale.ui.kw", nullptr).DoModal(), kDialogCancel);
}

TEST_F(DialogTest, DoneFromTheInitHookEndsWithoutTakingAnAnswer) {
  Headless::QueueDialogAnswer({u"", {}, kDialogOk});
  Dialog dlg(u"scale.ui.kw", nullptr);
  dlg.SetInitHook([](Dialog& d) { d.Done(42); });
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_EQ(Headless::PendingAnswers(), 1);
}

TEST_F(DialogTest, ModelessDialogInitialisesOnceAndClosesWithDone) {
  Dialog dlg(u"scale.ui.kw", nullptr);
  int inits = 0, closes = 0;
  dlg.SetInitHook([&](Dialog&) { ++inits; });
  dlg.SetCloseHook([&](Dialog&, int) { ++closes; });
  dlg.DoModeless(true);
  dlg.DoModeless(false);
  dlg.DoModeless(true);
  EXPECT_EQ(inits, 1);
  EXPECT_TRUE(dlg.IsVisible());
  dlg.Done(kDialogOk);
  EXPECT_FALSE(dlg.IsVisible());
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(dlg.GetResult(), kDialogOk);
}

TEST_F(DialogTest, AbsoluteLayoutPathMatchesAnswersByFileName) {
  const std::u16string path = std::u16string(app_.path().begin(), app_.path().end()) + u"/ui/scale.ui.kw";
  Headless::QueueDialogAnswer({u"scale.ui.kw", {{u"Edit_Ratio", u"3"}}, kDialogOk});
  Dialog dlg(path, nullptr);
  EXPECT_EQ(dlg.DoModal(), kDialogOk);
  EXPECT_EQ(dlg.GetElementByName(u"Edit_Ratio")->GetText(), u"3");
}

// A layout that names its string table shows its keys in the current
// language: title, texts, tooltips, items and column titles; other texts,
// and keys of a layout without a table, stay as written.
TEST(TranslatedLayouts, KeysAreShownInTheCurrentLanguage) {
  TempAppFolder app;
  app.Write("lang/en-US/Lay_strings_en-US.xml.kw",
            StringsFile({{"IDS_T", "Scale"}, {"IDS_PAGES", "Pages"}, {"IDS_ALL", "All pages"}}));
  app.Write("lang/de-DE/Lay_strings_de-DE.xml.kw",
            StringsFile({{"IDS_T", "Ma\xC3\x9F""stab"}, {"IDS_PAGES", "Seiten"}, {"IDS_ALL", "Alle Seiten"}}));
  const char* body =
      "<label name=\"L\" text=\"IDS_PAGES\"/><combobox name=\"C\" tooltip=\"IDS_PAGES\"><item>IDS_ALL</item>"
      "<item>1:50</item></combobox><edit name=\"E\" text=\"IDS_lower\"/>"
      "<listbox name=\"T\"><column title=\"IDS_PAGES\"/></listbox></dialog>";
  app.Write("ui/keys.ui.kw", std::string("<dialog name=\"K\" title=\"IDS_T\" table=\"Lay\">") + body);
  app.Write("ui/plain.ui.kw", std::string("<dialog name=\"P\" title=\"IDS_T\">") + body);
  SetCurrentLanguage(u"de-DE", false);
  ASSERT_TRUE(Translator::GetInstance().LoadStrings("Lay"));
  Dialog keys(u"keys.ui.kw", nullptr);
  EXPECT_EQ(keys.GetWindowTitle(), u"Ma\u00dfstab");
  EXPECT_EQ(keys.GetElement<Label>(u"L")->GetText(), u"Seiten");
  EXPECT_EQ(keys.GetElement<ComboBox>(u"C")->GetToolTip(), u"Seiten");
  EXPECT_EQ(keys.GetElement<ComboBox>(u"C")->GetItems(), (std::vector<std::u16string>{u"Alle Seiten", u"1:50"}));
  EXPECT_EQ(keys.GetElement<Edit>(u"E")->GetText(), u"IDS_lower");
  EXPECT_EQ(keys.GetElement<ListBox>(u"T")->GetColumns()[0].title, u"Seiten");
  Dialog plain(u"plain.ui.kw", nullptr);
  EXPECT_EQ(plain.GetWindowTitle(), u"IDS_T");
  EXPECT_EQ(plain.GetElement<Label>(u"L")->GetText(), u"IDS_PAGES");
}

TEST(FileDialog, ReturnsQueuedPathsInOrderAndCancelsWithout) {
  TempAppFolder guard;
  Headless::QueueFileDialogAnswer({u"/tmp/a.pdf", u"/tmp/b.pdf"});
  Headless::QueueFileDialogAnswer({u"/tmp/one.pdf", u"/tmp/two.pdf"});
  EXPECT_EQ(FileDialog(nullptr, true, u"PDF|*.pdf", u""), (std::vector<std::u16string>{u"/tmp/a.pdf", u"/tmp/b.pdf"}));
  EXPECT_EQ(FileDialogEx(nullptr, false, u"Save", u"PDF|*.pdf", u"x.pdf"),
            std::vector<std::u16string>{u"/tmp/one.pdf"});  // a save gives one path
  EXPECT_TRUE(FileDialog(nullptr, true, u"", u"").empty());
  Headless::QueueFileDialogAnswer({});
  Headless::QueueDialogAnswer({});
  EXPECT_EQ(Headless::PendingAnswers(), 2);
  Headless::ClearAnswers();
  EXPECT_EQ(Headless::PendingAnswers(), 0);
}

// A front end that asks a person: it sees the dialog as its init hook left
// it, only when no scripted answer fits, and its answer is applied as a
// scripted one would be. The modeless dialogs shown are listed for it.
TEST_F(DialogTest, AProviderAnswersWhatNoQueuedAnswerFitsAndSeesShownPanels) {
  std::vector<std::u16string> asked;
  Headless::SetDialogProvider([&](Dialog& d) -> std::optional<Headless::DialogAnswer> {
    asked.push_back(d.GetElementByName(u"Edit_Ratio")->GetText());
    return Headless::DialogAnswer{u"", {{u"Edit_Ratio", u"50"}}, kDialogOk};
  });
  Headless::QueueDialogAnswer({u"Scale", {{u"Edit_Ratio", u"queued"}}, 9});
  Dialog first(u"scale.ui.kw", nullptr);
  EXPECT_EQ(first.DoModal(), 9);
  EXPECT_TRUE(asked.empty());

  Dialog second(u"scale.ui.kw", nullptr);
  second.SetInitHook([](Dialog& d) { d.GetElementByName(u"Edit_Ratio")->SetText(u"from init"); });
  EXPECT_EQ(second.DoModal(), kDialogOk);
  EXPECT_EQ(asked, std::vector<std::u16string>{u"from init"});
  EXPECT_EQ(second.GetElementByName(u"Edit_Ratio")->GetText(), u"50");

  Headless::SetDialogProvider([](Dialog&) { return std::nullopt; });
  EXPECT_EQ(Dialog(u"scale.ui.kw", nullptr).DoModal(), kDialogCancel);
  Headless::SetDialogProvider(nullptr);

  {
    Dialog panel(u"scale.ui.kw", nullptr);
    EXPECT_TRUE(Dialog::ShownModeless().empty());
    panel.DoModeless(true);
    EXPECT_EQ(Dialog::ShownModeless(), std::vector<Dialog*>{&panel});
    panel.DoModeless(false);
    EXPECT_TRUE(Dialog::ShownModeless().empty());
    panel.DoModeless(true);
  }
  EXPECT_TRUE(Dialog::ShownModeless().empty()) << "a destroyed panel is no longer listed";
}
