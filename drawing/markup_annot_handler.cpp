#include "drawing/markup_annot_handler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "drawing/cda_undo.h"
#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_page_annot_list.h"
#include "plugin/device_outline.h"
#include "plugin/host_binding.h"
#include "plugin/measure_types.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

namespace {

constexpr int32_t kBoxInflation = 11;
constexpr uint32_t kRed = 0x000000FFu;  // 0x00BBGGRR
constexpr uint32_t kBlack = 0;

const char* const kRotatedFrameTypes[] = {"Square", "Circle", "Polygon", "Cloudy", "PolyLine",
                                          "Ink",    "FreeText", "Stamp", "Line",   "Arrow"};

int32_t Normalise(int32_t degrees) {
  if (degrees < -180) degrees += 360;
  if (degrees > 180) degrees -= 360;
  return degrees;
}

CMarkup_Annot* Lookup(KA_AnnotObject object) { return CMarkup_AnnotRegistry::Get().Find(object); }

void SetByteText(KS_ByteString out, const std::string& text) {
  if (!out) return;
  Host::ByteStringSet(out, "", 0);
  Host::ByteStringSet(out, text.data(), text.size());
}

std::string ByteText(KS_ByteString in) {
  const char* data = in ? Host::ByteStringData(in) : nullptr;
  return data ? std::string(data, Host::ByteStringLength(in)) : std::string();
}

}  // namespace

// ---- CMarkup_Annot ------------------------------------------------------------

KA_Document CMarkup_Annot::GetDocument() const { return annot_ ? Host::AnnotGetDocument(annot_) : nullptr; }

intptr_t CMarkup_Annot::Forward(intptr_t a, intptr_t b) { return Host::AnnotObjectForward(object_, a, b); }

bool CMarkup_Annot::GetAnchor(KS_FloatPoint* out) const {
  KS_FloatRect r;
  if (!out || !Host::AnnotGetRect(annot_, &r)) return false;
  *out = {(r.left + r.right) / 2, (r.bottom + r.top) / 2};
  return true;
}

bool CMarkup_Annot::GetCenter(KS_FloatPoint* out) const {
  KS_FloatRect r;
  if (!out || !Host::AnnotGetRect(annot_, &r)) return false;
  float width = r.right - r.left, height = r.top - r.bottom;
  *out = {r.left + width / 2, r.bottom + height / 2};
  return true;
}

uint32_t CMarkup_Annot::GetFlags() const { return annot_ ? Host::AnnotGetFlags(annot_) : 0; }

std::shared_ptr<kwannotation::CKW_Annot> CMarkup_Annot::GetModel() const {
  KA_Document doc = GetDocument();
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Dictionary dict = annot_ ? Host::AnnotGetDict(annot_) : nullptr;
  const int32_t page = annot_ ? Host::AnnotGetPageIndex(annot_) : -1;
  if (!pdf || !dict || page < 0) return nullptr;
  auto list = kwannotation::CKW_PageAnnotList::Create(pdf, page);
  return list ? list->GetAnnot(dict) : nullptr;
}

int32_t CMarkup_Annot::GetRotation() const {
  std::shared_ptr<kwannotation::CKW_Annot> model = GetModel();
  if (!model) return 0;
  bool stamp = GetTypeName() == "Stamp";
  int32_t stored = 0;
  if (stamp ? model->GetRotate(&stored) : model->GetImpl()->GetRotation(&stored)) stored = Normalise(stored);
  else stored = 0;
  if (stamp) return stored;
  // An appearance drawn turned the other way round carries the turn in its
  // matrix; that one wins when it is exactly the opposite of the stored one.
  KPD_Dictionary dict = model->GetDict();
  KPD_Object ap = Host::DictGet(dict, "/AP");
  KPD_Object normal = ap ? Host::DictGet(ap, "/N") : nullptr;
  if (!normal || Host::ObjectGetType(normal) != KPD_OBJ_STREAM) return stored;
  KS_Matrix m;
  KPD_Object matrix = Host::DictGet(Host::StreamGetDict(normal), "/Matrix");
  if (!matrix || !Host::MatrixFromObject(matrix, &m)) return stored;
  double angle = std::atan2(double(m.b), double(m.a)) * 180.0 / 3.14159265358979323846;
  int32_t fromMatrix = Normalise(static_cast<int32_t>(std::lround(angle)));
  return fromMatrix == -stored ? fromMatrix : stored;
}

bool CMarkup_Annot::SetRotation(int32_t degrees) {
  std::shared_ptr<kwannotation::CKW_Annot> model = GetModel();
  if (!model) return false;
  return GetTypeName() == "Stamp" ? model->SetRotate(degrees) : model->SetRotation(degrees);
}

