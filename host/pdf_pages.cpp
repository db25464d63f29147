// Pages (selector 53) and DocAddPage: inherited attributes, page boxes,
// rotation, annotations and content.
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/pdf_geometry.h"

using kshost::pdf::Document;
using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::MayChange;

// Page trees in real files are shallow; the bound only stops a /Parent loop
// that the seen-set cannot catch (direct dictionaries).
constexpr int kMaxTreeDepth = 64;

QPDFObjectHandle kshost::pdf::Inherited(QPDFObjectHandle node, std::string const& key) {
  std::set<QPDFObjGen> seen;
  for (int depth = 0; depth < kMaxTreeDepth && node.isDictionary(); ++depth) {
    if (node.hasKey(key)) return node.getKey(key);
    if (node.isIndirect() && !seen.insert(node.getObjGen()).second) break;
    node = node.getKey("/Parent");
  }
  return QPDFObjectHandle();
}

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

// What a /Kids entry is. Only indirect dictionaries are nodes or pages:
// one page object has one place in the tree. A dictionary typed as neither
// (an annotation, a font) is not a page; one without /Type is a node when it
// has /Kids and a page otherwise, as careless writers leave /Type out.
enum class Kind { kOther, kNode, kPage };

Kind KindOf(QPDFObjectHandle item) {
  if (!item.isIndirect() || !item.isDictionary()) return Kind::kOther;
  QPDFObjectHandle type = item.getKey("/Type");
  bool hasKids = item.getKey("/Kids").isArray();
  if (type.isName()) {
    std::string name = type.getName();
    if (name == "/Page") return Kind::kPage;
    if (name == "/Pages") return Kind::kNode;
    return Kind::kOther;
  }
  return hasKids ? Kind::kNode : Kind::kPage;
}

}  // namespace

