#include "kwannotation/kw_default_appearance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace {

namespace host = ks::host;

// A /DA parsed by the host, released with this object.
class ParsedDA {
 public:
  explicit ParsedDA(const std::string& da) : content_(host::ContentParse(da.data(), da.size())) {}
  ~ParsedDA() {
    if (content_) host::ContentRelease(content_);
  }
  ParsedDA(const ParsedDA&) = delete;
  ParsedDA& operator=(const ParsedDA&) = delete;

  // Index of the last `op` with `count` operands, or -1.
  int32_t FindLast(const char* op, int32_t count) const {
    return content_ ? host::ContentFindLast(content_, op, count) : -1;
  }

  float Number(int32_t index, int32_t operand) const {
    KPD_Object obj = host::ContentGetOperand(content_, index, operand);
    if (!obj || host::ObjectGetType(obj) != KPD_OBJ_NUMBER) return 0;
    double value = host::ObjectGetNumber(obj);
    return std::isfinite(value) ? static_cast<float>(value) : 0.0f;
  }

  bool Name(int32_t index, int32_t operand, std::string* name) const {
    host::ByteString text;
    if (!host::NameGet(host::ContentGetOperand(content_, index, operand), text.get())) return false;
    std::string value = text.str();
    *name = value.empty() ? value : value.substr(1);
    return true;
  }

  bool Span(int32_t index, size_t* start, size_t* end) const {
    return content_ && host::ContentGetSpan(content_, index, start, end);
  }

 private:
  KPD_Content content_;
};

// The operators of one colour, by kind, and the operand count of each.
struct ColorOperators {
  const char* gray;
  const char* rgb;
  const char* cmyk;
};
constexpr ColorOperators kFillOperators{"g", "rg", "k"};
constexpr ColorOperators kStrokeOperators{"G", "RG", "K"};

// Reads the first of gray, RGB, CMYK that the /DA holds.
bool ReadColor(const ParsedDA& da, const ColorOperators& ops, KPD_ColorF* color) {
  const struct {
    const char* op;
    int32_t kind;
    int32_t count;
  } tries[] = {{ops.gray, KPD_COLOR_GRAY, 1}, {ops.rgb, KPD_COLOR_RGB, 3}, {ops.cmyk, KPD_COLOR_CMYK, 4}};
  for (const auto& t : tries) {
    int32_t index = da.FindLast(t.op, t.count);
    if (index < 0) continue;
    *color = KPD_ColorF{t.kind, {0, 0, 0, 0}};
    for (int32_t i = 0; i < t.count; ++i) color->c[i] = da.Number(index, i);
    return true;
  }
  return false;
}

// The index of the instruction that sets a colour, whichever kind it has.
int32_t FindColor(const ParsedDA& da, const ColorOperators& ops) {
  int32_t index = da.FindLast(ops.gray, 1);
  if (index < 0) index = da.FindLast(ops.rgb, 3);
  if (index < 0) index = da.FindLast(ops.cmyk, 4);
  return index;
}

// The one-operand instruction `op`. Leading is the content operator "TL";
// a "Tl", which no viewer knows, is read as leading too and rewritten as
// "TL".
int32_t FindSingle(const ParsedDA& da, const char* op) {
  int32_t index = da.FindLast(op, 1);
  if (std::string_view(op) == "TL") index = std::max(index, da.FindLast("Tl", 1));
  return index;
}

// A number for content text: at most four decimals, no trailing zeros,
// never "-0", never a non-finite value.
void AppendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0;
  std::string text = ks::FormatFixed(value, 4);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  out += text;
}

