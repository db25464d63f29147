#include "comment/ccm_style_handler.h"

#include "comment/ccm_tool_table.h"

#include <cmath>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_default_appearance.h"
#include "kwannotation/kw_icon_appearance.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_rich_text.h"
#include "plugin/annot_identity.h"
#include "plugin/annot_undo.h"
#include "plugin/host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"

namespace AnnotationComment {

namespace Host = ::ks::host;
using kwannotation::CKW_Annot;
using kwannotation::CKW_MarkupAnnot;

namespace {

constexpr uint32_t Bit(int code) { return 1u << code; }

// What every comment kind offers: its opacity, subject and text.
constexpr uint32_t kCommon = Bit(KS_PROP_OPACITY) | Bit(KS_PROP_SUBJECT) | Bit(KS_PROP_CONTENTS);
constexpr uint32_t kStroked = kCommon | Bit(KS_PROP_COLOR) | Bit(KS_PROP_WIDTH);

struct KindRow {
  const char* subtype;
  uint32_t properties;
};

// The comment kinds no plug-in handler owns. An ink's strokes are never
// dashed, the icons, stamps and text markup have neither a border nor a
// fill, and a stamp's colour is offered only while it is the standard stamp
// the library draws (a picture made elsewhere keeps its own colours).
const KindRow kKinds[] = {
    {"Square", kStroked | Bit(KS_PROP_FILL) | Bit(KS_PROP_DASH)},
    {"FreeText", kStroked | Bit(KS_PROP_FILL) | Bit(KS_PROP_DASH) | Bit(KS_PROP_FONT_SIZE) | Bit(KS_PROP_FONT_COLOR)},
    {"Ink", kStroked},
    {"Text", kCommon | Bit(KS_PROP_COLOR)},
    {"Highlight", kCommon | Bit(KS_PROP_COLOR)},
    {"Underline", kCommon | Bit(KS_PROP_COLOR)},
    {"StrikeOut", kCommon | Bit(KS_PROP_COLOR)},
    {"Squiggly", kCommon | Bit(KS_PROP_COLOR)},
    {"Caret", kCommon | Bit(KS_PROP_COLOR)},
    {"FileAttachment", kCommon | Bit(KS_PROP_COLOR)},
    {"Stamp", kCommon | Bit(KS_PROP_COLOR)},
};

// The model's wrapper of a host annotation, through its page's list.
std::shared_ptr<CKW_Annot> ModelOf(KA_Annot annot) {
  KA_Document doc = annot ? Host::AnnotGetDocument(annot) : nullptr;
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  const int32_t page = annot ? Host::AnnotGetPageIndex(annot) : -1;
  KPD_Dictionary dict = annot ? Host::AnnotGetDict(annot) : nullptr;
  if (!pdf || page < 0 || !dict) return nullptr;
  auto list = kwannotation::CKW_PageAnnotList::Create(pdf, page);
  return list ? list->GetAnnot(dict) : nullptr;
}

KPD_ColorF Rgb(const float rgb[3]) { return KPD_ColorF{KPD_COLOR_RGB, {rgb[0], rgb[1], rgb[2], 0}}; }

void PutColor(const KPD_ColorF& color, KS_AnnotPropertyValue* value) {
  const KPD_ColorF rgb = kwannotation::ColorToRGB(color);
  value->none = rgb.kind == KPD_COLOR_NONE;
  for (int i = 0; i < 3; ++i) value->rgb[i] = value->none ? 0 : rgb.c[i];
}

bool IsFreeText(const CKW_Annot& an) { return an.GetSubtype() == "FreeText"; }

// The kinds drawn as a picture in a colour of their own where /C has none.
bool IsIcon(const CKW_Annot& an) {
  const std::string subtype = an.GetSubtype();
  return subtype == "Text" || subtype == "FileAttachment" || subtype == "Stamp";
}

kwannotation::CKW_MarkupAnnotImpl* MarkupImplOf(const CKW_Annot& an) {
  return dynamic_cast<kwannotation::CKW_MarkupAnnotImpl*>(an.GetImpl().get());
}

// A text box's letters: the /DA font and colour, with /DS over them, as
// the text's appearance takes them.
struct TextStyle {
  float size = 12;
  KPD_ColorF color{KPD_COLOR_RGB, {0, 0, 0, 0}};
};
TextStyle TextStyleOf(const CKW_Annot& an) {
  TextStyle style;
  std::string daText;
  an.GetDefaultAppearance(&daText);
  const kwannotation::DefaultAppearanceInfo da = kwannotation::CDA_DefaultAppearance(daText).GetInfo();
  if ((da.flags & kwannotation::kDA_Font) && std::isfinite(da.fontSize) && da.fontSize > 0) style.size = da.fontSize;
  if (da.flags & kwannotation::kDA_FillColor) style.color = kwannotation::ColorToRGB(da.fillColor);
  std::u16string dsText;
  if (an.GetDefaultStyle(&dsText) && !dsText.empty()) {
    const kwannotation::CDS_DefaultAppearance ds(dsText);
    kwannotation::DefaultStyleFont font;
    if (ds.GetFont(&font) && font.size > 0) style.size = font.size;
    ds.GetColor(&style.color);
  }
  return style;
}

// The letters' size or colour in /DA and, where the box has one, in /DS.
bool SetTextStyle(CKW_Annot& an, const float* size, const KPD_ColorF* color) {
  std::string daText;
  an.GetDefaultAppearance(&daText);
  kwannotation::CDA_DefaultAppearance da(daText);
  if (size) {
    std::string font;
    float old = 0;
    if (!da.GetFont(&font, &old) || font.empty()) font = "Helv";
    da.SetFont(font, *size);
  }
  if (color) da.SetFillColor(*color);
  if (!an.SetDefaultAppearance(da.GetText())) return false;
  std::u16string dsText;
  if (!an.GetDefaultStyle(&dsText) || dsText.empty()) return true;
  kwannotation::CDS_DefaultAppearance ds(dsText);
  if (size) {
    kwannotation::DefaultStyleFont font;
    if (ds.GetFont(&font)) {
      font.size = *size;
      ds.SetFont(font);
    }
    if (!ds.GetValue(u"font-size").empty()) {
      const std::string pt = ks::FormatFixed(*size, 2) + "pt";
      ds.SetValue(u"font-size", std::u16string(pt.begin(), pt.end()));
    }
  }
  if (color) ds.SetColor(*color);
  return an.SetDefaultStyle(ds.GetText());
}

bool SetBorder(CKW_Annot& an, int32_t property, float number) {
  if (!std::isfinite(number) || number < 0 || number > 100) return false;
  kwannotation::KwBorderInfo border;
  an.GetImpl()->GetBorderInfo(&border);
  if (property == KS_PROP_WIDTH) {
    border.width = number;
  } else if (number == 0) {
    border.style = kwannotation::KW_BORDER_SOLID;
    border.dashes.clear();
  } else {
    border.style = kwannotation::KW_BORDER_DASH;
    border.dashes = {number, number};
  }
  return an.GetImpl()->SetBorderInfo(border);
}

// Writes the value; true when the setter took it (also when it is the
// value the annotation has already).
bool Write(CKW_Annot& an, const KS_AnnotPropertyValue& value) {
  auto* markup = dynamic_cast<CKW_MarkupAnnot*>(&an);
  const std::u16string text = value.text ? std::u16string(value.text) : std::u16string();
  const KPD_ColorF rgb = Rgb(value.rgb);
  const bool freeText = IsFreeText(an);
  kwannotation::CKW_AnnotWriter writer(*an.GetImpl());
  switch (value.property) {
    case KS_PROP_COLOR: {
      if (value.none) return false;
      if (an.GetSubtype() == "Stamp") return markup && kwannotation::KW_SetStampColor(*markup->Markup(), rgb);
      if (!freeText) return an.SetColor(rgb);
      // A text box's /C is its background; its border's colour is the
      // /DA stroke colour.
      std::string daText;
      an.GetDefaultAppearance(&daText);
      kwannotation::CDA_DefaultAppearance da(daText);
      da.SetStrokeColor(rgb);
      return an.SetDefaultAppearance(da.GetText());
    }
    case KS_PROP_FILL:
      if (freeText) return value.none ? writer.Remove("/C") : writer.SetNumbers("/C", rgb.c, 3);
      if (!markup) return false;
      return value.none ? writer.Remove("/IC") : markup->SetInteriorColor(rgb);
    case KS_PROP_WIDTH:
    case KS_PROP_DASH: return SetBorder(an, value.property, value.number);
    case KS_PROP_OPACITY:
      if (!std::isfinite(value.number) || value.number < 0 || value.number > 1) return false;
      return an.SetOpacity(value.number);
    case KS_PROP_SUBJECT: return markup && markup->SetSubject(text);
    // A text box's rich text (/RC) follows: the model's setter writes it
    // anew in the style of its first run.
    case KS_PROP_CONTENTS: return an.SetContents(text);
    case KS_PROP_FONT_SIZE:
      if (!std::isfinite(value.number) || value.number < 1 || value.number > 100) return false;
      return SetTextStyle(an, &value.number, nullptr);
    case KS_PROP_FONT_COLOR:
      if (value.none) return false;
      return SetTextStyle(an, nullptr, &rgb);
    default: return false;
  }
}

// The undo item of a changed style: the dictionary's changed keys and the
// appearance, as they were and as they became.
class CCM_UndoProperties final : public AnnotationPlugin::CAnnot_BaseUndo {
 public:
  CCM_UndoProperties(KA_Annot annot, std::unique_ptr<kwannotation::CKW_AnnotChange> change)
      : annot_(annot), change_(std::move(change)) {
    caption_ = CommentText(kUndoPropertiesKey);
  }
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

