// The editor's own model behind the application functions: documents with
// their undo stacks and page views, tools and the current tool, and the
// answers a headless host gives in place of a user.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_records.h"

struct KA_Tool__ {
  std::string name;
  KS_ToolCallbacks callbacks{};
  std::u16string category;
  std::u16string group;
  bool registered = false;
  bool builtIn = false;
};

struct KA_PageView__ {
  KA_Document doc = nullptr;
  int pageIndex = 0;
  float zoom = 1;
  int rotation = 0;          // the view's own, added to the page's /Rotate
  KS_Matrix pageToDevice{};  // device pixels, y downwards
};

struct KA_Document__ {
  KPD_Document pdf = nullptr;
  bool readOnly = false;
  std::vector<KS_UndoRecord> undo;
  std::vector<KS_UndoRecord> redo;
  std::vector<std::unique_ptr<KA_PageView__>> views;
};

struct KA_AnnotHandler__ {
  std::string type;
  KS_AnnotHandlerCallbacks callbacks{};
};

namespace kshost {

enum class MouseEvent { LeftDown, LeftUp, LeftDouble, Move, RightDown, RightUp, RightDouble };

class Editor {
 public:
  static Editor& Get();

  // Forgets every document and tool; built-in tools come back.
  void Reset();

  // Documents. The editor does not own the PDF document.
  KA_Document AddDocument(KPD_Document pdf, bool readOnly);
  void RemoveDocument(KA_Document doc);
  KA_Document CurrentDocument() const { return current_; }

  // The view of a page of the current document, made or changed to the given
  // zoom and rotation. Null when there is no such page.
  KA_PageView SetView(int pageIndex, float zoom, int rotation);
  KA_PageView View(int pageIndex);
  void RecomputeView(KA_PageView view);

  // Tools.
  KA_Tool NewTool(const std::string& name, const KS_ToolCallbacks* callbacks);
  void ReleaseTool(KA_Tool tool);
  bool RegisterTool(KA_Tool tool);
  bool UnregisterTool(KA_Tool tool);
  KA_Tool FindTool(const std::string& name) const;
  KA_Tool CurrentTool() const { return currentTool_; }
  bool SetCurrentTool(KA_Tool tool, bool persistent);
  bool IsValidTool(KA_Tool tool) const;
  std::vector<KA_Tool> RegisteredTools() const;

  // Events for the current tool at a page point of the current document.
  // While the tool is busy its events keep going through the view its
  // gesture started on.
  bool Mouse(MouseEvent kind, int pageIndex, KS_FloatPoint pt, uint32_t flags, std::string* error);
  bool Wheel(int pageIndex, KS_FloatPoint pt, int delta, uint32_t flags, std::string* error);
  bool Key(int code, uint32_t flags, std::string* error);

  // Undo stack of a document. The editor owns the items it was handed.
  bool AddUndo(KA_Document doc, const KS_UndoRecord& record);
  bool Undo(KA_Document doc);
  bool Redo(KA_Document doc);

  // What plug-ins announced besides tools: feature modules (name, enabled),
  // annotation handlers by type, and document event receivers. The records
  // are copied; a receiver is known by the address it registered with.
  void AnnounceModule(const std::string& name, bool enabled) { modules_.emplace_back(name, enabled); }
  const std::vector<std::pair<std::string, bool>>& Modules() const { return modules_; }
  KA_AnnotHandler RegisterAnnotHandler(const std::string& type, const KS_AnnotHandlerCallbacks& record);
  bool UnregisterAnnotHandler(KA_AnnotHandler handler);
  std::vector<std::string> AnnotHandlerTypes() const;
  bool RegisterDocEvents(const KS_DocEventCallbacks* record);
  bool UnregisterDocEvents(const KS_DocEventCallbacks* record);
  int DocEventReceiverCount() const { return static_cast<int>(docEvents_.size()); }
  KA_Document FindDocument(KPD_Document pdf) const;
  // Tells every document event receiver of an event with only a document.
  void FireDocEvent(int position, KA_Document doc);

  // Message boxes: answers queued by a script; without one, the first button.
  void QueueMessageAnswer(int answer) { messageAnswers_.push_back(answer); }
  int AnswerMessage(const std::u16string& title, const std::u16string& text);
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  Editor();
  bool Deliver(MouseEvent kind, KA_PageView view, KS_DevicePoint pt, uint32_t flags);
  KA_PageView EventView(int pageIndex, std::string* error);
  static void ReleaseItems(std::vector<KS_UndoRecord>& items);
  static bool Step(std::vector<KS_UndoRecord>& from, std::vector<KS_UndoRecord>& to, bool undo);

  std::vector<std::unique_ptr<KA_Document__>> docs_;
  KA_Document current_ = nullptr;
  std::vector<std::unique_ptr<KA_Tool__>> tools_;
  KA_Tool currentTool_ = nullptr;
  KA_PageView captured_ = nullptr;
  std::deque<int> messageAnswers_;
  std::vector<std::string> messages_;
  std::vector<std::pair<std::string, bool>> modules_;
  std::vector<std::unique_ptr<KA_AnnotHandler__>> handlers_;
  std::vector<const KS_DocEventCallbacks*> docEvents_;
};

}  // namespace kshost
