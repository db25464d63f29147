// The properties panel's changes to the comment kinds the editor makes
// itself (rectangles, text boxes): through the host, one undo step each,
// several selected rectangles together, and undone to the very appearance
// they had.
#include "serve/serve_test_support.h"

namespace {

using namespace annotserve::testing;

class ServePropsTest : public ServeTest {
 protected:
  // The first selected annotation's "props" object as the state gives it.
  std::string Props() {
    const std::string state = State();
    const size_t at = state.find("\"props\":{");
    return at == std::string::npos ? std::string() : state.substr(at, state.find('}', at) - at + 1);
  }
  // A drag of the current tool from (x0, y0) to (x1, y1), device pixels.
  void Drag(int x0, int y0, int x1, int y1) {
    const auto at = [](int x, int y) { return "&page=0&x=" + std::to_string(x) + "&y=" + std::to_string(y); };
    Events({"kind=down" + at(x0, y0), "kind=move" + at((x0 + x1) / 2, (y0 + y1) / 2), "kind=move" + at(x1, y1),
            "kind=up" + at(x1, y1)});
  }
  void Click(int x, int y, bool shift = false) {
    const std::string at = "&page=0&x=" + std::to_string(x) + "&y=" + std::to_string(y) + (shift ? "&shift=1" : "");
    Events({"kind=down" + at, "kind=up" + at});
  }
  std::string AnnotLayer() {
    auto r = client_->Get("/api/annots?page=0", Auth());
    return r && r->status == 200 ? r->body : std::string();
  }
  // Serves, instead of the floor plan, a letter-size page holding these
  // annotation dictionaries (page (x, y) is device (x, 792 - y) there).
  void ServePageWith(const std::vector<std::string>& annots) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"};
    std::string refs;
    for (size_t i = 0; i < annots.size(); ++i) refs += std::to_string(4 + i) + " 0 R ";
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [" + refs + "] >>");
    objects.insert(objects.end(), annots.begin(), annots.end());
    client_.reset();
    server_.Stop();
    std::ofstream(pdf_, std::ios::binary | std::ios::trunc) << PdfOfObjects(objects);
    ASSERT_TRUE(server_.Start(pdf_, {"--lang", "en-US"}));
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_.port());
    client_->set_read_timeout(30, 0);
    ASSERT_EQ(Post("/api/tool", "name=Hand")->status, 200);
  }
};

// A text box written by another program, its words in rich text of their
// own: green, bold, 14 pt in the first run.
const char kRichTextBox[] =
    "<< /Type /Annot /Subtype /FreeText /Rect [100 300 300 400] /F 4 /DA (/Helv 12 Tf 0 0 1 rg) "
    "/DS (font: Helvetica 12pt; color:#0000FF) /Contents (Hello world) /RC (<?xml version=\"1.0\"?>"
    "<body xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:xfa=\"http://www.xfa.org/schema/xfa-data/1.0/\" "
    "xfa:APIVersion=\"Acrobat:11.0.0\" xfa:spec=\"2.0.2\"><p><span style=\"font-size:14pt;color:#008000;"
    "font-weight:bold\">Hello</span><span> world</span></p></body>) >>";
// The same words in rich text alone, as some programs write a text box.
const char kRichTextOnlyBox[] =
    "<< /Type /Annot /Subtype /FreeText /Rect [350 300 550 400] /F 4 /DA (/Helv 12 Tf 0 0 1 rg) "
    "/RC (<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\"><p><span>Hello</span>"
    "<span> world</span></p></body>) >>";

