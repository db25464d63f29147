// Session scripts: one command a line, '#' starts a comment.
//
//   open PATH                     open a document
//   save [PATH]                   save it (to PATH, or over the file it came from)
//   language CODE                 user-interface language of an installed
//                                 translation, e.g. de-DE
//   answer dialog NAME RESULT [ELEMENT=VALUE ...]
//                                 the next modal dialog NAME ("*" for any) closes
//                                 with RESULT (ok, cancel or a number) after
//                                 its elements took the values; a modal dialog
//                                 that opens without an answer fails the line
//                                 that opened it, naming the dialog
//   answer file PATH...           the next file dialog chooses these paths
//   answer message ANSWER         the next message box answers ok, cancel, yes,
//                                 no or a number (unanswered boxes take the first
//                                 button)
//   view PAGE [zoom Z] [rotate R] events go to page PAGE (1-based), seen at zoom
//                                 Z (1 = 72 pixels an inch) turned R degrees
//   page PAGE                     events go to page PAGE at its current view
//   tool NAME                     make a registered tool current ("Hand", ...)
//   down|up|move|click|dblclick X Y [shift] [ctrl]
//   rdown|rup|rclick|rdblclick X Y [shift] [ctrl]
//                                 mouse events at page point X Y, which the host
//                                 turns into device pixels of the page view
//   key CODE|NAME [shift] [ctrl]  key down and up: escape, enter, delete, ...
//   wheel DELTA X Y               mouse wheel at page point X Y
//   press CONTROL_ID              press a ribbon control, e.g. Button_Distance
//   press SLIDER_ID VALUE         move a ribbon slider and run its procedure
//   undo | redo                   the document's undo stack
//   drag X1 Y1 X2 Y2 [shift] [ctrl]
//                                 left button down at X1 Y1, three moves on the
//                                 way, up at X2 Y2 (page points)
//   select-text X1 Y1 X2 Y2       drag across the page's text from X1 Y1 to X2 Y2,
//                                 as the text markup tools (Highlight, ...) take it
//   type TEXT                     type TEXT into the current tool (a text box,
//                                 typewriter, callout or note just made)
//   wait SECONDS                  pause (up to 60), as a person does between strokes
//   select NAME                   select only the annotation whose /NM is NAME
//   rotate DEGREES                turn the focused annotation counter-clockwise
//                                 through its handler
//   command N                     a host command on the selected annotations:
//                                 1 delete, 4 rotate left, 5 rotate right; refused
//                                 when nothing is selected or a handler says no
//   menu ITEM_ID                  run an item of the focused annotation's context
//                                 menu, e.g. FlipLineMenuItem ("menu: ID TEXT | ..."
//                                 in the trace); rclick on an annotation with the
//                                 Hand tool shows the menu, answered like a
//                                 message box
//   panel NAME COMMAND [ARGS...]  drive a plug-in's side panel, e.g.
//                                 panel ToolShest click TOOLSET TOOL
//   snap end|mid|inter|near on|off
//                                 switch a snap mode of the measuring tools: clicks
//                                 and moves within a few pixels of the page's
//                                 drawing land on its end points, midpoints,
//                                 intersections or nearest points ("snap: KIND X Y"
//                                 in the trace)
//   expect annots PAGE COUNT      fail unless page PAGE (1-based) has COUNT annotations
//   expect selected COUNT         fail unless COUNT annotations are selected
//   expect focused NAME           fail unless the focused annotation's /NM is NAME
//
// A UTF-8 byte order mark at the start of the script is skipped.
// Arguments with spaces go in double quotes. Any failure stops the script
// with the line's number. What earlier save lines wrote stays written; the
// caller then saves nothing more.
#pragma once

#include <istream>
#include <string>

namespace kshost {

class Session;

// Reads the script file at `path` whole. False with "cannot read script
// PATH: why" when it is missing, unreadable or a folder.
bool ReadScript(const std::string& path, std::string* text, std::string* error);

// Runs the script against the session. Returns false with "NAME:LINE: why";
// a why that quotes the line quotes at most its first 200 characters.
bool RunScript(Session& session, std::istream& script, const std::string& name, std::string* error);

}  // namespace kshost
