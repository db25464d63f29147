#include "toolset/annot_toolset.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_set>

#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"
#include "toolset/toolset_codec.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

constexpr char kXmlHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
// The identifiers that load, in the order they are offered. Polylines are
// accepted in both spellings: older lists wrote "Polyline" while captures
// write the Subtype's "PolyLine".
const char* const kSupportedTypes[] = {
    "Venko.PDF.Annotations.AnnotationBRXStamp", "Venko.PDF.Annotations.AnnotationStamp",
    "Venko.PDF.Annotations.AnnotationText",     "Venko.PDF.Annotations.AnnotationLink",
    "Venko.PDF.Annotations.AnnotationFreeText", "Venko.PDF.Annotations.AnnotationSquare",
    "Venko.PDF.Annotations.AnnotationCircle",   "Venko.PDF.Annotations.AnnotationArc",
    "Venko.PDF.Annotations.AnnotationPolygon",  "Venko.PDF.Annotations.AnnotationPolyline",
    "Venko.PDF.Annotations.AnnotationPolyLine", "Venko.PDF.Annotations.AnnotationLine",
    "Venko.PDF.Annotations.AnnotationInk"};

// A document owned for this scope.
struct Xml {
  KX_Document doc = nullptr;
  ~Xml() { host::XmlRelease(doc); }
};

std::string Text(KX_Element e) {
  host::ByteString s;
  return e && host::XmlGetText(e, s.get()) ? s.str() : std::string();
}

KX_Element Child(KX_Element e, const char* name) { return e ? host::XmlFirstChild(e, name) : nullptr; }

void AppendText(KX_Element parent, const char* name, const std::string& text) {
  KX_Element e = host::XmlAppendChild(parent, name);
  if (e && !text.empty()) host::XmlSetText(e, text.c_str());
}

std::string Serialize(KX_Element root) {
  host::ByteString s;
  if (!host::XmlSerialize(root, 0, 0, s.get())) return {};
  return kXmlHeader + s.str();
}

std::u16string U16(std::string_view s) { return ks::ToUtf16(s); }
std::string U8(std::u16string_view s) { return ks::ToUtf8(s); }

bool EndsWith(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return {};
  return folder.back() == u'/' ? folder + name : folder + u"/" + name;
}

std::u16string FileNameOf(const std::u16string& path) {
  size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::string Trim(std::string s) {
  const char* ws = " \t\r\n";
  size_t b = s.find_first_not_of(ws);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_of(ws) == std::string::npos ? std::string::npos : s.find_last_not_of(ws) - b + 1);
}

float ParseFloat(const std::string& s) {
  // Locale-independent: the file writes "%f" in the C locale.
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() ? static_cast<float>(v) : 0.0f;
}

