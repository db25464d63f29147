// Sample inputs the project makes itself, so that demos and tests need no
// outside file.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "host/core_hft.h"
#include "host/host_functions.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_viewport.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace annot {

const char kSampleUsage[] =
    "usage: annot sample floorplan [--ink] [--segments N] -o OUT.pdf\n"
    "\n"
    "Writes a one-page vector floor plan (12 m by 8 m at 1:50 on A4\n"
    "landscape) to measure on. Its scale is the page's viewport 0\n"
    "(10 cm = 5 m), as a calibrated drawing stores it; --ink adds one red\n"
    "ink stroke below the plan. --segments N draws a denser plan of about\n"
    "N path segments (1 to 5000000): furniture, hatched walls and\n"
    "dimension ticks over the same walls.\n";

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
  c.Text(0.8, 4.3, 12, "Living").Text(8.6, 2.4, 12, "Kitchen").Text(1.8, 6.4, 12, "Bedroom");
  c.Text(5.9, 6.4, 12, "Bath").Text(9.2, 6.4, 12, "Study");
  c.Text(0, 8.5, 10, "Floor plan 1:50");
  return c.str();
}

// Path segments as the plan counts them: a line or a curve is one, a
// rectangle four.
constexpr size_t kMaxSegments = 5'000'000;

// The denser layer of a plan of about `wanted` segments (with the `base` the
// plain plan has): dimension ticks every 10 cm and wall hatching every 5 cm
// as far as a tenth of the segments each allow (closer when there are more
// than that), and furniture in the rooms for the rest, its grid as fine as
// the count needs.
struct Rect {
  double x0, y0, x1, y1;
};

const Rect kWalls[] = {{0, 0, 12, 0.3},        {0, 7.7, 12, 8},       {0, 0, 0.3, 8},      {11.7, 0, 12, 8},
                       {7, 0.3, 7.12, 2.6},    {7, 3.5, 7.12, 4.06},  {0.3, 5, 1.2, 5.12}, {2.1, 5, 8.5, 5.12},
                       {9.4, 5, 11.7, 5.12},   {4.94, 5.12, 5.06, 7.7}, {7.94, 5.12, 8.06, 7.7},
                       {7.12, 4.0, 11.7, 4.12}};
const Rect kRooms[] = {{0.3, 0.3, 7, 5}, {7.12, 1.3, 11.7, 4}, {0.3, 5.12, 4.94, 7.7}, {5.06, 5.12, 7.94, 7.7},
                       {8.06, 5.12, 11.7, 7.7}};

size_t PlanSegments(const std::string& content) {
  size_t count = 0;
  size_t line = 0;
  while (line < content.size()) {
    size_t end = content.find('\n', line);
    if (end == std::string::npos) end = content.size();
    // Each line ends with its operator, after the operands.
    std::string_view op(content.data() + line, end - line);
    if (const size_t space = op.rfind(' '); space != std::string_view::npos) op.remove_prefix(space + 1);
    if (op == "l" || op == "c") count += 1;
    else if (op == "re") count += 4;
    line = end + 1;
  }
  return count;
}

// Ticks every few centimetres along dimension lines below, above and left of
// the plan: each tick is a slash and the piece of line up to it.
void DimensionTicks(Content& c, size_t budget) {
  const double total = 12 + 12 + 8;  // metres of dimension line
  const size_t ticks = std::clamp<size_t>(budget / 2, 3, static_cast<size_t>(total / 0.1));
  const double step = total / static_cast<double>(ticks);
  c.Op("0.3 w");
  const auto run = [&](double x0, double y0, double dx, double dy, double length) {
    const size_t n = std::max<size_t>(1, static_cast<size_t>(length / step));
    const double s = length / static_cast<double>(n);
    for (size_t i = 0; i <= n; ++i) {
      const double x = x0 + dx * s * static_cast<double>(i), y = y0 + dy * s * static_cast<double>(i);
      if (i > 0) c.Pt(x - dx * s, y - dy * s).Op("m").Pt(x, y).Op("l");
      c.Pt(x - 0.05, y - 0.05).Op("m").Pt(x + 0.05, y + 0.05).Op("l");
    }
    c.Op("S");
  };
  run(0, -1.2, 1, 0, 12);
  run(0, 8.6, 1, 0, 12);
  run(-0.6, 0, 0, 1, 8);
}

