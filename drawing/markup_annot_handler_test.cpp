// The markup handler, the shape objects and their undo items, driven through
// the records the editor calls, against the real editor in-process.
#include "drawing/markup_annot_handler.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drawing/cda_module.h"
#include "drawing/cda_shapes.h"
#include "drawing/cda_undo.h"
#include "host/annot_props.h"
#include "host/core_hft.h"
#include "host/device.h"
#include "host/editor.h"
#include "host/host_env.h"
#include "host/test_temp_dir.h"
#include "kwannotation/kw_page_annot_list.h"
#include "plugin/annot_undo.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

using kshost::DrawItem;
using kshost::Editor;

// Preferences go to a fresh folder for the whole program.
class PrefsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    kshost::Env().Reset();
  }
  void TearDown() override { kshost::Env().Reset(); }

 private:
  kshost::testing::TempDir config_;
};
const auto* const kPrefsEnvironment = ::testing::AddGlobalTestEnvironment(new PrefsEnvironment);

// The editor has no snapping engine yet; tests switch its answer here.
bool g_snap = false;
int32_t SnapAnswer() { return g_snap; }
void* GetEntry(KS_CoreHFT, int32_t selector, int32_t index, KS_PluginID id) {
  if (selector == KS_SEL_SNAP && index == 0) return reinterpret_cast<void*>(&SnapAnswer);
  KS_CoreHFT real = kshost::CoreHFT();
  return real->GetEntry(real, selector, index, id);
}

template <typename F>
F At(const KS_AnnotHandlerCallbacks& r, int position) {
  return reinterpret_cast<F>(KS_RECORD_POSITION(r, position));
}

std::string Written(KPD_Object object) {
  Host::ByteString out;
  Host::ObjectWrite(object, out.get());
  return out.str();
}

std::vector<float> Numbers(KPD_Dictionary dict, const char* key) {
  KPD_Object array = Host::DictGet(dict, key);
  int32_t n = array ? Host::ArrayCount(array) : 0;
  std::vector<float> v(n);
  if (n) Host::ArrayGetNumbers(array, v.data(), n);
  return v;
}

struct CountingUndo : CAnnot_BaseUndo {
  explicit CountingUndo(int* deaths) : deaths_(deaths) {}
  ~CountingUndo() override { ++*deaths_; }
  void Undo() override {}
  void Redo() override {}
  int* deaths_;
};

class MarkupEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    static KS_CoreHFTRec core{sizeof(KS_CoreHFTRec), &GetEntry};
    Host::Bind(&core, nullptr);
    g_snap = false;
    Editor::Get().Reset();
    pdf_ = Host::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    Host::DocAddPage(pdf_, &letter);
    doc_ = Editor::Get().AddDocument(pdf_, false);
    view_ = Editor::Get().SetView(0, 2.0f, 0);
    list_ = kwannotation::CKW_PageAnnotList::Create(pdf_, 0);
    handler_.Register("Line");
  }
  void TearDown() override {
    // Closing the document releases every behaviour object.
    Editor::Get().Reset();
    EXPECT_EQ(CMarkup_AnnotRegistry::Get().Count(), 0u);
    list_.reset();
    Host::DocClose(pdf_);
  }

  // A line annotation with a generated appearance and the given /Rect.
  KA_Annot Line(KS_FloatPoint a, KS_FloatPoint b, const std::string& intent = {}, const char* rect = nullptr) {
    auto kw = list_->CreateAnnot("Line", nullptr, intent);
    auto* line = dynamic_cast<kwannotation::CKW_Line*>(kw.get());
    EXPECT_TRUE(line);
    line->SetLinePoints(a, b);
    kw->ResetAppearance();
    if (rect) SetKey(kw->GetDict(), "/Rect", rect);
    return Host::AnnotFromDict(doc_, kw->GetDict());
  }
  KA_Annot Parsed(const std::string& text) {
    auto parsed = Host::ObjectParse(text.data(), text.size());
    KPD_Dictionary dict = Host::PageInsertAnnot(Host::DocGetPage(pdf_, 0), -1, parsed);
    Host::ObjectRelease(parsed);
    return Host::AnnotFromDict(doc_, dict);
  }
  static void SetKey(KPD_Dictionary dict, const char* key, const std::string& text) {
    KPD_Object value = Host::ObjectParse(text.data(), text.size());
    Host::DictSet(dict, key, value);
    Host::ObjectRelease(value);
  }
  // The behaviour object the editor has the handler make on first use.
  KA_AnnotObject ObjectOf(KA_Annot annot) { return Editor::Get().ObjectFor(annot); }
  // A question without arguments to that object, through its record.
  int32_t AskObject(KA_Annot annot, int position) {
    KS_AnnotObjectCallbacks record = ObjectOf(annot)->record;
    return reinterpret_cast<int32_t (*)(void*)>(KS_RECORD_POSITION(record, position))(record.clientData);
  }
  // The shape object of kind L (line), P (polyline) or C (circle).
  static std::unique_ptr<CMarkup_Annot> Shape(char kind, KA_Annot annot) {
    if (kind == 'P') return std::make_unique<CDA_PolyLine>(annot);
    if (kind == 'C') return std::make_unique<CDA_Circle>(annot);
    return std::make_unique<CDA_Line>(annot);
  }
  void Select(std::vector<KA_Annot> annots, KA_Annot focused = nullptr) {
    Host::AppDocDeselectAll(doc_);
    for (KA_Annot a : annots) Host::AppDocSelect(doc_, a, 1);
    Host::AppDocSetFocusedAnnot(doc_, focused);
  }
  KS_DeviceRect Device(KS_FloatRect page) {
    KS_DeviceRect out;
    Host::PageViewPageRectToDevice(view_, &page, &out);
    return out;
  }
  KS_DeviceRect BBox(KA_AnnotObject object) {
    KS_DeviceRect box{};
    At<KS_AHBBoxProc>(handler_.GetRecord(), KS_AH_BBOX)(&handler_, view_, object, &box);
    return box;
  }
  static KS_DeviceRect Inflated(KS_DeviceRect r) { return {r.left - 11, r.top - 11, r.right + 11, r.bottom + 11}; }
  // Dictionary and normal appearance, as the undo must give them back.
  static std::string StateOf(KA_Annot annot) {
    KPD_Dictionary dict = Host::AnnotGetDict(annot);
    KPD_Object n = Host::DictGet(Host::DictGet(dict, "/AP"), "/N");
    Host::ByteString data;
    Host::StreamGetData(n, 0, data.get());
    return Written(dict) + " | " + Written(n) + " | " + data.str();
  }
  // The decoded content of the normal appearance.
  static std::string NormalContent(KPD_Dictionary dict) {
    Host::ByteString data;
    Host::StreamGetData(Host::DictGet(Host::DictGet(dict, "/AP"), "/N"), 1, data.get());
    return data.str();
  }

  KPD_Document pdf_ = nullptr;
  KA_Document doc_ = nullptr;
  KA_PageView view_ = nullptr;
  std::shared_ptr<kwannotation::CKW_PageAnnotList> list_;
  CDA_ShapeHandler<CDA_Line> handler_;
};

