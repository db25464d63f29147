#include "toolset/toolset_codec.h"

#include <zlib.h>

#include <string>
#include <vector>

namespace AnnotationPlugin {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToolsetSizeText(size_t bytes) {
  return bytes >= (size_t{1} << 20) ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

std::string EncodeToolsetField(std::string_view value) {
  if (value.empty()) return {};
  uLongf bound = compressBound(static_cast<uLong>(value.size()));
  std::vector<Bytef> packed(bound);
  if (compress2(packed.data(), &bound, reinterpret_cast<const Bytef*>(value.data()),
                static_cast<uLong>(value.size()), 1) != Z_OK)
    return {};
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bound * 2);
  for (uLongf i = 0; i < bound; ++i) {
    text.push_back(kHex[packed[i] >> 4]);
    text.push_back(kHex[packed[i] & 15]);
  }
  return text;
}

namespace {

// Inflates the hex and zlib field `text` in 4096-byte steps, handing each
// step to `sink`; fails beyond `limit` bytes.
template <typename Sink>
bool Inflate(std::string_view text, size_t limit, std::string* why, bool* overLimit, Sink&& sink) {
  auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (text.size() % 2 != 0) return fail("hex text of odd length");
  // One inflater and one buffer a thread, reset for each field: a toolset
  // has thousands of fields, and zlib's 40 KiB of state made and freed for
  // each cost more than the inflating.
  struct Inflater {
    z_stream z{};
    bool ready = inflateInit(&z) == Z_OK;
    std::vector<Bytef> packed;
    ~Inflater() {
      if (ready) inflateEnd(&z);
    }
  };
  thread_local Inflater inflater;
  if (!inflater.ready) return fail("zlib could not start");
  std::vector<Bytef>& packed = inflater.packed;
  packed.resize(text.size() / 2);
  for (size_t i = 0; i < packed.size(); ++i) {
    int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return fail("a character that is no hex digit");
    packed[i] = static_cast<Bytef>(hi << 4 | lo);
  }
  z_stream& z = inflater.z;
  inflateReset(&z);
  z.next_in = packed.data();
  z.avail_in = static_cast<uInt>(packed.size());
  char step[4096];
  size_t total = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(step);
    z.avail_out = sizeof step;
    rc = inflate(&z, Z_NO_FLUSH);
    size_t got = sizeof step - z.avail_out;
    total += got;
    if (total > limit) {
      if (overLimit) *overLimit = true;
      return fail("the field inflates beyond " + ToolsetSizeText(limit));
    }
    sink(step, got);
  }
  if (rc != Z_STREAM_END) return fail("the compressed data is broken or cut short");
  return true;
}

bool IsPacked(std::string_view text) { return text.size() >= 5 && text.substr(0, 2) == "78"; }

}  // namespace

bool DecodeToolsetField(std::string_view text, std::string* out, std::string* why, size_t limit, bool* overLimit) {
  out->clear();
  if (overLimit) *overLimit = false;
  if (!IsPacked(text)) {
    out->assign(text);
    return true;
  }
  if (Inflate(text, limit, why, overLimit, [&](const char* bytes, size_t n) { out->append(bytes, n); })) return true;
  out->clear();
  return false;
}

bool MeasureToolsetField(std::string_view text, size_t* size, std::string* why, bool* overLimit, size_t limit) {
  *size = 0;
  if (overLimit) *overLimit = false;
  if (!IsPacked(text)) {
    *size = text.size();
    if (*size <= limit) return true;
    if (overLimit) *overLimit = true;
    if (why) *why = "the field is larger than " + ToolsetSizeText(limit);
    return false;
  }
  return Inflate(text, limit, why, overLimit, [&](const char*, size_t n) { *size += n; });
}

}  // namespace AnnotationPlugin
