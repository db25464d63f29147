// The annot command end to end: real plug-in, real files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/test_support.h"

using namespace testing_support;

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class CliTest : public ::testing::Test {
 protected:
  // Preferences and folders of the host go to a fresh place per test.
  std::string Annot(const std::string& args) { return AnnotIn(home_) + " " + args; }
  // A one-page plan to work on, in the test's folder.
  std::string Plan() {
    std::string plan = dir_ / "plan.pdf";
    CommandResult r = Shell(Annot("sample floorplan -o " + Quote(plan)));
    EXPECT_EQ(r.status, 0) << r.output;
    return plan;
  }
  TempDir home_;
  TempDir dir_;
};

// Each command's --help says how to use it; a command line that a command
// does not take fails with status 2 and says the usage.
TEST_F(CliTest, HelpAndUsageErrors) {
  CommandResult r = Shell(Annot("--help"));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("info"), std::string::npos);
  for (const char* cmd : {"info", "run", "plugin", "sample", "measure", "regenerate", "xfdf"}) {
    r = Shell(Annot(std::string(cmd) + " --help"));
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.output.find("usage: annot " + std::string(cmd)), std::string::npos) << r.output;
  }
  const std::string plan = Quote(Plan());
  const std::pair<std::string, const char*> misuses[] = {
      {"", "usage: annot COMMAND"},
      {"frobnicate", "usage: annot COMMAND"},
      {"info", "usage: annot info"},
      {"run", "usage: annot run"},
      {"measure", "usage: annot measure info FILE.pdf"},
      {"measure frob x.pdf", "usage: annot measure info FILE.pdf"},
      {"regenerate", "usage: annot regenerate"},
      {"regenerate " + plan, "usage: annot regenerate"},
      {"regenerate " + plan + " -o", "usage: annot regenerate"},
      {"regenerate " + plan + " --fast -o x.pdf", "usage: annot regenerate"},
      {"regenerate -o " + Quote(dir_ / "o.pdf"), "usage: annot regenerate"},
      {"xfdf", "usage: annot xfdf"},
      {"xfdf frob a.pdf", "usage: annot xfdf"},
      {"xfdf export", "usage: annot xfdf"},
      {"xfdf export a.pdf -o", "usage: annot xfdf"},
      {"xfdf export a.pdf b.pdf", "usage: annot xfdf"},
      {"xfdf import a.pdf b.xfdf", "usage: annot xfdf"},
      {"xfdf import a.pdf -o out.pdf", "usage: annot xfdf"},
  };
  for (const auto& [args, usage] : misuses) {
    r = Shell(Annot(args));
    EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
    EXPECT_NE(r.output.find(usage), std::string::npos) << args << "\n" << r.output;
  }
  EXPECT_FALSE(Exists(dir_ / "o.pdf"));
}

TEST_F(CliTest, InfoListsAnnotationsOfRealFiles) {
  if (!Exists(SharedPdf("itext_annotation-with-popup_LineDimension.pdf"))) GTEST_SKIP() << "no shared samples";
  CommandResult r = Shell(Annot("info " + Quote(SharedPdf("itext_annotation-with-popup_LineDimension.pdf"))));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("/Line intent /LineDimension"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("/Popup"), std::string::npos) << r.output;
  for (const char* name : {"pdfjs_bug1146106_VP_GEO.pdf", "poppler-test_imageretrieve+attachment_VP_RL.pdf"}) {
    r = Shell(Annot("info " + Quote(SharedPdf(name))));
    EXPECT_EQ(r.status, 0) << name << r.output;
    EXPECT_NE(r.output.find("page 1:"), std::string::npos) << r.output;
  }
}

// The commands that read a document open it the same way: a file that is
// missing or is no PDF is reported alike by each, naming it once, and
// nothing is written.
TEST_F(CliTest, UnreadableInputNamesTheFileAndWritesNothing) {
  const std::string out = Quote(dir_ / "out.pdf"), script = Quote(dir_.Write("s.session", "save\n"));
  for (const std::string& in : {dir_ / "missing.pdf", dir_.Write("notes.pdf", "this is not a PDF at all")}) {
    std::string first;
    for (const std::string& args : {"info " + Quote(in), "measure info " + Quote(in),
                                    "xfdf export " + Quote(in) + " -o " + out, "regenerate " + Quote(in) + " -o " + out,
                                    "run " + script + " -i " + Quote(in) + " -o " + out}) {
      CommandResult r = Shell(Annot(args));
      EXPECT_EQ(r.status, 1) << args;
      EXPECT_NE(r.output.find(in), std::string::npos) << args << "\n" << r.output;
      EXPECT_EQ(r.output.find(in), r.output.rfind(in)) << args << "\n" << r.output;
      if (first.empty()) first = r.output;
      EXPECT_EQ(r.output, first) << args;
      EXPECT_FALSE(Exists(dir_ / "out.pdf")) << args;
    }
  }
}

