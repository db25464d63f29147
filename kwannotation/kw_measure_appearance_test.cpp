// Measurement texts and appearances: the captions of every intent on a
// feet-and-inches and a metric scale, malformed scales, the centre mark,
// coincident line ends and the measurement keys in the exchange form.
#include "kwannotation/kw_measure_appearance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_cloud.h"
#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_ap_test_support.h"
#include "kwannotation/kw_caption_text.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_provider.h"
#include "kwannotation/kw_shape_appearance.h"
#include "kwannotation/kw_test_support.h"
#include "kwannotation/kw_text.h"
#include "kwannotation/kw_xfdf.h"

namespace kwannotation {
namespace {

using test::Parse;

std::string Utf8(const std::u16string& s) { return text::ToUtf8(s); }

std::string Joined(const std::vector<std::u16string>& lines) {
  std::string s;
  for (const auto& l : lines) s += (s.empty() ? "" : "|") + Utf8(l);
  return s;
}

class MeasureTexts : public test::HostDocTest {
 protected:
  // 1 in = 10 ft shown in feet and inches at 1/8 inch.
  CKW_MeasureDict Feet() {
    PageScale scale;
    scale.x = {1, u"in", 10, u"ft'in\""};
    scale.precision = 3;
    CKW_MeasureDict m = CKW_MeasureDict::Own(Parse("<< /Type /Measure >>").release());
    EXPECT_TRUE(m->WriteScale(scale, u"1 in = 10 ft", {u"ft'in\"", u"sq ft", u"cu ft"}));
    return m;
  }
  // 1:100 in metres: 1 cm on paper is 1 m.
  CKW_MeasureDict Metres() {
    PageScale scale;
    scale.x = {1, u"cm", 1, u"m"};
    scale.precision = 2;
    CKW_MeasureDict m = CKW_MeasureDict::Own(Parse("<< /Type /Measure >>").release());
    EXPECT_TRUE(m->WriteScale(scale, u"1 cm = 1 m", {u"m", u"sq m", u"cu m"}));
    return m;
  }
};

// 72 points are a paper inch: 10 ft on the first scale. 28.3465 points are
// a paper centimetre: 1 m on the second. Each tool's figure on both scales
// is measured in the measuring session test; here are the captions' parts.
TEST_F(MeasureTexts, CaptionOfEveryIntentOnBothScales) {
  constexpr float cm = 28.346457f;
  struct Case {
    const char* name;
    bool feet;
    KwMeasureInput in;
    const char* caption;  // its lines joined by "|"
    const char* contents = nullptr;  // null: the caption's lines
  } cases[] = {
      {"distance", true, {KW_MEASURE_LINE, {{100, 100}, {175.6f, 100}}}, "10'-6\""},
      {"distance with label", true,
       {KW_MEASURE_LINE, {{100, 100}, {175.6f, 100}}, {}, 130, u"Wall"}, "Wall|10'-6\"", "10'-6\""},
      {"label not asked for", true, {KW_MEASURE_LINE, {{100, 100}, {175.6f, 100}}, {}, 2, u"Wall"}, "10'-6\""},
      {"length and depth are named", true,
       {KW_MEASURE_LINE, {{100, 100}, {175.6f, 100}}, {}, 2 | 8, {}, true, 2}, "L = 10'-6\"|D = 2'-0\""},
      {"polylength", true, {KW_MEASURE_POLYLINE, {{0, 0}, {72, 0}, {72, 36}}}, "15'-0\""},
      {"perimeter", true, {KW_MEASURE_POLYGON, {{0, 0}, {72, 0}, {72, 72}, {0, 72}}, {}, 128 | 32}, "40'-0\""},
      {"volume", true, {KW_MEASURE_VOLUME, {{0, 0}, {72, 0}, {72, 72}, {0, 72}}, {}, 0, {}, true, 3}, "300.000 cu ft"},
      {"volume with depth in inches", true,
       {KW_MEASURE_VOLUME, {{0, 0}, {72, 0}, {72, 72}, {0, 72}}, {}, 0, {}, true, 36, u"in"}, "300.000 cu ft"},
      {"circle area", true, {KW_MEASURE_CIRCLE, {}, {0, 0, 72, 72}}, "78.540 sq ft"},
      {"circumference", true, {KW_MEASURE_CIRCLE, {}, {0, 0, 72, 72}, 512}, "31'-5\""},
      {"metric distance", false, {KW_MEASURE_LINE, {{0, 0}, {3 * cm, 4 * cm}}}, "5.00 m"},
      {"metric area", false, {KW_MEASURE_POLYGON, {{0, 0}, {2 * cm, 0}, {2 * cm, 3 * cm}, {0, 3 * cm}}}, "6.00 sq m"},
      {"metric volume", false,
       {KW_MEASURE_VOLUME, {{0, 0}, {2 * cm, 0}, {2 * cm, 3 * cm}, {0, 3 * cm}}, {}, 0, {}, true, 0.5}, "3.00 cu m"},
      {"metric diameter", false, {KW_MEASURE_CIRCLE, {}, {0, 0, 4 * cm, 4 * cm}, 384}, "4.00 m"},
      {"metric radius", false, {KW_MEASURE_RADIUS, {{0, 0}, {0, 2 * cm}}}, "2.00 m"},
      {"metric angle", false, {KW_MEASURE_ANGLE, {{10, 0}, {0, 0}, {10, 10}}}, "45.00 \u00B0"},
  };
  CKW_MeasureDict feet = Feet(), metres = Metres();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KwMeasureTexts t = KW_ComputeMeasureTexts((c.feet ? feet : metres).GetImpl(), c.in);
    EXPECT_EQ(t.problem, "");
    EXPECT_EQ(Joined(t.captionLines), c.caption);
    std::string contents = c.contents ? c.contents : c.caption;
    std::replace(contents.begin(), contents.end(), '|', '\n');
    EXPECT_EQ(Utf8(t.contents), contents);
  }
}

// "1234567.891" as "1,234,567.89 UNIT": two decimals, groups of three.
std::string Grouped(double value, const char* unit) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.2f", value);
  std::string text = digits;
  for (int at = int(text.find('.')) - 3; at > 0; at -= 3) text.insert(size_t(at), ",");
  return text + " " + unit;
}

