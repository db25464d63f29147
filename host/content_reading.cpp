#include "host/content_reading.h"

#include <qpdf/BufferInputSource.hh>

#include <charconv>
#include <cmath>

namespace kshost::content {

Matrix Concat(const Matrix& m, const Matrix& then) {
  return {m.a * then.a + m.b * then.c, m.a * then.b + m.b * then.d, m.c * then.a + m.d * then.c,
          m.c * then.b + m.d * then.d, m.e * then.a + m.f * then.c + then.e, m.e * then.b + m.f * then.d + then.f};
}

Pt Apply(const Matrix& m, double x, double y) { return {m.a * x + m.c * y + m.e, m.b * x + m.d * y + m.f}; }

bool Finite(const Matrix& m) {
  return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
         std::isfinite(m.e) && std::isfinite(m.f);
}

bool ParseNumber(const std::string& text, double* out) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  auto r = std::from_chars(begin, end, *out);
  return r.ec == std::errc() && std::isfinite(*out);
}

namespace {

// Steps over an inline image whose BI the tokenizer has just read: its
// dictionary runs to ID, its data to EI.
void SkipInlineImage(QPDFTokenizer& tokenizer, std::shared_ptr<InputSource> const& input) {
  for (;;) {
    QPDFTokenizer::Token t = tokenizer.readToken(input, "content", true);
    if (t.getType() == QPDFTokenizer::tt_eof) return;
    if (t.isWord("ID")) break;
  }
  char skipped;
  input->read(&skipped, 1);  // the white space after ID
  tokenizer.expectInlineImage(input);
  QPDFTokenizer::Token data = tokenizer.readToken(input, "content", true);
  if (data.getType() == QPDFTokenizer::tt_eof) return;
  tokenizer.readToken(input, "content", true);  // EI
}

}  // namespace

OperatorReader::OperatorReader(std::string const& content)
    : input_(std::make_shared<BufferInputSource>("content", content)) {
  tokenizer_.allowEOF();
}

bool OperatorReader::Next(Operation* out) {
  out->numbers.clear();
  out->operandCount = 0;
  out->lastName.clear();
  out->arrayNumbers = 0;
  int nesting = 0;  // inside an array or dictionary operand
  for (;;) {
    QPDFTokenizer::Token token = tokenizer_.readToken(input_, "content", true);
    const auto type = token.getType();
    switch (type) {
      case QPDFTokenizer::tt_eof: return false;
      case QPDFTokenizer::tt_array_open:
      case QPDFTokenizer::tt_dict_open:
        if (nesting++ == 0) out->arrayNumbers = 0;
        continue;
      case QPDFTokenizer::tt_array_close:
      case QPDFTokenizer::tt_dict_close:
        if (nesting > 0 && --nesting == 0) ++out->operandCount;
        continue;
      default: break;
    }
    const bool number = type == QPDFTokenizer::tt_integer || type == QPDFTokenizer::tt_real;
    if (nesting > 0) {
      if (number) ++out->arrayNumbers;
      continue;
    }
    if (number) {
      double v = 0;
      if (!ParseNumber(token.getValue(), &v)) v = std::nan("");
      out->numbers.push_back(v);
      ++out->operandCount;
      continue;
    }
    if (type == QPDFTokenizer::tt_name) {
      out->lastName = token.getValue();
      ++out->operandCount;
      continue;
    }
    if (type != QPDFTokenizer::tt_word) {
      ++out->operandCount;
      continue;
    }
    out->op = token.getValue();
    if (out->op == "BI") SkipInlineImage(tokenizer_, input_);
    return true;
  }
}

std::string PageContent(QPDFObjectHandle contents, std::vector<QPDFObjGen>* read) {
  std::vector<QPDFObjectHandle> streams;
  if (contents.isStream()) streams.push_back(contents);
  if (contents.isArray())
    for (int i = 0; i < contents.getArrayNItems(); ++i)
      if (contents.getArrayItem(i).isStream()) streams.push_back(contents.getArrayItem(i));
  std::string all;
  for (QPDFObjectHandle& s : streams) {
    try {
      auto buffer = s.getStreamData(qpdf_dl_generalized);
      all.append(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
      all.push_back('\n');
    } catch (...) {
      continue;
    }
    if (read) read->push_back(s.getObjGen());
  }
  return all;
}

QPDFObjectHandle XObject(QPDFObjectHandle resources, const std::string& name) {
  if (!resources.isDictionary()) return QPDFObjectHandle::newNull();
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) return QPDFObjectHandle::newNull();
  return xobjects.getKey(name);
}

bool ReadForm(QPDFObjectHandle stream, QPDFObjectHandle callerResources, Form* out) {
  if (!stream.isStream()) return false;
  QPDFObjectHandle dict = stream.getDict();
  if (!dict.getKey("/Subtype").isNameAndEquals("/Form")) return false;
  out->og = stream.getObjGen();
  out->matrix = Matrix{};
  double n[6];
  if (pdf::ReadNumbers(dict.getKey("/Matrix"), n, 6)) out->matrix = {n[0], n[1], n[2], n[3], n[4], n[5]};
  QPDFObjectHandle own = dict.getKey("/Resources");
  out->resources = own.isDictionary() ? own : callerResources;
  try {
    auto buffer = stream.getStreamData(qpdf_dl_generalized);
    out->data.assign(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace kshost::content
