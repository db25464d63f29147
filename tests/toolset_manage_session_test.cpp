// The manage-toolsets dialog in a session: the tool chest's manage button
// opens it, a script answers it, the trace shows its rows and messages,
// and the toolset folder and the chest show what it did in the next
// process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "tests/test_support.h"

namespace {

using testing_support::Quote;
using testing_support::Shell;
using testing_support::TempDir;

namespace direct = kshost::direct;

// A word of a session script.
std::string Word(const std::string& text) { return "\"" + text + "\""; }

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class ManageToolsetsSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    KPD_Document doc = direct::DocNew();
    KS_FloatRect a4{0, 0, 595, 842};
    KPD_Page page = direct::DocAddPage(doc, &a4);
    const std::string square = "<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/C[1 0 0]/NM(sq)>>";
    KPD_Object parsed = direct::ObjectParse(square.data(), square.size());
    direct::PageInsertAnnot(page, -1, parsed);
    direct::ObjectRelease(parsed);
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_TRUE(direct::DocSave(doc, pdf_.c_str(), error));
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
    Annot("toolset create Review");
    Annot("toolset capture " + Quote(pdf_) + " 1 0 --into Review");
    Annot("toolset create Other");
    ASSERT_EQ(last_, 0);
  }
  std::string Annot(const std::string& args) {
    auto r = Shell("XDG_DATA_HOME=" + Quote(dir_ / "data") + " XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " " +
                   Quote(testing_support::AnnotPath()) + " " + args);
    last_ = r.status;
    return r.output;
  }
  std::string Run(const std::string& script) {
    const std::string path = dir_ / "manage.session";
    std::ofstream(path) << script;
    return Annot("run " + Quote(path) + " -i " + Quote(pdf_) + " -o " + Quote(dir_ / "out.pdf") + " --trace");
  }
  std::string Folder() const { return dir_ / "data/annot/toolset"; }

  TempDir dir_;
  std::string pdf_ = dir_ / "shapes.pdf";
  int last_ = -1;
};

TEST_F(ManageToolsetsSession, AScriptManagesToolsetsThroughTheDialog) {
  const std::string package = dir_ / "markups.ktz", bad = dir_ / "bad.ktz";
  std::ofstream(bad) << "<VenkoToolSet><Title>bad";
  // Rows: 0 My Tools, 1 Review, 2 Other, then the created Plans.
  std::string out = Run(
      "answer dialog ts_managetoolboxdlg.ui.kw 3\n"
      "answer dialog ts_createtoolboxdlg.ui.kw ok lineEditTitle=Other\n"
      "answer dialog ts_createtoolboxdlg.ui.kw ok lineEditTitle=Plans\n"
      "answer dialog ts_managetoolboxdlg.ui.kw 6 tableToolsets=1\n"
      "answer dialog ts_createtoolboxdlg.ui.kw ok lineEditTitle=Markups\n"
      "answer dialog ts_managetoolboxdlg.ui.kw 8 tableToolsets=2\n"
      "answer dialog ts_managetoolboxdlg.ui.kw 5 tableToolsets=1\n"
      "answer file " + Word(package) + "\n"
      "answer dialog ts_managetoolboxdlg.ui.kw ok\n"
      "panel ToolShest manage\n");
  ASSERT_EQ(last_, 0) << out;
  EXPECT_NE(out.find("panel tableToolsets = row 1: \u2713 | Review | " + Folder() + "/Review.ktz"), std::string::npos)
      << out;
  EXPECT_NE(out.find("panel labelInfo = A toolset with this name already exists."), std::string::npos) << out;
  EXPECT_NE(out.find("panel tableToolsets = row 2:   | Other | "), std::string::npos) << out;
  EXPECT_NE(out.find("panel ToolShest: group Markups expanded"), std::string::npos) << out;
  EXPECT_NE(out.find("panel ToolShest: group Plans expanded"), std::string::npos) << out;
  EXPECT_EQ(out.find("panel ToolShest: group Other"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/Other.ktz"));  // hidden, not gone
  EXPECT_NE(Read(package).find("<VenkoToolSet"), std::string::npos);

  // Delete: no keeps it, yes takes it from the list, the chest and the
  // disk; a broken package is refused and the exported one comes back.
  out = Run(
      "answer dialog ts_managetoolboxdlg.ui.kw 7 tableToolsets=1\n"
      "answer message no\n"
      "answer dialog ts_managetoolboxdlg.ui.kw 7 tableToolsets=1\n"
      "answer message yes\n"
      "answer dialog ts_managetoolboxdlg.ui.kw 4\n"
      "answer file " + Word(bad) + " " + Word(package) + "\n"
      "answer dialog ts_managetoolboxdlg.ui.kw ok\n"
      "panel ToolShest manage\n");
  ASSERT_EQ(last_, 0) << out;
  // Asked twice; after the yes no row names the file.
  const size_t yes = out.rfind("message: Manage Toolsets: Delete the selected toolsets?");
  ASSERT_NE(yes, std::string::npos) << out;
  EXPECT_NE(out.rfind("message: Manage Toolsets: Delete the selected toolsets?", yes - 1), std::string::npos) << out;
  EXPECT_EQ(out.find("Review.ktz", yes), std::string::npos) << out;
  EXPECT_NE(out.find("message: Manage Toolsets: \"" + bad + "\" is not a valid toolset file."), std::string::npos)
      << out;
  EXPECT_NE(out.find("panel ToolShest:   item sq "), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(Folder() + "/Review.ktz"));
  EXPECT_FALSE(std::filesystem::exists(Folder() + "/bad.ktz"));
  const std::string prefs = Read(Folder() + "/preferences.xml");
  EXPECT_EQ(prefs.find("Review.ktz"), std::string::npos) << prefs;
  EXPECT_NE(prefs.find("<Visible>False</Visible><Path>Other.ktz</Path>"), std::string::npos) << prefs;
  const std::string list = Annot("toolset list");
  EXPECT_NE(list.find("Markups\t1 tool\t" + Folder() + "/markups.ktz"), std::string::npos) << list;
  EXPECT_EQ(list.find("Other\t"), std::string::npos) << list;
}

}  // namespace
