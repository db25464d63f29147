// Arrays (selector 66), dictionaries (67) and streams (68). Indexes and keys
// are checked before qpdf sees them: qpdf answers a bad index or a wrong type
// with a warning or an exception, neither of which a table function may let
// out.
#include <qpdf/Buffer.hh>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/snap_service.h"

using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::IsNameText;
using kshost::pdf::ObjectOf;

namespace {

QPDFObjectHandle* ArrayOf(KPD_Array arr) {
  QPDFObjectHandle* object = ObjectOf(arr);
  return object && object->isArray() ? object : nullptr;
}

// The dictionary of a dictionary handle, or of a stream handle: a stream's
// keys are reached through the same calls.
QPDFObjectHandle DictOf(KPD_Dictionary dict) {
  QPDFObjectHandle* object = ObjectOf(dict);
  if (!object) return QPDFObjectHandle();
  if (object->isDictionary()) return *object;
  if (object->isStream()) return object->getDict();
  return QPDFObjectHandle();
}

// Whether `item` may go into `container`: a real handle, holding no indirect
// object of another document, and not making a direct cycle, in a container
// that may be changed. A container of no document takes indirect objects of
// any one; they are checked again when it is stored into a document.
bool Storable(KPD_Object container, QPDFObjectHandle const& target, KPD_Object item) {
  if (!item) return false;
  // One registry lookup answers both whether the document may change and
  // which document the item must belong to.
  auto* doc = kshost::pdf::DocumentOfHandle(*FromKpd(container));
  if (doc && !doc->Writable()) return false;
  return kshost::pdf::CanStore(FromKpd(item)->object, doc ? &doc->qpdf() : nullptr, target);
}

bool InRange(int32_t index, int count) { return index >= 0 && index < count; }

}  // namespace

// ---- 66: arrays ----------------------------------------------------------------

KPD_Array kshost::direct::ArrayNew(void) {
  return Guard<KPD_Array>(nullptr, [] { return kshost::pdf::NewOwned(QPDFObjectHandle::newArray()); });
}

int32_t kshost::direct::ArrayCount(KPD_Array arr) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* array = ArrayOf(arr);
    return array ? array->getArrayNItems() : 0;
  });
}

KPD_Object kshost::direct::ArrayGet(KPD_Array arr, int32_t index) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    QPDFObjectHandle* array = ArrayOf(arr);
    if (!array || !InRange(index, array->getArrayNItems())) return nullptr;
    return kshost::pdf::LendChild(*FromKpd(arr), array->getArrayItem(index));
  });
}

// index may equal the count, which appends.
int32_t kshost::direct::ArrayInsert(KPD_Array arr, int32_t index, KPD_Object item) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* array = ArrayOf(arr);
    if (!array || index < 0 || index > array->getArrayNItems() || !Storable(arr, *array, item)) return 0;
    array->insertItem(index, FromKpd(item)->object);
    kshost::pdf::NoteStored(*FromKpd(arr), *FromKpd(item));
    return 1;
  });
}

int32_t kshost::direct::ArrayAppend(KPD_Array arr, KPD_Object item) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* array = ArrayOf(arr);
    if (!array || !Storable(arr, *array, item)) return 0;
    array->appendItem(FromKpd(item)->object);
    kshost::pdf::NoteStored(*FromKpd(arr), *FromKpd(item));
    return 1;
  });
}

int32_t kshost::direct::ArraySet(KPD_Array arr, int32_t index, KPD_Object item) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* array = ArrayOf(arr);
    if (!array || !InRange(index, array->getArrayNItems()) || !Storable(arr, *array, item)) return 0;
    array->setArrayItem(index, FromKpd(item)->object);
    kshost::pdf::NoteStored(*FromKpd(arr), *FromKpd(item));
    return 1;
  });
}

int32_t kshost::direct::ArrayRemove(KPD_Array arr, int32_t index) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* array = ArrayOf(arr);
    if (!array || !InRange(index, array->getArrayNItems()) || !kshost::pdf::MayChange(*FromKpd(arr))) return 0;
    array->eraseItem(index);
    kshost::pdf::NoteChange(*FromKpd(arr));
    return 1;
  });
}

// Returns the element count when every element is a number (filling at most
// `capacity` of them), -1 otherwise; a caller can size its buffer from a
// first call with capacity 0.
int32_t kshost::direct::ArrayGetNumbers(KPD_Array arr, float* out, int32_t capacity) {
  return Guard<int32_t>(-1, [&]() -> int32_t {
    QPDFObjectHandle* array = ArrayOf(arr);
    if (!array) return -1;
    const int count = array->getArrayNItems();
    const int wanted = out ? std::max(0, std::min(count, capacity)) : 0;
    // Each item is read once; the values wait here until every item has
    // proved to be a number, as `out` is left alone otherwise.
    constexpr int kOnStack = 256;
    float buffer[kOnStack];
    std::vector<float> large(static_cast<size_t>(wanted > kOnStack ? wanted : 0));
    float* values = wanted > kOnStack ? large.data() : buffer;
    for (int i = 0; i < count; ++i) {
      QPDFObjectHandle item = array->getArrayItem(i);
      if (!item.isNumber()) return -1;
      if (i < wanted) values[i] = static_cast<float>(kshost::pdf::NumericValue(item));
    }
    std::copy(values, values + wanted, out);
    return count;
  });
}

