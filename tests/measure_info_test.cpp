// annot measure info on files made by other programs and on damaged scales.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

class MeasureInfoTest : public ::testing::Test {
 protected:
  CommandResult Info(const std::string& pdf) { return Shell(AnnotIn(home_) + " measure info " + Quote(pdf)); }

  // A one-page file with one annotation per dictionary text and the
  // viewports `vp`.
  std::string MakePdf(const std::vector<std::string>& annots, const std::string& vp = "") {
    std::string path = dir_ / "made.pdf";
    EXPECT_EQ(WritePagesPdf(path, {0, 0, 612, 792}, {annots}, vp.empty() ? "" : "<< /VP " + vp + " >>"), "");
    return path;
  }

  // Long lines are cut short in the failure message.
  static void ExpectLine(const std::string& output, const std::string& text) {
    if (output.find(text) != std::string::npos) return;
    std::string shown;
    for (size_t at = 0; at < output.size();) {
      size_t end = std::min(output.find('\n', at), output.size());
      shown += output.substr(at, std::min<size_t>(end - at, 200)) + "\n";
      at = end + 1;
    }
    ADD_FAILURE() << "missing: " << text.substr(0, 200) << "\nin:\n" << shown;
  }

  TempDir home_;
  TempDir dir_;
};

// Whether `text` holds `word` (lower case) as a whole run of letters, in
// any case.
bool HasWord(const std::string& text, const std::string& word) {
  std::string run;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
      run += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      continue;
    }
    if (run == word) return true;
    run.clear();
  }
  return false;
}

// Number formats as this system writes them.
std::string Format(const std::string& unit, const std::string& c, const std::string& extra = "",
                   const std::string& ps = " ", const std::string& ss = "") {
  return "<< /U (" + unit + ") /C " + c + " /RT (,) /RD (.) /PS (" + ps + ") /SS (" + ss + ") " + extra + " >>";
}

std::string Measure(const std::string& r, const std::string& d = Format("ft", "1"),
                    const std::string& x = Format("ft", "0.138888888889")) {
  return "<< /Type /Measure /R (" + r + ") /X [" + x + "] /D [" + d + "] /A [" + Format("sq ft", "1") + "] >>";
}

std::string Line(const std::string& measure, const std::string& contents = "") {
  return "<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [0 0 72 10] /L [0 0 72 0] /Contents (" +
         contents + ") /Measure " + measure + " >>";
}

// Files of other programs: a line whose value is recomputed, a viewport
// with a geospatial measure (its box stored upside down is read
// normalised), and a "VP" that is no array.
TEST_F(MeasureInfoTest, ReadsTheScalesOfOtherProgramsFiles) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"itext_annotation-with-popup_LineDimension.pdf",
       {"page 1: viewports: none\n",
        "1.0: LineDimension ratio \"1 pt = 1 pt\" valid; length \"132.27 pt\"; contents \"132.27 pt\"\n"}},
      {"pdfjs_bug1146106_VP_GEO.pdf",
       {"viewport 0: name \"Layers\\x00\" box [0.00 0.00 715.15 522.00] ratio \"\" "
        "invalid: geospatial (GEO) measure dictionary\n"}},
      {"poppler-test_imageretrieve+attachment_VP_RL.pdf", {"page 1: viewports: none (\"VP\" is not an array)\n"}},
  };
  for (const auto& [name, lines] : cases) {
    if (!Exists(SharedPdf(name))) GTEST_SKIP() << "no shared samples";
    CommandResult r = Info(SharedPdf(name));
    ASSERT_EQ(r.status, 0) << name << "\n" << r.output;
    for (const std::string& line : lines) ExpectLine(r.output, line);
  }
}

