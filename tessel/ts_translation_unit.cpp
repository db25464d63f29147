#include "tessel/ts_translation_unit.h"

#include <pugixml.hpp>

#include <charconv>
#include <cstring>

#include "tessel/text_codec.h"

namespace Tessel {

bool TSTranslationUnit::LoadFile(const std::u16string& path) {
  messages_.clear();
  pugi::xml_document doc;
  if (!doc.load_file(detail::ToUtf8(path).c_str(), pugi::parse_default, pugi::encoding_utf8)) return false;
  const pugi::xml_node root = doc.child("translations");
  if (!root) return false;
  for (const auto& context : root.children("context")) {
    const std::u16string name = detail::ToUtf16(context.attribute("name").value());
    for (const auto& message : context.children("message")) {
      const char* id = message.attribute("id").value();
      const char* end = id + std::strlen(id);
      int number = 0;
      const auto parsed = std::from_chars(id, end, number);
      if (parsed.ec != std::errc() || parsed.ptr != end || id == end) continue;
      messages_[name][number] = detail::ToUtf16(message.text().get());
    }
  }
  return true;
}

void TSTranslationUnit::SetMessage(const std::u16string& context, int id, std::u16string text) {
  messages_[context][id] = std::move(text);
}

std::u16string TSTranslationUnit::Find(const std::u16string& context, int id, const std::u16string& fallback) const {
  const auto c = messages_.find(context);
  if (c == messages_.end()) return fallback;
  const auto m = c->second.find(id);
  return m == c->second.end() ? fallback : m->second;
}

}  // namespace Tessel
