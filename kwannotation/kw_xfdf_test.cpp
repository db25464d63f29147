// XFDF-style attributes: the texts of numbers, points and colours, and the
// import and export slots against the real host's XML.
#include "kwannotation/kw_xfdf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_rich_text.h"
#include "kwannotation/kw_test_support.h"
#include "kwannotation/kw_xfdf_util.h"

namespace kwannotation {
namespace {

namespace host = ks::host;

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(XfdfText, NumbersPointsAndColours) {
  struct Compact {
    float value;
    const char* text;
  } compact[] = {{694.661f, "694.661"}, {28, "28"}, {-0.0f, "0"}, {0.1f, "0.1"}, {-12.5f, "-12.5"}, {1e-5f, "0.00001"}};
  for (const Compact& c : compact) EXPECT_EQ(xfdf::FormatCompact(c.value), c.text) << c.value;

  struct Parse {
    const char* text;
    bool ok;
    float value;
  } parse[] = {{"1.5", true, 1.5f}, {" -2 ", true, -2}, {"+3", true, 3}, {"", false, 0}, {"1,5", false, 0},
               {"nan", false, 0},   {"inf", false, 0},  {"1e400", false, 0}, {"abc", false, 0}, {"2e1", true, 20},
               {"1e7", true, 1e7f}, {"-1.5e7", false, 0},
               {"1e-60", true, 0},  {"1e-999", true, 0}};
  for (const Parse& p : parse) {
    float v = 0;
    EXPECT_EQ(xfdf::ParseFloat(p.text, &v), p.ok) << p.text;
    if (p.ok) {
      EXPECT_EQ(v, p.value) << p.text;
    }
  }

  std::vector<KS_FloatPoint> points;
  ASSERT_TRUE(xfdf::ParsePoints("1,2;3.5,4", &points));
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1].x, 3.5f);
  EXPECT_EQ(xfdf::FormatPoints(points), "1,2;3.5,4");
  for (const char* bad : {"1,2;3", "1;;2", "a,b", ";1,2", "1,2;;"})
    EXPECT_FALSE(xfdf::ParsePoints(bad, &points)) << bad;

  KPD_ColorF color{};
  ASSERT_TRUE(xfdf::ParseColor("#FF8000", &color));
  EXPECT_EQ(color.kind, KPD_COLOR_RGB);
  EXPECT_EQ(xfdf::FormatColor(color), "#FF8000");
  EXPECT_TRUE(xfdf::ParseColor("#ff8000", &color));
  for (const char* bad : {"FF8000", "#FF80", "#GG8000", "#FF8000 0", ""}) EXPECT_FALSE(xfdf::ParseColor(bad, &color)) << bad;
  EXPECT_EQ(xfdf::FormatColor(KPD_ColorF{KPD_COLOR_GRAY, {0.5f}}), "#808080");
  EXPECT_EQ(xfdf::FormatColor(KPD_ColorF{KPD_COLOR_CMYK, {1, 0, 0, 0}}), "#00FFFF");
  EXPECT_EQ(xfdf::FormatColor(KPD_ColorF{KPD_COLOR_NONE, {}}), "");
}

