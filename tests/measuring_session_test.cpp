// The ten measuring tools driven through sessions on calibrated pages: what
// each one stores, what `annot measure info` recomputes from it, and the
// gestures that must not leave a measurement behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_viewport.h"
#include "sdk/ks_host_binding.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

// A page scale stored as the page's viewport over the whole page.
struct Scale {
  kwannotation::PageScale scale;
  std::u16string ratio;
  kwannotation::MeasureUnits units;
};

Scale Imperial() {  // 1 in = 10 ft, feet and inches to 1/8 inch
  Scale s;
  s.scale.x = {1, u"in", 10, u"ft'in\""};
  s.scale.precision = 3;
  s.ratio = u"1 in = 10 ft";
  s.units = {u"ft'in\"", u"sq ft", u"cu ft"};
  return s;
}

Scale Metric() {  // 1:100, metres to 2 decimals
  Scale s;
  s.scale.x = {1, u"cm", 1, u"m"};
  s.scale.precision = 2;
  s.ratio = u"1 cm = 1 m";
  s.units = {u"m", u"sq m", u"cu m"};
  return s;
}

// What a saved measurement holds.
struct Saved {
  std::string subtype, intent, contents;
  std::optional<int> types;
  bool hasMeasure = false;
  std::string color;  // "/C" as PDF text, empty when absent
  std::u16string name, author;  // "/NM" and "/T"
  std::string text;   // the whole dictionary, for identity checks
  // The text lines the normal appearance draws, in UTF-8: each placement
  // ("Td" or "Tm") starts a line, each "Tj" adds its string (one byte a
  // character, WinAnsi).
  std::vector<std::string> drawnLines;
};

std::string NameText(KPD_Object obj) {
  if (!obj) return {};
  KS_ByteString out = direct::ByteStringNew(nullptr, 0);
  direct::NameGet(obj, out);
  std::string s(direct::ByteStringData(out), direct::ByteStringLength(out));
  direct::ByteStringDestroy(out);
  return s.empty() ? s : s.substr(1);
}

std::string Written(KPD_Object obj) {
  if (!obj) return {};
  KS_ByteString out = direct::ByteStringNew(nullptr, 0);
  direct::ObjectWrite(obj, out);
  std::string s(direct::ByteStringData(out), direct::ByteStringLength(out));
  direct::ByteStringDestroy(out);
  return s;
}

std::string Bytes(KS_ByteString b) { return std::string(direct::ByteStringData(b), direct::ByteStringLength(b)); }

std::vector<std::string> DrawnLines(KPD_Dictionary annot) {
  std::vector<std::string> lines;
  KPD_Object ap = direct::DictGet(annot, "/AP");
  KPD_Object normal = ap ? direct::DictGet(ap, "/N") : nullptr;
  if (!normal) return lines;
  KS_ByteString data = direct::ByteStringNew(nullptr, 0);
  KS_ByteString op = direct::ByteStringNew(nullptr, 0);
  KS_ByteString text = direct::ByteStringNew(nullptr, 0);
  if (direct::StreamGetData(normal, 1, data)) {
    KPD_Content content = direct::ContentParse(direct::ByteStringData(data), direct::ByteStringLength(data));
    for (int i = 0; i < direct::ContentCount(content); ++i) {
      direct::ContentGetOperator(content, i, op);
      const std::string name = Bytes(op);
      // Every placement of the text ("Td", or "Tm" for a caption or a
      // segment value placed on its own) starts a line.
      if (name == "Td" || name == "Tm") lines.emplace_back();
      if (name != "Tj" || lines.empty()) continue;
      KPD_Object operand = direct::ContentGetOperand(content, i, 0);
      if (!operand || !direct::StringGetBytes(operand, text)) continue;
      for (char c : Bytes(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80) {
          lines.back() += c;
        } else {  // the WinAnsi letters a value uses (degree, squared) are Latin-1's
          lines.back() += static_cast<char>(0xC0 | (u >> 6));
          lines.back() += static_cast<char>(0x80 | (u & 0x3F));
        }
      }
    }
    direct::ContentRelease(content);
  }
  direct::ByteStringDestroy(text);
  direct::ByteStringDestroy(op);
  direct::ByteStringDestroy(data);
  return lines;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) out.push_back(text.substr(start, at - start));
  out.push_back(text.substr(start));
  return out;
}

