// The manage-toolsets dialog answered by script over a scratch profile:
// creating, renaming (a taken title refused), hiding, deleting (only after
// a yes), exporting and importing packages, and imports that fail with
// their message and change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "host/core_hft.h"
#include "host/editor.h"
#include "host/file_util.h"
#include "host/host_env.h"
#include "host/test_temp_dir.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "tessel/dialog.h"
#include "toolset/tool_chest.h"
#include "toolset/ts_create_dlg.h"
#include "toolset/ts_manage_dlg.h"

namespace AnnotationPlugin {
namespace {

namespace fs = std::filesystem;
using Tessel::Headless::QueueDialogAnswer;
using Tessel::Headless::QueueFileDialogAnswer;

constexpr char16_t kManage[] = u"ts_managetoolboxdlg.ui.kw";
constexpr char16_t kCreate[] = u"ts_createtoolboxdlg.ui.kw";
constexpr char16_t kReplace[] = u"ts_importreplacedlg.ui.kw";
constexpr int kOk = 1, kCancel = 2, kYes = 6, kNo = 7;
constexpr char kSquare[] = "<</Subtype/Square/Rect[0 0 10 10]/C[1 0 0]>>";

void Answer(const char16_t* dialog, int result, std::map<std::u16string, std::u16string> values = {}) {
  QueueDialogAnswer({dialog, std::move(values), result});
}

// A square tool item of a toolset file, in `mode` ("drawing", "properties").
std::string Item(const std::string& name, const std::string& mode) {
  return "<ToolChestItem><Name>" + name + "</Name><Type>Venko.PDF.Annotations.AnnotationSquare</Type>"
         "<Raw>&lt;&lt;/Subtype/Square/Rect[0 0 10 10]&gt;&gt;</Raw><Mode>" + mode + "</Mode></ToolChestItem>";
}

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class ManageToolsetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ::setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    kshost::Env().Reset();
    kshost::Editor::Get().Reset();
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    Widgets::LoadStrings("Annotation");
    Tessel::Headless::ClearAnswers();
    mgr().Reset();
    mgr().SetMirrorSubfolder(u"mirror");
    ASSERT_TRUE(mgr().Reload());
    std::string error;
    for (const char* title : {"Review", "Other"}) {
      auto set = mgr().CreateToolSet(ks::ToUtf16(title), &error);
      ASSERT_TRUE(set) << error;
      auto t = std::make_shared<CAnnot_Tool>();
      t->name = ks::ToUtf16(std::string(title) + "-square");
      t->type = "Venko.PDF.Annotations.AnnotationSquare";
      t->raw = kSquare;
      t->ParseRaw();
      set->tools.push_back(t);
      set->modified = true;
    }
    ASSERT_TRUE(mgr().SaveAll());
    chest_ = std::make_shared<CToolChestPanel>(96, 0, 130);
    mgr().AddEventHandler(chest_);
  }
  void TearDown() override {
    EXPECT_EQ(Tessel::Headless::PendingAnswers(), 0) << "answers left over";
    Tessel::Headless::ClearAnswers();
    mgr().SetMirrorSubfolder(u"");
    mgr().Reset();
    ::unsetenv("XDG_DATA_HOME");
    kshost::Env().Reset();
  }
  static CAnnot_ToolSetMgr& mgr() { return CAnnot_ToolSetMgr::Get(); }
  std::string Folder() const { return dir_ / "annot/toolset"; }
  std::u16string Path(const std::string& name) const { return ks::ToUtf16(Folder() + "/" + name); }

  // The rows of the manager's list: "title visible|hidden file".
  std::vector<std::string> List() const {
    std::vector<std::string> out;
    for (const auto& p : mgr().Preferences()) {
      std::string title = ks::ToUtf8(p->title.empty() && p->toolset ? p->toolset->title : p->title);
      out.push_back(title + (p->visible ? " visible " : " hidden ") + ks::ToUtf8(p->path));
    }
    return out;
  }
  std::vector<std::string> Groups() const {
    std::vector<std::string> out;
    for (const std::string& line : chest_->Describe())
      if (line.rfind("group ", 0) == 0) out.push_back(line.substr(6, line.rfind(' ') - 6));
    return out;
  }
  std::vector<std::string> NewMessages() {
    const auto& all = kshost::Editor::Get().Messages();
    std::vector<std::string> out(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return out;
  }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder()))
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  kshost::testing::TempDir dir_;
  std::shared_ptr<CToolChestPanel> chest_;
  size_t seen_ = 0;
};

