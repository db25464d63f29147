#include "toolset/ts_manage_dlg.h"

#include <algorithm>

#include "plugin/widget_binding.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "tessel/dialog.h"
#include "tessel/file_dialog.h"
#include "toolset/ts_create_dlg.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

constexpr char16_t kLayout[] = u"ts_managetoolboxdlg.ui.kw";
constexpr char16_t kReplaceLayout[] = u"ts_importreplacedlg.ui.kw";
// Results of a headless answer that stand for the buttons of the dialog.
constexpr int kCreate = 3, kImport = 4, kExport = 5, kRename = 6, kDelete = 7, kVisible = 8;
// A dialog answered with nothing but buttons ends at some point.
constexpr int kMostRounds = 1000;
// The host's message box: buttons Yes and No, and the Yes answer.
constexpr uint32_t kYesNo = 4;
constexpr int kYes = 6;
// Without a usable translated filter the pattern names itself.
constexpr char16_t kBuiltInFilter[] = u"*.ktz|*.ktz|";
constexpr char16_t kChecked[] = u"\u2713";

std::u16string Tr(const char* key) { return Widgets::Translate(key); }

// The text of `key` with its placeholder replaced by `file`.
std::u16string WithFile(const char* key, const std::u16string& file) {
  std::u16string text = Tr(key);
  const size_t at = text.find(u"%ls");
  if (at != std::u16string::npos) text.replace(at, 3, file);
  return text;
}

void Tell(const std::u16string& text) {
  host::MessageBox(text.c_str(), Tr("IDS_TS_SELECTTOOLBOX_TITLE").c_str(), 0);
}

void Tell(const char* key, const std::u16string& file) { Tell(WithFile(key, file)); }

// A failure the table has no message for, as the system would word it:
// "[number](reason):path".
void TellSystemError(int code, const std::string& reason, const std::u16string& path) {
  Tell(u"[" + ks::ToUtf16(std::to_string(code)) + u"](" + ks::ToUtf16(reason) + u"):" + path);
}

std::u16string Filter() {
  std::u16string filter = Tr("IDS_TS_SELECTTOOLBOX_FILTER_FTX");
  return filter.find(u'|') == std::u16string::npos ? kBuiltInFilter : filter;
}

std::u16string FileNameOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

template <class T>
void SetText(Tessel::Dialog& d, const std::u16string& name, const std::u16string& text) {
  if (auto e = d.GetElement<T>(name)) e->SetText(text);
}

}  // namespace

std::u16string ToolsetPathFromTitle(const std::u16string& folder, const std::u16string& title) {
  const std::u16string name = ToolsetFileNameFromTitle(title);
  if (name.empty() || folder.empty()) return {};
  return folder + u"/" + name;
}

CTS_ManageToolBoxDlg::CTS_ManageToolBoxDlg(void* parent) : parent_(parent) {}
CTS_ManageToolBoxDlg::~CTS_ManageToolBoxDlg() = default;

void CTS_ManageToolBoxDlg::InitializeControls() {
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  // The rows show what other processes stored since, too.
  if (mgr.Preferences().empty()) mgr.Reload();
  else mgr.Refresh();
  rows_.clear();
  for (const auto& pref : mgr.Preferences()) {
    if (!pref) continue;
    auto row = std::make_shared<ToolsetRowData>();
    row->visible = pref->visible;
    row->path = pref->fullPath;
    row->toolset = pref->toolset;
    row->preference = pref;
    row->title = !pref->title.empty() ? pref->title : pref->toolset ? pref->toolset->title : std::u16string();
    if (row->title.empty() && FileNameOf(row->path) == ks::ToUtf16(kFavoriteToolsetFile))
      row->title = Tr("IDS_MYTOOLS");
    row->shownTitle = row->title;
    rows_.push_back(std::move(row));
  }
}