bool CMarkup_Annot::GetRotatedFrame(KS_FloatPoint corners[4]) const {
  KS_FloatRect r;
  if (!Host::AnnotGetRect(annot_, &r)) return false;
  double cx = (r.left + r.right) / 2.0, cy = (r.bottom + r.top) / 2.0;
  double rad = GetRotation() * 3.14159265358979323846 / 180.0;
  double c = std::cos(rad), s = std::sin(rad);
  const double xs[4] = {r.left, r.right, r.right, r.left}, ys[4] = {r.bottom, r.bottom, r.top, r.top};
  for (int i = 0; i < 4; ++i) {
    double dx = xs[i] - cx, dy = ys[i] - cy;
    corners[i] = {static_cast<float>(cx + dx * c - dy * s), static_cast<float>(cy + dx * s + dy * c)};
  }
  return true;
}

bool CMarkup_Annot::GetRect(bool rotatedFrame, KS_FloatRect* out) const {
  if (!out || !Host::AnnotGetRect(annot_, out)) return false;
  KS_FloatPoint corners[4];
  if (rotatedFrame && GetRotatedFrame(corners)) {
    for (const KS_FloatPoint& p : corners) {
      out->left = std::min(out->left, p.x);
      out->right = std::max(out->right, p.x);
      out->bottom = std::min(out->bottom, p.y);
      out->top = std::max(out->top, p.y);
    }
  }
  return true;
}

// ---- registry ---------------------------------------------------------------------

CMarkup_AnnotRegistry& CMarkup_AnnotRegistry::Get() {
  static CMarkup_AnnotRegistry registry;
  return registry;
}

void CMarkup_AnnotRegistry::Insert(KA_AnnotObject object, CMarkup_Annot* annot) {
  if (object && annot) map_[object] = annot;
}

void CMarkup_AnnotRegistry::Remove(KA_AnnotObject object) { map_.erase(object); }

CMarkup_Annot* CMarkup_AnnotRegistry::Find(KA_AnnotObject object) const {
  auto it = object ? map_.find(object) : map_.end();
  return it == map_.end() ? nullptr : it->second;
}

KA_AnnotObject CMarkup_AnnotRegistry::FindObject(const CMarkup_Annot* annot) const {
  if (!annot) return nullptr;
  if (annot->GetObject()) return annot->GetObject();
  for (const auto& [object, entry] : map_)
    if (entry->GetAnnot() == annot->GetAnnot()) return object;
  return nullptr;
}

// ---- the behaviour object record ------------------------------------------------

