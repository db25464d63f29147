// annot xfdf end to end: export, import into a copy without annotations,
// export again, on the shared samples and on a file with every kind the
// exchange carries.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/render_support.h"
#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

// A copy of `in` with every annotation taken off its page.
bool SaveWithoutAnnotations(const std::string& in, const std::string& out) {
  KPD_Document doc = direct::DocOpenFile(in.c_str(), nullptr);
  if (!doc) return false;
  for (int p = 0; p < direct::DocPageCount(doc); ++p) {
    KPD_Page page = direct::DocGetPage(doc, p);
    while (direct::PageAnnotCount(page) > 0) direct::PageRemoveAnnot(page, 0);
  }
  bool ok = direct::DocSave(doc, out.c_str(), nullptr) != 0;
  direct::DocClose(doc);
  return ok;
}

int AnnotCount(const std::string& path) { return SavedPdf(path).AnnotCount(); }

KPD_Dictionary Insert(KPD_Document doc, int page, const std::string& text) {
  KPD_Object parsed = direct::ObjectParse(text.data(), text.size());
  KPD_Dictionary annot = direct::PageInsertAnnot(direct::DocGetPage(doc, page), -1, parsed);
  direct::ObjectRelease(parsed);
  return annot;
}

// Two pages holding each kind the exchange carries geometry for, with
// borders, colours, replies and texts outside ASCII.
bool WriteRichPdf(const std::string& path) {
  const std::string error = WritePagesPdf(path, {0, 0, 612, 792}, {{
      "<< /Type /Annot /Subtype /Text /Rect [20 700 40 720] /NM (note-1) /Name /Comment /State (Accepted)"
      " /StateModel (Review) /Contents (Looks good) /T <FEFF00E9006C00E8006E0065> /F 28 /IRT 1 >>",
      "<< /Type /Annot /Subtype /Square /Rect [100 100 200 180.25] /NM (sq-1) /C [0 0 1] /IC [1 1 0]"
      " /CA 0.5 /F 4 /T (Ann) /Subj (Box) /BS << /W 2 /S /D /D [3 2] >> /RD [1 1 1.5 1]"
      " /M (D:20240101120000Z) /CreationDate (D:20240101110000Z) >>",
      "<< /Type /Annot /Subtype /Circle /Rect [300 300 400 380] /NM (ci-1) /C [1 0 0] /F 6"
      " /BS << /W 1.5 /S /S >> /BE << /S /C /I 2 >> >>",
      "<< /Type /Annot /Subtype /Polygon /Rect [10 10 60 50] /Vertices [10 10 50 10 30.125 40]"
      " /IT /PolygonDimension /C [0.2] >>",
      "<< /Type /Annot /Subtype /PolyLine /Rect [10 10 60 50] /Vertices [10 10 50 10 30 40]"
      " /LE [/Circle /OpenArrow] /C [0 1 0 0] >>",
      "<< /Type /Annot /Subtype /Ink /Rect [0 0 20 20] /InkList [[1 2 3 4] [5 6 7 8 9 10.5]]"
      " /Border [0 0 3] >>",
      "<< /Type /Annot /Subtype /Highlight /Rect [0 0 100 20] /QuadPoints [0 20 100 20 0 0 100 0]"
      " /C [1 1 0] /RT /Group >>",
  }, {
      "<< /Type /Annot /Subtype /FreeText /Rect [50 50 250 100] /NM (ft-1) /DA (/Helv 12 Tf 0 g) /Q 1"
      " /DS (font: Helvetica 12pt; color:#FF0000) /Contents (Caf\\351) >>",
      "<< /Type /Annot /Subtype /Line /Rect [0 0 100 100] /L [10 10 90 90] /IT /LineArrow"
      " /LE [/None /OpenArrow] /LL -12 /Cap false >>",
      "<< /Type /Annot /Subtype /Stamp /Rect [300 300 400 350] /Name /Approved >>",
      // Neither a form field nor a kind the model does not know is carried.
      "<< /Type /Annot /Subtype /Widget /FT /Tx /T (field) /Rect [0 0 10 10] >>",
      "<< /Type /Annot /Subtype /RichMedia /Rect [0 0 10 10] >>",
  }});
  EXPECT_EQ(error, "");
  return error.empty();
}

