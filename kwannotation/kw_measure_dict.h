// Measure dictionaries (ISO 32000-1, 12.9.1, rectilinear): the scale of a
// measurement annotation under its "Measure" key, or of a page viewport.
//
// Every read goes to the PDF dictionary afresh through the host; nothing is
// cached. A missing dictionary, array or element reads as its default.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kwannotation/kw_number_format.h"
#include "kwannotation/kw_ratio.h"
#include "sdk/ks_types.h"

namespace kwannotation {

// The PDF key of a number-format array by its index ("X" for 0 ... "V" for
// 6, with the leading slash), or null for any other index.
const char* FormatArrayKey(int arrayIndex);

// The units a measurement shows its values in, beside the X (and Y) real
// units of its scale: the tool settings "LengthUnit", "AreaUnit" and
// "VolumeUnit". Keys of the real-world, area and volume lists.
struct MeasureUnits {
  std::u16string length;
  std::u16string area;
  std::u16string volume;
};

class CKW_MeasureDictImpl {
 public:
  // `dict` is borrowed unless `owned` is set; an owned dictionary is
  // released when this object goes.
  explicit CKW_MeasureDictImpl(KPD_Dictionary dict, bool owned = false);
  ~CKW_MeasureDictImpl();
  CKW_MeasureDictImpl(const CKW_MeasureDictImpl&) = delete;
  CKW_MeasureDictImpl& operator=(const CKW_MeasureDictImpl&) = delete;

  KPD_Dictionary GetDict() const { return dict_; }

  // The dictionary under the annotation's "Measure" key. When there is none
  // (or it is not a dictionary) and `create` is set, a new dictionary with
  // "Type" "Measure" is made an indirect object of `doc` and referenced from
  // "Measure". Null when there is none and none could be made. Borrowed.
  static KPD_Dictionary GetOrCreateForAnnot(KPD_Dictionary annot, KPD_Document doc, bool create);
  // Makes `measure` (a dictionary; the caller still owns its handle) the
  // annotation's "Measure", through the annotation's own write path. False
  // without an annotation or a dictionary to store.
  static bool SetForAnnot(KPD_Dictionary annot, KPD_Dictionary measure);

  // "SubType" (or the standard's spelling "Subtype") is "GEO".
  bool IsGeospatial() const;

  // Whether the dictionary can be measured with: not geospatial, an "R"
  // text (blank is allowed: the scale is X's factor), arrays "X", "D" and "A" present, every element of every present
  // array with a label and a positive factor, and the last element of each
  // present array with a usable denominator.
  bool IsValid() const { return InvalidReason().empty(); }
  // Why IsValid is false, in a few English words ("no R text", "X element 2
  // has no unit label"); empty when it is valid.
  std::string InvalidReason() const;

  // Why "R" gives no scale although it is not empty: its X part (or its Y
  // part, when it has one) is not "<number> <unit> = <number> <unit>" with
  // positive numbers, so normalising reads that ratio as 1. Empty when the
  // ratio text reads, when it is blank (a label left empty, the scale being
  // X's factor), or when there is none (InvalidReason says so).
  std::string RatioProblem() const;

  std::u16string GetRatioText() const;
  bool SetRatioText(std::u16string_view text);

  // Elements of the array (0 when it is absent or not an array).
  int GetFormatCount(int arrayIndex) const;
  // One element as a record; an element that is missing or not a
  // dictionary comes back with defaults and `readable` cleared. Absent
  // separators stay unset, so they read as the standard's defaults.
  NumberFormat GetFormat(int arrayIndex, int elementIndex) const;
  std::vector<NumberFormat> GetFormats(int arrayIndex) const;
  // Replaces the array by new dictionaries written from `formats`; an empty
  // list (or one of which nothing could be written) removes the key.
  // Separators that a record leaves unset are written with the standard's
  // defaults, so the file reads back the same.
  bool SetFormats(int arrayIndex, std::span<const NumberFormat> formats);

