#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/host_functions.h"
#include "host/pdf_test_support.h"
#include "host/utf.h"

namespace direct = kshost::direct;
using kshost::pdf::test::Bytes;
using kshost::pdf::test::ReadFile;
using kshost::pdf::test::TempDir;
using kshost::pdf::test::WriteFile;

namespace {

struct XmlDeleter {
  void operator()(KX_Document__* doc) const { direct::XmlRelease(doc); }
};
using Xml = std::unique_ptr<KX_Document__, XmlDeleter>;

Xml Parse(std::string const& text, std::string* error = nullptr) {
  Bytes err;
  Xml doc(direct::XmlParse(text.data(), text.size(), err));
  if (error) *error = err.text();
  return doc;
}

std::string Serialize(KX_Element element, bool declaration = false, bool indent = false) {
  Bytes out;
  return direct::XmlSerialize(element, declaration, indent, out) ? out.text() : "<failed>";
}

std::string TextOf(KX_Element element) {
  Bytes out;
  return direct::XmlGetText(element, out) ? out.text() : "<failed>";
}

std::string Attribute(KX_Element element, const char* name) {
  Bytes out;
  return direct::XmlGetAttribute(element, name, out) ? out.text() : "<absent>";
}

}  // namespace

TEST(XmlFunctions, RoundTripKeepsEntitiesNonAsciiAndMixedContent) {
  const std::string source =
      "<body a=\"x &amp; &quot;y&quot; &lt;z&gt;\"><p>caf\xC3\xA9 &#x20AC; &lt;5&gt; &amp; \xE6\x97\xA5</p>"
      "<p><span>one</span> <span>two</span></p><![CDATA[raw <text>]]></body>";
  Xml doc = Parse(source);
  ASSERT_TRUE(doc);
  KX_Element body = direct::XmlGetRoot(doc.get());
  EXPECT_EQ(Attribute(body, "a"), "x & \"y\" <z>");
  KX_Element p = direct::XmlFirstChild(body, "p");
  EXPECT_EQ(TextOf(p), "caf\xC3\xA9 \xE2\x82\xAC <5> & \xE6\x97\xA5");
  EXPECT_EQ(TextOf(body), "raw <text>");  // CDATA counts as text, element children do not

  const std::string raw = Serialize(body);
  // Serialize, parse again and serialize: the second pass changes nothing, and
  // the single space between the two runs survives both passes.
  Xml again = Parse(raw);
  ASSERT_TRUE(again);
  EXPECT_EQ(Serialize(direct::XmlGetRoot(again.get())), raw);
  EXPECT_NE(raw.find("<span>one</span> <span>two</span>"), std::string::npos) << raw;
  EXPECT_NE(raw.find("&lt;5&gt; &amp;"), std::string::npos) << raw;
}

TEST(XmlFunctions, SerializeDeclarationAndIndent) {
  Xml doc(direct::XmlNew("Root"));
  KX_Element root = direct::XmlGetRoot(doc.get());
  direct::XmlSetAttribute(root, "Version", "1");
  direct::XmlSetText(direct::XmlAppendChild(root, "Title"), "A");
  EXPECT_EQ(Serialize(root), "<Root Version=\"1\"><Title>A</Title></Root>");
  EXPECT_EQ(Serialize(root, true, true),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root Version=\"1\">\n  <Title>A</Title>\n</Root>\n");

  // Indentation read back is layout, not text: the tree is the same as before.
  Xml reread = Parse(Serialize(root, true, true));
  ASSERT_TRUE(reread);
  KX_Element again = direct::XmlGetRoot(reread.get());
  EXPECT_EQ(TextOf(again), "");
  EXPECT_EQ(Serialize(again), Serialize(root));
}

TEST(XmlFunctions, ParseErrorsNameLineAndColumn) {
  struct Case {
    std::string text;
    std::string prefix;
  } cases[] = {
      {"<a>\n  <b>text\n", "line 2, column 10: "},           // truncated: ends inside <b>
      {"<a>\n<b></c>\n</a>", "line 2, column "},               // mismatched end tag
      {"<a x=1/>", "line 1, column "},                         // unquoted attribute
      {"", "line 1, column 1: "},                              // no root element
      {"<?xml version=\"1.0\"?>\n  ", "line 2, column 3: "},  // only a declaration
  };
  for (auto const& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.text, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << c.text << " -> " << error;
    EXPECT_GT(error.size(), c.prefix.size()) << "no description: " << error;
  }
  Bytes error;
  EXPECT_EQ(direct::XmlParse(nullptr, 5, error), nullptr);
  EXPECT_EQ(direct::XmlParse("<a", 2, nullptr), nullptr);  // no error string wanted
}

