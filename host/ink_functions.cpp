// The strokes of ink annotations as flat buffers (selector 813): read in one
// call and written in one call, the arrays built here rather than one host
// object per number. A dense ink holds hundreds of thousands of numbers.
//
// What was last read or written is kept for a few inks, together with the
// document change serial of that moment: while nothing has changed since, a
// read is a copy of the buffers rather than a walk over the number objects
// (the eraser writes strokes and the appearance is built from them at once).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "sdk/ks_number.h"

using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::ObjectOf;

namespace {

// More than this many numbers in one ink is refused: the counts cross the
// interface as 32-bit values per stroke and the buffers would be absurd.
constexpr int64_t kMaxCoords = int64_t(1) << 28;

struct InkBuffers {
  KS_InkInfo info{};
  std::vector<int32_t> counts;
  std::vector<float> xy;
  std::vector<float> pressure;  // one per point when info.pressure == 2
};

struct CacheEntry {
  QPDFObjectHandle dict;  // held, so that its address is not reused
  QPDFObjectHandle list;
  uint64_t serial = 0;
  std::shared_ptr<const InkBuffers> ink;
};

std::vector<CacheEntry>& Cache() {
  static std::vector<CacheEntry> cache;
  return cache;
}

constexpr size_t kCacheEntries = 4;

QPDFObjectHandle DictOf(KPD_Dictionary dict) {
  QPDFObjectHandle* object = ObjectOf(dict);
  return object && object->isDictionary() ? *object : QPDFObjectHandle();
}

std::shared_ptr<const InkBuffers> Cached(QPDFObjectHandle dict) {
  auto& cache = Cache();
  const uint64_t now = kshost::pdf::ChangeSerial();
  // Any change anywhere may have touched the strokes: forget everything.
  if (!cache.empty() && cache.front().serial != now) cache.clear();
  for (const CacheEntry& e : cache) {
    if (e.dict.getObjectPtr() != dict.getObjectPtr()) continue;
    QPDFObjectHandle list = dict.getKey("/InkList");
    if (list.getObjectPtr() == e.list.getObjectPtr()) return e.ink;
  }
  return nullptr;
}

void Remember(QPDFObjectHandle dict, std::shared_ptr<const InkBuffers> ink) {
  auto& cache = Cache();
  const uint64_t now = kshost::pdf::ChangeSerial();
  if (!cache.empty() && cache.front().serial != now) cache.clear();
  cache.erase(std::remove_if(cache.begin(), cache.end(),
                             [&](const CacheEntry& e) { return e.dict.getObjectPtr() == dict.getObjectPtr(); }),
              cache.end());
  if (cache.size() >= kCacheEntries) cache.erase(cache.begin());
  cache.push_back({dict, dict.getKey("/InkList"), now, std::move(ink)});
}

// Appends the numbers of `array` to `out`; false when one is not a number.
bool AppendNumbers(QPDFObjectHandle array, std::vector<float>& out) {
  const int n = array.getArrayNItems();
  for (int i = 0; i < n; ++i) {
    QPDFObjectHandle item = array.getArrayItem(i);
    if (!item.isNumber()) return false;
    out.push_back(static_cast<float>(kshost::pdf::NumericValue(item)));
  }
  return true;
}

bool AllFinite(const float* v, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

std::shared_ptr<const InkBuffers> Read(QPDFObjectHandle dict) {
  if (auto hit = Cached(dict)) return hit;
  auto ink = std::make_shared<InkBuffers>();
  KS_InkInfo& info = ink->info;
  info.size = sizeof info;
  info.problemStroke = -1;
  auto fail = [&](int problem, int stroke) {
    info.problem = problem;
    info.problemStroke = stroke;
    return ink;
  };
  QPDFObjectHandle list = dict.getKey("/InkList");
  if (!list.isArray()) return fail(KS_INK_NO_LIST, -1);
  const int strokes = list.getArrayNItems();
  info.strokes = strokes;
  ink->counts.reserve(size_t(strokes));
  for (int i = 0; i < strokes; ++i) {
    QPDFObjectHandle stroke = list.getArrayItem(i);
    if (!stroke.isArray()) return fail(KS_INK_STROKE_NOT_ARRAY, i);
    const size_t start = ink->xy.size();
    if (int64_t(start) + stroke.getArrayNItems() > kMaxCoords) return fail(KS_INK_TOO_LONG, i);
    if (!AppendNumbers(stroke, ink->xy)) return fail(KS_INK_NOT_A_NUMBER, i);
    const size_t n = ink->xy.size() - start;
    if (n % 2) return fail(KS_INK_ODD_COUNT, i);
    if (!AllFinite(ink->xy.data() + start, n)) return fail(KS_INK_NOT_FINITE, i);
    ink->counts.push_back(int32_t(n));
  }
  info.coords = int64_t(ink->xy.size());
  if (dict.hasKey("/PSI")) {
    QPDFObjectHandle psi = dict.getKey("/PSI");
    info.pressure = psi.isArray() ? 2 : 1;
    if (psi.isArray()) {
      if (psi.getArrayNItems() != strokes) return fail(KS_INK_PRESSURE_STROKES, -1);
      ink->pressure.reserve(ink->xy.size() / 2);
      for (int i = 0; i < strokes; ++i) {
        QPDFObjectHandle p = psi.getArrayItem(i);
        const size_t start = ink->pressure.size();
        if (!p.isArray() || !AppendNumbers(p, ink->pressure) ||
            ink->pressure.size() - start != size_t(ink->counts[size_t(i)] / 2))
          return fail(KS_INK_PRESSURE_POINTS, i);
        if (!AllFinite(ink->pressure.data() + start, ink->pressure.size() - start))
          return fail(KS_INK_PRESSURE_POINTS, i);
      }
    }
  }
  Remember(dict, ink);
  return ink;
}

// A number as the plug-in's own writer puts it into PDF: six decimals at
// most, no zeros at the end, integral values as integers.
QPDFObjectHandle Number(float value) {
  char text[ks::kFixedTextMax];
  char* end = ks::WriteFixed(text, value, 6);
  if (std::find(text, end, '.') != end) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  if (end - text == 2 && text[0] == '-' && text[1] == '0') return QPDFObjectHandle::newInteger(0);
  if (std::find(text, end, '.') == end) {
    long long whole = 0;
    std::from_chars(text, end, whole);
    return QPDFObjectHandle::newInteger(whole);
  }
  return QPDFObjectHandle::newReal(std::string(text, end));
}

QPDFObjectHandle Arrays(const int32_t* counts, int32_t strokes, const float* values, int per) {
  std::vector<QPDFObjectHandle> list;
  list.reserve(size_t(strokes));
  std::vector<QPDFObjectHandle> items;
  for (int32_t s = 0; s < strokes; ++s) {
    const size_t n = size_t(counts[s] / per);
    items.clear();
    items.reserve(n);
    for (size_t i = 0; i < n; ++i) items.push_back(Number(values[i]));
    values += n;
    list.push_back(QPDFObjectHandle::newArray(items));
  }
  return QPDFObjectHandle::newArray(list);
}

}  // namespace

namespace kshost::direct {

int32_t InkGetInfo(KPD_Dictionary ink, KS_InkInfo* out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!out || out->size < sizeof(KS_InkInfo)) return 0;
    QPDFObjectHandle dict = DictOf(ink);
    KS_InkInfo info{};
    info.size = sizeof info;
    info.problem = KS_INK_NO_LIST;
    info.problemStroke = -1;
    if (dict.isInitialized()) info = Read(dict)->info;
    *out = info;
    return info.problem == KS_INK_OK ? 1 : 0;
  });
}

