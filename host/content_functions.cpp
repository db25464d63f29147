// The content tokenizer (selector 436): a fragment of content-stream text
// split into instructions, each a list of operands ended by an operator.
//
// Tokens come from qpdf's tokenizer; the operands are built here rather than
// by qpdf's object parser, which throws on the first malformed object. A
// malformed piece (a bad token, a stray "]" or ">>", an operator inside an
// array or dictionary, a dictionary with an odd number of items or a
// non-name key, nesting deeper than kMaxDepth) drops the operands gathered
// for the instruction so far; the next operator still ends an instruction,
// with whatever operands came after the damage. Every token is read once, so
// any input ends in time linear in its length.
#include "host/pdf_handles.h"  // first: it settles qpdf's PointerHolder mode

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <charconv>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_functions.h"

namespace {

using kshost::pdf::Arena;
using kshost::pdf::Guard;
using kshost::pdf::GuardVoid;

// No instruction of the content-stream language has more than a few dozen
// operands, and nothing nests arrays deeply; anything beyond is damage. The
// depth bound also keeps the recursive destruction of nested objects shallow.
constexpr size_t kMaxOperands = 1024;
constexpr size_t kMaxDepth = 64;

struct Instruction {
  std::string op;
  std::vector<QPDFObjectHandle> operands;
  size_t start = 0;  // first operand's first byte, or the operator's
  size_t end = 0;    // one past the operator's last byte
};

struct Content {
  std::vector<Instruction> instructions;
  // Lends the operand handles; they live as long as the content.
  Arena operands{nullptr};
};

Content* FromHandle(KPD_Content content) { return reinterpret_cast<Content*>(content); }

Instruction const* InstructionAt(KPD_Content content, int32_t index) {
  Content* c = FromHandle(content);
  if (!c || index < 0 || static_cast<size_t>(index) >= c->instructions.size()) return nullptr;
  return &c->instructions[static_cast<size_t>(index)];
}

QPDFObjectHandle IntegerObject(std::string const& text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  long long value = 0;
  auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (r.ec == std::errc() && r.ptr == digits.data() + digits.size()) return QPDFObjectHandle::newInteger(value);
  // Too long for 64 bits: keep the digits as a real of the same value.
  return QPDFObjectHandle::newReal(text);
}

// An array or dictionary being read: its items, and where it began.
struct OpenContainer {
  bool dictionary = false;
  size_t start = 0;
  std::vector<QPDFObjectHandle> items;
};

class Parser {
 public:
  Parser(char const* data, size_t length)
      : input_(std::make_shared<BufferInputSource>("content", std::string(data, length))) {
    tokenizer_.allowEOF();
  }

  std::vector<Instruction> Run() {
    for (;;) {
      QPDFTokenizer::Token token = tokenizer_.readToken(input_, "content", true);
      if (token.getType() == QPDFTokenizer::tt_eof) break;
      size_t start = static_cast<size_t>(input_->getLastOffset());
      size_t end = static_cast<size_t>(input_->tell());
      Take(token, start, end);
    }
    return std::move(instructions_);
  }

 private:
  void Take(QPDFTokenizer::Token const& token, size_t start, size_t end) {
    switch (token.getType()) {
      case QPDFTokenizer::tt_integer:
        Add(IntegerObject(token.getValue()), start);
        break;
      case QPDFTokenizer::tt_real:
        Add(QPDFObjectHandle::newReal(token.getValue()), start);
        break;
      case QPDFTokenizer::tt_name:
        // A name cannot hold a NUL byte, but a stray "#" ("/#e") comes out
        // of qpdf's tokenizer as one; such a name could never be written
        // back, so it is damage.
        if (token.getValue().find('\0') != std::string::npos) {
          Drop();
        } else {
          Add(QPDFObjectHandle::newName(token.getValue()), start);
        }
        break;
      case QPDFTokenizer::tt_string:
        Add(QPDFObjectHandle::newString(token.getValue()), start);
        break;
      case QPDFTokenizer::tt_bool:
        Add(QPDFObjectHandle::newBool(token.getValue() == "true"), start);
        break;
      case QPDFTokenizer::tt_null:
        Add(QPDFObjectHandle::newNull(), start);
        break;
      case QPDFTokenizer::tt_array_open:
      case QPDFTokenizer::tt_dict_open:
        if (open_.size() >= kMaxDepth) {
          Drop();
        } else {
          open_.push_back({token.getType() == QPDFTokenizer::tt_dict_open, start, {}});
        }
        break;
      case QPDFTokenizer::tt_array_close:
      case QPDFTokenizer::tt_dict_close:
        Close(token.getType() == QPDFTokenizer::tt_dict_close);
        break;
      case QPDFTokenizer::tt_word:
        Operator(token.getValue(), start, end);
        break;
      case QPDFTokenizer::tt_inline_image:
        break;  // image data is not an operand of anything
      default:  // bad tokens, braces of PostScript calculator functions
        Drop();
        break;
    }
  }