TEST_F(ManageToolsetsTest, CreatesRenamesAndHidesToolsets) {
  Answer(kManage, 3);  // create
  Answer(kCreate, kOk, {{u"lineEditTitle", u"  Plans \t"}});
  Answer(kManage, 3);  // create again with a taken title, then an empty one
  Answer(kCreate, kOk, {{u"lineEditTitle", u"Review"}});
  Answer(kCreate, kOk, {{u"lineEditTitle", u" . "}});
  Answer(kCreate, kCancel);
  Answer(kManage, 6, {{u"tableToolsets", u"1"}});  // rename Review: Other is taken
  Answer(kCreate, kOk, {{u"lineEditTitle", u"Other"}});
  Answer(kCreate, kOk, {{u"lineEditTitle", u"Markups"}});
  Answer(kManage, 8, {{u"tableToolsets", u"0,2"}});  // hide My Tools and Other
  Answer(kManage, kOk);
  CTS_ManageToolBoxDlg dlg;
  EXPECT_EQ(dlg.DoModal(), kOk);

  EXPECT_EQ(List(), (std::vector<std::string>{"My Tools hidden favorite.toolset.xml", "Markups visible Review.ktz",
                                              "Other hidden Other.ktz", "Plans visible Plans.ktz"}));
  EXPECT_EQ(Groups(), (std::vector<std::string>{"Markups", "Plans"}));
  // The renamed toolset keeps its file and tools; the hidden ones stay on disk.
  auto renamed = LoadToolSetFile(Path("Review.ktz"), nullptr);
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->title, u"Markups");
  EXPECT_EQ(renamed->tools.size(), 1u);
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"Other.ktz", "Plans.ktz", "Review.ktz", "favorite.toolset.xml",
                                                     "preferences.xml"}));
  const std::string prefs = Read(Folder() + "/preferences.xml");
  EXPECT_NE(prefs.find("<Visible>False</Visible><Path>Other.ktz</Path>"), std::string::npos) << prefs;
  EXPECT_NE(prefs.find("<Path>Review.ktz</Path><Title>Markups</Title>"), std::string::npos) << prefs;
  EXPECT_NE(Read(Folder() + "/mirror/toolsets.xml").find("<Path>Review.ktz</Path><Title>Markups</Title>"),
            std::string::npos);

  // Shown again after a restart as they were left.
  mgr().Reset();
  ASSERT_TRUE(mgr().Reload());
  EXPECT_EQ(List()[1], "Markups visible Review.ktz");
  EXPECT_EQ(List()[2], "Other hidden Other.ktz");
}

TEST_F(ManageToolsetsTest, CancelKeepsTheListButNotTheFilesTheButtonsMade) {
  Answer(kManage, 8, {{u"tableToolsets", u"1"}});
  Answer(kManage, 3);
  Answer(kCreate, kOk, {{u"lineEditTitle", u"Plans"}});
  Answer(kManage, kCancel);
  EXPECT_EQ(CTS_ManageToolBoxDlg().DoModal(), kCancel);
  EXPECT_EQ(List()[1], "Review visible Review.ktz");  // the hiding is undone
  EXPECT_TRUE(fs::exists(Folder() + "/Plans.ktz"));
  EXPECT_NE(Read(Folder() + "/preferences.xml").find("<Path>Plans.ktz</Path>"), std::string::npos);
}

