// The toolset list of the tool chest ("preferences.xml", and the mirror's
// "toolsets.xml"): reading it, joining it with what another process stored
// since, writing it, and loading the visible toolsets it names.
#include <algorithm>
#include <functional>
#include <string_view>

#include "sdk/ks_host_binding.h"
#include "toolset/annot_toolset.h"
#include "toolset/toolset_xml.h"

namespace AnnotationPlugin {

namespace host = ks::host;
using namespace toolset_xml;

namespace {

// The "Item" list of a preference list, as read.
std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> ReadItems(KX_Element parent, const std::u16string& folder,
                                                                  bool keepMissing = false) {
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> out;
  for (KX_Element item = Child(parent, "Item"); item; item = host::XmlNextSibling(item, "Item")) {
    KX_Element pathElement = Child(item, "Path");
    if (!pathElement) continue;
    auto p = std::make_shared<CAnnot_ToolSetPreference>();
    p->path = U16(Text(pathElement));
    if (!EndsWith(p->path, u".ktz") && !EndsWith(p->path, u".toolset.xml")) continue;
    p->fullPath = !p->path.empty() && p->path[0] == u'/' ? p->path : Join(folder, p->path);
    if (!keepMissing && !host::FileExists(p->fullPath.c_str())) continue;
    if (KX_Element v = Child(item, "Visible")) p->visible = Text(v) == "True";
    if (KX_Element v = Child(item, "Expand")) p->expand = Text(v) == "True";
    p->title = U16(Trim(Text(Child(item, "Title"))));
    bool seen = std::any_of(out.begin(), out.end(), [&](auto& q) { return q->fullPath == p->fullPath; });
    if (!seen) out.push_back(std::move(p));
  }
  return out;
}

void WriteItems(KX_Element parent, const std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>& list) {
  for (const auto& p : list) {
    KX_Element item = host::XmlAppendChild(parent, "Item");
    AppendText(item, "Visible", p->visible ? "True" : "False");
    AppendText(item, "Path", U8(p->path));
    if (!p->title.empty()) AppendText(item, "Title", U8(p->title));
    AppendText(item, "Expand", p->expand ? "True" : "False");
  }
}

}  // namespace

bool CAnnot_ToolSetMgr::ReadStoredList(const std::u16string& folder,
                                       std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>* list,
                                       bool keepMissing) const {
  list->clear();
  if (folder.empty()) return false;
  host::ByteString error;
  if (!mirrorName_.empty()) {
    std::u16string mirror = Join(Join(folder, mirrorName_), u"toolsets.xml");
    if (host::FileExists(mirror.c_str())) {
      Xml x;
      x.doc = host::XmlParseFile(mirror.c_str(), error.get());
      if (!x.doc) return false;
      *list = ReadItems(host::XmlGetRoot(x.doc), folder, keepMissing);
      return true;
    }
  }
  std::u16string prefs = Join(folder, u"preferences.xml");
  if (!host::FileExists(prefs.c_str())) return false;
  Xml x;
  x.doc = host::XmlParseFile(prefs.c_str(), error.get());
  KX_Element root = x.doc ? host::XmlGetRoot(x.doc) : nullptr;
  for (KX_Element p = Child(root, "Preference"); p; p = host::XmlNextSibling(p, "Preference")) {
    host::ByteString key;
    if (host::XmlGetAttribute(p, "Key", key.get()) && key.str() == "Toolsets") {
      *list = ReadItems(p, folder, keepMissing);
      return true;
    }
  }
  return false;
}

std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> CAnnot_ToolSetMgr::LoadToolSetPreferences() {
  const std::u16string folder = ToolsetFolder();
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> list;
  if (ReadStoredList(folder, &list)) return list;
  auto p = std::make_shared<CAnnot_ToolSetPreference>();
  p->path = U16(kFavoriteToolsetFile);
  p->fullPath = Join(folder, p->path);
  return {p};
}

std::vector<CAnnot_ToolSetMgr::EntryState> CAnnot_ToolSetMgr::StateOf(
    const std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>& list) {
  std::vector<EntryState> out;
  for (const auto& p : list) out.push_back({p->fullPath, p->title, p->visible, p->expand});
  return out;
}

bool CAnnot_ToolSetMgr::MergeStoredList(const std::u16string& folder) {
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> stored, theirs;
  if (!ReadStoredList(folder, &stored, true)) return false;
  for (const auto& e : stored)
    if (host::FileExists(e->fullPath.c_str())) theirs.push_back(e);
  auto find = [](auto& list, const std::u16string& path) {
    return std::find_if(list.begin(), list.end(), [&](auto& e) { return e->fullPath == path; });
  };
  auto findState = [&](const std::u16string& path) {
    return std::find_if(base_.begin(), base_.end(), [&](auto& e) { return e.fullPath == path; });
  };
  bool changed = false;
  // A value this process left as it found it takes what the other wrote.
  for (auto& mine : preferences_) {
    auto other = find(theirs, mine->fullPath);
    auto base = findState(mine->fullPath);
    if (other == theirs.end()) {
      // Listed once and gone from the other's list with its file: removed there.
      const bool changedHere = mine->toolset && mine->toolset->modified;
      if (base != base_.end() && !host::FileExists(mine->fullPath.c_str()) && !changedHere)
        mine = nullptr, changed = true;
      continue;
    }
    if (base == base_.end()) continue;
    auto adopt = [&](auto& field, const auto& was, const auto& now) {
      if (field == was && field != now) field = now, changed = true;
    };
    adopt(mine->visible, base->visible, (*other)->visible);
    adopt(mine->expand, base->expand, (*other)->expand);
    adopt(mine->title, base->title, (*other)->title);
  }
  preferences_.erase(std::remove(preferences_.begin(), preferences_.end(), nullptr), preferences_.end());
  // Entries another process added; one this process removed stays removed.
  for (auto& other : theirs) {
    if (find(preferences_, other->fullPath) != preferences_.end() || findState(other->fullPath) != base_.end())
      continue;
    preferences_.push_back(other);
    changed = true;
  }
  // The stored list is the new common ground; an entry whose file is gone
  // keeps the values this process knew, so that removing it here still
  // counts as a change of this process's.
  std::vector<EntryState> ground;
  for (const auto& e : stored) {
    auto known = findState(e->fullPath);
    if (host::FileExists(e->fullPath.c_str())) ground.push_back(StateOf({e})[0]);
    else if (known != base_.end()) ground.push_back(*known);
  }
  base_ = std::move(ground);
  return changed;
}

bool CAnnot_ToolSetMgr::LoadVisibleToolSets() {
  bool changed = false;
  std::vector<std::shared_ptr<CAnnot_ToolSet>> sets;
  for (auto& p : preferences_) {
    if (!p->visible) continue;
    if (p->toolset && !p->toolset->modified && !p->toolset->filePath.empty()) {
      // A file another process rewrote is read again, unless this one
      // has changes of its own to it.
      host::ByteString data;
      if (host::FileRead(p->toolset->filePath.c_str(), data.get()) &&
          std::hash<std::string_view>()(std::string_view(data.str())) != p->toolset->fileStamp) {
        std::vector<ToolsetProblem> problems;
        if (auto fresh = ReadToolSet(data.str(), p->toolset->filePath, &problems)) {
          p->toolset = fresh;
          changed = true;
        }
      }
    }
    if (!p->toolset) {
      std::vector<ToolsetProblem> problems;
      p->toolset = LoadToolSetFile(p->fullPath, &problems);
      if (!p->toolset && FileNameOf(p->fullPath) == U16(kFavoriteToolsetFile) &&
          !host::FileExists(p->fullPath.c_str())) {
        // The favourites file is made on first use.
        p->toolset = std::make_shared<CAnnot_ToolSet>();
        p->toolset->filePath = p->fullPath;
        p->toolset->title = FavoritesTitle();
        p->toolset->titleFromLanguage = true;
        problems.clear();
      }
      // A file that stays unreadable is tried again on each refresh and
      // reported once.
      const bool reported = !problems.empty() && std::any_of(problems_.begin(), problems_.end(), [&](auto& q) {
        return q.file == problems[0].file;
      });
      if (!reported) problems_.insert(problems_.end(), problems.begin(), problems.end());
      changed = changed || p->toolset != nullptr;
    }
    if (p->toolset) sets.push_back(p->toolset);
  }
  changed = changed || sets != toolsets_;
  toolsets_ = std::move(sets);
  return changed;
}

bool CAnnot_ToolSetMgr::Refresh() {
  if (!loaded_) return false;
  const bool listChanged = MergeStoredList(ToolsetFolder());
  const bool setsChanged = LoadVisibleToolSets();
  if (listChanged || setsChanged) Dispatch([](IAnnot_ToolSetEventHandler& h) { h.OnToolSetPreferencesCommitted(); });
  return listChanged || setsChanged;
}

bool CAnnot_ToolSetMgr::SavePreferences() {
  if (!loaded_) return true;
  const std::u16string folder = ToolsetFolder();
  if (folder.empty()) return false;
  // Another process may have written the list since it was read: its
  // changes join this one's, and nothing is written when this process
  // changed nothing.
  if (MergeStoredList(folder)) {
    LoadVisibleToolSets();
    Dispatch([](IAnnot_ToolSetEventHandler& h) { h.OnToolSetPreferencesCommitted(); });
  }
  for (auto& p : preferences_)
    if (p->toolset && p->fullPath.empty()) p->fullPath = p->toolset->filePath;
  if (StateOf(preferences_) == base_) return saved_ = true;
  for (auto& p : preferences_) {
    if (!p->toolset) continue;
    if (p->path.empty()) {
      p->path = p->toolset->filePath;
      if (p->path.rfind(folder + u"/", 0) == 0) p->path = p->path.substr(folder.size() + 1);
    }
    if (p->title.empty() && !p->toolset->titleFromLanguage) p->title = p->toolset->title;
    // A list entry must name a file, or the next load drops it.
    if (!p->fullPath.empty() && !host::FileExists(p->fullPath.c_str()) && p->toolset->filePath == p->fullPath) {
      p->toolset->modified = true;
      SaveToolSetChanges(*p->toolset);
    } else if (!p->fullPath.empty() && !host::FileExists(p->fullPath.c_str())) {
      SaveToolSetFile(*p->toolset, p->fullPath);
    }
  }
  const std::u16string prefsPath = Join(folder, u"preferences.xml");
  Xml x;
  host::ByteString error;
  if (host::FileExists(prefsPath.c_str())) {
    x.doc = host::XmlParseFile(prefsPath.c_str(), error.get());
    if (!x.doc) return saved_ = false;  // never overwrite a file we could not read
  } else {
    x.doc = host::XmlNew("Preferences");
  }
  KX_Element root = host::XmlGetRoot(x.doc);
  KX_Element list = nullptr;
  std::vector<KX_Element> extra;
  for (KX_Element p = Child(root, "Preference"); p; p = host::XmlNextSibling(p, "Preference")) {
    host::ByteString key;
    if (!host::XmlGetAttribute(p, "Key", key.get()) || key.str() != "Toolsets") continue;
    if (!list) list = p;
    else extra.push_back(p);
  }
  for (auto it = extra.rbegin(); it != extra.rend(); ++it) host::XmlRemoveChild(root, *it);
  if (!list) {
    list = host::XmlAppendChild(root, "Preference");
    host::XmlSetAttribute(list, "Key", "Toolsets");
  }
  while (KX_Element c = Child(list, nullptr)) host::XmlRemoveChild(list, c);
  WriteItems(list, preferences_);
  if (!mirrorName_.empty()) {
    std::u16string mirror = Join(folder, mirrorName_);
    if (!host::DirectoryExists(mirror.c_str()) && !host::DirectoryCreate(mirror.c_str())) return saved_ = false;
    Xml m;
    m.doc = host::XmlNew("Toolsets");
    WriteItems(host::XmlGetRoot(m.doc), preferences_);
    if (!WriteFile(Join(mirror, u"toolsets.xml"), Serialize(host::XmlGetRoot(m.doc)))) return saved_ = false;
  }
  saved_ = WriteFile(prefsPath, Serialize(root));
  if (saved_) base_ = StateOf(preferences_);
  return saved_;
}

bool CAnnot_ToolSetMgr::CommitToolSetPreferences(std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> list) {
  preferences_ = std::move(list);
  loaded_ = true;
  for (auto& p : preferences_)
    if (p->toolset) SaveToolSetChanges(*p->toolset);
  bool ok = SavePreferences();
  toolsets_.clear();
  for (auto& p : preferences_)
    if (p->visible && p->toolset) toolsets_.push_back(p->toolset);
  Dispatch([](IAnnot_ToolSetEventHandler& h) { h.OnToolSetPreferencesCommitted(); });
  return ok;
}

bool CAnnot_ToolSetMgr::SaveAll() {
  for (auto& t : toolsets_) SaveToolSetChanges(*t);
  return SavePreferences();
}

bool CAnnot_ToolSetMgr::Reload() {
  for (auto& t : toolsets_)
    if (t->modified && (t->filePath.empty() || !SaveToolSetChanges(*t))) return false;
  toolsets_.clear();
  problems_.clear();
  preferences_ = LoadToolSetPreferences();
  base_ = StateOf(preferences_);
  loaded_ = true;
  LoadVisibleToolSets();
  return true;
}

}  // namespace AnnotationPlugin
