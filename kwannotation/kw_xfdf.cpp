#include "kwannotation/kw_xfdf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <functional>
#include <map>
#include <unordered_map>
#include <memory>
#include <set>
#include <vector>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_xfdf_link.h"
#include "kwannotation/kw_xfdf_redact.h"
#include "kwannotation/kw_xfdf_util.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

constexpr const char* kXfdfNamespace = "http://ns.adobe.com/xfdf/";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Form fields travel in an XFDF's "fields", not among its annotations.
bool IsExchanged(int32_t code) { return code != KW_ANNOT_UNKNOWN && code != KW_ANNOT_WIDGET; }

// The subtype code of an element name ("freetext" -> FreeText); 0 when the
// name is no subtype the exchange carries.
int32_t SubtypeOfElement(const std::string& element) {
  for (int32_t code = 1; code <= kKwLastSubtypeCode; ++code)
    if (IsExchanged(code) && Lower(KW_SubtypeNameFromCode(code)) == element) return code;
  return KW_ANNOT_UNKNOWN;
}

std::string FormatRectDifferences(const float rd[4]) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    if (i) s += ',';
    s += xfdf::FormatCompact(rd[i]);
  }
  return s;
}

// Releases a host XML document at the end of a scope.
class XmlDoc {
 public:
  explicit XmlDoc(KX_Document doc) : doc_(doc) {}
  ~XmlDoc() {
    if (doc_) host::XmlRelease(doc_);
  }
  XmlDoc(const XmlDoc&) = delete;
  XmlDoc& operator=(const XmlDoc&) = delete;
  KX_Document get() const { return doc_; }

 private:
  KX_Document doc_;
};

void ExportNumberKey(KPD_Dictionary d, const char* key, KX_Element element, const char* attr) {
  double v = 0;
  if (dict::GetNumber(d, key, &v)) xfdf::SetAttr(element, attr, xfdf::FormatCompact(static_cast<float>(v)));
}

// The first of `attrs` that the element has, read as a number into `key`.
void ImportNumberKey(KX_Element element, std::initializer_list<const char*> attrs, CKW_AnnotWriter& w,
                     const char* key) {
  std::string value;
  float v = 0;
  for (const char* attr : attrs)
    if (xfdf::GetAttr(element, attr, &value)) {
      if (xfdf::ParseFloat(value, &v)) w.SetNumber(key, v);
      return;
    }
}

// Leader lines are spelled several ways by the programs that write XFDF;
// the first name of each list is the one written.
constexpr std::initializer_list<const char*> kLeaderLength = {"leaderLength", "leader-length"};
constexpr std::initializer_list<const char*> kLeaderExtend = {"leaderExtend", "leaderExtended", "leader-extend"};
constexpr std::initializer_list<const char*> kLeaderOffset = {"leader-offset", "leaderOffset", "leaderoffset"};

// Caption position (/CP) and offset (/CO, horizontal then vertical).
void ExportCaptionPlacement(KPD_Dictionary d, KX_Element element) {
  std::string position = dict::GetName(d, "/CP");
  if (position == "Inline" || position == "Top") xfdf::SetAttr(element, "caption-style", position);
  double along = 0, across = 0;
  if (KW_ReadCaptionOffset(d, &along, &across)) {
    xfdf::SetAttr(element, "caption-offset-h", xfdf::FormatCompact(float(along)));
    xfdf::SetAttr(element, "caption-offset-v", xfdf::FormatCompact(float(across)));
  }
}

void ImportCaptionPlacement(KX_Element element, KPD_Dictionary d, CKW_AnnotWriter& w) {
  std::string value;
  if (xfdf::GetAttr(element, "caption-style", &value)) {
    std::string lower;
    for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "inline") w.SetName("/CP", "Inline");
    else if (lower == "top") w.SetName("/CP", "Top");
  }
  double along = 0, across = 0;
  KW_ReadCaptionOffset(d, &along, &across);
  float offset[2] = {float(along), float(across)};
  bool changed = false;
  float v = 0;
  if (xfdf::GetAttr(element, "caption-offset-h", &value) && xfdf::ParseFloat(value, &v)) {
    offset[0] = v;
    changed = true;
  }
  if (xfdf::GetAttr(element, "caption-offset-v", &value) && xfdf::ParseFloat(value, &v)) {
    offset[1] = v;
    changed = true;
  }
  if (changed) w.SetNumbers("/CO", offset, 2);
}

void ExportStringChild(KPD_Dictionary d, const char* key, KX_Element element, const char* child) {
  std::u16string text;
  if (!dict::GetText(d, key, &text)) return;
  KX_Element node = host::XmlAppendChild(element, child);
  std::string utf8 = dict::ToUtf8(text);
  if (node) host::XmlSetText(node, utf8.c_str());
}

void ExportLineEndings(int32_t start, int32_t end, KX_Element element) {
  xfdf::SetAttr(element, "head", KW_LineEndingName(start));
  xfdf::SetAttr(element, "tail", KW_LineEndingName(end));
}