TEST_F(ServePropsTest, ARectanglesColourAndWidthChangeAsOneUndoStepEachAndUndoRestoresItsAppearance) {
  ASSERT_EQ(Post("/api/tool", "name=Rectangle")->status, 200);
  Drag(120, 120, 220, 200);
  ASSERT_EQ(Field(State(), "undo"), "1");
  ASSERT_EQ(Post("/api/tool", "name=Hand")->status, 200);
  Click(170, 160);
  std::string props = Props();
  ASSERT_EQ(Quoted(props, "subtype"), "Square") << props;
  EXPECT_EQ(Quoted(props, "kind"), "Rectangle");
  EXPECT_NE(props.find("\"settable\":true"), std::string::npos) << props;
  EXPECT_NE(props.find("\"offers\":["), std::string::npos) << props;
  EXPECT_EQ(Quoted(props, "color"), "#FF0000");
  const std::string drawn = AnnotLayer();

  ASSERT_EQ(Post("/api/property", "name=color&value=%230000FF")->status, 200);
  ASSERT_EQ(Post("/api/property", "name=width&value=4")->status, 200);
  props = Props();
  EXPECT_EQ(Quoted(props, "color"), "#0000FF");
  EXPECT_EQ(Field(props, "width"), "4");
  EXPECT_EQ(Field(State(), "undo"), "3");
  // The new appearance strokes in blue, 4 points wide.
  const std::string changed = AnnotLayer();
  EXPECT_NE(changed, drawn);
  // The same colour again changes nothing and adds no step.
  EXPECT_EQ(Post("/api/property", "name=color&value=%230000FF")->status, 400);
  EXPECT_EQ(Field(State(), "undo"), "3");

  ASSERT_EQ(Post("/api/undo")->status, 200);
  ASSERT_EQ(Post("/api/undo")->status, 200);
  props = Props();
  EXPECT_EQ(Quoted(props, "color"), "#FF0000");
  EXPECT_EQ(Field(props, "width"), "1");
  EXPECT_EQ(AnnotLayer(), drawn) << "undo brings back the appearance as it was";
  ASSERT_EQ(Post("/api/redo")->status, 200);
  EXPECT_EQ(Quoted(Props(), "color"), "#0000FF");

  // Saved, the file holds the colour and the width.
  ASSERT_EQ(Post("/api/save")->status, 200);
  const std::string xfdf = AnnotOutput({"xfdf", "export", pdf_});
  EXPECT_NE(xfdf.find("<square "), std::string::npos) << xfdf;
  EXPECT_NE(xfdf.find("color=\"#0000FF\""), std::string::npos) << xfdf;
}

TEST_F(ServePropsTest, SeveralSelectedRectanglesChangeTogetherInOneStep) {
  ASSERT_EQ(Post("/api/tool", "name=Rectangle")->status, 200);
  Drag(120, 120, 200, 180);
  Drag(260, 120, 340, 180);
  ASSERT_EQ(Post("/api/tool", "name=Hand")->status, 200);
  Click(160, 150);
  Click(300, 150, true);
  ASSERT_EQ(Field(State(), "undo"), "2");
  ASSERT_EQ(Post("/api/property", "name=fill&value=%2300FF00")->status, 200);
  const std::string state = State();
  EXPECT_EQ(Field(state, "undo"), "3") << "one step for both";
  size_t filled = 0;
  for (size_t at = state.find("\"fill\":\"#00FF00\""); at != std::string::npos;
       at = state.find("\"fill\":\"#00FF00\"", at + 1))
    ++filled;
  EXPECT_EQ(filled, 2u) << state;
  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_EQ(State().find("\"fill\":\"#00FF00\""), std::string::npos);
}

TEST_F(ServePropsTest, ATextBoxsLettersChangeSizeAndColourAndUndoBringsThemBack) {
  ASSERT_EQ(Post("/api/tool", "name=TextBox")->status, 200);
  Drag(120, 120, 300, 180);
  for (char c : std::string("Door"))
    ASSERT_EQ(Post("/api/event", "kind=char&key=" + std::to_string(int(c)))->status, 200);
  ASSERT_EQ(Post("/api/tool", "name=Hand")->status, 200);
  Click(200, 150);
  std::string props = Props();
  ASSERT_EQ(Quoted(props, "subtype"), "FreeText") << props;
  EXPECT_EQ(Quoted(props, "kind"), "Text box");
  EXPECT_EQ(Field(props, "fontSize"), "12");
  EXPECT_EQ(Quoted(props, "fontColor"), "#000000");
  EXPECT_EQ(Quoted(props, "contents"), "Door");
  const std::string undo = Field(State(), "undo");

  ASSERT_EQ(Post("/api/property", "name=fontSize&value=20")->status, 200);
  ASSERT_EQ(Post("/api/property", "name=fontColor&value=%2300AA00")->status, 200);
  props = Props();
  EXPECT_EQ(Field(props, "fontSize"), "20");
  EXPECT_EQ(Quoted(props, "fontColor"), "#00AA00");
  // The border keeps its colour: the letters' colour is their own.
  EXPECT_EQ(Quoted(props, "color"), "#FF0000");
  EXPECT_EQ(Field(State(), "undo"), std::to_string(std::stoi(undo) + 2));
  EXPECT_EQ(Post("/api/property", "name=fontSize&value=0")->status, 400);

  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_EQ(Quoted(Props(), "fontColor"), "#000000");
  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_EQ(Field(Props(), "fontSize"), "12");
}

