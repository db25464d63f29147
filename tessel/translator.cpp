#include "tessel/translator.h"

#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "tessel/text_codec.h"

namespace Tessel {
namespace {

constexpr char16_t kFallbackLanguage[] = u"en-US";

using Table = std::unordered_map<std::string, std::u16string>;

std::string LanguageFolder(const std::u16string& code) {
  return GetApplicationFolder() + "/lang/" + detail::ToUtf8(code);
}

std::string ModuleFile(const std::string& module, const std::u16string& code) {
  const std::string utf8Code = detail::ToUtf8(code);
  return LanguageFolder(code) + "/" + module + "_strings_" + utf8Code + ".xml.kw";
}

// All character data directly inside `node`, so that a comment in the
// middle of a string does not cut it short.
std::string TextOf(const pugi::xml_node& node) {
  std::string text;
  for (const auto& child : node.children())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) text += child.value();
  return text;
}

// The strings of one file; false, with `out` untouched, when the file is
// missing, not well-formed or not a <strings> document.
bool LoadTable(const std::string& path, Table& out) {
  pugi::xml_document doc;
  if (!doc.load_file(path.c_str(), pugi::parse_default, pugi::encoding_utf8)) return false;
  const pugi::xml_node root = doc.child("strings");
  if (!root) return false;
  Table table;
  for (const auto& entry : root.children("string")) {
    const char* id = entry.attribute("id").value();
    if (*id == '\0') continue;
    table.emplace(id, detail::ToUtf16(TextOf(entry)));  // the first of duplicates wins
  }
  out = std::move(table);
  return true;
}

// A module name is a file name part; anything that could leave the language
// folder is refused.
bool IsPlainName(const std::string& module) {
  return !module.empty() && module.find('/') == std::string::npos && module.find('\0') == std::string::npos &&
         module != "." && module != "..";
}

}  // namespace

struct Translator::State {
  mutable std::mutex mutex;
  std::vector<std::string> modules;
  std::map<std::string, Table> current;
  std::map<std::string, Table> fallback;
};

Translator::Translator() : state_(std::make_unique<State>()) {}
Translator::~Translator() = default;

Translator& Translator::GetInstance() {
  static Translator instance;
  return instance;
}

bool Translator::LoadStrings(const std::string& module) {
  if (!IsPlainName(module)) return false;
  const std::u16string code = GetCurrentLanguage();
  Table current, fallback;
  bool loaded = LoadTable(ModuleFile(module, code), current);
  if (code != kFallbackLanguage) loaded = LoadTable(ModuleFile(module, kFallbackLanguage), fallback) || loaded;

  std::lock_guard lock(state_->mutex);
  state_->current[module] = std::move(current);
  state_->fallback[module] = std::move(fallback);
  if (std::find(state_->modules.begin(), state_->modules.end(), module) == state_->modules.end())
    state_->modules.push_back(module);
  return loaded;
}

std::u16string Translator::ReadTranslationFile(const std::u16string& path) {
  if (path.empty()) return {};
  std::vector<std::string> candidates;
  const std::string utf8 = detail::ToUtf8(path);
  if (utf8.front() == '/') {
    candidates.push_back(utf8);
  } else {
    candidates.push_back(LanguageFolder(GetCurrentLanguage()) + "/" + utf8);
    candidates.push_back(LanguageFolder(kFallbackLanguage) + "/" + utf8);
  }
  for (const auto& candidate : candidates) {
    std::string bytes;
    if (!detail::ReadFileBytes(candidate, bytes)) continue;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    return detail::ToUtf16(bytes);
  }
  return {};
}

std::u16string Translator::Translate(const std::string& table, const std::string& key,
                                     const std::u16string& defaultText) const {
  {
    std::lock_guard lock(state_->mutex);
    for (const auto* tables : {&state_->current, &state_->fallback}) {
      const auto t = tables->find(table);
      if (t == tables->end()) continue;
      const auto entry = t->second.find(key);
      if (entry != t->second.end()) return entry->second;
    }
  }
  return defaultText.empty() ? detail::ToUtf16(key) : defaultText;
}

bool Translator::HasTranslation(const std::string& table, const std::string& key) const {
  std::lock_guard lock(state_->mutex);
  for (const auto* tables : {&state_->current, &state_->fallback}) {
    const auto t = tables->find(table);
    if (t != tables->end() && t->second.count(key)) return true;
  }
  return false;
}

void Translator::Reload() {
  std::vector<std::string> modules;
  {
    std::lock_guard lock(state_->mutex);
    modules = state_->modules;
  }
  for (const auto& module : modules) LoadStrings(module);
}

void Translator::Clear() {
  std::lock_guard lock(state_->mutex);
  state_->modules.clear();
  state_->current.clear();
  state_->fallback.clear();
}

}  // namespace Tessel
