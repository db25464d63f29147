#include "kwannotation/kw_units.h"

#include <array>

#include "kwannotation/kw_text.h"

namespace kwannotation {

namespace {

constexpr std::u16string_view kPaperKeys[] = {u"pt", u"in", u"mm", u"cm", u"p"};
constexpr std::u16string_view kRealKeys[] = {u"in", u"ft",  u"ft'in\"", u"in\"", u"yd", u"mi",
                                             u"mm", u"cm",  u"m",       u"km",   u"pt", u"p"};
constexpr std::u16string_view kAreaKeys[] = {u"sq in", u"sq ft", u"sq yd", u"sq mi", u"sq mm", u"sq cm",
                                             u"sq m",  u"sq km", u"acre",  u"ha",    u"tsubo"};
constexpr std::u16string_view kVolumeKeys[] = {u"cu in", u"cu ft", u"cu yd", u"cu mi",
                                               u"cu mm", u"cu cm", u"cu m",  u"cu km"};

// The one table of unit sizes. Every key and alias form of a unit shares its
// row, so the tools' points-per-unit and the captions' millimetres-per-unit
// cannot drift apart. Each number is the double nearest to the exact value
// (25.4 mm to the inch, 72 points to the inch); the reciprocals are written
// out rather than computed so that they too are the nearest doubles.
struct LengthRow {
  std::array<std::u16string_view, 7> keys;
  double mmPerUnit;
  double unitsPerMm;
  double pointsPerUnit;
  double inchesPerUnit;
  std::u16string_view areaKey;
  std::u16string_view volumeKey;
};

constexpr LengthRow kLengthRows[] = {
    {{u"in", u"\"", u"in\"", u"inch"}, 25.4, 0.03937007874015748, 72.0, 1.0, u"sq in", u"cu in"},
    {{u"ft", u"'", u"ft' in\"", u"ft'in\"", u"ft'", u"'\"", u"' \""},
     304.8, 0.0032808398950131233, 864.0, 12.0, u"sq ft", u"cu ft"},
    {{u"yd"}, 914.4, 0.0010936132983377078, 2592.0, 36.0, u"sq yd", u"cu yd"},
    {{u"mi"}, 1609344.0, 6.21371192237334e-07, 4561920.0, 63360.0, u"sq mi", u"cu mi"},
    {{u"mm"}, 1.0, 1.0, 2.8346456692913384, 0.03937007874015748, u"sq mm", u"cu mm"},
    {{u"cm"}, 10.0, 0.1, 28.346456692913385, 0.3937007874015748, u"sq cm", u"cu cm"},
    {{u"m"}, 1000.0, 0.001, 2834.6456692913384, 39.37007874015748, u"sq m", u"cu m"},
    {{u"km"}, 1000000.0, 1e-06, 2834645.6692913384, 39370.07874015748, u"sq km", u"cu km"},
    {{u"pt"}, 0.3527777777777778, 2.8346456692913384, 1.0, 0.013888888888888888, u"sq pt", u"cu pt"},
    {{u"p", u"picas", u"pica", u"pc"}, 4.233333333333333, 0.23622047244094488, 12.0, 0.16666666666666666,
     u"sq p", u"cu p"},
};

struct SizeRow {
  std::array<std::u16string_view, 4> keys;
  double mmPerUnit;
  double unitsPerMm;
};

constexpr SizeRow kAreaRows[] = {
    {{u"sq in"}, 645.16, 0.0015500031000062},
    {{u"sq ft", u"sf"}, 92903.04, 1.0763910416709723e-05},
    {{u"sq yd"}, 836127.36, 1.1959900463010804e-06},
    {{u"sq mi"}, 2589988110336.0, 3.8610215854244587e-13},
    {{u"sq mm"}, 1.0, 1.0},
    {{u"sq cm"}, 100.0, 0.01},
    {{u"sq m"}, 1000000.0, 1e-06},
    {{u"sq km"}, 1000000000000.0, 1e-12},
    {{u"acre", u"ac"}, 4046856422.4, 2.471053814671653e-10},
    {{u"ha"}, 10000000000.0, 1e-10},
    // 3.305785 m², the value the Japanese unit is usually quoted at, rather
    // than the exact 400/121 m².
    {{u"tsubo"}, 3305785.0, 3.0250001134375043e-07},
    {{u"sq pt"}, 0.12445216049382717, 8.03521607043214},
    {{u"sq p", u"sq picas", u"sq pica", u"sq pc"}, 17.92111111111111, 0.0558001116002232},
};

constexpr SizeRow kVolumeRows[] = {
    {{u"cu in"}, 16387.064, 6.1023744094732284e-05},
    {{u"cu ft"}, 28316846.592, 3.531466672148859e-08},
    {{u"cu yd"}, 764554857.984, 1.3079506193143923e-09},
    {{u"cu mi"}, 4.1681818254405796e+18, 2.3991275857892774e-19},
    {{u"cu mm"}, 1.0, 1.0},
    {{u"cu cm"}, 1000.0, 0.001},
    {{u"cu m"}, 1000000000.0, 1e-09},
    {{u"cu km"}, 1e+18, 1e-18},
    {{u"cu pt"}, 0.04390395661865569, 22.776990435870637},
    {{u"cu p", u"cu picas", u"cu pica", u"cu pc"}, 75.86603703703703, 0.013181128724462173},
};

template <class Row>
const Row* FindRow(std::span<const Row> rows, std::u16string_view key) {
  if (key.empty()) return nullptr;  // the empty slots of a row's key list
  for (const Row& row : rows)
    for (std::u16string_view k : row.keys)
      if (k == key) return &row;
  return nullptr;
}

const LengthRow* FindLength(std::u16string_view key) { return FindRow<LengthRow>(kLengthRows, key); }

const SizeRow* FindSize(UnitDimension dimension, std::u16string_view key) {
  return FindRow<SizeRow>(dimension == UnitDimension::Area ? std::span<const SizeRow>(kAreaRows)
                                                           : std::span<const SizeRow>(kVolumeRows),
                          key);
}

int IndexIn(std::span<const std::u16string_view> keys, std::u16string_view key) {
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return static_cast<int>(i);
  return -1;
}

std::u16string CanonicalForList(std::u16string_view key, UnitList list) {
  switch (list) {
    case UnitList::Paper:
    case UnitList::Real:
      return CanonicalUnitKey(key);
    case UnitList::Area:
      if (key == u"sf") return u"sq ft";
      if (key == u"ac") return u"acre";
      break;
    case UnitList::Volume:
      break;
  }
  return std::u16string(key);
}

bool IsUnitLabelChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'\'' || c == u'"';
}

std::u16string UnitNameFor(std::u16string_view lengthKey, std::span<const std::u16string> names,
                           UnitList list, std::u16string_view prefix, std::u16string_view fallback) {
  std::u16string key = CanonicalUnitKey(lengthKey);
  // Both fractional inch forms measure in plain feet or inches; their areas
  // are square feet and square inches.
  if (key == u"ft'in\"") key = u"ft";
  if (key == u"in\"") key = u"in";
  std::u16string compound(prefix);
  compound += key;
  int index = IndexIn(UnitKeys(list), compound);
  if (index < 0) return std::u16string(fallback);
  if (static_cast<size_t>(index) < names.size()) return names[index];
  return compound;
}

}  // namespace

