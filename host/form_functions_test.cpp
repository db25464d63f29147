#include <gtest/gtest.h>

#include "host/host_functions.h"
#include "host/pdf_test_support.h"

namespace direct = kshost::direct;
using namespace kshost::pdf::test;

namespace {

std::string ResourceName(KPD_FontMap map, const char* baseFont) {
  Bytes out;
  return direct::FontMapGetResourceName(map, baseFont, out) ? out.text() : "<failed>";
}

KPD_Dictionary DrFonts(KPD_Document doc) {
  return direct::DictGet(direct::DictGet(direct::DictGet(direct::DocGetRoot(doc), "/AcroForm"), "/DR"), "/Font");
}

std::string BaseFontOf(KPD_Document doc, const char* name) {
  return Write(direct::DictGet(direct::DictGet(DrFonts(doc), name), "/BaseFont"));
}

}  // namespace

TEST(InterForm, BorrowedOnlyWithAnAcroFormOwnedOneCreatesIt) {
  Doc doc = OnePageDoc();
  EXPECT_EQ(direct::DocGetInterForm(doc.get()), nullptr);
  EXPECT_EQ(direct::DocGetInterForm(nullptr), nullptr);

  KPD_InterForm owned = direct::InterFormNew(doc.get());
  ASSERT_NE(owned, nullptr);
  EXPECT_FALSE(direct::DictHasKey(direct::DocGetRoot(doc.get()), "/AcroForm"));  // not before it is asked for
  KPD_Dictionary dict = direct::InterFormGetDict(owned);
  ASSERT_NE(dict, nullptr);
  EXPECT_TRUE(direct::ObjectIsIndirect(dict));
  EXPECT_EQ(Write(direct::DictGet(dict, "/Fields")), "[ ]");
  EXPECT_EQ(direct::DictGet(direct::DocGetRoot(doc.get()), "/AcroForm"), dict);

  KPD_InterForm borrowed = direct::DocGetInterForm(doc.get());
  ASSERT_NE(borrowed, nullptr);
  EXPECT_EQ(direct::DocGetInterForm(doc.get()), borrowed);  // one per document
  direct::InterFormRelease(borrowed);                        // ignored: it is the document's
  EXPECT_EQ(direct::InterFormGetDict(borrowed), dict);
  EXPECT_EQ(direct::InterFormGetDict(owned), dict);  // the same dictionary, not a second one

  // Another document's /AcroForm that is no dictionary is no form; a new
  // one replaces it.
  Doc other = OnePageDoc();
  Owned junk(direct::IntegerNew(3));
  ASSERT_TRUE(direct::DictSet(direct::DocGetRoot(other.get()), "/AcroForm", junk.get()));
  EXPECT_EQ(direct::DocGetInterForm(other.get()), nullptr);
  KPD_InterForm otherForm = direct::InterFormNew(other.get());
  EXPECT_NE(direct::InterFormGetDict(otherForm), dict);
  EXPECT_TRUE(direct::DictHasKey(direct::InterFormGetDict(otherForm), "/Fields"));
  EXPECT_NE(direct::DocGetInterForm(other.get()), borrowed);
  direct::InterFormRelease(otherForm);

  // An owned form outlives its document: it then answers null.
  doc.reset();
  EXPECT_EQ(direct::InterFormGetDict(owned), nullptr);
  direct::InterFormRelease(owned);
  direct::InterFormRelease(nullptr);
  EXPECT_EQ(direct::InterFormGetDict(nullptr), nullptr);
}

TEST(FontMap, ResourceNamesAreFoundOrAddedOnce) {
  Doc doc = OnePageDoc();
  KPD_FontMap map = direct::DocGetFontMap(doc.get());
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(direct::DocGetFontMap(doc.get()), map);

  struct Case {
    const char* baseFont;
    const char* name;
    const char* stored;
  } cases[] = {
      {"Helvetica", "/Helv", "/Helvetica"},
      {"Helvetica-Bold", "/HeBo", "/Helvetica-Bold"},
      {"Helvetica-BoldOblique", "/HeBoOb", "/Helvetica-BoldOblique"},
      {"/Courier", "/Cour", "/Courier"},
      // A font without metrics of its own is stored as its stand-in, and the
      // stand-in already in the resources is found for it.
      {"Arial", "/Helv", "/Helvetica"},
      {"ArialMT,Bold", "/HeBo", "/Helvetica-Bold"},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(ResourceName(map, c.baseFont), c.name) << c.baseFont;
    EXPECT_EQ(BaseFontOf(doc.get(), c.name), c.stored) << c.baseFont;
  }
  EXPECT_EQ(direct::DictKeyCount(DrFonts(doc.get())), 4);
  // An owned map reads the same resources.
  KPD_FontMap owned = direct::FontMapNew(doc.get());
  EXPECT_EQ(ResourceName(owned, "Courier"), "/Cour");
  EXPECT_EQ(direct::DictKeyCount(DrFonts(doc.get())), 4);
  doc.reset();
  EXPECT_EQ(ResourceName(owned, "Courier"), "<failed>");
  direct::FontMapRelease(owned);
}

TEST(FontMap, ExistingResourcesAreReusedAndNamesMadeUnique) {
  Doc doc = OnePageDoc();
  // A form whose resources already use "Helv" and "Helv1" for other fonts,
  // hold the wanted font under an unusual name, and have junk beside them.
  Owned form = Parse(
      "<< /Fields [] /DR << /Font << /Helv << /Type /Font /Subtype /TrueType /BaseFont /Arial >>"
      " /Helv1 << /BaseFont /Verdana >> /F9 << /Type /Font /Subtype /Type1 /BaseFont /Courier >>"
      " /Bad 5 /Bad2 << /BaseFont 7 >> >> >> >>");
  ASSERT_TRUE(direct::DictSet(direct::DocGetRoot(doc.get()), "/AcroForm", form.get()));
  KPD_FontMap map = direct::DocGetFontMap(doc.get());

  EXPECT_EQ(ResourceName(map, "Courier"), "/F9");
  EXPECT_EQ(ResourceName(map, "Arial"), "/Helv");  // exact base font found first
  // Arial is not Helvetica, though it stands in for it: a new name, past
  // the ones taken.
  EXPECT_EQ(ResourceName(map, "Helvetica"), "/Helv2");
  EXPECT_EQ(BaseFontOf(doc.get(), "/Helv2"), "/Helvetica");
  EXPECT_EQ(ResourceName(map, "Times-Roman"), "/TiRo");
  EXPECT_EQ(ResourceName(map, "Symbol"), "/Symb");
  EXPECT_EQ(ResourceName(map, ""), "<failed>");
  EXPECT_EQ(ResourceName(nullptr, "Helvetica"), "<failed>");
  Bytes out;
  EXPECT_FALSE(direct::FontMapGetResourceName(map, nullptr, out));
}