bool ImportLineEndings(KX_Element element, int32_t* start, int32_t* end) {
  std::string head, tail;
  bool hasHead = xfdf::GetAttr(element, "head", &head);
  bool hasTail = xfdf::GetAttr(element, "tail", &tail);
  if (hasHead) *start = KW_LineEndingFromName(head);
  if (hasTail) *end = KW_LineEndingFromName(tail);
  return hasHead || hasTail;
}

// What a standard XFDF carries beyond the common and markup attributes.
void ExportGeometry(CKW_Annot& annot, KX_Element element) {
  KPD_Dictionary d = annot.GetDict();
  if (!d) return;
  int32_t code = annot.GetSubtypeCode();
  auto* markup = dynamic_cast<CKW_MarkupAnnot*>(&annot);
  int32_t start = 0, end = 0;
  switch (code) {
    case KW_ANNOT_LINE: {
      auto& line = static_cast<CKW_Line&>(annot);
      KS_FloatPoint a{}, b{};
      if (line.GetLinePoints(&a, &b)) {
        xfdf::SetAttr(element, "start", xfdf::FormatPoints({a}));
        xfdf::SetAttr(element, "end", xfdf::FormatPoints({b}));
      }
      if (line.GetLineEndings(&start, &end)) ExportLineEndings(start, end, element);
      ExportNumberKey(d, "/LL", element, *kLeaderLength.begin());
      ExportNumberKey(d, "/LLE", element, *kLeaderExtend.begin());
      ExportNumberKey(d, "/LLO", element, *kLeaderOffset.begin());
      bool caption = false;
      if (dict::GetBool(d, "/Cap", &caption)) xfdf::SetAttr(element, "caption", caption ? "yes" : "no");
      ExportCaptionPlacement(d, element);
      break;
    }
    case KW_ANNOT_POLYGON:
    case KW_ANNOT_POLYLINE: {
      std::vector<KS_FloatPoint> vertices = markup->GetVertices();
      if (!vertices.empty()) {
        KX_Element node = host::XmlAppendChild(element, "vertices");
        std::string text = xfdf::FormatPoints(vertices);
        if (node) host::XmlSetText(node, text.c_str());
      }
      if (code == KW_ANNOT_POLYLINE && static_cast<CKW_PolyLine&>(annot).GetLineEndings(&start, &end))
        ExportLineEndings(start, end, element);
      break;
    }
    case KW_ANNOT_LINK:
      KW_ExportLinkToXFDF(annot.GetImpl()->GetDocument(), d, element);
      break;
    case KW_ANNOT_REDACT:
      KW_ExportRedactToXFDF(d, element);
      break;
    case KW_ANNOT_INK: {
      auto strokes = static_cast<CKW_Ink&>(annot).GetInkList();
      if (strokes.empty()) break;
      KX_Element list = host::XmlAppendChild(element, "inklist");
      for (const auto& stroke : strokes) {
        KX_Element gesture = host::XmlAppendChild(list, "gesture");
        std::string text = xfdf::FormatPoints(stroke);
        if (gesture) host::XmlSetText(gesture, text.c_str());
      }
      break;
    }
    case KW_ANNOT_HIGHLIGHT:
    case KW_ANNOT_UNDERLINE:
    case KW_ANNOT_SQUIGGLY:
    case KW_ANNOT_STRIKEOUT: {
      std::vector<float> quads;
      if (static_cast<CKW_TextMarkupAnnot&>(annot).GetQuadPoints(&quads) && !quads.empty()) {
        std::string coords;
        for (float v : quads) {
          if (!coords.empty()) coords += ',';
          coords += xfdf::FormatCompact(v);
        }
        xfdf::SetAttr(element, "coords", coords);
      }
      break;
    }
    case KW_ANNOT_TEXT:
    case KW_ANNOT_STAMP:
    case KW_ANNOT_FILEATTACHMENT: {
      std::string icon = dict::GetName(d, "/Name");
      if (!icon.empty()) xfdf::SetAttr(element, "icon", icon);
      int32_t rotation = 0;
      if (code == KW_ANNOT_TEXT && annot.GetRotate(&rotation) && rotation != 0)
        xfdf::SetAttr(element, "rotation", std::to_string(rotation));
      break;
    }
    case KW_ANNOT_FREETEXT: {
      double q = 0;
      if (dict::GetNumber(d, "/Q", &q)) {
        static const char* kJustification[] = {"left", "centered", "right", "justify"};
        if (q >= 0 && q <= 3) xfdf::SetAttr(element, "justification", kJustification[static_cast<int>(q)]);
      }
      int32_t rotation = 0;
      if (annot.GetRotate(&rotation) && rotation != 0) xfdf::SetAttr(element, "rotation", std::to_string(rotation));
      // The callout line: its points, and the ending at its start.
      std::vector<float> callout;
      if (dict::GetNumbers(d, "/CL", &callout) && (callout.size() == 4 || callout.size() == 6)) {
        std::string points;
        for (float v : callout) {
          if (!points.empty()) points += ',';
          points += xfdf::FormatCompact(v);
        }
        xfdf::SetAttr(element, "callout", points);
        KPD_Object le = host::DictGet(d, "/LE");
        if (dict::TypeOf(le) == KPD_OBJ_ARRAY) le = host::ArrayGet(le, 0);
        std::string ending = dict::NameOf(le);
        if (!ending.empty()) xfdf::SetAttr(element, "head", ending);
      }
      std::string da;
      if (annot.GetDefaultAppearance(&da)) {
        KX_Element node = host::XmlAppendChild(element, "defaultappearance");
        if (node) host::XmlSetText(node, dict::ToUtf8(dict::FromUtf8(da)).c_str());
      }
      ExportStringChild(d, "/DS", element, "defaultstyle");
      break;
    }
    default:
      break;
  }
  KPD_ColorF interior{};
  if (markup && markup->GetInteriorColor(&interior) && interior.kind != KPD_COLOR_NONE)
    xfdf::SetAttr(element, "interior-color", xfdf::FormatColor(interior));
  float rd[4];
  if (annot.GetRectDifferences(rd)) xfdf::SetAttr(element, "fringe", FormatRectDifferences(rd));
}

