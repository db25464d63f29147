// Standard fonts: AFM parsing, WinAnsiEncoding and family names.
#include "host/font_service.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/file_util.h"

namespace kshost {
namespace {

// WinAnsiEncoding from 0x80 to 0xFF: Unicode value and glyph name. Codes from
// 0x20 to 0x7E are ASCII and come from kAsciiNames.
struct WinAnsiEntry {
  char16_t unicode;
  const char* name;
};

constexpr const char* kAsciiNames[95] = {
    "space",       "exclam",     "quotedbl",    "numbersign",  "dollar",     "percent",    "ampersand",
    "quotesingle", "parenleft",  "parenright",  "asterisk",    "plus",       "comma",      "hyphen",
    "period",      "slash",      "zero",        "one",         "two",        "three",      "four",
    "five",        "six",        "seven",       "eight",       "nine",       "colon",      "semicolon",
    "less",        "equal",      "greater",     "question",    "at",         "A",          "B",
    "C",           "D",          "E",           "F",           "G",          "H",          "I",
    "J",           "K",          "L",           "M",           "N",          "O",          "P",
    "Q",           "R",          "S",           "T",           "U",          "V",          "W",
    "X",           "Y",          "Z",           "bracketleft", "backslash",  "bracketright", "asciicircum",
    "underscore",  "grave",      "a",           "b",           "c",          "d",          "e",
    "f",           "g",          "h",           "i",           "j",          "k",          "l",
    "m",           "n",          "o",           "p",           "q",          "r",          "s",
    "t",           "u",          "v",           "w",           "x",          "y",          "z",
    "braceleft",   "bar",        "braceright",  "asciitilde"};

constexpr WinAnsiEntry kHighHalf[128] = {
    {0x20AC, "Euro"},          {0, nullptr},              {0x201A, "quotesinglbase"}, {0x0192, "florin"},
    {0x201E, "quotedblbase"},  {0x2026, "ellipsis"},      {0x2020, "dagger"},         {0x2021, "daggerdbl"},
    {0x02C6, "circumflex"},    {0x2030, "perthousand"},   {0x0160, "Scaron"},         {0x2039, "guilsinglleft"},
    {0x0152, "OE"},            {0, nullptr},              {0x017D, "Zcaron"},         {0, nullptr},
    {0, nullptr},              {0x2018, "quoteleft"},     {0x2019, "quoteright"},     {0x201C, "quotedblleft"},
    {0x201D, "quotedblright"}, {0x2022, "bullet"},        {0x2013, "endash"},         {0x2014, "emdash"},
    {0x02DC, "tilde"},         {0x2122, "trademark"},     {0x0161, "scaron"},         {0x203A, "guilsinglright"},
    {0x0153, "oe"},            {0, nullptr},              {0x017E, "zcaron"},         {0x0178, "Ydieresis"},
    // 0xA0 to 0xFF are Latin-1; the no-break space and the soft hyphen use
    // the glyphs of space and hyphen.
    {0xA0, "space"},           {0xA1, "exclamdown"},      {0xA2, "cent"},             {0xA3, "sterling"},
    {0xA4, "currency"},        {0xA5, "yen"},             {0xA6, "brokenbar"},        {0xA7, "section"},
    {0xA8, "dieresis"},        {0xA9, "copyright"},       {0xAA, "ordfeminine"},      {0xAB, "guillemotleft"},
    {0xAC, "logicalnot"},      {0xAD, "hyphen"},          {0xAE, "registered"},       {0xAF, "macron"},
    {0xB0, "degree"},          {0xB1, "plusminus"},       {0xB2, "twosuperior"},      {0xB3, "threesuperior"},
    {0xB4, "acute"},           {0xB5, "mu"},              {0xB6, "paragraph"},        {0xB7, "periodcentered"},
    {0xB8, "cedilla"},         {0xB9, "onesuperior"},     {0xBA, "ordmasculine"},     {0xBB, "guillemotright"},
    {0xBC, "onequarter"},      {0xBD, "onehalf"},         {0xBE, "threequarters"},    {0xBF, "questiondown"},
    {0xC0, "Agrave"},          {0xC1, "Aacute"},          {0xC2, "Acircumflex"},      {0xC3, "Atilde"},
    {0xC4, "Adieresis"},       {0xC5, "Aring"},           {0xC6, "AE"},               {0xC7, "Ccedilla"},
    {0xC8, "Egrave"},          {0xC9, "Eacute"},          {0xCA, "Ecircumflex"},      {0xCB, "Edieresis"},
    {0xCC, "Igrave"},          {0xCD, "Iacute"},          {0xCE, "Icircumflex"},      {0xCF, "Idieresis"},
    {0xD0, "Eth"},             {0xD1, "Ntilde"},          {0xD2, "Ograve"},           {0xD3, "Oacute"},
    {0xD4, "Ocircumflex"},     {0xD5, "Otilde"},          {0xD6, "Odieresis"},        {0xD7, "multiply"},
    {0xD8, "Oslash"},          {0xD9, "Ugrave"},          {0xDA, "Uacute"},           {0xDB, "Ucircumflex"},
    {0xDC, "Udieresis"},       {0xDD, "Yacute"},          {0xDE, "Thorn"},            {0xDF, "germandbls"},
    {0xE0, "agrave"},          {0xE1, "aacute"},          {0xE2, "acircumflex"},      {0xE3, "atilde"},
    {0xE4, "adieresis"},       {0xE5, "aring"},           {0xE6, "ae"},               {0xE7, "ccedilla"},
    {0xE8, "egrave"},          {0xE9, "eacute"},          {0xEA, "ecircumflex"},      {0xEB, "edieresis"},
    {0xEC, "igrave"},          {0xED, "iacute"},          {0xEE, "icircumflex"},      {0xEF, "idieresis"},
    {0xF0, "eth"},             {0xF1, "ntilde"},          {0xF2, "ograve"},           {0xF3, "oacute"},
    {0xF4, "ocircumflex"},     {0xF5, "otilde"},          {0xF6, "odieresis"},        {0xF7, "divide"},
    {0xF8, "oslash"},          {0xF9, "ugrave"},          {0xFA, "uacute"},           {0xFB, "ucircumflex"},
    {0xFC, "udieresis"},       {0xFD, "yacute"},          {0xFE, "thorn"},            {0xFF, "ydieresis"},
};

// The standard 14 and the AFM file of each.
struct StandardFont {
  const char* name;
  const char* file;
};
constexpr StandardFont kStandard14[14] = {
    {"Helvetica", "NimbusSans-Regular"},      {"Helvetica-Bold", "NimbusSans-Bold"},
    {"Helvetica-Oblique", "NimbusSans-Italic"}, {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
    {"Times-Roman", "NimbusRoman-Regular"},   {"Times-Bold", "NimbusRoman-Bold"},
    {"Times-Italic", "NimbusRoman-Italic"},   {"Times-BoldItalic", "NimbusRoman-BoldItalic"},
    {"Courier", "NimbusMonoPS-Regular"},      {"Courier-Bold", "NimbusMonoPS-Bold"},
    {"Courier-Oblique", "NimbusMonoPS-Italic"}, {"Courier-BoldOblique", "NimbusMonoPS-BoldItalic"},
    {"Symbol", "StandardSymbolsPS"},          {"ZapfDingbats", "D050000L"},
};

constexpr const char* kDefaultFontFolder = "/usr/share/fonts/type1/urw-base35";

// Descriptor flag bits.
constexpr int32_t kFixedPitch = 1 << 0;
constexpr int32_t kSerif = 1 << 1;
constexpr int32_t kSymbolic = 1 << 2;
constexpr int32_t kNonsymbolic = 1 << 5;
constexpr int32_t kItalic = 1 << 6;
constexpr int32_t kForceBold = 1 << 18;

std::string_view Trim(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// Splits at runs of blanks.
std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r')) ++i;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '\r') ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

// A finite number in the C locale's syntax; std::from_chars never looks at
// the process locale.
std::optional<float> Number(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  float value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> Integer(std::string_view s) {
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

struct GlyphBox {
  float bottom = 0, top = 0;
  bool known = false;
};

// One line of the character metrics section: "C 32 ; WX 278 ; N space ; B ...".
// True when it gave a width to a code or a name.
bool ParseCharMetrics(std::string_view line, AfmFont& font, std::unordered_map<std::string, GlyphBox>& boxes) {
  std::optional<int> code;
  std::optional<float> width;
  std::string name;
  GlyphBox box;
  while (!line.empty()) {
    const size_t semicolon = line.find(';');
    const std::vector<std::string_view> words = Words(line.substr(0, semicolon));
    line = semicolon == std::string_view::npos ? std::string_view() : line.substr(semicolon + 1);
    if (words.empty()) continue;
    const std::string_view key = words[0];
    if (key == "C" && words.size() == 2) {
      code = Integer(words[1]);
    } else if (key == "CH" && words.size() == 2 && words[1].size() > 2 && words[1].front() == '<') {
      int value = 0;
      auto hex = words[1].substr(1, words[1].size() - 2);
      if (std::from_chars(hex.data(), hex.data() + hex.size(), value, 16).ec == std::errc()) code = value;
    } else if ((key == "WX" || key == "W0X") && words.size() == 2) {
      width = Number(words[1]);
    } else if ((key == "W" || key == "W0") && words.size() == 3) {
      width = Number(words[1]);
    } else if (key == "N" && words.size() == 2) {
      name = std::string(words[1]);
    } else if (key == "B" && words.size() == 5) {
      auto bottom = Number(words[2]), top = Number(words[4]);
      if (bottom && top) box = {*bottom, *top, true};
    }
  }
  if (!width) return false;
  const bool coded = code && *code >= 0 && *code < 256;
  if (coded) font.widthByCode[static_cast<size_t>(*code)] = *width;
  if (!name.empty()) {
    font.widthByName.emplace(name, *width);
    if (box.known) boxes.emplace(name, box);
  }
  return coded || !name.empty();
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool Contains(std::string const& haystack, std::string_view needle) {
  return haystack.find(needle) != std::string::npos;
}

enum class Family { Helvetica, Times, Courier, Symbol, ZapfDingbats };

std::string FaceOf(Family family, bool bold, bool italic) {
  static const char* const kSuffix[2][2] = {{"", "-Oblique"}, {"-Bold", "-BoldOblique"}};
  static const char* const kTimes[2][2] = {{"Times-Roman", "Times-Italic"}, {"Times-Bold", "Times-BoldItalic"}};
  switch (family) {
    case Family::Helvetica: return std::string("Helvetica") + kSuffix[bold][italic];
    case Family::Courier: return std::string("Courier") + kSuffix[bold][italic];
    case Family::Times: return kTimes[bold][italic];
    case Family::Symbol: return "Symbol";
    case Family::ZapfDingbats: return "ZapfDingbats";
  }
  return "Helvetica";
}

// Lower-cases the family part of a name and collects the style words that
// follow a comma or hyphen.
std::string FamilyKey(std::string_view name, bool& bold, bool& italic) {
  std::string family, style;
  bool inStyle = false;
  for (char c : name) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == ',' || c == '-') inStyle = true;
    else if (inStyle) style += lower;
    else if (c != ' ' && c != '_' && c != '\t') family += lower;
  }
  for (std::string_view tail : {"mt", "ps"})
    if (family.size() > tail.size() && family.compare(family.size() - tail.size(), tail.size(), tail) == 0)
      family.resize(family.size() - tail.size());
  if (Contains(style, "bold") || Contains(style, "black") || Contains(style, "heavy")) bold = true;
  if (Contains(style, "italic") || Contains(style, "oblique")) italic = true;
  return family;
}

std::optional<Family> FamilyOf(std::string const& key) {
  struct Known {
    const char* key;
    Family family;
  };
  static constexpr Known kExact[] = {
      {"helvetica", Family::Helvetica}, {"helv", Family::Helvetica},       {"arial", Family::Helvetica},
      {"times", Family::Times},         {"timesroman", Family::Times},     {"timesnewroman", Family::Times},
      {"tiro", Family::Times},          {"courier", Family::Courier},      {"couriernew", Family::Courier},
      {"cour", Family::Courier},        {"symbol", Family::Symbol},        {"symb", Family::Symbol},
      {"zapfdingbats", Family::ZapfDingbats}, {"zadb", Family::ZapfDingbats}, {"dingbats", Family::ZapfDingbats},
  };
  for (auto const& known : kExact)
    if (key == known.key) return known.family;
  // Generic families, the most specific first: "Sans Mono" is monospaced,
  // "Sans Serif" is sans.
  if (Contains(key, "mono") || Contains(key, "courier")) return Family::Courier;
  if (Contains(key, "sans") || Contains(key, "helvetica") || Contains(key, "arial")) return Family::Helvetica;
  if (Contains(key, "serif") || Contains(key, "times")) return Family::Times;
  if (Contains(key, "dingbat")) return Family::ZapfDingbats;
  return std::nullopt;
}

}  // namespace

std::optional<AfmFont> ParseAfm(std::string_view text) {
  AfmFont font;
  std::unordered_map<std::string, GlyphBox> boxes;
  bool inMetrics = false, anyGlyph = false;
  std::optional<float> ascender, descender;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    const std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (inMetrics) {
      if (line.rfind("EndCharMetrics", 0) == 0) {
        inMetrics = false;
      } else if (ParseCharMetrics(line, font, boxes)) {
        anyGlyph = true;
      }
      continue;
    }
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    const std::string_view key = words[0];
    auto value = [&]() { return words.size() >= 2 ? Number(words[1]) : std::nullopt; };
    if (key == "StartCharMetrics") inMetrics = true;
    else if (key == "Ascender") ascender = value();
    else if (key == "Descender") descender = value();
    else if (key == "CapHeight") font.metrics.capHeight = value().value_or(0);
    else if (key == "XHeight") font.metrics.xHeight = value().value_or(0);
    else if (key == "UnderlinePosition") font.underlinePosition = value().value_or(font.underlinePosition);
    else if (key == "UnderlineThickness" && value().value_or(0) > 0) font.underlineThickness = *value();
    else if (key == "ItalicAngle") font.metrics.italicAngle = value().value_or(0);
    else if (key == "IsFixedPitch") font.fixedPitch = words.size() >= 2 && words[1] == "true";
    else if (key == "Weight") font.bold = words.size() >= 2 && Contains(std::string(words[1]), "Bold");
    else if (key == "EncodingScheme") font.symbolic = words.size() >= 2 && words[1] == "FontSpecific";
    else if (key == "FontBBox" && words.size() == 5) {
      auto l = Number(words[1]), b = Number(words[2]), r = Number(words[3]), t = Number(words[4]);
      if (l && b && r && t) font.metrics.bbox = {std::min(*l, *r), std::min(*b, *t), std::max(*l, *r), std::max(*b, *t)};
    }
  }
  if (!anyGlyph) return std::nullopt;

  auto glyphEdge = [&](const char* name, bool top) -> std::optional<float> {
    auto found = boxes.find(name);
    if (found == boxes.end()) return std::nullopt;
    return top ? found->second.top : found->second.bottom;
  };
  font.metrics.ascent = ascender && *ascender != 0 ? *ascender : glyphEdge("d", true).value_or(font.metrics.bbox.top);
  font.metrics.descent =
      descender && *descender != 0 ? *descender : glyphEdge("p", false).value_or(font.metrics.bbox.bottom);
  return font;
}

std::optional<uint8_t> WinAnsiCode(char32_t unicode) {
  if (unicode >= 0x20 && unicode <= 0x7E) return static_cast<uint8_t>(unicode);
  if (unicode >= 0xA0 && unicode <= 0xFF) return static_cast<uint8_t>(unicode);
  for (int i = 0; i < 32; ++i)
    if (kHighHalf[i].name && kHighHalf[i].unicode == unicode) return static_cast<uint8_t>(0x80 + i);
  return std::nullopt;
}

std::string_view WinAnsiGlyphName(uint8_t code) {
  if (code >= 0x20 && code <= 0x7E) return kAsciiNames[code - 0x20];
  if (code >= 0x80 && kHighHalf[code - 0x80].name) return kHighHalf[code - 0x80].name;
  return {};
}

FontService::FontService(std::string folder) : folder_(std::move(folder)) {}

FontService& FontService::Application() {
  static FontService service([] {
    const char* folder = std::getenv("ANNOT_FONT_DIR");
    return std::string(folder && *folder ? folder : kDefaultFontFolder);
  }());
  return service;
}

bool FontService::IsStandard14(std::string_view baseFont) {
  return std::any_of(std::begin(kStandard14), std::end(kStandard14),
                     [&](StandardFont const& font) { return baseFont == font.name; });
}

std::optional<std::string> FontService::KnownStandardName(std::string_view family, bool bold, bool italic) {
  const std::string key = FamilyKey(family, bold, italic);
  const auto known = FamilyOf(key);
  if (!known) return std::nullopt;
  // "Times-Roman" names its upright face, not a style.
  return FaceOf(*known, bold, italic);
}

std::string FontService::StandardName(std::string_view family, bool bold, bool italic) {
  auto known = KnownStandardName(family, bold, italic);
  if (known) return *known;
  FamilyKey(family, bold, italic);
  return FaceOf(Family::Helvetica, bold, italic);
}

std::string FontService::Resolve(std::string_view baseFont) {
  if (!baseFont.empty() && baseFont.front() == '/') baseFont.remove_prefix(1);
  if (IsStandard14(baseFont)) return std::string(baseFont);
  for (auto const& font : kStandard14)
    if (SameLetters(baseFont, font.name)) return font.name;
  return StandardName(baseFont, false, false);
}

AfmFont const* FontService::Font(std::string_view baseFont) {
  const std::string name = Resolve(baseFont);
  std::lock_guard lock(mutex_);
  auto found = fonts_.find(name);
  if (found != fonts_.end()) return found->second.get();
  std::unique_ptr<AfmFont> loaded;
  for (auto const& standard : kStandard14) {
    if (name != standard.name) continue;
    auto text = ReadWholeFile(folder_ + "/" + standard.file + ".afm");
    auto parsed = text ? ParseAfm(*text) : std::nullopt;
    if (!parsed) break;
    loaded = std::make_unique<AfmFont>(std::move(*parsed));
    int32_t flags = loaded->symbolic ? kSymbolic : kNonsymbolic;
    if (loaded->fixedPitch) flags |= kFixedPitch;
    if (name.rfind("Times", 0) == 0) flags |= kSerif;
    if (loaded->metrics.italicAngle != 0) flags |= kItalic;
    if (loaded->bold) flags |= kForceBold;
    loaded->metrics.flags = flags;
  }
  return (fonts_[name] = std::move(loaded)).get();
}

namespace {

std::optional<uint8_t> CodeOf(AfmFont const& font, char32_t unicode) {
  if (!font.symbolic) return WinAnsiCode(unicode);
  if (unicode < 0x100) return static_cast<uint8_t>(unicode);
  if (unicode >= 0xF000 && unicode <= 0xF0FF) return static_cast<uint8_t>(unicode & 0xFF);
  return std::nullopt;
}

float WidthOfCode(AfmFont const& font, uint8_t code) {
  if (font.symbolic) return font.widthByCode[code];
  auto found = font.widthByName.find(std::string(WinAnsiGlyphName(code)));
  return found == font.widthByName.end() ? -1 : found->second;
}

}  // namespace

bool FontService::HasGlyph(AfmFont const& font, char32_t unicode) {
  auto code = CodeOf(font, unicode);
  return code && WidthOfCode(font, *code) >= 0;
}

uint8_t FontService::Encode(AfmFont const& font, char32_t unicode) {
  return HasGlyph(font, unicode) ? *CodeOf(font, unicode) : static_cast<uint8_t>('?');
}

float FontService::CharWidth(AfmFont const& font, char32_t unicode) {
  return std::max(0.0f, WidthOfCode(font, Encode(font, unicode)));
}

}  // namespace kshost
