// Interactive forms (selector 56) and editing font maps (selector 584).
//
// Both are small objects that name a document; the PDF data they stand for
// (the catalog's /AcroForm and its default resources /DR) is read afresh on
// every call. A borrowed object belongs to its document and lives until the
// document closes; an owned one ("New") lives until released, and once its
// document has closed every call on it fails softly.
#include <cctype>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/font_service.h"
#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/pdf_handles.h"
#include "host/strings.h"

using kshost::pdf::Document;
using kshost::pdf::Guard;
using kshost::pdf::GuardVoid;

namespace {

// A document named by its QPDF and that QPDF's unique id, so that a closed
// document is noticed even when a new one takes its address.
struct DocRef {
  QPDF const* qpdf = nullptr;
  unsigned long long id = 0;

  static DocRef Of(Document* doc) { return {&doc->qpdf(), doc->qpdf().getUniqueId()}; }
  Document* Live() const {
    Document* doc = Document::Find(qpdf);
    return doc && doc->qpdf().getUniqueId() == id ? doc : nullptr;
  }
};

}  // namespace

struct KPD_InterForm__ {
  DocRef doc;
  bool owned;
};

struct KPD_FontMap__ {
  DocRef doc;
  bool owned;
};

namespace {

struct Borrowed {
  unsigned long long id = 0;
  std::unique_ptr<KPD_InterForm__> form;
  std::unique_ptr<KPD_FontMap__> fontMap;
};

std::mutex borrowed_mutex;

// The borrowed objects of every open document. Entries of closed documents
// are dropped the next time any document asks.
std::unordered_map<QPDF const*, Borrowed>& BorrowedTable() {
  static std::unordered_map<QPDF const*, Borrowed> table;
  return table;
}

Borrowed& BorrowedOf(Document* doc) {
  auto& table = BorrowedTable();
  for (auto it = table.begin(); it != table.end();) {
    if (DocRef{it->first, it->second.id}.Live()) ++it;
    else it = table.erase(it);
  }
  Borrowed& entry = table[&doc->qpdf()];
  entry.id = doc->qpdf().getUniqueId();
  return entry;
}

// The catalog's /AcroForm dictionary; with `create`, a new indirect one with
// an empty field list when there is none (or something else is there).
QPDFObjectHandle AcroForm(Document& doc, bool create) {
  QPDFObjectHandle root = doc.qpdf().getRoot();
  QPDFObjectHandle form = root.getKey("/AcroForm");
  if (form.isDictionary() || !create) return form.isDictionary() ? form : QPDFObjectHandle();
  QPDFObjectHandle fresh = QPDFObjectHandle::newDictionary();
  fresh.replaceKey("/Fields", QPDFObjectHandle::newArray());
  form = doc.qpdf().makeIndirectObject(fresh);
  root.replaceKey("/AcroForm", form);
  doc.MarkChanged(root);
  return form;
}

// The dictionary under `key` of `parent`, made (direct) when missing.
QPDFObjectHandle SubDictionary(QPDFObjectHandle parent, const char* key) {
  QPDFObjectHandle dict = parent.getKey(key);
  if (!dict.isDictionary()) {
    dict = QPDFObjectHandle::newDictionary();
    parent.replaceKey(key, dict);
    dict = parent.getKey(key);
  }
  return dict;
}

// Resource names in the style form writers use: "Helv", "TiRo", "HeBo". The
// upright standard faces have their customary names; any other name gives
// the first four letters of a one-word name, or the first two letters of
// each of its first three words (split at "-", ",", blanks and where a lower
// case letter meets an upper case one).
std::string NameStem(std::string_view baseFont) {
  static constexpr std::pair<const char*, const char*> kCustomary[] = {
      {"Helvetica", "Helv"}, {"Times-Roman", "TiRo"}, {"Courier", "Cour"}, {"Symbol", "Symb"}, {"ZapfDingbats", "ZaDb"}};
  for (auto const& [font, stem] : kCustomary)
    if (baseFont == font) return stem;
  std::vector<std::string> words(1);
  char previous = 0;
  for (char c : baseFont) {
    const bool alnum = std::isalnum(static_cast<unsigned char>(c)) != 0;
    const bool startsWord = std::isupper(static_cast<unsigned char>(c)) && std::islower(static_cast<unsigned char>(previous));
    if ((!alnum || startsWord) && !words.back().empty()) words.emplace_back();
    if (alnum) words.back() += c;
    previous = c;
  }
  if (words.back().empty()) words.pop_back();
  if (words.empty()) return "F";
  if (words.size() == 1) return words[0].substr(0, 4);
  std::string stem;
  for (size_t i = 0; i < words.size() && i < 3; ++i) stem += words[i].substr(0, 2);
  return stem;
}

std::string UniqueName(QPDFObjectHandle fonts, std::string const& stem) {
  std::string name = "/" + stem;
  for (int n = 1; fonts.hasKey(name); ++n) name = "/" + stem + std::to_string(n);
  return name;
}

Document* DocOf(KPD_Document doc) { return Document::FromKpd(doc); }

}  // namespace

