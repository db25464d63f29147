// The wrappers and implementations against the real host, in-process.
#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_rich_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_provider.h"
#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

namespace host = ks::host;

class AnnotModel : public test::HostDocTest {
 protected:
  void SetUp() override {
    HostDocTest::SetUp();
    KS_FloatRect box{0, 0, 612, 792};
    host::DocAddPage(doc_, &box);
    list_ = CKW_PageAnnotList::Create(doc_, 0);
  }
  void TearDown() override {
    list_.reset();
    HostDocTest::TearDown();
  }

  // An annotation from PDF object text, inserted at the end of a page.
  KPD_Annot Insert(const std::string& text, int page = 0) { return Add(text, host::DocGetPage(doc_, page)); }
  std::shared_ptr<CKW_Annot> Make(const std::string& text) { return list_->GetAnnot(Insert(text)); }

  std::shared_ptr<CKW_PageAnnotList> list_;
};

TEST_F(AnnotModel, FactoryPicksTheClassFromSubtypeAndIntent) {
  struct Row {
    const char* keys;
    const std::type_info& type;
    int32_t code;
  } rows[] = {
      {"/Subtype /Line /IT /LineDimension", typeid(CKW_MeasureLine), 4},
      {"/Subtype /Line /IT /LineArrow", typeid(CKW_Line), 4},
      {"/Subtype /Line /IT (LineDimension)", typeid(CKW_Line), 4},
      {"/Subtype /Circle /IT /PolygonVolume", typeid(CKW_Circle), 6},
      {"/Subtype /Circle /IT /CircleDimension", typeid(CKW_MeasureCircle), 6},
      {"/Subtype /Polygon /IT /PolygonDimension", typeid(CKW_MeasurePolygon), 7},
      {"/Subtype /Polygon /IT /PolygonVolume", typeid(CKW_MeasureVolume), 7},
      {"/Subtype /Polygon /IT /PolygonRadius", typeid(CKW_MeasurePolygonRadius), 7},
      {"/Subtype /Polygon /IT /PolygonCloud", typeid(CKW_Polygon), 7},
      {"/Subtype /PolyLine /IT /PolyLineDimension", typeid(CKW_MeasurePolyLine), 8},
      {"/Subtype /PolyLine /IT /PolyLineAngle", typeid(CKW_MeasurePolyLineAngle), 8},
      {"/Subtype /PolyLine /IT /LineDimension", typeid(CKW_PolyLine), 8},
      {"/Subtype /Highlight", typeid(CKW_TextMarkupAnnot), 9},
      {"/Subtype /StrikeOut", typeid(CKW_TextMarkupAnnot), 12},
      {"/Subtype /Text", typeid(CKW_NoteAnnot), 1},
      {"/Subtype /FreeText /IT /FreeTextCallout", typeid(CKW_FreeText), 3},
      {"/Subtype /Square", typeid(CKW_Square), 5},
      {"/Subtype /Ink", typeid(CKW_Ink), 15},
      {"/Subtype /Widget", typeid(CKW_Widget), 19},
      {"/Subtype /3D", typeid(CKW_3DAnnot), 24},
      {"/Subtype /Popup", typeid(CKW_PopupAnnot), 25},
      {"/Subtype /Projection", typeid(CKW_ProjectionAnnot), 27},
      {"/Subtype /Sound", typeid(CKW_SoundAnnot), 17},
      {"/Subtype /Bogus", typeid(CKW_UnknownAnnot), 0},
      {"/Subtype (Line)", typeid(CKW_UnknownAnnot), 0},
      {"", typeid(CKW_UnknownAnnot), 0},
  };
  for (const Row& r : rows) {
    auto annot = Make(std::string("<< /Type /Annot /Rect [0 0 10 10] ") + r.keys + " >>");
    ASSERT_TRUE(annot) << r.keys;
    EXPECT_EQ(typeid(*annot), r.type) << r.keys;
    EXPECT_EQ(annot->GetSubtypeCode(), r.code) << r.keys;
  }
  // Measurement implementations carry the measurement mark as a second base.
  auto line = Make("<< /Subtype /Line /IT /LineDimension >>");
  EXPECT_TRUE(std::dynamic_pointer_cast<CKW_MeasureAnnotImpl>(line->GetImpl()));
  EXPECT_TRUE(std::dynamic_pointer_cast<CKW_LineImpl>(line->GetImpl()));
  EXPECT_FALSE(std::dynamic_pointer_cast<CKW_MeasureAnnotImpl>(Make("<< /Subtype /Line >>")->GetImpl()));
}

