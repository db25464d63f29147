// What the page draws its view from: the document's bytes once, the page's
// annotations apart after each change, answers that are never compressed.
#include "serve/serve_test_support.h"

namespace {

using namespace annotserve::testing;

// "DOCUMENT:CHANGES"
std::pair<long, long> Moment(const std::string& text) {
  std::smatch m;
  if (!std::regex_match(text, m, std::regex(R"((\d+):(\d+))"))) return {-1, -1};
  return {std::stol(m[1]), std::stol(m[2])};
}

TEST_F(ServeTest, AnswersGoOutUncompressedWhateverTheBrowserOffers) {
  httplib::Headers headers = Auth();
  headers.emplace("Accept-Encoding", "gzip, deflate, br, zstd");
  client_->set_decompress(false);
  const std::string worker = ReadAll(fs::path(BuildDir()) / "web" / "pdfjs" / "pdf.worker.min.mjs");
  ASSERT_FALSE(worker.empty());
  for (const char* path : {"/app/pdf.worker.min.mjs", "/app/app.js", "/api/state"}) {
    auto r = client_->Get(path, headers);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200) << path;
    EXPECT_FALSE(r->has_header("Content-Encoding")) << path << ": " << r->get_header_value("Content-Encoding");
    if (std::string(path) == "/app/pdf.worker.min.mjs") EXPECT_EQ(r->body, worker);
  }
}

TEST_F(ServeTest, ThePagesAnnotationsComeApartAndTheDocumentsBytesStillDrawThePage) {
  const std::string opened = State();
  const std::string look = Quoted(opened, "look");
  ASSERT_NE(Moment(look).first, -1) << opened;
  auto document = client_->Get("/api/document", Auth());
  ASSERT_TRUE(document && document->status == 200);
  const auto written = Moment(document->get_header_value("X-Annot-Moment"));
  EXPECT_EQ(written.first, Moment(look).first);
  EXPECT_GE(written.second, Moment(look).second);

  // A distance: its annotation is in the page's layer, of the document
  // version the state says, and the page's own look is as it was.
  ASSERT_EQ(Post("/api/press", "id=Button_Distance")->status, 200);
  Events({"kind=down&page=0&x=120&y=445", "kind=up&page=0&x=120&y=445", "kind=down&page=0&x=420&y=445",
          "kind=up&page=0&x=420&y=445"});
  const std::string measured = State();
  auto layer = client_->Get("/api/annots?page=0", Auth());
  ASSERT_TRUE(layer);
  ASSERT_EQ(layer->status, 200) << layer->body;
  EXPECT_EQ(layer->get_header_value("Content-Type"), "application/pdf");
  EXPECT_EQ(layer->get_header_value("X-Annot-Doc"), Field(measured, "doc"));
  EXPECT_EQ(layer->get_header_value("X-Annot-Look"), look);
  EXPECT_EQ(Quoted(measured, "look"), look);
  EXPECT_EQ(layer->body.rfind("%PDF-", 0), 0u);
  EXPECT_NE(layer->body.find("/LineDimension"), std::string::npos);

  for (const char* query : {"page=1", "page=-1", "page=x", ""}) {
    auto r = client_->Get(("/api/annots?" + std::string(query)).c_str(), Auth());
    ASSERT_TRUE(r) << query;
    EXPECT_EQ(r->status, 400) << query;
  }
}

}  // namespace
