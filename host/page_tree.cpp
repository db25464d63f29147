// The page tree over qpdf: the walk that lists the pages, the shortcut
// through the counts the tree keeps, and attribute inheritance.
#include "host/page_tree.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kshost::pdf {

namespace {

// Page trees in real files are shallow; the bound only stops a /Parent loop
// that the seen-set cannot catch (direct dictionaries), or a descent through
// nodes whose counts lead nowhere.
constexpr int kMaxTreeDepth = 64;

// What a /Kids entry is. Only indirect dictionaries are nodes or pages:
// one page object has one place in the tree. A dictionary typed as neither
// (an annotation, a font) is not a page; one without /Type is a node when it
// has /Kids and a page otherwise, as careless writers leave /Type out.
enum class Kind { kOther, kNode, kPage };

Kind KindOf(QPDFObjectHandle item) {
  if (!item.isIndirect() || !item.isDictionary()) return Kind::kOther;
  QPDFObjectHandle type = item.getKey("/Type");
  bool hasKids = item.getKey("/Kids").isArray();
  if (type.isName()) {
    std::string name = type.getName();
    if (name == "/Page") return Kind::kPage;
    if (name == "/Pages") return Kind::kNode;
    return Kind::kOther;
  }
  return hasKids ? Kind::kNode : Kind::kPage;
}

// A /Count that a tree of this file could hold.
int CountOf(QPDFObjectHandle node, size_t objects) {
  QPDFObjectHandle count = node.getKey("/Count");
  if (!count.isInteger()) return -1;
  long long n = count.getIntValue();
  return n >= 0 && static_cast<unsigned long long>(n) <= objects ? static_cast<int>(n) : -1;
}

}  // namespace

QPDFObjectHandle Inherited(QPDFObjectHandle node, std::string const& key) {
  std::set<QPDFObjGen> seen;
  for (int depth = 0; depth < kMaxTreeDepth && node.isDictionary(); ++depth) {
    if (node.hasKey(key)) return node.getKey(key);
    if (node.isIndirect() && !seen.insert(node.getObjGen()).second) break;
    node = node.getKey("/Parent");
  }
  return QPDFObjectHandle();
}

// Depth first with an explicit stack, so a deep tree cannot exhaust the
// call stack. Every indirect object is visited at most once: a /Kids entry
// that points back up the tree, or at a node or page seen before, is
// skipped. Entries that are not indirect dictionaries (numbers, nulls,
// direct dictionaries) cost one type test each.
std::vector<QPDFObjectHandle> const& PageTree::All() {
  if (loaded_) return pages_;
  loaded_ = true;
  pages_.clear();
  index_.clear();
  QPDFObjectHandle root = qpdf_.getRoot().getKey("/Pages");
  if (!root.isDictionary()) return pages_;
  std::set<QPDFObjGen> seen;
  std::vector<std::pair<QPDFObjectHandle, int>> stack;
  // A /Kids array that is an indirect object could be shared by many
  // nodes; it is walked for the first only.
  auto enter = [&](QPDFObjectHandle node) {
    if (node.isIndirect()) seen.insert(node.getObjGen());
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (kids.isArray() && (!kids.isIndirect() || seen.insert(kids.getObjGen()).second)) stack.emplace_back(kids, 0);
  };
  enter(root);
  size_t skipped = 0;
  while (!stack.empty()) {
    auto& [kids, next] = stack.back();
    if (next >= kids.getArrayNItems()) {
      stack.pop_back();
      continue;
    }
    QPDFObjectHandle item = kids.getArrayItem(next++);
    Kind kind = KindOf(item);
    if (kind == Kind::kOther || seen.count(item.getObjGen()) != 0) {
      ++skipped;
    } else if (kind == Kind::kPage) {
      seen.insert(item.getObjGen());
      index_[item.getObjGen()] = static_cast<int>(pages_.size());
      pages_.push_back(item);
    } else {
      enter(item);
    }
  }
  if (skipped > 0 && listener_.warn)
    listener_.warn("page tree: skipped " + std::to_string(skipped) +
                   (skipped == 1 ? " entry that is not a page" : " entries that are not pages"));
  return pages_;
}

// qpdf hands out a copy of its cross-reference table, which for a large
// file costs more than finding a page; the file's table stays as it was
// read, so it is counted once.
size_t PageTree::FileObjectCount() {
  if (fileObjects_ < 0) fileObjects_ = static_cast<int64_t>(qpdf_.getXRefTable().size());
  return static_cast<size_t>(fileObjects_);
}