TEST_F(AnnotModel, ListCachesAndRemovesWrappersAndDropsHandlesOfOtherPages) {
  KPD_Annot annot = Insert("<< /Subtype /Square /Rect [0 0 10 10] >>");
  auto first = list_->GetAnnot(annot);
  EXPECT_EQ(list_->GetAnnot(annot), first);
  EXPECT_EQ(list_->GetAnnotAt(0), first);
  EXPECT_FALSE(list_->GetAnnot(nullptr));
  EXPECT_FALSE(list_->GetAnnotAt(5));
  EXPECT_TRUE(list_->RemoveAnnot(annot));
  EXPECT_EQ(list_->CountAnnots(), 0);
  EXPECT_FALSE(list_->GetAnnotAt(0));
  EXPECT_FALSE(list_->RemoveAnnot(annot));

  auto stranger = list_->GetAnnot(Insert("<< /Subtype /Square /Rect [0 0 10 10] /NM (x) >>", 1));
  ASSERT_TRUE(stranger);
  EXPECT_FALSE(stranger->GetDict());
  KS_FloatRect r{};
  EXPECT_FALSE(stranger->GetRect(&r));
  EXPECT_FALSE(stranger->SetRect(KS_FloatRect{0, 0, 1, 1}));
  EXPECT_FALSE(stranger->SetContents(u"text"));
  EXPECT_EQ(stranger->GetOpacity(), 1.0f);
  EXPECT_FALSE(stranger->GetBorderWidth(nullptr));
}

TEST_F(AnnotModel, CreatesAnnotationsFromNamesAndFromMeasureKinds) {
  auto line = list_->CreateAnnot(0, KW_MEASURE_LINE);
  ASSERT_TRUE(line);
  EXPECT_EQ(typeid(*line), typeid(CKW_MeasureLine));
  EXPECT_EQ(line->GetSubtype(), "Line");
  EXPECT_EQ(line->GetIntent(), "LineDimension");
  EXPECT_TRUE(host::NameIs(host::DictGet(line->GetDict(), "/Type"), "/Annot"));
  EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(line->GetDict(), "/P"), list_->GetPage()));

  auto circle = list_->CreateAnnot(0, KW_MEASURE_CIRCLE);
  EXPECT_EQ(typeid(*circle), typeid(CKW_MeasureCircle));
  auto angle = list_->CreateAnnot(KW_ANNOT_POLYLINE, KW_MEASURE_ANGLE);
  EXPECT_EQ(typeid(*angle), typeid(CKW_MeasurePolyLineAngle));
  auto square = list_->CreateAnnot("Square");
  EXPECT_FALSE(host::DictHasKey(square->GetDict(), "/IT"));
  EXPECT_EQ(list_->CountAnnots(), 4);
  EXPECT_EQ(list_->GetAnnotAt(3), square);

  EXPECT_FALSE(list_->CreateAnnot(""));
  EXPECT_FALSE(list_->CreateAnnot(0, 0));
  EXPECT_EQ(list_->CountAnnots(), 4);
  // A dictionary already on the page gives its cached wrapper back.
  EXPECT_EQ(list_->CreateAnnot("Square", square->GetDict(), {}), square);
  EXPECT_EQ(list_->CountAnnots(), 4);
  // A new stamp is an approval by name; one made from a name alone (as an
  // import makes it) is left to say what it is.
  EXPECT_EQ(dict::GetName(list_->CreateAnnot(KW_ANNOT_STAMP, 0)->GetDict(), "/Name"), "Approved");
  EXPECT_FALSE(host::DictHasKey(list_->CreateAnnot("Stamp")->GetDict(), "/Name"));
}

// A provider whose creation hook puts new annotations first on the page.
class HookProvider : public IKW_Provider {
 public:
  CKW_SystemHandler* GetSystemHandler() override { return nullptr; }
  KPD_FontMap GetDocFontMap(KPD_Document) override { return nullptr; }
  KPD_InterForm GetInterForm(KPD_Document) override { return nullptr; }
  std::u16string GetDisplayText(const std::u16string& t) override { return t; }
  std::u16string NormalizeUnitLabel(const std::u16string& t) override { return t; }
  KPD_Annot CreateAnnot(KPD_Document doc, int pageIndex, KPD_Dictionary dict, int index) override {
    ++calls;
    lastIndex = index;
    return host::PageInsertAnnot(host::DocGetPage(doc, pageIndex), 0, dict);
  }
  int calls = 0;
  int lastIndex = 0;
};

