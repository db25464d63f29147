// The properties of a measurement that the Format tab shows and changes:
// the unit its lengths are shown in (areas and volumes follow it), how
// many digits (or how fine a fraction) its values are shown with,
// whether its caption is drawn, whether the caption starts with its label,
// whether a path shows the length of each segment, and a volume's depth. A reader gets them
// from the annotation, an applier writes a change and brings /Contents and
// the appearance along; one reader and applier per kind of measurement,
// which differ in what the kind has.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugin/measure_types.h"
#include "plugin/annot_undo.h"
#include "sdk/ks_types.h"

namespace kwannotation {
class CKW_AnnotChange;
}

namespace AnnotationPlugin {

// The properties, by bit.
enum MeasureProp : unsigned {
  kPropPrecision = 1,   // the precision index of every number format (0 to 5)
  kPropCaption = 2,     // "Cap": the caption is drawn
  kPropShowLabel = 4,   // bit 128 of "MeasurementTypes": the label line
  kPropSegments = 8,    // "Segments": the length of each segment
  kPropUnit = 16,       // the real-world unit of the lengths; the scale ratio stays
  kPropDepth = 32,      // "Depth" and "DepthUnit" of a volume
};

inline constexpr int kMostPrecision = 5;

struct MeasureAnnotProps {
  int type = kMeasureNone;
  unsigned available = 0;  // the MeasureProp bits the kind has
  int precision = 0;
  bool caption = true;
  bool showLabel = true;
  bool segments = false;
  std::u16string lengthUnit;  // a key of the real-world unit list
  double depth = 1;           // volume: "Depth"
  std::u16string depthUnit;   // its unit, a real-world key; empty: the scale's unit
  std::u16string ratio;  // "R" of its scale, shown, not changed here
};

class IMeasureAnnotPropReader {
 public:
  virtual ~IMeasureAnnotPropReader() = default;
  // Nothing for an annotation that is no measurement of the reader's kind.
  virtual std::optional<MeasureAnnotProps> Read(KPD_Dictionary annot) const = 0;
};

class IMeasureAnnotPropApplier {
 public:
  virtual ~IMeasureAnnotPropApplier() = default;
  // Writes the properties of `which` (MeasureProp bits; those the kind lacks
  // are left alone) from `props`, then re-derives /Contents and the
  // appearance. False, the annotation as it was, when nothing could be
  // written or the values cannot be shown any more.
  virtual bool Apply(KPD_Dictionary annot, KPD_Document doc, const MeasureAnnotProps& props,
                     unsigned which) const = 0;
};

// The readers and appliers of the six kinds; each takes the measurement
// types of its kind.
class CMeasureAnnotPropReader : public IMeasureAnnotPropReader {
 public:
  std::optional<MeasureAnnotProps> Read(KPD_Dictionary annot) const override;

 protected:
  explicit CMeasureAnnotPropReader(std::vector<int> types) : types_(std::move(types)) {}

 private:
  std::vector<int> types_;
};

class CMeasureAnnotPropApplier : public IMeasureAnnotPropApplier {
 public:
  bool Apply(KPD_Dictionary annot, KPD_Document doc, const MeasureAnnotProps& props, unsigned which) const override;

 protected:
  explicit CMeasureAnnotPropApplier(std::vector<int> types) : types_(std::move(types)) {}

 private:
  std::vector<int> types_;
};

#define CMA_PROP_KIND(Kind, ...)                                                         \
  class C##Kind##AnnotPropReader final : public CMeasureAnnotPropReader {                 \
   public:                                                                                \
    C##Kind##AnnotPropReader() : CMeasureAnnotPropReader({__VA_ARGS__}) {}                 \
  };                                                                                      \
  class C##Kind##AnnotPropApplier final : public CMeasureAnnotPropApplier {               \
   public:                                                                                \
    C##Kind##AnnotPropApplier() : CMeasureAnnotPropApplier({__VA_ARGS__}) {}               \
  };
CMA_PROP_KIND(Distance, kMeasureDistance)
CMA_PROP_KIND(Perimeter, kMeasurePerimeter, kMeasurePolylength)
CMA_PROP_KIND(Area, kMeasureArea, kMeasureVolume, kMeasureCircleArea)
CMA_PROP_KIND(Diameter, kMeasureDiameter)
CMA_PROP_KIND(Radius, kMeasureCenterRadius, kMeasure3PointRadius)
CMA_PROP_KIND(Angle, kMeasureAngle)
#undef CMA_PROP_KIND

// The reader and applier of a measurement type; null for kMeasureNone.
std::unique_ptr<IMeasureAnnotPropReader> MakeMeasurePropReader(int type);
std::unique_ptr<IMeasureAnnotPropApplier> MakeMeasurePropApplier(int type);

// The undo item of a property change of one or more measurements: each
// comes back exactly as it was (dictionary and appearance streams).
class CMSA_UndoFormatProp final : public CAnnot_BaseUndo {
 public:
  explicit CMSA_UndoFormatProp(KA_Document doc);
  ~CMSA_UndoFormatProp() override;
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

  // Applies `props` (`which` of them) to `annot` and records the change;
  // false, nothing recorded, when the applier changed nothing.
  bool Change(KA_Annot annot, const MeasureAnnotProps& props, unsigned which);
  bool Empty() const { return changes_.empty(); }

 private:
  void Apply(bool after);
  KA_Document doc_;
  std::vector<std::pair<KA_Annot, std::unique_ptr<kwannotation::CKW_AnnotChange>>> changes_;
};

// The measurements among the selection of `doc`, focused one first.
std::vector<KA_Annot> SelectedMeasurements(KA_Document doc);

// Changes the selected measurements of `doc`: `edit` sets the values of
// `which` from each one's own properties. One undo step with the caption
// "IDS_STR_UNDOFORMATPROP" when anything changed; false otherwise.
template <typename Edit>
bool ChangeSelectedMeasurements(KA_Document doc, unsigned which, Edit edit);

bool ChangeSelectedMeasurementsWith(KA_Document doc, unsigned which,
                                    void (*edit)(MeasureAnnotProps*, const void*), const void* data);

template <typename Edit>
bool ChangeSelectedMeasurements(KA_Document doc, unsigned which, Edit edit) {
  return ChangeSelectedMeasurementsWith(
      doc, which, [](MeasureAnnotProps* p, const void* e) { (*static_cast<const Edit*>(e))(p); }, &edit);
}

}  // namespace AnnotationPlugin