namespace {

CMarkup_Annot* Obj(void* cd) { return static_cast<CMarkup_Annot*>(cd); }

void AoRelease(void* cd) {
  CMarkup_Annot* obj = Obj(cd);
  if (!obj) return;
  CMarkup_AnnotRegistry::Get().Remove(obj->GetObject());
  delete obj;
}
void AoTypeName(void* cd, KS_ByteString out) { SetByteText(out, Obj(cd)->GetTypeName()); }
void AoTypeName2(void* cd, KS_ByteString out) { SetByteText(out, Obj(cd)->GetTypeName2()); }
void AoCenter(void* cd, KS_FloatPoint* out) { Obj(cd)->GetCenter(out); }
// The editor's own questions and notice about the object, whose meaning
// the plug-in does not use: no, and nothing done.
int32_t AoAnswerNo(void*) { return 0; }
void AoIgnoreNotice(void*) {}
int32_t AoRect(void* cd, int32_t rotatedFrame, KS_FloatRect* out) { return Obj(cd)->GetRect(rotatedFrame != 0, out); }
int32_t AoRegenerate(void* cd) {
  Obj(cd)->Regenerate();
  return 1;
}
int32_t AoShapeId(void* cd) { return Obj(cd)->GetShapeId(); }
int32_t AoShapeGroup(void* cd) { return Obj(cd)->GetShapeGroup(); }
int32_t AoAnchor(void* cd, KS_FloatPoint* out) { return Obj(cd)->GetAnchor(out); }
int32_t AoPrefSection(void* cd, KS_WideString out) {
  std::u16string section = Obj(cd)->GetPrefSection();
  if (out) Host::WideStringSet(out, section.data(), section.size());
  return !section.empty();
}
int32_t AoSetLineEndings(void* cd, int32_t start, int32_t end) { return Obj(cd)->SetLineEndings(start, end); }
int32_t AoSetOpacity(void* cd, float opacity) { return Obj(cd)->SetOpacity(opacity); }
int32_t AoWriteDefaults(void* cd) { return Obj(cd)->WriteDefaultProperties(); }
int32_t AoReadDefaults(void* cd) { return Obj(cd)->ReadDefaultProperties(); }
void AoSetInterior(void* cd, KS_ColorRef color, int32_t none) { Obj(cd)->SetInteriorColor(color, none != 0); }
void AoSetBool(void* cd, int32_t value) { Obj(cd)->SetBoolProperty(value != 0); }
int32_t AoGetBool(void* cd, int32_t* out) {
  bool value = false;
  bool ok = Obj(cd)->GetBoolProperty(&value);
  if (out) *out = value;
  return ok;
}

// The annotation's colour from a Windows colour value (0x00BBGGRR), as
// DeviceRGB, through the model's colour setter so that /DS follows.
void AoSetColor(void* cd, KS_ColorRef color) {
  std::shared_ptr<kwannotation::CKW_Annot> model = Obj(cd)->GetModel();
  if (!model) return;
  auto part = [color](int shift) { return static_cast<float>((color >> shift) & 0xFFu) / 255.0f; };
  model->SetColor(KPD_ColorF{KPD_COLOR_RGB, {part(0), part(8), part(16), 0}});
}

void FillObjectRecord(KS_AnnotObjectCallbacks& r, CMarkup_Annot* obj) {
  std::memset(&r, 0, sizeof r);
  r.size = sizeof r;
  r.clientData = obj;
  auto set = [&](int position, auto fn) { KS_RECORD_POSITION(r, position) = reinterpret_cast<void*>(fn); };
  set(KS_AO_RELEASE, &AoRelease);
  set(KS_AO_TYPE_NAME, &AoTypeName);
  set(KS_AO_TYPE_NAME2, &AoTypeName2);
  set(KS_AO_CENTER, &AoCenter);           // slot 8
  set(KS_AO_QUERY, &AoAnswerNo);          // slot 9
  set(KS_AO_BOX_CENTER, &AoCenter);       // slot 8
  set(KS_AO_RECT, &AoRect);
  set(KS_AO_REGENERATE, &AoRegenerate);   // slot 3
  set(KS_AO_SHAPE_ID, &AoShapeId);        // slot 21
  set(KS_AO_SHAPE_GROUP, &AoShapeGroup);  // slot 22
  set(KS_AO_SHAPE_QUERY, &AoAnswerNo);    // slot 23
  set(KS_AO_ANCHOR, &AoAnchor);           // slot 5
  set(KS_AO_NOTICE, &AoIgnoreNotice);     // slot 6
  set(KS_AO_QUERY_NEXT, &AoAnswerNo);     // slot 7
  set(KS_AO_PREF_SECTION, &AoPrefSection);  // slot 28
  set(KS_AO_SET_LINE_ENDINGS, &AoSetLineEndings);  // slot 18
  set(KS_AO_SET_OPACITY, &AoSetOpacity);  // slot 20
  set(KS_AO_WRITE_DEFAULTS, &AoWriteDefaults);
  set(KS_AO_READ_DEFAULTS, &AoReadDefaults);
  set(KS_AO_SET_INTERIOR, &AoSetInterior);  // slot 15
  set(KS_AO_SET_BOOL, &AoSetBool);        // slot 10
  set(KS_AO_GET_BOOL, &AoGetBool);        // slot 11
  set(KS_AO_SET_COLOR, &AoSetColor);
}

}  // namespace

// ---- CMarkup_AnnotHandler -----------------------------------------------------

CMarkup_AnnotHandler::~CMarkup_AnnotHandler() {
  if (handle_) Host::AnnotHandlerUnregister(handle_);
}

intptr_t CMarkup_AnnotHandler::CallDefault(int32_t index, KS_AnnotCallArgs& args) {
  if (!handle_) return 0;
  args.size = sizeof args;
  return Host::AnnotHandlerDefault(handle_, index, &args);
}

bool CMarkup_AnnotHandler::IsSelectable(CMarkup_Annot* obj) {
  KS_AnnotCallArgs args{};
  args.object = obj ? obj->GetObject() : nullptr;
  return CallDefault(8, args) != 0;
}

KA_AnnotObject CMarkup_AnnotHandler::CreateAnnotObject(KA_Annot annot, intptr_t value) {
  if (!handle_ || !annot) return nullptr;
  std::unique_ptr<CMarkup_Annot> obj = MakeAnnot(annot);
  if (!obj) return nullptr;
  KS_AnnotObjectCallbacks record;
  FillObjectRecord(record, obj.get());
  KA_AnnotObject object = Host::AnnotObjectNew(handle_, &record, annot, value);
  if (!object) return nullptr;
  obj->SetObject(object);
  CMarkup_AnnotRegistry::Get().Insert(object, obj.release());
  return object;
}

bool CMarkup_AnnotHandler::GetBBox(KA_PageView view, CMarkup_Annot* obj, KS_DeviceRect* out) {
  if (!out) return false;
  *out = {0, 0, 0, 0};
  if (!view || !obj || !obj->GetAnnot()) return false;
  KA_Document doc = Host::PageViewGetDocument(view);
  bool focused = doc && Host::AppDocGetFocusedAnnot(doc) == obj->GetAnnot();
  std::string type = obj->GetTypeName();
  bool framed = focused && std::any_of(std::begin(kRotatedFrameTypes), std::end(kRotatedFrameTypes),
                                       [&](const char* t) { return type == t; });
  KS_FloatRect rect;
  if (!obj->GetRect(framed, &rect)) return false;
  KS_DeviceRect device;
  if (!Host::PageViewPageRectToDevice(view, &rect, &device)) return false;
  *out = {device.left - kBoxInflation, device.top - kBoxInflation, device.right + kBoxInflation,
          device.bottom + kBoxInflation};
  return true;
}