class XfdfSlots : public test::HostDocTest {
 protected:
  void SetUp() override {
    HostDocTest::SetUp();
    list_ = CKW_PageAnnotList::Create(doc_, 0);
  }
  void TearDown() override {
    list_.reset();
    if (xml_) host::XmlRelease(xml_);
    HostDocTest::TearDown();
  }
  KX_Element Element(const std::string& text) {
    if (xml_) host::XmlRelease(xml_);
    host::ByteString error;
    xml_ = host::XmlParse(text.data(), text.size(), error.get());
    return xml_ ? host::XmlGetRoot(xml_) : nullptr;
  }
  // Imports `annots` inside the file's outer elements; a refusal fails the test.
  void Import(const std::string& annots) { ImportFile("<xfdf><annots>" + annots + "</annots></xfdf>"); }
  void ImportFile(const std::string& xfdf) {
    std::string error;
    ASSERT_TRUE(KW_ImportXFDF(doc_, xfdf, &error)) << error;
  }
  // The error of an import expected to be refused.
  std::string Refused(const std::string& xfdf) {
    std::string error;
    EXPECT_FALSE(KW_ImportXFDF(doc_, xfdf, &error)) << xfdf;
    return error;
  }
  std::string Export() {
    std::string text, error;
    EXPECT_TRUE(KW_ExportXFDF(doc_, &text, &error)) << error;
    return text;
  }
  static void ExpectAll(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  std::string Attr(KX_Element e, const char* name) {
    std::string value = "(absent)";
    xfdf::GetAttr(e, name, &value);
    return value;
  }

  KX_Document xml_ = nullptr;
  std::shared_ptr<CKW_PageAnnotList> list_;
};

TEST_F(XfdfSlots, ImportReadsCommonMarkupAndBorderAttributes) {
  auto annot = std::static_pointer_cast<CKW_MarkupAnnot>(list_->CreateAnnot("Square"));
  ASSERT_TRUE(annot);
  KX_Element e = Element(
      "<square name=\"n1\" color=\"#FF0000\" flags=\"hidden,bogus\" rect=\"10,20,5,8\" title=\"T\" "
      "opacity=\"0.25\" subject=\"S\" intent=\"Box\" state=\"Done\" statemodel=\"Review\" replyType=\"group\" "
      "width=\"2.5\" style=\"dash\" dashes=\"3,1\">"
      "<contents-richtext><body><p><span>Hello </span><span>world</span></p></body></contents-richtext>"
      "<popup open=\"yes\" rect=\"1,2,3,4\"/></square>");
  ASSERT_TRUE(e);
  ASSERT_TRUE(annot->ImportFromXFDF(e));
  std::u16string text;
  ASSERT_TRUE(annot->GetName(&text));
  EXPECT_EQ(text, u"n1");
  uint32_t flags = 0;
  ASSERT_TRUE(annot->GetFlags(&flags));
  EXPECT_EQ(flags, 2u);
  KS_FloatRect rect{};
  ASSERT_TRUE(annot->GetRect(&rect));
  EXPECT_EQ(rect.left, 5.0f);
  EXPECT_EQ(rect.top, 20.0f);
  EXPECT_FLOAT_EQ(annot->GetOpacity(), 0.25f);
  EXPECT_EQ(annot->GetIntent(), "Box");
  EXPECT_EQ(annot->GetReplyType(), "Group");
  ASSERT_TRUE(annot->GetRichContents(&text));
  EXPECT_EQ(text, u"<body><p><span>Hello </span><span>world</span></p></body>");
  KwBorderInfo border;
  ASSERT_TRUE(KW_ReadBorderInfo(annot->GetDict(), &border));
  EXPECT_EQ(border.style, KW_BORDER_DASH);
  EXPECT_FLOAT_EQ(border.width, 2.5f);
  EXPECT_EQ(border.dashes, (std::vector<float>{3, 1}));
  bool open = false;
  ASSERT_TRUE(annot->GetPopupOpen(&open));
  EXPECT_TRUE(open);

  // A second import changes only what it names; a bad value changes nothing.
  ASSERT_TRUE(annot->ImportFromXFDF(Element("<square width=\"4\" opacity=\"7\" color=\"red\" flags=\"\"/>")));
  ASSERT_TRUE(KW_ReadBorderInfo(annot->GetDict(), &border));
  EXPECT_EQ(border.style, KW_BORDER_DASH);
  EXPECT_FLOAT_EQ(border.width, 4.0f);
  EXPECT_FLOAT_EQ(annot->GetOpacity(), 0.25f);
  KPD_ColorF color{};
  ASSERT_TRUE(annot->GetColor(&color));
  EXPECT_EQ(color.c[0], 1.0f);
  ASSERT_TRUE(annot->GetFlags(&flags));
  EXPECT_EQ(flags, 4u);
  EXPECT_EQ(list_->CountAnnots(), 2);  // the square and its one popup
}

TEST_F(XfdfSlots, ExportWritesOnlyWhatTheDictionaryHas) {
  auto annot = std::static_pointer_cast<CKW_MarkupAnnot>(list_->CreateAnnot("Circle"));
  KX_Element e = Element("<circle/>");
  ASSERT_TRUE(annot->ExportToXFDF(e));
  EXPECT_EQ(Attr(e, "page"), "0");
  for (const char* absent : {"name", "color", "flags", "title", "opacity", "intent", "width", "style"})
    EXPECT_EQ(Attr(e, absent), "(absent)") << absent;
  // A rectangle always goes out; with nothing drawn, the empty one.
  EXPECT_EQ(Attr(e, "rect"), "0.000000,0.000000,0.000000,0.000000");

  annot->SetRect(KS_FloatRect{1, 2, 3, 4.5f});
  annot->SetFlags(6);
  annot->SetColor(KPD_ColorF{KPD_COLOR_GRAY, {1}});
  annot->SetOpacity(0.5f);
  annot->SetIntent("CircleDimension");
  KW_WriteBorderInfo(annot->GetDict(), KwBorderInfo{1.25f, KW_BORDER_CLOUDY, 1.0f, 0, {}, {}});
  e = Element("<circle/>");
  ASSERT_TRUE(annot->ExportToXFDF(e));
  EXPECT_EQ(Attr(e, "rect"), "1.000000,2.000000,3.000000,4.500000");
  EXPECT_EQ(Attr(e, "flags"), "hidden,print");
  EXPECT_EQ(Attr(e, "color"), "#FFFFFF");
  EXPECT_EQ(Attr(e, "opacity"), "0.5");
  EXPECT_EQ(Attr(e, "intent"), "CircleDimension");
  EXPECT_EQ(Attr(e, "width"), "1.25");
  EXPECT_EQ(Attr(e, "style"), "cloudy");
  EXPECT_EQ(Attr(e, "intensity"), "1.00");
  EXPECT_EQ(Attr(e, "dashes"), "(absent)");
}

// An ink without /Rect (some writers leave it out) goes out with the box its
// strokes are drawn in, so the export can be brought back into a file
// without it.
TEST_F(XfdfSlots, AnInkWithoutRectIsExportedWithTheBoxOfItsStrokes) {
  auto annot = list_->CreateAnnot("Ink");
  ASSERT_TRUE(annot);
  KPD_Dictionary d = annot->GetDict();
  host::DictRemove(d, "/Rect");
  test::Owned strokes = test::Parse("[[10 20 30 5] [25 40]]");
  host::DictSet(d, "/InkList", strokes.get());
  test::Owned border = test::Parse("<< /W 3 >>");
  host::DictSet(d, "/BS", border.get());
  dict::SetText(d, "/NM", u"ink");
  const std::string text = Export();
  // Points span x 10..30, y 5..40; half the width of 3 is 1.5.
  ExpectAll(text, {"rect=\"8.500000,3.500000,31.500000,41.500000\""});

  // Into a page without it, the export comes back as a new ink.
  list_.reset();
  ASSERT_TRUE(host::PageRemoveAnnot(host::DocGetPage(doc_, 0), 0));
  list_ = CKW_PageAnnotList::Create(doc_, 0);
  ASSERT_EQ(list_->CountAnnots(), 0);
  ImportFile(text);
  ASSERT_EQ(list_->CountAnnots(), 1);
  EXPECT_TRUE(dict::GetRect(list_->GetAnnotAt(0)->GetDict(), "/Rect").has_value());

  // Two numbers are not a rectangle: an update of the ink that brings them
  // is refused, as a new annotation's would be, and nothing changes.
  ExpectAll(Refused("<xfdf><annots><ink page=\"0\" name=\"ink\" rect=\"20,20\" color=\"#00FF00\"/></annots></xfdf>"),
            {"line 1: annotation 1 (ink): \"rect\" \"20,20\" is not four numbers"});
  EXPECT_EQ(list_->CountAnnots(), 1);
  EXPECT_NE(dict::GetDoubles(host::DictGet(list_->GetAnnotAt(0)->GetDict(), "/C")), (std::vector<double>{0, 1, 0}));
}

TEST_F(XfdfSlots, DocumentImportChecksEverythingBeforeChangingAnything) {
  ExpectAll(Refused("<xfdf><annots>\n<square page=\"0\">"), {"line 2, column"});
  ExpectAll(Refused("<xfdf><annots><square page=\"0\" rect=\"0,0,1,1\"/><circle page=\"1\" rect=\"0,0,1,1\"/>"
                    "</annots></xfdf>"),
            {"annotation 2 (circle)"});
  // A new annotation without a rectangle, and without points that give it
  // one, is refused.
  ExpectAll(Refused("<xfdf><annots>\n<square page=\"0\" rect=\"1,2,3\"/></annots></xfdf>"),
            {"line 2: annotation 1 (square): \"rect\" \"1,2,3\" is not four numbers"});
  ExpectAll(Refused("<xfdf><annots><square page=\"0\"/></annots></xfdf>"),
            {"annotation 1 (square): no \"rect\" of four numbers"});
  EXPECT_EQ(list_->CountAnnots(), 0);
  std::string error;

  int imported = 0;
  KwXfdfFiles files;
  ASSERT_TRUE(KW_ImportXFDF(doc_,
                            "<xfdf><annots><text page=\"0\" name=\"r\" rect=\"0,0,9,9\" inreplyto=\"p\"/>"
                            "<square page=\"0\" name=\"p\" rect=\"0,0,9,9\"/><mystery page=\"9\"/>"
                            "<square page=\"0\" name=\"p\" rect=\"20,20,29,29\" color=\"#FF0000\"/></annots></xfdf>",
                            &error, &imported, &files))
      << error;
  EXPECT_EQ(imported, 3);  // the second square is kept beside the first, renamed
  EXPECT_EQ(list_->CountAnnots(), 3);
  EXPECT_EQ(dict::GetText(list_->GetAnnotAt(2)->GetDict(), "/NM").value_or(u""), u"p-2");
  ASSERT_EQ(files.renamed.size(), 1u);
  // Brought back into the same file, two annotations sharing a name update
  // the two of the page in turn; nothing is added.
  ASSERT_TRUE(dict::SetText(list_->GetAnnotAt(2)->GetDict(), "/NM", u"p"));
  Import("<square page=\"0\" name=\"p\" color=\"#00FF00\"/>"
         "<square page=\"0\" name=\"p\" color=\"#0000FF\"/>");
  EXPECT_EQ(list_->CountAnnots(), 3);
  EXPECT_EQ(dict::GetDoubles(host::DictGet(list_->GetAnnotAt(1)->GetDict(), "/C")), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(dict::GetDoubles(host::DictGet(list_->GetAnnotAt(2)->GetDict(), "/C")), (std::vector<double>{0, 0, 1}));
  ASSERT_TRUE(dict::SetText(list_->GetAnnotAt(2)->GetDict(), "/NM", u"p-2"));
  EXPECT_EQ(files.renamed[0],
            "annotation 4 (square) on page 1: the name \"p\" is taken by an earlier one; imported as \"p-2\"");
  // The reply found the square after it, and its 9-point note keeps the box
  // its XFDF gave it.
  ExpectAll(Export(), {"<text name=\"r\" page=\"0\" rect=\"0.000000,0.000000,9.000000,9.000000\" inreplyto=\"p\" />"});
}

// Import draws the shapes. A carried rectangle that holds the drawing is
// kept, with the appearance box grown to it; one that would cut the drawing
// gives way to the drawn box.
TEST_F(XfdfSlots, ImportKeepsACarriedRectangleOnlyWhenItHoldsTheDrawing) {
  Import("<line page=\"0\" color=\"#FF0000\" rect=\"0,0,200,200\" start=\"50,50\" end=\"150,50\"/>"
         "<line page=\"0\" color=\"#FF0000\" rect=\"60,45,70,55\" start=\"50,50\" end=\"150,50\"/>");
  auto rectOf = [&](int index, const char* key) {
    KPD_Dictionary d = list_->GetAnnotAt(index)->GetDict();
    if (std::string(key) == "/BBox") d = host::StreamGetDict(host::DictGet(host::DictGet(d, "/AP"), "/N"));
    KS_FloatRect r{};
    host::RectFromObject(host::DictGet(d, key), &r);
    return r;
  };
  KS_FloatRect kept = rectOf(0, "/Rect"), box = rectOf(0, "/BBox");
  EXPECT_FLOAT_EQ(kept.left, 0);
  EXPECT_FLOAT_EQ(kept.top, 200);
  EXPECT_FLOAT_EQ(box.left, 0);
  EXPECT_FLOAT_EQ(box.top, 200);
  KS_FloatRect drawn = rectOf(1, "/Rect");
  EXPECT_LT(drawn.left, 50);  // the line's ends lie inside its rectangle
  EXPECT_GT(drawn.right, 150);
}

// A generated file of 8,000 named annotations: every one is created once,
// replies find their targets before and after them, and a second file
// updates annotations by name instead of adding them.
TEST_F(XfdfSlots, ThousandsOfNamedAnnotationsAreMatchedByName) {
  constexpr int kCount = 8000;
  std::string text = "<xfdf><annots>\n";
  for (int i = 0; i < kCount; ++i) {
    const std::string n = std::to_string(i);
    // A reply to the annotation before it, and one to the annotation after it.
    const int target = i % 100 == 1 ? i - 1 : i % 100 == 2 ? i + 1 : -1;
    if (target >= 0)
      text += "<text page=\"0\" name=\"a" + n + "\" rect=\"0,0,10,10\" inreplyto=\"a" + std::to_string(target) +
              "\"/>\n";
    else
      text += "<square page=\"0\" name=\"a" + n + "\" rect=\"" + std::to_string(i % 500) + ",10,600,700\"/>\n";
  }
  text += "</annots></xfdf>";
  std::string error;
  int imported = 0;
  ASSERT_TRUE(KW_ImportXFDF(doc_, text, &error, &imported)) << error;
  EXPECT_EQ(imported, kCount);
  ASSERT_EQ(list_->CountAnnots(), kCount);
  auto nameOf = [](KPD_Dictionary d) {
    std::u16string nm;
    return dict::GetText(d, "/NM", &nm) ? nm : std::u16string();
  };
  for (int i : {1, 2, 7901, 7902}) {
    auto reply = std::static_pointer_cast<CKW_MarkupAnnot>(list_->GetAnnotAt(i));
    const int target = i % 100 == 1 ? i - 1 : i + 1;
    EXPECT_EQ(nameOf(reply->GetInReplyTo()), u"a" + dict::FromUtf8(std::to_string(target))) << i;
  }

  std::string update = "<xfdf><annots>";
  for (int i = 0; i < kCount; i += 4)
    if (i % 100 > 2) update += "<square page=\"0\" name=\"a" + std::to_string(i) + "\" color=\"#00FF00\"/>";
  update += "<square page=\"0\" name=\"new\" rect=\"1,1,5,5\"/></annots></xfdf>";
  ASSERT_TRUE(KW_ImportXFDF(doc_, update, &error, &imported)) << error;
  EXPECT_EQ(list_->CountAnnots(), kCount + 1);
  KPD_ColorF color{};
  ASSERT_TRUE(list_->GetAnnotAt(40)->GetColor(&color));
  EXPECT_EQ(color.c[1], 1.0f);
  EXPECT_EQ(nameOf(list_->GetAnnotAt(kCount)->GetDict()), u"new");
}

// The plain contents of a note that has only rich text come from all of
// its text, in order, whether in "span" elements or straight in "p".
TEST_F(XfdfSlots, PlainContentsComeFromEveryTextOfTheRichText) {
  struct Case {
    const char* body;
    const char16_t* contents;
  } cases[] = {
      {"<body><p>Only a paragraph</p></body>", u"Only a paragraph"},
      {"<body><p>First</p><p>Second &amp; last</p></body>", u"First\nSecond & last"},
      {"<body><p dir=\"ltr\">Mixed <span style=\"font-weight:bold\">bold</span> text</p></body>", u"Mixed bold text"},
      {"<body><p><span>Hello </span><span>world</span></p></body>", u"Hello world"},
      {"<body><p>Line<br/>break &#233;&#x20AC;</p></body>", u"Line\nbreak \u00e9\u20ac"},
      // Comments are no text, CDATA is, a line break of the text is one line
      // feed, and breaks at the end are dropped.
      {"<body><p>a<!-- not text --> b<![CDATA[ <c> & d]]></p></body>", u"a b <c> & d"},
      {"<body><p>one&#13;&#10;two</p></body>", u"one\ntwo"},
      {"<body><p>end<br/></p><p></p><br/></body>", u"end"},
      {"<body><p></p><p>late</p></body>", u"late"},
  };
  for (const Case& c : cases) {
    auto note = std::static_pointer_cast<CKW_MarkupAnnot>(list_->CreateAnnot("Text"));
    ASSERT_TRUE(note->ImportFromXFDF(Element(std::string("<text><contents-richtext>") + c.body +
                                             "</contents-richtext></text>")));
    std::u16string text;
    ASSERT_TRUE(note->GetContents(&text)) << c.body;
    EXPECT_EQ(text, c.contents) << c.body;
  }
}

// A line from another program carries its caption placement, its leader
// lines under several spellings, and flags up to 1024; all of it comes back
// out of an export.
TEST_F(XfdfSlots, LinesCarryCaptionPlacementLeadersAndEveryFlag) {
  struct Spelling {
    const char* attrs;
    const char* key;
    float value;
  } spellings[] = {
      {"leader-offset=\"2\"", "/LLO", 2}, {"leaderOffset=\"3\"", "/LLO", 3},  {"leaderoffset=\"4\"", "/LLO", 4},
      {"leaderExtended=\"5\"", "/LLE", 5}, {"leader-length=\"-8\"", "/LL", -8},
  };
  for (const Spelling& sp : spellings) {
    Import(std::string("<line page=\"0\" start=\"10,10\" end=\"90,10\" ") + sp.attrs + "/>");
    KPD_Dictionary d = list_->GetAnnotAt(list_->CountAnnots() - 1)->GetDict();
    EXPECT_FLOAT_EQ(static_cast<float>(host::ObjectGetNumber(host::DictGet(d, sp.key))), sp.value) << sp.attrs;
  }

  Import("<line page=\"0\" name=\"cap\" start=\"10,10\" end=\"90,10\" "
         "caption=\"yes\" caption-style=\"Top\" caption-offset-h=\"3\" caption-offset-v=\"-4.5\" "
         "leader-offset=\"2\" flags=\"print,lockedcontents,flag1024\"/>");
  KPD_Dictionary d = list_->GetAnnotAt(list_->CountAnnots() - 1)->GetDict();
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(d, "/F")), 4 | 512 | 1024);
  KPD_Object co = host::DictGet(d, "/CO");
  ASSERT_EQ(host::ArrayCount(co), 2);
  EXPECT_FLOAT_EQ(static_cast<float>(host::ObjectGetNumber(host::ArrayGet(co, 0))), 3);
  EXPECT_FLOAT_EQ(static_cast<float>(host::ObjectGetNumber(host::ArrayGet(co, 1))), -4.5f);
  ExpectAll(Export(), {"caption-style=\"Top\"", "caption-offset-h=\"3\"", "caption-offset-v=\"-4.5\"",
                       "leader-offset=\"2\"", "flags=\"print,lockedcontents,flag1024\""});
}

