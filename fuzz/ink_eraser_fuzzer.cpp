// Ink dictionaries as the eraser reads them (/InkList and the pressure
// arrays of "PSI"), erased by a trail through them. Input: an ink
// dictionary in PDF syntax, optionally followed by a line "%%trail x y x y
// ..." with the eraser's path (else a trail through the first points).
#include <cmath>
#include <sstream>

#include "drawing/cda_rubber_geometry.h"
#include "drawing/cda_rubber_ink.h"
#include "fuzz/fuzz_support.h"

using namespace AnnotationPlugin;

namespace {

void CheckResult(const DA_EraseResult& r, const DA_InkStrokes& before, bool pressure) {
  size_t kept = 0, total = 0;
  for (const auto& s : before) total += s.points.size();
  for (const auto& s : r.strokes) {
    FUZZ_CHECK(s.points.size() >= 2);
    if (pressure) FUZZ_CHECK(s.pressure.size() == s.points.size());
    kept += s.points.size();
  }
  FUZZ_CHECK(kept <= total);
  if (!r.changed) FUZZ_CHECK(r.strokes.size() <= before.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  std::string text(annot_fuzz::Bytes(data, size));
  std::string trailText;
  if (size_t at = text.find("%%trail"); at != std::string::npos) {
    trailText = text.substr(at + 7);
    text.resize(at);
  }
  KPD_Object dict = ks::host::ObjectParse(text.data(), text.size());
  if (!dict) return 0;
  if (ks::host::ObjectGetType(dict) == KPD_OBJ_DICTIONARY) {
    const DA_InkData ink = DA_ReadInk(dict);
    if (ink.problem.empty()) {
      for (size_t i = 0; ink.perPoint && i < ink.strokes.size(); ++i)
        FUZZ_CHECK(ink.strokes[i].pressure.size() == ink.strokes[i].points.size());
      std::istringstream in(trailText);
      CDA_RubberTrail trail(RubberRadius(8));
      float x, y;
      while (trail.Points().size() < 200 && in >> x >> y)
        if (std::isfinite(x) && std::isfinite(y)) trail.Add({x, y});
      if (trail.Empty())
        for (const auto& s : ink.strokes)
          if (!s.points.empty() && trail.Points().size() < 3) trail.Add(s.points.front());
      CDA_StrokeIndex index(ink.strokes);
      const DA_EraseResult part = index.ErasePart(trail);
      CheckResult(part, ink.strokes, ink.perPoint);
      CheckResult(index.EraseWhole(trail), ink.strokes, false);
      CDA_StrokeIndex::Preview preview(index, false);
      preview.Extend(trail);
      // The pieces kept in the dictionary read back as the strokes left,
      // pressure and all.
      FUZZ_CHECK(DA_KeepRuns(dict, part.runs));
      const DA_InkData kept = DA_ReadInk(dict);
      FUZZ_CHECK(kept.problem.empty() && kept.strokes.size() == part.strokes.size());
      for (size_t i = 0; i < kept.strokes.size(); ++i) {
        FUZZ_CHECK(kept.strokes[i].points.size() == part.strokes[i].points.size());
        for (size_t k = 0; k < kept.strokes[i].points.size(); ++k)
          FUZZ_CHECK(kept.strokes[i].points[k].x == part.strokes[i].points[k].x &&
                     kept.strokes[i].points[k].y == part.strokes[i].points[k].y);
        if (ink.perPoint) FUZZ_CHECK(kept.strokes[i].pressure == part.strokes[i].pressure);
      }
      // What was read writes back.
      DA_WriteInk(dict, ink);
    }
  }
  ks::host::ObjectRelease(dict);
  return 0;
}
