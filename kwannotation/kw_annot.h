// The wrapper tree of the annotation model: what callers hold. A wrapper is
// handed out as a shared pointer and holds one shared pointer to its
// implementation; apart from ResetAppearance and GetRotation every
// operation is a plain forwarder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kwannotation/kw_annot_impl.h"

namespace kwannotation {

class CKW_PageAnnotListImpl;
using KW_ListPtr = std::shared_ptr<CKW_PageAnnotListImpl>;

class CKW_Annot {
 public:
  CKW_Annot(const CKW_Annot&) = delete;
  CKW_Annot& operator=(const CKW_Annot&) = delete;
  virtual ~CKW_Annot();
  virtual bool ResetAppearance();
  // The integer rotation of the kinds that keep one; false when absent.
  virtual bool GetRotation(int32_t* degrees) const;

  const std::shared_ptr<CKW_AnnotImpl>& GetImpl() const { return impl_; }
  KPD_Annot GetAnnot() const { return impl_->GetAnnot(); }
  KPD_Dictionary GetDict() const { return impl_->GetDict(); }
  int32_t GetSubtypeCode() const { return impl_->GetSubtypeCode(); }
  std::string GetSubtype() const { return impl_->GetSubtype(); }
  std::string GetIntent() const { return impl_->GetIntent(); }
  int32_t GetPageIndex() const { return impl_->GetPageIndex(); }

  bool GetRect(KS_FloatRect* rect) const { return impl_->GetRect(rect); }
  bool SetRect(const KS_FloatRect& rect) { return impl_->SetRect(rect); }
  bool GetColor(KPD_ColorF* color) const { return impl_->GetColor(color); }
  bool SetColor(const KPD_ColorF& color) { return impl_->SetColor(color); }
  bool GetBorderColor(KPD_ColorF* color) const { return impl_->GetBorderColor(color); }
  bool SetBorderColor(const KPD_ColorF& color) { return impl_->SetBorderColor(color); }
  bool GetBorderWidth(float* width) const { return impl_->GetBorderWidth(width); }
  bool SetBorderWidth(double width) { return impl_->SetBorderWidth(width); }
  bool SetBorderStyle(int32_t style) { return impl_->SetBorderStyle(style); }
  bool GetOpacityState() const { return impl_->GetOpacityState(); }
  bool ResetAppearanceAndState() { return impl_->ResetAppearanceAndState(); }
  KPD_Dictionary GetAPFontDict(bool create) { return impl_->GetAPFontDict(create); }
  bool ImportFromXFDF(KX_Element element) { return impl_->ImportFromXFDF(element); }
  bool ExportToXFDF(KX_Element element) { return impl_->ExportToXFDF(element); }

  bool GetContents(std::u16string* text) const { return impl_->GetContents(text); }
  bool SetContents(const std::u16string& text) { return impl_->SetContents(text); }
  bool GetRichContents(std::u16string* xhtml) const { return impl_->GetRichContents(xhtml); }
  bool SetRichContents(const std::u16string& xhtml) { return impl_->SetRichContents(xhtml); }
  bool GetDefaultStyle(std::u16string* ds) const { return impl_->GetDefaultStyle(ds); }
  bool SetDefaultStyle(const std::u16string& ds) { return impl_->SetDefaultStyle(ds); }
  bool GetDefaultAppearance(std::string* da) const { return impl_->GetDefaultAppearance(da); }
  bool SetDefaultAppearance(const std::string& da) { return impl_->SetDefaultAppearance(da); }
  bool GetName(std::u16string* name) const { return impl_->GetName(name); }
  bool SetName(const std::u16string& name) { return impl_->SetName(name); }
  bool GetModifiedDate(std::u16string* date) const { return impl_->GetModifiedDate(date); }
  bool SetModifiedDate(const std::u16string& date) { return impl_->SetModifiedDate(date); }
  bool GetFlags(uint32_t* flags) const { return impl_->GetFlags(flags); }
  bool SetFlags(uint32_t flags) { return impl_->SetFlags(flags); }
  float GetOpacity() const { return impl_->GetOpacity(); }
  bool SetOpacity(float opacity) { return impl_->SetOpacity(opacity); }
  bool GetRectDifferences(float insets[4]) const { return impl_->GetRectDifferences(insets); }
  bool SetRectDifferences(const float insets[4]) { return impl_->SetRectDifferences(insets); }
  bool GetRotate(int32_t* degrees) const { return impl_->GetRotate(degrees); }
  bool SetRotate(int32_t degrees) { return impl_->SetRotate(degrees); }
  bool SetRotation(int32_t degrees) { return impl_->SetRotation(degrees); }

 protected:
  explicit CKW_Annot(std::shared_ptr<CKW_AnnotImpl> impl) : impl_(std::move(impl)) {}

