// Builds small PDFs of shape annotations without appearances, and reads
// back what a command wrote, through the host in process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_functions.h"

namespace testing_support {

namespace direct = kshost::direct;

// The content the old appearances of WriteShapePdf hold.
inline const char* OldAppearance() { return "% old appearance\n"; }

// The decoded data of `stream`, or "<none>" when there is none.
inline std::string StreamText(KPD_Object stream) {
  KS_ByteString out = direct::ByteStringNew(nullptr, 0);
  std::string text = "<none>";
  if (stream && direct::StreamGetData(stream, 1, out))
    text.assign(direct::ByteStringData(out), direct::ByteStringLength(out));
  direct::ByteStringDestroy(out);
  return text;
}

// One page of box `box` per entry of `pages`, each holding the annotation
// dictionaries given as PDF text, saved to `path`. `pageKeys`, a PDF
// dictionary as text, adds its entries to every page. An annotation written
// with "/AP << >>" gets a normal appearance stream holding OldAppearance();
// one written with "/IRT N" answers annotation N of its page. Empty string
// on success, else the error.
inline std::string WritePagesPdf(const std::string& path, KS_FloatRect box,
                                 const std::vector<std::vector<std::string>>& pages,
                                 const std::string& pageKeys = "") {
  KPD_Document doc = direct::DocNew();
  std::string error;
  KPD_Object keys = pageKeys.empty() ? nullptr : direct::ObjectParse(pageKeys.data(), pageKeys.size());
  if (!pageKeys.empty() && !keys) error = "cannot parse " + pageKeys;
  for (const std::vector<std::string>& annots : pages) {
    KPD_Page page = direct::DocAddPage(doc, &box);
    KS_ByteString key = direct::ByteStringNew(nullptr, 0);
    for (int32_t i = 0; keys && i < direct::DictKeyCount(keys); ++i) {
      direct::DictKeyAt(keys, i, key);
      const std::string name(direct::ByteStringData(key), direct::ByteStringLength(key));
      direct::DictSet(page, name.c_str(), direct::DictGet(keys, name.c_str()));
    }
    direct::ByteStringDestroy(key);
    std::vector<KPD_Dictionary> made;
    for (const std::string& text : annots) {
      KPD_Object dict = direct::ObjectParse(text.data(), text.size());
      KPD_Dictionary annot = dict ? direct::PageInsertAnnot(page, -1, dict) : nullptr;
      if (!annot) error = "cannot add " + text;
      direct::ObjectRelease(dict);
      made.push_back(annot);
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
    for (KPD_Dictionary annot : made) {
      KPD_Object irt = annot ? direct::DictGet(annot, "/IRT") : nullptr;
      const int64_t target = irt && direct::ObjectIsInteger(irt) ? direct::ObjectGetInteger(irt) : -1;
      if (target >= 0 && target < static_cast<int64_t>(made.size()))
        direct::DictSet(annot, "/IRT", reinterpret_cast<KPD_Object>(made[target]));
    }
  }
  direct::ObjectRelease(keys);
  KS_ByteString err = direct::ByteStringNew(nullptr, 0);
  if (error.empty() && !direct::DocSave(doc, path.c_str(), err))
    error = std::string(direct::ByteStringData(err), direct::ByteStringLength(err));
  direct::ByteStringDestroy(err);
  direct::DocClose(doc);
  return error;
}

// One page of `width` by `height` holding the annotation dictionaries given
// as PDF text, as WritePagesPdf writes them.
inline std::string WriteShapePdf(const std::string& path, float width, float height,
                                 const std::vector<std::string>& annots) {
  return WritePagesPdf(path, {0, 0, width, height}, {annots});
}

// What a saved file holds, read back through the host.
class SavedPdf {
 public:
  explicit SavedPdf(const std::string& path) : doc_(direct::DocOpenFile(path.c_str(), nullptr)) {}
  ~SavedPdf() { direct::DocClose(doc_); }
  SavedPdf(const SavedPdf&) = delete;
  SavedPdf& operator=(const SavedPdf&) = delete;

  bool ok() const { return doc_ != nullptr; }
  KPD_Dictionary Annot(int index, int page = 0) const {
    return doc_ ? direct::PageGetAnnot(direct::DocGetPage(doc_, page), index) : nullptr;
  }
  // The annotations of every page; -1 when the file does not open.
  int AnnotCount() const {
    if (!doc_) return -1;
    int n = 0;
    for (int p = 0; p < direct::DocPageCount(doc_); ++p) n += direct::PageAnnotCount(direct::DocGetPage(doc_, p));
    return n;
  }
  int ObjectCount() const {
    return static_cast<int>(direct::ObjectGetInteger(direct::DictGet(direct::DocGetTrailer(doc_), "/Size")));
  }
  // The decoded normal appearance of annotation `index` of page 1, or "<none>".
  std::string Appearance(int index) const {
    KPD_Object ap = Annot(index) ? direct::DictGet(Annot(index), "/AP") : nullptr;
    return StreamText(ap ? direct::DictGet(ap, "/N") : nullptr);
  }
  // The numbers of the array `key` of annotation `index` of page 1.
  std::vector<float> Numbers(int index, const char* key) const {
    KPD_Object array = Annot(index) ? direct::DictGet(Annot(index), key) : nullptr;
    const int32_t n = array ? direct::ArrayCount(array) : 0;
    std::vector<float> v(n);
    if (n) direct::ArrayGetNumbers(array, v.data(), n);
    return v;
  }

 private:
  KPD_Document doc_;
};

}  // namespace testing_support
