// Any PDF object (selector 61), booleans (62), names (65) and references
// (72).
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "host/host_functions.h"
#include "host/pdf_handles.h"
#include "host/pdf_names.h"

using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::NewOwned;
using kshost::pdf::ObjectOf;

namespace {

// Nesting beyond this is refused by clone and compare rather than risking
// the stack; qpdf's own parser stops at a smaller depth.
constexpr int kMaxDepth = 512;

// Numbers written by NumberNew keep this many significant digits.
constexpr int kDoubleDigits = 12;

// A copy of `object` in which every direct part is new and every indirect
// reference below the top still points at the same indirect object. The top
// is copied even when indirect, so cloning an indirect dictionary gives a
// direct one. Streams cannot be direct: their copy is a new indirect stream
// of the same document.
QPDFObjectHandle DeepCopy(QPDFObjectHandle object, bool top, int depth) {
  if (depth > kMaxDepth) throw std::runtime_error("object nested too deeply");
  if (!top && object.isIndirect()) return object;
  if (object.isStream()) {
    QPDFObjectHandle copy = object.copyStream();
    copy.replaceDict(DeepCopy(object.getDict(), true, depth + 1));
    return copy;
  }
  if (object.isArray()) {
    QPDFObjectHandle copy = QPDFObjectHandle::newArray();
    for (auto const& item : object.getArrayAsVector()) copy.appendItem(DeepCopy(item, false, depth + 1));
    return copy;
  }
  if (object.isDictionary()) {
    QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
    for (auto const& [key, value] : object.getDictAsMap())
      if (!value.isDirectNull()) copy.replaceKey(key, DeepCopy(value, false, depth + 1));
    return copy;
  }
  return object.shallowCopy();
}

using Assumed = std::set<std::pair<QPDFObjGen, QPDFObjGen>>;

// Structural equality. Page trees and the like are cyclic through indirect
// references, so a pair of indirect objects already being compared is
// assumed equal; any real difference still shows up elsewhere in the walk.
bool Equal(QPDFObjectHandle a, QPDFObjectHandle b, Assumed& assumed, int depth) {
  if (kshost::pdf::SameObject(a, b)) return true;
  if (depth > kMaxDepth) return false;
  if (a.isIndirect() && b.isIndirect() && !assumed.insert({a.getObjGen(), b.getObjGen()}).second) return true;
  if (a.isNumber() && b.isNumber()) {
    if (a.isInteger() && b.isInteger()) return a.getIntValue() == b.getIntValue();
    return kshost::pdf::NumericValue(a) == kshost::pdf::NumericValue(b);
  }
  if (a.getTypeCode() != b.getTypeCode()) return false;
  switch (a.getTypeCode()) {
    case ::ot_null:
      return true;
    case ::ot_boolean:
      return a.getBoolValue() == b.getBoolValue();
    case ::ot_string:
      return a.getStringValue() == b.getStringValue();
    case ::ot_name:
      return a.getName() == b.getName();
    case ::ot_array: {
      int count = a.getArrayNItems();
      if (count != b.getArrayNItems()) return false;
      for (int i = 0; i < count; ++i)
        if (!Equal(a.getArrayItem(i), b.getArrayItem(i), assumed, depth + 1)) return false;
      return true;
    }
    case ::ot_dictionary: {
      auto keys = a.getKeys();
      if (keys != b.getKeys()) return false;
      for (auto const& key : keys)
        if (!Equal(a.getKey(key), b.getKey(key), assumed, depth + 1)) return false;
      return true;
    }
    case ::ot_stream: {
      if (!Equal(a.getDict(), b.getDict(), assumed, depth + 1)) return false;
      auto da = a.getRawStreamData(), db = b.getRawStreamData();
      return da->getSize() == db->getSize() &&
             std::equal(da->getBuffer(), da->getBuffer() + da->getSize(), db->getBuffer());
    }
    default:
      return false;
  }
}

}  // namespace

// ---- 61: any object -----------------------------------------------------------

int32_t kshost::direct::ObjectGetType(KPD_Object obj) {
  return Guard<int32_t>(KPD_OBJ_INVALID, [&]() -> int32_t {
    if (!obj) return KPD_OBJ_INVALID;
    switch (FromKpd(obj)->object.getTypeCode()) {
      case ::ot_boolean:
        return KPD_OBJ_BOOLEAN;
      case ::ot_integer:
      case ::ot_real:
        return KPD_OBJ_NUMBER;
      case ::ot_string:
        return KPD_OBJ_STRING;
      case ::ot_name:
        return KPD_OBJ_NAME;
      case ::ot_array:
        return KPD_OBJ_ARRAY;
      case ::ot_dictionary:
        return KPD_OBJ_DICTIONARY;
      case ::ot_stream:
        return KPD_OBJ_STREAM;
      case ::ot_null:
        return KPD_OBJ_NULL;
      default:
        return KPD_OBJ_INVALID;
    }
  });
}

// Only handles the plug-in owns are freed; borrowed ones belong to an arena.
void kshost::direct::ObjectRelease(KPD_Object obj) {
  if (obj && !FromKpd(obj)->lender) delete FromKpd(obj);
}

int32_t kshost::direct::ObjectIsIdentical(KPD_Object a, KPD_Object b) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    return a && b && kshost::pdf::SameObject(FromKpd(a)->object, FromKpd(b)->object) ? 1 : 0;
  });
}

