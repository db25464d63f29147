// The host's own plug-ins that other plug-ins reach by name: the
// document-processing table (page-range text) and the signature table.
// Registering an inner plug-in publishes its table once.
#include <set>
#include <string>

#include "host/editor.h"
#include "host/ext_hft.h"
#include "host/guard.h"
#include "host/host_functions.h"
#include "host/page_range.h"
#include "host/pdf_document.h"

namespace kshost {
namespace {

std::set<std::string>& Registered() {
  static std::set<std::string> names;
  return names;
}

std::u16string TextOf(KS_WideString text) {
  if (!text) return {};
  const char16_t* data = direct::WideStringData(text);
  return data ? std::u16string(data, direct::WideStringLength(text)) : std::u16string();
}

int32_t PageCountOf(KA_Document doc) {
  KPD_Document pdf = doc ? direct::AppDocGetPdfDocument(doc) : nullptr;
  return pdf ? direct::DocPageCount(pdf) : 0;
}

int32_t CheckRange(KA_Document, KS_WideString text, int32_t pageCount) {
  return Guard<int32_t>(KS_PAGERANGE_INPUT, [&] {
    return static_cast<int32_t>(ParsePageRanges(TextOf(text), pageCount).error);
  });
}

int32_t RangeMessage(KA_Document, int32_t error, KS_WideString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (error <= KS_PAGERANGE_OK || error > KS_PAGERANGE_SAMEPAGE || !out) return 0;
    const std::string key = PageRangeMessageKey(static_cast<PageRangeError>(error));
    const std::u16string wide(key.begin(), key.end());
    direct::WideStringSet(out, wide.data(), wide.size());
    return 1;
  });
}

int32_t RangeCount(KA_Document doc, KS_WideString text) {
  return Guard<int32_t>(-1, [&]() -> int32_t {
    const PageRanges r = ParsePageRanges(TextOf(text), PageCountOf(doc));
    return r.error == PageRangeError::kNone ? static_cast<int32_t>(PageRangeCount(r.ranges)) : -1;
  });
}

int32_t RangePage(KA_Document doc, KS_WideString text, int32_t position) {
  return Guard<int32_t>(-1, [&]() -> int32_t {
    const PageRanges r = ParsePageRanges(TextOf(text), PageCountOf(doc));
    if (r.error != PageRangeError::kNone || position < 0) return -1;
    long long left = position;
    for (const auto& range : r.ranges) {
      const long long size = static_cast<long long>(range.second) - range.first + 1;
      if (left < size) return static_cast<int32_t>(range.first - 1 + left);
      left -= size;
    }
    return -1;
  });
}

int32_t IsSigned(KA_Document doc) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    KPD_Document pdf = doc ? direct::AppDocGetPdfDocument(doc) : nullptr;
    return pdf && pdf::Document::FromKpd(pdf)->HasSignedSignature() ? 1 : 0;
  });
}

bool PublishDocProcess() {
  KS_ExtHFT hft = direct::ExtHFTNew(9);
  if (!hft) return false;
  direct::ExtHFTSetEntry(hft, 8, reinterpret_cast<void*>(&CheckRange));
  direct::ExtHFTSetEntry(hft, 1, reinterpret_cast<void*>(&RangeMessage));
  direct::ExtHFTSetEntry(hft, 2, reinterpret_cast<void*>(&RangeCount));
  direct::ExtHFTSetEntry(hft, 3, reinterpret_cast<void*>(&RangePage));
  return direct::ExtHFTPublish(KS_DOCPROCESS_HFT_NAME, KS_DOCPROCESS_HFT_VERSION, hft) != 0;
}

bool PublishSignature() {
  KS_ExtHFT hft = direct::ExtHFTNew(1);
  if (!hft) return false;
  direct::ExtHFTSetEntry(hft, 0, reinterpret_cast<void*>(&IsSigned));
  return direct::ExtHFTPublish(KS_SIGNATURE_HFT_NAME, KS_SIGNATURE_HFT_VERSION, hft) != 0;
}

}  // namespace

namespace direct {

int32_t AppIsInnerPluginRegistered(const char* name) {
  return Guard<int32_t>(0, [&]() -> int32_t { return name && Registered().count(name) ? 1 : 0; });
}

int32_t AppRegisterInnerPlugin(const char* name) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!name) return 0;
    const std::string n = name;
    if (Registered().count(n)) return 1;
    // A table published once stays (a plug-in unloaded and loaded again
    // finds it); the host is its owner, not the plug-in that asked.
    const void* owner = TableOwner();
    SetTableOwner(nullptr);
    bool ok = false;
    if (n == KS_DOCPROCESS_INNER_PLUGIN)
      ok = ExtHFTFind(KS_DOCPROCESS_HFT_NAME, KS_DOCPROCESS_HFT_VERSION) || PublishDocProcess();
    else if (n == KS_SIGNATURE_INNER_PLUGIN)
      ok = ExtHFTFind(KS_SIGNATURE_HFT_NAME, KS_SIGNATURE_HFT_VERSION) || PublishSignature();
    SetTableOwner(owner);
    if (ok) Registered().insert(n);
    return ok ? 1 : 0;
  });
}

int32_t AppDocGetActivePage(KA_Document doc) {
  return Guard<int32_t>(-1,
                        [&]() -> int32_t { return doc && Editor::Get().IsLiveDocument(doc) ? doc->activePage : -1; });
}

}  // namespace direct
}  // namespace kshost
