// Capturing a page annotation into a tool and placing a tool on a page.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "plugin/annot_identity.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"
#include "toolset/annot_toolset.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

constexpr int kMaxDepth = 64;
constexpr float kNoteSize = 20.0f;

// Keys that name a coordinate array of x, y pairs, flat or as arrays of them.
const char* const kFlatPointKeys[] = {"/L", "/Vertices", "/CL", "/CLEx"};
const char* const kNestedPointKeys[] = {"/InkList", "/Curves", "/BsiCLAux"};
// Keys that belong to the source's place in its document.
const char* const kDroppedKeys[] = {"/P", "/CreationDate", "/M", "/T", "/Type", "/NM", "/Popup", "/IRT"};
const char* const kCapturableKinds[] = {"Text", "FreeText", "Square", "Circle", "Polygon",
                                        "PolyLine", "Line", "Ink", "Stamp"};


std::string Written(KPD_Object obj) {
  host::ByteString s;
  return host::ObjectWrite(obj, s.get()) ? s.str() : std::string("null");
}

std::string KeyText(const std::string& key) {
  KPD_Object name = host::NameNew(key.c_str());
  std::string text = Written(name);
  host::ObjectRelease(name);
  return text;
}

std::vector<std::string> Keys(KPD_Dictionary dict) {
  std::vector<std::string> keys;
  int32_t n = host::DictKeyCount(dict);
  for (int32_t i = 0; i < n; ++i) {
    host::ByteString k;
    if (host::DictKeyAt(dict, i, k.get())) keys.push_back(k.str());
  }
  return keys;
}

KPD_Dictionary AsDict(KPD_Object o) { return reinterpret_cast<KPD_Dictionary>(o); }
KPD_Array AsArray(KPD_Object o) { return reinterpret_cast<KPD_Array>(o); }

// Writes annotation dictionaries in PDF syntax with every indirect object
// inlined, except streams: each becomes a resource of the tool, named by a
// "REFID_" name in the text. Page objects and cycles are written as null.
class Capturer {
 public:
  explicit Capturer(CAnnot_Tool& tool) : tool_(tool) {}

  std::string Value(KPD_Object obj, const std::string& category, int depth) {
    if (!obj || depth > kMaxDepth) return "null";
    int32_t type = host::ObjectGetType(obj);
    bool indirect = host::ObjectIsIndirect(obj);
    std::pair<int, int> id{indirect ? host::ObjectGetObjNum(obj) : 0, indirect ? host::ObjectGetGenNum(obj) : 0};
    if (type == KPD_OBJ_STREAM) return Stream(obj, category, id, depth);
    if (type != KPD_OBJ_ARRAY && type != KPD_OBJ_DICTIONARY) return Written(obj);
    if (indirect && !visiting_.insert(id).second) return "null";
    std::string out;
    if (type == KPD_OBJ_ARRAY) {
      out = "[";
      int32_t n = host::ArrayCount(AsArray(obj));
      for (int32_t i = 0; i < n; ++i) {
        if (i) out += ' ';
        out += Value(host::ArrayGet(AsArray(obj), i), category, depth + 1);
      }
      out += "]";
    } else {
      KPD_Dictionary dict = AsDict(obj);
      KPD_Object t = host::DictGet(dict, "/Type");
      if (host::NameIs(t, "/Page") || host::NameIs(t, "/Pages")) {
        out = "null";
      } else {
        out = Dict(dict, {}, category, depth);
      }
    }
    if (indirect) visiting_.erase(id);
    return out;
  }

  std::string Dict(KPD_Dictionary dict, const std::vector<std::string>& skip, const std::string& category, int depth) {
    std::string out = "<<";
    for (const std::string& key : Keys(dict)) {
      if (std::find(skip.begin(), skip.end(), key) != skip.end()) continue;
      // Patterns keep their category; everything else in resources is drawn.
      std::string cat = key == "/Pattern" ? "Pattern" : key == "/XObject" ? "XObject" : category;
      if (key == "/OC") {
        out += KeyText(key) + " " + OptionalContent(host::DictGet(dict, "/OC"));
        continue;
      }
      out += KeyText(key) + " " + Value(host::DictGet(dict, key.c_str()), cat, depth + 1);
    }
    return out + ">>";
  }