void ImportGeometry(CKW_Annot& annot, KX_Element element) {
  KPD_Dictionary d = annot.GetDict();
  CKW_AnnotWriter w(*annot.GetImpl());
  if (!d) return;
  int32_t code = annot.GetSubtypeCode();
  auto* markup = dynamic_cast<CKW_MarkupAnnot*>(&annot);
  std::string value;
  switch (code) {
    case KW_ANNOT_LINE: {
      auto& line = static_cast<CKW_Line&>(annot);
      std::string a, b;
      std::vector<KS_FloatPoint> pa, pb;
      if (xfdf::GetAttr(element, "start", &a) && xfdf::GetAttr(element, "end", &b) && xfdf::ParsePoints(a, &pa) &&
          xfdf::ParsePoints(b, &pb) && pa.size() == 1 && pb.size() == 1)
        line.SetLinePoints(pa[0], pb[0]);
      int32_t start = 0, end = 0;
      line.GetLineEndings(&start, &end);
      if (ImportLineEndings(element, &start, &end)) line.SetLineEndings(start, end);
      ImportNumberKey(element, kLeaderLength, w, "/LL");
      ImportNumberKey(element, kLeaderExtend, w, "/LLE");
      ImportNumberKey(element, kLeaderOffset, w, "/LLO");
      if (xfdf::GetAttr(element, "caption", &value)) w.SetBool("/Cap", value == "yes");
      ImportCaptionPlacement(element, d, w);
      break;
    }
    case KW_ANNOT_POLYGON:
    case KW_ANNOT_POLYLINE: {
      // Standard XFDF has the points as the text of a "vertices" child; an
      // attribute of that name is read as well.
      std::vector<KS_FloatPoint> vertices;
      KX_Element child = xfdf::FirstChild(element, "vertices");
      if (child ? xfdf::ParsePoints(xfdf::ElementText(child), &vertices)
                : xfdf::GetAttr(element, "vertices", &value) && xfdf::ParsePoints(value, &vertices))
        markup->SetVertices(vertices);
      if (code == KW_ANNOT_POLYLINE) {
        auto& polyline = static_cast<CKW_PolyLine&>(annot);
        int32_t start = 0, end = 0;
        polyline.GetLineEndings(&start, &end);
        if (ImportLineEndings(element, &start, &end)) polyline.SetLineEndings(start, end);
      }
      break;
    }
    case KW_ANNOT_LINK:
      KW_ImportLinkFromXFDF(annot.GetImpl()->GetDocument(), *annot.GetImpl(), element);
      break;
    case KW_ANNOT_REDACT:
      KW_ImportRedactFromXFDF(annot.GetImpl()->GetDocument(), *annot.GetImpl(), element);
      break;
    case KW_ANNOT_INK: {
      KX_Element list = xfdf::FirstChild(element, "inklist");
      if (!list) break;
      std::vector<std::vector<KS_FloatPoint>> strokes;
      for (KX_Element g = xfdf::FirstChild(list, "gesture"); g; g = xfdf::NextSibling(g, "gesture")) {
        std::vector<KS_FloatPoint> stroke;
        if (xfdf::ParsePoints(xfdf::ElementText(g), &stroke) && !stroke.empty()) strokes.push_back(std::move(stroke));
      }
      if (!strokes.empty()) static_cast<CKW_Ink&>(annot).SetInkList(strokes);
      break;
    }
    case KW_ANNOT_HIGHLIGHT:
    case KW_ANNOT_UNDERLINE:
    case KW_ANNOT_SQUIGGLY:
    case KW_ANNOT_STRIKEOUT: {
      std::vector<float> quads;
      if (xfdf::GetAttr(element, "coords", &value) && xfdf::ParseFloatList(value, &quads) && quads.size() % 8 == 0)
        static_cast<CKW_TextMarkupAnnot&>(annot).SetQuadPoints(quads);
      break;
    }
    case KW_ANNOT_TEXT:
    case KW_ANNOT_STAMP:
    case KW_ANNOT_FILEATTACHMENT:
      if (xfdf::GetAttr(element, "icon", &value) && !value.empty()) w.SetName("/Name", value);
      if (float rotation = 0; code == KW_ANNOT_TEXT && xfdf::GetAttr(element, "rotation", &value) &&
                              xfdf::ParseFloat(value, &rotation) && std::fabs(rotation) <= 360000)
        annot.SetRotate(static_cast<int32_t>(std::lround(rotation)));
      break;
    case KW_ANNOT_FREETEXT: {
      if (xfdf::GetAttr(element, "justification", &value)) {
        int q = value == "centered" ? 1 : value == "right" ? 2 : value == "justify" ? 3 : 0;
        w.SetInteger("/Q", q);
      }
      float rotation = 0;
      if (xfdf::GetAttr(element, "rotation", &value) && xfdf::ParseFloat(value, &rotation) &&
          std::fabs(rotation) <= 360000)
        annot.SetRotate(static_cast<int32_t>(std::lround(rotation)));
      // Two or three points; any other count is not a callout line.
      std::vector<float> callout;
      if (xfdf::GetAttr(element, "callout", &value) && xfdf::ParseFloatList(value, &callout) &&
          (callout.size() == 4 || callout.size() == 6))
        w.SetNumbers("/CL", callout.data(), callout.size());
      if (xfdf::GetAttr(element, "head", &value)) w.SetName("/LE", KW_LineEndingName(KW_LineEndingFromName(value)));
      if (KX_Element da = xfdf::FirstChild(element, "defaultappearance"))
        annot.SetDefaultAppearance(xfdf::ElementText(da));
      if (KX_Element ds = xfdf::FirstChild(element, "defaultstyle"))
        annot.SetDefaultStyle(dict::FromUtf8(xfdf::ElementText(ds)));
      break;
    }
    default:
      break;
  }
  KPD_ColorF interior{};
  if (markup && xfdf::GetAttr(element, "interior-color", &value) && xfdf::ParseColor(value, &interior))
    markup->SetInteriorColor(interior);
  std::vector<float> rd;
  if (xfdf::GetAttr(element, "fringe", &value) && xfdf::ParseFloatList(value, &rd) && rd.size() == 4)
    annot.SetRectDifferences(rd.data());
}

