#include "plugin/unit_labels.h"

#include <array>
#include <iterator>
#include <vector>

#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

namespace {

constexpr const char16_t* kUnitKeys[] = {u"IDS_STRINGUNITI", u"IDS_MA_AREA_UNIT", u"IDS_MA_VOLUME_UNIT"};
constexpr std::u16string_view kEnglish = u"en-US";
constexpr std::u16string_view kLabelSeparator = u"\\n";  // backslash, n

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One pass, so "&amp;lt;" gives "&lt;", as an XML reader would.
std::u16string ReplaceEntities(std::u16string_view text) {
  static constexpr std::pair<std::u16string_view, char16_t> kEntities[] = {
      {u"&apos;", u'\''}, {u"&quot;", u'"'}, {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}};
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == u'&') {
      for (const auto& [entity, c] : kEntities) {
        if (text.substr(i, entity.size()) == entity) {
          out += c;
          i += entity.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// Lower case of one UTF-16 code unit for the scripts of the installed
// languages: Latin (with Latin-1 and Extended-A), Greek and Cyrillic.
char16_t ToLower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;
  if (c >= 0x100 && c <= 0x137) return c == 0x130 ? u'i' : (c | 1);  // pairs: even upper, odd lower
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;          // pairs: odd upper, even lower
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9) return c == 0x3A2 ? c : c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

std::vector<std::u16string_view> SplitLabels(std::u16string_view list) {
  std::vector<std::u16string_view> labels;
  for (;;) {
    size_t at = list.find(kLabelSeparator);
    labels.push_back(list.substr(0, at));
    if (at == std::u16string_view::npos) return labels;
    list.remove_prefix(at + kLabelSeparator.size());
  }
}

std::u16string JoinPath(std::u16string folder, std::u16string_view name) {
  if (!folder.empty() && folder.back() != u'/' && folder.back() != u'\\') folder += u'/';
  folder += name;
  return folder;
}

std::vector<std::u16string> ListFolders(const std::u16string& folder) {
  std::vector<std::u16string> names;
  KS_WideStringArray list = Host::WideStringArrayNew();
  if (!list) return names;
  if (Host::DirectoryList(folder.c_str(), 1, list)) {
    int32_t count = Host::WideStringArrayCount(list);
    for (int32_t i = 0; i < count; ++i) {
      Host::WideString name;
      if (Host::WideStringArrayGet(list, i, name.get())) names.push_back(name.str());
    }
  }
  Host::WideStringArrayDestroy(list);
  return names;
}

std::u16string AppFolder() {
  Host::WideString folder;
  return Host::AppGetAppFolder(folder.get()) ? folder.str() : std::u16string();
}

}  // namespace

std::u16string UnitLabelKey(std::u16string_view text) {
  std::u16string key = ReplaceEntities(Trim(text));
  for (char16_t& c : key) c = ToLower(c);
  return key;
}

std::u16string ReadTranslationText(std::u16string_view file, std::u16string_view key) {
  std::u16string attribute = u"id=\"";
  attribute += key;
  attribute += u'"';
  size_t at = file.find(attribute);
  if (at == std::u16string_view::npos) return {};
  size_t open = file.find(u'>', at + attribute.size());
  if (open == std::u16string_view::npos) return {};
  size_t close = file.find(u"</string>", open + 1);
  if (close == std::u16string_view::npos) return {};
  return ReplaceEntities(Trim(file.substr(open + 1, close - open - 1)));
}

UnitLabelTable BuildUnitLabelTable(const std::u16string& appFolder) {
  constexpr size_t kKeys = std::size(kUnitKeys);
  const std::u16string langFolder = JoinPath(appFolder, u"lang");
  std::vector<std::array<std::u16string, kKeys>> texts;  // per language, per key
  std::array<std::u16string, kKeys> english;
  for (const std::u16string& code : ListFolders(langFolder)) {
    std::u16string path = JoinPath(JoinPath(langFolder, code), u"Annotation_strings_" + code + u".xml.kw");
    if (!Host::FileExists(path.c_str())) continue;
    const std::u16string file = Widgets::ReadTranslationFile(path);
    std::array<std::u16string, kKeys> found;
    for (size_t k = 0; k < kKeys; ++k) found[k] = ReadTranslationText(file, kUnitKeys[k]);
    // English goes first, so that an English label always maps to itself
    // even when another language uses it for a different unit.
    if (code == kEnglish) {
      english = found;
      texts.insert(texts.begin(), std::move(found));
    } else {
      texts.push_back(std::move(found));
    }
  }

  UnitLabelTable table;
  for (const auto& language : texts) {
    for (size_t k = 0; k < kKeys; ++k) {
      const std::u16string& text = language[k];
      if (text.empty() || english[k].empty()) continue;  // nothing to map to
      table.emplace(UnitLabelKey(text), english[k]);
      const auto labels = SplitLabels(text);
      const auto englishLabels = SplitLabels(english[k]);
      if (labels.size() < 2) continue;  // a single label is the whole text, done above
      for (size_t i = 0; i < labels.size() && i < englishLabels.size(); ++i) {
        std::u16string label = UnitLabelKey(labels[i]);
        if (!label.empty()) table.emplace(std::move(label), std::u16string(Trim(englishLabels[i])));
      }
    }
  }
  return table;
}

std::u16string NormalizeUnitLabel(const UnitLabelTable& table, const std::u16string& label) {
  std::u16string trimmed(Trim(label));
  if (trimmed.empty()) return {};
  auto it = table.find(UnitLabelKey(trimmed));
  return it != table.end() ? it->second : trimmed;
}

std::u16string NormalizeUnitLabel(const std::u16string& label) {
  if (Trim(label).empty()) return {};
  static const UnitLabelTable table = BuildUnitLabelTable(AppFolder());
  return NormalizeUnitLabel(table, label);
}

}  // namespace AnnotationPlugin
