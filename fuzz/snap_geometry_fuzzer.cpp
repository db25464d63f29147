// Page geometry for snapping from content streams: any bytes extract without
// a crash or a hang, every kept segment is finite, and queries on the index
// answer points that are finite and within reach.
//
// The input is the page's content; after a line "%%FORM" the rest is the
// content of form XObject /F, which the page and the form itself may draw.
#include <qpdf/QPDF.hh>

#include <cmath>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/snap_geometry.h"
#include "sdk/ks_functions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxPdfInput) return 0;  // content streams of big drawings
  std::string content(reinterpret_cast<const char*>(data), size);
  const std::string formContent = annot_fuzz::SplitFormContent(content);
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle form = qpdf.newStream(formContent);
  form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  form.getDict().replaceKey("/Matrix", QPDFObjectHandle::parse("[0.5 0 0 0.5 10 10]"));
  QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /XObject << >> >>");
  resources.getKey("/XObject").replaceKey("/F", form);
  form.getDict().replaceKey("/Resources", resources);

  const double identity[6] = {1, 0, 0, 1, 0, 0};
  kshost::snap::Geometry g = kshost::snap::ExtractContent(content, resources, identity);
  FUZZ_CHECK(g.segments.size() <= kshost::snap::kMaxSegments);
  for (const kshost::snap::Segment& s : g.segments)
    FUZZ_CHECK(std::isfinite(s.x1) && std::isfinite(s.y1) && std::isfinite(s.x2) && std::isfinite(s.y2));

  kshost::snap::Index index(std::move(g));
  const KS_Matrix view{1, 0, 0, -1, 0, 800};
  const kshost::snap::Modes all{true, true, true, true};
  for (const auto& s : index.geometry().segments) {
    const double px = s.x1 + 2, py = 800 - s.y1 + 1;
    const kshost::snap::Hit hit = index.Query(view, px, py, 8, all);
    FUZZ_CHECK(hit.kind >= KS_SNAP_NONE && hit.kind <= KS_SNAP_NEAR);
    if (hit.kind == KS_SNAP_NONE) continue;
    FUZZ_CHECK(std::isfinite(hit.point.x) && std::isfinite(hit.point.y));
    FUZZ_CHECK(hit.distance <= 8);
    if (&s - index.geometry().segments.data() > 64) break;
  }
  return 0;
}