bool CMarkup_AnnotHandler::HitTest(KA_PageView view, CMarkup_Annot* obj, KS_DevicePoint pt) {
  KS_DeviceRect box;
  if (!view || !obj || !GetBBox(view, obj, &box)) return false;
  return box.left <= pt.x && pt.x <= box.right && box.top <= pt.y && pt.y <= box.bottom;
}

void CMarkup_AnnotHandler::Draw(KA_PageView view, KA_Device device, CMarkup_Annot* obj, intptr_t) {
  if (!view || !obj) return;
  KA_Annot annot = obj->GetAnnot();
  Host::AnnotDrawAppearance(annot, view, device);
  KA_Document doc = Host::PageViewGetDocument(view);
  if (!device || !doc || !Host::AppDocIsSelected(doc, annot)) return;
  KS_FloatRect rect;
  KS_DeviceRect box;
  if (!Host::AnnotGetRect(annot, &rect) || !Host::PageViewPageRectToDevice(view, &rect, &box)) return;
  bool focused = Host::AppDocGetFocusedAnnot(doc) == annot;
  DrawDeviceOutline(device, box, focused ? kRed : kBlack);
}

// Slots that pass through: a fixed answer, or the host default of the slot.
intptr_t CMarkup_AnnotHandler::CallSlot(int slot, CMarkup_Annot* obj, KS_AnnotCallArgs& args) {
  struct Row {
    int slot;
    int32_t hostDefault;  // -1: fixed answer
    intptr_t answer;
  };
  static const Row rows[] = {
      {8, 4, 0},   {12, 9, 0},   {13, 39, 0},  {14, 40, 0},  {15, -1, 1},  {16, 13, 0}, {17, 15, 0},
      {18, 14, 0}, {19, -1, 0},  {20, 41, 0},  {21, -1, 1},  {22, -1, 1},  {23, -1, 0}, {24, 16, 0},
      {25, 17, 0}, {26, 31, 0},  {27, 32, 0},  {28, -1, 0},  {30, 22, 0},  {33, -1, 0}, {37, -1, 0},
      {41, -1, 0}, {42, -1, 0},  {44, 38, 0},
  };
  if (slot == 11) return CallSlot(12, obj, args);
  for (const Row& row : rows) {
    if (row.slot != slot) continue;
    if (row.hostDefault < 0) return row.answer;
    if (obj) args.object = obj->GetObject();
    return CallDefault(row.hostDefault, args);
  }
  return 0;
}

int32_t CMarkup_AnnotHandler::HandleAt(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& rect,
                                       KS_DevicePoint pt, int32_t flags) {
  KS_AnnotCallArgs args{};
  args.view = view;
  args.object = obj->GetObject();
  args.rect1 = rect;
  args.point = pt;
  args.values[0] = flags;
  return static_cast<int32_t>(CallDefault(KS_AHD_HANDLE_AT, args));
}

namespace {

std::u16string Caption(const char* key) { return Widgets::Translate(key); }

// Runs the host's own edit of `obj` and hands over what it changed as one
// undo item made by `make`; nothing is recorded when nothing changed.
template <typename Edit, typename Make>
bool RecordEdit(CMarkup_Annot* obj, Edit&& edit, Make&& make) {
  KA_Annot annot = obj->GetAnnot();
  KA_Document doc = obj->GetDocument();
  auto change = std::make_unique<kwannotation::CKW_AnnotChange>(Host::AnnotGetDict(annot));
  std::vector<KS_FloatPoint> before = DA_ReadGeometry(annot);
  DA_Scalars scalars = DA_ReadScalars(annot);
  int32_t rotationBefore = obj->GetRotation();
  bool done = edit() != 0;
  if (change->Finish())
    AnnotUndo_HandOver(make(doc, annot, std::move(change), std::move(before), scalars, rotationBefore), doc);
  return done;
}

// Makes the undo item of a change of geometry, under the caption of `key`.
auto ResizeItem(const char* key) {
  return [key](KA_Document doc, KA_Annot annot, KW_ChangePtr change, std::vector<KS_FloatPoint> before,
               const DA_Scalars& scalars, int32_t) {
    return std::make_unique<CDA_UndoResize>(doc, annot, std::move(change), std::move(before), scalars,
                                            Caption(key));
  };
}

KS_AnnotCallArgs EditArgs(KA_PageView view, CMarkup_Annot* obj) {
  KS_AnnotCallArgs args{};
  args.view = view;
  args.object = obj->GetObject();
  args.document = obj->GetDocument();
  return args;
}

}  // namespace