// A PDF name written with the characters that may not stand bare escaped.
void AppendName(std::string& out, std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kDelimiters = "()<>[]{}/%#";
  out += '/';
  for (unsigned char c : name) {
    if (c < 0x21 || c > 0x7E || kDelimiters.find(static_cast<char>(c)) != std::string_view::npos) {
      out += '#';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

// "n1 n2 ... op" with the numbers of `values`.
std::string NumbersInstruction(const float* values, int count, const char* op) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    AppendNumber(text, values[i]);
    text += ' ';
  }
  return text + op;
}

std::string ColorInstruction(const KPD_ColorF& color, const ColorOperators& ops) {
  switch (color.kind) {
    case KPD_COLOR_GRAY:
      return NumbersInstruction(color.c, 1, ops.gray);
    case KPD_COLOR_RGB:
      return NumbersInstruction(color.c, 3, ops.rgb);
    case KPD_COLOR_CMYK:
      return NumbersInstruction(color.c, 4, ops.cmyk);
    default:
      return {};
  }
}

// Neither PDF white space nor a delimiter: a character that continues the
// token before it.
bool IsRegularChar(char c) {
  return std::string_view(" \t\r\n\f\0()<>[]{}/%", 17).find(c) == std::string_view::npos;
}

// Puts `instruction` in place of the one at `index`, or appends it when
// `index` is -1.
void Replace(std::string& da, const ParsedDA& parsed, int32_t index, const std::string& instruction) {
  if (instruction.empty()) return;
  size_t start = 0, end = 0;
  if (index >= 0 && parsed.Span(index, &start, &end) && start <= end && end <= da.size()) {
    // An instruction may follow a name or operator with no blank between
    // ("T/F1 12 Tf"); its new first operand, a number, must not join them.
    const bool joins = start > 0 && IsRegularChar(da[start - 1]) && IsRegularChar(instruction.front());
    da.replace(start, end - start, joins ? " " + instruction : instruction);
    return;
  }
  if (!da.empty() && da.back() != ' ') da += ' ';
  da += instruction;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsAscii(std::u16string_view text, std::string_view ascii) {
  return text.size() == ascii.size() && std::equal(text.begin(), text.end(), ascii.begin(), [](char16_t a, char b) {
           return a == static_cast<unsigned char>(b);
         });
}

// The tokens of a "font" shorthand: a family in single or double quotes
// (quotes dropped), or a run of non-blanks.
std::vector<std::u16string_view> FontTokens(std::u16string_view value) {
  std::vector<std::u16string_view> tokens;
  size_t i = 0;
  while (i < value.size()) {
    if (IsBlank(value[i])) {
      ++i;
      continue;
    }
    if (value[i] == u'\'' || value[i] == u'"') {
      size_t close = value.find(value[i], i + 1);
      if (close != std::u16string_view::npos) {
        tokens.push_back(value.substr(i + 1, close - i - 1));
        i = close + 1;
        continue;
      }
    }
    size_t end = i;
    while (end < value.size() && !IsBlank(value[end])) ++end;
    tokens.push_back(value.substr(i, end - i));
    i = end;
  }
  return tokens;
}

// A size token: digits, optionally a point and digits, then "pt".
bool ParsePointSize(std::u16string_view token, float* size) {
  // "16pt/normal" and "16pt/1.2": the line height after the slash is not
  // the size.
  token = token.substr(0, token.find(u'/'));
  if (token.size() < 3 || token.substr(token.size() - 2) != u"pt") return false;
  std::u16string_view number = token.substr(0, token.size() - 2);
  size_t dot = number.find(u'.');
  auto digits = [](std::u16string_view part) {
    return !part.empty() && std::all_of(part.begin(), part.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  };
  if (!digits(number.substr(0, dot))) return false;
  if (dot != std::u16string_view::npos && !digits(number.substr(dot + 1))) return false;
  std::string ascii(number.begin(), number.end());
  double value = 0;
  auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (r.ec != std::errc()) return false;
  *size = static_cast<float>(value);
  return std::isfinite(*size);
}

// The words of a "font" shorthand that set neither the family nor the
// size: "normal", small capitals, and weights other than bold.
bool IsFontKeyword(std::u16string_view token) {
  for (const char* word : {"normal", "small-caps", "lighter", "100", "200", "300", "400", "500", "600"})
    if (EqualsAscii(token, word)) return true;
  return false;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

int ColorByte(float component) {
  double scaled = static_cast<double>(component) * 255 + 0.5;
  if (!(scaled > 0)) return 0;  // also NaN
  return scaled >= 255 ? 255 : static_cast<int>(scaled);
}

}  // namespace

// ---- /DA ---------------------------------------------------------------------

CDA_DefaultAppearance::CDA_DefaultAppearance(std::string da) : da_(std::move(da)) {}
CDA_DefaultAppearance::~CDA_DefaultAppearance() = default;

DefaultAppearanceInfo CDA_DefaultAppearance::GetInfo() const {
  DefaultAppearanceInfo info;
  if (da_.empty()) return info;
  ParsedDA da(da_);
  int32_t index = da.FindLast("Tf", 2);
  if (index >= 0 && da.Name(index, 0, &info.fontName)) {
    info.fontSize = da.Number(index, 1);
    info.flags |= kDA_Font;
  }
  if (ReadColor(da, kFillOperators, &info.fillColor)) info.flags |= kDA_FillColor;
  if (ReadColor(da, kStrokeOperators, &info.strokeColor)) info.flags |= kDA_StrokeColor;
  if ((index = da.FindLast("Tm", 6)) >= 0) {
    float m[6];
    for (int32_t i = 0; i < 6; ++i) m[i] = da.Number(index, i);
    info.textMatrix = KS_Matrix{m[0], m[1], m[2], m[3], m[4], m[5]};
    info.flags |= kDA_TextMatrix;
  }
  const struct {
    const char* op;
    uint32_t flag;
    float* value;
  } singles[] = {{"TL", kDA_Leading, &info.leading},
                 {"Tc", kDA_CharSpacing, &info.charSpacing},
                 {"Tz", kDA_HorzScaling, &info.horzScaling}};
  for (const auto& s : singles) {
    if ((index = FindSingle(da, s.op)) < 0) continue;
    *s.value = da.Number(index, 0);
    info.flags |= s.flag;
  }
  return info;
}

void CDA_DefaultAppearance::SetInfo(const DefaultAppearanceInfo& info) {
  // Each step parses afresh: a rewrite shifts the spans after it.
  if (info.flags & kDA_Font) {
    ParsedDA da(da_);
    std::string text;
    AppendName(text, info.fontName);
    text += ' ';
    AppendNumber(text, info.fontSize);
    Replace(da_, da, da.FindLast("Tf", 2), text + " Tf");
  }
  if ((info.flags & kDA_FillColor) && info.fillColor.kind != KPD_COLOR_NONE) {
    ParsedDA da(da_);
    Replace(da_, da, FindColor(da, kFillOperators), ColorInstruction(info.fillColor, kFillOperators));
  }
  if ((info.flags & kDA_StrokeColor) && info.strokeColor.kind != KPD_COLOR_NONE) {
    ParsedDA da(da_);
    Replace(da_, da, FindColor(da, kStrokeOperators), ColorInstruction(info.strokeColor, kStrokeOperators));
  }
  if (info.flags & kDA_TextMatrix) {
    ParsedDA da(da_);
    const KS_Matrix& m = info.textMatrix;
    const float values[6] = {m.a, m.b, m.c, m.d, m.e, m.f};
    Replace(da_, da, da.FindLast("Tm", 6), NumbersInstruction(values, 6, "Tm"));
  }
  const struct {
    const char* op;
    uint32_t flag;
    float value;
  } singles[] = {{"TL", kDA_Leading, info.leading},
                 {"Tc", kDA_CharSpacing, info.charSpacing},
                 {"Tz", kDA_HorzScaling, info.horzScaling}};
  for (const auto& s : singles) {
    if (!(info.flags & s.flag)) continue;
    ParsedDA da(da_);
    Replace(da_, da, FindSingle(da, s.op), NumbersInstruction(&s.value, 1, s.op));
  }
}

bool CDA_DefaultAppearance::GetFont(std::string* name, float* size) const {
  DefaultAppearanceInfo info = GetInfo();
  if (!(info.flags & kDA_Font)) return false;
  if (name) *name = info.fontName;
  if (size) *size = info.fontSize;
  return true;
}

void CDA_DefaultAppearance::SetFont(const std::string& name, float size) {
  DefaultAppearanceInfo info;
  info.flags = kDA_Font;
  info.fontName = name;
  info.fontSize = size;
  SetInfo(info);
}

bool CDA_DefaultAppearance::GetFillColor(KPD_ColorF* color) const {
  DefaultAppearanceInfo info = GetInfo();
  if (!(info.flags & kDA_FillColor)) return false;
  if (color) *color = info.fillColor;
  return true;
}

void CDA_DefaultAppearance::SetFillColor(const KPD_ColorF& color) {
  DefaultAppearanceInfo info;
  info.flags = kDA_FillColor;
  info.fillColor = color;
  SetInfo(info);
}

bool CDA_DefaultAppearance::GetStrokeColor(KPD_ColorF* color) const {
  DefaultAppearanceInfo info = GetInfo();
  if (!(info.flags & kDA_StrokeColor)) return false;
  if (color) *color = info.strokeColor;
  return true;
}

void CDA_DefaultAppearance::SetStrokeColor(const KPD_ColorF& color) {
  DefaultAppearanceInfo info;
  info.flags = kDA_StrokeColor;
  info.strokeColor = color;
  SetInfo(info);
}

// ---- fonts and colours -------------------------------------------------------

std::string FontResourceName(std::string_view baseFont) {
  std::string head(baseFont.substr(0, 2));
  if (Contains(baseFont, "Bold")) {
    if (Contains(baseFont, "Oblique")) return head + "BO";
    if (Contains(baseFont, "Italic")) return head + "BI";
    return head + "Bo";
  }
  if (Contains(baseFont, "Oblique")) return head + "Ob";
  if (Contains(baseFont, "Italic")) return head + "It";
  if (baseFont == "ZapfDingbats") return "ZaDb";
  return std::string(baseFont.substr(0, 4));
}

std::string NormalizeFontFamily(std::string_view family) {
  static constexpr std::pair<std::string_view, std::string_view> kSubstitutes[] = {
      {"VenkoSansOTF", "Helvetica"},   {"VenkoFixedOTF", "Courier"},          {"VenkoSerifOTF", "Times-Roman"},
      {"VenkoSymbolOTF", "Symbol"},    {"VenkoDingbatsOTF", "ZapfDingbats"},
  };
  std::string name(family);
  for (const auto& [substitute, standard] : kSubstitutes) {
    size_t at = name.find(substitute);
    if (at == std::string::npos) continue;
    name.replace(at, substitute.size(), standard);
    break;
  }
  return name;
}

KPD_ColorF ColorToRGB(const KPD_ColorF& color) {
  switch (color.kind) {
    case KPD_COLOR_GRAY:
      return KPD_ColorF{KPD_COLOR_RGB, {color.c[0], color.c[0], color.c[0], 0}};
    case KPD_COLOR_CMYK: {
      // The conversion of the PDF standard's colour model appendix.
      KPD_ColorF rgb{KPD_COLOR_RGB, {0, 0, 0, 0}};
      for (int i = 0; i < 3; ++i) rgb.c[i] = 1.0f - std::min(1.0f, color.c[i] + color.c[3]);
      return rgb;
    }
    default:
      return color;
  }
}

// ---- /DS ---------------------------------------------------------------------

CDS_DefaultAppearance::CDS_DefaultAppearance(std::u16string ds) {
  std::u16string_view rest = ds;
  while (!rest.empty()) {
    size_t semicolon = rest.find(u';');
    std::u16string_view declaration = rest.substr(0, semicolon);
    rest = semicolon == std::u16string_view::npos ? std::u16string_view() : rest.substr(semicolon + 1);
    size_t colon = declaration.find(u':');
    if (colon == std::u16string_view::npos) continue;
    std::u16string_view name = Trim(declaration.substr(0, colon));
    if (name.empty()) continue;
    declarations_.emplace_back(std::u16string(name), std::u16string(Trim(declaration.substr(colon + 1))));
  }
}

CDS_DefaultAppearance::~CDS_DefaultAppearance() = default;

std::u16string CDS_DefaultAppearance::GetValue(std::u16string_view name) const {
  for (const auto& [key, value] : declarations_)
    if (key == name) return value;
  return {};
}

void CDS_DefaultAppearance::SetValue(std::u16string_view name, std::u16string value) {
  for (auto& [key, existing] : declarations_) {
    if (key == name) {
      existing = std::move(value);
      return;
    }
  }
  declarations_.emplace_back(std::u16string(name), std::move(value));
}

void CDS_DefaultAppearance::SetColor(const KPD_ColorF& color) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  KPD_ColorF rgb = ColorToRGB(color);
  std::u16string value = u"#";
  for (int i = 0; i < 3; ++i) {
    int byte = ColorByte(rgb.c[i]);
    value += kHex[byte >> 4];
    value += kHex[byte & 15];
  }
  SetValue(u"color", std::move(value));
}

bool CDS_DefaultAppearance::GetColor(KPD_ColorF* color) const {
  std::u16string value = GetValue(u"color");
  if (value.size() != 7 || value[0] != u'#') return false;
  KPD_ColorF rgb{KPD_COLOR_RGB, {0, 0, 0, 0}};
  for (int i = 0; i < 3; ++i) {
    int high = HexDigit(value[1 + 2 * i]), low = HexDigit(value[2 + 2 * i]);
    if (high < 0 || low < 0) return false;
    rgb.c[i] = static_cast<float>(high * 16 + low) / 255.0f;
  }
  if (color) *color = rgb;
  return true;
}

bool CDS_DefaultAppearance::GetFont(DefaultStyleFont* font) const {
  auto it = std::find_if(declarations_.begin(), declarations_.end(),
                         [](const auto& d) { return d.first == u"font"; });
  if (it == declarations_.end()) return false;
  DefaultStyleFont result;
  std::u16string family;
  for (std::u16string_view token : FontTokens(it->second)) {
    if (EqualsAscii(token, "bold") || EqualsAscii(token, "bolder") || EqualsAscii(token, "700") ||
        EqualsAscii(token, "800") || EqualsAscii(token, "900")) {
      result.bold = true;
    } else if (EqualsAscii(token, "italic") || EqualsAscii(token, "oblique")) {
      result.italic = true;
    } else if (IsFontKeyword(token)) {
      continue;
    } else if (!ParsePointSize(token, &result.size)) {
      // Unquoted words of one family ("Times New Roman") join again.
      if (!family.empty()) family += u' ';
      family += token;
    }
  }
  result.family = std::move(family);
  if (font) *font = std::move(result);
  return true;
}

void CDS_DefaultAppearance::SetFont(const DefaultStyleFont& font) {
  std::u16string value;
  if (font.italic) value += u"italic ";
  if (font.bold) value += u"bold ";
  if (font.size > 0 && std::isfinite(font.size)) {
    std::string size;
    AppendNumber(size, font.size);
    value.append(size.begin(), size.end());
    value += u"pt ";
  }
  bool quote = std::any_of(font.family.begin(), font.family.end(), IsBlank);
  if (quote) value += u'\'';
  value += font.family;
  if (quote) value += u'\'';
  SetValue(u"font", std::u16string(Trim(value)));
}

std::u16string CDS_DefaultAppearance::GetText() const {
  std::u16string text;
  for (const auto& [name, value] : declarations_) {
    if (!text.empty()) text += u';';
    text += name;
    text += u':';
    text += value;
  }
  return text;
}

}  // namespace kwannotation