// After an imported annotation got its appearance: the rectangle the file
// carries wins when it holds the drawing. The appearance box grows to it, so
// the drawing stays in place, and the rectangle comes back as it was
// exported. A smaller carried rectangle would cut the drawing and is not
// taken; neither is one whose appearance is not drawn in page space.
void KeepCarriedRect(CKW_Annot& annot, KX_Element element) {
  std::string text;
  std::vector<float> carried, drawn, box, matrix;
  KPD_Dictionary d = annot.GetDict();
  if (!xfdf::GetAttr(element, "rect", &text) || !xfdf::ParseFloatList(text, &carried) || carried.size() != 4) return;
  if (!dict::GetNumbers(d, "/Rect", &drawn) || drawn.size() != 4) return;
  KS_FloatRect want{carried[0], carried[1], carried[2], carried[3]}, have{drawn[0], drawn[1], drawn[2], drawn[3]};
  host::RectNormalize(&want);
  host::RectNormalize(&have);
  constexpr float kSlack = 0.001f;
  if (want.left > have.left + kSlack || want.bottom > have.bottom + kSlack || want.right < have.right - kSlack ||
      want.top < have.top - kSlack)
    return;
  KPD_Dictionary ap = host::DictGet(d, "/AP");
  KPD_Stream normal = ap ? host::DictGet(ap, "/N") : nullptr;
  KPD_Dictionary stream = normal && host::ObjectGetType(normal) == KPD_OBJ_STREAM ? host::StreamGetDict(normal) : nullptr;
  if (stream) {
    const bool identity = !dict::Has(stream, "/Matrix") ||
                          (dict::GetNumbers(stream, "/Matrix", &matrix) && matrix.size() == 6 && matrix[0] == 1 &&
                           matrix[1] == 0 && matrix[2] == 0 && matrix[3] == 1 && matrix[4] == 0 && matrix[5] == 0);
    if (!identity || !dict::GetNumbers(stream, "/BBox", &box) || box.size() != 4) return;
    const float grown[4] = {want.left, want.bottom, want.right, want.top};
    dict::SetNumbers(stream, "/BBox", grown, 4);
  }
  const float rect[4] = {want.left, want.bottom, want.right, want.top};
  CKW_AnnotWriter w(*annot.GetImpl());
  w.SetNumbers("/Rect", rect, 4);
  // The insets keep the drawn figure where it is inside the grown
  // rectangle: the carried ones when the file has them, else grown alike.
  std::vector<float> rd;
  if (xfdf::GetAttr(element, "fringe", &text) && xfdf::ParseFloatList(text, &rd) && rd.size() == 4) {
    w.SetNumbers("/RD", rd.data(), 4);
  } else if (dict::GetNumbers(d, "/RD", &rd) && rd.size() == 4) {
    const float insets[4] = {rd[0] + (have.left - want.left), rd[1] + (have.bottom - want.bottom),
                             rd[2] + (want.right - have.right), rd[3] + (want.top - have.top)};
    w.SetNumbers("/RD", insets, 4);
  }
}

