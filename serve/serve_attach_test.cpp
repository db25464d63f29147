// Files attached from the page: the bytes the page sends land in the
// document where the page was pressed, as the Attach tool's own.
#include "serve/serve_test_support.h"

#include <cstdio>

#include "serve/serve_request.h"

namespace annotserve::testing {
namespace {

// The file uncompressed by qpdf (QDF form), to find what it embeds.
std::string Uncompressed(const std::string& pdf) {
  std::string out;
  if (FILE* p = popen(("qpdf --qdf --object-streams=disable '" + pdf + "' - 2>/dev/null").c_str(), "r")) {
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST_F(ServeTest, AFileSentFromThePageIsAttachedWherePressedAsOneUndoStep) {
  ASSERT_FALSE(State().empty());
  // Bytes of every kind, a zero among them.
  std::string bytes = "room 12: check the window frame\n";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  auto attach = [&](const std::string& query) {
    return client_->Post(("/api/attach?" + query).c_str(), Auth(), bytes, "application/octet-stream");
  };
  // Without the Attach tool the press has no file to take.
  auto refused = attach("page=0&x=300&y=200&name=notes.txt");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 409) << refused->body;
  ASSERT_EQ(Post("/api/tool", "name=Attach")->status, 200);
  for (const char* query : {"page=0&x=300&name=notes.txt", "page=0&x=300&y=200", "page=7&x=300&y=200&name=a.txt"}) {
    auto r = attach(query);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400) << query << " " << r->body;
  }
  EXPECT_EQ(Field(State(), "undo"), "0");

  auto r = attach("page=0&x=300&y=200&name=C%3A%5Cfakepath%5Croom%20notes.txt");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 200) << r->body;
  EXPECT_EQ(Field(r->body, "undo"), "1");
  // Left selected, with the file's name as its text.
  EXPECT_NE(r->body.find("\"subtype\":\"FileAttachment\""), std::string::npos) << r->body.substr(0, 400);
  EXPECT_NE(r->body.find("\"contents\":\"room notes.txt\""), std::string::npos);
  // The file was for that press only: a plain click has none to take.
  Events({"kind=down&page=0&x=400&y=200", "kind=up&page=0&x=400&y=200"});
  EXPECT_EQ(Field(State(), "undo"), "1");
  ASSERT_EQ(Post("/api/save")->status, 200);
  const std::string saved = Uncompressed(pdf_);
  ASSERT_FALSE(saved.empty());
  EXPECT_NE(saved.find("/Subtype /FileAttachment"), std::string::npos);
  EXPECT_NE(saved.find("/UF (room notes.txt)"), std::string::npos);
  EXPECT_NE(saved.find("/Size " + std::to_string(bytes.size())), std::string::npos);
  EXPECT_NE(saved.find(bytes), std::string::npos) << "the embedded file holds the bytes sent";

  // Undo takes it away.
  ASSERT_EQ(Post("/api/undo")->status, 200);
  ASSERT_EQ(Post("/api/save")->status, 200);
  const std::string undone = Uncompressed(pdf_);
  EXPECT_EQ(undone.find("/Subtype /FileAttachment"), std::string::npos);
}

TEST_F(ServeTest, AFileOverTheLimitIsRefusedBeforeItIsRead) {
  ASSERT_FALSE(State().empty());
  ASSERT_EQ(Post("/api/tool", "name=Attach")->status, 200);
  // The head alone says how large the body is: the answer comes before
  // any of it is sent, says why, and the connection closes.
  const std::string head = "POST /api/attach?page=0&x=300&y=200&name=big.bin HTTP/1.1\r\nHost: 127.0.0.1:" +
                           std::to_string(server_.port()) + "\r\nX-Annot-Token: " + server_.token() +
                           "\r\nContent-Length: " + std::to_string((16u << 20) + 1) + "\r\n\r\n";
  bool closed = false;
  const std::string answer = Exchange(server_.port(), head, &closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;
  EXPECT_NE(answer.find("{\"error\": \"the request is too large\"}"), std::string::npos) << answer;
  httplib::Headers headers = Auth();
  // A file of just the limit is taken.
  auto fits = client_->Post("/api/attach?page=0&x=300&y=200&name=big.bin", headers, std::string(16u << 20, 'x'),
                            "application/octet-stream");
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->status, 200) << fits->body.substr(0, 200);
  EXPECT_EQ(Field(State(), "undo"), "1");
}

TEST(ServeUploadTest, FileNamesKeepTheirLastPartWithoutControlsOrBrokenBytes) {
  const struct {
    std::string given, name;
  } cases[] = {
      {"notes.txt", "notes.txt"},
      {"C:\\fakepath\\plan.pdf", "plan.pdf"},
      {"/home/me/../etc/passwd", "passwd"},
      {"a/b\\", "attachment"},
      {"..", "attachment"},
      {".", "attachment"},
      {"", "attachment"},
      {"  trailing. . ", "trailing"},
      {"Gr\xC3\xBC\xC3\x9F" "e.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
      {"bad\xFF\xC3(name\x01\x7F.txt", "bad(name.txt"},
      {"over\xC0\xAFlong\xED\xA0\x80.txt", "overlong.txt"},
      {"\xF0\x9F\x93\x8E clip.txt", "\xF0\x9F\x93\x8E clip.txt"},
      {"line\xE2\x80\xA8" "break", "linebreak"},
  };
  for (const auto& c : cases) EXPECT_EQ(UploadFileName(c.given), c.name) << c.given;
  // At most 200 bytes, never half a letter.
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "\xC3\xBC";
  const std::string cut = UploadFileName(longName);
  EXPECT_EQ(cut.size(), 200u);
  EXPECT_EQ(cut, longName.substr(0, 200));
}

}  // namespace
}  // namespace annotserve::testing