// Element functions skip text and comments and filter by name; the node
// walk sees text and elements in order.
TEST(XmlFunctions, NavigationOverElementsAndOverMixedContent) {
  Xml doc = Parse("<r>t1<a>in</a><!--c-->t2<b/><a id=\"2\"/>t3</r>");
  KX_Element r = direct::XmlGetRoot(doc.get());
  EXPECT_EQ(direct::XmlChildCount(r), 3);
  KX_Element first = direct::XmlFirstChild(r, nullptr);
  Bytes name;
  ASSERT_TRUE(direct::XmlElementName(first, name));
  EXPECT_EQ(name.text(), "a");
  KX_Element second = direct::XmlNextSibling(first, nullptr);
  ASSERT_TRUE(direct::XmlElementName(second, name));
  EXPECT_EQ(name.text(), "b");
  EXPECT_EQ(Attribute(direct::XmlNextSibling(first, "a"), "id"), "2");
  EXPECT_EQ(direct::XmlNextSibling(direct::XmlNextSibling(second, nullptr), nullptr), nullptr);
  EXPECT_EQ(direct::XmlParent(first), r);
  EXPECT_EQ(direct::XmlParent(r), nullptr);
  EXPECT_EQ(direct::XmlFirstChild(r, "a"), first);  // same element, same handle
  EXPECT_EQ(TextOf(r), "t1t2t3");

  std::vector<std::string> seen;
  for (KX_Element n = direct::XmlFirstNode(r); n; n = direct::XmlNextNode(n)) {
    Bytes text;
    const int32_t kind = direct::XmlNodeText(n, text);
    seen.push_back(kind == 2 ? "text:" + text.text() : direct::XmlElementName(n, name) ? "elem:" + name.text() : "?");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"text:t1", "elem:a", "text:t2", "elem:b", "elem:a", "text:t3"}));
  // A text node is no element: element functions refuse it.
  KX_Element text = direct::XmlFirstNode(r);
  EXPECT_FALSE(direct::XmlElementName(text, name));
  EXPECT_EQ(direct::XmlFirstNode(text), nullptr);
  EXPECT_EQ(direct::XmlNodeText(nullptr, name), 0);
  EXPECT_EQ(direct::XmlFirstNode(nullptr), nullptr);
}

TEST(XmlFunctions, TextAndAttributeEditing) {
  Xml doc = Parse("<r k=\"1\">old<c/>tail</r>");
  KX_Element r = direct::XmlGetRoot(doc.get());
  ASSERT_TRUE(direct::XmlSetText(r, "new"));
  EXPECT_EQ(Serialize(r), "<r k=\"1\">new<c/></r>");
  ASSERT_TRUE(direct::XmlAppendText(r, " & more"));
  EXPECT_EQ(TextOf(r), "new & more");
  ASSERT_TRUE(direct::XmlSetText(r, ""));
  EXPECT_EQ(Serialize(r), "<r k=\"1\"><c/></r>");

  EXPECT_TRUE(direct::XmlSetAttribute(r, "a", "x"));
  EXPECT_TRUE(direct::XmlSetAttribute(r, "k", "2"));  // replaced in place, order kept
  EXPECT_EQ(direct::XmlAttributeCount(r), 2);
  Bytes name, value;
  ASSERT_TRUE(direct::XmlAttributeAt(r, 0, name, value));
  EXPECT_EQ(name.text() + "=" + value.text(), "k=2");
  EXPECT_FALSE(direct::XmlAttributeAt(r, 2, name, value));
  EXPECT_FALSE(direct::XmlAttributeAt(r, -1, name, value));
  EXPECT_TRUE(direct::XmlRemoveAttribute(r, "k"));
  EXPECT_FALSE(direct::XmlRemoveAttribute(r, "k"));
  EXPECT_EQ(Attribute(r, "k"), "<absent>");

  // Names that would make the output unreadable are refused.
  for (const char* bad : {"", "a b", "1x", "a<b", "x=\"y\"", static_cast<const char*>(nullptr)}) {
    EXPECT_FALSE(direct::XmlSetAttribute(r, bad, "v")) << (bad ? bad : "null");
    EXPECT_EQ(direct::XmlAppendChild(r, bad), nullptr) << (bad ? bad : "null");
  }
  for (const char* bad : {"no good", "", static_cast<const char*>(nullptr)}) EXPECT_EQ(direct::XmlNew(bad), nullptr);
}

