#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"

#ifdef ANNOT_WITH_SERVE
#include "serve/server.h"
#endif

namespace annot {

const char kServeUsage[] =
    "usage: annot serve FILE.pdf [--port N] [--lang CODE] [--password PW]\n"
    "\n"
    "Opens FILE.pdf in the editor with the plug-in and serves it as a web\n"
    "page on 127.0.0.1 only, at the address printed (its random token\n"
    "guards the session: open exactly that address). The page has the\n"
    "ribbon, the measuring panel, the tool chest, undo and redo; Save\n"
    "appends an update to FILE.pdf, Download gets the document as it is.\n"
    "Save refuses to write over FILE.pdf when another program changed it\n"
    "since it was opened; the page then offers a copy beside it or a\n"
    "reload. Ctrl-C stops the server; nothing is written unless the page\n"
    "saved, and a save under way finishes first.\n"
    "\n"
    "--port N     listen on port N (default: any free port)\n"
    "--lang CODE  user-interface language of an installed translation\n"
    "             (default: the browser's Accept-Language, else en-US)\n";

int RunServe(const std::vector<std::string>& args) {
  std::string file, lang, password;
  int port = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--port" || a == "--lang" || a == "--password") && i + 1 < args.size()) {
      const std::string& v = args[++i];
      if (a == "--lang") {
        lang = v;
      } else if (a == "--password") {
        password = v;
      } else {
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || n < 1 || n > 65535) {
          std::fprintf(stderr, "annot: --port takes a number from 1 to 65535, not '%s'\n", v.c_str());
          return kExitUsage;
        }
        port = static_cast<int>(n);
      }
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      std::fputs(kServeUsage, stderr);
      return kExitUsage;
    }
  }
  if (file.empty()) {
    std::fputs(kServeUsage, stderr);
    return kExitUsage;
  }
#ifdef ANNOT_WITH_SERVE
  // Ctrl-C and SIGTERM are taken by this thread alone, through sigwait;
  // the server's threads start with them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A browser that hangs up while its answer is written is no reason to stop.
  std::signal(SIGPIPE, SIG_IGN);
  annotserve::ServeOptions options;
  options.pdfPath = file;
  options.port = port;
  options.language = lang;
  options.password = password;
  annotserve::Server server(options);
  std::string error;
  if (!server.Start(&error)) return Fail(kExitFailure, error);
  std::printf("annot: serving %s at %s\n", file.c_str(), server.Url().c_str());
  std::printf("annot: Ctrl-C stops\n");
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  std::printf("annot: stopped; %s\n", server.Saves() ? "the document was saved" : "nothing was saved");
  return kExitOk;
#else
  return Fail(kExitFailure, "this build has no server (cpp-httplib was missing when it was configured)");
#endif
}

}  // namespace annot
