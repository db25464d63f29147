#include <cstdio>

#include "cli/commands.h"
#include "host/editor.h"
#include "host/ext_hft.h"
#include "host/ribbon.h"
#include "host/session.h"
#include "host/utf.h"

namespace annot {

const char kPluginUsage[] =
    "usage: annot plugin [PLUGIN.so]\n"
    "\n"
    "Loads the plug-in (by default the one installed beside annot), runs its\n"
    "start-up and prints what it registered with the host.\n";

namespace {

void PrintControls(const std::vector<std::unique_ptr<KA_RibbonElement__>>& controls, int indent) {
  for (const auto& c : controls) {
    std::printf("%*sbutton: %s \"%s\"%s\n", indent, "", c->name.c_str(), kshost::ToUtf8(c->title).c_str(),
                c->enabled ? "" : " (disabled)");
    PrintControls(c->children, indent + 2);
  }
}

}  // namespace

int RunPlugin(const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::fputs(kPluginUsage, stderr);
    return kExitUsage;
  }
  std::string path = args.empty() ? kshost::Session::DefaultPluginPath() : args[0];
  kshost::Session session;
  std::string error;
  if (!session.LoadPlugin(path, &error)) return Fail(kExitFailure, error);
  for (const kshost::PluginInfo& p : session.Loader().Plugins()) {
    std::printf("plug-in: %s\n", p.path.c_str());
    std::printf("  name: %s (%s)\n", p.internalName.c_str(), kshost::ToUtf8(p.displayName).c_str());
    std::printf("  version: %s, SDK %s, interface 0x%X\n", p.versionString.c_str(), p.sdkVersion.c_str(),
                p.interfaceVersion);
    std::printf("  initialised: %s\n", p.initialised ? "yes" : "no");
  }
  const kshost::Editor& editor = kshost::Editor::Get();
  for (const auto& [name, enabled] : editor.Modules())
    std::printf("module: %s (%s)\n", name.c_str(), enabled ? "enabled" : "disabled");
  for (KA_Tool t : editor.RegisteredTools())
    if (!t->builtIn) std::printf("tool: %s\n", t->name.c_str());
  for (const std::string& type : editor.AnnotHandlerTypes()) std::printf("annotation handler: %s\n", type.c_str());
  if (const int receivers = editor.DocEventReceiverCount())
    std::printf("document event receivers: %d\n", receivers);
  for (const auto& category : kshost::Ribbon::Get().Categories()) {
    for (const auto& panel : category->children) {
      std::printf("ribbon panel: %s / %s \"%s\"\n", category->name.c_str(), panel->name.c_str(),
                  kshost::ToUtf8(panel->title).c_str());
      PrintControls(panel->children, 2);
    }
  }
  for (const kshost::PublishedTable& t : kshost::PublishedTables())
    std::printf("extension table: \"%s\" version %d, %d entries\n", t.name.c_str(), t.version, t.entryCount);
  return kExitOk;
}

}  // namespace annot