namespace kshost::direct {

KPD_InterForm DocGetInterForm(KPD_Document doc) {
  return Guard<KPD_InterForm>(nullptr, [&]() -> KPD_InterForm {
    if (!doc || !AcroForm(*DocOf(doc), false).isInitialized()) return nullptr;
    std::lock_guard lock(borrowed_mutex);
    Borrowed& entry = BorrowedOf(DocOf(doc));
    if (!entry.form) entry.form.reset(new KPD_InterForm__{DocRef::Of(DocOf(doc)), false});
    return entry.form.get();
  });
}

KPD_InterForm InterFormNew(KPD_Document doc) {
  return Guard<KPD_InterForm>(nullptr, [&]() -> KPD_InterForm {
    return doc ? new KPD_InterForm__{DocRef::Of(DocOf(doc)), true} : nullptr;
  });
}

void InterFormRelease(KPD_InterForm form) {
  if (form && form->owned) delete form;
}

KPD_Dictionary InterFormGetDict(KPD_InterForm form) {
  return Guard<KPD_Dictionary>(nullptr, [&]() -> KPD_Dictionary {
    Document* doc = form ? form->doc.Live() : nullptr;
    if (!doc) return nullptr;
    QPDFObjectHandle dict = AcroForm(*doc, true);
    pdf::Handle* root = doc->arena().Lend(doc->qpdf().getRoot());
    return root ? pdf::LendChild(*root, dict) : nullptr;
  });
}

KPD_FontMap DocGetFontMap(KPD_Document doc) {
  return Guard<KPD_FontMap>(nullptr, [&]() -> KPD_FontMap {
    if (!doc) return nullptr;
    std::lock_guard lock(borrowed_mutex);
    Borrowed& entry = BorrowedOf(DocOf(doc));
    if (!entry.fontMap) entry.fontMap.reset(new KPD_FontMap__{DocRef::Of(DocOf(doc)), false});
    return entry.fontMap.get();
  });
}

KPD_FontMap FontMapNew(KPD_Document doc) {
  return Guard<KPD_FontMap>(nullptr, [&]() -> KPD_FontMap {
    return doc ? new KPD_FontMap__{DocRef::Of(DocOf(doc)), true} : nullptr;
  });
}

void FontMapRelease(KPD_FontMap map) {
  if (map && map->owned) delete map;
}

// The name (with its slash) under which the form's default resources hold
// `baseFont`: an existing font whose /BaseFont is that name or its standard
// stand-in, else a new standard font added under a new name.
int32_t FontMapGetResourceName(KPD_FontMap map, const char* baseFont, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    Document* doc = map ? map->doc.Live() : nullptr;
    if (!doc || !baseFont || !out) return 0;
    std::string_view wanted(baseFont);
    if (!wanted.empty() && wanted.front() == '/') wanted.remove_prefix(1);
    if (wanted.empty()) return 0;
    const std::string standIn = "/" + FontService::Resolve(wanted);
    const std::string exact = "/" + std::string(wanted);

    QPDFObjectHandle form = AcroForm(*doc, true);
    QPDFObjectHandle resources = SubDictionary(form, "/DR");
    QPDFObjectHandle fonts = SubDictionary(resources, "/Font");
    // A resource dictionary made just now is a change to what holds it.
    for (auto const& holder : {form, resources, fonts}) doc->MarkChanged(holder);
    for (auto const& key : fonts.getKeys()) {  // sorted, so the answer is stable
      QPDFObjectHandle font = fonts.getKey(key);
      QPDFObjectHandle base = font.isDictionary() ? font.getKey("/BaseFont") : QPDFObjectHandle();
      if (base.isInitialized() && base.isName() && (base.getName() == exact || base.getName() == standIn)) return SetText(out, key) ? 1 : 0;
    }
    const std::string name = UniqueName(fonts, NameStem(wanted));
    KPD_Dictionary fontsHandle = pdf::ToKpd(doc->arena().Lend(fonts));
    if (!FontAddToResources(AppGetFontService(), doc->ToKpd(), fontsHandle, name.c_str(), std::string(wanted).c_str()))
      return 0;
    return SetText(out, name) ? 1 : 0;
  });
}

}  // namespace kshost::direct