std::span<const std::u16string_view> UnitKeys(UnitList list) {
  switch (list) {
    case UnitList::Paper: return kPaperKeys;
    case UnitList::Real: return kRealKeys;
    case UnitList::Area: return kAreaKeys;
    case UnitList::Volume: return kVolumeKeys;
  }
  return {};
}

std::vector<std::u16string> SplitUnitNames(std::u16string_view translated) {
  std::vector<std::u16string> names;
  size_t start = 0;
  for (;;) {
    size_t at = translated.find(u"\\n", start);
    if (at == std::u16string_view::npos) break;
    names.emplace_back(translated.substr(start, at - start));
    start = at + 2;
  }
  names.emplace_back(translated.substr(start));
  return names;
}

std::u16string CanonicalUnitKey(std::u16string_view key) {
  if (key == u"inch") return u"in";
  if (key == u"\"") return u"in\"";
  if (key == u"ft'") return u"ft";
  if (key == u"ft' in\"" || key == u"'\"" || key == u"' \"" || key == u"'") return u"ft'in\"";
  return std::u16string(key);
}

UnitKind GetUnitKind(std::u16string_view key) {
  if (key == u"ft'in\"" || key == u"ft' in\"" || key == u"'\"" || key == u"' \"" || key == u"'")
    return UnitKind::FeetInches;
  if (key == u"in\"" || key == u"\"") return UnitKind::InchFraction;
  return UnitKind::Decimal;
}

int UnitIndex(std::u16string_view key, UnitList list) {
  return IndexIn(UnitKeys(list), CanonicalForList(key, list));
}

std::u16string UnitKeyFromText(std::u16string_view text, UnitList list,
                               std::span<const std::u16string> names) {
  std::u16string key = CanonicalForList(text, list);
  std::span<const std::u16string_view> keys = UnitKeys(list);
  if (IndexIn(keys, key) >= 0) return key;
  for (size_t i = 0; i < names.size() && i < keys.size(); ++i)
    if (names[i] == key) return std::u16string(keys[i]);
  return std::u16string(text::Trim(text));
}

std::u16string AreaUnitNameFor(std::u16string_view lengthKey, std::span<const std::u16string> names) {
  return UnitNameFor(lengthKey, names, UnitList::Area, u"sq ", u"sq mm");
}