TEST_F(AnnotModel, NewAnnotationsGoThroughTheProvidersCreationHook) {
  Insert("<< /Subtype /Square /Rect [0 0 10 10] >>");
  auto provider = std::make_shared<HookProvider>();
  CKW_ProviderManager::Get()->SetProvider(provider);
  auto created = list_->CreateAnnot("Ink");
  CKW_ProviderManager::Get()->SetProvider(nullptr);
  ASSERT_TRUE(created);
  EXPECT_EQ(provider->calls, 1);
  EXPECT_EQ(provider->lastIndex, -1);
  EXPECT_EQ(list_->GetAnnotAt(0), created);
  EXPECT_EQ(list_->CountAnnots(), 2);
}

TEST_F(AnnotModel, WrongTypedKeysGiveDefaults) {
  auto line = std::static_pointer_cast<CKW_Line>(Make(
      "<< /Subtype /Line /Rect (wide) /C [1 0 0 0 1] /IT (LineArrow) /CA (half) /F (print) /RD [1 2 3]"
      " /L [1 2 3] /LE /None /Contents 12 /NM [1] /Rotation (90) /IC 5 >>"));
  KS_FloatRect rect{1, 2, 3, 4};
  EXPECT_FALSE(line->GetRect(&rect));
  KPD_ColorF color{2, {1, 1, 1, 1}};
  EXPECT_FALSE(line->GetColor(&color));
  EXPECT_EQ(color.kind, KPD_COLOR_NONE);
  EXPECT_FALSE(line->GetInteriorColor(&color));
  EXPECT_EQ(line->GetIntent(), "");
  EXPECT_EQ(line->GetOpacity(), 1.0f);
  EXPECT_FALSE(line->GetOpacityState());
  uint32_t flags = 0;
  EXPECT_FALSE(line->GetFlags(&flags));
  float rd[4];
  EXPECT_FALSE(line->GetRectDifferences(rd));
  KS_FloatPoint a{}, b{};
  EXPECT_FALSE(line->GetLinePoints(&a, &b));
  int32_t start = 7, end = 7;
  EXPECT_FALSE(line->GetLineEndings(&start, &end));
  std::u16string text;
  EXPECT_FALSE(line->GetContents(&text));
  EXPECT_FALSE(line->GetName(&text));
  int32_t degrees = 0;
  EXPECT_FALSE(line->GetRotation(&degrees));

  auto polygon = Make("<< /Subtype /Polygon /Vertices [1 2 3 4 5] >>");
  EXPECT_TRUE(std::static_pointer_cast<CKW_Polygon>(polygon)->GetVertices().empty());
  auto polyline = Make("<< /Subtype /PolyLine /Vertices [1 2 (3) 4] /LE [/Bogus] >>");
  EXPECT_TRUE(std::static_pointer_cast<CKW_PolyLine>(polyline)->GetVertices().empty());
  EXPECT_TRUE(std::static_pointer_cast<CKW_PolyLine>(polyline)->GetLineEndings(&start, &end));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 0);
  auto ink = std::static_pointer_cast<CKW_Ink>(Make("<< /Subtype /Ink /InkList [[1 2 3 4] (x) [5 6 7]] >>"));
  auto strokes = ink->GetInkList();
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[1].size(), 1u);  // the odd number is dropped
  auto note = Make("<< /Subtype /Text /Popup 5 /IRT (x) /RT 3 >>");
  auto* markup = static_cast<CKW_MarkupAnnot*>(note.get());
  EXPECT_FALSE(markup->GetPopup());
  EXPECT_FALSE(markup->GetInReplyTo());
  EXPECT_EQ(markup->GetReplyType(), "");
}