int32_t InkGetStrokes(KPD_Dictionary ink, int32_t* coordCounts, int32_t strokes, float* xy, int64_t coordCount,
                      float* pressure) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle dict = DictOf(ink);
    if (!dict.isInitialized()) return 0;
    auto data = Read(dict);
    const KS_InkInfo& info = data->info;
    if (info.problem != KS_INK_OK || strokes != info.strokes || coordCount != info.coords) return 0;
    if ((strokes > 0 && !coordCounts) || (coordCount > 0 && !xy)) return 0;
    if (pressure && info.pressure != 2) return 0;
    std::copy(data->counts.begin(), data->counts.end(), coordCounts);
    std::copy(data->xy.begin(), data->xy.end(), xy);
    if (pressure) std::copy(data->pressure.begin(), data->pressure.end(), pressure);
    return 1;
  });
}

int32_t InkSetStrokes(KPD_Dictionary ink, const int32_t* coordCounts, int32_t strokes, const float* xy,
                      const float* pressure) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle dict = DictOf(ink);
    if (!dict.isInitialized() || strokes < 0 || (strokes > 0 && !coordCounts)) return 0;
    if (!kshost::pdf::MayChange(*FromKpd(ink))) return 0;
    int64_t total = 0;
    for (int32_t s = 0; s < strokes; ++s) {
      if (coordCounts[s] < 0 || coordCounts[s] % 2) return 0;
      total += coordCounts[s];
    }
    if (total > kMaxCoords || (total > 0 && !xy)) return 0;
    if (!AllFinite(xy, size_t(total)) || (pressure && !AllFinite(pressure, size_t(total / 2)))) return 0;

    auto kept = std::make_shared<InkBuffers>();
    kept->info.size = sizeof(KS_InkInfo);
    kept->info.strokes = strokes;
    kept->info.coords = total;
    kept->info.problemStroke = -1;
    kept->counts.assign(coordCounts, coordCounts + strokes);
    kept->xy.assign(xy, xy + total);
    dict.replaceKey("/InkList", Arrays(coordCounts, strokes, xy, 1));
    if (pressure) {
      dict.replaceKey("/PSI", Arrays(coordCounts, strokes, pressure, 2));
      kept->info.pressure = 2;
      kept->pressure.assign(pressure, pressure + total / 2);
    }
    kshost::pdf::NoteChange(*FromKpd(ink));
    // Without new pressure data a "PSI" entry stays as it was; the next
    // read looks at it afresh.
    if (pressure || !dict.hasKey("/PSI")) Remember(dict, std::move(kept));
    return 1;
  });
}

