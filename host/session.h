// One run of the headless editor: the plug-ins it loaded, the main frame and
// the open document.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/plugin_loader.h"
#include "sdk/ks_types.h"

namespace kshost {

class Session {
 public:
  // Points the widget library at the application folder and the host's
  // user-interface language.
  Session();
  ~Session();  // closes the document and shuts the plug-ins down
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The plug-in beside the running program: <exe>/../lib/libannotation_plugin.so,
  // or $ANNOT_PLUGIN when set.
  static std::string DefaultPluginPath();

  // Loads a plug-in and runs its start-up; false with the reason on failure.
  bool LoadPlugin(const std::string& path, std::string* error);

  // The password for documents opened from now on; empty for none. It
  // opens a file that needs its user password; the owner password lifts a
  // file's permission limits.
  void SetPassword(const std::string& password) { password_ = password; }

  // Opens a document, closing the one open before. On failure the open
  // document stays as it was. A document opened read-only reports the mode
  // that forbids changes. One opened to be changed is refused when its
  // permissions do not allow changing annotations.
  bool Open(const std::string& path, std::string* error, bool readOnly = false);
  // Saves the open document to `path` without touching any file on failure,
  // as SaveDocument does; a full rewrite when SetFullSave(true) was called.
  bool Save(const std::string& path, std::string* error);
  void SetFullSave(bool full) { fullSave_ = full; }
  // Begins the save to `path` before a batch job is over, so that the job
  // can hand over what it is done with (ReleaseObjects); Save(path) ends
  // it. False when the save cannot begin early; the job then saves as
  // usual.
  bool BeginSave(const std::string& path);
  // What the saves so far told the user about how they wrote the file.
  const std::vector<std::string>& SaveNotices() const { return saveNotices_; }
  void Close();

  KPD_Document Document() const { return doc_; }
  KA_Document AppDocument() const { return appDoc_; }
  const std::string& DocumentPath() const { return docPath_; }
  PluginLoader& Loader() { return loader_; }

 private:
  PluginLoader loader_;
  KPD_Document doc_ = nullptr;
  KA_Document appDoc_ = nullptr;
  std::string docPath_;
  std::string password_;
  bool fullSave_ = false;
  std::vector<std::string> saveNotices_;
};

// Opens the PDF file at `path` with `password` (empty: none), as DocOpenFile
// does; null with the reason on failure. The caller closes the document.
KPD_Document OpenPdfFile(const std::string& path, const std::string& password, std::string* error);

// Saves `doc` to `path`. By default an update is appended to the file the
// document was read from when `path` is that file or the document is
// signed, and the file is rewritten otherwise; `full` always rewrites.
// What the user should know about how the file was written (rewritten in
// full and why, signatures no longer valid) goes to `notice`, which is
// empty otherwise. False with the reason on failure, `path` untouched.
bool SaveDocument(KPD_Document doc, const std::string& path, bool full, std::string* notice, std::string* error);

// Begins the save of `doc` to `path` before a batch job is over (a full
// rewrite of an unsigned file to another file only); false when it cannot
// begin early, and SaveDocument then works as usual.
bool BeginSaveDocument(KPD_Document doc, const std::string& path, bool full);

// Writes `objects` (indirect objects of `doc` that nothing will read again,
// such as the annotations of a finished page and their appearance streams)
// into the save begun, and frees them. Nothing without a save begun.
void ReleaseObjects(KPD_Document doc, const std::vector<KPD_Object>& objects);
// The same for an annotation, with its popup and the appearance streams
// the two of them were given in this session.
void ReleaseAnnotation(KPD_Document doc, KPD_Object annot);

// The whole file a full save of `doc` writes by copying the unchanged
// objects of the file it was read from; false with the reason when it is
// not written that way (see pdf::Document::CanRewrite).
bool RewrittenFileOf(KPD_Document doc, std::string* bytes, std::string* error);

// The whole file a full save of `doc` would write, in memory, without
// touching any file: the unchanged objects of the file it was read from
// copied where the document allows that (RewrittenFileOf), else written
// by qpdf as a full save writes them. False with the reason on failure.
bool WholeFileOf(KPD_Document doc, std::string* bytes, std::string* error);

// The ratio text of a page's scale ("1 in = 10 ft": the measure of the
// page's first viewport); empty when the page has none or is damaged.
std::string PageScaleText(KPD_Document doc, int pageIndex);

// How often each object of a document is referred to from anywhere in
// it, counted once when made: later changes do not update it.
class ReferenceSnapshot {
 public:
  explicit ReferenceSnapshot(KPD_Document doc);
  // The count for an indirect object of the document; 0 for anything else.
  int32_t Count(KPD_Object object) const;

 private:
  KPD_Document doc_;
  std::vector<int32_t> counts_;
};

// The bytes an incremental save of `doc` would append to the file it was
// read from (empty when nothing changed); false with the reason when no
// update can be appended to it. `base`, when given, receives how many
// bytes of the file the update goes after: fewer than the file has when
// the end of an unfinished update was left out on reading.
bool IncrementalUpdateOf(KPD_Document doc, std::string* update, std::string* error, size_t* base = nullptr);

// True when another program wrote, replaced or truncated the file `doc`
// was read from since it was read (or last saved there by `doc`): a save
// over it is then refused, since it would throw away what was written.
bool SourceChangedOnDisk(KPD_Document doc);

// Whether the permissions of `doc` allow changing its annotations. When they
// do not, every host function that would change the document fails.
bool MayChangeAnnotations(KPD_Document doc);

// What a command says when it will not change the annotations of `path`.
std::string ChangeRefusedMessage(const std::string& path);

}  // namespace kshost