std::vector<Saved> ReadSaved(const std::string& path) {
  std::vector<Saved> all;
  KS_ByteString err = direct::ByteStringNew(nullptr, 0);
  KPD_Document doc = direct::DocOpenFile(path.c_str(), err);
  direct::ByteStringDestroy(err);
  if (!doc) return all;
  KPD_Page page = direct::DocGetPage(doc, 0);
  for (int i = 0; i < direct::PageAnnotCount(page); ++i) {
    KPD_Dictionary a = direct::PageGetAnnot(page, i);
    Saved s;
    s.subtype = NameText(direct::DictGet(a, "/Subtype"));
    s.intent = NameText(direct::DictGet(a, "/IT"));
    if (KPD_Object t = direct::DictGet(a, "/MeasurementTypes")) s.types = static_cast<int>(direct::ObjectGetInteger(t));
    s.hasMeasure = direct::DictGet(a, "/Measure") != nullptr;
    s.color = Written(direct::DictGet(a, "/C"));
    KS_WideString text = direct::WideStringNew(u"", 0);
    if (direct::StringObjectGetText(direct::DictGet(a, "/Contents"), text)) {
      std::u16string w(direct::WideStringData(text), direct::WideStringLength(text));
      for (char16_t c : w) {
        // UTF-8 of the few characters a value holds.
        if (c < 0x80) {
          s.contents += static_cast<char>(c);
        } else if (c < 0x800) {
          s.contents += static_cast<char>(0xC0 | (c >> 6));
          s.contents += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          s.contents += static_cast<char>(0xE0 | (c >> 12));
          s.contents += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          s.contents += static_cast<char>(0x80 | (c & 0x3F));
        }
      }
    }
    direct::WideStringDestroy(text);
    for (auto [key, into] : {std::pair{"/NM", &s.name}, std::pair{"/T", &s.author}}) {
      KS_WideString w = direct::WideStringNew(u"", 0);
      if (direct::StringObjectGetText(direct::DictGet(a, key), w))
        into->assign(direct::WideStringData(w), direct::WideStringLength(w));
      direct::WideStringDestroy(w);
    }
    s.text = Written(a);
    s.drawnLines = DrawnLines(a);
    all.push_back(s);
  }
  direct::DocClose(doc);
  return all;
}

class MeasuringSession : public ::testing::Test {
 protected:
  void SetUp() override { ks::host::Bind(kshost::CoreHFT(), nullptr); }

  // A letter page whose viewport 0 holds `scale`; `vp` replaces "VP" by
  // PDF text when given.
  void MakePage(const std::optional<Scale>& scale, const std::string& vp = "", int rotate = 0) {
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    KPD_Page page = direct::DocAddPage(doc, &letter);
    if (rotate) ASSERT_TRUE(direct::PageSetRotation(page, rotate));
    if (scale) {
      auto measure = kwannotation::CKW_MeasureDict::Own(direct::DictNew());
      ASSERT_TRUE(measure->WriteScale(scale->scale, scale->ratio, scale->units));
      kwannotation::CKW_PageViewportListImpl list(page, doc);
      ASSERT_TRUE(list.AddViewport(letter, measure, u"plan"));
    }
    if (!vp.empty()) {
      KPD_Object v = direct::ObjectParse(vp.data(), vp.size());
      direct::DictSet(page, "/VP", v);
      direct::ObjectRelease(v);
    }
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
  }

  void Prefs(const std::string& text) {
    WritePreferences(dir_, text);
  }

  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", script);
    return Shell(AnnotIn(dir_) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) + " --trace");
  }

  CommandResult Info() {
    return Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " " + Quote(AnnotPath()) + " measure info " +
                 Quote(out_));
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

// One gesture of each tool on a 72-point figure: an inch of paper.
struct ToolCase {
  const char* name;
  const char* script;
  const char* subtype;
  const char* intent;
  std::optional<int> types;
  // The contents at 1 in = 10 ft (feet and inches to 1/8, other units and
  // angles to three decimals) and at 1:100 (two decimals).
  const char* imperial;
  const char* metric;
};

const ToolCase kTools[] = {
    {"distance", "tool DISTANCE\nclick 100 100\nclick 181 100\n", "Line", "LineDimension", 130, "11'-3\"", "2.86 m"},
    {"perimeter", "tool Perimeter\nclick 100 100\nclick 172 100\ndblclick 172 172\n", "PolyLine",
     "PolyLineDimension", 130, "20'-0\"", "5.08 m"},
    {"polylength", "tool POLYLENGTH\nclick 100 100\nclick 172 100\ndblclick 172 172\n", "PolyLine",
     "PolyLineDimension", 130, "20'-0\"", "5.08 m"},
    {"area", "tool Area\nclick 100 100\nclick 172 100\nclick 172 172\ndblclick 100 172\n", "Polygon",
     "PolygonDimension", 129, "100.000 sq ft", "6.45 sq m"},
    {"volume", "tool VOLUME\nclick 100 100\nclick 172 100\nclick 172 172\ndblclick 100 172\n", "Polygon",
     "PolygonVolume", 132, "100.000 cu ft", "6.45 cu m"},
    {"circle area", "tool CircleArea\ndrag 100 100 172 172\n", "Circle", "CircleDimension", std::nullopt,
     "78.540 sq ft", "5.07 sq m"},
    {"diameter", "tool DIAMETER\ndrag 100 100 172 172\n", "Circle", "CircleDimension", 384, "10'-0\"", "2.54 m"},
    {"centre radius", "tool CENTERRADIUS\nclick 100 100\nclick 136 100\n", "Polygon", "PolygonRadius", 130,
     "5'-0\"", "1.27 m"},
    {"3-point radius", "tool 3POINTRADIUS\nclick 100 136\nclick 136 172\nclick 172 136\n", "Polygon",
     "PolygonRadius", 130, "5'-0\"", "1.27 m"},
    {"angle", "tool ANGLE\nclick 200 100\nclick 100 100\nclick 100 200\n", "PolyLine", "PolyLineAngle", 1152,
     "90.000 \xC2\xB0", "90.00 \xC2\xB0"},
};

