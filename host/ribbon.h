// The ribbon of the main frame as a tree: categories hold panels, panels
// hold controls, menu and parent buttons hold further controls. Scripts
// press controls by id.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_records.h"

struct KA_RibbonElement__ {
  enum class Level { Category, Panel, Control } level = Level::Control;
  int kind = KS_RIBBON_BUTTON;
  std::string name;
  std::u16string title;
  std::u16string tooltip;
  std::string icon32, icon16;
  int position = 0;
  bool enabled = true;
  bool checked = false;
  int sliderMin = 0, sliderMax = 100, sliderValue = 0;  // sliders only
  // Contextual tabs only: shown while `context` names what it is shown for.
  bool contextual = false;
  std::string context;
  KS_RibbonPressProc press = nullptr;
  void* clientData = nullptr;
  KA_RibbonElement__* parent = nullptr;
  std::vector<std::unique_ptr<KA_RibbonElement__>> children;
};

namespace kshost {

class Ribbon {
 public:
  static Ribbon& Get();

  // Back to the editor's own categories with no panels.
  void Reset();

  // The editor's own categories by name; contextual tabs are not among them.
  KA_RibbonElement Category(const std::string& name);
  // Contextual tabs: made hidden after the editor's categories. Null when
  // the name is empty or taken.
  KA_RibbonElement AddContextCategory(const std::string& name, const std::u16string& title);
  KA_RibbonElement ContextCategory(const std::string& name);
  // Shows the tab for `context`, or hides it for an empty one; the trace
  // tells each change ("ribbon: contextual Format shown for X", "... hidden").
  bool ShowContextCategory(KA_RibbonElement category, const std::string& context);
  KA_RibbonElement FindControl(const std::string& id);
  bool IsValid(KA_RibbonElement e) const;

  // Runs the control's procedure. False with the reason when there is no
  // such control, it is disabled or it does nothing when pressed. Controls
  // of a hidden contextual tab can be pressed too: scripts name controls,
  // not what the window shows.
  bool Press(const std::string& id, std::string* error);
  // Moves a slider to `value` (kept to its range) and runs its procedure.
  bool Slide(const std::string& id, int value, std::string* error);

  // The categories in order, for listing (hidden contextual tabs included).
  const std::vector<std::unique_ptr<KA_RibbonElement__>>& Categories() const { return categories_; }
  // Takes a contextual tab away; the editor's categories stay.
  void RemoveCategory(KA_RibbonElement category);

 private:
  Ribbon();
  std::vector<std::unique_ptr<KA_RibbonElement__>> categories_;
};

}  // namespace kshost
