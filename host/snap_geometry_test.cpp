#include "host/snap_geometry.h"

#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>

#include <cmath>
#include <string>

#include "host/host_functions.h"
#include "host/pdf_test_support.h"
#include "host/snap_service.h"

namespace kshost::snap {
namespace {

const double kIdentity[6] = {1, 0, 0, 1, 0, 0};

std::string Describe(const Geometry& g) {
  std::string s;
  for (const Segment& seg : g.segments) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%g,%g-%g,%g ", seg.x1, seg.y1, seg.x2, seg.y2);
    s += buf;
  }
  return s;
}

struct ExtractCase {
  const char* name;
  std::string content;
  const char* segments;  // "x1,y1-x2,y2 " each
};

TEST(SnapGeometry, ContentOperatorsGiveThePaintedSegmentsInPageSpace) {
  const ExtractCase cases[] = {
      {"stroked line", "10 20 m 30 20 l S", "10,20-30,20 "},
      {"rectangle", "0 0 10 5 re f", "0,0-10,0 10,0-10,5 10,5-0,5 0,5-0,0 "},
      {"closed path", "0 0 m 4 0 l 4 3 l h S", "0,0-4,0 4,0-4,3 4,3-0,0 "},
      {"closing stroke", "0 0 m 4 0 l 4 3 l s", "0,0-4,0 4,0-4,3 4,3-0,0 "},
      {"cm scales and moves", "2 0 0 2 5 5 cm 0 0 m 10 0 l S", "5,5-25,5 "},
      {"cm after cm", "1 0 0 1 10 0 cm 2 0 0 2 0 0 cm 1 1 m 2 1 l S", "12,2-14,2 "},
      {"Q restores the matrix", "q 2 0 0 2 0 0 cm Q 0 0 m 1 0 l S", "0,0-1,0 "},
      {"unbalanced Q is ignored", "Q Q Q 0 0 m 1 0 l S", "0,0-1,0 "},
      {"unbalanced q is harmless", std::string(2000, 'q') + " 0 0 m 1 0 l S", "0,0-1,0 "},
      {"clipping path only", "0 0 m 10 0 l W n", ""},
      {"unpainted path dropped", "0 0 m 10 0 l 0 5 m 10 5 l S", "0,0-10,0 0,5-10,5 "},
      {"dash array operand", "[3 2] 0 d 0 0 m 5 0 l S", "0,0-5,0 "},
      {"inline image skipped", "BI /W 1 /H 1 /BPC 8 /CS /G ID \x01 EI 0 0 m 5 0 l S", "0,0-5,0 "},
      {"text is no geometry", "BT /F1 12 Tf (m l re) Tj ET 0 0 m 5 0 l S", "0,0-5,0 "},
      {"line without a start", "5 0 l S", ""},
      {"operands missing", "0 m 5 0 l S 0 0 5 re f", ""},
      {"NaN is no number", "0 0 m NaN 0 l S", ""},
      {"huge number dropped", "0 0 m 1" + std::string(400, '0') + " 0 l S", ""},
      {"singular cm collapses", "0 0 0 0 7 7 cm 0 0 m 5 5 l S", "7,7-7,7 "},
      {"overflow to infinity dropped",
       "1" + std::string(300, '0') + " 0 0 1" + std::string(300, '0') + " 0 0 cm 0 0 m 1" + std::string(300, '0') +
           " 0 l S",
       ""},
      {"operators run together", "0 0 m 5 0 l\nS\n1 1 m\r2 2 l S", "0,0-5,0 1,1-2,2 "},
  };
  for (const ExtractCase& c : cases) {
    const Geometry g = ExtractContent(c.content, QPDFObjectHandle(), kIdentity);
    EXPECT_EQ(Describe(g), c.segments) << c.name;
  }
}

// The joints between the pieces of a curve are no vertices, and no
// crossings either.
TEST(SnapGeometry, CurvesAreFlattenedWithVerticesOnlyAtTheirEnds) {
  const Index index(ExtractContent("0 0 m 0 50 50 50 50 0 c S", QPDFObjectHandle(), kIdentity));
  const Geometry& g = index.geometry();
  ASSERT_GE(g.segments.size(), 4u);
  EXPECT_EQ(g.segments.front().x1, 0);
  EXPECT_EQ(g.segments.back().x2, 50);
  EXPECT_EQ(g.segments.back().y2, 0);
  for (size_t i = 0; i < g.segments.size(); ++i) {
    const Segment& s = g.segments[i];
    EXPECT_EQ((s.flags & Segment::kStartVertex) != 0, i == 0) << i;
    EXPECT_EQ((s.flags & Segment::kEndVertex) != 0, i + 1 == g.segments.size()) << i;
    EXPECT_EQ(s.flags & Segment::kHasMidpoint, 0) << i;
    if (i > 0) EXPECT_EQ(s.x1, g.segments[i - 1].x2);
  }
  // The top of the arch, at t = 1/2, is 37.5 high.
  double top = 0;
  for (const Segment& s : g.segments) top = std::max(top, s.y2);
  EXPECT_NEAR(top, 37.5, 0.5);
  const Segment& s = g.segments[g.segments.size() / 2];
  const KS_Matrix view{1, 0, 0, -1, 0, 800};
  EXPECT_EQ(index.Query(view, s.x1, 800 - s.y1, 8, Modes{false, false, true, false}).kind, 0);
}

// A page drawing a form that draws itself, and a second form that calls
// the first, each under its own /Matrix.
class SnapForms : public ::testing::Test {
 protected:
  void SetUp() override {
    qpdf_.emptyPDF();
    QPDFObjectHandle self = qpdf_.newStream("0 0 m 10 0 l S /Self Do /Other Do");
    QPDFObjectHandle other = qpdf_.newStream("0 0 m 0 1 l S /Back Do");
    for (QPDFObjectHandle* f : {&self, &other}) {
      f->getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
      f->getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    }
    self.getDict().replaceKey("/Matrix", QPDFObjectHandle::parse("[2 0 0 2 0 0]"));
    other.getDict().replaceKey("/Matrix", QPDFObjectHandle::parse("[1 0 0 1 0 100]"));
    self.getDict().replaceKey("/Resources", QPDFObjectHandle::parse("<< /XObject << >> >>"));
    self.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/Self", self);
    self.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/Other", other);
    other.getDict().replaceKey("/Resources", QPDFObjectHandle::parse("<< /XObject << >> >>"));
    other.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/Back", self);
    resources_ = QPDFObjectHandle::parse("<< /XObject << >> >>");
    resources_.getKey("/XObject").replaceKey("/F", self);
  }
  QPDF qpdf_;
  QPDFObjectHandle resources_;
};

TEST_F(SnapForms, FormsAreFollowedWithTheirMatrixAndACycleIsDrawnOnce) {
  const Geometry g = ExtractContent("q 1 0 0 1 100 0 cm /F Do Q 0 0 m 1 1 l S", resources_, kIdentity);
  // F at (100, 0) doubled; Other inside it moved up by 100 (200 on the
  // page); Back would be F again, which is already being drawn.
  EXPECT_EQ(Describe(g), "100,0-120,0 100,200-100,202 0,0-1,1 ");
  EXPECT_EQ(g.streams.size(), 2u);
}

TEST_F(SnapForms, PageIndexIsKeptUntilItsContentChanges) {
  QPDFObjectHandle content = qpdf_.newStream("0 0 m 50 0 l S");
  QPDFObjectHandle page = qpdf_.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page >>"));
  page.replaceKey("/Contents", content);
  const size_t before = BuildCount();
  auto first = PageIndex(page);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->geometry().segments.size(), 1u);
  EXPECT_EQ(PageIndex(page), first);
  EXPECT_EQ(BuildCount(), before + 1);

