// annot regenerate end to end: counts, reasons, old appearances kept for
// bad input, nothing left behind, and files qpdf accepts.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/render_support.h"
#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

class RegenerateTest : public ::testing::Test {
 protected:
  CommandResult Regenerate(const std::string& args) { return Shell(Quote(AnnotPath()) + " regenerate " + args); }
  TempDir dir_;
};

// Opens `path`, lets `change` alter its first page and saves it over
// itself.
void Rewrite(const std::string& path, const std::function<void(KPD_Page)>& change) {
  KPD_Document doc = direct::DocOpenFile(path.c_str(), nullptr);
  ASSERT_TRUE(doc);
  change(direct::DocGetPage(doc, 0));
  EXPECT_TRUE(direct::DocSave(doc, path.c_str(), nullptr));
  direct::DocClose(doc);
}

// Shapes, text markup, notes and stamps without appearances get one; each
// damaged one is skipped with its reason and keeps its old appearance.
TEST_F(RegenerateTest, CountsPerKindAndSkipsBadInputWithItsReason) {
  std::string in = dir_ / "in.pdf", out = dir_ / "out.pdf";
  std::string dashes = "[";
  for (int i = 0; i < 10000; ++i) dashes += "2 ";
  dashes += "]";
  ASSERT_EQ(WriteShapePdf(in, 300, 300,
                          {
                              "<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] /C [1 0 0] >>",
                              "<< /Type /Annot /Subtype /Square /Rect [10 10 10 50] /C [1 0 0] /AP << >> >>",
                              "<< /Type /Annot /Subtype /Circle /Rect [60 10 90 40] /IC [0 1 0] >>",
                              "<< /Type /Annot /Subtype /Polygon /Rect [0 0 100 100] /Vertices [1 2 3 4 5] >>",
                              "<< /Type /Annot /Subtype /PolyLine /Rect [0 0 100 100] /Vertices [1 2 30 40] >>",
                              "<< /Type /Annot /Subtype /Line /L [10 100 90 100] /LE [/None /OpenArrow] >>",
                              "<< /Type /Annot /Subtype /Ink /InkList [1 2 3 4] >>",
                              "<< /Type /Annot /Subtype /Ink /InkList [[10 200 20 210 30 200]] /C [0 0 1] >>",
                              "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /BE << /S /C /I 1000000000 >> >>",
                              "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /BS << /S /D /D " + dashes + " >> >>",
                              "<< /Type /Annot /Subtype /Circle /Rect [0 0 100000000000000000000.0 10] >>",
                              "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>",
                              "<< /Type /Annot /Subtype /Highlight /Rect [0 0 1 1] /C [1 1 0]"
                              " /QuadPoints [10 30 50 30 10 20 50 20] >>",
                              "<< /Type /Annot /Subtype /Underline /Rect [0 0 1 1] /QuadPoints [1 2 3] /AP << >> >>",
                              "<< /Type /Annot /Subtype /StrikeOut /Rect [0 0 1 1] /AP << >>"
                              " /QuadPoints [10 30 50 30 10 20 50 100000000000000000000.0] >>",
                              "<< /Type /Annot /Subtype /Squiggly /Rect [0 0 1 1] /QuadPoints [5 5 5 5 5 5 5 5] >>",
                              "<< /Type /Annot /Subtype /Text /Rect [100 100 120 120] /Name /NoSuchIcon >>",
                              "<< /Type /Annot /Subtype /Caret /Rect [10 100 30 130] /C [0 0 1] >>",
                              "<< /Type /Annot /Subtype /FileAttachment /Rect [200 100 220 120] >>",
                              "<< /Type /Annot /Subtype /Stamp /Rect [10 200 210 250] /Name /Draft >>",
                          }),
            "");
  CommandResult r = Regenerate(Quote(in) + " -o " + Quote(out));
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* row :
       {"Square                1        3\n", "Circle                1        1\n",
        "Polygon               0        1\n", "PolyLine              1        0\n",
        "Line                  1        0\n", "Ink                   1        1\n",
        "Highlight             1        0\n", "Underline             0        1\n",
        "StrikeOut             0        1\n", "Squiggly              0        1\n",
        "Text                  1        0\n", "Caret                 1        0\n",
        "FileAttachment        1        0\n", "Stamp                 1        0\n",
        "1 other annotation left as they were"})
    EXPECT_NE(r.output.find(row), std::string::npos) << row << r.output;
  for (const char* reason :
       {"skipped page 1, annotation 2 (Square): empty /Rect",
        "skipped page 1, annotation 4 (Polygon): /Vertices of odd length",
        "skipped page 1, annotation 7 (Ink): /InkList holds a non-array",
        "skipped page 1, annotation 9 (Square): cloud intensity out of range",
        "skipped page 1, annotation 10 (Square): dash array too long",
        "skipped page 1, annotation 11 (Circle): /Rect out of range",
        "skipped page 1, annotation 14 (Underline): /QuadPoints holds no complete quadrilateral",
        "skipped page 1, annotation 15 (StrikeOut): /QuadPoints holds a number that is not finite or out of range",
        "skipped page 1, annotation 16 (Squiggly): /QuadPoints holds no quadrilateral with an area"})
    EXPECT_NE(r.output.find(reason), std::string::npos) << reason << "\n" << r.output;

  CommandResult check = Shell("qpdf --check " + Quote(out));
  EXPECT_EQ(check.status, 0) << check.output;
  SavedPdf saved(out);
  ASSERT_TRUE(saved.ok());
  // The skipped square and markups keep their old appearances; the others
  // got one.
  for (int kept : {1, 13, 14}) EXPECT_EQ(saved.Appearance(kept), OldAppearance()) << kept;
  EXPECT_EQ(saved.Appearance(0).substr(0, 21), "1.000 0.000 0.000 RG\n");
  EXPECT_NE(saved.Appearance(12).find(" h\nf\n"), std::string::npos);
  EXPECT_NE(saved.Appearance(16).find(" B*\n"), std::string::npos);  // the unknown icon draws the note
  EXPECT_NE(saved.Appearance(19).find("(DRAFT) Tj"), std::string::npos);
  for (int i = 0; i < 20; ++i) {
    std::string content = saved.Appearance(i);
    EXPECT_EQ(content.find("nan"), std::string::npos) << i;
    EXPECT_EQ(content.find("inf"), std::string::npos) << i;
  }
}

