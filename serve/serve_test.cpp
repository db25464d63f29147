// annot serve over HTTP: the real command in a child process, spoken to by
// cpp-httplib's client as a browser would.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "serve/host_queue.h"
#include "serve/serve_request.h"

namespace fs = std::filesystem;

namespace {

std::string BuildDir() {
  const char* dir = std::getenv("ANNOT_BUILD_DIR");
  return dir && *dir ? dir : "build";
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// `annot ARGS...` to completion (at most 60 s: a server that should have
// refused to start fails the test instead of hanging it); its exit status.
int RunAnnot(const std::vector<std::string>& args) {
  std::string command = "timeout 60 " + BuildDir() + "/bin/annot";
  for (const std::string& a : args) command += " '" + a + "'";
  return WEXITSTATUS(std::system((command + " >/dev/null 2>&1").c_str()));
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
  std::string State() {
    auto r = client_->Get("/api/state", Auth());
    return r && r->status == 200 ? r->body : std::string();
  }
  static std::string Field(const std::string& json, const std::string& key) {
    std::smatch m;
    if (std::regex_search(json, m, std::regex("\"" + key + "\":(-?[0-9]+)"))) return m[1];
    return "";
  }

  fs::path dir_;
  std::string pdf_, original_;
  ServeProcess server_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(ServeTest, RefusesRequestsWithoutTheTokenFromOtherOriginsOrForOtherHosts) {
  const std::string good = "127.0.0.1:" + std::to_string(server_.port());
  struct Case {
    const char* what;
    httplib::Headers headers;
    const char* path;
  };
  const std::vector<Case> cases = {
      {"no token", {}, "/"},
      {"a wrong token", {{"X-Annot-Token", std::string(32, 'a')}}, "/api/state"},
      {"a token one character short", {{"X-Annot-Token", server_.token().substr(1)}}, "/api/state"},
      {"another Origin", {{"X-Annot-Token", server_.token()}, {"Origin", "http://evil.example"}}, "/api/state"},
      {"another port as Origin",
       {{"X-Annot-Token", server_.token()}, {"Origin", "http://127.0.0.1:1"}},
       "/api/document"},
      {"another Host (DNS rebinding)",
       {{"X-Annot-Token", server_.token()}, {"Host", "evil.example:" + std::to_string(server_.port())}},
       "/api/document"},
  };
  for (const Case& c : cases) {
    auto r = client_->Get(c.path, c.headers);
    ASSERT_TRUE(r) << c.what;
    EXPECT_EQ(r->status, 403) << c.what;
    EXPECT_EQ(r->body.find("%PDF"), std::string::npos) << c.what;
  }
  auto ok = client_->Get(("/?t=" + server_.token()).c_str(), {{"Origin", "http://" + good}});
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  EXPECT_NE(ok->body.find(server_.token()), std::string::npos);  // the page's own links carry it
}

TEST_F(ServeTest, PathsNeverReachFilesOutsideThePagesOwnAssets) {
  for (const char* path :
       {"/app/../../../etc/passwd", "/app/..%2f..%2fetc%2fpasswd", "/etc/passwd", "/app/", "/app/index.html/..",
        "/app/CMakeLists.txt", "/app/app.js%00.png", "/plan.pdf", "/api/../../etc/passwd"}) {
    auto r = client_->Get(path, Auth());
    ASSERT_TRUE(r) << path;
    EXPECT_TRUE(r->status == 404 || r->status == 400) << path << " answered " << r->status;
    EXPECT_EQ(r->body.find("root:"), std::string::npos) << path;
  }
  for (const char* path : {"/app/app.js", "/app/app.css", "/app/pdf.min.mjs", "/app/pdf.worker.min.mjs"}) {
    auto r = client_->Get(path, Auth());
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200) << path;
  }
}

TEST_F(ServeTest, AMalformedEventOrOneForAPageThatDoesNotExistChangesNothing) {
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  ASSERT_EQ(Post("/api/event", "kind=down&page=0&x=100&y=100")->status, 200);  // a gesture begun
  const std::string before = State();
  for (const char* query : {"", "kind=jump&page=0&x=1&y=1", "kind=down&page=1&x=1&y=1", "kind=down&page=-1&x=1&y=1",
                            "kind=down&page=0&x=nan&y=1", "kind=down&page=0&x=1e300&y=1", "kind=down&page=0&x=1",
                            "kind=down&page=0&x=1&y=1&x=2", "kind=wheel&page=0&x=1&y=1&delta=99999", "kind=key&key=0",
                            "kind=down&page=0&x=1&y=1&shift=2", "kind=down&page=zero&x=1&y=1"}) {
    auto r = Post("/api/event", query);
    ASSERT_TRUE(r) << query;
    EXPECT_EQ(r->status, 400) << query;
    EXPECT_NE(r->body.find("\"error\""), std::string::npos) << query;
  }
  const std::string after = State();
  EXPECT_EQ(Field(after, "undo"), Field(before, "undo"));
  EXPECT_EQ(Field(after, "doc"), Field(before, "doc"));
  // The gesture goes on as if nothing had come between.
  EXPECT_EQ(Post("/api/event", "kind=up&page=0&x=100&y=100")->status, 200);
}

TEST_F(ServeTest, MeasuresSavesIncrementallyAndStopsWithoutWritingUnsavedChanges) {
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  // Two wall corners of the living room at zoom 1: device = (x, 595 - y).
  for (const char* q : {"kind=down&page=0&x=97&y=488", "kind=up&page=0&x=97&y=488", "kind=move&page=0&x=300&y=488",
                        "kind=down&page=0&x=477&y=488", "kind=up&page=0&x=477&y=488"}) {
    auto r = Post("/api/event", q);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << q << ": " << r->body;
  }
  const std::string state = State();
  EXPECT_EQ(Field(state, "undo"), "1") << state;
  EXPECT_NE(state.find(" m\""), std::string::npos) << "the panel shows a length in metres: " << state;
  // The document served is the one being edited.
  auto doc = client_->Get("/api/document", Auth());
  ASSERT_TRUE(doc);
  EXPECT_NE(doc->body.find("/Measure"), std::string::npos);
  EXPECT_EQ(ReadAll(pdf_), original_) << "nothing is written before Save";
  ASSERT_EQ(Post("/api/save")->status, 200);
  const std::string saved = ReadAll(pdf_);
  ASSERT_GT(saved.size(), original_.size());
  EXPECT_EQ(saved.compare(0, original_.size(), original_), 0) << "the save appends an update";
  // A change after the save is not written when the server stops.
  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_EQ(server_.Stop(), 0);
  EXPECT_EQ(ReadAll(pdf_), saved);
}

// Events come in device pixels of the view as the page shows it: zoomed
// and turned, the same two corners still measure the same wall.
TEST_F(ServeTest, EventsFollowTheViewsZoomAndRotation) {
  auto view = Post("/api/view", "zoom=2&rotation=90");
  ASSERT_TRUE(view);
  ASSERT_EQ(view->status, 200) << view->body;
  EXPECT_NE(view->body.find("\"matrix\":[0,2,2,0,0,0]"), std::string::npos) << view->body;
  for (const char* bad : {"zoom=0", "zoom=17", "rotation=45", "page=1", "zoom=abc"})
    EXPECT_EQ(Post("/api/view", bad)->status, 400) << bad;
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  // Page (97.01, 107.01) and (476.85, 107.01) turned a quarter at zoom 2.
  for (const char* q : {"kind=down&page=0&x=214&y=194", "kind=up&page=0&x=214&y=194", "kind=down&page=0&x=214&y=954",
                        "kind=up&page=0&x=214&y=954"})
    ASSERT_EQ(Post("/api/event", q)->status, 200) << q;
  const std::string state = State();
  EXPECT_NE(state.find("6.70 m"), std::string::npos) << state;
  EXPECT_NE(state.find("\"rotation\":90"), std::string::npos);
}

// A client that sends half a gesture and hangs up, one that sends a request
// and never reads the answer, and one that sends garbage: the server goes on.
TEST_F(ServeTest, SurvivesABrowserThatDisconnectsMidGesture) {
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  auto raw = [&](const std::string& request) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(server_.port()));
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    close(fd);
  };
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server_.port()) + "\r\n";
  raw("POST /api/event?kind=down&page=0&x=97&y=488&t=" + server_.token() + " HTTP/1.1\r\n" + host +
      "Content-Length: 0\r\n\r\n");
  raw("POST /api/event?kind=move&page=0&x=200&y=300&t=" + server_.token() + " HTTP/1.1\r\n" + host +
      "Content-Length: 100\r\n\r\nhalf a bo");
  raw("\x16\x03\x01 not http at all\r\n\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto r = Post("/api/event", "kind=up&page=0&x=97&y=488");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_NE(State(), "");
}