// The root's /Count, when its kids agree with it: as many distinct indirect
// kids as pages (a flat tree; each kid is checked when it is asked for), or
// kids whose own counts (one for a page) add up to it.
int PageTree::Count() {
  if (loaded_) return static_cast<int>(pages_.size());
  if (claimed_ == -1) {
    claimed_ = -2;
    const size_t objects = FileObjectCount();
    QPDFObjectHandle root = qpdf_.getRoot().getKey("/Pages");
    QPDFObjectHandle kids = root.isDictionary() ? root.getKey("/Kids") : QPDFObjectHandle();
    const int claimed = root.isIndirect() ? CountOf(root, objects) : -1;
    if (claimed >= 0 && kids.isArray()) {
      std::set<QPDFObjGen> seen{root.getObjGen()};
      bool distinct = true;
      for (auto const& kid : kids.aitems()) distinct = distinct && kid.isIndirect() && seen.insert(kid.getObjGen()).second;
      const int n = kids.getArrayNItems();
      if (distinct && n == claimed) {
        claimed_ = claimed;
      } else if (distinct) {
        long long sum = 0;
        for (auto const& kid : kids.aitems()) {
          Kind kind = KindOf(kid);
          int count = kind == Kind::kPage ? 1 : kind == Kind::kNode ? CountOf(kid, objects) : -1;
          if (count < 0) {
            sum = -1;
            break;
          }
          sum += count;
        }
        if (sum == claimed) claimed_ = claimed;
      }
    }
  }
  return claimed_ >= 0 ? claimed_ : static_cast<int>(All().size());
}

QPDFObjectHandle PageTree::At(int index) {
  if (index < 0) return QPDFObjectHandle();
  if (!loaded_ && index < Count() && !loaded_) {
    const size_t objects = FileObjectCount();
    QPDFObjectHandle node = qpdf_.getRoot().getKey("/Pages");
    std::set<QPDFObjGen> path{node.getObjGen()};
    int remaining = index;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
      QPDFObjectHandle kids = node.getKey("/Kids");
      if (!kids.isArray()) break;
      const int n = kids.getArrayNItems();
      QPDFObjectHandle next;
      if (n == CountOf(node, objects)) {
        // As many kids as pages: each kid is a page.
        if (remaining >= n) break;
        QPDFObjectHandle kid = kids.getArrayItem(remaining);
        if (KindOf(kid) != Kind::kPage) break;
        index_.emplace(kid.getObjGen(), index);
        return kid;
      }
      for (int k = 0; k < n && !next.isInitialized(); ++k) {
        QPDFObjectHandle kid = kids.getArrayItem(k);
        Kind kind = KindOf(kid);
        if (kind == Kind::kPage) {
          if (remaining == 0) {
            index_.emplace(kid.getObjGen(), index);
            return kid;
          }
          --remaining;
        } else if (kind == Kind::kNode) {
          int count = CountOf(kid, objects);
          if (count < 0) break;
          if (remaining < count) {
            next = kid;
          } else {
            remaining -= count;
          }
        } else {
          break;
        }
      }
      if (!next.isInitialized() || !path.insert(next.getObjGen()).second) break;
      node = next;
    }
  }
  // The counts did not lead to a page: the walk decides.
  auto const& pages = All();
  return static_cast<size_t>(index) < pages.size() ? pages[static_cast<size_t>(index)] : QPDFObjectHandle();
}

int PageTree::IndexOf(QPDFObjectHandle const& page) {
  if (!page.isIndirect() || page.getOwningQPDF() != &qpdf_) return -1;
  // A page found through the counts knows its index; others need the walk.
  if (!loaded_) {
    auto found = index_.find(page.getObjGen());
    if (found != index_.end()) return found->second;
  }
  All();
  auto found = index_.find(page.getObjGen());
  return found == index_.end() ? -1 : found->second;
}

// The page goes at the end of the root node's /Kids; /Count is corrected
// only on the root, which is the only node whose page count changes.
void PageTree::Append(QPDFObjectHandle page) {
  All();
  QPDFObjectHandle root = qpdf_.getRoot().getKey("/Pages");
  if (!root.isDictionary()) {
    root = qpdf_.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
    qpdf_.getRoot().replaceKey("/Pages", root);
  }
  QPDFObjectHandle kids = root.getKey("/Kids");
  if (!kids.isArray()) {
    kids = QPDFObjectHandle::newArray();
    root.replaceKey("/Kids", kids);
  }
  kids.appendItem(page);
  page.replaceKey("/Parent", root);
  Changed(qpdf_.getRoot());
  Changed(root);
  Changed(kids);
  Changed(page);
  index_[page.getObjGen()] = static_cast<int>(pages_.size());
  pages_.push_back(page);
  root.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pages_.size())));
}

}  // namespace kshost::pdf