 private:
  void Apply(bool after) {
    if (!change_ || Host::AnnotGetPageIndex(annot_) < 0 || !change_->Apply(after)) return;
    if (KA_AnnotObject object = Host::AnnotGetObject(annot_)) Host::AnnotObjectAppearanceChanged(object);
  }
  KA_Annot annot_;
  std::unique_ptr<kwannotation::CKW_AnnotChange> change_;
};

// ---- the handler's record -----------------------------------------------------------

// The behaviour object of an annotation: every position empty, so that the
// editor draws, hits, moves and rebuilds it as it does without a handler.
// `cd` is the handle of the kind's handler (its record's client data).
KA_AnnotObject CreateObject(void* cd, KA_Annot annot, intptr_t value) {
  KS_AnnotObjectCallbacks record{};
  record.size = sizeof record;
  return Host::AnnotObjectNew(*static_cast<KA_AnnotHandler*>(cd), &record, annot, value);
}

int32_t GetProperty(void*, KA_AnnotObject obj, KS_AnnotPropertyValue* value) {
  return value && value->size >= sizeof(KS_AnnotPropertyValue) &&
         ReadCommentProperty(Host::AnnotObjectGetAnnot(obj), value);
}

int32_t SetProperty(void*, KA_AnnotObject obj, const KS_AnnotPropertyValue* value) {
  return value && value->size >= sizeof(KS_AnnotPropertyValue) &&
         SetCommentProperty(Host::AnnotObjectGetAnnot(obj), *value);
}

}  // namespace

// The client data of one kind's handler record.
struct CCM_StyleHandler::Kind {
  KA_AnnotHandler handle = nullptr;
};

uint32_t CommentKindProperties(const std::string& subtype) {
  for (const KindRow& row : kKinds)
    if (subtype == row.subtype) return row.properties;
  return 0;
}

bool ReadCommentProperty(KA_Annot annot, KS_AnnotPropertyValue* value) {
  std::shared_ptr<CKW_Annot> an = ModelOf(annot);
  if (!an || !value || value->property < 0 || value->property > 31 ||
      !(CommentKindProperties(an->GetSubtype()) & Bit(value->property)))
    return false;
  value->text = nullptr;
  const bool freeText = IsFreeText(*an);
  switch (value->property) {
    case KS_PROP_COLOR: {
      KPD_ColorF c{};
      if (freeText) {
        // The border's colour, the letters' where /DA names none.
        std::string daText;
        an->GetDefaultAppearance(&daText);
        const kwannotation::DefaultAppearanceInfo da = kwannotation::CDA_DefaultAppearance(daText).GetInfo();
        c = (da.flags & kwannotation::kDA_StrokeColor) ? da.strokeColor : TextStyleOf(*an).color;
      } else if (auto* impl = MarkupImplOf(*an); impl && IsIcon(*an)) {
        // Drawn in the icon's or stamp's own colour where /C names none.
        if (an->GetSubtype() == "Stamp") {
          if (!kwannotation::KW_StampPictureIsStandard(*impl)) return false;
          c = kwannotation::KW_StampColor(*impl);
        } else {
          c = kwannotation::KW_IconFillColor(*impl);
        }
      } else {
        an->GetColor(&c);
      }
      PutColor(c, value);
      return true;
    }
    case KS_PROP_FILL: {
      KPD_ColorF c{};
      if (freeText)
        an->GetColor(&c);
      else if (auto* markup = dynamic_cast<CKW_MarkupAnnot*>(an.get()))
        markup->GetInteriorColor(&c);
      PutColor(c, value);
      return true;
    }
    case KS_PROP_WIDTH:
    case KS_PROP_DASH: {
      kwannotation::KwBorderInfo border;
      an->GetImpl()->GetBorderInfo(&border);
      if (value->property == KS_PROP_WIDTH)
        value->number = border.width;
      else
        value->number = border.style == kwannotation::KW_BORDER_DASH ? (border.dashes.empty() ? 3 : border.dashes[0]) : 0;
      return true;
    }
    case KS_PROP_OPACITY: value->number = an->GetOpacity(); return true;
    case KS_PROP_FONT_SIZE: value->number = TextStyleOf(*an).size; return true;
    case KS_PROP_FONT_COLOR: PutColor(TextStyleOf(*an).color, value); return true;
    case KS_PROP_CONTENTS: {
      // The words the annotation shows: /Contents, else the plain text of
      // its rich text (some programs write a text box's words only there).
      // The text lives until the next read on this thread.
      thread_local std::u16string shown;
      shown.clear();
      std::u16string rc;
      if ((!an->GetContents(&shown) || shown.empty()) && an->GetRichContents(&rc) && !rc.empty())
        if (auto xml = kwannotation::CKW_RichTextXML::Parse(rc)) shown = xml->GetPlainText();
      value->text = shown.c_str();
      return true;
    }
    default: return true;
  }
}

bool SetCommentProperty(KA_Annot annot, const KS_AnnotPropertyValue& value) {
  KA_Document doc = annot ? Host::AnnotGetDocument(annot) : nullptr;
  std::shared_ptr<CKW_Annot> an = ModelOf(annot);
  if (!doc || !an || Host::AppDocIsReadOnly(doc) || value.property < 0 || value.property > 31 ||
      !(CommentKindProperties(an->GetSubtype()) & Bit(value.property)))
    return false;
  KPD_Dictionary dict = an->GetDict();
  // An ink's strokes can be hundreds of thousands of numbers; a style
  // change never touches them, so they are kept by identity, not copied.
  auto change = std::make_unique<kwannotation::CKW_AnnotChange>(dict, std::vector<std::string>{"/InkList"});
  {
    // A setter answers true for the value the annotation has already;
    // only a real change is drawn and recorded.
    kwannotation::CKW_AnnotChange probe(dict, std::vector<std::string>{"/InkList"});
    const bool written = Write(*an, value);
    const bool changed = probe.Finish();
    if (!written || !changed) {
      if (changed) probe.Apply(false);
      return false;
    }
  }
  an->SetModifiedDate(ks::ToUtf16(AnnotationPlugin::PdfDateNow()));
  an->ResetAppearance();
  if (!change->Finish()) return false;
  const int32_t page = Host::AnnotGetPageIndex(annot);
  AnnotationPlugin::AnnotUndo_HandOver(std::make_unique<CCM_UndoProperties>(annot, std::move(change)), doc);
  if (KA_AnnotObject object = Host::AnnotGetObject(annot)) Host::AnnotObjectAppearanceChanged(object);
  Host::AppDocInvalidateRect(doc, page, nullptr);
  return true;
}

CCM_StyleHandler::CCM_StyleHandler() {
  for (const KindRow& row : kKinds) {
    auto kind = std::make_unique<Kind>();
    KS_AnnotHandlerCallbacks record{};
    record.size = sizeof record;
    record.clientData = &kind->handle;
    KS_RECORD_POSITION(record, KS_AH_CREATE_OBJECT) = reinterpret_cast<void*>(&CreateObject);
    KS_RECORD_POSITION(record, KS_AH_GET_PROPERTY) = reinterpret_cast<void*>(&GetProperty);
    KS_RECORD_POSITION(record, KS_AH_SET_PROPERTY) = reinterpret_cast<void*>(&SetProperty);
    // A kind the plug-in registered first stays the plug-in's.
    kind->handle = Host::AnnotHandlerRegister(row.subtype, &record);
    if (!kind->handle) continue;
    types_.push_back(row.subtype);
    kinds_.push_back(std::move(kind));
  }
}

CCM_StyleHandler::~CCM_StyleHandler() {
  for (const auto& kind : kinds_) Host::AnnotHandlerUnregister(kind->handle);
}

}  // namespace AnnotationComment