bool ParsePageIndex(const std::string& text, int32_t* page) {
  int32_t value = -1;
  auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  *page = value;
  return true;
}

// Attributes whose numbers become coordinates, lengths or widths.
constexpr const char* kNumberAttributes[] = {
    "rect",         "start",         "end",            "vertices",     "width",
    "fringe",       "coords",        "dashes",         "leaderLength", "leader-length",
    "leaderExtend", "leaderExtended", "leader-extend", "leaderOffset", "leader-offset",
    "leaderoffset", "caption-offset-h", "caption-offset-v"};

// Why an annotation element cannot be imported: a number that cannot be a
// PDF value (NaN, an infinity, or beyond 1e7, which no page has), or a
// negative dash length. Empty when there is none.
std::string ElementFault(KX_Element e) {
  std::string value, fault;
  for (const char* attr : kNumberAttributes)
    if (xfdf::GetAttr(e, attr, &value) && !(fault = xfdf::NumberFault(value)).empty())
      return std::string(attr) + " " + fault;
  std::vector<float> dashes;
  if (xfdf::GetAttr(e, "dashes", &value) && xfdf::ParseFloatList(value, &dashes))
    for (float v : dashes)
      if (v < 0) return "dashes \"" + value + "\" holds a negative length";
  if (KX_Element vertices = xfdf::FirstChild(e, "vertices"))
    if (!(fault = xfdf::NumberFault(xfdf::ElementText(vertices))).empty()) return "vertices " + fault;
  KX_Element inklist = xfdf::FirstChild(e, "inklist");
  for (KX_Element g = xfdf::FirstChild(inklist, "gesture"); g; g = xfdf::NextSibling(g, "gesture"))
    if (!(fault = xfdf::NumberFault(xfdf::ElementText(g))).empty()) return "gesture " + fault;
  if (KX_Element popup = xfdf::FirstChild(e, "popup"))
    if (xfdf::GetAttr(popup, "rect", &value) && !(fault = xfdf::NumberFault(value)).empty())
      return "popup rect " + fault;
  // A rectangle is left, bottom, right, top: other counts (some writers
  // give two numbers, a corner) are refused, for updates too, rather than
  // passed over. An empty one counts as none.
  std::vector<float> numbers;
  if (xfdf::GetAttr(e, "rect", &value) && xfdf::ParseFloatList(value, &numbers) && !numbers.empty() && numbers.size() != 4)
    return "\"rect\" \"" + value + "\" is not four numbers";
  if (KX_Element popup = xfdf::FirstChild(e, "popup"))
    if (xfdf::GetAttr(popup, "rect", &value) && xfdf::ParseFloatList(value, &numbers) && !numbers.empty() && numbers.size() != 4)
      return "popup \"rect\" \"" + value + "\" is not four numbers";
  return {};
}

// Whether a new annotation of `code` gets a rectangle from the element: a
// "rect" of four numbers, or the points a line, polygon, polyline or ink is
// drawn from (its drawing then sets the rectangle).
bool HasOwnRect(KX_Element e, int32_t code) {
  std::string value;
  std::vector<float> rect;
  if (xfdf::GetAttr(e, "rect", &value) && xfdf::ParseFloatList(value, &rect) && rect.size() == 4) return true;
  std::vector<KS_FloatPoint> points, other;
  switch (code) {
    case KW_ANNOT_LINE: {
      std::string a, b;
      return xfdf::GetAttr(e, "start", &a) && xfdf::GetAttr(e, "end", &b) && xfdf::ParsePoints(a, &points) &&
             xfdf::ParsePoints(b, &other) && points.size() == 1 && other.size() == 1;
    }
    case KW_ANNOT_POLYGON:
    case KW_ANNOT_POLYLINE: {
      KX_Element child = xfdf::FirstChild(e, "vertices");
      bool read = child ? xfdf::ParsePoints(xfdf::ElementText(child), &points)
                        : xfdf::GetAttr(e, "vertices", &value) && xfdf::ParsePoints(value, &points);
      return read && !points.empty();
    }
    case KW_ANNOT_INK:
      for (KX_Element g = xfdf::FirstChild(xfdf::FirstChild(e, "inklist"), "gesture"); g;
           g = xfdf::NextSibling(g, "gesture"))
        if (xfdf::ParsePoints(xfdf::ElementText(g), &points) && !points.empty()) return true;
      return false;
    default:
      return false;
  }
}

