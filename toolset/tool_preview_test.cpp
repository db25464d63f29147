// Tool previews drawn from the tool's own appearance: a captured tool is
// placed in a scratch document (never the user's) and its appearance drawn
// into the display list, fitted to a cell or at page scale under the pointer;
// a tool whose appearance cannot be made real shows its outline.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/device.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_test_support.h"
#include "sdk/ks_host_binding.h"
#include "toolset/tool_preview.h"

namespace AnnotationPlugin {
namespace {

namespace host = ks::host;
using kshost::DrawItem;
using kwannotation::test::Owned;
using kwannotation::test::Parse;

constexpr KS_ColorRef kRed = 0x0000FF, kOutline = 0x123456;

class ToolPreviewTest : public kwannotation::test::HostDocTest {
 protected:
  void TearDown() override {
    if (device_) kshost::ReleaseDevice(device_);
    previews_.Clear();
    HostDocTest::TearDown();
  }

  // Captures the annotation `text` (with its appearance generated) as a tool.
  std::shared_ptr<CAnnot_Tool> CaptureShape(const std::string& text) {
    KPD_Dictionary a = Add(text);
    std::string reason;
    auto fn = kwannotation::AppearanceFor(a, nullptr);
    EXPECT_TRUE(fn && fn(a, &reason, {})) << reason;
    return Capture();
  }

  std::shared_ptr<CAnnot_Tool> Capture() {
    const int32_t index = host::PageAnnotCount(page_) - 1;
    EXPECT_TRUE(set_.AddTool(page_, index));
    return set_.tools.empty() ? nullptr : set_.tools.back();
  }

  std::vector<DrawItem> Items(DrawItem::Kind kind) const {
    std::vector<DrawItem> found;
    for (const DrawItem& item : device_->items)
      if (item.kind == kind) found.push_back(item);
    return found;
  }

  static bool Inside(const DrawItem& item, const KS_DeviceRect& r) {
    return std::all_of(item.points.begin(), item.points.end(), [&](const KS_DevicePoint& p) {
      return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom;
    });
  }

