// Toolsets: named collections of pre-styled annotation tools. A tool is a
// self-contained copy of an annotation dictionary (with its group members
// and every appearance resource it needs, referred to by "REFID_" names)
// that places an identical annotation on any page of any document.
//
// Toolset files, "preferences.xml" and the mirror's "toolsets.xml" live in
// the "toolset" folder of the plug-in's application-data folder. Every file
// is written to a temporary and renamed over the old one, so a failed write
// leaves the previous file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sdk/ks_types.h"
#include "toolset/toolset_codec.h"

namespace AnnotationPlugin {

inline constexpr char kToolTypePrefix[] = "Venko.PDF.Annotations.Annotation";
inline constexpr char kFavoriteToolsetFile[] = "favorite.toolset.xml";
inline constexpr char kToolChestPanelName[] = "ToolShest";

// How many bytes the fields of one toolset file have inflated to so far,
// shared by its tools so that all of them together stay within a bound.
struct ToolsetInflateBudget {
  size_t used = 0;
  size_t limit = kMaxToolsetBytes;
};

// One object a stored annotation refers to by name instead of by reference.
// Its data is the largest part of a toolset and only placing or drawing the
// tool needs it, so a resource read from a file keeps the stored field and
// inflates it on first use.
class CAnnot_ToolResource {
 public:
  std::string id;    // "REFID_" and a UUID
  std::string key;   // "XObject" or "Pattern"

  // The stream in PDF object syntax; empty when the stored field is broken
  // or does not fit the file's budget.
  const std::string& Data() const;
  void SetData(std::string data);
  // The field as a file stores it, taken as it is; inflated by Data().
  void SetStored(std::string text, std::shared_ptr<ToolsetInflateBudget> budget);
  // The field to write: the stored text while Data() was never replaced,
  // else the data encoded.
  std::string StoredText() const;
  // Whether Data() has been inflated (for tests of what loading costs).
  bool Inflated() const { return !pending_; }

 private:
  mutable std::string data_;
  std::string stored_;
  mutable bool pending_ = false;
  std::shared_ptr<ToolsetInflateBudget> budget_;
};

class CAnnot_Tool {
 public:
  CAnnot_Tool() = default;
  ~CAnnot_Tool();
  CAnnot_Tool(const CAnnot_Tool&) = delete;
  CAnnot_Tool& operator=(const CAnnot_Tool&) = delete;

  std::u16string name;  // the source's /NM at capture
  std::string raw;      // the normalised dictionary in PDF syntax
  std::string type;     // kToolTypePrefix + kind
  float width = 0, height = 0;
  float x = 0, y = 0;   // reference point of the source
  int32_t index = 0;    // the source's position in its page's /Annots
  int32_t mode = 1;     // 1 drawing, 0 properties
  std::vector<std::shared_ptr<CAnnot_Tool>> children;
  std::vector<std::shared_ptr<CAnnot_ToolResource>> resources;
  // What a file held that this version does not read, written back as it
  // was: the stored "Raw" when it did not decode (raw is then empty), and
  // whole elements of the item (resources it could not use, elements it
  // does not know) in XML syntax.
  std::string unreadRaw;
  std::vector<std::string> unreadElements;

  // The parsed dictionary of `raw` (owned), or null when raw does not parse.
  KPD_Dictionary Dictionary() const { return dict_; }
  // Parses `raw` again; false when it is no dictionary.
  bool ParseRaw();
  // The resource of `id` in this tool, or null.
  const CAnnot_ToolResource* FindResource(const std::string& id) const;

