// What every reader of content streams in the host needs: the current
// transformation, number operands read without the process locale, inline
// images stepped over, and form XObjects looked up and decoded. Internal to
// host/.
#pragma once

#include "host/pdf_handles.h"

#include <qpdf/InputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <memory>
#include <string>
#include <vector>

namespace kshost::content {

// [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f.
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

struct Pt {
  double x = 0, y = 0;
};

// `m` applied first, then `then`.
Matrix Concat(const Matrix& m, const Matrix& then);
Pt Apply(const Matrix& m, double x, double y);
bool Finite(const Matrix& m);

// A number token as a double; qpdf hands over the text as written ("+.5",
// "-3.", "12"). False for anything else and for a value that is not finite.
bool ParseNumber(const std::string& text, double* out);

// One operator of a content stream with its operands: the numbers among
// them (NaN for one that cannot be read), how many operands there were of
// any kind (an array or dictionary counts as one), the last name, and how
// many numbers the last array or dictionary held (a dash pattern).
struct Operation {
  std::string op;
  std::vector<double> numbers;
  size_t operandCount = 0;
  std::string lastName;
  size_t arrayNumbers = 0;

  // Exactly `count` operands, all numbers.
  bool Take(size_t count) const { return operandCount == count && numbers.size() == count; }
  bool NumbersOnly() const { return operandCount == numbers.size(); }
};

// Reads a content stream one operator at a time. An inline image is stepped
// over and reported as "BI". qpdf's tokenizer may throw on damaged content;
// callers keep what they read before.
class OperatorReader {
 public:
  // `content` must outlive the reader.
  explicit OperatorReader(std::string const& content);
  // The next operator into `out`; false at the end of the content.
  bool Next(Operation* out);

 private:
  std::shared_ptr<InputSource> input_;
  QPDFTokenizer tokenizer_;
};

// A form XObject ready to be read: its /Matrix (identity when missing or
// malformed), the resources its content uses (its own, else the caller's)
// and its decoded content.
struct Form {
  QPDFObjGen og;
  Matrix matrix;
  QPDFObjectHandle resources;
  std::string data;
};

// The decoded data of a page's /Contents, streams joined by a newline (an
// operator may not be split between them, but white space may be missing at
// the joint). A stream that cannot be decoded draws nothing; `read`, when
// given, receives each stream that was.
std::string PageContent(QPDFObjectHandle contents, std::vector<QPDFObjGen>* read = nullptr);

// The XObject `name` of `resources`, or a null handle.
QPDFObjectHandle XObject(QPDFObjectHandle resources, const std::string& name);

// `stream` as a form; false when it is not a form or its data cannot be
// decoded.
bool ReadForm(QPDFObjectHandle stream, QPDFObjectHandle callerResources, Form* out);

}  // namespace kshost::content
