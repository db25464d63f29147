#include "kwannotation/kw_rich_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "kwannotation/kw_default_appearance.h"
#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

// Elements nested deeper than this still give their text, but their style
// attributes are no longer read: the style of the element at this depth
// holds for everything inside it. Keeps a pathological body linear.
constexpr size_t kMaxStyledDepth = 256;

bool IsDeclarationTrim(char16_t c) {
  return c == u'\'' || c == u'"' || c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string_view TrimDeclaration(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsDeclarationTrim(s[b])) ++b;
  while (e > b && IsDeclarationTrim(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

std::u16string Lower(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = LowerAscii(c);
  return out;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Length of the digits at `from`.
size_t DigitsAt(std::u16string_view s, size_t from) {
  size_t i = from;
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i - from;
}

// A sign and at least one digit: "-5.5pt" is negative, "+3pt" positive.
bool SignedNumberStart(std::u16string_view s, char16_t sign) {
  return s.size() >= 2 && s[0] == sign && IsDigit(s[1]);
}

// The number a font size starts with. Digits, optionally a point and more
// digits, lose their unit ("10.5px" is 10.5); other text is read as far as
// it is a number ("-5pt" is -5, ".5pt" 0.5). False when no finite number
// starts it.
bool ParseFontSize(std::u16string_view value, float* size) {
  std::string ascii;
  size_t whole = DigitsAt(value, 0);
  size_t end = whole;
  if (whole > 0 && end < value.size() && value[end] == u'.') {
    size_t fraction = DigitsAt(value, end + 1);
    if (fraction > 0) end += 1 + fraction;
  }
  if (whole == 0) end = value.size();
  for (size_t i = 0; i < end; ++i) {
    if (value[i] > 0x7f) break;
    ascii.push_back(static_cast<char>(value[i]));
  }
  if (ascii.empty()) return false;
  char* stop = nullptr;
  const double v = std::strtod(ascii.c_str(), &stop);
  if (stop == ascii.c_str() || !std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
  *size = static_cast<float>(v);
  return true;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  c = LowerAscii(c);
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

void AppendAscii(std::u16string& out, const char* text) { text::AppendAscii(out, text); }

}  // namespace

// ---- styles ------------------------------------------------------------------

std::u16string FirstFontFamily(std::u16string_view families) {
  size_t comma = families.find(u',');
  std::u16string_view first = families.substr(0, comma);
  return std::u16string(TrimDeclaration(first));
}

bool ApplyFontShorthand(std::u16string_view value, CKW_RichTextStyle* style) {
  std::u16string ds = u"font:";
  ds += value;
  DefaultStyleFont font;
  if (!CDS_DefaultAppearance(ds).GetFont(&font)) return false;
  std::u16string family = FirstFontFamily(font.family);
  if (!family.empty()) style->fontFamily = family;
  if (font.size > 0 && std::isfinite(font.size)) style->fontSize = font.size;
  style->bold = font.bold;
  style->italic = font.italic;
  return !family.empty() || font.size > 0 || font.bold || font.italic;
}

bool ApplyRichTextStyle(std::u16string_view css, CKW_RichTextStyle* style) {
  std::map<std::u16string, std::u16string> declarations;
  std::u16string_view rest = css;
  while (!rest.empty()) {
    const size_t semicolon = rest.find(u';');
    std::u16string_view declaration = rest.substr(0, semicolon);
    rest = semicolon == std::u16string_view::npos ? std::u16string_view() : rest.substr(semicolon + 1);
    const size_t colon = declaration.find(u':');
    if (colon == std::u16string_view::npos) continue;
    std::u16string name = Lower(TrimDeclaration(declaration.substr(0, colon)));
    if (name.empty()) continue;
    declarations[name] = std::u16string(TrimDeclaration(declaration.substr(colon + 1)));
  }
  auto find = [&](const char16_t* name) -> const std::u16string* {
    auto it = declarations.find(name);
    return it == declarations.end() ? nullptr : &it->second;
  };
  if (const auto* v = find(u"font")) ApplyFontShorthand(*v, style);
  if (const auto* v = find(u"font-family")) style->fontFamily = *v;
  if (const auto* v = find(u"vertical-align")) {
    style->verticalAlign = SignedNumberStart(*v, u'-')   ? CKW_RichTextStyle::kSubscript
                           : SignedNumberStart(*v, u'+') ? CKW_RichTextStyle::kSuperscript
                                                         : CKW_RichTextStyle::kBaseline;
  }
  if (const auto* v = find(u"font-weight")) {
    const std::u16string w = Lower(*v);
    style->bold = w == u"bold" || w == u"700" || w == u"800" || w == u"900";
  }
  if (const auto* v = find(u"font-style")) style->italic = Lower(*v) == u"italic";
  if (const auto* v = find(u"text-decoration")) {
    const std::u16string d = Lower(*v);
    style->strikeThrough = d.find(u"line-through") != std::u16string::npos;
    style->underline =
        d.find(u"underline") != std::u16string::npos || d == u"word" || d == u"double" || d == u"double word";
  }
  if (const auto* v = find(u"font-size")) {
    if (!v->empty()) {
      float size = 0;
      if (!ParseFontSize(*v, &size)) return false;
      style->fontSize = size;
    }
  }
  if (const auto* v = find(u"color")) style->color = *v;
  if (const auto* v = find(u"text-align")) {
    const std::u16string a = Lower(*v);
    style->textAlign = a == u"center"    ? CKW_RichTextStyle::kCenter
                       : a == u"right"   ? CKW_RichTextStyle::kRight
                       : a == u"justify" ? CKW_RichTextStyle::kJustify
                                         : CKW_RichTextStyle::kLeft;
  }
  return true;
}

std::u16string RichTextStyleToCss(const CKW_RichTextStyle& style) {
  std::u16string out;
  auto declare = [&](const char* name, std::u16string_view value) {
    AppendAscii(out, name);
    out += u':';
    out += value;
    out += u';';
  };
  if (!style.color.empty()) declare("color", style.color);
  if (!style.fontFamily.empty()) declare("font-family", style.fontFamily);
  if (style.HasFontSize()) {
    declare("font-size", text::FromAscii(ks::FormatFixed(style.fontSize, 2) + "pt"));
  }
  declare("font-style", style.italic ? u"italic" : u"normal");
  declare("font-weight", style.bold ? u"bold" : u"normal");
  if (style.HasTextAlign()) {
    static constexpr const char16_t* kAlign[] = {u"left", u"center", u"right", u"justify"};
    declare("text-align", kAlign[style.textAlign]);
  }
  declare("text-decoration", style.strikeThrough && style.underline ? u"line-through underline"
                             : style.strikeThrough                  ? u"line-through"
                             : style.underline                      ? u"underline"
                                                                    : u"none");
  if (style.verticalAlign == CKW_RichTextStyle::kSuperscript) declare("vertical-align", u"+0.0pt");
  if (style.verticalAlign == CKW_RichTextStyle::kSubscript) declare("vertical-align", u"-0.0pt");
  return out;
}

bool ParseCssColor(std::u16string_view value, KPD_ColorF* color) {
  std::u16string v = Lower(text::Trim(value));
  float rgb[3] = {0, 0, 0};
  if (!v.empty() && v[0] == u'#') {
    const size_t digits = v.size() - 1;
    if (digits != 3 && digits != 6) return false;
    for (size_t i = 1; i < v.size(); ++i)
      if (HexValue(v[i]) < 0) return false;
    for (int i = 0; i < 3; ++i) {
      const int byte = digits == 3 ? HexValue(v[1 + i]) * 17 : HexValue(v[1 + 2 * i]) * 16 + HexValue(v[2 + 2 * i]);
      rgb[i] = static_cast<float>(byte) / 255.0f;
    }
  } else if (v.rfind(u"rgb(", 0) == 0 && v.back() == u')') {
    std::u16string_view inner = std::u16string_view(v).substr(4, v.size() - 5);
    for (int i = 0; i < 3; ++i) {
      const size_t comma = inner.find(u',');
      if ((i < 2) == (comma == std::u16string_view::npos)) return false;
      std::u16string_view part = text::Trim(inner.substr(0, comma));
      inner = comma == std::u16string_view::npos ? std::u16string_view() : inner.substr(comma + 1);
      const bool percent = !part.empty() && part.back() == u'%';
      if (percent) part.remove_suffix(1);
      std::string ascii;
      if (part.empty() || !text::ToAscii(part, ascii)) return false;
      char* stop = nullptr;
      const double n = std::strtod(ascii.c_str(), &stop);
      if (*stop || !std::isfinite(n)) return false;
      rgb[i] = static_cast<float>(std::clamp(percent ? n / 100.0 : n / 255.0, 0.0, 1.0));
    }
  } else {
    static constexpr std::pair<const char16_t*, uint32_t> kNames[] = {
        {u"black", 0x000000}, {u"white", 0xFFFFFF}, {u"red", 0xFF0000},    {u"green", 0x008000},
        {u"blue", 0x0000FF},  {u"yellow", 0xFFFF00}, {u"gray", 0x808080},  {u"grey", 0x808080},
        {u"orange", 0xFFA500}, {u"purple", 0x800080}, {u"navy", 0x000080}, {u"maroon", 0x800000},
    };
    auto it = std::find_if(std::begin(kNames), std::end(kNames), [&](const auto& n) { return v == n.first; });
    if (it == std::end(kNames)) return false;
    for (int i = 0; i < 3; ++i) rgb[i] = static_cast<float>((it->second >> (16 - 8 * i)) & 0xFF) / 255.0f;
  }
  *color = KPD_ColorF{KPD_COLOR_RGB, {rgb[0], rgb[1], rgb[2], 0}};
  return true;
}

// ---- elements ----------------------------------------------------------------

std::string CKW_RichTextXMLElement::GetTagName() const {
  host::ByteString name;
  if (!element_ || !host::XmlElementName(element_, name.get())) return {};
  std::string tag = name.str();
  const size_t colon = tag.rfind(':');
  return colon == std::string::npos ? tag : tag.substr(colon + 1);
}

bool CKW_RichTextXMLElement::GetAttribute(const char* name, std::u16string* value) const {
  host::ByteString out;
  if (!element_ || !host::XmlGetAttribute(element_, name, out.get())) return false;
  if (value) *value = text::FromUtf8(out.str());
  return true;
}

CKW_RichTextXMLElement CKW_RichTextXMLElement::GetParent() const {
  return CKW_RichTextXMLElement(element_ ? host::XmlParent(element_) : nullptr);
}

// ---- documents ---------------------------------------------------------------

CKW_RichTextXML::~CKW_RichTextXML() {
  if (doc_) host::XmlRelease(doc_);
}

std::unique_ptr<CKW_RichTextXML> CKW_RichTextXML::Parse(std::u16string_view rc) {
  std::string utf8 = rc.empty() ? std::string(kRichTextTemplate) : text::ToUtf8(rc);
  if (utf8.empty()) return nullptr;
  host::ByteString error;
  KX_Document doc = host::XmlParse(utf8.data(), utf8.size(), error.get());
  if (!doc) return nullptr;
  KX_Element root = host::XmlGetRoot(doc);
  if (!root) {
    host::XmlRelease(doc);
    return nullptr;
  }
  return std::unique_ptr<CKW_RichTextXML>(new CKW_RichTextXML(doc, root));
}

std::unique_ptr<CKW_RichTextXML> CKW_RichTextXML::Write(
    const std::vector<std::vector<RichTextWriteRun>>& paragraphs) {
  auto xml = Parse(u"");
  if (!xml) return nullptr;
  for (const auto& paragraph : paragraphs) {
    KX_Element p = host::XmlAppendChild(xml->root_, "p");
    if (!p) return nullptr;
    for (const auto& run : paragraph) {
      KX_Element span = host::XmlAppendChild(p, "span");
      if (!span) return nullptr;
      host::XmlSetAttribute(span, "style", text::ToUtf8(RichTextStyleToCss(run.style)).c_str());
      // Line breaks inside a run are CR LF pairs, as comments store them.
      std::u16string body;
      for (size_t i = 0; i < run.text.size(); ++i) {
        const char16_t c = run.text[i];
        if (c == u'\r' && i + 1 < run.text.size() && run.text[i + 1] == u'\n') continue;
        if (c == u'\n' || c == u'\r') body += u"\r\n";
        else body += c;
      }
      if (!body.empty()) host::XmlAppendText(span, text::ToUtf8(body).c_str());
    }
  }
  return xml;
}

std::u16string CKW_RichTextXML::Serialize() const {
  host::ByteString out;
  if (!root_ || !host::XmlSerialize(root_, 0, 0, out.get())) return {};
  const std::u16string printed = text::FromUtf8(out.str());
  std::u16string rc = text::FromAscii(kRichTextDeclaration);
  rc.reserve(printed.size() + rc.size());
  for (size_t i = 0; i < printed.size(); ++i) {
    if (printed[i] == u'\r' && i + 1 < printed.size() && printed[i + 1] == u'\n') {
      rc += u"&#x0D;&#x0A;";
      ++i;
    } else if (printed[i] == u'\r') {
      // A bare carriage return would read back as a line feed.
      rc += u"&#x0D;";
    } else {
      rc += printed[i];
    }
  }
  return rc;
}

EnumContentsFlag CKW_RichTextXML::EnumContents(const EnumCallback& callback, int32_t target) const {
  if (!root_) return kEnumContinue;
  // Depth-first without recursion: the stack holds the element being
  // walked and, for each, the node to visit next.
  struct Frame {
    KX_Element element;
    KX_Element next;
  };
  std::vector<Frame> stack{{root_, host::XmlFirstNode(root_)}};
  int32_t index = 0;
  while (!stack.empty()) {
    Frame& top = stack.back();
    KX_Element node = top.next;
    if (!node) {
      stack.pop_back();
      continue;
    }
    top.next = host::XmlNextNode(node);
    host::ByteString text;
    const int32_t kind = host::XmlNodeText(node, text.get());
    if (kind == 2) {
      EnumContentsFlag flag =
          callback(RichTextNodeKind::kText, CKW_RichTextXMLElement(top.element), node, index, target);
      if (flag != kEnumContinue) return flag;
      ++index;
    } else if (kind == 1) {
      EnumContentsFlag flag =
          callback(RichTextNodeKind::kElement, CKW_RichTextXMLElement(node), node, index, target);
      if (flag != kEnumContinue) return flag;
      stack.push_back({node, host::XmlFirstNode(node)});
    }
  }
  return kEnumContinue;
}

std::u16string CKW_RichTextXML::GetRichTextContents(int32_t index) const {
  std::u16string result;
  EnumContents(
      [&](RichTextNodeKind kind, const CKW_RichTextXMLElement&, KX_Element node, int32_t i, int32_t target) {
        if (kind != RichTextNodeKind::kText || i != target) return kEnumContinue;
        host::ByteString text;
        host::XmlNodeText(node, text.get());
        result = text::FromUtf8(text.str());
        return kEnumHandled;
      },
      index);
  return result;
}

bool CKW_RichTextXML::GetRichTextStyle(int32_t index, CKW_RichTextStyle* style) const {
  const EnumContentsFlag flag = EnumContents(
      [&](RichTextNodeKind kind, const CKW_RichTextXMLElement& element, KX_Element, int32_t i, int32_t target) {
        if (kind != RichTextNodeKind::kText || i != target) return kEnumContinue;
        // The style attributes from the run's element up to the root,
        // innermost first, then applied outermost first.
        std::vector<std::u16string> styles;
        for (CKW_RichTextXMLElement e = element; e; e = e.GetParent()) {
          std::u16string css;
          if (e.GetAttribute("style", &css)) styles.push_back(std::move(css));
        }
        bool ok = true;
        for (auto it = styles.rbegin(); it != styles.rend(); ++it) ok = ApplyRichTextStyle(*it, style) && ok;
        return ok ? kEnumHandled : kEnumStyleFailed;
      },
      index);
  return flag == kEnumHandled;
}

std::vector<RichTextRun> CKW_RichTextXML::GetRuns(const CKW_RichTextStyle& base, size_t maxChars) const {
  std::vector<RichTextRun> runs;
  if (!root_) return runs;
  struct Frame {
    KX_Element next;
    bool block;  // a "p" or "div": what follows it starts a new line
  };
  std::vector<CKW_RichTextStyle> styles{base};
  {
    std::u16string css;
    if (GetRoot().GetAttribute("style", &css)) ApplyRichTextStyle(css, &styles.back());
  }
  std::vector<Frame> stack{{host::XmlFirstNode(root_), false}};
  bool newLine = false;
  auto lineBreak = [&] {
    if (!runs.empty()) newLine = true;
  };
  size_t chars = 0;
  while (!stack.empty() && chars < maxChars) {
    Frame& top = stack.back();
    KX_Element node = top.next;
    if (!node) {
      if (top.block) lineBreak();
      if (stack.size() <= styles.size() && styles.size() > 1) styles.pop_back();
      stack.pop_back();
      continue;
    }
    top.next = host::XmlNextNode(node);
    host::ByteString bytes;
    const int32_t kind = host::XmlNodeText(node, bytes.get());
    if (kind == 2) {
      std::u16string raw = text::FromUtf8(bytes.str());
      RichTextRun run;
      run.style = styles.back();
      run.paragraphStart = newLine;
      newLine = false;
      run.text.reserve(raw.size());
      for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'\r') {
          run.text += u'\n';
          if (i + 1 < raw.size() && raw[i + 1] == u'\n') ++i;
        } else {
          run.text += raw[i];
        }
      }
      chars += run.text.size();
      runs.push_back(std::move(run));
      continue;
    }
    if (kind != 1) continue;
    CKW_RichTextXMLElement element(node);
    const std::string tag = element.GetTagName();
    if (tag == "br") {
      // A break at the very start still counts: it is an empty first line.
      if (runs.empty()) runs.push_back(RichTextRun{u"", styles.back(), false});
      newLine = true;
      continue;
    }
    const bool block = tag == "p" || tag == "div";
    if (block) lineBreak();
    if (styles.size() < kMaxStyledDepth) {
      CKW_RichTextStyle style = styles.back();
      std::u16string css;
      if (element.GetAttribute("style", &css)) ApplyRichTextStyle(css, &style);
      styles.push_back(std::move(style));
    }
    stack.push_back({host::XmlFirstNode(node), block});
  }
  return runs;
}

std::u16string CKW_RichTextXML::GetPlainText() const {
  std::u16string text;
  for (const RichTextRun& run : GetRuns(CKW_RichTextStyle{})) {
    if (run.paragraphStart) text += u'\n';
    text += run.text;
  }
  return text;
}

std::u16string KW_RichTextForPlainText(std::u16string_view oldRc, std::u16string_view text) {
  auto old = CKW_RichTextXML::Parse(oldRc);
  if (!old) return {};
  // A body printed with indentation starts with runs of white space
  // between its elements; the style worth keeping is that of the text.
  constexpr size_t kLookedAt = 4096;
  const std::vector<RichTextRun> runs = old->GetRuns(CKW_RichTextStyle{}, kLookedAt);
  auto visible = std::find_if(runs.begin(), runs.end(), [](const RichTextRun& run) {
    return std::any_of(run.text.begin(), run.text.end(),
                       [](char16_t c) { return c != u' ' && c != u'\t' && c != u'\n' && c != u'\r'; });
  });
  const CKW_RichTextStyle style =
      visible != runs.end() ? visible->style : runs.empty() ? CKW_RichTextStyle{} : runs.front().style;
  std::vector<std::vector<RichTextWriteRun>> paragraphs;
  std::u16string line;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != u'\n' && text[i] != u'\r') {
      line += text[i];
      continue;
    }
    paragraphs.push_back({RichTextWriteRun{std::move(line), style}});
    line.clear();
    if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n') ++i;
  }
  auto written = CKW_RichTextXML::Write(paragraphs);
  return written ? written->Serialize() : std::u16string();
}

}  // namespace kwannotation
