// Builds small PDFs of shape annotations without appearances, and reads
// back what a command wrote, through the host in process.
#pragma once

#include <string>
#include <vector>

#include "host/host_functions.h"

namespace testing_support {

namespace direct = kshost::direct;

// The content the old appearances of WriteShapePdf hold.
inline const char* OldAppearance() { return "% old appearance\n"; }

// One page of `width` by `height` holding the annotation dictionaries given
// as PDF text, saved to `path`. An annotation written with "/AP << >>" gets
// a normal appearance stream holding OldAppearance(). Empty string on
// success, else the error.
inline std::string WriteShapePdf(const std::string& path, float width, float height,
                                 const std::vector<std::string>& annots) {
  KPD_Document doc = direct::DocNew();
  KS_FloatRect box{0, 0, width, height};
  KPD_Page page = direct::DocAddPage(doc, &box);
  std::string error;
  for (const std::string& text : annots) {
    KPD_Object dict = direct::ObjectParse(text.data(), text.size());
    KPD_Dictionary annot = dict ? direct::PageInsertAnnot(page, -1, dict) : nullptr;
    if (!annot) error = "cannot add " + text;
    direct::ObjectRelease(dict);
    KPD_Object ap = annot ? direct::DictGet(annot, "/AP") : nullptr;
    if (ap) {
      std::string old = OldAppearance();
      KPD_Stream stream = direct::DocNewStream(doc, old.data(), old.size());
      std::string bboxText = "[0 0 1 1]";
      KPD_Object bbox = direct::ObjectParse(bboxText.data(), bboxText.size());
      direct::DictSet(direct::StreamGetDict(stream), "/BBox", bbox);
      direct::ObjectRelease(bbox);
      direct::DictSet(ap, "/N", stream);
    }
  }
  KS_ByteString err = direct::ByteStringNew(nullptr, 0);
  if (error.empty() && !direct::DocSave(doc, path.c_str(), err))
    error = std::string(direct::ByteStringData(err), direct::ByteStringLength(err));
  direct::ByteStringDestroy(err);
  direct::DocClose(doc);
  return error;
}

}  // namespace testing_support