 private:
  std::string OptionalContent(KPD_Object oc) {
    KPD_Object name = host::ObjectGetType(oc) == KPD_OBJ_DICTIONARY ? host::DictGet(AsDict(oc), "/Name") : nullptr;
    return name ? "<</Name " + Written(name) + ">>" : "null";
  }

  std::string Stream(KPD_Object obj, const std::string& category, std::pair<int, int> id, int depth) {
    if (id.first) {
      auto known = streams_.find(id);
      if (known != streams_.end()) return known->second;
      if (!visiting_.insert(id).second) return "null";
    }
    auto stream = reinterpret_cast<KPD_Stream>(obj);
    KPD_Dictionary dict = host::StreamGetDict(stream);
    host::ByteString data;
    bool decoded = host::StreamGetData(stream, 1, data.get()) != 0;
    if (!decoded && !host::StreamGetData(stream, 0, data.get())) host::ByteStringSet(data.get(), "", 0);
    std::vector<std::string> skip{"/Length", "/DL"};
    if (decoded) skip.insert(skip.end(), {"/Filter", "/DecodeParms"});
    std::string body = Dict(dict, skip, "XObject", depth + 1);
    const std::string bytes = data.str();
    body.insert(body.size() - 2, "/Length " + std::to_string(bytes.size()));
    auto res = std::make_shared<CAnnot_ToolResource>();
    res->id = "REFID_" + NewUuidText();
    res->key = category == "Pattern" ? "Pattern" : "XObject";
    res->SetData(body + "\nstream\n" + bytes + "\nendstream");
    tool_.resources.push_back(res);
    std::string name = "/" + res->id;
    if (id.first) {
      visiting_.erase(id);
      streams_[id] = name;
    }
    return name;
  }

  CAnnot_Tool& tool_;
  std::set<std::pair<int, int>> visiting_;
  std::map<std::pair<int, int>, std::string> streams_;
};

struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  void Apply(double& x, double& y) const {
    double nx = a * x + c * y + e, ny = b * x + d * y + f;
    x = nx;
    y = ny;
  }
};