bool CMarkup_AnnotHandler::Move(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& oldRect,
                                const KS_DeviceRect& newRect) {
  KS_AnnotCallArgs args = EditArgs(view, obj);
  args.rect1 = oldRect;
  args.rect2 = newRect;
  if (dragSnapped_) {
    // The snapped displacement in page space: whole device pixels could not
    // put the geometry on the snap target.
    args.values[1] = 1;
    args.pagePoint = dragDisplacement_;
  }
  return RecordEdit(obj, [&] { return CallDefault(KS_AHD_MOVE, args); }, ResizeItem("IDS_STR_UNDOMOVE"));
}

bool CMarkup_AnnotHandler::Resize(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& oldRect,
                                  const KS_DeviceRect& newRect) {
  KS_AnnotCallArgs args = EditArgs(view, obj);
  args.rect1 = oldRect;
  args.rect2 = newRect;
  return RecordEdit(obj, [&] { return CallDefault(KS_AHD_RESIZE, args); }, ResizeItem("IDS_STR_UNDORESIZE"));
}

bool CMarkup_AnnotHandler::DraggedPoint(KA_PageView view, KS_DevicePoint pt, KS_FloatPoint* out) const {
  if (!out) return false;
  if (pointSnapped_) {
    *out = dragPoint_;
    return true;
  }
  return Host::PageViewDeviceToPage(view, pt, out) != 0;
}

bool CMarkup_AnnotHandler::MovePoint(KA_PageView view, CMarkup_Annot* obj, int32_t index, KS_DevicePoint pt) {
  KS_AnnotCallArgs args = EditArgs(view, obj);
  args.values[0] = index;
  args.point = pt;
  if (pointSnapped_) {
    args.values[1] = 1;
    args.pagePoint = dragPoint_;
  }
  return RecordEdit(obj, [&] { return CallDefault(KS_AHD_MOVE_POINT, args); },
                    ResizeItem("IDS_STR_UNDOEDITPOINT"));
}

bool CMarkup_AnnotHandler::Rotate(KA_PageView view, CMarkup_Annot* obj, int32_t degrees) {
  KS_AnnotCallArgs args = EditArgs(view, obj);
  args.values[0] = degrees;
  return RecordEdit(obj, [&] { return CallDefault(KS_AHD_ROTATE, args); },
                    [obj](KA_Document, KA_Annot annot, KW_ChangePtr change, std::vector<KS_FloatPoint>,
                          const DA_Scalars&, int32_t before) {
                      return std::make_unique<CDA_UndoRotate>(annot, std::move(change), before, obj->GetRotation(),
                                                              Caption("IDS_STR_UNDOROTATE"));
                    });
}

bool CMarkup_AnnotHandler::MoveToPage(CMarkup_Annot* obj, int32_t pageIndex) {
  KA_Annot annot = obj->GetAnnot();
  KA_Document doc = obj->GetDocument();
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  const int32_t from = Host::AnnotGetPageIndex(annot);
  if (!doc || !dict || from < 0 || from == pageIndex || obj->IsReadOnly() || Host::AppDocIsReadOnly(doc))
    return false;
  KPD_Page page = Host::DocGetPage(Host::AppDocGetPdfDocument(doc), from);
  const int32_t index = Host::PageFindAnnot(page, dict);
  auto change = std::make_unique<kwannotation::CKW_AnnotChange>(dict);
  std::vector<KS_FloatPoint> points = DA_ReadGeometry(annot);
  if (!DA_PutOnPage(doc, annot, pageIndex, -1)) return false;
  change->Finish();
  const int32_t at = Host::PageFindAnnot(Host::DocGetPage(Host::AppDocGetPdfDocument(doc), pageIndex), dict);
  AnnotUndo_HandOver(std::make_unique<CDA_UndoMoveToPage>(doc, annot, std::move(change), points, points,
                                                          DA_PlaceState(from, index), DA_PlaceState(pageIndex, at),
                                                          Caption("IDS_STR_UNDOMOVETOPAGE")),
                     doc);
  return true;
}

bool CMarkup_AnnotHandler::SetProperty(CMarkup_Annot* obj, const KS_AnnotPropertyValue& value) {
  KA_Document doc = obj->GetDocument();
  if (!doc || obj->IsReadOnly() || Host::AppDocIsReadOnly(doc)) return false;
  bool changed = false;
  RecordEdit(
      obj,
      [&] {
        // A setter answers true for the value the annotation has already;
        // only a real change rebuilds the appearance and is recorded.
        kwannotation::CKW_AnnotChange probe(Host::AnnotGetDict(obj->GetAnnot()));
        changed = obj->SetProperty(value) && probe.Finish();
        if (changed) obj->Regenerate();
        return changed;
      },
      ResizeItem("IDS_STR_UNDOPROPERTIES"));
  return changed;
}

bool CMarkup_AnnotHandler::IsCommandEnabled(KA_Document doc, int32_t command) {
  if (command == KS_COMMAND_SET_DEFAULT) return false;
  if (command != KS_COMMAND_FLATTEN) return true;
  if (!doc) doc = Host::AppGetCurrentDocument();
  int32_t count = doc ? Host::AppDocSelectionCount(doc) : 0;
  if (count <= 0) return false;
  for (int32_t i = 0; i < count; ++i)
    if (MeasureTypeOfAnnot(Host::AnnotGetDict(Host::AppDocGetSelected(doc, i))) != kMeasureNone) return false;
  return true;
}