  CAnnot_ToolSet set_;
  CToolPreviews previews_;
  KA_Device device_ = kshost::NewDevice();
};

// Today's outline would be a single rectangle; the appearance of a cloudy
// square is arcs, in the square's colour, inside the cell.
TEST_F(ToolPreviewTest, ACloudySquareInACellDrawsItsRedArcs) {
  auto tool = CaptureShape("<</Subtype/Square/Rect[100 100 200 180]/C[1 0 0]/BE<</S/C/I 1>>/BS<</W 2>>/NM(cloud)>>");
  ASSERT_TRUE(tool);
  const KS_DeviceRect cell{4, 52, 36, 84};
  ASSERT_TRUE(previews_.DrawInCell(device_, tool, cell, kOutline));
  EXPECT_TRUE(Items(DrawItem::Kind::Rect).empty());
  const std::vector<DrawItem> paths = Items(DrawItem::Kind::Path);
  ASSERT_FALSE(paths.empty());
  size_t points = 0;
  for (const DrawItem& p : paths) {
    EXPECT_EQ(p.pen.color, kRed);
    EXPECT_TRUE(Inside(p, cell)) << kshost::TraceLine(p);
    points += p.points.size();
  }
  EXPECT_GT(points, 20u);  // arcs, not four corners
  // The square is wider than tall: it spans the cell's width.
  int left = cell.right, right = cell.left;
  for (const DrawItem& p : paths)
    for (const KS_DevicePoint& pt : p.points) left = std::min(left, pt.x), right = std::max(right, pt.x);
  EXPECT_LE(left, cell.left + 1);
  EXPECT_GE(right, cell.right - 1);
}

// The copy is placed once and drawn again from the cache; the user's page
// keeps only its own annotation, and clearing forgets the copy.
TEST_F(ToolPreviewTest, APreviewLeavesTheUsersDocumentAloneAndIsPlacedOnce) {
  auto tool = CaptureShape("<</Subtype/Circle/Rect[10 10 50 50]/C[0 0 1]/NM(ci)>>");
  ASSERT_TRUE(tool);
  const KS_DeviceRect cell{0, 0, 40, 40};
  ASSERT_TRUE(previews_.DrawInCell(device_, tool, cell, kOutline));
  const size_t first = device_->items.size();
  ASSERT_TRUE(previews_.DrawInCell(device_, tool, cell, kOutline));
  EXPECT_EQ(device_->items.size(), 2 * first);
  EXPECT_EQ(previews_.CachedCount(), 1u);
  EXPECT_EQ(host::PageAnnotCount(page_), 1);
  previews_.Clear();
  EXPECT_EQ(previews_.CachedCount(), 0u);
}

TEST_F(ToolPreviewTest, AToolWithAnImageResourceDrawsTheImage) {
  KPD_Stream image = host::DocNewStream(doc_, "\x10\x20\x30\x40", 4);
  Owned imageDict = Parse("<</Type/XObject/Subtype/Image/Width 2/Height 2/ColorSpace/DeviceGray/BitsPerComponent 8>>");
  const std::string form = "q 40 0 0 30 0 0 cm /Im Do Q 0 0 1 RG 0 0 40 30 re S";
  KPD_Stream ap = host::DocNewStream(doc_, form.data(), form.size());
  Owned apDict = Parse("<</Type/XObject/Subtype/Form/BBox[0 0 40 30]/Resources<</XObject<<>>>>>>");
  for (const char* key : {"/Type", "/Subtype", "/Width", "/Height", "/ColorSpace", "/BitsPerComponent"})
    host::DictSet(host::StreamGetDict(image), key, host::DictGet(imageDict.get(), key));
  for (const char* key : {"/Type", "/Subtype", "/BBox", "/Resources"})
    host::DictSet(host::StreamGetDict(ap), key, host::DictGet(apDict.get(), key));
  KPD_Object xobjects = host::DictGet(host::DictGet(host::StreamGetDict(ap), "/Resources"), "/XObject");
  host::DictSet(xobjects, "/Im", image);
  KPD_Dictionary stamp = Add("<</Subtype/Stamp/Rect[300 300 340 330]/Name/Approved/NM(pic)/AP<<>>>>");
  host::DictSet(host::DictGet(stamp, "/AP"), "/N", ap);
  auto tool = Capture();
  ASSERT_TRUE(tool);
  ASSERT_EQ(tool->resources.size(), 2u);  // the form and its image

  // At page scale under the pointer: the box's upper-left corner at the
  // pointer, page y flipped on a page 792 high.
  const KS_Matrix view{1, 0, 0, -1, 0, 792};
  ASSERT_TRUE(previews_.DrawAt(device_, tool, view, {100, 500}, 0, kOutline));
  const std::vector<DrawItem> images = Items(DrawItem::Kind::Image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(kshost::TraceLine(images[0]), "draw: image 100 322 140 322 140 292 100 292 pen #000000 1");
  const std::vector<DrawItem> paths = Items(DrawItem::Kind::Path);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(kshost::TraceLine(paths[0]), "draw: path 100 322 140 322 140 292 100 292 closed pen #0000FF 1");
}

// The preview under the pointer is what a click there places, on pages
// turned every way: the placed annotation's appearance draws the same
// display list as the preview (give or take a pixel of rounding).
TEST_F(ToolPreviewTest, ThePointerPreviewDrawsWhereAClickPlacesTheTool) {
  auto tool = CaptureShape("<</Subtype/PolyLine/Rect[290 290 430 390]/Vertices[300 300 350 380 420 310]"
                           "/LE[/OpenArrow/ClosedArrow]/C[0 0 1]/IC[0 1 0]/BS<</W 2>>/NM(poly)>>");
  ASSERT_TRUE(tool);
  const KS_FloatPoint at{250, 400};
  const KS_Matrix view{1, 0, 0, -1, 0, 842};
  for (int rotation : {0, 90, 180, 270}) {
    KS_FloatRect a4{0, 0, 595, 842};
    KPD_Page page = host::DocAddPage(doc_, &a4);
    host::PageSetRotation(page, rotation);
    std::vector<KPD_Dictionary> placed;
    std::string error;
    ASSERT_TRUE(PlaceTool(doc_, host::DocGetPageIndex(doc_, page), *tool, at.x, at.y, &placed, &error)) << error;
    KA_Device expected = kshost::NewDevice();
    for (KPD_Dictionary d : placed) EXPECT_TRUE(host::DeviceDrawAppearance(expected, d, &view));
    device_->items.clear();
    KS_FloatRect bounds{};
    ASSERT_TRUE(previews_.DrawAt(device_, tool, view, at, rotation, kOutline, &bounds));
    ASSERT_EQ(device_->items.size(), expected->items.size()) << rotation;
    for (size_t i = 0; i < expected->items.size(); ++i) {
      const DrawItem &got = device_->items[i], &want = expected->items[i];
      EXPECT_EQ(got.pen.color, want.pen.color);
      ASSERT_EQ(got.points.size(), want.points.size()) << rotation << " item " << i;
      for (size_t k = 0; k < want.points.size(); ++k) {
        EXPECT_NEAR(got.points[k].x, want.points[k].x, 1) << rotation << " item " << i;
        EXPECT_NEAR(got.points[k].y, want.points[k].y, 1) << rotation << " item " << i;
      }
    }
    // What the preview covers is the placed rectangle.
    KS_FloatRect rect{};
    ASSERT_TRUE(host::RectFromObject(host::DictGet(placed[0], "/Rect"), &rect));
    EXPECT_NEAR(bounds.left, rect.left, 0.01) << rotation;
    EXPECT_NEAR(bounds.top, rect.top, 0.01) << rotation;
    EXPECT_NEAR(bounds.right, rect.right, 0.01) << rotation;
    EXPECT_NEAR(bounds.bottom, rect.bottom, 0.01) << rotation;
    kshost::ReleaseDevice(expected);
  }
}

// A tool whose stored appearance names a resource it does not hold: the
// placed copy has no form to draw, so the member shows its outline.
TEST_F(ToolPreviewTest, AToolMissingItsResourceFallsBackToTheOutline) {
  auto tool = CaptureShape("<</Subtype/Square/Rect[0 0 40 20]/C[1 0 0]/NM(broken)>>");
  ASSERT_TRUE(tool);
  ASSERT_FALSE(tool->resources.empty());
  tool->resources.clear();
  const KS_DeviceRect cell{0, 0, 40, 40};
  ASSERT_TRUE(previews_.DrawInCell(device_, tool, cell, kOutline));
  ASSERT_EQ(device_->items.size(), 1u);
  EXPECT_EQ(kshost::TraceLine(device_->items[0]), "draw: rect 0 10 40 30 pen #563412 1");
  // A tool without a dictionary is not drawn at all.
  auto empty = std::make_shared<CAnnot_Tool>();
  EXPECT_FALSE(previews_.DrawInCell(device_, empty, cell, kOutline));
  EXPECT_EQ(device_->items.size(), 1u);
}

}  // namespace
}  // namespace AnnotationPlugin