TEST_F(MarkupEditing, FocusedBoxCoversTheRotatedFramePlusElevenPixels) {
  struct Row {
    int rotation;
    bool focused;
    KS_FloatRect page;  // what the box covers before the 11 pixels
  } rows[] = {
      {90, true, {100, 70, 200, 170}},    // the frame turned upright about (150, 120)
      {270, true, {100, 70, 200, 170}},   // stored 270 reads as -90
      {90, false, {100, 100, 200, 140}},  // unfocused: the rectangle only
      {0, true, {100, 100, 200, 140}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.rotation) + (row.focused ? " focused" : ""));
    KA_Annot annot = Line({100, 120}, {200, 120}, {}, "[100 100 200 140]");
    SetKey(Host::AnnotGetDict(annot), "/Rotation", std::to_string(row.rotation));
    KA_AnnotObject object = ObjectOf(annot);
    ASSERT_NE(object, nullptr);
    Select({annot}, row.focused ? annot : nullptr);
    KS_DeviceRect want = Inflated(Device(row.page)), got = BBox(object);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
  }
}

TEST_F(MarkupEditing, HitTestIncludesTheInflatedEdges) {
  KA_AnnotObject object = ObjectOf(Line({100, 120}, {200, 120}, {}, "[100 100 200 140]"));
  KS_DeviceRect box = BBox(object);
  auto hit = [&](int x, int y) {
    return At<KS_AHHitTestProc>(handler_.GetRecord(), KS_AH_HIT_TEST)(&handler_, view_, object, {x, y});
  };
  EXPECT_TRUE(hit(box.left, box.top));
  EXPECT_TRUE(hit(box.right, box.bottom));
  EXPECT_FALSE(hit(box.left - 1, box.top));
  EXPECT_FALSE(hit(box.right, box.bottom + 1));
  // Without a view or a known object nothing hits.
  EXPECT_FALSE(At<KS_AHHitTestProc>(handler_.GetRecord(), KS_AH_HIT_TEST)(&handler_, nullptr, object, {box.left, box.top}));
  EXPECT_FALSE(At<KS_AHHitTestProc>(handler_.GetRecord(), KS_AH_HIT_TEST)(&handler_, view_, nullptr, {box.left, box.top}));
}

