// Capturing annotations into tools and placing them elsewhere: the placed
// annotations are the sources moved, with their appearances and resources.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_test_support.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"
#include "toolset/annot_toolset.h"

namespace AnnotationPlugin {
namespace {

namespace host = ks::host;
using kwannotation::test::Owned;
using kwannotation::test::Parse;

const std::set<std::string> kPlaceKeys = {"/P", "/NM", "/CreationDate", "/M", "/T", "/Type", "/Popup", "/IRT"};
const std::set<std::string> kPointKeys = {"/Rect", "/L", "/Vertices", "/CL", "/CLEx", "/InkList"};

// The annotation as text with its identity left out, every coordinate moved
// by (dx, dy) and rounded, streams written with their decoded data.
std::string Normalised(KPD_Object o, double dx, double dy, bool points = false, int depth = 0) {
  if (depth > 30) return "...";
  switch (host::ObjectGetType(o)) {
    case KPD_OBJ_NUMBER: return ks::FormatFixed(host::ObjectGetNumber(o), 2);
    case KPD_OBJ_ARRAY: {
      std::string s = "[";
      int n = host::ArrayCount(o);
      for (int i = 0; i < n; ++i) {
        KPD_Object item = host::ArrayGet(o, i);
        if (points && host::ObjectGetType(item) == KPD_OBJ_NUMBER)
          s += ks::FormatFixed(host::ObjectGetNumber(item) + (i % 2 ? dy : dx), 2) + " ";
        else
          s += Normalised(item, dx, dy, points, depth + 1) + " ";
      }
      return s + "]";
    }
    case KPD_OBJ_DICTIONARY:
    case KPD_OBJ_STREAM: {
      bool stream = host::ObjectGetType(o) == KPD_OBJ_STREAM;
      KPD_Dictionary d = stream ? host::StreamGetDict(o) : o;
      std::set<std::string> keys;
      for (int i = 0; i < host::DictKeyCount(d); ++i) {
        host::ByteString k;
        host::DictKeyAt(d, i, k.get());
        keys.insert(k.str());
      }
      std::string s = "<<";
      for (const std::string& k : keys) {
        if (kPlaceKeys.count(k) || (stream && (k == "/Length" || k == "/Filter" || k == "/DecodeParms"))) continue;
        s += k + " " + Normalised(host::DictGet(d, k.c_str()), dx, dy, depth == 0 && kPointKeys.count(k), depth + 1);
      }
      s += ">>";
      if (stream) {
        host::ByteString data;
        host::StreamGetData(o, 1, data.get());
        s += "stream(" + data.str() + ")";
      }
      return s;
    }
    default: return kwannotation::test::Write(o);
  }
}

class ToolsetCaptureTest : public kwannotation::test::HostDocTest {
 protected:
  KPD_Dictionary AddShape(const std::string& text) {
    KPD_Dictionary a = Add(text);
    std::string reason;
    auto fn = kwannotation::AppearanceFor(a, nullptr);
    EXPECT_TRUE(fn && fn(a, &reason, {})) << reason;
    return a;
  }

  // Captures, writes, reads back, places each tool on page 2 of a new
  // document, and compares each member with its source.
  void RoundTrip(const std::vector<int>& indices, const std::vector<std::vector<int>>& groups) {
    CAnnot_ToolSet set;
    for (int i : indices) ASSERT_TRUE(set.AddTool(page_, i)) << i;
    std::vector<ToolsetProblem> problems;
    auto loaded = ReadToolSet(WriteToolSet(set), u"/x/t.ktz", &problems);
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(problems.empty()) << problems[0].where << problems[0].why;
    ASSERT_EQ(loaded->tools.size(), indices.size());

    KPD_Document other = host::DocNew();
    KS_FloatRect a4{0, 0, 595, 842};
    host::DocAddPage(other, &a4);
    KPD_Page target = host::DocAddPage(other, &a4);
    host::PageAppendContent(target, "", 0);
    for (size_t t = 0; t < indices.size(); ++t) {
      const CAnnot_Tool& tool = *loaded->tools[t];
      EXPECT_EQ(tool.children.size() + 1, groups[t].size());
      // The members' box on the source page, to know where they land.
      KS_FloatRect box{};
      for (size_t k = 0; k < groups[t].size(); ++k) {
        KS_FloatRect r{};
        host::RectFromObject(host::DictGet(host::PageGetAnnot(page_, groups[t][k]), "/Rect"), &r);
        if (k == 0) box = r;
        else host::RectUnion(&box, &r, &box);
      }
      const float x = 40, y = 800;
      int32_t before = host::PageAnnotCount(target);
      std::vector<KPD_Dictionary> placed;
      std::string error;
      ASSERT_TRUE(PlaceTool(other, 1, tool, x, y, &placed, &error)) << error;
      ASSERT_EQ(placed.size(), groups[t].size());
      EXPECT_EQ(host::PageAnnotCount(target), before + static_cast<int32_t>(placed.size()));
      std::set<std::string> names;
      for (size_t k = 0; k < placed.size(); ++k) {
        KPD_Dictionary source = host::PageGetAnnot(page_, groups[t][k]);
        EXPECT_EQ(Normalised(placed[k], 0, 0), Normalised(source, x - box.left, y - box.top))
            << "tool " << t << " member " << k;
        host::ByteString nm;
        host::StringGetBytes(host::DictGet(placed[k], "/NM"), nm.get());
        EXPECT_EQ(nm.str().size(), 36u);
        names.insert(nm.str());
        if (k > 0) {
          EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(placed[k], "/IRT"), placed[0]));
        }
      }
      EXPECT_EQ(names.size(), placed.size());
    }
    host::DocClose(other);
  }
};

