#include "serve/server.h"

#include <fcntl.h>
#include <unistd.h>

// qpdf 11 without its PointerHolder compatibility, as the host has it.
#ifndef POINTERHOLDER_TRANSITION
#define POINTERHOLDER_TRANSITION 4
#endif
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <random>
#include <sstream>

#include "host/editor.h"
#include "host/file_util.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/panels.h"
#include "host/pdf_document.h"
#include "host/ribbon.h"
#include "host/session.h"
#include "host/utf.h"
#include "serve/host_queue.h"
#include "serve/http_front.h"
#include "serve/serve_request.h"
#include "tessel/dialog.h"
#include "tessel/headless.h"
#include "tessel/language.h"

namespace annotserve {

namespace fs = std::filesystem;
using kshost::Editor;

namespace {

// How long a request waits for the host before it gives up; the job still
// runs, its answer is dropped.
constexpr auto kHostWait = std::chrono::seconds(60);
// Messages and tips kept for the page.
constexpr size_t kKeptLines = 20;
// Window drawings kept for the overlay during one gesture at most.
constexpr size_t kMaxWindowItems = 4000;
// Threads that handle whole requests. A request that waits for the host
// holds one; the connections themselves wait in HttpFront's reading
// thread, so this many requests can wait for the host at once.
constexpr size_t kServerThreads = 16;

// httplib's routing of a request read from a stream, without its own
// accepting and reading of connections (HttpFront does that).
class Router : public httplib::Server {
 public:
  // False when the connection is to be closed.
  bool Handle(httplib::Stream& stream) {
    bool closed = false;
    return process_request(stream, false, closed, nullptr) && !closed;
  }
};

std::string RandomToken() {
  std::random_device rd;
  static const char kDigits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kDigits[rd() & 15];
  return token;
}

// $ANNOT_WEB_DIR; else web/ beside the program's folder (a build keeps the
// page and pdf.js in build/web); else the application folder's web/.
std::string DefaultWebFolder() {
  if (const char* dir = std::getenv("ANNOT_WEB_DIR"); dir && *dir) return dir;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = exe.parent_path().parent_path() / "web";
    if (fs::is_regular_file(beside / "index.html", ec)) return beside.string();
  }
  return (fs::path(kshost::Env().appFolder()) / "web").string();
}

bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string Colour(KS_ColorRef c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  return text;
}

std::string Utf8(const std::u16string& s) { return kshost::ToUtf8(s); }

std::vector<std::string> InstalledLanguages() {
  std::vector<std::string> codes;
  std::error_code ec;
  const fs::path folder = fs::path(kshost::Env().appFolder()) / "lang";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (fs::is_regular_file(it->path() / ("Annotation_strings_" + it->path().filename().string() + ".xml.kw"), ec))
      codes.push_back(it->path().filename().string());
  std::sort(codes.begin(), codes.end());
  return codes;
}

void AppendItems(std::string& out, const std::vector<kshost::DrawItem>& items, bool& first) {
  for (const kshost::DrawItem& item : items) {
    if (item.kind == kshost::DrawItem::Kind::Appearance) continue;
    out += first ? "" : ",";
    first = false;
    out += "{\"k\":";
    out += item.kind == kshost::DrawItem::Kind::Rect   ? "\"rect\""
           : item.kind == kshost::DrawItem::Kind::Line ? "\"line\""
                                                       : "\"path\"";
    out += ",\"p\":[";
    for (size_t i = 0; i < item.points.size(); ++i)
      out += (i ? "," : "") + std::to_string(item.points[i].x) + "," + std::to_string(item.points[i].y);
    out += "],\"closed\":" + std::string(item.closed ? "true" : "false");
    out += ",\"c\":\"" + Colour(item.pen.color) + "\",\"w\":" + std::to_string(item.pen.width);
    out += ",\"dash\":" + std::string(item.pen.style ? "true" : "false");
    out += ",\"fill\":" + (item.brush.hollow ? std::string("null") : "\"" + Colour(item.brush.color) + "\"") + "}";
  }
}

void AppendRibbon(std::string& out, const KA_RibbonElement__& e) {
  out += "{\"name\":" + JsonString(e.name) + ",\"title\":" + JsonString(Utf8(e.title)) +
         ",\"tooltip\":" + JsonString(Utf8(e.tooltip)) + ",\"kind\":" + std::to_string(e.kind) +
         ",\"enabled\":" + (e.enabled ? "true" : "false") + ",\"checked\":" + (e.checked ? "true" : "false") +
         ",\"press\":" + (e.press ? "true" : "false");
  if (e.kind == KS_RIBBON_SLIDER)
    out += ",\"min\":" + std::to_string(e.sliderMin) + ",\"max\":" + std::to_string(e.sliderMax) +
           ",\"value\":" + std::to_string(e.sliderValue);
  out += ",\"children\":[";
  std::vector<const KA_RibbonElement__*> children;
  for (const auto& c : e.children) children.push_back(c.get());
  std::stable_sort(children.begin(), children.end(), [](auto* a, auto* b) { return a->position < b->position; });
  for (size_t i = 0; i < children.size(); ++i) {
    if (i) out += ",";
    AppendRibbon(out, *children[i]);
  }
  out += "]}";
}

// The ratio text of a page's scale (its first viewport's measure, "1 in =
// 10 ft"); empty when the page has none.
std::string PageScaleText(QPDF& pdf, int pageIndex) {
  try {
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) return "";
    QPDFObjectHandle vp = pages[size_t(pageIndex)].getObjectHandle().getKey("/VP");
    if (!vp.isArray() || vp.getArrayNItems() < 1) return "";
    QPDFObjectHandle ratio = vp.getArrayItem(0).getKey("/Measure").getKey("/R");
    return ratio.isString() ? ratio.getUTF8Value() : "";
  } catch (const std::exception&) {
    return "";  // a damaged page shows as one without a scale
  }
}

