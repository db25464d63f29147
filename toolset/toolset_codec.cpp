#include "toolset/toolset_codec.h"

#include <zlib.h>

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

bool DecodeToolsetField(std::string_view text, std::string* out, std::string* why, size_t limit) {
  out->clear();
  if (text.size() < 5 || text.substr(0, 2) != "78") {
    out->assign(text);
    return true;
  }
  auto fail = [&](const char* reason) {
    out->clear();
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
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(step);
    z.avail_out = sizeof step;
    rc = inflate(&z, Z_NO_FLUSH);
    size_t got = sizeof step - z.avail_out;
    if (out->size() + got > limit) return fail("the field inflates beyond 64 MiB");
    out->append(step, got);
  }
  if (rc != Z_STREAM_END) return fail("the compressed data is broken or cut short");
  return true;
}

}  // namespace AnnotationPlugin
