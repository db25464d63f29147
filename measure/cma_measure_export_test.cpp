#include "measure/cma_measure_export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/file_util.h"
#include "host/test_temp_dir.h"
#include "kwannotation/kw_test_support.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Tr(const char* key) { return ks::ToUtf8(Widgets::Translate(key)); }

class MeasureExportTest : public kwannotation::test::HostDocTest {
 protected:
  // A distance, a plain line and an area on the first page.
  void AddMeasurements() {
    Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 72 0] /Label (Wall \"A\") /Contents (10'-6\") >>");
    Add("<< /Type /Annot /Subtype /Line /L [0 0 72 0] /Contents (a plain line) >>");
    Add("<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /Contents (6.45 sq m) >>");
  }
  MeasureExportResult Export(const std::string& path, const MeasureExportProgress& progress = nullptr) {
    return ExportMeasurements(doc_, ks::ToUtf16(path), progress);
  }
  // The folder holds nothing but `names`: no temporary was left behind.
  void ExpectOnly(const std::string& folder, std::vector<std::string> names) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(found, names);
  }
  kshost::testing::TempDir dir_;
};

TEST_F(MeasureExportTest, KindsFollowTheIntentAndTheKeysThatTellToolsApart) {
  const std::pair<const char*, const char*> cases[] = {
      {"<< /IT /LineDimension >>", "IDS_DISTANCE"},
      {"<< /IT /PolyLineDimension /RiseDrop true >>", "IDS_POLYLENGTH"},
      {"<< /IT /PolyLineDimension /RiseDrop false >>", "IDS_POLYLENGTH"},  // present is enough
      {"<< /IT /PolyLineDimension >>", "IDS_PERIMETER"},
      {"<< /IT /PolyLineAngle >>", "IDS_ANGLE"},
      {"<< /IT /PolygonDimension >>", "IDS_STR_AREA"},
      {"<< /IT /CircleDimension /MeasurementTypes 384 >>", "IDS_DIAMETER"},
      {"<< /IT /CircleDimension >>", "IDS_STR_AREA"},
      {"<< /IT /PolygonRadius >>", "IDS_RADIUS"},
      {"<< /IT /PolygonVolume >>", "IDS_VOLUME"},
      {"<< /Subtype /Line >>", nullptr},
      {"<< /IT /LineArrow >>", nullptr},
      {"<< /IT /linedimension >>", nullptr},
      {"<< /IT (LineDimension) >>", nullptr},  // a string, not a name
  };
  for (auto [text, key] : cases) {
    kwannotation::test::Owned dict = kwannotation::test::Parse(text);
    const char* got = MeasureExportKindKey(dict.get());
    EXPECT_STREQ(got, key) << text;
  }
}

TEST_F(MeasureExportTest, FieldsAreQuotedWithInnerQuotesDoubledAndRowsEndInCrLf) {
  EXPECT_EQ(MeasureCsvRow(u"Wall \"A\"", u"Distance", u"10'-6\""), "\"Wall \"\"A\"\"\",\"Distance\",\"10'-6\"\"\"\r\n");
  EXPECT_EQ(MeasureCsvRow(u"", u"a,b", u"line 1\nline 2"), "\"\",\"a,b\",\"line 1\nline 2\"\r\n");
  EXPECT_EQ(MeasureCsvRow(u"\u0394 \u00B2", u"", u""), "\"\xCE\x94 \xC2\xB2\",\"\",\"\"\r\n");
}