void CTS_ManageToolBoxDlg::FillTable(Tessel::Dialog& d) {
  d.SetWindowTitle(Tr("IDS_TS_SELECTTOOLBOX_TITLE"));
  SetText<Tessel::Button>(d, u"pushButtonCreate", Tr("IDS_TS_SELECTTOOLBOX_CREATE"));
  SetText<Tessel::Button>(d, u"pushButtonImport", Tr("IDS_TS_SELECTTOOLBOX_IMPORT"));
  SetText<Tessel::Button>(d, u"pushButtonExport", Tr("IDS_TS_SELECTTOOLBOX_EXPORT"));
  SetText<Tessel::Button>(d, u"pushButtonRename", Tr("IDS_TS_SELECTTOOLBOX_RENAME"));
  SetText<Tessel::Button>(d, u"pushButtonDelete", Tr("IDS_TS_SELECTTOOLBOX_DELETE"));
  if (auto box = d.GetElement<Tessel::ButtonBox>(u"buttonBox")) {
    if (auto ok = box->GetButton(Tessel::StandardButton::Ok)) ok->SetText(Tr("IDS_TS_SELECTTOOLBOX_OK"));
    if (auto cancel = box->GetButton(Tessel::StandardButton::Cancel))
      cancel->SetText(Tr("IDS_TS_SELECTTOOLBOX_CANCEL"));
  }
  auto table = d.GetElement<Tessel::ListBox>(u"tableToolsets");
  if (!table) return;
  if (table->GetColumnCount() == 0) {
    table->AddColumn(Tr("IDS_TS_SELECTTOOLBOX_COL_VISIBLE"), 60);
    table->AddColumn(Tr("IDS_TS_SELECTTOOLBOX_COL_TITLE"), 160);
    table->AddColumn(Tr("IDS_TS_SELECTTOOLBOX_COL_PATH"), 300);
  }
  table->DeleteAllRows();
  for (size_t i = 0; i < rows_.size(); ++i) {
    const ToolsetRowData& row = *rows_[i];
    table->AddRow({row.visible ? kChecked : u"", row.title, row.path});
    Tessel::Dialog::TraceValue(u"tableToolsets", u"row " + ks::ToUtf16(std::to_string(i)) + u": " +
                                                     (row.visible ? kChecked : u" ") + u" | " + row.title +
                                                     u" | " + row.path);
  }
  const bool any = !rows_.empty();
  for (const char16_t* name : {u"pushButtonExport", u"pushButtonRename", u"pushButtonDelete"})
    if (auto b = d.GetElementByName(name)) b->Enable(any);
}

int CTS_ManageToolBoxDlg::DoModal() {
  InitializeControls();
  Tessel::Dialog d(kLayout, parent_);
  d.SetInitHook([this](Tessel::Dialog& dlg) { FillTable(dlg); });
  for (int round = 0; round < kMostRounds; ++round) {
    const int result = d.DoModal();
    auto table = d.GetElement<Tessel::ListBox>(u"tableToolsets");
    const std::vector<int> selected = table ? table->GetSelectedRows() : std::vector<int>();
    switch (result) {
      case Tessel::kDialogOk:
        OnOk();
        FilterDone(true);
        return Tessel::kDialogOk;
      case kCreate: OnCreateClicked(); break;
      case kImport: OnImportClicked(); break;
      case kExport: OnExportClicked(selected); break;
      case kRename: OnRenameClicked(selected); break;
      case kDelete: OnDeleteClicked(selected); break;
      case kVisible: OnVisibleClicked(selected); break;
      default:
        FilterDone(false);
        return Tessel::kDialogCancel;
    }
  }
  FilterDone(false);
  return Tessel::kDialogCancel;
}

int CTS_ManageToolBoxDlg::RowOfPath(const std::u16string& path) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->path == path) return static_cast<int>(i);
  return -1;
}

int CTS_ManageToolBoxDlg::RowTitled(const std::u16string& title, int except) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (static_cast<int>(i) != except && rows_[i]->title == title) return static_cast<int>(i);
  return -1;
}

std::shared_ptr<CAnnot_ToolSet> CTS_ManageToolBoxDlg::LoadedToolSet(ToolsetRowData& row) {
  if (!row.toolset) row.toolset = LoadToolSetFile(row.path, nullptr);
  return row.toolset;
}

void CTS_ManageToolBoxDlg::OnCreateClicked() {
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  const std::u16string folder = mgr.ToolsetFolder();
  CAuiDlgCreateToolBox create([folder](const std::u16string& title) { return ToolsetPathFromTitle(folder, title); },
                              [this](const std::u16string& title, const std::u16string& path) {
                                return host::FileExists(path.c_str()) || RowTitled(title) >= 0;
                              },
                              parent_);
  const std::optional<std::u16string> title = create.Run();
  if (!title) return;
  std::string error;
  std::shared_ptr<CAnnot_ToolSet> set = mgr.CreateToolSet(*title, &error);
  if (!set) {
    TellSystemError(0, error, ToolsetPathFromTitle(folder, *title));
    return;
  }
  auto row = std::make_shared<ToolsetRowData>();
  row->title = row->shownTitle = *title;
  row->path = set->filePath;
  row->toolset = set;
  for (const auto& pref : mgr.Preferences())
    if (pref->fullPath == set->filePath) row->preference = pref;
  rows_.push_back(std::move(row));
}

