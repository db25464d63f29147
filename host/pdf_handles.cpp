// Arenas of borrowed handles and the shared helpers of the PDF tables.
#include "host/pdf_handles.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "host/host_functions.h"
#include "host/pdf_document.h"

namespace kshost::pdf {

namespace {

// Objects are allocated on at least 8-byte boundaries; the multiplier spreads
// the remaining bits over the top of the word, which picks the slot.
size_t SlotOf(QPDFObject const* key, size_t mask, int shift) {
  auto bits = reinterpret_cast<uintptr_t>(key) >> 3;
  return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift) & mask;
}

// The slot count is a power of two: the top log2(size) bits pick the slot.
// (A builtin rather than std::countr_zero: the clang fuzz build compiles the
// host as C++17, because clang cannot read qpdf 11's headers as C++20.)
int ShiftFor(size_t size) { return 64 - __builtin_ctzll(size); }

constexpr size_t kFirstSlots = 16;
constexpr size_t kFirstBlock = 8;
constexpr size_t kLargestBlock = 512;

}  // namespace

Handle* Arena::Lend(QPDFObjectHandle const& object) {
  if (!object.isInitialized()) return nullptr;
  QPDFObjectHandle probe = object;
  if (!object.isIndirect() && probe.isNull()) {
    if (!null_) null_.reset(new Handle{QPDFObjectHandle::newNull(), document_, this, nullptr, nullptr, nullptr, QPDFObjGen()});
    return null_.get();
  }
  QPDFObject const* key = object.getObjectPtr();
  // At most half full, so a probe always ends at an empty slot.
  if ((used_ + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  for (size_t i = SlotOf(key, mask, ShiftFor(slots_.size()));; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.key == key) return slot.handle;
    if (!slot.key) {
      slot.key = key;
      slot.handle = Make(object);
      ++used_;
      return slot.handle;
    }
  }
}

Handle* Arena::Make(QPDFObjectHandle const& object) {
  if (blockUsed_ == blockSize_) {
    blockSize_ = blockSize_ ? std::min(blockSize_ * 2, kLargestBlock) : kFirstBlock;
    blocks_.emplace_back(new Handle[blockSize_]);
    blockUsed_ = 0;
  }
  Handle* handle = &blocks_.back()[blockUsed_++];
  handle->object = object;
  handle->document = document_;
  handle->lender = this;
  return handle;
}

void Arena::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? kFirstSlots : old.size() * 2, Slot{});
  const size_t mask = slots_.size() - 1;
  const int shift = ShiftFor(slots_.size());
  for (Slot const& s : old) {
    if (!s.key) continue;
    size_t i = SlotOf(s.key, mask, shift);
    while (slots_[i].key) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void Arena::Retire(std::function<bool(QPDFObjGen)> const& released) {
  if (used_ < 2 * std::max<size_t>(usedAtRetire_, 1024)) return;
  std::vector<Slot> kept;
  std::vector<Handle*> retired;
  kept.reserve(used_);
  // Decided for every handle before any is changed: a direct handle is
  // found to belong to a released object through the handles above it.
  for (Slot const& slot : slots_) {
    if (!slot.key) continue;
    Handle* handle = slot.handle;
    Handle const* at = handle;
    for (int depth = 0; at && !at->object.isIndirect() && depth < 1024; ++depth) at = at->parent;
    if (at && at->object.isIndirect() && released(at->object.getObjGen())) {
      // A released indirect object keeps its (now null) object; it is only
      // no longer looked up.
      if (at != handle) retired.push_back(handle);
      continue;
    }
    kept.push_back(slot);
  }
  const QPDFObjectHandle null = QPDFObjectHandle::newNull();
  for (Handle* handle : retired) {
    handle->object = null;
    handle->parent = nullptr;
  }
  used_ = 0;
  size_t size = kFirstSlots;
  while (size < 2 * (kept.size() + 1)) size *= 2;
  slots_.assign(size, Slot{});
  const size_t mask = slots_.size() - 1;
  const int shift = ShiftFor(slots_.size());
  for (Slot const& s : kept) {
    size_t i = SlotOf(s.key, mask, shift);
    while (slots_[i].key) i = (i + 1) & mask;
    slots_[i] = s;
    ++used_;
  }
  usedAtRetire_ = used_;
}

KPD_Object NewOwned(QPDFObjectHandle object) {
  if (!object.isInitialized()) return nullptr;
  return ToKpd(new Handle{std::move(object), nullptr, nullptr, nullptr, nullptr, nullptr, QPDFObjGen()});
}

KPD_Object LendChild(Handle const& parent, QPDFObjectHandle const& child) {
  if (!child.isInitialized()) return nullptr;
  if (child.isIndirect()) {
    QPDFObjectHandle probe = child;
    if (Document* doc = Document::Find(probe.getOwningQPDF())) return ToKpd(doc->arena().Lend(child));
  }
  Arena* arena = parent.lender;
  if (!arena) {
    if (!parent.children) parent.children = std::make_unique<Arena>(nullptr);
    arena = parent.children.get();
  }
  Handle* handle = arena->Lend(child);
  // The shared null handle and indirect objects have no single parent.
  if (handle && !handle->parent && handle != &parent && !handle->object.isIndirect() &&
      !handle->object.isNull())
    handle->parent = &parent;
  return ToKpd(handle);
}

namespace {

// The document and indirect object that hold the object of `handle`.
Document* HolderOf(Handle const& handle, QPDFObjGen& holder) {
  Handle const* at = &handle;
  // Direct nesting is bounded where values are stored; the bound here only
  // guards against a link loop.
  for (int depth = 0; at && depth < 1024; ++depth, at = at->parent) {
    if (at->object.isIndirect()) {
      QPDFObjectHandle probe = at->object;
      holder = probe.getObjGen();
      return Document::Find(probe.getOwningQPDF());
    }
    if (at->storedIn) {
      holder = at->storedUnder;
      return Document::Find(at->storedIn);
    }
  }
  return nullptr;
}

}  // namespace

namespace {
uint64_t changeSerial = 0;
}  // namespace

uint64_t ChangeSerial() { return changeSerial; }

void NoteChange(Handle const& changed) {
  ++changeSerial;
  QPDFObjGen holder;
  if (Document* doc = HolderOf(changed, holder)) doc->MarkChanged(holder);
}

void NoteStored(Handle const& container, Handle const& value) {
  ++changeSerial;
  QPDFObjGen holder;
  Document* doc = HolderOf(container, holder);
  if (!doc) return;
  doc->MarkChanged(holder);
  if (!value.object.isIndirect() && !value.lender) {
    value.storedIn = &doc->qpdf();
    value.storedUnder = holder;
  }
}

Document* DocumentOfHandle(Handle const& handle) {
  if (handle.object.isIndirect()) {
    QPDFObjectHandle probe = handle.object;
    return Document::Find(probe.getOwningQPDF());
  }
  return handle.document;
}

bool SameObject(QPDFObjectHandle const& a, QPDFObjectHandle const& b) {
  if (!a.isInitialized() || !b.isInitialized()) return false;
  if (a.getObjectPtr() == b.getObjectPtr()) return true;
  if (!a.isIndirect() || !b.isIndirect() || a.getObjGen() != b.getObjGen()) return false;
  QPDFObjectHandle pa = a, pb = b;
  return pa.getOwningQPDF() == pb.getOwningQPDF();
}

namespace {

// Direct structures that deep are not something a plug-in builds on purpose;
// refusing them also keeps the walk's stack bounded.
constexpr int kMaxDirectDepth = 256;

bool CanStoreAt(QPDFObjectHandle value, QPDF* qpdf, QPDFObject const* container, int depth) {
  if (depth > kMaxDirectDepth) return false;
  if (value.isIndirect()) return !qpdf || value.getOwningQPDF() == qpdf;
  if (container && value.getObjectPtr() == container) return false;
  if (value.isArray()) {
    for (auto& item : value.getArrayAsVector())
      if (!CanStoreAt(item, qpdf, container, depth + 1)) return false;
  } else if (value.isDictionary()) {
    for (auto& [key, item] : value.getDictAsMap())
      if (!CanStoreAt(item, qpdf, container, depth + 1)) return false;
  }
  return true;
}

}  // namespace

bool CanStore(QPDFObjectHandle const& value, QPDF* qpdf, QPDFObjectHandle const& container) {
  // Only a direct container can be caught in a direct cycle; through an
  // indirect one a cycle is an ordinary reference.
  QPDFObject const* direct = container.isIndirect() ? nullptr : container.getObjectPtr();
  return CanStoreAt(value, qpdf, direct, 0);
}

QPDFObjectHandle NumberObject(double value, int significant) {
  if (!std::isfinite(value)) return QPDFObjectHandle();
  if (value == 0) return QPDFObjectHandle::newInteger(0);  // also turns -0 into 0
  constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
  if (std::fabs(value) < kExactIntegers && value == std::trunc(value))
    return QPDFObjectHandle::newInteger(static_cast<long long>(value));
  int whole = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
  // Below 1 the leading zeros after the point come on top of the
  // significant digits, so that tiny factors (square millimetres per square
  // mile) keep their value; PDF numbers have no exponent form.
  int decimals = std::clamp(significant - whole, 0, significant + 30);
  // The text is made here rather than by qpdf, whose formatting goes
  // through a string stream per number: slow, and a number is written for
  // every rectangle and opacity an appearance sets.
  char text[400];
  // A value that came from a float (a colour, an opacity, a coordinate of
  // the plug-in) is written as that float's shortest text: 0.35, not
  // 0.349999994040.
  const float narrow = static_cast<float>(value);
  const bool fromFloat = significant > kFloatDigits && std::isfinite(narrow) && static_cast<double>(narrow) == value;
  auto r = fromFloat ? std::to_chars(text, text + sizeof text, narrow, std::chars_format::fixed)
                     : std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return QPDFObjectHandle();
  char* end = r.ptr;
  if (std::find(text, end, '.') != end) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  std::string digits(text, static_cast<size_t>(end - text));
  // Rounded to nothing ("0" or "-0"): write a plain zero.
  if (digits == "0" || digits == "-0") return QPDFObjectHandle::newInteger(0);
  // Digits without a point read back as an integer, and one beyond the
  // 64-bit range is an integer no reader (qpdf included) can hold: such a
  // value keeps a point.
  constexpr double kIntegerLimit = 9223372036854775808.0;  // 2^63
  if (std::fabs(value) >= kIntegerLimit && digits.find('.') == std::string::npos) digits += ".0";
  return QPDFObjectHandle::newReal(digits);
}

double NumericValue(QPDFObjectHandle number) {
  if (number.isInteger()) return static_cast<double>(number.getIntValue());
  if (!number.isReal()) return 0;
  std::string text = number.getRealValue();
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  double value = 0;
  auto r = std::from_chars(begin, end, value);
  if (r.ec == std::errc::result_out_of_range) {
    bool negative = begin != end && *begin == '-';
    return negative ? -HUGE_VAL : HUGE_VAL;
  }
  return r.ec == std::errc() ? value : 0;
}

bool ReadNumbers(QPDFObjectHandle array, double* out, int count) {
  if (!array.isArray() || array.getArrayNItems() != count) return false;
  for (int i = 0; i < count; ++i) {
    QPDFObjectHandle item = array.getArrayItem(i);
    if (!item.isNumber()) return false;
    out[i] = NumericValue(item);
  }
  return true;
}

bool SetBytes(KS_ByteString out, std::string_view bytes) {
  if (!out) return false;
  kshost::direct::ByteStringSet(out, bytes.data(), bytes.size());
  return true;
}

bool SetWide(KS_WideString out, std::u16string_view text) {
  if (!out) return false;
  kshost::direct::WideStringSet(out, text.data(), text.size());
  return true;
}

}  // namespace kshost::pdf