TEST_F(MarkupEditing, SelectedOutlinesAreRedWhenFocusedAndBlackOtherwise) {
  KA_Annot first = Line({100, 120}, {200, 120}, {}, "[100 100 200 140]");
  KA_Annot second = Line({300, 320}, {400, 320}, {}, "[300 300 400 340]");
  Line({10, 20}, {50, 20}, {}, "[10 10 50 30]");  // not selected: no outline
  Select({first, second}, second);
  std::vector<DrawItem> items = Editor::Get().Paint(view_);
  std::vector<DrawItem> rects;
  int appearances = 0;
  for (const DrawItem& item : items) {
    if (item.kind == DrawItem::Kind::Rect) rects.push_back(item);
    if (item.kind == DrawItem::Kind::Appearance) ++appearances;
  }
  EXPECT_EQ(appearances, 3);
  ASSERT_EQ(rects.size(), 2u);
  struct Want {
    KS_ColorRef pen;
    KS_FloatRect page;  // the rectangle itself, not inflated
  } want[] = {{0x000000, {100, 100, 200, 140}}, {0x0000FF, {300, 300, 400, 340}}};
  for (size_t i = 0; i < rects.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rects[i].pen.color, want[i].pen);
    EXPECT_EQ(rects[i].pen.width, 1);
    EXPECT_EQ(rects[i].pen.style, 0);
    EXPECT_TRUE(rects[i].brush.hollow);
    KS_DeviceRect r = Device(want[i].page);
    ASSERT_EQ(rects[i].points.size(), 2u);
    EXPECT_EQ(rects[i].points[0].x, r.left);
    EXPECT_EQ(rects[i].points[0].y, r.top);
    EXPECT_EQ(rects[i].points[1].x, r.right);
    EXPECT_EQ(rects[i].points[1].y, r.bottom);
  }
}

