// The markups list of the page and what the status bar says: the list's
// rows, groups and totals as the measurement library arranges them, the
// same as CSV, selecting a markup from the list, and the prompt of the
// current tool's next step.
#include <cctype>
#include <charconv>
#include <filesystem>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/panels.h"
#include "host/utf.h"
#include "measure/cma_markup_list.h"
#include "serve/json_writer.h"
#include "serve/server_impl.h"
#include "serve/tool_prompt.h"
#include "tessel/translator.h"

namespace annotserve {

namespace fs = std::filesystem;
using kshost::Editor;
using namespace AnnotationPlugin;

namespace {

std::string Utf8(const std::u16string& s) { return kshost::ToUtf8(s); }

}  // namespace

// A measurement's kind in the plug-in's words; another annotation's kind in
// the editor's ("IDS_EDITOR_KIND_SQUARE"), else its subtype.
std::u16string KindWords(const std::string& key) {
  Tessel::Translator& tr = Tessel::Translator::GetInstance();
  if (key.rfind("IDS_", 0) == 0) return tr.Translate("Annotation", key, u"");
  std::string editorKey = "IDS_EDITOR_KIND_";
  for (char c : key) editorKey += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::u16string text = kshost::EditorText(editorKey.c_str());
  return text.empty() ? kshost::ToUtf16(key) : text;
}

namespace {

const char* const kColumnKeys[] = {"IDS_EDITOR_MARKUP_PAGE",  "IDS_EDITOR_MARKUP_KIND",   "IDS_EDITOR_MARKUP_SUBJECT",
                                   "IDS_EDITOR_MARKUP_LABEL", "IDS_EDITOR_MARKUP_VALUE",  "IDS_EDITOR_MARKUP_AUTHOR",
                                   "IDS_EDITOR_MARKUP_DATE"};
const char* const kTotalsKeys[] = {"IDS_EDITOR_MARKUP_GROUP", "IDS_EDITOR_MARKUP_KIND", "IDS_EDITOR_MARKUP_TOTAL",
                                   "IDS_EDITOR_MARKUP_COUNT"};

// The query of a request; false with the reason for words it does not know.
bool ReadQuery(const httplib::Request& req, MarkupQuery* q, std::string* why) {
  q->filter = kshost::ToUtf16(req.get_param_value("filter").substr(0, 200));
  if (req.has_param("sort") && !ParseMarkupColumn(req.get_param_value("sort"), &q->sort)) {
    *why = "the list sorts by page, kind, subject, label, value, author or date";
    return false;
  }
  q->descending = req.get_param_value("desc") == "1";
  if (!ParseMarkupGrouping(req.get_param_value("group"), &q->grouping)) {
    *why = "the list groups by none, label or kind";
    return false;
  }
  return true;
}

// The words of the markups list, the status bar, the tooltips and the
// tool chest's own controls, in the editor's language.
const char* const kPageWords[] = {
    "IDS_EDITOR_MARKUPS",           "IDS_EDITOR_MARKUPS_TIP",        "IDS_EDITOR_MARKUP_PAGE",
    "IDS_EDITOR_MARKUP_KIND",       "IDS_EDITOR_MARKUP_SUBJECT",     "IDS_EDITOR_MARKUP_LABEL",
    "IDS_EDITOR_MARKUP_VALUE",      "IDS_EDITOR_MARKUP_AUTHOR",      "IDS_EDITOR_MARKUP_DATE",
    "IDS_EDITOR_MARKUP_TOTAL",      "IDS_EDITOR_MARKUP_COUNT",       "IDS_EDITOR_MARKUP_FILTER",
    "IDS_EDITOR_MARKUP_FILTER_TIP", "IDS_EDITOR_MARKUP_GROUP_BY",    "IDS_EDITOR_MARKUP_GROUP_NONE",
    "IDS_EDITOR_MARKUP_EXPORT",     "IDS_EDITOR_MARKUP_EXPORT_TIP",  "IDS_EDITOR_MARKUP_SORT_TIP",
    "IDS_EDITOR_MARKUP_NONE",       "IDS_EDITOR_MARKUP_TOTAL_ROW",   "IDS_EDITOR_UNSAVED",
    "IDS_EDITOR_ALL_SAVED",         "IDS_EDITOR_POSITION_TIP",       "IDS_EDITOR_TIP_SELECT",
    "IDS_EDITOR_TIP_UNDO",          "IDS_EDITOR_TIP_REDO",           "IDS_EDITOR_TIP_SAVE",
    "IDS_EDITOR_TIP_DOWNLOAD",      "IDS_EDITOR_BUSY",               "IDS_EDITOR_TOOLSET_NEW",
    "IDS_EDITOR_TOOLSET_NEW_TIP",   "IDS_EDITOR_TOOLSET_TITLE",      "IDS_EDITOR_TOOLSET_RENAME",
    "IDS_EDITOR_TOOLSET_RENAME_TIP", "IDS_EDITOR_TOOLSET_DELETE",    "IDS_EDITOR_TOOLSET_DELETE_TIP",
    "IDS_EDITOR_TOOLSET_DELETE_ASK", "IDS_EDITOR_TOOLSET_CAPTURE",   "IDS_EDITOR_TOOLSET_CAPTURE_TIP",
    "IDS_EDITOR_TOOLSET_TOOL_TIP",  "IDS_EDITOR_TOOLSET_GROUP_TIP",  "IDS_EDITOR_PAGE_TIP",
};

bool ToolBusy(KA_Tool tool) {
  return tool && tool->callbacks.IsBusy && tool->callbacks.IsBusy(tool->callbacks.clientData) != 0;
}

}  // namespace

bool Server::Impl::CurrentToolBusy() const { return ToolBusy(Editor::Get().CurrentTool()); }

void Server::Impl::WriteStatus(JsonWriter& json, int page) {
  KA_Tool tool = Editor::Get().CurrentTool();
  const bool busy = ToolBusy(tool);
  if (!busy) clicks.After(false, false, false);
  const char* key = tool ? ToolPromptKey(tool->name, busy, clicks.Count()) : nullptr;
  json.Field("busy", busy).Field("prompt", key ? Utf8(kshost::EditorText(key)) : std::string());
  double factor = 0;
  std::u16string unit;
  json.Key("lengthUnit");
  if (session && PageLengthUnit(session->Document(), page, &factor, &unit))
    json.BeginObject().Key("c").Number(factor).Field("u", Utf8(unit)).EndObject();
  else
    json.Null();
}

void Server::Impl::MarkupRoutes(const std::function<httplib::Server::Handler(httplib::Server::Handler)>& guard) {
  // The list as the page shows it: groups of rows, each with its totals.
  http.Get("/api/markups", guard([this](const httplib::Request& req, httplib::Response& res) {
             MarkupQuery query;
             std::string why;
             if (!ReadQuery(req, &query, &why)) return Refuse(res, 400, why);
             OnHost(res, [this, query](httplib::Response& r) {
               const std::vector<MarkupRow> rows = CollectMarkups(session->Document(), KindWords);
               const std::vector<MarkupGroup> groups = ArrangeMarkups(rows, query);
               JsonWriter json;
               json.BeginObject().Field("doc", docVersion).Field("count", static_cast<int>(rows.size()));
               json.Key("groups").BeginArray();
               for (const MarkupGroup& g : groups) {
                 json.BeginObject().Field("title", Utf8(g.title)).Key("rows").BeginArray();
                 for (size_t i : g.rows) {
                   const MarkupRow& m = rows[i];
                   json.BeginObject()
                       .Field("page", m.page)
                       .Field("index", m.index)
                       .Field("kind", Utf8(m.kind))
                       .Field("subject", Utf8(m.subject))
                       .Field("label", Utf8(m.label))
                       .Field("value", Utf8(m.value))
                       .Field("author", Utf8(m.author))
                       .Field("date", ShownMarkupDate(m.date))
                       .Field("measure", !m.kindKey.empty())
                       .Key("rect")
                       .BeginArray();
                   for (float v : {m.rect.left, m.rect.bottom, m.rect.right, m.rect.top}) json.Number(v);
                   json.EndArray().EndObject();
                 }
                 json.EndArray().Key("totals").BeginArray();
                 for (const MeasureTotals::Total& t : g.totals)
                   json.BeginObject()
                       .Field("kind", Utf8(KindWords(t.kindKey)))
                       .Field("total", Utf8(MeasureTotals::SumText(t)))
                       .Field("count", t.count)
                       .Field("summed", t.summed)
                       .EndObject();
                 json.EndArray().EndObject();
               }
               json.EndArray().EndObject();
               r.set_header("Cache-Control", "no-store");
               r.set_content(json.Take(), "application/json");
             });
           }));
  // The same list as a file: what the list shows, totals included.
  http.Get("/api/markups.csv", guard([this](const httplib::Request& req, httplib::Response& res) {
             MarkupQuery query;
             std::string why;
             if (!ReadQuery(req, &query, &why)) return Refuse(res, 400, why);
             OnHost(res, [this, query](httplib::Response& r) {
               const std::vector<MarkupRow> rows = CollectMarkups(session->Document(), KindWords);
               std::vector<std::u16string> columns, totals;
               for (const char* key : kColumnKeys) columns.push_back(kshost::EditorText(key));
               for (const char* key : kTotalsKeys) totals.push_back(kshost::EditorText(key));
               std::string name = fs::path(options.pdfPath).stem().string() + "-markups.csv";
               std::string safe;
               for (char c : name)
                 safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
               r.set_header("Content-Disposition", "attachment; filename=\"" + safe + "\"");
               r.set_header("Cache-Control", "no-store");
               r.set_content(MarkupCsv(rows, ArrangeMarkups(rows, query), columns, totals, KindWords),
                             "text/csv; charset=utf-8");
             });
           }));
  // The words of the list, the status bar, the tooltips and the chest, in
  // the session's language; the page asks once.
  http.Get("/api/words", guard([this](const httplib::Request&, httplib::Response& res) {
             OnHost(res, [this](httplib::Response& r) {
               if (pageWords.first != language) {
                 JsonWriter words;
                 words.BeginObject();
                 for (const char* word : kPageWords) words.Field(word, Utf8(kshost::EditorText(word)));
                 pageWords = {language, words.EndObject().Take()};
               }
               r.set_content(pageWords.second, "application/json");
             });
           }));
  // The side panels as they draw themselves (the tool chest's previews),
  // with their rows; the page asks when the rows changed.
  http.Get("/api/panels", guard([this](const httplib::Request&, httplib::Response& res) {
             OnHost(res, [this](httplib::Response& r) {
               JsonWriter json;
               json.BeginObject();
               for (const std::string& name : kshost::PanelNames()) {
                 std::vector<std::string> rows;
                 std::vector<kshost::DrawItem> drawn;
                 std::string why;
                 kshost::RunPanelCommand(name, {"show"}, &why, &rows, &drawn);
                 chestRows[name] = rows;
                 json.Key(name).BeginObject().Key("rows").BeginArray();
                 for (const std::string& row : rows) json.String(row);
                 json.EndArray().Key("drawn").BeginArray();
                 WriteDrawItems(json, drawn);
                 json.EndArray().EndObject();
               }
               r.set_header("Cache-Control", "no-store");
               r.set_content(json.EndObject().Take(), "application/json");
             });
           }));
  // Selects one markup with the Select tool and shows its page; Delete
  // then deletes it as on the page.
  http.Post("/api/select", guard([this](const httplib::Request& req, httplib::Response& res) {
              int page = -1, index = -1;
              const std::string p = req.get_param_value("page"), i = req.get_param_value("index");
              if (std::from_chars(p.data(), p.data() + p.size(), page).ec != std::errc() ||
                  std::from_chars(i.data(), i.data() + i.size(), index).ec != std::errc())
                return Refuse(res, 400, "a selection needs 'page' and 'index'");
              OnHost(res, [this, page, index](httplib::Response& r) {
                KPD_Document pdf = session->Document();
                KA_Document doc = session->AppDocument();
                KPD_Page pageObj = page >= 0 && page < kshost::direct::DocPageCount(pdf) ? kshost::direct::DocGetPage(pdf, page)
                                                                                     : nullptr;
                KPD_Dictionary dict = pageObj && index >= 0 && index < kshost::direct::PageAnnotCount(pageObj)
                                          ? kshost::direct::PageGetAnnot(pageObj, index)
                                          : nullptr;
                KA_Annot annot = dict ? Editor::Get().AnnotFor(doc, dict) : nullptr;
                if (!annot) return Refuse(r, 404, "that markup is no longer there; the list is shown anew");
                Editor& editor = Editor::Get();
                if (editor.CurrentTool() != editor.FindTool("Hand")) editor.SetCurrentTool(editor.FindTool("Hand"), false);
                if (page != doc->activePage) {
                  KA_PageView now = editor.View(doc->activePage);
                  editor.SetView(page, now ? now->zoom : 1, now ? now->rotation : 0);
                }
                editor.DeselectAll(doc);
                editor.Select(doc, annot, false);
                editor.SetFocused(doc, annot);
                editor.Invalidate(doc, page);
                editor.PaintIfNeeded();
                windowItems.clear();
                Publish();
                ReplyState(r);
              });
            }));
}

}  // namespace annotserve