TEST_F(RegenerateTest, RebuildingTwiceLeavesNoOrphansAndMissingOnlyKeepsExisting) {
  std::string in = dir_ / "in.pdf", once = dir_ / "once.pdf", twice = dir_ / "twice.pdf", kept = dir_ / "kept.pdf";
  ASSERT_EQ(WriteShapePdf(in, 200, 200,
                          {"<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] /C [1 0 0] /CA 0.5 >>",
                           "<< /Type /Annot /Subtype /Circle /Rect [60 10 90 40] /IC [0 1 0] >>"}),
            "");
  ASSERT_EQ(Regenerate(Quote(in) + " -o " + Quote(once)).status, 0);
  ASSERT_EQ(Regenerate(Quote(once) + " -o " + Quote(twice)).status, 0);
  SavedPdf first(once), second(twice);
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(first.ObjectCount(), second.ObjectCount());
  EXPECT_EQ(first.Appearance(0), second.Appearance(0));

  CommandResult r = Regenerate(Quote(once) + " -o " + Quote(kept) + " --missing-only");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Square                0        0        1\n"), std::string::npos) << r.output;
  SavedPdf third(kept);
  EXPECT_EQ(third.ObjectCount(), first.ObjectCount());
}

// Two annotations showing one stream: each gets a stream of its own and the
// shared one, no longer used, is not written.
TEST_F(RegenerateTest, SharedStreamIsReplacedNotOverwritten) {
  std::string in = dir_ / "in.pdf", out = dir_ / "out.pdf";
  ASSERT_EQ(WriteShapePdf(in, 200, 200,
                          {"<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] /C [1 0 0] /AP << >> >>",
                           "<< /Type /Annot /Subtype /Circle /Rect [60 10 90 40] /C [0 0 1] >>"}),
            "");
  // Point the circle at the square's old stream.
  Rewrite(in, [](KPD_Page page) {
    KPD_Object shared = direct::DictGet(direct::DictGet(direct::PageGetAnnot(page, 0), "/AP"), "/N");
    KPD_Object ap = direct::DictNew();
    direct::DictSet(ap, "/N", shared);
    direct::DictSet(direct::PageGetAnnot(page, 1), "/AP", ap);
    direct::ObjectRelease(ap);
  });
  SavedPdf before(in);
  ASSERT_EQ(before.Appearance(1), OldAppearance());
  ASSERT_EQ(Regenerate(Quote(in) + " -o " + Quote(out)).status, 0);
  SavedPdf after(out);
  EXPECT_EQ(after.Appearance(0).substr(0, 21), "1.000 0.000 0.000 RG\n");
  EXPECT_EQ(after.Appearance(1).substr(0, 21), "0.000 0.000 1.000 RG\n");
  // One stream in, two new ones out, the old one gone from the file.
  EXPECT_EQ(ReadFile(out).find(OldAppearance()), std::string::npos);
}

