// Stream data written in place (selector 903). The plug-in asks for a block
// of memory, writes the content of an appearance straight into it and hands
// it over; the stream then keeps that very block as its data. A dense ink's
// appearance runs to megabytes, and building it in the plug-in's own string
// and copying it into a fresh stream buffer touched every page twice.
//
// Only blocks lent here are taken back: a pointer the host did not lend is
// refused rather than freed.
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/snap_service.h"

#include <qpdf/Buffer.hh>

using kshost::pdf::Document;
using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::ObjectOf;

namespace {

// The blocks lent and not yet handed back, with their capacity.
class Lent {
 public:
  static Lent& Get() {
    static Lent lent;
    return lent;
  }
  char* Add(size_t capacity) {
    // At least one byte, so that an empty block is still a distinct pointer.
    char* block = static_cast<char*>(std::malloc(capacity ? capacity : 1));
    if (!block) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_[block] = capacity;
    return block;
  }
  char* Resize(char* block, size_t capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = blocks_.find(block);
    if (it == blocks_.end()) return nullptr;
    char* moved = static_cast<char*>(std::realloc(block, capacity ? capacity : 1));
    if (!moved) return nullptr;
    blocks_.erase(it);
    blocks_[moved] = capacity;
    return moved;
  }
  // Takes `block` off the list; false when it was not lent here. Its
  // capacity goes to `capacity`.
  bool Take(char* block, size_t* capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = blocks_.find(block);
    if (it == blocks_.end()) return false;
    if (capacity) *capacity = it->second;
    blocks_.erase(it);
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<char*, size_t> blocks_;
};

struct FreeBlock {
  void operator()(char* p) const { std::free(p); }
};
using Block = std::unique_ptr<char, FreeBlock>;

// The first `length` bytes of a lent block as stream data, without a copy;
// null (the block freed) when the block was not lent here or is shorter.
std::shared_ptr<Buffer> Adopt(char* data, size_t length) {
  size_t capacity = 0;
  if (!data || !Lent::Get().Take(data, &capacity)) return nullptr;
  Block block(data);
  if (length > capacity) return nullptr;
  // A block far larger than its content would hold the rest for as long as
  // the stream lives; giving the rest back may move it.
  if (length < capacity / 2) {
    if (char* smaller = static_cast<char*>(std::realloc(block.get(), length ? length : 1))) {
      (void)block.release();
      block.reset(smaller);
    }
  }
  auto* view = new Buffer(reinterpret_cast<unsigned char*>(block.get()), length);
  // From here the deleter frees the block, also when the pointer cannot be made.
  return std::shared_ptr<Buffer>(view, [owned = block.release()](Buffer* b) {
    delete b;
    std::free(owned);
  });
}

}  // namespace

namespace kshost::direct {

char* StreamBufferNew(size_t capacity) {
  return Guard<char*>(nullptr, [&]() -> char* { return Lent::Get().Add(capacity); });
}

char* StreamBufferResize(char* buffer, size_t capacity) {
  return Guard<char*>(nullptr, [&]() -> char* { return buffer ? Lent::Get().Resize(buffer, capacity) : nullptr; });
}

void StreamBufferFree(char* buffer) {
  if (buffer && Lent::Get().Take(buffer, nullptr)) std::free(buffer);
}

KPD_Stream DocNewStreamFromBuffer(KPD_Document doc, char* buffer, size_t length) {
  return Guard<KPD_Stream>(nullptr, [&]() -> KPD_Stream {
    std::shared_ptr<Buffer> data = Adopt(buffer, length);
    Document* document = doc ? Document::FromKpd(doc) : nullptr;
    if (!data || !document || !document->Writable()) return nullptr;
    QPDFObjectHandle stream = document->qpdf().newStream(data);
    document->NoteUnfilteredData(stream);
    return kshost::pdf::ToKpd(document->arena().Lend(stream));
  });
}

int32_t StreamSetDataFromBuffer(KPD_Stream stream, char* buffer, size_t length) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<Buffer> data = Adopt(buffer, length);
    QPDFObjectHandle* object = ObjectOf(stream);
    if (!data || !object || !object->isStream() || !kshost::pdf::MayChange(*FromKpd(stream))) return 0;
    object->replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    // The decoded-length hint would now be wrong.
    object->getDict().removeKey("/DL");
    kshost::pdf::NoteChange(*FromKpd(stream));
    if (auto* doc = kshost::pdf::DocumentOfHandle(*FromKpd(stream))) doc->NoteUnfilteredData(*object);
    kshost::snap::NoteStreamChanged(*object);
    return 1;
  });
}

}  // namespace kshost::direct