TEST_F(MarkupEditing, CommandEnabling) {
  KA_Annot distance = Line({0, 0}, {100, 0}, "LineDimension");
  KA_Annot ink = Parsed("<< /Type /Annot /Subtype /Ink /Rect [0 0 10 10] /InkList [[0 0 5 5]] >>");
  KA_Annot area = Parsed("<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /Rect [0 0 10 10] >>");
  struct Row {
    std::vector<KA_Annot> selected;
    int32_t command;
    bool enabled;
  } rows[] = {
      {{ink, distance}, KS_COMMAND_FLATTEN, false},
      {{area}, KS_COMMAND_FLATTEN, false},
      {{ink}, KS_COMMAND_FLATTEN, true},
      {{}, KS_COMMAND_FLATTEN, false},
      {{ink}, KS_COMMAND_SET_DEFAULT, false},
      {{distance}, KS_COMMAND_ROTATE_LEFT, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    Select(row.selected);
    EXPECT_EQ(At<KS_AHCommandProc>(handler_.GetRecord(), KS_AH_COMMAND_ENABLED)(&handler_, doc_, row.command) != 0,
              row.enabled);
  }
}

// The editor's own questions, whose meaning the plug-in does not use, get
// the answers the handler and object records have always given: fixed
// values for the positions that have one, no and empty texts elsewhere.
TEST_F(MarkupEditing, EditorsOwnQuestionsGetTheirFixedAnswers) {
  KA_Annot annot = Line({0, 0}, {100, 0});
  KA_AnnotObject object = ObjectOf(annot);
  const KS_AnnotHandlerCallbacks& record = handler_.GetRecord();
  using ObjectQuestion = intptr_t (*)(void*, KA_AnnotObject, intptr_t, intptr_t, intptr_t);
  struct Row {
    int position;
    intptr_t answer;
  } rows[] = {{22, 1}, {26, 0}, {28, 1}, {29, 1}, {30, 0}, {35, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.position);
    auto ask = At<ObjectQuestion>(record, row.position);
    ASSERT_NE(ask, nullptr);
    EXPECT_EQ(ask(&handler_, object, 0, 0, 0), row.answer);
    EXPECT_EQ(ask(&handler_, nullptr, 0, 0, 0), 0) << "no object, no answer";
  }
  EXPECT_EQ(At<void*>(record, 18), nullptr);
  EXPECT_EQ(At<void*>(record, 19), nullptr);

  Host::ByteString text("left over");
  EXPECT_EQ(At<KS_AHTextProc>(record, KS_AH_ACCEPTS_TOOL)(&handler_, text.get()), 0);
  EXPECT_EQ(At<KS_AHTextProc>(record, KS_AH_TEXT_QUERY)(&handler_, text.get()), 0);
  At<KS_AHTextOutProc>(record, KS_AH_TEXT_OUT_NEXT)(&handler_, text.get());
  EXPECT_EQ(text.str(), "");
  Host::WideString wide(u"left over");
  EXPECT_EQ(At<KS_AHWideTextOutProc>(record, KS_AH_WIDE_TEXT_OUT)(&handler_, wide.get()), 0);
  EXPECT_EQ(wide.str(), u"");
  EXPECT_EQ(At<KS_AHValuesProc>(record, KS_AH_VALUES_QUERY)(&handler_, 1, 2), 0);
  EXPECT_EQ(At<KS_AHObjectProc>(record, KS_AH_OBJECT_NOTICE)(&handler_, object), 0);
  KS_FloatRect rect{1, 2, 3, 4};
  EXPECT_EQ(At<KS_AHRectOutProc>(record, KS_AH_EMPTY_RECT)(&handler_, &rect), 0);
  EXPECT_EQ(rect.right, 0);

  for (int position : {KS_AO_QUERY, KS_AO_SHAPE_QUERY, KS_AO_QUERY_NEXT}) EXPECT_EQ(AskObject(annot, position), 0);
  EXPECT_EQ(AskObject(annot, KS_AO_SHAPE_GROUP), 99);
}

TEST_F(MarkupEditing, PreferenceSectionFollowsTheIntent) {
  struct Row {
    const char* keys;
    char kind;  // L line, P polyline, C circle
    std::u16string section;
  } rows[] = {
      {"/Subtype /Line /IT /LineArrow", 'L', u"Annotation\\Arrow"},
      {"/Subtype /Line /IT /LineDimension", 'L', u"Annotation\\Distance"},
      {"/Subtype /Line", 'L', u"Annotation\\Line"},
      {"/Subtype /PolyLine /IT /PolyLineDimension /RiseDrop true", 'P', u"Annotation\\Polylength"},
      {"/Subtype /PolyLine /IT /PolyLineDimension", 'P', u"Annotation\\Perimeter"},
      {"/Subtype /PolyLine /IT /PolyLineAngle", 'P', u"Annotation\\Angle"},
      {"/Subtype /PolyLine /IT /Other", 'P', u"Annotation\\Polyline"},
      {"/Subtype /Circle /IT /CircleDimension /MeasurementTypes 1", 'C', u"Annotation\\CircleDiameter"},
      {"/Subtype /Circle /IT /CircleDimension", 'C', u"Annotation\\CircleArea"},
      {"/Subtype /Circle", 'C', u"Annotation\\Circle"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    KA_Annot annot = Parsed(std::string("<< /Type /Annot /Rect [0 0 10 10] ") + row.keys + " >>");
    EXPECT_EQ(Shape(row.kind, annot)->GetPrefSection(), row.section);
  }
}

TEST_F(MarkupEditing, AnchorPoints) {
  struct Row {
    std::string keys;
    char kind;
    KS_FloatPoint anchor;
  } rows[] = {
      {"/Subtype /Line /L [10 0 10 5]", 'L', {10, 0}},  // equal x: the start
      {"/Subtype /Line /L [0 0 10 5]", 'L', {10, 5}},
      {"/Subtype /Line /L [10 5 0 0]", 'L', {10, 5}},
      {"/Subtype /PolyLine /Vertices [0 0 8 1 8 2 3 3]", 'P', {8, 2}},  // the last of equal ones
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    KA_Annot annot = Parsed("<< /Type /Annot /Rect [0 0 10 10] " + row.keys + " >>");
    KS_FloatPoint got{-1, -1};
    EXPECT_TRUE(Shape(row.kind, annot)->GetAnchor(&got));
    EXPECT_EQ(got.x, row.anchor.x);
    EXPECT_EQ(got.y, row.anchor.y);
  }
}

// The colours the editor sets through the object record it made the object
// from. The colour goes through the model's colour setter: a default style
// string follows it, so text drawn from /DS does not keep the old colour.
TEST_F(MarkupEditing, ColoursThroughTheObjectRecordKeepTheDefaultStyleInStep) {
  KA_Annot annot = Line({0, 0}, {100, 0});
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  SetKey(dict, "/DS", "(font: Helvetica 12pt; color:#FF0000)");
  KA_AnnotObject object = ObjectOf(annot);
  CMarkup_Annot* obj = CMarkup_AnnotRegistry::Get().Find(object);
  ASSERT_NE(obj, nullptr);
  KS_AnnotObjectCallbacks record = object->record;
  auto setInterior =
      reinterpret_cast<void (*)(void*, KS_ColorRef, int32_t)>(KS_RECORD_POSITION(record, KS_AO_SET_INTERIOR));
  auto setColour = reinterpret_cast<void (*)(void*, KS_ColorRef)>(KS_RECORD_POSITION(record, KS_AO_SET_COLOR));

  setInterior(record.clientData, 0x00FF8000, 0);  // 0x00BBGGRR: red 0x00, green 0x80, blue 0xFF
  EXPECT_EQ(Numbers(dict, "/IC"), (std::vector<float>{0, 128 / 255.0f, 1}));
  KS_ColorRef back = 0;
  bool none = true;
  EXPECT_TRUE(obj->GetInteriorColor(&back, &none));
  EXPECT_FALSE(none);
  EXPECT_EQ(back, 0x00FF8000u);
  setInterior(record.clientData, 0x000000FF, 1);
  EXPECT_FALSE(Host::DictHasKey(dict, "/IC"));

  setColour(record.clientData, 0x00FF8000);
  EXPECT_EQ(Numbers(dict, "/C"), (std::vector<float>{0, 128 / 255.0f, 1}));
  Host::WideString ds;
  ASSERT_TRUE(Host::StringObjectGetText(Host::DictGet(dict, "/DS"), ds.get()));
  const std::u16string style = ds.str();
  EXPECT_NE(style.find(u"color:#0080FF"), std::u16string::npos);
  EXPECT_EQ(style.find(u"#FF0000"), std::u16string::npos);
  EXPECT_NE(style.find(u"Helvetica"), std::u16string::npos) << "the rest of the style stays";

  // Without /DS the colour is all that is written.
  KA_Annot plain = Line({0, 10}, {100, 10});
  setColour(ObjectOf(plain)->record.clientData, 0x000000FF);
  EXPECT_EQ(Numbers(Host::AnnotGetDict(plain), "/C"), (std::vector<float>{1, 0, 0}));
  EXPECT_FALSE(Host::DictHasKey(Host::AnnotGetDict(plain), "/DS"));
}

TEST_F(MarkupEditing, RotationIsNormalisedAndFollowsAnOppositeAppearanceMatrix) {
  struct Stamp : CMarkup_Annot {
    using CMarkup_Annot::CMarkup_Annot;
    std::string GetTypeName() const override { return "Stamp"; }
  };
  // A normal appearance whose matrix turns by -30 degrees.
  KPD_Stream turned = Host::DocNewStream(pdf_, "", 0);
  SetKey(Host::StreamGetDict(turned), "/Matrix", "[0.866025 -0.5 0.5 0.866025 0 0]");
  struct Row {
    std::string keys;
    bool turnedAppearance;
    int32_t rotation;
  } rows[] = {
      {"/Subtype /Line", false, 0},
      {"/Subtype /Line /Rotation 270", false, -90},
      {"/Subtype /Line /Rotation -200", false, 160},
      {"/Subtype /Line /Rotation 30", true, -30},
      {"/Subtype /Line /Rotation 45", true, 45},  // not the opposite: the stored one
      {"/Subtype /Stamp /Rotate 90 /Rotation 10", false, 90},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    KA_Annot annot = Parsed("<< /Type /Annot /Rect [0 0 10 10] " + row.keys + " >>");
    if (row.turnedAppearance) {
      SetKey(Host::AnnotGetDict(annot), "/AP", "<< >>");
      Host::DictSet(Host::DictGet(Host::AnnotGetDict(annot), "/AP"), "/N", turned);
    }
    if (row.keys.find("Stamp") != std::string::npos) {
      EXPECT_EQ(Stamp(annot).GetRotation(), row.rotation);
    } else {
      EXPECT_EQ(CDA_Line(annot).GetRotation(), row.rotation);
    }
  }
  // Written back under the kind's own key.
  KA_Annot line = Parsed("<< /Type /Annot /Subtype /Line /Rect [0 0 10 10] >>");
  CDA_Line obj(line);
  ASSERT_TRUE(obj.SetRotation(-45));
  EXPECT_EQ(Written(Host::DictGet(Host::AnnotGetDict(line), "/Rotation")), "-45");
}

TEST_F(MarkupEditing, MoveRecordsOneUndoItemThatRestoresTheExactState) {
  KA_Annot annot = Line({100, 120}, {200, 120});
  KA_AnnotObject object = ObjectOf(annot);
  std::string before = StateOf(annot);
  auto move = At<KS_AHRectsProc>(handler_.GetRecord(), KS_AH_MOVE);

  KS_DeviceRect from{100, 100, 200, 200}, same = from, to{200, 100, 300, 200};
  EXPECT_FALSE(move(&handler_, view_, object, &from, &same));
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 0) << "no item for a change that did not happen";

  EXPECT_TRUE(move(&handler_, view_, object, &from, &to));
  std::string after = StateOf(annot);
  ASSERT_NE(after, before);
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 1);
  EXPECT_EQ(Numbers(Host::AnnotGetDict(annot), "/L"), (std::vector<float>{150, 120, 250, 120}));

  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Editor::Get().Undo(doc_));
    EXPECT_EQ(StateOf(annot), before);
    ASSERT_TRUE(Editor::Get().Redo(doc_));
    EXPECT_EQ(StateOf(annot), after);
  }
  // Once the annotation is gone, undo leaves everything alone.
  KPD_Page page = Host::DocGetPage(pdf_, 0);
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  ASSERT_TRUE(Host::PageRemoveAnnot(page, Host::PageFindAnnot(page, dict)));
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  Host::PageInsertAnnot(page, -1, dict);
  ASSERT_EQ(Host::AnnotGetPageIndex(annot), 0);
  EXPECT_EQ(StateOf(annot), after);
}