  content.replaceStreamData("0 0 m 50 0 l 50 50 l S", QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
  NoteStreamChanged(content);
  auto second = PageIndex(page);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->geometry().segments.size(), 2u);

  // A new /Contents is noticed without being told.
  page.replaceKey("/Contents", qpdf_.newStream("0 0 10 10 re f"));
  EXPECT_EQ(PageIndex(page)->geometry().segments.size(), 4u);
  EXPECT_EQ(BuildCount(), before + 3);
}

// Device pixels at zoom z, y down, on a page 800 high.
KS_Matrix View(float z) { return {z, 0, 0, -z, 0, 800 * z}; }

struct QueryCase {
  const char* name;
  Modes modes;
  float zoom;
  double px, py;  // the pointer, in page space
  int kind;
  double x, y;
};

// Each case's pointer, put on the device at its zoom, within 8 px.
template <size_t N>
void ExpectHits(const Index& index, const QueryCase (&cases)[N]) {
  for (const QueryCase& c : cases) {
    const KS_Matrix m = View(c.zoom);
    const double dx = m.a * c.px + m.e, dy = m.d * c.py + m.f;
    const Hit hit = index.Query(m, dx, dy, 8, c.modes);
    EXPECT_EQ(hit.kind, c.kind) << c.name;
    if (hit.kind != c.kind || c.kind == 0) continue;
    EXPECT_EQ(hit.point.x, float(c.x)) << c.name;
    EXPECT_EQ(hit.point.y, float(c.y)) << c.name;
  }
}