// The leader keys have one reader: the line's getter, the appearances and
// the undo items all see a damaged key as 0 next to the keys that are fine.
TEST_F(AnnotModel, LeaderKeysReadAsZeroWhereAbsentOrDamaged) {
  struct Row {
    const char* keys;
    KwLineLeader leader;
    bool wellFormed;
  } rows[] = {
      {"", {0, 0, 0}, true},
      {"/LL 12 /LLE 3 /LLO 1.5", {12, 3, 1.5}, true},
      {"/LL -7", {-7, 0, 0}, true},
      {"/LL (x) /LLE 3", {0, 3, 0}, false},
      {"/LL 12 /LLE 2 /LLO /Far", {12, 2, 0}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    auto line = std::static_pointer_cast<CKW_Line>(
        Make(std::string("<< /Subtype /Line /L [0 0 100 0] ") + row.keys + " >>"));
    KwLineLeader read{9, 9, 9}, direct{9, 9, 9};
    EXPECT_EQ(line->GetLeader(&read), row.wellFormed);
    EXPECT_EQ(KW_ReadLineLeader(line->GetDict(), &direct), row.wellFormed);
    for (const KwLineLeader& got : {read, direct}) {
      EXPECT_EQ(got.length, row.leader.length);
      EXPECT_EQ(got.extension, row.leader.extension);
      EXPECT_EQ(got.offset, row.leader.offset);
    }
  }
  KwLineLeader none{9, 9, 9};
  EXPECT_FALSE(KW_ReadLineLeader(nullptr, &none));
  EXPECT_EQ(none.length, 0);

  // Written back: a zero offset leaves no /LLO behind.
  auto line = std::static_pointer_cast<CKW_Line>(Make("<< /Subtype /Line /L [0 0 100 0] /LLO 4 >>"));
  ASSERT_TRUE(line->SetLeader(KwLineLeader{-5, 2, 0}));
  EXPECT_FALSE(host::DictHasKey(line->GetDict(), "/LLO"));
  KwLineLeader back;
  ASSERT_TRUE(line->GetLeader(&back));
  EXPECT_EQ(back.length, -5);
  EXPECT_EQ(back.extension, 2);
}

TEST_F(AnnotModel, LargeVertexListsAreReadWhole) {
  std::string vertices;
  for (int i = 0; i < 20000; ++i) vertices += std::to_string(i % 600) + " ";
  auto polygon = std::static_pointer_cast<CKW_Polygon>(Make("<< /Subtype /Polygon /Vertices [" + vertices + "] >>"));
  auto points = polygon->GetVertices();
  ASSERT_EQ(points.size(), 10000u);
  EXPECT_EQ(points[9999].y, 199.0f);  // number 19999
}

TEST_F(AnnotModel, BorderWidthRules) {
  struct Row {
    const char* keys;
    bool ok;
    float width;
  } rows[] = {
      {"/BS << /S /D >> /Border [0 0 4]", false, 0},
      {"/BS << /W 2 >> /Border [0 0 4]", true, 2},
      {"/Border [0 0 4]", true, 4},
      {"/Border [0 0 (x)]", true, 1},
      {"/Border [0 0]", true, 1},
      {"/BS << /W -1 >>", true, 0},
      {"/BS << /W (x) >>", true, 1},
      {"", false, 0},
  };
  for (const Row& r : rows) {
    auto annot = Make(std::string("<< /Subtype /Square ") + r.keys + " >>");
    float width = -7;
    EXPECT_EQ(annot->GetBorderWidth(&width), r.ok) << r.keys;
    if (r.ok) {
      EXPECT_EQ(width, r.width) << r.keys;
    }
  }
}

// Width and style are entries of /BS: setting one keeps the other entries
// and the cloud of /BE, which the whole-record writer would take away.
TEST_F(AnnotModel, BorderWidthAndStyleAloneKeepTheRestOfTheBorderAndTheCloud) {
  const std::string cloud = "<< /I 2 /S /C >>";
  auto polygon = Make("<< /Subtype /Polygon /BS << /Type /Border /W 1 /S /D /D [3 2] >> /BE " + cloud + " >>");
  KPD_Dictionary d = polygon->GetDict();
  ASSERT_TRUE(polygon->SetBorderWidth(2.5));
  EXPECT_EQ(test::Write(host::DictGet(d, "/BS")), "<< /D [ 3 2 ] /S /D /Type /Border /W 2.5 >>");
  ASSERT_TRUE(polygon->SetBorderStyle(KW_BORDER_BEVELLED));
  EXPECT_EQ(test::Write(host::DictGet(d, "/BS")), "<< /D [ 3 2 ] /S /B /Type /Border /W 2.5 >>");
  EXPECT_EQ(test::Write(host::DictGet(d, "/BE")), cloud);
  KwBorderInfo border;
  ASSERT_TRUE(polygon->GetImpl()->GetBorderInfo(&border));
  EXPECT_EQ(border.style, KW_BORDER_CLOUDY);
  EXPECT_EQ(border.intensity, 2.0f);
  EXPECT_EQ(border.width, 2.5f);

  // What is no width or no /BS style is refused and nothing changes.
  const std::string before = test::Write(d);
  for (double width : {-1.0, std::nan(""), HUGE_VAL}) EXPECT_FALSE(polygon->SetBorderWidth(width)) << width;
  for (int32_t style : {-1, int32_t(KW_BORDER_CLOUDY), 9}) EXPECT_FALSE(polygon->SetBorderStyle(style)) << style;
  EXPECT_EQ(test::Write(d), before);

  // Without a /BS dictionary a new one holds the entry alone; it rules over
  // /Border from then on.
  for (const char* keys : {"/Border [0 0 3]", "/BS 7", ""}) {
    SCOPED_TRACE(keys);
    auto square = Make(std::string("<< /Subtype /Square ") + keys + " >>");
    ASSERT_TRUE(square->SetBorderWidth(2));
    EXPECT_EQ(test::Write(host::DictGet(square->GetDict(), "/BS")), "<< /W 2 >>");
    float width = 0;
    ASSERT_TRUE(square->GetBorderWidth(&width));
    EXPECT_EQ(width, 2.0f);
  }

  // An indirect /BS is left as it is and replaced by a changed copy, so
  // that a record of the dictionary's keys can undo the change.
  KPD_Dictionary shared = Indirect("<< /W 1 /S /S >>");
  auto line = Make("<< /Subtype /Line /L [0 0 100 0] >>");
  host::DictSet(line->GetDict(), "/BS", shared);
  CKW_AnnotChange change(line->GetDict());
  ASSERT_TRUE(line->SetBorderStyle(KW_BORDER_DASH));
  ASSERT_TRUE(change.Finish());
  EXPECT_EQ(test::Write(shared), "<< /S /S /W 1 >>");
  EXPECT_EQ(test::Write(host::DictGet(line->GetDict(), "/BS")), "<< /S /D /W 1 >>");
  ASSERT_TRUE(change.Apply(false));
  EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(line->GetDict(), "/BS"), shared));
}

