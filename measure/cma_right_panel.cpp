#include "measure/cma_right_panel.h"

#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "measure/cma_annot_handlers.h"
#include "measure/cma_figure_values.h"
#include "measure/cma_measure_props.h"
#include "plugin/measure_types.h"
#include "measure/cma_tool_handlers.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {
namespace {

// Sets a label's text; a change is traced.
void SetLabel(Tessel::Dialog& dialog, const std::u16string& name, const std::u16string& text) {
  std::shared_ptr<Tessel::Label> label = dialog.GetElement<Tessel::Label>(name);
  if (!label || label->GetText() == text) return;
  label->SetText(text);
  Tessel::Dialog::TraceValue(name, text);
}

}  // namespace

void CMA_RightPanelMgr::Show(int type, const std::map<std::u16string, std::u16string>& values) {
  const MeasureTypeInfo* row = MeasureTypeRow(type);
  if (!row) return;
  std::unique_ptr<Tessel::Dialog>& dialog = dialogs_[type];
  if (!dialog) {
    dialog = CMeasureDlgMgr::Make(type);
    if (auto name = dialog->GetElement<Tessel::Label>(u"label_tool_name"))
      name->SetText(Widgets::Translate(row->labelKey));
  }
  if (shown_ != type) {
    if (Tessel::Dialog* other = Dialog(shown_)) other->DoModeless(false);
    dialog->DoModeless(true);
    shown_ = type;
  }
  for (const auto& [name, text] : values) SetLabel(*dialog, name, text);
}

void CMA_RightPanelMgr::HideAll() {
  for (auto& [type, dialog] : dialogs_)
    if (dialog) dialog->DoModeless(false);
  shown_ = 0;
}

Tessel::Dialog* CMA_RightPanelMgr::Dialog(int type) const {
  auto it = dialogs_.find(type);
  return it == dialogs_.end() ? nullptr : it->second.get();
}

CMA_RightPanelMgr& MeasureRightPanel() {
  static CMA_RightPanelMgr panel;
  return panel;
}

void ShowSelectedMeasurement(KA_Document doc) {
  if (Host::PrefGetInt(u"Measurement", u"Show Dialog", 1) == 0) return;
  const std::vector<KA_Annot> selected = doc ? SelectedMeasurements(doc) : std::vector<KA_Annot>{};
  KPD_Dictionary dict = selected.size() == 1 ? Host::AnnotGetDict(selected.front()) : nullptr;
  const int type = dict ? MeasureTypeOfAnnot(dict) : kMeasureNone;
  KPD_Object measure = dict ? Host::DictGet(dict, "/Measure") : nullptr;
  kwannotation::KwMeasureInput input;
  if (type == kMeasureNone || !measure || Host::ObjectGetType(measure) != KPD_OBJ_DICTIONARY ||
      !kwannotation::KW_ReadMeasureInput(dict, &input))
    return MeasureRightPanel().HideAll();
  // The figure as the tool that drew it saw it: its points (a radius: the
  // centre and a point of the circle), or the circle's rectangle.
  MeasureFigure figure;
  figure.points = input.points;
  figure.rect = input.circle;
  // Directions as the page is shown: turned by its /Rotate.
  KPD_Document pdf = Host::AppDocGetPdfDocument(doc);
  const int pageIndex = Host::AnnotGetPageIndex(selected.front());
  KPD_Page page = pdf && pageIndex >= 0 ? Host::DocGetPage(pdf, pageIndex) : nullptr;
  if (page) figure.viewTurn = Host::PageGetRotation(page);
  const kwannotation::CKW_MeasureDictImpl scale(static_cast<KPD_Dictionary>(measure));
  if (input.hasDepth) figure.depth = kwannotation::KW_DepthInXUnits(scale, input.depth, input.depthUnit);
  const FigureValues values = MeasureFigureValues(type, figure, scale);
  if (values.panel.empty()) return MeasureRightPanel().HideAll();
  MeasureRightPanel().Show(type, values.panel);
}

}  // namespace AnnotationPlugin
