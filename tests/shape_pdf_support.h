// Builds small PDFs of shape annotations without appearances, and reads
// back what a command wrote, through the host in process.
#pragma once

#include <string>
#include <vector>

#include "host/host_functions.h"

namespace testing_support {

namespace fn = kshost::fn;

// The content the old appearances of WriteShapePdf hold.
inline const char* OldAppearance() { return "% old appearance\n"; }

// One page of `width` by `height` holding the annotation dictionaries given
// as PDF text, saved to `path`. An annotation written with "/AP << >>" gets
// a normal appearance stream holding OldAppearance(). Empty string on
// success, else the error.
inline std::string WriteShapePdf(const std::string& path, float width, float height,
                                 const std::vector<std::string>& annots) {
  KPD_Document doc = fn::DocNew();
  KS_FloatRect box{0, 0, width, height};
  KPD_Page page = fn::DocAddPage(doc, &box);
  std::string error;
  for (const std::string& text : annots) {
    KPD_Object dict = fn::ObjectParse(text.data(), text.size());
    KPD_Dictionary annot = dict ? fn::PageInsertAnnot(page, -1, dict) : nullptr;
    if (!annot) error = "cannot add " + text;
    fn::ObjectRelease(dict);
    KPD_Object ap = annot ? fn::DictGet(annot, "/AP") : nullptr;
    if (ap) {
      std::string old = OldAppearance();
      KPD_Stream stream = fn::DocNewStream(doc, old.data(), old.size());
      std::string bboxText = "[0 0 1 1]";
      KPD_Object bbox = fn::ObjectParse(bboxText.data(), bboxText.size());
      fn::DictSet(fn::StreamGetDict(stream), "/BBox", bbox);
      fn::ObjectRelease(bbox);
      fn::DictSet(ap, "/N", stream);
    }
  }
  KS_ByteString err = fn::ByteStringNew(nullptr, 0);
  if (error.empty() && !fn::DocSave(doc, path.c_str(), err))
    error = std::string(fn::ByteStringData(err), fn::ByteStringLength(err));
  fn::ByteStringDestroy(err);
  fn::DocClose(doc);
  return error;
}

}  // namespace testing_support
