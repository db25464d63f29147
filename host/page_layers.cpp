#include "host/page_layers.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string_view>
#include <vector>

#include "host/guard.h"
#include "host/pdf_document.h"
#include "host/pdf_update.h"

namespace kshost {

namespace {

using pdf::Document;

// A walk through a page's objects stops at these: past them lies the whole
// document.
bool LeadsOutOfPage(QPDFObjectHandle object, QPDF& qpdf) {
  if (!object.isDictionary()) return false;
  if (object.isIndirect() && object.getObjGen() == qpdf.getRoot().getObjGen()) return true;
  QPDFObjectHandle type = object.getKey("/Type");
  return type.isName() && (type.getName() == "/Page" || type.getName() == "/Pages" || type.getName() == "/Catalog");
}

// Objects the direct parts of `object` name; an indirect `object` itself
// when it is not the one being read.
void ReferencesOf(QPDFObjectHandle object, std::vector<QPDFObjGen>& out) {
  if (!object.isInitialized()) return;
  if (object.isIndirect()) {
    out.push_back(object.getObjGen());
    return;
  }
  pdf::CollectReferences(object, out);
}

bool NormalBlend(QPDFObjectHandle mode) {
  auto normal = [](QPDFObjectHandle name) {
    return name.isName() && (name.getName() == "/Normal" || name.getName() == "/Compatible");
  };
  if (!mode.isArray()) return normal(mode);
  for (QPDFObjectHandle item : mode.aitems())
    if (!normal(item)) return false;
  return true;
}

// True when a blend mode other than Normal is set in the direct parts of
// `object` (an ExtGState's /BM, an annotation's own).
bool BlendsInside(QPDFObjectHandle object, int depth = 0) {
  if (depth > 64 || (depth > 0 && object.isIndirect())) return false;
  if (object.isStream()) return BlendsInside(object.getDict(), depth + 1);
  if (object.isArray()) {
    for (QPDFObjectHandle item : object.aitems())
      if (BlendsInside(item, depth + 1)) return true;
    return false;
  }
  if (!object.isDictionary()) return false;
  for (auto const& [key, item] : object.ditems()) {
    if (key == "/BM" && !NormalBlend(item)) return true;
    if (BlendsInside(item, depth + 1)) return true;
  }
  return false;
}

// The entries of a page that say what it draws besides its annotations.
constexpr const char* kInheritedDrawing[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};
constexpr const char* kOwnDrawing[] = {"/Contents", "/Group", "/UserUnit"};

// A page as a walk through it meets at most this many objects; beyond it
// the page counts as changed at every change.
constexpr size_t kMostPageObjects = 200000;

std::string Offset(size_t at) {
  char text[24];
  std::snprintf(text, sizeof text, "%010zu", at);
  return text;
}

// A PDF of `page` alone: the objects `pending` reaches, short of the rest
// of the document, keeping their numbers; then the page with its boxes,
// rotation and unit and `entries` (more of its dictionary, as PDF text),
// under a page tree and a catalog of its own holding `catalogEntries`.
// `refuse` may name a reason an object reached cannot go in, which fails
// the writing.
bool WriteOnePage(QPDF& qpdf, QPDFObjectHandle page, std::vector<QPDFObjGen> pending, const std::string& entriesText,
                  const std::function<const char*(QPDFObjectHandle)>& refuse, std::string& out, std::string& reason,
                  const std::string& catalogEntries = "") {
  const QPDFObjGen pageId = page.getObjGen();
  std::vector<QPDFObjGen> order;
  std::set<QPDFObjGen> seen;
  int highest = pageId.getObj();
  while (!pending.empty()) {
    const QPDFObjGen og = pending.back();
    pending.pop_back();
    highest = std::max(highest, og.getObj());
    if (og == pageId || !seen.insert(og).second) continue;
    QPDFObjectHandle object = qpdf.getObject(og);
    if (object.isNull() || LeadsOutOfPage(object, qpdf)) continue;
    if (const char* why = refuse(object); why && *why) {
      reason = why;
      return false;
    }
    order.push_back(og);
    pdf::CollectReferences(object, pending);
  }
  std::sort(order.begin(), order.end());

  out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::pair<int, std::pair<int, size_t>>> entries;  // number, generation, offset
  std::string text;
  for (QPDFObjGen og : order) {
    if (!pdf::ObjectText(qpdf.getObject(og), false, text, reason)) return false;
    entries.push_back({og.getObj(), {og.getGen(), out.size()}});
    out += text;
  }
  // The page tree and catalog take numbers above every one named so far,
  // so that no reference left dangling finds them.
  const int pagesId = highest + 1, catalogId = highest + 2;
  std::string pageText = "<< /Type /Page /Parent " + std::to_string(pagesId) + " 0 R";
  for (const char* key : {"/MediaBox", "/CropBox", "/Rotate"}) {
    QPDFObjectHandle value = pdf::Inherited(page, key);
    if (value.isInitialized() && !value.isNull()) pageText += std::string(" ") + key + " " + value.unparseResolved();
  }
  if (page.hasKey("/UserUnit")) pageText += " /UserUnit " + page.getKey("/UserUnit").unparseResolved();
  pageText += entriesText + " >>";
  auto add = [&](int number, int generation, std::string const& body) {
    entries.push_back({number, {generation, out.size()}});
    out += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
  };
  add(pageId.getObj(), pageId.getGen(), pageText);
  add(pagesId, 0, "<< /Type /Pages /Kids [" + pageId.unparse(' ') + " R] /Count 1 >>");
  add(catalogId, 0, "<< /Type /Catalog /Pages " + std::to_string(pagesId) + " 0 R" + catalogEntries + " >>");
  std::sort(entries.begin(), entries.end());

  // One subsection for each run of consecutive numbers.
  const size_t xref = out.size();
  out += "xref\n0 1\n0000000000 65535 f \n";
  for (size_t i = 0; i < entries.size();) {
    size_t j = i + 1;
    while (j < entries.size() && entries[j].first == entries[j - 1].first + 1) ++j;
    out += std::to_string(entries[i].first) + " " + std::to_string(j - i) + "\n";
    for (; i < j; ++i) {
      char generation[8];
      std::snprintf(generation, sizeof generation, "%05d", entries[i].second.first);
      out += Offset(entries[i].second.second) + " " + generation + " n \n";
    }
  }
  out += "trailer\n<< /Size " + std::to_string(catalogId + 1) + " /Root " + std::to_string(catalogId) +
         " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return true;
}

// Writes a one-page PDF of page `pageIndex` of `kdoc` through `write`
// (given the document, the page and where the bytes and the reason for a
// refusal go); `unreadable` is the reason when `write` gives none.
template <class Write>
bool OnePageOf(KPD_Document kdoc, int pageIndex, std::string* bytes, std::string* why, const char* unreadable,
               Write write) {
  std::string reason;
  std::string out;
  const bool ok = Guard<bool>(false, [&] {
    if (!kdoc) {
      reason = "no document is open";
      return false;
    }
    Document* doc = Document::FromKpd(kdoc);
    QPDFObjectHandle page = doc->pages().At(pageIndex);
    if (!page.isDictionary() || !page.isIndirect()) {
      reason = "the document has no page " + std::to_string(pageIndex + 1);
      return false;
    }
    return write(doc->qpdf(), page, out, reason);
  });
  if (!ok) {
    if (why) *why = reason.empty() ? unreadable : reason;
    return false;
  }
  *bytes = std::move(out);
  return true;
}

}  // namespace

bool AnnotationLayerOf(KPD_Document kdoc, int pageIndex, std::string* bytes, std::string* why) {
  auto write = [](QPDF& qpdf, QPDFObjectHandle page, std::string& out, std::string& reason) {
    std::vector<QPDFObjGen> pending;
    std::string annotsText = "[";
    QPDFObjectHandle annots = page.getKey("/Annots");
    if (annots.isArray()) {
      for (QPDFObjectHandle annot : annots.aitems()) {
        if (!annot.isDictionary()) continue;  // drawn as nothing either way
        if (!annot.isIndirect()) {
          reason = "an annotation of the page is not an object of its own";
          return false;
        }
        QPDFObjectHandle subtype = annot.getKey("/Subtype");
        if (subtype.isName() && subtype.getName() == "/Widget") {
          reason = "the page has form fields";
          return false;
        }
        if (annot.hasKey("/OC")) {
          reason = "an annotation of the page is in optional content";
          return false;
        }
        pending.push_back(annot.getObjGen());
        annotsText += annot.getObjGen().unparse(' ') + " R ";
      }
    }
    annotsText += "]";

    // Everything the annotations reach, short of the rest of the document.
    return WriteOnePage(qpdf, page, std::move(pending), " /Resources << >> /Annots " + annotsText,
                        [](QPDFObjectHandle object) {
                          return BlendsInside(object) ? "an annotation of the page blends with what lies under it"
                                                      : "";
                        },
                        out, reason);
  };
  return OnePageOf(kdoc, pageIndex, bytes, why, "the page's annotations cannot be read", write);
}

bool PageDrawingOf(KPD_Document kdoc, int pageIndex, std::string* bytes, std::string* why) {
  auto write = [](QPDF& qpdf, QPDFObjectHandle page, std::string& out, std::string& reason) {
    std::vector<QPDFObjGen> pending;
    std::string entries;
    auto note = [&](const char* key, QPDFObjectHandle value) {
      if (!value.isInitialized() || value.isNull()) return;
      entries += std::string(" ") + key + " " + value.unparse();
      ReferencesOf(value, pending);
    };
    note("/Resources", pdf::Inherited(page, "/Resources"));
    for (const char* key : {"/Contents", "/Group"}) note(key, page.getKey(key));
    // Which layers are hidden: text on them is not the page's to select.
    std::string catalog;
    QPDFObjectHandle layers = qpdf.getRoot().getKey("/OCProperties");
    if (layers.isDictionary()) {
      catalog = " /OCProperties " + layers.unparse();
      ReferencesOf(layers, pending);
    }
    return WriteOnePage(qpdf, page, std::move(pending), entries, [](QPDFObjectHandle) { return ""; }, out,
                        reason, catalog);
  };
  return OnePageOf(kdoc, pageIndex, bytes, why, "the page cannot be read", write);
}

DocumentMoment MomentOf(KPD_Document kdoc) {
  if (!kdoc) return {};
  Document* doc = Document::FromKpd(kdoc);
  return {doc->Serial(), doc->ChangeCount()};
}

DocumentMoment PageLooks::LastChange(KPD_Document kdoc, int pageIndex) {
  const DocumentMoment now = MomentOf(kdoc);
  if (!kdoc) return now;
  return Guard<DocumentMoment>(now, [&] {
    Document* doc = Document::FromKpd(kdoc);
    QPDF& qpdf = doc->qpdf();
    QPDFObjectHandle page = doc->pages().At(pageIndex);
    if (!page.isDictionary()) return now;
    std::string entries = page.isIndirect() ? page.getObjGen().unparse(' ') : std::string("direct");
    std::vector<QPDFObjGen> pending;
    auto note = [&](const char* key, QPDFObjectHandle value) {
      entries += std::string(" ") + key + " ";
      entries += value.isInitialized() ? value.unparse() : std::string("-");
      ReferencesOf(value, pending);
    };
    for (const char* key : kInheritedDrawing) note(key, pdf::Inherited(page, key));
    for (const char* key : kOwnDrawing) note(key, page.hasKey(key) ? page.getKey(key) : QPDFObjectHandle());

    uint64_t changedAt = 0;
    std::set<QPDFObjGen> walked;
    while (!pending.empty()) {
      const QPDFObjGen og = pending.back();
      pending.pop_back();
      if (!walked.insert(og).second) continue;
      if (walked.size() > kMostPageObjects) return now;
      changedAt = std::max(changedAt, doc->LastChange(og));
      QPDFObjectHandle object = qpdf.getObject(og);
      if (LeadsOutOfPage(object, qpdf)) continue;
      pdf::CollectReferences(object, pending);
    }

    auto [it, first] = seen_.try_emplace({now.document, pageIndex});
    if (first) {
      // Changes to the page's own entries before now are not known apart
      // from changes to its annotations: any change to the page or the
      // nodes above it counts.
      bool touched = false;
      QPDFObjectHandle node = page;
      for (int depth = 0; depth < 64 && node.isDictionary() && node.isIndirect() && !touched; ++depth) {
        touched = doc->LastChange(node.getObjGen()) != 0;
        node = node.getKey("/Parent");
      }
      it->second = {entries, touched ? now.changes : 0};
    } else if (it->second.entries != entries) {
      it->second = {entries, now.changes};
    }
    return DocumentMoment{now.document, std::max(changedAt, it->second.changedAt)};
  });
}

}  // namespace kshost
