// The base of every control of a dialog. Headless: state is only kept and
// reported back, nothing is drawn, and changing state never fires events;
// the host delivers events with Fire().
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "tessel/event.h"
#include "tessel/tessel_export.h"

namespace Tessel {

enum class ElementType { Generic, Edit, Label, Button, ButtonBox, ComboBox, ListBox, HyperLink, CheckBox };

struct ElementRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The last balloon tip shown on an element.
struct BalloonTip {
  std::u16string title;
  std::u16string text;
  int icon = 0;
  int timeoutMs = 0;
};

class TESSEL_API Element {
 public:
  // Returns true when the procedure handled the event.
  using EventProcedure = std::function<bool(Element&, const Event&)>;

  explicit Element(std::u16string name, ElementType type = ElementType::Generic);
  virtual ~Element();
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;

  const std::u16string& GetName() const { return name_; }
  ElementType GetType() const { return type_; }

  void Show(bool show) { visible_ = show; }
  bool IsVisible() const { return visible_; }
  void Enable(bool enable) { enabled_ = enable; }
  bool IsEnabled() const { return enabled_; }

  // Position and size in dialog units; a negative size counts as 0.
  void MoveWindow(int x, int y, int width, int height);
  ElementRect GetWindowRect() const { return rect_; }

  // The caption or content. Every element keeps one, so that a scripted
  // answer can set any element by name.
  virtual std::u16string GetText() const { return text_; }
  virtual void SetText(const std::u16string& text) { text_ = text; }

  // Applies the text of a scripted dialog answer. Returns false when the
  // element cannot take that value (it is then unchanged).
  virtual bool SetValueText(const std::u16string& value);

  // Timers are only recorded: the host fires EventKind::Timer itself.
  // Setting an id again replaces its interval; ms <= 0 removes it.
  void SetTimer(int id, int ms);
  void KillTimer(int id) { timers_.erase(id); }
  // Timer id -> interval in milliseconds.
  const std::map<int, int>& GetTimers() const { return timers_; }

  // Recorded for the host or a test to inspect.
  void ShowBalloonTipEx(const std::u16string& title, const std::u16string& text, int icon = 0,
                        int timeoutMs = 0);
  const std::optional<BalloonTip>& GetLastBalloonTip() const { return balloon_; }

  void SetToolTip(const std::u16string& text) { toolTip_ = text; }
  const std::u16string& GetToolTip() const { return toolTip_; }

  // Replaces the procedure that receives fired events; an empty one clears it.
  void SetEventProcedure(EventProcedure procedure) { procedure_ = std::move(procedure); }

  // Delivers `event` to the procedure. Returns its answer, or false when no
  // procedure is set or the element is disabled (a disabled control gets no
  // input). The procedure may replace itself or the element's state.
  bool Fire(const Event& event);

 private:
  std::u16string name_;
  ElementType type_;
  std::u16string text_;
  bool visible_ = true;
  bool enabled_ = true;
  ElementRect rect_;
  std::map<int, int> timers_;
  std::optional<BalloonTip> balloon_;
  std::u16string toolTip_;
  EventProcedure procedure_;
};

}  // namespace Tessel