// The editor's own words the page shows, in the current language.
std::string PageWordsJson() {
  static const char* const kWords[] = {"IDS_EDITOR_PAGE_SCALE", "IDS_EDITOR_NO_SCALE"};
  std::string json = "{";
  for (const char* key : kWords)
    json += (json.size() > 1 ? "," : "") + JsonString(key) + ":" + JsonString(Utf8(kshost::EditorText(key)));
  return json + "}";
}

}  // namespace

struct Server::Impl {
  explicit Impl(ServeOptions o) : options(std::move(o)), queue(options.queueLimit) {}

  ServeOptions options;
  Router http;
  std::unique_ptr<HttpFront> front;
  HostQueue queue;
  int port = 0;
  std::atomic<bool> stopped{false};
  std::mutex waitMutex;
  std::condition_variable waitDone;

  // ---- shared between the server threads and the host thread (mutex) ----
  std::mutex shared;
  std::string hostJson = "null";   // the last snapshot of the host's models
  uint64_t seq = 0;                // bumped with each snapshot or modal change
  std::string modalJson = "null";  // a dialog or message box waiting for the user
  uint64_t modalId = 0;
  std::optional<std::pair<uint64_t, Tessel::Headless::DialogAnswer>> dialogAnswer;
  std::optional<std::pair<uint64_t, int>> messageAnswer;
  std::condition_variable answered;
  std::atomic<int> saves{0};
  std::string wantedLanguage;  // from the first Accept-Language, before the host starts

  // ---- the host thread's own ----
  std::unique_ptr<kshost::Session> session;
  std::string hostError;
  std::string language;
  std::vector<std::pair<std::string, std::string>> panelValues;
  std::deque<std::string> messages, tips;
  std::vector<kshost::DrawItem> windowItems;
  bool buttonHeld = false;
  uint64_t docVersion = 1;
  uint64_t bytesVersion = 0;
  // The top of the undo stack when the document was last saved or opened:
  // the document has unsaved changes while the top is another.
  std::pair<size_t, const void*> savedMark{0, nullptr};
  std::string bytes;
  std::map<std::string, std::vector<std::string>> chestRows;
  // A file the plug-in saved through a save dialog (the measurement
  // export) goes to the page as a download: the dialog is given a path in
  // a folder of the server's own, and the file is taken from there.
  std::string saveFolder;
  std::string offeredPath;
  struct Offered {
    std::string name, data;
  };
  std::map<uint64_t, Offered> offered;  // shared (mutex): read by /api/file
  uint64_t offeredId = 0;

  // Runs `job` on the host thread and waits for it. 503 when the queue is
  // full or the host does not answer in time. A job that writes the file
  // (`untilDone`) is waited for however long it takes, so that its answer
  // is what happened to the file.
  void OnHost(httplib::Response& res, std::function<void(httplib::Response&)> job, bool untilDone = false) {
    auto done = std::make_shared<std::promise<httplib::Response>>();
    auto future = done->get_future();
    const bool posted = queue.Post([this, job = std::move(job), done] {
      httplib::Response r;
      if (!EnsureHost(r)) {
        done->set_value(std::move(r));
        return;
      }
      job(r);
      Publish();
      done->set_value(std::move(r));
    });
    if (!posted) return Refuse(res, 503, "the editor is busy; try again");
    // A dialog or menu waiting for the person holds the host as long as
    // it takes; otherwise the host answers in time or the request fails.
    auto deadline = std::chrono::steady_clock::now() + kHostWait;
    while (future.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
      // A job the host has taken runs before the host stops (HostQueue
      // runs what is queued, and a dialog waiting for the person is
      // cancelled), so the answer waits for what really happened: a save
      // under way when the server is told to stop finishes, and says so.
      if (stopped) break;
      bool waitingForPerson;
      {
        std::lock_guard lock(shared);
        waitingForPerson = modalJson != "null";
      }
      if (waitingForPerson)
        deadline = std::chrono::steady_clock::now() + kHostWait;
      else if (!untilDone && std::chrono::steady_clock::now() > deadline)
        return Refuse(res, 503, "the editor did not answer in time");
    }
    try {
      res = future.get();
    } catch (const std::future_error&) {
      Refuse(res, 503, "the server stopped before it did this; nothing was changed");
    }
  }

  static void Refuse(httplib::Response& res, int status, const std::string& why) {
    res.status = status;
    res.set_content("{\"error\":" + JsonString(why) + "}", "application/json");
  }

  // ---- host thread ------------------------------------------------------

  bool EnsureHost(httplib::Response& res) {
    if (session) return true;
    if (!hostError.empty()) {
      Refuse(res, 500, hostError);
      return false;
    }
    std::string lang = options.language;
    if (lang.empty()) {
      std::lock_guard lock(shared);
      lang = wantedLanguage;
    }
    if (lang.empty()) lang = "en-US";
    language = lang;
    kshost::Env().setUiLanguage(lang);
    session = std::make_unique<kshost::Session>();
    Tessel::SetCurrentLanguage(kshost::ToUtf16(lang), true);
    session->SetPassword(options.password);
    Editor::Get().SetTrace([this](const std::string& line) { OnTrace(line); });
    Editor::Get().SetWindowSink([this](const std::vector<kshost::DrawItem>& items) {
      windowItems.insert(windowItems.end(), items.begin(), items.end());
    });
    Editor::Get().SetMessageProvider(
        [this](const std::u16string& title, const std::u16string& text, uint32_t buttons) {
          return AskMessage(title, text, buttons);
        });
    Tessel::Headless::SetDialogProvider([this](Tessel::Dialog& d) { return AskDialog(d); });
    Tessel::Headless::SetFileDialogProvider(
        [this](bool open, const std::u16string&, const std::u16string& name) { return OfferSavePath(open, name); });
    std::string why;
    const std::string plugin = options.pluginPath.empty() ? kshost::Session::DefaultPluginPath() : options.pluginPath;
    if (!session->LoadPlugin(plugin, &why) || !session->Open(options.pdfPath, &why)) {
      hostError = why.empty() ? "the editor could not start" : why;
      ShutHost();
      Refuse(res, 500, hostError);
      return false;
    }
    Editor::Get().SetView(0, 1, 0);
    savedMark = UndoMark();
    RefreshChest();
    Publish();
    return true;
  }

