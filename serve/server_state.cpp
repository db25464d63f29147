// The snapshot of everything the page shows, taken on the host thread
// after each job: the view, the overlay, the ribbon, the panels, the
// messages and tips, and what waits for the person.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <variant>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/panels.h"
#include "host/ribbon.h"
#include "host/utf.h"
#include "serve/json_writer.h"
#include "serve/server_impl.h"
#include "tessel/dialog.h"

namespace annotserve {

namespace fs = std::filesystem;
using kshost::Editor;

namespace {

std::string Utf8(const std::u16string& s) { return kshost::ToUtf8(s); }

// Colour references are 0x00BBGGRR; the page takes #RRGGBB.
std::string Colour(KS_ColorRef c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return text;
}

}  // namespace

void WriteDrawItems(JsonWriter& json, const std::vector<kshost::DrawItem>& items) {
  for (const kshost::DrawItem& item : items) {
    if (item.kind == kshost::DrawItem::Kind::Appearance) continue;
    json.BeginObject();
    json.Field("k", item.kind == kshost::DrawItem::Kind::Rect   ? "rect"
                    : item.kind == kshost::DrawItem::Kind::Line ? "line"
                                                                : "path");
    json.Key("p").BeginArray();
    for (const KS_DevicePoint& p : item.points) json.Int(p.x).Int(p.y);
    json.EndArray();
    json.Field("closed", item.closed).Field("c", Colour(item.pen.color)).Field("w", item.pen.width);
    json.Field("dash", item.pen.style != 0).Key("fill");
    if (item.brush.hollow)
      json.Null();
    else
      json.String(Colour(item.brush.color));
    json.EndObject();
  }
}

namespace {

// The title of one of the editor's own tabs, which the ribbon keeps by name
// ("Ribbon_Category_Comment" is titled by "IDS_EDITOR_TAB_COMMENT").
std::u16string TabTitle(const std::string& name) {
  constexpr std::string_view kPrefix = "Ribbon_Category_";
  if (name.compare(0, kPrefix.size(), kPrefix) != 0) return {};
  std::string key = "IDS_EDITOR_TAB_";
  for (char c : name.substr(kPrefix.size())) key += char(std::toupper(static_cast<unsigned char>(c)));
  return kshost::EditorText(key.c_str());
}

void WriteRibbon(JsonWriter& json, const KA_RibbonElement__& e) {
  const std::u16string title = e.title.empty() && !e.contextual ? TabTitle(e.name) : e.title;
  json.BeginObject()
      .Field("name", e.name)
      .Field("title", Utf8(title))
      .Field("tooltip", Utf8(e.tooltip))
      .Field("kind", e.kind)
      .Field("enabled", e.enabled)
      .Field("checked", e.checked)
      .Field("press", e.press);
  if (e.kind == KS_RIBBON_SLIDER)
    json.Field("min", e.sliderMin).Field("max", e.sliderMax).Field("value", e.sliderValue);
  json.Key("children").BeginArray();
  std::vector<const KA_RibbonElement__*> children;
  for (const auto& c : e.children) children.push_back(c.get());
  std::stable_sort(children.begin(), children.end(), [](auto* a, auto* b) { return a->position < b->position; });
  for (const KA_RibbonElement__* child : children) WriteRibbon(json, *child);
  json.EndArray().EndObject();
}

// The editor's own words the page shows, in the current language.
void WriteWords(JsonWriter& json) {
  static const char* const kWords[] = {"IDS_EDITOR_PAGE_SCALE",   "IDS_EDITOR_NO_SCALE",     "IDS_EDITOR_ZOOM_TIP",
                                       "IDS_EDITOR_ZOOM_IN",      "IDS_EDITOR_ZOOM_OUT",     "IDS_EDITOR_FIT_PAGE",
                                       "IDS_EDITOR_FIT_PAGE_TIP", "IDS_EDITOR_FIT_WIDTH",    "IDS_EDITOR_FIT_WIDTH_TIP",
                                       "IDS_EDITOR_PREV_PAGE",    "IDS_EDITOR_NEXT_PAGE",    "IDS_EDITOR_ROTATE_VIEW",
                                       // the properties panel
                                       "IDS_EDITOR_PROPS_TITLE", "IDS_EDITOR_PROPS_SUBJECT", "IDS_EDITOR_PROPS_VALUE",
                                       "IDS_EDITOR_PROPS_LABEL", "IDS_EDITOR_PROPS_COLOR", "IDS_EDITOR_PROPS_FILL",
                                       "IDS_EDITOR_PROPS_NONE", "IDS_EDITOR_PROPS_WIDTH", "IDS_EDITOR_PROPS_DASH",
                                       "IDS_EDITOR_PROPS_OPACITY", "IDS_EDITOR_PROPS_START", "IDS_EDITOR_PROPS_END",
                                       "IDS_EDITOR_PROPS_SEVERAL", "IDS_EDITOR_PROPS_CONTENTS", "IDS_EDITOR_PROPS_FONT_SIZE",
                                       "IDS_EDITOR_PROPS_FONT_COLOR",
                                       "IDS_EDITOR_PROPS_CLOSE",
                                       // the line endings, by their PDF names in capitals
                                       "IDS_EDITOR_ENDING_NONE", "IDS_EDITOR_ENDING_SQUARE", "IDS_EDITOR_ENDING_CIRCLE",
                                       "IDS_EDITOR_ENDING_DIAMOND", "IDS_EDITOR_ENDING_OPENARROW",
                                       "IDS_EDITOR_ENDING_CLOSEDARROW", "IDS_EDITOR_ENDING_BUTT",
                                       "IDS_EDITOR_ENDING_ROPENARROW", "IDS_EDITOR_ENDING_RCLOSEDARROW",
                                       "IDS_EDITOR_ENDING_SLASH"};
  json.BeginObject();
  for (const char* key : kWords) json.Field(key, Utf8(kshost::EditorText(key)));
  json.EndObject();
}

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

void Server::Impl::CatchUpVersion() {
  const kshost::DocumentMoment now = kshost::MomentOf(session ? session->Document() : nullptr);
  if (now == versionMoment) return;
  if (now.document == versionMoment.document) ++docVersion;
  versionMoment = now;
}

void Server::Impl::OnEvent(const kshost::EditorEvent& event) {
  auto keep = [](std::deque<std::string>& lines, std::string text) {
    lines.push_back(std::move(text));
    while (lines.size() > kKeptLines) lines.pop_front();
  };
  std::visit(Overloaded{
                 [&](const kshost::UndoEvent&) {
                   ++docVersion;
                   versionMoment = kshost::MomentOf(session ? session->Document() : nullptr);
                 },
                 [&](const kshost::MessageEvent& e) { keep(messages, e.Shown()); },
                 [&](const kshost::TipEvent& e) { keep(tips, e.text); },
                 [&](const kshost::PanelValueEvent& e) {
                   auto it = std::find_if(panelValues.begin(), panelValues.end(),
                                          [&](auto& p) { return p.first == e.element; });
                   if (it != panelValues.end())
                     it->second = e.value;
                   else if (panelValues.size() < 200)
                     panelValues.emplace_back(e.element, e.value);
                 },
                 [](const auto&) {},
             },
             event);
}

void Server::Impl::RefreshChest() {
  for (const std::string& name : kshost::PanelNames()) {
    std::vector<std::string> rows;
    std::string why;
    kshost::RunPanelCommand(name, {"show"}, &why, &rows);
    chestRows[name] = rows;
  }
}

// The elements of a dialog as the page draws them: kind, name, text,
// state, and the items of lists.
void Server::Impl::WriteElements(JsonWriter& json, Tessel::Dialog& dialog) {
  static const char* const kTypes[] = {"generic",  "edit",    "label",     "button",  "buttonbox",
                                       "combobox", "listbox", "hyperlink", "checkbox"};
  json.BeginArray();
  for (const auto& e : dialog.GetElements()) {
    json.BeginObject()
        .Field("name", Utf8(e->GetName()))
        .Field("type", kTypes[static_cast<int>(e->GetType())])
        .Field("text", Utf8(e->GetText()))
        .Field("visible", e->IsVisible())
        .Field("enabled", e->IsEnabled())
        .Field("tooltip", Utf8(e->GetToolTip()));
    if (auto* combo = dynamic_cast<Tessel::ComboBox*>(e.get())) {
      json.Key("items").BeginArray();
      for (const std::u16string& item : combo->GetItems()) json.String(Utf8(item));
      json.EndArray().Field("selected", combo->GetCurSel()).Field("editable", combo->IsEditable());
    } else if (auto* check = dynamic_cast<Tessel::CheckBox*>(e.get())) {
      json.Field("checked", check->IsChecked());
    } else if (auto* edit = dynamic_cast<Tessel::Edit*>(e.get())) {
      json.Field("readonly", edit->IsReadOnly());
    } else if (auto* list = dynamic_cast<Tessel::ListBox*>(e.get())) {
      json.Key("columns").BeginArray();
      for (int c = 0; c < list->GetColumnCount(); ++c) json.String(Utf8(list->GetColumns()[c].title));
      json.EndArray().Key("rows").BeginArray();
      for (int r = 0; r < list->GetRowCount() && r < 500; ++r) {
        json.BeginArray();
        for (int c = 0; c < list->GetColumnCount(); ++c) json.String(Utf8(list->GetCellText(r, c)));
        json.EndArray();
      }
      json.EndArray().Field("selected", list->GetCurSel());
    }
    json.EndObject();
  }
  json.EndArray();
}

void Server::Impl::Publish() {
  Editor& editor = Editor::Get();
  KA_Document doc = session ? session->AppDocument() : nullptr;
  JsonWriter json;
  json.BeginObject().Field("lang", language).Key("words");
  WriteWords(json);
  if (doc) {
    const int pages = kshost::direct::DocPageCount(session->Document());
    const int page = std::clamp(doc->activePage, 0, std::max(0, pages - 1));
    KA_PageView view = editor.View(page);
    json.Field("pages", pages).Field("page", page);
    if (view) {
      const KS_Matrix& m = view->pageToDevice;
      json.Key("zoom").Number(view->zoom).Field("rotation", view->rotation).Key("matrix").BeginArray();
      for (float v : {m.a, m.b, m.c, m.d, m.e, m.f}) json.Number(v);
      json.EndArray();
    }
    // What the page draws besides its annotations changes rarely (never
    // through the tools); the browser keeps it drawn until it does.
    const kshost::DocumentMoment now = kshost::MomentOf(session->Document());
    if (look.asked != now || look.page != page) look = {now, page, looks.LastChange(session->Document(), page)};
    json.Field("look", look.changed.Text());
    json.Key("undo").UInt(doc->undo.UndoCount()).Key("redo").UInt(doc->undo.RedoCount());
    json.Field("scale", kshost::PageScaleText(session->Document(), page));
    WriteStatus(json, page);
    json.Key("overlay").BeginArray();
    // Painting again would send draw events; they go nowhere here.
    if (view) WriteDrawItems(json, editor.Paint(view));
    WriteDrawItems(json, windowItems);
    json.EndArray();
    json.Key("selection");
    WriteSelection(json, view);
  }
  CatchUpVersion();
  json.Field("doc", docVersion).Field("saves", saves.load());
  json.Field("file", fs::path(options.pdfPath).filename().string());
  json.Field("unsaved", Unsaved()).Field("propertiesAsked", editor.PropertiesAsked());
  KA_Tool tool = editor.CurrentTool();
  json.Field("tool", tool ? tool->name : "").Field("cursor", editor.Cursor());
  json.Key("ribbon").BeginArray();
  // A contextual tab is listed while it is shown, after the editor's own.
  for (const auto& category : kshost::Ribbon::Get().Categories())
    if (!category->contextual || !category->context.empty()) WriteRibbon(json, *category);
  json.EndArray();
  // Values shown by a panel that is no longer shown are of a figure gone.
  if (Tessel::Dialog::ShownModeless().empty()) panelValues.clear();
  json.Key("panel").BeginArray();
  for (const auto& [element, value] : panelValues) json.BeginArray().String(element).String(value).EndArray();
  json.EndArray().Key("sides").BeginArray();
  for (Tessel::Dialog* side : Tessel::Dialog::ShownModeless()) {
    json.BeginObject().Field("name", Utf8(side->GetName())).Field("title", Utf8(side->GetWindowTitle()));
    json.Key("elements");
    WriteElements(json, *side);
    json.EndObject();
  }
  json.EndArray().Key("chest").BeginObject();
  for (const auto& [name, rows] : chestRows) {
    json.Key(name).BeginArray();
    for (const std::string& row : rows) json.String(row);
    json.EndArray();
  }
  json.EndObject().Key("messages").BeginArray();
  for (const std::string& m : messages) json.String(m);
  json.EndArray().Key("tips").BeginArray();
  for (const std::string& t : tips) json.String(t);
  json.EndArray().EndObject();
  std::lock_guard lock(shared);
  hostJson = json.Take();
  published = true;
  ++seq;
}

std::string Server::Impl::StateJson() {
  std::lock_guard lock(shared);
  JsonWriter json;
  json.BeginObject().Field("seq", seq).Key("host").Raw(hostJson).Key("modal").Raw(modalJson).EndObject();
  return json.Take();
}

}  // namespace annotserve