Affine Translate(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
Affine Rotate(int degrees) {
  double r = degrees * M_PI / 180.0;
  double c = std::round(std::cos(r) * 1e9) / 1e9, s = std::round(std::sin(r) * 1e9) / 1e9;
  return {c, s, -s, c, 0, 0};
}
// `first` then `then`.
Affine Then(const Affine& m, const Affine& n) {
  return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c,
          m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

std::vector<float> Numbers(KPD_Object arr) {
  int32_t n = host::ArrayCount(AsArray(arr));
  std::vector<float> out(static_cast<size_t>(std::max(n, 0)));
  if (n > 0 && host::ArrayGetNumbers(AsArray(arr), out.data(), n) != n) return {};
  return out;
}

// Stores an object the caller made and gives its handle back.
// The text an object holds: a string's text or a name's without its slash.
std::u16string LabelOf(KPD_Object obj) {
  if (host::ObjectGetType(obj) == KPD_OBJ_NAME) {
    host::ByteString name;
    if (!host::NameGet(obj, name.get()) || name.str().size() < 2) return {};
    return ks::ToUtf16(name.str().substr(1));
  }
  host::WideString text;
  if (!obj || !host::StringObjectGetText(obj, text.get())) return {};
  return text.str();
}

// The optional-content group of `doc` that a stored "OC" names (a
// dictionary with only "Name", as capture keeps it, or a name); null when
// the document has no group of that name.
KPD_Object GroupInTarget(KPD_Document doc, KPD_Object stored) {
  const std::u16string wanted =
      host::ObjectGetType(stored) == KPD_OBJ_DICTIONARY ? LabelOf(host::DictGet(AsDict(stored), "/Name")) : LabelOf(stored);
  KPD_Dictionary root = wanted.empty() ? nullptr : host::DocGetRoot(doc);
  KPD_Object props = root ? host::DictGet(root, "/OCProperties") : nullptr;
  KPD_Object groups = host::ObjectGetType(props) == KPD_OBJ_DICTIONARY ? host::DictGet(AsDict(props), "/OCGs") : nullptr;
  if (host::ObjectGetType(groups) != KPD_OBJ_ARRAY) return nullptr;
  for (int32_t i = 0, n = host::ArrayCount(AsArray(groups)); i < n; ++i) {
    KPD_Object group = host::ArrayGet(AsArray(groups), i);
    if (host::ObjectGetType(group) == KPD_OBJ_DICTIONARY && LabelOf(host::DictGet(AsDict(group), "/Name")) == wanted)
      return group;
  }
  return nullptr;
}

void Put(KPD_Dictionary dict, const char* key, KPD_Object made) {
  host::DictSet(dict, key, made);
  host::ObjectRelease(made);
}

void Append(KPD_Array arr, KPD_Object made) {
  host::ArrayAppend(arr, made);
  host::ObjectRelease(made);
}

KPD_Object NumberArray(const std::vector<float>& v) {
  KPD_Array arr = host::ArrayNew();
  for (float f : v) Append(arr, host::NumberNew(std::round(f * 1e4) / 1e4));
  return reinterpret_cast<KPD_Object>(arr);
}

void TransformPoints(std::vector<float>& v, const Affine& m) {
  for (size_t i = 0; i + 1 < v.size(); i += 2) {
    double x = v[i], y = v[i + 1];
    m.Apply(x, y);
    v[i] = static_cast<float>(x);
    v[i + 1] = static_cast<float>(y);
  }
}

bool ReadRect(KPD_Dictionary dict, KS_FloatRect* r) {
  KPD_Object o = host::DictGet(dict, "/Rect");
  if (!o || !host::RectFromObject(o, r)) return false;
  host::RectNormalize(r);
  return true;
}

KS_FloatRect TransformRect(const KS_FloatRect& r, const Affine& m) {
  double xs[4] = {r.left, r.right, r.left, r.right}, ys[4] = {r.bottom, r.bottom, r.top, r.top};
  KS_FloatRect out{};
  for (int i = 0; i < 4; ++i) {
    m.Apply(xs[i], ys[i]);
    if (i == 0 || xs[i] < out.left) out.left = static_cast<float>(xs[i]);
    if (i == 0 || xs[i] > out.right) out.right = static_cast<float>(xs[i]);
    if (i == 0 || ys[i] < out.bottom) out.bottom = static_cast<float>(ys[i]);
    if (i == 0 || ys[i] > out.top) out.top = static_cast<float>(ys[i]);
  }
  return out;
}

void SetRect(KPD_Dictionary dict, const KS_FloatRect& r) {
  Put(dict, "/Rect", NumberArray({r.left, r.bottom, r.right, r.top}));
}

// Moves every coordinate of an annotation dictionary through `m`.
void TransformGeometry(KPD_Dictionary dict, const Affine& m) {
  KS_FloatRect r{};
  if (ReadRect(dict, &r)) SetRect(dict, TransformRect(r, m));
  for (const char* key : kFlatPointKeys) {
    KPD_Object o = host::DictGet(dict, key);
    if (host::ObjectGetType(o) != KPD_OBJ_ARRAY) continue;
    auto v = Numbers(o);
    TransformPoints(v, m);
    Put(dict, key, NumberArray(v));
  }
  for (const char* key : kNestedPointKeys) {
    KPD_Object o = host::DictGet(dict, key);
    if (host::ObjectGetType(o) != KPD_OBJ_ARRAY) continue;
    KPD_Array outer = host::ArrayNew();
    int32_t n = host::ArrayCount(AsArray(o));
    for (int32_t i = 0; i < n; ++i) {
      auto v = Numbers(host::ArrayGet(AsArray(o), i));
      TransformPoints(v, m);
      Append(outer, NumberArray(v));
    }
    Put(dict, key, reinterpret_cast<KPD_Object>(outer));
  }
}

std::string SubtypeOf(KPD_Dictionary dict) { return kwannotation::dict::GetName(dict, "/Subtype"); }

// The head of the group `dict` is in: itself unless it is a grouped reply.
KPD_Dictionary GroupHead(KPD_Dictionary dict) {
  KPD_Object irt = host::DictGet(dict, "/IRT");
  if (host::NameIs(host::DictGet(dict, "/RT"), "/Group") && host::ObjectGetType(irt) == KPD_OBJ_DICTIONARY)
    return AsDict(irt);
  return dict;
}

bool IsCapturable(KPD_Dictionary dict) {
  std::string kind = SubtypeOf(dict);
  return std::any_of(std::begin(kCapturableKinds), std::end(kCapturableKinds), [&](const char* k) { return kind == k; });
}

// A tool stores the turn of a rotated shape as the negative of its
// "Rotation", as toolset files of other producers do; the live dictionary
// and what is placed carry it as the annotation had it.
void NegateRotation(KPD_Dictionary dict) {
  KPD_Object r = dict ? host::DictGet(dict, "/Rotation") : nullptr;
  if (host::ObjectGetType(r) != KPD_OBJ_NUMBER) return;
  if (host::ObjectIsInteger(r)) {
    const int64_t v = host::ObjectGetInteger(r);
    if (v != 0 && v != INT64_MIN) Put(dict, "/Rotation", host::IntegerNew(-v));
  } else if (const double v = host::ObjectGetNumber(r); v != 0 && std::isfinite(v)) {
    Put(dict, "/Rotation", host::NumberNew(-v));
  }
}

// Makes `live` the tool's dictionary: the stored text with the stored
// form of "Rotation", the live dictionary parsed back from it.
void SetToolDictionary(CAnnot_Tool& tool, KPD_Object live) {
  NegateRotation(AsDict(live));
  tool.raw = Written(live);
  NegateRotation(AsDict(live));
  if (tool.ParseRaw()) NegateRotation(tool.Dictionary());
}

// Makes one tool from `dict`, its geometry moved by `offset`.
std::shared_ptr<CAnnot_Tool> CaptureOne(KPD_Dictionary dict, int32_t index, const Affine& offset, std::string* error) {
  auto tool = std::make_shared<CAnnot_Tool>();
  host::WideString nm;
  if (KPD_Object o = host::DictGet(dict, "/NM")) host::StringObjectGetText(o, nm.get());
  tool->name = nm.str();
  tool->type = ToolTypeOf(dict);
  tool->index = index;
  tool->mode = 1;
  if (SubtypeOf(dict) == "Line") {
    auto l = Numbers(host::DictGet(dict, "/L"));
    if (l.size() >= 2) tool->x = l[0], tool->y = l[1];
  } else if (KPD_Object rd = host::DictGet(dict, "/RD")) {
    auto v = Numbers(rd);
    if (v.size() >= 2) tool->x = v[0], tool->y = v[1];
  }
  Capturer capturer(*tool);
  std::vector<std::string> skip(std::begin(kDroppedKeys), std::end(kDroppedKeys));
  std::string text = capturer.Dict(dict, skip, "XObject", 0);
  KPD_Object copy = host::ObjectParse(text.data(), text.size());
  if (host::ObjectGetType(copy) != KPD_OBJ_DICTIONARY) {
    host::ObjectRelease(copy);
    if (error) *error = "the annotation's dictionary cannot be copied";
    return nullptr;
  }
  TransformGeometry(AsDict(copy), offset);
  SetToolDictionary(*tool, copy);
  host::ObjectRelease(copy);
  return tool;
}

// A stored stream made anew in `doc`, its own resources resolved.
class Instantiator {
 public:
  Instantiator(KPD_Document doc, const CAnnot_Tool& tool) : doc_(doc), tool_(tool) {}

  // Replaces every REFID_ name below `obj` by a new object of the document.
  bool Resolve(KPD_Object obj, int depth) {
    if (depth > kMaxDepth) return false;
    int32_t type = host::ObjectGetType(obj);
    if (type == KPD_OBJ_DICTIONARY) {
      for (const std::string& key : Keys(AsDict(obj))) {
        KPD_Object v = host::DictGet(AsDict(obj), key.c_str());
        if (KPD_Object made = Made(v, depth)) host::DictSet(AsDict(obj), key.c_str(), made);
        else if (!Resolve(v, depth + 1)) return false;
      }
    } else if (type == KPD_OBJ_ARRAY) {
      int32_t n = host::ArrayCount(AsArray(obj));
      for (int32_t i = 0; i < n; ++i) {
        KPD_Object v = host::ArrayGet(AsArray(obj), i);
        if (KPD_Object made = Made(v, depth)) host::ArraySet(AsArray(obj), i, made);
        else if (!Resolve(v, depth + 1)) return false;
      }
    }
    return true;
  }

 private:
  KPD_Object Made(KPD_Object v, int depth) {
    if (host::ObjectGetType(v) != KPD_OBJ_NAME) return nullptr;
    std::string id = kwannotation::dict::NameOf(v);
    if (id.rfind("REFID_", 0) != 0) return nullptr;
    auto known = made_.find(id);
    if (known != made_.end()) return known->second;
    const CAnnot_ToolResource* res = tool_.FindResource(id);
    if (!res || !building_.insert(id).second) return nullptr;  // unknown, or refers to itself
    KPD_Object stream = Build(res->Data(), depth);
    building_.erase(id);
    if (stream) made_[id] = stream;
    return stream;
  }

  KPD_Object Build(const std::string& data, int depth) {
    size_t mark = data.find("\nstream\n");
    size_t skip = 8;
    if (mark == std::string::npos) {
      mark = data.find("stream\r\n");
      skip = 8;
      if (mark == std::string::npos) return nullptr;
    }
    KPD_Object dict = host::ObjectParse(data.data(), mark);
    if (host::ObjectGetType(dict) != KPD_OBJ_DICTIONARY) {
      host::ObjectRelease(dict);
      return nullptr;
    }
    size_t start = mark + skip;
    size_t length = data.size() - start;
    KPD_Object len = host::DictGet(AsDict(dict), "/Length");
    if (host::ObjectIsInteger(len) && host::ObjectGetInteger(len) >= 0 &&
        static_cast<uint64_t>(host::ObjectGetInteger(len)) <= length)
      length = static_cast<size_t>(host::ObjectGetInteger(len));
    else if (size_t end = data.rfind("endstream"); end != std::string::npos && end >= start)
      length = end - start;
    KPD_Stream stream = host::DocNewStream(doc_, data.data() + start, length);
    bool ok = stream && Resolve(dict, depth + 1);
    if (ok) {
      KPD_Dictionary target = host::StreamGetDict(stream);
      for (const std::string& key : Keys(AsDict(dict)))
        if (key != "/Length") host::DictSet(target, key.c_str(), host::DictGet(AsDict(dict), key.c_str()));
    }
    host::ObjectRelease(dict);
    return ok ? reinterpret_cast<KPD_Object>(stream) : nullptr;
  }

  KPD_Document doc_;
  const CAnnot_Tool& tool_;
  std::map<std::string, KPD_Object> made_;
  std::set<std::string> building_;
};

}  // namespace

std::string ToolTypeOf(KPD_Dictionary annot) {
  std::string kind = SubtypeOf(annot);
  if (kind == "Circle" && host::NameIs(host::DictGet(annot, "/IT"), "/CircleArc")) kind = "Arc";
  return kToolTypePrefix + kind;
}

bool CAnnot_ToolSet::AddTool(KPD_Page page, int32_t annotIndex, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  KPD_Dictionary picked = page ? host::PageGetAnnot(page, annotIndex) : nullptr;
  if (!picked) return fail("no annotation at that index");
  KPD_Dictionary head = GroupHead(picked);
  int32_t headIndex = host::PageFindAnnot(page, head);
  if (headIndex < 0) head = picked, headIndex = annotIndex;
  if (!IsCapturable(head)) return fail("only markup shapes, notes, text boxes and stamps can be captured");
  int rotation = ((host::PageGetRotation(page) % 360) + 360) % 360;
  KS_FloatRect headRect{};
  if (!ReadRect(head, &headRect)) return fail("the annotation has no /Rect");
  if (SubtypeOf(head) == "Text") headRect = {headRect.left, headRect.top - kNoteSize, headRect.left + kNoteSize, headRect.top};
  // Rotated pages: the tool is stored as the annotation looks on screen.
  Affine toScreen = Rotate(-rotation);
  KS_FloatRect turned = TransformRect(headRect, toScreen);
  Affine offset = Then(toScreen, Translate(-turned.left, -turned.bottom));
  auto tool = CaptureOne(head, headIndex, offset, error);
  if (!tool) return false;
  if (SubtypeOf(head) == "Text" && tool->Dictionary()) {
    SetRect(tool->Dictionary(), {0, 0, kNoteSize, kNoteSize});
    SetToolDictionary(*tool, reinterpret_cast<KPD_Object>(tool->Dictionary()));
  }
  int32_t count = host::PageAnnotCount(page);
  for (int32_t i = 0; i < count; ++i) {
    KPD_Dictionary member = host::PageGetAnnot(page, i);
    if (i == headIndex || !member || !host::ObjectIsIdentical(reinterpret_cast<KPD_Object>(GroupHead(member)),
                                                              reinterpret_cast<KPD_Object>(head)))
      continue;
    if (!IsCapturable(member)) continue;
    auto child = CaptureOne(member, i, offset, error);
    if (child) tool->children.push_back(std::move(child));
  }
  tools.push_back(tool);
  modified = true;
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnToolAdded(this, tool.get()); });
  return true;
}

