#include "tessel/dialog.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "tessel/language.h"
#include "tessel/text_codec.h"
#include "tessel/translator.h"

namespace Tessel {
namespace {

std::u16string Attr(const pugi::xml_node& node, const char* name) {
  return detail::ToUtf16(node.attribute(name).value());
}

// A text of the layout: a translation key ("IDS_" and capitals, digits and
// underscores) stands for its text in the layout's string table, in the
// current language; anything else is taken as written.
std::u16string Shown(const std::string& table, const char* text) {
  const std::string value = text ? text : "";
  const bool key = !table.empty() && value.size() > 4 && value.compare(0, 4, "IDS_") == 0 &&
                   std::all_of(value.begin(), value.end(),
                               [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; });
  return key ? Translator::GetInstance().Translate(table, value, u"") : detail::ToUtf16(value);
}

std::vector<std::u16string> SplitWords(const std::u16string& list) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (char16_t c : list + u",") {
    if (c == u',' || c == u' ') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  return words;
}

// The element for one tag, filled from its attributes and children; null for
// a tag that is only a container.
std::shared_ptr<Element> MakeElement(const pugi::xml_node& node, const std::string& table) {
  const std::u16string name = Attr(node, "name");
  const char* tag = node.name();
  std::shared_ptr<Element> element;
  if (!std::strcmp(tag, "edit")) {
    auto edit = std::make_shared<Edit>(name);
    edit->SetReadOnly(node.attribute("readonly").as_bool(false));
    edit->SetLimitText(node.attribute("limit").as_int(0));
    element = edit;
  } else if (!std::strcmp(tag, "label")) {
    auto label = std::make_shared<Label>(name);
    label->TruncateTextToEllipses(node.attribute("ellipsis").as_bool(false));
    element = label;
  } else if (!std::strcmp(tag, "button")) {
    element = std::make_shared<Button>(name);
  } else if (!std::strcmp(tag, "checkbox")) {
    auto check = std::make_shared<CheckBox>(name);
    check->SetCheck(node.attribute("checked").as_bool(false));
    element = check;
  } else if (!std::strcmp(tag, "hyperlink")) {
    auto link = std::make_shared<HyperLinkElement>(name);
    link->SetUrl(Attr(node, "url"));
    element = link;
  } else if (!std::strcmp(tag, "combobox")) {
    auto combo = std::make_shared<ComboBox>(name);
    combo->SetEditable(node.attribute("editable").as_bool(false));
    for (const auto& item : node.children("item")) combo->AddItem(Shown(table, item.text().get()));
    element = combo;
  } else if (!std::strcmp(tag, "listbox")) {
    auto list = std::make_shared<ListBox>(name);
    for (const auto& column : node.children("column"))
      list->AddColumn(Shown(table, column.attribute("title").value()), column.attribute("width").as_int(0));
    for (const auto& row : node.children("row")) {
      std::vector<std::u16string> cells;
      for (const auto& cell : row.children("cell")) cells.push_back(detail::ToUtf16(cell.text().get()));
      list->AddRow(std::move(cells));
    }
    list->EnableDragDrop(node.attribute("dragdrop").as_bool(false));
    element = list;
  } else if (!std::strcmp(tag, "buttonbox")) {
    auto box = std::make_shared<ButtonBox>(name);
    const std::u16string buttons = node.attribute("buttons") ? Attr(node, "buttons") : u"ok,cancel";
    for (const auto& word : SplitWords(buttons)) {
      StandardButton kind;
      if (ButtonBox::ParseKind(word, kind)) box->AddButton(kind);
    }
    element = box;
  } else if (!std::strcmp(tag, "element")) {
    element = std::make_shared<Element>(name);
  } else {
    return nullptr;
  }
  if (node.attribute("text")) element->SetText(Shown(table, node.attribute("text").value()));
  element->Show(node.attribute("visible").as_bool(true));
  element->Enable(node.attribute("enabled").as_bool(true));
  element->SetToolTip(Shown(table, node.attribute("tooltip").value()));
  element->MoveWindow(node.attribute("x").as_int(0), node.attribute("y").as_int(0),
                      node.attribute("width").as_int(0), node.attribute("height").as_int(0));
  // The selection is applied last: it sets the text of a combo box.
  if (auto combo = std::dynamic_pointer_cast<ComboBox>(element); combo && node.attribute("selected"))
    combo->SetCurSel(node.attribute("selected").as_int(-1));
  return element;
}

}  // namespace

struct Dialog::State {
  std::u16string layoutFileName;
  void* parent = nullptr;
  bool loaded = false;
  std::u16string name;
  std::u16string title;
  // The string table of the layout's translation keys ("table" of <dialog>).
  std::string table;
  std::vector<std::shared_ptr<Element>> elements;
  std::unordered_map<std::u16string, std::shared_ptr<Element>> byName;
  std::function<void(Dialog&)> initHook;
  std::function<void(Dialog&, int)> closeHook;
  bool visible = false;
  bool initialised = false;
  bool done = false;
  bool inModal = false;
  int result = 0;
  int iconId = 0;
  std::u16string iconPath;
  std::u16string defaultButton;
  std::u16string focused;
  std::vector<TabWindow> tabs;