// The line of the text on which `target` starts: its place among all
// elements in document order, found in the tree, is matched with the start
// tags of the text (comments, declarations, processing instructions and
// character data hold no element).
int LineOfElement(std::string_view text, KX_Element root, KX_Element target) {
  size_t wanted = 0;
  bool found = false;
  for (KX_Element e = root; e;) {
    if (e == target) {
      found = true;
      break;
    }
    ++wanted;
    if (KX_Element child = xfdf::FirstChild(e, nullptr)) {
      e = child;
      continue;
    }
    while (e && e != root && !xfdf::NextSibling(e, nullptr)) e = host::XmlParent(e);
    e = e && e != root ? xfdf::NextSibling(e, nullptr) : nullptr;
  }
  if (!found) return 0;
  auto skipPast = [&](size_t from, std::string_view end) {
    size_t at = text.find(end, from);
    return at == std::string_view::npos ? text.size() : at + end.size();
  };
  size_t seen = 0;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '<') {
      ++i;
      continue;
    }
    std::string_view rest = text.substr(i);
    if (rest.starts_with("<!--")) i = skipPast(i, "-->");
    else if (rest.starts_with("<![CDATA[")) i = skipPast(i, "]]>");
    else if (rest.starts_with("<?")) i = skipPast(i, "?>");
    else if (rest.starts_with("<!")) {
      int depth = 0;  // a document type may hold "[...]" with markup of its own
      for (++i; i < text.size() && !(text[i] == '>' && depth == 0); ++i)
        depth += text[i] == '[' ? 1 : text[i] == ']' ? -1 : 0;
      ++i;
    } else if (rest.starts_with("</")) i = skipPast(i, ">");
    else {
      if (seen++ == wanted) {
        return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(i), '\n'));
      }
      char quote = 0;  // a quoted attribute value may hold ">"
      for (++i; i < text.size(); ++i) {
        if (quote) {
          if (text[i] == quote) quote = 0;
        } else if (text[i] == '"' || text[i] == '\'') {
          quote = text[i];
        } else if (text[i] == '>') {
          break;
        }
      }
      ++i;
    }
  }
  return 0;
}

// How messages about an attached file name it.
std::string AttachedFile(const std::string& name, int32_t page) {
  return "attached file \"" + name + "\" on page " + std::to_string(page + 1);
}
std::string OverTheLimit(size_t size) {
  return " is " + std::to_string(size) + " bytes, over the limit of " +
         std::to_string(CKW_FileAttachmentAnnotImpl::GetXFDFFileLimit()) + " bytes";
}

// A popup that belongs to a markup annotation travels inside it.
bool IsOwnedPopup(CKW_Annot& annot) {
  if (annot.GetSubtypeCode() != KW_ANNOT_POPUP) return false;
  return dict::TypeOf(ks::host::DictGet(annot.GetDict(), "/Parent")) == KPD_OBJ_DICTIONARY;
}

}  // namespace

bool KW_ExportXFDF(KPD_Document doc, std::string* xfdfText, std::string* error, KwXfdfFiles* files) {
  if (!doc) {
    if (error) *error = "no document";
    return false;
  }
  XmlDoc xml(host::XmlNew("xfdf"));
  KX_Element root = xml.get() ? host::XmlGetRoot(xml.get()) : nullptr;
  if (!root) {
    if (error) *error = "the host cannot build XML";
    return false;
  }
  xfdf::SetAttr(root, "xmlns", kXfdfNamespace);
  xfdf::SetAttr(root, "xml:space", "preserve");
  KX_Element annots = host::XmlAppendChild(root, "annots");
  int32_t pages = host::DocPageCount(doc);
  for (int32_t p = 0; p < pages; ++p) {
    auto list = CKW_PageAnnotList::Create(doc, p);
    if (!list) continue;
    int32_t count = list->CountAnnots();
    for (int32_t i = 0; i < count; ++i) {
      auto annot = list->GetAnnotAt(i);
      if (!annot || !annot->GetDict()) continue;
      std::string subtype = annot->GetSubtype();
      if (subtype.empty() || !IsExchanged(annot->GetSubtypeCode()) || IsOwnedPopup(*annot)) continue;
      KX_Element element = host::XmlAppendChild(annots, Lower(subtype).c_str());
      if (!element) continue;
      std::vector<std::pair<std::string, size_t>> leftOut;
      CKW_FileAttachmentAnnotImpl::SetXFDFLeftOutList(&leftOut);
      annot->ExportToXFDF(element);
      CKW_FileAttachmentAnnotImpl::SetXFDFLeftOutList(nullptr);
      ExportGeometry(*annot, element);
      for (const auto& [name, size] : leftOut) {
        std::string file = AttachedFile(name, p);
        if (files && !files->skipLarge) {
          if (error) *error = file + OverTheLimit(size);
          files->refusedLarge = true;
          return false;
        }
        if (files) files->leftOut.push_back(file + " (" + std::to_string(size) + " bytes)");
      }
    }
  }
  host::ByteString out;
  if (!host::XmlSerialize(root, 1, 1, out.get())) {
    if (error) *error = "the host cannot write XML";
    return false;
  }
  *xfdfText = out.str();
  return true;
}

