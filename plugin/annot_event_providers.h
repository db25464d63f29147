// Mix-in bases for classes that want document or application events. Every
// operation does nothing by default; a receiver overrides what it needs and
// its module hands the host the record made by MakeDocEventRecord.
#pragma once

#include "sdk/ks_records.h"

namespace AnnotationPlugin {

class CAnnot_DoceventProvider {
 public:
  virtual ~CAnnot_DoceventProvider() = default;
  virtual void OnDocOpened(KA_Document doc) {}
  virtual void OnDocWillClose(KA_Document doc) {}
  // The document is gone; the handle is only an identity.
  virtual void OnDocClosed(KA_Document doc) {}
  virtual void OnDocWillSave(KA_Document doc) {}
  virtual void OnDocSaved(KA_Document doc) {}
  virtual void OnDocActivated(KA_Document doc) {}
  virtual void OnPageChanged(KA_Document doc, int page) {}
  // Annotations were selected or deselected, or the focus moved.
  virtual void OnSelectionChanged(KA_Document doc) {}
  // Whether the document may close now.
  virtual bool OnDocCanClose(KA_Document doc) { return true; }
};

class CAnnot_AppeventProvider {
 public:
  virtual ~CAnnot_AppeventProvider() = default;
  virtual void OnAppIdle() {}
  virtual void OnFrameActivated(KA_Frame frame) {}
  virtual void OnLanguageChanged() {}
  virtual bool OnAppWillQuit() { return false; }
  virtual int OnAppQuery(int what) { return 0; }
};

// The host record forwarding each document event to `receiver`.
KS_DocEventCallbacks MakeDocEventRecord(CAnnot_DoceventProvider* receiver);

}  // namespace AnnotationPlugin
