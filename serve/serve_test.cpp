// annot serve over HTTP: the real command in a child process, spoken to by
// cpp-httplib's client as a browser would.
#include "serve/serve_test_support.h"

#include "serve/host_queue.h"
#include "serve/serve_request.h"

namespace {

using namespace annotserve::testing;

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
                            "kind=down&page=0&x=1&y=1&x=2", "kind=wheel&page=0&x=1&y=1&delta=99999", "kind=key&key=0", "kind=char&key=31", "kind=char&key=55296", "kind=char&key=1114112",
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
  Events({"kind=down&page=0&x=97&y=488", "kind=up&page=0&x=97&y=488", "kind=move&page=0&x=300&y=488",
          "kind=down&page=0&x=477&y=488", "kind=up&page=0&x=477&y=488"});
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
  Events({"kind=down&page=0&x=214&y=194", "kind=up&page=0&x=214&y=194", "kind=down&page=0&x=214&y=954",
          "kind=up&page=0&x=214&y=954"});
  const std::string state = State();
  EXPECT_NE(state.find("6.70 m"), std::string::npos) << state;
  EXPECT_NE(state.find("\"rotation\":90"), std::string::npos);
}

// The snap marker belongs to the view it was found in: turned, the pointer
// is over another page point, so the marker goes until the pointer moves,
// and then shows what a click there gets.
TEST_F(ServeTest, TurningTheViewDropsASnapMarkerFoundBeforeTheTurn) {
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  ASSERT_EQ(Post("/api/press", "id=Measure_Snap_End")->status, 200);
  // Page (82, 91) near the outer walls' corner (80, 90); the page is 595 high.
  auto moved = Post("/api/event", "kind=move&page=0&x=82&y=504");
  ASSERT_EQ(moved->status, 200) << moved->body;
  EXPECT_NE(moved->body.find("\"p\":[75,500,85,510]"), std::string::npos) << moved->body;
  auto turned = Post("/api/view", "rotation=90");
  ASSERT_EQ(turned->status, 200) << turned->body;
  // Turned a quarter, the corner is device (90, 80); the pointer is not there.
  EXPECT_EQ(turned->body.find("\"p\":[85,75,95,85]"), std::string::npos) << turned->body;
  moved = Post("/api/event", "kind=move&page=0&x=92&y=82");
  EXPECT_NE(moved->body.find("\"p\":[85,75,95,85]"), std::string::npos) << moved->body;
}

