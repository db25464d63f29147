// XML documents and elements (selector 740) over pugixml.
//
// A KX_Document is a heap object the plug-in owns until XmlRelease. A
// KX_Element is pugixml's node record (xml_node::internal_object()), which
// stays at one address until its document is released or the node is removed,
// so the same element always comes back as the same handle.
//
// Parsing keeps text exactly as written, with one exception: a text node made
// only of white space that contains a line break is layout (indentation
// between elements) and is dropped. So a file written with indentation reads
// back to the same tree, and re-indents cleanly after edits, while the single
// space between two runs of mixed content ("<b>a</b> <i>b</i>") survives.
#include <pugixml.hpp>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/file_util.h"
#include "host/guard.h"
#include "host/host_functions.h"
#include "host/strings.h"
#include "host/utf.h"

struct KX_Document__ {
  pugi::xml_document xml;
};

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata;

using kshost::Guard;

pugi::xml_node NodeOf(KX_Element element) {
  return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(element));
}

// The element behind a handle; an empty node for null or a non-element.
pugi::xml_node ElementOf(KX_Element element) {
  pugi::xml_node node = NodeOf(element);
  return node.type() == pugi::node_element ? node : pugi::xml_node();
}

KX_Element HandleOf(pugi::xml_node node) {
  return node ? reinterpret_cast<KX_Element>(node.internal_object()) : nullptr;
}

bool IsText(pugi::xml_node node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// XML names as far as a writer can check them without Unicode tables: bytes
// of 0x80 and above (UTF-8 sequences) are accepted as name characters.
bool IsXmlName(const char* name) {
  if (!name || !*name) return false;
  auto start = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
  };
  auto rest = [&](unsigned char c) { return start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; };
  if (!start(static_cast<unsigned char>(name[0]))) return false;
  for (const char* p = name + 1; *p; ++p)
    if (!rest(static_cast<unsigned char>(*p))) return false;
  return true;
}

bool IsLayoutWhitespace(const char* text) {
  bool lineBreak = false;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') lineBreak = true;
    else if (*p != ' ' && *p != '\t' && *p != '\r') return false;
  }
  return lineBreak;
}

// Drops layout white space from the whole tree, without recursion so that a
// deeply nested file cannot exhaust the stack.
void DropLayoutWhitespace(pugi::xml_node root) {
  pugi::xml_node node = root.first_child();
  while (node && node != root) {
    if (node.type() == pugi::node_pcdata && IsLayoutWhitespace(node.value())) {
      pugi::xml_node next = node.next_sibling();
      pugi::xml_node parent = node.parent();
      parent.remove_child(node);
      node = next;
      // Climb until a sibling is found (or the walk is back at the root).
      while (!node && parent != root) {
        node = parent.next_sibling();
        parent = parent.parent();
      }
      continue;
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != root && !node.next_sibling()) node = node.parent();
    if (node != root) node = node.next_sibling();
  }
}

