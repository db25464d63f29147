#include "kwannotation/kw_xfdf_link.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_xfdf_util.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

// The destination kinds and the attributes each names after its page, in
// the order the PDF array holds them.
struct DestKind {
  const char* name;
  std::vector<const char*> attrs;
};

const DestKind kDestKinds[] = {
    {"XYZ", {"Left", "Top", "Zoom"}},
    {"Fit", {}},
    {"FitH", {"Top"}},
    {"FitV", {"Left"}},
    {"FitR", {"Left", "Bottom", "Right", "Top"}},
    {"FitB", {}},
    {"FitBH", {"Top"}},
    {"FitBV", {"Left"}},
};

const DestKind* FindKind(const std::string& name) {
  for (const DestKind& k : kDestKinds)
    if (name == k.name) return &k;
  return nullptr;
}

int32_t PageIndexOf(KPD_Document doc, KPD_Object page) {
  if (!doc || !page) return -1;
  const int32_t count = host::DocPageCount(doc);
  for (int32_t i = 0; i < count; ++i)
    if (host::ObjectIsIdentical(host::DocGetPage(doc, i), page)) return i;
  return -1;
}

std::string BytesOf(KPD_Object str) {
  host::ByteString out;
  return str && host::ObjectGetType(str) == KPD_OBJ_STRING && host::StringGetBytes(str, out.get()) ? out.str()
                                                                                                  : std::string();
}

std::string NameOf(KPD_Object name) {
  host::ByteString out;
  if (!name || !host::NameGet(name, out.get())) return {};
  std::string s = out.str();
  return s.empty() || s[0] != '/' ? s : s.substr(1);
}

// A destination as a "Dest" child: a named one as <Named Name=...>, an
// explicit one as <XYZ Page=... Left=... .../>. Nothing for a page that is
// not in the document.
void ExportDest(KPD_Document doc, KPD_Object dest, KX_Element parent) {
  const int32_t type = dest ? host::ObjectGetType(dest) : KPD_OBJ_NULL;
  if (type == KPD_OBJ_STRING || type == KPD_OBJ_NAME) {
    const std::string name = type == KPD_OBJ_STRING ? BytesOf(dest) : NameOf(dest);
    KX_Element named = host::XmlAppendChild(host::XmlAppendChild(parent, "Dest"), "Named");
    xfdf::SetAttr(named, "Name", name);
    return;
  }
  if (type != KPD_OBJ_ARRAY || host::ArrayCount(dest) < 2) return;
  const int32_t page = PageIndexOf(doc, host::ArrayGet(dest, 0));
  const DestKind* kind = FindKind(NameOf(host::ArrayGet(dest, 1)));
  if (page < 0 || !kind) return;
  KX_Element e = host::XmlAppendChild(host::XmlAppendChild(parent, "Dest"), kind->name);
  xfdf::SetAttr(e, "Page", std::to_string(page));
  for (size_t i = 0; i < kind->attrs.size(); ++i) {
    KPD_Object v = host::ArrayGet(dest, int32_t(i + 2));
    // A null (keep the current value) is left out.
    if (v && host::ObjectGetType(v) == KPD_OBJ_NUMBER)
      xfdf::SetAttr(e, kind->attrs[i], xfdf::FormatCompact(float(host::ObjectGetNumber(v))));
  }
}

// The destination a "Dest" element names, as a new object; null when it
// names none this document has.
KPD_Object ImportDest(KPD_Document doc, KX_Element destElement) {
  KX_Element e = xfdf::FirstChild(destElement, nullptr);
  if (!e) return nullptr;
  const std::string kindName = xfdf::ElementName(e);
  std::string value;
  if (kindName == "Named") {
    if (!xfdf::GetAttr(e, "Name", &value)) return nullptr;
    return host::StringNew(value.data(), value.size());
  }
  const DestKind* kind = FindKind(kindName);
  int32_t page = -1;
  float number = 0;
  if (!kind || !xfdf::GetAttr(e, "Page", &value) || !xfdf::ParseFloat(value, &number)) return nullptr;
  page = int32_t(number);
  if (page < 0 || float(page) != number || page >= host::DocPageCount(doc)) return nullptr;
  KPD_Array array = host::ArrayNew();
  host::ArrayAppend(array, host::DocGetPage(doc, page));
  dict::AppendOwned(array, host::NameNew((std::string("/") + kind->name).c_str()));
  for (const char* attr : kind->attrs) {
    if (xfdf::GetAttr(e, attr, &value) && xfdf::ParseFloat(value, &number))
      dict::AppendOwned(array, host::NumberNew(number));
    else
      dict::AppendOwned(array, host::NullNew());
  }
  return array;
}

}  // namespace

