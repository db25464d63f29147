// The server's state, shared by its three parts: the host thread's side
// (server.cpp), the snapshot of what the page shows (server_state.cpp) and
// the routes of the requests (server_routes.cpp). Private to serve/.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/device.h"
#include "host/editor_events.h"
#include "comment/ccm_module.h"
#include "host/page_layers.h"
#include "host/session.h"
#include "serve/host_queue.h"
#include "serve/http_front.h"
#include "serve/json_writer.h"
#include "serve/serve_request.h"
#include "serve/server.h"
#include "serve/tool_prompt.h"
#include "tessel/headless.h"

namespace Tessel {
class Dialog;
}

namespace annotserve {

// How long a request waits for the host before it gives up; the job still
// runs, its answer is dropped.
constexpr auto kHostWait = std::chrono::seconds(60);
// Messages and tips kept for the page.
constexpr size_t kKeptLines = 20;
// Window drawings kept for the overlay during one gesture at most.
constexpr size_t kMaxWindowItems = 4000;
// The largest file the page can send to attach.
constexpr size_t kMaxUpload = size_t(16) << 20;
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

// The items of a display list as the page draws them (appearance items
// left out): kind, device points, colours.
void WriteDrawItems(JsonWriter& json, const std::vector<kshost::DrawItem>& items);

// The translations installed in the application folder, by code.
std::vector<std::string> InstalledLanguages();

struct Server::Impl {
  explicit Impl(ServeOptions o) : options(std::move(o)), queue(options.queueLimit) {}

  ServeOptions options;
  Router http;
  std::unique_ptr<HttpFront> front;
  HostQueue queue;
  int port = 0;
  std::atomic<bool> stopped{false};

  // What waits for the person: a message box (or a menu, answered like
  // one) or a dialog.
  enum class Modal { None, Message, Dialog };

  // ---- shared between the server threads and the host thread (mutex) ----
  std::mutex shared;
  bool published = false;         // the host has started and given a snapshot
  std::string hostJson = "null";  // the last snapshot of the host's models
  uint64_t seq = 0;               // bumped with each snapshot or modal change
  Modal modal = Modal::None;
  std::string modalJson = "null";  // what waits for the person, for the page
  uint64_t modalId = 0;
  std::optional<std::pair<uint64_t, Tessel::Headless::DialogAnswer>> dialogAnswer;
  std::optional<std::pair<uint64_t, int>> messageAnswer;
  std::condition_variable answered;
  std::atomic<int> saves{0};
  std::string wantedLanguage;  // from the first Accept-Language, before the host starts

  // ---- the host thread's own ----
  std::unique_ptr<kshost::Session> session;
  // Made after the session's plug-in, gone before the session.
  std::unique_ptr<AnnotationComment::CCM_CommentModule> comments;
  std::string hostError;
  std::string language;
  std::vector<std::pair<std::string, std::string>> panelValues;
  std::deque<std::string> messages, tips;
  std::vector<kshost::DrawItem> windowItems;
  bool buttonHeld = false;
  // The document's version as the page knows it: a new one after each undo
  // step, reload, and any change made without a step of its own (letters
  // typed into a text box), which versionMoment catches.
  uint64_t docVersion = 1;
  kshost::DocumentMoment versionMoment;
  void CatchUpVersion();
  GestureClicks clicks;  // of the current tool's gesture, for its prompt
  std::pair<std::string, std::string> pageWords;  // language, its words as JSON
  uint64_t bytesVersion = 0;
  std::string bytes;
  // The moment `bytes` were written: they draw a page as it looks now
  // while the page has not changed since (see PageLooks).
  kshost::DocumentMoment bytesMoment;
  // When the shown page's own look last changed, worked out again only
  // after the document changed or another page is shown.
  kshost::PageLooks looks;
  struct Look {
    kshost::DocumentMoment asked;
    int page = -1;
    kshost::DocumentMoment changed;
  } look;
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
  // The file the page sent to attach, for the file dialog of the click
  // that follows it (server_attach.cpp).
  std::string uploadPath;