// The coordinates below are not floats: their nearest floats give another
// last digit (5,663.56 mm, 9,945.97 mm, 2,799,565.76 sq mm). The stored
// value is what the stored numbers give, worked out here from the same
// text with the scale of 2 mm to the point.
TEST_F(MeasureTexts, StoredValuesComeFromTheGeometryAsStoredToTheLastDigit) {
  PageScale scale;
  scale.x = {1, u"pt", 2, u"mm"};
  CKW_MeasureDict m = CKW_MeasureDict::Own(Parse("<< /Type /Measure >>").release());
  ASSERT_TRUE(m->WriteScale(scale, u"1 pt = 2 mm", {u"mm", u"sq mm", u"cu mm"}));
  const double line[] = {297.793, 231.456, 3055.488, 874.948};
  const double path[] = {1042.914, 496.422, 1579.649, 2996.182, 2055.991, 627.346};
  const double poly[] = {1125.982, 2944.832, 2889.513, 567.435, 2286.612, 2173.938};
  double pathLength = 0;
  for (int i = 0; i < 2; ++i) pathLength += std::hypot(path[2 * i + 2] - path[2 * i], path[2 * i + 3] - path[2 * i + 1]);
  double twice = 0;
  for (int i = 0; i < 3; ++i) twice += poly[2 * i] * poly[(2 * i + 3) % 6] - poly[(2 * i + 2) % 6] * poly[2 * i + 1];
  struct Case {
    const char* dict;
    std::string expected;
  } cases[] = {
      {"<< /Subtype /Line /IT /LineDimension /L [297.793 231.456 3055.488 874.948] >>",
       Grouped(2 * std::hypot(line[2] - line[0], line[3] - line[1]), "mm")},
      {"<< /Subtype /PolyLine /IT /PolyLineDimension /Vertices [1042.914 496.422 1579.649 2996.182 2055.991 "
       "627.346] >>",
       Grouped(2 * pathLength, "mm")},
      {"<< /Subtype /Polygon /IT /PolygonDimension /Vertices [1125.982 2944.832 2889.513 567.435 2286.612 "
       "2173.938] >>",
       Grouped(4 * std::fabs(twice) / 2, "sq mm")},
  };
  EXPECT_EQ(cases[0].expected, "5,663.55 mm");  // the worked figures, for a reader
  EXPECT_EQ(cases[1].expected, "9,945.98 mm");
  EXPECT_EQ(cases[2].expected, "2,799,565.63 sq mm");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dict);
    test::Owned annot = Parse(c.dict);
    ks::host::DictSet(annot.get(), "/Measure", m.GetDict());
    EXPECT_EQ(Utf8(KW_MeasureTextsOf(annot.get()).contents), c.expected);
  }
}