// ---- 67: dictionaries ------------------------------------------------------------

KPD_Dictionary kshost::direct::DictNew(void) {
  return Guard<KPD_Dictionary>(nullptr, [] { return kshost::pdf::NewOwned(QPDFObjectHandle::newDictionary()); });
}

// qpdf treats a key whose value is null as absent; so do these functions.
int32_t kshost::direct::DictHasKey(KPD_Dictionary dict, const char* key) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle d = DictOf(dict);
    return d.isInitialized() && IsNameText(key) && d.hasKey(key) ? 1 : 0;
  });
}

// A missing key answers null, not a null object: qpdf makes a fresh null for
// every miss, which must not be interned.
KPD_Object kshost::direct::DictGet(KPD_Dictionary dict, const char* key) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    QPDFObjectHandle d = DictOf(dict);
    if (!d.isInitialized() || !IsNameText(key)) return nullptr;
    // One lookup: hasKey and getKey would each search the keys again.
    QPDFObjectHandle value = d.getKey(key);
    if (value.isNull()) return nullptr;
    return kshost::pdf::LendChild(*FromKpd(dict), value);
  });
}

// The value is stored, not copied: a direct object the plug-in created is
// from then on shared by its handle and the dictionary, so later changes
// through either handle show in both. Setting a null value removes the key.
int32_t kshost::direct::DictSet(KPD_Dictionary dict, const char* key, KPD_Object value) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle d = DictOf(dict);
    if (!d.isInitialized() || !IsNameText(key) || !Storable(dict, d, value)) return 0;
    d.replaceKey(key, FromKpd(value)->object);
    kshost::pdf::NoteStored(*FromKpd(dict), *FromKpd(value));
    return 1;
  });
}

// 1 when the key was there and is gone; 0 when it was not there.
int32_t kshost::direct::DictRemove(KPD_Dictionary dict, const char* key) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle d = DictOf(dict);
    if (!d.isInitialized() || !IsNameText(key) || !d.hasKey(key) || !kshost::pdf::MayChange(*FromKpd(dict))) return 0;
    d.removeKey(key);
    kshost::pdf::NoteChange(*FromKpd(dict));
    return 1;
  });
}

int32_t kshost::direct::DictKeyCount(KPD_Dictionary dict) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle d = DictOf(dict);
    return d.isInitialized() ? static_cast<int32_t>(d.getKeys().size()) : 0;
  });
}

// Keys in byte order, the order qpdf keeps them in.
int32_t kshost::direct::DictKeyAt(KPD_Dictionary dict, int32_t index, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle d = DictOf(dict);
    if (!d.isInitialized() || index < 0) return 0;
    auto keys = d.getKeys();
    if (static_cast<size_t>(index) >= keys.size()) return 0;
    return kshost::pdf::SetBytes(out, *std::next(keys.begin(), index)) ? 1 : 0;
  });
}

// ---- 68: streams ------------------------------------------------------------------

KPD_Dictionary kshost::direct::StreamGetDict(KPD_Stream stream) {
  return Guard<KPD_Dictionary>(nullptr, [&]() -> KPD_Dictionary {
    QPDFObjectHandle* object = ObjectOf(stream);
    if (!object || !object->isStream()) return nullptr;
    return kshost::pdf::LendChild(*FromKpd(stream), object->getDict());
  });
}

// decoded: every filter qpdf can undo, images included; 0 when one cannot be
// undone. Raw data is still decrypted.
int32_t kshost::direct::StreamGetData(KPD_Stream stream, int32_t decoded, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(stream);
    if (!object || !object->isStream() || !out) return 0;
    auto data = decoded ? object->getStreamData(qpdf_dl_all) : object->getRawStreamData();
    if (!data) return 0;
    std::string_view bytes(reinterpret_cast<char const*>(data->getBuffer()), data->getSize());
    return kshost::pdf::SetBytes(out, bytes) ? 1 : 0;
  });
}

// The new data is unfiltered; QPDFWriter compresses it on save.
int32_t kshost::direct::StreamSetData(KPD_Stream stream, const char* data, size_t length) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = ObjectOf(stream);
    if (!object || !object->isStream() || (!data && length > 0) || !kshost::pdf::MayChange(*FromKpd(stream))) return 0;
    auto buffer = std::make_shared<Buffer>(length);
    if (length > 0) std::memcpy(buffer->getBuffer(), data, length);
    object->replaceStreamData(buffer, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    // The decoded-length hint would now be wrong.
    object->getDict().removeKey("/DL");
    kshost::pdf::NoteChange(*FromKpd(stream));
    if (auto* doc = kshost::pdf::DocumentOfHandle(*FromKpd(stream))) doc->NoteUnfilteredData(*object);
    kshost::snap::NoteStreamChanged(*object);
    return 1;
  });
}