  std::pair<size_t, const void*> UndoMark() const {
    KA_Document doc = session ? session->AppDocument() : nullptr;
    if (!doc || doc->undo.empty()) return {0, nullptr};
    const auto& top = doc->undo.back();
    return {doc->undo.size(), top.items.empty() ? nullptr : top.items.front().clientData};
  }
  bool Unsaved() const { return UndoMark() != savedMark; }

  // A name beside the document for a copy, `plan-copy.pdf`, then
  // `plan-copy-2.pdf` and on, made at once as an empty file so that no
  // other file can take it before the copy is written over it.
  bool ReserveCopyName(std::string* path, std::string* why) {
    const fs::path original(options.pdfPath);
    const std::string stem = original.stem().string();
    const std::string ext = original.has_extension() ? original.extension().string() : ".pdf";
    for (int n = 1; n <= 99; ++n) {
      const fs::path candidate =
          original.parent_path() / (stem + "-copy" + (n == 1 ? "" : "-" + std::to_string(n)) + ext);
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        *path = candidate.string();
        return true;
      }
      if (errno != EEXIST) {
        *why = "cannot make a copy beside " + options.pdfPath + ": " + std::strerror(errno);
        return false;
      }
    }
    *why = "cannot make a copy beside " + options.pdfPath + ": too many copies are there already";
    return false;
  }

  void ShutHost() {
    if (!session) return;
    Editor::Get().SetTrace(nullptr);
    Editor::Get().SetWindowSink(nullptr);
    Editor::Get().SetMessageProvider(nullptr);
    Tessel::Headless::SetDialogProvider(nullptr);
    Tessel::Headless::SetFileDialogProvider(nullptr);
    session.reset();
    if (!saveFolder.empty()) {
      std::error_code ec;
      fs::remove_all(saveFolder, ec);
      saveFolder.clear();
    }
  }

  // A save dialog gets a fresh path named as proposed in the server's
  // folder; an open dialog is cancelled (the page has no files to give).
  std::optional<std::vector<std::u16string>> OfferSavePath(bool open, const std::u16string& proposed) {
    if (open) return std::nullopt;
    if (saveFolder.empty()) {
      std::string pattern = (fs::temp_directory_path() / "annot-serve-XXXXXX").string();
      if (!::mkdtemp(pattern.data())) return std::nullopt;
      saveFolder = pattern;
    }
    std::string name = fs::path(Utf8(proposed)).filename().string();
    std::string safe;
    for (char c : name)
      safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
    if (safe.empty() || safe == "." || safe == "..") safe = "export";
    offeredPath = (fs::path(saveFolder) / safe).string();
    std::error_code ec;
    fs::remove(offeredPath, ec);
    return std::vector<std::u16string>{kshost::ToUtf16(offeredPath)};
  }

  // The file written to the path last offered, for the page to download;
  // 0 when nothing was written there.
  uint64_t TakeOfferedFile() {
    if (offeredPath.empty()) return 0;
    const std::string path = std::exchange(offeredPath, std::string());
    std::string data, why;
    const bool read = kshost::ReadRegularFile(path, &data, &why);
    std::error_code ec;
    fs::remove(path, ec);
    if (!read) return 0;
    std::lock_guard lock(shared);
    // Only the newest few are kept for the page to fetch.
    while (offered.size() >= 4) offered.erase(offered.begin());
    offered[++offeredId] = {fs::path(path).filename().string(), std::move(data)};
    return offeredId;
  }

  void OnTrace(const std::string& line) {
    auto keep = [](std::deque<std::string>& lines, std::string text) {
      lines.push_back(std::move(text));
      while (lines.size() > kKeptLines) lines.pop_front();
    };
    if (line.rfind("undo: ", 0) == 0) {
      ++docVersion;
    } else if (line.rfind("message: ", 0) == 0) {
      keep(messages, line.substr(9));
    } else if (line.rfind("tip: ", 0) == 0) {
      keep(tips, line.substr(5));
    } else if (line.rfind("panel ", 0) == 0) {
      const size_t eq = line.find(" = ");
      if (eq == std::string::npos) return;
      std::string element = line.substr(6, eq - 6), value = line.substr(eq + 3);
      auto it = std::find_if(panelValues.begin(), panelValues.end(), [&](auto& p) { return p.first == element; });
      if (it != panelValues.end())
        it->second = value;
      else if (panelValues.size() < 200)
        panelValues.emplace_back(element, value);
    }
  }

  void RefreshChest() {
    for (const std::string& name : kshost::PanelNames()) {
      std::vector<std::string> rows;
      std::string why;
      kshost::RunPanelCommand(name, {"show"}, &why, &rows);
      chestRows[name] = rows;
    }
  }

  // Sets the modal part of the state and waits for the user's answer;
  // nothing when the server stops first.
  template <class T>
  std::optional<T> WaitForAnswer(const std::string& json, std::optional<std::pair<uint64_t, T>>& slot) {
    Publish();
    std::unique_lock lock(shared);
    const uint64_t id = ++modalId;
    modalJson = "{\"id\":" + std::to_string(id) + "," + json + "}";
    ++seq;
    slot.reset();
    answered.wait(lock, [&] { return stopped.load() || (slot && slot->first == id); });
    modalJson = "null";
    ++seq;
    if (!slot || slot->first != id) return std::nullopt;
    T value = std::move(slot->second);
    slot.reset();
    return value;
  }

  // A message box, or a menu: the host asks a menu as a box titled "menu"
  // whose text is the items joined by " | ", answered by the item's number.
  // A message box offers the answers of its kind: 1 OK, 2 Cancel, 6 Yes, 7 No.
  std::optional<int> AskMessage(const std::u16string& title, const std::u16string& text, uint32_t buttons) {
    std::string json;
    if (title == u"menu") {
      json = "\"type\":\"menu\",\"items\":[";
      const std::string items = Utf8(text);
      size_t start = 0;
      for (bool first = true;; first = false) {
        const size_t bar = items.find(" | ", start);
        json += (first ? "" : ",") +
                JsonString(items.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 3;
      }
      json += "]";
    } else {
      static const char* kAnswers[] = {"[1]", "[1,2]", "[1,2]", "[6,7,2]", "[6,7]", "[1,2]"};
      json = "\"type\":\"message\",\"title\":" + JsonString(Utf8(title)) + ",\"text\":" + JsonString(Utf8(text)) +
             ",\"buttons\":" + kAnswers[(buttons & 0xF) < 6 ? (buttons & 0xF) : 0];
    }
    return WaitForAnswer<int>(json, messageAnswer);
  }

  // The elements of a dialog as the page draws them: kind, name, text,
  // state, and the items of lists.
  static std::string ElementsJson(Tessel::Dialog& dialog) {
    std::string json = "[";
    bool first = true;
    for (const auto& e : dialog.GetElements()) {
      using Tessel::ElementType;
      static const char* kTypes[] = {"generic",  "edit",    "label",     "button",  "buttonbox",
                                     "combobox", "listbox", "hyperlink", "checkbox"};
      const int type = static_cast<int>(e->GetType());
      json += first ? "" : ",";
      first = false;
      json += "{\"name\":" + JsonString(Utf8(e->GetName())) + ",\"type\":\"" + kTypes[type] +
              "\",\"text\":" + JsonString(Utf8(e->GetText())) + ",\"visible\":" + (e->IsVisible() ? "true" : "false") +
              ",\"enabled\":" + (e->IsEnabled() ? "true" : "false") +
              ",\"tooltip\":" + JsonString(Utf8(e->GetToolTip()));
      if (auto* combo = dynamic_cast<Tessel::ComboBox*>(e.get())) {
        json += ",\"items\":[";
        for (size_t i = 0; i < combo->GetItems().size(); ++i)
          json += (i ? "," : "") + JsonString(Utf8(combo->GetItems()[i]));
        json += "],\"selected\":" + std::to_string(combo->GetCurSel()) +
                ",\"editable\":" + (combo->IsEditable() ? "true" : "false");
      } else if (auto* check = dynamic_cast<Tessel::CheckBox*>(e.get())) {
        json += ",\"checked\":" + std::string(check->IsChecked() ? "true" : "false");
      } else if (auto* edit = dynamic_cast<Tessel::Edit*>(e.get())) {
        json += ",\"readonly\":" + std::string(edit->IsReadOnly() ? "true" : "false");
      } else if (auto* list = dynamic_cast<Tessel::ListBox*>(e.get())) {
        json += ",\"columns\":[";
        for (int c = 0; c < list->GetColumnCount(); ++c)
          json += (c ? "," : "") + JsonString(Utf8(list->GetColumns()[c].title));
        json += "],\"rows\":[";
        for (int r = 0; r < list->GetRowCount() && r < 500; ++r) {
          json += r ? ",[" : "[";
          for (int c = 0; c < list->GetColumnCount(); ++c)
            json += (c ? "," : "") + JsonString(Utf8(list->GetCellText(r, c)));
          json += "]";
        }
        json += "],\"selected\":" + std::to_string(list->GetCurSel());
      }
      json += "}";
    }
    return json + "]";
  }

  std::optional<Tessel::Headless::DialogAnswer> AskDialog(Tessel::Dialog& dialog) {
    std::string json = "\"type\":\"dialog\",\"name\":" + JsonString(Utf8(dialog.GetName())) +
                       ",\"layout\":" + JsonString(Utf8(dialog.GetLayoutFileName())) +
                       ",\"title\":" + JsonString(Utf8(dialog.GetWindowTitle())) + ",\"elements\":";
    json += ElementsJson(dialog);
    return WaitForAnswer<Tessel::Headless::DialogAnswer>(json, dialogAnswer);
  }

  // The document as it is now, written whole to memory.
  bool CurrentBytes(std::string* out, std::string* why) {
    if (bytesVersion != docVersion || bytes.empty()) {
      try {
        auto* doc = kshost::pdf::Document::FromKpd(session->Document());
        QPDFWriter writer(doc->qpdf());
        writer.setOutputMemory();
        if (!doc->qpdf().isEncrypted()) writer.setDeterministicID(true);
        writer.write();
        std::unique_ptr<Buffer> written(writer.getBuffer());
        bytes.assign(reinterpret_cast<const char*>(written->getBuffer()), written->getSize());
        bytesVersion = docVersion;
      } catch (const std::exception& e) {
        *why = std::string("cannot write the document: ") + e.what();
        return false;
      }
    }
    *out = bytes;
    return true;
  }

  // The snapshot of everything the page shows.
  void Publish() {
    Editor& editor = Editor::Get();
    KA_Document doc = session ? session->AppDocument() : nullptr;
    std::string s = "{";
    s += "\"lang\":" + JsonString(language);
  s += ",\"words\":" + PageWordsJson();
    if (doc) {
      const int pages = kshost::fn::DocPageCount(session->Document());
      const int page = std::clamp(doc->activePage, 0, std::max(0, pages - 1));
      KA_PageView view = editor.View(page);
      s += ",\"pages\":" + std::to_string(pages) + ",\"page\":" + std::to_string(page);
      if (view) {
        char buf[160];
        const KS_Matrix& m = view->pageToDevice;
        std::snprintf(buf, sizeof buf, ",\"zoom\":%g,\"rotation\":%d,\"matrix\":[%g,%g,%g,%g,%g,%g]", view->zoom,
                      view->rotation, m.a, m.b, m.c, m.d, m.e, m.f);
        s += buf;
      }
      s += ",\"undo\":" + std::to_string(doc->undo.size()) + ",\"redo\":" + std::to_string(doc->redo.size());
      s += ",\"scale\":" +
           JsonString(PageScaleText(kshost::pdf::Document::FromKpd(session->Document())->qpdf(), page));
      s += ",\"overlay\":[";
      bool first = true;
      if (view) {
        // Painting again would trace draw lines; the trace keeps only what it needs.
        AppendItems(s, editor.Paint(view), first);
      }
      AppendItems(s, windowItems, first);
      s += "]";
    }
    s += ",\"doc\":" + std::to_string(docVersion) + ",\"saves\":" + std::to_string(saves.load());
    s += ",\"file\":" + JsonString(fs::path(options.pdfPath).filename().string());
    s += ",\"unsaved\":" + std::string(Unsaved() ? "true" : "false");
    KA_Tool tool = editor.CurrentTool();
    s += ",\"tool\":" + JsonString(tool ? tool->name : "") + ",\"cursor\":" + JsonString(editor.Cursor());
    s += ",\"ribbon\":[";
    // A contextual tab is listed while it is shown, after the editor's own.
    bool firstCategory = true;
    for (const auto& category : kshost::Ribbon::Get().Categories()) {
      if (category->contextual && category->context.empty()) continue;
      if (!firstCategory) s += ",";
      firstCategory = false;
      AppendRibbon(s, *category);
    }
    // Values traced by a panel that is no longer shown are of a figure gone.
    if (Tessel::Dialog::ShownModeless().empty()) panelValues.clear();
    s += "],\"panel\":[";
    for (size_t i = 0; i < panelValues.size(); ++i)
      s += (i ? "," : "") + std::string("[") + JsonString(panelValues[i].first) + "," +
           JsonString(panelValues[i].second) + "]";
    s += "],\"sides\":[";
    bool firstSide = true;
    for (Tessel::Dialog* side : Tessel::Dialog::ShownModeless()) {
      s += (firstSide ? "" : ",") + std::string("{\"name\":") + JsonString(Utf8(side->GetName())) +
           ",\"title\":" + JsonString(Utf8(side->GetWindowTitle())) + ",\"elements\":" + ElementsJson(*side) + "}";
      firstSide = false;
    }
    s += "],\"chest\":{";
    bool firstPanel = true;
    for (const auto& [name, rows] : chestRows) {
      s += (firstPanel ? "" : ",") + JsonString(name) + ":[";
      firstPanel = false;
      for (size_t i = 0; i < rows.size(); ++i) s += (i ? "," : "") + JsonString(rows[i]);
      s += "]";
    }
    s += "},\"messages\":[";
    for (size_t i = 0; i < messages.size(); ++i) s += (i ? "," : "") + JsonString(messages[i]);
    s += "],\"tips\":[";
    for (size_t i = 0; i < tips.size(); ++i) s += (i ? "," : "") + JsonString(tips[i]);
    s += "]}";
    std::lock_guard lock(shared);
    hostJson = std::move(s);
    ++seq;
  }

  std::string StateJson() {
    std::lock_guard lock(shared);
    return "{\"seq\":" + std::to_string(seq) + ",\"host\":" + hostJson + ",\"modal\":" + modalJson + "}";
  }

  void ReplyState(httplib::Response& res) { res.set_content(StateJson(), "application/json"); }

  // ---- requests ---------------------------------------------------------

  bool Allowed(const httplib::Request& req, httplib::Response& res) {
    const std::string p = std::to_string(port);
    const std::string host = req.get_header_value("Host");
    if (host != "127.0.0.1:" + p && host != "localhost:" + p) {
      Refuse(res, 403, "this server answers only for 127.0.0.1:" + p);
      return false;
    }
    if (req.has_header("Origin")) {
      const std::string origin = req.get_header_value("Origin");
      if (origin != "http://127.0.0.1:" + p && origin != "http://localhost:" + p) {
        Refuse(res, 403, "requests from other origins are refused");
        return false;
      }
    }
    std::string token = req.get_header_value("X-Annot-Token");
    if (token.empty() && req.has_param("t")) token = req.get_param_value("t");
    if (!SameSecret(token, options.token)) {
      Refuse(res, 403, "the token is missing or wrong; open the address annot serve printed");
      return false;
    }
    return true;
  }

  // The page's own files by name; nothing else is served from disk.
  void ServeAsset(const std::string& name, httplib::Response& res) {
    static const std::map<std::string, std::pair<std::string, std::string>> assets = {
        {"index.html", {"index.html", "text/html; charset=utf-8"}},
        {"app.js", {"app.js", "text/javascript; charset=utf-8"}},
        {"app.css", {"app.css", "text/css; charset=utf-8"}},
        {"pdf.min.mjs", {"pdfjs/pdf.min.mjs", "text/javascript; charset=utf-8"}},
        {"pdf.worker.min.mjs", {"pdfjs/pdf.worker.min.mjs", "text/javascript; charset=utf-8"}},
    };
    auto it = assets.find(name);
    if (it == assets.end()) return Refuse(res, 404, "no such file");
    std::string text, why;
    if (!kshost::ReadRegularFile((fs::path(options.webFolder) / it->second.first).string(), &text, &why))
      return Refuse(res, 404, "the page's file " + name + " is missing: " + why);
    if (name == "index.html")
      for (size_t at = text.find("__TOKEN__"); at != std::string::npos; at = text.find("__TOKEN__", at))
        text.replace(at, 9, options.token);
    res.set_header("Cache-Control", "no-store");
    res.set_content(std::move(text), it->second.second.c_str());
  }

  static Params ToParams(const httplib::Request& req) { return Params(req.params.begin(), req.params.end()); }

  void Routes() {
    auto guard = [this](auto handler) {
      return [this, handler](const httplib::Request& req, httplib::Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        if (!Allowed(req, res)) return;
        handler(req, res);
      };
    };
    http.Get("/", guard([this](const httplib::Request& req, httplib::Response& res) {
               if (options.language.empty()) {
                 std::lock_guard lock(shared);
                 if (wantedLanguage.empty())
                   wantedLanguage = PickLanguage(req.get_header_value("Accept-Language"), InstalledLanguages());
               }
               ServeAsset("index.html", res);
             }));
    http.Get(R"(/app/([a-z.]+))",
             guard([this](const httplib::Request& req, httplib::Response& res) { ServeAsset(req.matches[1], res); }));
    http.Get("/api/state", guard([this](const httplib::Request& req, httplib::Response& res) {
               bool started;
               {
                 std::lock_guard lock(shared);
                 started = hostJson != "null";
               }
               if (!started) return OnHost(res, [this](httplib::Response& r) { ReplyState(r); });
               ReplyState(res);
             }));
    http.Get("/api/document", guard([this](const httplib::Request&, httplib::Response& res) {
               OnHost(res, [this](httplib::Response& r) {
                 std::string data, why;
                 if (!CurrentBytes(&data, &why)) return Refuse(r, 500, why);
                 r.set_header("X-Annot-Doc", std::to_string(docVersion));
                 r.set_header("Cache-Control", "no-store");
                 r.set_content(std::move(data), "application/pdf");
               });
             }));
    http.Get("/api/download", guard([this](const httplib::Request&, httplib::Response& res) {
               OnHost(res, [this](httplib::Response& r) {
                 std::string data, why;
                 if (!CurrentBytes(&data, &why)) return Refuse(r, 500, why);
                 std::string name = fs::path(options.pdfPath).filename().string();
                 std::string safe;
                 for (char c : name)
                   safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
                 r.set_header("Content-Disposition", "attachment; filename=\"" + safe + "\"");
                 r.set_content(std::move(data), "application/pdf");
               });
             }));
    // A file the plug-in saved for the page (see TakeOfferedFile), once.
    http.Get("/api/file", guard([this](const httplib::Request& req, httplib::Response& res) {
               uint64_t id = 0;
               const std::string text = req.get_param_value("id");
               std::from_chars(text.data(), text.data() + text.size(), id);
               Offered file;
               {
                 std::lock_guard lock(shared);
                 auto it = offered.find(id);
                 if (it == offered.end()) return Refuse(res, 404, "no such file");
                 file = std::move(it->second);
                 offered.erase(it);
               }
               res.set_header("Content-Disposition", "attachment; filename=\"" + file.name + "\"");
               res.set_header("Cache-Control", "no-store");
               const bool csv = file.name.size() > 4 && file.name.compare(file.name.size() - 4, 4, ".csv") == 0;
               res.set_content(std::move(file.data), csv ? "text/csv; charset=utf-8" : "application/octet-stream");
             }));
    http.Post("/api/event", guard([this](const httplib::Request& req, httplib::Response& res) {
                InputEvent e;
                std::string why;
                if (!ParseEvent(ToParams(req), &e, &why)) return Refuse(res, 400, why);
                OnHost(res, [this, e](httplib::Response& r) { Deliver(e, r); });
              }));
    http.Post("/api/view", guard([this](const httplib::Request& req, httplib::Response& res) {
                const Params params = ToParams(req);
                OnHost(res, [this, params](httplib::Response& r) {
                  KA_Document doc = session->AppDocument();
                  KA_PageView current = Editor::Get().View(doc->activePage);
                  ViewRequest now{doc->activePage, current ? current->zoom : 1, current ? current->rotation : 0}, want;
                  std::string why;
                  if (!ParseView(params, now, &want, &why)) return Refuse(r, 400, why);
                  if (want.page >= kshost::fn::DocPageCount(session->Document()))
                    return Refuse(r, 400, "the document has no page " + std::to_string(want.page + 1));
                  Editor::Get().SetView(want.page, want.zoom, want.rotation);
                  Publish();
                  ReplyState(r);
                });
              }));
    // A slider's press carries the value it was moved to.
    http.Post("/api/press", guard([this](const httplib::Request& req, httplib::Response& res) {
                const std::string id = req.get_param_value("id");
                std::optional<int> value;
                if (req.has_param("value")) {
                  const std::string text = req.get_param_value("value");
                  int v = 0;
                  if (std::from_chars(text.data(), text.data() + text.size(), v).ec != std::errc())
                    return Refuse(res, 400, "a slider's value is a whole number");
                  value = v;
                }
                OnHost(res, [this, id, value](httplib::Response& r) {
                  std::string why;
                  windowItems.clear();
                  const bool ok =
                      value ? kshost::Ribbon::Get().Slide(id, *value, &why) : kshost::Ribbon::Get().Press(id, &why);
                  Editor::Get().PaintIfNeeded();
                  ++docVersion;
                  RefreshChest();
                  const uint64_t file = TakeOfferedFile();
                  if (!ok) return Refuse(r, 400, why);
                  Publish();
                  if (!file) return ReplyState(r);
                  std::string name;
                  {
                    std::lock_guard lock(shared);
                    name = offered[file].name;
                  }
                  r.set_content("{\"file\":{\"id\":" + std::to_string(file) + ",\"name\":" + JsonString(name) +
                                    "},\"state\":" + StateJson() + "}",
                                "application/json");
                });
              }));
    http.Post("/api/tool", guard([this](const httplib::Request& req, httplib::Response& res) {
                const std::string name = req.get_param_value("name");
                OnHost(res, [this, name](httplib::Response& r) {
                  KA_Tool tool = Editor::Get().FindTool(name);
                  if (!tool) return Refuse(r, 400, "no tool named '" + name.substr(0, 60) + "' is registered");
                  Editor::Get().SetCurrentTool(tool, false);
                  RefreshChest();
                  Publish();
                  ReplyState(r);
                });
              }));
    http.Post("/api/panel", guard([this](const httplib::Request& req, httplib::Response& res) {
                const std::string name = req.get_param_value("name");
                std::vector<std::string> words;
                for (size_t i = 0; i < req.get_param_value_count("w") && i < 16; ++i)
                  words.push_back(req.get_param_value("w", i));
                if (words.empty()) return Refuse(res, 400, "a panel command needs words");
                OnHost(res, [this, name, words](httplib::Response& r) {
                  std::string why;
                  std::vector<std::string> rows;
                  const bool ok = kshost::RunPanelCommand(name, words, &why, &rows);
                  RefreshChest();
                  if (!ok) return Refuse(r, 400, why);
                  Publish();
                  ReplyState(r);
                });
              }));
    http.Post(R"(/api/(undo|redo))", guard([this](const httplib::Request& req, httplib::Response& res) {
                const bool undo = req.matches[1] == "undo";
                OnHost(res, [this, undo](httplib::Response& r) {
                  KA_Document doc = session->AppDocument();
                  if (!(undo ? Editor::Get().Undo(doc) : Editor::Get().Redo(doc)))
                    return Refuse(r, 409, undo ? "nothing to undo" : "nothing to redo");
                  // What a tool drew onto the window (an eraser's trail) was
                  // of the state undone.
                  windowItems.clear();
                  Editor::Get().PaintIfNeeded();
                  Publish();
                  ReplyState(r);
                });
              }));
    // A save over a file another program changed since it was opened is
    // refused as a conflict (409, "changedOnDisk"), for the page to offer a
    // copy or a reload instead.
    http.Post("/api/save", guard([this](const httplib::Request&, httplib::Response& res) {
                OnHost(res, [this](httplib::Response& r) {
                  std::string why;
                  if (!session->Save(options.pdfPath, &why)) {
                    if (!kshost::SourceChangedOnDisk(session->Document())) return Refuse(r, 500, why);
                    r.status = 409;
                    r.set_content("{\"error\":" + JsonString(why) + ",\"changedOnDisk\":true}", "application/json");
                    return;
                  }
                  ++saves;
                  ++docVersion;
                  savedMark = UndoMark();
                  Publish();
                  ReplyState(r);
                }, true);
              }));
    // The document as it is, whole, into a new file beside it; the file it
    // was opened from is left alone.
    http.Post("/api/save-copy", guard([this](const httplib::Request&, httplib::Response& res) {
                OnHost(res, [this](httplib::Response& r) {
                  std::string path, why;
                  if (!ReserveCopyName(&path, &why)) return Refuse(r, 500, why);
                  if (!session->Save(path, &why)) {
                    ::unlink(path.c_str());
                    return Refuse(r, 500, why);
                  }
                  ++saves;
                  Publish();
                  r.set_content("{\"copy\":" + JsonString(fs::path(path).filename().string()) + ",\"state\":" +
                                    StateJson() + "}",
                                "application/json");
                }, true);
              }));
    // The file as it is on disk now, in place of the document being edited
    // and whatever it had not saved (the page asks the person first).
    http.Post("/api/reload", guard([this](const httplib::Request&, httplib::Response& res) {
                OnHost(res, [this](httplib::Response& r) {
                  std::string why;
                  windowItems.clear();
                  if (!session->Open(options.pdfPath, &why)) return Refuse(r, 500, why);
                  Editor::Get().SetView(0, 1, 0);
                  savedMark = UndoMark();
                  ++docVersion;
                  RefreshChest();
                  Publish();
                  ReplyState(r);
                });
              }));
    // Answers to a waiting dialog or message box go straight to the host
    // thread that waits for them, not through the queue behind it.
    http.Post("/api/answer", guard([this](const httplib::Request& req, httplib::Response& res) {
                uint64_t id = 0;
                int result = 0;
                const std::string idText = req.get_param_value("id"), resultText = req.get_param_value("result");
                if (std::from_chars(idText.data(), idText.data() + idText.size(), id).ec != std::errc() ||
                    std::from_chars(resultText.data(), resultText.data() + resultText.size(), result).ec != std::errc())
                  return Refuse(res, 400, "an answer needs 'id' and 'result'");
                {
                  std::lock_guard lock(shared);
                  if (id != modalId || modalJson == "null") return Refuse(res, 409, "that dialog is no longer open");
                  if (modalJson.find("\"type\":\"dialog\"") != std::string::npos) {
                    Tessel::Headless::DialogAnswer answer;
                    answer.result = result;
                    for (const auto& [key, value] : req.params)
                      if (key.rfind("v.", 0) == 0 && key.size() > 2)
                        answer.values[kshost::ToUtf16(key.substr(2))] = kshost::ToUtf16(value);
                    dialogAnswer.emplace(id, std::move(answer));
                  } else {
                    messageAnswer.emplace(id, result);
                  }
                }
                answered.notify_all();
                ReplyState(res);
              }));
  }

  void Deliver(const InputEvent& e, httplib::Response& r) {
    using K = InputEvent::Kind;
    if (e.kind == K::Key) {
      std::string why;
      windowItems.clear();
      Editor::Get().Key(e.key, e.flags, &why);
      Publish();
      return ReplyState(r);
    }
    if (e.page >= kshost::fn::DocPageCount(session->Document()))
      return Refuse(r, 400, "the document has no page " + std::to_string(e.page + 1));
    KA_PageView view = Editor::Get().View(e.page);
    KS_FloatPoint pt{};
    const KS_DevicePoint device{static_cast<int32_t>(std::lround(e.x)), static_cast<int32_t>(std::lround(e.y))};
    if (!view || !kshost::fn::PageViewDeviceToPage(view, device, &pt)) return Refuse(r, 400, "the page has no view");
    // What a tool draws straight onto the window stays there until the
    // page is painted again: while a button is held (an eraser's trail) the
    // items add up, otherwise each event's replace the last (a snap marker).
    if (!buttonHeld || e.kind == K::Down || e.kind == K::RightDown) windowItems.clear();
    if (e.kind == K::Down || e.kind == K::RightDown) buttonHeld = true;
    if (e.kind == K::Up || e.kind == K::RightUp) buttonHeld = false;
    if (windowItems.size() > kMaxWindowItems)
      windowItems.erase(windowItems.begin(), windowItems.end() - kMaxWindowItems / 2);
    std::string why;
    bool ok = true;
    if (e.kind == K::Wheel) {
      ok = Editor::Get().Wheel(e.page, pt, e.delta, e.flags, &why);
    } else {
      static const std::map<K, kshost::MouseEvent> kinds = {
          {K::Down, kshost::MouseEvent::LeftDown},
          {K::Up, kshost::MouseEvent::LeftUp},
          {K::Move, kshost::MouseEvent::Move},
          {K::DoubleClick, kshost::MouseEvent::LeftDouble},
          {K::RightDown, kshost::MouseEvent::RightDown},
          {K::RightUp, kshost::MouseEvent::RightUp},
          {K::RightDoubleClick, kshost::MouseEvent::RightDouble},
      };
      ok = Editor::Get().Mouse(kinds.at(e.kind), e.page, pt, e.flags, &why);
    }
    if (!ok) return Refuse(r, 400, why);
    if (e.kind != K::Move) RefreshChest();
    Publish();
    ReplyState(r);
  }
};