// The caption offset of a line: two finite numbers, else none.
TEST_F(AnnotModel, CaptionOffsetIsTwoFiniteNumbers) {
  struct Row {
    const char* keys;
    bool ok;
    float along, across;
  } rows[] = {
      {"", false, 0, 0},          {"/CO [3 -9.5]", true, 3, -9.5f}, {"/CO [3]", false, 0, 0},
      {"/CO [3 4 5]", false, 0, 0}, {"/CO [3 (x)]", false, 0, 0},     {"/CO 3", false, 0, 0},
      {"/CO [3 99999999999]", false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    auto line = std::static_pointer_cast<CKW_Line>(
        Make(std::string("<< /Subtype /Line /L [0 0 100 0] ") + row.keys + " >>"));
    float along = 7, across = 7;
    EXPECT_EQ(line->GetCaptionOffset(&along, &across), row.ok);
    if (row.ok) {
      EXPECT_EQ(along, row.along);
      EXPECT_EQ(across, row.across);
    }
  }
  auto line = std::static_pointer_cast<CKW_Line>(Make("<< /Subtype /Line /L [0 0 100 0] >>"));
  ASSERT_TRUE(line->SetCaptionOffset(4, 0.25f));
  EXPECT_EQ(test::Write(host::DictGet(line->GetDict(), "/CO")), "[ 4 0.25 ]");
  EXPECT_FALSE(line->SetCaptionOffset(std::nanf(""), 1));
  EXPECT_EQ(test::Write(host::DictGet(line->GetDict(), "/CO")), "[ 4 0.25 ]");
  ASSERT_TRUE(line->RemoveCaptionOffset());
  EXPECT_FALSE(host::DictHasKey(line->GetDict(), "/CO"));
}

TEST_F(AnnotModel, OpacityAcceptsOnlyItsRange) {
  auto annot = Make("<< /Subtype /Square >>");
  EXPECT_EQ(annot->GetOpacity(), 1.0f);
  struct Row {
    float value;
    bool accepted;
  } rows[] = {{0.5f, true},  {0.0f, true},   {1.0f, true},    {1.00000005f, true}, {-1e-7f, true},
              {1.01f, false}, {-0.01f, false}, {NAN, false},    {INFINITY, false},   {0.25f, true}};
  float expected = 1.0f;
  for (const Row& r : rows) {
    EXPECT_EQ(annot->SetOpacity(r.value), r.accepted) << r.value;
    if (r.accepted) expected = std::clamp(r.value, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(annot->GetOpacity(), expected) << r.value;
  }
}

TEST_F(AnnotModel, OpacityStateNeedsAVisibleDifference) {
  struct Row {
    const char* keys;
    bool state;
  } rows[] = {
      {"", false},          {"/CA 0.5", true},       {"/CA 1", false},        {"/ca 0.3", true},
      {"/BM /Multiply", true}, {"/CA -1", false},    {"/CA 0.99999999", false}, {"/CA 0.9999", true},
      {"/BM (Multiply)", false}, {"/CA 1 /ca 1", false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Make(std::string("<< /Subtype /Square ") + r.keys + " >>")->GetOpacityState(), r.state) << r.keys;
}

TEST_F(AnnotModel, RectDifferencesRefuseNegativeInsets) {
  auto annot = Make("<< /Subtype /Square >>");
  const float good[4] = {1, 2, 3, 4};
  const float bad[4] = {1, -2, 3, 4};
  EXPECT_TRUE(annot->SetRectDifferences(good));
  EXPECT_FALSE(annot->SetRectDifferences(bad));
  float back[4];
  ASSERT_TRUE(annot->GetRectDifferences(back));
  EXPECT_EQ(back[1], 2.0f);
}

TEST_F(AnnotModel, IntentsAndWhatTheyImply) {
  auto line = std::static_pointer_cast<CKW_Line>(Make("<< /Subtype /Line /IT /LineDimension >>"));
  EXPECT_TRUE(line->SetIntent(""));
  EXPECT_FALSE(host::DictHasKey(line->GetDict(), "/IT"));
  EXPECT_TRUE(line->SetIntent("LineArrow"));
  EXPECT_EQ(line->GetIntent(), "LineArrow");
  int32_t start = -1, end = -1;
  ASSERT_TRUE(line->GetLineEndings(&start, &end));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 4);

  auto polygon = std::static_pointer_cast<CKW_Polygon>(Make("<< /Subtype /Polygon /BS << /W 3 >> >>"));
  EXPECT_TRUE(polygon->SetIntent("PolygonCloud"));
  KwBorderInfo border;
  ASSERT_TRUE(KW_ReadBorderInfo(polygon->GetDict(), &border));
  EXPECT_EQ(border.style, KW_BORDER_CLOUDY);
  EXPECT_FLOAT_EQ(border.intensity, 2.0f);
  EXPECT_FLOAT_EQ(border.width, 3.0f);

  auto square = static_cast<CKW_MarkupAnnot*>(Make("<< /Subtype /Square >>").get());
  EXPECT_TRUE(square->SetIntent("PolygonCloud"));
  EXPECT_FALSE(host::DictHasKey(square->GetDict(), "/BE"));
}

TEST_F(AnnotModel, ColoursReadAndWrite) {
  struct Row {
    const char* c;
    bool ok;
    int32_t kind;
    float first;
  } rows[] = {
      {"[0.5]", true, 1, 0.5f}, {"[1 0 0]", true, 2, 1}, {"[0 1 0 0]", true, 3, 0}, {"[]", true, 0, 0},
      {"[1 0]", false, 0, 0},   {"[2 0 0]", true, 2, 1}, {"(red)", false, 0, 0},    {"[1 (x) 0]", false, 0, 0},
  };
  for (const Row& r : rows) {
    auto annot = Make(std::string("<< /Subtype /Square /C ") + r.c + " >>");
    KPD_ColorF color{};
    EXPECT_EQ(annot->GetColor(&color), r.ok) << r.c;
    EXPECT_EQ(color.kind, r.kind) << r.c;
    EXPECT_FLOAT_EQ(color.c[0], r.first) << r.c;
    KPD_ColorF border{};
    EXPECT_EQ(annot->GetBorderColor(&border), r.ok) << r.c;
  }
  auto annot = Make("<< /Subtype /Square >>");
  KPD_ColorF none{};
  EXPECT_FALSE(annot->GetColor(&none));
  ASSERT_TRUE(annot->SetColor(KPD_ColorF{KPD_COLOR_CMYK, {0.1f, 0.2f, 0.3f, 0.4f}}));
  KPD_ColorF back{};
  ASSERT_TRUE(annot->GetColor(&back));
  EXPECT_EQ(back.kind, KPD_COLOR_CMYK);
  EXPECT_FLOAT_EQ(back.c[3], 0.4f);
  EXPECT_TRUE(annot->SetBorderColor(KPD_ColorF{KPD_COLOR_NONE, {}}));
  EXPECT_FALSE(host::DictHasKey(annot->GetDict(), "/C"));
  EXPECT_FALSE(annot->SetColor(KPD_ColorF{7, {}}));
  EXPECT_FALSE(annot->SetColor(KPD_ColorF{KPD_COLOR_RGB, {NAN, 0, 0, 0}}));
}

// A new colour also rewrites the colour of the default style, keeping the
// other declarations in their order.
TEST_F(AnnotModel, SetColorRewritesTheDefaultStyleColour) {
  auto annot = Make("<< /Subtype /FreeText /DS (font: bold 10pt Helvetica; color:#000000) >>");
  ASSERT_TRUE(annot->SetColor(KPD_ColorF{KPD_COLOR_RGB, {1, 0.5f, 0, 0}}));
  host::WideString ds;
  ASSERT_EQ(host::StringObjectGetText(host::DictGet(annot->GetDict(), "/DS"), ds.get()), 1);
  EXPECT_NE(ds.str().find(u"color:#FF8000"), std::u16string::npos);
  EXPECT_LT(ds.str().find(u"font:"), ds.str().find(u"color:"));
}

TEST_F(AnnotModel, ContentsAndTexts) {
  auto annot = static_cast<CKW_MarkupAnnot*>(Make("<< /Subtype /Text /Contents (old) /RC (<body/>) >>").get());
  std::u16string text;
  ASSERT_TRUE(annot->SetContents(u"caf\u00e9 \u4e2d"));
  ASSERT_TRUE(annot->GetContents(&text));
  EXPECT_EQ(text, u"caf\u00e9 \u4e2d");
  EXPECT_TRUE(annot->SetContents(u""));
  EXPECT_FALSE(host::DictHasKey(annot->GetDict(), "/Contents"));
  EXPECT_FALSE(host::DictHasKey(annot->GetDict(), "/RC"));
  EXPECT_TRUE(annot->SetTitle(u"Ann"));
  EXPECT_TRUE(annot->GetTitle(&text));
  EXPECT_EQ(text, u"Ann");
  EXPECT_TRUE(annot->SetTitle(u""));
  EXPECT_FALSE(annot->GetTitle(&text));
}

TEST_F(AnnotModel, NewContentsRewriteTheRichTextInItsFirstRunsStyle) {
  auto annot = Make(
      "<< /Subtype /FreeText /Rect [0 0 100 50] /Contents (Hello world) /RC (<?xml version=\"1.0\"?>"
      "<body xmlns=\"http://www.w3.org/1999/xhtml\"><p><span style=\"color:#008000;font-weight:bold\">Hello</span>"
      "<span> world</span></p></body>) >>");
  ASSERT_TRUE(annot->SetContents(u"Door\nWall"));
  std::u16string rc;
  ASSERT_TRUE(annot->GetRichContents(&rc));
  auto xml = CKW_RichTextXML::Parse(rc);
  ASSERT_TRUE(xml);
  EXPECT_EQ(xml->GetPlainText(), u"Door\nWall");
  CKW_RichTextStyle style;
  ASSERT_TRUE(xml->GetRichTextStyle(0, &style));
  EXPECT_TRUE(style.bold);
  EXPECT_EQ(style.color, u"#008000");
  // The same text again leaves the rich text as it is.
  const std::u16string before = rc;
  ASSERT_TRUE(annot->SetContents(u"Door\nWall"));
  ASSERT_TRUE(annot->GetRichContents(&rc));
  EXPECT_EQ(rc, before);

  // Rich text that does not parse has no style to keep: it goes, and the
  // text shows in /DS.
  auto broken = Make("<< /Subtype /FreeText /Rect [0 0 100 50] /Contents (a) /DS (font: Helvetica 12pt) /RC (<body><p>) >>");
  ASSERT_TRUE(broken->SetContents(u"b"));
  EXPECT_FALSE(host::DictHasKey(broken->GetDict(), "/RC"));
  EXPECT_TRUE(host::DictHasKey(broken->GetDict(), "/DS"));
}

TEST_F(AnnotModel, RotationLivesWhereEachKindKeepsIt) {
  struct Row {
    const char* keys;
    bool ok;
    int32_t degrees;
  } rows[] = {
      {"/Subtype /Square /Rotation 90", true, 90},   {"/Subtype /Square /Rotate 90", false, 0},
      {"/Subtype /Ink /Rotation 270", true, 270},    {"/Subtype /Line /Rotation 45.4", true, 45},
      {"/Subtype /Widget /Rotate 180", true, 180},   {"/Subtype /Widget /Rotation 180", false, 0},
      {"/Subtype /Text /Rotation 90", false, 0},     {"/Subtype /FreeText /Rotate 90", false, 0},
  };
  for (const Row& r : rows) {
    int32_t degrees = 0;
    EXPECT_EQ(Make(std::string("<< ") + r.keys + " >>")->GetRotation(&degrees), r.ok) << r.keys;
    if (r.ok) {
      EXPECT_EQ(degrees, r.degrees) << r.keys;
    }
  }
}

TEST_F(AnnotModel, PopupIsMadeOnceAndLinkedBothWays) {
  auto note = std::static_pointer_cast<CKW_NoteAnnot>(Make("<< /Subtype /Text /Rect [0 0 10 10] >>"));
  KPD_Dictionary popup = note->SetPopup(KS_FloatRect{100, 100, 50, 50}, true);
  ASSERT_TRUE(popup);
  EXPECT_EQ(note->GetPopup(), popup);
  EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(popup, "/Parent"), note->GetDict()));
  bool open = false;
  EXPECT_TRUE(note->GetPopupOpen(&open));
  EXPECT_TRUE(open);
  EXPECT_EQ(note->SetPopup(KS_FloatRect{0, 0, 1, 1}, false), popup);
  EXPECT_TRUE(note->GetPopupOpen(&open));
  EXPECT_FALSE(open);
  EXPECT_EQ(list_->CountAnnots(), 2);
  auto wrapper = list_->GetAnnot(popup);
  EXPECT_EQ(typeid(*wrapper), typeid(CKW_PopupAnnot));
  KS_FloatRect rect{};
  ASSERT_TRUE(wrapper->GetRect(&rect));
  EXPECT_EQ(rect.right, 1.0f);
}