 private:
  KPD_Dictionary dict_ = nullptr;
};

class CAnnot_ToolSet;

// Listener of toolset changes (the tool chest panel).
class IAnnot_ToolSetEventHandler {
 public:
  virtual ~IAnnot_ToolSetEventHandler() = default;
  virtual void OnToolAdded(CAnnot_ToolSet* toolset, CAnnot_Tool* tool) {}
  virtual void OnToolDeleted(CAnnot_ToolSet* toolset, CAnnot_Tool* tool) {}
  virtual void OnToolPositionChanged(CAnnot_ToolSet* toolset) {}
  virtual void OnPreferenceChanged(const std::u16string& path) {}
  virtual void OnToolSetPreferencesCommitted() {}
};

enum class AnnotToolPosOperation : int32_t { kMoveToTop = 0, kMoveUp = 1, kMoveDown = 2, kMoveToBottom = 3 };

// An item of a toolset file that this version does not load (a tool type it
// does not know, a properties tool, a second tool of one name), kept in XML
// syntax with the loaded tool it followed (none: it came first).
struct CAnnot_UnreadItem {
  std::weak_ptr<CAnnot_Tool> after;
  bool first = false;
  std::string xml;
};

class CAnnot_ToolSet {
 public:
  std::u16string title;
  // The title is the favourites' name in the user's language ("My Tools"):
  // shown as such, stored as no title at all.
  bool titleFromLanguage = false;
  std::u16string filePath;
  std::vector<std::shared_ptr<CAnnot_Tool>> tools;
  bool normalized = false;
  // Set by every change the user makes (tools added, deleted or moved, a
  // new title); only a changed toolset is written back to its file.
  bool modified = false;
  std::vector<CAnnot_UnreadItem> unreadItems;
  // The stored title when it did not decode (written back while the title
  // stays empty), and root attributes this version does not use.
  std::string unreadTitle;
  std::vector<std::pair<std::string, std::string>> unreadAttributes;
  // The file's text as last read or written here, to tell whether another
  // process has changed it since, and the names of its tools then.
  size_t fileStamp = 0;
  std::vector<std::u16string> storedNames;
  std::shared_ptr<ToolsetInflateBudget> budget = std::make_shared<ToolsetInflateBudget>();

  // Captures the annotation `annotIndex` of `page` (and its group) as a new
  // last tool. False, adding nothing, when it cannot be captured.
  bool AddTool(KPD_Page page, int32_t annotIndex, std::string* error = nullptr);
  bool DeleteTool(const CAnnot_Tool* tool);
  bool ChangeToolPosition(const CAnnot_Tool* tool, AnnotToolPosOperation op);
  // Moves `tool` so that it becomes the tool at `position` (past the end:
  // the last), the others keeping their order; the listeners hear of it as
  // of any change of position. False when the tool is not in this toolset.
  bool MoveTool(const CAnnot_Tool* tool, size_t position);
  // The tool whose name is `name`, or null.
  std::shared_ptr<CAnnot_Tool> FindTool(const std::u16string& name) const;
};

class CAnnot_ToolSetPreference {
 public:
  std::u16string path;  // as written: a bare file name or an absolute path
  std::u16string title;
  std::u16string fullPath;
  bool visible = true;
  bool expand = true;
  std::shared_ptr<CAnnot_ToolSet> toolset;  // when loaded

