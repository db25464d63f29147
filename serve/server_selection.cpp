// The selection as the page draws and edits it: where each selected
// annotation of the shown page is (for grips and outlines while dragging),
// what its properties panel shows, and the requests that arrange the
// selection or set a property.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "host/annot_edit.h"
#include "host/annot_props.h"
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/utf.h"
#include "measure/cma_markup_list.h"
#include "serve/server_impl.h"

namespace annotserve {

using kshost::Editor;

namespace {

std::string Hex(const std::optional<std::array<float, 3>>& c) {
  if (!c) return {};
  char text[8];
  auto byte = [](float v) { return unsigned(std::lround(v * 255)); };
  std::snprintf(text, sizeof text, "#%02X%02X%02X", byte((*c)[0]), byte((*c)[1]), byte((*c)[2]));
  return text;
}

// The geometry points of an annotation whose points are dragged one by
// one: the ends of /L, the pairs of /Vertices; none for the others, which
// are resized by their frame.
std::vector<KS_FloatPoint> GripPoints(KA_Annot annot) {
  KPD_Dictionary dict = kshost::direct::AnnotGetDict(annot);
  KPD_Object array = kshost::direct::DictGet(dict, "/L");
  if (!array) array = kshost::direct::DictGet(dict, "/Vertices");
  std::vector<KS_FloatPoint> points;
  const int n = array ? std::min(kshost::direct::ArrayCount(array), 2000) : 0;
  std::vector<float> numbers(size_t(std::max(n, 0)));
  const int got = n > 0 ? kshost::direct::ArrayGetNumbers(array, numbers.data(), n) : 0;
  for (int i = 0; i + 1 < got; i += 2) points.push_back({numbers[size_t(i)], numbers[size_t(i) + 1]});
  return points;
}

}  // namespace

void WriteSelection(JsonWriter& json, KA_PageView view) {
  Editor& editor = Editor::Get();
  json.BeginArray();
  if (!view) return void(json.EndArray());
  KA_Document doc = view->doc;
  KA_Annot focused = editor.Focused(doc);
  for (KA_Annot annot : editor.Selection(doc)) {
    const bool here = editor.PageIndexOf(annot) == view->pageIndex;
    KS_FloatRect rect{};
    KS_DeviceRect box{};
    json.BeginObject().Field("here", here).Field("focused", annot == focused);
    if (here && kshost::direct::AnnotGetRect(annot, &rect) && kshost::edit::PageRectToDevice(view, rect, &box))
      json.Key("rect").BeginArray().Int(box.left).Int(box.top).Int(box.right).Int(box.bottom).EndArray();
    json.Key("points").BeginArray();
    for (const KS_FloatPoint& p : here ? GripPoints(annot) : std::vector<KS_FloatPoint>{}) {
      KS_DevicePoint d{};
      if (kshost::direct::PageViewPageToDevice(view, p, &d)) json.Int(d.x).Int(d.y);
    }
    json.EndArray();
    const kshost::AnnotProps p = kshost::ReadAnnotProps(annot);
    json.Key("props").BeginObject();
    json.Field("subtype", p.subtype).Field("intent", p.intent).Field("settable", p.settable);
    // The kind as the markups list names it: "Distance", "Rectangle".
    json.Field("kind", kshost::ToUtf8(KindWords(AnnotationPlugin::MarkupKindKey(kshost::direct::AnnotGetDict(annot)))));
    json.Field("subject", kshost::ToUtf8(p.subject)).Field("contents", kshost::ToUtf8(p.contents));
    json.Field("label", kshost::ToUtf8(p.label)).Field("color", Hex(p.color)).Field("fill", Hex(p.fill));
    json.Key("width").Number(p.width).Key("dash").Number(p.dash).Key("opacity").Number(p.opacity);
    json.Field("lineEndings", p.lineEndings).Field("start", p.lineStart).Field("end", p.lineEnd);
    // What the kind offers, when its handler says: the panel shows only those.
    if (p.offered) {
      json.Key("offers").BeginArray();
      for (const auto& [name, code] : PropertyNames())
        if (p.offered & (1u << code)) json.String(name);
      json.EndArray();
    }
    if (p.fontSize) json.Key("fontSize").Number(*p.fontSize);
    if (p.fontColor) json.Field("fontColor", Hex(p.fontColor));
    json.EndObject().EndObject();
  }
  json.EndArray();
}

void Server::Impl::SelectionRoutes() {
  // front: the selection to the front; topage: asks for the page in the
  // page's dialog, or moves straight to `page` (counting from 1).
  http.Post(R"(/api/arrange/(front|topage))", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              const std::string what = req.matches[1];
              const std::string pageText = req.has_param("page") ? req.get_param_value("page") : "";
              OnHost(res, [this, what, pageText](httplib::Response& r) {
                KA_Document doc = session->AppDocument();
                std::string why;
                bool ok;
                if (what == "front") {
                  ok = Editor::Get().BringToFront(doc, &why);
                } else if (pageText.empty()) {
                  ok = Editor::Get().AskMoveToPage(doc, &why);
                } else {
                  int page = 0;
                  const auto [end, ec] = std::from_chars(pageText.data(), pageText.data() + pageText.size(), page);
                  if (ec != std::errc() || end != pageText.data() + pageText.size())
                    return Refuse(r, 400, "'page' is a page number");
                  ok = Editor::Get().MoveSelectionToPage(doc, page - 1, &why);
                }
                if (!ok) return Refuse(r, 400, why);
                Publish();
                ReplyState(r);
              });
            }));
  http.Post("/api/property", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              PropertyRequest property;
              std::string why;
              if (!ParseProperty(Params(req.params.begin(), req.params.end()), &property, &why))
                return Refuse(res, 400, why);
              OnHost(res, [this, property](httplib::Response& r) {
                const std::u16string text = kshost::ToUtf16(property.text);
                KS_AnnotPropertyValue value = property.value;
                value.text = text.c_str();
                std::string why;
                if (!Editor::Get().SetSelectionProperty(session->AppDocument(), value, &why))
                  return Refuse(r, 400, why);
                Publish();
                ReplyState(r);
              });
            }));
}

}  // namespace annotserve