TEST_F(ToolsetCaptureTest, CloudPolylineDistanceAndGroupPlaceAsTheirSources) {
  AddShape("<</Subtype/Square/Rect[100 100 200 180]/C[1 0 0]/BE<</S/C/I 1>>/BS<</W 2>>/NM(cloud)/T(Ann)>>");
  AddShape("<</Subtype/PolyLine/Rect[290 290 430 390]/Vertices[300 300 350 380 420 310]/LE[/OpenArrow/ClosedArrow]"
           "/C[0 0 1]/IC[0 1 0]/NM(poly)>>");
  KPD_Dictionary measure = Indirect("<</Type/Measure/Subtype/RL/R(1 in = 10 ft)/X[<</U(ft)/C 0.1389/D 100>>]"
                                    "/D[<</U(ft)/C 1/D 100>>]/A[<</U(sq ft)/C 1>>]>>");
  KPD_Dictionary line = AddShape("<</Subtype/Line/IT/LineDimension/Rect[90 490 310 520]/L[100 500 300 500]"
                                 "/LE[/OpenArrow/OpenArrow]/LL 10/Cap true/Contents(20 ft)/C[0 0 0]/NM(dist)>>");
  host::DictSet(line, "/Measure", measure);
  KPD_Dictionary head = AddShape("<</Subtype/Square/Rect[400 600 460 650]/C[0 0.5 0]/NM(grp-head)>>");
  for (const char* member : {"<</Subtype/Circle/Rect[470 600 520 640]/C[0 0.5 0]/RT/Group/NM(grp-1)>>",
                             "<</Subtype/Circle/Rect[400 560 440 590]/C[0 0.5 0]/RT/Group/NM(grp-2)>>"}) {
    KPD_Dictionary m = AddShape(member);
    host::DictSet(m, "/IRT", head);
  }
  RoundTrip({0, 1, 2, 3}, {{0}, {1}, {2}, {3, 4, 5}});
}

TEST_F(ToolsetCaptureTest, AppearanceResourcesAreStoredOnceAndMadeAnew) {
  KPD_Dictionary a = AddShape("<</Subtype/Square/Rect[10 10 60 60]/C[1 0 0]/NM(res)>>");
  // A form, used twice, and a pattern in the appearance's resources.
  KPD_Stream form = host::DocNewStream(doc_, "0 0 m 5 5 l S", 13);
  KPD_Dictionary fd = host::StreamGetDict(form);
  host::DictSet(fd, "/Subtype", Owned(host::NameNew("/Form")).get());
  host::DictSet(fd, "/BBox", Parse("[0 0 5 5]").get());
  KPD_Stream pattern = host::DocNewStream(doc_, "0 0 2 2 re f", 12);
  KPD_Dictionary pd = host::StreamGetDict(pattern);
  host::DictSet(pd, "/PatternType", Owned(host::IntegerNew(1)).get());
  host::DictSet(pd, "/BBox", Parse("[0 0 2 2]").get());
  KPD_Stream n = host::DictGet(host::DictGet(a, "/AP"), "/N");
  Owned resources = Parse("<</XObject<<>>/Pattern<<>>>>");
  host::DictSet(host::DictGet(resources.get(), "/XObject"), "/Fm1", form);
  host::DictSet(host::DictGet(resources.get(), "/XObject"), "/Fm2", form);
  host::DictSet(host::DictGet(resources.get(), "/Pattern"), "/P1", pattern);
  host::DictSet(host::StreamGetDict(n), "/Resources", resources.get());

  CAnnot_ToolSet set;
  ASSERT_TRUE(set.AddTool(page_, 0));
  const CAnnot_Tool& tool = *set.tools[0];
  // The appearance, the form once, the pattern.
  ASSERT_EQ(tool.resources.size(), 3u);
  std::set<std::string> keys;
  for (auto& r : tool.resources) {
    EXPECT_EQ(r->id.rfind("REFID_", 0), 0u);
    EXPECT_EQ(r->id.size(), 6u + 36u);
    keys.insert(r->key);
  }
  EXPECT_EQ(keys, (std::set<std::string>{"XObject", "Pattern"}));
  EXPECT_EQ(tool.raw.find(" R"), std::string::npos) << tool.raw;

  std::vector<KPD_Dictionary> placed;
  std::string error;
  ASSERT_TRUE(PlaceTool(doc_, 0, tool, 300, 300, &placed, &error)) << error;
  EXPECT_EQ(Normalised(placed[0], 0, 0), Normalised(a, 300 - 10, 300 - 60));
  KPD_Stream n2 = host::DictGet(host::DictGet(placed[0], "/AP"), "/N");
  KPD_Dictionary x2 = host::DictGet(host::DictGet(host::StreamGetDict(n2), "/Resources"), "/XObject");
  EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(x2, "/Fm1"), host::DictGet(x2, "/Fm2")));
  EXPECT_FALSE(host::ObjectIsIdentical(host::DictGet(x2, "/Fm1"), form));
}

