#include "host/pdf_names.h"


namespace kshost::pdf {

namespace {

constexpr int kMaxDepth = 512;

bool HasHash(std::string const& name) { return name.find('#') != std::string::npos; }

bool NeedsEscape(QPDFObjectHandle object, int depth) {
  if (depth > kMaxDepth) return false;
  if (depth > 0 && object.isIndirect()) return false;
  if (object.isName()) return HasHash(object.getName());
  if (object.isStream()) return NeedsEscape(object.getDict(), depth + 1);
  if (object.isArray()) {
    for (auto const& item : object.aitems())
      if (NeedsEscape(item, depth + 1)) return true;
  } else if (object.isDictionary()) {
    for (auto const& [key, item] : object.ditems())
      if (HasHash(key) || NeedsEscape(item, depth + 1)) return true;
  }
  return false;
}

QPDFObjectHandle Copy(QPDFObjectHandle object, int depth) {
  if (depth > kMaxDepth || (depth > 0 && object.isIndirect())) return object;
  if (object.isName()) return HasHash(object.getName()) ? QPDFObjectHandle::newName(HashEscaped(object.getName())) : object;
  if (object.isArray()) {
    std::vector<QPDFObjectHandle> items;
    for (auto const& item : object.aitems()) items.push_back(Copy(item, depth + 1));
    return QPDFObjectHandle::newArray(items);
  }
  if (object.isDictionary() && !object.isStream()) {
    QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
    for (auto const& [key, item] : object.ditems()) copy.replaceKey(HashEscaped(key), Copy(item, depth + 1));
    return copy;
  }
  return object;
}

}  // namespace

bool QpdfLeavesHashBare() {
  static const bool bare = QPDFObjectHandle::newName("/#").unparse() == "/#";
  return bare;
}

std::string HashEscaped(std::string const& name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    if (c == '#')
      out += "#23";
    else
      out += c;
  }
  return out;
}

QPDFObjectHandle WithHashEscaped(QPDFObjectHandle object) {
  if (!QpdfLeavesHashBare() || !NeedsEscape(object, 0)) return object;
  return Copy(object, 0);
}

HashEscapedNames::HashEscapedNames(QPDF& qpdf) {
  if (!QpdfLeavesHashBare()) return;
  Visit(qpdf.getTrailer(), 0);
  // Every object of the file, read or not, and every new one: qpdf's list
  // of all objects holds only those it has read.
  for (auto const& [og, entry] : qpdf.getXRefTable()) Visit(qpdf.getObject(og), 0);
  for (QPDFObjectHandle object : qpdf.getAllObjects()) Visit(object, 0);
}

HashEscapedNames::~HashEscapedNames() {
  for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
    if (change->index >= 0) {
      change->container.setArrayItem(change->index, change->original);
    } else {
      QPDFObjectHandle value = change->container.getKey(change->key);
      change->container.removeKey(change->key);
      change->container.replaceKey(change->originalKey, change->original.isInitialized() ? change->original : value);
    }
  }
}

void HashEscapedNames::Visit(QPDFObjectHandle object, int depth) {
  if (depth > kMaxDepth) return;
  if (object.isStream()) object = object.getDict();
  if (!object.isArray() && !object.isDictionary()) return;
  // A direct container may sit in more than one place: it is escaped once.
  void const* identity = object.getObjectPtr();
  if (!seen_.insert(identity).second) return;
  if (object.isArray()) {
    const int count = object.getArrayNItems();
    for (int i = 0; i < count; ++i) {
      QPDFObjectHandle item = object.getArrayItem(i);
      if (item.isIndirect()) continue;
      if (item.isName() && HasHash(item.getName())) {
        changes_.push_back({object, std::string(), std::string(), i, item});
        object.setArrayItem(i, QPDFObjectHandle::newName(HashEscaped(item.getName())));
      } else {
        Visit(item, depth + 1);
      }
    }
    return;
  }
  for (std::string const& key : object.getKeys()) {
    QPDFObjectHandle item = object.getKey(key);
    std::string held = key;
    if (HasHash(key)) {
      held = HashEscaped(key);
      object.removeKey(key);
      object.replaceKey(held, item);
      // The value goes back under its key as it now is.
      changes_.push_back({object, held, key, -1, QPDFObjectHandle()});
    }
    if (item.isIndirect()) continue;
    if (item.isName() && HasHash(item.getName())) {
      changes_.push_back({object, held, held, -1, item});
      object.replaceKey(held, QPDFObjectHandle::newName(HashEscaped(item.getName())));
    } else {
      Visit(item, depth + 1);
    }
  }
}

}  // namespace kshost::pdf
