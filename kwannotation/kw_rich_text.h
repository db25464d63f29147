// Rich text: the XHTML body kept in a comment's /RC, with its paragraphs
// ("p"), runs ("span") and their CSS "style" attributes.
//
// The XML itself is parsed and printed by the host (selector 740); this
// file knows the shape of a rich-text body, which text belongs to which
// run, and how a run's effective style follows from the style attributes
// of the elements around it.
#pragma once

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// The body of an empty /RC, and the declaration put in front of every
// printed body.
inline constexpr std::string_view kRichTextDeclaration = "<?xml version=\"1.0\"?>";
inline constexpr std::string_view kRichTextTemplate =
    "<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\" "
    "xmlns:xfa=\"http://www.xfa.org/schema/xfa-data/1.0/\" xfa:APIVersion=\"Acrobat:11.0.0\" "
    "xfa:spec=\"2.0.2\"/>";

// The effective style of a run. Every field may be unset.
struct CKW_RichTextStyle {
  static constexpr float kUnsetSize = FLT_MAX;
  enum Align : int32_t { kLeft = 0, kCenter = 1, kRight = 2, kJustify = 3, kUnsetAlign = -1 };
  enum VAlign : int32_t { kBaseline = 0, kSuperscript = 1, kSubscript = 2 };

  std::u16string fontFamily;  // empty: unset
  std::u16string color;       // as written in the CSS; empty: unset
  float fontSize = kUnsetSize;  // points
  int32_t textAlign = kUnsetAlign;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeThrough = false;
  int32_t verticalAlign = kBaseline;

  bool HasFontSize() const { return fontSize != kUnsetSize; }
  bool HasTextAlign() const { return textAlign >= kLeft && textAlign <= kJustify; }
};

// Applies one "style" attribute (declarations separated by ";") on top of
// `style`. Properties it does not name keep their values; the "font"
// shorthand is read first and the longhand properties override it. False
// when a value cannot be read as a number where one is needed; the
// properties applied before it stay applied.
bool ApplyRichTextStyle(std::u16string_view css, CKW_RichTextStyle* style);

// Applies a "font" shorthand value ("italic bold 12pt 'Times New Roman'")
// through the /DS reader: family, size, bold and italic. False when it
// holds nothing usable.
bool ApplyFontShorthand(std::u16string_view value, CKW_RichTextStyle* style);

// The style written back as CSS: declarations in property-name order,
// "name:value;" each, nothing between them.
std::u16string RichTextStyleToCss(const CKW_RichTextStyle& style);

// An RGB colour from a CSS colour value: "#RRGGBB", "#RGB", "rgb(r, g, b)"
// (0-255 or percentages) or one of the basic colour names. False for
// anything else ("#GGG").
bool ParseCssColor(std::u16string_view value, KPD_ColorF* color);

// The first family of a family list, without quotes ("'Times New
// Roman', serif" gives "Times New Roman").
std::u16string FirstFontFamily(std::u16string_view families);

// What a walk over the body reports back.
enum EnumContentsFlag : int32_t {
  kEnumContinue = 0,     // not the item sought; the walk goes on
  kEnumStyleFailed = 1,  // handled, but one of its styles failed to parse
  kEnumHandled = 2,      // the item sought was handled
};

enum class RichTextNodeKind { kElement = 1, kText = 2 };

// One element of a parsed body. A view: it lives as long as its document.
class CKW_RichTextXMLElement {
 public:
  CKW_RichTextXMLElement() = default;
  explicit CKW_RichTextXMLElement(KX_Element element) : element_(element) {}

  explicit operator bool() const { return element_ != nullptr; }
  KX_Element GetHandle() const { return element_; }

  std::string GetTagName() const;  // without a namespace prefix
  bool GetAttribute(const char* name, std::u16string* value) const;
  CKW_RichTextXMLElement GetParent() const;

 private:
  KX_Element element_ = nullptr;
};

// One styled piece of text of a body, in reading order.
struct RichTextRun {
  std::u16string text;  // line breaks inside it are "\n"
  CKW_RichTextStyle style;
  bool paragraphStart = false;  // the run starts a new paragraph
};

// A run to be written into a new body.
struct RichTextWriteRun {
  std::u16string text;
  CKW_RichTextStyle style;
};

// A parsed rich-text body.
class CKW_RichTextXML {
 public:
  ~CKW_RichTextXML();
  CKW_RichTextXML(const CKW_RichTextXML&) = delete;
  CKW_RichTextXML& operator=(const CKW_RichTextXML&) = delete;

  // Parses /RC; an empty text parses as the body template. Null when the
  // text is not XML or has no root element.
  static std::unique_ptr<CKW_RichTextXML> Parse(std::u16string_view rc);

  // A new body with one "p" per paragraph, each holding one "span" per
  // run with the run's style.
  static std::unique_ptr<CKW_RichTextXML> Write(const std::vector<std::vector<RichTextWriteRun>>& paragraphs);

  // The /RC text: the declaration, then the body as printed by the host,
  // with every CR LF pair written as "&#x0D;&#x0A;" (and a bare CR as
  // "&#x0D;", which would otherwise read back as a line feed).
  std::u16string Serialize() const;

  CKW_RichTextXMLElement GetRoot() const { return CKW_RichTextXMLElement(root_); }

  // Walks the body depth-first in document order. Text nodes are the runs,
  // numbered from 0; the callback gets each element (with the number the
  // next run will have) and each run (with its parent element and its
  // number), and the target index handed in. The walk stops at the first
  // answer other than kEnumContinue and returns it.
  using EnumCallback =
      std::function<EnumContentsFlag(RichTextNodeKind kind, const CKW_RichTextXMLElement& element, KX_Element node,
                                     int32_t index, int32_t target)>;
  EnumContentsFlag EnumContents(const EnumCallback& callback, int32_t target) const;

  // The text of run `index`; empty past the last run.
  std::u16string GetRichTextContents(int32_t index) const;

  // The effective style of run `index` applied on top of `*style` (the
  // defaults, such as those of /DS): the style attributes from the root
  // down to the run's element, an inner one overriding its ancestors.
  // False when there is no such run or one of the styles failed to parse.
  bool GetRichTextStyle(int32_t index, CKW_RichTextStyle* style) const;

  // Every run with its effective style over `base`, marking where
  // paragraphs ("p", "div") and line breaks ("br") start new lines. The
  // walk stops once the runs hold `maxChars` characters.
  std::vector<RichTextRun> GetRuns(const CKW_RichTextStyle& base, size_t maxChars = SIZE_MAX) const;

  // The plain text: the runs in order, a line feed between paragraphs and
  // for each "br"; CR LF and CR inside text become line feeds.
  std::u16string GetPlainText() const;

 private:
  CKW_RichTextXML(KX_Document doc, KX_Element root) : doc_(doc), root_(root) {}
  KX_Document doc_ = nullptr;
  KX_Element root_ = nullptr;
};

// The /RC of a comment whose plain text became `text` while its rich text
// `oldRc` stayed behind: one "p" per line of `text`, each a single "span"
// in the effective style of the old body's first run that holds more than
// white space (or its first run, or no style when it has none). Empty when
// `oldRc` does not parse; there is no style to keep then.
std::u16string KW_RichTextForPlainText(std::u16string_view oldRc, std::u16string_view text);

}  // namespace kwannotation
