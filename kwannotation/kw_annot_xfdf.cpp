// The annotation objects in XFDF: the common attributes of every
// annotation and of markup annotations, and what stamps, carets, file
// attachments and measurements carry besides.
#include "kwannotation/kw_annot_impl.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_measure_xfdf.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_rich_text.h"
#include "kwannotation/kw_tagged_appearance.h"
#include "kwannotation/kw_xfdf_util.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;
using dict::Owned;

namespace {

void ExportText(KPD_Dictionary annot, const char* key, KX_Element element, const char* attr) {
  std::u16string text;
  if (dict::GetText(annot, key, &text)) xfdf::SetAttr(element, attr, dict::ToUtf8(text));
}

// Rich text: /RC as an XHTML "body" under a "contents-richtext" child.
void ExportRichText(const std::u16string& rc, KX_Element element) {
  std::string utf8 = dict::ToUtf8(rc);
  host::ByteString error;
  KX_Document parsed = host::XmlParse(utf8.data(), utf8.size(), error.get());
  if (!parsed) return;
  KX_Element body = host::XmlGetRoot(parsed);
  if (body) {
    KX_Element holder = host::XmlAppendChild(element, "contents-richtext");
    if (holder) host::XmlAppendCopy(holder, body);
  }
  host::XmlRelease(parsed);
}

}  // namespace

bool CKW_AnnotImpl::ImportFromXFDF(KX_Element element) {
  KPD_Dictionary d = GetDict();
  if (!d || !element) return false;
  std::string value;
  ImportText(element, "name", "/NM");
  if (xfdf::GetAttr(element, "color", &value)) {
    KPD_ColorF color{};
    if (xfdf::ParseColor(value, &color)) SetColor(color);
    else if (value.empty()) SetColor(KPD_ColorF{KPD_COLOR_NONE, {0, 0, 0, 0}});
  }
  ImportText(element, "date", "/M");
  if (xfdf::GetAttr(element, "flags", &value)) SetFlags(KW_ParseAnnotFlags(value));
  std::vector<float> rect;
  if (xfdf::GetAttr(element, "rect", &value) && xfdf::ParseFloatList(value, &rect) && rect.size() == 4)
    SetRect(KS_FloatRect{rect[0], rect[1], rect[2], rect[3]});
  ImportText(element, "title", "/T");
  return true;
}

namespace {

// The box the drawing of an annotation without a /Rect takes: the points of
// its strokes, vertices or line, grown by half the border width. Without
// points it draws nothing, and the box is the empty one at the origin.
KS_FloatRect DrawnBoxWithoutRect(KPD_Dictionary d) {
  std::vector<float> points, one;
  if (KPD_Array ink = dict::GetArray(d, "/InkList")) {
    const int32_t count = host::ArrayCount(ink);
    for (int32_t i = 0; i < count; ++i)
      if (dict::GetNumbers(host::ArrayGet(ink, i), &one)) points.insert(points.end(), one.begin(), one.end());
  }
  if (dict::GetNumbers(d, "/Vertices", &one)) points.insert(points.end(), one.begin(), one.end());
  if (dict::GetNumbers(d, "/L", &one) && one.size() == 4) points.insert(points.end(), one.begin(), one.end());
  KS_FloatRect box{0, 0, 0, 0};
  bool any = false;
  for (size_t i = 0; i + 1 < points.size(); i += 2) {
    const float x = points[i], y = points[i + 1];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    if (!any) box = KS_FloatRect{x, y, x, y};
    box = KS_FloatRect{std::min(box.left, x), std::min(box.bottom, y), std::max(box.right, x), std::max(box.top, y)};
    any = true;
  }
  if (!any) return box;
  double width = 1;
  if (KPD_Dictionary bs = dict::GetDict(d, "/BS")) dict::GetNumber(bs, "/W", &width);
  const float half = std::isfinite(width) && width > 0 ? static_cast<float>(width / 2) : 0;
  return KS_FloatRect{box.left - half, box.bottom - half, box.right + half, box.top + half};
}

}  // namespace