void ApplyLoadFixUps(CAnnot_Tool& tool) {
  KPD_Dictionary dict = tool.Dictionary();
  if (!dict) return;
  NegateRotation(dict);
  // An arc stored without its intent is still an arc.
  if (tool.type == kToolTypePrefix + std::string("Arc")) Put(dict, "/IT", host::NameNew("/CircleArc"));
  // Text boxes stored before their style carried a margin had one of 5 pt.
  if (tool.type == kToolTypePrefix + std::string("FreeText") &&
      !host::NameIs(host::DictGet(dict, "/IT"), "/FreeTextCallout")) {
    if (KPD_Object ds = host::DictGet(dict, "/DS")) {
      host::ByteString style;
      if (host::ObjectGetType(ds) == KPD_OBJ_STRING && host::StringGetBytes(ds, style.get()) &&
          style.str().find("margin") == std::string::npos) {
        const std::string text = style.str() + ";margin:5pt";
        Put(dict, "/DS", host::StringNew(text.data(), text.size()));
      }
    }
  }
}

void MoveToolToOrigin(CAnnot_Tool& tool) {
  KS_FloatRect r{};
  if (!tool.Dictionary() || !ReadRect(tool.Dictionary(), &r)) return;
  constexpr float kEpsilon = 1.1920929e-7f;
  if (std::fabs(r.left) <= kEpsilon && std::fabs(r.bottom) <= kEpsilon) return;
  TransformGeometry(tool.Dictionary(), Translate(-r.left, -r.bottom));
  SetToolDictionary(tool, reinterpret_cast<KPD_Object>(tool.Dictionary()));
}