 private:
  std::shared_ptr<CKW_AnnotImpl> impl_;
};

class CKW_MarkupAnnot : public CKW_Annot {
 public:
  CKW_MarkupAnnotImpl* Markup() const { return static_cast<CKW_MarkupAnnotImpl*>(GetImpl().get()); }
  bool SetIntent(const std::string& intent) { return Markup()->SetIntent(intent); }
  std::vector<KS_FloatPoint> GetVertices() const { return Markup()->GetVertices(); }
  bool SetVertices(const std::vector<KS_FloatPoint>& points) { return Markup()->SetVertices(points); }
  bool GetTitle(std::u16string* title) const { return Markup()->GetTitle(title); }
  bool SetTitle(const std::u16string& title) { return Markup()->SetTitle(title); }
  bool GetSubject(std::u16string* subject) const { return Markup()->GetSubject(subject); }
  bool SetSubject(const std::u16string& subject) { return Markup()->SetSubject(subject); }
  bool GetCreationDate(std::u16string* date) const { return Markup()->GetCreationDate(date); }
  bool SetCreationDate(const std::u16string& date) { return Markup()->SetCreationDate(date); }
  KPD_Dictionary GetInReplyTo() const { return Markup()->GetInReplyTo(); }
  bool SetInReplyTo(KPD_Dictionary annot) { return Markup()->SetInReplyTo(annot); }
  std::string GetReplyType() const { return Markup()->GetReplyType(); }
  bool SetReplyType(const std::string& type) { return Markup()->SetReplyType(type); }
  bool GetState(std::u16string* state) const { return Markup()->GetState(state); }
  bool SetState(const std::u16string& state) { return Markup()->SetState(state); }
  bool GetStateModel(std::u16string* model) const { return Markup()->GetStateModel(model); }
  bool SetStateModel(const std::u16string& model) { return Markup()->SetStateModel(model); }
  KPD_Dictionary GetPopup() const { return Markup()->GetPopup(); }
  bool GetPopupOpen(bool* open) const { return Markup()->GetPopupOpen(open); }
  KPD_Dictionary SetPopup(const KS_FloatRect& rect, bool open) { return Markup()->SetPopup(rect, open); }
  bool GetInteriorColor(KPD_ColorF* color) const { return Markup()->GetInteriorColor(color); }
  bool SetInteriorColor(const KPD_ColorF& color) { return Markup()->SetInteriorColor(color); }

