// The Comment tab's words: every key the tab and its tools ask for has its
// own text in each language the editor ships, read from the files as a
// translator would find them.
#include "comment/ccm_module.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "comment/ccm_tool_table.h"

namespace AnnotationComment {
namespace {

// The "Editor" table of one language: key to text.
std::map<std::string, std::string> EditorTable(const std::string& code) {
  std::ifstream in(std::string(ANNOT_SOURCE_DIR) + "/lang/" + code + "/Editor_strings_" + code + ".xml.kw");
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  std::map<std::string, std::string> table;
  const std::regex entry(R"re(<string id="([^"]+)">([^<]*)</string>)re");
  for (auto it = std::sregex_iterator(all.begin(), all.end(), entry); it != std::sregex_iterator(); ++it)
    table[(*it)[1]] = (*it)[2];
  return table;
}

TEST(CommentWords, EveryKeyTheTabAndItsToolsAskForHasTextInEnglishGermanAndFrench) {
  const std::vector<std::string> keys = CCM_CommentModule::TextKeys();
  // Five panels, a title and a tooltip for each of the 20 tools, five
  // stamps, the stamp menu and Custom… with tooltips, five captions.
  EXPECT_EQ(keys.size(), 5u + 2 * CommentTools().size() + 5 + 4 + CommentCaptionKeys().size());
  const auto english = EditorTable("en-US");
  ASSERT_FALSE(english.empty());
  for (const char* code : {"en-US", "de-DE", "fr-FR"}) {
    const auto table = code == std::string("en-US") ? english : EditorTable(code);
    for (const std::string& key : keys) {
      const auto it = table.find(key);
      ASSERT_NE(it, table.end()) << code << ": " << key;
      EXPECT_FALSE(it->second.empty()) << code << ": " << key;
      // "%1" stands for a title or a file name in every language.
      EXPECT_EQ(it->second.find("%1") != std::string::npos, english.at(key).find("%1") != std::string::npos)
          << code << ": " << key;
    }
  }
}

TEST(CommentWords, ToolTitlesAreTheWordsAGermanOrFrenchEditorUses) {
  const auto de = EditorTable("de-DE"), fr = EditorTable("fr-FR");
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"Rectangle", {"Rechteck", "Rectangle"}},          {"Ellipse", {"Ellipse", "Ellipse"}},
      {"Line", {"Linie", "Ligne"}},                      {"Arrow", {"Pfeil", "Flèche"}},
      {"TextBox", {"Textfeld", "Zone de texte"}},        {"Highlight", {"Hervorheben", "Surligner"}},
      {"Underline", {"Unterstreichen", "Souligner"}},    {"StrikeOut", {"Durchstreichen", "Barrer"}},
      {"Stamp", {"Stempel", "Tampon"}},                  {"Attach", {"Datei anhängen", "Joindre un fichier"}},
  };
  for (const auto& [tool, words] : expected) {
    const CommentToolInfo* info = FindCommentTool(tool);
    ASSERT_NE(info, nullptr) << tool;
    EXPECT_EQ(de.at(info->titleKey), words.first) << tool;
    EXPECT_EQ(fr.at(info->titleKey), words.second) << tool;
  }
  // No two tools share a title in any language: a button names one tool.
  for (const auto* table : {&de, &fr}) {
    std::set<std::string> titles;
    for (const CommentToolInfo& info : CommentTools()) EXPECT_TRUE(titles.insert(table->at(info.titleKey)).second);
  }
}

}  // namespace
}  // namespace AnnotationComment