// The application's words for the slope, in whatever language it speaks;
// the key itself without an application that knows it.
class WordsProvider : public IKW_Provider {
 public:
  CKW_SystemHandler* GetSystemHandler() override { return nullptr; }
  KPD_FontMap GetDocFontMap(KPD_Document) override { return nullptr; }
  KPD_InterForm GetInterForm(KPD_Document) override { return nullptr; }
  std::u16string GetDisplayText(const std::u16string& t) override { return t; }
  std::u16string NormalizeUnitLabel(const std::u16string& t) override { return t; }
  std::u16string GetLocalizedText(const std::string& key) override {
    return key == "IDS_SLOPE" ? u"Neigung" : key == "IDS_GRADE" ? u"Steigung" : u"";
  }
};

TEST_F(MeasureTexts, TheSlopeLineTakesItsWordsFromTheApplication) {
  CKW_MeasureDict metres = Metres();
  KwMeasureInput in{KW_MEASURE_LINE, {{0, 0}, {10, 10}}, {}, 2 | 2048};
  in.slopeType = 2;
  CKW_ProviderManager::Get()->SetProvider(std::make_shared<WordsProvider>());
  const std::string german = Utf8(KW_ComputeMeasureTexts(metres.GetImpl(), in).contents);
  CKW_ProviderManager::Get()->SetProvider(nullptr);
  const std::string bare = Utf8(KW_ComputeMeasureTexts(metres.GetImpl(), in).contents);
  EXPECT_NE(german.find("\nNeigung = 100"), std::string::npos) << german;
  EXPECT_NE(german.find("% Steigung"), std::string::npos) << german;
  EXPECT_NE(bare.find("\nIDS_SLOPE = 100"), std::string::npos) << bare;
  EXPECT_NE(bare.find("% IDS_GRADE"), std::string::npos) << bare;
}

TEST_F(MeasureTexts, MalformedScalesGiveNoValueTextRatherThanNanOrEmptyLines) {
  const char* measures[] = {
      "<< /Type /Measure >>",
      "<< /Type /Measure /R (1 in = 10 ft) /X [<< /U (ft) /C 0 >>] /D [<< /U (ft) /C 1 >>] /A [<< /U (sq ft) /C 1 >>] >>",
      "<< /Type /Measure /R (1 in = 10 ft) /X [<< /U (ft) /C 1e300 >>] /D [<< /U (ft) /C 1e300 >>] "
      "/A [<< /U (sq ft) /C 1e300 >>] >>",
      "<< /Type /Measure /R (1 in = 10 ft) /X (not an array) /D [1 2] /A [] >>",
  };
  const KwMeasureInput inputs[] = {
      {KW_MEASURE_LINE, {{0, 0}, {72, 0}}},
      {KW_MEASURE_POLYGON, {{0, 0}, {72, 0}, {72, 72}}},
      {KW_MEASURE_CIRCLE, {}, {0, 0, 72, 72}},
      {KW_MEASURE_ANGLE, {{1, 0}, {0, 0}, {0, 1}}},
  };
  for (const char* text : measures) {
    test::Owned dict = Parse(text);
    CKW_MeasureDictImpl m(dict.get());
    for (const KwMeasureInput& in : inputs) {
      KwMeasureTexts t = KW_ComputeMeasureTexts(&m, in);
      SCOPED_TRACE(std::string(text) + " kind " + std::to_string(in.kind));
      for (const auto& line : t.captionLines) {
        std::string s = Utf8(line);
        EXPECT_FALSE(s.empty());
        EXPECT_EQ(s.find("nan"), std::string::npos) << s;
        EXPECT_EQ(s.find("inf"), std::string::npos) << s;
      }
      EXPECT_TRUE(t.contents.empty() || t.problem.empty());
      if (t.contents.empty()) {
        EXPECT_FALSE(t.problem.empty());
      }
    }
  }
  EXPECT_FALSE(KW_ComputeMeasureTexts(nullptr, inputs[0]).problem.empty());
}

class MeasureAppearance : public test::AppearanceTest {
 protected:
  void SetUp() override {
    AppearanceTest::SetUp();
    list_ = CKW_PageAnnotList::Create(doc_, page_);
  }
  std::shared_ptr<CKW_Annot> Wrap(KPD_Dictionary annot) { return list_->GetAnnot(annot); }
  // The line behind `annot`, or null.
  CKW_LineImpl* LineOf(KPD_Dictionary annot) {
    auto wrapped = Wrap(annot);
    return wrapped ? dynamic_cast<CKW_LineImpl*>(wrapped->GetImpl().get()) : nullptr;
  }
  // A distance on the feet scale with the keys `keys`.
  KPD_Dictionary Distance(const std::string& keys) {
    return Add("<< /Type /Annot /Subtype /Line /IT /LineDimension " + keys + " " + kFeet + " >>");
  }
  static constexpr const char* kFeet =
      "/Measure << /Type /Measure /R (1 in = 10 ft) /X [<< /U (ft) /C 0.138889 /D 100 >>] "
      "/D [<< /U (ft) /C 1 /D 100 >>] /A [<< /U (sq ft) /C 1 /D 100 >>] >>";
  std::shared_ptr<CKW_PageAnnotList> list_;
};