TEST_F(ServePropsTest, ARichTextBoxsTextChangesInItsFirstRunsStyleAsOneUndoStep) {
  ServePageWith({kRichTextBox, kRichTextOnlyBox});
  Click(450, 442);
  EXPECT_EQ(Quoted(Props(), "contents"), "Hello world") << "a box whose words are only in rich text shows them";
  Click(200, 442);
  std::string props = Props();
  ASSERT_EQ(Quoted(props, "subtype"), "FreeText") << props;
  EXPECT_NE(props.find("\"contents\""), std::string::npos);
  EXPECT_NE(State().find("\"offers\":[\"color\",\"contents\""), std::string::npos) << "the Text field is offered";
  EXPECT_EQ(Quoted(props, "contents"), "Hello world");
  const std::string drawn = AnnotLayer();
  const std::string undo = Field(State(), "undo");

  ASSERT_EQ(Post("/api/property", "name=contents&value=Kitchen%20door")->status, 200);
  EXPECT_EQ(Quoted(Props(), "contents"), "Kitchen door");
  EXPECT_EQ(Field(State(), "undo"), std::to_string(std::stoi(undo) + 1)) << "one step";
  EXPECT_NE(AnnotLayer(), drawn) << "the box is drawn anew";

  // Saved, the rich text says the new words in the first run's style.
  ASSERT_EQ(Post("/api/save")->status, 200);
  std::string xfdf = AnnotOutput({"xfdf", "export", pdf_});
  const size_t body = xfdf.find("<contents-richtext>");
  ASSERT_NE(body, std::string::npos) << xfdf;
  const std::string rich = xfdf.substr(body, xfdf.find("</contents-richtext>") - body);
  EXPECT_NE(rich.find("Kitchen door"), std::string::npos) << rich;
  EXPECT_EQ(rich.find("Hello"), std::string::npos) << rich;
  EXPECT_NE(rich.find("color:#008000"), std::string::npos) << rich;
  EXPECT_NE(rich.find("font-weight:bold"), std::string::npos) << rich;
  EXPECT_NE(rich.find("font-size:14.00pt"), std::string::npos) << rich;
  EXPECT_NE(xfdf.find("<contents>Kitchen door</contents>"), std::string::npos) << xfdf;

  // Undone, both texts and the appearance are as they were.
  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_EQ(Quoted(Props(), "contents"), "Hello world");
  EXPECT_EQ(AnnotLayer(), drawn);
  ASSERT_EQ(Post("/api/save")->status, 200);
  xfdf = AnnotOutput({"xfdf", "export", pdf_});
  EXPECT_NE(xfdf.find(">Hello</span>"), std::string::npos) << xfdf;
}

// The colour poppler draws at page point (x, y) of the first page of
// `pdf`, at 72 dpi: {r, g, b}, or empty when it cannot be drawn.
std::vector<int> DrawnColour(const fs::path& pdf, int x, int y) {
  const fs::path out = pdf.parent_path() / "drawn";
  const std::string command = "pdftoppm -r 72 -f 1 -l 1 -singlefile '" + pdf.string() + "' '" + out.string() + "'";
  if (std::system(command.c_str()) != 0) return {};
  const std::string ppm = ReadAll(out.string() + ".ppm");
  std::istringstream head(ppm);
  std::string magic;
  int w = 0, h = 0, max = 0;
  head >> magic >> w >> h >> max;
  const size_t start = size_t(head.tellg()) + 1;
  const int row = 792 - y;
  if (magic != "P6" || x < 0 || row < 0 || x >= w || row >= h) return {};
  const size_t at = start + (size_t(row) * size_t(w) + size_t(x)) * 3;
  if (at + 3 > ppm.size()) return {};
  return {static_cast<unsigned char>(ppm[at]), static_cast<unsigned char>(ppm[at + 1]),
          static_cast<unsigned char>(ppm[at + 2])};
}