  // ---- server.cpp: the host thread ----

  // Runs `job` on the host thread and waits for it. 503 when the queue is
  // full or the host does not answer in time. A job that writes the file
  // (`untilDone`) is waited for however long it takes, so that its answer
  // is what happened to the file.
  void OnHost(httplib::Response& res, std::function<void(httplib::Response&)> job, bool untilDone = false);
  // Starts the host when it has not published yet and waits, without
  // holding a place behind other host jobs, until it has; false when it
  // did not within kHostWait or the server stopped.
  bool WaitForFirstSnapshot();
  static void Refuse(httplib::Response& res, int status, const std::string& why);
  bool EnsureHost(httplib::Response& res);
  void ShutHost();
  // The document's undo stack notes the state it was last saved or opened
  // in; it has unsaved changes while its stack is elsewhere.
  void MarkSaved();
  bool Unsaved() const;
  bool ReserveCopyName(std::string* path, std::string* why);
  std::optional<std::vector<std::u16string>> OfferSavePath(bool open, const std::u16string& proposed);
  uint64_t TakeOfferedFile();
  // What a file dialog chooses: a save dialog a path of OfferSavePath, an
  // open dialog the file the page sent (server_attach.cpp).
  std::optional<std::vector<std::u16string>> ChooseFile(bool open, const std::u16string& proposed);
  // Sets what waits for the person (`fields`, written after its id) and
  // waits for the answer; nothing when the server stops first.
  template <class T>
  std::optional<T> WaitForAnswer(Modal kind, const std::function<void(JsonWriter&)>& fields,
                                 std::optional<std::pair<uint64_t, T>>& slot);
  std::optional<int> AskMessage(const std::u16string& title, const std::u16string& text, uint32_t buttons);
  std::optional<Tessel::Headless::DialogAnswer> AskDialog(Tessel::Dialog& dialog);
  // The document as it is now, whole, as the host writes it.
  bool CurrentBytes(std::string* out, std::string* why);

  // ---- server_state.cpp: what the page shows ----

  // Keeps what the page shows of the editor's events.
  void OnEvent(const kshost::EditorEvent& event);
  void RefreshChest();
  // Takes the snapshot of everything the page shows.
  void Publish();
  std::string StateJson();
  void ReplyState(httplib::Response& res) { res.set_content(StateJson(), "application/json"); }
  static void WriteElements(JsonWriter& json, Tessel::Dialog& dialog);

  // ---- server_markups.cpp: the markups list and the status bar ----

  bool CurrentToolBusy() const;
  // The prompt of the current tool's next step and the length unit of
  // `page`'s scale, as fields of the snapshot.
  void WriteStatus(JsonWriter& json, int page);
  void MarkupRoutes(const std::function<httplib::Server::Handler(httplib::Server::Handler)>& guard);

  // ---- server_routes.cpp: the requests ----

  bool Allowed(const httplib::Request& req, httplib::Response& res);
  // A route's handler behind the headers every answer carries and Allowed.
  template <class Handler>
  auto Guarded(Handler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      res.set_header("X-Content-Type-Options", "nosniff");
      res.set_header("Referrer-Policy", "no-referrer");
      if (!Allowed(req, res)) return;
      handler(req, res);
    };
  }
  void ServeAsset(const std::string& name, httplib::Response& res);
  void Routes();
  void Deliver(const InputEvent& e, httplib::Response& r);
  // server_selection.cpp: arranging the selection, setting its properties.
  void SelectionRoutes();
  // server_attach.cpp: a file from the page, attached where it was pressed.
  void AttachRoutes();
};

// The selected annotations as the page draws them on `view` and shows them
// in its properties panel (server_selection.cpp).
void WriteSelection(JsonWriter& json, KA_PageView view);

// The words the markups list shows for a kind key (MarkupKindKey): a
// measurement's in the plug-in's translation, another annotation's in the
// editor's, else the key itself (server_markups.cpp).
std::u16string KindWords(const std::string& key);

}  // namespace annotserve
