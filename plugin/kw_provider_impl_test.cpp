#include "plugin/kw_provider_impl.h"

#include <gtest/gtest.h>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "host/pdf_test_support.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

class ProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host::Bind(kshost::CoreHFT(), nullptr);
    doc_ = kshost::direct::DocNew();
    KS_FloatRect box{0, 0, 300, 300};
    kshost::direct::DocAddPage(doc_, &box);
  }
  void TearDown() override {
    ReleaseProvider();
    kwannotation::CKW_ProviderManager::Get()->SetProvider(nullptr);
    kwannotation::CKW_ProviderManager::Get()->SetIconProvider(nullptr);
    kshost::direct::DocClose(doc_);
  }

  KPD_Document doc_ = nullptr;
};

// One object serves both roles, and the manager shares ownership of it.
TEST_F(ProviderTest, RegisteredAsBothProvidersOfTheManager) {
  RegisterProvider();
  auto manager = kwannotation::CKW_ProviderManager::Get();
  auto* provider = dynamic_cast<CKW_Provider*>(manager->GetProvider().get());
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(dynamic_cast<CKW_Provider*>(manager->GetIconProvider().get()), provider);
  kwannotation::CKW_SystemHandler* handler = manager->GetProvider()->GetSystemHandler();
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(manager->GetProvider()->GetSystemHandler(), handler);  // made once
  EXPECT_FALSE(handler->IsReady());
  // The plug-in, the manager's provider and its icon provider hold it.
  EXPECT_EQ(manager->GetProvider().use_count(), 4);  // with the copy asked for here
  ReleaseProvider();
  EXPECT_EQ(manager->GetProvider().use_count(), 3) << "the plug-in let go of it";
  EXPECT_EQ(dynamic_cast<CKW_Provider*>(manager->GetProvider().get()), provider);  // the manager still holds it
}

TEST_F(ProviderTest, CreationAndRemovalHooksWorkOnTheGivenPage) {
  CKW_Provider provider;
  KPD_Page page = kshost::direct::DocGetPage(doc_, 0);
  kshost::pdf::test::Owned square = kshost::pdf::test::Parse("<< /Subtype /Square >>");
  kshost::pdf::test::Owned circle = kshost::pdf::test::Parse("<< /Subtype /Circle >>");
  KPD_Annot first = provider.CreateAnnot(doc_, 0, square.get(), -1);
  KPD_Annot second = provider.CreateAnnot(doc_, 0, circle.get(), 0);  // before the square
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(kshost::direct::PageFindAnnot(page, second), 0);
  EXPECT_EQ(kshost::direct::PageFindAnnot(page, first), 1);
  EXPECT_EQ(provider.CreateAnnot(doc_, 5, square.get(), -1), nullptr);  // no such page
  EXPECT_TRUE(provider.RemoveAnnot(doc_, 0, second));
  EXPECT_FALSE(provider.RemoveAnnot(doc_, 0, second));
  EXPECT_EQ(kshost::direct::PageAnnotCount(page), 1);
}

// The handler answers from the host's font service: real Helvetica metrics,
// the family names given as wide text, fonts added to the form resources.
TEST_F(ProviderTest, SystemHandlerForwardsToTheFontService) {
  CKW_Provider provider;
  kwannotation::CKW_SystemHandler* fonts = provider.GetSystemHandler();
  const float hello = fonts->GetTextWidth("Helvetica", u"Hello", 10);
  EXPECT_NEAR(hello, 10 * (722 + 556 + 222 + 222 + 556) / 1000.0f, 0.2f);
  EXPECT_GT(fonts->GetCharWidth("Helvetica", u'W'), fonts->GetCharWidth("Helvetica", u'i'));
  EXPECT_TRUE(fonts->IsStandard14("Times-Bold"));
  EXPECT_FALSE(fonts->IsStandard14("Arial"));
  EXPECT_EQ(fonts->GetStandardFontName("Courier New", true, false), "Courier-Bold");
  EXPECT_EQ(fonts->GetBaseFontName(u"Helvetica"), "Helvetica");
  EXPECT_GT(fonts->GetAscent("Helvetica", 12), 8.0f);
  EXPECT_LT(fonts->GetDescent("Helvetica", 12), 0.0f);
  // A document without a form has nowhere to put the font; with one, it
  // lands in the form's default resources.
  EXPECT_FALSE(fonts->AddFontToFormResources(doc_, "/Helv", "Helvetica"));
  kshost::direct::DictSet(kshost::direct::DocGetRoot(doc_), "/AcroForm", kshost::pdf::test::Parse("<< >>").get());
  ASSERT_TRUE(fonts->AddFontToFormResources(doc_, "/Helv", "Helvetica"));
  KPD_Dictionary acroForm = kshost::direct::DictGet(kshost::direct::DocGetRoot(doc_), "/AcroForm");
  KPD_Dictionary helv = kshost::direct::DictGet(kshost::direct::DictGet(kshost::direct::DictGet(acroForm, "/DR"), "/Font"), "/Helv");
  EXPECT_EQ(kshost::direct::NameIs(kshost::direct::DictGet(helv, "/BaseFont"), "/Helvetica"), 1);
}

TEST_F(ProviderTest, DisplayTextGoesThroughTheHostAndEmptyStaysEmpty) {
  CKW_Provider provider;
  EXPECT_EQ(provider.GetDisplayText(u""), u"");
  EXPECT_EQ(provider.GetDisplayText(u"a\r\nb\rc\x01"), u"a\nb\nc");
}

}  // namespace
}  // namespace AnnotationPlugin
