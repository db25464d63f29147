#include "kwannotation/kw_file_attachment.h"

#include "kwannotation/kw_annot_dict.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

bool KW_AttachFile(CKW_AnnotImpl& annot, const std::u16string& fileName, const std::string& bytes,
                   const std::string& mimeType, const std::u16string& date) {
  KPD_Document doc = annot.GetDocument();
  if (!doc || !annot.GetDict()) return false;
  KPD_Stream file = host::DocNewStream(doc, bytes.data(), bytes.size());
  KPD_Dictionary sd = file ? host::StreamGetDict(file) : nullptr;
  if (!sd) return false;
  dict::SetName(sd, "/Type", "EmbeddedFile");
  if (!mimeType.empty()) dict::SetName(sd, "/Subtype", mimeType);
  dict::Owned params(host::DictNew());
  dict::SetInteger(params.get(), "/Size", static_cast<int64_t>(bytes.size()));
  if (!date.empty()) {
    dict::SetText(params.get(), "/CreationDate", date);
    dict::SetText(params.get(), "/ModDate", date);
  }
  host::DictSet(sd, "/Params", params.get());
  dict::Owned ef(host::DictNew());
  host::DictSet(ef.get(), "/F", file);
  dict::Owned fs(host::DictNew());
  dict::SetName(fs.get(), "/Type", "Filespec");
  dict::SetText(fs.get(), "/F", fileName);
  dict::SetText(fs.get(), "/UF", fileName);
  host::DictSet(fs.get(), "/EF", ef.get());
  CKW_AnnotWriter(annot).Set("/FS", fs.get());
  return true;
}

}  // namespace kwannotation