// A link keeps what it does through export and import: its URI, GoTo or
// Named action, or its own destination, and its border.
TEST_F(XfdfSlots, LinksKeepTheirActionDestinationAndBorder) {
  KPD_Page page = host::DocGetPage(doc_, 0);
  const std::string pageRef = "<< /Type /Annot /Subtype /Link /Rect [10 10 50 30] ";
  const std::string links[] = {
      pageRef + "/NM (uri) /Border [0 0 2] /A << /S /URI /URI (https://example.com/a?b=1) >> >>",
      pageRef + "/NM (goto) /BS << /W 1 /S /D /D [3 2] >> /H /O >>",
      pageRef + "/NM (named) /A << /S /Named /N /NextPage >> >>",
      pageRef + "/NM (dest) /Dest (chapter1) >>",
  };
  for (const std::string& text : links) {
    test::Owned d = test::Parse(text);
    ASSERT_TRUE(list_->CreateAnnot("Link", d.get(), {})) << text;
  }
  // The GoTo action points at the page itself, which parsing cannot write.
  {
    KPD_Dictionary goTo = list_->GetAnnotAt(1)->GetDict();
    test::Owned action = test::Parse("<< /S /GoTo /D [0 /XYZ 10 20 null] >>");
    host::ArraySet(host::DictGet(action.get(), "/D"), 0, page);
    host::DictSet(goTo, "/A", action.get());
  }
  const std::string text = Export();
  ExpectAll(text, {"<URI Name=\"https://example.com/a?b=1\"", "<XYZ Page=\"0\" Left=\"10\" Top=\"20\" />",
                   "<Named Name=\"NextPage\"", "<Dest>", "<Named Name=\"chapter1\"", "width=\"2.00\"",
                   "dashes=\"3,2\"", "Highlight=\"Outline\"", "<OnActivation>"});
  while (list_->CountAnnots() > 0) ASSERT_TRUE(list_->RemoveAnnot(list_->GetAnnotAt(0)->GetDict()));
  ImportFile(text);
  ASSERT_EQ(list_->CountAnnots(), 4);
  auto byName = [&](const char16_t* name) { return list_->FindAnnotByName(name); };
  KPD_Dictionary uri = dict::GetDict(byName(u"uri"), "/A");
  EXPECT_EQ(dict::GetName(uri, "/S"), "URI");
  EXPECT_EQ(dict::GetText(uri, "/URI").value_or(u""), u"https://example.com/a?b=1");
  KwBorderInfo border;
  ASSERT_TRUE(KW_ReadBorderInfo(byName(u"uri"), &border));
  EXPECT_EQ(border.width, 2);
  KPD_Dictionary goTo = dict::GetDict(byName(u"goto"), "/A");
  EXPECT_EQ(dict::GetName(goTo, "/S"), "GoTo");
  KPD_Object dest = host::DictGet(goTo, "/D");
  ASSERT_EQ(host::ArrayCount(dest), 5);
  EXPECT_TRUE(host::ObjectIsIdentical(host::ArrayGet(dest, 0), page));
  EXPECT_EQ(host::ObjectGetNumber(host::ArrayGet(dest, 3)), 20);
  EXPECT_EQ(host::ObjectGetType(host::ArrayGet(dest, 4)), KPD_OBJ_NULL);
  ASSERT_TRUE(KW_ReadBorderInfo(byName(u"goto"), &border));
  EXPECT_EQ(border.style, KW_BORDER_DASH);
  EXPECT_EQ(border.dashes, (std::vector<float>{3, 2}));
  EXPECT_EQ(dict::GetName(byName(u"goto"), "/H"), "O");
  EXPECT_EQ(dict::GetName(dict::GetDict(byName(u"named"), "/A"), "/N"), "NextPage");
  EXPECT_EQ(dict::GetText(byName(u"dest"), "/Dest").value_or(u""), u"chapter1");

  // A destination on a page the document does not have is left out.
  Import("<link page=\"0\" name=\"far\" rect=\"0,0,9,9\"><OnActivation><Action>"
         "<GoTo><Dest><Fit Page=\"7\"/></Dest></GoTo></Action></OnActivation></link>");
  EXPECT_FALSE(host::DictHasKey(byName(u"far"), "/A"));
}

