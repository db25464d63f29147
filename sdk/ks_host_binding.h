// A plug-in's one way into the host: a function per row of the host function
// list, looked up through the core table manager at every call. A function
// the host does not provide answers its type's empty value. The plug-in frame
// and the annotation library both call through it.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "sdk/ks_functions.h"

namespace ks::host {

// Kept from the handshake for the life of the library.
void Bind(KS_CoreHFT core, KS_PluginID id);
bool IsBound();

// The host function at (selector, index), or null.
void* Lookup(int selector, int index);

template <typename Fn, typename... A>
auto CallHost(int selector, int index, A&&... args) {
  using R = std::invoke_result_t<Fn, A...>;
  auto fn = reinterpret_cast<Fn>(Lookup(selector, index));
  if constexpr (std::is_void_v<R>) {
    if (fn) fn(std::forward<A>(args)...);
  } else {
    return fn ? fn(std::forward<A>(args)...) : R{};
  }
}

#define ANNOT_HOST_CALL(sel, idx, name, ret, params)               \
  using name##_Fn = ret(*) params;                                 \
  template <typename... A>                                         \
  inline ret name(A&&... args) {                                   \
    return CallHost<name##_Fn>(sel, idx, std::forward<A>(args)...); \
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
