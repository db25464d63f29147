#include "kwannotation/kw_measure_xfdf.h"

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

using test::Owned;
using test::Parse;
using test::Write;
namespace host = ks::host;

class MeasureXfdfTest : public test::HostDocTest {
 protected:
  void SetUp() override {
    test::HostDocTest::SetUp();
    xml_ = host::XmlNew("annots");
    if (!xml_) GTEST_SKIP() << "the host has no XML service";
    root_ = host::XmlGetRoot(xml_);
  }
  void TearDown() override {
    host::XmlRelease(xml_);
    test::HostDocTest::TearDown();
  }
  std::string Serialize(KX_Element e) {
    host::ByteString out;
    host::XmlSerialize(e, 0, 0, out.get());
    return out.str();
  }
  KX_Element ParseElement(std::string_view text) {
    host::ByteString error;
    host::XmlRelease(parsed_);
    parsed_ = host::XmlParse(text.data(), text.size(), error.get());
    return host::XmlGetRoot(parsed_);
  }

  KX_Document xml_ = nullptr;
  KX_Document parsed_ = nullptr;
  KX_Element root_ = nullptr;

 public:
  ~MeasureXfdfTest() override { host::XmlRelease(parsed_); }
};

TEST_F(MeasureXfdfTest, ExportWritesEveryElementInArrayOrder) {
  Owned measure = Parse(
      "<< /Type /Measure /Subtype /GEO /R (1 in = 10 \\374) /O [1.5 -2] /CYX 0.5"
      " /D [<< /U (ft) /C 1 /F /F /D 8 /FD true >>]"
      " /X [<< /U (') /C 0.125 /PS () /SS (-) >> << /U (\") /C 12 /O /P /RT () /RD (,) >>] >>");
  ASSERT_TRUE(ExportMeasureToXFDF(measure.get(), root_));
  EXPECT_EQ(Serialize(host::XmlFirstChild(root_, "measure")),
            "<measure ratio=\"1 in = 10 \xC3\xBC\" coord-system=\"GEO\" origin-x=\"1.5\" origin-y=\"-2\" cyx=\"0.5\">"
            "<number-format type=\"X\" unit=\"'\" scale-factor=\"0.125\" thousands-sep=\",\" decimal-sep=\".\""
            " prefix=\"\" suffix=\"-\" placement=\"S\" display-format=\"D\" precision=\"100\" preserve-format=\"no\"/>"
            "<number-format type=\"X\" unit=\"&quot;\" scale-factor=\"12\" thousands-sep=\"\" decimal-sep=\",\""
            " prefix=\" \" suffix=\" \" placement=\"P\" display-format=\"D\" precision=\"100\" preserve-format=\"no\"/>"
            "<number-format type=\"D\" unit=\"ft\" scale-factor=\"1\" thousands-sep=\",\" decimal-sep=\".\""
            " prefix=\" \" suffix=\" \" placement=\"S\" display-format=\"F\" precision=\"8\" preserve-format=\"yes\"/>"
            "</measure>");
  EXPECT_FALSE(ExportMeasureToXFDF(nullptr, root_));
  Owned notDict = Parse("[1 2]");
  EXPECT_FALSE(ExportMeasureToXFDF(notDict.get(), root_));
  EXPECT_EQ(host::XmlChildCount(root_), 1);
}

TEST_F(MeasureXfdfTest, ImportReadsTheSameNamesBack) {
  Owned source = Parse(
      "<< /Type /Measure /SubType /RL /R (in X 1 in = 10 ft, in Y 1 in = 20 ft) /O [3 4] /CYX 1"
      " /X [<< /U (ft) /C 0.1388 /D 16 /F /F /FD false /O /S /PS ( ) /RD (.) /RT (,) /SS () >>]"
      " /Y [<< /U (m) /C 2 /D 1000 /F /D /FD false /O /P /PS () /RD (,) /RT (.) /SS ( ) >>] >>");
  ASSERT_TRUE(ExportMeasureToXFDF(source.get(), root_));
  Owned back(ImportMeasureFromXFDF(doc_, host::XmlFirstChild(root_, "measure")));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Write(back.get()), Write(source.get()));
}

TEST_F(MeasureXfdfTest, ImportLeavesOutWhatIsMissingOrNotANumber) {
  KX_Element e = ParseElement(
      "<measure ratio='1 in = 1 in' origin-x='5' cyx='nan'>"
      "<number-format type='D' unit='in' scale-factor='inf' precision='1e99' display-format='fraction'/>"
      "<number-format type='Q' unit='lost'/>"
      "<number-format unit='lost'/>"
      "<number-format type='A' unit='sq in' scale-factor='2.5'/>"
      "</measure>");
  ASSERT_NE(e, nullptr);
  Owned m(ImportMeasureFromXFDF(doc_, e));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Write(m.get()),
            "<< /A [ << /C 2.5 /U (sq in) >> ] /D [ << /F /F /U (in) >> ] /R (1 in = 1 in) /SubType /RL "
            "/Type /Measure >>");
  EXPECT_EQ(ImportMeasureFromXFDF(doc_, nullptr), nullptr);
  EXPECT_EQ(ImportMeasureFromXFDF(doc_, ParseElement("<annot/>")), nullptr);
}

}  // namespace
}  // namespace kwannotation
