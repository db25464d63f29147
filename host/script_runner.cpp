#include "host/script_runner.h"
#include "host/panels.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "host/annot_edit.h"
#include "host/editor.h"
#include "host/file_util.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/progress.h"
#include "host/ribbon.h"
#include "host/session.h"
#include "host/snap_service.h"
#include "host/utf.h"
#include "sdk/ks_utf.h"
#include "tessel/dialog.h"
#include "tessel/language.h"

namespace kshost {
namespace {

using Args = std::vector<std::string>;

// An error message quotes at most this many characters of a script line.
constexpr size_t kMaxQuoted = 200;

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The first kMaxQuoted characters (UTF-8 code points) of `text`, and "..."
// when there was more.
std::string Shortened(const std::string& text) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continues a character
    if (++characters > kMaxQuoted) return text.substr(0, i) + "...";
  }
  return text;
}

// `why` with every word of the line that is too long to quote cut short,
// longest first, so that a word containing another is cut as a whole.
std::string WithWordsShortened(std::string why, Args words) {
  std::sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  for (const std::string& word : words) {
    if (word.size() <= kMaxQuoted) break;
    const std::string shorter = Shortened(word);
    if (shorter == word) continue;
    for (size_t at = why.find(word); at != std::string::npos; at = why.find(word, at + shorter.size()))
      why.replace(at, word.size(), shorter);
  }
  return why;
}

// The translations that are installed: folders of <app>/lang that hold the
// plug-in's translation file.
std::vector<std::string> InstalledLanguages() {
  namespace fs = std::filesystem;
  std::vector<std::string> codes;
  std::error_code ec;
  const fs::path folder = fs::path(Env().appFolder()) / "lang";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string code = it->path().filename().string();
    if (fs::is_regular_file(it->path() / ("Annotation_strings_" + code + ".xml.kw"), ec)) codes.push_back(code);
  }
  std::sort(codes.begin(), codes.end());
  return codes;
}

// Splits a line into words; double quotes group, backslash escapes a quote.
bool SplitLine(const std::string& line, Args* out, std::string* error) {
  out->clear();
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '\\' && i < line.size()) {
          word += line[i++];
        } else if (c == '"') {
          closed = true;
          break;
        } else {
          word += c;
        }
      }
      if (!closed) {
        *error = "unterminated quote";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    out->push_back(word);
  }
  return true;
}

bool ParseFloat(const std::string& s, float* out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(*out);
}