bool CKW_AnnotImpl::ExportToXFDF(KX_Element element) {
  KPD_Dictionary d = GetDict();
  if (!d || !element) return false;
  ExportText(d, "/NM", element, "name");
  int32_t page = GetPageIndex();
  if (page >= 0) xfdf::SetAttr(element, "page", std::to_string(page));
  KPD_ColorF color{};
  if (GetColor(&color) && color.kind != KPD_COLOR_NONE) xfdf::SetAttr(element, "color", xfdf::FormatColor(color));
  ExportText(d, "/M", element, "date");
  uint32_t flags = 0;
  if (GetFlags(&flags) && flags != 0) xfdf::SetAttr(element, "flags", KW_FormatAnnotFlags(flags));
  // A rectangle always goes out: import needs one for a new annotation.
  KS_FloatRect r{};
  if (!GetRect(&r)) r = DrawnBoxWithoutRect(d);
  xfdf::SetAttr(element, "rect",
                xfdf::FormatF(r.left) + "," + xfdf::FormatF(r.bottom) + "," + xfdf::FormatF(r.right) + "," +
                    xfdf::FormatF(r.top));
  ExportText(d, "/T", element, "title");
  return true;
}

void CKW_AnnotImpl::ImportText(KX_Element element, const char* attr, const char* key) {
  std::string value;
  if (xfdf::GetAttr(element, attr, &value)) WriteTextOrRemove(key, dict::FromUtf8(value));
}

bool CKW_MarkupAnnotImpl::ImportFromXFDF(KX_Element element) {
  if (!CKW_AnnotImpl::ImportFromXFDF(element)) return false;
  KPD_Dictionary d = GetDict();
  std::string value;
  ImportText(element, "creationdate", "/CreationDate");
  float number = 0;
  if (xfdf::GetAttr(element, "opacity", &value) && xfdf::ParseFloat(value, &number)) SetOpacity(number);
  ImportText(element, "subject", "/Subj");
  if (xfdf::GetAttr(element, "intent", &value)) SetIntent(value);
  ImportText(element, "state", "/State");
  ImportText(element, "statemodel", "/StateModel");

  // Plain contents win over the text of the rich contents.
  KX_Element plain = xfdf::FirstChild(element, "contents");
  KX_Element rich = xfdf::FirstChild(element, "contents-richtext");
  KX_Element body = xfdf::FirstChild(rich, "body");
  if (body) {
    host::ByteString xhtml;
    if (host::XmlSerialize(body, 0, 0, xhtml.get())) {
      const std::u16string rc = dict::FromUtf8(xhtml.str());
      SetRichContents(rc);
      // The plain contents: the rich text's own plain text, without the
      // line breaks it may end with.
      auto xml = plain ? nullptr : CKW_RichTextXML::Parse(rc);
      std::u16string text = xml ? xml->GetPlainText() : std::u16string();
      while (!text.empty() && text.back() == u'\n') text.pop_back();
      if (!text.empty()) WriteText("/Contents", text);
    }
  }
  if (plain) {
    std::u16string text = dict::FromUtf8(xfdf::ElementText(plain)), before;
    const bool changed = !GetContents(&before) || before != text;
    if (text.empty()) RemoveKey("/Contents");
    else WriteText("/Contents", text);
    // Rich text left from before would go on showing the old words (a free
    // text draws its /RC): new contents without rich text of their own get
    // it rebuilt from them, in the style the old one had.
    std::u16string rc;
    if (changed && !body && GetRichContents(&rc) && !rc.empty())
      SetRichContents(text.empty() ? std::u16string() : KW_RichTextForPlainText(rc, text));
  }

  if (xfdf::GetAttr(element, "inreplyto", &value)) {
    auto list = GetPageList();
    KPD_Annot target = list && !value.empty() ? list->FindAnnotByName(dict::FromUtf8(value)) : nullptr;
    SetInReplyTo(target);
  }
  if (xfdf::GetAttr(element, "replyType", &value)) {
    if (value == "group") SetReplyType("Group");
    else if (value == "reply") SetReplyType("R");
  }

  // Border attributes change only what they name.
  KwBorderInfo border;
  KW_ReadBorderInfo(d, &border);
  bool changed = xfdf::ReadBorderAttributes(element, &border);
  if (xfdf::GetAttr(element, "intensity", &value) && xfdf::ParseFloat(value, &number)) {
    border.intensity = number;
    changed = true;
  }
  if (changed) SetBorderInfo(border);

  KX_Element popup = xfdf::FirstChild(element, "popup");
  if (popup) {
    std::vector<float> rect;
    KS_FloatRect r{0, 0, 0, 0};
    if (xfdf::GetAttr(popup, "rect", &value) && xfdf::ParseFloatList(value, &rect) && rect.size() == 4)
      r = KS_FloatRect{rect[0], rect[1], rect[2], rect[3]};
    bool open = xfdf::GetAttr(popup, "open", &value) && value == "yes";
    KPD_Dictionary popupDict = SetPopup(r, open);
    if (popupDict && xfdf::GetAttr(popup, "flags", &value))
      CKW_PopupAnnotImpl(popupDict, KW_ANNOT_POPUP, nullptr).SetFlags(KW_ParseAnnotFlags(value));
  }

  // A measurement's scale and number formats.
  if (KX_Element measure = xfdf::FirstChild(element, "measure")) {
    if (KPD_Dictionary made = ImportMeasureFromXFDF(host::DocOfObject(d), measure)) {
      WriteKey("/Measure", made);
      host::ObjectRelease(made);
    }
  }
  return true;
}