bool CTS_ManageToolBoxDlg::AskReplace(const std::u16string& destination, std::optional<bool>* forAll) {
  if (*forAll) return **forAll;
  Tessel::Dialog d(kReplaceLayout, parent_);
  d.SetInitHook([&](Tessel::Dialog& dlg) {
    dlg.SetWindowTitle(Tr("IDS_TS_SELECTTOOLBOX_TITLE"));
    SetText<Tessel::Label>(dlg, u"labelQuestion",
                           WithFile("IDS_TS_SELECTTOOLBOX_IMPORT_REPLACE_CONFIRM", FileNameOf(destination)));
    SetText<Tessel::CheckBox>(dlg, u"checkBoxReplaceAll", Tr("IDS_TS_SELECTTOOLBOX_REPLACE"));
  });
  const int result = d.DoModal();
  const bool replace = result == Tessel::kDialogOk || result == kYes;
  auto all = d.GetElement<Tessel::CheckBox>(u"checkBoxReplaceAll");
  if (all && all->GetCheck()) *forAll = replace;
  return replace;
}

void CTS_ManageToolBoxDlg::OnImportClicked() {
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  const std::vector<std::u16string> files = Tessel::FileDialog(parent_, true, Filter(), u"");
  std::optional<bool> forAll;
  for (const std::u16string& file : files) {
    const ToolsetImport r =
        mgr.ImportToolSetFile(file, [&](const std::u16string& dest) { return AskReplace(dest, &forAll); });
    const std::u16string& dest = r.destination.empty() ? file : r.destination;
    switch (r.status) {
      case ToolsetImportStatus::kUnreadable:
      case ToolsetImportStatus::kCorrupted: Tell("IDS_TS_SELECTTOOLBOX_IMPORT_CORRUPTED", file); continue;
      case ToolsetImportStatus::kTooLarge: TellSystemError(0, r.reason, file); continue;
      case ToolsetImportStatus::kNoSupportedTool:
        Tell("IDS_TS_SELECTTOOLBOX_IMPORT_FULLY_UNSUPPORTED_TYPES", file);
        continue;
      case ToolsetImportStatus::kDeclined: continue;
      case ToolsetImportStatus::kAccessDenied: Tell("IDS_TS_SELECTTOOLBOX_IMPORT_ACCESS_DENIED", dest); continue;
      case ToolsetImportStatus::kInUse: Tell("IDS_TS_SELECTTOOLBOX_IMPORT_FILE_IN_USE", dest); continue;
      case ToolsetImportStatus::kCopyFailed: TellSystemError(0, r.reason, dest); continue;
      case ToolsetImportStatus::kNotLoaded:
      case ToolsetImportStatus::kImported: break;
    }
    if (r.skippedItems) Tell("IDS_TS_SELECTTOOLBOX_IMPORT_UNSUPPORTED_TYPES", file);
    if (r.status == ToolsetImportStatus::kNotLoaded) {
      Tell("IDS_TS_SELECTTOOLBOX_IMPORT_PARSE_UNEXPECTED", dest);
      continue;
    }
    int at = RowOfPath(dest);
    if (at < 0) {
      rows_.push_back(std::make_shared<ToolsetRowData>());
      at = static_cast<int>(rows_.size()) - 1;
    }
    ToolsetRowData& row = *rows_[static_cast<size_t>(at)];
    row.title = row.shownTitle = r.toolset->title;
    row.path = dest;
    row.visible = true;
    row.toolset = r.toolset;
    for (const auto& pref : mgr.Preferences())
      if (pref->fullPath == dest) row.preference = pref;
  }
}

void CTS_ManageToolBoxDlg::OnExportClicked(const std::vector<int>& selected) {
  std::vector<ToolsetRowData*> chosen;
  for (int i : selected)
    if (i >= 0 && i < static_cast<int>(rows_.size())) chosen.push_back(rows_[static_cast<size_t>(i)].get());
  if (chosen.empty()) return;
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  std::string error;
  if (chosen.size() == 1) {
    ToolsetRowData& row = *chosen[0];
    const std::vector<std::u16string> to =
        Tessel::FileDialog(parent_, false, Filter(), ToolsetFileNameFromTitle(row.title));
    if (to.empty()) return;
    std::shared_ptr<CAnnot_ToolSet> set = LoadedToolSet(row);
    if (!set || !mgr.ExportToolSet(*set, to[0], &error)) Tell("IDS_TS_SELECTTOOLBOX_EXPORT_FAILED", to[0]);
    return;
  }
  // Several toolsets go into one folder, each under the name its title
  // gives; the answer names the folder, or a file in it.
  const std::vector<std::u16string> to = Tessel::FileDialog(parent_, false, Filter(), u"");
  if (to.empty()) return;
  const std::u16string folder = host::DirectoryExists(to[0].c_str()) ? to[0] : FolderOf(to[0]);
  bool failed = false;
  for (ToolsetRowData* row : chosen) {
    const std::u16string path = ToolsetPathFromTitle(folder, row->title);
    std::shared_ptr<CAnnot_ToolSet> set = LoadedToolSet(*row);
    if (path.empty() || !set || !mgr.ExportToolSet(*set, path, &error)) failed = true;
  }
  if (failed) Tell(Tr("IDS_TS_SELECTTOOLBOX_EXPORT_PARTLY"));
  host::AppShellOpen(folder.c_str());
}