// A redaction keeps the pieces it covers, its overlay text and the overlay
// form through export and import, instead of covering its whole /Rect.
TEST_F(XfdfSlots, RedactionsKeepQuadsOverlayTextAndOverlayForm) {
  test::Owned d = test::Parse(
      "<< /Type /Annot /Subtype /Redact /NM (r1) /Rect [10 10 200 100] /IC [0 0 0] "
      "/QuadPoints [10 100 200 100 10 80 200 80 10 40 120 40 10 20 120 20] /OverlayText (Removed \\(legal\\)) "
      "/Repeat true /Q 1 /DA (/Helv 9 Tf 1 0 0 rg) >>");
  auto made = list_->CreateAnnot("Redact", d.get(), {});
  ASSERT_TRUE(made);
  KPD_Stream ro = host::DocNewStream(doc_, "1 0 0 rg 0 0 10 10 re f", 23);
  test::Owned form = test::Parse("<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] >>");
  for (const char* key : {"/Type", "/Subtype", "/BBox"})
    host::DictSet(host::StreamGetDict(ro), key, host::DictGet(form.get(), key));
  host::DictSet(made->GetDict(), "/RO", ro);
  host::ObjectRelease(ro);

  const std::string text = Export();
  ExpectAll(text, {"coords=\"10,100,200,100,10,80,200,80,10,40,120,40,10,20,120,20\"",
                   "overlay-text=\"Removed (legal)\"", "repeat=\"yes\"", "justification=\"centered\"",
                   "<defaultappearance>/Helv 9 Tf 1 0 0 rg</defaultappearance>", "<overlay-appearance>"});
  while (list_->CountAnnots() > 0) ASSERT_TRUE(list_->RemoveAnnot(list_->GetAnnotAt(0)->GetDict()));
  ImportFile(text);
  ASSERT_EQ(list_->CountAnnots(), 1);
  KPD_Dictionary r = list_->GetAnnotAt(0)->GetDict();
  std::vector<float> quads;
  ASSERT_TRUE(dict::GetNumbers(r, "/QuadPoints", &quads));
  EXPECT_EQ(quads, (std::vector<float>{10, 100, 200, 100, 10, 80, 200, 80, 10, 40, 120, 40, 10, 20, 120, 20}));
  EXPECT_EQ(dict::GetText(r, "/OverlayText").value_or(u""), u"Removed (legal)");
  EXPECT_EQ(dict::GetBool(r, "/Repeat"), std::optional<bool>(true));
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(r, "/Q")), 1);
  EXPECT_EQ(dict::GetText(r, "/DA").value_or(u""), u"/Helv 9 Tf 1 0 0 rg");
  KPD_Object back = host::DictGet(r, "/RO");
  ASSERT_EQ(host::ObjectGetType(back), KPD_OBJ_STREAM);
  host::ByteString data;
  ASSERT_TRUE(host::StreamGetData(back, 1, data.get()));
  EXPECT_EQ(data.str(), "1 0 0 rg 0 0 10 10 re f");
}

