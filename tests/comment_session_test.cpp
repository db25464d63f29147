// The editor's comment tools end to end: sessions make one annotation of
// every tool on the sample floor plan and on a page of Helvetica text; the
// saved files are listed, drawn by poppler and MuPDF, carried through XFDF,
// and the text markup is checked against the word boxes pdftotext reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_functions.h"
#include "host/pdf_test_support.h"
#include "tests/render_support.h"
#include "tests/test_support.h"

using namespace testing_support;
namespace direct = kshost::direct;

namespace {

// One letter-size page of Helvetica text (two lines), turned by `rotate`;
// `extra` is more content after it.
std::string TextPdf(int rotate, const std::string& extra = "") {
  const std::string content =
      "BT /F1 12 Tf 72 700 Td (The quick brown fox jumps over the lazy dog.) Tj 0 -20 Td "
      "(Second line of text here.) Tj ET" + extra;
  return kshost::pdf::test::HelveticaPagePdf(content, rotate);
}

// What a test reads back of one annotation.
struct Annot {
  std::string subtype, intent, text;  // text: the dictionary as PDF text
  std::string name;                   // /Name
  KS_FloatRect rect{};
  std::vector<float> quads;
  std::map<std::string, std::string> texts;  // /NM, /T, /CreationDate, /M as bytes
  bool appearance = false;
};

std::string Bytes(KPD_Object o) {
  KS_ByteString s = direct::ByteStringNew(nullptr, 0);
  std::string out;
  if (o && direct::StringGetBytes(o, s)) out.assign(direct::ByteStringData(s), direct::ByteStringLength(s));
  direct::ByteStringDestroy(s);
  return out;
}

std::string NameOf(KPD_Object o) {
  KS_ByteString s = direct::ByteStringNew(nullptr, 0);
  std::string out;
  if (o && direct::NameGet(o, s)) out.assign(direct::ByteStringData(s), direct::ByteStringLength(s));
  direct::ByteStringDestroy(s);
  return out.empty() || out[0] != '/' ? out : out.substr(1);
}

std::vector<Annot> ReadAnnots(const std::string& path) {
  std::vector<Annot> out;
  KPD_Document doc = direct::DocOpenFile(path.c_str(), nullptr);
  if (!doc) return out;
  KPD_Page page = direct::DocGetPage(doc, 0);
  for (int i = 0; i < direct::PageAnnotCount(page); ++i) {
    KPD_Dictionary d = direct::PageGetAnnot(page, i);
    Annot a;
    a.subtype = NameOf(direct::DictGet(d, "/Subtype"));
    a.intent = NameOf(direct::DictGet(d, "/IT"));
    a.name = NameOf(direct::DictGet(d, "/Name"));
    float r[4] = {};
    if (direct::ArrayGetNumbers(direct::DictGet(d, "/Rect"), r, 4) == 4)
      a.rect = {std::min(r[0], r[2]), std::min(r[1], r[3]), std::max(r[0], r[2]), std::max(r[1], r[3])};
    float q[64] = {};
    const int n = direct::ArrayGetNumbers(direct::DictGet(d, "/QuadPoints"), q, 64);
    a.quads.assign(q, q + std::max(0, n));
    for (const char* key : {"/NM", "/T", "/CreationDate", "/M"}) a.texts[key] = Bytes(direct::DictGet(d, key));
    KPD_Object ap = direct::DictGet(d, "/AP");
    a.appearance = ap && direct::DictGet(ap, "/N");
    out.push_back(a);
  }
  direct::DocClose(doc);
  return out;
}

bool SaveWithoutAnnotations(const std::string& in, const std::string& out) {
  KPD_Document doc = direct::DocOpenFile(in.c_str(), nullptr);
  if (!doc) return false;
  KPD_Page page = direct::DocGetPage(doc, 0);
  while (direct::PageAnnotCount(page) > 0) direct::PageRemoveAnnot(page, 0);
  const bool ok = direct::DocSave(doc, out.c_str(), nullptr) != 0;
  direct::DocClose(doc);
  return ok;
}

// pdftotext's word boxes of page 1: xMin, yMin, xMax, yMax (y down from the
// top of the page as shown) and the word.
struct Word {
  double x0, y0, x1, y1;
  std::string text;
};
std::vector<Word> PdftotextWords(const std::string& pdf) {
  const CommandResult r = Shell("pdftotext -bbox " + Quote(pdf) + " -");
  std::vector<Word> words;
  static const std::regex word(
      "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>");
  for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), word); it != std::sregex_iterator(); ++it)
    words.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), (*it)[5]});
  return words;
}

class CommentSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePreferences(dir_, "[Identity]\nName=Tess Tester\n");
    std::ofstream(dir_ / "text.pdf", std::ios::binary) << TextPdf(0);
    std::ofstream(dir_ / "turned.pdf", std::ios::binary) << TextPdf(90);
    const CommandResult plan = Shell(AnnotIn(dir_) + " sample floorplan -o " + Quote(dir_ / "plan.pdf"));
    ASSERT_EQ(plan.status, 0) << plan.output;
    std::ofstream(dir_ / "notes.txt") << "the attached notes\n";
  }

  CommandResult Run(const std::string& in, const std::string& script, const std::string& out) {
    const std::string file = dir_.Write("s.session", script);
    return Shell(AnnotIn(dir_) + " run " + Quote(file) + " -i " + Quote(in) + " -o " + Quote(out));
  }

  // Every annotation but pop-ups draws something inside its /Rect, and
  // nothing is drawn outside all of them, in both renderers.
  void ExpectDrawnInsideRects(const std::string& before, const std::string& after, float pageHeight) {
    const std::vector<Annot> annots = ReadAnnots(after);
    for (Renderer renderer : {Renderer::kPoppler, Renderer::kMuPdf}) {
      const char* name = renderer == Renderer::kPoppler ? "poppler" : "mupdf";
      ASSERT_EQ(RenderFirstPage(renderer, before, dir_ / "before").status, 0);
      ASSERT_EQ(RenderFirstPage(renderer, after, dir_ / "after").status, 0);
      Image a, b;
      ASSERT_TRUE(a.Read(dir_ / "before.ppm") && b.Read(dir_ / "after.ppm")) << name;
      ASSERT_EQ(a.width, b.width);
      std::vector<int> changed(annots.size(), 0);
      int outside = 0;
      for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
          const size_t i = (size_t(y) * size_t(b.width) + size_t(x)) * 3;
          if (std::abs(a.data[i] - b.data[i]) + std::abs(a.data[i + 1] - b.data[i + 1]) +
                  std::abs(a.data[i + 2] - b.data[i + 2]) < 30)
            continue;
          // The pixel's page square, one pixel of slack for anti-aliasing.
          const double px = x + 0.5, py = pageHeight - (y + 0.5);
          bool inside = false;
          for (size_t k = 0; k < annots.size(); ++k) {
            const KS_FloatRect& r = annots[k].rect;
            if (annots[k].subtype == "Popup") continue;
            if (px >= r.left - 1.5 && px <= r.right + 1.5 && py >= r.bottom - 1.5 && py <= r.top + 1.5) {
              inside = true;
              ++changed[k];
            }
          }
          if (!inside) ++outside;
        }
      EXPECT_EQ(outside, 0) << name << " drew outside every /Rect of " << after;
      for (size_t k = 0; k < annots.size(); ++k)
        if (annots[k].subtype != "Popup") EXPECT_GT(changed[k], 0) << name << " drew nothing of " << annots[k].subtype;
    }
  }

  // Export, import into the file without annotations, export again: the
  // same XFDF, and as many annotations.
  void ExpectXfdfRoundTrip(const std::string& pdf) {
    const CommandResult first = Shell(AnnotIn(dir_) + " xfdf export " + Quote(pdf) + " --files");
    ASSERT_EQ(first.status, 0) << first.output;
    const std::string xfdf = dir_.Write("first.xfdf", first.output);
    ASSERT_TRUE(SaveWithoutAnnotations(pdf, dir_ / "bare.pdf"));
    const CommandResult imported = Shell(AnnotIn(dir_) + " xfdf import " + Quote(dir_ / "bare.pdf") + " " +
                                         Quote(xfdf) + " -o " + Quote(dir_ / "again.pdf") + " --files");
    ASSERT_EQ(imported.status, 0) << imported.output;
    const CommandResult second = Shell(AnnotIn(dir_) + " xfdf export " + Quote(dir_ / "again.pdf") + " --files");
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(second.output, first.output);
    EXPECT_EQ(ReadAnnots(dir_ / "again.pdf").size(), ReadAnnots(pdf).size());
  }

  TempDir dir_;
};