bool CMarkup_AnnotHandler::SetPoint(CMarkup_Annot* obj, const KS_FloatPoint& pt) {
  return obj && obj->SetPoint(pt);
}

namespace {

// The correction (page space) that puts the one of `points` nearest to a
// snap target onto it, nearness measured in device pixels of `view`; false
// when none of them is in snapping's reach.
bool SnapCorrection(KA_PageView view, const std::vector<KS_FloatPoint>& points, KS_FloatPoint* out) {
  KS_Matrix m{};
  if (!Host::PageViewGetMatrix(view, &m)) return false;
  double best = INFINITY;
  for (const KS_FloatPoint& p : points) {
    KS_DevicePoint device{};
    KS_FloatPoint target{};
    int32_t kind = KS_SNAP_NONE;
    if (!Host::PageViewPageToDevice(view, p, &device) || !Host::SnapUpdate(view, device, 0, KS_FloatPoint{}) ||
        !Host::SnapGetResult(&target, &kind) || kind == KS_SNAP_NONE)
      continue;
    const double dx = double(target.x) - p.x, dy = double(target.y) - p.y;
    const double pixels = std::hypot(m.a * dx + m.c * dy, m.b * dx + m.d * dy);
    if (pixels < best) {
      best = pixels;
      *out = {static_cast<float>(dx), static_cast<float>(dy)};
    }
  }
  // The marker belongs to a tool's pointer, not to a drag.
  Host::SnapClear();
  return std::isfinite(best);
}

}  // namespace

template <typename F>
bool CMarkup_AnnotHandler::InDragBracket(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect* oldRect,
                                         const KS_DeviceRect* newRect, const KS_DevicePoint* point, F&& call) {
  KA_Document doc = view ? Host::PageViewGetDocument(view) : nullptr;
  if (!doc || !Host::SnapIsEnabled()) return call();
  Host::UndoBeginGroup(doc, u"");
  dragDisplacement_ = {0, 0};
  KS_FloatRect from, to;
  if (oldRect && newRect && Host::PageViewDeviceRectToPage(view, oldRect, &from) &&
      Host::PageViewDeviceRectToPage(view, newRect, &to)) {
    // New centre minus old centre, then corrected so that the geometry's
    // nearest snap point lands on its target.
    dragDisplacement_ = {(to.left + to.right) / 2 - (from.left + from.right) / 2,
                         (to.bottom + to.top) / 2 - (from.bottom + from.top) / 2};
    std::vector<KS_FloatPoint> moved = obj ? obj->GetSnapPoints() : std::vector<KS_FloatPoint>{};
    for (KS_FloatPoint& p : moved) p = {p.x + dragDisplacement_.x, p.y + dragDisplacement_.y};
    KS_FloatPoint correction{};
    if (SnapCorrection(view, moved, &correction)) {
      dragDisplacement_ = {dragDisplacement_.x + correction.x, dragDisplacement_.y + correction.y};
      dragSnapped_ = true;
    }
  }
  KS_FloatPoint target{};
  int32_t kind = KS_SNAP_NONE;
  if (point && Host::SnapUpdate(view, *point, 0, KS_FloatPoint{}) && Host::SnapGetResult(&target, &kind) &&
      kind != KS_SNAP_NONE) {
    dragPoint_ = target;
    pointSnapped_ = true;
  }
  if (point) Host::SnapClear();
  bool done = call();
  dragSnapped_ = pointSnapped_ = false;
  Host::UndoEndGroup(doc);
  return done;
}

// ---- the handler record ---------------------------------------------------------

struct MarkupHandlerRecord {
  static CMarkup_AnnotHandler* H(void* cd) { return static_cast<CMarkup_AnnotHandler*>(cd); }

