// The editing objects of the four shapes: lines, polylines, polygons and
// circles. Each reads and writes its annotation through its own annotation
// object of the library and rebuilds the appearance through it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drawing/markup_annot_handler.h"
#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_page_annot_list.h"

namespace AnnotationPlugin {

class CDA_ShapeAnnot : public CMarkup_Annot {
 public:
  explicit CDA_ShapeAnnot(KA_Annot annot);

  std::string GetTypeName2() const override { return GetTypeName(); }
  // Rebuilds the appearance, then tells the host it changed.
  void Regenerate() override;
  void SetInteriorColor(KS_ColorRef color, bool none) override;
  bool GetInteriorColor(KS_ColorRef* color, bool* none) const override;
  bool GetOpacity(float* opacity) const override;
  bool SetOpacity(float opacity) override;
  int32_t GetShapeGroup() const override { return 99; }
  // Cached after the first request.
  std::u16string GetPrefSection() override;
  bool RefreshFromPrefs() override;
  // Colour and fill ("Color", "FillColor": Windows colour values, -1 for
  // none), "Thickness" (hundredths of a point), "BorderStyle" (0 solid to 4
  // underline), "LineStart" and "LineEnd", "Opacity" (percent), "Author"
  // and "Subject".
  bool WriteDefaultProperties() override;
  bool ReadDefaultProperties() override;
  // Colour, fill, border width and dashes, opacity, subject and a
  // measurement's label; line endings for the kinds that have them.
  bool SetProperty(const KS_AnnotPropertyValue& value) override;
  void PageChanged() override;
  // The wrapper the object keeps, made when it was first asked about.
  std::shared_ptr<kwannotation::CKW_Annot> GetModel() const override {
    return kw_ ? kw_ : CMarkup_Annot::GetModel();
  }

  KPD_Dictionary GetDict() const { return dict_; }
  const std::shared_ptr<kwannotation::CKW_Annot>& GetKwAnnot() const { return kw_; }

 protected:
  // The section of the kind for an intent that is no measurement (a
  // measurement takes its measuring tool's section).
  virtual std::u16string SectionForIntent(const std::string& intent) const = 0;
  kwannotation::CKW_MarkupAnnotImpl* Markup() const;

  KPD_Dictionary dict_ = nullptr;
  std::u16string section_;
  float opacity_ = 1.0f;
  bool textInLine_ = false;
  std::shared_ptr<kwannotation::CKW_PageAnnotList> list_;  // keeps the page's wrappers alive
  std::shared_ptr<kwannotation::CKW_Annot> kw_;
};

class CDA_Line : public CDA_ShapeAnnot {
 public:
  using CDA_ShapeAnnot::CDA_ShapeAnnot;
  std::string GetTypeName() const override { return "Line"; }
  // The end point with the larger x; the start point when both are equal.
  bool GetAnchor(KS_FloatPoint* out) const override;
  // The caption shown with the line (/Cap).
  void SetBoolProperty(bool value) override;
  bool GetBoolProperty(bool* value) const override;
  bool GetLineEndings(int32_t* start, int32_t* end) const override;
  bool SetLineEndings(int32_t start, int32_t end) override;
  int32_t GetShapeId() const override { return 24455; }
  bool ShowsTextInLine() const override;
  bool ShowsTextAboveLine() const override;
  bool SetPoint(const KS_FloatPoint& pt) override;
  // Its two end points.
  std::vector<KS_FloatPoint> GetSnapPoints() const override;

 protected:
  std::u16string SectionForIntent(const std::string& intent) const override;
  kwannotation::CKW_Line* Line() const;
};

class CDA_PolyLine : public CDA_ShapeAnnot {
 public:
  using CDA_ShapeAnnot::CDA_ShapeAnnot;
  std::string GetTypeName() const override { return "PolyLine"; }
  // The vertex with the largest x; the last of equal ones.
  bool GetAnchor(KS_FloatPoint* out) const override;
  bool GetLineEndings(int32_t* start, int32_t* end) const override;
  bool SetLineEndings(int32_t start, int32_t end) override;
  int32_t GetShapeId() const override { return 20359; }
  bool SetPoint(const KS_FloatPoint& pt) override;
  // Its vertices.
  std::vector<KS_FloatPoint> GetSnapPoints() const override;

 protected:
  std::u16string SectionForIntent(const std::string& intent) const override;
  std::vector<KS_FloatPoint> vertices_;  // as last read or written
};

class CDA_Polygon : public CDA_PolyLine {
 public:
  using CDA_PolyLine::CDA_PolyLine;
  std::string GetTypeName() const override { return "Polygon"; }
  bool GetLineEndings(int32_t*, int32_t*) const override { return false; }
  bool SetLineEndings(int32_t, int32_t) override { return false; }

 protected:
  std::u16string SectionForIntent(const std::string& intent) const override;
};

class CDA_Circle : public CDA_ShapeAnnot {
 public:
  using CDA_ShapeAnnot::CDA_ShapeAnnot;
  std::string GetTypeName() const override { return "Circle"; }
  int32_t GetShapeId() const override { return 35271; }

 protected:
  std::u16string SectionForIntent(const std::string& intent) const override;
};

// The handler of one shape kind: makes a `Shape` for each annotation.
template <typename Shape>
class CDA_ShapeHandler : public CMarkup_AnnotHandler {
 protected:
  std::unique_ptr<CMarkup_Annot> MakeAnnot(KA_Annot annot) override { return std::make_unique<Shape>(annot); }
};

// The index of the point of `points` nearest to `pt` (the first of equally
// near ones); -1 for an empty list.
int32_t DA_NearestPoint(const std::vector<KS_FloatPoint>& points, const KS_FloatPoint& pt);

}  // namespace AnnotationPlugin
