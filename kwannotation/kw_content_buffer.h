// Content text written straight into memory the host lends for the data of
// a stream, and handed over whole when the stream is written: the
// appearance of a dense ink runs to megabytes, and building it in a string
// of its own and then copying it into the stream touched every page twice.
// Where the host lends no memory the text is kept in a string and copied
// once, as any other content.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_ContentBuffer {
 public:
  // Room for `capacity` bytes up front; more is found as the text grows.
  explicit CKW_ContentBuffer(size_t capacity);
  ~CKW_ContentBuffer();
  CKW_ContentBuffer(const CKW_ContentBuffer&) = delete;
  CKW_ContentBuffer& operator=(const CKW_ContentBuffer&) = delete;

  // Where the next `n` bytes go; null when no memory can be had for them.
  // Write them, then say where the text now ends with SetEnd.
  char* Room(size_t n) { return size_t(end_ - cur_) >= n ? cur_ : Grow(n); }
  void SetEnd(char* end) { cur_ = end; }
  bool Append(std::string_view text);

  std::string_view View() const { return {begin_, size_t(cur_ - begin_)}; }
  size_t Size() const { return size_t(cur_ - begin_); }
  // False once memory ran out or the text was handed over.
  bool Usable() const { return usable_; }

  // The text as the data of a new stream of `doc`, or of `stream`. The
  // text goes with it and this buffer is empty and unusable afterwards, also
  // on failure (null or false).
  KPD_Stream NewStream(KPD_Document doc);
  bool SetStreamData(KPD_Stream stream);
  // Gives the memory back unused; the buffer is unusable afterwards.
  void Discard();

 private:
  char* Grow(size_t n);
  void Release();

  char* begin_ = nullptr;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  bool lent_ = false;  // begin_ is the host's memory, not own_'s
  bool usable_ = true;
  std::string own_;
};

}  // namespace kwannotation