TEST_F(CliTest, SampleThenSessionSavesACheckedFile) {
  std::string plan = Plan();
  std::string script = dir_.Write("demo.session",
                                  "# comment\n\nexpect annots 1 0\nlanguage de-DE\nview 1 zoom 2 rotate 90\n"
                                  "tool Annot\nclick 100 100 shift\ndblclick 120.5 80\nkey escape ctrl\n"
                                  "wheel -120 10 10\nanswer message yes\ntool Hand\n");
  CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(dir_ / "out.pdf")));
  ASSERT_EQ(r.status, 0) << r.output;
  r = Shell("qpdf --check " + Quote(dir_ / "out.pdf"));
  EXPECT_EQ(r.status, 0) << r.output;
  r = Shell(Annot("info " + Quote(dir_ / "out.pdf")));
  EXPECT_NE(r.output.find("842.00 x 595.00 pt, rotation 0, 0 annotations"), std::string::npos) << r.output;
}

// A line the runner does not understand stops the run before anything is
// saved, and the message names the script line, in a few hundred
// characters however long the line. A byte order mark, as editors on some
// systems write before UTF-8, is not counted: line numbers stay the same.
TEST_F(CliTest, BadScriptLineIsNamedAndNothingIsSaved) {
  const std::string plan = Plan();
  const std::string longWord(5000, 'w');
  const std::pair<std::string, std::string> cases[] = {
      {"expect annots 1 0\nfrobnicate 3\n", ":2: unknown command 'frobnicate'"},
      {"\xEF\xBB\xBF\nfrobnicate\n", ":2: unknown command 'frobnicate'"},
      {"save \"unterminated\n", ":1: unterminated quote"},
      {"expect annots 1 5\n", ":1: page 1 has 0 annotations, expected 5"},
      {"answer dialog x maybe\n", ":1: dialog result must be"},
      {"tool distance\n", ":1: no tool named 'distance' is registered"},
      {"undo\n", ":1: nothing to undo"},
      {"view 2\n", ":1: the document has no page 2"},
      {"click 1 nan\n", ":1: usage: click X Y"},
      {"click 1 2 alt\n", ":1: expected shift or ctrl, not 'alt'"},
      {"language de-DE\nlanguage xx-YY\n",
       ":2: no translation for language 'xx-YY' is installed (installed: de-DE en-US fr-FR)"},
      {"language ../en-US\n", ":1: no translation for language '../en-US' is installed"},
      {longWord + "\n", ":1: unknown command '" + longWord.substr(0, 200) + "...'"},
      {"tool \"" + std::string(100, 'x') + std::string(500, '\xC3') + "\"\n", ""},
  };
  for (const auto& [text, message] : cases) {
    std::string script = dir_.Write("bad.session", text);
    std::string out = dir_ / "out.pdf";
    CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(out)));
    EXPECT_EQ(r.status, 1) << text.substr(0, 40);
    EXPECT_NE(r.output.find(script + message), std::string::npos) << r.output;
    EXPECT_LT(r.output.size(), 600u) << r.output;
    EXPECT_FALSE(Exists(out)) << text.substr(0, 40);
  }
  std::string folder = dir_ / "folder.session";
  std::filesystem::create_directory(folder);
  CommandResult r = Shell(Annot("run " + Quote(folder) + " -i " + Quote(plan)));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot read script " + folder + ": it is a folder"), std::string::npos) << r.output;
}

TEST_F(CliTest, PluginReportsItsRegistration) {
  CommandResult r = Shell(Annot("plugin"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("VenkoInnerPluginAnnotation (Annotation)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("SDK 2026.2.0"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\"VenkoAnnot extension HFT\" version 1, 2 entries"), std::string::npos) << r.output;
  // The three feature modules in creation order, and the measure panel the
  // measuring module adds to the review category.
  const size_t measure = r.output.find("module: MeasureAnnot (enabled)");
  const size_t drawing = r.output.find("module: DrawingAnnot (enabled)");
  const size_t toolset = r.output.find("module: TOOLSET (enabled)");
  ASSERT_NE(measure, std::string::npos) << r.output;
  EXPECT_LT(measure, drawing) << r.output;
  EXPECT_LT(drawing, toolset) << r.output;
  EXPECT_NE(toolset, std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Ribbon_Category_Review / COMMENT_Panel_MEATURE \"Measure\""), std::string::npos)
      << r.output;
}

