// Exporting measurements to CSV, as a batch command and from the measure
// panel of a session: what the file holds, and that a failed or cancelled
// export leaves an earlier file exactly as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

class MeasureExport : public ::testing::Test {
 protected:
  // A document with one page per entry, each page holding the annotations
  // given as PDF text.
  void MakeDoc(const std::vector<std::vector<std::string>>& pages) {
    ASSERT_EQ(WritePagesPdf(in_, {0, 0, 612, 792}, pages), "");
  }

  CommandResult Export(const std::string& extra = "") {
    return Shell(AnnotIn(dir_) + " measure export " + Quote(in_) + extra);
  }
  CommandResult Run(const std::string& script) {
    const std::string path = dir_.Write("session.txt", script);
    return Shell(AnnotIn(dir_) + " run " + Quote(path) + " -i " + Quote(in_) + " --trace");
  }

  TempDir dir_;
  std::string in_ = dir_ / "plan.pdf";
};

const char kDistance[] =
    "<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 72 0] /Rect [0 0 72 10] "
    "/Label (Wall \"A\") /Contents (10'-6\") >>";
const char kDiameter[] =
    "<< /Type /Annot /Subtype /Circle /IT /CircleDimension /MeasurementTypes 384 /Rect [0 0 72 72] "
    "/Contents (2.54 m) >>";
const char kPlainLine[] = "<< /Type /Annot /Subtype /Line /L [0 0 72 0] /Rect [0 0 72 10] >>";

TEST_F(MeasureExport, TheCommandWritesBesideTheDocumentAndTwiceGivesTheSameFile) {
  MakeDoc({{kDistance, kPlainLine}, {kDiameter}});
  CommandResult r = Export();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string csv = dir_ / "plan.csv";
  EXPECT_NE(r.output.find("2 measurements"), std::string::npos) << r.output;
  const std::string first = ReadFile(csv);
  EXPECT_EQ(first,
            "\xEF\xBB\xBF\"Label\",\"Type\",\"Value\"\r\n"
            "\"Wall \"\"A\"\"\",\"Distance\",\"10'-6\"\"\"\r\n"
            "\"\",\"Diameter\",\"2.54 m\"\r\n");
  r = Export(" -o " + Quote(csv));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ReadFile(csv), first);
}

// A takeoff's totals: the rows are the plain export's, and each total is
// the sum the test makes of the values its rows show.
TEST_F(MeasureExport, TotalsAddOneRowPerLabelAndKindAfterTheRows) {
  auto line = [](const char* label, const char* value) {
    return std::string("<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 72 0] /Rect [0 0 72 10] /Label (") +
           label + ") /Contents (" + value + ") >>";
  };
  const std::string area =
      "<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /Vertices [0 0 72 0 72 72] /Rect [0 0 72 72] "
      "/Label (Slab) /Contents (12.75 sq m) >>";
  const std::string angle =
      "<< /Type /Annot /Subtype /PolyLine /IT /PolyLineAngle /Vertices [0 0 72 0 72 72] /Rect [0 0 72 72] "
      "/Label (Slab) /Contents (90.00 \\260) >>";
  const std::vector<std::string> values = {"3.20 m", "1,004.35 m", "0.07 m"};
  MakeDoc({{line("Wall", values[0].c_str()), area, line("Wall", values[1].c_str())},
           {angle, line("Wall", values[2].c_str()), area}});
  CommandResult r = Export();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string plain = ReadFile(dir_ / "plan.csv");
  r = Export(" --totals");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string summed = ReadFile(dir_ / "plan.csv");
  ASSERT_EQ(summed.compare(0, plain.size(), plain), 0) << summed;

  double walls = 0;
  for (std::string v : values) {
    v.erase(std::remove(v.begin(), v.end(), ','), v.end());
    walls += std::stod(v);
  }
  char wallText[32];
  std::snprintf(wallText, sizeof wallText, "%.2f m", walls);
  char slabText[32];
  std::snprintf(slabText, sizeof slabText, "%.2f sq m", 12.75 * 2);
  const std::string totals = std::string("\r\n\"Label\",\"Type\",\"Total\",\"Count\"\r\n") +
                             "\"Wall\",\"Distance\",\"" + wallText + "\",\"3\"\r\n" +
                             "\"Slab\",\"Area\",\"" + slabText + "\",\"2\"\r\n" +
                             "\"Slab\",\"Angle\",\"\",\"1\"\r\n";
  EXPECT_EQ(summed.substr(plain.size()), totals);
  EXPECT_EQ(Shell(AnnotIn(dir_) + " measure info " + Quote(in_) + " --totals").status, 2);
}

