#include "plugin/annot_identity.h"

#include <cstdio>
#include <mutex>
#include <random>

#include "kwannotation/kw_annot_impl.h"
#include "plugin/host_binding.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {

std::string NewUuidText() {
  static std::mutex mutex;
  static std::mt19937_64 rng{std::random_device{}()};
  uint64_t a = 0, b = 0;
  {
    std::lock_guard lock(mutex);
    a = rng();
    b = rng();
  }
  a = (a & ~0xF000ull) | 0x4000ull;                         // version 4
  b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // variant 1
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                static_cast<unsigned>(b >> 48), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return text;
}

std::u16string CurrentAuthor() {
  Host::WideString name;
  if (!Host::AppGetUserName(name.get())) return {};
  return name.str();
}

std::string PdfDateNow() {
  KS_DateTime now{};
  Host::DateNow(&now);
  Host::ByteString text;
  Host::DateToPdfString(&now, text.get());
  return text.str();
}

bool StampIdentity(KPD_Dictionary annot) {
  if (!annot) return false;
  kwannotation::CKW_MarkupAnnotImpl markup(annot, kwannotation::KW_ANNOT_UNKNOWN, nullptr);
  if (!markup.SetName(ks::ToUtf16(NewUuidText()))) return false;
  // When it was made, and so last changed.
  const std::u16string date = ks::ToUtf16(PdfDateNow());
  if (!date.empty()) {
    markup.SetCreationDate(date);
    markup.SetModifiedDate(date);
  }
  const std::u16string author = CurrentAuthor();
  return author.empty() || markup.SetTitle(author);
}

}  // namespace AnnotationPlugin
