// The incremental update of a PDF file: the objects that changed since the
// file was read, appended after its unchanged bytes with a cross-reference
// section of the file's own kind and a trailer that points back to the
// previous one. Internal to host/.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/pdf_handles.h"

namespace kshost::pdf {

// Where the last cross-reference section of a file starts and what kind it
// is, read from the file's final "startxref".
struct XrefTail {
  int64_t offset = -1;    // of "xref" or of the stream object; -1 when unknown
  bool isStream = false;  // a cross-reference stream rather than a table
};

// The last cross-reference section of `file`; offset -1 when the file has
// no "startxref" near its end, or it points past the end or at neither a
// table nor an object.
XrefTail FindXrefTail(std::string_view file);

// The length of `file` up to the end of its last complete section when
// what follows is the start of an update that was never finished (a save
// killed while appending): bytes after the last "%%EOF" that begin with an
// object, where the file before them ends with a cross-reference section
// that can be found. `file.size()` otherwise, also for a file that simply
// has other bytes after its end.
size_t CompleteLength(std::string_view file);

// The indirect objects named inside the direct parts of `object`.
void CollectReferences(QPDFObjectHandle object, std::vector<QPDFObjGen>& out, int depth = 0);

// The text of one indirect object, "N G obj" to "endobj", with its stream
// data as qpdf holds it (compressed on the way when `compress`). False with
// the reason when the data cannot be read.
bool ObjectText(QPDFObjectHandle object, bool compress, std::string& out, std::string& reason);

// A stream whose data is set unfiltered, in the parts around its data
// compressed: `head` runs from "N G obj" to "/Length " (the dictionary with
// its filter, before its length and closing), `plain` is the data to
// compress, and StreamTextEnd of the compressed data ends the object.
// False for a stream that has a filter already, or (with the reason) whose
// data cannot be read.
bool StreamTextToCompress(QPDFObjectHandle stream, std::string& head, std::string& plain, std::string& reason);
std::string StreamTextEnd(std::string_view packed);
// zlib at the level saves use; false when zlib fails.
bool CompressData(std::string_view data, std::string& out);

struct UpdateInput {
  std::string_view original;        // the file's bytes as read
  XrefTail tail;                    // of `original`
  std::set<QPDFObjGen> changed;     // objects of the file changed since
  int originalMaxObject = 0;        // highest object number the file uses
  // True for a stream whose data the plug-in set unfiltered; it is
  // compressed on the way out.
  std::function<bool(QPDFObjGen)> compress;
};

// The bytes to append to `original` (which ends with an end-of-line or is
// given one at the start of the result): every changed object, every new
// object (numbered above `originalMaxObject`) that a written object refers
// to, directly or through other new ones, then the cross-reference section
// and trailer. New objects that nothing written refers to are left out.
// Empty when nothing changed. On failure returns false with the reason.
bool BuildIncrementalUpdate(QPDF& qpdf, UpdateInput const& input, std::string& update, std::string& reason);

}  // namespace kshost::pdf