std::u16string VolumeUnitNameFor(std::u16string_view lengthKey, std::span<const std::u16string> names) {
  return UnitNameFor(lengthKey, names, UnitList::Volume, u"cu ", u"cu mm");
}

std::optional<double> PointsPerUnit(std::u16string_view key) {
  if (const LengthRow* row = FindLength(key)) return row->pointsPerUnit;
  return std::nullopt;
}

std::optional<double> InchesPerUnit(std::u16string_view key) {
  if (const LengthRow* row = FindLength(key)) return row->inchesPerUnit;
  return std::nullopt;
}

std::u16string DefaultUnitKey(int documentUnitSetting) {
  switch (documentUnitSetting) {
    case 1: return u"inch";
    case 2: return u"cm";
    case 3: return u"p";
    case 4: return u"mm";
    default: return u"pt";
  }
}

std::u16string NormalizeUnit(std::u16string_view input) {
  std::u16string_view s = text::Trim(input);
  size_t eq = s.rfind(u'=');
  if (eq != std::u16string_view::npos) s = text::Trim(s.substr(eq + 1));
  // Matching (?:\d*\.?\d+\s*)?([A-Za-z'"]+) over and over captures every
  // maximal run of label characters in turn, so the last capture is simply
  // the last such run.
  size_t end = s.size();
  while (end > 0 && !IsUnitLabelChar(s[end - 1])) --end;
  if (end > 0) {
    size_t begin = end;
    while (begin > 0 && IsUnitLabelChar(s[begin - 1])) --begin;
    s = s.substr(begin, end - begin);
  }
  std::u16string out(s);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  if (out == u"inch") out = u"in";
  return out;
}

double MillimetresPerUnit(UnitDimension dimension, std::u16string_view key) {
  if (dimension == UnitDimension::Length) {
    const LengthRow* row = FindLength(key);
    return row ? row->mmPerUnit : -1.0;
  }
  const SizeRow* row = FindSize(dimension, key);
  return row ? row->mmPerUnit : -1.0;
}

double UnitsPerMillimetre(UnitDimension dimension, std::u16string_view key) {
  if (dimension == UnitDimension::Length) {
    const LengthRow* row = FindLength(key);
    return row ? row->unitsPerMm : -1.0;
  }
  const SizeRow* row = FindSize(dimension, key);
  return row ? row->unitsPerMm : -1.0;
}

namespace {

// Length normalisation keeps only the last word, which would turn "sq ft"
// into "ft"; area and volume keys keep their "sq " or "cu " in front of the
// normalised length unit.
std::u16string NormalizeFor(UnitDimension dimension, std::u16string_view input) {
  if (dimension == UnitDimension::Length) return NormalizeUnit(input);
  std::u16string_view s = text::Trim(input);
  size_t eq = s.rfind(u'=');
  if (eq != std::u16string_view::npos) s = text::Trim(s.substr(eq + 1));
  std::u16string_view prefix = dimension == UnitDimension::Area ? u"sq " : u"cu ";
  if (s.size() > 3 && (s[0] | 0x20) == prefix[0] && (s[1] | 0x20) == prefix[1] && text::IsTrimChar(s[2])) {
    std::u16string out(prefix);
    out += NormalizeUnit(s.substr(3));
    return out;
  }
  return NormalizeUnit(s);
}

double DimensionFactor(UnitDimension dimension, std::u16string_view fromText, std::u16string_view toText) {
  std::u16string from = NormalizeFor(dimension, fromText);
  std::u16string to = NormalizeFor(dimension, toText);
  if (from == to) return 1.0;
  double mm = MillimetresPerUnit(dimension, from);
  double perMm = UnitsPerMillimetre(dimension, to);
  // An unknown unit leaves the value as it is rather than failing.
  if (mm <= 0 || perMm <= 0) return 1.0;
  return mm * perMm;
}

}  // namespace

double LengthFactor(std::u16string_view from, std::u16string_view to) {
  return DimensionFactor(UnitDimension::Length, from, to);
}

bool IsKnownUnit(UnitDimension dimension, std::u16string_view text) {
  return MillimetresPerUnit(dimension, NormalizeFor(dimension, text)) > 0;
}

double AreaFactor(std::u16string_view from, std::u16string_view to) {
  return DimensionFactor(UnitDimension::Area, from, to);
}

double VolumeFactor(std::u16string_view from, std::u16string_view to) {
  return DimensionFactor(UnitDimension::Volume, from, to);
}

std::u16string AreaKeyOfLength(std::u16string_view lengthKey) {
  const LengthRow* row = FindLength(lengthKey);
  return row ? std::u16string(row->areaKey) : std::u16string();
}

std::u16string VolumeKeyOfLength(std::u16string_view lengthKey) {
  const LengthRow* row = FindLength(lengthKey);
  return row ? std::u16string(row->volumeKey) : std::u16string();
}

}  // namespace kwannotation
