// The page tree of one PDF document: which pages it has, in which order,
// where a page sits, adding a page, and the attributes a page inherits
// from the nodes above it. Internal to host/.
#pragma once

#ifndef POINTERHOLDER_TRANSITION
#define POINTERHOLDER_TRANSITION 4
#endif

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kshost::pdf {

class PageTree {
 public:
  // What the tree tells the document it belongs to: a warning about the
  // file's tree (once, when the tree is first walked), and each object it
  // changes (so that a save writes it again). Either may be null.
  struct Listener {
    std::function<void(std::string const&)> warn;
    std::function<void(QPDFObjectHandle const&)> changed;
  };

  // The tree of `qpdf`, read from its catalog's /Pages on first use; the
  // tree keeps a reference to `qpdf`, which must outlive it.
  PageTree(QPDF& qpdf, Listener listener) : qpdf_(qpdf), listener_(std::move(listener)) {}
  PageTree(PageTree const&) = delete;
  PageTree& operator=(PageTree const&) = delete;

  // The pages in document order, found by one walk of the tree on first
  // use: only indirect page dictionaries count, each once; anything else in
  // a /Kids array is skipped (and warned about). A cycle or a node reached
  // twice is walked once, so the walk ends and there are never more pages
  // than objects in the file.
  std::vector<QPDFObjectHandle> const& All();
  // The number of pages and the page at an index, as All() has them, but
  // read from the counts the tree keeps wherever they hold up: only the
  // root's kids are checked for the count, and only the nodes on the way
  // to a page for the page. Anything that does not add up falls back to
  // the walk of All(). At() is null for an index out of range.
  int Count();
  QPDFObjectHandle At(int index);
  // The index of an indirect page object among All(), or -1 (also for an
  // object of another document).
  int IndexOf(QPDFObjectHandle const& page);
  // Adds an indirect page dictionary at the end of the root node, making
  // the root (and its /Kids) where the catalog has none.
  void Append(QPDFObjectHandle page);

 private:
  // How many objects the file's cross-reference table lists.
  size_t FileObjectCount();
  void Changed(QPDFObjectHandle const& object) {
    if (listener_.changed) listener_.changed(object);
  }

  QPDF& qpdf_;
  Listener listener_;
  bool loaded_ = false;
  int claimed_ = -1;          // -1 not yet read, -2 not to be trusted
  int64_t fileObjects_ = -1;  // entries of the file's cross-reference table; -1 not yet counted
  std::vector<QPDFObjectHandle> pages_;
  std::map<QPDFObjGen, int> index_;
};

// The value of an inheritable page attribute (/Resources, /MediaBox,
// /CropBox, /Rotate): from the page itself or the nearest ancestor that has
// it. Uninitialized when none has it.
QPDFObjectHandle Inherited(QPDFObjectHandle page, std::string const& key);

}  // namespace kshost::pdf