bool KW_ImportXFDF(KPD_Document doc, std::string_view xfdfText, std::string* error, int* imported,
                   KwXfdfFiles* files, const std::function<void(KPD_Annot)>& settled) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (imported) *imported = 0;
  if (!doc) return fail("no document");
  host::ByteString parseError;
  XmlDoc xml(host::XmlParse(xfdfText.data(), xfdfText.size(), parseError.get()));
  if (!xml.get()) {
    std::string reason = parseError.str();
    return fail(reason.empty() ? "not readable as XML" : reason);
  }
  KX_Element root = host::XmlGetRoot(xml.get());
  if (xfdf::ElementName(root) != "xfdf") return fail("the root element is not \"xfdf\"");

  // Each page's annotations by /NM, gathered once: a file of thousands of
  // named annotations is matched in time proportional to its size. The
  // first annotation of a name wins, as a walk of the page would find it.
  struct Page {
    std::shared_ptr<CKW_PageAnnotList> list;
    std::unordered_map<std::u16string, KPD_Annot> byName;
  };
  std::map<int32_t, Page> pageIndex;
  auto pageOf = [&](int32_t index) -> Page& {
    Page& page = pageIndex[index];
    if (page.list) return page;
    page.list = CKW_PageAnnotList::Create(doc, index);
    KPD_Page hostPage = page.list ? page.list->GetPage() : nullptr;
    int32_t count = hostPage ? host::PageAnnotCount(hostPage) : 0;
    for (int32_t i = 0; i < count; ++i) {
      KPD_Annot annot = host::PageGetAnnot(hostPage, i);
      std::u16string nm;
      if (annot && dict::GetText(annot, "/NM", &nm) && !nm.empty()) page.byName.emplace(std::move(nm), annot);
    }
    return page;
  };
  // The annotation that is the k-th (from 0) of the page to have the name.
  auto nthNamed = [](const Page& page, const std::string& name, int k) -> KPD_Annot {
    KPD_Page hostPage = page.list ? page.list->GetPage() : nullptr;
    const std::u16string wanted = dict::FromUtf8(name);
    const int32_t count = hostPage ? host::PageAnnotCount(hostPage) : 0;
    for (int32_t i = 0; i < count; ++i) {
      KPD_Annot annot = host::PageGetAnnot(hostPage, i);
      std::u16string nm;
      if (annot && dict::GetText(annot, "/NM", &nm) && nm == wanted && k-- == 0) return annot;
    }
    return nullptr;
  };
  auto findByName = [](const Page& page, const std::string& name) -> KPD_Annot {
    if (name.empty()) return nullptr;
    auto found = page.byName.find(dict::FromUtf8(name));
    return found == page.byName.end() ? nullptr : found->second;
  };

  // Check every annotation first so that a bad one changes nothing.
  struct Item {
    KX_Element element;
    int32_t code;
    int32_t page;
    int position;
    int occurrence;  // how many elements before it had its name
  };
  std::vector<Item> items;
  int32_t pages = host::DocPageCount(doc);
  KX_Element annots = xfdf::FirstChild(root, "annots");
  int position = 0;
  std::set<std::pair<int32_t, std::string>> namedInFile;
  std::map<std::pair<int32_t, std::string>, int> timesNamed;
  for (KX_Element e = xfdf::FirstChild(annots, nullptr); e; e = xfdf::NextSibling(e, nullptr)) {
    ++position;
    std::string name = xfdf::ElementName(e);
    int32_t code = SubtypeOfElement(name);
    if (code == KW_ANNOT_UNKNOWN) continue;  // not an annotation this model knows
    std::string pageText;
    int32_t page = -1;
    if (!xfdf::GetAttr(e, "page", &pageText) || !ParsePageIndex(pageText, &page) || page < 0 || page >= pages)
      return fail("annotation " + std::to_string(position) + " (" + name + "): page \"" + pageText +
                  "\" is not a page of the document");
    std::string fault = ElementFault(e);
    // A new annotation needs a rectangle: its own, or one its points give
    // it when drawn. An update keeps the rectangle it has.
    std::string nm;
    xfdf::GetAttr(e, "name", &nm);
    // A name an earlier element of this file has already used stands for
    // the next annotation of the page with that name, or, when there is
    // none, for a new annotation renamed below.
    const int occurrence = nm.empty() ? 0 : timesNamed[{page, nm}]++;
    namedInFile.emplace(page, nm);
    const bool repeated = occurrence > 0;
    const bool known = (repeated ? nthNamed(pageOf(page), nm, occurrence) : findByName(pageOf(page), nm)) != nullptr;
    if (fault.empty() && !known && !HasOwnRect(e, code)) fault = "no \"rect\" of four numbers";
    std::string bytes;
    size_t size = 0;
    using Carried = CKW_FileAttachmentAnnotImpl::Carried;
    const Carried carried = fault.empty() && code == KW_ANNOT_FILEATTACHMENT
                                ? CKW_FileAttachmentAnnotImpl::CarriedFile(e, &bytes, &size)
                                : Carried::kNone;
    if (carried != Carried::kNone && carried != Carried::kFile) {
      std::string name, encoding;
      xfdf::GetAttr(e, "file", &name);
      std::string file = AttachedFile(name, page);
      if (carried == Carried::kNotBase64) fault = file + ": its data is not base64";
      else if (carried == Carried::kNotHex) fault = file + ": its data is not hexadecimal";
      else if (carried == Carried::kUnknownEncoding) {
        xfdf::GetAttr(xfdf::FirstChild(e, "data"), "encoding", &encoding);
        fault = file + ": its data has the unknown encoding \"" + encoding + "\"";
      }
      else if (files && !files->skipLarge) {
        fault = file + OverTheLimit(size);
        files->refusedLarge = true;
      }
      else if (files) files->leftOut.push_back(file + " (" + std::to_string(size) + " bytes)");
    }
    if (!fault.empty()) {
      int line = LineOfElement(xfdfText, root, e);
      return fail((line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + "annotation " +
                  std::to_string(position) + " (" + name + "): " + fault);
    }
    items.push_back({e, code, page, position, occurrence});
  }

  // The last element that names each (page, name), as its own name or as
  // the annotation it replies to: until then the annotation of that name
  // may still be looked up.
  // A reply that comes before the annotation it answers is linked at the
  // end, so that annotation is kept to the end too.
  std::map<std::pair<int32_t, std::string>, size_t> lastUse;
  std::set<std::pair<int32_t, std::string>> namedSoFar, answeredLater;
  for (size_t i = 0; i < items.size(); ++i) {
    std::string value;
    if (xfdf::GetAttr(items[i].element, "name", &value)) {
      lastUse[{items[i].page, value}] = i;
      namedSoFar.emplace(items[i].page, value);
    }
    if (xfdf::GetAttr(items[i].element, "inreplyto", &value)) {
      lastUse[{items[i].page, value}] = i;
      if (!namedSoFar.count({items[i].page, value})) answeredLater.emplace(items[i].page, value);
    }
  }

  std::vector<std::pair<std::shared_ptr<CKW_Annot>, KX_Element>> done;
  int settledCount = 0;
  for (size_t index = 0; index < items.size(); ++index) {
    const Item& item = items[index];
    Page& page = pageOf(item.page);
    if (!page.list) continue;
    std::string name;
    std::shared_ptr<CKW_Annot> annot;
    bool renaming = false;
    if (xfdf::GetAttr(item.element, "name", &name)) {
      KPD_Annot existing = item.occurrence > 0 ? nthNamed(page, name, item.occurrence) : findByName(page, name);
      if (existing) annot = page.list->GetAnnot(existing);
      renaming = !existing && item.occurrence > 0;
    }
    if (!annot) annot = page.list->CreateAnnot(KW_SubtypeNameFromCode(item.code));
    if (!annot) continue;
    // The reply is resolved here, through the index, rather than by the
    // annotation's own import, which would walk the page for each reply.
    std::string target;
    const bool replies = xfdf::GetAttr(item.element, "inreplyto", &target);
    if (replies) host::XmlRemoveAttribute(item.element, "inreplyto");
    annot->ImportFromXFDF(item.element);
    if (replies) {
      host::XmlSetAttribute(item.element, "inreplyto", target.c_str());
      if (auto* markup = dynamic_cast<CKW_MarkupAnnot*>(annot.get())) markup->SetInReplyTo(findByName(page, target));
    }
    ImportGeometry(*annot, item.element);
    if (renaming) {
      // The first free name of "<name>-2", "<name>-3", ... on the page and in the file.
      std::string fresh;
      for (int n = 2; fresh.empty() || findByName(page, fresh) || namedInFile.count({item.page, fresh}); ++n)
        fresh = name + "-" + std::to_string(n);
      namedInFile.emplace(item.page, fresh);
      dict::SetText(annot->GetDict(), "/NM", dict::FromUtf8(fresh));
      if (files)
        files->renamed.push_back("annotation " + std::to_string(item.position) + " (" + xfdf::ElementName(item.element) +
                                 ") on page " + std::to_string(item.page + 1) + ": the name \"" + name +
                                 "\" is taken by an earlier one; imported as \"" + fresh + "\"");
    }
    // Stamps and carets draw in their form's own coordinates, so their box
    // is not the page rectangle that the carried rect may grow.
    const bool ownSpace = item.code == KW_ANNOT_STAMP || item.code == KW_ANNOT_CARET;
    if (annot->ResetAppearance() && !ownSpace) KeepCarriedRect(*annot, item.element);
    std::u16string nm;
    if (annot->GetName(&nm) && !nm.empty()) page.byName.emplace(std::move(nm), annot->GetDict());
    if (settled) {
      auto* markup = dynamic_cast<CKW_MarkupAnnot*>(annot.get());
      const bool waits = replies && !target.empty() && (!markup || !markup->GetInReplyTo());
      auto used = lastUse.find({item.page, name});
      const bool needed = !name.empty() && ((used != lastUse.end() && used->second > index) ||
                                            answeredLater.count({item.page, name}) > 0);
      if (!waits && !needed && !renaming) {
        ++settledCount;
        settled(annot->GetDict());
        continue;
      }
    }
    done.emplace_back(annot, item.element);
  }
  // A reply may come before the annotation it answers.
  for (auto& [annot, element] : done) {
    std::string target;
    auto* markup = dynamic_cast<CKW_MarkupAnnot*>(annot.get());
    if (!markup || !xfdf::GetAttr(element, "inreplyto", &target) || target.empty() || markup->GetInReplyTo()) continue;
    if (KPD_Annot replied = findByName(pageOf(annot->GetPageIndex()), target)) markup->SetInReplyTo(replied);
  }
  if (imported) *imported = static_cast<int>(done.size()) + settledCount;
  return true;
}

}  // namespace kwannotation
