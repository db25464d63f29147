// annot toolset: the toolsets of the tool chest, for batch use.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "host/core_hft.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"
#include "toolset/annot_toolset.h"

namespace annot {

const char kToolsetUsage[] =
    "usage: annot toolset list\n"
    "       annot toolset create NAME\n"
    "       annot toolset capture PDF PAGE INDEX --into NAME [--password PW]\n"
    "       annot toolset place NAME TOOL PDF PAGE X Y -o OUT [--password PW] [--full]\n"
    "       annot toolset import FILE [--replace]\n"
    "       annot toolset export NAME -o FILE\n"
    "\n"
    "list shows every toolset of the tool chest with its tools in order.\n"
    "create makes an empty toolset titled NAME. capture copies annotation\n"
    "INDEX (from 0, in the page's /Annots) of page PAGE (from 1) with its\n"
    "group and appearance resources into the toolset titled NAME. place\n"
    "puts the tool named TOOL (its captured /NM) on page PAGE of PDF with\n"
    "the upper-left corner of its box at X Y (points) and saves OUT.\n"
    "import copies a toolset package (.ktz) into the toolset folder and shows\n"
    "it in the chest (--replace: over a toolset stored under the same file\n"
    "name); export writes one as a package.\n"
    "\n"
    "Toolsets live in $XDG_DATA_HOME/annot/toolset (preferences.xml lists\n"
    "them); the host's settings in $XDG_CONFIG_HOME/annot. Parts of a\n"
    "toolset file that cannot be read are reported and skipped; the file is\n"
    "left as it is.\n" ANNOT_SAVE_HELP;

namespace {

using AnnotationPlugin::CAnnot_ToolSetMgr;

int Usage() {
  std::fputs(kToolsetUsage, stderr);
  return kExitUsage;
}

std::u16string Absolute(const std::string& path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(path, ec);
  return ks::ToUtf16(ec ? path : abs.lexically_normal().string());
}

// Binds the host and reads the toolsets; problems go to stderr.
CAnnot_ToolSetMgr& Manager() {
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  // Titles the toolsets have from the user's language ("My Tools").
  ks::host::WideString language;
  ks::host::AppGetUILanguage(language.get());
  AnnotationPlugin::Widgets::SetCurrentLanguage(language.str());
  AnnotationPlugin::Widgets::LoadStrings("Annotation");
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  mgr.Reload();
  for (const auto& p : mgr.Problems())
    std::fprintf(stderr, "annot: %s%s%s: %s\n", p.file.c_str(), p.where.empty() ? "" : ": ", p.where.c_str(),
                 p.why.c_str());
  return mgr;
}

bool ParseNumber(const std::string& s, double* out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(*out);
}

int List() {
  CAnnot_ToolSetMgr& mgr = Manager();
  for (const auto& set : mgr.ToolSets()) {
    std::printf("%s\t%zu tool%s\t%s\n", ks::ToUtf8(set->title).c_str(), set->tools.size(),
                set->tools.size() == 1 ? "" : "s", ks::ToUtf8(set->filePath).c_str());
    for (const auto& t : set->tools)
      std::printf("  %s\t%s\t%zu member%s\t%s\n", ks::ToUtf8(t->name).c_str(),
                  t->type.substr(std::string(AnnotationPlugin::kToolTypePrefix).size()).c_str(),
                  t->children.size() + 1, t->children.empty() ? "" : "s", t->Dictionary() ? "" : "(cannot be placed)");
  }
  return kExitOk;
}

int Create(const std::vector<std::string>& args) {
  CommandArgs a;
  if (!SplitArgs(args, 1, 1, {}, &a) || !a.out.empty() || !a.password.empty()) return Usage();
  CAnnot_ToolSetMgr& mgr = Manager();
  std::string error;
  auto set = mgr.CreateToolSet(ks::ToUtf16(a.positional[0]), &error);
  if (!set) return Fail(kExitFailure, error);
  if (!mgr.SavePreferences()) return Fail(kExitFailure, "cannot write the toolset list");
  std::printf("%s\n", ks::ToUtf8(set->filePath).c_str());
  return kExitOk;
}

int Capture(std::vector<std::string> args) {
  std::string into;
  for (size_t i = 0; i < args.size(); ++i)
    if (args[i] == "--into") {
      if (i + 1 >= args.size() || !into.empty()) return Usage();
      into = args[i + 1];
      args.erase(args.begin() + static_cast<ptrdiff_t>(i), args.begin() + static_cast<ptrdiff_t>(i) + 2);
      --i;
    }
  CommandArgs a;
  if (into.empty() || !SplitArgs(args, 1, 3, {}, &a) || !a.out.empty()) return Usage();
  double page = 0, index = 0;
  if (!ParseNumber(a.positional[1], &page) || !ParseNumber(a.positional[2], &index) || page < 1 || index < 0 ||
      page != std::floor(page) || index != std::floor(index))
    return Usage();
  CAnnot_ToolSetMgr& mgr = Manager();
  auto set = mgr.FindToolSet(ks::ToUtf16(into));
  if (!set) return Fail(kExitFailure, "no toolset titled '" + into + "'");
  CommandDocument doc;
  std::string error;
  if (!doc.Open(a.positional[0], a.password, false, &error)) return Fail(kExitFailure, error);
  KPD_Page p = ks::host::DocGetPage(doc.Get(), static_cast<int32_t>(page) - 1);
  if (!p) return Fail(kExitFailure, a.positional[0] + ": no page " + a.positional[1]);
  if (!set->AddTool(p, static_cast<int32_t>(index), &error))
    return Fail(kExitFailure, a.positional[0] + ": page " + a.positional[1] + ", annotation " + a.positional[2] + ": " + error);
  if (!AnnotationPlugin::SaveToolSetChanges(*set) || !mgr.SavePreferences())
    return Fail(kExitFailure, "cannot write " + ks::ToUtf8(set->filePath));
  std::printf("%s\n", ks::ToUtf8(set->tools.back()->name).c_str());
  return kExitOk;
}

int Place(const std::vector<std::string>& args) {
  CommandArgs a;
  if (!SplitArgs(args, 1, 6, {"--full"}, &a) || a.out.empty()) return Usage();
  double page = 0, x = 0, y = 0;
  if (!ParseNumber(a.positional[3], &page) || page < 1 || page != std::floor(page) ||
      !ParseNumber(a.positional[4], &x) || !ParseNumber(a.positional[5], &y))
    return Usage();
  CAnnot_ToolSetMgr& mgr = Manager();
  auto set = mgr.FindToolSet(ks::ToUtf16(a.positional[0]));
  if (!set) return Fail(kExitFailure, "no toolset titled '" + a.positional[0] + "'");
  auto tool = set->FindTool(ks::ToUtf16(a.positional[1]));
  if (!tool) return Fail(kExitFailure, "no tool named '" + a.positional[1] + "' in '" + a.positional[0] + "'");
  CommandDocument doc;
  std::string error;
  if (!doc.Open(a.positional[2], a.password, true, &error)) return Fail(kExitFailure, error);
  std::vector<KPD_Dictionary> placed;
  if (!AnnotationPlugin::PlaceTool(doc.Get(), static_cast<int32_t>(page) - 1, *tool, static_cast<float>(x),
                                   static_cast<float>(y), &placed, &error))
    return Fail(kExitFailure, a.positional[2] + ": " + error);
  if (!doc.Save(a.out, a.Has("--full"), &error)) return Fail(kExitFailure, error.empty() ? a.out + ": cannot save" : error);
  for (const std::string& n : doc.SaveNotices()) std::fprintf(stderr, "annot: %s\n", n.c_str());
  std::printf("placed %zu annotation%s\n", placed.size(), placed.size() == 1 ? "" : "s");
  return kExitOk;
}

int Import(const std::vector<std::string>& args) {
  CommandArgs a;
  if (!SplitArgs(args, 1, 1, {"--replace"}, &a) || !a.out.empty() || !a.password.empty()) return Usage();
  CAnnot_ToolSetMgr& mgr = Manager();
  std::string error;
  auto set = mgr.ImportToolSet(Absolute(a.positional[0]), a.Has("--replace"), &error);
  if (!set && error.find("; it is kept") != std::string::npos) error += " (--replace replaces it)";
  if (!set) return Fail(kExitFailure, error);
  if (!mgr.SavePreferences()) return Fail(kExitFailure, "cannot write the toolset list");
  std::printf("%s\t%zu tool%s\n", ks::ToUtf8(set->title).c_str(), set->tools.size(), set->tools.size() == 1 ? "" : "s");
  return kExitOk;
}

int Export(const std::vector<std::string>& args) {
  CommandArgs a;
  if (!SplitArgs(args, 1, 1, {}, &a) || a.out.empty() || !a.password.empty()) return Usage();
  CAnnot_ToolSetMgr& mgr = Manager();
  auto set = mgr.FindToolSet(ks::ToUtf16(a.positional[0]));
  if (!set) return Fail(kExitFailure, "no toolset titled '" + a.positional[0] + "'");
  std::string error;
  if (!mgr.ExportToolSet(*set, Absolute(a.out), &error)) return Fail(kExitFailure, error);
  return kExitOk;
}

}  // namespace

const char* ToolsetSubUsage(const std::string& sub) {
  static const struct {
    const char* name;
    const char* text;
  } kHelp[] = {
      {"list",
       "usage: annot toolset list\n\n"
       "Shows every toolset of the tool chest, a line each (title, number of\n"
       "tools, file), and under it its tools in order (name, kind, members).\n"},
      {"create",
       "usage: annot toolset create NAME\n\n"
       "Makes an empty toolset titled NAME in the toolset folder, shows it in\n"
       "the tool chest and prints its file. A title already in use fails.\n"},
      {"capture",
       "usage: annot toolset capture PDF PAGE INDEX --into NAME [--password PW]\n\n"
       "Copies annotation INDEX (from 0, in the page's /Annots) of page PAGE\n"
       "(from 1) of PDF, with its group and every appearance resource, as a new\n"
       "last tool of the toolset titled NAME. PDF is only read.\n"},
      {"place",
       "usage: annot toolset place NAME TOOL PDF PAGE X Y -o OUT [--password PW] [--full]\n\n"
       "Puts the tool named TOOL (its captured /NM) of toolset NAME on page PAGE\n"
       "(from 1) of PDF with the upper-left corner of its box at X Y (points,\n"
       "page space), with new resources and a new /NM, and saves OUT.\n" ANNOT_SAVE_HELP},
      {"import",
       "usage: annot toolset import FILE [--replace]\n\n"
       "Copies a toolset package (.ktz) into the toolset folder and shows it in\n"
       "the tool chest. A package that does not read, or whose fields inflate\n"
       "to more than 256 MiB, is refused; nothing is copied. When the folder\n"
       "already holds a toolset under the package's file name, the import is\n"
       "refused unless --replace is given.\n"},
      {"export",
       "usage: annot toolset export NAME -o FILE\n\n"
       "Writes the toolset titled NAME as a package that `annot toolset import`\n"
       "(or another tool chest) reads. An existing FILE is replaced only once\n"
       "the package is complete.\n"},
  };
  for (const auto& h : kHelp)
    if (sub == h.name) return h.text;
  return nullptr;
}

int RunToolset(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::string& sub = args[0];
  if (sub == "list") return args.size() == 1 ? List() : Usage();
  if (sub == "create") return Create(args);
  if (sub == "capture") return Capture(args);
  if (sub == "place") return Place(args);
  if (sub == "import") return Import(args);
  if (sub == "export") return Export(args);
  return Usage();
}

}  // namespace annot