TEST_F(MeasuringSession, EachToolStoresItsKindScaleCaptionBitsAndValueOnBothScales) {
  for (bool imperial : {true, false}) {
    for (const ToolCase& c : kTools) {
      SCOPED_TRACE(std::string(c.name) + (imperial ? " at 1 in = 10 ft" : " at 1:100"));
      MakePage(imperial ? Imperial() : Metric());
      CommandResult r = Run(std::string(c.script) + "expect annots 1 1\nsave\n");
      ASSERT_EQ(r.status, 0) << r.output;
      std::vector<Saved> saved = ReadSaved(out_);
      ASSERT_EQ(saved.size(), 1u);
      EXPECT_EQ(saved[0].subtype, c.subtype);
      EXPECT_EQ(saved[0].intent, c.intent);
      EXPECT_TRUE(saved[0].hasMeasure);
      EXPECT_EQ(saved[0].types, c.types);
      EXPECT_EQ(saved[0].contents, imperial ? c.imperial : c.metric);
      // The caption on the page says what /Contents says, line for line.
      for (const std::string& line : SplitLines(saved[0].contents)) {
        EXPECT_NE(std::find(saved[0].drawnLines.begin(), saved[0].drawnLines.end(), line), saved[0].drawnLines.end())
            << line << " is not drawn; drawn: " << ::testing::PrintToString(saved[0].drawnLines);
      }
      // Created as one undo step named after the tool.
      EXPECT_NE(r.output.find("undo: push \"Create "), std::string::npos) << r.output;
    }
  }
}