TEST_F(MarkupEditing, DragWithSnappingIsBracketedByAnUntitledUndoGroup) {
  // A handler whose move records two items: inside the bracket's group they
  // make one undo step.
  struct TwoItems : CDA_ShapeHandler<CDA_Line> {
    bool Move(KA_PageView, CMarkup_Annot* obj, const KS_DeviceRect&, const KS_DeviceRect&) override {
      for (int i = 0; i < 2; ++i) AnnotUndo_HandOver(std::make_unique<CountingUndo>(&deaths), obj->GetDocument());
      return true;
    }
    int deaths = 0;
  };
  Editor::Get().UnregisterAnnotHandler(handler_.GetHandle());
  TwoItems handler;
  handler.Register("Line");
  KA_AnnotObject object = ObjectOf(Line({100, 120}, {200, 120}));
  auto move = At<KS_AHRectsProc>(handler.GetRecord(), KS_AH_MOVE);
  KS_DeviceRect from{100, 100, 200, 200}, to{140, 80, 240, 180};

  EXPECT_TRUE(move(&handler, view_, object, &from, &to));
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 2) << "snapping off: no group";
  g_snap = true;
  EXPECT_TRUE(move(&handler, view_, object, &from, &to));
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 3);
  // Device y grows downwards and the view is at zoom 2.
  EXPECT_FLOAT_EQ(handler.GetDragDisplacement().x, 20);
  EXPECT_FLOAT_EQ(handler.GetDragDisplacement().y, 10);
  // A callback for an object the plug-in does not know does nothing.
  EXPECT_FALSE(move(&handler, view_, nullptr, &from, &to));
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 3);
  Editor::Get().Reset();
  EXPECT_EQ(handler.deaths, 4);
}