int32_t ParseInt(const std::string& s) {
  int32_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// Reads one item (a top-level tool or a child) into `tool`.
void ReadItem(KX_Element item, CAnnot_Tool& tool, const std::string& file, const std::string& where,
              std::vector<ToolsetProblem>* problems) {
  auto field = [&](const std::string& text, const char* what) {
    std::string value, why;
    if (!DecodeToolsetField(text, &value, &why) && problems)
      problems->push_back({file, where, std::string(what) + ": " + why});
    return value;
  };
  tool.name = U16(Text(Child(item, "Name")));
  tool.type = Text(Child(item, "Type"));
  tool.x = ParseFloat(Text(Child(item, "X")));
  tool.y = ParseFloat(Text(Child(item, "Y")));
  tool.raw = field(Text(Child(item, "Raw")), "Raw");
  tool.index = ParseInt(Text(Child(item, "Index")));
  for (KX_Element r = Child(item, "Resources"); r; r = host::XmlNextSibling(r, "Resources")) {
    auto res = std::make_shared<CAnnot_ToolResource>();
    res->id = field(Text(Child(r, "ID")), "resource ID");
    res->key = field(Text(Child(r, "Key")), "resource Key");
    res->data = field(Text(Child(r, "Data")), "resource Data");
    if (res->id.rfind("REFID_", 0) != 0) {
      if (problems) problems->push_back({file, where, "a resource without a REFID_ name is dropped"});
      continue;
    }
    tool.resources.push_back(std::move(res));
  }
  if (!tool.raw.empty() && !tool.ParseRaw() && problems)
    problems->push_back({file, where, "Raw is no PDF dictionary; the tool cannot be placed"});
}

void WriteItem(KX_Element item, const CAnnot_Tool& tool, bool top) {
  for (const auto& r : tool.resources) {
    KX_Element e = host::XmlAppendChild(item, "Resources");
    AppendText(e, "ID", EncodeToolsetField(r->id));
    AppendText(e, "Key", EncodeToolsetField(r->key));
    AppendText(e, "Data", EncodeToolsetField(r->data));
  }
  AppendText(item, "Name", U8(tool.name));
  AppendText(item, "Type", tool.type);
  AppendText(item, "Raw", EncodeToolsetField(tool.raw));
  AppendText(item, "X", ks::FormatFixed(tool.x, 6));
  AppendText(item, "Y", ks::FormatFixed(tool.y, 6));
  AppendText(item, "Index", std::to_string(tool.index));
  if (top) AppendText(item, "Mode", tool.mode == 1 ? "drawing" : "properties");
  if (top)
    for (const auto& c : tool.children) WriteItem(host::XmlAppendChild(item, "Child"), *c, false);
}

// The "Item" list of a preference list, as read.
std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> ReadItems(KX_Element parent, const std::u16string& folder) {
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> out;
  for (KX_Element item = Child(parent, "Item"); item; item = host::XmlNextSibling(item, "Item")) {
    KX_Element pathElement = Child(item, "Path");
    if (!pathElement) continue;
    auto p = std::make_shared<CAnnot_ToolSetPreference>();
    p->path = U16(Text(pathElement));
    if (!EndsWith(p->path, u".ktz") && !EndsWith(p->path, u".toolset.xml")) continue;
    p->fullPath = !p->path.empty() && p->path[0] == u'/' ? p->path : Join(folder, p->path);
    if (!host::FileExists(p->fullPath.c_str())) continue;
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

bool WriteFile(const std::u16string& path, const std::string& data) {
  // The host writes a temporary beside the file and renames it over.
  return !path.empty() && host::FileWrite(path.c_str(), data.data(), data.size());
}

}  // namespace

// ---- tools ----------------------------------------------------------------

CAnnot_Tool::~CAnnot_Tool() { host::ObjectRelease(dict_); }

bool CAnnot_Tool::ParseRaw() {
  host::ObjectRelease(dict_);
  dict_ = nullptr;
  if (raw.empty()) return false;
  KPD_Object parsed = host::ObjectParse(raw.data(), raw.size());
  if (host::ObjectGetType(parsed) != KPD_OBJ_DICTIONARY) {
    host::ObjectRelease(parsed);
    return false;
  }
  dict_ = reinterpret_cast<KPD_Dictionary>(parsed);
  if (KPD_Object r = host::DictGet(dict_, "/Rect")) {
    KS_FloatRect rect{};
    if (host::RectFromObject(r, &rect)) {
      host::RectNormalize(&rect);
      width = rect.right - rect.left;
      height = rect.top - rect.bottom;
    }
  }
  return true;
}

const CAnnot_ToolResource* CAnnot_Tool::FindResource(const std::string& id) const {
  for (const auto& r : resources)
    if (r->id == id) return r.get();
  return nullptr;
}

bool IsSupportedToolType(const std::string& type) {
  return std::any_of(std::begin(kSupportedTypes), std::end(kSupportedTypes), [&](const char* t) { return type == t; });
}

// ---- toolsets -------------------------------------------------------------

bool CAnnot_ToolSet::DeleteTool(const CAnnot_Tool* tool) {
  auto it = std::find_if(tools.begin(), tools.end(), [&](auto& t) { return t.get() == tool; });
  if (it == tools.end()) return false;
  auto keep = *it;
  tools.erase(it);
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnToolDeleted(this, keep.get()); });
  return true;
}