// "line L, column C: description", counting lines from 1 at each line feed
// and columns in bytes from 1.
std::string PositionMessage(std::string_view data, ptrdiff_t offset, const char* description) {
  const size_t end = static_cast<size_t>(std::clamp<ptrdiff_t>(offset, 0, static_cast<ptrdiff_t>(data.size())));
  size_t line = 1, lineStart = 0;
  for (size_t i = 0; i < end; ++i)
    if (data[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  return "line " + std::to_string(line) + ", column " + std::to_string(end - lineStart + 1) + ": " + description;
}

KX_Document Parse(std::string_view data, KS_ByteString error) {
  auto doc = std::make_unique<KX_Document__>();
  pugi::xml_parse_result result = doc->xml.load_buffer(data.data(), data.size(), kParseOptions);
  if (result && !doc->xml.document_element()) {
    result.status = pugi::status_no_document_element;
    result.offset = static_cast<ptrdiff_t>(data.size());
  }
  if (!result) {
    kshost::SetText(error, PositionMessage(data, result.offset, result.description()));
    return nullptr;
  }
  DropLayoutWhitespace(doc->xml);
  kshost::SetText(error, "");
  return doc.release();
}

std::string AbsoluteUtf8(const char16_t* path) {
  const auto view = kshost::ViewOf(path);
  return !view.empty() && view.front() == u'/' ? kshost::ToUtf8(view) : std::string();
}

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

// Depth of the element tree under `node`, counted up to `limit`.
int DepthUpTo(pugi::xml_node node, int limit) {
  int depth = 0, deepest = 0;
  pugi::xml_node cursor = node;
  while (cursor) {
    if (cursor.first_child()) {
      cursor = cursor.first_child();
      if (++depth > deepest && (deepest = depth) >= limit) return limit;
      continue;
    }
    while (cursor != node && !cursor.next_sibling()) {
      cursor = cursor.parent();
      --depth;
    }
    if (cursor == node) break;
    cursor = cursor.next_sibling();
  }
  return deepest;
}

// Indentation grows with depth, so an indented print of a tree nested tens of
// thousands deep would be quadratic in size; such trees are printed raw.
constexpr int kMaxIndentDepth = 256;

std::string Print(pugi::xml_node node, bool declaration, bool indent) {
  if (indent && DepthUpTo(node, kMaxIndentDepth) >= kMaxIndentDepth) indent = false;
  StringWriter writer;
  if (declaration) writer.text = kDeclaration;
  const unsigned flags = (indent ? pugi::format_indent : pugi::format_raw) | pugi::format_no_declaration;
  node.print(writer, "  ", flags, pugi::encoding_utf8);
  return std::move(writer.text);
}

}  // namespace

namespace kshost::direct {

KX_Document XmlNew(const char* rootName) {
  return Guard<KX_Document>(nullptr, [&]() -> KX_Document {
    // A document without a root could never get one through these functions.
    if (!IsXmlName(rootName)) return nullptr;
    auto doc = std::make_unique<KX_Document__>();
    return doc->xml.append_child(rootName) ? doc.release() : nullptr;
  });
}

KX_Document XmlParse(const char* data, size_t length, KS_ByteString error) {
  return Guard<KX_Document>(nullptr, [&]() -> KX_Document {
    return Parse(data ? std::string_view(data, length) : std::string_view(), error);
  });
}

KX_Document XmlParseFile(const char16_t* path, KS_ByteString error) {
  return Guard<KX_Document>(nullptr, [&]() -> KX_Document {
    const std::string utf8 = AbsoluteUtf8(path);
    auto data = utf8.empty() ? std::nullopt : ReadWholeFile(utf8);
    if (!data) {
      SetText(error, "cannot read the file");
      return nullptr;
    }
    return Parse(*data, error);
  });
}

void XmlRelease(KX_Document doc) { delete doc; }

int32_t XmlSaveFile(KX_Document doc, const char16_t* path) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    const std::string utf8 = AbsoluteUtf8(path);
    if (!doc || utf8.empty()) return 0;
    return WriteFileAtomically(utf8, Print(doc->xml, true, true), false) ? 1 : 0;
  });
}

int32_t XmlSerialize(KX_Element element, int32_t declaration, int32_t indent, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(element);
    if (!node || !out) return 0;
    return SetText(out, Print(node, declaration != 0, indent != 0)) ? 1 : 0;
  });
}

KX_Element XmlGetRoot(KX_Document doc) { return doc ? HandleOf(doc->xml.document_element()) : nullptr; }

int32_t XmlElementName(KX_Element element, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(element);
    return node && SetText(out, node.name()) ? 1 : 0;
  });
}

KX_Element XmlFirstChild(KX_Element element, const char* name) {
  pugi::xml_node node = ElementOf(element);
  if (!node) return nullptr;
  return HandleOf(name ? node.child(name) : node.find_child([](pugi::xml_node child) {
    return child.type() == pugi::node_element;
  }));
}

KX_Element XmlNextSibling(KX_Element element, const char* name) {
  pugi::xml_node node = ElementOf(element);
  if (!node) return nullptr;
  if (name) return HandleOf(node.next_sibling(name));
  for (pugi::xml_node next = node.next_sibling(); next; next = next.next_sibling())
    if (next.type() == pugi::node_element) return HandleOf(next);
  return nullptr;
}

KX_Element XmlParent(KX_Element element) {
  pugi::xml_node parent = ElementOf(element).parent();
  return parent.type() == pugi::node_element ? HandleOf(parent) : nullptr;
}

KX_Element XmlAppendChild(KX_Element parent, const char* name) {
  return Guard<KX_Element>(nullptr, [&]() -> KX_Element {
    pugi::xml_node node = ElementOf(parent);
    if (!node || !IsXmlName(name)) return nullptr;
    return HandleOf(node.append_child(name));
  });
}

