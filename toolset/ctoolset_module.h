// The toolsets module: the toolset manager, the placing tool and the tool
// chest panel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin/annot_event_providers.h"
#include "plugin/annot_module.h"
#include "plugin/annotation_app.h"
#include "sdk/ks_records.h"

namespace AnnotationPlugin {

class CToolChestPanel;
class CAnnot_ToolsetToolHandler;

// The extension table's view of the toolsets: the visible ones, in list
// order, and capturing a document's selection into one of them.
class CToolsetExtensionAccess final : public IAnnot_ToolsetAccess {
 public:
  std::vector<std::u16string> VisibleTitles() override;
  bool AddSelection(int32_t index, KPD_Page page) override;
};

class CToolset_Module final : public IAnnot_Module {
 public:
  CToolset_Module();
  ~CToolset_Module() override;
  std::string GetName() const override { return "TOOLSET"; }
  void OnMainFrameCreated(KA_Frame) override {}
  void OnMainFrameClosing(KA_Frame) override {}
  // Reads the toolsets, registers the "ANNOT_TOOLSET" tool and the
  // "ToolShest" panel.
  void Init() override;
  // Writes the toolsets and the panel's item width; unregisters both.
  void Exit() override;

  CToolChestPanel* Panel() const { return panel_.get(); }

 private:
  // Enables the chest's items only while the current document allows
  // annotation changes.
  class DocumentEvents final : public CAnnot_DoceventProvider {
   public:
    explicit DocumentEvents(CToolset_Module& module) : module_(module) {}
    void OnDocOpened(KA_Document) override { module_.UpdateEnabled(); }
    void OnDocActivated(KA_Document) override { module_.UpdateEnabled(); }
    void OnDocClosed(KA_Document) override { module_.UpdateEnabled(); }

   private:
    CToolset_Module& module_;
  };
  void UpdateEnabled();

  std::shared_ptr<CToolChestPanel> panel_;
  DocumentEvents documentEvents_{*this};
  KS_DocEventCallbacks documentRecord_{};
  std::unique_ptr<CAnnot_ToolsetToolHandler> handler_;
  KS_PanelCallbacks record_{};
  CToolsetExtensionAccess access_;
};

std::unique_ptr<IAnnot_Module> MakeToolsetModule();

}  // namespace AnnotationPlugin
