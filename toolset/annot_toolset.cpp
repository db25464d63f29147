#include "toolset/annot_toolset.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_set>

#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_utf.h"
#include "toolset/toolset_codec.h"
#include "toolset/toolset_xml.h"

namespace AnnotationPlugin {

namespace host = ks::host;
using namespace toolset_xml;

namespace {

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

// An element in XML syntax, and the same appended to `parent`: how parts of
// a file that this version does not read travel through a save.
std::string ElementXml(KX_Element e) {
  host::ByteString s;
  return e && host::XmlSerialize(e, 0, 0, s.get()) ? s.str() : std::string();
}

void AppendXml(KX_Element parent, const std::string& xml) {
  host::ByteString error;
  Xml x;
  x.doc = host::XmlParse(xml.data(), xml.size(), error.get());
  if (KX_Element root = x.doc ? host::XmlGetRoot(x.doc) : nullptr) host::XmlAppendCopy(parent, root);
}

std::string ElementName(KX_Element e) {
  host::ByteString s;
  return host::XmlElementName(e, s.get()) ? s.str() : std::string();
}

// Decodes one stored field within what is left of the file's budget.
bool DecodeWithin(const std::string& text, ToolsetInflateBudget& budget, std::string* value, std::string* why) {
  const size_t left = budget.limit - std::min(budget.used, budget.limit);
  bool over = false;
  if (!DecodeToolsetField(text, value, why, std::min(kMaxFieldBytes, left), &over)) {
    if (over && left < kMaxFieldBytes && why) *why = "the toolset inflates beyond " + ToolsetSizeText(budget.limit);
    return false;
  }
  budget.used += value->size();
  return true;
}

// Reads one item (a top-level tool or a child) into `tool`. Elements it does
// not use are kept in the tool as they were.
void ReadItem(KX_Element item, CAnnot_Tool& tool, bool top, const std::shared_ptr<ToolsetInflateBudget>& budget,
              const std::string& file, const std::string& where, std::vector<ToolsetProblem>* problems) {
  auto field = [&](const std::string& text, const char* what, bool* ok = nullptr) {
    std::string value, why;
    const bool decoded = DecodeWithin(text, *budget, &value, &why);
    if (!decoded && problems) problems->push_back({file, where, std::string(what) + ": " + why});
    if (ok) *ok = decoded;
    return value;
  };
  for (KX_Element e = Child(item, nullptr); e; e = host::XmlNextSibling(e, nullptr)) {
    const std::string name = ElementName(e);
    if (name == "Name") {
      tool.name = U16(Text(e));
    } else if (name == "Type") {
      tool.type = Text(e);
    } else if (name == "X") {
      tool.x = ParseFloat(Text(e));
    } else if (name == "Y") {
      tool.y = ParseFloat(Text(e));
    } else if (name == "Index") {
      tool.index = ParseInt(Text(e));
    } else if (name == "Raw") {
      bool ok = true;
      const std::string text = Text(e);
      tool.raw = field(text, "Raw", &ok);
      if (!ok) tool.unreadRaw = text;
    } else if (name == "Resources") {
      auto res = std::make_shared<CAnnot_ToolResource>();
      bool idOk = true, keyOk = true;
      res->id = field(Text(Child(e, "ID")), "resource ID", &idOk);
      res->key = field(Text(Child(e, "Key")), "resource Key", &keyOk);
      if (!idOk || !keyOk || res->id.rfind("REFID_", 0) != 0) {
        if (problems && idOk) problems->push_back({file, where, "a resource without a REFID_ name is not used"});
        tool.unreadElements.push_back(ElementXml(e));
        continue;
      }
      res->SetStored(Text(Child(e, "Data")), budget);
      tool.resources.push_back(std::move(res));
    } else if (!(top && (name == "Mode" || name == "Child"))) {
      tool.unreadElements.push_back(ElementXml(e));
    }
  }
  if (!tool.raw.empty() && !tool.ParseRaw() && problems)
    problems->push_back({file, where, "Raw is no PDF dictionary; the tool cannot be placed"});
}

void WriteItem(KX_Element item, const CAnnot_Tool& tool, bool top) {
  for (const auto& r : tool.resources) {
    KX_Element e = host::XmlAppendChild(item, "Resources");
    AppendText(e, "ID", EncodeToolsetField(r->id));
    AppendText(e, "Key", EncodeToolsetField(r->key));
    AppendText(e, "Data", r->StoredText());
  }
  AppendText(item, "Name", U8(tool.name));
  AppendText(item, "Type", tool.type);
  AppendText(item, "Raw", tool.raw.empty() ? tool.unreadRaw : EncodeToolsetField(tool.raw));
  AppendText(item, "X", ks::FormatFixed(tool.x, 6));
  AppendText(item, "Y", ks::FormatFixed(tool.y, 6));
  AppendText(item, "Index", std::to_string(tool.index));
  if (top) AppendText(item, "Mode", tool.mode == 1 ? "drawing" : "properties");
  if (top)
    for (const auto& c : tool.children) WriteItem(host::XmlAppendChild(item, "Child"), *c, false);
  for (const std::string& xml : tool.unreadElements) AppendXml(item, xml);
}

std::vector<std::u16string> NamesOf(const CAnnot_ToolSet& set) {
  std::vector<std::u16string> names;
  for (const auto& t : set.tools) names.push_back(t->name);
  return names;
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

const std::string& CAnnot_ToolResource::Data() const {
  if (pending_) {
    pending_ = false;
    std::string why;
    ToolsetInflateBudget none;
    if (!DecodeWithin(stored_, budget_ ? *budget_ : none, &data_, &why)) data_.clear();
  }
  return data_;
}

void CAnnot_ToolResource::SetData(std::string data) {
  data_ = std::move(data);
  stored_.clear();
  pending_ = false;
}

void CAnnot_ToolResource::SetStored(std::string text, std::shared_ptr<ToolsetInflateBudget> budget) {
  stored_ = std::move(text);
  budget_ = std::move(budget);
  data_.clear();
  pending_ = true;
}

std::string CAnnot_ToolResource::StoredText() const {
  return !stored_.empty() || data_.empty() ? stored_ : EncodeToolsetField(data_);
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
  modified = true;
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnToolDeleted(this, keep.get()); });
  return true;
}

bool CAnnot_ToolSet::ChangeToolPosition(const CAnnot_Tool* tool, AnnotToolPosOperation op) {
  auto it = std::find_if(tools.begin(), tools.end(), [&](auto& t) { return t.get() == tool; });
  if (it == tools.end()) return false;
  const size_t from = static_cast<size_t>(it - tools.begin());
  size_t to = from;
  switch (op) {
    case AnnotToolPosOperation::kMoveToTop: to = 0; break;
    case AnnotToolPosOperation::kMoveUp: to = from > 0 ? from - 1 : 0; break;
    case AnnotToolPosOperation::kMoveDown: to = std::min(from + 1, tools.size() - 1); break;
    case AnnotToolPosOperation::kMoveToBottom: to = tools.size() - 1; break;
  }
  return MoveTool(tool, to);
}

bool CAnnot_ToolSet::MoveTool(const CAnnot_Tool* tool, size_t position) {
  auto it = std::find_if(tools.begin(), tools.end(), [&](auto& t) { return t.get() == tool; });
  if (it == tools.end()) return false;
  auto moved = *it;
  tools.erase(it);
  tools.insert(tools.begin() + static_cast<ptrdiff_t>(std::min(position, tools.size())), moved);
  modified = true;
  CAnnot_ToolSetMgr::Get().Dispatch([&](IAnnot_ToolSetEventHandler& h) { h.OnToolPositionChanged(this); });
  return true;
}

std::shared_ptr<CAnnot_Tool> CAnnot_ToolSet::FindTool(const std::u16string& name) const {
  for (const auto& t : tools)
    if (t->name == name) return t;
  return nullptr;
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
  set->fileStamp = std::hash<std::string_view>()(xml);
  host::ByteString normalized;
  set->normalized = host::XmlGetAttribute(root, "normalized", normalized.get()) && normalized.str() == "True";
  const int32_t attributes = host::XmlAttributeCount(root);
  for (int32_t i = 0; i < attributes; ++i) {
    host::ByteString name, value;
    if (host::XmlAttributeAt(root, i, name.get(), value.get()) && name.str() != "Version" && name.str() != "normalized")
      set->unreadAttributes.emplace_back(name.str(), value.str());
  }
  std::string title, why;
  const std::string storedTitle = Text(Child(root, "Title"));
  if (!DecodeWithin(storedTitle, *set->budget, &title, &why)) {
    set->unreadTitle = storedTitle;
    if (problems) problems->push_back({file, "Title", why});
  }
  set->title = U16(title);
  if (set->title.empty() && set->unreadTitle.empty() && FileNameOf(path) == U16(kFavoriteToolsetFile)) {
    set->title = FavoritesTitle();
    set->titleFromLanguage = true;
  }
  int n = 0;
  std::unordered_set<std::u16string> names;
  bool titled = false;
  for (KX_Element item = Child(root, nullptr); item; item = host::XmlNextSibling(item, nullptr)) {
    const std::string element = ElementName(item);
    if (element == "Title" && !titled) {
      titled = true;
      continue;
    }
    // What this version does not load stays in the file, where it was.
    auto keep = [&] {
      CAnnot_UnreadItem unread;
      if (set->tools.empty()) unread.first = true;
      else unread.after = set->tools.back();
      unread.xml = ElementXml(item);
      set->unreadItems.push_back(std::move(unread));
    };
    if (element != "ToolChestItem") {
      keep();
      continue;
    }
    const std::string where = "item " + std::to_string(++n);
    std::string type = Text(Child(item, "Type"));
    if (!IsSupportedToolType(type)) {
      if (problems) problems->push_back({file, where, "unsupported type \"" + type.substr(0, 80) + "\""});
      keep();
      continue;
    }
    if (Text(Child(item, "Mode")) != "drawing") {
      if (problems) problems->push_back({file, where, "not a drawing tool"});
      keep();
      continue;
    }
    const std::u16string name = U16(Text(Child(item, "Name")));
    if (!name.empty() && names.count(name)) {
      if (problems) problems->push_back({file, where, "a second tool named \"" + U8(name) + "\" is skipped"});
      keep();
      continue;
    }
    names.insert(name);
    auto tool = std::make_shared<CAnnot_Tool>();
    ReadItem(item, *tool, true, set->budget, file, where, problems);
    for (KX_Element c = Child(item, "Child"); c; c = host::XmlNextSibling(c, "Child")) {
      auto child = std::make_shared<CAnnot_Tool>();
      ReadItem(c, *child, false, set->budget, file, where + " child", problems);
      tool->children.push_back(std::move(child));
    }
    ApplyLoadFixUps(*tool);
    for (auto& c : tool->children) ApplyLoadFixUps(*c);
    if (set->normalized) {
      MoveToolToOrigin(*tool);
      for (auto& c : tool->children) MoveToolToOrigin(*c);
    }
    set->tools.push_back(std::move(tool));
  }
  set->storedNames = NamesOf(*set);
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
  for (const auto& [name, value] : toolset.unreadAttributes) host::XmlSetAttribute(root, name.c_str(), value.c_str());
  AppendText(root, "Title", toolset.title.empty() || toolset.titleFromLanguage ? toolset.unreadTitle
                                                                               : EncodeToolsetField(U8(toolset.title)));
  // Unread items go back behind the tool they followed, wherever it moved;
  // those whose tool was deleted go last.
  std::vector<bool> written(toolset.unreadItems.size(), false);
  auto unreadAfter = [&](const CAnnot_Tool* tool) {
    for (size_t i = 0; i < toolset.unreadItems.size(); ++i) {
      const CAnnot_UnreadItem& u = toolset.unreadItems[i];
      const auto anchor = u.after.lock();
      if (written[i] || (tool ? anchor.get() != tool : !u.first)) continue;
      AppendXml(root, u.xml);
      written[i] = true;
    }
  };
  unreadAfter(nullptr);
  for (const auto& t : toolset.tools) {
    WriteItem(host::XmlAppendChild(root, "ToolChestItem"), *t, true);
    unreadAfter(t.get());
  }
  for (size_t i = 0; i < toolset.unreadItems.size(); ++i)
    if (!written[i]) AppendXml(root, toolset.unreadItems[i].xml);
  return Serialize(root);
}

bool SaveToolSetFile(const CAnnot_ToolSet& toolset, const std::u16string& path) {
  std::string text = WriteToolSet(toolset);
  return !text.empty() && WriteFile(path, text);
}

namespace {

// Takes in what another process did to the file since `set` read it: the
// tools it added join at the end, the tools it deleted go (this process's
// own deletions stay deleted), and its unread items are kept.
void JoinStoredChanges(CAnnot_ToolSet& set, const CAnnot_ToolSet& stored) {
  auto has = [](const std::vector<std::u16string>& names, const std::u16string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  const std::vector<std::u16string> theirs = NamesOf(stored);
  set.tools.erase(std::remove_if(set.tools.begin(), set.tools.end(),
                                 [&](const auto& t) {
                                   return !t->name.empty() && has(set.storedNames, t->name) && !has(theirs, t->name);
                                 }),
                  set.tools.end());
  const std::vector<std::u16string> mine = NamesOf(set);
  for (const auto& t : stored.tools)
    if (!t->name.empty() && !has(mine, t->name) && !has(set.storedNames, t->name)) set.tools.push_back(t);
  for (const auto& u : stored.unreadItems) {
    const bool known = std::any_of(set.unreadItems.begin(), set.unreadItems.end(),
                                   [&](const CAnnot_UnreadItem& v) { return v.xml == u.xml; });
    if (!known) set.unreadItems.push_back({{}, false, u.xml});
  }
}

}  // namespace

bool SaveToolSetChanges(CAnnot_ToolSet& toolset) {
  if (!toolset.modified) return true;
  host::ByteString data;
  if (host::FileExists(toolset.filePath.c_str()) && host::FileRead(toolset.filePath.c_str(), data.get())) {
    const std::string stored = data.str();
    if (std::hash<std::string_view>()(stored) != toolset.fileStamp)
      if (auto other = ReadToolSet(stored, toolset.filePath, nullptr)) JoinStoredChanges(toolset, *other);
  }
  const std::string text = WriteToolSet(toolset);
  if (text.empty() || !WriteFile(toolset.filePath, text)) return false;
  toolset.modified = false;
  toolset.fileStamp = std::hash<std::string_view>()(text);
  toolset.storedNames = NamesOf(toolset);
  return true;
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

void CAnnot_ToolSetMgr::Reset() {
  toolsets_.clear();
  preferences_.clear();
  base_.clear();
  problems_.clear();
  handlers_.clear();
  loaded_ = saved_ = false;
}

std::u16string FavoritesTitle() { return Widgets::Translate("IDS_MYTOOLS"); }

std::u16string ShownTitle(const CAnnot_ToolSet& toolset) {
  return toolset.titleFromLanguage ? FavoritesTitle() : toolset.title;
}

const std::vector<std::shared_ptr<CAnnot_ToolSet>>& CAnnot_ToolSetMgr::ToolSets() const {
  for (const auto& t : toolsets_)
    if (t->titleFromLanguage) t->title = FavoritesTitle();
  return toolsets_;
}

std::shared_ptr<CAnnot_ToolSet> CAnnot_ToolSetMgr::FindToolSet(const std::u16string& title) const {
  for (const auto& t : ToolSets())
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
  set->modified = true;
  if (!SaveToolSetChanges(*set)) {
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

std::shared_ptr<CAnnot_ToolSet> CAnnot_ToolSetMgr::ImportToolSet(const std::u16string& file, bool replace,
                                                                 std::string* error) {
  std::u16string stored;
  ToolsetImport r = ImportToolSetFile(file, [&](const std::u16string& destination) {
    stored = destination;
    return replace;
  });
  switch (r.status) {
    case ToolsetImportStatus::kImported: return r.toolset;
    case ToolsetImportStatus::kUnreadable: *error = U8(file) + ": cannot read the file"; break;
    case ToolsetImportStatus::kCorrupted: *error = U8(file) + ": corrupted toolset: " + r.reason; break;
    case ToolsetImportStatus::kTooLarge: *error = U8(file) + ": refused: " + r.reason; break;
    case ToolsetImportStatus::kNoSupportedTool: *error = U8(file) + ": no tool of a supported type"; break;
    case ToolsetImportStatus::kNotLoaded: *error = U8(r.destination) + ": does not load as a toolset"; break;
    case ToolsetImportStatus::kDeclined: {
      auto held = LoadToolSetFile(stored, nullptr);
      *error = U8(file) + ": the toolset folder already holds " +
               (held ? "the toolset '" + U8(held->title) + "' as " : std::string("the file ")) + U8(stored) +
               "; it is kept";
      break;
    }
    default: *error = "cannot copy into " + U8(ToolsetFolder()) + (r.reason.empty() ? "" : ": " + r.reason); break;
  }
  return nullptr;
}

ToolsetPackageScan ScanToolsetPackage(std::string_view text, size_t limit) {
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
  // Every stored field is inflated once, into nothing, to bound what the
  // package would cost each time it loads.
  std::vector<KX_Element> stack{root};
  while (!stack.empty()) {
    KX_Element e = stack.back();
    stack.pop_back();
    size_t size = 0;
    std::string why;
    bool over = false;
    const size_t left = limit - std::min(scan.inflated, limit);
    if (!MeasureToolsetField(Text(e), &size, &why, &over, std::min(kMaxFieldBytes, left)) && over &&
        left < kMaxFieldBytes) {
      scan.tooLarge = true;
      scan.why = "it inflates to more than " + ToolsetSizeText(limit);
      return scan;
    }
    scan.inflated += size;
    for (KX_Element c = Child(e, nullptr); c; c = host::XmlNextSibling(c, nullptr)) stack.push_back(c);
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
    r.status = scan.tooLarge ? ToolsetImportStatus::kTooLarge : ToolsetImportStatus::kCorrupted;
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
  (*pref)->title = set->titleFromLanguage ? std::u16string() : set->title;
  (*pref)->visible = true;
  (*pref)->toolset = set;
  r.status = ToolsetImportStatus::kImported;
  r.toolset = set;
  return r;
}

bool CAnnot_ToolSetMgr::RenameToolSet(CAnnot_ToolSet& toolset, const std::u16string& title, std::string* error) {
  const std::u16string before = toolset.title;
  const bool wasModified = toolset.modified;
  const bool wasFromLanguage = toolset.titleFromLanguage;
  toolset.title = title;
  toolset.titleFromLanguage = false;
  toolset.modified = true;
  if (toolset.filePath.empty() || !SaveToolSetChanges(toolset)) {
    toolset.title = before;
    toolset.titleFromLanguage = wasFromLanguage;
    toolset.modified = wasModified;
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