TEST_F(AnnotModel, AppearanceFontDictionaryIsMadeOnRequest) {
  auto annot = Make("<< /Subtype /FreeText >>");
  EXPECT_FALSE(annot->GetAPFontDict(false));
  KPD_Dictionary fonts = annot->GetAPFontDict(true);
  ASSERT_TRUE(fonts);
  EXPECT_EQ(annot->GetAPFontDict(false), fonts);
  KPD_Object normal = host::DictGet(host::DictGet(annot->GetDict(), "/AP"), "/N");
  EXPECT_EQ(host::ObjectGetType(normal), KPD_OBJ_STREAM);
  EXPECT_TRUE(host::NameIs(host::DictGet(normal, "/Subtype"), "/Form"));
  // Nothing here draws yet, so the state is left alone.
  EXPECT_FALSE(annot->ResetAppearanceAndState());
}

// Setting the value a key already holds leaves the stored object alone, so
// nothing is rewritten needlessly; another value replaces it.
TEST_F(AnnotModel, SettingTheStoredValueAgainKeepsTheStoredObject) {
  struct Row {
    const char* key;
    std::function<bool(CKW_MarkupAnnotImpl&, bool other)> set;
  } rows[] = {
      {"/Rect", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetRect({10, 20, o ? 31.f : 30.f, 40}); }},
      {"/C", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetColor({KPD_COLOR_RGB, {1, o ? 0.5f : 0, 0, 0}}); }},
      {"/IC", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetInteriorColor({KPD_COLOR_GRAY, {o ? 0.2f : 0.7f}}); }},
      {"/CA", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetOpacity(o ? 0.25f : 0.5f); }},
      {"/Rotation", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetRotation(o ? 180 : 90); }},
      {"/NM", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetName(o ? u"b" : u"a"); }},
      {"/IT", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetIntent(o ? "PolygonCloud" : "PolygonDimension"); }},
      {"/Vertices",
       [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetVertices({{1, 2}, {3, o ? 5.f : 4.f}, {5, 0}}); }},
      {"/BS", [](CKW_MarkupAnnotImpl& a, bool o) {
         KwBorderInfo border;
         border.width = o ? 3.0f : 2.0f;
         return a.SetBorderInfo(border);
       }},
      {"/BS", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetBorderWidth(o ? 3.5 : 2.5); }},
      {"/BS", [](CKW_MarkupAnnotImpl& a, bool o) { return a.SetBorderStyle(o ? KW_BORDER_INSET : KW_BORDER_DASH); }},
  };
  for (const Row& row : rows) {
    CKW_PolygonImpl annot(Insert("<< /Subtype /Polygon /Rect [0 0 50 50] >>"), KW_ANNOT_POLYGON, nullptr);
    KPD_Dictionary d = annot.GetDict();
    ASSERT_TRUE(row.set(annot, false)) << row.key;
    KPD_Object stored = host::DictGet(d, row.key);
    const std::string text = test::Write(d);
    ASSERT_TRUE(row.set(annot, false)) << row.key;
    EXPECT_TRUE(host::ObjectIsIdentical(stored, host::DictGet(d, row.key))) << row.key;
    EXPECT_EQ(test::Write(d), text) << row.key;
    ASSERT_TRUE(row.set(annot, true)) << row.key;
    EXPECT_NE(test::Write(d), text) << row.key;
  }
}

}  // namespace
}  // namespace kwannotation
