// A plug-in's one way into the host: a function per row of the host function
// list, looked up through the core table manager on its first call after
// Bind and remembered from then on (the host's tables do not change while a
// plug-in is bound). A function the host does not provide answers its type's
// empty value. The plug-in frame and the annotation library both call
// through it.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "sdk/ks_functions.h"

namespace ks::host {

// Kept from the handshake for the life of the library. Binding again (tests
// do) forgets every function found through the previous table.
void Bind(KS_CoreHFT core, KS_PluginID id);

// The host function at (selector, index), or null. Asks the table every time.
void* Lookup(int selector, int index);

namespace detail {

// One slot per row of the function list, in list order.
enum Slot : int {
#define ANNOT_HOST_SLOT(sel, idx, name, ret, params) kSlot##name,
  KS_HOST_FUNCTIONS(ANNOT_HOST_SLOT)
#undef ANNOT_HOST_SLOT
  kSlotCount
};

// What each slot's function was found to be since the last Bind: null when
// not yet asked, Absent() when the host has no such function.
extern std::atomic<void*> g_found[kSlotCount];
inline void* Absent() { return static_cast<void*>(&g_found); }

// The host function of `slot`, asking the table only the first time.
inline void* Find(Slot slot, int selector, int index) {
  void* fn = g_found[slot].load(std::memory_order_relaxed);
  if (!fn) {
    fn = Lookup(selector, index);
    if (!fn) fn = Absent();
    g_found[slot].store(fn, std::memory_order_relaxed);
  }
  return fn == Absent() ? nullptr : fn;
}

}  // namespace detail

template <typename Fn, typename... A>
auto CallHost(detail::Slot slot, int selector, int index, A&&... args) {
  using R = std::invoke_result_t<Fn, A...>;
  auto fn = reinterpret_cast<Fn>(detail::Find(slot, selector, index));
  if constexpr (std::is_void_v<R>) {
    if (fn) fn(std::forward<A>(args)...);
  } else {
    return fn ? fn(std::forward<A>(args)...) : R{};
  }
}

#define ANNOT_HOST_CALL(sel, idx, name, ret, params)                                     \
  using name##_Fn = ret(*) params;                                                       \
  template <typename... A>                                                               \
  inline ret name(A&&... args) {                                                         \
    return CallHost<name##_Fn>(detail::kSlot##name, sel, idx, std::forward<A>(args)...); \
  }
KS_HOST_FUNCTIONS(ANNOT_HOST_CALL)
#undef ANNOT_HOST_CALL

// A host 8-bit string owned by the plug-in for the scope of this object.
class ByteString {
 public:
  ByteString() : handle_(ByteStringNew(static_cast<const char*>(nullptr), size_t{0})) {}
  explicit ByteString(std::string_view text) : handle_(ByteStringNew(text.data(), text.size())) {}
  ~ByteString() { ByteStringDestroy(handle_); }
  ByteString(const ByteString&) = delete;
  ByteString& operator=(const ByteString&) = delete;

  KS_ByteString get() const { return handle_; }
  std::string str() const {
    const char* d = ByteStringData(handle_);
    return d ? std::string(d, ByteStringLength(handle_)) : std::string();
  }

 private:
  KS_ByteString handle_;
};

// A host wide string owned by the plug-in for the scope of this object.
class WideString {
 public:
  WideString() : handle_(WideStringNew(static_cast<const char16_t*>(nullptr), size_t{0})) {}
  explicit WideString(std::u16string_view text) : handle_(WideStringNew(text.data(), text.size())) {}
  ~WideString() { WideStringDestroy(handle_); }
  WideString(const WideString&) = delete;
  WideString& operator=(const WideString&) = delete;

  KS_WideString get() const { return handle_; }
  std::u16string str() const {
    const char16_t* d = WideStringData(handle_);
    return d ? std::u16string(d, WideStringLength(handle_)) : std::u16string();
  }

 private:
  KS_WideString handle_;
};

}  // namespace ks::host