TEST_F(ManageToolsetsTest, DeletesOnlyAfterYes) {
  const std::string before = Read(Folder() + "/preferences.xml");
  Answer(kManage, 7, {{u"tableToolsets", u"1,2"}});
  kshost::Editor::Get().QueueMessageAnswer(kNo);
  Answer(kManage, kCancel);
  CTS_ManageToolBoxDlg dlg;
  dlg.DoModal();
  EXPECT_EQ(NewMessages(), std::vector<std::string>{
                               "Manage Toolsets: Delete the selected toolsets? Their files are removed from the disk."});
  EXPECT_EQ(List().size(), 3u);
  EXPECT_TRUE(fs::exists(Folder() + "/Review.ktz") && fs::exists(Folder() + "/Other.ktz"));
  EXPECT_EQ(Read(Folder() + "/preferences.xml"), before);

  Answer(kManage, 7, {{u"tableToolsets", u"1,2"}});
  kshost::Editor::Get().QueueMessageAnswer(kYes);
  Answer(kManage, kOk);
  EXPECT_EQ(dlg.DoModal(), kOk);
  EXPECT_EQ(dlg.Rows().size(), 1u);
  EXPECT_EQ(List(), std::vector<std::string>{"My Tools visible favorite.toolset.xml"});
  EXPECT_EQ(Groups(), std::vector<std::string>{"My Tools"});
  EXPECT_FALSE(fs::exists(Folder() + "/Review.ktz") || fs::exists(Folder() + "/Other.ktz"));
  for (const std::string file : {"/preferences.xml", "/mirror/toolsets.xml"}) {
    const std::string text = Read(Folder() + file);
    EXPECT_NE(text.find("favorite.toolset.xml"), std::string::npos) << file;
    EXPECT_EQ(text.find("Review.ktz"), std::string::npos) << file << "\n" << text;
    EXPECT_EQ(text.find("Other.ktz"), std::string::npos) << file;
  }
}

TEST_F(ManageToolsetsTest, ExportsAndImportsPackages) {
  const std::string out = dir_ / "out";
  fs::create_directories(out + "/Other.ktz");  // a folder where one export should go
  Answer(kManage, 5, {{u"tableToolsets", u"1"}});
  QueueFileDialogAnswer({ks::ToUtf16(out + "/shared.ktz")});
  Answer(kManage, 5, {{u"tableToolsets", u"0,1,2"}});
  QueueFileDialogAnswer({ks::ToUtf16(out)});
  kshost::Editor::Get().QueueMessageAnswer(kOk);  // the export's message
  Answer(kManage, 7, {{u"tableToolsets", u"1"}});
  kshost::Editor::Get().QueueMessageAnswer(kYes);
  Answer(kManage, 4);
  QueueFileDialogAnswer({ks::ToUtf16(out + "/shared.ktz")});
  Answer(kManage, kOk);
  std::vector<std::string> trace;
  kshost::Editor::Get().SetTrace([&](const std::string& line) { trace.push_back(line); });
  CTS_ManageToolBoxDlg dlg;
  EXPECT_EQ(dlg.DoModal(), kOk);
  kshost::Editor::Get().SetTrace(nullptr);
  // The folder is shown even though one file could not be written.
  EXPECT_NE(std::find(trace.begin(), trace.end(), "shell open: " + out), trace.end());
  EXPECT_EQ(NewMessages(), (std::vector<std::string>{
                               "Manage Toolsets: Some toolsets could not be exported.",
                               "Manage Toolsets: Delete the selected toolsets? Their files are removed from the disk."}));
  EXPECT_TRUE(fs::exists(out + "/My Tools.ktz") && fs::exists(out + "/Review.ktz"));
  EXPECT_EQ(List(), (std::vector<std::string>{"My Tools visible favorite.toolset.xml", "Other visible Other.ktz",
                                              "Review visible shared.ktz"}));
  EXPECT_EQ(Groups(), (std::vector<std::string>{"My Tools", "Other", "Review"}));
  auto imported = mgr().FindToolSet(u"Review");
  ASSERT_TRUE(imported);
  EXPECT_EQ(imported->filePath, Path("shared.ktz"));
  ASSERT_EQ(imported->tools.size(), 1u);
  EXPECT_EQ(imported->tools[0]->name, u"Review-square");
}