TEST_F(MeasureExportTest, ShownValuesReadBackAsNumberAndUnit) {
  struct Case {
    const char16_t* text;
    bool read;
    double value;
    int decimals;
    const char16_t* unit;
  };
  const Case cases[] = {
      {u"12.00 m", true, 12.0, 2, u"m"},
      {u"31.49 sq m", true, 31.49, 2, u"sq m"},
      {u"1,234.5 ft", true, 1234.5, 1, u"ft"},
      {u"1,234,567 mm", true, 1234567.0, 0, u"mm"},
      {u"6 3/8 in", true, 6.375, 2, u"in"},
      {u"3/4 in", true, 0.75, 2, u"in"},
      {u"10'-6\"", true, 10.5, 2, u"ft"},
      {u"10'-6 3/8\"", true, 10.0 + 6.375 / 12.0, 2, u"ft"},
      {u"12'", true, 12.0, 0, u"ft"},
      {u"9\"", true, 9.0, 0, u"in"},
      {u"  90.00 \u00B0 ", true, 90.0, 2, u"\u00B0"},
      {u"7.44 cu m", true, 7.44, 2, u"cu m"},
      {u"1,23 m", false, 0, 0, u""},      // a comma that groups no thousand
      {u"12.00", false, 0, 0, u""},       // no unit
      {u"12 m 30 cm", false, 0, 0, u""},  // two parts
      {u"-3 m", false, 0, 0, u""},
      {u"3/0 in", false, 0, 0, u""},
      {u"10'-6", false, 0, 0, u""},
      {u"", false, 0, 0, u""},
      {u"m", false, 0, 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ks::ToUtf8(c.text));
    const std::optional<ShownMeasurement> got = ReadShownMeasurement(c.text);
    ASSERT_EQ(got.has_value(), c.read);
    if (!got) continue;
    EXPECT_NEAR(got->value, c.value, 1e-9);
    EXPECT_EQ(got->decimals, c.decimals);
    EXPECT_EQ(got->unit, c.unit);
  }
}

TEST_F(MeasureExportTest, TotalsSumPerLabelKindAndUnitAndOnlyCountAnglesAndRadii) {
  MeasureTotals totals;
  totals.Add(u"Wall", "IDS_DISTANCE", u"1,234.50 ft");
  totals.Add(u"Wall", "IDS_DISTANCE", u"10'-6\"");
  totals.Add(u"Room", "IDS_STR_AREA", u"31.49 sq m");
  totals.Add(u"Wall", "IDS_DISTANCE", u"2.125 ft");
  totals.Add(u"Room", "IDS_STR_AREA", u"2.54 sq m");
  totals.Add(u"Room", "IDS_STR_AREA", u"1.5 sq ft");  // another unit, another total
  totals.Add(u"", "IDS_ANGLE", u"90.00 \u00B0");
  totals.Add(u"", "IDS_ANGLE", u"45.00 \u00B0");
  totals.Add(u"", "IDS_RADIUS", u"0.90 m");
  totals.Add(u"Wall", "IDS_DISTANCE", u"about a yard");
  const auto& t = totals.Totals();
  ASSERT_EQ(t.size(), 6u);
  struct Want {
    const char16_t* label;
    const char* kind;
    int count;
    const char16_t* sum;
  };
  // Sums by hand: 1234.5 + 10.5 + 2.125 = 1247.125 ft; 31.49 + 2.54 = 34.03.
  const Want want[] = {
      {u"Wall", "IDS_DISTANCE", 3, u"1247.125 ft"}, {u"Room", "IDS_STR_AREA", 2, u"34.03 sq m"},
      {u"Room", "IDS_STR_AREA", 1, u"1.5 sq ft"},   {u"", "IDS_ANGLE", 2, u""},
      {u"", "IDS_RADIUS", 1, u""},                  {u"Wall", "IDS_DISTANCE", 1, u""},
  };
  for (size_t i = 0; i < t.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(t[i].label, want[i].label);
    EXPECT_EQ(t[i].kindKey, want[i].kind);
    EXPECT_EQ(t[i].count, want[i].count);
    EXPECT_EQ(MeasureTotals::SumText(t[i]), want[i].sum);
  }
}