bool CKW_MarkupAnnotImpl::ExportToXFDF(KX_Element element) {
  if (!CKW_AnnotImpl::ExportToXFDF(element)) return false;
  KPD_Dictionary d = GetDict();
  ExportText(d, "/CreationDate", element, "creationdate");
  double opacity = 1.0;
  if (dict::GetNumber(d, "/CA", &opacity))
    xfdf::SetAttr(element, "opacity", xfdf::FormatCompact(static_cast<float>(opacity)));
  ExportText(d, "/Subj", element, "subject");
  std::string intent = GetIntent();
  if (!intent.empty()) xfdf::SetAttr(element, "intent", intent);
  ExportText(d, "/State", element, "state");
  ExportText(d, "/StateModel", element, "statemodel");

  std::u16string irtName;
  if (KPD_Dictionary irt = GetInReplyTo(); irt && dict::GetText(irt, "/NM", &irtName))
    xfdf::SetAttr(element, "inreplyto", dict::ToUtf8(irtName));
  std::string replyType = GetReplyType();
  if (replyType == "Group") xfdf::SetAttr(element, "replyType", "group");
  else if (replyType == "R") xfdf::SetAttr(element, "replyType", "reply");

  KwBorderInfo border;
  if (KW_ReadBorderInfo(d, &border)) {
    xfdf::WriteBorderAttributes(element, border, true);
    if (border.style == KW_BORDER_CLOUDY) xfdf::SetAttr(element, "intensity", xfdf::Format2(border.intensity));
  }

  std::u16string text;
  if (GetContents(&text)) {
    KX_Element contents = host::XmlAppendChild(element, "contents");
    std::string utf8 = dict::ToUtf8(text);
    if (contents) host::XmlSetText(contents, utf8.c_str());
  }
  if (GetRichContents(&text) && !text.empty()) ExportRichText(text, element);
  if (KPD_Dictionary measure = host::DictGet(d, "/Measure"); measure && host::ObjectGetType(measure) == KPD_OBJ_DICTIONARY)
    ExportMeasureToXFDF(measure, element);

  if (KPD_Dictionary popup = GetPopup()) {
    KX_Element child = host::XmlAppendChild(element, "popup");
    if (child) {
      bool open = false;
      GetPopupOpen(&open);
      xfdf::SetAttr(child, "open", open ? "yes" : "no");
      int32_t page = GetPageIndex();
      if (page >= 0) xfdf::SetAttr(child, "page", std::to_string(page));
      double f = 0;
      if (dict::GetNumber(popup, "/F", &f) && f > 0 && f <= 4294967295.0)
        xfdf::SetAttr(child, "flags", KW_FormatAnnotFlags(static_cast<uint32_t>(f)));
      std::vector<float> r;
      if (dict::GetNumbers(popup, "/Rect", &r) && r.size() == 4) {
        KS_FloatRect rect{r[0], r[1], r[2], r[3]};
        host::RectNormalize(&rect);
        xfdf::SetAttr(child, "rect",
                      xfdf::FormatF(rect.left) + "," + xfdf::FormatF(rect.bottom) + "," + xfdf::FormatF(rect.right) +
                          "," + xfdf::FormatF(rect.top));
      }
    }
  }
  return true;
}