class XfdfTest : public ::testing::Test {
 protected:
  std::string Annot(const std::string& args) { return Quote(AnnotPath()) + " " + args; }

  // Export, import into a copy without annotations, export again.
  void ExpectRoundTrip(const std::string& pdf, std::string* first = nullptr, int notCarried = 0) {
    CommandResult exported = Shell(Annot("xfdf export " + Quote(pdf)));
    ASSERT_EQ(exported.status, 0) << exported.output;
    ASSERT_NE(exported.output.find("<xfdf xmlns=\"http://ns.adobe.com/xfdf/\" xml:space=\"preserve\">"),
              std::string::npos)
        << exported.output;
    std::string xfdf = dir_.Write("first.xfdf", exported.output);
    ASSERT_TRUE(SaveWithoutAnnotations(pdf, dir_ / "bare.pdf"));
    CommandResult imported =
        Shell(Annot("xfdf import " + Quote(dir_ / "bare.pdf") + " " + Quote(xfdf) + " -o " + Quote(dir_ / "again.pdf")));
    ASSERT_EQ(imported.status, 0) << imported.output;
    CommandResult again = Shell(Annot("xfdf export " + Quote(dir_ / "again.pdf") + " -o " + Quote(dir_ / "second.xfdf")));
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(ReadFile(dir_ / "second.xfdf"), exported.output) << pdf;
    EXPECT_EQ(AnnotCount(dir_ / "again.pdf") + notCarried, AnnotCount(pdf)) << pdf;
    if (first) *first = exported.output;
  }

  TempDir dir_;
};

TEST_F(XfdfTest, SharedSamplesSurviveARoundTrip) {
  if (!Exists(SharedPdf("itext_annotation-with-popup_LineDimension.pdf"))) GTEST_SKIP() << "no shared samples";
  std::string xfdf;
  ExpectRoundTrip(SharedPdf("itext_annotation-with-popup_LineDimension.pdf"), &xfdf);
  // The line carries its geometry and its popup; the popup is no element
  // of its own.
  for (const char* expected :
       {"<line name=\"4d4d1922-1839-464b-b120-d32a15e97e4d\" page=\"0\"", "intent=\"LineDimension\"",
        "start=\"140.556,694.661\"", "end=\"272.822,694.661\"", "head=\"ClosedArrow\"", "tail=\"ClosedArrow\"",
        "interior-color=\"#FF0000\"", "flags=\"print,lockedcontents\"", "<contents>132.27 pt</contents>",
        "<contents-richtext>",
        "<popup open=\"no\" page=\"0\"",
        // its scale and number formats
        "<measure ratio=\"1 pt = 1 pt\"", "<number-format type=\"D\" unit=\"pt\""})
    EXPECT_NE(xfdf.find(expected), std::string::npos) << expected << "\n" << xfdf;
  EXPECT_EQ(xfdf.find("<popup"), xfdf.rfind("<popup"));  // the one above

  for (const char* name : {"pdfjs_bug1146106_VP_GEO.pdf", "poppler-test_imageretrieve+attachment_VP_RL.pdf"}) {
    std::string empty;
    ExpectRoundTrip(SharedPdf(name), &empty);
    EXPECT_NE(empty.find("<annots />"), std::string::npos) << empty;
  }
}

