// Saving from the page: a file another program wrote meanwhile, and a save
// under way when the server is told to stop.
#include "serve/serve_test_support.h"

namespace {

using namespace annotserve::testing;

class ServeSaveTest : public ServeTest {
 protected:
  // The living room's south wall, as the page sends a distance: two clicks.
  void Measure() {
    ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
    Events({"kind=down&page=0&x=97&y=488", "kind=up&page=0&x=97&y=488", "kind=down&page=0&x=477&y=488",
            "kind=up&page=0&x=477&y=488"});
  }
  bool Unsaved() { return State().find("\"unsaved\":true") != std::string::npos; }
};

// The page measures a wall while `annot run` adds an area to the same file.
// Save then refuses (409) and leaves the file as annot run wrote it; a copy
// beside it takes the page's document, and a reload takes the file as it
// is now, after which saving works again and keeps the area.
TEST_F(ServeSaveTest, ASaveOverAFileAnotherProgramChangedIsRefusedAndACopyOrAReloadOffered) {
  Measure();
  EXPECT_TRUE(Unsaved());
  const fs::path script = dir_ / "area.session";
  std::ofstream(script) << "tool Area\nclick 100 100\nclick 172 100\nclick 172 172\ndblclick 100 172\n";
  ASSERT_EQ(RunAnnot({"run", script.string(), "-i", pdf_, "-o", pdf_}), 0);
  const std::string theirs = ReadAll(pdf_);
  ASSERT_NE(theirs, original_);

  auto refused = Post("/api/save");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 409);
  EXPECT_NE(refused->body.find("\"changedOnDisk\":true"), std::string::npos) << refused->body;
  EXPECT_NE(refused->body.find("another program changed the file"), std::string::npos) << refused->body;
  EXPECT_EQ(ReadAll(pdf_), theirs) << "the area annot run added is still there";
  EXPECT_TRUE(Unsaved()) << "the page's distance is still unsaved";

  auto copy = Post("/api/save-copy");
  ASSERT_TRUE(copy);
  ASSERT_EQ(copy->status, 200) << copy->body;
  EXPECT_NE(copy->body.find("\"copy\":\"plan-copy.pdf\""), std::string::npos) << copy->body;
  const std::string copyInfo = AnnotOutput({"info", (dir_ / "plan-copy.pdf").string()});
  EXPECT_NE(copyInfo.find("LineDimension"), std::string::npos) << copyInfo;
  EXPECT_EQ(copyInfo.find("PolygonDimension"), std::string::npos) << copyInfo;
  EXPECT_EQ(ReadAll(pdf_), theirs);
  // A second copy takes the next name; the first stays.
  auto second = Post("/api/save-copy");
  ASSERT_TRUE(second);
  EXPECT_NE(second->body.find("\"copy\":\"plan-copy-2.pdf\""), std::string::npos) << second->body;

  auto reload = Post("/api/reload");
  ASSERT_TRUE(reload);
  ASSERT_EQ(reload->status, 200) << reload->body;
  EXPECT_FALSE(Unsaved());
  EXPECT_EQ(Field(State(), "undo"), "0");
  Measure();
  auto saved = Post("/api/save");
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->status, 200) << saved->body;
  EXPECT_FALSE(Unsaved());
  const std::string now = ReadAll(pdf_);
  EXPECT_EQ(now.compare(0, theirs.size(), theirs), 0) << "the save appends to the file annot run wrote";
  const std::string info = AnnotOutput({"info", pdf_});
  EXPECT_NE(info.find("PolygonDimension"), std::string::npos) << info;
  EXPECT_NE(info.find("LineDimension"), std::string::npos) << info;
}

// SIGTERM while a save waits behind a menu the host shows (a job that
// lasts until the person answers): stopping cancels the menu, the host runs
// the save it had taken before it stops, and the save's answer says that
// it saved.
TEST_F(ServeSaveTest, ASaveUnderWayWhenTheServerIsStoppedAnswersWhatHappened) {
  Measure();
  ASSERT_EQ(Post("/api/press", "id=Button_Polylength")->status, 200);
  ASSERT_NO_FATAL_FAILURE(Events({"kind=down&page=0&x=97&y=300", "kind=up&page=0&x=97&y=300",
                                  "kind=down&page=0&x=200&y=300", "kind=up&page=0&x=200&y=300",
                                  "kind=rdown&page=0&x=200&y=300"}));
  int menuStatus = 0, saveStatus = 0;
  std::thread menu = PostAside(server_, "/api/event?kind=rup&page=0&x=200&y=300", &menuStatus);
  ASSERT_NE(WaitForModal(server_, "menu"), "");
  std::thread save = PostAside(server_, "/api/save", &saveStatus);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the save waits behind the menu
  EXPECT_EQ(ReadAll(pdf_), original_);
  EXPECT_EQ(server_.Stop(), 0);
  menu.join();
  save.join();
  const bool written = ReadAll(pdf_) != original_;
  EXPECT_TRUE(written) << "the save the host had taken ran before it stopped";
  EXPECT_EQ(saveStatus, written ? 200 : 503);
}

// A stamp named "#Sq" is written "/#23Sq" in the PDF. The document the page
// renders has it so whether the file is copied (a clean file) or written
// anew (one whose cross-reference table had to be rebuilt): "/#Sq" would
// read as a broken escape.
TEST(ServeDocumentTest, ThePagesDocumentKeepsNamesWithAHash) {
  const fs::path dir = fs::temp_directory_path() / ("annot_serve_hash_" + std::to_string(getpid()));
  fs::create_directories(dir / "config");
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R] >>",
      "<< /Type /Annot /Subtype /Stamp /Rect [100 100 200 150] /Name /#23Sq /F 4 >>",
  };
  for (const bool clean : {true, false}) {
    const fs::path path = dir / (clean ? "clean.pdf" : "rebuilt.pdf");
    std::ofstream(path, std::ios::binary) << PdfOfObjects(objects, clean);

    ServeProcess server;
    ASSERT_TRUE(server.Start(path.string(), {"--lang", "en-US"})) << clean;
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(30, 0);
    auto r = client.Get("/api/document", {{"X-Annot-Token", server.token()}});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(r->body.compare(0, 5, "%PDF-"), 0);
    EXPECT_NE(r->body.find("/#23Sq"), std::string::npos) << (clean ? "clean" : "rebuilt");
    EXPECT_EQ(r->body.find("/#Sq"), std::string::npos) << (clean ? "clean" : "rebuilt");
    server.Stop();
  }
  fs::remove_all(dir);
}

}  // namespace