Server::Server(ServeOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() { Stop(); }

bool Server::Start(std::string* error) {
  Impl& d = *impl_;
  if (d.options.token.empty()) d.options.token = RandomToken();
  if (d.options.webFolder.empty()) d.options.webFolder = DefaultWebFolder();
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(d.options.webFolder) / "index.html", ec) ||
      !fs::is_regular_file(fs::path(d.options.webFolder) / "pdfjs" / "pdf.min.mjs", ec)) {
    *error = "the page's files are not in " + d.options.webFolder + " (build the project after 'npm ci')";
    return false;
  }
  if (!d.options.language.empty()) {
    const auto installed = InstalledLanguages();
    if (std::find(installed.begin(), installed.end(), d.options.language) == installed.end()) {
      *error = "no translation for language '" + d.options.language + "' is installed";
      return false;
    }
  }
  // The document must open before anyone is told the address.
  {
    std::string why;
    KPD_Document doc = kshost::OpenPdfFile(d.options.pdfPath, d.options.password, &why);
    if (!doc) {
      *error = why;
      return false;
    }
    kshost::fn::DocClose(doc);
  }
  d.queue.Start(nullptr, [&d] { d.ShutHost(); });
  d.http.set_payload_max_length(64 * 1024);
  // What the answers' Keep-Alive header tells the browser: HttpFront
  // closes a connection that brings no request within its deadline.
  d.http.set_keep_alive_max_count(100000);
  d.http.set_keep_alive_timeout(5);
  d.Routes();
  HttpFront::Limits limits;
  limits.workers = kServerThreads;
  d.front = std::make_unique<HttpFront>([&d](httplib::Stream& stream) { return d.http.Handle(stream); }, limits);
  std::string why;
  d.port = d.front->Listen("127.0.0.1", d.options.port, &why);
  if (d.port <= 0) {
    *error = d.options.port > 0 ? "cannot listen on 127.0.0.1:" + std::to_string(d.options.port) + " (" + why + ")"
                                : "cannot listen on 127.0.0.1: " + why;
    d.front.reset();
    d.queue.Stop();
    return false;
  }
  d.front->Start();
  return true;
}

void Server::Stop() {
  Impl& d = *impl_;
  if (d.stopped.exchange(true)) return;
  {
    std::lock_guard lock(d.shared);  // a dialog waiting for the user sees `stopped` and cancels
  }
  d.answered.notify_all();
  if (d.front) d.front->Stop();
  d.queue.Stop();
  { std::lock_guard lock(d.waitMutex); }
  d.waitDone.notify_all();
}

void Server::Wait() {
  std::unique_lock lock(impl_->waitMutex);
  impl_->waitDone.wait(lock, [&] { return impl_->stopped.load(); });
}

int Server::Port() const { return impl_->port; }
const std::string& Server::Token() const { return impl_->options.token; }
std::string Server::Url() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?t=" + impl_->options.token;
}
int Server::Saves() const { return impl_->saves.load(); }

}  // namespace annotserve
