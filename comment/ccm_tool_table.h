// The editor's own comment tools: which annotation each makes, how a
// gesture draws it and the style it starts with. The table is the one list
// of tools; the ribbon, the registration and the creation all read it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace AnnotationComment {

// How a tool takes its figure from the pointer.
enum class CommentGesture {
  kBox,         // drag a rectangle; Shift: a square
  kLine,        // drag a line; Shift: a multiple of 45 degrees
  kVertices,    // click vertices; double click or Enter ends, Escape drops
  kFreehand,    // strokes while the button is down
  kTextBox,     // drag a box (a click: the default size), then type
  kTypewriter,  // click where the text starts, then type
  kCallout,     // drag from what the leader points at to the text box, then type
  kNote,        // click the icon's place, then type the pop-up's text
  kTextMarkup,  // drag across the page's text
  kCaret,       // click between two characters of the page's text
  kStamp,       // click the stamp's centre
  kAttach,      // click the icon's place, then choose the file
};

// A style: colours as RGB components from 0 to 1 (none when unset).
struct CommentStyle {
  std::optional<KPD_ColorF> color;
  std::optional<KPD_ColorF> fill;
  float width = 1;
  int opacity = 100;  // percent
  std::string font = "Helvetica";
  float fontSize = 12;
};

struct CommentToolInfo {
  const char* name;     // the host tool's name, as scripts say it
  const char* subtype;  // /Subtype
  const char* intent;   // /IT, empty for none
  CommentGesture gesture;
  const char* button;  // ribbon control id
  // The key of its title in the editor's words; the tooltip's key is the
  // same with "_TIP" after it.
  const char* titleKey;
  CommentStyle defaults;
};

// Every tool, in the order of the ribbon.
const std::vector<CommentToolInfo>& CommentTools();
// The row of a tool by its name; null for no comment tool.
const CommentToolInfo* FindCommentTool(const std::string& name);

// The preference section of a tool's style: "Comment\NAME".
std::u16string CommentStyleSection(const CommentToolInfo& tool);

// "#RRGGBB" (either case) as an RGB colour; nothing for anything else.
std::optional<KPD_ColorF> ParseHexColor(const std::u16string& text);
// An RGB colour as "#RRGGBB", each component rounded to the nearest of 255.
std::u16string HexColor(const KPD_ColorF& color);

// A text of the editor's words ("Editor" string table) in the current
// language; the comment tools' titles, tooltips and captions come from it.
std::u16string CommentText(const std::string& key);
// The keys of the captions and messages the tools and the properties'
// setters show besides the ribbon's titles.
inline constexpr char kUndoCreateKey[] = "IDS_EDITOR_UNDO_CREATE";  // "%1" is the tool's title
inline constexpr char kUndoPropertiesKey[] = "IDS_EDITOR_UNDO_PROPERTIES";
inline constexpr char kAttachUnreadableKey[] = "IDS_EDITOR_ATTACH_UNREADABLE";  // "%1" is the file
// The custom stamp dialog's title and label (its layout names them).
inline constexpr char kStampTextTitleKey[] = "IDS_EDITOR_STAMP_TEXT_TITLE";
inline constexpr char kStampTextLabelKey[] = "IDS_EDITOR_STAMP_TEXT_LABEL";
const std::vector<const char*>& CommentCaptionKeys();

// The tool's title and tooltip in the current language.
std::u16string CommentToolTitle(const CommentToolInfo& tool);
std::u16string CommentToolTip(const CommentToolInfo& tool);

// The standard stamp names, in the order of the ribbon's stamp menu.
const std::vector<std::string>& StandardStampNames();

// The text typed for a stamp of one's own as it is kept: without control
// characters or spaces at either end, at most 64 characters (as many as a
// stamp shows; a character outside the basic plane counts once and is
// never cut in half).
std::u16string CustomStampText(const std::u16string& typed);

}  // namespace AnnotationComment
