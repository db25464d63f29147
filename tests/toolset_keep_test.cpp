// Toolsets are the user's work: commands that only load the plug-in leave
// the toolset files as they are, an import does not replace a stored
// toolset unasked, and two annot processes over one profile keep each
// other's toolsets. Each step runs the real annot command.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

namespace {

using testing_support::Quote;
using testing_support::Shell;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WritePagesPdf;
using testing_support::WriteShapePdf;

// A toolset item with plain (uncompressed) fields, as another tool chest
// may write them.
std::string Item(const std::string& name, const std::string& type, const std::string& raw,
                 const std::string& mode = "drawing") {
  return "<ToolChestItem><Name>" + name + "</Name><Type>Venko.PDF.Annotations.Annotation" + type + "</Type><Raw>" +
         raw + "</Raw><X>0.000000</X><Y>0.000000</Y><Index>0</Index><Mode>" + mode + "</Mode></ToolChestItem>";
}

const char kSquareRaw[] = "&lt;&lt;/Subtype/Square/Rect[0 0 40 40]/C[1 0 0]&gt;&gt;";

class ToolsetKeepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_EQ(WriteShapePdf(shapes_, 595, 842, {"<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/C[0 0 1]/NM(sq)>>"}),
              "");
  }
  std::string Annot(const std::string& args, const std::string& data = "data") {
    auto r = Shell(testing_support::AnnotIn(dir_, data) + " " + args);
    last_ = r.status;
    return r.output;
  }
  std::string Folder() const { return dir_ / "data/annot/toolset"; }

  TempDir dir_;
  const std::string shapes_ = dir_ / "shapes.pdf";
  int last_ = -1;
};

// A package with a tool of a type this version does not know, a properties
// tool and a tool whose Raw is broken hex: commands that only load the
// plug-in leave the stored file byte for byte; a capture into that toolset
// writes it with those parts as they were.
TEST_F(ToolsetKeepTest, LoadingThePluginLeavesToolsetFilesAsTheyAre) {
  const std::string package = dir_.Write(
      "Kit.ktz", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VenkoToolSet Version=\"1\"><Title>Kit</Title>" +
                     Item("good", "Square", kSquareRaw) + Item("sound", "Sound", "&lt;&lt;/Subtype/Sound&gt;&gt;") +
                     Item("props", "Square", kSquareRaw, "properties") + Item("broken", "Square", "78abc") +
                     "</VenkoToolSet>");
  std::string out = Annot("toolset import " + Quote(package));
  ASSERT_EQ(last_, 0) << out;
  const std::string stored = Folder() + "/Kit.ktz";
  const std::string before = ReadFile(stored);
  ASSERT_EQ(before, ReadFile(package));

  const std::string script = dir_.Write("empty.session", "# nothing\n");
  const std::string run = "run " + Quote(script) + " -i " + Quote(shapes_) + " -o " + Quote(dir_ / "out.pdf");
  for (const std::string& command : {run, std::string("plugin"), std::string("toolset list")}) {
    out = Annot(command);
    EXPECT_EQ(last_, 0) << out;
    EXPECT_EQ(ReadFile(stored), before) << command;
  }
  EXPECT_NE(out.find("Kit\t2 tools"), std::string::npos) << out;

  out = Annot("toolset capture " + Quote(shapes_) + " 1 0 --into Kit");
  ASSERT_EQ(last_, 0) << out;
  const std::string after = ReadFile(stored);
  EXPECT_NE(after, before);
  for (const char* kept : {"<Name>sound</Name><Type>Venko.PDF.Annotations.AnnotationSound</Type>",
                           "<Name>props</Name>", "<Mode>properties</Mode>", "<Raw>78abc</Raw>"})
    EXPECT_NE(after.find(kept), std::string::npos) << kept << "\n" << after;
  out = Annot("toolset list");
  EXPECT_NE(out.find("Kit\t3 tools"), std::string::npos) << out;
}

