#include "host/ribbon.h"

#include <algorithm>
#include <functional>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/strings.h"

namespace kshost {
namespace {

using Element = KA_RibbonElement__;

Element* FindIn(const std::vector<std::unique_ptr<Element>>& list, const std::function<bool(const Element&)>& match) {
  for (const auto& e : list) {
    if (match(*e)) return e.get();
    if (Element* found = FindIn(e->children, match)) return found;
  }
  return nullptr;
}

}  // namespace

Ribbon& Ribbon::Get() {
  static Ribbon ribbon;
  return ribbon;
}

Ribbon::Ribbon() { Reset(); }

void Ribbon::Reset() {
  categories_.clear();
  for (const char* name : {"Ribbon_Category_Home", "Ribbon_Category_Comment", "Ribbon_Category_Review"}) {
    auto c = std::make_unique<Element>();
    c->level = Element::Level::Category;
    c->name = name;
    categories_.push_back(std::move(c));
  }
}

KA_RibbonElement Ribbon::Category(const std::string& name) {
  for (auto& c : categories_)
    if (!c->contextual && c->name == name) return c.get();
  return nullptr;
}

KA_RibbonElement Ribbon::AddContextCategory(const std::string& name, const std::u16string& title) {
  if (name.empty() || ContextCategory(name)) return nullptr;
  auto c = std::make_unique<Element>();
  c->level = Element::Level::Category;
  c->contextual = true;
  c->name = name;
  c->title = title;
  categories_.push_back(std::move(c));
  return categories_.back().get();
}

void Ribbon::RemoveCategory(KA_RibbonElement category) {
  categories_.erase(std::remove_if(categories_.begin(), categories_.end(),
                                   [&](const auto& c) { return c.get() == category && c->contextual; }),
                    categories_.end());
}

KA_RibbonElement Ribbon::ContextCategory(const std::string& name) {
  for (auto& c : categories_)
    if (c->contextual && c->name == name) return c.get();
  return nullptr;
}

bool Ribbon::ShowContextCategory(KA_RibbonElement category, const std::string& context) {
  if (!IsValid(category) || !category->contextual) return false;
  if (category->context == context) return true;
  category->context = context;
  Editor::Get().TraceNote("ribbon: contextual " + category->name +
                          (context.empty() ? std::string(" hidden") : " shown for " + context));
  return true;
}

bool Ribbon::IsValid(KA_RibbonElement e) const {
  return e && FindIn(categories_, [&](const Element& x) { return &x == e; });
}

KA_RibbonElement Ribbon::FindControl(const std::string& id) {
  return FindIn(categories_, [&](const Element& x) { return x.level == Element::Level::Control && x.name == id; });
}

bool Ribbon::Press(const std::string& id, std::string* error) {
  KA_RibbonElement c = FindControl(id);
  if (!c) {
    *error = "no ribbon control '" + id + "'";
    return false;
  }
  for (KA_RibbonElement e = c; e; e = e->parent) {
    if (!e->enabled) {
      *error = "ribbon control '" + id + "' is disabled";
      return false;
    }
  }
  if (!c->press) {
    *error = "ribbon control '" + id + "' does nothing when pressed";
    return false;
  }
  c->press(c->clientData, c);
  return true;
}

bool Ribbon::Slide(const std::string& id, int value, std::string* error) {
  KA_RibbonElement c = FindControl(id);
  if (c && c->kind != KS_RIBBON_SLIDER) {
    *error = "ribbon control '" + id + "' is not a slider";
    return false;
  }
  const int old = c ? c->sliderValue : 0;
  if (c) c->sliderValue = std::clamp(value, c->sliderMin, c->sliderMax);
  if (Press(id, error)) return true;
  if (c) c->sliderValue = old;
  return false;
}

namespace direct {

KA_RibbonElement RibbonGetCategory(KA_Frame frame, const char* name) {
  return frame && name ? Ribbon::Get().Category(name) : nullptr;
}

KA_RibbonElement RibbonFindPanel(KA_RibbonElement category, const char* name) {
  if (!Ribbon::Get().IsValid(category) || category->level != Element::Level::Category || !name) return nullptr;
  for (auto& p : category->children)
    if (p->name == name) return p.get();
  return nullptr;
}

// Panels are kept in position order; equal positions keep adding order.
KA_RibbonElement RibbonAddPanel(KA_RibbonElement category, const char* name, const char16_t* title, int32_t position) {
  if (!name || !*name || RibbonFindPanel(category, name) || !Ribbon::Get().IsValid(category) ||
      category->level != Element::Level::Category)
    return nullptr;
  auto p = std::make_unique<Element>();
  p->level = Element::Level::Panel;
  p->name = name;
  p->title = title ? title : u"";
  p->position = position;
  p->parent = category;
  auto& list = category->children;
  auto at = std::upper_bound(list.begin(), list.end(), position, [](int pos, const auto& e) { return pos < e->position; });
  return list.insert(at, std::move(p))->get();
}

KA_RibbonElement RibbonAddControl(KA_RibbonElement parent, int32_t kind, const char* id, const char16_t* title,
                                  const char16_t* tooltip) {
  if (!id || !*id || !Ribbon::Get().IsValid(parent) || parent->level == Element::Level::Category) return nullptr;
  if (parent->level == Element::Level::Control && parent->kind != KS_RIBBON_MENU_BUTTON &&
      parent->kind != KS_RIBBON_PARENT_BUTTON)
    return nullptr;
  if (kind < KS_RIBBON_BUTTON || kind > KS_RIBBON_SLIDER) return nullptr;
  // Ids name one control across the whole ribbon.
  if (Ribbon::Get().FindControl(id)) return nullptr;
  auto c = std::make_unique<Element>();
  c->kind = kind;
  c->name = id;
  c->title = title ? title : u"";
  c->tooltip = tooltip ? tooltip : u"";
  c->parent = parent;
  parent->children.push_back(std::move(c));
  return parent->children.back().get();
}

int32_t RibbonSetIcons(KA_RibbonElement control, const char* icon32, const char* icon16) {
  if (!Ribbon::Get().IsValid(control)) return 0;
  control->icon32 = icon32 ? icon32 : "";
  control->icon16 = icon16 ? icon16 : "";
  return 1;
}

int32_t RibbonSetPressProc(KA_RibbonElement control, KS_RibbonPressProc proc, void* clientData) {
  if (!Ribbon::Get().IsValid(control) || control->level != Element::Level::Control) return 0;
  control->press = proc;
  control->clientData = clientData;
  return 1;
}

KA_RibbonElement RibbonFindControl(KA_Frame frame, const char* id) {
  return frame && id ? Ribbon::Get().FindControl(id) : nullptr;
}

int32_t RibbonSetEnabled(KA_RibbonElement e, int32_t enabled) {
  if (!Ribbon::Get().IsValid(e)) return 0;
  e->enabled = enabled != 0;
  return 1;
}

int32_t RibbonSetChecked(KA_RibbonElement e, int32_t checked) {
  if (!Ribbon::Get().IsValid(e)) return 0;
  e->checked = checked != 0;
  return 1;
}

int32_t RibbonIsEnabled(KA_RibbonElement e) { return Ribbon::Get().IsValid(e) && e->enabled; }

int32_t RibbonIsChecked(KA_RibbonElement e) { return Ribbon::Get().IsValid(e) && e->checked; }

int32_t RibbonSetSliderRange(KA_RibbonElement slider, int32_t min, int32_t max) {
  if (!Ribbon::Get().IsValid(slider) || slider->kind != KS_RIBBON_SLIDER || min > max) return 0;
  slider->sliderMin = min;
  slider->sliderMax = max;
  slider->sliderValue = std::clamp(slider->sliderValue, min, max);
  return 1;
}

int32_t RibbonSetSliderValue(KA_RibbonElement slider, int32_t value) {
  if (!Ribbon::Get().IsValid(slider) || slider->kind != KS_RIBBON_SLIDER) return 0;
  slider->sliderValue = std::clamp(value, slider->sliderMin, slider->sliderMax);
  return 1;
}

int32_t RibbonGetSliderValue(KA_RibbonElement slider) {
  return Ribbon::Get().IsValid(slider) && slider->kind == KS_RIBBON_SLIDER ? slider->sliderValue : 0;
}

KA_RibbonElement RibbonAddContextCategory(KA_Frame frame, const char* name, const char16_t* title) {
  return frame && name ? Ribbon::Get().AddContextCategory(name, title ? title : u"") : nullptr;
}

KA_RibbonElement RibbonFindContextCategory(KA_Frame frame, const char* name) {
  return frame && name ? Ribbon::Get().ContextCategory(name) : nullptr;
}

int32_t RibbonShowContextCategory(KA_RibbonElement category, const char* context) {
  return Ribbon::Get().ShowContextCategory(category, context ? context : "") ? 1 : 0;
}

int32_t RibbonGetContextCategoryShown(KA_RibbonElement category, KS_ByteString context) {
  if (!Ribbon::Get().IsValid(category) || !category->contextual || category->context.empty()) return 0;
  if (context) SetText(context, category->context);
  return 1;
}

// The editor's categories stay; a contextual tab goes with all it holds.
int32_t RibbonRemove(KA_RibbonElement e) {
  if (!Ribbon::Get().IsValid(e) || (e->level == Element::Level::Category && !e->contextual)) return 0;
  if (!e->parent) {
    if (!e->context.empty()) Ribbon::Get().ShowContextCategory(e, "");
    Ribbon::Get().RemoveCategory(e);
    return 1;
  }
  auto& siblings = e->parent->children;
  siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](const auto& x) { return x.get() == e; }));
  return 1;
}

}  // namespace direct
}  // namespace kshost