// Saving onto a full disk (here: past the file size limit) fails with the
// system's reason; the file it was to replace is as it was, byte for byte,
// and nothing is left beside it. The plan carries an ink, so that both
// commands have an update to write.
TEST_F(CliTest, FullDiskFailsAndLeavesTheFileAsItWas) {
  const std::string plan = dir_ / "plan.pdf", xfdf = dir_.Write("a.xfdf", "");
  ASSERT_EQ(Shell(Annot("sample floorplan --ink -o " + Quote(plan))).status, 0);
  ASSERT_EQ(Shell(Annot("xfdf export " + Quote(plan) + " -o " + Quote(xfdf))).status, 0);
  const std::string before = ReadFile(plan);
  ASSERT_GT(before.size(), 1024u);
  for (const std::string& args : {"regenerate " + Quote(plan) + " -o " + Quote(plan),
                                  "xfdf import " + Quote(plan) + " " + Quote(xfdf) + " -o " + Quote(plan)}) {
    // dash counts the limit in blocks of 512 bytes.
    CommandResult r = Shell("trap '' XFSZ; ulimit -f 1; " + Annot(args));
    EXPECT_EQ(r.status, 1) << args << r.output;
    EXPECT_NE(r.output.find("cannot save " + plan + ": File too large"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(plan), before);
    EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"a.xfdf", "plan.pdf"}));
  }
}

TEST_F(CliTest, FullStandardOutputIsAFailure) {
  const std::string plan = Plan();
  for (const std::string& args : {"info " + Quote(plan), "xfdf export " + Quote(plan), "measure info " + Quote(plan),
                                  std::string("info --help")}) {
    CommandResult r = Shell("{ " + Annot(args) + " >/dev/full; }");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.output.find("annot: cannot write to standard output: "), std::string::npos) << args << r.output;
  }
}

// An output that is an input of another format would destroy it: refused,
// however the name is spelled.
TEST_F(CliTest, OutputThatIsAnInputOfAnotherFormatIsRefused) {
  const std::string plan = Plan(), xfdf = dir_.Write("a.xfdf", ""), script = dir_.Write("s.session", "\n");
  ASSERT_EQ(Shell(Annot("xfdf export " + Quote(plan) + " -o " + Quote(xfdf))).status, 0);
  std::filesystem::create_symlink("plan.pdf", dir_ / "same.pdf");
  const std::pair<std::string, std::string> cases[] = {
      {"xfdf export " + Quote(plan) + " -o " + Quote(plan), plan},
      {"xfdf export " + Quote(plan) + " -o " + Quote(dir_.path() + "/./same.pdf"), plan},
      {"xfdf import " + Quote(plan) + " " + Quote(xfdf) + " -o " + Quote(xfdf), xfdf},
      {"run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(script), script},
  };
  for (const auto& [args, input] : cases) {
    const std::string before = ReadFile(input);
    CommandResult r = Shell(Annot(args));
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.output.find("which the output would replace"), std::string::npos) << args << r.output;
    EXPECT_EQ(ReadFile(input), before) << args;
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "same.pdf"));
  }
}

// A device or a FIFO given as input is refused at once with a reason; it
// would otherwise be read forever or wait for a writer.
TEST_F(CliTest, InputsThatAreNotRegularFilesAreRefused) {
  const std::string plan = Plan(), fifo = dir_ / "fifo", out = dir_ / "out.pdf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {"info /dev/zero", "/dev/zero"},
      {"info " + Quote(fifo), fifo},
      {"measure info " + Quote(fifo), fifo},
      {"xfdf export " + Quote(fifo), fifo},
      {"xfdf import " + Quote(plan) + " " + Quote(fifo) + " -o " + Quote(out), fifo},
      {"regenerate /dev/zero -o " + Quote(out), "/dev/zero"},
      {"run " + Quote(fifo), fifo},
  };
  for (const auto& [args, input] : cases) {
    CommandResult r = Shell("timeout 30 env " + Annot(args));
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.output.find(input + ": not a regular file"), std::string::npos) << args << r.output;
    EXPECT_FALSE(Exists(out)) << args;
  }
}

