// A feature module of the plug-in: measuring, drawing or toolsets.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

class IAnnot_Module {
 public:
  virtual ~IAnnot_Module() = default;
  virtual std::string GetName() const = 0;
  virtual bool IsEnabled() const { return true; }
  virtual void OnMainFrameCreated(KA_Frame frame) = 0;
  virtual void OnMainFrameClosing(KA_Frame frame) = 0;
  virtual void Init() = 0;
  virtual void Exit() = 0;
};

using ModuleFactory = std::unique_ptr<IAnnot_Module> (*)();

// The modules the plug-in creates at start-up, in creation order. The shared
// library defines the real table; tests may link their own.
std::span<const ModuleFactory> ModuleFactories();

}  // namespace AnnotationPlugin
