#include "tessel/translator.h"

#include <gtest/gtest.h>

#include "tessel/test_support.h"
#include "tessel/ts_translation_unit.h"

using Tessel::Translator;
using Tessel::TrString;
using Tessel::testing::StringsFile;
using Tessel::testing::TempAppFolder;

namespace {

class TranslatorTest : public ::testing::Test {
 protected:
  TranslatorTest() {
    app_.Write("lang/en-US/Mod_strings_en-US.xml.kw",
               StringsFile({{"HELLO", "Hello"}, {"ONLY_EN", "English only"}, {"AMP", "A &amp; B &lt;C&gt; &quot;q&quot; &apos;s&apos; &#x20AC;"}}));
    app_.Write("lang/de-DE/Mod_strings_de-DE.xml.kw", StringsFile({{"HELLO", "Hallo"}, {"UML", "Gr\xC3\xB6\xC3\x9F""e"}}));
  }
  Translator& tr() { return Translator::GetInstance(); }
  TempAppFolder app_;
};

}  // namespace

TEST_F(TranslatorTest, LooksUpTheCurrentLanguageThenEnglishThenDefaultThenKey) {
  Tessel::SetCurrentLanguage(u"de-DE", false);
  ASSERT_TRUE(tr().LoadStrings("Mod"));
  EXPECT_EQ(tr().Translate("Mod", "HELLO", u"x"), u"Hallo");
  EXPECT_EQ(tr().Translate("Mod", "UML", u""), u"Gr\u00f6\u00dfe");
  EXPECT_EQ(tr().Translate("Mod", "ONLY_EN", u"x"), u"English only");
  EXPECT_EQ(tr().Translate("Mod", "AMP", u""), u"A & B <C> \"q\" 's' \u20AC");
  EXPECT_EQ(tr().Translate("Mod", "MISSING", u"Default"), u"Default");
  EXPECT_EQ(tr().Translate("Mod", "MISSING", u""), u"MISSING");
  EXPECT_EQ(tr().Translate("OtherTable", "HELLO", u""), u"HELLO");  // tables are separate
  EXPECT_EQ(TrString("Mod", "HELLO").ToString(), u"Hallo");
  EXPECT_EQ(static_cast<std::u16string>(TrString("Mod", "NOPE", u"d")), u"d");
}

TEST_F(TranslatorTest, SwitchingLanguageWithReloadChangesLoadedModules) {
  ASSERT_TRUE(tr().LoadStrings("Mod"));
  const TrString hello("Mod", "HELLO");
  EXPECT_EQ(hello.ToString(), u"Hello");
  Tessel::SetCurrentLanguage(u"de-DE", false);
  EXPECT_EQ(hello.ToString(), u"Hello");  // not reloaded yet
  Tessel::SetCurrentLanguage(u"de-DE", true);
  EXPECT_EQ(Tessel::GetCurrentLanguage(), u"de-DE");
  EXPECT_EQ(hello.ToString(), u"Hallo");
  Tessel::SetCurrentLanguage(u"", true);
  EXPECT_EQ(Tessel::GetCurrentLanguage(), u"en-US");
  EXPECT_EQ(hello.ToString(), u"Hello");
}

// A language without files, or with a malformed one, reads English; a
// table without any file loads nothing.
TEST_F(TranslatorTest, MissingOrMalformedFilesFallBackToEnglish) {
  app_.Write("lang/fr-FR/Mod_strings_fr-FR.xml.kw", "<strings><string id=\"HELLO\">Bonjour</strin");
  app_.Write("lang/fr-FR/Wrong_strings_fr-FR.xml.kw", "<other><string id=\"HELLO\">Salut</string></other>");
  for (const char16_t* language : {u"xx-XX", u"fr-FR"}) {
    tr().Clear();
    Tessel::SetCurrentLanguage(language, false);
    EXPECT_TRUE(tr().LoadStrings("Mod"));
    EXPECT_EQ(tr().Translate("Mod", "HELLO", u""), u"Hello");
  }
  EXPECT_FALSE(tr().LoadStrings("Wrong"));
  EXPECT_EQ(tr().Translate("Wrong", "HELLO", u""), u"HELLO");
  EXPECT_FALSE(tr().LoadStrings("NoSuchModule"));
  EXPECT_FALSE(tr().LoadStrings("../lang"));
}

TEST_F(TranslatorTest, ReadTranslationFileGivesRawDecodedText) {
  app_.Write("lang/en-US/notes.txt", "\xEF\xBB\xBFR&amp;D \xF0\x9F\x93\x8F\n");
  app_.Write("lang/de-DE/notes.txt", "Hinweis");
  const std::u16string raw = u"R&amp;D \U0001F4CF\n";
  EXPECT_EQ(tr().ReadTranslationFile(u"notes.txt"), raw);
  Tessel::SetCurrentLanguage(u"de-DE", false);
  EXPECT_EQ(tr().ReadTranslationFile(u"notes.txt"), u"Hinweis");
  const std::u16string absolute = std::u16string(app_.path().begin(), app_.path().end()) + u"/lang/en-US/notes.txt";
  EXPECT_EQ(tr().ReadTranslationFile(absolute), raw);
  EXPECT_EQ(tr().ReadTranslationFile(u"missing.txt"), u"");
  EXPECT_EQ(tr().ReadTranslationFile(u""), u"");
  EXPECT_EQ(tr().ReadTranslationFile(u"/"), u"");  // a folder
}

TEST(ShippedTranslations, EnglishFilesLoadFromTheSourceTree) {
  TempAppFolder guard;  // restores state afterwards
  Tessel::SetApplicationFolder(ANNOT_SOURCE_DIR);
  for (const char* module : {"Annotation", "PageOrganizer"}) EXPECT_TRUE(Translator::GetInstance().LoadStrings(module));
  EXPECT_EQ(Translator::GetInstance().Translate("Annotation", "IDS_RUBBER_TITLE", u""), u"Eraser");
  Tessel::SetCurrentLanguage(u"de-DE", true);
  EXPECT_EQ(Translator::GetInstance().Translate("Annotation", "IDS_STRING_RIBBON_PANEL", u""), u"Messen");
}

TEST(TSTranslationUnit, LoadsContextsSkippingBadIds) {
  TempAppFolder app;
  app.Write("unit.ts", R"(<translations>
      <context name="Dlg"><message id="101">One &amp; only</message><message id="x">skipped</message></context>
      <context name="Other"><message id="-5">Minus</message></context>
    </translations>)");
  app.Write("broken.ts", "<translations><context");
  const std::u16string folder(app.path().begin(), app.path().end());

  Tessel::TSTranslationUnit unit;
  ASSERT_TRUE(unit.LoadFile(folder + u"/unit.ts"));
  EXPECT_EQ(unit.GetMessageMap().size(), 2u);
  EXPECT_EQ(unit.Find(u"Dlg", 101), u"One & only");
  EXPECT_EQ(unit.GetMessageMap().at(u"Dlg").size(), 1u);
  EXPECT_EQ(unit.Find(u"Other", -5), u"Minus");
  EXPECT_EQ(unit.Find(u"Other", 6, u"fb"), u"fb");

  unit.SetMessage(u"Dlg", 101, u"changed");
  EXPECT_EQ(unit.Find(u"Dlg", 101), u"changed");
  EXPECT_FALSE(unit.LoadFile(folder + u"/broken.ts"));
  EXPECT_TRUE(unit.IsEmpty());
}