TEST_F(MeasureExport, NothingToExportOrNowhereToWriteKeepsThePreviousFile) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> pages;
    const char* out;     // relative to the test folder
    const char* folder;  // made first, read-only; null for none
    const char* message;
  };
  const Case cases[] = {
      {"only plain lines", {{kPlainLine, kPlainLine}}, "plan.csv", nullptr,
       "This document contains no measurements to export."},
      {"a folder that does not exist", {{kDistance}}, "missing/plan.csv", nullptr, "The file could not be saved."},
      {"a read-only folder", {{kDistance}}, "locked/plan.csv", "locked", "The file could not be saved."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeDoc(c.pages);
    const std::string out = dir_ / c.out;
    const bool previous = std::string(c.out) == "plan.csv" || c.folder;
    if (c.folder) std::filesystem::create_directories(dir_ / c.folder);
    if (previous) dir_.Write(c.out, "previous export");
    if (c.folder) ::chmod((dir_ / c.folder).c_str(), 0555);
    CommandResult r = Export(" -o " + Quote(out));
    if (c.folder) ::chmod((dir_ / c.folder).c_str(), 0755);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    if (previous) EXPECT_EQ(ReadFile(out), "previous export");
    else EXPECT_FALSE(Exists(out));
  }
}

// A name that holds something the export may not replace is told as what
// it is, never as a file in use by another program, and stays as it was.
TEST_F(MeasureExport, WhatCannotBeReplacedIsNamed) {
  MakeDoc({{kDistance}});
  struct Case {
    const char* file;
    std::function<void(const std::string& path)> make;
    const char* reason;
  };
  const Case cases[] = {
      {"folder.csv", [](const std::string& path) { std::filesystem::create_directory(path); }, "(Is a directory)"},
      {"pipe.csv", [](const std::string& path) { ::mkfifo(path.c_str(), 0644); }, "(not a regular file)"},
      {"ro.csv",
       [&](const std::string& path) {
         dir_.Write("ro.csv", "previous export");
         ::chmod(path.c_str(), 0444);
       },
       "(Permission denied (the file is read-only))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir_ / c.file;
    c.make(path);
    CommandResult r = Export(" -o " + Quote(path));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(path + ": The export cannot replace what is at this path. Choose another file name. " +
                            c.reason),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("in use"), std::string::npos) << r.output;
  }
  EXPECT_EQ(ReadFile(dir_ / "ro.csv"), "previous export");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder.csv"));
}

// The panel's export in a session: the save dialog is answered with a
// file, the progress bar shows, and a cancel half-way keeps the file
// that was there.
TEST_F(MeasureExport, ThePanelExportsTheOpenDocumentAndACancelKeepsTheOldFile) {
  MakeDoc({{kDistance}, {kDiameter}, {kDistance}, {kDiameter}});
  const std::string csv = dir_ / "out.csv";
  dir_.Write("out.csv", "previous export");
  CommandResult r = Run("answer file " + csv + "\nanswer progress cancel 50\npress Button_Measure_Export\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("progress: Exporting measurements...\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("progress: cancelled at 50\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("message: "), std::string::npos) << r.output;  // a cancel is no failure
  EXPECT_EQ(ReadFile(csv), "previous export");

  r = Run("answer file " + csv + "\npress Button_Measure_Export\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string written = ReadFile(csv);
  EXPECT_EQ(written.rfind("\xEF\xBB\xBF\"Label\",\"Type\",\"Value\"\r\n", 0), 0u) << written;
  size_t rows = 0;
  for (size_t at = 0; (at = written.find("\r\n", at)) != std::string::npos; at += 2) ++rows;
  EXPECT_EQ(rows, 5u);

  MakeDoc({{kPlainLine}});
  r = Run("answer file " + csv + "\npress Button_Measure_Export\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("message: Export Measurements: This document contains no measurements to export."),
            std::string::npos)
      << r.output;
  EXPECT_EQ(ReadFile(csv), written);
}

}  // namespace