// A stream that one annotation shows as /N and something else also uses
// (another annotation's /D, its own /R, the page's XObject) keeps its
// content; the annotation gets a new stream.
TEST_F(RegenerateTest, StreamUsedElsewhereIsNeverRewrittenInPlace) {
  enum Use { kDownAppearance, kRolloverOfItself, kPageXObject };
  for (Use use : {kDownAppearance, kRolloverOfItself, kPageXObject}) {
    SCOPED_TRACE(use);
    std::string in = dir_ / "in.pdf", out = dir_ / "out.pdf";
    ASSERT_EQ(WriteShapePdf(in, 200, 200,
                            {"<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] /C [1 0 0] /AP << >> >>",
                             "<< /Type /Annot /Subtype /Text /Rect [60 60 80 80] /AP << >> >>"}),
              "");
    Rewrite(in, [use](KPD_Page page) {
      KPD_Dictionary square = direct::PageGetAnnot(page, 0);
      KPD_Object stream = direct::DictGet(direct::DictGet(square, "/AP"), "/N");
      if (use == kDownAppearance) direct::DictSet(direct::DictGet(direct::PageGetAnnot(page, 1), "/AP"), "/D", stream);
      if (use == kRolloverOfItself) direct::DictSet(direct::DictGet(square, "/AP"), "/R", stream);
      if (use == kPageXObject) {
        std::string text = "<< /XObject << >> >>";
        KPD_Object res = direct::ObjectParse(text.data(), text.size());
        direct::DictSet(direct::DictGet(res, "/XObject"), "/Fm0", stream);
        direct::DictSet(page, "/Resources", res);
        direct::ObjectRelease(res);
      }
    });
    ASSERT_EQ(Regenerate(Quote(in) + " -o " + Quote(out)).status, 0);
    SavedPdf after(out);
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(after.Appearance(0).substr(0, 21), "1.000 0.000 0.000 RG\n");
    KPD_Dictionary square = after.Annot(0);
    KPD_Object resources = direct::DictGet(direct::DocGetPage(direct::DocOfObject(square), 0), "/Resources");
    KPD_Object other = use == kDownAppearance     ? direct::DictGet(direct::DictGet(after.Annot(1), "/AP"), "/D")
                       : use == kRolloverOfItself ? direct::DictGet(direct::DictGet(square, "/AP"), "/R")
                                                  : direct::DictGet(direct::DictGet(resources, "/XObject"), "/Fm0");
    EXPECT_EQ(StreamText(other), OldAppearance());
  }
}

TEST_F(RegenerateTest, SampleFilesStayValid) {
  for (const char* name : {"itext_annotation-with-popup_LineDimension.pdf", "pdfjs_bug1146106_VP_GEO.pdf",
                           "poppler-test_imageretrieve+attachment_VP_RL.pdf"}) {
    if (!Exists(SharedPdf(name))) GTEST_SKIP() << "no shared samples";
    std::string out = dir_ / "out.pdf";
    CommandResult r = Regenerate(Quote(SharedPdf(name)) + " -o " + Quote(out));
    ASSERT_EQ(r.status, 0) << name << r.output;
    CommandResult check = Shell("qpdf --check " + Quote(out));
    EXPECT_EQ(check.status, 0) << name << check.output;
  }
}

// Words that hold "inf" or "nan" are text, not numbers: every kind that
// draws text gets its appearance, and the words come out of the page.
TEST_F(RegenerateTest, TextHoldingInfOrNanIsDrawn) {
  const std::string feet =
      "/Measure << /Type /Measure /R (1 in = 10 ft) /X [<< /U (ft) /C 0.138889 /D 100 >>] "
      "/D [<< /U (ft) /C 1 /D 100 >>] /A [<< /U (sq ft) /C 1 /D 100 >>] >>";
  std::string in = dir_ / "in.pdf", out = dir_ / "out.pdf";
  ASSERT_EQ(WriteShapePdf(in, 300, 400,
                          {
                              "<< /Type /Annot /Subtype /FreeText /Rect [20 340 280 380] /DA (/Helv 12 Tf 0 g)"
                              " /Contents (Financial information) >>",
                              "<< /Type /Annot /Subtype /FreeText /IT /FreeTextTypewriter /Rect [20 290 280 320]"
                              " /DA (/Helv 12 Tf 0 g) /Contents (Maintenance log) >>",
                              "<< /Type /Annot /Subtype /Line /L [20 250 280 250] /C [0 0 0] /Cap true"
                              " /Contents (infinite nanometre) >>",
                              "<< /Type /Annot /Subtype /Line /IT /LineDimension /L [20 150 164 150] /C [0 0 1]"
                              " /Cap true /Label (Maintenance bay) /MeasurementTypes 130 " + feet + " >>",
                              "<< /Type /Annot /Subtype /Stamp /Rect [20 20 280 80] /Name /Information >>",
                          }),
            "");
  CommandResult r = Regenerate(Quote(in) + " -o " + Quote(out));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("skipped page"), std::string::npos) << r.output;
  SavedPdf saved(out);
  ASSERT_TRUE(saved.ok());
  for (int i = 0; i < 5; ++i) EXPECT_NE(saved.Appearance(i), "<none>") << i;

  if (!HaveProgram("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  CommandResult text = Shell("pdftotext " + Quote(out) + " -");
  ASSERT_EQ(text.status, 0) << text.output;
  for (const char* words :
       {"Financial information", "Maintenance log", "infinite nanometre", "Maintenance bay", "20.00 ft", "INFORMATION"})
    EXPECT_NE(text.output.find(words), std::string::npos) << words << "\n" << text.output;
}

}  // namespace