void KW_ExportLinkToXFDF(KPD_Document doc, KPD_Dictionary link, KX_Element element) {
  if (!link || !element) return;
  // The border: links draw none unless they say so.
  KwBorderInfo border;
  if (KW_ReadBorderInfo(link, &border)) xfdf::WriteBorderAttributes(element, border, false);
  static const char* const kHighlight[][2] = {{"N", "None"}, {"I", "Invert"}, {"O", "Outline"}, {"P", "Push"}};
  const std::string h = dict::GetName(link, "/H");
  for (const auto& pair : kHighlight)
    if (h == pair[0]) xfdf::SetAttr(element, "Highlight", pair[1]);

  if (KPD_Dictionary action = dict::GetDict(link, "/A")) {
    const std::string s = dict::GetName(action, "/S");
    KX_Element a = nullptr;
    auto actionElement = [&]() {
      if (!a) a = host::XmlAppendChild(host::XmlAppendChild(element, "OnActivation"), "Action");
      return a;
    };
    if (s == "URI") {
      KX_Element uri = host::XmlAppendChild(actionElement(), "URI");
      xfdf::SetAttr(uri, "Name", BytesOf(host::DictGet(action, "/URI")));
    } else if (s == "GoTo") {
      ExportDest(doc, host::DictGet(action, "/D"), host::XmlAppendChild(actionElement(), "GoTo"));
    } else if (s == "Named") {
      KX_Element named = host::XmlAppendChild(actionElement(), "Named");
      xfdf::SetAttr(named, "Name", NameOf(host::DictGet(action, "/N")));
    }
  } else if (KPD_Object dest = host::DictGet(link, "/Dest")) {
    ExportDest(doc, dest, element);
  }
}

void KW_ImportLinkFromXFDF(KPD_Document doc, CKW_AnnotImpl& link, KX_Element element) {
  if (!element) return;
  std::string value;
  // Border attributes change only what they name.
  KwBorderInfo border;
  link.GetBorderInfo(&border);
  if (xfdf::ReadBorderAttributes(element, &border)) link.SetBorderInfo(border);

  static const char* const kHighlight[][2] = {{"None", "N"}, {"Invert", "I"}, {"Outline", "O"}, {"Push", "P"}};
  if (xfdf::GetAttr(element, "Highlight", &value))
    for (const auto& pair : kHighlight)
      if (value == pair[0]) CKW_AnnotWriter(link).SetName("/H", pair[1]);

  if (KX_Element action = xfdf::FirstChild(xfdf::FirstChild(element, "OnActivation"), "Action")) {
    KX_Element what = xfdf::FirstChild(action, nullptr);
    const std::string kind = xfdf::ElementName(what);
    dict::Owned a(host::DictNew());
    bool made = false;
    if (kind == "URI" && xfdf::GetAttr(what, "Name", &value)) {
      dict::SetName(a.get(), "/S", "URI");
      dict::SetOwned(a.get(), "/URI", host::StringNew(value.data(), value.size()));
      made = true;
    } else if (kind == "GoTo") {
      if (KPD_Object dest = ImportDest(doc, xfdf::FirstChild(what, "Dest"))) {
        dict::SetName(a.get(), "/S", "GoTo");
        dict::SetOwned(a.get(), "/D", dest);
        made = true;
      }
    } else if (kind == "Named" && xfdf::GetAttr(what, "Name", &value) && !value.empty()) {
      dict::SetName(a.get(), "/S", "Named");
      dict::SetName(a.get(), "/N", value);
      made = true;
    }
    if (made) {
      dict::SetName(a.get(), "/Type", "Action");
      CKW_AnnotWriter w(link);
      w.Remove("/Dest");
      w.Set("/A", a.get());
    }
  } else if (KX_Element dest = xfdf::FirstChild(element, "Dest")) {
    if (KPD_Object made = ImportDest(doc, dest)) {
      CKW_AnnotWriter w(link);
      w.Remove("/A");
      w.SetOwned("/Dest", made);
    }
  }
}

}  // namespace kwannotation
