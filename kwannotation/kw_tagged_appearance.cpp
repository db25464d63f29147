#include "kwannotation/kw_tagged_appearance.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "kwannotation/kw_annot_dict.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;
using dict::Owned;

namespace {

constexpr std::string_view kRefPrefix = "XFDFINDIRECTREF_";
constexpr int kMaxDepth = 256;
// Decoded stream bytes a text may carry in all; a stamp's pictures are far
// smaller, and beyond this the text is damage or an attack.
constexpr size_t kMaxDataBytes = 32u << 20;
constexpr size_t kMaxElements = 1000000;

const char kHexDigits[] = "0123456789ABCDEF";

// ---- writing ----------------------------------------------------------------------

std::string Bare(const std::string& name) { return !name.empty() && name[0] == '/' ? name.substr(1) : name; }

std::string FormatNumber(KPD_Object obj) {
  if (host::ObjectIsInteger(obj)) {
    std::string s;
    ks::AppendInt(s, host::ObjectGetInteger(obj));
    return s;
  }
  double v = host::ObjectGetNumber(obj);
  if (!std::isfinite(v)) v = 0;
  std::string s = ks::FormatFixed(v, 6);
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0" || s.empty()) s = "0";
  return s;
}

class Writer {
 public:
  std::string out;

  void Object(KPD_Object obj, const std::string& key) {
    // Deeper than the reader takes is damage; it is left out.
    if (!obj || depth_ >= kMaxDepth - 1) return;
    struct Level {
      int& depth;
      explicit Level(int& d) : depth(++d) {}
      ~Level() { --depth; }
    } level(depth_);
    std::string define;
    if (host::ObjectIsIndirect(obj)) {
      int32_t number = host::ObjectGetObjNum(obj);
      if (number <= 0) return;  // a reference that leads nowhere
      // Markers count objects in the order they are met, so that the same
      // picture gives the same text in any document.
      auto [it, first] = visited_.emplace(number, int(visited_.size()) + 1);
      std::string marker = std::string(kRefPrefix) + std::to_string(it->second);
      if (!first) {
        out += "<NAME KEY=\"" + KW_TaggedEscape(key) + "\" VAL=\"" + marker + "\"/>\n";
        return;
      }
      define = marker;
    }
    const std::string k = KW_TaggedEscape(key);
    switch (host::ObjectGetType(obj)) {
      case KPD_OBJ_BOOLEAN:
        out += "<BOOL KEY=\"" + k + "\" VAL=\"" + (host::BooleanGet(obj) ? "1" : "0") + "\"/>\n";
        break;
      case KPD_OBJ_NUMBER: out += "<FIXED KEY=\"" + k + "\" VAL=\"" + FormatNumber(obj) + "\"/>\n"; break;
      case KPD_OBJ_STRING: {
        host::ByteString bytes;
        host::StringGetBytes(obj, bytes.get());
        std::string s = bytes.str();
        // Text that cannot be written as it is says so in its encoding.
        if (KW_TaggedNeedsHex(s))
          out += "<STRING KEY=\"" + k + "\" ENCODING=\"HEX\">" + KW_TaggedHex(s) + "</STRING>\n";
        else
          out += "<STRING KEY=\"" + k + "\" ENCODING=\"ASCII\">" + KW_TaggedEscape(s) + "</STRING>\n";
        break;
      }
      case KPD_OBJ_NAME: {
        host::ByteString name;
        host::NameGet(obj, name.get());
        out += "<NAME KEY=\"" + k + "\" VAL=\"" + KW_TaggedEscape(Bare(name.str())) + "\"/>\n";
        break;
      }
      case KPD_OBJ_ARRAY: {
        out += "<ARRAY KEY=\"" + k + "\"" + Define(define) + ">\n";
        const int32_t n = host::ArrayCount(obj);
        for (int32_t i = 0; i < n; ++i) Object(host::ArrayGet(obj, i), "");
        out += "</ARRAY>\n";
        break;
      }
      case KPD_OBJ_DICTIONARY:
        out += "<DICT";
        if (!key.empty()) out += " KEY=\"" + k + "\"";
        out += Define(define) + ">\n";
        Entries(obj, {});
        out += "</DICT>\n";
        break;
      case KPD_OBJ_STREAM: Stream(obj, k, define); break;
      case KPD_OBJ_NULL: out += "<NULL KEY=\"" + k + "\"/>\n"; break;
      default: break;
    }
  }

