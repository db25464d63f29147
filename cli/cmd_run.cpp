#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "host/editor.h"
#include "host/file_util.h"
#include "host/script_runner.h"
#include "comment/ccm_module.h"
#include "host/core_hft.h"
#include "host/session.h"
#include "sdk/ks_host_binding.h"

namespace annot {

const char kRunUsage[] =
    "usage: annot run SCRIPT [-i IN.pdf] [-o OUT.pdf] [--password PW] [--full] [--trace]\n"
    "\n"
    "Loads the plug-in, opens IN.pdf when given, replays the session script\n"
    "and saves to OUT.pdf when given. A failing line stops the run and is\n"
    "named by its number. What the save lines that ran before it wrote\n"
    "stays written; nothing else is: OUT.pdf is not written.\n"
    ANNOT_SAVE_HELP
    "\n"
    "PW is the password of IN.pdf and of the files the script opens. A file\n"
    "whose permissions do not allow changing annotations is refused unless\n"
    "PW is its owner password.\n"
    "\n"
    "Script commands, one a line ('#' starts a comment):\n"
    "  open PATH | save [PATH] | language CODE (of an installed translation)\n"
    "  answer dialog NAME ok|cancel|N [ELEMENT=VALUE ...] | answer file PATH...\n"
    "  view PAGE [zoom Z] [rotate R] | page PAGE | tool NAME | press CONTROL_ID [VALUE]\n"
    "  down|up|move|click|dblclick|rdown|rup|rclick|rdblclick X Y [shift] [ctrl]\n"
    "  key CODE|NAME [shift] [ctrl] | wheel DELTA X Y | undo | redo\n"
    "  answer message ok|cancel|yes|no|N | answer progress cancel N (the next\n"
    "  progress bar is cancelled when it reaches N percent)\n"
    "  drag X1 Y1 X2 Y2 [shift] [ctrl]   (down, three moves, up)\n"
    "  select-text X1 Y1 X2 Y2 (a drag across the page's text, for the text\n"
    "  markup tools) | type TEXT (typed into the text box, typewriter, callout\n"
    "  or note just made) | wait SECONDS (a pause, up to 60)\n"
    "  select NAME (the annotation whose /NM is NAME) | rotate DEGREES (the\n"
    "  focused annotation, counter-clockwise) | command N (on the selection:\n"
    "  1 delete, 4 rotate left, 5 rotate right) | front (brings the selection\n"
    "  to the front) | topage N (moves the selection to page N)\n"
    "  key a|c|v ctrl: select all of the page, copy, paste (offset, selected)\n"
    "  panel NAME COMMAND [ARGS...] (a plug-in's side panel, e.g. panel\n"
    "  ToolShest click TOOLSET TOOL arms a tool of the tool chest)\n"
    "  expect annots PAGE COUNT | expect selected COUNT | expect focused NAME\n"
    "  snap end|mid|inter|near on|off (the measuring tools' clicks and moves\n"
    "  land on end points, midpoints, intersections or nearest points of the\n"
    "  page's drawing within 8 device pixels)\n"
    "Points are in page coordinates; the host turns them into device pixels\n"
    "of the page's view. The \"Hand\" tool selects what a click hits (shift\n"
    "or ctrl adds or takes away), and a drag moves the selected annotation,\n"
    "or resizes it by a frame handle, or moves the vertex under the press.\n"
    "\n"
    "--trace prints to standard output, one line each, what a user would see:\n"
    "  undo: push \"CAPTION\" | undo: undo \"CAPTION\" | undo: redo \"CAPTION\"\n"
    "  message: TEXT                      (a message box)\n"
    "  progress: TITLE | progress: cancelled at N | progress: end\n"
    "  draw: rect X0 Y0 X1 Y1 pen #RRGGBB W\n"
    "  draw: line X0 Y0 X1 Y1 pen #RRGGBB W\n"
    "  draw: path X Y X Y ... [closed] pen #RRGGBB W\n"
    "  snap: end|mid|inter|near X Y       (a snapped point, page coordinates)\n"
    "The draw lines list, after each repaint of the page, what the annotation\n"
    "handlers drew and the outlines of selected annotations (red for the\n"
    "focused one, black for the others), in device pixels.\n";

int RunRun(const std::vector<std::string>& args) {
  std::string script, in, out, password;
  bool trace = false;
  bool full = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--trace") {
      trace = true;
    } else if ((args[i] == "-i" || args[i] == "-o" || args[i] == "--password") && i + 1 < args.size()) {
      (args[i] == "-i" ? in : args[i] == "-o" ? out : password) = args[i + 1];
      ++i;
    } else if (args[i] == "--full") {
      full = true;
    } else if (script.empty() && !args[i].empty() && args[i][0] != '-') {
      script = args[i];
    } else {
      std::fputs(kRunUsage, stderr);
      return kExitUsage;
    }
  }
  if (script.empty()) {
    std::fputs(kRunUsage, stderr);
    return kExitUsage;
  }
  if (std::string clash = OutputReplacesInput(out, script, "script"); !clash.empty())
    return Fail(kExitFailure, clash);
  std::string text, error;
  if (!kshost::ReadScript(script, &text, &error)) return Fail(kExitFailure, error);
  std::istringstream file(text);

  kshost::Session session;
  session.SetPassword(password);
  session.SetFullSave(full);
  if (trace) kshost::Editor::Get().SetTrace([](const std::string& line) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    });
  if (!session.LoadPlugin(kshost::Session::DefaultPluginPath(), &error)) return Fail(kExitFailure, error);
  // The editor's own comment tools run here, over the host's functions.
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  AnnotationComment::CCM_CommentModule comments(session.Loader().MainFrame());
  if (!in.empty() && !session.Open(in, &error)) return Fail(kExitFailure, error);
  bool ok = kshost::RunScript(session, file, script, &error);
  // What the plug-in told the user stays visible (the trace showed it already).
  if (!trace)
    for (const std::string& m : kshost::Editor::Get().Messages()) std::fprintf(stderr, "message: %s\n", m.c_str());
  kshost::Editor::Get().SetTrace(nullptr);
  bool saved = ok && (out.empty() || session.Save(out, &error));
  for (const std::string& n : session.SaveNotices()) std::fprintf(stderr, "annot: %s\n", n.c_str());
  if (!saved) return Fail(kExitFailure, error);
  return kExitOk;
}

}  // namespace annot
