// What the tests of annot serve share: the real command in a child process,
// spoken to by cpp-httplib's client as a browser would.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "host/pdf_test_support.h"

namespace annotserve::testing {

namespace fs = std::filesystem;

inline std::string BuildDir() {
  const char* dir = std::getenv("ANNOT_BUILD_DIR");
  return dir && *dir ? dir : "build";
}

inline std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// `annot ARGS...` to completion (at most 60 s: a server that should have
// refused to start fails the test instead of hanging it); its exit status.
inline int RunAnnot(const std::vector<std::string>& args) {
  std::string command = "timeout 60 " + BuildDir() + "/bin/annot";
  for (const std::string& a : args) command += " '" + a + "'";
  return WEXITSTATUS(std::system((command + " >/dev/null 2>&1").c_str()));
}

// What `annot ARGS...` prints on standard output.
inline std::string AnnotOutput(const std::vector<std::string>& args) {
  std::string command = "timeout 60 " + BuildDir() + "/bin/annot";
  for (const std::string& a : args) command += " '" + a + "'";
  std::string out;
  if (FILE* p = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

using kshost::pdf::test::PdfOfObjects;

// A TCP connection to 127.0.0.1:`port` (one that is still being made when
// not `blocking`); -1 when it cannot be made.
inline int Connect(int port, bool blocking = true) {
  const int fd = socket(AF_INET, SOCK_STREAM | (blocking ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends `request` on a connection of its own; what comes back until the
// server closes the connection (then `*closed` is true) or is silent for a
// second.
inline std::string Exchange(int port, const std::string& request, bool* closed = nullptr) {
  if (closed) *closed = false;
  const int fd = Connect(port);
  if (fd < 0) return "";
  std::string answer;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buf[4096];
    for (int i = 0; i < 10000; ++i) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) != 1) break;
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        if (closed) *closed = true;
        break;
      }
      answer.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  return answer;
}

// One `annot serve` child with the address it printed.
class ServeProcess {
 public:
  bool Start(const std::string& pdf, const std::vector<std::string>& extra = {}) {
    int out[2];
    if (pipe(out) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      const std::string exe = BuildDir() + "/bin/annot";
      std::vector<std::string> args = {exe, "serve", pdf};
      args.insert(args.end(), extra.begin(), extra.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = fdopen(out[0], "r");
    char line[512];
    while (fgets(line, sizeof line, out_)) {
      std::smatch m;
      std::string text = line;
      if (std::regex_search(text, m, std::regex(R"(http://127\.0\.0\.1:(\d+)/\?t=([0-9a-f]+))"))) {
        port_ = std::stoi(m[1]);
        token_ = m[2];
        return true;
      }
    }
    return false;
  }
  // SIGTERM, then the exit status.
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (out_) fclose(out_);
    out_ = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ~ServeProcess() { Stop(); }
  int port() const { return port_; }
  const std::string& token() const { return token_; }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int port_ = 0;
  std::string token_;
};

// The state `server` gives on a connection of its own; empty when it gives none.
inline std::string StateOf(const ServeProcess& server) {
  httplib::Client client("127.0.0.1", server.port());
  client.set_read_timeout(30, 0);
  auto r = client.Get("/api/state", {{"X-Annot-Token", server.token()}});
  return r && r->status == 200 ? r->body : std::string();
}

// The state's "modal" part from the moment `server` shows a modal of `type`
// ("menu", "dialog"), waiting at most 10 s; empty when none came.
inline std::string WaitForModal(const ServeProcess& server, const std::string& type) {
  for (int i = 0; i < 400; ++i) {
    const std::string state = StateOf(server);
    const size_t at = state.find("\"modal\"");
    if (at != std::string::npos && state.find("\"type\":\"" + type + "\"", at) != std::string::npos)
      return state.substr(at);
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return "";
}

// POSTs `target` (path?query) to `server` from a thread of its own, for a
// request that waits for the page's answer to a menu or a dialog; the
// thread leaves the answer's status in `*status`, -1 when none came.
inline std::thread PostAside(const ServeProcess& server, const std::string& target, int* status) {
  return std::thread([port = server.port(), token = server.token(), target, status] {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    auto r = client.Post(target.c_str(), {{"X-Annot-Token", token}}, "", "application/x-www-form-urlencoded");
    *status = r ? r->status : -1;
  });
}

class ServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("annot_serve_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_ / "config");
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    pdf_ = (dir_ / "plan.pdf").string();
    ASSERT_EQ(RunAnnot({"sample", "floorplan", "--ink", "-o", pdf_}), 0);
    original_ = ReadAll(pdf_);
    ASSERT_TRUE(server_.Start(pdf_, {"--lang", "en-US"}));
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_.port());
    client_->set_read_timeout(30, 0);
  }
  void TearDown() override {
    client_.reset();
    server_.Stop();
    fs::remove_all(dir_);
  }
  httplib::Headers Auth() const { return {{"X-Annot-Token", server_.token()}}; }
  // POST path?query with the token; the response.
  httplib::Result Post(const std::string& path, const std::string& query = "") {
    return client_->Post((path + "?" + query).c_str(), Auth(), "", "application/x-www-form-urlencoded");
  }
  // POSTs each event of `queries` in turn; each must be taken.
  void Events(std::initializer_list<std::string> queries) {
    for (const std::string& q : queries) {
      auto r = Post("/api/event", q);
      ASSERT_TRUE(r) << q;
      ASSERT_EQ(r->status, 200) << q << ": " << r->body;
    }
  }
  std::string State() {
    auto r = client_->Get("/api/state", Auth());
    return r && r->status == 200 ? r->body : std::string();
  }
  // The number of the first "key":NUMBER in `json`; empty when there is none.
  static std::string Field(const std::string& json, const std::string& key) {
    std::smatch m;
    if (std::regex_search(json, m, std::regex("\"" + key + "\":(-?[0-9.]+)"))) return m[1];
    return "";
  }
  // The text of the first "key":"..." in `json`; empty when there is none.
  static std::string Quoted(const std::string& json, const std::string& key) {
    std::smatch m;
    if (std::regex_search(json, m, std::regex("\"" + key + "\":\"([^\"]*)\""))) return m[1];
    return "";
  }

  fs::path dir_;
  std::string pdf_, original_;
  ServeProcess server_;
  std::unique_ptr<httplib::Client> client_;
};

}  // namespace annotserve::testing