 private:
  static std::string Define(const std::string& marker) {
    return marker.empty() ? std::string() : " DEFINE=\"" + marker + "\"";
  }

  void Entries(KPD_Dictionary d, const std::set<std::string>& skip) {
    const int32_t n = host::DictKeyCount(d);
    for (int32_t i = 0; i < n; ++i) {
      host::ByteString name;
      if (!host::DictKeyAt(d, i, name.get())) continue;
      std::string key = name.str();
      if (skip.count(key)) continue;
      Object(host::DictGet(d, key.c_str()), Bare(key));
    }
  }

  void Stream(KPD_Stream stream, const std::string& k, const std::string& define) {
    out += "<STREAM KEY=\"" + k + "\" DEFINE=\"" + define + "\">\n";
    host::ByteString decoded;
    const bool readable = host::StreamGetData(stream, 1, decoded.get());
    std::string data = decoded.str();
    KPD_Dictionary sd = host::StreamGetDict(stream);
    if (readable && !KW_TaggedNeedsHex(data)) {
      // The decoded text stands for itself: the filters no longer apply.
      Entries(sd, {"/Length", "/Filter", "/DecodeParms", "/DL"});
      out += "<DATA MODE=\"FILTERED\" ENCODING=\"ASCII\">" + KW_TaggedEscape(data) + "</DATA>\n";
    } else {
      host::ByteString raw;
      host::StreamGetData(stream, 0, raw.get());
      Entries(sd, {"/Length", "/DL"});
      out += "<DATA MODE=\"RAW\" ENCODING=\"HEX\">" + KW_TaggedHex(raw.str()) + "</DATA>\n";
    }
    out += "</STREAM>\n";
  }

  std::map<int32_t, int> visited_;  // object number -> marker number
  int depth_ = 1;  // the root element
};

// ---- reading ----------------------------------------------------------------------

struct Tag {
  std::string name;
  std::map<std::string, std::string> attrs;
  bool closing = false;    // "</NAME>"
  bool selfClosed = false;  // "<NAME .../>"
  std::string Attr(const char* a) const {
    auto it = attrs.find(a);
    return it == attrs.end() ? std::string() : it->second;
  }
};

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  static const std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      bool done = false;
      for (const auto& [entity, c] : kEntities)
        if (s.substr(i, entity.size()) == entity) {
          out += c;
          i += entity.size() - 1;
          done = true;
          break;
        }
      if (done) continue;
    }
    out += s[i];
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool FromHex(std::string_view s, std::string* out) {
  out->clear();
  out->reserve(s.size() / 2);
  int high = -1;
  for (char c : s) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    int v = HexValue(c);
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      out->push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) out->push_back(static_cast<char>(high * 16));
  return true;
}

bool IsTrue(std::string v) {
  for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return v == "1" || v == "true";
}

bool ParseNumber(const std::string& text, double* out) {
  if (text.empty() || text.size() > 64) return false;
  size_t used = 0;
  try {
    *out = std::stod(text, &used);
  } catch (const std::exception&) {
    return false;
  }
  return used == text.size() && std::isfinite(*out) && std::fabs(*out) < 1e15;
}

// One element of the text, read before anything is made in the document,
// so that a text that fails changes nothing.
struct Node {
  std::string name;
  std::map<std::string, std::string> attrs;
  std::vector<Node> children;
  std::string data;  // STRING and DATA bytes, decoded
  bool raw = false;  // DATA of MODE "RAW"
  std::string Attr(const char* a) const {
    auto it = attrs.find(a);
    return it == attrs.end() ? std::string() : it->second;
  }
  std::string Marker() const {
    std::string m = Attr("DEFINE");
    return m.rfind(kRefPrefix, 0) == 0 ? m : std::string();
  }
};