TEST_F(MeasureAppearance, CentreMarkHalfSizeHasAMinimumOfTwo) {
  struct Case {
    KS_FloatRect rect;
    const char* cross;
  } cases[] = {
      // 0.03 x 40 = 1.2, below the minimum.
      {{100, 100, 200, 140}, "148.000 120.000 m\n152.000 120.000 l\nS\n150.000 118.000 m\n150.000 122.000 l\nS\n"},
      {{100, 100, 400, 400}, "241.000 250.000 m\n259.000 250.000 l\nS\n250.000 241.000 m\n250.000 259.000 l\nS\n"},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(KW_CentreMarkHalfSize(c.rect), c.rect.top - c.rect.bottom > 100 ? 9.0 : 2.0);
    char text[512];
    std::snprintf(text, sizeof text,
                  "<< /Type /Annot /Subtype /Circle /IT /CircleDimension /Rect [%g %g %g %g] /C [1 0 0] "
                  "/CenterPoint true %s >>",
                  c.rect.left, c.rect.bottom, c.rect.right, c.rect.top, kFeet);
    KPD_Dictionary d = Add(text);
    auto annot = Wrap(d);
    ASSERT_TRUE(annot);
    ASSERT_TRUE(annot->ResetAppearance());
    EXPECT_NE(Content(d).find(c.cross), std::string::npos) << Content(d);
  }
}

TEST_F(MeasureAppearance, CoincidentLineEndsKeepThePreviousAppearance) {
  KPD_Dictionary d = Distance("/Rect [90 90 200 130] /L [100 100 172 100] /C [0 0 1] /Cap true");
  auto annot = Wrap(d);
  ASSERT_TRUE(annot->ResetAppearance());
  const std::string before = Content(d);
  EXPECT_NE(before.find("(10.00 ft) Tj"), std::string::npos) << before;
  test::Owned l = Parse("[150 150 150 150]");
  ks::host::DictSet(d, "/L", l.get());
  EXPECT_FALSE(annot->ResetAppearance());
  EXPECT_EQ(Content(d), before);
}

TEST_F(MeasureAppearance, WithoutAUsableScaleTheStoredTextIsTheCaption) {
  KPD_Dictionary d = Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [90 90 200 130] "
                         "/L [100 100 172 100] /Cap true /Contents (12 m) /Measure << /Type /Measure >> >>");
  ASSERT_TRUE(Wrap(d)->ResetAppearance());
  EXPECT_NE(Content(d).find("(12 m) Tj"), std::string::npos) << Content(d);
  // A line without /Cap shows no caption.
  KPD_Dictionary quiet = Distance("/Rect [90 90 200 130] /L [100 100 172 100]");
  ASSERT_TRUE(Wrap(quiet)->ResetAppearance());
  EXPECT_EQ(Content(quiet).find(" Tj"), std::string::npos) << Content(quiet);
}

TEST_F(MeasureAppearance, CaptionColourAndBoxStayInsideTheRect) {
  KPD_Dictionary d = Add(std::string("<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /Rect [0 0 1 1] "
                                     "/Vertices [100 100 172 100 172 172 100 172] /C [0 0 1] /CC [0 0.5 0] "
                                     "/Label (Room) ") +
                         kFeet + " >>");
  auto annot = Wrap(d);
  ASSERT_TRUE(annot->ResetAppearance());
  const std::string ap = Content(d);
  EXPECT_NE(ap.find("q\n0.000 0.500 0.000 rg\n"), std::string::npos) << ap;
  EXPECT_NE(ap.find("(Room) Tj"), std::string::npos) << ap;
  EXPECT_NE(ap.find("(100.00 sq ft) Tj"), std::string::npos) << ap;
  KS_FloatRect rect{};
  ASSERT_TRUE(annot->GetRect(&rect));
  EXPECT_LE(rect.left, 100);
  EXPECT_GE(rect.right, 172);

  // Without /CC the caption takes the annotation colour turned by 0xA5.
  ks::host::DictRemove(d, "/CC");
  ASSERT_TRUE(annot->ResetAppearance());
  EXPECT_NE(Content(d).find("q\n0.353 0.353 0.647 rg\n"), std::string::npos) << Content(d);
}