KX_Element XmlAppendCopy(KX_Element parent, KX_Element source) {
  return Guard<KX_Element>(nullptr, [&]() -> KX_Element {
    pugi::xml_node node = ElementOf(parent);
    pugi::xml_node copied = ElementOf(source);
    if (!node || !copied) return nullptr;
    return HandleOf(node.append_copy(copied));
  });
}

int32_t XmlRemoveChild(KX_Element parent, KX_Element child) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(parent);
    pugi::xml_node removed = ElementOf(child);
    if (!node || !removed || removed.parent() != node) return 0;
    return node.remove_child(removed) ? 1 : 0;
  });
}

int32_t XmlGetAttribute(KX_Element element, const char* name, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!name) return 0;
    pugi::xml_attribute attr = ElementOf(element).attribute(name);
    return attr && SetText(out, attr.value()) ? 1 : 0;
  });
}

int32_t XmlSetAttribute(KX_Element element, const char* name, const char* value) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(element);
    if (!node || !IsXmlName(name)) return 0;
    pugi::xml_attribute attr = node.attribute(name);
    if (!attr) attr = node.append_attribute(name);
    return attr && attr.set_value(value ? value : "") ? 1 : 0;
  });
}

int32_t XmlRemoveAttribute(KX_Element element, const char* name) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(element);
    return node && name && node.remove_attribute(name) ? 1 : 0;
  });
}

int32_t XmlAttributeCount(KX_Element element) {
  int32_t count = 0;
  for (pugi::xml_attribute attr : ElementOf(element).attributes()) {
    (void)attr;
    ++count;
  }
  return count;
}

int32_t XmlAttributeAt(KX_Element element, int32_t index, KS_ByteString name, KS_ByteString value) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (index < 0) return 0;
    for (pugi::xml_attribute attr : ElementOf(element).attributes())
      if (index-- == 0) {
        SetText(name, attr.name());
        SetText(value, attr.value());
        return 1;
      }
    return 0;
  });
}

int32_t XmlGetText(KX_Element element, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(element);
    if (!node || !out) return 0;
    std::string text;
    for (pugi::xml_node child : node.children())
      if (IsText(child)) text += child.value();
    return SetText(out, text) ? 1 : 0;
  });
}

int32_t XmlSetText(KX_Element element, const char* text) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(element);
    if (!node) return 0;
    for (pugi::xml_node child = node.first_child(); child;) {
      pugi::xml_node next = child.next_sibling();
      if (IsText(child)) node.remove_child(child);
      child = next;
    }
    if (!text || !*text) return 1;
    pugi::xml_node added = node.prepend_child(pugi::node_pcdata);
    return added && added.set_value(text) ? 1 : 0;
  });
}

int32_t XmlAppendText(KX_Element parent, const char* text) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node node = ElementOf(parent);
    if (!node || !text) return 0;
    if (!*text) return 1;
    pugi::xml_node added = node.append_child(pugi::node_pcdata);
    return added && added.set_value(text) ? 1 : 0;
  });
}

int32_t XmlChildCount(KX_Element element) {
  int32_t count = 0;
  for (pugi::xml_node child : ElementOf(element).children())
    if (child.type() == pugi::node_element) ++count;
  return count;
}

// Mixed content walks elements and text nodes alike; comments and
// processing instructions are passed over.
KX_Element XmlFirstNode(KX_Element element) {
  pugi::xml_node node = ElementOf(element);
  if (!node) return nullptr;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element || IsText(child)) return HandleOf(child);
  return nullptr;
}

KX_Element XmlNextNode(KX_Element node) {
  pugi::xml_node current = NodeOf(node);
  if (!current || !(current.type() == pugi::node_element || IsText(current))) return nullptr;
  for (pugi::xml_node next = current.next_sibling(); next; next = next.next_sibling())
    if (next.type() == pugi::node_element || IsText(next)) return HandleOf(next);
  return nullptr;
}

int32_t XmlNodeText(KX_Element node, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    pugi::xml_node current = NodeOf(node);
    if (current.type() == pugi::node_element) return 1;
    if (!IsText(current)) return 0;
    SetText(out, current.value());
    return 2;
  });
}

}  // namespace kshost::direct