std::vector<int> HexComponents(const std::string& hex) {
  if (hex.size() != 7 || hex[0] != '#') return {};
  return {std::stoi(hex.substr(1, 2), nullptr, 16), std::stoi(hex.substr(3, 2), nullptr, 16),
          std::stoi(hex.substr(5, 2), nullptr, 16)};
}

// Within two steps of 255 in each component (poppler's rounding).
::testing::AssertionResult Near(const std::vector<int>& a, const std::vector<int>& b) {
  bool near = a.size() == 3 && b.size() == 3;
  for (size_t i = 0; near && i < 3; ++i) near = std::abs(a[i] - b[i]) <= 2;
  if (near) return ::testing::AssertionSuccess();
  auto text = [](const std::vector<int>& c) {
    std::string t;
    for (int v : c) t += std::to_string(v) + " ";
    return t;
  };
  return ::testing::AssertionFailure() << text(a) << "vs " << text(b);
}

// A stamp of a name of its own and a note, neither with /C: the panel
// shows the colour each is drawn in (the stamp's frame at x 103, the
// note's body at its centre), and a new colour of the stamp is drawn.
TEST_F(ServePropsTest, StampsAndNotesWithoutAColourShowTheColourTheyAreDrawnIn) {
  ServePageWith({"<< /Type /Annot /Subtype /Stamp /Rect [100 600 250 650] /Name /Checked /F 4 >>",
                 "<< /Type /Annot /Subtype /Text /Rect [300 600 320 620] /F 4 >>",
                 // A stamp whose picture was made elsewhere keeps its colours.
                 "<< /Type /Annot /Subtype /Stamp /Rect [100 400 200 450] /F 4 /AP << /N 7 0 R >> >>",
                 "<< /Type /XObject /Subtype /Form /BBox [0 0 100 50] /Length 25 >>\nstream\n"
                 "1 0 0 rg 0 0 100 50 re f\nendstream"});
  const fs::path drawn = dir_ / "drawn.pdf";
  ASSERT_EQ(RunAnnot({"regenerate", pdf_, "-o", drawn.string()}), 0);

  Click(175, 167);
  std::string props = Props();
  ASSERT_EQ(Quoted(props, "subtype"), "Stamp") << props;
  EXPECT_TRUE(Near(HexComponents(Quoted(props, "color")), DrawnColour(drawn, 103, 625))) << "red, as drawn";
  Click(310, 182);
  props = Props();
  ASSERT_EQ(Quoted(props, "subtype"), "Text") << props;
  EXPECT_TRUE(Near(HexComponents(Quoted(props, "color")), DrawnColour(drawn, 310, 610))) << "yellow, as drawn";

  Click(150, 367);
  props = Props();
  ASSERT_EQ(Quoted(props, "subtype"), "Stamp") << props;
  EXPECT_EQ(props.find("\"color\""), props.find("\"color\":\"\"")) << props;
  EXPECT_EQ(State().find("\"offers\":[\"color\""), std::string::npos) << "no colour to change";
  EXPECT_EQ(Post("/api/property", "name=color&value=%230000FF")->status, 400);

  // The standard stamp takes a colour and is drawn in it; undo brings back
  // the red it had.
  Click(175, 167);
  const std::string undo = Field(State(), "undo");
  ASSERT_EQ(Post("/api/property", "name=color&value=%230000FF")->status, 200);
  EXPECT_EQ(Quoted(Props(), "color"), "#0000FF");
  EXPECT_EQ(Field(State(), "undo"), std::to_string(std::stoi(undo) + 1));
  ASSERT_EQ(Post("/api/save")->status, 200);
  EXPECT_TRUE(Near(DrawnColour(pdf_, 103, 625), {0, 0, 255}));
  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_TRUE(Near(HexComponents(Quoted(Props(), "color")), DrawnColour(drawn, 103, 625)));
}

}  // namespace
