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

// Steps over an inline image whose BI the tokenizer has just read: its
// dictionary runs to ID, its data to EI.
void SkipInlineImage(QPDFTokenizer& tokenizer, std::shared_ptr<InputSource> const& input);

// A form XObject ready to be read: its /Matrix (identity when missing or
// malformed), the resources its content uses (its own, else the caller's)
// and its decoded content.
struct Form {
  QPDFObjGen og;
  Matrix matrix;
  QPDFObjectHandle resources;
  std::string data;
};

// The XObject `name` of `resources`, or a null handle.
QPDFObjectHandle XObject(QPDFObjectHandle resources, const std::string& name);

// `stream` as a form; false when it is not a form or its data cannot be
// decoded.
bool ReadForm(QPDFObjectHandle stream, QPDFObjectHandle callerResources, Form* out);

}  // namespace kshost::content