TEST(XmlFunctions, CopyBetweenDocumentsOutlivesTheSource) {
  Xml target(direct::XmlNew("Tools"));
  KX_Element copy;
  {
    Xml source = Parse("<Tool n=\"1\"><Name>Pen \xE2\x9C\x8E</Name><Dict>&lt;&lt;/A 1&gt;&gt;</Dict></Tool>");
    copy = direct::XmlAppendCopy(direct::XmlGetRoot(target.get()), direct::XmlGetRoot(source.get()));
    ASSERT_NE(copy, nullptr);
  }  // the source document is gone; the copy must not point into it
  EXPECT_EQ(Serialize(copy), "<Tool n=\"1\"><Name>Pen \xE2\x9C\x8E</Name><Dict>&lt;&lt;/A 1&gt;&gt;</Dict></Tool>");
  EXPECT_EQ(direct::XmlParent(copy), direct::XmlGetRoot(target.get()));

  // Copying an element into its own child ends (the copy is not copied again).
  KX_Element name = direct::XmlFirstChild(copy, "Name");
  ASSERT_NE(direct::XmlAppendCopy(name, copy), nullptr);
  EXPECT_EQ(direct::XmlChildCount(name), 1);

  EXPECT_FALSE(direct::XmlRemoveChild(direct::XmlGetRoot(target.get()), name));  // not a direct child
  EXPECT_TRUE(direct::XmlRemoveChild(copy, name));
  EXPECT_EQ(direct::XmlChildCount(copy), 1);
}

TEST(XmlFunctions, SaveFileIsAtomicAndReadsBack) {
  TempDir dir;
  const std::string path = dir / "t\xC3\xBC.toolset.xml";
  const std::u16string wide = kshost::ToUtf16(path);
  WriteFile(path, "old content");

  Xml doc(direct::XmlNew("Toolset"));
  direct::XmlSetText(direct::XmlAppendChild(direct::XmlGetRoot(doc.get()), "Title"), "\xC3\x9C");
  ASSERT_TRUE(direct::XmlSaveFile(doc.get(), wide.c_str()));
  EXPECT_EQ(ReadFile(path),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Toolset>\n  <Title>\xC3\x9C</Title>\n</Toolset>\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"t\xC3\xBC.toolset.xml"});  // no temporary left

  Bytes error;
  Xml loaded(direct::XmlParseFile(wide.c_str(), error));
  ASSERT_TRUE(loaded) << error.text();
  EXPECT_EQ(TextOf(direct::XmlFirstChild(direct::XmlGetRoot(loaded.get()), "Title")), "\xC3\x9C");

  // A folder that does not exist: the save fails and creates nothing.
  const std::u16string missing = kshost::ToUtf16(dir / "no/such.xml");
  EXPECT_FALSE(direct::XmlSaveFile(doc.get(), missing.c_str()));
  EXPECT_FALSE(direct::XmlSaveFile(doc.get(), u"relative.xml"));
  EXPECT_EQ(direct::XmlParseFile(missing.c_str(), error), nullptr);
  EXPECT_FALSE(error.text().empty());
}

TEST(XmlFunctions, NullHandlesAndHostileInputFailSoftly) {
  Bytes out;
  EXPECT_EQ(direct::XmlGetRoot(nullptr), nullptr);
  EXPECT_EQ(direct::XmlFirstChild(nullptr, nullptr), nullptr);
  EXPECT_EQ(direct::XmlNextSibling(nullptr, "a"), nullptr);
  EXPECT_EQ(direct::XmlParent(nullptr), nullptr);
  EXPECT_EQ(direct::XmlAppendChild(nullptr, "a"), nullptr);
  EXPECT_EQ(direct::XmlAppendCopy(nullptr, nullptr), nullptr);
  EXPECT_EQ(direct::XmlChildCount(nullptr), 0);
  EXPECT_EQ(direct::XmlAttributeCount(nullptr), 0);
  EXPECT_EQ(direct::XmlSerialize(nullptr, 1, 1, out), 0);
  EXPECT_EQ(direct::XmlGetText(nullptr, out), 0);
  EXPECT_EQ(direct::XmlSetText(nullptr, "x"), 0);
  EXPECT_EQ(direct::XmlSaveFile(nullptr, u"/tmp/x.xml"), 0);
  direct::XmlRelease(nullptr);

  // Nesting far deeper than any real file: parse, walk, copy and print without
  // exhausting the stack.
  const int depth = 200000;
  std::string deep;
  for (int i = 0; i < depth; ++i) deep += "<d>\n";
  for (int i = 0; i < depth; ++i) deep += "</d>\n";
  Xml doc = Parse(deep);
  ASSERT_TRUE(doc);
  Xml other(direct::XmlNew("r"));
  ASSERT_NE(direct::XmlAppendCopy(direct::XmlGetRoot(other.get()), direct::XmlGetRoot(doc.get())), nullptr);
  ASSERT_TRUE(direct::XmlSerialize(direct::XmlGetRoot(other.get()), 0, 1, out));
  // Printed raw despite the indent request: indentation would be quadratic.
  EXPECT_EQ(direct::ByteStringLength(out), size_t(depth) * 7 + 4);  // <r>, the <d>...</d> pairs, the innermost <d/>, </r>

  std::string error;
  EXPECT_FALSE(Parse(std::string("<a>\0</a>", 8), &error));
  EXPECT_FALSE(Parse("<!DOCTYPE a [" + std::string(100000, '<') + "]><a/>", &error));
}