// The measuring tool's right-button menu waits for the person's answer
// while the page keeps being served; a stale answer is refused, and Ctrl-C
// during a waiting menu still stops the server.
TEST_F(ServeTest, AMenuWaitsForTheAnswerFromThePage) {
  ASSERT_EQ(Post("/api/press", "id=Button_Polylength")->status, 200);
  for (const char* q : {"kind=down&page=0&x=97&y=488", "kind=up&page=0&x=97&y=488", "kind=down&page=0&x=97&y=222",
                        "kind=up&page=0&x=97&y=222", "kind=move&page=0&x=477&y=488"})
    ASSERT_EQ(Post("/api/event", q)->status, 200) << q;
  ASSERT_EQ(Post("/api/event", "kind=rdown&page=0&x=477&y=488")->status, 200);
  int upStatus = 0;
  std::thread up([&] {
    httplib::Client other("127.0.0.1", server_.port());
    other.set_read_timeout(30, 0);
    auto r = other.Post("/api/event?kind=rup&page=0&x=477&y=488", Auth(), "", "application/x-www-form-urlencoded");
    upStatus = r ? r->status : -1;
  });
  std::string state;
  for (int i = 0; i < 200 && state.find("\"type\":\"menu\"") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    state = State();
  }
  ASSERT_NE(state.find("\"type\":\"menu\",\"items\":[\"Complete\",\"Cancel\"]"), std::string::npos) << state;
  const std::string id = Field(state.substr(state.find("\"modal\"")), "id");
  EXPECT_EQ(Post("/api/answer", "id=" + std::to_string(std::stoi(id) + 1) + "&result=1")->status, 409);
  ASSERT_EQ(Post("/api/answer", "id=" + id + "&result=1")->status, 200);
  up.join();
  EXPECT_EQ(upStatus, 200);
  EXPECT_EQ(Field(State(), "undo"), "1") << "Complete ended the measurement";

  // Another menu, left waiting: the server still stops at once.
  ASSERT_EQ(Post("/api/event", "kind=down&page=0&x=97&y=300")->status, 200);
  ASSERT_EQ(Post("/api/event", "kind=up&page=0&x=97&y=300")->status, 200);
  ASSERT_EQ(Post("/api/event", "kind=rdown&page=0&x=200&y=300")->status, 200);
  std::thread hanging([&] {
    httplib::Client other("127.0.0.1", server_.port());
    other.Post("/api/event?kind=rup&page=0&x=200&y=300", Auth(), "", "application/x-www-form-urlencoded");
  });
  for (int i = 0; i < 200 && State().find("\"type\":\"menu\"") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(server_.Stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
  hanging.join();
  EXPECT_EQ(ReadAll(pdf_), original_);
}

// Without --lang the first page request's Accept-Language picks the
// translation the ribbon is drawn in.
TEST_F(ServeTest, TheRibbonSpeaksTheBrowsersLanguage) {
  ServeProcess german;
  ASSERT_TRUE(german.Start(pdf_));
  httplib::Client client("127.0.0.1", german.port());
  auto page = client.Get(("/?t=" + german.token()).c_str(), {{"Accept-Language", "de-CH,de;q=0.9,en;q=0.5"}});
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  auto state = client.Get("/api/state", {{"X-Annot-Token", german.token()}});
  ASSERT_TRUE(state);
  EXPECT_NE(state->body.find("\"lang\":\"de-DE\""), std::string::npos);
  EXPECT_NE(state->body.find("\"name\":\"Button_Distance\",\"title\":\"Abstand\""), std::string::npos) << state->body;
  EXPECT_EQ(german.Stop(), 0);
}

// What the command refuses before it listens, with its exit status.
TEST(ServeCommandTest, RefusesBadArgumentsBeforeListening) {
  const fs::path dir = fs::temp_directory_path() / ("annot_serve_args_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string plan = (dir / "plan.pdf").string();
  ASSERT_EQ(RunAnnot({"sample", "floorplan", "-o", plan}), 0);
  std::ofstream(dir / "broken.pdf") << "%PDF-1.7 not really";
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  for (const Case& c : std::vector<Case>{{{"serve"}, 2},
                                         {{"serve", plan, "--port", "0"}, 2},
                                         {{"serve", plan, "--port", "70000"}, 2},
                                         {{"serve", plan, "--port", "80x"}, 2},
                                         {{"serve", plan, "--bogus"}, 2},
                                         {{"serve", plan, "--lang", "xx-XX"}, 1},
                                         {{"serve", (dir / "missing.pdf").string()}, 1},
                                         {{"serve", (dir / "broken.pdf").string()}, 1}}) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(RunAnnot(c.args), c.status) << joined;
  }
  fs::remove_all(dir);
}

TEST(ServeRequestTest, PicksTheInstalledLanguageTheBrowserPrefers) {
  const std::vector<std::string> installed = {"de-DE", "en-US", "fr-FR"};
  struct Case {
    const char* header;
    const char* expected;
  };
  for (const Case& c : std::vector<Case>{{"de-DE,de;q=0.9,en;q=0.8", "de-DE"},
                                         {"fr", "fr-FR"},
                                         {"en-GB,en;q=0.9", "en-US"},
                                         {"ja, de;q=0.5, fr;q=0.7", "fr-FR"},
                                         {"DE-de", "de-DE"},
                                         {"de;q=0, fr;q=0.1", "fr-FR"},
                                         {"ja,zh", ""},
                                         {"", ""},
                                         {";;,,;q=", ""}})
    EXPECT_EQ(annotserve::PickLanguage(c.header, installed), c.expected) << c.header;
}

TEST(ServeRequestTest, JsonStringsEscapeControlsAndReplaceBrokenUtf8) {
  EXPECT_EQ(annotserve::JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
  EXPECT_EQ(annotserve::JsonString("m\xC2\xB2"), "\"m\xC2\xB2\"");
  EXPECT_EQ(annotserve::JsonString("\xC3"), "\"\xEF\xBF\xBD\"");                                  // cut short
  EXPECT_EQ(annotserve::JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // a surrogate
  EXPECT_EQ(annotserve::JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");                  // overlong
}

// The host thread's queue refuses jobs beyond its limit instead of growing,
// and runs what it took in order.
TEST(HostQueueTest, RefusesBeyondItsLimitAndRunsTheRestInOrder) {
  annotserve::HostQueue queue(2);
  std::mutex m;
  std::condition_variable cv;
  bool release = false, started = false;
  std::vector<int> ran;
  queue.Start(nullptr, nullptr);
  ASSERT_TRUE(queue.Post([&] {
    std::unique_lock lock(m);
    started = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    ran.push_back(0);
  }));
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return started; });
  }
  EXPECT_TRUE(queue.Post([&] { ran.push_back(1); }));
  EXPECT_TRUE(queue.Post([&] { ran.push_back(2); }));
  EXPECT_FALSE(queue.Post([&] { ran.push_back(3); }));
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  queue.Stop();
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(queue.Post([] {}));
}

}  // namespace