TEST_F(XfdfSlots, ANoteKeepsItsTurn) {
  Import("<text page=\"0\" name=\"n\" rect=\"10,10,30,30\" rotation=\"45\"/>");
  KPD_Dictionary note = list_->FindAnnotByName(u"n");
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(note, "/Rotate")), 45);
  ExpectAll(Export(), {"rotation=\"45\""});
}

// A number that cannot be a PDF value, or a negative dash, fails the whole
// import with the element's line and the reason; nothing is created.
TEST_F(XfdfSlots, NumbersThatCannotBePdfValuesFailTheirElement) {
  struct Case {
    const char* element;
    const char* reason;
  } cases[] = {
      {"<square page=\"0\" rect=\"0,0,nan,10\"/>", "rect \"nan\" is not a finite number"},
      {"<square page=\"0\" rect=\"0,0,1e8,10\"/>", "rect \"1e8\" is beyond 1e7"},
      {"<square page=\"0\" rect=\"0,0,1e999,10\"/>", "rect \"1e999\" is beyond 1e7"},
      {"<polygon page=\"0\" vertices=\"1,2;inf,4;5,6\"/>", "vertices \"inf\" is not a finite number"},
      {"<polygon page=\"0\"><vertices>1,2;3,4;5,-2e7</vertices></polygon>", "vertices \"-2e7\" is beyond 1e7"},
      {"<line page=\"0\" start=\"NaN,1\" end=\"3,4\"/>", "start \"NaN\" is not a finite number"},
      {"<ink page=\"0\"><inklist><gesture>1,2;3,4</gesture><gesture>1,2;3,infinity</gesture></inklist></ink>",
       "gesture \"infinity\" is not a finite number"},
      {"<circle page=\"0\" rect=\"0,0,9,9\" width=\"1e30\"/>", "width \"1e30\" is beyond 1e7"},
      {"<square page=\"0\" rect=\"0,0,9,9\" style=\"dash\" dashes=\"3,-1\"/>",
       "dashes \"3,-1\" holds a negative length"},
  };
  for (const Case& c : cases) {
    // Comments, a declaration and quoted ">" ahead of the element do not
    // shift its line.
    ExpectAll(Refused(std::string("<?xml version=\"1.0\"?>\n<!-- <square> -->\n<xfdf>\n<annots>\n") +
                      "<text page=\"0\" rect=\"0,0,9,9\" title=\"a > b\"><contents>x</contents></text>\n" +
                      c.element + "\n</annots></xfdf>"),
              {"line 6: annotation 2 (", c.reason});
    EXPECT_EQ(list_->CountAnnots(), 0) << c.element;
  }
  // Small numbers and exponents within range are numbers like any other.
  Import("<square page=\"0\" rect=\"0,1e-999,1e2,-0\"/>");

  // The annotation's own import leaves a dash list with a negative length out.
  auto square = std::static_pointer_cast<CKW_MarkupAnnot>(list_->GetAnnotAt(0));
  ASSERT_TRUE(square->ImportFromXFDF(Element("<square style=\"dash\" dashes=\"4,2\"/>")));
  ASSERT_TRUE(square->ImportFromXFDF(Element("<square dashes=\"3,-1\"/>")));
  KwBorderInfo border;
  ASSERT_TRUE(KW_ReadBorderInfo(square->GetDict(), &border));
  EXPECT_EQ(border.dashes, (std::vector<float>{4, 2}));
}