KPD_Object kshost::direct::ObjectClone(KPD_Object obj) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    return obj ? NewOwned(DeepCopy(FromKpd(obj)->object, true, 0)) : nullptr;
  });
}

// Parsing has no document, so "N G R" references are errors. qpdf throws on
// malformed text when it has no document to report warnings to.
KPD_Object kshost::direct::ObjectParse(const char* text, size_t length) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    if (!text) return nullptr;
    return NewOwned(QPDFObjectHandle::parse(std::string(text, length), "parsed object"));
  });
}

// Writes the object's value; an indirect object is written as its contents,
// not as "N G R", while the references inside it stay references. A stream is
// written as its dictionary.
int32_t kshost::direct::ObjectWrite(KPD_Object obj, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(obj);
    if (!object || !out) return 0;
    std::string text = object->isStream() ? kshost::pdf::WithHashEscaped(object->getDict()).unparse()
                                          : kshost::pdf::WithHashEscaped(*object).unparseResolved();
    return kshost::pdf::SetBytes(out, text) ? 1 : 0;
  });
}

double kshost::direct::ObjectGetNumber(KPD_Object obj) {
  return Guard<double>(0, [&]() -> double {
    QPDFObjectHandle* object = ObjectOf(obj);
    return object && object->isNumber() ? kshost::pdf::NumericValue(*object) : 0;
  });
}

// Reals are rounded to the nearest integer and clamped to the int64 range.
int64_t kshost::direct::ObjectGetInteger(KPD_Object obj) {
  return Guard<int64_t>(0, [&]() -> int64_t {
    QPDFObjectHandle* object = ObjectOf(obj);
    if (!object || !object->isNumber()) return 0;
    if (object->isInteger()) return object->getIntValue();
    double value = std::round(kshost::pdf::NumericValue(*object));
    if (std::isnan(value)) return 0;
    if (value >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (value <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
  });
}

int32_t kshost::direct::ObjectIsInteger(KPD_Object obj) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(obj);
    return object && object->isInteger() ? 1 : 0;
  });
}

// Integral values become integer objects, which fit wherever a PDF expects a
// number; see NumberObject.
KPD_Object kshost::direct::NumberNew(double value) {
  return Guard<KPD_Object>(nullptr, [&] { return NewOwned(kshost::pdf::NumberObject(value, kDoubleDigits)); });
}

KPD_Object kshost::direct::IntegerNew(int64_t value) {
  return Guard<KPD_Object>(nullptr, [&] { return NewOwned(QPDFObjectHandle::newInteger(value)); });
}

KPD_Object kshost::direct::StringNew(const char* bytes, size_t length) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    if (!bytes && length > 0) return nullptr;
    return NewOwned(QPDFObjectHandle::newString(std::string(bytes ? bytes : "", length)));
  });
}

int32_t kshost::direct::StringGetBytes(KPD_Object str, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(str);
    return object && object->isString() && kshost::pdf::SetBytes(out, object->getStringValue()) ? 1 : 0;
  });
}

KPD_Object kshost::direct::NullNew(void) {
  return Guard<KPD_Object>(nullptr, [] { return NewOwned(QPDFObjectHandle::newNull()); });
}

int32_t kshost::direct::ObjectIsEqual(KPD_Object a, KPD_Object b) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!a || !b) return 0;
    Assumed assumed;
    return Equal(FromKpd(a)->object, FromKpd(b)->object, assumed, 0) ? 1 : 0;
  });
}

// ---- 62: booleans ---------------------------------------------------------

KPD_Object kshost::direct::BooleanNew(int32_t value) {
  return Guard<KPD_Object>(nullptr, [&] { return NewOwned(QPDFObjectHandle::newBool(value != 0)); });
}

int32_t kshost::direct::BooleanGet(KPD_Object obj) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(obj);
    return object && object->isBool() && object->getBoolValue() ? 1 : 0;
  });
}

// ---- 65: names --------------------------------------------------------------

KPD_Object kshost::direct::NameNew(const char* name) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    return kshost::pdf::IsNameText(name) ? NewOwned(QPDFObjectHandle::newName(name)) : nullptr;
  });
}

int32_t kshost::direct::NameGet(KPD_Object obj, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(obj);
    return object && object->isName() && kshost::pdf::SetBytes(out, object->getName()) ? 1 : 0;
  });
}

int32_t kshost::direct::NameIs(KPD_Object obj, const char* name) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(obj);
    return object && kshost::pdf::IsNameText(name) && object->isName() && object->getName() == name ? 1 : 0;
  });
}

// ---- 72: references ---------------------------------------------------------

int32_t kshost::direct::ObjectIsIndirect(KPD_Object obj) {
  return Guard<int32_t>(0, [&]() -> int32_t { return obj && FromKpd(obj)->object.isIndirect() ? 1 : 0; });
}

int32_t kshost::direct::ObjectGetObjNum(KPD_Object obj) {
  return Guard<int32_t>(0, [&]() -> int32_t { return obj ? FromKpd(obj)->object.getObjectID() : 0; });
}

int32_t kshost::direct::ObjectGetGenNum(KPD_Object obj) {
  return Guard<int32_t>(0, [&]() -> int32_t { return obj ? FromKpd(obj)->object.getGeneration() : 0; });
}