  void Add(QPDFObjectHandle object, size_t start) {
    if (!open_.empty()) {
      open_.back().items.push_back(std::move(object));
      return;
    }
    if (operands_.size() >= kMaxOperands) {
      Drop();
      return;
    }
    if (operands_.empty()) operandStart_ = start;
    operands_.push_back(std::move(object));
  }

  void Close(bool dictionary) {
    if (open_.empty() || open_.back().dictionary != dictionary) {
      Drop();
      return;
    }
    OpenContainer done = std::move(open_.back());
    open_.pop_back();
    QPDFObjectHandle object;
    if (dictionary) {
      if (done.items.size() % 2 != 0) {
        Drop();
        return;
      }
      std::map<std::string, QPDFObjectHandle> items;
      for (size_t i = 0; i < done.items.size(); i += 2) {
        if (!done.items[i].isName()) {
          Drop();
          return;
        }
        items[done.items[i].getName()] = done.items[i + 1];
      }
      object = QPDFObjectHandle::newDictionary(items);
    } else {
      object = QPDFObjectHandle::newArray(done.items);
    }
    Add(std::move(object), done.start);
  }

  void Operator(std::string const& op, size_t start, size_t end) {
    if (!open_.empty()) {
      // Arrays and dictionaries hold no operators: the instruction is broken
      // and the word ends it with nothing.
      Drop();
    }
    Instruction instruction;
    instruction.op = op;
    instruction.start = operands_.empty() ? start : operandStart_;
    instruction.end = end;
    instruction.operands = std::move(operands_);
    operands_.clear();
    instructions_.push_back(std::move(instruction));
    if (op == "ID") SkipInlineImage();
  }

  // The byte after "ID" is the blank that ended it; the image data runs from
  // the next one to "EI", which the tokenizer then reads as an operator.
  void SkipInlineImage() {
    char blank;
    input_->read(&blank, 1);
    tokenizer_.expectInlineImage(input_);
    tokenizer_.readToken(input_, "content", true);
  }

  void Drop() {
    open_.clear();
    operands_.clear();
  }

  std::shared_ptr<InputSource> input_;
  QPDFTokenizer tokenizer_;
  std::vector<Instruction> instructions_;
  std::vector<QPDFObjectHandle> operands_;
  size_t operandStart_ = 0;
  std::vector<OpenContainer> open_;
};

}  // namespace

KPD_Content kshost::direct::ContentParse(const char* data, size_t length) {
  return Guard<KPD_Content>(nullptr, [&]() -> KPD_Content {
    if (!data && length > 0) return nullptr;
    auto content = std::make_unique<Content>();
    content->instructions = Parser(data ? data : "", data ? length : 0).Run();
    return reinterpret_cast<KPD_Content>(content.release());
  });
}

void kshost::direct::ContentRelease(KPD_Content content) {
  GuardVoid([&] { delete FromHandle(content); });
}

int32_t kshost::direct::ContentCount(KPD_Content content) {
  Content* c = FromHandle(content);
  return c ? static_cast<int32_t>(c->instructions.size()) : 0;
}

int32_t kshost::direct::ContentGetOperator(KPD_Content content, int32_t index, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    Instruction const* instruction = InstructionAt(content, index);
    return instruction && kshost::pdf::SetBytes(out, instruction->op) ? 1 : 0;
  });
}

int32_t kshost::direct::ContentOperandCount(KPD_Content content, int32_t index) {
  Instruction const* instruction = InstructionAt(content, index);
  return instruction ? static_cast<int32_t>(instruction->operands.size()) : 0;
}

KPD_Object kshost::direct::ContentGetOperand(KPD_Content content, int32_t index, int32_t operand) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    Instruction const* instruction = InstructionAt(content, index);
    if (!instruction || operand < 0 || static_cast<size_t>(operand) >= instruction->operands.size()) return nullptr;
    return kshost::pdf::ToKpd(FromHandle(content)->operands.Lend(instruction->operands[static_cast<size_t>(operand)]));
  });
}

int32_t kshost::direct::ContentFindLast(KPD_Content content, const char* op, int32_t operandCount) {
  Content* c = FromHandle(content);
  if (!c || !op || operandCount < 0) return -1;
  for (size_t i = c->instructions.size(); i-- > 0;) {
    Instruction const& instruction = c->instructions[i];
    if (instruction.op == op && instruction.operands.size() == static_cast<size_t>(operandCount))
      return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t kshost::direct::ContentGetSpan(KPD_Content content, int32_t index, size_t* start, size_t* end) {
  Instruction const* instruction = InstructionAt(content, index);
  if (!instruction || !start || !end) return 0;
  *start = instruction->start;
  *end = instruction->end;
  return 1;
}