// Other programs write polygon and polyline points as the text of a
// "vertices" child, with semicolons or commas only, with blanks and line
// breaks; the project's own older files have an attribute.
TEST_F(XfdfSlots, VerticesAreReadFromTheChildElementInEveryFormAndWrittenAsOne) {
  const std::vector<KS_FloatPoint> want = {{10, 20}, {30.5f, 40}, {50, 60}};
  const char* forms[] = {
      "<polygon page=\"0\"><vertices>10,20;30.5,40;50,60</vertices></polygon>",
      "<polygon page=\"0\"><vertices>10,20,30.5,40,50,60</vertices></polygon>",
      "<polyline page=\"0\"><vertices>10, 20; 30.5, 40;\n  50, 60\n</vertices></polyline>",
      "<polyline page=\"0\"><vertices>\n10 20\n30.5 40\n50 60\n</vertices></polyline>",
      "<polygon page=\"0\"><vertices>10,20;30.5,40;50,60;</vertices></polygon>",
      "<polygon page=\"0\" vertices=\"10,20;30.5,40;50,60\"/>",
  };
  for (const char* form : forms) {
    Import(form);
    auto annot = std::static_pointer_cast<CKW_MarkupAnnot>(list_->GetAnnotAt(list_->CountAnnots() - 1));
    std::vector<KS_FloatPoint> got = annot->GetVertices();
    ASSERT_EQ(got.size(), want.size()) << form;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got[i].x, want[i].x) << form;
      EXPECT_EQ(got[i].y, want[i].y) << form;
    }
  }
  const std::string text = Export();
  EXPECT_EQ(CountOf(text, "<vertices>10,20;30.5,40;50,60</vertices>"), 6) << text;
  EXPECT_EQ(text.find("vertices=\""), std::string::npos) << text;
}