TEST_F(ToolsetCaptureTest, NotesAreStoredTwentyByTwentyAndPlacedUnderThePoint) {
  Add("<</Subtype/Text/Rect[100 100 140 150]/Name/Comment/C[1 1 0]/NM(note)>>");
  Add("<</Subtype/Link/Rect[0 0 10 10]>>");
  CAnnot_ToolSet set;
  std::string error;
  EXPECT_FALSE(set.AddTool(page_, 1, &error));
  EXPECT_FALSE(set.AddTool(page_, 7, &error));
  ASSERT_TRUE(set.AddTool(page_, 0, &error)) << error;
  EXPECT_EQ(set.tools[0]->type, "Venko.PDF.Annotations.AnnotationText");
  EXPECT_FLOAT_EQ(set.tools[0]->width, 20);
  EXPECT_FLOAT_EQ(set.tools[0]->height, 20);
  std::vector<KPD_Dictionary> placed;
  ASSERT_TRUE(PlaceTool(doc_, 0, *set.tools[0], 50, 300, &placed, &error)) << error;
  KS_FloatRect r{};
  host::RectFromObject(host::DictGet(placed[0], "/Rect"), &r);
  EXPECT_EQ((std::vector<float>{r.left, r.bottom, r.right, r.top}), (std::vector<float>{50, 280, 70, 300}));
}

// A tool keeps only the name of its layer; placed, it joins the target's
// layer of that name, or none when the target has no such layer.
TEST_F(ToolsetCaptureTest, TheLayerIsTheTargetsGroupOfTheSameName) {
  Add("<</Subtype/Square/Rect[10 10 50 50]/C[1 0 0]/OC<</Type/OCG/Name(Walls)>>/NM(walled)>>");
  CAnnot_ToolSet set;
  std::string error;
  ASSERT_TRUE(set.AddTool(page_, 0, &error)) << error;
  std::vector<KPD_Dictionary> placed;
  ASSERT_TRUE(PlaceTool(doc_, 0, *set.tools[0], 100, 300, &placed, &error)) << error;
  EXPECT_FALSE(host::DictHasKey(placed[0], "/OC"));  // no layers yet

  const KPD_Dictionary doors = Indirect("<</Type/OCG/Name(Doors)>>"), walls = Indirect("<</Type/OCG/Name(Walls)>>");
  Owned props = Parse("<</OCGs[]>>");
  host::ArrayAppend(host::DictGet(props.get(), "/OCGs"), doors);
  host::ArrayAppend(host::DictGet(props.get(), "/OCGs"), walls);
  host::DictSet(host::DocGetRoot(doc_), "/OCProperties", props.get());
  placed.clear();
  ASSERT_TRUE(PlaceTool(doc_, 0, *set.tools[0], 100, 300, &placed, &error)) << error;
  KPD_Object oc = host::DictGet(placed[0], "/OC");
  ASSERT_NE(oc, nullptr);
  EXPECT_TRUE(host::ObjectIsIdentical(oc, walls));
  EXPECT_FALSE(host::ObjectIsIdentical(oc, doors));
}

TEST_F(ToolsetCaptureTest, PlacingOnARotatedPageTurnsTheAppearance) {
  AddShape("<</Subtype/Line/Rect[100 100 200 110]/L[100 105 200 105]/C[0 0 0]/NM(l)>>");
  CAnnot_ToolSet set;
  ASSERT_TRUE(set.AddTool(page_, 0));
  host::PageSetRotation(page_, 90);
  std::vector<KPD_Dictionary> placed;
  std::string error;
  ASSERT_TRUE(PlaceTool(doc_, 0, *set.tools[0], 300, 300, &placed, &error)) << error;
  auto l = Normalised(host::DictGet(placed[0], "/L"), 0, 0);
  // A horizontal line on an upright page becomes vertical in page space.
  Owned parsed = Parse(l);
  std::vector<float> v(4);
  host::ArrayGetNumbers(parsed.get(), v.data(), 4);
  EXPECT_NEAR(v[0], v[2], 0.01) << l;
  EXPECT_NEAR(std::fabs(v[3] - v[1]), 100, 0.01) << l;
}

}  // namespace
}  // namespace AnnotationPlugin