TEST_F(MeasureExportTest, TotalsFollowTheRowsOnlyWhenAsked) {
  Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /Label (W) /Contents (2.50 m) >>");
  Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /Label (W) /Contents (1.25 m) >>");
  Add("<< /Type /Annot /Subtype /PolyLine /IT /PolyLineAngle /Contents (30.00 \260) >>");
  const std::string plain = dir_ / "plain.csv";
  const std::string summed = dir_ / "summed.csv";
  ASSERT_EQ(Export(plain).status, MeasureExportStatus::kWritten);
  ASSERT_EQ(ExportMeasurements(doc_, ks::ToUtf16(summed), nullptr, MeasureExportOptions{true}).status,
            MeasureExportStatus::kWritten);
  const std::string rows = ReadAll(plain);
  EXPECT_EQ(rows.find(Tr("IDS_STR_TOTAL")), std::string::npos);
  const std::string want = rows + "\r\n\"" + Tr("IDS_STR_LABEL") + "\",\"" + Tr("IDS_STR_TYPE") + "\",\"" +
                           Tr("IDS_STR_TOTAL") + "\",\"" + Tr("IDS_STR_COUNT") + "\"\r\n" + "\"W\",\"" +
                           Tr("IDS_DISTANCE") + "\",\"3.75 m\",\"2\"\r\n" + "\"\",\"" + Tr("IDS_ANGLE") +
                           "\",\"\",\"1\"\r\n";
  EXPECT_EQ(ReadAll(summed), want);
}

TEST_F(MeasureExportTest, TheProposedFileReplacesTheLastExtensionOfTheName) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"/plans/floor.pdf", u"/plans/floor.csv"},
      {u"/plans/floor.v2.PDF", u"/plans/floor.v2.csv"},
      {u"/plans.2024/floor", u"/plans.2024/floor.csv"},
      {u"C:\\plans.old\\floor", u"C:\\plans.old\\floor.csv"},
      {u"floor.pdf", u"floor.csv"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(MeasureExportFileFor(in), want) << ks::ToUtf8(in);
}

// An older, longer export in the file's place does not survive in part,
// and exporting again gives the same bytes.
TEST_F(MeasureExportTest, WritesTheMarkTheHeaderAndOneRowPerMeasurementInPageOrder) {
  AddMeasurements();
  KS_FloatRect letter{0, 0, 612, 792};
  KPD_Page second = ks::host::DocAddPage(doc_, &letter);
  Add("<< /Type /Annot /Subtype /Circle /IT /CircleDimension /MeasurementTypes 384 /Contents (2.54 m) >>", second);
  const std::string path = dir_ / "out.csv";
  std::ofstream(path, std::ios::binary) << "an older, longer export that must not survive in part\r\n"
                                        << std::string(200, 'x') << "\r\n";
  const MeasureExportResult r = Export(path);
  ASSERT_EQ(r.status, MeasureExportStatus::kWritten) << r.reason;
  EXPECT_EQ(r.rows, 3);
  const std::string want = "\xEF\xBB\xBF" + MeasureCsvRow(Widgets::Translate("IDS_STR_LABEL"), Widgets::Translate("IDS_STR_TYPE"),
                                                          Widgets::Translate("IDS_STR_VALUE")) +
                           "\"Wall \"\"A\"\"\",\"" + Tr("IDS_DISTANCE") + "\",\"10'-6\"\"\"\r\n" + "\"\",\"" +
                           Tr("IDS_STR_AREA") + "\",\"6.45 sq m\"\r\n" + "\"\",\"" + Tr("IDS_DIAMETER") +
                           "\",\"2.54 m\"\r\n";
  EXPECT_EQ(ReadAll(path), want);
  ExpectOnly(dir_.path(), {"out.csv"});
  ASSERT_EQ(Export(path).status, MeasureExportStatus::kWritten);
  EXPECT_EQ(ReadAll(path), want);
}

TEST_F(MeasureExportTest, PlainLinesOnlyGiveNothingToExportAndKeepWhatWasThere) {
  Add("<< /Type /Annot /Subtype /Line /L [0 0 72 0] >>");
  Add("<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] >>");
  const std::string none = dir_ / "none.csv";
  MeasureExportResult r = Export(none);
  EXPECT_EQ(r.status, MeasureExportStatus::kNothingToExport);
  EXPECT_STREQ(MeasureExportMessageKey(r.status), "IDS_STR_MEASUREMENT_NO_EXIST");
  EXPECT_FALSE(fs::exists(none));
  const std::string old = dir_ / "old.csv";
  std::ofstream(old, std::ios::binary) << "kept";
  EXPECT_EQ(Export(old).status, MeasureExportStatus::kNothingToExport);
  EXPECT_EQ(ReadAll(old), "kept");
  ExpectOnly(dir_.path(), {"old.csv"});
}