bool CKW_StampAnnotImpl::ExportToXFDF(KX_Element element) {
  if (!CKW_MarkupAnnotImpl::ExportToXFDF(element)) return false;
  KPD_Dictionary ap = dict::GetDict(GetDict(), "/AP");
  if (!ap) return true;
  std::string text = KW_WriteTaggedAppearance(ap);
  KX_Element child = host::XmlAppendChild(element, "appearance");
  return child && host::XmlSetText(child, KW_EncodeTaggedText(text).c_str());
}

bool CKW_StampAnnotImpl::ImportFromXFDF(KX_Element element) {
  if (!CKW_MarkupAnnotImpl::ImportFromXFDF(element)) return false;
  KX_Element child = host::XmlFirstChild(element, "appearance");
  KPD_Document doc = GetDocument();
  if (!child || !doc || !GetDict()) return true;
  host::ByteString encoded;
  host::XmlGetText(child, encoded.get());
  std::string text;
  if (!KW_DecodeTaggedText(encoded.str(), &text)) return true;
  std::string reason;
  dict::Owned ap(KW_ReadTaggedAppearance(doc, text, &reason));
  if (!ap) return true;  // unreadable: the old appearance stays
  return CKW_AnnotWriter(*this).Set("/AP", ap.get());
}

bool CKW_CaretAnnotImpl::ExportToXFDF(KX_Element element) {
  if (!CKW_MarkupAnnotImpl::ExportToXFDF(element)) return false;
  xfdf::SetAttr(element, "symbol", dict::NameIs(GetDict(), "/Sy", "P") ? "paragraph" : "None");
  return true;
}

bool CKW_CaretAnnotImpl::ImportFromXFDF(KX_Element element) {
  if (!CKW_MarkupAnnotImpl::ImportFromXFDF(element)) return false;
  std::string value;
  if (xfdf::GetAttr(element, "symbol", &value)) WriteName("/Sy", value == "paragraph" ? "P" : "None");
  return true;
}

namespace {

size_t g_xfdfFileLimit = 0;
std::vector<std::pair<std::string, size_t>>* g_xfdfLeftOut = nullptr;

// The text of a /Params entry of the embedded file, as an attribute.
void ExportParam(KPD_Dictionary params, const char* key, KX_Element element, const char* attr) {
  KPD_Object v = params ? host::DictGet(params, key) : nullptr;
  if (!v) return;
  if (dict::IsType(v, KPD_OBJ_NUMBER)) {
    xfdf::SetAttr(element, attr, std::to_string(host::ObjectGetInteger(v)));
  } else if (dict::IsType(v, KPD_OBJ_STRING)) {
    host::ByteString bytes;
    host::StringGetBytes(v, bytes.get());
    // A checksum is 16 bytes of binary: it goes as hexadecimal.
    std::string s = bytes.str();
    xfdf::SetAttr(element, attr, KW_TaggedNeedsHex(s) ? KW_TaggedHex(s) : s);
  }
}

// The checksum as export writes it: 32 hexadecimal digits for the 16 bytes
// of an MD5 digest, or the 16 bytes themselves when they are plain text.
// Anything else is no checksum.
bool ParseChecksum(const std::string& text, std::string* bytes) {
  if (text.size() == 16 && !KW_TaggedNeedsHex(text)) {
    *bytes = text;
    return true;
  }
  if (text.size() != 32) return false;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  *bytes = std::move(out);
  return true;
}

}  // namespace

void CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(size_t bytes) { g_xfdfFileLimit = bytes; }
size_t CKW_FileAttachmentAnnotImpl::GetXFDFFileLimit() { return g_xfdfFileLimit; }
void CKW_FileAttachmentAnnotImpl::SetXFDFLeftOutList(std::vector<std::pair<std::string, size_t>>* list) {
  g_xfdfLeftOut = list;
}