  void Add(const pugi::xml_node& parentNode) {
    for (const auto& node : parentNode.children()) {
      if (node.type() != pugi::node_element) continue;
      if (auto element = MakeElement(node, table)) {
        elements.push_back(element);
        if (!element->GetName().empty()) byName.emplace(element->GetName(), element);
      }
      // Children of containers and of plain elements alike: a <group> may
      // hold controls, and item/column/row children create nothing.
      Add(node);
    }
  }

  void Load() {
    std::string path = detail::ToUtf8(layoutFileName);
    if (path.empty()) return;
    if (path.front() != '/') path = detail::ToUtf8(GetUiDirPath()) + "/" + path;
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str(), pugi::parse_default, pugi::encoding_utf8)) return;
    const pugi::xml_node root = doc.child("dialog");
    if (!root) return;
    name = Attr(root, "name");
    table = root.attribute("table").value();
    title = Shown(table, root.attribute("title").value());
    Add(root);
    loaded = true;
  }

  std::shared_ptr<Element> Find(const std::u16string& elementName) const {
    const auto it = byName.find(elementName);
    return it == byName.end() ? nullptr : it->second;
  }
};

namespace {
// Every dialog alive, in the order made, for a front end that draws the
// modeless ones.
// Never destroyed: dialogs kept in other libraries' static objects (the
// plug-in's panels) unregister while the process exits, after this file's
// own statics would already be gone.
std::mutex& LiveMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<Dialog*>& Live() {
  static auto* live = new std::vector<Dialog*>;
  return *live;
}
}  // namespace

Dialog::Dialog(const std::u16string& layoutFileName, void* parent) : state_(std::make_unique<State>()) {
  state_->layoutFileName = layoutFileName;
  state_->parent = parent;
  state_->Load();
  std::lock_guard lock(LiveMutex());
  Live().push_back(this);
}

Dialog::~Dialog() {
  std::lock_guard lock(LiveMutex());
  Live().erase(std::remove(Live().begin(), Live().end(), this), Live().end());
}

std::vector<Dialog*> Dialog::ShownModeless() {
  std::lock_guard lock(LiveMutex());
  std::vector<Dialog*> shown;
  for (Dialog* d : Live())
    if (d->state_->visible && !d->state_->inModal) shown.push_back(d);
  return shown;
}

bool Dialog::IsLoaded() const { return state_->loaded; }
const std::u16string& Dialog::GetLayoutFileName() const { return state_->layoutFileName; }
const std::u16string& Dialog::GetName() const { return state_->name; }
void* Dialog::GetParent() const { return state_->parent; }
void* Dialog::GetHandle() { return this; }

std::shared_ptr<Element> Dialog::GetElementByName(const std::u16string& name) const { return state_->Find(name); }

const std::vector<std::shared_ptr<Element>>& Dialog::GetElements() const { return state_->elements; }

void Dialog::SetInitHook(std::function<void(Dialog&)> hook) { state_->initHook = std::move(hook); }

void Dialog::SetCloseHook(std::function<void(Dialog&, int)> hook) { state_->closeHook = std::move(hook); }

void Dialog::OnInitDialog() {
  if (auto hook = state_->initHook) hook(*this);
}