TEST_F(ManageToolsetsTest, AFailedImportSaysWhyAndChangesNothing) {
  struct Case {
    const char* file;
    std::string text;
    const char* says;
  } cases[] = {
      {"broken.ktz", "<VenkoToolSet><Title>x</Title><ToolChestItem>", "is not a valid toolset file."},
      {"untitled.ktz", "<VenkoToolSet Version=\"1\"></VenkoToolSet>", "is not a valid toolset file."},
      {"other-root.ktz", "<Toolsets><Title>x</Title></Toolsets>", "is not a valid toolset file."},
      {"properties.ktz", "<VenkoToolSet><Title>p</Title>" + Item("n", "properties") + "</VenkoToolSet>",
       "contains no tools that can be imported."},
  };
  const std::string prefs = Read(Folder() + "/preferences.xml");
  const std::vector<std::string> files = FolderFiles();
  for (const Case& c : cases) {
    const std::string path = dir_ / c.file;
    std::ofstream(path) << c.text;
    Answer(kManage, 4);
    QueueFileDialogAnswer({ks::ToUtf16(path)});
    Answer(kManage, kOk);
    EXPECT_EQ(CTS_ManageToolBoxDlg().DoModal(), kOk);
    const std::vector<std::string> said = NewMessages();
    ASSERT_EQ(said.size(), 1u) << c.file;
    EXPECT_NE(said[0].find(path), std::string::npos) << said[0];
    EXPECT_NE(said[0].find(c.says), std::string::npos) << said[0];
    EXPECT_EQ(FolderFiles(), files) << c.file;
    EXPECT_EQ(Read(Folder() + "/preferences.xml"), prefs) << c.file;
    EXPECT_EQ(List().size(), 3u);
  }
}

TEST_F(ManageToolsetsTest, ReplacingAFileOfTheSameNameIsAskedOnceForAll) {
  const std::string a = dir_ / "a", b = dir_ / "b";
  fs::create_directories(a);
  fs::create_directories(b);
  CAnnot_ToolSet set;
  set.title = u"Fresh";
  for (const std::string& folder : {a, b})
    for (const char* name : {"/Review.ktz", "/Other.ktz"}) ASSERT_TRUE(SaveToolSetFile(set, ks::ToUtf16(folder + name)));
  const std::string review = Read(Folder() + "/Review.ktz");

  // No keeps the file; a ticked box answers the rest of this import.
  Answer(kManage, 4);
  QueueFileDialogAnswer({ks::ToUtf16(a + "/Review.ktz")});
  Answer(kReplace, kCancel);
  Answer(kManage, 4);
  QueueFileDialogAnswer({ks::ToUtf16(a + "/Review.ktz"), ks::ToUtf16(b + "/Review.ktz"), ks::ToUtf16(a + "/Other.ktz")});
  Answer(kReplace, kOk, {{u"checkBoxReplaceAll", u"1"}});
  Answer(kManage, kOk);
  CTS_ManageToolBoxDlg dlg;
  EXPECT_EQ(dlg.DoModal(), kOk);
  EXPECT_NE(review, Read(Folder() + "/Review.ktz"));
  EXPECT_EQ(List(), (std::vector<std::string>{"My Tools visible favorite.toolset.xml", "Fresh visible Review.ktz",
                                              "Fresh visible Other.ktz"}));
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(ManageToolsetsTest, ImportsWhatItCanAndLeavesAFileOfTheFolderWhereItIs) {
  const std::string mixed = dir_ / "mixed.ktz";
  std::ofstream(mixed) << "<VenkoToolSet><Title>Mixed</Title>" + Item("a", "properties") + Item("b", "drawing") +
                              "</VenkoToolSet>";
  const std::string other = Read(Folder() + "/Other.ktz");
  Answer(kManage, 4);
  QueueFileDialogAnswer({ks::ToUtf16(mixed), Path("Other.ktz")});
  Answer(kManage, kOk);
  EXPECT_EQ(CTS_ManageToolBoxDlg().DoModal(), kOk);
  EXPECT_EQ(NewMessages(), std::vector<std::string>{"Manage Toolsets: Some tools in \"" + mixed +
                                                    "\" are not supported and were skipped."});
  auto imported = mgr().FindToolSet(u"Mixed");
  ASSERT_TRUE(imported);
  ASSERT_EQ(imported->tools.size(), 1u);
  EXPECT_EQ(imported->tools[0]->name, u"b");
  EXPECT_EQ(Read(Folder() + "/Other.ktz"), other);  // not asked about, not copied
  EXPECT_EQ(List(), (std::vector<std::string>{"My Tools visible favorite.toolset.xml", "Review visible Review.ktz",
                                              "Other visible Other.ktz", "Mixed visible mixed.ktz"}));
}

TEST_F(ManageToolsetsTest, ACopyThatFailsLeavesTheFileInTheFolder) {
  CAnnot_ToolSet set;
  set.title = u"Fresh";
  const std::string source = dir_ / "Review.ktz";
  ASSERT_TRUE(SaveToolSetFile(set, ks::ToUtf16(source)));
  const std::string target = Folder() + "/Review.ktz", review = Read(target);
  struct Case {
    const char* what;
    std::function<void()> arrange, restore;
    const char* says;
  } cases[] = {
      {"a write that fails", [] {
         kshost::FileFaults faults;
         faults.writes = 1;
         faults.error = ENOSPC;
         kshost::InjectFileFaults(faults);
       }, [] {}, "](No space left on device):"},
      {"a read-only file", [&] { fs::permissions(target, fs::perms::owner_read); },
       [&] { fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write); },
       "The file is in use by another program."},
  };
  for (const Case& c : cases) {
    c.arrange();
    Answer(kManage, 4);
    QueueFileDialogAnswer({ks::ToUtf16(source)});
    Answer(kReplace, kOk);
    Answer(kManage, kOk);
    EXPECT_EQ(CTS_ManageToolBoxDlg().DoModal(), kOk);
    c.restore();
    const std::vector<std::string> said = NewMessages();
    ASSERT_EQ(said.size(), 1u) << c.what;
    EXPECT_NE(said[0].find(c.says), std::string::npos) << said[0];
    EXPECT_EQ(Read(target), review) << c.what;
    EXPECT_EQ(List()[1], "Review visible Review.ktz") << c.what;
  }
}

