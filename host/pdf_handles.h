// The host objects behind KPD_Object handles, and the helpers every PDF table
// function uses to turn handles into qpdf objects and back. Internal to host/:
// this header pulls in qpdf.
//
// Handle model. A Handle wraps one QPDFObjectHandle. Handles come in two kinds:
// - lent (borrowed): owned by an Arena. The arena keeps one Handle per
//   underlying qpdf object (keyed by QPDFObjectHandle::getObjectPtr(), which in
//   qpdf 11 stays the same for an indirect object from first reference to
//   QPDF destruction, and for a direct object as long as anything holds it),
//   so asking twice gives the same pointer. ObjectRelease ignores them.
// - owned: made by a "New"/"Parse"/"Clone" function; the plug-in releases it.
//   It carries its own arena for the children fetched through it.
// A document's arena lends its pages, its indirect objects (wherever they are
// fetched from) and the direct objects fetched through its handles; it is
// freed with the document.
#pragma once

#ifndef POINTERHOLDER_TRANSITION
#define POINTERHOLDER_TRANSITION 4
#endif

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "host/guard.h"
#include "sdk/ks_types.h"

namespace kshost::pdf {

class Document;
class Arena;

struct Handle {
  QPDFObjectHandle object;  // always initialized
  Document* document = nullptr;  // set when lent by a document's arena
  Arena* lender = nullptr;       // null for a handle the plug-in owns
  // Owned handles only, made when the first child is fetched.
  mutable std::unique_ptr<Arena> children;
  // For a direct object: the handle it was first fetched through, which
  // lives at least as long as this one (it owns the arena, or shares it).
  // A change to a direct object is a change to the indirect object that
  // holds it, found by following these links.
  Handle const* parent = nullptr;
  // For a direct object the plug-in made and then stored into a document:
  // the indirect object that holds it there.
  mutable QPDF const* storedIn = nullptr;
  mutable QPDFObjGen storedUnder;
};

class Arena {
 public:
  explicit Arena(Document* document) : document_(document) {}
  Arena(Arena const&) = delete;
  Arena& operator=(Arena const&) = delete;

  // The one handle this arena lends for `object`. Direct nulls share a
  // single handle: qpdf makes a fresh null for every read of a sparse array
  // slot, and interning each would grow the arena without bound.
  Handle* Lend(QPDFObjectHandle const& object);

  Document* document() const { return document_; }

  // Lets go of the indirect objects that `released` names (objects a
  // document has written and dropped) and the direct objects held for
  // them: those handles are no longer lent, and the direct ones read as
  // null from then on. Handles stay valid memory, as the plug-in may still
  // hold them. The whole table is
  // looked through only once it has doubled since the last time, so the
  // cost per handle stays constant.
  void Retire(std::function<bool(QPDFObjGen)> const& released);

 private:
  Handle* Make(QPDFObjectHandle const& object);
  void Grow();

  Document* document_;
  // A document lends a handle for nearly every value the plug-in reads, so
  // the lookup is an open-addressed table (linear probing, a power of two
  // long, an empty slot has a null key) and the handles live in blocks
  // rather than one allocation each; both keep their addresses.
  struct Slot {
    QPDFObject const* key = nullptr;
    Handle* handle = nullptr;
  };
  std::vector<Slot> slots_;
  size_t used_ = 0;
  std::vector<std::unique_ptr<Handle[]>> blocks_;
  size_t blockSize_ = 0;
  size_t blockUsed_ = 0;
  std::unique_ptr<Handle> null_;
  size_t usedAtRetire_ = 0;
};

inline Handle* FromKpd(KPD_Object obj) { return reinterpret_cast<Handle*>(obj); }
inline KPD_Object ToKpd(Handle* handle) { return reinterpret_cast<KPD_Object>(handle); }

// The qpdf object of a handle, or null for a null handle.
inline QPDFObjectHandle* ObjectOf(KPD_Object obj) { return obj ? &FromKpd(obj)->object : nullptr; }

// A new handle the plug-in owns.
KPD_Object NewOwned(QPDFObjectHandle object);

// The borrowed handle of `child`, fetched through `parent`. Indirect objects
// of an open document go to that document's arena, so they keep one handle
// however they are reached; everything else goes to the parent's arena.
KPD_Object LendChild(Handle const& parent, QPDFObjectHandle const& child);

// Records that the object of `changed` has just been changed: the indirect
// object that holds it (itself, when indirect) is marked changed in its
// document, so that an incremental save writes it again. A direct object
// that belongs to no document marks nothing.
void NoteChange(Handle const& changed);

// A number that grows with every change noted through NoteChange or
// NoteStored: what was read from objects while it stays the same still
// holds.
uint64_t ChangeSerial();

// Records that `value` was just stored into `container`, which is marked
// changed; a direct value the plug-in made is from then on part of the
// container's indirect object, and later changes through its handle mark
// that object too.
void NoteStored(Handle const& container, Handle const& value);

// The document an object belongs to: its owning QPDF for indirect objects,
// else the document whose arena lent the handle. Null for the plug-in's own
// direct objects.
Document* DocumentOfHandle(Handle const& handle);

// Identity of underlying objects: the same qpdf object, or the same indirect
// object of the same file.
bool SameObject(QPDFObjectHandle const& a, QPDFObjectHandle const& b);

// True when `value` may be stored in a container of `qpdf` (null: a
// container of no document): every indirect object reachable through its
// direct parts belongs to that file, and it does not contain `container`
// (which would make a direct cycle that qpdf would recurse on forever).
bool CanStore(QPDFObjectHandle const& value, QPDF* qpdf, QPDFObjectHandle const& container);

// Floats hold about seven significant digits; writing more would only put
// binary noise such as 0.100000001 into the file.
constexpr int kFloatDigits = 7;

// A number object written without locale: integral values within 2^53 as
// integers, others as reals rounded to `significant` digits (trailing zeros
// dropped); with more digits than a float holds, a value that is exactly a
// float is written as that float's shortest text. A real beyond the 64-bit
// integer range always has a point, so it never reads back as an integer.
// Null for NaN and infinities.
QPDFObjectHandle NumberObject(double value, int significant);

// The value of a number object, read without the process locale: qpdf
// turns real text into a double with atof, which under a decimal-comma
// locale reads "0.5" as 0. Integers are exact; other objects give 0.
double NumericValue(QPDFObjectHandle number);

// The numbers of an array of exactly `count` numbers.
bool ReadNumbers(QPDFObjectHandle array, double* out, int count);

// Fills a caller's string; false for a null string.
bool SetBytes(KS_ByteString out, std::string_view bytes);
bool SetWide(KS_WideString out, std::u16string_view text);

// A PDF name or key as the table functions take it: non-null, with its
// leading slash.
inline bool IsNameText(const char* name) { return name && name[0] == '/'; }

using kshost::Guard;
using kshost::GuardVoid;

}  // namespace kshost::pdf