void Dialog::OnClose(int result) {
  if (auto hook = state_->closeHook) hook(*this, result);
}

int Dialog::DoModal() {
  Headless::NoteDialogShown(state_->layoutFileName);
  state_->done = false;
  state_->visible = true;
  state_->inModal = true;
  state_->initialised = true;
  OnInitDialog();

  int result = kDialogCancel;
  if (state_->done) {
    result = state_->result;
  } else if (state_->loaded) {
    // A dialog whose layout failed has nothing to fill in: it cancels and
    // leaves the answers for the dialogs after it.
    std::vector<std::u16string> names = {state_->layoutFileName};
    const size_t slash = state_->layoutFileName.rfind(u'/');
    if (slash != std::u16string::npos) names.push_back(state_->layoutFileName.substr(slash + 1));
    if (!state_->name.empty()) names.push_back(state_->name);
    std::optional<Headless::DialogAnswer> answer = Headless::TakeDialogAnswer(names);
    if (!answer) answer = Headless::AskDialogProvider(*this);
    if (answer) {
      for (const auto& [elementName, value] : answer->values)
        if (auto element = state_->Find(elementName)) element->SetValueText(value);
      result = answer->result;
    }
  }
  state_->result = result;
  OnClose(result);  // may call Done() to change the result
  state_->visible = false;
  state_->done = true;
  state_->inModal = false;
  return state_->result;
}

void Dialog::DoModeless(bool show) {
  state_->visible = show;
  if (show) {
    state_->done = false;
    if (!state_->initialised) {
      state_->initialised = true;
      OnInitDialog();
    }
  }
}

void Dialog::Done(int result) {
  state_->result = result;
  state_->done = true;
  // Inside DoModal the result is picked up there; a shown modeless dialog
  // closes here.
  if (!state_->inModal && state_->visible) {
    state_->visible = false;
    OnClose(result);
  }
}

int Dialog::GetResult() const { return state_->result; }
bool Dialog::IsVisible() const { return state_->visible; }

void Dialog::SetWindowTitle(const std::u16string& title) { state_->title = title; }
const std::u16string& Dialog::GetWindowTitle() const { return state_->title; }

void Dialog::SetIcon(int resourceId) { state_->iconId = resourceId; }
void Dialog::SetIcon(const std::u16string& path) { state_->iconPath = path; }
int Dialog::GetIconId() const { return state_->iconId; }
const std::u16string& Dialog::GetIconPath() const { return state_->iconPath; }

bool Dialog::SetDefaultButton(const std::u16string& elementName) {
  if (!state_->Find(elementName)) return false;
  state_->defaultButton = elementName;
  return true;
}
const std::u16string& Dialog::GetDefaultButton() const { return state_->defaultButton; }

bool Dialog::SetFocusToCtrl(const std::u16string& elementName) {
  if (!state_->Find(elementName)) return false;
  state_->focused = elementName;
  return true;
}
const std::u16string& Dialog::GetFocusedCtrl() const { return state_->focused; }

bool Dialog::SetToolTip(const std::u16string& elementName, const std::u16string& text) {
  auto element = state_->Find(elementName);
  if (!element) return false;
  element->SetToolTip(text);
  return true;
}

void Dialog::CreateTabWindow(const std::u16string& name, const std::vector<std::u16string>& pages) {
  CreateTabWindowEx(name, pages, 0);
}

void Dialog::CreateTabWindowEx(const std::u16string& name, const std::vector<std::u16string>& pages,
                               int selected) {
  state_->tabs.push_back(TabWindow{name, pages, selected});
}
const std::vector<TabWindow>& Dialog::GetTabWindows() const { return state_->tabs; }

namespace {
std::function<void(const std::u16string&, const std::u16string&)>& ValueTraceSink() {
  static std::function<void(const std::u16string&, const std::u16string&)> sink;
  return sink;
}
}  // namespace

void Dialog::SetValueTraceSink(std::function<void(const std::u16string&, const std::u16string&)> sink) {
  ValueTraceSink() = std::move(sink);
}

void Dialog::TraceValue(const std::u16string& element, const std::u16string& text) {
  if (ValueTraceSink()) ValueTraceSink()(element, text);
}

}  // namespace Tessel
