#include "kwannotation/kw_viewport.h"

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

using test::Owned;
using test::Parse;
using test::Write;
namespace host = ks::host;

std::string MeasureText(std::string_view r, std::string_view extra = "") {
  return "<< /Type /Measure /R (" + std::string(r) + ") /X [<< /U (ft) /C 1 >>] /D [<< /U (ft) >>]" +
         " /A [<< /U (sq ft) >>] " + std::string(extra) + " >>";
}

class ViewportTest : public test::HostDocTest {
 protected:
  CKW_MeasureDict Measure(std::string_view r, std::string_view extra = "") {
    return CKW_MeasureDict::Own(Parse(MeasureText(r, extra)).release());
  }
  void SetVP(std::string_view text) {
    Owned vp = Parse(text);
    ASSERT_NE(vp, nullptr);
    host::DictSet(page_, "/VP", vp.get());
  }
};

TEST_F(ViewportTest, NewViewportsComeFirstAndTheSearchStartsAtTheEnd) {
  CKW_PageViewportListImpl list(page_, doc_);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.FindViewportAt({50, 50}), -1);

  CKW_Viewport first = list.AddViewport({100, 100, 0, 0}, Measure("1 in = 10 ft"), u"First");
  ASSERT_TRUE(first);
  CKW_Viewport second = list.AddViewport({50, 50, 200, 200}, Measure("1 in = 20 ft"), u"");
  ASSERT_TRUE(second);
  ASSERT_EQ(list.GetCount(), 2);
  EXPECT_EQ(host::ObjectIsIdentical(list.GetViewport(0).GetDict(), second.GetDict()), 1);
  EXPECT_EQ(list.GetViewport(1)->GetName(), u"First");

  // The box was normalised; the viewport and its measure are indirect.
  std::optional<KS_FloatRect> box = first->GetBBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->left, 0);
  EXPECT_EQ(box->top, 100);
  EXPECT_EQ(host::ObjectIsIndirect(first.GetDict()), 1);
  EXPECT_EQ(host::ObjectIsIndirect(host::DictGet(first.GetDict(), "/Measure")), 1);
  EXPECT_EQ(Write(host::DictGet(first.GetDict(), "/Type")), "/Viewport");
  EXPECT_EQ(host::DictHasKey(second.GetDict(), "/Name"), 0);
  EXPECT_EQ(host::DictHasKey(second.GetDict(), "/NM"), 1);
  EXPECT_EQ(first->GetMeasureDict()->GetRatioText(), u"1 in = 10 ft");

  const struct {
    KS_FloatPoint point;
    int index;
  } cases[] = {
      {{75, 75}, 1},     // in both: the first added, last in "VP"
      {{150, 150}, 0},   // only in the second
      {{10, 10}, 1},     // only in the first
      {{0, 100}, 1},     // on the edge
      {{200, 200}, 0},   // on the far corner
      {{300, 10}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y);
    EXPECT_EQ(list.FindViewportAt(c.point), c.index);
    CKW_Viewport found = list.FindViewportObjectAt(c.point);
    EXPECT_EQ(bool(found), c.index >= 0);
  }
}

TEST_F(ViewportTest, SearchSkipsViewportsThatCannotMeasure) {
  SetVP("[<< /BBox [0 0 100 100] /Measure " + MeasureText("1 in = 1 ft") + " >>"
        " << /BBox [0 0 100 100] /Measure " + MeasureText("   ") + " >>"
        " << /BBox [0 0 100 100] /Measure " + MeasureText("1 in = 2 ft", "/Subtype /GEO") + " >>"
        " << /BBox [0 0 100 100] /Measure " + MeasureText("1 in = 3 ft", "/T [<< /U () >>]") + " >>"
        " << /BBox [0 0 100] /Measure " + MeasureText("1 in = 4 ft") + " >>"
        " << /BBox [0 0 100 100] /Measure 5 >>"
        " 7 ]");
  CKW_PageViewportListImpl list(page_, doc_);
  EXPECT_EQ(list.GetCount(), 7);
  EXPECT_FALSE(list.GetViewport(6));
  EXPECT_FALSE(list.GetViewport(5)->GetMeasureDict());
  EXPECT_FALSE(list.GetViewport(4)->GetBBox().has_value());
  EXPECT_FALSE(list.GetViewport(99));
  // The blank ratio text is only a label: X's factor measures (CAD
  // programs write viewports so).
  EXPECT_EQ(list.FindViewportAt({50, 50}), 1);
}

