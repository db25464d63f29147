#include "kwannotation/kw_xfdf_redact.h"

#include <string>
#include <vector>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_tagged_appearance.h"
#include "kwannotation/kw_xfdf_util.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

const char* const kJustification[] = {"left", "centered", "right"};

}  // namespace

void KW_ExportRedactToXFDF(KPD_Dictionary d, KX_Element element) {
  if (!d || !element) return;
  std::vector<float> quads;
  if (dict::GetNumbers(d, "/QuadPoints", &quads) && !quads.empty() && quads.size() % 8 == 0) {
    std::string coords;
    for (float v : quads) {
      if (!coords.empty()) coords += ',';
      coords += xfdf::FormatCompact(v);
    }
    xfdf::SetAttr(element, "coords", coords);
  }
  if (std::optional<std::u16string> overlay = dict::GetText(d, "/OverlayText"))
    xfdf::SetAttr(element, "overlay-text", dict::ToUtf8(*overlay));
  bool repeat = false;
  if (dict::GetBool(d, "/Repeat", &repeat)) xfdf::SetAttr(element, "repeat", repeat ? "yes" : "no");
  double q = 0;
  if (dict::GetNumber(d, "/Q", &q) && q >= 0 && q <= 2) xfdf::SetAttr(element, "justification", kJustification[int(q)]);
  host::ByteString da;
  KPD_Object daObject = host::DictGet(d, "/DA");
  if (daObject && host::ObjectGetType(daObject) == KPD_OBJ_STRING && host::StringGetBytes(daObject, da.get())) {
    KX_Element node = host::XmlAppendChild(element, "defaultappearance");
    if (node) host::XmlSetText(node, dict::ToUtf8(dict::FromUtf8(da.str())).c_str());
  }
  KPD_Object ro = host::DictGet(d, "/RO");
  if (ro && host::ObjectGetType(ro) == KPD_OBJ_STREAM) {
    // The overlay form travels as an appearance dictionary holding it as /N.
    dict::Owned holder(host::DictNew());
    host::DictSet(holder.get(), "/N", ro);
    const std::string text = KW_WriteTaggedAppearance(holder.get());
    KX_Element node = text.empty() ? nullptr : host::XmlAppendChild(element, "overlay-appearance");
    if (node) host::XmlSetText(node, KW_EncodeTaggedText(text).c_str());
  }
}

void KW_ImportRedactFromXFDF(KPD_Document doc, CKW_AnnotImpl& redact, KX_Element element) {
  if (!element) return;
  CKW_AnnotWriter w(redact);
  std::string value;
  std::vector<float> quads;
  if (xfdf::GetAttr(element, "coords", &value) && xfdf::ParseFloatList(value, &quads) && !quads.empty() &&
      quads.size() % 8 == 0)
    w.SetNumbers("/QuadPoints", quads.data(), quads.size());
  if (xfdf::GetAttr(element, "overlay-text", &value)) {
    dict::Owned text(host::DictNew());
    if (dict::SetText(text.get(), "/T", dict::FromUtf8(value))) w.Set("/OverlayText", host::DictGet(text.get(), "/T"));
  }
  if (xfdf::GetAttr(element, "repeat", &value)) w.SetBool("/Repeat", value == "yes" || value == "true");
  if (xfdf::GetAttr(element, "justification", &value))
    for (int i = 0; i < 3; ++i)
      if (value == kJustification[i]) w.SetInteger("/Q", i);
  if (KX_Element da = xfdf::FirstChild(element, "defaultappearance")) {
    const std::string text = xfdf::ElementText(da);
    w.SetOwned("/DA", host::StringNew(text.data(), text.size()));
  }
  if (KX_Element overlay = xfdf::FirstChild(element, "overlay-appearance")) {
    std::string text, reason;
    if (doc && KW_DecodeTaggedText(xfdf::ElementText(overlay), &text)) {
      dict::Owned holder(KW_ReadTaggedAppearance(doc, text, &reason));
      KPD_Object ro = holder ? host::DictGet(holder.get(), "/N") : nullptr;
      if (ro && host::ObjectGetType(ro) == KPD_OBJ_STREAM) w.Set("/RO", ro);
    }
  }
}

}  // namespace kwannotation