TEST_F(CommentSessionTest, EveryToolMakesItsKindSignedDrawnAndCarriedThroughXfdf) {
  if (!HaveProgram("pdftoppm") || !HaveProgram("mutool")) GTEST_SKIP() << "poppler-utils or mupdf-tools missing";
  // The floor plan is 842 by 595 points.
  const std::string shapes =
      "tool Rectangle\ndrag 120 100 220 160\n"
      "tool Ellipse\ndrag 240 100 300 150 shift\n"
      "tool Line\ndrag 120 200 260 230\n"
      "tool Arrow\ndrag 120 260 260 300\n"
      "tool Polyline\nclick 300 200\nclick 350 240\ndblclick 400 200\n"
      "tool Polygon\nclick 420 200\nclick 480 200\nclick 450 250\nkey enter\n"
      "tool Cloud\nclick 520 200\nclick 600 200\nclick 600 260\ndblclick 520 260\n"
      "tool Callout\ndrag 600 380 640 450\ntype \"Check this\"\n"
      "tool Pen\ndrag 150 400 220 440\n"
      "tool Highlighter\ndrag 300 400 400 410\n"
      "tool TextBox\ndrag 120 470 260 520\ntype \"A text box\"\n"
      "tool Typewriter\nclick 300 520\ntype \"Typed\"\n"
      "tool Note\nclick 450 500\ntype \"A note\"\n"
      "tool Stamp\nclick 700 120\n"
      "tool Attach\nanswer file " + dir_ / "notes.txt" + "\nclick 760 300\n";
  CommandResult r = Run(dir_ / "plan.pdf", shapes, dir_ / "shapes.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string markup =
      "tool Highlight\nselect-text 72 705 160 705\n"
      "tool Underline\nselect-text 200 705 120 685\n"
      "tool StrikeOut\nselect-text 74 685 110 685\n"
      "tool Squiggly\nselect-text 245 705 312 705\n"
      "tool Caret\nclick 163 700\n";
  r = Run(dir_ / "text.pdf", markup, dir_ / "markup.pdf");
  ASSERT_EQ(r.status, 0) << r.output;

  // annot info lists every kind (and the note's pop-up).
  const std::string info = Shell(AnnotIn(dir_) + " info " + Quote(dir_ / "shapes.pdf")).output;
  const std::string infoMarkup = Shell(AnnotIn(dir_) + " info " + Quote(dir_ / "markup.pdf")).output;
  for (const char* kind : {"/Square intent -", "/Circle intent -", "/Line intent -", "/Line intent /LineArrow",
                           "/PolyLine intent -", "/Polygon intent -", "/Polygon intent /PolygonCloud",
                           "/FreeText intent /FreeTextCallout", "/Ink intent -", "/Ink intent /InkHighlight",
                           "/FreeText intent -", "/FreeText intent /FreeTextTypewriter", "/Text intent -",
                           "/Popup intent -", "/Stamp intent -", "/FileAttachment intent -"})
    EXPECT_NE(info.find(kind), std::string::npos) << kind << "\n" << info;
  for (const char* kind : {"/Highlight intent -", "/Underline intent -", "/StrikeOut intent -",
                           "/Squiggly intent -", "/Caret intent -"})
    EXPECT_NE(infoMarkup.find(kind), std::string::npos) << kind << "\n" << infoMarkup;

  // Each is named uniquely, signed by the user and dated, with an appearance.
  std::set<std::string> names;
  for (const std::string& file : {dir_ / "shapes.pdf", dir_ / "markup.pdf"})
    for (const Annot& a : ReadAnnots(file)) {
      if (a.subtype == "Popup") continue;
      EXPECT_TRUE(names.insert(a.texts.at("/NM")).second) << a.subtype;
      EXPECT_EQ(a.texts.at("/NM").size(), 36u) << a.subtype;
      EXPECT_EQ(a.texts.at("/T"), "Tess Tester") << a.subtype;
      EXPECT_EQ(a.texts.at("/CreationDate").substr(0, 2), "D:") << a.subtype;
      // Typing into it afterwards moves /M on.
      EXPECT_GE(a.texts.at("/M"), a.texts.at("/CreationDate")) << a.subtype;
      EXPECT_EQ(a.texts.at("/M").size(), a.texts.at("/CreationDate").size()) << a.subtype;
      EXPECT_TRUE(a.appearance) << a.subtype;
    }
  EXPECT_EQ(names.size(), 20u);

  ExpectDrawnInsideRects(dir_ / "plan.pdf", dir_ / "shapes.pdf", 595);
  ExpectDrawnInsideRects(dir_ / "text.pdf", dir_ / "markup.pdf", 792);
  ExpectXfdfRoundTrip(dir_ / "shapes.pdf");
  ExpectXfdfRoundTrip(dir_ / "markup.pdf");
  // The attached file went along.
  const std::string xfdf = Shell(AnnotIn(dir_) + " xfdf export " + Quote(dir_ / "shapes.pdf") + " --files").output;
  EXPECT_NE(xfdf.find("file=\"notes.txt\""), std::string::npos) << xfdf;
}

TEST_F(CommentSessionTest, TextMarkupCoversExactlyTheWordsPdftotextReports) {
  if (!HaveProgram("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  for (int rotate : {0, 90}) {
    const std::string in = rotate ? dir_ / "turned.pdf" : dir_ / "text.pdf";
    // "quick brown fox" on line 1; then from "lazy" to "line" across both.
    const std::string script =
        "tool Highlight\nselect-text 97 703 178 703\n"
        "tool Underline\nselect-text 265.5 703 133 683\n";
    const CommandResult r = Run(in, script, dir_ / "marked.pdf");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Word> words = PdftotextWords(in);
    ASSERT_EQ(words.size(), 14u);
    // Word boxes in user space: y up, and on the turned page the shown x
    // is the user's y and the shown y the user's x.
    const auto box = [&](const Word& w) {
      return rotate ? KS_FloatRect{float(w.y0), float(w.x0), float(w.y1), float(w.x1)}
                    : KS_FloatRect{float(w.x0), float(792 - w.y1), float(w.x1), float(792 - w.y0)};
    };
    const auto span = [&](size_t first, size_t last) {
      KS_FloatRect a = box(words[first]), b = box(words[last]);
      return KS_FloatRect{a.left, std::min(a.bottom, b.bottom), b.right, std::max(a.top, b.top)};
    };
    const std::vector<Annot> annots = ReadAnnots(dir_ / "marked.pdf");
    ASSERT_EQ(annots.size(), 2u);
    struct Want {
      const Annot& annot;
      std::vector<KS_FloatRect> lines;
    } wants[] = {{annots[0], {span(1, 3)}}, {annots[1], {span(7, 8), span(9, 10)}}};
    EXPECT_EQ(words[1].text, "quick");
    EXPECT_EQ(words[3].text, "fox");
    EXPECT_EQ(words[7].text, "lazy");
    EXPECT_EQ(words[10].text, "line");
    for (const Want& w : wants) {
      ASSERT_EQ(w.annot.quads.size(), 8 * w.lines.size()) << rotate;
      for (size_t l = 0; l < w.lines.size(); ++l) {
        const float* q = &w.annot.quads[8 * l];
        const KS_FloatRect& r = w.lines[l];
        // Upper-left, upper-right, lower-left, lower-right.
        const float want[8] = {r.left, r.top, r.right, r.top, r.left, r.bottom, r.right, r.bottom};
        for (int k = 0; k < 8; ++k) EXPECT_NEAR(q[k], want[k], 0.5) << "rotate " << rotate << " line " << l << " " << k;
      }
    }
  }
}

TEST_F(CommentSessionTest, ShapesFollowShiftUndoEscapeTheRememberedStyleAndInkPauses) {
  WritePreferences(dir_, "[Identity]\nName=Tess Tester\n[Comment\\Rectangle]\nColor=%2300FF00\nWidth=3\n");
  const std::string script =
      "tool Rectangle\ndrag 100 100 160 120 shift\nexpect selected 1\n"
      "undo\nexpect annots 1 0\nredo\nexpect annots 1 1\n"
      // A polyline dropped with Escape makes nothing.
      "tool Polyline\nclick 300 300\nclick 350 300\nkey escape\nexpect annots 1 1\n"
      // Two strokes in a row make one ink; after leaving the tool a new one.
      "tool Pen\ndrag 100 400 150 420\ndrag 100 430 150 450\nexpect annots 1 2\n"
      "tool Hand\ntool Pen\ndrag 200 400 250 420\nexpect annots 1 3\n"
      // A pause of two seconds ends the group too.
      "wait 2.1\ndrag 300 400 350 420\nexpect annots 1 4\n"
      // A slow stroke begun at once joins however long it takes.
      "down 300 430\nmove 320 440\nwait 2.1\nup 350 450\nexpect annots 1 4\n"
      // Shift keeps a line to 45 degrees.
      "tool Line\ndrag 400 100 500 120 shift\n"
      // A note and its pop-up come and go together.
      "tool Note\nclick 600 300\ntype \"Later\"\nexpect annots 1 7\nundo\nexpect annots 1 5\nredo\n"
      "expect annots 1 7\n";
  const CommandResult r = Run(dir_ / "plan.pdf", script, dir_ / "out.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  KPD_Document doc = direct::DocOpenFile((dir_ / "out.pdf").c_str(), nullptr);
  ASSERT_TRUE(doc);
  KPD_Page page = direct::DocGetPage(doc, 0);
  ASSERT_EQ(direct::PageAnnotCount(page), 7);
  KPD_Dictionary square = direct::PageGetAnnot(page, 0);
  float v[8] = {};
  ASSERT_EQ(direct::ArrayGetNumbers(direct::DictGet(square, "/Rect"), v, 4), 4);
  EXPECT_FLOAT_EQ(v[2] - v[0], 60);  // the drag's longer side
  EXPECT_FLOAT_EQ(v[3] - v[1], 60);
  ASSERT_EQ(direct::ArrayGetNumbers(direct::DictGet(square, "/C"), v, 3), 3);
  EXPECT_FLOAT_EQ(v[0], 0);
  EXPECT_FLOAT_EQ(v[1], 1);
  EXPECT_FLOAT_EQ(v[2], 0);
  EXPECT_DOUBLE_EQ(direct::ObjectGetNumber(direct::DictGet(direct::DictGet(square, "/BS"), "/W")), 3);
  KPD_Object strokes = direct::DictGet(direct::PageGetAnnot(page, 1), "/InkList");
  EXPECT_EQ(direct::ArrayCount(strokes), 2);
  EXPECT_EQ(direct::ArrayCount(direct::DictGet(direct::PageGetAnnot(page, 2), "/InkList")), 1);
  EXPECT_EQ(direct::ArrayCount(direct::DictGet(direct::PageGetAnnot(page, 3), "/InkList")), 2);
  ASSERT_EQ(direct::ArrayGetNumbers(direct::DictGet(direct::PageGetAnnot(page, 4), "/L"), v, 4), 4);
  EXPECT_NEAR(v[3] - v[1], 0, 1e-3);  // 100 across and 20 up goes level
  EXPECT_NEAR(v[2] - v[0], std::hypot(100, 20), 1e-3);
  direct::DocClose(doc);
}

TEST_F(CommentSessionTest, HandMadeMarkupIsEditedMeasuredBesideAndCapturedAsATool) {
  const std::string script =
      "tool Rectangle\ndrag 100 100 200 160\n"
      // The Hand tool moves it through the markup handler, one undo step.
      "tool Hand\ndrag 150 130 250 230\n"
      "tool DISTANCE\nclick 300 100\nclick 500 100\n";
  const CommandResult r = Run(dir_ / "plan.pdf", script, dir_ / "out.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Annot> annots = ReadAnnots(dir_ / "out.pdf");
  ASSERT_EQ(annots.size(), 2u);
  EXPECT_EQ(annots[0].subtype, "Square");
  EXPECT_FLOAT_EQ(annots[0].rect.left, 200);
  EXPECT_FLOAT_EQ(annots[0].rect.bottom, 200);
  EXPECT_EQ(annots[1].intent, "LineDimension");
  // The toolset chest takes it under its /NM.
  ASSERT_EQ(Shell(AnnotIn(dir_) + " toolset create Mine").status, 0);
  const CommandResult captured =
      Shell(AnnotIn(dir_) + " toolset capture " + Quote(dir_ / "out.pdf") + " 1 0 --into Mine");
  ASSERT_EQ(captured.status, 0) << captured.output;
  const std::string list = Shell(AnnotIn(dir_) + " toolset list").output;
  EXPECT_NE(list.find(annots[0].texts.at("/NM") + "\tSquare"), std::string::npos) << list;
}

TEST_F(CommentSessionTest, AStampStandsUprightOnATurnedPage) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "poppler-utils missing";
  for (int rotate : {90, 270}) {
    const std::string in = dir_ / ("turned" + std::to_string(rotate) + ".pdf");
    std::ofstream(in, std::ios::binary) << TextPdf(rotate);
    const CommandResult r = Run(in, "tool Stamp\nclick 300 300\n", dir_ / "stamped.pdf");
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(RenderFirstPage(Renderer::kPoppler, in, dir_ / "plain").status, 0);
    ASSERT_EQ(RenderFirstPage(Renderer::kPoppler, dir_ / "stamped.pdf", dir_ / "stamp").status, 0);
    Image a, b;
    ASSERT_TRUE(a.Read(dir_ / "plain.ppm") && b.Read(dir_ / "stamp.ppm"));
    // The box of what the stamp changed, as the page is shown.
    int x0 = b.width, x1 = -1, y0 = b.height, y1 = -1;
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x) {
        const size_t i = (size_t(y) * size_t(b.width) + size_t(x)) * 3;
        if (a.data[i] == b.data[i] && a.data[i + 1] == b.data[i + 1] && a.data[i + 2] == b.data[i + 2]) continue;
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
    ASSERT_GE(x1, x0) << rotate;
    EXPECT_GT(x1 - x0, 3 * (y1 - y0)) << "a level stamp on the page turned " << rotate;
  }
}

TEST_F(CommentSessionTest, ACustomStampIsTypedInItsDialogKeptForNextTimeAndDrawnInCapitals) {
  if (!HaveProgram("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  // The stamps menu's last item asks for the text and arms the tool; a
  // cancelled dialog changes nothing.
  CommandResult r = Run(dir_ / "text.pdf",
                        "answer dialog ccm_custom_stamp.ui.kw ok \"lineEditStampText=  Checked by Jo \"\n"
                        "press Button_Comment_StampCustom\nclick 300 300\n"
                        "answer dialog ccm_custom_stamp.ui.kw cancel lineEditStampText=Other\n"
                        "press Button_Comment_StampCustom\nclick 300 200\n",
                        dir_ / "custom.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  // Next time the tool places it without being asked, and the dialog
  // starts with it.
  r = Run(dir_ / "custom.pdf",
          "tool Stamp\nclick 300 100\nanswer dialog ccm_custom_stamp.ui.kw ok\npress Button_Comment_StampCustom\n"
          "click 300 500\n",
          dir_ / "again.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<Annot> annots = ReadAnnots(dir_ / "again.pdf");
  ASSERT_EQ(annots.size(), 4u);
  for (const Annot& a : annots) {
    EXPECT_EQ(a.subtype, "Stamp");
    EXPECT_EQ(a.name, "Checked by Jo");
  }
  const CommandResult text = Shell("pdftotext -layout " + Quote(dir_ / "again.pdf") + " -");
  size_t drawn = 0;
  for (size_t at = text.output.find("CHECKED BY JO"); at != std::string::npos;
       at = text.output.find("CHECKED BY JO", at + 1))
    ++drawn;
  EXPECT_EQ(drawn, 4u) << text.output;
  // A standard stamp picked later leaves the dialog empty.
  r = Run(dir_ / "text.pdf",
          "press Button_Comment_Stamp_Draft\nanswer dialog ccm_custom_stamp.ui.kw ok\npress Button_Comment_StampCustom\n"
          "click 300 300\n",
          dir_ / "draft.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  annots = ReadAnnots(dir_ / "draft.pdf");
  ASSERT_EQ(annots.size(), 1u);
  EXPECT_EQ(annots[0].name, "Draft");
}

TEST_F(CommentSessionTest, AHighlightFollowsTextSetAtAnAngle) {
  // "Angled" at 30 degrees from (100, 400), 12 pt.
  std::ofstream(dir_ / "angled.pdf", std::ios::binary)
      << TextPdf(0, " BT /F1 12 Tf 0.8660254 0.5 -0.5 0.8660254 100 400 Tm (Angled words) Tj ET");
  // Along the baseline from inside "A" to inside the "d" ending "Angled".
  const double c = std::cos(std::acos(-1.0) / 6), s = std::sin(std::acos(-1.0) / 6);
  const double word = (667 + 556 + 556 + 222 + 556 + 556) * 0.012;
  const auto at = [&](double along, double up) {
    return std::to_string(100 + along * c - up * s) + " " + std::to_string(400 + along * s + up * c);
  };
  const CommandResult r =
      Run(dir_ / "angled.pdf", "tool Highlight\nselect-text " + at(1, 3) + " " + at(word - 1, 3) + "\n", dir_ / "out.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Annot> annots = ReadAnnots(dir_ / "out.pdf");
  ASSERT_EQ(annots.size(), 1u);
  const std::vector<float>& q = annots[0].quads;
  ASSERT_EQ(q.size(), 8u);
  // Upper edge along the baseline at 30 degrees, as long as the word;
  // the left edge square to it.
  EXPECT_NEAR(std::atan2(q[3] - q[1], q[2] - q[0]) * 180 / std::acos(-1.0), 30, 0.01);
  EXPECT_NEAR(std::hypot(q[2] - q[0], q[3] - q[1]), word, 0.01);
  EXPECT_NEAR(std::atan2(q[1] - q[5], q[0] - q[4]) * 180 / std::acos(-1.0), 120, 0.01);
  // The lower-left corner lies below the baseline's start, on the far side.
  const double below = (q[5] - 400) * c - (q[4] - 100) * s;
  EXPECT_LT(below, 0);
  EXPECT_GT(below, -4);
}

TEST_F(CommentSessionTest, AFileOpenedWhileTypingOrDrawingTakesNothingOfTheOldOne) {
  const std::string script =
      "tool TextBox\ndrag 100 100 200 150\ntype \"Half\"\n"
      "tool Polyline\nclick 300 300\nmove 350 320\n"
      "open " + dir_ / "text.pdf" + "\n"
      // The polyline's gesture and the text box's typing ended with the plan.
      "dblclick 400 400\ntool TextBox\ntype \"more\"\nexpect annots 1 0\n"
      "tool Pen\ndrag 100 100 150 150\nexpect annots 1 1\n";
  const CommandResult r = Run(dir_ / "plan.pdf", script, dir_ / "out.pdf");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Annot> annots = ReadAnnots(dir_ / "out.pdf");
  ASSERT_EQ(annots.size(), 1u);
  EXPECT_EQ(annots[0].subtype, "Ink");
}

}  // namespace
