#include "comment/ccm_tool_table.h"

#include <algorithm>

#include <cmath>

#include "tessel/translator.h"

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
        {"Rectangle", "Square", "", CommentGesture::kBox, "Button_Comment_Rectangle", "IDS_EDITOR_TOOL_RECTANGLE", Style(red, 1)},
        {"Ellipse", "Circle", "", CommentGesture::kBox, "Button_Comment_Ellipse", "IDS_EDITOR_TOOL_ELLIPSE", Style(red, 1)},
        {"Line", "Line", "", CommentGesture::kLine, "Button_Comment_Line", "IDS_EDITOR_TOOL_LINE", Style(red, 1)},
        {"Arrow", "Line", "LineArrow", CommentGesture::kLine, "Button_Comment_Arrow", "IDS_EDITOR_TOOL_ARROW", Style(red, 1)},
        {"Polyline", "PolyLine", "", CommentGesture::kVertices, "Button_Comment_Polyline", "IDS_EDITOR_TOOL_POLYLINE",
         Style(red, 1)},
        {"Polygon", "Polygon", "", CommentGesture::kVertices, "Button_Comment_Polygon", "IDS_EDITOR_TOOL_POLYGON", Style(red, 1)},
        {"Cloud", "Polygon", "PolygonCloud", CommentGesture::kVertices, "Button_Comment_Cloud", "IDS_EDITOR_TOOL_CLOUD",
         Style(red, 1)},
        {"Callout", "FreeText", "FreeTextCallout", CommentGesture::kCallout, "Button_Comment_Callout", "IDS_EDITOR_TOOL_CALLOUT",
         text},
        {"Pen", "Ink", "", CommentGesture::kFreehand, "Button_Comment_Pen", "IDS_EDITOR_TOOL_PEN", Style(blue, 2)},
        {"Highlighter", "Ink", "InkHighlight", CommentGesture::kFreehand, "Button_Comment_Highlighter",
         "IDS_EDITOR_TOOL_HIGHLIGHTER", Style(yellow, 12, 50)},
        {"TextBox", "FreeText", "", CommentGesture::kTextBox, "Button_Comment_TextBox", "IDS_EDITOR_TOOL_TEXTBOX", text},
        {"Typewriter", "FreeText", "FreeTextTypewriter", CommentGesture::kTypewriter, "Button_Comment_Typewriter",
         "IDS_EDITOR_TOOL_TYPEWRITER", typewriter},
        {"Note", "Text", "", CommentGesture::kNote, "Button_Comment_Note", "IDS_EDITOR_TOOL_NOTE", Style(yellow, 1)},
        {"Highlight", "Highlight", "", CommentGesture::kTextMarkup, "Button_Comment_Highlight", "IDS_EDITOR_TOOL_HIGHLIGHT",
         Style(yellow, 1)},
        {"Underline", "Underline", "", CommentGesture::kTextMarkup, "Button_Comment_Underline", "IDS_EDITOR_TOOL_UNDERLINE",
         Style(green, 1)},
        {"StrikeOut", "StrikeOut", "", CommentGesture::kTextMarkup, "Button_Comment_StrikeOut", "IDS_EDITOR_TOOL_STRIKEOUT",
         Style(red, 1)},
        {"Squiggly", "Squiggly", "", CommentGesture::kTextMarkup, "Button_Comment_Squiggly", "IDS_EDITOR_TOOL_SQUIGGLY",
         Style(green, 1)},
        {"Caret", "Caret", "", CommentGesture::kCaret, "Button_Comment_Caret", "IDS_EDITOR_TOOL_CARET", Style(blue, 1)},
        {"Stamp", "Stamp", "", CommentGesture::kStamp, "Button_Comment_Stamp", "IDS_EDITOR_TOOL_STAMP", Style({}, 1)},
        {"Attach", "FileAttachment", "", CommentGesture::kAttach, "Button_Comment_Attach", "IDS_EDITOR_TOOL_ATTACH",
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

std::u16string CommentText(const std::string& key) {
  Tessel::Translator& tr = Tessel::Translator::GetInstance();
  if (!tr.HasTranslation("Editor", key)) tr.LoadStrings("Editor");
  return tr.Translate("Editor", key, u"");
}

const std::vector<const char*>& CommentCaptionKeys() {
  static const std::vector<const char*> keys = {kUndoCreateKey, kUndoPropertiesKey, kAttachUnreadableKey,
                                                kStampTextTitleKey, kStampTextLabelKey};
  return keys;
}

std::u16string CommentToolTitle(const CommentToolInfo& tool) { return CommentText(tool.titleKey); }
std::u16string CommentToolTip(const CommentToolInfo& tool) { return CommentText(std::string(tool.titleKey) + "_TIP"); }

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