TEST_F(MeasureAppearance, ExportWritesOnlyTheMeasurementKeysPresentAndImportReadsThemBack) {
  Add(std::string("<< /Type /Annot /Subtype /Polygon /IT /PolygonVolume /NM (v1) /Rect [90 90 200 200] "
                  "/Vertices [100 100 172 100 172 172] /Cap true /MeasurementTypes 132 ") +
      kFeet + " >>");
  std::string xfdf, error;
  ASSERT_TRUE(KW_ExportXFDF(doc_, &xfdf, &error)) << error;
  EXPECT_EQ(xfdf.find("depth"), std::string::npos) << xfdf;
  EXPECT_NE(xfdf.find("measurement-types=\"132\""), std::string::npos) << xfdf;
  EXPECT_NE(xfdf.find("caption=\"yes\""), std::string::npos) << xfdf;

  std::string changed = xfdf;
  const std::string key = "measurement-types=\"132\"";
  changed.replace(changed.find(key), key.size(),
                  key + " depth=\"2.5\" depth-unit=\"ft\" label=\"Slab \xCE\xB1\" caption-color=\"#00FF00\" "
                        "centerpoint=\"yes\" segments=\"no\" rise-drop=\"yes\" flip-text=\"yes\" slope-type=\"2\"");
  ASSERT_TRUE(KW_ImportXFDF(doc_, changed, &error)) << error;
  ASSERT_TRUE(KW_ExportXFDF(doc_, &xfdf, &error)) << error;
  for (const char* attr : {"depth=\"2.5\"", "depth-unit=\"ft\"", "label=\"Slab \xCE\xB1\"", "caption-color=\"#00FF00\"",
                           "centerpoint=\"yes\"", "segments=\"no\"", "rise-drop=\"yes\"", "flip-text=\"yes\"",
                           "slope-type=\"2\""})
    EXPECT_NE(xfdf.find(attr), std::string::npos) << attr << "\n" << xfdf;
}

// A distance turns its leader over and keeps its measured points (their
// order is what the caption and the export read); a plain line with a
// leader swaps its ends, which turns the leader over just the same.
TEST_F(MeasureAppearance, FlipTurnsTheDimensionLineOverToTheOtherSide) {
  struct Case {
    const char* intent;
    std::vector<double> lAfter;
    double llAfter;
  } cases[] = {{"/LineDimension", {100, 100, 200, 100}, -30}, {"/LineArrow", {200, 100, 100, 100}, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.intent);
    KPD_Dictionary d = Add(std::string("<< /Type /Annot /Subtype /Line /IT ") + c.intent +
                           " /Rect [90 90 210 180] /L [100 100 200 100] /LL 30 /LLE 8 /Cap true /C [0 0 1] " +
                           kFeet + " >>");
    CKW_LineImpl* line = LineOf(d);
    ASSERT_TRUE(line);
    KwDistanceParts before;
    ASSERT_TRUE(KW_DistanceParts(*line, &before));
    EXPECT_FLOAT_EQ(before.lineEnds[0].y, 130);

    ASSERT_TRUE(line->Flip());
    EXPECT_EQ(dict::GetDoubles(ks::host::DictGet(d, "/L")), c.lAfter);
    KwLineLeader leader;
    ASSERT_TRUE(line->GetLeader(&leader));
    EXPECT_EQ(leader.length, c.llAfter);
    EXPECT_EQ(leader.extension, 8);

    // The dimension line was 30 above the measured points; now it is 30
    // below, with the leaders' extension beyond it.
    KwDistanceParts after;
    ASSERT_TRUE(KW_DistanceParts(*line, &after));
    EXPECT_FLOAT_EQ(after.lineEnds[0].y, 70);
    EXPECT_FLOAT_EQ(after.lineEnds[1].y, 70);
    EXPECT_FLOAT_EQ(after.leaderTo[0].y, 62);
    if (before.hasCaption) {
      ASSERT_TRUE(after.hasCaption);
      EXPECT_LT(after.captionBox.top, before.captionBox.bottom);
    }
  }
  // A distance without a leader swaps its ends and gets no leader.
  KPD_Dictionary bare = Distance("/Rect [90 90 210 110] /L [100 100 200 100]");
  CKW_LineImpl* line = LineOf(bare);
  ASSERT_TRUE(line && line->Flip());
  EXPECT_EQ(dict::GetDoubles(ks::host::DictGet(bare, "/L")), (std::vector<double>{200, 100, 100, 100}));
  EXPECT_FALSE(ks::host::DictHasKey(bare, "/LL"));
}