bool ParseInt(const std::string& s, int* out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

class Runner {
 public:
  explicit Runner(Session& s) : session_(s) {}

  bool Run(const Args& a, std::string* why) {
    static const std::map<std::string, bool (Runner::*)(const Args&, std::string*)> commands = {
        {"open", &Runner::Open},         {"save", &Runner::Save},     {"language", &Runner::Language},
        {"answer", &Runner::Answer},     {"expect", &Runner::Expect},     {"view", &Runner::View},
        {"page", &Runner::Page},         {"tool", &Runner::Tool},         {"down", &Runner::Mouse},
        {"up", &Runner::Mouse},          {"move", &Runner::Mouse},        {"dblclick", &Runner::Mouse},
        {"click", &Runner::Mouse},       {"rdown", &Runner::Mouse},       {"rup", &Runner::Mouse},
        {"rdblclick", &Runner::Mouse},   {"rclick", &Runner::Mouse},      {"key", &Runner::Key},
        {"wheel", &Runner::Wheel},       {"undo", &Runner::UndoRedo},     {"redo", &Runner::UndoRedo},
        {"press", &Runner::Press},       {"drag", &Runner::DragLine},     {"command", &Runner::Command},
        {"rotate", &Runner::Rotate},     {"select", &Runner::Select},     {"panel", &Runner::Panel},
        {"snap", &Runner::Snap},         {"menu", &Runner::Menu},         {"front", &Runner::Front},
        {"topage", &Runner::ToPage},     {"type", &Runner::Type},         {"select-text", &Runner::DragLine},
        {"wait", &Runner::Wait},
    };
    auto it = commands.find(a[0]);
    if (it == commands.end()) {
      *why = "unknown command '" + a[0] + "'";
      return false;
    }
    return (this->*it->second)(a, why);
  }

 private:
  // panel NAME WORDS...: a command for a plug-in's side panel; the trace
  // shows the panel's rows afterwards, then what it painted ("panel NAME:
  // draw: ...").
  bool Panel(const Args& a, std::string* why) {
    if (a.size() < 3) return Usage("panel NAME COMMAND [ARGS...]", why);
    std::vector<std::string> rows;
    std::vector<DrawItem> drawn;
    bool ok = RunPanelCommand(a[1], std::vector<std::string>(a.begin() + 2, a.end()), why, &rows, &drawn);
    for (const std::string& row : rows) Editor::Get().TracePanel("panel " + a[1] + ": " + row);
    for (const DrawItem& item : drawn)
      if (std::string line = TraceLine(item); !line.empty()) Editor::Get().TracePanel("panel " + a[1] + ": " + line);
    return ok;
  }

  bool Open(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("open PATH", why);
    return session_.Open(a[1], why);
  }

  bool Save(const Args& a, std::string* why) {
    if (a.size() > 2) return Usage("save [PATH]", why);
    std::string path = a.size() == 2 ? a[1] : session_.DocumentPath();
    if (path.empty()) {
      *why = "no document is open";
      return false;
    }
    return session_.Save(path, why);
  }

  bool Language(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("language CODE", why);
    const std::vector<std::string> installed = InstalledLanguages();
    if (std::find(installed.begin(), installed.end(), a[1]) == installed.end()) {
      *why = "no translation for language '" + a[1] + "' is installed (installed:";
      for (const std::string& code : installed) *why += " " + code;
      *why += ")";
      return false;
    }
    Env().setUiLanguage(a[1]);
    Tessel::SetCurrentLanguage(ToUtf16(a[1]), true);
    return true;
  }

  bool Answer(const Args& a, std::string* why) {
    if (a.size() >= 4 && a[1] == "dialog") {
      Tessel::Headless::DialogAnswer answer;
      if (a[2] != "*") answer.dialogName = ToUtf16(a[2]);
      if (a[3] == "ok") {
        answer.result = 1;
      } else if (a[3] == "cancel") {
        answer.result = 2;
      } else if (!ParseInt(a[3], &answer.result)) {
        *why = "dialog result must be ok, cancel or a number, not '" + a[3] + "'";
        return false;
      }
      for (size_t i = 4; i < a.size(); ++i) {
        size_t eq = a[i].find('=');
        if (eq == std::string::npos || eq == 0) {
          *why = "expected ELEMENT=VALUE, not '" + a[i] + "'";
          return false;
        }
        answer.values[ToUtf16(a[i].substr(0, eq))] = ToUtf16(a[i].substr(eq + 1));
      }
      Tessel::Headless::QueueDialogAnswer(answer);
      return true;
    }
    if (a.size() >= 3 && a[1] == "file") {
      std::vector<std::u16string> paths;
      for (size_t i = 2; i < a.size(); ++i) paths.push_back(ToUtf16(a[i]));
      Tessel::Headless::QueueFileDialogAnswer(paths);
      return true;
    }
    if (a.size() == 3 && a[1] == "message") {
      static const std::map<std::string, int> named = {{"ok", 1}, {"cancel", 2}, {"yes", 6}, {"no", 7}};
      int answer = 0;
      if (auto it = named.find(a[2]); it != named.end()) {
        answer = it->second;
      } else if (!ParseInt(a[2], &answer)) {
        *why = "message answer must be ok, cancel, yes, no or a number, not '" + a[2] + "'";
        return false;
      }
      Editor::Get().QueueMessageAnswer(answer);
      return true;
    }
    if (a.size() == 4 && a[1] == "progress" && a[2] == "cancel") {
      int at = 0;
      if (!ParseInt(a[3], &at) || at < 0) {
        *why = "the progress value to cancel at must be a number from 0, not '" + a[3] + "'";
        return false;
      }
      Progress::Get().QueueCancel(at);
      return true;
    }
    return Usage(
        "answer dialog NAME RESULT [ELEMENT=VALUE ...] | answer file PATH... | answer message ANSWER | "
        "answer progress cancel AT",
        why);
  }

  bool Expect(const Args& a, std::string* why) {
    if (a.size() >= 2 && (a[1] == "selected" || a[1] == "focused")) return ExpectSelection(a, why);
    int page = 0, count = 0;
    if (a.size() != 4 || a[1] != "annots" || !ParseInt(a[2], &page) || !ParseInt(a[3], &count))
      return Usage("expect annots PAGE COUNT | expect selected COUNT | expect focused NAME", why);
    if (!session_.Document()) {
      *why = "no document is open";
      return false;
    }
    KPD_Page p = direct::DocGetPage(session_.Document(), page - 1);
    if (!p) {
      *why = "the document has no page " + a[2];
      return false;
    }
    int actual = direct::PageAnnotCount(p);
    if (actual != count) {
      *why = "page " + a[2] + " has " + std::to_string(actual) + " annotations, expected " + a[3];
      return false;
    }
    return true;
  }

  // view PAGE [zoom Z] [rotate R]: events go through this page's view.
  bool View(const Args& a, std::string* why) {
    int page = 0;
    if (a.size() < 2 || !ParseInt(a[1], &page) || a.size() % 2 != 0)
      return Usage("view PAGE [zoom Z] [rotate 0|90|180|270]", why);
    float zoom = 1;
    int rotate = 0;
    for (size_t i = 2; i + 1 < a.size(); i += 2) {
      if (a[i] == "zoom" && ParseFloat(a[i + 1], &zoom) && zoom > 0.01f && zoom <= 64) continue;
      if (a[i] == "rotate" && ParseInt(a[i + 1], &rotate) && rotate % 90 == 0) continue;
      return Usage("view PAGE [zoom Z] [rotate 0|90|180|270]", why);
    }
    if (!Editor::Get().SetView(page - 1, zoom, rotate)) {
      *why = session_.Document() ? "the document has no page " + a[1] : "no document is open";
      return false;
    }
    page_ = page - 1;
    return true;
  }

  bool Page(const Args& a, std::string* why) {
    int page = 0;
    if (a.size() != 2 || !ParseInt(a[1], &page)) return Usage("page N", why);
    if (!Editor::Get().View(page - 1)) {
      *why = session_.Document() ? "the document has no page " + a[1] : "no document is open";
      return false;
    }
    page_ = page - 1;
    session_.AppDocument()->activePage = page_;
    return true;
  }

  // drag X1 Y1 X2 Y2 [shift] [ctrl]: down, three moves on the way, up.
  bool DragLine(const Args& a, std::string* why) {
    KS_FloatPoint from{}, to{};
    uint32_t flags = 0;
    if (a.size() < 5 || !ParseFloat(a[1], &from.x) || !ParseFloat(a[2], &from.y) || !ParseFloat(a[3], &to.x) ||
        !ParseFloat(a[4], &to.y))
      return Usage("drag X1 Y1 X2 Y2 [shift] [ctrl]", why);
    if (!Modifiers(a, 5, &flags, why)) return false;
    Editor& editor = Editor::Get();
    if (!editor.Mouse(MouseEvent::LeftDown, page_, from, flags, why)) return false;
    for (int step = 1; step <= 3; ++step) {
      const float t = step / 3.0f;
      const KS_FloatPoint at{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
      if (!editor.Mouse(MouseEvent::Move, page_, at, flags, why)) return false;
    }
    return editor.Mouse(MouseEvent::LeftUp, page_, to, flags, why);
  }

  // wait SECONDS: a pause of the person, up to a minute.
  bool Wait(const Args& a, std::string* why) {
    float seconds = 0;
    if (a.size() != 2 || !ParseFloat(a[1], &seconds) || !(seconds >= 0 && seconds <= 60))
      return Usage("wait SECONDS (0 to 60)", why);
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    return true;
  }

  // type TEXT: each character of TEXT (UTF-8) typed into the current tool.
  bool Type(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("type TEXT", why);
    const std::u16string text = ToUtf16(a[1]);
    for (size_t i = 0; i < text.size();)
      if (!Editor::Get().Char(ks::NextCodePoint(text, &i), 0, why)) return false;
    return true;
  }

  // command N: a host command on the selection.
  bool Command(const Args& a, std::string* why) {
    int number = 0;
    if (a.size() != 2 || !ParseInt(a[1], &number)) return Usage("command N", why);
    return Editor::Get().Command(session_.AppDocument(), number, why);
  }

  // rotate DEGREES: turns the focused annotation counter-clockwise.
  bool Rotate(const Args& a, std::string* why) {
    int degrees = 0;
    if (a.size() != 2 || !ParseInt(a[1], &degrees)) return Usage("rotate DEGREES", why);
    return Editor::Get().RotateFocused(session_.AppDocument(), degrees, why);
  }

  // menu ITEM_ID: runs an item of the focused annotation's context menu.
  bool Menu(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("menu ITEM_ID", why);
    return Editor::Get().RunAnnotMenuItem(session_.AppDocument(), a[1], why);
  }

  // front: brings the selection to the front of its pages.
  bool Front(const Args& a, std::string* why) {
    if (a.size() != 1) return Usage("front", why);
    return Editor::Get().BringToFront(session_.AppDocument(), why);
  }

  // topage N: moves the selection to page N (counting from 1).
  bool ToPage(const Args& a, std::string* why) {
    int page = 0;
    if (a.size() != 2 || !ParseInt(a[1], &page)) return Usage("topage N", why);
    if (!session_.AppDocument()) {
      *why = "no document is open";
      return false;
    }
    return Editor::Get().MoveSelectionToPage(session_.AppDocument(), page - 1, why);
  }

  // The annotation whose /NM is `name`, on any page; null when none.
  KA_Annot Named(const std::string& name) {
    KA_Document doc = session_.AppDocument();
    const int pages = direct::DocPageCount(session_.Document());
    for (int p = 0; p < pages; ++p)
      for (KA_Annot annot : Editor::Get().PageAnnots(doc, p))
        if (direct::DictHasKey(direct::AnnotGetDict(annot), "/NM") && NameOf(annot) == name) return annot;
    return nullptr;
  }

  std::string NameOf(KA_Annot annot) { return ToUtf8(edit::TextOf(direct::AnnotGetDict(annot), "/NM")); }

  // select NAME: selects (only) the annotation whose /NM is NAME.
  bool Select(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("select NAME", why);
    if (!session_.AppDocument()) {
      *why = "no document is open";
      return false;
    }
    KA_Annot annot = Named(a[1]);
    if (!annot) {
      *why = "no annotation is named '" + a[1] + "'";
      return false;
    }
    Editor::Get().Select(session_.AppDocument(), annot, false);
    Editor::Get().PaintIfNeeded();
    return true;
  }

  // expect selected COUNT | expect focused NAME
  bool ExpectSelection(const Args& a, std::string* why) {
    KA_Document doc = session_.AppDocument();
    if (a.size() != 3) return Usage("expect selected COUNT | expect focused NAME", why);
    if (!doc) {
      *why = "no document is open";
      return false;
    }
    if (a[1] == "selected") {
      int count = 0;
      if (!ParseInt(a[2], &count)) return Usage("expect selected COUNT", why);
      const int actual = static_cast<int>(Editor::Get().Selection(doc).size());
      if (actual == count) return true;
      *why = std::to_string(actual) + " annotations are selected, expected " + a[2];
      return false;
    }
    KA_Annot focused = Editor::Get().Focused(doc);
    if (!focused) {
      *why = "no annotation is focused, expected '" + a[2] + "'";
      return false;
    }
    const std::string name = NameOf(focused);
    if (name == a[2]) return true;
    *why = "the focused annotation is '" + name + "', expected '" + a[2] + "'";
    return false;
  }

  // snap end|mid|inter|near on|off: switches a snap mode as its button
  // does, in preference section "snap".
  bool Snap(const Args& a, std::string* why) {
    if (a.size() != 3 || (a[2] != "on" && a[2] != "off")) return Usage("snap end|mid|inter|near on|off", why);
    for (int index = 0; index < 4; ++index) {
      if (a[1] != snap::KindName(index + 1)) continue;
      if (!snap::SetMode(index, a[2] == "on")) {
        *why = "cannot store the snap mode '" + a[1] + "'";
        return false;
      }
      return true;
    }
    *why = "unknown snap mode '" + a[1] + "' (end, mid, inter or near)";
    return false;
  }

  bool Tool(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("tool NAME", why);
    KA_Tool tool = Editor::Get().FindTool(a[1]);
    if (!tool) {
      *why = "no tool named '" + a[1] + "' is registered";
      return false;
    }
    Editor::Get().SetCurrentTool(tool, false);
    return true;
  }

  // Trailing words "shift" and "ctrl" set the modifier flags.
  static bool Modifiers(const Args& a, size_t from, uint32_t* flags, std::string* why) {
    *flags = 0;
    for (size_t i = from; i < a.size(); ++i) {
      if (a[i] == "shift") {
        *flags |= KS_FLAG_SHIFT;
      } else if (a[i] == "ctrl") {
        *flags |= KS_FLAG_CTRL;
      } else {
        *why = "expected shift or ctrl, not '" + a[i] + "'";
        return false;
      }
    }
    return true;
  }

  // down|up|move|dblclick|click|rdown|rup|rdblclick|rclick X Y [shift] [ctrl],
  // X and Y in page coordinates of the current page.
  bool Mouse(const Args& a, std::string* why) {
    KS_FloatPoint pt{};
    uint32_t flags = 0;
    if (a.size() < 3 || !ParseFloat(a[1], &pt.x) || !ParseFloat(a[2], &pt.y))
      return Usage((a[0] + " X Y [shift] [ctrl]").c_str(), why);
    if (!Modifiers(a, 3, &flags, why)) return false;
    static const std::map<std::string, std::vector<MouseEvent>> kinds = {
        {"down", {MouseEvent::LeftDown}},
        {"up", {MouseEvent::LeftUp}},
        {"move", {MouseEvent::Move}},
        {"click", {MouseEvent::LeftDown, MouseEvent::LeftUp}},
        {"dblclick", {MouseEvent::LeftDown, MouseEvent::LeftUp, MouseEvent::LeftDouble, MouseEvent::LeftUp}},
        {"rdown", {MouseEvent::RightDown}},
        {"rup", {MouseEvent::RightUp}},
        {"rclick", {MouseEvent::RightDown, MouseEvent::RightUp}},
        {"rdblclick", {MouseEvent::RightDown, MouseEvent::RightUp, MouseEvent::RightDouble, MouseEvent::RightUp}},
    };
    for (MouseEvent kind : kinds.at(a[0]))
      if (!Editor::Get().Mouse(kind, page_, pt, flags, why)) return false;
    return true;
  }

  // key CODE|NAME [shift] [ctrl]
  bool Key(const Args& a, std::string* why) {
    static const std::map<std::string, int> names = {
        {"backspace", 8}, {"tab", 9},   {"enter", 13}, {"escape", 27}, {"space", 32}, {"left", 37},
        {"up", 38},       {"right", 39}, {"down", 40},  {"delete", 46}, {"a", 'A'}, {"c", 'C'}, {"v", 'V'},
    };
    int code = 0;
    uint32_t flags = 0;
    if (a.size() < 2) return Usage("key CODE|NAME [shift] [ctrl]", why);
    if (auto it = names.find(a[1]); it != names.end()) {
      code = it->second;
    } else if (!ParseInt(a[1], &code)) {
      *why = "unknown key '" + a[1] + "'";
      return false;
    }
    return Modifiers(a, 2, &flags, why) && Editor::Get().Key(code, flags, why);
  }

  // wheel DELTA X Y [shift] [ctrl]
  bool Wheel(const Args& a, std::string* why) {
    int delta = 0;
    KS_FloatPoint pt{};
    uint32_t flags = 0;
    if (a.size() < 4 || !ParseInt(a[1], &delta) || !ParseFloat(a[2], &pt.x) || !ParseFloat(a[3], &pt.y))
      return Usage("wheel DELTA X Y [shift] [ctrl]", why);
    return Modifiers(a, 4, &flags, why) && Editor::Get().Wheel(page_, pt, delta, flags, why);
  }

  bool Press(const Args& a, std::string* why) {
    int value = 0;
    if (a.size() == 3 && ParseInt(a[2], &value)) return Ribbon::Get().Slide(a[1], value, why);
    if (a.size() != 2) return Usage("press CONTROL_ID [SLIDER_VALUE]", why);
    return Ribbon::Get().Press(a[1], why);
  }

  bool UndoRedo(const Args& a, std::string* why) {
    if (a.size() != 1) return Usage(a[0].c_str(), why);
    KA_Document doc = session_.AppDocument();
    if (!doc) {
      *why = "no document is open";
      return false;
    }
    if (!(a[0] == "undo" ? Editor::Get().Undo(doc) : Editor::Get().Redo(doc))) {
      *why = "nothing to " + a[0];
      return false;
    }
    return true;
  }

  static bool Usage(const char* form, std::string* why) {
    *why = std::string("usage: ") + form;
    return false;
  }

  Session& session_;
  int page_ = 0;
};

// While a script runs, a modal dialog that finds no queued answer is noted
// (and cancels, as it would anyway); the line that opened it then fails.
// Without this, a forgotten answer would go on silently with the dialog's
// cancel path: no scale set, values in points.
class UnansweredDialogs {
 public:
  UnansweredDialogs() {
    Tessel::Headless::SetDialogProvider([this](Tessel::Dialog& dialog) -> std::optional<Tessel::Headless::DialogAnswer> {
      std::u16string layout = dialog.GetLayoutFileName();
      const size_t slash = layout.find_last_of(u"/\\");
      if (slash != std::u16string::npos) layout.erase(0, slash + 1);
      names_.push_back(ToUtf8(layout));
      return std::nullopt;
    });
  }
  ~UnansweredDialogs() { Tessel::Headless::SetDialogProvider(nullptr); }
  UnansweredDialogs(const UnansweredDialogs&) = delete;
  UnansweredDialogs& operator=(const UnansweredDialogs&) = delete;

  // "dialog NAME opened without an answer ..." for the first dialog noted
  // since the last call; empty when there was none.
  std::string Take() {
    std::string why;
    if (!names_.empty())
      why = "dialog " + names_.front() + " opened without an answer; give one before this line with 'answer dialog " +
            names_.front() + " ok|cancel [ELEMENT=VALUE ...]'";
    names_.clear();
    return why;
  }

 private:
  std::vector<std::string> names_;
};

}  // namespace

bool RunScript(Session& session, std::istream& script, const std::string& name, std::string* error) {
  Runner runner(session);
  UnansweredDialogs unanswered;
  std::string line, why;
  Args args;
  for (int number = 1; std::getline(script, line); ++number) {
    // Editors that save UTF-8 with a byte order mark put it before the
    // first command.
    if (number == 1 && line.compare(0, sizeof kByteOrderMark - 1, kByteOrderMark) == 0) line.erase(0, sizeof kByteOrderMark - 1);
    bool ok = SplitLine(line, &args, &why) && (args.empty() || runner.Run(args, &why));
    // The dialog is the cause of whatever the line did after it.
    if (std::string dialog = unanswered.Take(); !dialog.empty()) {
      why = dialog;
      ok = false;
    }
    if (!ok) {
      if (error) *error = name + ":" + std::to_string(number) + ": " + WithWordsShortened(why, args);
      return false;
    }
  }
  return true;
}

bool ReadScript(const std::string& path, std::string* text, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = "cannot read script " + path + ": it is a folder";
    return false;
  }
  std::string why;
  if (!ReadRegularFile(path, text, &why)) {
    *error = "cannot read script " + path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace kshost