TEST_F(ViewportTest, MalformedVPHoldsNoViewportsIsReplacedOnAddAndAnEmptyOneIsRemoved) {
  SetVP(MeasureText("1 in = 40 ft"));
  CKW_PageViewportListImpl list(page_, doc_);
  EXPECT_TRUE(list.HasMalformedVP());
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.FindViewportAt({1, 1}), -1);
  list.RemoveEmptyVP();  // not an empty array: left alone
  EXPECT_EQ(host::DictHasKey(page_, "/VP"), 1);

  ASSERT_TRUE(list.AddViewport({0, 0, 10, 10}, Measure("1 in = 1 in"), u"Fresh"));
  EXPECT_FALSE(list.HasMalformedVP());
  EXPECT_EQ(list.GetCount(), 1);
  list.RemoveEmptyVP();
  EXPECT_EQ(list.GetCount(), 1);
  host::ArrayRemove(host::DictGet(page_, "/VP"), 0);
  list.RemoveEmptyVP();
  EXPECT_EQ(host::DictHasKey(page_, "/VP"), 0);
}

TEST_F(ViewportTest, AddRefusesInvalidMeasuresAndLeavesThePageAlone) {
  CKW_PageViewportListImpl list(page_, doc_);
  EXPECT_FALSE(list.AddViewport({0, 0, 10, 10}, Measure("1 in = 1 in", "/SubType /GEO"), u"Geo"));
  EXPECT_FALSE(list.AddViewport({0, 0, 10, 10}, Measure(""), u"NoRatio"));
  EXPECT_FALSE(list.AddViewport({0, 0, 10, 10}, CKW_MeasureDict(), u"None"));
  float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(list.AddViewport({0, 0, nan, 10}, Measure("1 in = 1 in"), u"NaN"));
  EXPECT_EQ(host::DictHasKey(page_, "/VP"), 0);
  EXPECT_FALSE(CKW_PageViewportListImpl(nullptr, doc_).AddViewport({0, 0, 1, 1}, Measure("1 in = 1 in"), u""));
}

TEST_F(ViewportTest, PageOutsideADocumentKeepsDirectObjects) {
  Owned page = Parse("<< /Type /Page >>");
  CKW_PageViewportListImpl list(page.get(), nullptr);
  CKW_MeasureDict measure = Measure("1 in = 1 in");
  CKW_Viewport vp = list.AddViewport({0, 0, 10, 10}, measure, u"Direct");
  ASSERT_TRUE(vp);
  EXPECT_EQ(vp->GetName(), u"Direct");
  EXPECT_EQ(list.FindViewportAt({5, 5}), 0);
}

// Files made by other programs.
TEST(ViewportSamples, GeospatialAndMalformedViewportsNeverMeasure) {
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  ks::host::ByteString error;
  KPD_Document geo =
      host::DocOpenFile(ANNOT_SOURCE_DIR "/../shared/anchors/pdfs/pdfjs_bug1146106_VP_GEO.pdf", error.get());
  ASSERT_NE(geo, nullptr) << error.str();
  CKW_PageViewportListImpl geoList(host::DocGetPage(geo, 0), geo);
  ASSERT_EQ(geoList.GetCount(), 1);
  CKW_Viewport vp = geoList.GetViewport(0);
  std::optional<KS_FloatRect> box = vp->GetBBox();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->bottom, 0);
  EXPECT_EQ(box->top, 522);
  EXPECT_NEAR(box->right, 715.14656, 1e-3);
  CKW_MeasureDict measure = vp->GetMeasureDict();
  ASSERT_TRUE(measure);
  EXPECT_TRUE(measure->IsGeospatial());
  EXPECT_FALSE(measure.IsValid());
  EXPECT_EQ(geoList.FindViewportAt({100, 100}), -1);
  host::DocClose(geo);

  KPD_Document rl = host::DocOpenFile(
      ANNOT_SOURCE_DIR "/../shared/anchors/pdfs/poppler-test_imageretrieve+attachment_VP_RL.pdf", error.get());
  ASSERT_NE(rl, nullptr) << error.str();
  CKW_PageViewportListImpl rlList(host::DocGetPage(rl, 0), rl);
  EXPECT_TRUE(rlList.HasMalformedVP());
  EXPECT_EQ(rlList.GetCount(), 0);
  EXPECT_EQ(rlList.FindViewportAt({100, 100}), -1);
  host::DocClose(rl);
}

}  // namespace
}  // namespace kwannotation