bool PlaceTool(KPD_Document doc, int32_t pageIndex, const CAnnot_Tool& tool, float x, float y,
               std::vector<KPD_Dictionary>* placed, std::string* error) {
  KPD_Page page = host::DocGetPage(doc, pageIndex);
  if (!page) {
    *error = "no page " + std::to_string(pageIndex + 1);
    return false;
  }
  KS_FloatRect pageBox{};
  if (host::PageGetBox(page, "/CropBox", &pageBox) || host::PageGetBox(page, "/MediaBox", &pageBox)) {
    host::RectNormalize(&pageBox);
    if (x < pageBox.left || x > pageBox.right || y < pageBox.bottom || y > pageBox.top) {
      *error = "the point lies outside page " + std::to_string(pageIndex + 1);
      return false;
    }
  }
  if (!tool.Dictionary()) {
    *error = "the tool has no dictionary";
    return false;
  }
  if (!(host::DocGetPermissions(doc) & KPD_PERM_MODIFY_ANNOTS)) {
    *error = "the document does not allow changing annotations";
    return false;
  }
  // The members in stored order: by index, the head first among equals.
  std::vector<const CAnnot_Tool*> members{&tool};
  for (const auto& c : tool.children)
    if (c->Dictionary()) members.push_back(c.get());
  std::stable_sort(members.begin(), members.end(), [](auto* a, auto* b) { return a->index < b->index; });
  KS_FloatRect box{};
  bool first = true;
  for (const CAnnot_Tool* m : members) {
    KS_FloatRect r{};
    if (!ReadRect(m->Dictionary(), &r)) continue;
    if (first) box = r;
    else host::RectUnion(&box, &r, &box);
    first = false;
  }
  int rotation = ((host::PageGetRotation(page) % 360) + 360) % 360;
  Affine place = Then(Then(Translate(-box.left, -box.top), Rotate(rotation)), Translate(x, y));
  int32_t next = host::PageAnnotCount(page);
  KPD_Dictionary headPlaced = nullptr;
  std::vector<std::pair<const CAnnot_Tool*, KPD_Dictionary>> made;
  for (const CAnnot_Tool* m : members) {
    // The live dictionary, with the fix-ups of loading, is what is placed.
    const std::string live = Written(reinterpret_cast<KPD_Object>(m->Dictionary()));
    KPD_Object copy = host::ObjectParse(live.data(), live.size());
    if (host::ObjectGetType(copy) != KPD_OBJ_DICTIONARY) {
      host::ObjectRelease(copy);
      continue;
    }
    KPD_Dictionary dict = AsDict(copy);
    Instantiator inst(doc, *m);
    inst.Resolve(copy, 0);
    // /OC names an optional-content group: the target's group of that name,
    // when it has one, else none.
    if (KPD_Object oc = host::DictGet(dict, "/OC")) {
      if (KPD_Object group = GroupInTarget(doc, oc)) host::DictSet(dict, "/OC", group);
      else host::DictRemove(dict, "/OC");
    }
    Put(dict, "/Type", host::NameNew("/Annot"));
    // A fresh name, the time of placing as its dates and the user placing
    // it as the author.
    StampIdentity(dict);
    TransformGeometry(dict, place);
    if (rotation) {
      // The appearance turns with the page so that it looks upright.
      KPD_Object ap = host::DictGet(dict, "/AP");
      KPD_Object n = host::ObjectGetType(ap) == KPD_OBJ_DICTIONARY ? host::DictGet(AsDict(ap), "/N") : nullptr;
      if (host::ObjectGetType(n) == KPD_OBJ_STREAM) {
        KPD_Dictionary sd = host::StreamGetDict(reinterpret_cast<KPD_Stream>(n));
        KS_Matrix old{1, 0, 0, 1, 0, 0};
        if (KPD_Object mo = host::DictGet(sd, "/Matrix")) host::MatrixFromObject(mo, &old);
        Affine r = Rotate(rotation);
        Affine t = Then({old.a, old.b, old.c, old.d, old.e, old.f}, r);
        KS_Matrix nm2{static_cast<float>(t.a), static_cast<float>(t.b), static_cast<float>(t.c),
                      static_cast<float>(t.d), static_cast<float>(t.e), static_cast<float>(t.f)};
        Put(sd, "/Matrix", host::MatrixToObject(&nm2));
      }
    }
    KPD_Dictionary inserted = host::PageInsertAnnot(page, next, dict);
    host::ObjectRelease(copy);
    if (!inserted) continue;
    ++next;
    if (m == &tool) headPlaced = inserted;
    made.push_back({m, inserted});
  }
  if (!headPlaced) {
    *error = "the annotation could not be added to the page";
    return false;
  }
  // The other members reply to the head as one group, written through the
  // annotation model now that they are annotations of the page.
  for (auto& [m, d] : made) {
    if (m == &tool) continue;
    kwannotation::CKW_MarkupAnnotImpl member(d, kwannotation::KW_ANNOT_UNKNOWN, nullptr);
    member.SetInReplyTo(headPlaced);
    member.SetReplyType("Group");
  }
  if (placed) {
    placed->clear();
    for (auto& [m, d] : made)
      if (m == &tool) placed->insert(placed->begin(), d);
      else placed->push_back(d);
  }
  return headPlaced != nullptr;
}

}  // namespace AnnotationPlugin
