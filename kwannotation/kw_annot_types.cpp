#include "kwannotation/kw_annot_types.h"

#include <array>
#include <algorithm>
#include <cmath>
#include <limits>

#include "kwannotation/kw_annot_dict.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace {

// Indexed by subtype code; code 0 has no name of its own.
constexpr std::array<std::string_view, kKwLastSubtypeCode + 1> kSubtypeNames = {
    "",          "Text",  "Link",      "FreeText",  "Line",     "Square",         "Circle",
    "Polygon",   "PolyLine", "Highlight", "Underline", "Squiggly", "StrikeOut",   "Stamp",
    "Caret",     "Ink",   "FileAttachment", "Sound", "Movie",   "Widget",         "Screen",
    "PrinterMark", "TrapNet", "Watermark", "3D",     "Popup",    "Redact",         "Projection",
};

// Indexed by measure kind.
constexpr std::array<std::string_view, 8> kMeasureIntents = {
    "", "LineDimension", "PolyLineDimension", "PolygonDimension", "PolygonVolume", "CircleDimension",
    "PolygonRadius", "PolyLineAngle",
};

constexpr std::array<int32_t, 8> kMeasureSubtypes = {
    KW_ANNOT_UNKNOWN, KW_ANNOT_LINE,    KW_ANNOT_POLYLINE, KW_ANNOT_POLYGON,
    KW_ANNOT_POLYGON, KW_ANNOT_CIRCLE,  KW_ANNOT_POLYGON,  KW_ANNOT_POLYLINE,
};

constexpr std::array<std::string_view, 22> kHandledSubtypes = {
    "Text",  "StrikeOut", "Squiggly", "Underline", "Highlight",      "Link",   "Square",  "Circle",
    "FreeText", "Line",   "Stamp",    "Screen",    "Caret",          "Ink",    "FileAttachment",
    "Widget", "Polygon",  "PolyLine", "Popup",     "PSInk",          "Redact", "Watermark",
};

constexpr std::array<std::string_view, 10> kLineEndings = {
    "None", "Square", "Circle", "Diamond", "OpenArrow", "ClosedArrow", "Butt", "ROpenArrow", "RClosedArrow", "Slash",
};

// Bit i of /F is named kFlagNames[i]. Bit 10 (512) is the PDF standard's
// LockedContents, named as XFDF writers name it; bit 11 (1024) has no name
// in the standard and gets one from its value, so that it too survives an
// export and a new import.
constexpr std::array<std::string_view, 11> kFlagNames = {
    "invisible", "hidden", "print",        "nozoom",         "norotate", "noview",
    "readonly",  "locked", "togglenoview", "lockedcontents", "flag1024",
};

constexpr std::array<std::string_view, 6> kBorderStyleNames = {
    "solid", "dash", "bevelled", "inset", "underline", "cloudy",
};

// /BS /S names of the non-cloudy styles; a cloudy border is solid in /BS.
constexpr std::array<std::string_view, 6> kBorderStyleKeys = {"S", "D", "B", "I", "U", "S"};

float NonNegative(double width) { return std::isfinite(width) && width > 0 ? static_cast<float>(width) : 0.0f; }

}  // namespace

int32_t KW_SubtypeCodeFromName(std::string_view name) {
  if (name.empty()) return KW_ANNOT_UNKNOWN;
  for (size_t i = 1; i < kSubtypeNames.size(); ++i)
    if (kSubtypeNames[i] == name) return static_cast<int32_t>(i);
  return KW_ANNOT_UNKNOWN;
}

std::string KW_SubtypeNameFromCode(int32_t code) {
  if (code < 0 || code > kKwLastSubtypeCode) return {};
  return std::string(kSubtypeNames[static_cast<size_t>(code)]);
}

int32_t KW_MeasureKindFromIntent(std::string_view intent) {
  if (intent.empty()) return KW_MEASURE_NONE;
  for (size_t i = 1; i < kMeasureIntents.size(); ++i)
    if (kMeasureIntents[i] == intent) return static_cast<int32_t>(i);
  return KW_MEASURE_NONE;
}

std::string KW_IntentFromMeasureKind(int32_t kind) {
  if (kind < 0 || kind >= static_cast<int32_t>(kMeasureIntents.size())) return {};
  return std::string(kMeasureIntents[static_cast<size_t>(kind)]);
}

int32_t KW_SubtypeCodeFromMeasureKind(int32_t kind) {
  if (kind < 0 || kind >= static_cast<int32_t>(kMeasureSubtypes.size())) return KW_ANNOT_UNKNOWN;
  return kMeasureSubtypes[static_cast<size_t>(kind)];
}

bool KW_IsHandledSubtype(std::string_view name) {
  for (std::string_view handled : kHandledSubtypes)
    if (handled == name) return true;
  return false;
}

int32_t KW_LineEndingFromName(std::string_view name) {
  for (size_t i = 0; i < kLineEndings.size(); ++i)
    if (kLineEndings[i] == name) return static_cast<int32_t>(i);
  return 0;
}

std::string KW_LineEndingName(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(kLineEndings.size())) return "None";
  return std::string(kLineEndings[static_cast<size_t>(code)]);
}

std::string KW_FormatAnnotFlags(uint32_t flags) {
  std::string text;
  for (size_t i = 0; i < kFlagNames.size(); ++i) {
    if (!(flags & (1u << i))) continue;
    if (i > 0) text += ',';
    text += kFlagNames[i];
  }
  if (!text.empty() && text[0] == ',') text.erase(0, 1);
  return text;
}

