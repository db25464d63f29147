// The base of every tool of the plug-in. The host reaches a tool through the
// tool callback record; each position of the record forwards to one virtual
// operation here. Points come from the host by value and are handed on by
// reference; boolean results go back to the host as 0 or 1.
#pragma once

#include <cstdint>
#include <string>

#include "sdk/ks_records.h"

namespace AnnotationPlugin {

class CAnnot_ToolHandler {
 public:
  CAnnot_ToolHandler() = default;
  // Unregisters the tool, releases the second host object, then the tool.
  virtual ~CAnnot_ToolHandler();
  CAnnot_ToolHandler(const CAnnot_ToolHandler&) = delete;
  CAnnot_ToolHandler& operator=(const CAnnot_ToolHandler&) = delete;

  // The host's own questions and notices at positions 9, 22 and 24 to 30
  // have no operation: the record answers yes at 9 and 24, no elsewhere.
  virtual bool IsEnabled() { return true; }  // record position 2
  // After registration: gives the host tool its category.
  virtual void OnRegistered();
  virtual void OnNotify() {}  // position 3; the record always answers 1
  // The tool's name, also its host tool name.
  virtual std::string GetName() const = 0;
  virtual void OnActivate(bool persistent) = 0;                        // 4
  virtual void OnDeactivate() {}                                       // 5
  virtual bool OnKeyDown(int32_t key, uint32_t flags) { return false; }  // 6
  virtual bool OnKeyUp(int32_t key, uint32_t flags) { return false; }    // 7
  virtual bool OnChar(int32_t key, uint32_t flags) { return false; }     // 8
  // Whether the tool can be used on the current document now.
  virtual bool IsUsableNow() { return false; }  // 10
  // In the middle of a gesture.
  virtual bool IsBusy() { return false; }  // 20
  virtual bool OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;    // 11
  virtual bool OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;      // 12
  virtual bool OnLButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;  // 13
  virtual bool OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;      // 14
  virtual bool OnRButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;    // 15
  virtual bool OnRButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;      // 16
  virtual bool OnRButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) = 0;  // 17
  virtual bool OnMouseWheel(KA_PageView view, uint32_t flags, int16_t delta, const KS_DevicePoint& pt) = 0;  // 18
  virtual bool OnPointerEvent(intptr_t value, const KS_DevicePoint& pt) { return false; }  // 21
  virtual bool OnUnrecorded() { return false; }  // not in the record
  // Paints the tool's feedback on a page view.
  virtual void OnPaint(KA_PageView view, KA_Device device, intptr_t value, uint32_t flags) = 0;  // 23
  // A busy tool stores the point its gesture is anchored at and answers true.
  virtual bool GetAnchor(KS_DevicePoint& out) { return false; }  // 31

  // Creates and registers the host tool once; later calls return the same
  // handle.
  KA_Tool Register();
  KA_Tool HostTool() const { return tool_; }

  // The usable-now check of the editing tools: a current document that is
  // not in a read-only mode and allows annotations to be modified.
  static bool CurrentDocumentAllowsAnnotEdits();

 protected:
  // A host object the tool keeps; released with the tool.
  void SetHostObject(KPD_Object object) { hostObject_ = object; }
  KPD_Object HostObject() const { return hostObject_; }

 private:
  KS_ToolCallbacks MakeRecord();

  KA_Tool tool_ = nullptr;
  KPD_Object hostObject_ = nullptr;
};

}  // namespace AnnotationPlugin
