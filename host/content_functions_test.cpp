// The content tokenizer: instructions, operands, spans and damaged input.
#include <random>

#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

struct ContentDeleter {
  void operator()(KPD_Content__* content) const { direct::ContentRelease(content); }
};
using Content = std::unique_ptr<KPD_Content__, ContentDeleter>;

Content ParseContent(std::string const& text) { return Content(direct::ContentParse(text.data(), text.size())); }

// "op/count" for each instruction, blank-separated: a compact picture of
// what the tokenizer made of a fragment.
std::string Shape(KPD_Content content) {
  std::string shape;
  for (int32_t i = 0; i < direct::ContentCount(content); ++i) {
    Bytes op;
    direct::ContentGetOperator(content, i, op);
    if (!shape.empty()) shape += ' ';
    shape += op.text() + "/" + std::to_string(direct::ContentOperandCount(content, i));
  }
  return shape;
}

std::string SpanText(std::string const& text, KPD_Content content, int32_t index) {
  size_t start = 0, end = 0;
  if (!direct::ContentGetSpan(content, index, &start, &end)) return "<no span>";
  return text.substr(start, end - start);
}

TEST(ContentTokenizer, SplitsInstructionsWithTheirOperandsAndSpans) {
  const std::string text = "  % a comment\n/Helv 12 Tf 0 g\r\n0.5 .25 -1 rg BT [(Hi) -250 (there)] TJ ET";
  Content content = ParseContent(text);
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(Shape(content.get()), "Tf/2 g/1 rg/3 BT/0 TJ/1 ET/0");

  EXPECT_EQ(direct::NameIs(direct::ContentGetOperand(content.get(), 0, 0), "/Helv"), 1);
  EXPECT_EQ(direct::ObjectGetNumber(direct::ContentGetOperand(content.get(), 0, 1)), 12);
  EXPECT_EQ(direct::ObjectGetNumber(direct::ContentGetOperand(content.get(), 2, 1)), 0.25);
  EXPECT_EQ(direct::ObjectGetNumber(direct::ContentGetOperand(content.get(), 2, 2)), -1);
  KPD_Object array = direct::ContentGetOperand(content.get(), 4, 0);
  EXPECT_EQ(direct::ArrayCount(array), 3);
  EXPECT_EQ(Write(array), "[ (Hi) -250 (there) ]");

  // Spans run from the first operand to the end of the operator; blanks and
  // comments before them are not part of it.
  EXPECT_EQ(SpanText(text, content.get(), 0), "/Helv 12 Tf");
  EXPECT_EQ(SpanText(text, content.get(), 1), "0 g");
  EXPECT_EQ(SpanText(text, content.get(), 3), "BT");
  EXPECT_EQ(SpanText(text, content.get(), 4), "[(Hi) -250 (there)] TJ");
  EXPECT_EQ(SpanText(text, content.get(), 5), "ET");
}

TEST(ContentTokenizer, OperandsBelongToTheContent) {
  const std::string text = "<< /MCID 3 /Alt (x) >> BDC 7 w";
  Content content = ParseContent(text);
  ASSERT_EQ(Shape(content.get()), "BDC/1 w/1");
  KPD_Object dict = direct::ContentGetOperand(content.get(), 0, 0);
  EXPECT_EQ(direct::ContentGetOperand(content.get(), 0, 0), dict);  // one handle per operand
  direct::ObjectRelease(dict);                                        // borrowed: no effect
  EXPECT_EQ(direct::ObjectGetInteger(direct::DictGet(dict, "/MCID")), 3);
  EXPECT_EQ(direct::ObjectGetType(direct::ContentGetOperand(content.get(), 1, 0)), KPD_OBJ_NUMBER);
  // A clone outlives the content.
  Owned clone(direct::ObjectClone(dict));
  content.reset();
  EXPECT_EQ(Write(clone.get()), "<< /Alt (x) /MCID 3 >>");
}

TEST(ContentTokenizer, FindLastMatchesOperatorAndOperandCount) {
  Content content = ParseContent("/F1 10 Tf /F2 12 Tf 9 Tf 1 0 0 RG");
  EXPECT_EQ(direct::ContentFindLast(content.get(), "Tf", 2), 1);
  EXPECT_EQ(direct::ContentFindLast(content.get(), "Tf", 1), 2);
  EXPECT_EQ(direct::ContentFindLast(content.get(), "Tf", 3), -1);
  EXPECT_EQ(direct::ContentFindLast(content.get(), "rg", 3), -1);  // operators are case-sensitive
  EXPECT_EQ(direct::ContentFindLast(content.get(), "RG", 3), 3);
  EXPECT_EQ(direct::ContentFindLast(content.get(), nullptr, 0), -1);
  EXPECT_EQ(direct::ContentFindLast(content.get(), "Tf", -1), -1);
  EXPECT_EQ(direct::ContentFindLast(nullptr, "Tf", 2), -1);
}

