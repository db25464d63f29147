// annot: the headless editor's command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

struct Command {
  const char* name;
  const char* summary;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
  // The help of one subcommand ("annot toolset place --help"), or null.
  const char* (*subUsage)(const std::string& sub) = nullptr;
};

const Command kCommands[] = {
    {"info", "list pages and annotations of a PDF", annot::kInfoUsage, &annot::RunInfo},
    {"run", "replay a session script through the plug-in", annot::kRunUsage, &annot::RunRun},
    {"plugin", "show what the plug-in registered", annot::kPluginUsage, &annot::RunPlugin},
    {"sample", "write a sample input PDF", annot::kSampleUsage, &annot::RunSample},
    {"xfdf", "export or import annotations as XFDF", annot::kXfdfUsage, &annot::RunXfdf},
    {"measure", "check the scales and values of measurements", annot::kMeasureUsage, &annot::RunMeasure},
    {"regenerate", "rebuild the appearances of shape annotations", annot::kRegenerateUsage, &annot::RunRegenerate},
    {"toolset", "list, fill, place and share toolsets", annot::kToolsetUsage, &annot::RunToolset,
     &annot::ToolsetSubUsage},
    {"serve", "edit a PDF in the browser", annot::kServeUsage, &annot::RunServe},
};

void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: annot COMMAND [ARGS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fprintf(out, "\n'annot COMMAND --help' describes a command.\nexit status: 0 success, 1 failure, 2 usage\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return annot::kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(stdout);
    return annot::FinishOutput(annot::kExitOk);
  }
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args) {
      if (a == "--help" || a == "-h") {
        const char* sub = c.subUsage && !args.empty() ? c.subUsage(args[0]) : nullptr;
        std::fputs(sub ? sub : c.usage, stdout);
        return annot::FinishOutput(annot::kExitOk);
      }
    }
    // Output is checked once here for every command: data lost on the way
    // to a full disk is a failure, not a success.
    return annot::FinishOutput(c.run(args));
  }
  std::fprintf(stderr, "annot: unknown command '%s'\n", name.c_str());
  PrintHelp(stderr);
  return annot::kExitUsage;
}