TEST_F(MeasureAppearance, CaptionOffsetMovesADistanceCaptionAlongAndAcrossTheLine) {
  KPD_Dictionary d = Distance("/Rect [90 90 210 180] /L [200 100 100 100] /LL -20 /Cap true");
  CKW_LineImpl* line = LineOf(d);
  ASSERT_TRUE(line);
  KwDistanceParts plain, moved;
  ASSERT_TRUE(KW_DistanceParts(*line, &plain));
  test::Owned co = Parse("[10 5]");
  ks::host::DictSet(d, "/CO", co.get());
  ASSERT_TRUE(KW_DistanceParts(*line, &moved));
  ASSERT_TRUE(plain.hasCaption && moved.hasCaption);
  // The line runs right to left but reads left to right: "along" is +x.
  EXPECT_NEAR(moved.captionBox.left - plain.captionBox.left, 10, 1e-3);
  EXPECT_NEAR(moved.captionBox.bottom - plain.captionBox.bottom, 5, 1e-3);
  EXPECT_NEAR(moved.captionAnchor.x, 160, 1e-4);
  EXPECT_NEAR(moved.captionAnchor.y, 125, 1e-4);
}

// The cloud of a measured circle lies on the ellipse of its figure grown by
// 5 across and 4.5 up and down; a plain circle's on the figure itself.
TEST_F(MeasureAppearance, CloudyCircleMeasurementLaysItsCloudOnTheInflatedRectangle) {
  // Width 1.5: the figure is the rectangle less 1 on every side.
  const KS_FloatRect figure{101, 101, 199, 159}, inflated{96, 96.5f, 204, 163.5f};
  auto cloudOf = [](const KS_FloatRect& r) {
    std::string path;
    AppendEllipseCloud(path, r, 0, 1);
    return path;
  };
  struct Case {
    const char* intent;
    bool bare;  // through the regeneration of a bare dictionary
    KS_FloatRect cloud;
  } cases[] = {{"/CircleDimension", false, inflated}, {"/CircleDimension", true, inflated}, {"/Ellipse", false, figure}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.intent) + (c.bare ? " bare" : ""));
    KPD_Dictionary d = Add(std::string("<< /Type /Annot /Subtype /Circle /IT ") + c.intent +
                           " /Rect [100 100 200 160] /C [1 0 0] /BS << /W 1.5 >> /BE << /S /C /I 1 >> >>");
    std::string why;
    ASSERT_TRUE(c.bare ? RegenerateMeasureAppearance(d, &why, {}) : Wrap(d)->ResetAppearance()) << why;
    const std::string ap = Content(d);
    EXPECT_NE(ap.find(cloudOf(c.cloud)), std::string::npos) << ap;
  }
}

// The frame ("a b c d e f cm" before "BT") of every caption in a content
// stream, in drawing order.
std::vector<std::array<double, 6>> CaptionFrames(const std::string& content) {
  std::vector<std::array<double, 6>> frames;
  // A caption's matrix comes before its text, or before its background.
  for (size_t at = content.find(" cm\n"); at != std::string::npos; at = content.find(" cm\n", at + 1)) {
    const std::string next = content.substr(at + 4, 6);
    if (next.rfind("BT\n", 0) != 0 && next != "q 1 g\n") continue;
    const size_t start = content.rfind('\n', at) + 1;
    std::array<double, 6> m{};
    if (std::sscanf(content.c_str() + start, "%lf %lf %lf %lf %lf %lf cm", &m[0], &m[1], &m[2], &m[3], &m[4],
                    &m[5]) == 6)
      frames.push_back(m);
  }
  return frames;
}

// A page turned clockwise by `degrees` shows the page vector (x, y) as
// this vector of the view, y up.
std::array<double, 2> InView(double x, double y, int degrees) {
  const double r = degrees * 3.14159265358979323846 / 180;
  return {x * std::cos(r) + y * std::sin(r), -x * std::sin(r) + y * std::cos(r)};
}