TEST_F(XfdfTest, EveryCarriedKindSurvivesARoundTrip) {
  ASSERT_TRUE(WriteRichPdf(dir_ / "drawn.pdf"));
  // Import draws the appearances, and the drawing decides the rectangle of
  // the shapes; start from a file whose shapes are drawn already.
  CommandResult drawn = Shell(Annot("regenerate " + Quote(dir_ / "drawn.pdf") + " -o " + Quote(dir_ / "rich.pdf")));
  ASSERT_EQ(drawn.status, 0) << drawn.output;
  std::string xfdf;
  ExpectRoundTrip(dir_ / "rich.pdf", &xfdf, 2);
  EXPECT_EQ(xfdf.find("<widget"), std::string::npos);
  EXPECT_EQ(xfdf.find("<richmedia"), std::string::npos);
  for (const char* expected :
       {"<text name=\"note-1\" page=\"0\"", "flags=\"print,nozoom,norotate\"", "title=\"\xC3\xA9l\xC3\xA8ne\"",
        "state=\"Accepted\"", "statemodel=\"Review\"", "inreplyto=\"sq-1\"", "icon=\"Comment\"",
        "<square name=\"sq-1\"", "color=\"#0000FF\"",
        "opacity=\"0.5\"", "subject=\"Box\"", "width=\"2.00\"", "style=\"dash\"", "dashes=\"3,2\"",
        "interior-color=\"#FFFF00\"", "fringe=\"1,1,1.5,1\"", "date=\"D:20240101120000Z\"",
        "creationdate=\"D:20240101110000Z\"", "<circle", "flags=\"hidden,print\"", "style=\"cloudy\"",
        "intensity=\"2.00\"", "width=\"1.50\"", "<polygon", "<vertices>10,10;50,10;30.125,40</vertices>",
        "intent=\"PolygonDimension\"", "color=\"#333333\"", "<polyline", "head=\"Circle\"", "tail=\"OpenArrow\"",
        "color=\"#FF00FF\"", "<gesture>1,2;3,4</gesture>", "<gesture>5,6;7,8;9,10.5</gesture>", "width=\"3.00\"",
        "<highlight", "coords=\"0,20,100,20,0,0,100,0\"", "replyType=\"group\"",
        "<freetext name=\"ft-1\" page=\"1\"", "justification=\"centered\"",
        "<defaultappearance>/Helv 12 Tf 0 g</defaultappearance>", "<contents>Caf\xC3\xA9</contents>",
        "<line page=\"1\"", "start=\"10,10\"", "end=\"90,90\"", "intent=\"LineArrow\"", "leaderLength=\"-12\"",
        "caption=\"no\"", "<stamp page=\"1\"", "icon=\"Approved\""})
    EXPECT_NE(xfdf.find(expected), std::string::npos) << expected << "\n" << xfdf;
}

// One page with a file attachment "notes.txt" holding `bytes` and a free
// text "ft-1" whose rich text says "Old words".
bool WriteAttachmentPdf(const std::string& path, const std::string& bytes) {
  KPD_Document doc = direct::DocNew();
  KS_FloatRect box{0, 0, 400, 400};
  direct::DocAddPage(doc, &box);
  KPD_Dictionary annot = Insert(doc, 0,
      "<< /Type /Annot /Subtype /FileAttachment /Rect [20 20 40 40] /NM (att-1)"
      " /FS << /Type /Filespec /F (notes.txt) /UF (notes.txt) /EF << >> >> >>");
  KPD_Stream file = direct::DocNewStream(doc, bytes.data(), bytes.size());
  direct::DictSet(direct::DictGet(direct::DictGet(annot, "/FS"), "/EF"), "/F", file);
  Insert(doc, 0,
      "<< /Type /Annot /Subtype /FreeText /Rect [50 300 350 350] /NM (ft-1) /DA (/Helv 14 Tf 0 g)"
      " /Contents (Old words) /RC (<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\">"
      "<p><span style=\"font-weight:bold\">Old words</span></p></body>) >>");
  bool ok = direct::DocSave(doc, path.c_str(), nullptr) != 0;
  direct::DocClose(doc);
  return ok;
}