  void SetExpand(bool value);
};

// What went wrong while reading a file: the rest of it still loaded.
struct ToolsetProblem {
  std::string file;
  std::string where;  // "line 3, column 5" or "item 2"
  std::string why;
};

// The type identifier of a captured annotation's kind, and whether a stored
// identifier is one that loads.
std::string ToolTypeOf(KPD_Dictionary annot);
bool IsSupportedToolType(const std::string& type);

// The toolset file format. Loading keeps every sound item and reports the
// others; null (with a problem) when the file does not parse at all.
std::shared_ptr<CAnnot_ToolSet> ReadToolSet(std::string_view xml, const std::u16string& path,
                                            std::vector<ToolsetProblem>* problems);
std::shared_ptr<CAnnot_ToolSet> LoadToolSetFile(const std::u16string& path, std::vector<ToolsetProblem>* problems);
std::string WriteToolSet(const CAnnot_ToolSet& toolset);
bool SaveToolSetFile(const CAnnot_ToolSet& toolset, const std::u16string& path);
// Writes `toolset` to its own file when the user changed it (and clears
// the mark); a toolset nobody changed is left as its file has it. When
// another process rewrote the file since it was read, the tools and items
// that process added join this toolset first, so neither loses its work.
// False when the write failed.
bool SaveToolSetChanges(CAnnot_ToolSet& toolset);

// What a package holds, looked at before it is imported: whether it is XML
// with a "VenkoToolSet" root and a "Title" and inflates to no more than
// `limit` bytes (else `why`), how many items it has and how many of them
// are of a supported type and mode.
struct ToolsetPackageScan {
  bool sound = false;
  bool tooLarge = false;  // its fields inflate beyond kMaxToolsetBytes together
  std::string why;
  int items = 0, supported = 0;
  size_t inflated = 0;  // the bytes its fields inflate to
};
ToolsetPackageScan ScanToolsetPackage(std::string_view xml, size_t limit = kMaxToolsetBytes);

// Moves a tool of a "normalized" file so that its Rect starts at the origin.
void MoveToolToOrigin(CAnnot_Tool& tool);
// The fix-ups a dictionary read from a toolset file gets, on the live
// dictionary only (the stored text stays as it was), and so on what is
// placed: a stored "Rotation" is the negative of the shape's turn and is
// negated back; an arc tool gets the intent "CircleArc"; a text box other
// than a callout whose style says nothing of a margin gets ";margin:5pt"
// after its style.
void ApplyLoadFixUps(CAnnot_Tool& tool);

// A file name for a toolset titled `title` ("" when none can be made).
std::u16string ToolsetFileNameFromTitle(const std::u16string& title);

// The name of the favourites toolset that has no title of its own, in the
// current language ("IDS_MYTOOLS").
std::u16string FavoritesTitle();

// The title a toolset shows: its own, or the favourites' name in the
// current language.
std::u16string ShownTitle(const CAnnot_ToolSet& toolset);

// Places `tool` on `page` of `doc` with the upper-left corner of its
// bounding box at (x, y) in page space. The new annotations (head first)
// go to `placed`. False with `*error` when nothing could be placed.
bool PlaceTool(KPD_Document doc, int32_t pageIndex, const CAnnot_Tool& tool, float x, float y,
               std::vector<KPD_Dictionary>* placed, std::string* error);

// How bringing a package into the toolset folder ended.
enum class ToolsetImportStatus {
  kImported,
  kUnreadable,       // the path is not absolute, or the file cannot be read
  kCorrupted,        // no XML, no "VenkoToolSet" root, or no "Title"
  kTooLarge,         // its fields inflate beyond kMaxToolsetBytes together
  kNoSupportedTool,  // it has items, and none of a supported type and mode
  kDeclined,         // a file of that name is in the folder and may not be replaced
  kAccessDenied,     // nothing can be written in the toolset folder
  kInUse,            // the file of that name in the folder cannot be replaced
  kCopyFailed,       // the copy broke off; `reason` says why
  kNotLoaded,        // the copy does not load as a toolset
};

struct ToolsetImport {
  ToolsetImportStatus status = ToolsetImportStatus::kUnreadable;
  std::shared_ptr<CAnnot_ToolSet> toolset;  // when imported
  std::u16string destination;               // the copy in the toolset folder
  bool skippedItems = false;                // some items will not load
  std::string reason;                       // the system's words, for a failed copy
};

class CAnnot_ToolSetMgr {
 public:
  static CAnnot_ToolSetMgr& Get();

  // The toolset folder ("<app data>/toolset"), created when missing;
  // empty when it cannot be.
  std::u16string ToolsetFolder() const;
  void SetMirrorSubfolder(const std::u16string& name) { mirrorName_ = name; }

  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> LoadToolSetPreferences();
  bool CommitToolSetPreferences(std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> list);
  // Writes the list when this process changed it, joined with what another
  // process wrote since it was read: entries it added are kept, values this
  // process did not touch take the other's, and an entry this process
  // removed stays removed.
  bool SavePreferences();
  // Writes the toolsets the user changed, then the list.
  bool SaveAll();
  // Writes the changed toolsets, then reads the preference list and every
  // visible toolset afresh.
  bool Reload();
  // Takes in what other processes wrote since: new list entries, their
  // values, toolset files they rewrote (unless changed here too). True,
  // with the listeners told, when anything changed.
  bool Refresh();
  // Forgets everything (a new profile in tests).
  void Reset();

