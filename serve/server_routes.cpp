// The routes of the page's requests: the page's own files, the state and
// the document, and the actions that become jobs on the host thread.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "host/editor.h"
#include "host/file_util.h"
#include "host/host_functions.h"
#include "host/panels.h"
#include "host/ribbon.h"
#include "host/session.h"
#include "host/utf.h"
#include "serve/json_writer.h"
#include "serve/server_impl.h"

namespace annotserve {

namespace fs = std::filesystem;
using kshost::Editor;

namespace {

bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

Params ToParams(const httplib::Request& req) { return Params(req.params.begin(), req.params.end()); }

}  // namespace

bool Server::Impl::Allowed(const httplib::Request& req, httplib::Response& res) {
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
void Server::Impl::ServeAsset(const std::string& name, httplib::Response& res) {
  static const std::map<std::string, std::pair<std::string, std::string>> assets = {
      {"index.html", {"index.html", "text/html; charset=utf-8"}},
      {"app.js", {"app.js", "text/javascript; charset=utf-8"}},
      {"selection.js", {"selection.js", "text/javascript; charset=utf-8"}},
      {"app.css", {"app.css", "text/css; charset=utf-8"}},
      {"markups.js", {"markups.js", "text/javascript; charset=utf-8"}},
      {"toolsets.js", {"toolsets.js", "text/javascript; charset=utf-8"}},
      {"attach.js", {"attach.js", "text/javascript; charset=utf-8"}},
      {"view.js", {"view.js", "text/javascript; charset=utf-8"}},
      {"ribbon.js", {"ribbon.js", "text/javascript; charset=utf-8"}},
      {"dialogs.js", {"dialogs.js", "text/javascript; charset=utf-8"}},
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

void Server::Impl::Routes() {
  MarkupRoutes([&](httplib::Server::Handler h) { return httplib::Server::Handler(Guarded(h)); });
  SelectionRoutes();
  AttachRoutes();
  http.Get("/", Guarded([this](const httplib::Request& req, httplib::Response& res) {
             if (options.language.empty()) {
               std::lock_guard lock(shared);
               if (wantedLanguage.empty())
                 wantedLanguage = PickLanguage(req.get_header_value("Accept-Language"), InstalledLanguages());
             }
             ServeAsset("index.html", res);
           }));
  http.Get(R"(/app/([a-z.]+))",
           Guarded([this](const httplib::Request& req, httplib::Response& res) { ServeAsset(req.matches[1], res); }));
  http.Get("/api/state", Guarded([this](const httplib::Request& req, httplib::Response& res) {
             bool started;
             {
               std::lock_guard lock(shared);
               started = published;
             }
             // Before the host's first snapshot, start it (a job queued
             // behind whatever it is doing) but do not wait for that job:
             // a job ahead of it may be waiting for the person in a dialog,
             // who can only see that dialog in this answer. The dialog
             // publishes the first snapshot itself.
             if (!started && !WaitForFirstSnapshot()) return Refuse(res, 503, "the editor did not start in time");
             ReplyState(res);
           }));
  http.Get("/api/document", Guarded([this](const httplib::Request&, httplib::Response& res) {
             OnHost(res, [this](httplib::Response& r) {
               std::string data, why;
               if (!CurrentBytes(&data, &why)) return Refuse(r, 500, why);
               r.set_header("X-Annot-Doc", std::to_string(docVersion));
               r.set_header("X-Annot-Moment", bytesMoment.Text());
               r.set_header("Cache-Control", "no-store");
               r.set_content(std::move(data), "application/pdf");
             });
           }));
  // The annotations of one page as a PDF of their own (see
  // AnnotationLayerOf); 422 when they cannot be drawn apart from the page.
  http.Get("/api/annots", Guarded([this](const httplib::Request& req, httplib::Response& res) {
             const std::string text = req.get_param_value("page");
             int page = -1;
             if (std::from_chars(text.data(), text.data() + text.size(), page).ec != std::errc() || page < 0)
               return Refuse(res, 400, "'page' is a page number from 0");
             OnHost(res, [this, page](httplib::Response& r) {
               if (page >= kshost::direct::DocPageCount(session->Document()))
                 return Refuse(r, 400, "the document has no page " + std::to_string(page + 1));
               std::string data, why;
               if (!kshost::AnnotationLayerOf(session->Document(), page, &data, &why)) return Refuse(r, 422, why);
               CatchUpVersion();
               r.set_header("X-Annot-Doc", std::to_string(docVersion));
               r.set_header("X-Annot-Look", looks.LastChange(session->Document(), page).Text());
               r.set_header("Cache-Control", "no-store");
               r.set_content(std::move(data), "application/pdf");
             });
           }));
  http.Get("/api/download", Guarded([this](const httplib::Request&, httplib::Response& res) {
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
  http.Get("/api/file", Guarded([this](const httplib::Request& req, httplib::Response& res) {
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
  http.Post("/api/event", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              InputEvent e;
              std::string why;
              if (!ParseEvent(ToParams(req), &e, &why)) return Refuse(res, 400, why);
              OnHost(res, [this, e](httplib::Response& r) { Deliver(e, r); });
            }));
  http.Post("/api/view", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              const Params params = ToParams(req);
              OnHost(res, [this, params](httplib::Response& r) {
                KA_Document doc = session->AppDocument();
                KA_PageView current = Editor::Get().View(doc->activePage);
                ViewRequest now{doc->activePage, current ? current->zoom : 1, current ? current->rotation : 0}, want;
                std::string why;
                if (!ParseView(params, now, &want, &why)) return Refuse(r, 400, why);
                if (want.page >= kshost::direct::DocPageCount(session->Document()))
                  return Refuse(r, 400, "the document has no page " + std::to_string(want.page + 1));
                Editor::Get().SetView(want.page, want.zoom, want.rotation);
                Publish();
                ReplyState(r);
              });
            }));
  // A slider's press carries the value it was moved to.
  http.Post("/api/press", Guarded([this](const httplib::Request& req, httplib::Response& res) {
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
                JsonWriter json;
                json.BeginObject().Key("file").BeginObject().Field("id", file).Field("name", name).EndObject();
                json.Key("state").Raw(StateJson()).EndObject();
                r.set_content(json.Take(), "application/json");
              });
            }));
  http.Post("/api/tool", Guarded([this](const httplib::Request& req, httplib::Response& res) {
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
  http.Post("/api/panel", Guarded([this](const httplib::Request& req, httplib::Response& res) {
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
  http.Post(R"(/api/(undo|redo))", Guarded([this](const httplib::Request& req, httplib::Response& res) {
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
  http.Post(
      "/api/save", Guarded([this](const httplib::Request&, httplib::Response& res) {
        OnHost(
            res,
            [this](httplib::Response& r) {
              std::string why;
              if (!session->Save(options.pdfPath, &why)) {
                if (!kshost::SourceChangedOnDisk(session->Document())) return Refuse(r, 500, why);
                r.status = 409;
                r.set_content(
                    JsonWriter().BeginObject().Field("error", why).Field("changedOnDisk", true).EndObject().Take(),
                    "application/json");
                return;
              }
              ++saves;
              ++docVersion;
              MarkSaved();
              Publish();
              ReplyState(r);
            },
            true);
      }));
  // The document as it is, whole, into a new file beside it; the file it
  // was opened from is left alone.
  http.Post("/api/save-copy", Guarded([this](const httplib::Request&, httplib::Response& res) {
              OnHost(
                  res,
                  [this](httplib::Response& r) {
                    std::string path, why;
                    if (!ReserveCopyName(&path, &why)) return Refuse(r, 500, why);
                    if (!session->Save(path, &why)) {
                      ::unlink(path.c_str());
                      return Refuse(r, 500, why);
                    }
                    ++saves;
                    Publish();
                    JsonWriter json;
                    json.BeginObject().Field("copy", fs::path(path).filename().string());
                    json.Key("state").Raw(StateJson()).EndObject();
                    r.set_content(json.Take(), "application/json");
                  },
                  true);
            }));
  // The file as it is on disk now, in place of the document being edited
  // and whatever it had not saved (the page asks the person first).
  http.Post("/api/reload", Guarded([this](const httplib::Request&, httplib::Response& res) {
              OnHost(res, [this](httplib::Response& r) {
                std::string why;
                windowItems.clear();
                if (!session->Open(options.pdfPath, &why)) return Refuse(r, 500, why);
                Editor::Get().SetView(0, 1, 0);
                MarkSaved();
                ++docVersion;
                RefreshChest();
                Publish();
                ReplyState(r);
              });
            }));
  // Answers to a waiting dialog or message box go straight to the host
  // thread that waits for them, not through the queue behind it.
  http.Post("/api/answer", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              uint64_t id = 0;
              int result = 0;
              const std::string idText = req.get_param_value("id"), resultText = req.get_param_value("result");
              if (std::from_chars(idText.data(), idText.data() + idText.size(), id).ec != std::errc() ||
                  std::from_chars(resultText.data(), resultText.data() + resultText.size(), result).ec != std::errc())
                return Refuse(res, 400, "an answer needs 'id' and 'result'");
              {
                std::lock_guard lock(shared);
                if (id != modalId || modal == Modal::None) return Refuse(res, 409, "that dialog is no longer open");
                if (modal == Modal::Dialog) {
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

void Server::Impl::Deliver(const InputEvent& e, httplib::Response& r) {
  using K = InputEvent::Kind;
  if (e.kind == K::Key || e.kind == K::Char) {
    std::string why;
    windowItems.clear();
    // A key that found nothing to do (Ctrl+V with nothing copied) says why.
    const bool ok = e.kind == K::Key ? Editor::Get().Key(e.key, e.flags, &why)
                                     : Editor::Get().Char(static_cast<uint32_t>(e.key), e.flags, &why);
    Publish();
    if (!ok) return Refuse(r, 400, why);
    return ReplyState(r);
  }
  if (e.page >= kshost::direct::DocPageCount(session->Document()))
    return Refuse(r, 400, "the document has no page " + std::to_string(e.page + 1));
  KA_PageView view = Editor::Get().View(e.page);
  KS_FloatPoint pt{};
  const KS_DevicePoint device{static_cast<int32_t>(std::lround(e.x)), static_cast<int32_t>(std::lround(e.y))};
  if (!view || !kshost::direct::PageViewDeviceToPage(view, device, &pt)) return Refuse(r, 400, "the page has no view");
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
  const bool busyBefore = CurrentToolBusy();
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
  clicks.After(e.kind == K::Down, busyBefore, CurrentToolBusy());
  if (!ok) return Refuse(r, 400, why);
  if (e.kind != K::Move) RefreshChest();
  Publish();
  ReplyState(r);
}

}  // namespace annotserve