// 45-degree hatching inside every wall, lines spaced to use the budget.
void WallHatching(Content& c, size_t budget) {
  double perimeter = 0;
  for (const Rect& w : kWalls) perimeter += (w.x1 - w.x0) + (w.y1 - w.y0);
  const double d = std::max(0.05, perimeter / static_cast<double>(std::max<size_t>(budget, 1)));
  c.Op("0.1 w");
  for (const Rect& w : kWalls) {
    // Lines x - y = k across the rectangle, for k from x0 - y1 to x1 - y0.
    for (double k = w.x0 - w.y1 + d / 2; k < w.x1 - w.y0; k += d) {
      const double ax = std::max(w.x0, w.y0 + k), bx = std::min(w.x1, w.y1 + k);
      if (bx <= ax) continue;
      c.Pt(ax, ax - k).Op("m").Pt(bx, bx - k).Op("l");
    }
  }
  c.Op("S");
}

// Tables with four chairs (a round table every third place) on a grid in
// every room; 20 segments a group.
void Furniture(Content& c, size_t budget) {
  const size_t groups = std::max<size_t>(budget / 20, 1);
  double area = 0;
  for (const Rect& r : kRooms) area += (r.x1 - r.x0) * (r.y1 - r.y0);
  // The rooms' edges leave part of each room unused: a finer grid until all
  // groups have a place.
  const auto places = [](double cell) {
    size_t n = 0;
    for (const Rect& r : kRooms)
      n += static_cast<size_t>((r.x1 - r.x0) / cell) * static_cast<size_t>((r.y1 - r.y0) / cell);
    return n;
  };
  double cell = std::sqrt(area / static_cast<double>(groups));
  while (places(cell) < groups) cell *= 0.98;
  c.Op("0.2 w");
  size_t made = 0;
  for (const Rect& r : kRooms) {
    const size_t columns = static_cast<size_t>((r.x1 - r.x0) / cell), rows = static_cast<size_t>((r.y1 - r.y0) / cell);
    for (size_t row = 0; row < rows && made < groups; ++row) {
      for (size_t column = 0; column < columns && made < groups; ++column, ++made) {
        const double x = r.x0 + cell * (static_cast<double>(column) + 0.5), y = r.y0 + cell * (static_cast<double>(row) + 0.5);
        const double t = cell * 0.2, ch = cell * 0.08;
        if (made % 3 == 2) {  // a round table of four quarter curves
          const double k = 0.5523 * t;
          c.Pt(x + t, y).Op("m");
          c.Pt(x + t, y + k).Pt(x + k, y + t).Pt(x, y + t).Op("c");
          c.Pt(x - k, y + t).Pt(x - t, y + k).Pt(x - t, y).Op("c");
          c.Pt(x - t, y - k).Pt(x - k, y - t).Pt(x, y - t).Op("c");
          c.Pt(x + k, y - t).Pt(x + t, y - k).Pt(x + t, y).Op("c");
        } else {
          c.Pt(x - t, y - t).Num(2 * t * kPtPerMetre).Num(2 * t * kPtPerMetre).Op("re");
        }
        for (auto [dx, dy] : {std::pair{0.0, 1.0}, {0.0, -1.0}, {1.0, 0.0}, {-1.0, 0.0}}) {
          const double cx = x + dx * (t + ch * 1.5), cy = y + dy * (t + ch * 1.5);
          c.Pt(cx - ch, cy - ch).Num(2 * ch * kPtPerMetre).Num(2 * ch * kPtPerMetre).Op("re");
        }
      }
    }
  }
  c.Op("S");
}

