// Byte strings (selector 17), wide strings (18) and wide-string arrays (9).
// Every function accepts null handles: getters answer 0 or empty, setters do
// nothing.
#include "host/strings.h"

#include "host/host_functions.h"

namespace kshost {

bool SetText(KS_ByteString out, std::string_view text) {
  if (!out) return false;
  out->text.assign(text.data(), text.size());
  return true;
}

bool SetText(KS_WideString out, std::u16string_view text) {
  if (!out) return false;
  out->text.assign(text.data(), text.size());
  return true;
}

}  // namespace kshost

namespace {

// A null pointer with a non-zero length is taken as empty text rather than
// read from.
std::string_view Bytes(const char* bytes, size_t length) {
  return bytes ? std::string_view(bytes, length) : std::string_view();
}

std::u16string_view Units(const char16_t* text, size_t length) {
  return text ? std::u16string_view(text, length) : std::u16string_view();
}

}  // namespace

// ---- 17: byte strings -----------------------------------------------------

KS_ByteString kshost::direct::ByteStringNew(const char* bytes, size_t length) {
  return new KS_ByteString__{std::string(Bytes(bytes, length))};
}

void kshost::direct::ByteStringDestroy(KS_ByteString str) { delete str; }

const char* kshost::direct::ByteStringData(KS_ByteString str) { return str ? str->text.c_str() : ""; }

size_t kshost::direct::ByteStringLength(KS_ByteString str) { return str ? str->text.size() : 0; }

void kshost::direct::ByteStringSet(KS_ByteString str, const char* bytes, size_t length) {
  // assign() copes with `bytes` pointing into the string itself.
  if (str) str->text.assign(Bytes(bytes, length));
}

// ---- 18: wide strings -----------------------------------------------------

KS_WideString kshost::direct::WideStringNew(const char16_t* text, size_t length) {
  return new KS_WideString__{std::u16string(Units(text, length))};
}

void kshost::direct::WideStringDestroy(KS_WideString str) { delete str; }

const char16_t* kshost::direct::WideStringData(KS_WideString str) { return str ? str->text.c_str() : u""; }

size_t kshost::direct::WideStringLength(KS_WideString str) { return str ? str->text.size() : 0; }

void kshost::direct::WideStringSet(KS_WideString str, const char16_t* text, size_t length) {
  if (str) str->text.assign(Units(text, length));
}

// Text as the editor shows it: CR LF and lone CR become LF, other control
// characters except tab are dropped.
int32_t kshost::direct::WideStringForDisplay(const char16_t* text, size_t length, KS_WideString out) {
  if (!out) return 0;
  const std::u16string_view in = Units(text, length);
  std::u16string shown;
  shown.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    if (c == u'\r') {
      shown += u'\n';
      if (i + 1 < in.size() && in[i + 1] == u'\n') ++i;
    } else if (c == u'\n' || c == u'\t' || c >= 0x20) {
      shown += c;
    }
  }
  out->text = std::move(shown);
  return 1;
}

// ---- 9: wide-string arrays ------------------------------------------------

KS_WideStringArray kshost::direct::WideStringArrayNew(void) { return new KS_WideStringArray__{}; }

void kshost::direct::WideStringArrayDestroy(KS_WideStringArray arr) { delete arr; }

int32_t kshost::direct::WideStringArrayCount(KS_WideStringArray arr) {
  return arr ? static_cast<int32_t>(arr->items.size()) : 0;
}

int32_t kshost::direct::WideStringArrayGet(KS_WideStringArray arr, int32_t index, KS_WideString out) {
  if (!arr || !out || index < 0 || static_cast<size_t>(index) >= arr->items.size()) return 0;
  out->text = arr->items[static_cast<size_t>(index)];
  return 1;
}

int32_t kshost::direct::WideStringArrayAppend(KS_WideStringArray arr, KS_WideString str) {
  if (!arr || !str) return 0;
  arr->items.push_back(str->text);
  return 1;
}

void kshost::direct::WideStringArrayClear(KS_WideStringArray arr) {
  if (arr) arr->items.clear();
}
