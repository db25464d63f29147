// The editor's comment tools as one module: made and registered with the
// editor when a session starts, with their buttons on the ribbon's
// "Comment" tab, and taken away when it ends. The module lives in the host
// process (over the host's functions bound there), not in the plug-in.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_records.h"

namespace AnnotationComment {

class CCM_CommentTool;
class CCM_StyleHandler;

class CCM_CommentModule {
 public:
  // Registers every tool of the table and adds the tab's panels to the
  // ribbon of `frame` (none without one). The host's functions must be
  // bound in this process first.
  explicit CCM_CommentModule(KA_Frame frame);
  ~CCM_CommentModule();  // unregisters the tools
  CCM_CommentModule(const CCM_CommentModule&) = delete;
  CCM_CommentModule& operator=(const CCM_CommentModule&) = delete;

  // Every key of the editor's words the tab's ribbon, the tools' captions
  // and the properties' undo steps ask for.
  static std::vector<std::string> TextKeys();

 private:
  void BuildRibbon(KA_Frame frame);
  static void WillClose(void* module, KA_Document doc);
  std::vector<std::unique_ptr<CCM_CommentTool>> tools_;
  // The properties panel's setters of the kinds the tools make.
  std::unique_ptr<CCM_StyleHandler> styles_;
  // Tells the tools of a document that closes, so that none keeps its
  // views or annotations.
  KS_DocEventCallbacks docEvents_{};
};

}  // namespace AnnotationComment
