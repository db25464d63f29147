#include "toolset/toolset_tool_handler.h"

#include "plugin/annot_undo.h"
#include "plugin/device_outline.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_host_binding.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

constexpr uint32_t kPreviewColor = 0x0000FF;  // red, as a Windows colour

// The size of the tool's members together, in page units.
KS_FloatRect ToolBox(const CAnnot_Tool& tool) {
  KS_FloatRect box{0, 0, tool.width, tool.height};
  for (const auto& c : tool.children) {
    if (!c->Dictionary()) continue;
    KS_FloatRect r{};
    if (host::RectFromObject(host::DictGet(c->Dictionary(), "/Rect"), &r)) host::RectUnion(&box, &r, &box);
  }
  return box;
}

// Takes placed annotations off their page and puts them back.
class CToolset_PlaceUndo : public CAnnot_BaseUndo {
 public:
  CToolset_PlaceUndo(KPD_Document doc, int32_t page, std::vector<KPD_Dictionary> annots)
      : doc_(doc), page_(page), annots_(std::move(annots)) {
    SetCaption(Widgets::Translate("IDS_TOOLSET_UNDO_PLACE"));
  }
  void Undo() override {
    KPD_Page page = host::DocGetPage(doc_, page_);
    for (auto it = annots_.rbegin(); it != annots_.rend(); ++it) {
      int32_t at = host::PageFindAnnot(page, *it);
      if (at >= 0) host::PageRemoveAnnot(page, at);
    }
  }
  void Redo() override {
    KPD_Page page = host::DocGetPage(doc_, page_);
    for (KPD_Dictionary a : annots_) host::PageInsertAnnot(page, -1, a);
  }

 private:
  KPD_Document doc_;
  int32_t page_;
  std::vector<KPD_Dictionary> annots_;
};

}  // namespace

void CAnnot_ToolsetToolHandler::SetTool(const std::shared_ptr<CAnnot_ToolSet>& toolset,
                                        const std::shared_ptr<CAnnot_Tool>& tool) {
  toolset_ = toolset;
  tool_ = tool;
}

void CAnnot_ToolsetToolHandler::ClearTool() {
  toolset_.reset();
  tool_.reset();
}

void CAnnot_ToolsetToolHandler::OnActivate(bool) {
  keepSelected_ = host::PrefGetInt(u"KeepToolSelected", u"Toolset", 1) != 0;
}

void CAnnot_ToolsetToolHandler::OnDeactivate() {
  InvalidatePreview();
  tracking_ = false;
  previewView_ = nullptr;
  // Another tool is current: the chest's item is no longer picked.
  ClearTool();
  if (onDeselect) onDeselect();
}

void CAnnot_ToolsetToolHandler::InvalidatePreview() {
  if (!previewView_) return;
  KA_Document doc = host::PageViewGetDocument(previewView_);
  KS_FloatRect r = previewBox_;
  r.left -= 5, r.bottom -= 5, r.right += 5, r.top += 5;
  host::AppDocInvalidateRect(doc, host::PageViewGetPageIndex(previewView_), &r);
}

bool CAnnot_ToolsetToolHandler::OnMouseMove(KA_PageView view, uint32_t, const KS_DevicePoint& pt) {
  auto tool = tool_.lock();
  if (!tool || !tool->Dictionary()) return false;
  KS_FloatPoint p{};
  if (!host::PageViewDeviceToPage(view, pt, &p)) return false;
  InvalidatePreview();
  // The preview's upper-left corner is under the pointer, turned with the
  // page about it, as a click there places the tool.
  previewAt_ = p;
  previewRotation_ = host::PageGetRotation(host::PageViewGetPage(view));
  if (!previews_ || !previews_->BoundsAt(tool, p, previewRotation_, &previewBox_)) {
    KS_FloatRect box = ToolBox(*tool);
    previewBox_ = {p.x, p.y - (box.top - box.bottom), p.x + (box.right - box.left), p.y};
  }
  previewView_ = view;
  tracking_ = true;
  InvalidatePreview();
  return true;
}

void CAnnot_ToolsetToolHandler::OnPaint(KA_PageView view, KA_Device device, intptr_t, uint32_t) {
  auto tool = tool_.lock();
  if (!tracking_ || view != previewView_ || !tool) return;
  KS_Matrix pageToDevice{};
  if (previews_ && host::PageViewGetMatrix(view, &pageToDevice) &&
      previews_->DrawAt(device, tool, pageToDevice, previewAt_, previewRotation_, kPreviewColor))
    return;
  KS_DeviceRect r{};
  if (!host::PageViewPageRectToDevice(view, &previewBox_, &r)) return;
  DrawDeviceOutline(device, r, kPreviewColor);
}

bool CAnnot_ToolsetToolHandler::OnLButtonUp(KA_PageView view, uint32_t, const KS_DevicePoint& pt) {
  KS_FloatPoint p{};
  KA_Document doc = host::PageViewGetDocument(view);
  KPD_Document pdf = host::AppDocGetPdfDocument(doc);
  KPD_Page page = host::PageViewGetPage(view);
  KS_FloatRect box{};
  if (!page || !host::PageViewDeviceToPage(view, pt, &p) || !host::PageGetBox(page, "/MediaBox", &box) ||
      !host::RectContainsPoint(&box, p.x, p.y))
    return false;
  auto set = toolset_.lock();
  auto tool = tool_.lock();
  if (!set || !tool || !tool->Dictionary() || !CurrentDocumentAllowsAnnotEdits()) return true;
  busy_ = true;
  host::UndoBeginGroup(doc, Widgets::Translate("IDS_TOOLSET_UNDO_PLACE").c_str());
  const int32_t pageIndex = host::PageViewGetPageIndex(view);
  std::vector<KPD_Dictionary> placed;
  std::string error;
  if (PlaceTool(pdf, pageIndex, *tool, p.x, p.y, &placed, &error)) {
    AnnotUndo_HandOver(std::make_unique<CToolset_PlaceUndo>(pdf, pageIndex, placed), doc);
    host::AppDocDeselectAll(doc);
    if (KA_Annot head = host::AnnotFromDict(doc, placed.front())) host::AppDocSelect(doc, head, 0);
    for (KPD_Dictionary a : placed) {
      KS_FloatRect r{};
      if (host::RectFromObject(host::DictGet(a, "/Rect"), &r)) host::AppDocInvalidateRect(doc, pageIndex, &r);
    }
  }
  InvalidatePreview();
  host::UndoEndGroup(doc);
  busy_ = false;
  if (!keepSelected_) {
    ClearTool();
    tracking_ = false;
    if (onDeselect) onDeselect();
    host::AppSetCurrentTool(host::AppGetToolByName("Hand"), 1);
  }
  return true;
}

}  // namespace AnnotationPlugin
