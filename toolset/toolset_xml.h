// Helpers the toolset files and the toolset list share: XML documents
// owned for a scope, element text, paths in the toolset folder, and whole
// file writes. Private to toolset/.
#pragma once

#include <string>
#include <string_view>

#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {
namespace toolset_xml {

inline constexpr char kXmlHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// A document owned for this scope.
struct Xml {
  KX_Document doc = nullptr;
  ~Xml() { ks::host::XmlRelease(doc); }
};

inline std::string Text(KX_Element e) {
  ks::host::ByteString s;
  return e && ks::host::XmlGetText(e, s.get()) ? s.str() : std::string();
}

inline KX_Element Child(KX_Element e, const char* name) { return e ? ks::host::XmlFirstChild(e, name) : nullptr; }

inline void AppendText(KX_Element parent, const char* name, const std::string& text) {
  KX_Element e = ks::host::XmlAppendChild(parent, name);
  if (e && !text.empty()) ks::host::XmlSetText(e, text.c_str());
}

inline std::string Serialize(KX_Element root) {
  ks::host::ByteString s;
  if (!ks::host::XmlSerialize(root, 0, 0, s.get())) return {};
  return kXmlHeader + s.str();
}

inline std::u16string U16(std::string_view s) { return ks::ToUtf16(s); }
inline std::string U8(std::u16string_view s) { return ks::ToUtf8(s); }

inline bool EndsWith(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

inline std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return {};
  return folder.back() == u'/' ? folder + name : folder + u"/" + name;
}

inline std::u16string FileNameOf(const std::u16string& path) {
  size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

inline std::string Trim(std::string s) {
  const char* ws = " \t\r\n";
  size_t b = s.find_first_not_of(ws);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_of(ws) == std::string::npos ? std::string::npos : s.find_last_not_of(ws) - b + 1);
}

inline bool WriteFile(const std::u16string& path, const std::string& data) {
  // The host writes a temporary beside the file and renames it over.
  return !path.empty() && ks::host::FileWrite(path.c_str(), data.data(), data.size());
}

}  // namespace toolset_xml
}  // namespace AnnotationPlugin