// The embedded file of the first annotation, or "<none>".
std::string EmbeddedFile(const std::string& path) {
  SavedPdf saved(path);
  KPD_Object fs = saved.ok() ? direct::DictGet(saved.Annot(0), "/FS") : nullptr;
  KPD_Object ef = fs ? direct::DictGet(fs, "/EF") : nullptr;
  return StreamText(ef ? direct::DictGet(ef, "/F") : nullptr);
}

// XFDF exported without the files and brought back, with or without
// --files on import, leaves the attached file where it was.
TEST_F(XfdfTest, AnAttachmentBroughtBackWithoutItsFileKeepsIt) {
  const std::string pdf = dir_ / "att.pdf";
  ASSERT_TRUE(WriteAttachmentPdf(pdf, "meeting notes\n"));
  CommandResult r = Shell(Annot("xfdf export " + Quote(pdf) + " -o " + Quote(dir_ / "plain.xfdf")));
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(ReadFile(dir_ / "plain.xfdf").find("<data"), std::string::npos);
  for (const char* files : {"", " --files"}) {
    r = Shell(Annot("xfdf import " + Quote(pdf) + " " + Quote(dir_ / "plain.xfdf") + " -o " + Quote(dir_ / "back.pdf") +
                    files));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(EmbeddedFile(dir_ / "back.pdf"), "meeting notes\n") << files;
  }
}

// --files with an attachment over 16 MB names it and fails, writing
// nothing; --skip-large-files leaves it out and says so.
TEST_F(XfdfTest, AnAttachmentOverTheLimitIsNamed) {
  const std::string pdf = dir_ / "big.pdf";
  ASSERT_TRUE(WriteAttachmentPdf(pdf, std::string((16u << 20) + 1, 'x')));
  const std::string xfdf = dir_ / "big.xfdf";
  CommandResult r = Shell(Annot("xfdf export " + Quote(pdf) + " --files -o " + Quote(xfdf)));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("attached file \"notes.txt\" on page 1 is 16777217 bytes, over the limit of 16777216 bytes"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("--skip-large-files"), std::string::npos) << r.output;
  EXPECT_FALSE(Exists(xfdf));

  r = Shell(Annot("xfdf export " + Quote(pdf) + " --files --skip-large-files -o " + Quote(xfdf)));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("annot: left out attached file \"notes.txt\" on page 1 (16777217 bytes)"), std::string::npos)
      << r.output;
  EXPECT_EQ(ReadFile(xfdf).find("<data"), std::string::npos);
  EXPECT_NE(ReadFile(xfdf).find("file=\"notes.txt\""), std::string::npos);

  r = Shell(Annot("xfdf export " + Quote(pdf) + " --skip-large-files"));
  EXPECT_EQ(r.status, 2) << r.output;
}

