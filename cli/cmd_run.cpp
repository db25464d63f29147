#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "host/editor.h"
#include "host/file_util.h"
#include "host/script_runner.h"
#include "host/session.h"

namespace annot {

const char kRunUsage[] =
    "usage: annot run SCRIPT [-i IN.pdf] [-o OUT.pdf] [--password PW] [--full]\n"
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
    "  view PAGE [zoom Z] [rotate R] | page PAGE | tool NAME | press CONTROL_ID\n"
    "  down|up|move|click|dblclick|rdown|rup|rclick|rdblclick X Y [shift] [ctrl]\n"
    "  key CODE|NAME [shift] [ctrl] | wheel DELTA X Y | undo | redo\n"
    "  answer message ok|cancel|yes|no|N\n"
    "  expect annots PAGE COUNT\n"
    "Points are in page coordinates; the host turns them into device pixels\n"
    "of the page's view.\n";

int RunRun(const std::vector<std::string>& args) {
  std::string script, in, out, password;
  bool full = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "-i" || args[i] == "-o" || args[i] == "--password") && i + 1 < args.size()) {
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
  if (!session.LoadPlugin(kshost::Session::DefaultPluginPath(), &error)) return Fail(kExitFailure, error);
  if (!in.empty() && !session.Open(in, &error)) return Fail(kExitFailure, error);
  bool ok = kshost::RunScript(session, file, script, &error);
  // What the plug-in told the user stays visible.
  for (const std::string& m : kshost::Editor::Get().Messages()) std::fprintf(stderr, "message: %s\n", m.c_str());
  bool saved = ok && (out.empty() || session.Save(out, &error));
  for (const std::string& n : session.SaveNotices()) std::fprintf(stderr, "annot: %s\n", n.c_str());
  if (!saved) return Fail(kExitFailure, error);
  return kExitOk;
}

}  // namespace annot
