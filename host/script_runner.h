// Session scripts: one command a line, '#' starts a comment.
//
//   open PATH                     open a document
//   save [PATH]                   save it (to PATH, or over the file it came from)
//   language CODE                 user-interface language, e.g. de-DE
//   answer dialog NAME RESULT [ELEMENT=VALUE ...]
//                                 the next modal dialog NAME ("*" for any) closes
//                                 with RESULT (ok, cancel or a number) after
//                                 its elements took the values
//   answer file PATH...           the next file dialog chooses these paths
//   expect annots PAGE COUNT      fail unless page PAGE (1-based) has COUNT annotations
//
// Arguments with spaces go in double quotes. Any failure stops the script
// with the line's number; the caller then saves nothing.
#pragma once

#include <istream>
#include <string>

namespace kshost {

class Session;

// Runs the script against the session. Returns false with "NAME:LINE: why".
bool RunScript(Session& session, std::istream& script, const std::string& name, std::string* error);

}  // namespace kshost
