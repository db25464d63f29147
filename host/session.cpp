#include "host/session.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "host/editor.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/progress.h"
#include "host/ribbon.h"
#include "host/utf.h"
#include "tessel/language.h"

namespace kshost {
namespace {

std::string ErrorText(KS_ByteString s) {
  const char* d = direct::ByteStringData(s);
  return d ? std::string(d, direct::ByteStringLength(s)) : std::string();
}

// A host byte string for one call's error text.
struct ErrorString {
  KS_ByteString s = direct::ByteStringNew(nullptr, 0);
  ~ErrorString() { direct::ByteStringDestroy(s); }
  std::string str() const { return ErrorText(s); }
};

}  // namespace

Session::Session() {
  Tessel::SetApplicationFolder(Env().appFolder());
  Tessel::SetCurrentLanguage(ToUtf16(Env().uiLanguage()), true);
}

// Documents close before the plug-ins unload: their undo items call back
// into the plug-in's code.
Session::~Session() {
  Close();
  loader_.ShutDown();
  Editor::Get().Reset();
  Ribbon::Get().Reset();
  Progress::Get().Reset();
}

std::string Session::DefaultPluginPath() {
  if (const char* p = std::getenv("ANNOT_PLUGIN"); p && *p) return p;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "libannotation_plugin.so";
  std::string dir(exe, static_cast<size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/lib/libannotation_plugin.so";
}

bool Session::LoadPlugin(const std::string& path, std::string* error) {
  if (!loader_.Load(path, error)) return false;
  loader_.StartUp();
  return true;
}

KPD_Document OpenPdfFile(const std::string& path, const std::string& password, std::string* error) {
  ErrorString why;
  KPD_Document doc = pdf::OpenFile(path.c_str(), password, why.s);
  if (!doc && error) *error = why.str();
  return doc;
}

bool SaveDocument(KPD_Document doc, const std::string& path, bool full, std::string* notice, std::string* error) {
  std::string why, told;
  bool ok = Guard<bool>(false, [&] {
    if (!doc) {
      why = "cannot save: no document";
      return false;
    }
    auto mode = full ? pdf::Document::SaveMode::kFull : pdf::Document::SaveMode::kAuto;
    return pdf::Document::FromKpd(doc)->Save(path, why, mode, &told);
  });
  if (notice) *notice = told;
  if (!ok && error) *error = why.empty() ? "cannot save " + path : why;
  return ok;
}

bool BeginSaveDocument(KPD_Document doc, const std::string& path, bool full) {
  return doc && Guard<bool>(false, [&] {
    auto mode = full ? pdf::Document::SaveMode::kFull : pdf::Document::SaveMode::kAuto;
    return pdf::Document::FromKpd(doc)->BeginSave(path, mode);
  });
}

void ReleaseObjects(KPD_Document doc, const std::vector<KPD_Object>& objects) {
  if (!doc) return;
  Guard<bool>(false, [&] {
    pdf::Document* document = pdf::Document::FromKpd(doc);
    std::vector<QPDFObjGen> released;
    for (KPD_Object obj : objects) {
      if (!obj) continue;
      QPDFObjectHandle const& object = pdf::FromKpd(obj)->object;
      if (object.isIndirect() && object.getOwningQPDF() == &document->qpdf()) released.push_back(object.getObjGen());
    }
    document->Release(released);
    return true;
  });
}

bool RewrittenFileOf(KPD_Document doc, std::string* bytes, std::string* error) {
  std::string why;
  bool ok = Guard<bool>(false, [&] {
    if (!doc) return false;
    Pl_String out("rewritten file", nullptr, *bytes);
    bytes->clear();
    const bool done = pdf::Document::FromKpd(doc)->RewriteInto(out, why);
    out.finish();
    return done;
  });
  if (!ok && error) *error = why;
  return ok;
}

bool WholeFileOf(KPD_Document doc, std::string* bytes, std::string* error) {
  if (!doc) {
    if (error) *error = "cannot write the document: none is open";
    return false;
  }
  std::string why, written;
  const bool ok = Guard<bool>(false, [&] {
    try {
      Pl_String out("whole file", nullptr, written);
      return pdf::Document::FromKpd(doc)->WriteWhole(out, why);
    } catch (const std::exception& e) {
      why = e.what();
      return false;
    }
  });
  if (!ok) {
    if (error) *error = "cannot write the document" + (why.empty() ? std::string() : ": " + why);
    return false;
  }
  *bytes = std::move(written);
  return true;
}

std::string PageScaleText(KPD_Document doc, int pageIndex) {
  if (!doc) return "";
  return Guard<std::string>(std::string(), [&]() -> std::string {
    try {
      QPDF& qpdf = pdf::Document::FromKpd(doc)->qpdf();
      std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(qpdf).getAllPages();
      if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) return "";
      QPDFObjectHandle vp = pages[size_t(pageIndex)].getObjectHandle().getKey("/VP");
      if (!vp.isArray() || vp.getArrayNItems() < 1) return "";
      QPDFObjectHandle ratio = vp.getArrayItem(0).getKey("/Measure").getKey("/R");
      return ratio.isString() ? ratio.getUTF8Value() : "";
    } catch (const std::exception&) {
      return "";  // a damaged page shows as one without a scale
    }
  });
}

void ReleaseAnnotation(KPD_Document doc, KPD_Object annot) {
  if (!doc || !annot) return;
  Guard<bool>(false, [&] {
    pdf::Document::FromKpd(doc)->ReleaseAnnotation(pdf::FromKpd(annot)->object);
    return true;
  });
}

ReferenceSnapshot::ReferenceSnapshot(KPD_Document doc) : doc_(doc) {
  if (doc) Guard<bool>(false, [&] {
    counts_ = pdf::Document::FromKpd(doc)->ReferenceCounts();
    return true;
  });
}

int32_t ReferenceSnapshot::Count(KPD_Object object) const {
  if (!object) return 0;
  QPDFObjectHandle const& handle = pdf::FromKpd(object)->object;
  if (!handle.isIndirect() || handle.getOwningQPDF() != &pdf::Document::FromKpd(doc_)->qpdf()) return 0;
  const size_t number = static_cast<size_t>(handle.getObjGen().getObj());
  return number < counts_.size() ? counts_[number] : 0;
}

bool IncrementalUpdateOf(KPD_Document doc, std::string* update, std::string* error, size_t* base) {
  std::string why;
  bool ok = Guard<bool>(false, [&] {
    if (!doc) return false;
    pdf::Document* document = pdf::Document::FromKpd(doc);
    why = document->WhyNotIncremental();
    if (base) *base = document->BytesRead();
    return why.empty() && document->BuildUpdate(*update, why);
  });
  if (!ok && error) *error = why;
  return ok;
}

bool SourceChangedOnDisk(KPD_Document doc) {
  return doc && Guard<bool>(false, [&] { return pdf::Document::FromKpd(doc)->SourceChangedOnDisk(); });
}

bool MayChangeAnnotations(KPD_Document doc) {
  return doc && (direct::DocGetPermissions(doc) & KPD_PERM_MODIFY_ANNOTS) != 0;
}

std::string ChangeRefusedMessage(const std::string& path) {
  return path + ": the document's permissions do not allow changing annotations"
                " (give the owner password with --password)";
}

bool Session::Open(const std::string& path, std::string* error, bool readOnly) {
  KPD_Document doc = OpenPdfFile(path, password_, error);
  if (!doc) return false;
  if (!readOnly && !MayChangeAnnotations(doc)) {
    direct::DocClose(doc);
    if (error) *error = ChangeRefusedMessage(path);
    return false;
  }
  Close();
  doc_ = doc;
  docPath_ = path;
  appDoc_ = Editor::Get().AddDocument(doc, readOnly);
  if (appDoc_) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    appDoc_->path = ec ? path : absolute.lexically_normal().string();
  }
  return true;
}

bool Session::Save(const std::string& path, std::string* error) {
  if (!doc_) {
    if (error) *error = "no document is open";
    return false;
  }
  Editor::Get().FireDocEvent(KS_DOCEVENT_WILL_SAVE, appDoc_);
  std::string notice;
  if (!SaveDocument(doc_, path, fullSave_, &notice, error)) return false;
  if (!notice.empty()) saveNotices_.push_back(notice);
  Editor::Get().FireDocEvent(KS_DOCEVENT_SAVED, appDoc_);
  return true;
}

bool Session::BeginSave(const std::string& path) {
  return doc_ && BeginSaveDocument(doc_, path, fullSave_);
}

void Session::Close() {
  if (appDoc_) Editor::Get().RemoveDocument(appDoc_);
  appDoc_ = nullptr;
  if (doc_) direct::DocClose(doc_);
  doc_ = nullptr;
  docPath_.clear();
}

}  // namespace kshost