std::string DenserLayer(size_t wanted, size_t base) {
  Content c;
  if (wanted <= base) return c.str();
  const size_t extra = wanted - base;
  c.Op("0 G");
  DimensionTicks(c, extra / 10);
  WallHatching(c, extra / 10);
  const size_t sofar = base + PlanSegments(c.str());
  Furniture(c, wanted > sofar ? wanted - sofar : 0);
  return c.str();
}

// Stores the plan's scale as viewport 0 over the whole page: 10 cm on paper
// are 5 m, lengths in metres, areas in square metres.
bool AddPlanScale(KPD_Document doc, KPD_Page page, const KS_FloatRect& box) {
  ks::host::Bind(kshost::CoreHFT(), nullptr);  // the annotation library reaches the host through it
  kwannotation::CKW_MeasureDict measure = kwannotation::CKW_MeasureDict::Own(kshost::direct::DictNew());
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
  bool withInk = false;
  size_t segments = 0;  // none: the plain plan
  std::string output;
  bool ok = !args.empty() && args[0] == "floorplan";
  for (size_t i = 1; ok && i < args.size(); ++i) {
    if (args[i] == "--ink" && !withInk) {
      withInk = true;
    } else if (args[i] == "--segments" && segments == 0 && i + 1 < args.size()) {
      const std::string& n = args[++i];
      auto r = std::from_chars(n.data(), n.data() + n.size(), segments);
      ok = r.ec == std::errc() && r.ptr == n.data() + n.size() && segments >= 1 && segments <= kMaxSegments;
      if (!ok) return Fail(kExitUsage, "--segments takes a number from 1 to 5000000, not '" + n + "'");
    } else if (args[i] == "-o" && output.empty() && i + 1 < args.size()) {
      output = args[++i];
    } else {
      ok = false;
    }
  }
  if (!ok || output.empty()) {
    std::fputs(kSampleUsage, stderr);
    return kExitUsage;
  }
  namespace direct = kshost::direct;
  KPD_Document doc = direct::DocNew();
  if (!doc) return Fail(kExitFailure, "cannot create a document");
  const KS_FloatRect a4Landscape{0, 0, 842, 595};
  KPD_Page page = direct::DocAddPage(doc, &a4Landscape);
  const char resources[] = "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";
  KPD_Object res = direct::ObjectParse(resources, sizeof resources - 1);
  std::string content = FloorPlan();
  if (segments > 0) content += DenserLayer(segments, PlanSegments(content));
  ok = page && res && direct::DictSet(page, "/Resources", res) &&
            direct::PageAppendContent(page, content.data(), content.size());
  direct::ObjectRelease(res);
  ok = ok && AddPlanScale(doc, page, a4Landscape);
  // With --ink, a red pen mark below the plan: one ink stroke from (120, 50) to (360, 50).
  const char ink[] =
      "<< /Type /Annot /Subtype /Ink /NM (ink-1) /F 4 /C [1 0 0] /BS << /W 2 >> /Rect [110 40 370 60]"
      " /InkList [[120 50 150 54 180 50 210 46 240 50 270 54 300 50 330 46 360 50]] >>";
  KPD_Object inkDict = direct::ObjectParse(ink, sizeof ink - 1);
  if (withInk) {
    ks::host::Bind(kshost::CoreHFT(), nullptr);  // the appearance is made through the host's functions
    ok = ok && inkDict && kwannotation::RebuildAppearance(direct::PageInsertAnnot(page, -1, inkDict), nullptr);
  }
  if (inkDict) direct::ObjectRelease(inkDict);
  KS_ByteString why = direct::ByteStringNew(nullptr, 0);
  ok = ok && direct::DocSave(doc, output.c_str(), why);
  std::string error = ok ? "" : std::string(direct::ByteStringData(why), direct::ByteStringLength(why));
  direct::ByteStringDestroy(why);
  direct::DocClose(doc);
  if (!ok) return Fail(kExitFailure, error.empty() ? "cannot write " + output : error);
  return kExitOk;
}

}  // namespace annot
