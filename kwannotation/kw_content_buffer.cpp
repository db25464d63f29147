#include "kwannotation/kw_content_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

CKW_ContentBuffer::CKW_ContentBuffer(size_t capacity) {
  if (char* lent = host::StreamBufferNew(capacity)) {
    begin_ = cur_ = lent;
    end_ = lent + capacity;
    lent_ = true;
  } else if (!Grow(capacity)) {
    usable_ = false;
  }
}

CKW_ContentBuffer::~CKW_ContentBuffer() { Release(); }

void CKW_ContentBuffer::Release() {
  if (lent_) host::StreamBufferFree(begin_);
  lent_ = false;
  std::string().swap(own_);
  begin_ = cur_ = end_ = nullptr;
}

char* CKW_ContentBuffer::Grow(size_t n) {
  if (!usable_) return nullptr;
  const size_t used = Size();
  const size_t want = std::max(used + n, 2 * size_t(end_ - begin_));
  if (lent_) {
    if (char* moved = host::StreamBufferResize(begin_, want)) {
      begin_ = moved;
      cur_ = moved + used;
      end_ = moved + want;
      return cur_;
    }
  }
  try {
    std::string grown;
    grown.resize(want);
    if (used) std::memcpy(grown.data(), begin_, used);
    if (lent_) host::StreamBufferFree(begin_);
    lent_ = false;
    own_.swap(grown);
  } catch (const std::bad_alloc&) {
    Release();
    usable_ = false;
    return nullptr;
  }
  begin_ = own_.data();
  cur_ = begin_ + used;
  end_ = begin_ + own_.size();
  return cur_;
}

bool CKW_ContentBuffer::Append(std::string_view text) {
  char* at = Room(text.size());
  if (!at) return false;
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  SetEnd(at + text.size());
  return true;
}

void CKW_ContentBuffer::Discard() {
  Release();
  usable_ = false;
}

KPD_Stream CKW_ContentBuffer::NewStream(KPD_Document doc) {
  KPD_Stream stream = nullptr;
  if (usable_ && lent_) {
    stream = host::DocNewStreamFromBuffer(doc, begin_, Size());
    lent_ = false;  // the host's again, whatever the answer
  } else if (usable_) {
    stream = host::DocNewStream(doc, begin_, Size());
  }
  Release();
  usable_ = false;
  return stream;
}

bool CKW_ContentBuffer::SetStreamData(KPD_Stream stream) {
  int32_t ok = 0;
  if (usable_ && lent_) {
    ok = host::StreamSetDataFromBuffer(stream, begin_, Size());
    lent_ = false;
  } else if (usable_) {
    ok = host::StreamSetData(stream, begin_, Size());
  }
  Release();
  usable_ = false;
  return ok != 0;
}

}  // namespace kwannotation