bool CAnnot_ToolSet::ChangeToolPosition(const CAnnot_Tool* tool, AnnotToolPosOperation op) {
  auto it = std::find_if(tools.begin(), tools.end(), [&](auto& t) { return t.get() == tool; });
  if (it == tools.end()) return false;
  size_t from = static_cast<size_t>(it - tools.begin());
  size_t to = from;
  switch (op) {
    case AnnotToolPosOperation::kMoveToTop: to = 0; break;
    case AnnotToolPosOperation::kMoveUp: to = from > 0 ? from - 1 : 0; break;
    case AnnotToolPosOperation::kMoveDown: to = std::min(from + 1, tools.size() - 1); break;
    case AnnotToolPosOperation::kMoveToBottom: to = tools.size() - 1; break;
  }
  auto moved = *it;
  tools.erase(it);
  tools.insert(tools.begin() + static_cast<ptrdiff_t>(to), moved);
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnToolPositionChanged(this); });
  return true;
}

std::shared_ptr<CAnnot_Tool> CAnnot_ToolSet::FindTool(const std::u16string& name) const {
  for (const auto& t : tools)
    if (t->name == name) return t;
  return nullptr;
}

void CAnnot_ToolSetPreference::SetVisible(bool value) {
  if (visible == value) return;
  visible = value;
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnPreferenceChanged(fullPath); });
}

void CAnnot_ToolSetPreference::SetExpand(bool value) {
  if (expand == value) return;
  expand = value;
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnPreferenceChanged(fullPath); });
}

// ---- the toolset file -----------------------------------------------------

std::shared_ptr<CAnnot_ToolSet> ReadToolSet(std::string_view xml, const std::u16string& path,
                                            std::vector<ToolsetProblem>* problems) {
  const std::string file = U8(path);
  host::ByteString error;
  Xml x;
  x.doc = host::XmlParse(xml.data(), xml.size(), error.get());
  KX_Element root = x.doc ? host::XmlGetRoot(x.doc) : nullptr;
  host::ByteString rootName;
  if (!root || !host::XmlElementName(root, rootName.get()) || rootName.str() != "VenkoToolSet") {
    if (problems) problems->push_back({file, "", x.doc ? "the root is not VenkoToolSet" : error.str()});
    return nullptr;
  }
  auto set = std::make_shared<CAnnot_ToolSet>();
  set->filePath = path;
  host::ByteString normalized;
  set->normalized = host::XmlGetAttribute(root, "normalized", normalized.get()) && normalized.str() == "True";
  std::string title, why;
  if (!DecodeToolsetField(Text(Child(root, "Title")), &title, &why) && problems)
    problems->push_back({file, "Title", why});
  set->title = U16(title);
  if (set->title.empty() && FileNameOf(path) == U16(kFavoriteToolsetFile)) set->title = u"My Tools";
  int n = 0;
  std::unordered_set<std::u16string> names;
  for (KX_Element item = Child(root, "ToolChestItem"); item; item = host::XmlNextSibling(item, "ToolChestItem")) {
    const std::string where = "item " + std::to_string(++n);
    std::string type = Text(Child(item, "Type"));
    if (!IsSupportedToolType(type)) {
      if (problems) problems->push_back({file, where, "unsupported type \"" + type.substr(0, 80) + "\""});
      continue;
    }
    if (Text(Child(item, "Mode")) != "drawing") {
      if (problems) problems->push_back({file, where, "not a drawing tool"});
      continue;
    }
    auto tool = std::make_shared<CAnnot_Tool>();
    ReadItem(item, *tool, file, where, problems);
    for (KX_Element c = Child(item, "Child"); c; c = host::XmlNextSibling(c, "Child")) {
      auto child = std::make_shared<CAnnot_Tool>();
      ReadItem(c, *child, file, where + " child", problems);
      tool->children.push_back(std::move(child));
    }
    if (!tool->name.empty() && !names.insert(tool->name).second) {
      if (problems) problems->push_back({file, where, "a second tool named \"" + U8(tool->name) + "\" is skipped"});
      continue;
    }
    if (set->normalized) {
      MoveToolToOrigin(*tool);
      for (auto& c : tool->children) MoveToolToOrigin(*c);
    }
    set->tools.push_back(std::move(tool));
  }
  return set;
}

std::shared_ptr<CAnnot_ToolSet> LoadToolSetFile(const std::u16string& path, std::vector<ToolsetProblem>* problems) {
  host::ByteString data;
  if (path.empty() || !host::FileRead(path.c_str(), data.get())) {
    if (problems) problems->push_back({U8(path), "", "cannot read the file"});
    return nullptr;
  }
  std::string text = data.str();
  return ReadToolSet(text, path, problems);
}