bool IsLeaf(const std::string& n) {
  return n == "FIXED" || n == "INT" || n == "BOOL" || n == "KW_BOOL" || n == "NULL" || n == "NAME";
}

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  bool Parse(Node* root, std::string* reason) {
    Tag tag;
    if (NextTag(&tag) && !tag.closing && tag.name == "DICT") {
      if (Element(tag, 1, root)) {
        SkipBlanks();
        if (pos_ < s_.size()) Fail("text after the root element");
      }
    } else {
      Fail("the text does not begin with a DICT element");
    }
    if (!error_.empty() && reason) *reason = error_;
    return error_.empty();
  }

 private:
  bool Fail(const std::string& text) {
    if (error_.empty()) error_ = text + " (at byte " + std::to_string(pos_) + ")";
    return false;
  }

  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }

  bool NameChar(size_t at) const {
    return at < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[at])) || s_[at] == '_');
  }

  bool NextTag(Tag* tag) {
    SkipBlanks();
    if (pos_ >= s_.size() || s_[pos_] != '<') return Fail("an element was expected");
    if (++elements_ > kMaxElements) return Fail("too many elements");
    ++pos_;
    *tag = Tag{};
    if (pos_ < s_.size() && s_[pos_] == '/') {
      tag->closing = true;
      ++pos_;
    }
    while (NameChar(pos_)) tag->name += s_[pos_++];
    if (tag->name.empty()) return Fail("an element without a name");
    for (;;) {
      SkipBlanks();
      if (pos_ >= s_.size()) return Fail("an unfinished element");
      if (s_[pos_] == '>') {
        ++pos_;
        return true;
      }
      if (s_[pos_] == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '>') {
        if (tag->closing) return Fail("a malformed end tag");
        tag->selfClosed = true;
        pos_ += 2;
        return true;
      }
      std::string attr;
      while (NameChar(pos_)) attr += s_[pos_++];
      if (attr.empty() || tag->closing) return Fail("a malformed attribute");
      SkipBlanks();
      if (pos_ >= s_.size() || s_[pos_] != '=') return Fail("an attribute without a value");
      ++pos_;
      SkipBlanks();
      if (pos_ >= s_.size() || s_[pos_] != '"') return Fail("an attribute value without quotes");
      size_t end = s_.find('"', pos_ + 1);
      if (end == std::string_view::npos) return Fail("an unfinished attribute value");
      tag->attrs[attr] = Unescape(s_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
    }
  }

  // The text up to "</NAME>", which is consumed.
  bool TextUntilEnd(const std::string& name, std::string_view* text) {
    std::string end = "</" + name + ">";
    size_t at = s_.find(end, pos_);
    if (at == std::string_view::npos) return Fail("no end tag for " + name);
    *text = s_.substr(pos_, at - pos_);
    pos_ = at + end.size();
    return true;
  }

  bool Element(const Tag& tag, int depth, Node* node) {
    if (depth > kMaxDepth) return Fail("elements nested deeper than " + std::to_string(kMaxDepth) + " levels");
    node->name = tag.name;
    node->attrs = tag.attrs;
    const std::string& n = tag.name;
    if (IsLeaf(n)) {
      double v = 0;
      if ((n == "FIXED" || n == "INT") && !ParseNumber(node->Attr("VAL"), &v))
        return Fail("a number that cannot be read");
      if (tag.selfClosed) return true;
      Tag end;
      if (!NextTag(&end)) return false;
      return end.closing && end.name == n ? true : Fail("element " + n + " is not closed");
    }
    if (n == "STRING" || n == "DATA") {
      std::string_view text;
      if (tag.selfClosed) return true;
      if (!TextUntilEnd(n, &text)) return false;
      node->raw = n == "DATA" ? node->Attr("MODE") == "RAW" : node->Attr("ENCODING") == "HEX";
      if (node->raw && n == "DATA" && node->Attr("ENCODING") != "HEX") return Fail("RAW data that is not HEX");
      if ((node->raw ? text.size() / 2 : text.size()) > kMaxDataBytes - dataBytes_)
        return Fail("stream data beyond " + std::to_string(kMaxDataBytes >> 20) + " MB");
      if (node->raw) {
        if (!FromHex(text, &node->data)) return Fail("data that is not hexadecimal");
      } else {
        node->data = Unescape(text);
      }
      dataBytes_ += node->data.size();
      return true;
    }
    if (n != "DICT" && n != "ARRAY" && n != "STREAM") return Fail("an unknown element " + n);
    if (tag.selfClosed) return true;
    for (;;) {
      Tag child;
      if (!NextTag(&child)) return false;
      if (child.closing) return child.name == n ? Check(*node) : Fail("element " + n + " closed by " + child.name);
      if (child.name == "DATA" && n != "STREAM") return Fail("stream data outside a stream");
      node->children.emplace_back();
      if (!Element(child, depth + 1, &node->children.back())) return false;
    }
  }

  // A stream whose data is stored decoded may name only filters that
  // storing plainly undoes.
  bool Check(const Node& node) {
    if (node.name != "STREAM") return true;
    bool raw = false;
    for (const Node& c : node.children)
      if (c.name == "DATA") raw = c.raw;
    if (raw) return true;
    for (const Node& c : node.children) {
      if (c.Attr("KEY") != "Filter") continue;
      std::vector<std::string> names;
      if (c.name == "NAME") names.push_back(c.Attr("VAL"));
      if (c.name == "ARRAY")
        for (const Node& f : c.children) names.push_back(f.name == "NAME" ? f.Attr("VAL") : std::string());
      if (c.name != "NAME" && c.name != "ARRAY") names.push_back({});
      for (const std::string& f : names)
        if (f != "FlateDecode") return Fail("a FILTERED stream with the filter \"" + f + "\", which is not known");
    }
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
  size_t elements_ = 0;
  size_t dataBytes_ = 0;
  std::string error_;
};

// Makes the objects of a parsed text. Objects that a DEFINE names are made
// first (empty), so that a reference finds its object wherever it stands,
// a cycle included.
class Builder {
 public:
  explicit Builder(KPD_Document doc) : doc_(doc) {}

  void Predefine(const Node& node) {
    std::string marker = node.Marker();
    if (!marker.empty() && !defined_.count(marker)) {
      KPD_Object obj = nullptr;
      if (node.name == "STREAM") {
        obj = host::DocNewStream(doc_, "", 0);
      } else if (node.name == "DICT" || node.name == "ARRAY") {
        Owned direct(node.name == "DICT" ? host::DictNew() : host::ArrayNew());
        obj = direct ? host::DocMakeIndirect(doc_, direct.get()) : nullptr;
      }
      if (obj) defined_[marker] = {obj, false};
    }
    for (const Node& c : node.children) Predefine(c);
  }

  // The root dictionary, owned.
  KPD_Object Root(const Node& root) {
    KPD_Object dict = host::DictNew();
    if (dict) Fill(root, dict);
    return dict;
  }

 private:
  struct Defined {
    KPD_Object obj;
    bool filled;
  };

  // Puts the object of `node` into `parent` (under its KEY, or appended).
  void Place(const Node& node, KPD_Object parent, bool inArray) {
    std::string key = "/" + node.Attr("KEY");
    if (!inArray && key == "/") return;  // a dictionary entry needs a key
    auto put = [&](KPD_Object obj) {
      if (!obj) return;
      if (inArray)
        host::ArrayAppend(parent, obj);
      else
        host::DictSet(parent, key.c_str(), obj);
    };
    const std::string& n = node.name;
    if (n == "NAME") {
      std::string v = node.Attr("VAL");
      if (v.rfind(kRefPrefix, 0) == 0) {
        auto it = defined_.find(v);
        if (it != defined_.end()) put(it->second.obj);
        return;  // nothing in the text defines it: the entry goes
      }
      if (v.empty()) return;
      Owned name(host::NameNew(("/" + v).c_str()));
      put(name.get());
      return;
    }
    if (n == "FIXED" || n == "INT") {
      double v = 0;
      if (!ParseNumber(node.Attr("VAL"), &v)) return;
      Owned num(v == std::floor(v) && std::fabs(v) < 2147483648.0 ? host::IntegerNew(int64_t(v)) : host::NumberNew(v));
      put(num.get());
      return;
    }
    if (n == "BOOL" || n == "KW_BOOL") {
      Owned b(host::BooleanNew(IsTrue(node.Attr("VAL")) ? 1 : 0));
      put(b.get());
      return;
    }
    if (n == "NULL") {
      Owned null(host::NullNew());
      put(null.get());
      return;
    }
    if (n == "STRING") {
      Owned str(host::StringNew(node.data.data(), node.data.size()));
      put(str.get());
      return;
    }
    auto it = defined_.find(node.Marker());
    if (it != defined_.end() && !it->second.filled) {
      it->second.filled = true;
      Fill(node, it->second.obj);
      put(it->second.obj);
      return;
    }
    if (n == "STREAM") {
      KPD_Stream stream = host::DocNewStream(doc_, "", 0);
      if (!stream) return;
      Fill(node, stream);
      put(stream);
      return;
    }
    Owned container(n == "DICT" ? host::DictNew() : host::ArrayNew());
    if (!container) return;
    Fill(node, container.get());
    put(container.get());
  }

  void Fill(const Node& node, KPD_Object obj) {
    if (node.name == "STREAM") {
      KPD_Dictionary sd = host::StreamGetDict(obj);
      const Node* data = nullptr;
      for (const Node& c : node.children) {
        if (c.name == "DATA") {
          data = &c;
          continue;
        }
        std::string key = c.Attr("KEY");
        if (key == "Length" || key == "DL") continue;
        // Decoded data is stored plainly and its filter no longer applies;
        // the filter of RAW data is set once the data is in.
        if (key == "Filter" || key == "DecodeParms") continue;
        Place(c, sd, false);
      }
      if (data) host::StreamSetData(obj, data->data.data(), data->data.size());
      // StreamSetData stores bytes as they are; the filters of RAW data say
      // what they are.
      if (data && data->raw)
        for (const Node& c : node.children)
          if (c.Attr("KEY") == "Filter" || c.Attr("KEY") == "DecodeParms") Place(c, sd, false);
      return;
    }
    const bool array = node.name == "ARRAY";
    for (const Node& c : node.children) Place(c, obj, array);
  }

  KPD_Document doc_;
  std::map<std::string, Defined> defined_;
};

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

bool KW_TaggedNeedsHex(std::string_view text) {
  if (text.size() >= 4096) return true;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u >= 128) return true;
  }
  return false;
}