bool CKW_FileAttachmentAnnotImpl::ExportToXFDF(KX_Element element) {
  if (!CKW_MarkupAnnotImpl::ExportToXFDF(element)) return false;
  KPD_Dictionary fs = dict::GetDict(GetDict(), "/FS");
  if (!fs) return true;
  std::u16string name;
  if (dict::GetText(fs, "/UF", &name) || dict::GetText(fs, "/F", &name)) xfdf::SetAttr(element, "file", dict::ToUtf8(name));
  KPD_Dictionary ef = dict::GetDict(fs, "/EF");
  KPD_Object file = ef ? host::DictGet(ef, "/F") : nullptr;
  if (!g_xfdfFileLimit || !dict::IsType(file, KPD_OBJ_STREAM)) return true;
  host::ByteString bytes;
  if (!host::StreamGetData(file, 1, bytes.get())) return true;
  if (bytes.str().size() > g_xfdfFileLimit) {
    if (g_xfdfLeftOut) g_xfdfLeftOut->emplace_back(dict::ToUtf8(name), bytes.str().size());
    return true;
  }
  KX_Element data = host::XmlAppendChild(element, "data");
  if (!data) return true;
  KPD_Dictionary sd = host::StreamGetDict(file);
  std::string mime = dict::GetName(sd, "/Subtype");
  if (!mime.empty()) xfdf::SetAttr(data, "mimetype", mime);
  xfdf::SetAttr(data, "length", std::to_string(bytes.str().size()));
  xfdf::SetAttr(data, "encoding", "base64");
  xfdf::SetAttr(data, "MODE", "FILTERED");
  // The data goes decoded; the filter it was stored with goes beside it.
  const std::string filter = dict::GetName(sd, "/Filter");
  if (!filter.empty()) xfdf::SetAttr(data, "filter", filter);
  KPD_Dictionary params = dict::GetDict(sd, "/Params");
  ExportParam(params, "/Size", data, "size");
  ExportParam(params, "/CreationDate", data, "creation");
  ExportParam(params, "/ModDate", data, "modification");
  ExportParam(params, "/CheckSum", data, "checksum");
  host::XmlSetText(data, KW_EncodeTaggedText(bytes.str()).c_str());
  return true;
}

namespace {

bool SameWord(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && !b[i];
}

// Hexadecimal file data: pairs of digits in either case, white space
// anywhere between them; an odd digit count or any other character fails.
bool DecodeHexData(std::string_view text, std::string* bytes) {
  std::string out;
  out.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f') continue;
    else return false;
    if (high < 0) {
      high = d;
    } else {
      out += static_cast<char>(high * 16 + d);
      high = -1;
    }
  }
  if (high >= 0) return false;
  *bytes = std::move(out);
  return true;
}

// A parameter of the carried file: on the data element, or, as some
// writers put it, on the annotation's element.
bool FileParam(KX_Element element, KX_Element data, const char* name, std::string* value) {
  return xfdf::GetAttr(data, name, value) || xfdf::GetAttr(element, name, value);
}

}  // namespace

CKW_FileAttachmentAnnotImpl::Carried CKW_FileAttachmentAnnotImpl::CarriedFile(KX_Element element,
                                                                             std::string* bytes, size_t* size) {
  bytes->clear();
  *size = 0;
  KX_Element data = xfdf::FirstChild(element, "data");
  if (!data || !g_xfdfFileLimit) return Carried::kNone;
  // The data text is read as its "encoding" says: "hex", or base64 for
  // "ascii" (and when there is none). Decoded even when large: what a
  // message says of its size is exact.
  std::string encoding;
  xfdf::GetAttr(data, "encoding", &encoding);
  if (SameWord(encoding, "hex")) {
    if (!DecodeHexData(xfdf::ElementText(data), bytes)) return Carried::kNotHex;
  } else if (encoding.empty() || SameWord(encoding, "ascii") || SameWord(encoding, "base64")) {
    if (!KW_DecodeTaggedText(xfdf::ElementText(data), bytes)) return Carried::kNotBase64;
  } else {
    return Carried::kUnknownEncoding;
  }
  *size = bytes->size();
  if (bytes->size() <= g_xfdfFileLimit) return Carried::kFile;
  bytes->clear();
  return Carried::kTooLarge;
}

