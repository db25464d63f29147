#include "drawing/cda_module.h"

#include "drawing/cda_shapes.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

void CDA_Module::Init() {
  if (!handlers_.empty()) return;
  auto add = [&](std::unique_ptr<CMarkup_AnnotHandler> handler, const char* type) {
    handler->Register(type);
    handlers_.push_back(std::move(handler));
  };
  add(std::make_unique<CDA_ShapeHandler<CDA_Line>>(), "Line");
  add(std::make_unique<CDA_ShapeHandler<CDA_PolyLine>>(), "PolyLine");
  add(std::make_unique<CDA_ShapeHandler<CDA_Polygon>>(), "Polygon");
  add(std::make_unique<CDA_ShapeHandler<CDA_Circle>>(), "Circle");
  rubber_ = std::make_unique<CDA_CNRubberToolHandler>();
  rubber_->Register();
}

void CDA_Module::Exit() {
  handlers_.clear();
  rubber_.reset();
}

// The eraser's size, 1 to 30, under "Button_CNRubberSize": it starts at the
// stored size and moving it stores the new one.
void CDA_Module::AddSizeSlider(KA_RibbonElement parent) {
  // The slider repeats its button's title, so that a front end that lists
  // controls by title can name it.
  KA_RibbonElement slider =
      Host::RibbonAddControl(parent, KS_RIBBON_SLIDER, "Button_CNRubberSilder",
                             Widgets::Translate("IDS_RUBBER_SIZE_TITLE").c_str(),
                             Widgets::Translate("IDS_RUBBER_SIZE_TOOLTIP").c_str());
  if (!slider) return;
  Host::RibbonSetSliderRange(slider, 1, 30);
  Host::RibbonSetSliderValue(slider, rubber_->GetSize());
  Host::RibbonSetPressProc(
      slider,
      [](void* data, KA_RibbonElement control) {
        auto* module = static_cast<CDA_Module*>(data);
        if (module->rubber_) module->rubber_->SetSize(Host::RibbonGetSliderValue(control));
      },
      this);
}

void CDA_Module::BuildEraserRibbon(KA_Frame frame) {
  if (!rubber_) return;
  using Widgets::Translate;
  KA_RibbonElement category = Host::RibbonGetCategory(frame, "Ribbon_Category_Review");
  if (!category) return;
  KA_RibbonElement panel = Host::RibbonFindPanel(category, "COMMENT_Panel_Drawing");
  if (!panel)
    panel = Host::RibbonAddPanel(category, "COMMENT_Panel_Drawing", Translate("IDS_STR_DRAWING_TITTLE").c_str(), -1);
  if (!panel || Host::RibbonFindControl(frame, "Button_CNRubber")) return;
  KA_RibbonElement menu = Host::RibbonAddControl(panel, KS_RIBBON_MENU_BUTTON, "Button_CNRubber",
                                                 Translate("IDS_RUBBER_TITLE").c_str(),
                                                 Translate("IDS_RUBBER_TOOLTIP").c_str());
  if (!menu) return;
  struct Item {
    int32_t kind;
    const char* id;
    const char* title;
    const char* tooltip;
  };
  static const Item kItems[] = {
      {KS_RIBBON_BUTTON, "Button_CNRubberPart", "IDS_RUBBER_PART_TITLE", "IDS_RUBBER_PART_TOOLTIP"},
      {KS_RIBBON_PARENT_BUTTON, "Button_CNRubberSize", "IDS_RUBBER_SIZE_TITLE", "IDS_RUBBER_SIZE_TOOLTIP"},
      {KS_RIBBON_BUTTON, "Button_CNRubberWhole", "IDS_RUBBER_WHOLE_TITLE", "IDS_RUBBER_WHOLE_TOOLTIP"},
      {KS_RIBBON_BUTTON, "Button_CNRubberAll", "IDS_RUBBER_ALL_TITLE", "IDS_RUBBER_ALL_TOOLTIP"},
  };
  for (const Item& item : kItems) {
    KA_RibbonElement control = Host::RibbonAddControl(menu, item.kind, item.id, Translate(item.title).c_str(),
                                                      Translate(item.tooltip).c_str());
    if (control && item.kind == KS_RIBBON_PARENT_BUTTON) AddSizeSlider(control);
    if (!control || item.kind != KS_RIBBON_BUTTON) continue;
    controls_.push_back(std::make_unique<Control>(Control{this, item.id}));
    Host::RibbonSetPressProc(
        control,
        [](void* data, KA_RibbonElement) {
          auto* c = static_cast<Control*>(data);
          if (c->module->rubber_) c->module->rubber_->OnControl(c->id);
        },
        controls_.back().get());
  }
}

std::unique_ptr<IAnnot_Module> MakeDrawingModule() { return std::make_unique<CDA_Module>(); }

}  // namespace AnnotationPlugin