// Every measurement has a name of its own and the user as its author, so
// that an XFDF of them updates them instead of adding copies.
TEST_F(MeasuringSession, EachMeasurementIsNamedAndSignedByTheUser) {
  std::string all;
  for (const ToolCase& c : kTools) all += c.script;
  for (bool named : {true, false}) {
    SCOPED_TRACE(named ? "the name from the preferences" : "the login name");
    MakePage(Metric());
    Prefs(named ? "[Identity]\nName=Ada Lovelace \xC3\xA9\n" : "");
    CommandResult r = Run(all + "save\n");
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<Saved> saved = ReadSaved(out_);
    ASSERT_EQ(saved.size(), std::size(kTools));
    std::u16string want = u"Ada Lovelace \u00E9";
    if (!named) {
      CommandResult who = Shell("id -un");
      ASSERT_EQ(who.status, 0);
      want.clear();
      for (char c : who.output)
        if (c != '\n') want += static_cast<char16_t>(c);
    }
    std::vector<std::u16string> names;
    for (const Saved& m : saved) {
      EXPECT_EQ(m.author, want) << m.intent;
      EXPECT_EQ(m.name.size(), 36u) << m.intent;
      names.push_back(m.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  }
  // The XFDF of the measurements, imported again, updates the ten by name.
  const std::string xfdf = dir_ / "m.xfdf", again = dir_ / "again.pdf";
  CommandResult r = Shell(Quote(AnnotPath()) + " xfdf export " + Quote(out_) + " -o " + Quote(xfdf));
  ASSERT_EQ(r.status, 0) << r.output;
  r = Shell(Quote(AnnotPath()) + " xfdf import " + Quote(out_) + " " + Quote(xfdf) + " -o " + Quote(again));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ReadSaved(again).size(), std::size(kTools));
}

TEST_F(MeasuringSession, MeasureInfoRecomputesWhatTheToolsStored) {
  MakePage(Imperial());
  std::string script;
  for (const ToolCase& c : kTools) script += c.script;
  CommandResult r = Run(script + "expect annots 1 10\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  CommandResult info = Info();
  ASSERT_EQ(info.status, 0) << info.output;
  // Lines, paths and areas are recomputed from their geometry: the value
  // and the stored contents are one text.
  for (const char* value : {"length \"11'-3\\\"\"", "length \"20'-0\\\"\"", "area \"100.000 sq ft\""}) {
    EXPECT_NE(info.output.find(value), std::string::npos) << value << "\n" << info.output;
  }
  // Every measurement, whatever its intent: each value line of /Contents
  // is a value that info recomputed, on the measurement's own line.
  const std::vector<Saved> saved = ReadSaved(out_);
  ASSERT_EQ(saved.size(), 10u);
  std::vector<std::string> infoLines = SplitLines(info.output);
  for (size_t k = 0; k < saved.size(); ++k) {
    const Saved& s = saved[k];
    SCOPED_TRACE(s.intent + " " + s.contents);
    const std::string prefix = "  1." + std::to_string(k) + ": " + s.intent + " ";
    auto line = std::find_if(infoLines.begin(), infoLines.end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    ASSERT_NE(line, infoLines.end()) << info.output;
    const size_t contentsAt = line->find("; contents ");
    ASSERT_NE(contentsAt, std::string::npos) << *line;
    const std::string values = line->substr(0, contentsAt);
    for (const std::string& value : SplitLines(s.contents)) {
      std::string quoted;
      for (char ch : value) quoted += ch == '"' ? std::string("\\\"") : std::string(1, ch);
      EXPECT_NE(values.find(" \"" + quoted + "\""), std::string::npos) << *line;
    }
  }
}

// The numbers of a PDF array as the file writes them, read here from its
// text at full precision.
std::vector<double> StoredNumbers(const std::string& written) {
  std::vector<double> out;
  const char* at = written.c_str();
  while (*at) {
    if (*at == '-' || *at == '.' || std::isdigit(static_cast<unsigned char>(*at))) {
      char* end = nullptr;
      out.push_back(std::strtod(at, &end));
      at = end;
    } else {
      ++at;
    }
  }
  return out;
}

// "5045.955" as "5,045.96 UNIT": two decimals, groups of three.
std::string Grouped(double value, const char* unit) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.2f", value);
  std::string text = digits;
  for (int at = static_cast<int>(text.find('.')) - 3; at > 0; at -= 3) text.insert(static_cast<size_t>(at), ",");
  return text + " " + unit;
}

// At zoom 3 the clicks fall on thirds of a point, which the stored numbers
// only approach (118.33331); a value worked out from their floats would end
// in another digit here (6,429.94 mm, 4,999.90 mm, 15,412,401.13 sq mm). The stored value is what
// the stored numbers give at 10 mm to the point, worked out here from the
// file's own text of /L and /Vertices, and `annot measure info` says the same.
TEST_F(MeasuringSession, StoredValuesAgreeWithTheStoredGeometryToTheLastDigit) {
  Scale mm;
  mm.scale.x = {1, u"pt", 10, u"mm"};
  mm.scale.precision = 2;
  mm.ratio = u"1 pt = 10 mm";
  mm.units = {u"mm", u"sq mm", u"cu mm"};
  MakePage(mm);
  CommandResult r = Run(
      "view 1 zoom 3\ntool DISTANCE\nclick 30 118.3333\nclick 563.6667 477\nclick 93 300.6667\nclick 587.3333 375.6667\n"
      "tool Area\nclick 138.6667 88.3333\nclick 497.3333 106.6667\nclick 470.6667 520.3333\n"
      "dblclick 117.3333 540.6667\nexpect annots 1 3\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Saved> saved = ReadSaved(out_);
  ASSERT_EQ(saved.size(), 3u);
  KS_ByteString err = direct::ByteStringNew(nullptr, 0);
  KPD_Document doc = direct::DocOpenFile(out_.c_str(), err);
  direct::ByteStringDestroy(err);
  ASSERT_NE(doc, nullptr);
  KPD_Page page = direct::DocGetPage(doc, 0);
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    KPD_Dictionary a = direct::PageGetAnnot(page, i);
    if (saved[size_t(i)].intent == "LineDimension") {
      const std::vector<double> l = StoredNumbers(Written(direct::DictGet(a, "/L")));
      ASSERT_EQ(l.size(), 4u);
      expected.push_back(Grouped(10 * std::hypot(l[2] - l[0], l[3] - l[1]), "mm"));
    } else {
      const std::vector<double> v = StoredNumbers(Written(direct::DictGet(a, "/Vertices")));
      ASSERT_EQ(v.size(), 8u);
      double twice = 0;
      for (size_t k = 0; k < 4; ++k) {
        const size_t j = (k + 1) % 4;
        twice += v[2 * k] * v[2 * j + 1] - v[2 * j] * v[2 * k + 1];
      }
      expected.push_back(Grouped(100 * std::fabs(twice) / 2, "sq mm"));
    }
  }
  direct::DocClose(doc);
  CommandResult info = Info();
  ASSERT_EQ(info.status, 0) << info.output;
  for (size_t k = 0; k < saved.size(); ++k) {
    SCOPED_TRACE(saved[k].text.substr(0, 300));
    EXPECT_EQ(saved[k].contents, expected[k]);
    const std::string value = (saved[k].intent == "LineDimension" ? "length \"" : "area \"") + expected[k] + "\";";
    EXPECT_NE(info.output.find(value), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("contents \"" + expected[k] + "\""), std::string::npos) << info.output;
  }
  EXPECT_EQ(expected[0], "6,429.95 mm");  // the worked figures, for a reader
  EXPECT_EQ(expected[1], "4,999.91 mm");
  EXPECT_EQ(expected[2], "15,412,401.38 sq mm");
}

// The slope line of a caption is named and worded in the user's language,
// in the stored contents and on the page alike.
TEST_F(MeasuringSession, TheSlopeLineSpeaksTheUsersLanguage) {
  MakePage(Metric());
  Prefs("[Measurement\\Distance]\nShowCaption=2050\nSlopeType=2\n");
  CommandResult r = Run("language de-DE\nview 1\ntool DISTANCE\nclick 100 100\nclick 172 172\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Saved> saved = ReadSaved(out_);
  ASSERT_EQ(saved.size(), 1u);
  const std::vector<std::string> lines = SplitLines(saved[0].contents);
  ASSERT_EQ(lines.size(), 2u) << saved[0].contents;
  EXPECT_EQ(lines[1].rfind("Neigung = 100", 0), 0u) << saved[0].contents;
  EXPECT_NE(lines[1].find("% Steigung"), std::string::npos) << saved[0].contents;
  bool drawn = false;
  for (const std::string& line : saved[0].drawnLines) drawn = drawn || line == lines[1];
  EXPECT_TRUE(drawn) << saved[0].text.substr(0, 300);

  // The command draws it again in its own language, English here.
  const std::string again = dir_ / "again.pdf";
  CommandResult regenerated = Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " " + Quote(AnnotPath()) +
                                    " regenerate " + Quote(out_) + " -o " + Quote(again));
  ASSERT_EQ(regenerated.status, 0) << regenerated.output;
  const std::vector<Saved> redrawn = ReadSaved(again);
  ASSERT_EQ(redrawn.size(), 1u);
  std::string slopeLine;
  for (const std::string& line : redrawn[0].drawnLines)
    if (line.rfind("Slope = 100", 0) == 0) slopeLine = line;
  EXPECT_NE(slopeLine.find("% Grade"), std::string::npos) << redrawn[0].text.substr(0, 300);
}

TEST_F(MeasuringSession, TheRubberBandAndThePanelFollowThePointer) {
  MakePage(Imperial());
  CommandResult r = Run("tool DISTANCE\nclick 100 100\nmove 172 100\nkey escape\n");
  ASSERT_EQ(r.status, 0) << r.output;
  // The figure so far in the default red, in device pixels (y downwards).
  EXPECT_NE(r.output.find("draw: path 100 692 172 692 pen #FF0000 1\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("panel label_length = 10'-0\"\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("panel label_angle = 0.00\xC2\xB0\n"), std::string::npos) << r.output;
}

// A polyline's rubber band shows every click, also after the view is
// zoomed in the middle of it, and the panel keeps the running total with a
// repeated click left out. 72 points are 2.54 m at 1 cm = 1 m.
TEST_F(MeasuringSession, ThePathsRubberBandAndTotalFollowEveryClickAtAnyZoom) {
  MakePage(Metric());
  CommandResult r = Run(
      "tool POLYLENGTH\nclick 100 100\nclick 172 100\nclick 172 172\nclick 172.2 172\nmove 244 172\n"
      "view 1 zoom 2\nmove 244 244\nkey escape\n");
  ASSERT_EQ(r.status, 0) << r.output;
  // Device pixels: x times the zoom, y down from the top of the 792-point page.
  EXPECT_NE(r.output.find("draw: path 100 692 172 692 172 620 172 620 244 620 pen #FF0000 1\n"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("panel label_total_length = 7.62 m\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("draw: path 200 1384 344 1384 344 1240 344 1240 488 1096 pen #FF0000 1\n"),
            std::string::npos)
      << r.output;
  // 2.54 m twice, then the diagonal of 72 by 72 points: 2.54 * sqrt(2) m.
  EXPECT_NE(r.output.find("panel label_total_length = 8.67 m\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("panel label_cur_segment = 3.59 m\n"), std::string::npos) << r.output;
}

// Drawn rightwards a fortieth of a point low over 590 points, a distance
// points 0.0024 degrees below a full turn: the panel reads 0.00, not 360.00.
TEST_F(MeasuringSession, ADistanceJustBelowAFullTurnReadsZeroDegrees) {
  MakePage(Metric());
  CommandResult r = Run("view 1 zoom 40\ntool DISTANCE\nclick 10 100\nmove 600 99.975\nkey escape\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("panel label_angle = 0.00\xC2\xB0\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("360.00"), std::string::npos) << r.output;
}

// A distance's direction is the one the user sees: on a page turned by
// /Rotate, in a view turned further, it is read from the rubber band as
// drawn on the screen (device pixels, y downwards), counter-clockwise from
// the screen's right. Selected afterwards on a page the view does not turn
// further, it reads the same.
TEST_F(MeasuringSession, ADistanceReadsItsDirectionAsTheViewShowsIt) {
  struct Case {
    int pageRotate, viewRotate;
    const char* to;
    const char* middle;
  } cases[] = {{90, 0, "160 130", "130 115"}, {270, 0, "160 130", "130 115"}, {90, 0, "70 40", "85 70"},
               {180, 0, "100 160", "100 130"}, {90, 90, "160 130", "130 115"}, {0, 270, "40 130", "70 115"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pageRotate) + " " + std::to_string(c.viewRotate) + " to " + c.to);
    MakePage(Metric(), "", c.pageRotate);
    CommandResult r = Run("view 1 rotate " + std::to_string(c.viewRotate) + "\ntool DISTANCE\nclick 100 100\nmove " +
                          c.to + "\nclick " + c.to + "\n");
    ASSERT_EQ(r.status, 0) << r.output;
    // The rubber band's last drawing before the measurement is made, in
    // whole device pixels (a quarter turn at zoom 1 maps whole points onto
    // whole pixels), and the panel as it was updated for it.
    const size_t made = r.output.find("undo: push");
    ASSERT_NE(made, std::string::npos) << r.output;
    const size_t draw = r.output.rfind("draw: path ", made);
    ASSERT_NE(draw, std::string::npos) << r.output;
    const size_t panel = r.output.rfind("panel label_angle = ", draw);
    ASSERT_NE(panel, std::string::npos) << r.output;
    double x0, y0, x1, y1;
    ASSERT_EQ(std::sscanf(r.output.c_str() + draw, "draw: path %lf %lf %lf %lf", &x0, &y0, &x1, &y1), 4);
    double degrees = std::atan2(-(y1 - y0), x1 - x0) * 180 / 3.14159265358979323846;
    if (degrees < 0) degrees += 360;
    char buf[64];
    std::snprintf(buf, sizeof buf, "panel label_angle = %.2f\xC2\xB0\n", degrees);
    const std::string want = buf;
    EXPECT_EQ(r.output.substr(panel, want.size()), want) << r.output;
    if (c.viewRotate == 0) {
      // Opened again and selected by hand.
      std::filesystem::copy_file(out_, in_, std::filesystem::copy_options::overwrite_existing);
      CommandResult again = Run(std::string("tool Hand\nclick ") + c.middle + "\n");
      ASSERT_EQ(again.status, 0) << again.output;
      EXPECT_NE(again.output.find(want), std::string::npos) << again.output;
    }
  }
  // Drawn rightwards on the screen of a page turned a quarter, a fortieth
  // of a point off over 590 points: 0.00, not 360.00.
  MakePage(Metric(), "", 90);
  CommandResult r = Run("view 1 zoom 40\ntool DISTANCE\nclick 100 10\nmove 100.025 600\nkey escape\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("panel label_angle = 0.00\xC2\xB0\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("360.00"), std::string::npos) << r.output;
}

TEST_F(MeasuringSession, DistancesUnderTwoPointsAreDropped) {
  // At zoom 10 a tenth of a point is a pixel.
  for (auto [end, count] : {std::pair{"101.9", 0}, std::pair{"102", 1}}) {
    SCOPED_TRACE(end);
    MakePage(Metric());
    CommandResult r = Run(std::string("view 1 zoom 10\ntool DISTANCE\nclick 100 100\nclick ") + end +
                          " 100\nexpect annots 1 " + std::to_string(count) + "\n");
    EXPECT_EQ(r.status, 0) << r.output;
  }
}

TEST_F(MeasuringSession, GesturesThatEndWithoutAMeasurement) {
  struct Case {
    const char* name;
    const char* prefs;
    const char* script;
  };
  const Case cases[] = {
      {"escape in the leader phase", "[Preferences\\Measuring]\nbLeader=1\n",
       "tool DISTANCE\nclick 100 100\nclick 200 100\nmove 150 130\nkey escape\nclick 300 300\n"},
      {"cancel from the context menu", "", "tool Area\nclick 100 100\nclick 200 100\nclick 200 200\nanswer message 2\nrclick 200 200\n"},
      {"a click outside the page", "", "tool DISTANCE\nclick -50 -50\nclick 100 100\n"},
      {"a polygon with no area", "", "tool Area\nclick 100 100\nclick 150 100\ndblclick 200 100\n"},
      {"three points in a row", "", "tool 3POINTRADIUS\nclick 100 100\nclick 150 100\nclick 200 100\n"},
      {"an angle arm under two points", "", "tool ANGLE\nclick 100 100\nclick 101 100\nclick 100 101\n"},
      {"a circle dragged flat", "", "tool CircleArea\ndrag 100 100 200 101\n"},
      {"the markup setting off", "[Measurement]\nMarkup=0\n", "tool DISTANCE\nclick 100 100\nclick 200 100\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Prefs(c.prefs);
    MakePage(Metric());
    CommandResult r = Run(std::string(c.script) + "expect annots 1 0\n");
    EXPECT_EQ(r.status, 0) << r.output;
  }
}

TEST_F(MeasuringSession, LeaderPhaseSetsTheLeaderLengthAndCompletesFromTheMenu) {
  Prefs("[Preferences\\Measuring]\nbLeader=1\n");
  MakePage(Metric());
  CommandResult r = Run(
      "tool DISTANCE\nclick 100 100\nclick 200 100\nclick 150 130\n"
      "tool Perimeter\nclick 100 300\nclick 200 300\nclick 200 400\nanswer message 1\nrclick 200 400\n"
      "expect annots 1 2\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<Saved> saved = ReadSaved(out_);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_NE(saved[0].text.find("/LL 30"), std::string::npos) << saved[0].text;
  EXPECT_NE(r.output.find("message: menu: Complete | Cancel"), std::string::npos) << r.output;
  EXPECT_EQ(saved[1].contents, "7.06 m");  // the two segments clicked before the menu
}

TEST_F(MeasuringSession, StyleSettingsApplyOnlyWithHasSetting) {
  for (auto [has, green] : {std::pair{0, false}, std::pair{1, true}}) {
    SCOPED_TRACE(has);
    Prefs("[Annotation\\Distance]\nHasSetting=" + std::to_string(has) + "\nColor=65280\n");
    MakePage(Metric());
    CommandResult r = Run("tool DISTANCE\nclick 100 100\nclick 200 100\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<Saved> saved = ReadSaved(out_);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].color, green ? "[ 0 1 0 ]" : "[ 1 0 0 ]");
  }
}

TEST_F(MeasuringSession, KeepToolSelectedDecidesWhetherTheNextClickMeasuresOrSelects) {
  // The Hand tool takes over only when the tool's key says 0; a click on
  // the new line then selects it instead of starting another distance.
  for (auto [prefs, selected] : {std::pair{"", 0}, std::pair{"[KeepToolSelected]\nDistance=0\n", 1}}) {
    SCOPED_TRACE(prefs);
    Prefs(prefs);
    MakePage(Metric());
    CommandResult r = Run("tool DISTANCE\nclick 100 100\nclick 200 100\nclick 150 100\nexpect selected " +
                          std::to_string(selected) + "\n");
    EXPECT_EQ(r.status, 0) << r.output;
  }
}

TEST_F(MeasuringSession, UndoRemovesTheMeasurementAndRedoBringsItBackIdentical) {
  MakePage(Imperial());
  const std::string first = dir_ / "first.pdf";
  CommandResult r = Run("tool Area\nclick 100 100\nclick 172 100\nclick 172 172\ndblclick 100 172\nsave " + first +
                        "\nundo\nexpect annots 1 0\nredo\nexpect annots 1 1\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<Saved> before = ReadSaved(first), after = ReadSaved(out_);
  ASSERT_EQ(before.size(), 1u);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].text, before[0].text);
  EXPECT_NE(r.output.find("undo: undo \"Create Area\""), std::string::npos) << r.output;
}

TEST_F(MeasuringSession, PagesWithoutAUsableScaleMeasureWithTheDefaultRatio) {
  const char* const viewports[] = {
      "5",                                                                      // not an array
      "[ << /Type /Viewport /BBox [0 0 612 792] /Measure << /R (1 in = 0 ft) >> >> ]",  // cannot format
      "[ << /Type /Viewport /BBox [0 0 612 792] >> ]",                          // no measure dictionary
  };
  for (const char* vp : viewports) {
    SCOPED_TRACE(vp);
    MakePage(std::nullopt, vp);
    Prefs("[Measurement]\nShowCalibrateTip=0\n");  // measured without asking for a scale
    std::string script;
    for (const ToolCase& c : kTools) script += c.script;
    CommandResult r = Run(script + "expect annots 1 10\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const Saved& s : ReadSaved(out_)) {
      EXPECT_FALSE(s.contents.empty()) << s.intent;
      EXPECT_EQ(s.contents.find("nan"), std::string::npos) << s.contents;
      EXPECT_EQ(s.contents.find("inf"), std::string::npos) << s.contents;
    }
  }
}

// Scales written by other programs often have no volume formats: a volume
// is then shown in the cube of the X unit. One that cannot be shown at all
// is told, not dropped in silence.
TEST_F(MeasuringSession, AScaleWithoutVolumeFormatsShowsVolumesInTheCubeOfItsUnit) {
  const std::string volume = "tool VOLUME\nclick 100 100\nclick 244 100\nclick 244 172\ndblclick 100 172\n";
  const auto page = [](const char* unit, const char* area) {
    return std::string("[ << /Type /Viewport /BBox [0 0 612 792] /Measure << /Type /Measure /R (1 in = 1 ft) /X [ << "
                       "/U (") + unit + ") /C 0.0138889 /D 100 >> ] /D [ << /U (" + unit + ") /C 1 /D 100 >> ] /A [ << "
                       "/U (" + area + ") /C 1 /D 100 >> ] >> >> ]";
  };
  MakePage(std::nullopt, page("ft", "sq ft"));
  CommandResult r = Run(volume + "expect annots 1 1\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  // Two inches by one of paper are 2 sq ft; the depth is one X unit.
  const std::vector<Saved> saved = ReadSaved(out_);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].contents, "2.00 cu ft");
  EXPECT_EQ(r.output.find("message:"), std::string::npos) << r.output;
  // The page keeps its own dictionary as it was.
  EXPECT_EQ(Shell("grep -c '/U (cu ft)' " + Quote(out_)).output.substr(0, 1), "1");

  MakePage(std::nullopt, page("furlong", "sq furlong"));
  r = Run(volume + "expect annots 1 0\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("message: Measure: The measurement cannot be shown with the scale of this page"),
            std::string::npos)
      << r.output;
}

TEST_F(MeasuringSession, MovingADistanceRederivesItsValueAndUndoRestoresIt) {
  MakePage(Imperial());
  CommandResult r = Run(
      "tool DISTANCE\nclick 100 100\nclick 181 100\n"
      "tool Hand\ndrag 181 100 172 100\nsave " + (dir_ / "moved.pdf") + "\nundo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<Saved> moved = ReadSaved(dir_ / "moved.pdf"), undone = ReadSaved(out_);
  ASSERT_EQ(moved.size(), 1u);
  ASSERT_EQ(undone.size(), 1u);
  EXPECT_EQ(moved[0].contents, "10'-0\"");
  EXPECT_EQ(undone[0].contents, "11'-3\"");
}

// Dragging a vertex of an area or a volume: across the opposite edge the
// polygon would cross itself, so the vertex stays, the file is unchanged and
// there is nothing to undo (undo takes the measurement itself away); a
// harmless drag re-derives the value and is one undo step.
TEST_F(MeasuringSession, AVertexDraggedAcrossTheOppositeEdgeStaysWhereItWas) {
  struct Case {
    const char* tool;
    const char* drag;
    bool accepted;
    const char* value;  // the contents after the drag
  } cases[] = {
      {"Area", "drag 172 172 60 136", false, "100.000 sq ft"},
      {"VOLUME", "drag 172 172 60 136", false, "100.000 cu ft"},
      {"Area", "drag 100 172 200 136", false, "100.000 sq ft"},
      {"Area", "drag 172 172 208 172", true, "125.000 sq ft"},
      {"VOLUME", "drag 172 172 208 172", true, "125.000 cu ft"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tool) + " " + c.drag);
    MakePage(Imperial());
    CommandResult r = Run(std::string("tool ") + c.tool +
                          "\nclick 100 100\nclick 172 100\nclick 172 172\ndblclick 100 172\ntool Hand\nsave " +
                          (dir_ / "drawn.pdf") + "\n" + c.drag + "\nsave " + (dir_ / "dragged.pdf") + "\nundo\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<Saved> drawn = ReadSaved(dir_ / "drawn.pdf"), dragged = ReadSaved(dir_ / "dragged.pdf"),
                        undone = ReadSaved(out_);
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(dragged.size(), 1u);
    EXPECT_EQ(dragged[0].contents, c.value);
    EXPECT_EQ(dragged[0].text == drawn[0].text, !c.accepted);
    if (c.accepted) {
      ASSERT_EQ(undone.size(), 1u);
      EXPECT_EQ(undone[0].text, drawn[0].text);
    } else {
      EXPECT_TRUE(undone.empty()) << "the refused drag left an undo step";
    }
  }
}

// An area or a volume whose closing edge would cross another edge is
// refused as a crossing vertex drag is: nothing is made, nothing is
// recorded, and the figure stays open until the user gives it up.
TEST_F(MeasuringSession, APolygonWhoseClosingEdgeCrossesAnotherIsRefused) {
  for (const char* tool : {"Area", "VOLUME"}) {
    SCOPED_TRACE(tool);
    MakePage(Imperial());
    // The last edge back to the first vertex runs across the second one.
    CommandResult r = Run(std::string("tool ") + tool +
                          "\nclick 100 100\nclick 172 100\nclick 100 172\ndblclick 190 150\nexpect annots 1 0\n"
                          "key escape\ntool Hand\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("undo: push"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("message:"), std::string::npos) << r.output;
    EXPECT_TRUE(ReadSaved(out_).empty());
  }
}

// With Shift the circle-area rubber band is the square the release makes
// (the smaller of the two sides, 50 of 100 by 50 device pixels at zoom 1),
// without it the dragged rectangle; a diameter's is always square.
TEST_F(MeasuringSession, ShiftSquaresTheCircleAreaRubberBandWhileDragging) {
  MakePage(Imperial());
  CommandResult r = Run("view 1 zoom 1\ntool CircleArea\ndown 100 100\nmove 200 150 shift\nmove 200 160\n"
                        "up 200 150 shift\ntool DIAMETER\ndown 300 300\nmove 340 400\nup 340 400\n");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::pair<int, int>> sizes;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    int l, t, rr, b;
    if (std::sscanf(line.c_str(), "draw: rect %d %d %d %d pen #FF0000", &l, &t, &rr, &b) == 4)
      sizes.push_back({rr - l, b - t});
  }
  const auto has = [&](int w, int h) { return std::find(sizes.begin(), sizes.end(), std::make_pair(w, h)) != sizes.end(); };
  EXPECT_TRUE(has(50, 50)) << r.output;
  EXPECT_TRUE(has(100, 60)) << r.output;
  EXPECT_TRUE(has(40, 40)) << r.output;
  EXPECT_FALSE(has(100, 50)) << r.output;
  EXPECT_FALSE(has(40, 100)) << r.output;
}

// When the tool hands over to the Hand tool, "bAutoOpenPopup" 1 opens the
// new measurement's pop-up note; undo takes both away and redo brings both
// back. A kept tool, or the preference unset, opens none.
TEST_F(MeasuringSession, AutoOpenPopupOpensTheNewMeasurementsNoteWhenTheToolHandsOver) {
  const struct {
    const char* prefs;
    bool popup;
  } cases[] = {
      {"[KeepToolSelected]\nDistance=0\n[Annotation]\nbAutoOpenPopup=1\n", true},
      {"[KeepToolSelected]\nDistance=0\n", false},
      {"[Annotation]\nbAutoOpenPopup=1\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefs);
    Prefs(c.prefs);
    MakePage(Metric());
    const std::string made = dir_ / "made.pdf";
    const std::string count = c.popup ? "2" : "1";
    CommandResult r = Run("tool DISTANCE\nclick 100 100\nclick 200 100\nsave " + made +
                          "\nundo\nexpect annots 1 0\nredo\nexpect annots 1 " + count + "\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const std::string& file : {made, out_}) {
      const std::vector<Saved> saved = ReadSaved(file);
      ASSERT_EQ(saved.size(), c.popup ? 2u : 1u) << file;
      EXPECT_EQ(saved[0].intent, "LineDimension");
      EXPECT_EQ(saved[0].text.find("/Popup") != std::string::npos, c.popup) << saved[0].text;
      if (c.popup) {
        EXPECT_EQ(saved[1].subtype, "Popup");
        EXPECT_NE(saved[1].text.find("/Open true"), std::string::npos) << saved[1].text;
        EXPECT_NE(saved[1].text.find("/Parent"), std::string::npos) << saved[1].text;
      }
    }
  }
}

// The read-out follows the pointer while drawing unless "Show Ruler" is 0;
// then it changes only with the clicks.
TEST_F(MeasuringSession, ShowRulerOffKeepsTheReadOutToTheClicks) {
  const auto lengths = [](const std::string& output) {
    std::vector<std::string> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("panel label_length = ", 0) == 0) values.push_back(line.substr(21));
    return values;
  };
  const std::string script = "tool DISTANCE\nclick 100 100\nmove 136 100\nmove 172 100\nclick 208 100\n";
  MakePage(Imperial());
  Prefs("");
  CommandResult on = Run(script);
  ASSERT_EQ(on.status, 0) << on.output;
  MakePage(Imperial());
  Prefs("[Measurement]\nShow Ruler=0\n");
  CommandResult off = Run(script);
  ASSERT_EQ(off.status, 0) << off.output;
  // 36 points are half a paper inch: 5 ft at 1 in = 10 ft.
  const std::vector<std::string> following = lengths(on.output), clicked = lengths(off.output);
  EXPECT_NE(std::find(following.begin(), following.end(), "5'-0\""), following.end()) << on.output;
  EXPECT_EQ(std::find(clicked.begin(), clicked.end(), "5'-0\""), clicked.end()) << off.output;
  EXPECT_EQ(following.size(), clicked.size() + 2) << on.output << off.output;
}

}  // namespace
