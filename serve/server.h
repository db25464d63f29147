// annot serve: the headless editor with the plug-in behind a local web
// page. The server listens on 127.0.0.1 only; every request carries the
// session's random token, and requests from another Origin or for another
// Host are refused. One host thread owns the editor (see HostQueue).
#pragma once

#include <memory>
#include <string>

namespace annotserve {

struct ServeOptions {
  std::string pdfPath;
  std::string password;
  // The user-interface language; empty: the first page request's
  // Accept-Language, else en-US.
  std::string language;
  // The page's own files and pdf.js; empty: <app folder>/web.
  std::string webFolder;
  std::string pluginPath;  // empty: the plug-in beside the program
  int port = 0;            // 0: any free port
  size_t queueLimit = 64;  // host jobs waiting at most
  std::string token;       // empty: a new random one
};

class Server {
 public:
  explicit Server(ServeOptions options);
  ~Server();  // stops, saving nothing
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Checks that the document opens, binds 127.0.0.1 and starts serving in
  // the background. False with the reason.
  bool Start(std::string* error);
  // Stops serving and the host; nothing is written. Safe to call twice.
  void Stop();

  // http://127.0.0.1:PORT/?t=TOKEN
  std::string Url() const;
  // How often the user saved the document.
  int Saves() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace annotserve
