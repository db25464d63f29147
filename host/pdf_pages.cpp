// Pages (selector 53) and DocAddPage: page boxes, rotation, annotations and
// content. Which pages there are, and what a page inherits, is the page
// tree's.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "host/host_functions.h"
#include "host/page_tree.h"
#include "host/pdf_document.h"
#include "host/pdf_geometry.h"

using kshost::pdf::Document;
using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::MayChange;

namespace {

using kshost::pdf::Inherited;

// Used when a page has no usable MediaBox at all, as viewers do.
constexpr KS_FloatRect kLetter{0, 0, 612, 792};

// The page dictionary of a handle, or null.
QPDFObjectHandle* PageOf(KPD_Page page) {
  QPDFObjectHandle* object = kshost::pdf::ObjectOf(page);
  return object && object->isDictionary() ? object : nullptr;
}

// A page that belongs to an open document, as needed to add objects to it.
Document* DocumentOfPage(KPD_Page page) {
  QPDFObjectHandle* object = PageOf(page);
  if (!object || !object->isIndirect()) return nullptr;
  return Document::Find(object->getOwningQPDF());
}

bool InheritedRect(QPDFObjectHandle const& page, std::string const& key, KS_FloatRect& out) {
  QPDFObjectHandle value = Inherited(page, key);
  return value.isInitialized() && kshost::pdf::ReadRect(value, out);
}

// Page boxes with their defaults: MediaBox and CropBox are inherited;
// CropBox falls back to MediaBox; the other three are the page's own and fall
// back to CropBox. A box that is not four numbers counts as absent.
bool PageBox(QPDFObjectHandle const& page, std::string const& name, KS_FloatRect& out) {
  KS_FloatRect media = kLetter;
  InheritedRect(page, "/MediaBox", media);
  if (name == "/MediaBox") {
    out = media;
    return true;
  }
  KS_FloatRect crop = media;
  InheritedRect(page, "/CropBox", crop);
  if (name == "/CropBox") {
    out = crop;
    return true;
  }
  if (name != "/BleedBox" && name != "/TrimBox" && name != "/ArtBox") return false;
  QPDFObjectHandle own = page;
  if (!own.hasKey(name) || !kshost::pdf::ReadRect(own.getKey(name), out)) out = crop;
  return true;
}

QPDFObjectHandle AnnotsOf(QPDFObjectHandle page) {
  QPDFObjectHandle annots = page.getKey("/Annots");
  return annots.isArray() ? annots : QPDFObjectHandle();
}

// True when `stream` is the "q" opener PageAppendContent puts in front of
// the original content, so that content is wrapped only once.
bool IsOpener(QPDFObjectHandle stream) {
  if (!stream.isStream()) return false;
  QPDFObjectHandle dict = stream.getDict();
  if (dict.hasKey("/Filter")) return false;
  QPDFObjectHandle length = dict.getKey("/Length");
  if (!length.isInteger() || length.getIntValue() != 2) return false;
  auto data = stream.getRawStreamData();
  return data && data->getSize() == 2 && std::string(reinterpret_cast<char*>(data->getBuffer()), 2) == "q\n";
}

}  // namespace

KPD_Page kshost::direct::DocAddPage(KPD_Document doc, const KS_FloatRect* mediaBox) {
  return Guard<KPD_Page>(nullptr, [&]() -> KPD_Page {
    if (!doc || !Document::FromKpd(doc)->Writable()) return nullptr;
    KS_FloatRect box = mediaBox ? *mediaBox : kLetter;
    kshost::direct::RectNormalize(&box);
    QPDFObjectHandle array = kshost::pdf::RectArray(box);
    KS_FloatRect check;
    if (!kshost::pdf::ReadRect(array, check) || check.right <= check.left || check.top <= check.bottom) return nullptr;
    Document* document = Document::FromKpd(doc);
    QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
    page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page.replaceKey("/MediaBox", array);
    page.replaceKey("/Resources", QPDFObjectHandle::newDictionary());
    page = document->qpdf().makeIndirectObject(page);
    document->pages().Append(page);
    return kshost::pdf::ToKpd(document->arena().Lend(page));
  });
}

int32_t kshost::direct::PageGetRotation(KPD_Page page) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = PageOf(page);
    if (!object) return 0;
    QPDFObjectHandle rotate = Inherited(*object, "/Rotate");
    if (!rotate.isInitialized() || !rotate.isNumber()) return 0;
    double degrees = kshost::pdf::NumericValue(rotate);
    if (!std::isfinite(degrees) || std::fabs(degrees) > 1e9) return 0;
    // Off-grid values are rounded to the nearest quarter turn.
    long quarter = std::lround(degrees / 90.0);
    return static_cast<int32_t>(((quarter % 4) + 4) % 4 * 90);
  });
}

int32_t kshost::direct::PageSetRotation(KPD_Page page, int32_t degrees) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = PageOf(page);
    if (!object || degrees % 90 != 0 || !MayChange(*FromKpd(page))) return 0;
    object->replaceKey("/Rotate", QPDFObjectHandle::newInteger(((degrees % 360) + 360) % 360));
    kshost::pdf::NoteChange(*FromKpd(page));
    return 1;
  });
}

// The box name may be given with or without its slash.
int32_t kshost::direct::PageGetBox(KPD_Page page, const char* boxName, KS_FloatRect* out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = PageOf(page);
    if (!object || !boxName || !out) return 0;
    std::string name = boxName[0] == '/' ? boxName : "/" + std::string(boxName);
    return PageBox(*object, name, *out) ? 1 : 0;
  });
}

