#include "tessel/text_codec.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sdk/ks_utf.h"

namespace Tessel::detail {

std::string ToUtf8(std::u16string_view text) { return ks::ToUtf8(text); }

std::u16string ToUtf16(std::string_view text) { return ks::ToUtf16(text); }

bool ReadFileBytes(const std::string& path, std::string& out) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  out = buffer.str();
  return true;
}

}  // namespace Tessel::detail