  static int32_t Selectable(void* cd, KA_AnnotObject object) {
    CMarkup_Annot* obj = Lookup(object);
    return obj ? H(cd)->IsSelectable(obj) : 0;
  }
  // The editor's own questions about one annotation, passed to the slot
  // (CallSlot) that answers them: the object first, or an editor value
  // before it.
  template <int Slot>
  static intptr_t ObjectSlot(void* cd, KA_AnnotObject object, intptr_t a, intptr_t b, intptr_t c) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj) return 0;
    KS_AnnotCallArgs args{};
    args.values[0] = a;
    args.values[1] = b;
    args.values[2] = c;
    return H(cd)->CallSlot(Slot, obj, args);
  }
  template <int Slot>
  static intptr_t ValueObjectSlot(void* cd, intptr_t value, KA_AnnotObject object) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj) return 0;
    KS_AnnotCallArgs args{};
    args.values[0] = value;
    return H(cd)->CallSlot(Slot, obj, args);
  }
  static int32_t AcceptsTool(void* cd, KS_ByteString toolName) { return H(cd)->AcceptsToolName(ByteText(toolName)); }
  // The editor's own questions about a text and requests for one: no, and
  // an empty text.
  static int32_t DeclinesText(void*, KS_ByteString) { return 0; }
  static void GivesNoText(void*, KS_ByteString out) { SetByteText(out, {}); }
  static int32_t GivesNoWideText(void*, KS_WideString out) {
    if (out) Host::WideStringSet(out, u"", 0);
    return 0;
  }
  static KA_AnnotObject Create(void* cd, KA_Annot annot, intptr_t value) {
    return H(cd)->CreateAnnotObject(annot, value);
  }
  static int32_t BBox(void* cd, KA_PageView view, KA_AnnotObject object, KS_DeviceRect* out) {
    CMarkup_Annot* obj = Lookup(object);
    if (out) *out = {0, 0, 0, 0};
    return obj ? H(cd)->GetBBox(view, obj, out) : 0;
  }
  static int32_t Hit(void* cd, KA_PageView view, KA_AnnotObject object, KS_DevicePoint pt) {
    CMarkup_Annot* obj = Lookup(object);
    return obj ? H(cd)->HitTest(view, obj, pt) : 0;
  }
  static void Draw(void* cd, KA_PageView view, KA_Device device, KA_AnnotObject object, intptr_t flags) {
    if (CMarkup_Annot* obj = Lookup(object)) H(cd)->Draw(view, device, obj, flags);
  }
  static int32_t Move(void* cd, KA_PageView view, KA_AnnotObject object, const KS_DeviceRect* from,
                      const KS_DeviceRect* to) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj || !from || !to || !Host::PageViewGetPage(view)) return 0;
    return H(cd)->InDragBracket(view, obj, from, to, nullptr, [&] { return H(cd)->Move(view, obj, *from, *to); });
  }
  static int32_t HandleAt(void* cd, KA_PageView view, KA_AnnotObject object, const KS_DeviceRect* rect,
                          KS_DevicePoint pt, int32_t flags) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj || !rect) return obj ? KS_HANDLE_NONE : 0;
    return H(cd)->HandleAt(view, obj, *rect, pt, flags);
  }
  static int32_t Resize(void* cd, KA_PageView view, KA_AnnotObject object, const KS_DeviceRect* from,
                        const KS_DeviceRect* to) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj || !from || !to || !Host::PageViewGetPage(view)) return 0;
    return H(cd)->InDragBracket(view, obj, from, to, nullptr, [&] { return H(cd)->Resize(view, obj, *from, *to); });
  }
  static int32_t MovePoint(void* cd, KA_PageView view, KA_AnnotObject object, int32_t index, KS_DevicePoint pt) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj || !Host::PageViewGetPage(view)) return 0;
    return H(cd)->InDragBracket(view, obj, nullptr, nullptr, &pt,
                                [&] { return H(cd)->MovePoint(view, obj, index, pt); });
  }
  static int32_t Rotate(void* cd, KA_PageView view, KA_AnnotObject object, int32_t degrees) {
    CMarkup_Annot* obj = Lookup(object);
    if (!obj || !Host::PageViewGetPage(view)) return 0;
    return H(cd)->InDragBracket(view, obj, nullptr, nullptr, nullptr,
                                [&] { return H(cd)->Rotate(view, obj, degrees); });
  }
  static int32_t IgnoresNotice(void*, KA_AnnotObject) { return 0; }
  static int32_t Command(void* cd, KA_Document doc, int32_t command) { return H(cd)->IsCommandEnabled(doc, command); }
  // Two editor values and a rectangle, passed to the editor's default.
  static intptr_t DefaultWithRect(void* cd, intptr_t a, intptr_t b, const KS_FloatRect* rect) {
    KS_AnnotCallArgs args{};
    args.values[0] = a;
    args.values[1] = b;
    args.values[2] = reinterpret_cast<intptr_t>(rect);
    return H(cd)->CallSlot(44, nullptr, args);
  }
  static int32_t IgnoresValues(void*, intptr_t, intptr_t) { return 0; }
  static int32_t EmptyRect(void*, KS_FloatRect* out) {
    if (out) *out = {0, 0, 0, 0};
    return 0;
  }
  static void MenuItems(void* cd, KA_PageView view, KA_AnnotObject object, KA_Menu menu) {
    if (CMarkup_Annot* obj = Lookup(object)) H(cd)->AddMenuItems(view, obj, menu);
  }
  static int32_t MenuRun(void* cd, KA_PageView view, KA_AnnotObject object, const char* itemId) {
    CMarkup_Annot* obj = Lookup(object);
    return obj && itemId ? H(cd)->RunMenuItem(view, obj, itemId) : 0;
  }
  static int32_t ToPage(void* cd, KA_AnnotObject object, int32_t pageIndex) {
    CMarkup_Annot* obj = Lookup(object);
    return obj ? H(cd)->MoveToPage(obj, pageIndex) : 0;
  }
  static int32_t Property(void* cd, KA_AnnotObject object, const KS_AnnotPropertyValue* value) {
    CMarkup_Annot* obj = Lookup(object);
    return obj && value && value->size >= sizeof(KS_AnnotPropertyValue) ? H(cd)->SetProperty(obj, *value) : 0;
  }
  static int32_t SetPoint(void* cd, KA_AnnotObject object, KS_FloatPoint pt) {
    CMarkup_Annot* obj = Lookup(object);
    return obj ? H(cd)->SetPoint(obj, pt) : 0;
  }

  // The positions of the editor's own questions about one annotation, and
  // the handler slot (CallSlot) that answers each.
  struct EditorQuestion {
    int position;
    int slot;
    bool valueFirst;  // an editor value comes before the object
  };
  static constexpr EditorQuestion kEditorQuestions[] = {
      {11, 8, false},  {16, 11, false}, {17, 12, false}, {20, 13, true},  {21, 14, true},  {22, 15, false},
      {23, 16, false}, {24, 17, false}, {25, 18, false}, {26, 19, false}, {27, 20, false}, {28, 21, false},
      {29, 22, false}, {30, 23, false}, {31, 24, false}, {32, 25, false}, {33, 26, false}, {34, 27, false},
      {35, 28, false}, {36, 30, false},
  };
  template <size_t... I>
  static void FillEditorQuestions(KS_AnnotHandlerCallbacks& r, std::index_sequence<I...>) {
    ((KS_RECORD_POSITION(r, kEditorQuestions[I].position) =
          kEditorQuestions[I].valueFirst ? reinterpret_cast<void*>(&ValueObjectSlot<kEditorQuestions[I].slot>)
                                         : reinterpret_cast<void*>(&ObjectSlot<kEditorQuestions[I].slot>)),
     ...);
  }

  static void Fill(KS_AnnotHandlerCallbacks& r, CMarkup_AnnotHandler* handler) {
    std::memset(&r, 0, sizeof r);
    r.size = sizeof r;
    r.clientData = handler;
    auto set = [&](int position, auto fn) { KS_RECORD_POSITION(r, position) = reinterpret_cast<void*>(fn); };
    set(KS_AH_IS_SELECTABLE, &Selectable);     // slot 1
    set(KS_AH_ACCEPTS_TOOL, &AcceptsTool);     // slot 2
    set(KS_AH_TEXT_QUERY, &DeclinesText);      // slot 3
    set(KS_AH_TEXT_QUERY_NEXT, &DeclinesText); // slot 4
    set(KS_AH_TEXT_OUT, &GivesNoText);         // slot 5
    set(KS_AH_TEXT_OUT_NEXT, &GivesNoText);    // slot 6
    set(KS_AH_CREATE_OBJECT, &Create);         // slot 7
    set(KS_AH_BBOX, &BBox);                    // slot 9
    set(KS_AH_HIT_TEST, &Hit);                 // slot 36
    set(KS_AH_DRAW, &Draw);                    // slot 10
    FillEditorQuestions(r, std::make_index_sequence<std::size(kEditorQuestions)>());
    set(KS_AH_MOVE, &Move);                    // slot 32
    set(KS_AH_HANDLE_AT, &HandleAt);           // slot 29
    set(KS_AH_RESIZE, &Resize);                // slot 31
    set(KS_AH_MOVE_POINT, &MovePoint);         // slot 35
    set(KS_AH_OBJECT_NOTICE, &IgnoresNotice);  // slot 33
    set(KS_AH_ROTATE, &Rotate);                // slot 39
    set(KS_AH_COMMAND_ENABLED, &Command);      // slot 40
    set(KS_AH_MENU_ITEMS, &MenuItems);
    set(KS_AH_MENU_RUN, &MenuRun);
    set(KS_AH_MOVE_TO_PAGE, &ToPage);
    set(KS_AH_SET_PROPERTY, &Property);
    set(KS_AH_DEFAULT_RECT, &DefaultWithRect);      // slot 44
    set(KS_AH_WIDE_TEXT_OUT, &GivesNoWideText);     // slot 38
    set(KS_AH_OBJECT_NOTICE_NEXT, &IgnoresNotice);  // slot 37
    set(KS_AH_VALUES_NOTICE, &IgnoresValues);       // slot 41
    set(KS_AH_VALUES_QUERY, &IgnoresValues);        // slot 42
    set(KS_AH_EMPTY_RECT, &EmptyRect);              // slot 46
    set(KS_AH_SET_POINT, &SetPoint);
  }
};

KA_AnnotHandler CMarkup_AnnotHandler::Register(const char* type) {
  if (handle_) return handle_;
  if (!type) return nullptr;
  MarkupHandlerRecord::Fill(record_, this);
  handle_ = Host::AnnotHandlerRegister(type, &record_);
  return handle_;
}

}  // namespace AnnotationPlugin