uint32_t KW_ParseAnnotFlags(std::string_view text) {
  if (text.empty()) return kKwFlagPrint;
  uint32_t flags = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string_view token = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    for (size_t i = 0; i < kFlagNames.size(); ++i)
      if (kFlagNames[i] == token) flags |= 1u << i;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return flags;
}

std::string KW_BorderStyleName(int32_t style) {
  if (style < 0 || style >= static_cast<int32_t>(kBorderStyleNames.size())) return "solid";
  return std::string(kBorderStyleNames[static_cast<size_t>(style)]);
}

int32_t KW_BorderStyleFromName(std::string_view name) {
  for (size_t i = 0; i < kBorderStyleNames.size(); ++i)
    if (kBorderStyleNames[i] == name) return static_cast<int32_t>(i);
  return -1;
}

bool KW_ReadBorderInfo(KPD_Dictionary annot, KwBorderInfo* out) {
  KwBorderInfo info;
  KwBorderInfo::Stored& raw = info.stored;
  KPD_Object bs = annot ? ks::host::DictGet(annot, "/BS") : nullptr;
  // /Border only counts without a /BS dictionary.
  KPD_Object border = annot && dict::TypeOf(bs) != KPD_OBJ_DICTIONARY ? ks::host::DictGet(annot, "/Border") : nullptr;
  KPD_Object be = annot ? ks::host::DictGet(annot, "/BE") : nullptr;
  raw.bsKey = bs != nullptr;
  raw.borderKey = border != nullptr;
  KPD_Object width = nullptr;
  KPD_Object dashes = nullptr;
  if (dict::TypeOf(bs) == KPD_OBJ_DICTIONARY) {
    raw.bs = true;
    width = ks::host::DictGet(bs, "/W");
    raw.bsWidthKey = width != nullptr;
    std::string s = dict::GetName(bs, "/S");
    for (size_t i = 0; i < 5; ++i)
      if (s == kBorderStyleKeys[i]) raw.bsStyle = static_cast<int32_t>(i);
    info.style = raw.bsStyle;
    dashes = ks::host::DictGet(bs, "/D");
  } else if (dict::TypeOf(border) == KPD_OBJ_ARRAY) {
    width = ks::host::ArrayGet(border, 2);
    dashes = ks::host::ArrayGet(border, 3);
  }
  if (dict::TypeOf(width) == KPD_OBJ_NUMBER) {
    raw.hasWidth = true;
    raw.width = ks::host::ObjectGetNumber(width);
    info.width = NonNegative(raw.width);
  }
  raw.dashArray = dict::TypeOf(dashes) == KPD_OBJ_ARRAY;
  raw.dashCount = dict::ReadNumbers(dashes, raw.dashes, std::numeric_limits<int>::max());
  if (raw.dashCount >= 0 && std::all_of(raw.dashes.begin(), raw.dashes.end(), [](float v) { return std::isfinite(v); })) {
    info.dashes = raw.dashes;
  }
  // A dash array in /Border makes the border dashed, as it is drawn, even
  // when it is empty.
  if (!raw.bs && raw.dashArray) info.style = KW_BORDER_DASH;
  if (dict::TypeOf(be) == KPD_OBJ_DICTIONARY) {
    if (dict::GetName(be, "/S") == "C") {
      raw.cloudy = true;
      info.style = KW_BORDER_CLOUDY;
      KPD_Object intensity = ks::host::DictGet(be, "/I");
      if (dict::TypeOf(intensity) == KPD_OBJ_NUMBER) {
        raw.intensity = ks::host::ObjectGetNumber(intensity);
        info.intensity = NonNegative(raw.intensity);
      }
    }
    dict::GetBool(be, "/Invert", &raw.invert);
  }
  const bool found = raw.bs || dict::TypeOf(border) == KPD_OBJ_ARRAY || dict::TypeOf(be) == KPD_OBJ_DICTIONARY;
  if (out) *out = std::move(info);
  return found;
}

bool KW_MakeBorderObjects(const KwBorderInfo& info, KPD_Object* bsOut, KPD_Object* beOut) {
  *bsOut = *beOut = nullptr;
  int32_t style = info.style >= 0 && info.style <= KW_BORDER_CLOUDY ? info.style : KW_BORDER_SOLID;
  KPD_Object bs = ks::host::DictNew();
  if (!bs) return false;
  dict::SetName(bs, "/Type", "Border");
  dict::SetNumber(bs, "/W", NonNegative(info.width));
  dict::SetName(bs, "/S", kBorderStyleKeys[static_cast<size_t>(style)]);
  if (style == KW_BORDER_DASH && !info.dashes.empty()) dict::SetNumbers(bs, "/D", info.dashes.data(), info.dashes.size());
  if (style == KW_BORDER_CLOUDY) {
    KPD_Object be = ks::host::DictNew();
    if (!be) {
      ks::host::ObjectRelease(bs);
      return false;
    }
    dict::SetName(be, "/S", "C");
    dict::SetNumber(be, "/I", NonNegative(info.intensity));
    *beOut = be;
  }
  *bsOut = bs;
  return true;
}

bool KW_WriteBorderInfo(KPD_Dictionary annot, const KwBorderInfo& info) {
  if (!dict::IsDict(annot)) return false;
  KPD_Object bs = nullptr;
  KPD_Object be = nullptr;
  if (!KW_MakeBorderObjects(info, &bs, &be)) return false;
  dict::Owned ownedBs(bs), ownedBe(be);
  if (!ks::host::DictSet(annot, "/BS", bs)) return false;
  if (be) return ks::host::DictSet(annot, "/BE", be) != 0;
  dict::Remove(annot, "/BE");
  return true;
}

}  // namespace kwannotation