std::string WriteToolSet(const CAnnot_ToolSet& toolset) {
  Xml x;
  x.doc = host::XmlNew("VenkoToolSet");
  KX_Element root = host::XmlGetRoot(x.doc);
  if (!root) return {};
  host::XmlSetAttribute(root, "Version", "1");
  AppendText(root, "Title", EncodeToolsetField(U8(toolset.title)));
  for (const auto& t : toolset.tools) WriteItem(host::XmlAppendChild(root, "ToolChestItem"), *t, true);
  return Serialize(root);
}

bool SaveToolSetFile(const CAnnot_ToolSet& toolset, const std::u16string& path) {
  std::string text = WriteToolSet(toolset);
  return !text.empty() && WriteFile(path, text);
}

std::u16string ToolsetFileNameFromTitle(const std::u16string& title) {
  std::u16string s = title;
  const std::u16string ws = u" \t\r\n";
  size_t b = s.find_first_not_of(ws);
  if (b == std::u16string::npos) return {};
  s = s.substr(b, s.find_last_not_of(ws) - b + 1);
  for (char16_t& c : s)
    if (std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos) c = u'_';
  while (!s.empty() && (s.back() == u' ' || s.back() == u'.')) s.pop_back();
  return s.empty() ? s : s + u".ktz";
}

// ---- the manager ----------------------------------------------------------

CAnnot_ToolSetMgr& CAnnot_ToolSetMgr::Get() {
  // Destroyed when the plug-in is unloaded, while the host is still there
  // to take back the objects its tools hold.
  static CAnnot_ToolSetMgr mgr;
  return mgr;
}

std::u16string CAnnot_ToolSetMgr::ToolsetFolder() const {
  host::WideString appData;
  if (!host::AppGetAppDataFolder(appData.get())) return {};
  std::u16string folder = appData.str();
  while (!folder.empty() && (folder.back() == u'/' || folder.back() == u'\\')) folder.pop_back();
  if (folder.empty()) return {};
  folder += u"/toolset";
  if (!host::DirectoryExists(folder.c_str()) && !host::DirectoryCreate(folder.c_str())) return {};
  return folder;
}

std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> CAnnot_ToolSetMgr::LoadToolSetPreferences() {
  const std::u16string folder = ToolsetFolder();
  auto defaults = [&] {
    auto p = std::make_shared<CAnnot_ToolSetPreference>();
    p->path = U16(kFavoriteToolsetFile);
    p->fullPath = Join(folder, p->path);
    return std::vector<std::shared_ptr<CAnnot_ToolSetPreference>>{p};
  };
  if (folder.empty()) return defaults();
  host::ByteString error;
  if (!mirrorName_.empty()) {
    std::u16string mirror = Join(Join(folder, mirrorName_), u"toolsets.xml");
    if (host::FileExists(mirror.c_str())) {
      Xml x;
      x.doc = host::XmlParseFile(mirror.c_str(), error.get());
      return x.doc ? ReadItems(host::XmlGetRoot(x.doc), folder) : defaults();
    }
  }
  std::u16string prefs = Join(folder, u"preferences.xml");
  if (host::FileExists(prefs.c_str())) {
    Xml x;
    x.doc = host::XmlParseFile(prefs.c_str(), error.get());
    KX_Element root = x.doc ? host::XmlGetRoot(x.doc) : nullptr;
    for (KX_Element p = Child(root, "Preference"); p; p = host::XmlNextSibling(p, "Preference")) {
      host::ByteString key;
      if (host::XmlGetAttribute(p, "Key", key.get()) && key.str() == "Toolsets") return ReadItems(p, folder);
    }
  }
  return defaults();
}