TEST_F(MarkupEditing, SetPointMovesTheNearestEndAndRegenerates) {
  KA_Annot annot = Line({100, 120}, {200, 120});
  KA_AnnotObject object = ObjectOf(annot);
  std::string before = StateOf(annot);
  EXPECT_TRUE(At<KS_AHSetPointProc>(handler_.GetRecord(), KS_AH_SET_POINT)(&handler_, object, {190, 150}));
  EXPECT_EQ(Numbers(Host::AnnotGetDict(annot), "/L"), (std::vector<float>{100, 120, 190, 150}));
  std::string after = StateOf(annot);
  EXPECT_NE(after.substr(after.find(" | ")), before.substr(before.find(" | "))) << "appearance rebuilt";
}

TEST_F(MarkupEditing, RegistryFindsObjectsBothWays) {
  KA_Annot annot = Line({0, 0}, {10, 0});
  KA_AnnotObject object = ObjectOf(annot);
  auto& registry = CMarkup_AnnotRegistry::Get();
  CMarkup_Annot* obj = registry.Find(object);
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(registry.FindObject(obj), object);
  // An unregistered object for the same annotation finds the registered one.
  CDA_Line other(annot);
  EXPECT_EQ(registry.FindObject(&other), object);
  EXPECT_EQ(registry.Find(nullptr), nullptr);
  // A handler without a host handle makes nothing.
  CDA_ShapeHandler<CDA_Line> unregistered;
  EXPECT_EQ(unregistered.CreateAnnotObject(annot, 0), nullptr);
}

TEST_F(MarkupEditing, DrawingModuleRegistersItsFourKindsAndReleasesThem) {
  CDA_Module module;
  module.Init();
  auto types = Editor::Get().AnnotHandlerTypes();
  for (const char* type : {"Line", "PolyLine", "Polygon", "Circle"})
    EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
  module.Exit();
  types = Editor::Get().AnnotHandlerTypes();
  for (const char* type : {"PolyLine", "Polygon", "Circle"})
    EXPECT_EQ(std::find(types.begin(), types.end(), type), types.end()) << type;
}

TEST_F(MarkupEditing, HandOverGivesTheItemAwayEvenWhenRefused) {
  int deaths = 0;
  EXPECT_TRUE(AnnotUndo_HandOver(std::make_unique<CountingUndo>(&deaths), doc_));
  EXPECT_EQ(deaths, 0);
  // An unknown document: the host refuses and releases the item once.
  EXPECT_FALSE(AnnotUndo_HandOver(std::make_unique<CountingUndo>(&deaths), nullptr));
  EXPECT_EQ(deaths, 1);
  Editor::Get().Reset();  // closing releases the kept one
  EXPECT_EQ(deaths, 2);
}

TEST_F(MarkupEditing, CaptionMoveUndoPutsTheOffsetBackOrRemovesIt) {
  for (bool hadOffset : {true, false}) {
    for (bool recorded : {true, false}) {
      SCOPED_TRACE(std::string(hadOffset ? "had /CO" : "no /CO") + (recorded ? ", recorded" : ", offsets only"));
      KA_Annot annot = Line({100, 120}, {200, 120}, "LineDimension");
      KPD_Dictionary dict = Host::AnnotGetDict(annot);
      if (hadOffset) SetKey(dict, "/CO", "[0 5]");
      std::string before = Written(dict);
      auto change = std::make_unique<kwannotation::CKW_AnnotChange>(dict);
      SetKey(dict, "/CO", "[3 9]");
      ASSERT_TRUE(change->Finish());
      const int32_t from[2] = {0, 5}, to[2] = {3, 9};
      CDA_MoveCaptionUndoItem item(doc_, annot, recorded ? std::move(change) : nullptr, from, to, hadOffset,
                                   u"Move Caption");
      item.Undo();
      EXPECT_EQ(Host::DictHasKey(dict, "/CO") != 0, hadOffset);
      if (recorded) EXPECT_EQ(Written(dict), before);
      if (hadOffset) EXPECT_EQ(Numbers(dict, "/CO"), (std::vector<float>{0, 5}));
      item.Redo();
      EXPECT_EQ(Numbers(dict, "/CO"), (std::vector<float>{3, 9}));
    }
  }
  // Only lines have a caption to move.
  KA_Annot circle = Parsed("<< /Type /Annot /Subtype /Circle /Rect [0 0 10 10] /CO [1 1] >>");
  const int32_t from[2] = {0, 0}, to[2] = {1, 1};
  CDA_MoveCaptionUndoItem item(doc_, circle, nullptr, from, to, false, u"Move Caption");
  item.Undo();
  EXPECT_TRUE(Host::DictHasKey(Host::AnnotGetDict(circle), "/CO"));
}

