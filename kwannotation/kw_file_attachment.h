// The file a file attachment annotation carries: its /FS dictionary, whose
// embedded file stream holds the bytes, with their size and dates.
#pragma once

#include <string>

#include "kwannotation/kw_annot_impl.h"

namespace kwannotation {

// Embeds `bytes` as the file `fileName` of `annot` (its /FS), typed
// `mimeType` when not empty, dated `date` (a PDF date text) when not empty.
// False, the annotation unchanged, without a document or when the stream
// cannot be made.
bool KW_AttachFile(CKW_AnnotImpl& annot, const std::u16string& fileName, const std::string& bytes,
                   const std::string& mimeType, const std::u16string& date);

}  // namespace kwannotation