  // The loaded toolsets; the favourites' name is brought to the current
  // language first.
  const std::vector<std::shared_ptr<CAnnot_ToolSet>>& ToolSets() const;
  const std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>& Preferences() const { return preferences_; }
  const std::vector<ToolsetProblem>& Problems() const { return problems_; }
  // The loaded toolset titled `title`, or null.
  std::shared_ptr<CAnnot_ToolSet> FindToolSet(const std::u16string& title) const;
  // Makes a new empty toolset file in the folder and adds it to the list.
  std::shared_ptr<CAnnot_ToolSet> CreateToolSet(const std::u16string& title, std::string* error);
  // Copies a package into the folder and loads it. A different file of the
  // same name in the folder is replaced only with `replace`; without it the
  // import is refused and `*error` names the package and the toolset held.
  // Null with `*error` too when it is corrupted, too large once inflated,
  // or holds no tool that loads.
  std::shared_ptr<CAnnot_ToolSet> ImportToolSet(const std::u16string& file, bool replace, std::string* error);
  bool ExportToolSet(const CAnnot_ToolSet& toolset, const std::u16string& file, std::string* error);
  // Imports a package step by step: checks it, copies it into the folder
  // under its own name (asking `replace` first when a different file of
  // that name is there; null replaces), loads the copy and lists it as
  // visible, replacing a toolset of the same file. Nothing in the folder
  // or the lists changes unless the status is kImported, except that a
  // copy that does not load stays in the folder.
  ToolsetImport ImportToolSetFile(const std::u16string& file,
                                  const std::function<bool(const std::u16string& destination)>& replace);
  // Gives `toolset` a new title and writes its file; the list entry of its
  // file takes the title too. On failure the title stays as it was.
  bool RenameToolSet(CAnnot_ToolSet& toolset, const std::u16string& title, std::string* error);
  // Removes the toolset file `fullPath` from the disk, forgets its toolset
  // and list entry, writes the list and tells the listeners. A file that
  // cannot be removed leaves everything as it was.
  bool DeleteToolSet(const std::u16string& fullPath, std::string* error);
  // Forgets the list entries (and toolsets) whose file is gone or unnamed;
  // returns how many.
  int DropMissingPreferences();

  void AddEventHandler(const std::shared_ptr<IAnnot_ToolSetEventHandler>& handler);
  void RemoveEventHandler(const IAnnot_ToolSetEventHandler* handler);
  template <typename F>
  void Dispatch(F&& call);

 private:
  // The values of one list entry, to tell what changed since it was read.
  struct EntryState {
    std::u16string fullPath, title;
    bool visible = true, expand = true;
    bool operator==(const EntryState& o) const {
      return fullPath == o.fullPath && title == o.title && visible == o.visible && expand == o.expand;
    }
  };
  static std::vector<EntryState> StateOf(const std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>& list);
  // The list as stored now, with the entries whose file is gone when
  // `keepMissing`; false when none is stored (or it does not parse).
  bool ReadStoredList(const std::u16string& folder, std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>* list,
                      bool keepMissing = false) const;
  // Joins the stored list into this one; true when this one changed.
  bool MergeStoredList(const std::u16string& folder);
  // Loads the visible toolsets not loaded yet and rereads unchanged ones
  // whose files changed; true when the loaded toolsets changed.
  bool LoadVisibleToolSets();

  CAnnot_ToolSetMgr() = default;
  std::vector<std::shared_ptr<CAnnot_ToolSet>> toolsets_;
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> preferences_;
  // The list as last read or written, to merge with another process's.
  std::vector<EntryState> base_;
  std::vector<std::weak_ptr<IAnnot_ToolSetEventHandler>> handlers_;
  std::vector<ToolsetProblem> problems_;
  std::u16string mirrorName_;
  bool loaded_ = false;
  bool saved_ = false;
  bool dispatching_ = false;
};

template <typename F>
void CAnnot_ToolSetMgr::Dispatch(F&& call) {
  if (dispatching_) return;
  dispatching_ = true;
  auto handlers = handlers_;
  for (auto& weak : handlers)
    if (auto h = weak.lock()) call(*h);
  dispatching_ = false;
}

}  // namespace AnnotationPlugin