// Every kind of value recomputed from its geometry with its own scale and
// formats: 72 points at 0.138889 ft a point are 10 ft. CAD programs leave
// the ratio text blank and put the scale in X alone; that measures too.
TEST_F(MeasureInfoTest, RecomputesEveryKindOfValueWithItsOwnFormats) {
  const std::string tenFeet = Measure("1 in = 10 ft");
  const std::string withVolume = "<< /Type /Measure /R (1 in = 10 ft) /X [" + Format("ft", "0.138888888889") +
                                 "] /D [" + Format("ft", "1") + "] /A [" + Format("sq ft", "1") + "] /V [" +
                                 Format("cu ft", "1") + "] >>";
  const std::string feetAndInches =
      Measure("1 in = 10 ft", Format("'", "1", "", "", "-") + " " + Format("\"", "12", "/F /F /D 16", "", ""));
  auto annot = [](const std::string& subtype, const std::string& intent, const std::string& geometry,
                  const std::string& measure) {
    return "<< /Type /Annot /Subtype /" + subtype + " /IT /" + intent + " /Rect [0 0 72 72] " + geometry +
           " /Measure " + measure + " >>";
  };
  const std::string viewports = "[<< /Type /Viewport /BBox [0 0 300 300] /Name (Plan) /Measure " + tenFeet +
                                " >> << /Type /Viewport /BBox [300 300 600 600] /Name (Model) /Measure " +
                                Measure(" ") + " >>]";
  CommandResult r = Info(MakePdf(
      {
          annot("Polygon", "PolygonDimension", "/Vertices [0 0 72 0 72 72 0 72] /Contents (100 sq ft)", tenFeet),
          annot("PolyLine", "PolyLineDimension", "/Vertices [0 0 72 0 72 72]", feetAndInches),
          Line(tenFeet, "10 ft"),
          Line(Measure(" ")),
          annot("Circle", "CircleDimension", "", tenFeet),
          annot("Polygon", "PolygonVolume", "/Vertices [0 0 72 0 72 72 0 72] /Depth 3", withVolume),
          annot("Polygon", "PolygonVolume", "/Vertices [0 0 72 0 72 72 0 72]", withVolume),
          annot("Polygon", "PolygonRadius", "/Vertices [0 0 36 0]", tenFeet),
          annot("PolyLine", "PolyLineAngle", "/Vertices [72 0 0 0 0 72]", tenFeet),
          annot("Polygon", "PolygonVolume", "/Vertices [0 0 72 0 72 72 0 72] /Depth 3", tenFeet),
      },
      viewports));
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* line : {
           "viewport 0: name \"Plan\" box [0.00 0.00 300.00 300.00] ratio \"1 in = 10 ft\" valid\n",
           "viewport 1: name \"Model\" box [300.00 300.00 600.00 600.00] ratio \" \" valid\n",
           "1.0: PolygonDimension ratio \"1 in = 10 ft\" valid; area \"100.00 sq ft\"; perimeter \"40.00 ft\"; "
           "contents \"100 sq ft\"\n",
           "1.1: PolyLineDimension ratio \"1 in = 10 ft\" valid; length \"20'-0\\\"\"; contents (none)\n",
           "1.2: LineDimension ratio \"1 in = 10 ft\" valid; length \"10.00 ft\"; contents \"10 ft\"\n",
           "1.3: LineDimension ratio \" \" valid; length \"10.00 ft\"",
           "1.4: CircleDimension ratio \"1 in = 10 ft\" valid; area \"78.54 sq ft\"; diameter \"10.00 ft\"; "
           "circumference \"31.42 ft\"; contents (none)\n",
           "1.5: PolygonVolume ratio \"1 in = 10 ft\" valid; volume \"300.00 cu ft\"; area \"100.00 sq ft\"; "
           "depth \"3.00 ft\"; contents (none)\n",
           "1.6: PolygonVolume ratio \"1 in = 10 ft\" valid; value: (no depth); contents (none)\n",
           "1.7: PolygonRadius ratio \"1 in = 10 ft\" valid; radius \"5.00 ft\"; contents (none)\n",
           "1.8: PolyLineAngle ratio \"1 in = 10 ft\" valid; angle \"90.00\u00B0\"; contents (none)\n",
           // Without a "V" array the volume cannot be shown, and says so.
           "1.9: PolygonVolume ratio \"1 in = 10 ft\" valid; volume (cannot be shown with this measure "
           "dictionary); area \"100.00 sq ft\"; depth \"3.00 ft\"; contents (none)\n",
       })
    ExpectLine(r.output, line);
  EXPECT_FALSE(HasWord(r.output, "nan"));
  EXPECT_FALSE(HasWord(r.output, "inf"));
}

