// The stand-in editor of fake_editor.h (compiled with the tests only).
#include "drawing/fake_editor.h"

#include <algorithm>
#include <cmath>

#include "sdk/ks_host_binding.h"

namespace AnnotationPlugin::edittest {

namespace fn = kshost::fn;

FakeState& State() {
  static FakeState state;
  return state;
}

KA_Device AsDevice(FakeDevice* device) { return reinterpret_cast<KA_Device>(device); }

namespace {

FakeAnnot* A(KA_Annot a) { return reinterpret_cast<FakeAnnot*>(a); }
FakeObject* O(KA_AnnotObject o) { return reinterpret_cast<FakeObject*>(o); }
FakeDevice* D(KA_Device d) { return reinterpret_cast<FakeDevice*>(d); }
bool Live(KA_Annot a) { return a && !A(a)->gone; }

int32_t AnnotGetRect(KA_Annot annot, KS_FloatRect* out) {
  if (!Live(annot) || !out) return 0;
  KPD_Object rect = fn::DictGet(A(annot)->dict, "/Rect");
  if (!rect || !fn::RectFromObject(rect, out)) return 0;
  fn::RectNormalize(out);
  return 1;
}
KPD_Dictionary AnnotGetDict(KA_Annot annot) { return Live(annot) ? A(annot)->dict : nullptr; }
KA_Document AnnotGetDocument(KA_Annot annot) { return Live(annot) ? A(annot)->doc : nullptr; }
int32_t AnnotGetPageIndex(KA_Annot annot) { return Live(annot) ? A(annot)->page : -1; }
uint32_t AnnotGetFlags(KA_Annot annot) {
  KPD_Object f = Live(annot) ? fn::DictGet(A(annot)->dict, "/F") : nullptr;
  return f ? static_cast<uint32_t>(fn::ObjectGetInteger(f)) : 0;
}
KA_AnnotObject AnnotGetObject(KA_Annot annot) { return Live(annot) ? A(annot)->object : nullptr; }
int32_t AnnotGetTypeName(KA_Annot annot, KS_ByteString out) {
  KPD_Object t = Live(annot) ? fn::DictGet(A(annot)->dict, "/Subtype") : nullptr;
  if (!t) return 0;
  ks::host::ByteString name;
  fn::NameGet(t, name.get());
  std::string text = name.str().substr(1);
  fn::ByteStringSet(out, text.data(), text.size());
  return 1;
}
int32_t AnnotDrawAppearance(KA_Annot annot, KA_PageView, KA_Device device) {
  if (device) D(device)->ops.push_back({"appearance"});
  return 1;
}

int32_t SelectionCount(KA_Document doc) { return static_cast<int32_t>(State().selection[doc].size()); }
KA_Annot GetSelected(KA_Document doc, int32_t i) {
  auto& s = State().selection[doc];
  return i >= 0 && i < static_cast<int32_t>(s.size()) ? s[i] : nullptr;
}
int32_t IsSelected(KA_Document doc, KA_Annot annot) {
  auto& s = State().selection[doc];
  return std::find(s.begin(), s.end(), annot) != s.end();
}
KA_Annot GetFocused(KA_Document doc) { return State().focus[doc]; }

int32_t PageRectToDevice(KA_PageView view, const KS_FloatRect* rect, KS_DeviceRect* out) {
  if (!view || !rect || !out) return 0;
  KS_DevicePoint a, b;
  fn::PageViewPageToDevice(view, {rect->left, rect->bottom}, &a);
  fn::PageViewPageToDevice(view, {rect->right, rect->top}, &b);
  *out = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  return 1;
}
int32_t DeviceRectToPage(KA_PageView view, const KS_DeviceRect* rect, KS_FloatRect* out) {
  if (!view || !rect || !out) return 0;
  KS_FloatPoint a, b;
  fn::PageViewDeviceToPage(view, {rect->left, rect->top}, &a);
  fn::PageViewDeviceToPage(view, {rect->right, rect->bottom}, &b);
  *out = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  return 1;
}

KA_Pen PenNew(KS_ColorRef color, int32_t width, int32_t style) {
  ++State().pensMade;
  return reinterpret_cast<KA_Pen>(new FakePen{color, width, style});
}
void PenRelease(KA_Pen pen) {
  if (!pen) return;
  ++State().pensReleased;
  delete reinterpret_cast<FakePen*>(pen);
}
KA_Brush BrushNew(KS_ColorRef color, int32_t hollow) {
  ++State().brushesMade;
  return reinterpret_cast<KA_Brush>(new std::pair<KS_ColorRef, int32_t>(color, hollow));
}
void BrushRelease(KA_Brush brush) {
  if (!brush) return;
  ++State().brushesReleased;
  delete reinterpret_cast<std::pair<KS_ColorRef, int32_t>*>(brush);
}
KA_Pen SelectPen(KA_Device device, KA_Pen pen) {
  KA_Pen old = reinterpret_cast<KA_Pen>(D(device)->pen);
  D(device)->pen = reinterpret_cast<FakePen*>(pen);
  return old;
}
KA_Brush SelectBrush(KA_Device device, KA_Brush brush) {
  KA_Brush old = reinterpret_cast<KA_Brush>(D(device)->brush);
  D(device)->brush = reinterpret_cast<std::pair<KS_ColorRef, int32_t>*>(brush);
  return old;
}
int32_t Rectangle(KA_Device device, const KS_DeviceRect* rect) {
  FakeDevice* d = D(device);
  DrawOp op{"rect", *rect};
  if (d->pen) {
    op.pen = d->pen->color;
    op.penWidth = d->pen->width;
  }
  op.hollowBrush = d->brush && d->brush->second;
  d->ops.push_back(op);
  return 1;
}

KA_AnnotObject ObjectNew(KA_AnnotHandler, const KS_AnnotObjectCallbacks* record, KA_Annot annot, intptr_t) {
  if (!record || !Live(annot)) return nullptr;
  auto object = std::make_unique<FakeObject>();
  object->record = *record;
  object->annot = annot;
  KA_AnnotObject handle = reinterpret_cast<KA_AnnotObject>(object.get());
  A(annot)->object = handle;
  State().objects.push_back(std::move(object));
  return handle;
}
KA_Annot ObjectGetAnnot(KA_AnnotObject obj) { return obj ? O(obj)->annot : nullptr; }
int32_t AppearanceChanged(KA_AnnotObject obj) {
  if (!obj) return 0;
  ++O(obj)->appearanceChanged;
  return 1;
}

int32_t BeginGroup(KA_Document, const char16_t* caption) {
  std::u16string c = caption ? caption : u"";
  State().groups.push_back("begin " + std::string(c.begin(), c.end()));
  return 1;
}
int32_t EndGroup(KA_Document) {
  State().groups.push_back("end");
  return 1;
}
int32_t SnapIsEnabled() { return State().snap; }

void Shift(KPD_Dictionary dict, const char* key, float dx, float dy) {
  KPD_Object array = fn::DictGet(dict, key);
  if (!array) return;
  int32_t n = fn::ArrayCount(array);
  std::vector<float> v(n);
  fn::ArrayGetNumbers(array, v.data(), n);
  for (int32_t i = 0; i + 1 < n; i += 2) {
    KPD_Object x = fn::NumberNew(v[i] + dx), y = fn::NumberNew(v[i + 1] + dy);
    fn::ArraySet(array, i, x);
    fn::ArraySet(array, i + 1, y);
    fn::ObjectRelease(x);
    fn::ObjectRelease(y);
  }
}

// The editor's own move: the geometry follows the centre of the dragged
// rectangle, then the behaviour object rebuilds the appearance.
intptr_t Default(KA_AnnotHandler, int32_t index, const KS_AnnotCallArgs* args) {
  State().defaultsCalled.push_back(index);
  if (index == 8) return 1;
  if (index != KS_AHD_MOVE || !args || !args->object) return 0;
  KS_FloatRect from, to;
  DeviceRectToPage(args->view, &args->rect1, &from);
  DeviceRectToPage(args->view, &args->rect2, &to);
  float dx = (to.left + to.right - from.left - from.right) / 2, dy = (to.bottom + to.top - from.bottom - from.top) / 2;
  if (dx == 0 && dy == 0) return 0;
  FakeObject* obj = O(args->object);
  KPD_Dictionary dict = A(obj->annot)->dict;
  for (const char* key : {"/Rect", "/L", "/Vertices"}) Shift(dict, key, dx, dy);
  auto regenerate = reinterpret_cast<int32_t (*)(void*)>(KS_RECORD_POSITION(obj->record, KS_AO_REGENERATE));
  if (regenerate) regenerate(obj->record.clientData);
  return 1;
}

void* GetEntry(KS_CoreHFT, int32_t selector, int32_t index, KS_PluginID id) {
  static const std::map<std::pair<int, int>, void*> fakes = {
      {{2, 0}, reinterpret_cast<void*>(&PenNew)},
      {{2, 1}, reinterpret_cast<void*>(&PenRelease)},
      {{2, 2}, reinterpret_cast<void*>(&BrushNew)},
      {{2, 3}, reinterpret_cast<void*>(&BrushRelease)},
      {{2, 4}, reinterpret_cast<void*>(&SelectPen)},
      {{2, 5}, reinterpret_cast<void*>(&SelectBrush)},
      {{2, 6}, reinterpret_cast<void*>(&Rectangle)},
      {{26, 8}, reinterpret_cast<void*>(&SelectionCount)},
      {{26, 9}, reinterpret_cast<void*>(&GetSelected)},
      {{26, 10}, reinterpret_cast<void*>(&IsSelected)},
      {{26, 13}, reinterpret_cast<void*>(&GetFocused)},
      {{32, 7}, reinterpret_cast<void*>(&PageRectToDevice)},
      {{32, 8}, reinterpret_cast<void*>(&DeviceRectToPage)},
      {{149, 1}, reinterpret_cast<void*>(&BeginGroup)},
      {{149, 2}, reinterpret_cast<void*>(&EndGroup)},
      {{268, 2}, reinterpret_cast<void*>(&Default)},
      {{296, 0}, reinterpret_cast<void*>(&ObjectNew)},
      {{296, 1}, reinterpret_cast<void*>(&ObjectGetAnnot)},
      {{296, 2}, reinterpret_cast<void*>(&AppearanceChanged)},
      {{303, 1}, reinterpret_cast<void*>(&AnnotGetDict)},
      {{303, 2}, reinterpret_cast<void*>(&AnnotGetDocument)},
      {{303, 3}, reinterpret_cast<void*>(&AnnotGetPageIndex)},
      {{303, 4}, reinterpret_cast<void*>(&AnnotGetRect)},
      {{303, 5}, reinterpret_cast<void*>(&AnnotGetFlags)},
      {{303, 6}, reinterpret_cast<void*>(&AnnotGetObject)},
      {{303, 7}, reinterpret_cast<void*>(&AnnotGetTypeName)},
      {{303, 8}, reinterpret_cast<void*>(&AnnotDrawAppearance)},
      {{732, 0}, reinterpret_cast<void*>(&SnapIsEnabled)},
  };
  auto it = fakes.find({selector, index});
  if (it != fakes.end()) return it->second;
  KS_CoreHFT real = kshost::CoreHFT();
  return real->GetEntry(real, selector, index, id);
}

}  // namespace

void BindFakeHost() {
  static KS_CoreHFTRec core{sizeof(KS_CoreHFTRec), &GetEntry};
  State() = FakeState();
  ks::host::Bind(&core, nullptr);
}

KA_Annot NewAnnot(KA_Document doc, KPD_Dictionary dict, int page) {
  State().annots.push_back(std::make_unique<FakeAnnot>(FakeAnnot{doc, dict, page}));
  return reinterpret_cast<KA_Annot>(State().annots.back().get());
}

}  // namespace AnnotationPlugin::edittest