TEST(ContentTokenizer, BadHandlesIndexesAndArgumentsFailSoftly) {
  Content content = ParseContent("1 w");
  Bytes op;
  size_t start = 0, end = 0;
  EXPECT_EQ(direct::ContentCount(nullptr), 0);
  EXPECT_EQ(direct::ContentGetOperator(content.get(), 1, op), 0);
  EXPECT_EQ(direct::ContentGetOperator(content.get(), -1, op), 0);
  EXPECT_EQ(direct::ContentGetOperator(content.get(), 0, nullptr), 0);
  EXPECT_EQ(direct::ContentOperandCount(content.get(), 5), 0);
  EXPECT_EQ(direct::ContentGetOperand(content.get(), 0, 1), nullptr);
  EXPECT_EQ(direct::ContentGetOperand(content.get(), 0, -1), nullptr);
  EXPECT_EQ(direct::ContentGetSpan(content.get(), 1, &start, &end), 0);
  EXPECT_EQ(direct::ContentGetSpan(content.get(), 0, nullptr, &end), 0);
  EXPECT_EQ(direct::ContentParse(nullptr, 3), nullptr);
  Content empty(direct::ContentParse(nullptr, 0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(direct::ContentCount(empty.get()), 0);
  direct::ContentRelease(nullptr);
}

// Damage drops the operands gathered so far; the next operator still ends
// an instruction with what came after it.
TEST(ContentTokenizer, DamageDropsTheInstructionBeingRead) {
  const std::string deep = std::string(100, '[') + std::string(100, ']');
  const struct {
    std::string text;
    std::string shape;
  } cases[] = {
      {"1 ] 2 g", "g/1"},
      {"1 >> 2 g", "g/1"},
      {"[1 2 g /F 3 Tf", "g/0 Tf/2"},        // operator inside an array
      {"<< /A 1 g >> 3 w", "g/0 w/1"},        // operator inside a dictionary
      {"<< /A >> 3 w", "w/1"},                // odd number of items
      {"<< 1 2 >> 3 w", "w/1"},               // key that is not a name
      {"[1 >> 3 w", "w/1"},                   // mismatched closer
      {"<zz> 1 g", "z/0 g/1"},                // bad hex string: reading resumes after "<z"
      {"{ 1 } 2 w", "w/1"},                   // calculator braces
      {"1 g (unterminated", "g/1"},
      {"0 g [1 2", "g/1"},                    // unclosed array at the end
      {deep + " 4 w", "w/1"},                 // nesting beyond any real use
      {"[[[1]]] 2 d", "d/2"},
      {"99999999999999999999999 w", "w/1"},   // beyond 64 bits stays a number
      {"/#e 9 Tf 1 g", "Tf/1 g/1"},           // a stray "#" that would make a NUL
      {"/F#e1#0 9 Tf", "Tf/1"},
      {std::string("q BI /W 1 /H 1 ID \x01\xff\0 EI Q", 26), "q/0 BI/0 ID/4 EI/0 Q/0"},
  };
  for (auto const& c : cases) {
    Content content = ParseContent(c.text);
    ASSERT_NE(content, nullptr) << c.text;
    EXPECT_EQ(Shape(content.get()), c.shape) << c.text;
  }
  Content big = ParseContent("99999999999999999999999 w");
  EXPECT_GT(direct::ObjectGetNumber(direct::ContentGetOperand(big.get(), 0, 0)), 9.9e22);
}

TEST(ContentTokenizer, LargeGarbageEndsWithBoundedInstructions) {
  std::mt19937 random(12345);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string inputs[] = {
      noise,
      std::string(1 << 20, '['),
      std::string(1 << 20, '('),
      std::string(1 << 20, '<'),
  };
  for (auto const& input : inputs) {
    Content content = ParseContent(input);
    ASSERT_NE(content, nullptr);
    for (int32_t i = 0; i < direct::ContentCount(content.get()); ++i)
      ASSERT_LE(direct::ContentOperandCount(content.get(), i), 1024);
  }
  // Half a million numbers and no operator until the end: the instruction
  // is too long to be real and keeps no more than the bound.
  std::string numbers;
  for (int i = 0; i < 500000; ++i) numbers += "1 ";
  Content content = ParseContent(numbers + "Tf");
  ASSERT_EQ(direct::ContentCount(content.get()), 1);
  EXPECT_LE(direct::ContentOperandCount(content.get(), 0), 1024);
}

}  // namespace
}  // namespace kshost::pdf::test
