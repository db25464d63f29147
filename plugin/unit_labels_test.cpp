// Unit labels of every installed language mapped back to English.
#include "plugin/unit_labels.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/core_hft.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

class UnitLabels : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Host::Bind(kshost::CoreHFT(), nullptr); }
};

// The process-wide table is built from the application folder, which in a
// test run is the source tree with its lang/ folder.
TEST_F(UnitLabels, InstalledLanguagesMapToEnglish) {
  const struct {
    const char16_t* typed;
    const char16_t* english;
  } cases[] = {
      {u"  SQ FT \t", u"sq ft"},          // blanks and capitals
      {u"Quadratfu\u00DF", u"sq ft"},     // German area label at the place of "sq ft"
      {u"QUADRATFU\u00DF\r\n", u"sq ft"},
      {u"pied carr\u00C9", u"sq ft"},     // French, capital accented letter
      {u"Hektar", u"ha"},
      {u"Kubikmeile", u"cu mi"},
      {u"m\u00B3", u"cu m"},
      {u"Fu\u00DF-Zoll", u"ft'in\""},
      {u"Punkt", u"pt"},
      {u"pica", u"p"},
      {u"m", u"m"},
      {u"  furlong ", u"furlong"},        // unknown: trimmed, case kept
      {u"Furlong", u"Furlong"},
      {u"", u""},
      {u" \t\r\n", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeUnitLabel(std::u16string(c.typed)), c.english);
}

class TempLangFolder {
 public:
  TempLangFolder() {
    char name[] = "/tmp/unit_labels_XXXXXX";
    root_ = ::mkdtemp(name) ? name : "/nonexistent";
  }
  ~TempLangFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  void Write(const std::string& code, const std::string& body) {
    std::filesystem::create_directories(root_ + "/lang/" + code);
    std::ofstream(root_ + "/lang/" + code + "/Annotation_strings_" + code + ".xml.kw")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<strings>\n" << body << "</strings>\n";
  }
  std::u16string path() const { return std::u16string(root_.begin(), root_.end()); }
  void MakeFolder(const std::string& code) { std::filesystem::create_directories(root_ + "/lang/" + code); }

 private:
  std::string root_;
};

TEST_F(UnitLabels, TableFromTranslationFiles) {
  TempLangFolder folder;
  folder.Write("en-US",
               "<string id=\"IDS_MA_AREA_UNIT\"> sq in\\nR&amp;D units\\nacre </string>\n"
               "<string id=\"IDS_MA_VOLUME_UNIT\">cu m</string>\n");
  folder.Write("xx-XX",
               "<string id=\"IDS_MA_AREA_UNIT\">zi\\nR&amp;D Einheiten\\nAkre\\nextra</string>\n"
               "<string id=\"IDS_STRINGUNITI\">only here</string>\n"  // no English text: skipped
               "<string id=\"IDS_MA_VOLUME_UNIT\">kubik &lt;m&gt;</string>\n");
  folder.MakeFolder("yy-YY");  // a language folder without a file

  for (const std::u16string& app : {folder.path(), folder.path() + u"/"}) {
    const UnitLabelTable table = BuildUnitLabelTable(app);
    const struct {
      const char16_t* typed;
      const char16_t* english;
    } cases[] = {
        {u"ZI", u"sq in"},
        {u"r&d einheiten", u"R&D units"},        // "&amp;" in the file matches "&"
        {u"R&amp;D Einheiten", u"R&D units"},    // and so does the entity itself
        {u"akre", u"acre"},
        {u"extra", u"extra"},                     // no English label at that place
        {u"only here", u"only here"},
        {u"Kubik <M>", u"cu m"},
        {u"zi\\nr&d einheiten\\nakre\\nextra", u"sq in\\nR&D units\\nacre"},  // the whole list
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeUnitLabel(table, std::u16string(c.typed)), c.english) << app.size();
  }
  EXPECT_TRUE(BuildUnitLabelTable(u"/nonexistent/folder").empty());
  EXPECT_TRUE(BuildUnitLabelTable(u"").empty());
}

TEST_F(UnitLabels, ReadsTheTextAfterTheFirstIdOfTheKey) {
  const std::u16string file =
      u"<string id=\"IDS_STRINGUNITII\">wrong</string>\n"
      u"<string id=\"IDS_STRINGUNITI\" note=\"x\">\n  a &quot;b&quot; &apos;c&apos; </string>\n"
      u"<string id=\"IDS_STRINGUNITI\">second</string>\n"
      u"<string id=\"IDS_OPEN\">never closed";
  EXPECT_EQ(ReadTranslationText(file, u"IDS_STRINGUNITI"), u"a \"b\" 'c'");
  EXPECT_EQ(ReadTranslationText(file, u"IDS_STRINGUNITII"), u"wrong");
  EXPECT_EQ(ReadTranslationText(file, u"IDS_OPEN"), u"");
  EXPECT_EQ(ReadTranslationText(file, u"IDS_MISSING"), u"");
  EXPECT_EQ(ReadTranslationText(u"<string id=\"K\"", u"K"), u"");
}

TEST_F(UnitLabels, KeysAreTrimmedUnescapedAndLowerCased) {
  const struct {
    const char16_t* text;
    const char16_t* key;
  } cases[] = {
      {u" \tAbC\r\n", u"abc"},
      {u"\u00C4\u00D6\u00DC\u00D7\u00DF", u"\u00E4\u00F6\u00FC\u00D7\u00DF"},  // the multiplication sign stays
      {u"\u0141\u00F3d\u017A \u0178", u"\u0142\u00F3d\u017A \u00FF"},
      {u"\u0130", u"i"},
      {u"\u0394\u03A3 \u041C\u0401", u"\u03B4\u03C3 \u043C\u0451"},
      {u"&amp;lt; &gt;&quot;", u"&lt; >\""},  // one pass of replacement
      {u"& alone", u"& alone"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnitLabelKey(c.text), c.key);
}

}  // namespace
}  // namespace AnnotationPlugin