// On a page turned by /Rotate every caption reads as on an unturned page:
// upright in the view, level for areas, circles and angles, along its line
// and left to right for distances, radii and segments, above the line when
// it goes above. The view is worked out here from /Rotate alone.
TEST_F(MeasureAppearance, CaptionsReadUprightAndAlongTheirLineOnTurnedPages) {
  struct Figure {
    const char* dict;
    bool level;
    double dx, dy;  // the line a caption runs along, page space
  } figures[] = {
      {"/Subtype /Line /IT /LineDimension /L [100 100 200 100] /Cap true", false, 100, 0},
      {"/Subtype /Line /IT /LineDimension /L [300 220 300 100] /Cap true /CP /Top", false, 0, -120},
      {"/Subtype /Line /IT /LineDimension /L [180 380 100 300] /Cap true", false, -80, -80},
      {"/Subtype /Line /IT /LineDimension /L [100 500 190 470] /Cap true /CP /Top", false, 90, -30},
      {"/Subtype /Polygon /IT /PolygonDimension /Vertices [100 600 200 600 200 700 100 700]", true, 0, 0},
      {"/Subtype /Polygon /IT /PolygonRadius /Vertices [400 400 460 430]", false, 60, 30},
      {"/Subtype /Circle /IT /CircleDimension /Rect [400 600 500 680]", true, 0, 0},
      {"/Subtype /PolyLine /IT /PolyLineAngle /Vertices [300 600 250 550 350 540]", true, 0, 0},
      {"/Subtype /PolyLine /IT /PolyLineDimension /Vertices [450 100 500 200 560 220]", true, 0, 0},
  };
  for (int degrees : {0, 90, 180, 270}) {
    ASSERT_TRUE(ks::host::PageSetRotation(page_, degrees));
    for (const Figure& fig : figures) {
      SCOPED_TRACE(std::to_string(degrees) + ": " + fig.dict);
      const bool circle = std::string(fig.dict).find("/Rect") != std::string::npos;
      KPD_Dictionary d =
          Add(std::string("<< /Type /Annot ") + fig.dict + (circle ? " " : " /Rect [0 0 1 1] ") + kFeet + " >>");
      auto annot = Wrap(d);
      ASSERT_TRUE(annot && annot->ResetAppearance());
      const std::string content = Content(d);
      const auto frames = CaptionFrames(content);
      ASSERT_EQ(frames.size(), 1u) << content;
      const auto& m = frames[0];
      const auto x = InView(m[0], m[1], degrees), y = InView(m[2], m[3], degrees);
      // Upright: the text's up is never the view's down, nor mirrored.
      EXPECT_GE(y[1], -1e-6);
      EXPECT_GT(x[0] * y[1] - x[1] * y[0], 0);
      if (fig.level) {
        EXPECT_NEAR(x[0], 1, 1e-3);
        EXPECT_NEAR(x[1], 0, 1e-3);
      } else {
        auto l = InView(fig.dx, fig.dy, degrees);
        const double len = std::hypot(l[0], l[1]);
        // Along the line, and left to right (bottom to top when upright).
        EXPECT_NEAR(x[0] * l[1] - x[1] * l[0], 0, 1e-3 * len);
        EXPECT_TRUE(x[0] > 1e-6 || (std::fabs(x[0]) <= 1e-6 && x[1] > 0)) << x[0] << " " << x[1];
      }
      // The same drawn from the bare dictionary, which finds its page by
      // /P, and without /P from the page its caller names.
      ASSERT_TRUE(RegenerateMeasureAppearance(d, nullptr, ShapeAppearanceOptions{}));
      EXPECT_EQ(Content(d), content);
      ks::host::DictRemove(d, "/P");
      ShapeAppearanceOptions onPage;
      onPage.page = page_;
      ASSERT_TRUE(RegenerateMeasureAppearance(d, nullptr, onPage));
      EXPECT_EQ(Content(d), content);
    }
  }
}

// A caption that goes above its line stays on the view's upper side of it
// whichever way the page is turned, and "CO" moves it right and up as the
// view shows them.
TEST_F(MeasureAppearance, ADistanceCaptionGoesAboveItsLineAsTheViewShowsIt) {
  for (int degrees : {0, 90, 180, 270}) {
    SCOPED_TRACE(degrees);
    ASSERT_TRUE(ks::host::PageSetRotation(page_, degrees));
    KPD_Dictionary d = Distance("/Rect [0 0 1 1] /L [300 300 300 400] /Cap true /CP /Top");
    CKW_LineImpl* line = LineOf(d);
    ASSERT_TRUE(line);
    KwDistanceParts plain, moved;
    ASSERT_TRUE(KW_DistanceParts(*line, &plain));
    ASSERT_TRUE(plain.hasCaption);
    const KS_FloatRect& b = plain.captionBox;
    // The caption's middle, from the middle of the line, in the view: the
    // line runs across or up and down the view, the caption lies on its
    // upper side, or its left for a line upright in the view.
    const auto off = InView((b.left + b.right) / 2 - 300.0, (b.bottom + b.top) / 2 - 350.0, degrees);
    if (degrees % 180 == 0)
      EXPECT_LT(off[0], -5);  // upright line: text reads upwards, above is left
    else
      EXPECT_GT(off[1], 5);
    test::Owned co = Parse("[10 5]");
    ks::host::DictSet(d, "/CO", co.get());
    ASSERT_TRUE(KW_DistanceParts(*line, &moved));
    const auto shift = InView(moved.captionAnchor.x - plain.captionAnchor.x,
                              moved.captionAnchor.y - plain.captionAnchor.y, degrees);
    if (degrees % 180 == 0) {
      // Reads upwards: "along" is up the view, "up" is to its left.
      EXPECT_NEAR(shift[0], -5, 1e-3);
      EXPECT_NEAR(shift[1], 10, 1e-3);
    } else {
      EXPECT_NEAR(shift[0], 10, 1e-3);
      EXPECT_NEAR(shift[1], 5, 1e-3);
    }
  }
}