TEST_F(XfdfSlots, MalformedAttributesChangeNothingAndNestingIsBounded) {
  Import("<polygon page=\"0\" name=\"p\" vertices=\"1,2;3,4;5,6\" rect=\"0,0,9,9\"/>"
         "<line page=\"0\" name=\"l\" start=\"1,2\" end=\"3,4\"/>"
         "<ink page=\"0\" name=\"i\"><inklist><gesture>1,2;3,4</gesture></inklist></ink>");
  Import("<polygon page=\"0\" name=\"p\" vertices=\"1,2;3\" color=\"#12\" "
         "opacity=\"nan\" width=\"wide\" style=\"wavy\" dashes=\"a,b\" fringe=\"1,-2,3,4\" "
         "interior-color=\"blue\" flags=\"\xff\xfe\"/>"
         "<line page=\"0\" name=\"l\" start=\"1\" end=\"3,4;5,6\" leaderLength=\"x\"/>"
         "<ink page=\"0\" name=\"i\"><inklist><gesture>1,2;x</gesture></inklist></ink>");
  const std::string after = Export();
  // Words that name no flag give no flags at all.
  EXPECT_EQ(after.find("flags="), std::string::npos) << after;
  ExpectAll(after, {"<vertices>1,2;3,4;5,6</vertices>", "start=\"1,2\" end=\"3,4\"", "<gesture>1,2;3,4</gesture>"});
  EXPECT_EQ(after.find("fringe"), std::string::npos) << after;

  std::string deep = "<xfdf><annots><text page=\"0\" rect=\"0,0,9,9\"><contents-richtext><body>";
  for (int i = 0; i < 20000; ++i) deep += "<span>";
  deep += "x";
  for (int i = 0; i < 20000; ++i) deep += "</span>";
  deep += "</body></contents-richtext></text></annots></xfdf>";
  ImportFile(deep);
  Export();
}