  // "O": the origin, when it holds two numbers.
  std::optional<KS_FloatPoint> GetOrigin() const;
  std::optional<double> GetCYX() const;

  // Precision index of the "X" array (0 when there is none), read from its
  // last element, which carries the display mode: a feet-and-inches "X"
  // at 1/16 inch gives 4.
  int GetPrecision() const;

  // `value` shown with the array (FormatValue); empty when it cannot be.
  std::optional<std::u16string> FormatValue(int arrayIndex, double value) const;

  // Copies this dictionary's scale into the annotation's measure dictionary
  // (made when missing): "Type", "SubType", "R", "O", "CYX" and the seven
  // arrays. Does nothing and returns false when this dictionary is not
  // valid.
  bool WriteToAnnot(KPD_Dictionary annot, KPD_Document doc) const;

  // Turns "R" into the factors of the arrays so that a page distance in
  // points times the factors gives the real value: "X" (and "Y") from the
  // ratio, "CYX" between the two real units, "D", "A" and "V" from the base
  // unit of "X". Elements of "T" without a label get "°". Returns false when
  // there is no dictionary.
  bool Normalize();

  // Writes a page scale: "SubType" "RL", "R" = `ratioText`, one element per
  // array with the precision's display mode ("X", "Y" only with a separate
  // Y ratio, "D", "A", "V" with `units`, "T" with "°"; "S" is left alone),
  // then normalises. Feet-and-inches units become two elements (feet with
  // SS "-", then inches), so that 10.5 ft reads 10'-6".
  bool WriteScale(const PageScale& scale, std::u16string_view ratioText, const MeasureUnits& units);

  // Shows this scale's values in `units` at the same ratio and precision: a
  // length unit rewrites "X" and "D" for it (feet and inches as two
  // elements), an area unit "A", a volume unit "V"; an empty member leaves
  // its arrays as they are. Then normalises, so that the factors follow
  // ("Y" keeps its unit; "CYX" brings it over). False, nothing changed,
  // when the dictionary is missing or geospatial, or a unit is not one its
  // size table knows.
  bool SetDisplayUnits(const MeasureUnits& units);
  // The units the values are shown in: the canonical key of the first "X"
  // element (feet and inches when feet come with a second element), the
  // labels of the first "A" and "V" elements; a missing "A" or "V" gives
  // the square or cube of the length unit. Empty members where there is
  // nothing to read.
  MeasureUnits GetDisplayUnits() const;

 private:
  KPD_Dictionary dict_;
  bool owned_;
};

// The shared handle to a measure dictionary that the rest of the system
// holds; an empty handle stands for "no measure dictionary".
class CKW_MeasureDict {
 public:
  CKW_MeasureDict() = default;
  explicit CKW_MeasureDict(std::shared_ptr<CKW_MeasureDictImpl> impl) : impl_(std::move(impl)) {}
  // A borrowed dictionary; empty for null.
  static CKW_MeasureDict Borrow(KPD_Dictionary dict);
  // A dictionary the caller made and hands over; released with the last
  // handle.
  static CKW_MeasureDict Own(KPD_Dictionary dict);

  explicit operator bool() const { return impl_ != nullptr; }
  CKW_MeasureDictImpl* operator->() const { return impl_.get(); }
  CKW_MeasureDictImpl* GetImpl() const { return impl_.get(); }
  KPD_Dictionary GetDict() const { return impl_ ? impl_->GetDict() : nullptr; }
  bool IsValid() const { return impl_ && impl_->IsValid(); }

 private:
  std::shared_ptr<CKW_MeasureDictImpl> impl_;
};

// The number-format records WriteScale puts in an array for `unit` at
// precision index `precision`: feet and inches as two elements, an inch
// fraction as one element labelled with a double quote, every other unit as
// one decimal element labelled with its key. Separators are "," "." " " "".
std::vector<NumberFormat> ScaleFormatsFor(std::u16string_view unit, int precision);

}  // namespace kwannotation
