#include "serve/server.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>
#include <random>

#include "comment/ccm_module.h"
#include "host/core_hft.h"
#include "host/editor.h"
#include "host/file_util.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/utf.h"
#include "sdk/ks_host_binding.h"
#include "serve/json_writer.h"
#include "serve/server_impl.h"
#include "tessel/dialog.h"
#include "tessel/headless.h"
#include "tessel/language.h"

namespace annotserve {

namespace fs = std::filesystem;
using kshost::Editor;

namespace {

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

std::string Utf8(const std::u16string& s) { return kshost::ToUtf8(s); }

}  // namespace

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

void Server::Impl::OnHost(httplib::Response& res, std::function<void(httplib::Response&)> job, bool untilDone) {
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
      waitingForPerson = modal != Modal::None;
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

bool Server::Impl::WaitForFirstSnapshot() {
  queue.Post([this] {
    httplib::Response ignored;
    if (EnsureHost(ignored)) Publish();
  });
  const auto deadline = std::chrono::steady_clock::now() + kHostWait;
  while (!stopped && std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(shared);
      if (published) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void Server::Impl::Refuse(httplib::Response& res, int status, const std::string& why) {
  res.status = status;
  res.set_content(JsonWriter().BeginObject().Field("error", why).EndObject().Take(), "application/json");
}

bool Server::Impl::EnsureHost(httplib::Response& res) {
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
  // The measurement library the markups list is made with and the editor's
  // own comment tools reach the document through the host's functions, as
  // the plug-in does.
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  Tessel::SetCurrentLanguage(kshost::ToUtf16(lang), true);
  session->SetPassword(options.password);
  Editor::Get().SetEventSink([this](const kshost::EditorEvent& event) { OnEvent(event); });
  Editor::Get().SetWindowSink([this](const std::vector<kshost::DrawItem>& items) {
    windowItems.insert(windowItems.end(), items.begin(), items.end());
  });
  Editor::Get().SetMessageProvider([this](const std::u16string& title, const std::u16string& text, uint32_t buttons) {
    return AskMessage(title, text, buttons);
  });
  Tessel::Headless::SetDialogProvider([this](Tessel::Dialog& d) { return AskDialog(d); });
  Tessel::Headless::SetFileDialogProvider(
      [this](bool open, const std::u16string&, const std::u16string& name) { return ChooseFile(open, name); });
  std::string why;
  const std::string plugin = options.pluginPath.empty() ? kshost::Session::DefaultPluginPath() : options.pluginPath;
  if (!session->LoadPlugin(plugin, &why) || !session->Open(options.pdfPath, &why)) {
    hostError = why.empty() ? "the editor could not start" : why;
    ShutHost();
    Refuse(res, 500, hostError);
    return false;
  }
  comments = std::make_unique<AnnotationComment::CCM_CommentModule>(session->Loader().MainFrame());
  Editor::Get().SetView(0, 1, 0);
  MarkSaved();
  RefreshChest();
  Publish();
  return true;
}

void Server::Impl::MarkSaved() {
  if (KA_Document doc = session ? session->AppDocument() : nullptr) doc->undo.MarkSaved();
}

bool Server::Impl::Unsaved() const {
  KA_Document doc = session ? session->AppDocument() : nullptr;
  return doc && doc->undo.Changed();
}
// A name beside the document for a copy, `plan-copy.pdf`, then
// `plan-copy-2.pdf` and on, made at once as an empty file so that no
// other file can take it before the copy is written over it.
bool Server::Impl::ReserveCopyName(std::string* path, std::string* why) {
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

void Server::Impl::ShutHost() {
  if (!session) return;
  Editor::Get().SetEventSink(nullptr);
  Editor::Get().SetWindowSink(nullptr);
  Editor::Get().SetMessageProvider(nullptr);
  Tessel::Headless::SetDialogProvider(nullptr);
  Tessel::Headless::SetFileDialogProvider(nullptr);
  comments.reset();
  session.reset();
  if (!saveFolder.empty()) {
    std::error_code ec;
    fs::remove_all(saveFolder, ec);
    saveFolder.clear();
  }
}

// A save dialog gets a fresh path named as proposed in the server's
// folder; an open dialog is cancelled (see ChooseFile).
std::optional<std::vector<std::u16string>> Server::Impl::OfferSavePath(bool open, const std::u16string& proposed) {
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
uint64_t Server::Impl::TakeOfferedFile() {
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

// Publishes the state first, so that the page shows what the box is about.
template <class T>
std::optional<T> Server::Impl::WaitForAnswer(Modal kind, const std::function<void(JsonWriter&)>& fields,
                                             std::optional<std::pair<uint64_t, T>>& slot) {
  Publish();
  uint64_t id;
  {
    std::lock_guard lock(shared);
    id = ++modalId;
  }
  JsonWriter json;
  json.BeginObject().Field("id", id);
  fields(json);
  json.EndObject();
  std::unique_lock lock(shared);
  modal = kind;
  modalJson = json.Take();
  ++seq;
  slot.reset();
  answered.wait(lock, [&] { return stopped.load() || (slot && slot->first == id); });
  modal = Modal::None;
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
std::optional<int> Server::Impl::AskMessage(const std::u16string& title, const std::u16string& text, uint32_t buttons) {
  return WaitForAnswer<int>(
      Modal::Message,
      [&](JsonWriter& json) {
        if (title == u"menu") {
          json.Field("type", "menu").Key("items").BeginArray();
          const std::string items = Utf8(text);
          for (size_t start = 0;;) {
            const size_t bar = items.find(" | ", start);
            json.String(items.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 3;
          }
          json.EndArray();
          return;
        }
        static const std::vector<int> kAnswers[] = {{1}, {1, 2}, {1, 2}, {6, 7, 2}, {6, 7}, {1, 2}};
        json.Field("type", "message").Field("title", Utf8(title)).Field("text", Utf8(text));
        json.Key("buttons").BeginArray();
        for (int answer : kAnswers[(buttons & 0xF) < 6 ? (buttons & 0xF) : 0]) json.Int(answer);
        json.EndArray();
      },
      messageAnswer);
}

std::optional<Tessel::Headless::DialogAnswer> Server::Impl::AskDialog(Tessel::Dialog& dialog) {
  return WaitForAnswer<Tessel::Headless::DialogAnswer>(
      Modal::Dialog,
      [&](JsonWriter& json) {
        json.Field("type", "dialog")
            .Field("name", Utf8(dialog.GetName()))
            .Field("layout", Utf8(dialog.GetLayoutFileName()))
            .Field("title", Utf8(dialog.GetWindowTitle()));
        json.Key("elements");
        WriteElements(json, dialog);
      },
      dialogAnswer);
}

// Written again only after the document changed.
bool Server::Impl::CurrentBytes(std::string* out, std::string* why) {
  CatchUpVersion();
  if (bytesVersion != docVersion || bytes.empty()) {
    if (!kshost::WholeFileOf(session->Document(), &bytes, why)) {
      bytes.clear();
      return false;
    }
    bytesVersion = docVersion;
    bytesMoment = kshost::MomentOf(session->Document());
  }
  *out = bytes;
  return true;
}

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
    kshost::direct::DocClose(doc);
  }
  d.queue.Start(nullptr, [&d] { d.ShutHost(); });
  // The front keeps every request but a file sent to attach to 64 kB.
  d.http.set_payload_max_length(kMaxUpload);
  // The page is on the same machine: compressing an answer only delays it.
  // httplib would compress with brotli whenever the browser offers it,
  // which takes seconds over pdf.js and tens of milliseconds over a state.
  d.http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // What the answers' Keep-Alive header tells the browser: HttpFront
  // closes a connection that brings no request within its deadline.
  d.http.set_keep_alive_max_count(100000);
  d.http.set_keep_alive_timeout(5);
  d.Routes();
  HttpFront::Limits limits;
  limits.workers = kServerThreads;
  limits.uploadPath = "/api/attach";
  limits.uploadLimit = kMaxUpload;
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
}

std::string Server::Url() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?t=" + impl_->options.token;
}
int Server::Saves() const { return impl_->saves.load(); }

}  // namespace annotserve