int32_t kshost::direct::PageAnnotCount(KPD_Page page) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = PageOf(page);
    if (!object) return 0;
    QPDFObjectHandle annots = AnnotsOf(*object);
    return annots.isInitialized() ? annots.getArrayNItems() : 0;
  });
}

KPD_Dictionary kshost::direct::PageGetAnnot(KPD_Page page, int32_t index) {
  return Guard<KPD_Dictionary>(nullptr, [&]() -> KPD_Dictionary {
    QPDFObjectHandle* object = PageOf(page);
    if (!object) return nullptr;
    QPDFObjectHandle annots = AnnotsOf(*object);
    if (!annots.isInitialized() || index < 0 || index >= annots.getArrayNItems()) return nullptr;
    QPDFObjectHandle annot = annots.getArrayItem(index);
    return annot.isDictionary() ? kshost::pdf::LendChild(*FromKpd(page), annot) : nullptr;
  });
}

// A direct annotation becomes an indirect object of the page's document; the
// plug-in's handle then refers to that same indirect object. An annotation of
// another document, or one already on the page, is refused.
KPD_Dictionary kshost::direct::PageInsertAnnot(KPD_Page page, int32_t index, KPD_Dictionary annot) {
  return Guard<KPD_Dictionary>(nullptr, [&]() -> KPD_Dictionary {
    Document* doc = DocumentOfPage(page);
    QPDFObjectHandle* given = kshost::pdf::ObjectOf(annot);
    if (!doc || !doc->Writable() || !given || !given->isDictionary()) return nullptr;
    QPDFObjectHandle pageObject = *PageOf(page);
    QPDF& qpdf = doc->qpdf();
    QPDFObjectHandle annots = AnnotsOf(pageObject);
    QPDFObjectHandle item = *given;
    if (item.isIndirect()) {
      if (item.getOwningQPDF() != &qpdf) return nullptr;
      if (annots.isInitialized())
        for (auto const& existing : annots.getArrayAsVector())
          if (kshost::pdf::SameObject(existing, item)) return nullptr;
    } else {
      if (!kshost::pdf::CanStore(item, &qpdf, QPDFObjectHandle())) return nullptr;
      item = qpdf.makeIndirectObject(item);
    }
    if (!annots.isInitialized()) {
      annots = QPDFObjectHandle::newArray();
      pageObject.replaceKey("/Annots", annots);
    }
    int count = annots.getArrayNItems();
    if (index < 0 || index > count) index = count;
    item.replaceKey("/P", pageObject);
    annots.insertItem(index, item);
    // An indirect /Annots array changes alone; a direct one changes its page.
    doc->MarkChanged(annots.isIndirect() ? annots : pageObject);
    doc->MarkChanged(item);
    return kshost::pdf::ToKpd(doc->arena().Lend(item));
  });
}

int32_t kshost::direct::PageRemoveAnnot(KPD_Page page, int32_t index) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = PageOf(page);
    if (!object || !MayChange(*FromKpd(page))) return 0;
    QPDFObjectHandle annots = AnnotsOf(*object);
    if (!annots.isInitialized() || index < 0 || index >= annots.getArrayNItems()) return 0;
    annots.eraseItem(index);
    if (Document* doc = DocumentOfPage(page)) doc->MarkChanged(annots.isIndirect() ? annots : *object);
    return 1;
  });
}

int32_t kshost::direct::PageFindAnnot(KPD_Page page, KPD_Dictionary annot) {
  return Guard<int32_t>(-1, [&]() -> int32_t {
    QPDFObjectHandle* object = PageOf(page);
    QPDFObjectHandle* wanted = kshost::pdf::ObjectOf(annot);
    if (!object || !wanted) return -1;
    QPDFObjectHandle annots = AnnotsOf(*object);
    if (!annots.isInitialized()) return -1;
    int count = annots.getArrayNItems();
    for (int i = 0; i < count; ++i)
      if (kshost::pdf::SameObject(annots.getArrayItem(i), *wanted)) return i;
    return -1;
  });
}

// The new content is drawn after the page's own. Content that leaves the
// graphics state changed (an unbalanced cm, a clip) would otherwise distort
// it, so the existing content is wrapped once in q ... Q, and each appended
// piece is itself wrapped so that pieces do not affect each other.
int32_t kshost::direct::PageAppendContent(KPD_Page page, const char* content, size_t length) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    Document* doc = DocumentOfPage(page);
    if (!doc || !doc->Writable() || (!content && length > 0)) return 0;
    QPDF& qpdf = doc->qpdf();
    QPDFObjectHandle pageObject = *PageOf(page);
    QPDFObjectHandle added = qpdf.newStream("q\n" + std::string(content ? content : "", length) + "\nQ\n");

    std::vector<QPDFObjectHandle> existing;
    QPDFObjectHandle contents = pageObject.getKey("/Contents");
    if (contents.isStream()) existing.push_back(contents);
    if (contents.isArray()) existing = contents.getArrayAsVector();
    doc->MarkChanged(pageObject);
    if (existing.empty()) {
      pageObject.replaceKey("/Contents", added);
      return 1;
    }
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    bool wrapped = IsOpener(existing.front());
    if (!wrapped) array.appendItem(qpdf.newStream("q\n"));
    for (auto const& item : existing) array.appendItem(item);
    if (!wrapped) array.appendItem(qpdf.newStream("\nQ\n"));
    array.appendItem(added);
    pageObject.replaceKey("/Contents", array);
    return 1;
  });
}