int32_t AppDocumentCount(void) { return static_cast<int32_t>(Editor::Get().Documents().size()); }

KA_Document AppGetDocument(int32_t index) {
  const std::vector<KA_Document> docs = Editor::Get().Documents();
  return index >= 0 && size_t(index) < docs.size() ? docs[size_t(index)] : nullptr;
}

int32_t AppDocNotifyPageChanged(KA_Document doc, int32_t pageIndex) {
  if (!Editor::Get().IsLiveDocument(doc) || pageIndex < 0) return 0;
  Editor::Get().FirePageChanged(doc, pageIndex);
  return 1;
}

}  // namespace kshost::direct

namespace kshost::direct {

int32_t InkKeepRuns(KPD_Dictionary ink, const int32_t* runs, int32_t runCount) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle dict = DictOf(ink);
    if (!dict.isInitialized() || runCount < 0 || (runCount > 0 && !runs)) return 0;
    if (!kshost::pdf::MayChange(*FromKpd(ink))) return 0;
    QPDFObjectHandle list = dict.getKey("/InkList");
    if (!list.isArray()) return 0;
    QPDFObjectHandle psi = dict.getKey("/PSI");
    const bool perPoint = psi.isArray();
    if (perPoint && psi.getArrayNItems() != list.getArrayNItems()) return 0;
    const int strokes = list.getArrayNItems();
    // Every piece is checked before anything changes.
    for (int32_t r = 0; r < runCount; ++r) {
      const int32_t s = runs[3 * r], first = runs[3 * r + 1], points = runs[3 * r + 2];
      if (s < 0 || s >= strokes || first < 0 || points < 1) return 0;
      QPDFObjectHandle stroke = list.getArrayItem(s);
      if (!stroke.isArray() || int64_t(first + int64_t(points)) * 2 > stroke.getArrayNItems()) return 0;
      if (perPoint) {
        QPDFObjectHandle p = psi.getArrayItem(s);
        if (!p.isArray() || p.getArrayNItems() * 2 != stroke.getArrayNItems()) return 0;
      }
    }
    // What the cache knows of the strokes now gives the buffers afterwards.
    std::shared_ptr<const InkBuffers> before = Cached(dict);
    std::vector<size_t> starts;
    if (before) {
      starts.resize(before->counts.size() + 1, 0);
      for (size_t i = 0; i < before->counts.size(); ++i) starts[i + 1] = starts[i] + size_t(before->counts[i]);
    }
    auto kept = std::make_shared<InkBuffers>();
    std::vector<QPDFObjectHandle> newList, newPsi, items;
    newList.reserve(size_t(runCount));
    for (int32_t r = 0; r < runCount; ++r) {
      const int32_t s = runs[3 * r], first = runs[3 * r + 1], points = runs[3 * r + 2];
      QPDFObjectHandle stroke = list.getArrayItem(s);
      items.clear();
      items.reserve(size_t(points) * 2);
      for (int32_t i = 2 * first; i < 2 * (first + points); ++i) items.push_back(stroke.getArrayItem(i));
      newList.push_back(QPDFObjectHandle::newArray(items));
      if (perPoint) {
        QPDFObjectHandle p = psi.getArrayItem(s);
        items.clear();
        for (int32_t i = first; i < first + points; ++i) items.push_back(p.getArrayItem(i));
        newPsi.push_back(QPDFObjectHandle::newArray(items));
      }
      if (before) {
        kept->counts.push_back(2 * points);
        const float* from = before->xy.data() + starts[size_t(s)] + 2 * size_t(first);
        kept->xy.insert(kept->xy.end(), from, from + 2 * points);
        if (perPoint) {
          const float* p = before->pressure.data() + starts[size_t(s)] / 2 + size_t(first);
          kept->pressure.insert(kept->pressure.end(), p, p + points);
        }
      }
    }
    dict.replaceKey("/InkList", QPDFObjectHandle::newArray(newList));
    if (perPoint) dict.replaceKey("/PSI", QPDFObjectHandle::newArray(newPsi));
    kshost::pdf::NoteChange(*FromKpd(ink));
    if (before) {
      kept->info = before->info;
      kept->info.strokes = runCount;
      kept->info.coords = int64_t(kept->xy.size());
      Remember(dict, std::move(kept));
    }
    return 1;
  });
}

}  // namespace kshost::direct