// The radius, the kinds alone and an end against a nearer line are also
// checked through sessions on a floor plan.
TEST(SnapQuery, MidpointsCrossingsAndCorners) {
  // A wall from (0,0) to (100,0), a crossing wall at x = 30 from y = -20 to
  // 80 (its midpoint at (30, 30)), a short stub beside the crossing (its
  // midpoint at (34, -6)) and a rectangle far off.
  Index index(ExtractContent("0 0 m 100 0 l S 30 -20 m 30 80 l S 34 -10 m 34 -2 l S 300 300 40 40 re f",
                             QPDFObjectHandle(), kIdentity));
  Modes end{true, false, false, false}, mid{false, true, false, false}, inter{false, false, true, false},
      all{true, true, true, true}, midInter{false, true, true, false};
  const QueryCase cases[] = {
      {"midpoint", mid, 1, 52, 3, KS_SNAP_MID, 50, 0},
      {"a nearer midpoint beats an intersection", midInter, 1, 33, -4, KS_SNAP_MID, 34, -6},
      {"intersection alone", inter, 1, 33, -4, KS_SNAP_INTER, 30, 0},
      {"midpoint alone", mid, 1, 33, -4, KS_SNAP_MID, 34, -6},
      {"rectangle corner", end, 1, 338, 302, KS_SNAP_END, 340, 300},
      {"rectangle edges meet at its corner", inter, 1, 338, 302, KS_SNAP_INTER, 340, 300},
      {"nothing near", all, 1, 200, 200, 0, 0, 0},
  };
  ExpectHits(index, cases);
}

TEST(SnapQuery, TheFeatureNearestThePointerWinsAndItsKindOnlyBreaksNearTies) {
  // Two walls crossing at (100.3, 100), their ends far off; a dimension
  // tick whose end is (100, 101.5); a stub whose end is (200.8, 200) and
  // whose midpoint is (200, 200.5).
  Index index(ExtractContent("90 100 m 500 100 l S 100.3 90 m 100.3 500 l S 100 101.5 m 96 105 l S "
                             "200.8 200 m 199.2 201 l S",
                             QPDFObjectHandle(), kIdentity));
  Modes all{true, true, true, true}, endInter{true, false, true, false}, endMid{true, true, false, false};
  const QueryCase cases[] = {
      // The corner is 0.3 px from the pointer, the tick's end 1.5 px (with
      // ends and crossings only, a session checks it).
      {"a corner beats a farther end", all, 1, 100, 100, KS_SNAP_INTER, 100.3f, 100},
      // Zoomed to 4 the same page distances are 1.2 and 6 px.
      {"zoomed in", endInter, 4, 100, 100, KS_SNAP_INTER, 100.3f, 100},
      // The end 0.8 px off, the midpoint 0.5 px: within a pixel, the end.
      {"an end within a pixel of a midpoint", endMid, 1, 200, 200, KS_SNAP_END, 200.8f, 200},
      // At zoom 4 they are 3.2 and 2 px apart from the pointer.
      {"a midpoint more than a pixel nearer", endMid, 4, 200, 200, KS_SNAP_MID, 200, 200.5f},
      {"a point on a line only without features", all, 1, 400, 103, KS_SNAP_NEAR, 400, 100},
  };
  ExpectHits(index, cases);
}

}  // namespace
}  // namespace kshost::snap