bool CAnnot_ToolSetMgr::SavePreferences() {
  if (!loaded_) return true;
  const std::u16string folder = ToolsetFolder();
  if (folder.empty()) return false;
  for (auto& p : preferences_) {
    if (!p->toolset) continue;
    if (p->fullPath.empty()) p->fullPath = p->toolset->filePath;
    if (p->path.empty()) {
      p->path = p->toolset->filePath;
      if (p->path.rfind(folder + u"/", 0) == 0) p->path = p->path.substr(folder.size() + 1);
    }
    if (p->title.empty()) p->title = p->toolset->title;
    // A list entry must name a file, or the next load drops it.
    if (!p->fullPath.empty() && !host::FileExists(p->fullPath.c_str())) SaveToolSetFile(*p->toolset, p->fullPath);
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
  return saved_ = WriteFile(prefsPath, Serialize(root));
}

bool CAnnot_ToolSetMgr::CommitToolSetPreferences(std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> list) {
  preferences_ = std::move(list);
  loaded_ = true;
  for (auto& p : preferences_)
    if (p->toolset && !p->toolset->filePath.empty()) SaveToolSetFile(*p->toolset, p->toolset->filePath);
  bool ok = SavePreferences();
  toolsets_.clear();
  for (auto& p : preferences_)
    if (p->visible && p->toolset) toolsets_.push_back(p->toolset);
  Dispatch([](IAnnot_ToolSetEventHandler& h) { h.OnToolSetPreferencesCommitted(); });
  return ok;
}

bool CAnnot_ToolSetMgr::SaveAll() {
  for (auto& t : toolsets_)
    if (!t->filePath.empty()) SaveToolSetFile(*t, t->filePath);
  return SavePreferences();
}

bool CAnnot_ToolSetMgr::Reload() {
  for (auto& t : toolsets_)
    if (t->filePath.empty() || !SaveToolSetFile(*t, t->filePath)) return false;
  toolsets_.clear();
  problems_.clear();
  preferences_ = LoadToolSetPreferences();
  loaded_ = true;
  for (auto& p : preferences_) {
    if (!p->visible) continue;
    p->toolset = LoadToolSetFile(p->fullPath, &problems_);
    if (!p->toolset && FileNameOf(p->fullPath) == U16(kFavoriteToolsetFile) &&
        !host::FileExists(p->fullPath.c_str())) {
      // The favourites file is made on first use.
      p->toolset = std::make_shared<CAnnot_ToolSet>();
      p->toolset->filePath = p->fullPath;
      p->toolset->title = u"My Tools";
      problems_.clear();
    }
    if (p->toolset) toolsets_.push_back(p->toolset);
  }
  return true;
}

void CAnnot_ToolSetMgr::Reset() {
  toolsets_.clear();
  preferences_.clear();
  problems_.clear();
  handlers_.clear();
  loaded_ = saved_ = false;
}

std::shared_ptr<CAnnot_ToolSet> CAnnot_ToolSetMgr::FindToolSet(const std::u16string& title) const {
  for (const auto& t : toolsets_)
    if (t->title == title) return t;
  return nullptr;
}

std::shared_ptr<CAnnot_ToolSet> CAnnot_ToolSetMgr::CreateToolSet(const std::u16string& title, std::string* error) {
  std::u16string name = ToolsetFileNameFromTitle(title);
  std::u16string folder = ToolsetFolder();
  if (name.empty() || folder.empty()) {
    *error = name.empty() ? "the title gives no file name" : "the toolset folder cannot be made";
    return nullptr;
  }
  std::u16string path = Join(folder, name);
  if (host::FileExists(path.c_str()) || FindToolSet(title)) {
    *error = "a toolset of that name exists: " + U8(path);
    return nullptr;
  }
  auto set = std::make_shared<CAnnot_ToolSet>();
  set->title = title;
  set->filePath = path;
  if (!SaveToolSetFile(*set, path)) {
    *error = "cannot write " + U8(path);
    return nullptr;
  }
  auto pref = std::make_shared<CAnnot_ToolSetPreference>();
  pref->path = name;
  pref->fullPath = path;
  pref->title = title;
  pref->toolset = set;
  preferences_.push_back(pref);
  toolsets_.push_back(set);
  return set;
}

std::shared_ptr<CAnnot_ToolSet> CAnnot_ToolSetMgr::ImportToolSet(const std::u16string& file, std::string* error) {
  ToolsetImport r = ImportToolSetFile(file, nullptr);
  switch (r.status) {
    case ToolsetImportStatus::kImported: return r.toolset;
    case ToolsetImportStatus::kUnreadable: *error = U8(file) + ": cannot read the file"; break;
    case ToolsetImportStatus::kCorrupted: *error = U8(file) + ": corrupted toolset: " + r.reason; break;
    case ToolsetImportStatus::kNoSupportedTool: *error = U8(file) + ": no tool of a supported type"; break;
    case ToolsetImportStatus::kNotLoaded: *error = U8(r.destination) + ": does not load as a toolset"; break;
    default: *error = "cannot copy into " + U8(ToolsetFolder()) + (r.reason.empty() ? "" : ": " + r.reason); break;
  }
  return nullptr;
}

ToolsetPackageScan ScanToolsetPackage(std::string_view text) {
  ToolsetPackageScan scan;
  host::ByteString error;
  Xml x;
  x.doc = host::XmlParse(text.data(), text.size(), error.get());
  KX_Element root = x.doc ? host::XmlGetRoot(x.doc) : nullptr;
  host::ByteString rootName;
  if (!root || !host::XmlElementName(root, rootName.get()) || rootName.str() != "VenkoToolSet") {
    scan.why = x.doc ? "the root is not VenkoToolSet" : error.str();
    return scan;
  }
  if (!Child(root, "Title")) {
    scan.why = "it has no Title";
    return scan;
  }
  scan.sound = true;
  for (KX_Element item = Child(root, "ToolChestItem"); item; item = host::XmlNextSibling(item, "ToolChestItem")) {
    ++scan.items;
    if (IsSupportedToolType(Text(Child(item, "Type"))) && Text(Child(item, "Mode")) == "drawing") ++scan.supported;
  }
  return scan;
}

namespace {

// Writes `data` over `path` through a replacement file, so that a failed
// copy leaves what was there.
ToolsetImportStatus CopyInto(const std::u16string& path, const std::string& data, std::string* reason) {
  int32_t status = 0;
  host::ByteString why;
  KA_FileReplacement file = host::FileReplaceBegin(path.c_str(), &status, why.get());
  if (!file) {
    *reason = why.str();
    return status == KS_FILE_IN_USE ? ToolsetImportStatus::kInUse : ToolsetImportStatus::kAccessDenied;
  }
  // A broken write makes the commit refuse, with the reason.
  host::FileReplaceWrite(file, data.data(), data.size());
  if (!host::FileReplaceCommit(file, why.get())) {
    *reason = why.str();
    return ToolsetImportStatus::kCopyFailed;
  }
  return ToolsetImportStatus::kImported;
}

}  // namespace

ToolsetImport CAnnot_ToolSetMgr::ImportToolSetFile(
    const std::u16string& file, const std::function<bool(const std::u16string& destination)>& replace) {
  ToolsetImport r;
  host::ByteString data;
  if (file.empty() || file[0] != u'/' || !host::FileRead(file.c_str(), data.get())) return r;
  const std::string text = data.str();
  const ToolsetPackageScan scan = ScanToolsetPackage(text);
  if (!scan.sound) {
    r.status = ToolsetImportStatus::kCorrupted;
    r.reason = scan.why;
    return r;
  }
  if (scan.items > 0 && scan.supported == 0) {
    r.status = ToolsetImportStatus::kNoSupportedTool;
    return r;
  }
  r.skippedItems = scan.supported < scan.items;
  const std::u16string folder = ToolsetFolder();
  if (folder.empty()) {
    r.status = ToolsetImportStatus::kAccessDenied;
    r.reason = "the toolset folder cannot be made";
    return r;
  }
  // The list keeps only files of the two toolset endings.
  std::u16string name = FileNameOf(file);
  if (!EndsWith(name, u".ktz") && !EndsWith(name, u".toolset.xml")) name += u".ktz";
  r.destination = Join(folder, name);
  if (r.destination != file) {
    if (host::FileExists(r.destination.c_str()) && replace && !replace(r.destination)) {
      r.status = ToolsetImportStatus::kDeclined;
      return r;
    }
    r.status = CopyInto(r.destination, text, &r.reason);
    if (r.status != ToolsetImportStatus::kImported) return r;
  }
  std::vector<ToolsetProblem> problems;
  auto set = LoadToolSetFile(r.destination, &problems);
  if (!set) {
    r.status = ToolsetImportStatus::kNotLoaded;
    r.reason = problems.empty() ? std::string() : problems[0].why;
    return r;
  }
  problems_.insert(problems_.end(), problems.begin(), problems.end());
  const std::u16string dest = r.destination;
  auto sameFile = [&](auto& t) { return t->filePath == dest; };
  toolsets_.erase(std::remove_if(toolsets_.begin(), toolsets_.end(), sameFile), toolsets_.end());
  toolsets_.push_back(set);
  auto pref = std::find_if(preferences_.begin(), preferences_.end(), [&](auto& p) { return p->fullPath == dest; });
  if (pref == preferences_.end()) {
    auto p = std::make_shared<CAnnot_ToolSetPreference>();
    p->path = name;
    p->fullPath = dest;
    preferences_.push_back(p);
    pref = preferences_.end() - 1;
  }
  (*pref)->title = set->title;
  (*pref)->visible = true;
  (*pref)->toolset = set;
  r.status = ToolsetImportStatus::kImported;
  r.toolset = set;
  return r;
}

bool CAnnot_ToolSetMgr::RenameToolSet(CAnnot_ToolSet& toolset, const std::u16string& title, std::string* error) {
  const std::u16string before = toolset.title;
  toolset.title = title;
  if (toolset.filePath.empty() || !SaveToolSetFile(toolset, toolset.filePath)) {
    toolset.title = before;
    *error = "cannot write " + U8(toolset.filePath);
    return false;
  }
  for (auto& p : preferences_)
    if (p->fullPath == toolset.filePath) p->title = title;
  return true;
}

bool CAnnot_ToolSetMgr::DeleteToolSet(const std::u16string& fullPath, std::string* error) {
  if (fullPath.empty()) {
    *error = "no file";
    return false;
  }
  if (host::FileExists(fullPath.c_str()) && !host::FileRemove(fullPath.c_str())) {
    *error = "cannot remove " + U8(fullPath);
    return false;
  }
  auto sameFile = [&](auto& t) { return t->filePath == fullPath; };
  toolsets_.erase(std::remove_if(toolsets_.begin(), toolsets_.end(), sameFile), toolsets_.end());
  auto samePref = [&](auto& p) { return p->fullPath == fullPath || (p->toolset && p->toolset->filePath == fullPath); };
  preferences_.erase(std::remove_if(preferences_.begin(), preferences_.end(), samePref), preferences_.end());
  SavePreferences();
  Dispatch([](IAnnot_ToolSetEventHandler& h) { h.OnToolSetPreferencesCommitted(); });
  return true;
}

int CAnnot_ToolSetMgr::DropMissingPreferences() {
  // A toolset held in memory (the favourites before their first save) is
  // written with the list and stays.
  auto gone = [](const std::u16string& path) { return path.empty() || !host::FileExists(path.c_str()); };
  const size_t before = preferences_.size();
  preferences_.erase(std::remove_if(preferences_.begin(), preferences_.end(),
                                    [&](auto& p) {
                                      return p->fullPath.empty() || (gone(p->fullPath) && !p->toolset);
                                    }),
                     preferences_.end());
  toolsets_.erase(std::remove_if(toolsets_.begin(), toolsets_.end(), [](auto& t) { return t->filePath.empty(); }),
                  toolsets_.end());
  return static_cast<int>(before - preferences_.size());
}

bool CAnnot_ToolSetMgr::ExportToolSet(const CAnnot_ToolSet& toolset, const std::u16string& file, std::string* error) {
  if (SaveToolSetFile(toolset, file)) return true;
  *error = "cannot write " + U8(file);
  return false;
}

void CAnnot_ToolSetMgr::AddEventHandler(const std::shared_ptr<IAnnot_ToolSetEventHandler>& handler) {
  handlers_.push_back(handler);
}

void CAnnot_ToolSetMgr::RemoveEventHandler(const IAnnot_ToolSetEventHandler* handler) {
  handlers_.erase(std::remove_if(handlers_.begin(), handlers_.end(),
                                 [&](auto& w) { auto h = w.lock(); return !h || h.get() == handler; }),
                  handlers_.end());
}

}  // namespace AnnotationPlugin
