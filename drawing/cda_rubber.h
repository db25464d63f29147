// The ink eraser ("Rubber"): takes away the parts of ink strokes the
// pointer passes over (mode 1), whole strokes it touches (mode 2), or every
// ink annotation of the document at once (mode 3). Mode 0 does nothing.
// Only "Ink" annotations that are not locked, whose document is not read
// only and that may be modified are ever erased; every erase is one undo
// step captioned "IDS_STR_UNDORUBBER".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drawing/cda_rubber_geometry.h"
#include "drawing/cda_rubber_ink.h"
#include "plugin/annot_tool_handler.h"

namespace AnnotationPlugin {

class CDA_CNRubberToolHandler : public CAnnot_ToolHandler {
 public:
  enum Mode { kNone = 0, kPart = 1, kWhole = 2, kAll = 3 };

  CDA_CNRubberToolHandler();
  ~CDA_CNRubberToolHandler() override;

  std::string GetName() const override { return "Rubber"; }
  void OnActivate(bool persistent) override;
  void OnDeactivate() override;
  bool OnKeyDown(int32_t, uint32_t) override { return busy_; }
  bool IsUsableNow() override { return CurrentDocumentAllowsAnnotEdits(); }
  bool IsBusy() override { return busy_; }
  bool OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonDblClk(KA_PageView, uint32_t, const KS_DevicePoint&) override { return busy_; }
  bool OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnRButtonDown(KA_PageView, uint32_t, const KS_DevicePoint&) override { return busy_; }
  bool OnRButtonUp(KA_PageView, uint32_t, const KS_DevicePoint&) override { return busy_; }
  bool OnRButtonDblClk(KA_PageView, uint32_t, const KS_DevicePoint&) override { return busy_; }
  bool OnMouseWheel(KA_PageView, uint32_t, int16_t, const KS_DevicePoint&) override { return busy_; }
  void OnPaint(KA_PageView, KA_Device, intptr_t, uint32_t) override {}
  bool GetAnchor(KS_DevicePoint& out) override;

  // A ribbon control was pressed: "Button_CNRubberPart", "Button_CNRubberWhole"
  // or "Button_CNRubberAll" set their mode (erase-all runs at once) and make
  // the eraser the current tool; any other name sets mode 0.
  void OnControl(const std::string& id);
  int32_t GetMode() const { return mode_; }
  int32_t GetSize() const { return size_; }
  // Stores a new size (clamped to 1..30).
  void SetSize(int32_t size);

  // The stored size, clamped to 1..30 (8 when there is none).
  static int32_t ReadSize();
  // The preview colour of a night-mode number.
  static KS_ColorRef PreviewColor(int32_t nightMode);

  // Erases every erasable ink of the current document. False, with the
  // message tip, when there is none.
  bool EraseAll();

  // The inks erasable now: "Ink", not locked, not read only, modifiable.
  static bool IsErasable(KA_Annot annot);

 private:
  // An ink touched during the gesture, with its strokes indexed once.
  struct Candidate {
    KA_Annot annot = nullptr;
    DA_InkData data;
    std::unique_ptr<CDA_StrokeIndex> index;
    std::unique_ptr<CDA_StrokeIndex::Preview> preview;
    float lineWidth = 1;
  };

  void AddCandidate(KA_Annot annot);
  Candidate Prepare(KA_Annot annot);
  void PrepareInks(KA_PageView view);
  static void ClearEveryView();
  void SetCursor(KA_PageView view);
  void PaintPreview(KA_PageView view, const Candidate& c, const std::vector<DA_SegmentRef>& segments);
  // Applies the erase of the mode to one candidate; true when it changed.
  bool EraseOne(Candidate& c, KA_Document doc, std::vector<std::string>* skipped);
  void ShowSkipped(const std::vector<std::string>& skipped);

  KS_DevicePoint start_{};
  bool busy_ = false;
  KA_PageView view_ = nullptr;
  CDA_RubberTrail trail_{RubberRadius(8)};
  std::vector<Candidate> candidates_;
  // The erasable inks of the gesture's page not touched yet.
  std::vector<Candidate> prepared_;
  int32_t mode_ = kNone;
  int32_t size_ = 8;
  int32_t nightMode_ = -1;
  KS_ColorRef background_ = 0xFFFFFF;
};

}  // namespace AnnotationPlugin