TEST_F(MarkupEditing, DefaultPropertiesGoFromOneLineToTheNextThroughTheKindsSection) {
  KA_Annot styled = Line({100, 120}, {200, 120}, "LineArrow");
  KPD_Dictionary from = Host::AnnotGetDict(styled);
  SetKey(from, "/C", "[0 0 1]");
  SetKey(from, "/IC", "[1 1 0]");
  SetKey(from, "/BS", "<< /W 2.5 /S /D >>");
  SetKey(from, "/LE", "[/Circle /OpenArrow]");
  SetKey(from, "/CA", "0.5");
  SetKey(from, "/T", "(Ann)");
  SetKey(from, "/Subj", "(Arrow)");
  KA_Annot plain = Line({10, 20}, {50, 20}, "LineArrow");
  KA_Annot other = Line({10, 50}, {50, 50});  // another kind: "Annotation\Line"

  ASSERT_TRUE(AskObject(styled, 44));
  ASSERT_TRUE(AskObject(plain, 45));
  KPD_Dictionary to = Host::AnnotGetDict(plain);
  for (const char* key : {"/C", "/IC", "/LE", "/CA", "/T", "/Subj"})
    EXPECT_EQ(Written(Host::DictGet(to, key)), Written(Host::DictGet(from, key))) << key;
  EXPECT_EQ(Written(Host::DictGet(Host::DictGet(to, "/BS"), "/W")), "2.5");
  EXPECT_EQ(Written(Host::DictGet(Host::DictGet(to, "/BS"), "/S")), "/D");

  ASSERT_TRUE(AskObject(other, 45));
  EXPECT_FALSE(Host::DictHasKey(Host::AnnotGetDict(other), "/T")) << "the arrow's defaults stay with arrows";
}

// The kind's thickness and border style go into /BS alone: a cloudy polygon
// stays cloudy, with its other /BS entries.
TEST_F(MarkupEditing, DefaultWidthAndStyleLeaveACloudyPolygonCloudy) {
  CDA_ShapeHandler<CDA_Polygon> polygons;
  ASSERT_TRUE(polygons.Register("Polygon"));
  const char* const kCloudy =
      "<< /Type /Annot /Subtype /Polygon /Rect [90 90 210 210] /Vertices [100 100 200 100 150 200]"
      " /BS << /W 1 /S /S /D [3 2] >> /BE << /S /C /I 2 >> >>";
  KA_Annot styled = Parsed(kCloudy);
  SetKey(Host::AnnotGetDict(styled), "/BS", "<< /W 2.5 /S /D >>");
  KA_Annot plain = Parsed(kCloudy);
  ASSERT_TRUE(AskObject(styled, 44));
  EXPECT_EQ(Host::PrefGetInt(u"Annotation\\Polygon", u"Thickness", -1), 250);
  EXPECT_EQ(Host::PrefGetInt(u"Annotation\\Polygon", u"BorderStyle", -1), 1) << "dashed, whatever the cloud";
  ASSERT_TRUE(AskObject(plain, 45));
  KPD_Dictionary dict = Host::AnnotGetDict(plain);
  EXPECT_EQ(Written(Host::DictGet(dict, "/BS")), "<< /D [ 3 2 ] /S /D /W 2.5 >>");
  EXPECT_EQ(Written(Host::DictGet(dict, "/BE")), "<< /I 2 /S /C >>");
  // The appearance is drawn as a cloud: curves, not a dashed outline.
  const std::string content = NormalContent(dict);
  EXPECT_NE(content.find(" c\n"), std::string::npos) << content;
  EXPECT_EQ(content.find("] 0 d"), std::string::npos) << content;
}

