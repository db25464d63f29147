// Sample inputs the project makes itself, so that demos and tests need no
// outside file.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "host/core_hft.h"
#include "host/host_functions.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_shape_appearance.h"
#include "kwannotation/kw_viewport.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace annot {

const char kSampleUsage[] =
    "usage: annot sample floorplan [--ink] -o OUT.pdf\n"
    "\n"
    "Writes a one-page vector floor plan (12 m by 8 m at 1:50 on A4\n"
    "landscape) to measure on. Its scale is the page's viewport 0\n"
    "(10 cm = 5 m), as a calibrated drawing stores it; --ink adds one red\n"
    "ink stroke below the plan.\n";

namespace {

// Plan metres to page points at 1:50: 1 m is 20 mm on paper.
constexpr double kPtPerMetre = 20.0 / 25.4 * 72.0;
constexpr double kOriginX = 80.0;
constexpr double kOriginY = 90.0;

class Content {
 public:
  Content& Num(double v) {
    ks::AppendFixed(s_, v, 3);
    s_ += ' ';
    return *this;
  }
  Content& Pt(double xm, double ym) { return Num(kOriginX + xm * kPtPerMetre).Num(kOriginY + ym * kPtPerMetre); }
  Content& Op(const char* op) {
    s_ += op;
    s_ += '\n';
    return *this;
  }
  // A wall: a filled rectangle between two plan corners.
  Content& Wall(double x0, double y0, double x1, double y1) {
    return Pt(x0, y0).Num((x1 - x0) * kPtPerMetre).Num((y1 - y0) * kPtPerMetre).Op("re");
  }
  // A door leaf and its swing: hinge at (hx, hy), radius r metres, the leaf
  // along `sx`/`sy` and the swing ending along `ex`/`ey` (unit axes).
  Content& Door(double hx, double hy, double r, double sx, double sy, double ex, double ey) {
    const double k = 0.5523;  // quarter-circle Bezier handle length
    Pt(hx, hy).Op("m").Pt(hx + sx * r, hy + sy * r).Op("l");
    Pt(hx + sx * r + ex * r * k, hy + sy * r + ey * r * k)
        .Pt(hx + ex * r + sx * r * k, hy + ey * r + sy * r * k)
        .Pt(hx + ex * r, hy + ey * r)
        .Op("c");
    return Op("S");
  }
  Content& Text(double xm, double ym, double size, const char* text) {
    Op("BT").Op("/F1 ").Num(size).Op("Tf");
    Pt(xm, ym).Op("Td");
    s_ += '(';
    s_ += text;
    s_ += ") Tj\nET\n";
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

std::string FloorPlan() {
  Content c;
  // Outer walls 0.3 m thick, interior walls 0.12 m, door openings 0.9 m.
  c.Op("0.25 g");
  c.Wall(0, 0, 12, 0.3).Wall(0, 7.7, 12, 8).Wall(0, 0, 0.3, 8).Wall(11.7, 0, 12, 8);
  c.Wall(7, 0.3, 7.12, 2.6).Wall(7, 3.5, 7.12, 4.06).Op("f");
  c.Wall(0.3, 5, 1.2, 5.12).Wall(2.1, 5, 8.5, 5.12).Wall(9.4, 5, 11.7, 5.12).Op("f");
  c.Wall(4.94, 5.12, 5.06, 7.7).Wall(7.94, 5.12, 8.06, 7.7).Wall(7.12, 4.0, 11.7, 4.12).Op("f");
  // Windows: thin double lines in the outer walls.
  c.Op("0 G 0.5 w");
  for (auto [x0, x1] : {std::pair{1.5, 3.5}, std::pair{8.5, 10.5}}) {
    c.Op("1 g").Wall(x0, 0, x1, 0.3).Op("f").Op("0 g");
    c.Pt(x0, 0.1).Op("m").Pt(x1, 0.1).Op("l").Pt(x0, 0.2).Op("m").Pt(x1, 0.2).Op("l").Op("S");
  }
  // Doors with their swing.
  c.Op("0.6 w");
  c.Door(1.2, 5.06, 0.9, 1, 0, 0, 1).Door(8.5, 5.06, 0.9, 1, 0, 0, -1).Door(7.06, 2.6, 0.9, 0, 1, -1, 0);
  // Kitchen counter and a dimension line along the bottom.
  c.Op("0.8 w").Wall(7.4, 0.6, 11.4, 1.2).Op("S");
  c.Op("0.4 w").Pt(0, -0.6).Op("m").Pt(12, -0.6).Op("l").Op("S");
  c.Pt(0, -0.8).Op("m").Pt(0, -0.4).Op("l").Pt(12, -0.8).Op("m").Pt(12, -0.4).Op("l").Op("S");
  c.Op("0 g").Text(5.6, -0.5, 9, "12.00 m");
  c.Text(2.6, 2.6, 12, "Living").Text(8.6, 2.4, 12, "Kitchen").Text(1.8, 6.4, 12, "Bedroom");
  c.Text(5.9, 6.4, 12, "Bath").Text(9.2, 6.4, 12, "Study");
  c.Text(0, 8.5, 10, "Floor plan 1:50");
  return c.str();
}

// Stores the plan's scale as viewport 0 over the whole page: 10 cm on paper
// are 5 m, lengths in metres, areas in square metres.
bool AddPlanScale(KPD_Document doc, KPD_Page page, const KS_FloatRect& box) {
  ks::host::Bind(kshost::CoreHFT(), nullptr);  // the annotation library reaches the host through it
  kwannotation::CKW_MeasureDict measure = kwannotation::CKW_MeasureDict::Own(kshost::fn::DictNew());
  if (!measure) return false;
  kwannotation::PageScale scale;
  scale.x = {10, u"cm", 5, u"m"};
  scale.precision = 2;
  if (!measure->WriteScale(scale, u"10 cm = 5 m", {u"m", u"sq m", u"cu m"})) return false;
  kwannotation::CKW_PageViewportListImpl viewports(page, doc);
  return static_cast<bool>(viewports.AddViewport(box, measure, u"Floor plan 1:50"));
}

}  // namespace

int RunSample(const std::vector<std::string>& args) {
  const bool withInk = args.size() == 4 && args[1] == "--ink";
  const size_t o = withInk ? 2 : 1;
  if (args.size() != o + 2 || args[0] != "floorplan" || args[o] != "-o") {
    std::fputs(kSampleUsage, stderr);
    return kExitUsage;
  }
  namespace fn = kshost::fn;
  KPD_Document doc = fn::DocNew();
  if (!doc) return Fail(kExitFailure, "cannot create a document");
  const KS_FloatRect a4Landscape{0, 0, 842, 595};
  KPD_Page page = fn::DocAddPage(doc, &a4Landscape);
  const char resources[] = "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";
  KPD_Object res = fn::ObjectParse(resources, sizeof resources - 1);
  std::string content = FloorPlan();
  bool ok = page && res && fn::DictSet(page, "/Resources", res) &&
            fn::PageAppendContent(page, content.data(), content.size());
  fn::ObjectRelease(res);
  ok = ok && AddPlanScale(doc, page, a4Landscape);
  // With --ink, a red pen mark below the plan: one ink stroke from (120, 50) to (360, 50).
  const char ink[] =
      "<< /Type /Annot /Subtype /Ink /NM (ink-1) /F 4 /C [1 0 0] /BS << /W 2 >> /Rect [110 40 370 60]"
      " /InkList [[120 50 150 54 180 50 210 46 240 50 270 54 300 50 330 46 360 50]] >>";
  KPD_Object inkDict = fn::ObjectParse(ink, sizeof ink - 1);
  if (withInk) {
    ks::host::Bind(kshost::CoreHFT(), nullptr);  // the appearance is made through the host's functions
    ok = ok && inkDict && kwannotation::ResetInkAppearance(fn::PageInsertAnnot(page, -1, inkDict), nullptr);
  }
  if (inkDict) fn::ObjectRelease(inkDict);
  KS_ByteString why = fn::ByteStringNew(nullptr, 0);
  ok = ok && fn::DocSave(doc, args[o + 1].c_str(), why);
  std::string error = ok ? "" : std::string(fn::ByteStringData(why), fn::ByteStringLength(why));
  fn::ByteStringDestroy(why);
  fn::DocClose(doc);
  if (!ok) return Fail(kExitFailure, error.empty() ? "cannot write " + args[o + 1] : error);
  return kExitOk;
}

}  // namespace annot
