#include "comment/ccm_tool_table.h"

#include <algorithm>

#include <cmath>

namespace AnnotationComment {
namespace {

KPD_ColorF Rgb(float r, float g, float b) { return KPD_ColorF{2, {r, g, b, 0}}; }

CommentStyle Style(std::optional<KPD_ColorF> color, float width, int opacity = 100,
                   std::optional<KPD_ColorF> fill = std::nullopt) {
  CommentStyle s;
  s.color = color;
  s.width = width;
  s.opacity = opacity;
  s.fill = fill;
  return s;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

const std::vector<CommentToolInfo>& CommentTools() {
  static const std::vector<CommentToolInfo> tools = [] {
    const KPD_ColorF red = Rgb(1, 0, 0), blue = Rgb(0, 0, 1), black = Rgb(0, 0, 0), yellow = Rgb(1, 0.82f, 0);
    const KPD_ColorF green = Rgb(0, 0.6f, 0.2f);
    CommentStyle text = Style(red, 1);
    text.fontSize = 12;
    CommentStyle typewriter = Style(black, 0);
    return std::vector<CommentToolInfo>{
        {"Rectangle", "Square", "", CommentGesture::kBox, "Button_Comment_Rectangle", u"Rectangle", Style(red, 1)},
        {"Ellipse", "Circle", "", CommentGesture::kBox, "Button_Comment_Ellipse", u"Ellipse", Style(red, 1)},
        {"Line", "Line", "", CommentGesture::kLine, "Button_Comment_Line", u"Line", Style(red, 1)},
        {"Arrow", "Line", "LineArrow", CommentGesture::kLine, "Button_Comment_Arrow", u"Arrow", Style(red, 1)},
        {"Polyline", "PolyLine", "", CommentGesture::kVertices, "Button_Comment_Polyline", u"Polyline",
         Style(red, 1)},
        {"Polygon", "Polygon", "", CommentGesture::kVertices, "Button_Comment_Polygon", u"Polygon", Style(red, 1)},
        {"Cloud", "Polygon", "PolygonCloud", CommentGesture::kVertices, "Button_Comment_Cloud", u"Cloud",
         Style(red, 1)},
        {"Callout", "FreeText", "FreeTextCallout", CommentGesture::kCallout, "Button_Comment_Callout", u"Callout",
         text},
        {"Pen", "Ink", "", CommentGesture::kFreehand, "Button_Comment_Pen", u"Pen", Style(blue, 2)},
        {"Highlighter", "Ink", "InkHighlight", CommentGesture::kFreehand, "Button_Comment_Highlighter",
         u"Highlighter", Style(yellow, 12, 50)},
        {"TextBox", "FreeText", "", CommentGesture::kTextBox, "Button_Comment_TextBox", u"Text Box", text},
        {"Typewriter", "FreeText", "FreeTextTypewriter", CommentGesture::kTypewriter, "Button_Comment_Typewriter",
         u"Typewriter", typewriter},
        {"Note", "Text", "", CommentGesture::kNote, "Button_Comment_Note", u"Note", Style(yellow, 1)},
        {"Highlight", "Highlight", "", CommentGesture::kTextMarkup, "Button_Comment_Highlight", u"Highlight",
         Style(yellow, 1)},
        {"Underline", "Underline", "", CommentGesture::kTextMarkup, "Button_Comment_Underline", u"Underline",
         Style(green, 1)},
        {"StrikeOut", "StrikeOut", "", CommentGesture::kTextMarkup, "Button_Comment_StrikeOut", u"Strikethrough",
         Style(red, 1)},
        {"Squiggly", "Squiggly", "", CommentGesture::kTextMarkup, "Button_Comment_Squiggly", u"Squiggly",
         Style(green, 1)},
        {"Caret", "Caret", "", CommentGesture::kCaret, "Button_Comment_Caret", u"Insert Text", Style(blue, 1)},
        {"Stamp", "Stamp", "", CommentGesture::kStamp, "Button_Comment_Stamp", u"Stamp", Style({}, 1)},
        {"Attach", "FileAttachment", "", CommentGesture::kAttach, "Button_Comment_Attach", u"Attach File",
         Style(blue, 1)},
    };
  }();
  return tools;
}

const CommentToolInfo* FindCommentTool(const std::string& name) {
  for (const CommentToolInfo& t : CommentTools())
    if (name == t.name) return &t;
  return nullptr;
}

std::u16string CommentStyleSection(const CommentToolInfo& tool) {
  std::u16string s = u"Comment\\";
  for (const char* p = tool.name; *p; ++p) s += char16_t(*p);
  return s;
}

std::optional<KPD_ColorF> ParseHexColor(const std::u16string& text) {
  if (text.size() != 7 || text[0] != u'#') return std::nullopt;
  int v[3];
  for (int i = 0; i < 3; ++i) {
    const int hi = HexDigit(text[1 + 2 * i]), lo = HexDigit(text[2 + 2 * i]);
    if (hi < 0 || lo < 0) return std::nullopt;
    v[i] = hi * 16 + lo;
  }
  return KPD_ColorF{2, {v[0] / 255.0f, v[1] / 255.0f, v[2] / 255.0f, 0}};
}

std::u16string HexColor(const KPD_ColorF& color) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string s = u"#";
  for (int i = 0; i < 3; ++i) {
    const float c = color.c[i] < 0 ? 0 : color.c[i] > 1 ? 1 : color.c[i];
    const int v = static_cast<int>(std::lround(c * 255));
    s += kDigits[v / 16];
    s += kDigits[v % 16];
  }
  return s;
}

const std::vector<std::string>& StandardStampNames() {
  static const std::vector<std::string> names = {
      "Approved", "Experimental", "NotApproved", "AsIs", "Expired", "NotForPublicRelease", "Confidential",
      "Final", "Sold", "Departmental", "ForComment", "TopSecret", "Draft", "ForPublicRelease"};
  return names;
}

std::u16string CustomStampText(const std::u16string& typed) {
  // The characters kept, each one or two UTF-16 units.
  std::vector<std::u16string> kept;
  for (size_t i = 0; i < typed.size(); ++i) {
    const char16_t c = typed[i];
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) continue;
    const bool pair =
        c >= 0xD800 && c < 0xDC00 && i + 1 < typed.size() && typed[i + 1] >= 0xDC00 && typed[i + 1] < 0xE000;
    if (pair) {
      kept.push_back(typed.substr(i++, 2));
    } else if (c < 0xD800 || c >= 0xE000) {  // a lone half of a pair is no character
      kept.emplace_back(1, c);
    }
  }
  size_t first = 0, last = kept.size();
  while (first < last && kept[first] == u" ") ++first;
  while (last > first && kept[last - 1] == u" ") --last;
  last = std::min(last, first + 64);
  while (last > first && kept[last - 1] == u" ") --last;
  std::u16string text;
  for (size_t i = first; i < last; ++i) text += kept[i];
  return text;
}

}  // namespace AnnotationComment