std::string KW_TaggedHex(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    out += kHexDigits[u >> 4];
    out += kHexDigits[u & 15];
  }
  return out;
}

std::string KW_TaggedEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\'': out += "&apos;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string KW_WriteTaggedAppearance(KPD_Dictionary ap) {
  if (!ap) return {};
  Writer w;
  w.out = "<DICT KEY=\"AP\">\n";
  const int32_t n = host::DictKeyCount(ap);
  for (int32_t i = 0; i < n; ++i) {
    host::ByteString name;
    if (!host::DictKeyAt(ap, i, name.get())) continue;
    w.Object(host::DictGet(ap, name.str().c_str()), Bare(name.str()));
  }
  w.out += "</DICT>\n";
  return w.out;
}

KPD_Dictionary KW_ReadTaggedAppearance(KPD_Document doc, std::string_view text, std::string* reason) {
  if (!doc) {
    if (reason) *reason = "no document";
    return nullptr;
  }
  Node root;
  if (!Parser(text).Parse(&root, reason)) return nullptr;
  Builder builder(doc);
  builder.Predefine(root);
  return builder.Root(root);
}

std::string KW_EncodeTaggedText(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kBase64[(v >> s) & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool KW_DecodeTaggedText(std::string_view text, std::string* bytes) {
  bytes->clear();
  bytes->reserve(text.size() / 4 * 3);
  uint32_t v = 0;
  int bits = 0;
  bool ended = false;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (c == '=') {
      ended = true;
      continue;
    }
    const char* at = c ? std::strchr(kBase64, c) : nullptr;
    if (!at || ended) return false;
    v = (v << 6) | uint32_t(at - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes->push_back(static_cast<char>((v >> bits) & 0xFF));
    }
  }
  return true;
}

}  // namespace kwannotation