TEST_F(MeasureInfoTest, BadScalesAreReportedWithTheirReason) {
  const std::string longLabel(10000, 'u');
  std::string hugeArray;
  for (int i = 0; i < 100000; ++i) hugeArray += "<< /U (u) /C 1 >> ";
  const std::vector<std::string> annots = {
      Line(Measure("")),
      Line(Measure("=")),
      Line(Measure("1 in = 0 ft")),
      Line(Measure("1e400 in = 1 ft")),
      Line(Measure("-3 in = 2 ft")),
      Line(Measure("1 in = 10 ft", Format("ft", "1", "/D 0"))),
      Line(Measure("1 in = 10 ft", Format("ft", "1", "/F /F /D -5"))),
      Line(Measure("1 in = 10 ft", Format("ft", "-2"))),
      Line(Measure("1 in = 10 ft", Format(longLabel, "1"))),
      Line(Measure("1 in = 10 ft", hugeArray)),
      Line(Measure("1 in = 10 ft", Format("ft", "1"), Format("ft", "1" + std::string(30, '0') + ".0"))),
      "<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 (x) 1] /Measure " + Measure("1 in = 1 in") + " >>",
      "<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 72 0] /Measure 5 >>",
  };
  CommandResult r = Info(MakePdf(annots));
  ASSERT_EQ(r.status, 0) << r.output.substr(0, 4000);
  // An empty ratio text is only an unwritten label: X's factor measures.
  ExpectLine(r.output, "1.0: LineDimension ratio \"\" valid; length \"10.00 ft\"");
  for (int i : {1, 2, 3, 4})
    ExpectLine(r.output, "1." + std::to_string(i) + ": LineDimension ratio \"" +
                             std::vector<std::string>{"", "=", "1 in = 0 ft", "1e400 in = 1 ft", "-3 in = 2 ft"}[i] +
                             "\" invalid: the X ratio of R does not read as a scale ratio;");
  ExpectLine(r.output, "1.5: LineDimension ratio \"1 in = 10 ft\" invalid: D element 1 has no usable denominator; "
                       "length (cannot be shown with this measure dictionary)");
  ExpectLine(r.output, "1.6: LineDimension ratio \"1 in = 10 ft\" invalid: D element 1 has no usable denominator;");
  ExpectLine(r.output, "1.7: LineDimension ratio \"1 in = 10 ft\" invalid: D element 1 has a factor that is not > 0;");
  ExpectLine(r.output, "1.8: LineDimension ratio \"1 in = 10 ft\" valid; length \"10.00 " + longLabel + "\"");
  ExpectLine(r.output, "1.9: LineDimension ratio \"1 in = 10 ft\" valid; length \"10 u 0 u 0 u ");
  ExpectLine(r.output, "1.10: LineDimension ratio \"1 in = 10 ft\" valid; length (cannot be shown");
  ExpectLine(r.output, "1.11: LineDimension ratio \"1 in = 1 in\" valid; value: (no line points)");
  ExpectLine(r.output, "1.12: LineDimension ratio (none) invalid: no measure dictionary; "
                       "value: (no measure dictionary); contents (none)\n");
  EXPECT_FALSE(HasWord(r.output, "inf"));
  EXPECT_FALSE(HasWord(r.output, "nan"));
}

}  // namespace
