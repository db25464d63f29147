#include <cstdio>

#include "cli/commands.h"
#include "host/ext_hft.h"
#include "host/session.h"
#include "host/utf.h"

namespace annot {

const char kPluginUsage[] =
    "usage: annot plugin [PLUGIN.so]\n"
    "\n"
    "Loads the plug-in (by default the one installed beside annot), runs its\n"
    "start-up and prints what it registered with the host.\n";

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
  for (const kshost::PublishedTable& t : kshost::PublishedTables())
    std::printf("extension table: \"%s\" version %d, %d entries\n", t.name.c_str(), t.version, t.entryCount);
  return kExitOk;
}

}  // namespace annot