void CTS_ManageToolBoxDlg::OnRenameClicked(const std::vector<int>& selected) {
  if (selected.empty() || selected[0] < 0 || selected[0] >= static_cast<int>(rows_.size())) return;
  const int at = selected[0];
  ToolsetRowData& row = *rows_[static_cast<size_t>(at)];
  std::shared_ptr<CAnnot_ToolSet> set = LoadedToolSet(row);
  if (!set) {
    Tell("IDS_TS_SELECTTOOLBOX_IMPORT_PARSE_UNEXPECTED", row.path);
    return;
  }
  // The file keeps its name: the title lives inside it. Another toolset's
  // title, or the file another title would make, is refused.
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  const std::u16string folder = mgr.ToolsetFolder();
  const std::u16string own = row.path;
  CAuiDlgCreateToolBox rename(
      [own](const std::u16string& title) { return ToolsetFileNameFromTitle(title).empty() ? u"" : own; },
      [this, at, folder, own](const std::u16string& title, const std::u16string&) {
        const std::u16string wouldBe = ToolsetPathFromTitle(folder, title);
        return RowTitled(title, at) >= 0 || (wouldBe != own && host::FileExists(wouldBe.c_str()));
      },
      parent_);
  const std::optional<std::u16string> title = rename.Run(row.title);
  if (!title || *title == row.title) return;
  std::string error;
  if (!mgr.RenameToolSet(*set, *title, &error)) {
    TellSystemError(0, error, row.path);
    return;
  }
  row.title = row.shownTitle = *title;
}

void CTS_ManageToolBoxDlg::OnDeleteClicked(const std::vector<int>& selected) {
  std::vector<int> chosen;
  for (int i : selected)
    if (i >= 0 && i < static_cast<int>(rows_.size())) chosen.push_back(i);
  if (chosen.empty()) return;
  const std::u16string question = Tr("IDS_TS_SELECTTOOLBOX_CONFIRM_DELETE");
  if (host::MessageBox(question.c_str(), Tr("IDS_TS_SELECTTOOLBOX_TITLE").c_str(), kYesNo) != kYes) return;
  std::sort(chosen.rbegin(), chosen.rend());
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  for (int i : chosen) {
    std::string error;
    if (!mgr.DeleteToolSet(rows_[static_cast<size_t>(i)]->path, &error)) {
      TellSystemError(0, error, rows_[static_cast<size_t>(i)]->path);
      continue;
    }
    rows_.erase(rows_.begin() + i);
  }
}

void CTS_ManageToolBoxDlg::OnVisibleClicked(const std::vector<int>& selected) {
  for (int i : selected)
    if (i >= 0 && i < static_cast<int>(rows_.size())) rows_[static_cast<size_t>(i)]->visible = !rows_[static_cast<size_t>(i)]->visible;
}

bool CTS_ManageToolBoxDlg::OnOk() {
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> list;
  for (const auto& row : rows_) {
    auto p = std::make_shared<CAnnot_ToolSetPreference>();
    p->fullPath = row->path;
    p->path = row->preference ? row->preference->path : std::u16string();
    p->expand = row->preference ? row->preference->expand : true;
    p->visible = row->visible;
    // A title the dialog only filled in for display stays unwritten.
    const bool untouched = row->preference && row->preference->title.empty() && row->title == row->shownTitle;
    p->title = untouched ? std::u16string() : row->title;
    // A hidden toolset read here only to export it is not written back.
    p->toolset = p->visible ? LoadedToolSet(*row) : row->preference ? row->preference->toolset : nullptr;
    list.push_back(std::move(p));
  }
  return CAnnot_ToolSetMgr::Get().CommitToolSetPreferences(std::move(list));
}

void CTS_ManageToolBoxDlg::FilterDone(bool committed) {
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  if (mgr.Preferences().empty()) mgr.Reload();
  const int dropped = mgr.DropMissingPreferences();
  // After cancel the list keeps what the buttons did to the files.
  if (!committed || dropped > 0) {
    mgr.SavePreferences();
    mgr.Dispatch([](IAnnot_ToolSetEventHandler& h) { h.OnToolSetPreferencesCommitted(); });
  }
}

}  // namespace AnnotationPlugin
