// Names with '#' in them, written so they read back as they are. qpdf
// writes every other byte outside the regular characters as "#XX" but
// leaves '#' itself bare, so a name "#Sq" comes out as "/#Sq", which
// readers take for a broken escape. Internal to host/.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "host/pdf_handles.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace kshost::pdf {

// True when qpdf's own text for a name leaves '#' bare.
bool QpdfLeavesHashBare();

// `name` ("/..." as qpdf holds it) with each '#' replaced by "#23", so
// that qpdf's text for it is the proper one.
std::string HashEscaped(std::string const& name);

// `object` for writing: when a name or dictionary key in its direct parts
// holds a '#', a direct copy with those escaped; otherwise the object
// itself. Indirect objects inside are referred to, not copied.
QPDFObjectHandle WithHashEscaped(QPDFObjectHandle object);

// For the life of this guard every name and key with a '#' in the
// document (its objects and its trailer) is held escaped, so that a
// QPDFWriter writes it right; the guard puts back the original names.
class HashEscapedNames {
 public:
  explicit HashEscapedNames(QPDF& qpdf);
  ~HashEscapedNames();
  HashEscapedNames(HashEscapedNames const&) = delete;
  HashEscapedNames& operator=(HashEscapedNames const&) = delete;

 private:
  struct Change {
    QPDFObjectHandle container;
    std::string key;         // a dictionary's key as now held; empty for an array
    std::string originalKey;  // the key before, for a renamed key
    int index = -1;          // an array's item
    QPDFObjectHandle original;
  };
  void Visit(QPDFObjectHandle object, int depth);

  std::vector<Change> changes_;
  std::unordered_set<void const*> seen_;
};

}  // namespace kshost::pdf