TEST(CreateToolsetDialog, ShowsThePathAndRefusesTakenOrEmptyTitles) {
  Widgets::LoadStrings("Annotation");
  CAuiDlgCreateToolBox dlg([](const std::u16string& t) { return ToolsetPathFromTitle(u"/f", t); },
                           [](const std::u16string& title, const std::u16string&) { return title == u"Taken"; });
  struct Case {
    std::u16string title, path;
    bool ok;
  } cases[] = {{u" a/b:c? ", u"/f/a_b_c_.ktz", true}, {u"Review. ", u"/f/Review.ktz", true},
               {u" \t", u"", false},                  {u"..", u"", false},
               {u"Taken", u"/f/Taken.ktz", false}};
  for (const Case& c : cases) {
    const auto check = dlg.Validate(c.title);
    EXPECT_EQ(check.path, c.path);
    EXPECT_EQ(check.ok, c.ok);
  }
  Tessel::Headless::ClearAnswers();
  Answer(kCreate, kOk, {{u"lineEditTitle", u"Taken"}});
  Answer(kCreate, kOk, {{u"lineEditTitle", u"\tFine \r\n"}});
  EXPECT_TRUE(dlg.Run().value_or(u"-") == u"Fine");
  Answer(kCreate, kOk, {{u"lineEditTitle", u"Taken"}});
  EXPECT_FALSE(dlg.Run().has_value());  // refused, then no answer: cancelled

  // Typing updates the path, the reason and the OK button.
  std::vector<std::u16string> shown;
  Tessel::Headless::SetDialogProvider([&](Tessel::Dialog& d) -> std::optional<Tessel::Headless::DialogAnswer> {
    auto edit = d.GetElement<Tessel::Edit>(u"lineEditTitle");
    auto ok = d.GetElement<Tessel::ButtonBox>(u"buttonBox")->GetButton(Tessel::StandardButton::Ok);
    for (const char16_t* typed : {u"Taken", u"Tak", u""}) {
      edit->SetText(typed);
      edit->Fire({Tessel::EventKind::Change});
      shown.push_back(d.GetElement<Tessel::Label>(u"labelPathValue")->GetText() + u"|" +
                      d.GetElement<Tessel::Label>(u"labelInfo")->GetText() + (ok->IsEnabled() ? u"|ok" : u"|-"));
    }
    return Tessel::Headless::DialogAnswer{u"", {}, kCancel};
  });
  EXPECT_FALSE(dlg.Run(u"Old").has_value());
  Tessel::Headless::SetDialogProvider(nullptr);
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"/f/Taken.ktz|A toolset with this name already exists.|-",
                                                u"/f/Tak.ktz||ok", u"||-"}));
}

}  // namespace
}  // namespace AnnotationPlugin