// Without a style of its own a caption is sized to its page: a fiftieth
// of the shorter side, to the half point, 9 to 72 points. A3 is 842 points
// wide: 16.84, so 17.
TEST_F(MeasureAppearance, CaptionsWithoutAStyleAreSizedToTheirPage) {
  const struct {
    float width, height, size;
  } pages[] = {{595, 842, 12}, {612, 792, 12}, {842, 1191, 17}, {2384, 1684, 33.5}, {100, 100, 9}, {20000, 20000, 72}};
  for (const auto& p : pages) {
    KS_FloatRect box{0, 0, p.width, p.height};
    KPD_Page page = ks::host::DocAddPage(doc_, &box);
    EXPECT_FLOAT_EQ(DefaultCaptionSize(page), p.size) << p.width << " x " << p.height;
  }
  EXPECT_FLOAT_EQ(DefaultCaptionSize(nullptr), 9);

  const std::string square = std::string("<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /Rect [0 0 1 1] "
                                         "/Vertices [100 100 172 100 172 172 100 172] /C [1 0 0] ") + kFeet;
  KPD_Dictionary plain = Add(square + " >>");
  ASSERT_TRUE(Wrap(plain)->ResetAppearance());
  EXPECT_NE(Content(plain).find(" 12.000 Tf"), std::string::npos) << Content(plain);
  KPD_Dictionary styled = Add(square + " /DS (font: Helvetica 9pt) >>");
  ASSERT_TRUE(Wrap(styled)->ResetAppearance());
  EXPECT_NE(Content(styled).find(" 9.000 Tf"), std::string::npos) << Content(styled);
}

// A caption stands on a white box a fifth of its size wider than the text
// all round, inside the annotation's Rect; with "CaptionBackground" off
// there is none.
TEST_F(MeasureAppearance, ACaptionStandsOnAWhiteBoxUnlessTurnedOff) {
  KPD_Dictionary d = Distance("/Rect [0 0 1 1] /L [100 300 400 300] /Cap true /CP /Top /C [1 0 0]");
  ASSERT_TRUE(Wrap(d)->ResetAppearance());
  const std::string content = Content(d);
  const size_t at = content.find("cm\nq 1 g\n");
  ASSERT_NE(at, std::string::npos) << content;
  double m[6], x, y, w, h;
  const size_t start = content.rfind('\n', at) + 1;
  ASSERT_EQ(std::sscanf(content.c_str() + start, "%lf %lf %lf %lf %lf %lf cm\nq 1 g\n%lf %lf %lf %lf re\nf Q\n", &m[0],
                        &m[1], &m[2], &m[3], &m[4], &m[5], &x, &y, &w, &h),
            10)
      << content.substr(start, 120);
  // 12 points on a letter page: a margin of 2.4 each side, the text within.
  EXPECT_DOUBLE_EQ(x, -2.4);
  EXPECT_GT(w, 4.8 + 12);
  EXPECT_GT(h, 4.8 + 9);
  // Level above the line: the box's lower edge clears the line.
  EXPECT_NEAR(m[0], 1, 1e-3);
  EXPECT_GT(m[5] + y, 300);
  KS_FloatRect rect{};
  ASSERT_TRUE(Wrap(d)->GetRect(&rect));
  EXPECT_LE(rect.left, m[4] + x);
  EXPECT_GE(rect.right, m[4] + x + w);
  EXPECT_LE(rect.bottom, m[5] + y);
  EXPECT_GE(rect.top, m[5] + y + h);

  ks::host::PrefSetInt(u"Measurement", u"CaptionBackground", 0);
  ASSERT_TRUE(Wrap(d)->ResetAppearance());
  ks::host::PrefSetInt(u"Measurement", u"CaptionBackground", 1);
  EXPECT_EQ(Content(d).find("1 g"), std::string::npos) << Content(d);
  KS_FloatRect bare{};
  ASSERT_TRUE(Wrap(d)->GetRect(&bare));
  EXPECT_LT(bare.top, rect.top);
}

}  // namespace
}  // namespace kwannotation
