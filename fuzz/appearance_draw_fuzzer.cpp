// Appearance streams drawn onto a recording device: any bytes draw without a
// crash or a hang, within the item limit, and every item has points.
//
// The input is the appearance's content; after a line "%%FORM" the rest is
// the content of form XObject /F, which the appearance and the form itself
// may draw. /Im is an image.
#include <qpdf/QPDF.hh>

#include <string>

#include "fuzz/fuzz_support.h"
#include "host/appearance_draw.h"
#include "host/device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxPdfInput) return 0;
  std::string content(reinterpret_cast<const char*>(data), size);
  const std::string formContent = annot_fuzz::SplitFormContent(content);
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle form = qpdf.newStream(formContent);
  form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  form.getDict().replaceKey("/Matrix", QPDFObjectHandle::parse("[0.5 0 0 0.5 10 10]"));
  QPDFObjectHandle image = qpdf.newStream(std::string("\x80", 1));
  image.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /XObject << >> >>");
  resources.getKey("/XObject").replaceKey("/F", form);
  resources.getKey("/XObject").replaceKey("/Im", image);
  form.getDict().replaceKey("/Resources", resources);
  QPDFObjectHandle ap = qpdf.newStream(content);
  ap.getDict().replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 100 50]"));
  ap.getDict().replaceKey("/Resources", resources);
  QPDFObjectHandle annot = QPDFObjectHandle::parse("<< /Rect [10 10 60 110] /AP << >> >>");
  annot.getKey("/AP").replaceKey("/N", ap);

  KA_Device device = kshost::NewDevice();
  const KS_Matrix view{2, 0, 0, -2, 0, 1600};
  kshost::appearance::DrawAnnotAppearance(device, annot, view);
  FUZZ_CHECK(device->items.size() <= kshost::appearance::kMaxItems);
  for (const kshost::DrawItem& item : device->items) FUZZ_CHECK(item.points.size() >= 2);
  kshost::ReleaseDevice(device);
  return 0;
}