TEST_F(ToolsetKeepTest, AnImportDoesNotReplaceAStoredToolsetUnasked) {
  Annot("toolset create Kit");
  Annot("toolset capture " + Quote(shapes_) + " 1 0 --into Kit");
  ASSERT_EQ(last_, 0);
  // An empty toolset of the same title, made elsewhere.
  Annot("toolset create Kit", "elsewhere");
  ASSERT_EQ(last_, 0);
  const std::string package = dir_ / "Kit.ktz";
  Annot("toolset export Kit -o " + Quote(package), "elsewhere");
  ASSERT_EQ(last_, 0);
  const std::string stored = Folder() + "/Kit.ktz";
  const std::string before = ReadFile(stored);

  std::string out = Annot("toolset import " + Quote(package));
  EXPECT_EQ(last_, 1) << out;
  EXPECT_NE(out.find(package), std::string::npos) << out;
  EXPECT_NE(out.find("'Kit' as " + stored), std::string::npos) << out;
  EXPECT_NE(out.find("--replace"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(stored), before);
  EXPECT_NE(Annot("toolset list").find("Kit\t1 tool\t"), std::string::npos);

  out = Annot("toolset import " + Quote(package) + " --replace");
  EXPECT_EQ(last_, 0) << out;
  EXPECT_NE(Annot("toolset list").find("Kit\t0 tools\t"), std::string::npos);
}

// The package that had every command spend 2 GB: thirty fields of 60 MiB
// of spaces, packed.
TEST_F(ToolsetKeepTest, APackageThatInflatesBeyondTheCapIsRefused) {
  if (Shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not installed";
  const std::string package = dir_ / "Bomb.ktz";
  const std::string make =
      "import zlib,sys\n"
      "f=zlib.compress(b' '*(60<<20),1).hex()\n"
      "r=''.join('<Resources><ID>REFID_%d</ID><Key>XObject</Key><Data>%s</Data></Resources>'%(i,f)\n"
      "          for i in range(30))\n"
      "open(sys.argv[1],'w').write('<?xml version=\"1.0\" encoding=\"UTF-8\"?><VenkoToolSet Version=\"1\">"
      "<Title>Bomb</Title><ToolChestItem>'+r+'<Name>b</Name><Type>Venko.PDF.Annotations.AnnotationSquare</Type>"
      "<Raw>&lt;&lt;/Subtype/Square/Rect[0 0 9 9]&gt;&gt;</Raw><Mode>drawing</Mode></ToolChestItem></VenkoToolSet>')\n";
  const std::string script = dir_.Write("bomb.py", make);
  ASSERT_EQ(Shell("python3 " + Quote(script) + " " + Quote(package)).status, 0);
  std::string out = Annot("toolset import " + Quote(package));
  EXPECT_EQ(last_, 1) << out;
  EXPECT_NE(out.find("inflates to more than 256 MiB"), std::string::npos) << out;
  EXPECT_FALSE(testing_support::Exists(Folder() + "/Bomb.ktz"));
}

// Pages may start left of or below the origin: a tool goes there too.
TEST_F(ToolsetKeepTest, PlaceTakesNegativeCoordinates) {
  const std::string target = dir_ / "negative.pdf";
  ASSERT_EQ(WritePagesPdf(target, {-300, -400, 295, 442}, {{}}), "");
  Annot("toolset create Review");
  Annot("toolset capture " + Quote(shapes_) + " 1 0 --into Review");
  ASSERT_EQ(last_, 0);
  std::string out = Annot("toolset place Review sq " + Quote(target) + " 1 -120 -30.5 -o " + Quote(dir_ / "o.pdf"));
  ASSERT_EQ(last_, 0) << out;
  out = Annot("info " + Quote(dir_ / "o.pdf"));
  // The 40-point square hangs from its upper-left corner at the point.
  EXPECT_NE(out.find("rect [-120.00 -70.50 -80.00 -30.50]"), std::string::npos) << out;
}

// A running server and the toolset commands over one profile: the server
// shows a toolset made meanwhile on its next chest refresh and, when it is
// stopped, leaves the list and the new toolset's file as the command wrote
// them.
TEST_F(ToolsetKeepTest, AServerAndACommandKeepEachOthersToolsets) {
  if (Shell("command -v curl").status != 0) GTEST_SKIP() << "curl is not installed";
  Annot("toolset create Base");
  ASSERT_EQ(last_, 0);
  const std::string log = dir_ / "serve.log";
  auto started =
      Shell(testing_support::AnnotIn(dir_) + " serve " + Quote(shapes_) + " > " + Quote(log) + " 2>&1 & echo $!");
  const int pid = std::atoi(started.output.c_str());
  ASSERT_GT(pid, 0) << started.output;
  struct Stop {
    int pid;
    ~Stop() {
      if (pid > 0) ::kill(pid, SIGTERM);
    }
  } stop{pid};
  std::smatch url;
  std::string text;
  for (int i = 0; i < 200 && !std::regex_search(text, url, std::regex("at (http://[^/ ]+)/\\?t=([0-9a-zA-Z]+)")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = ReadFile(log);
    if (text.find("has no server") != std::string::npos) GTEST_SKIP() << text;
  }
  ASSERT_FALSE(url.empty()) << text;
  const std::string base = url[1], curl = "curl -s -H " + Quote("X-Annot-Token: " + std::string(url[2])) + " ";
  const std::string state = Shell(curl + Quote(base + "/api/state")).output;
  ASSERT_NE(state.find("group Base"), std::string::npos) << state;

  Annot("toolset create Kit");
  ASSERT_EQ(last_, 0);
  Annot("toolset capture " + Quote(shapes_) + " 1 0 --into Kit");
  ASSERT_EQ(last_, 0);
  const std::string kit = ReadFile(Folder() + "/Kit.ktz");
  const std::string shown = Shell(curl + "-d 'name=ToolShest&w=show' " + Quote(base + "/api/panel")).output;
  EXPECT_NE(shown.find("group Kit expanded"), std::string::npos) << shown;
  EXPECT_NE(shown.find("item sq"), std::string::npos) << shown;

  ASSERT_EQ(::kill(pid, SIGINT), 0);
  for (int i = 0; i < 200 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  stop.pid = 0;
  EXPECT_NE(ReadFile(log).find("annot: stopped"), std::string::npos) << ReadFile(log);
  EXPECT_NE(ReadFile(Folder() + "/preferences.xml").find("<Path>Kit.ktz</Path>"), std::string::npos);
  EXPECT_EQ(ReadFile(Folder() + "/Kit.ktz"), kit);
  const std::string list = Annot("toolset list");
  EXPECT_NE(list.find("Kit\t1 tool\t"), std::string::npos) << list;
  EXPECT_NE(list.find("Base\t0 tools\t"), std::string::npos) << list;
}

}  // namespace