bool CKW_FileAttachmentAnnotImpl::ImportFromXFDF(KX_Element element) {
  if (!CKW_MarkupAnnotImpl::ImportFromXFDF(element)) return false;
  KPD_Document doc = GetDocument();
  std::string name;
  if (!doc || !xfdf::GetAttr(element, "file", &name) || name.empty()) return true;
  std::string bytes, value;
  size_t size = 0;
  const bool carried = CarriedFile(element, &bytes, &size) == Carried::kFile;
  // Without a file of its own the element changes no file: an export made
  // without the files, brought back, must not take them away.
  if (!carried && dict::GetDict(GetDict(), "/FS")) return true;
  Owned fs(host::DictNew());
  if (!fs) return true;
  dict::SetName(fs.get(), "/Type", "Filespec");
  dict::SetText(fs.get(), "/F", dict::FromUtf8(name));
  dict::SetText(fs.get(), "/UF", dict::FromUtf8(name));
  KX_Element data = xfdf::FirstChild(element, "data");
  if (carried) {
    // RAW data is the stored bytes, still encoded with its "filter"; other
    // data is the file itself, which saving compresses.
    std::string mode, filter;
    const bool raw = xfdf::GetAttr(data, "MODE", &mode) && SameWord(mode, "RAW") &&
                     xfdf::GetAttr(data, "filter", &filter) && !filter.empty();
    KPD_Stream file = host::DocNewStream(doc, bytes.data(), bytes.size());
    KPD_Dictionary sd = file ? host::StreamGetDict(file) : nullptr;
    if (sd && raw) {
      dict::SetName(sd, "/Filter", filter);
      host::ByteString decoded;
      if (!host::StreamGetData(file, 1, decoded.get())) {
        // A filter the bytes do not decode with: the file goes in as it came.
        host::DictRemove(sd, "/Filter");
      } else {
        bytes = decoded.str();
      }
    }
    if (sd) {
      dict::SetName(sd, "/Type", "EmbeddedFile");
      if (FileParam(element, data, "mimetype", &value) && !value.empty()) dict::SetName(sd, "/Subtype", value);
      Owned params(host::DictNew());
      dict::SetInteger(params.get(), "/Size", int64_t(bytes.size()));
      if (FileParam(element, data, "creation", &value))
        dict::SetText(params.get(), "/CreationDate", dict::FromUtf8(value));
      if (FileParam(element, data, "modification", &value))
        dict::SetText(params.get(), "/ModDate", dict::FromUtf8(value));
      std::string checksum;
      if (FileParam(element, data, "checksum", &value) && ParseChecksum(value, &checksum))
        dict::SetOwned(params.get(), "/CheckSum", host::StringNew(checksum.data(), checksum.size()));
      host::DictSet(sd, "/Params", params.get());
      Owned ef(host::DictNew());
      host::DictSet(ef.get(), "/F", file);
      host::DictSet(fs.get(), "/EF", ef.get());
    }
  }
  WriteKey("/FS", fs.get());
  return true;
}

#define KW_MEASURE_IMPL_BODIES(Name, Base)                                        \
  bool Name::ImportFromXFDF(KX_Element element) {                                 \
    if (!Base::ImportFromXFDF(element)) return false;                             \
    ImportMeasureAttributes(*this, element);                                      \
    return true;                                                                  \
  }                                                                               \
  bool Name::ExportToXFDF(KX_Element element) {                                   \
    if (!Base::ExportToXFDF(element)) return false;                               \
    ExportMeasureAttributes(GetDict(), element);                                  \
    return true;                                                                  \
  }
KW_MEASURE_IMPL_BODIES(CKW_MeasureLineImpl, CKW_LineImpl)
KW_MEASURE_IMPL_BODIES(CKW_MeasureCircleImpl, CKW_CircleImpl)
KW_MEASURE_IMPL_BODIES(CKW_MeasurePolygonImpl, CKW_PolygonImpl)
KW_MEASURE_IMPL_BODIES(CKW_MeasurePolygonRadiusImpl, CKW_PolygonImpl)
KW_MEASURE_IMPL_BODIES(CKW_MeasurePolyLineImpl, CKW_PolyLineImpl)
KW_MEASURE_IMPL_BODIES(CKW_MeasurePolyLineAngleImpl, CKW_PolyLineImpl)
#undef KW_MEASURE_IMPL_BODIES

}  // namespace kwannotation