TEST_F(MarkupEditing, MoveToPageIsOneItemWhoseUndoAndRedoPutTheLineBackInItsPlace) {
  KS_FloatRect letter{0, 0, 612, 792};
  KPD_Page second = Host::DocAddPage(pdf_, &letter);
  KPD_Page first = Host::DocGetPage(pdf_, 0);
  Parsed("<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /NM (before) >>");
  KA_Annot line = Line({100, 120}, {200, 120});
  Parsed("<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /NM (after) >>");
  KPD_Dictionary dict = Host::AnnotGetDict(line);
  const std::string appearance = Written(Host::DictGet(dict, "/AP"));
  auto toPage = At<KS_AHMoveToPageProc>(handler_.GetRecord(), KS_AH_MOVE_TO_PAGE);
  ASSERT_TRUE(toPage);
  void* cd = handler_.GetRecord().clientData;
  EXPECT_FALSE(toPage(cd, ObjectOf(line), 0)) << "it is on that page already";
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 0);
  ASSERT_TRUE(toPage(cd, ObjectOf(line), 1));
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 1);
  EXPECT_EQ(Host::PageFindAnnot(second, dict), 0);
  EXPECT_EQ(Host::PageAnnotCount(first), 2);
  EXPECT_TRUE(Host::ObjectIsIdentical(Host::DictGet(dict, "/P"), Host::DictGet(Host::PageGetAnnot(first, 0), "/P")) == 0);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Editor::Get().Undo(doc_));
    EXPECT_EQ(Host::PageFindAnnot(first, dict), 1) << "back between the two others";
    EXPECT_EQ(Host::PageAnnotCount(second), 0);
    ASSERT_TRUE(Editor::Get().Redo(doc_));
    EXPECT_EQ(Host::PageFindAnnot(second, dict), 0);
    EXPECT_EQ(Host::PageFindAnnot(first, dict), -1);
  }
  EXPECT_EQ(Written(Host::DictGet(dict, "/AP")), appearance) << "the geometry and appearance stay";
  // The library's object of the line belongs to the page it is on now, where
  // a measurement finds its scale.
  auto* shape = dynamic_cast<CDA_ShapeAnnot*>(CMarkup_AnnotRegistry::Get().Find(ObjectOf(line)));
  ASSERT_TRUE(shape && shape->GetKwAnnot());
  auto list = shape->GetKwAnnot()->GetImpl()->GetPageList();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->GetPage(), second);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(shape->GetKwAnnot()->GetImpl()->GetPageList()->GetPage(), first);
}

TEST_F(MarkupEditing, PropertiesGoThroughTheSettersAsOneItemEachAndUndoRestoresTheDictionary) {
  KA_Annot line = Line({100, 120}, {200, 120});
  KPD_Dictionary dict = Host::AnnotGetDict(line);
  auto set = At<KS_AHSetPropertyProc>(handler_.GetRecord(), KS_AH_SET_PROPERTY);
  ASSERT_TRUE(set);
  void* cd = handler_.GetRecord().clientData;
  auto value = [](int32_t property, float number = 0, const char16_t* text = nullptr) {
    KS_AnnotPropertyValue v{};
    v.size = sizeof v;
    v.property = property;
    v.number = number;
    v.text = text;
    return v;
  };
  KS_AnnotPropertyValue red = value(KS_PROP_COLOR);
  red.rgb[0] = 1;
  const std::string before = Written(dict);
  const std::string contentBefore = NormalContent(dict);
  ASSERT_TRUE(set(cd, ObjectOf(line), &red));
  EXPECT_EQ(Numbers(dict, "/C"), (std::vector<float>{1, 0, 0}));
  EXPECT_NE(NormalContent(dict).find("1.000 0.000 0.000 RG"), std::string::npos)
      << "the appearance strokes red at once:\n" << NormalContent(dict);
  const struct {
    KS_AnnotPropertyValue v;
    const char* key;
    const char* written;
  } cases[] = {
      {value(KS_PROP_WIDTH, 2.5f), "/BS", "<< /S /S /Type /Border /W 2.5 >>"},
      {value(KS_PROP_DASH, 4), "/BS", "<< /D [ 4 4 ] /S /D /Type /Border /W 2.5 >>"},
      {value(KS_PROP_OPACITY, 0.5f), "/CA", "0.5"},
      {value(KS_PROP_LINE_END, 4), "/LE", "[ /None /OpenArrow ]"},
      {value(KS_PROP_SUBJECT, 0, u"Wall"), "/Subj", "(Wall)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    ASSERT_TRUE(set(cd, ObjectOf(line), &c.v));
    EXPECT_EQ(Written(Host::DictGet(dict, c.key)), c.written);
  }
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 6);
  // A label belongs to measurements; an opacity above 1 is no opacity.
  EXPECT_FALSE(set(cd, ObjectOf(line), &cases[0].v)) << "the same value again changes nothing";
  KS_AnnotPropertyValue label = value(KS_PROP_LABEL, 0, u"Hall"), opaque = value(KS_PROP_OPACITY, 2);
  EXPECT_FALSE(set(cd, ObjectOf(line), &label));
  EXPECT_FALSE(set(cd, ObjectOf(line), &opaque));
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 6);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(Written(dict), before);
  EXPECT_EQ(NormalContent(dict), contentBefore);
  // The panel offers the properties while the document may be changed.
  EXPECT_TRUE(kshost::ReadAnnotProps(line).settable);
  doc_->readOnly = true;
  EXPECT_FALSE(kshost::ReadAnnotProps(line).settable);
  EXPECT_FALSE(set(cd, ObjectOf(line), &red));
  doc_->readOnly = false;
}

}  // namespace
}  // namespace AnnotationPlugin