// Every way the file cannot be written leaves the previous export byte for
// byte, with the message the user is shown.
TEST_F(MeasureExportTest, FailedExportsKeepThePreviousFile) {
  AddMeasurements();
  const std::string previous = "\xEF\xBB\xBF\"Label\",\"Type\",\"Value\"\r\n\"old\",\"Distance\",\"1 m\"\r\n";
  const auto faults = [](int writes, bool rename, int error) {
    return [=](const std::string&) {
      kshost::FileFaults f;
      f.writes = writes;
      f.rename = rename;
      f.error = error;
      kshost::InjectFileFaults(f);
    };
  };
  struct Case {
    const char* name;
    const char* file;  // where the export goes, in a fresh folder
    bool hasPrevious;  // an earlier export is there
    std::function<void(const std::string& folder)> harm;
    MeasureExportStatus want;
  };
  const Case cases[] = {
      {"a folder that does not exist", "missing/out.csv", false, [](const std::string&) {},
       MeasureExportStatus::kSaveError},
      {"a read-only folder", "out.csv", true, [](const std::string& f) { ::chmod(f.c_str(), 0555); },
       MeasureExportStatus::kSaveError},
      {"a read-only file", "out.csv", true, [](const std::string& f) { ::chmod((f + "/out.csv").c_str(), 0444); },
       MeasureExportStatus::kCannotReplace},
      {"a folder in the file's place", "out.csv", false,
       [](const std::string& f) { fs::create_directory(f + "/out.csv"); }, MeasureExportStatus::kCannotReplace},
      {"a write that fails", "out.csv", true, faults(2, false, ENOSPC), MeasureExportStatus::kSaveError},
      {"a rename that fails", "out.csv", true, faults(0, true, EIO), MeasureExportStatus::kSaveError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kshost::testing::TempDir dir;
    const std::string path = dir / c.file;
    if (c.hasPrevious) std::ofstream(path, std::ios::binary) << previous;
    c.harm(dir.path());
    const MeasureExportResult r = Export(path);
    ::chmod(dir.path().c_str(), 0755);
    kshost::InjectFileFaults({});
    EXPECT_EQ(r.status, c.want);
    EXPECT_NE(MeasureExportMessageKey(r.status), nullptr);
    EXPECT_FALSE(r.reason.empty());
    if (c.hasPrevious) {
      EXPECT_EQ(ReadAll(path), previous);
      ExpectOnly(dir.path(), {"out.csv"});
    }
  }
}

TEST_F(MeasureExportTest, ACancelHalfWayKeepsThePreviousFileAndLeavesNoTemporary) {
  KS_FloatRect letter{0, 0, 612, 792};
  for (int p = 0; p < 3; ++p) {
    KPD_Page page = p == 0 ? page_ : ks::host::DocAddPage(doc_, &letter);
    Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /Contents (1 m) >>", page);
  }
  const std::string path = dir_ / "out.csv";
  std::ofstream(path, std::ios::binary) << "previous";
  std::vector<int> seen;
  const MeasureExportResult r = Export(path, [&](int percent) {
    seen.push_back(percent);
    return percent < 50;
  });
  EXPECT_EQ(r.status, MeasureExportStatus::kCancelled);
  EXPECT_EQ(MeasureExportMessageKey(r.status), nullptr);
  EXPECT_EQ(seen, (std::vector<int>{0, 33, 66}));
  EXPECT_EQ(ReadAll(path), "previous");
  ExpectOnly(dir_.path(), {"out.csv"});
  // Not cancelled, the same export runs to 100 and writes the three rows.
  seen.clear();
  EXPECT_EQ(Export(path, [&](int percent) { return seen.push_back(percent), true; }).rows, 3);
  EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
}

}  // namespace
}  // namespace AnnotationPlugin