 protected:
  explicit CKW_MarkupAnnot(std::shared_ptr<CKW_MarkupAnnotImpl> impl) : CKW_Annot(std::move(impl)) {}
};

// Kinds that derive from the root directly.
#define KW_PLAIN_WRAPPER(Class, Impl)                                                  \
  class Class : public CKW_Annot {                                                     \
   public:                                                                             \
    Class(KPD_Annot annot, const KW_ListPtr& list);                                    \
    Impl* GetTypedImpl() const { return static_cast<Impl*>(GetImpl().get()); }         \
  };
KW_PLAIN_WRAPPER(CKW_UnknownAnnot, CKW_AnnotImpl)
KW_PLAIN_WRAPPER(CKW_LinkAnnot, CKW_LinkAnnotImpl)
KW_PLAIN_WRAPPER(CKW_MovieAnnot, CKW_MovieAnnotImpl)
KW_PLAIN_WRAPPER(CKW_ScreenAnnot, CKW_ScreenAnnotImpl)
KW_PLAIN_WRAPPER(CKW_PrinterMarkAnnot, CKW_PrinterMarkAnnotImpl)
KW_PLAIN_WRAPPER(CKW_TrapNetAnnot, CKW_TrapNetAnnotImpl)
KW_PLAIN_WRAPPER(CKW_WatermarkAnnot, CKW_WatermarkAnnotImpl)
KW_PLAIN_WRAPPER(CKW_3DAnnot, CKW_3dAnnotImpl)
KW_PLAIN_WRAPPER(CKW_PopupAnnot, CKW_PopupAnnotImpl)
#undef KW_PLAIN_WRAPPER

class CKW_Widget : public CKW_Annot {
 public:
  CKW_Widget(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;  // /Rotate
};

// Markup kinds without geometry of their own.
#define KW_MARKUP_WRAPPER(Class, Impl)                                                 \
  class Class : public CKW_MarkupAnnot {                                               \
   public:                                                                             \
    Class(KPD_Annot annot, const KW_ListPtr& list);                                    \
    Impl* GetTypedImpl() const { return static_cast<Impl*>(GetImpl().get()); }         \
  };
KW_MARKUP_WRAPPER(CKW_FreeText, CKW_FreeTextImpl)
KW_MARKUP_WRAPPER(CKW_StampAnnot, CKW_StampAnnotImpl)
KW_MARKUP_WRAPPER(CKW_CaretAnnot, CKW_CaretAnnotImpl)
KW_MARKUP_WRAPPER(CKW_FileAttachmentAnnot, CKW_FileAttachmentAnnotImpl)
KW_MARKUP_WRAPPER(CKW_SoundAnnot, CKW_SoundAnnotImpl)
KW_MARKUP_WRAPPER(CKW_Redact, CKW_RedactImpl)
KW_MARKUP_WRAPPER(CKW_ProjectionAnnot, CKW_ProjectionAnnotImpl)
#undef KW_MARKUP_WRAPPER

class CKW_NoteAnnot : public CKW_MarkupAnnot {
 public:
  CKW_NoteAnnot(KPD_Annot annot, const KW_ListPtr& list);
  // Forwards through a downcast to the note implementation.
  bool ResetAppearance() override;
  std::string GetIconName() const;
  bool SetIconName(const std::string& name);
};

class CKW_TextMarkupAnnot : public CKW_MarkupAnnot {
 public:
  // `subtypeCode` is one of Highlight, Underline, Squiggly, StrikeOut.
  CKW_TextMarkupAnnot(KPD_Annot annot, const KW_ListPtr& list, int32_t subtypeCode);
  bool GetQuadPoints(std::vector<float>* values) const;
  bool SetQuadPoints(const std::vector<float>& values);
};

class CKW_Square : public CKW_MarkupAnnot {
 public:
  CKW_Square(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;
};

class CKW_Circle : public CKW_MarkupAnnot {
 public:
  CKW_Circle(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;

 protected:
  explicit CKW_Circle(std::shared_ptr<CKW_CircleImpl> impl) : CKW_MarkupAnnot(std::move(impl)) {}
};

class CKW_Line : public CKW_MarkupAnnot {
 public:
  CKW_Line(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;
  bool GetLinePoints(KS_FloatPoint* start, KS_FloatPoint* end) const;
  bool SetLinePoints(const KS_FloatPoint& start, const KS_FloatPoint& end);
  bool GetLineEndings(int32_t* start, int32_t* end) const;
  bool SetLineEndings(int32_t start, int32_t end);
  bool GetLeader(KwLineLeader* out) const;
  bool SetLeader(const KwLineLeader& leader);
  bool GetCaptionOffset(float* along, float* across) const;
  bool SetCaptionOffset(float along, float across);
  bool RemoveCaptionOffset();

 protected:
  explicit CKW_Line(std::shared_ptr<CKW_LineImpl> impl) : CKW_MarkupAnnot(std::move(impl)) {}
};

class CKW_Polygon : public CKW_MarkupAnnot {
 public:
  CKW_Polygon(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;

 protected:
  explicit CKW_Polygon(std::shared_ptr<CKW_PolygonImpl> impl) : CKW_MarkupAnnot(std::move(impl)) {}
};

class CKW_PolyLine : public CKW_MarkupAnnot {
 public:
  CKW_PolyLine(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;
  bool GetLineEndings(int32_t* start, int32_t* end) const;
  bool SetLineEndings(int32_t start, int32_t end);

 protected:
  explicit CKW_PolyLine(std::shared_ptr<CKW_PolyLineImpl> impl) : CKW_MarkupAnnot(std::move(impl)) {}
};

class CKW_Ink : public CKW_MarkupAnnot {
 public:
  CKW_Ink(KPD_Annot annot, const KW_ListPtr& list);
  bool GetRotation(int32_t* degrees) const override;
  std::vector<std::vector<KS_FloatPoint>> GetInkList() const;
  bool SetInkList(const std::vector<std::vector<KS_FloatPoint>>& strokes);
};

// Measurement wrappers.
class CKW_MeasureLine : public CKW_Line {
 public:
  CKW_MeasureLine(KPD_Annot annot, const KW_ListPtr& list);
};

class CKW_MeasureCircle : public CKW_Circle {
 public:
  CKW_MeasureCircle(KPD_Annot annot, const KW_ListPtr& list);
};

class CKW_MeasurePolygon : public CKW_Polygon {
 public:
  CKW_MeasurePolygon(KPD_Annot annot, const KW_ListPtr& list);

 protected:
  explicit CKW_MeasurePolygon(std::shared_ptr<CKW_PolygonImpl> impl) : CKW_Polygon(std::move(impl)) {}
};

class CKW_MeasureVolume : public CKW_MeasurePolygon {
 public:
  CKW_MeasureVolume(KPD_Annot annot, const KW_ListPtr& list);
};

class CKW_MeasurePolygonRadius : public CKW_Polygon {
 public:
  CKW_MeasurePolygonRadius(KPD_Annot annot, const KW_ListPtr& list);
};

class CKW_MeasurePolyLine : public CKW_PolyLine {
 public:
  CKW_MeasurePolyLine(KPD_Annot annot, const KW_ListPtr& list);
};

class CKW_MeasurePolyLineAngle : public CKW_PolyLine {
 public:
  CKW_MeasurePolyLineAngle(KPD_Annot annot, const KW_ListPtr& list);
};

// The wrapper class for a subtype code and measure kind (the factory's
// switch). Empty for a code outside 0..27.
std::shared_ptr<CKW_Annot> KW_NewAnnotWrapper(int32_t subtypeCode, int32_t measureKind, KPD_Annot annot,
                                              const KW_ListPtr& list);

}  // namespace kwannotation