// New contents without rich text: the free text draws the new words.
TEST_F(XfdfTest, NewContentsReplaceTheWordsAFreeTextShows) {
  if (!HaveProgram("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  const std::string pdf = dir_ / "ft.pdf";
  ASSERT_TRUE(WriteAttachmentPdf(pdf, "x"));
  const std::string xfdf = dir_.Write("edit.xfdf",
      "<?xml version=\"1.0\"?>\n<xfdf xmlns=\"http://ns.adobe.com/xfdf/\"><annots>\n"
      "<freetext name=\"ft-1\" page=\"0\"><contents>Brand new text</contents></freetext>\n"
      "</annots></xfdf>\n");
  CommandResult r = Shell(Annot("xfdf import " + Quote(pdf) + " " + Quote(xfdf) + " -o " + Quote(dir_ / "new.pdf")));
  ASSERT_EQ(r.status, 0) << r.output;
  CommandResult text = Shell("pdftotext " + Quote(dir_ / "new.pdf") + " -");
  ASSERT_EQ(text.status, 0) << text.output;
  EXPECT_NE(text.output.find("Brand new text"), std::string::npos) << text.output;
  EXPECT_EQ(text.output.find("Old words"), std::string::npos) << text.output;
}

// An XFDF document holding the annotation elements `annots`.
std::string XfdfOf(const std::string& annots) {
  return "<?xml version=\"1.0\"?>\n<xfdf xmlns=\"http://ns.adobe.com/xfdf/\"><annots>\n" + annots +
         "</annots></xfdf>\n";
}

// XFDF imported into the rich file, one case at a time: how many
// annotations it adds (one of a name the file has updates that one), what
// the import says, and what the export of the file written then shows.
TEST_F(XfdfTest, ImportedAnnotationsAreWrittenAndExportedAgain) {
  ASSERT_TRUE(WriteRichPdf(dir_ / "rich.pdf"));
  struct Case {
    const char* name;
    std::string xfdf;
    int added;
    std::vector<std::string> says, exported;
  };
  const Case cases[] = {
      {"the annotation of the same name is updated; an empty flags attribute means print only",
       XfdfOf("<square name=\"sq-1\" page=\"0\" color=\"#00FF00\" rect=\"10,20,40,50\"/>\n"
              "<circle name=\"new-1\" page=\"1\" rect=\"5,5,50,50\" flags=\"\"/>\n"
              "<unknownthing page=\"0\"/>\n"),
       1,
       {},
       {"color=\"#00FF00\" date=\"D:20240101120000Z\" flags=\"print\" "
        "rect=\"10.000000,20.000000,40.000000,50.000000\"",
        "<circle name=\"new-1\" page=\"1\" flags=\"print\""}},
      {"two annotations sharing a name are both kept, and the import says which was renamed",
       XfdfOf("<circle name=\"twin\" page=\"1\" rect=\"5,5,50,50\"/>\n"
              "<circle name=\"twin\" page=\"1\" rect=\"60,5,90,50\"/>\n"),
       2,
       {"annot: annotation 2 (circle) on page 2: the name \"twin\" is taken by an earlier one; "
        "imported as \"twin-2\""},
       {"<circle name=\"twin-2\" page=\"1\""}},
      // Annotations are written out as the import goes.
      {"a reply finds the annotation it answers before or after it, and a popup its annotation",
       XfdfOf("<text name=\"early\" page=\"1\" rect=\"0,0,20,20\" inreplyto=\"topic\"/>\n"
              "<square name=\"topic\" page=\"1\" rect=\"30,30,90,90\">"
              "<popup open=\"yes\" rect=\"100,100,200,150\"/></square>\n"
              "<text name=\"late\" page=\"1\" rect=\"0,30,20,50\" inreplyto=\"topic\"/>\n"
              "<text name=\"deeper\" page=\"1\" rect=\"0,60,20,80\" inreplyto=\"late\"/>\n"
              "<circle name=\"alone\" page=\"0\" rect=\"5,5,50,50\"/>\n"
              "<text name=\"ahead\" page=\"0\" rect=\"0,0,20,20\" inreplyto=\"answered\"/>\n"
              "<circle name=\"answered\" page=\"0\" rect=\"60,5,90,50\"/>\n"),
       8,  // seven and one popup
       {},
       {"name=\"early\" page=\"1\" rect=\"0.000000,0.000000,20.000000,20.000000\" inreplyto=\"topic\"",
        "name=\"late\" page=\"1\" rect=\"0.000000,30.000000,20.000000,50.000000\" inreplyto=\"topic\"",
        "name=\"deeper\" page=\"1\" rect=\"0.000000,60.000000,20.000000,80.000000\" inreplyto=\"late\"",
        "name=\"ahead\" page=\"0\" rect=\"0.000000,0.000000,20.000000,20.000000\" inreplyto=\"answered\"",
        "name=\"topic\" page=\"1\" rect=\"30.000000,30.000000,90.000000,90.000000\">\n      <popup open=\"yes\""}},
      // Polygon points in a "vertices" child, a note with paragraph-only
      // rich text, a line with caption placement and the flag for locked
      // contents, and a scale factor too large for a 64-bit integer.
      {"XFDF as other programs write it",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<xfdf xmlns=\"http://ns.adobe.com/xfdf/\" xml:space=\"preserve\">\n<annots>\n"
       "<polygon page=\"0\" name=\"poly-x\" color=\"#FF0000\" rect=\"90,90,210,210\" flags=\"print\">\n"
       "  <vertices>100,100;200,100;\n150,200</vertices>\n</polygon>\n"
       "<text page=\"1\" name=\"note-x\" rect=\"10,10,30,30\"><contents-richtext><body "
       "xmlns=\"http://www.w3.org/1999/xhtml\"><p>Check the door</p><p>width</p></body></contents-richtext></text>\n"
       "<line page=\"1\" name=\"line-x\" start=\"10,400\" end=\"200,400\" caption=\"yes\" caption-style=\"Top\" "
       "caption-offset-h=\"0\" caption-offset-v=\"6\" leaderOffset=\"4\" flags=\"print,lockedcontents\" "
       "intent=\"LineDimension\"><measure ratio=\"1 pt = 1 pt\"><number-format type=\"X\" unit=\"pt\" "
       "scale-factor=\"1e19\"/><number-format type=\"D\" unit=\"pt\" scale-factor=\"1\"/>"
       "<number-format type=\"A\" unit=\"sq pt\" scale-factor=\"1\"/></measure></line>\n"
       "</annots></xfdf>\n",
       3,
       {},
       {"<vertices>100,100;200,100;150,200</vertices>", "<contents>Check the door\nwidth</contents>",
        "<line name=\"line-x\"", "caption-style=\"Top\"", "caption-offset-v=\"6\"", "leader-offset=\"4\"",
        "flags=\"print,lockedcontents\"", "scale-factor=\"1e+19\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string xfdf = dir_.Write("import.xfdf", c.xfdf), out = dir_ / "out.pdf";
    CommandResult r = Shell(Annot("xfdf import " + Quote(dir_ / "rich.pdf") + " " + Quote(xfdf) + " -o " + Quote(out)));
    ASSERT_EQ(r.status, 0) << r.output;
    for (const std::string& said : c.says) EXPECT_NE(r.output.find(said), std::string::npos) << r.output;
    EXPECT_EQ(AnnotCount(out), AnnotCount(dir_ / "rich.pdf") + c.added);
    r = Shell(Annot("xfdf export " + Quote(out)));
    ASSERT_EQ(r.status, 0) << r.output;
    for (const std::string& shown : c.exported)
      EXPECT_NE(r.output.find(shown), std::string::npos) << shown << "\n" << r.output;
  }
}

TEST_F(XfdfTest, BadInputNamesWhereAndWritesNothing) {
  ASSERT_TRUE(WriteRichPdf(dir_ / "rich.pdf"));
  struct Case {
    const char* xfdf;
    const char* message;
  } cases[] = {
      {"<xfdf>\n<annots>\n<square page=\"0\" rect=\"1,2,3,4\">\n</annots></xfdf>", "line 4, column"},
      {"<xfdf><annots><square page=\"7\" rect=\"1,2,3,4\"/></annots></xfdf>", "page \"7\""},
      {"<xfdf><annots><square rect=\"1,2,3,4\"/></annots></xfdf>", "(square)"},
      {"<fdf/>", "\"xfdf\""},
      {"<xfdf>\n<annots>\n<square page=\"0\" rect=\"1,2,nan,4\"/>\n</annots></xfdf>",
       "line 3: annotation 1 (square): rect \"nan\" is not a finite number"},
  };
  for (const Case& c : cases) {
    std::string xfdf = dir_.Write("bad.xfdf", c.xfdf);
    CommandResult r = Shell(Annot("xfdf import " + Quote(dir_ / "rich.pdf") + " " + Quote(xfdf) + " -o " +
                                  Quote(dir_ / "out.pdf")));
    EXPECT_EQ(r.status, 1) << c.xfdf;
    EXPECT_NE(r.output.find("annot: " + (dir_ / "bad.xfdf") + ": "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(dir_ / "out.pdf")) << c.xfdf;
  }
}

}  // namespace