// A file whose permissions forbid changing annotations is refused by every
// command that would change it, and nothing is written; its owner password
// lifts the limit. A file with a user password opens only with it.
TEST_F(CliTest, EncryptedFilesNeedTheOwnerPasswordToChange) {
  const std::string plan = Plan(), xfdf = dir_ / "plan.xfdf";
  ASSERT_EQ(Shell(Annot("xfdf export " + Quote(plan) + " -o " + Quote(xfdf))).status, 0);
  std::string script = dir_.Write("s.session", "expect annots 1 0\n");
  const std::pair<const char*, const char*> locks[] = {
      {"annotate.pdf", "--annotate=n"}, {"modify.pdf", "--modify=none"}};
  for (auto [name, option] : locks) {
    std::string locked = dir_ / name;
    CommandResult r = Shell("qpdf --encrypt '' owner 256 " + std::string(option) + " -- " + Quote(plan) + " " +
                            Quote(locked));
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string commands[] = {
        "run " + Quote(script) + " -i " + Quote(locked) + " -o OUT",
        "xfdf import " + Quote(locked) + " " + Quote(xfdf) + " -o OUT",
        "regenerate " + Quote(locked) + " -o OUT",
    };
    for (std::string command : commands) {
      std::string out = dir_ / "out.pdf";
      command.replace(command.find("OUT"), 3, Quote(out));
      r = Shell(Annot(command));
      EXPECT_EQ(r.status, 1) << command;
      EXPECT_NE(r.output.find(locked + ": the document's permissions do not allow changing annotations (give the "
                                        "owner password with --password)"),
                std::string::npos)
          << r.output;
      EXPECT_FALSE(Exists(out)) << command;
      r = Shell(Annot(command + " --password owner"));
      EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
      EXPECT_TRUE(Exists(out)) << command;
      std::filesystem::remove(out);
    }
    // Reading is allowed without the owner password.
    EXPECT_EQ(Shell(Annot("info " + Quote(locked))).status, 0);
  }
  std::string user = dir_ / "user.pdf";
  ASSERT_EQ(Shell("qpdf --encrypt user owner 256 -- " + Quote(plan) + " " + Quote(user)).status, 0);
  CommandResult r = Shell(Annot("info " + Quote(user)));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot open " + user + ": password required"), std::string::npos) << r.output;
  r = Shell(Annot("measure info " + Quote(user) + " --password user"));
  EXPECT_EQ(r.status, 0) << r.output;
  r = Shell(Annot("xfdf export " + Quote(user) + " --password wrong"));
  EXPECT_NE(r.output.find("incorrect password"), std::string::npos) << r.output;
}

// A script saved with a byte order mark runs as if it were not there.
TEST_F(CliTest, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
  std::string out = dir_ / "out.pdf";
  std::string script = dir_.Write("bom.session",
                                  "\xEF\xBB\xBFtool DISTANCE\nclick 100 100\nclick 200 100\nexpect annots 1 1\n");
  CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(Plan()) + " -o " + Quote(out)));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Exists(out));
}

// Save lines that ran before the failing line have written their files;
// -o is not written. The help says so.
TEST_F(CliTest, FailedRunKeepsWhatEarlierSaveLinesWrote) {
  const std::string plan = Plan();
  std::string early = dir_ / "early.pdf", out = dir_ / "out.pdf";
  std::string script = dir_.Write("s.session", "save \"" + early + "\"\nfrobnicate\nsave\n");
  CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(out)));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Exists(early));
  EXPECT_FALSE(Exists(out));
  r = Shell(Annot("run --help"));
  EXPECT_NE(r.output.find("What the save lines that ran before it wrote\nstays written; nothing else is: OUT.pdf is "
                          "not written."),
            std::string::npos)
      << r.output;
}

// A script's save over the file it opened, after something else wrote that
// file (here the script's own export of the measurements, put where the
// PDF was): the save is refused, names the line, and the file stays as
// the other writer left it; -o over it is refused the same way.
TEST_F(CliTest, ASaveOverAFileWrittenSinceItWasOpenedIsRefused) {
  const std::string plan = Plan();
  const std::string script = dir_.Write("s.session", "open \"" + plan +
                                                         "\"\ntool DISTANCE\nclick 97.01 107.01\nclick 476.85 107.01\n"
                                                         "answer file \"" + plan +
                                                         "\"\npress Button_Measure_Export\nsave\n");
  CommandResult r = Shell(Annot("run " + Quote(script)));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("s.session:7: cannot save"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("another program changed the file after it was opened"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(plan).rfind("\xEF\xBB\xBF\"Label\",\"Type\",\"Value\"", 0), 0u) << "the export is still there";

  const std::string other = Plan();
  const std::string exportOnly = dir_.Write(
      "e.session", "tool DISTANCE\nclick 97.01 107.01\nclick 476.85 107.01\nanswer file \"" + other +
                       "\"\npress Button_Measure_Export\n");
  r = Shell(Annot("run " + Quote(exportOnly) + " -i " + Quote(other) + " -o " + Quote(other)));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("another program changed the file"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(other).rfind("\xEF\xBB\xBF\"Label\"", 0), 0u);
}

}  // namespace