// A client that sends half a gesture and hangs up, one that sends a request
// and never reads the answer, and one that sends garbage: the server goes on.
TEST_F(ServeTest, SurvivesABrowserThatDisconnectsMidGesture) {
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  auto raw = [&](const std::string& request) {
    const int fd = Connect(server_.port());
    ASSERT_GE(fd, 0);
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
  ASSERT_NO_FATAL_FAILURE(Events({"kind=down&page=0&x=97&y=488", "kind=up&page=0&x=97&y=488",
                                  "kind=down&page=0&x=97&y=222", "kind=up&page=0&x=97&y=222",
                                  "kind=move&page=0&x=477&y=488", "kind=rdown&page=0&x=477&y=488"}));
  int upStatus = 0;
  std::thread up = PostAside(server_, "/api/event?kind=rup&page=0&x=477&y=488", &upStatus);
  const std::string modal = WaitForModal(server_, "menu");
  ASSERT_NE(modal.find("\"type\":\"menu\",\"items\":[\"Complete\",\"Cancel\"]"), std::string::npos) << modal;
  const std::string id = Field(modal, "id");
  EXPECT_EQ(Post("/api/answer", "id=" + std::to_string(std::stoi(id) + 1) + "&result=1")->status, 409);
  ASSERT_EQ(Post("/api/answer", "id=" + id + "&result=1")->status, 200);
  up.join();
  EXPECT_EQ(upStatus, 200);
  EXPECT_EQ(Field(State(), "undo"), "1") << "Complete ended the measurement";

  // Another menu, left waiting: the server still stops at once.
  ASSERT_NO_FATAL_FAILURE(
      Events({"kind=down&page=0&x=97&y=300", "kind=up&page=0&x=97&y=300", "kind=rdown&page=0&x=200&y=300"}));
  int hangingStatus = 0;
  std::thread hanging = PostAside(server_, "/api/event?kind=rup&page=0&x=200&y=300", &hangingStatus);
  WaitForModal(server_, "menu");
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(server_.Stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
  hanging.join();
  EXPECT_EQ(ReadAll(pdf_), original_);
}

// The panel's property and the arrangements go to the selection; without
// one they are refused, and a bad value never reaches the editor.
TEST_F(ServeTest, PropertiesAndArrangementsNeedASelectionAndAValidValue) {
  EXPECT_EQ(Post("/api/property", "name=color&value=red")->status, 400);
  auto r = Post("/api/property", "name=color&value=%23FF0000");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 400);
  EXPECT_NE(r->body.find("nothing is selected"), std::string::npos) << r->body;
  r = Post("/api/arrange/front", "");
  EXPECT_EQ(r->status, 400);
  EXPECT_NE(r->body.find("nothing is selected"), std::string::npos) << r->body;
  EXPECT_EQ(Post("/api/arrange/topage", "page=x")->status, 400);
  EXPECT_EQ(Post("/api/arrange/sideways", "")->status, 404);
  // Ctrl+V with nothing copied is refused with the reason.
  r = Post("/api/event", "kind=key&key=86&ctrl=1");
  EXPECT_EQ(r->status, 400);
  EXPECT_NE(r->body.find("nothing was copied in this document"), std::string::npos) << r->body;
  EXPECT_EQ(Field(State(), "undo"), "0");
  EXPECT_NE(State().find("\"selection\":[]"), std::string::npos);
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

// A dialog reaches the page with every text and field name in the
// session's language: the page-scale dialog in German names its fields
// (by a label or a tooltip) in German and sends no key and no English.
TEST_F(ServeTest, DialogsReachThePageInTheSessionsLanguage) {
  ServeProcess german;
  ASSERT_TRUE(german.Start(pdf_, {"--lang", "de-DE"}));
  int pressStatus = 0;
  std::thread press = PostAside(german, "/api/press?id=Measure_Group_PageScale", &pressStatus);
  const std::string modal = WaitForModal(german, "dialog");
  ASSERT_NE(modal.find("\"type\":\"dialog\""), std::string::npos) << modal;
  for (const char* shown : {"\"name\":\"labelPageTitle\",\"type\":\"label\",\"text\":\"Seiten\"",
                            "\"name\":\"radioButtonPreset\",\"type\":\"checkbox\",\"text\":\"Vorgabe\"",
                            "\"name\":\"radioButtonCustom\",\"type\":\"checkbox\",\"text\":\"Benutzerdefiniert\"",
                            "\"tooltip\":\"Seitenbereich\"", "\"tooltip\":\"Reale Einheit\""})
    EXPECT_NE(modal.find(shown), std::string::npos) << shown << "\n" << modal;
  for (const char* hidden : {"IDS_", "\"Preset\"", "\"Custom\"", "\"Pages\"", "Separate Y scale"})
    EXPECT_EQ(modal.find(hidden), std::string::npos) << hidden << "\n" << modal;
  httplib::Client client("127.0.0.1", german.port());
  auto answered = client.Post(("/api/answer?id=" + Field(modal, "id") + "&result=2").c_str(),
                              {{"X-Annot-Token", german.token()}}, "", "application/x-www-form-urlencoded");
  ASSERT_TRUE(answered);
  ASSERT_EQ(answered->status, 200);
  press.join();
  EXPECT_EQ(pressStatus, 200);
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

// How much of what a connection sent makes one request, before any of it
// reaches a worker.
TEST(ServeRequestTest, MeasuresWholeRequestsAndRefusesThoseThatCannotBeTaken) {
  using State = annotserve::RequestExtent::State;
  const std::string head = "POST /api/event HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    State state;
    size_t size;  // Whole: the request's bytes; Refused: the status
  };
  const std::vector<Case> cases = {
      {"a head not yet ended", head, State::Incomplete, 0},
      {"a head without a body", head + "\r\n", State::Whole, head.size() + 2},
      {"lines ended by LF alone", "GET / HTTP/1.1\nHost: a\n\n", State::Whole, 24},
      {"a body not all there", head + "Content-Length: 5\r\n\r\nabc", State::Incomplete, 0},
      {"a body all there", head + "Content-Length: 5\r\n\r\nabcde", State::Whole, head.size() + 26},
      {"the next request behind it", head + "content-length: 5\r\n\r\nabcdeGET", State::Whole, head.size() + 26},
      {"the same length twice", head + "Content-Length: 1\r\nContent-Length:1\r\n\r\nx", State::Whole,
       head.size() + 40},
      {"a body that waits for 100 Continue", head + "Content-Length: 9\r\nExpect: 100-continue\r\n\r\n",
       State::Whole, head.size() + 43},
      {"two lengths", head + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab", State::Refused, 400},
      {"a length that is no number", head + "Content-Length: 1e3\r\n\r\n", State::Refused, 400},
      {"a negative length", head + "Content-Length: -1\r\n\r\n", State::Refused, 400},
      {"a chunked body", head + "Transfer-Encoding: chunked\r\n\r\n", State::Refused, 411},
      {"a body over the limit", head + "Content-Length: 65537\r\n\r\n", State::Refused, 413},
      {"a head over the limit, unended", head + "X: " + std::string(20000, 'a'), State::Refused, 431},
      {"a head over the limit, ended", head + "X: " + std::string(20000, 'a') + "\r\n\r\n", State::Refused, 431},
      // A file sent to attach may be larger; only a POST to that path.
      {"an upload within its limit", "POST /api/attach?name=a HTTP/1.1\r\nContent-Length: 65537\r\n\r\n",
       State::Incomplete, 0},
      {"an upload to the bare path", "POST /api/attach HTTP/1.1\r\nContent-Length: 70000\r\n\r\n",
       State::Incomplete, 0},
      {"an upload over its limit", "POST /api/attach?name=a HTTP/1.1\r\nContent-Length: 100001\r\n\r\n",
       State::Refused, 413},
      {"another path that starts alike", "POST /api/attachments HTTP/1.1\r\nContent-Length: 65537\r\n\r\n",
       State::Refused, 413},
      {"a GET of the upload path", "GET /api/attach HTTP/1.1\r\nContent-Length: 65537\r\n\r\n", State::Refused,
       413},
  };
  for (const Case& c : cases) {
    const auto extent = annotserve::MeasureRequest(c.bytes, 16 * 1024, 64 * 1024, "/api/attach", 100000);
    EXPECT_EQ(extent.state, c.state) << c.what;
    if (c.state == State::Whole) EXPECT_EQ(extent.size, c.size) << c.what;
    if (c.state == State::Whole)
      EXPECT_EQ(extent.lengthGiven, c.bytes.find("Content-Length") != std::string::npos ||
                                        c.bytes.find("content-length") != std::string::npos)
          << c.what;
    if (c.state == State::Refused) EXPECT_EQ(extent.status, static_cast<int>(c.size)) << c.what;
  }
}

TEST(ServeRequestTest, PropertiesAreCheckedAndReadIntoTheirValues) {
  using annotserve::Params;
  using annotserve::ParseProperty;
  using annotserve::PropertyRequest;
  auto parse = [](const std::string& name, const std::string& value, PropertyRequest* out, std::string* why) {
    return ParseProperty(Params{{"name", name}, {"value", value}}, out, why);
  };
  const struct {
    const char* name;
    const char* value;
    int32_t property;
    float rgb0, rgb2, number;
    int32_t none;
  } good[] = {
      {"color", "#FF8000", KS_PROP_COLOR, 1, 0, 0, 0},
      {"fill", "#00ff80", KS_PROP_FILL, 0, 128 / 255.0f, 0, 0},
      {"fill", "none", KS_PROP_FILL, 0, 0, 0, 1},
      {"width", "2.5", KS_PROP_WIDTH, 0, 0, 2.5f, 0},
      {"dash", "0", KS_PROP_DASH, 0, 0, 0, 0},
      {"opacity", "40", KS_PROP_OPACITY, 0, 0, 0.4f, 0},
      {"start", "None", KS_PROP_LINE_START, 0, 0, 0, 0},
      {"end", "Slash", KS_PROP_LINE_END, 0, 0, 9, 0},
      {"end", "OpenArrow", KS_PROP_LINE_END, 0, 0, 4, 0},
      {"fontSize", "14.5", KS_PROP_FONT_SIZE, 0, 0, 14.5f, 0},
      {"fontColor", "#0000ff", KS_PROP_FONT_COLOR, 0, 1, 0, 0},
  };
  for (const auto& c : good) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    PropertyRequest r;
    std::string why;
    ASSERT_TRUE(parse(c.name, c.value, &r, &why)) << why;
    EXPECT_EQ(r.value.size, sizeof(KS_AnnotPropertyValue));
    EXPECT_EQ(r.value.property, c.property);
    EXPECT_FLOAT_EQ(r.value.rgb[0], c.rgb0);
    EXPECT_FLOAT_EQ(r.value.rgb[2], c.rgb2);
    EXPECT_FLOAT_EQ(r.value.number, c.number);
    EXPECT_EQ(r.value.none, c.none);
  }
  PropertyRequest text;
  std::string why;
  ASSERT_TRUE(parse("label", "Küche", &text, &why));
  EXPECT_EQ(text.text, "Küche");
  EXPECT_EQ(text.value.property, KS_PROP_LABEL);
  ASSERT_TRUE(parse("contents", "Door", &text, &why));
  EXPECT_EQ(text.value.property, KS_PROP_CONTENTS);
  const struct {
    const char* name;
    const char* value;
    const char* why;
  } bad[] = {
      {"colour", "#FF0000", "unknown property 'colour'"},
      {"color", "red", "a colour is #RRGGBB or none"},
      {"color", "#FF00", "a colour is #RRGGBB or none"},
      {"fill", "#GG0000", "a colour is #RRGGBB or none"},
      {"width", "-1", "'width' must be a number from 0 to 100"},
      {"opacity", "101", "'opacity' must be a number from 0 to 100"},
      {"dash", "nan", "'dash' must be a number from 0 to 100"},
      {"start", "Arrow", "unknown line ending 'Arrow'"},
      {"fontSize", "0.5", "'fontSize' must be a number from 1 to 100"},
      {"fontSize", "101", "'fontSize' must be a number from 1 to 100"},
      {"fontColor", "none", "a text colour is #RRGGBB"},
  };
  for (const auto& c : bad) {
    PropertyRequest r;
    EXPECT_FALSE(parse(c.name, c.value, &r, &why)) << c.name << "=" << c.value;
    EXPECT_EQ(why, c.why);
  }
  EXPECT_FALSE(parse("subject", std::string(1001, 'x'), &text, &why));
  EXPECT_FALSE(ParseProperty(Params{{"name", "width"}}, &text, &why));
  EXPECT_EQ(why, "a property needs 'name' and 'value'");
  EXPECT_FALSE(ParseProperty(Params{{"name", "width"}, {"value", "1"}, {"value", "2"}}, &text, &why));
  EXPECT_EQ(why, "'value' is given more than once");
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