namespace kshost::pdf {

// Depth first with an explicit stack, so a deep tree cannot exhaust the
// call stack. Every indirect object is visited at most once: a /Kids entry
// that points back up the tree, or at a node or page seen before, is
// skipped. Entries that are not indirect dictionaries (numbers, nulls,
// direct dictionaries) cost one type test each.
std::vector<QPDFObjectHandle> const& Document::Pages() {
  if (pagesLoaded_) return pages_;
  pagesLoaded_ = true;
  pages_.clear();
  pageIndex_.clear();
  QPDFObjectHandle root = qpdf_->getRoot().getKey("/Pages");
  if (!root.isDictionary()) return pages_;
  std::set<QPDFObjGen> seen;
  std::vector<std::pair<QPDFObjectHandle, int>> stack;
  // A /Kids array that is an indirect object could be shared by many
  // nodes; it is walked for the first only.
  auto enter = [&](QPDFObjectHandle node) {
    if (node.isIndirect()) seen.insert(node.getObjGen());
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (kids.isArray() && (!kids.isIndirect() || seen.insert(kids.getObjGen()).second)) stack.emplace_back(kids, 0);
  };
  enter(root);
  size_t skipped = 0;
  while (!stack.empty()) {
    auto& [kids, next] = stack.back();
    if (next >= kids.getArrayNItems()) {
      stack.pop_back();
      continue;
    }
    QPDFObjectHandle item = kids.getArrayItem(next++);
    Kind kind = KindOf(item);
    if (kind == Kind::kOther || seen.count(item.getObjGen()) != 0) {
      ++skipped;
    } else if (kind == Kind::kPage) {
      seen.insert(item.getObjGen());
      pageIndex_[item.getObjGen()] = static_cast<int>(pages_.size());
      pages_.push_back(item);
    } else {
      enter(item);
    }
  }
  if (skipped > 0) {
    Warnings();  // qpdf's warnings so far come first
    warnings_.push_back("page tree: skipped " + std::to_string(skipped) +
                        (skipped == 1 ? " entry that is not a page" : " entries that are not pages"));
  }
  return pages_;
}

namespace {

// A /Count that a tree of this file could hold.
int CountOf(QPDFObjectHandle node, size_t objects) {
  QPDFObjectHandle count = node.getKey("/Count");
  if (!count.isInteger()) return -1;
  long long n = count.getIntValue();
  return n >= 0 && static_cast<unsigned long long>(n) <= objects ? static_cast<int>(n) : -1;
}

constexpr int kMaxTreeDepth = 64;

}  // namespace

// qpdf hands out a copy of its cross-reference table, which for a large
// file costs more than finding a page; the file's table stays as it was
// read, so it is counted once.
size_t Document::FileObjectCount() {
  if (fileObjects_ < 0) fileObjects_ = static_cast<int64_t>(qpdf_->getXRefTable().size());
  return static_cast<size_t>(fileObjects_);
}

// The root's /Count, when its kids agree with it: as many distinct indirect
// kids as pages (a flat tree; each kid is checked when it is asked for), or
// kids whose own counts (one for a page) add up to it.
int Document::PageCount() {
  if (pagesLoaded_) return static_cast<int>(pages_.size());
  if (claimedPages_ == -1) {
    claimedPages_ = -2;
    const size_t objects = FileObjectCount();
    QPDFObjectHandle root = qpdf_->getRoot().getKey("/Pages");
    QPDFObjectHandle kids = root.isDictionary() ? root.getKey("/Kids") : QPDFObjectHandle();
    const int claimed = root.isIndirect() ? CountOf(root, objects) : -1;
    if (claimed >= 0 && kids.isArray()) {
      std::set<QPDFObjGen> seen{root.getObjGen()};
      bool distinct = true;
      for (auto const& kid : kids.aitems()) distinct = distinct && kid.isIndirect() && seen.insert(kid.getObjGen()).second;
      const int n = kids.getArrayNItems();
      if (distinct && n == claimed) {
        claimedPages_ = claimed;
      } else if (distinct) {
        long long sum = 0;
        for (auto const& kid : kids.aitems()) {
          Kind kind = KindOf(kid);
          int count = kind == Kind::kPage ? 1 : kind == Kind::kNode ? CountOf(kid, objects) : -1;
          if (count < 0) {
            sum = -1;
            break;
          }
          sum += count;
        }
        if (sum == claimed) claimedPages_ = claimed;
      }
    }
  }
  return claimedPages_ >= 0 ? claimedPages_ : static_cast<int>(Pages().size());
}

QPDFObjectHandle Document::PageAt(int index) {
  if (index < 0) return QPDFObjectHandle();
  if (!pagesLoaded_ && index < PageCount() && !pagesLoaded_) {
    const size_t objects = FileObjectCount();
    QPDFObjectHandle node = qpdf_->getRoot().getKey("/Pages");
    std::set<QPDFObjGen> path{node.getObjGen()};
    int remaining = index;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
      QPDFObjectHandle kids = node.getKey("/Kids");
      if (!kids.isArray()) break;
      const int n = kids.getArrayNItems();
      QPDFObjectHandle next;
      if (n == CountOf(node, objects)) {
        // As many kids as pages: each kid is a page.
        if (remaining >= n) break;
        QPDFObjectHandle kid = kids.getArrayItem(remaining);
        if (KindOf(kid) != Kind::kPage) break;
        pageIndex_.emplace(kid.getObjGen(), index);
        return kid;
      }
      for (int k = 0; k < n && !next.isInitialized(); ++k) {
        QPDFObjectHandle kid = kids.getArrayItem(k);
        Kind kind = KindOf(kid);
        if (kind == Kind::kPage) {
          if (remaining == 0) {
            pageIndex_.emplace(kid.getObjGen(), index);
            return kid;
          }
          --remaining;
        } else if (kind == Kind::kNode) {
          int count = CountOf(kid, objects);
          if (count < 0) break;
          if (remaining < count) {
            next = kid;
          } else {
            remaining -= count;
          }
        } else {
          break;
        }
      }
      if (!next.isInitialized() || !path.insert(next.getObjGen()).second) break;
      node = next;
    }
  }
  // The counts did not lead to a page: the walk decides.
  auto const& pages = Pages();
  return static_cast<size_t>(index) < pages.size() ? pages[static_cast<size_t>(index)] : QPDFObjectHandle();
}

int Document::PageIndex(QPDFObjectHandle const& page) {
  if (!page.isIndirect() || page.getOwningQPDF() != qpdf_.get()) return -1;
  // A page found through the counts knows its index; others need the walk.
  if (!pagesLoaded_) {
    auto found = pageIndex_.find(page.getObjGen());
    if (found != pageIndex_.end()) return found->second;
  }
  Pages();
  auto found = pageIndex_.find(page.getObjGen());
  return found == pageIndex_.end() ? -1 : found->second;
}

// The page goes at the end of the root node's /Kids; /Count is corrected
// only on the root, which is the only node whose page count changes.
void Document::AppendPage(QPDFObjectHandle page) {
  Pages();
  QPDFObjectHandle root = qpdf_->getRoot().getKey("/Pages");
  if (!root.isDictionary()) {
    root = qpdf_->makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
    qpdf_->getRoot().replaceKey("/Pages", root);
  }
  QPDFObjectHandle kids = root.getKey("/Kids");
  if (!kids.isArray()) {
    kids = QPDFObjectHandle::newArray();
    root.replaceKey("/Kids", kids);
  }
  kids.appendItem(page);
  page.replaceKey("/Parent", root);
  MarkChanged(qpdf_->getRoot());
  MarkChanged(root);
  MarkChanged(kids);
  MarkChanged(page);
  pageIndex_[page.getObjGen()] = static_cast<int>(pages_.size());
  pages_.push_back(page);
  root.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pages_.size())));
}

}  // namespace kshost::pdf

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
    document->AppendPage(page);
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
