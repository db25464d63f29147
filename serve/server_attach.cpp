// Files attached from the page. The page cannot give the editor a path:
// with the Attach tool current, a press on the page opens the browser's own
// file picker, and the file chosen comes here with the point pressed. The
// click then goes to the tool as any other, and the tool's file dialog is
// given the file, written for the moment into a folder of the server's own.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/utf.h"
#include "serve/server_impl.h"

namespace annotserve {

namespace fs = std::filesystem;

namespace {

// The folder the file waits in while the tool reads it, gone with it.
class UploadFolder {
 public:
  UploadFolder() {
    std::string pattern = (fs::temp_directory_path() / "annot-attach-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~UploadFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  UploadFolder(const UploadFolder&) = delete;
  UploadFolder& operator=(const UploadFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::optional<std::vector<std::u16string>> Server::Impl::ChooseFile(bool open, const std::u16string& proposed) {
  if (!open) return OfferSavePath(false, proposed);
  // An open dialog gets the file the page sent for this click, once; any
  // other is cancelled (the page has no other files to give).
  if (uploadPath.empty()) return std::nullopt;
  return std::vector<std::u16string>{kshost::ToUtf16(std::exchange(uploadPath, std::string()))};
}

void Server::Impl::AttachRoutes() {
  // The file's bytes are the body; page, x and y the point pressed (as an
  // input event's), name the file's name. One undo step, left selected.
  http.Post("/api/attach", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              if (req.body.size() > kMaxUpload)
                return Refuse(res, 413, "the file is larger than " + std::to_string(kMaxUpload >> 20) +
                                            " MB; only smaller files can be attached");
              Params params;
              for (const char* key : {"page", "x", "y"})
                for (auto [it, end] = req.params.equal_range(key); it != end; ++it) params.emplace(it->first, it->second);
              params.emplace("kind", "down");
              InputEvent press;
              std::string why;
              if (!ParseEvent(params, &press, &why)) return Refuse(res, 400, why);
              if (!req.has_param("name")) return Refuse(res, 400, "the file has no name");
              const std::string name = UploadFileName(req.get_param_value("name"));
              auto body = std::make_shared<const std::string>(req.body);
              OnHost(res, [this, press, name, body](httplib::Response& r) {
                KA_Tool tool = kshost::Editor::Get().CurrentTool();
                if (!tool || tool->name != "Attach")
                  return Refuse(r, 409, "nothing was attached: the Attach tool is no longer chosen");
                UploadFolder folder;
                const std::string path = (fs::path(folder.Path()) / name).string();
                {
                  std::ofstream out(path, std::ios::binary);
                  out.write(body->data(), static_cast<std::streamsize>(body->size()));
                  if (folder.Path().empty() || !out.flush())
                    return Refuse(r, 500, "the file could not be kept for attaching: " + std::string(std::strerror(errno)));
                }
                KA_Document doc = session ? session->AppDocument() : nullptr;
                const uint64_t before = doc ? doc->undo.TopSerial() : 0;
                uploadPath = path;
                InputEvent release = press;
                release.kind = InputEvent::Kind::Up;
                httplib::Response ignored;
                Deliver(press, ignored);
                Deliver(release, r);
                uploadPath.clear();
                if (r.status >= 400) return;
                if (!doc || doc->undo.TopSerial() == before) return Refuse(r, 409, "nothing was attached there");
              });
            }));
}

}  // namespace annotserve