// A callout from another program: its styles, rich text, callout line,
// rotation and fringe come in, it gets a drawn appearance, and all of it
// goes back out.
TEST_F(XfdfSlots, FreeTextCarriesStylesRichTextCalloutAndRotation) {
  Import("<freetext page=\"0\" name=\"ft\" rect=\"100,100,300,200\" intent=\"FreeTextCallout\" "
         "justification=\"justify\" rotation=\"90\" callout=\"40,50,100,150\" head=\"OpenArrow\" fringe=\"0,0,0,0\">"
         "<contents-richtext><body xmlns=\"http://www.w3.org/1999/xhtml\"><p>Rich <span "
         "style=\"font-weight:bold\">text</span></p></body></contents-richtext>"
         "<defaultappearance>/Helv 12 Tf 1 0 0 rg</defaultappearance>"
         "<defaultstyle>font: Helvetica 12pt; color:#FF0000</defaultstyle></freetext>");
  KPD_Dictionary d = list_->GetAnnotAt(list_->CountAnnots() - 1)->GetDict();
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(d, "/Q")), 3);
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(d, "/Rotate")), 90);
  EXPECT_EQ(host::ArrayCount(host::DictGet(d, "/CL")), 4);
  std::u16string contents;
  ASSERT_TRUE(dict::GetText(d, "/Contents", &contents));
  EXPECT_EQ(contents, u"Rich text");
  // The appearance was drawn, and the callout grew the rectangle to the
  // line's start.
  KPD_Object ap = host::DictGet(d, "/AP");
  ASSERT_TRUE(ap && host::DictGet(ap, "/N"));
  std::vector<float> rect;
  ASSERT_TRUE(dict::GetNumbers(d, "/Rect", &rect));
  EXPECT_LT(rect[0], 40.0f);

  ExpectAll(Export(), {"justification=\"justify\"", "rotation=\"90\"", "callout=\"40,50,100,150\"",
                       "head=\"OpenArrow\"", "<defaultstyle>font: Helvetica 12pt; color:#FF0000",
                       "<defaultappearance>/Helv 12 Tf 1 0 0 rg", "<contents-richtext>", "fringe=\""});

  // A callout of one or seven numbers is no callout line.
  Import("<freetext page=\"0\" rect=\"10,10,90,40\" callout=\"1,2,3,4,5,6,7\">"
         "<contents>x</contents></freetext>");
  EXPECT_FALSE(host::DictGet(list_->GetAnnotAt(list_->CountAnnots() - 1)->GetDict(), "/CL"));
}

// An update that brings new contents and no rich text rebuilds /RC from
// them in the old style, so a free text stops drawing the old words; an
// update that leaves the contents as they were leaves /RC alone.
TEST_F(XfdfSlots, NewContentsWithoutRichTextReplaceTheStaleRichText) {
  Add("<< /Type /Annot /Subtype /FreeText /NM (ft) /Rect [100 100 300 200] /DA (/Helv 12 Tf 0 g)"
      " /Contents (Old words) /RC (<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\">"
      "<p><span style=\"font-weight:bold;color:#0000FF\">Old words</span></p></body>) >>");
  auto rcOf = [&] {
    std::u16string rc;
    dict::GetText(list_->GetAnnotAt(0)->GetDict(), "/RC", &rc);
    return rc;
  };
  auto update = [&](const std::string& inner) { Import("<freetext page=\"0\" name=\"ft\">" + inner + "</freetext>"); };

  update("<contents>Old words</contents>");
  const std::u16string unchanged = rcOf();
  EXPECT_NE(unchanged.find(u"Old words"), std::u16string::npos);

  update("<contents>Fresh text\nline two</contents>");
  auto xml = CKW_RichTextXML::Parse(rcOf());
  ASSERT_TRUE(xml);
  EXPECT_EQ(xml->GetPlainText(), u"Fresh text\nline two");
  CKW_RichTextStyle style;
  ASSERT_TRUE(xml->GetRichTextStyle(0, &style));
  EXPECT_TRUE(style.bold);
  EXPECT_EQ(style.color, u"#0000FF");
  // The appearance drawn on import shows the new words, not the old.
  KPD_Object ap = host::DictGet(list_->GetAnnotAt(0)->GetDict(), "/AP");
  host::ByteString data;
  ASSERT_TRUE(ap && host::StreamGetData(host::DictGet(ap, "/N"), 1, data.get()));
  const std::string content = data.str();
  EXPECT_EQ(content.find("Old"), std::string::npos) << content;
  EXPECT_NE(content.find("Fresh"), std::string::npos) << content;

  // Rich text that comes along is taken as it is; empty contents take the
  // rich text away with them.
  update("<contents>Plain</contents><contents-richtext><body xmlns=\"http://www.w3.org/1999/xhtml\">"
         "<p>Given</p></body></contents-richtext>");
  EXPECT_NE(rcOf().find(u"Given"), std::u16string::npos);
  update("<contents></contents>");
  EXPECT_EQ(rcOf(), u"");
  EXPECT_FALSE(host::DictGet(list_->GetAnnotAt(0)->GetDict(), "/RC"));
}

}  // namespace
}  // namespace kwannotation
