#include "kwannotation/kw_annot_change.h"

#include <algorithm>

#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

std::string Written(KPD_Object object) {
  host::ByteString out;
  if (!object || !host::ObjectWrite(object, out.get())) return {};
  return out.str();
}

std::vector<std::string> KeysOf(KPD_Dictionary dict) {
  std::vector<std::string> keys;
  int32_t count = host::DictKeyCount(dict);
  for (int32_t i = 0; i < count; ++i) {
    host::ByteString key;
    if (host::DictKeyAt(dict, i, key.get())) keys.push_back(key.str());
  }
  return keys;
}

bool IsIndirect(KPD_Object object) { return object && host::ObjectIsIndirect(object); }

}  // namespace

CKW_AnnotChange::CKW_AnnotChange(KPD_Dictionary annot) : dict_(annot) {
  if (dict_) Take(&before_);
}

CKW_AnnotChange::CKW_AnnotChange(KPD_Dictionary annot, std::vector<std::string> wholeKeys, bool newStreams)
    : dict_(annot), wholeKeys_(std::move(wholeKeys)), newStreams_(newStreams) {
  if (dict_) Take(&before_);
}

std::unique_ptr<CKW_AnnotChange> CKW_AnnotChange::ReplacingAllBut(KPD_Dictionary annot,
                                                                  std::vector<std::string> inPlace) {
  // Made empty first: the snapshot must see the inverted key set.
  auto change = std::make_unique<CKW_AnnotChange>(nullptr);
  change->dict_ = annot;
  change->wholeKeys_ = std::move(inPlace);
  change->allWhole_ = true;
  change->newStreams_ = true;
  if (annot) change->Take(&change->before_);
  return change;
}

CKW_AnnotChange::~CKW_AnnotChange() {
  for (auto& [key, value] : before_.keys) Release(&value);
  for (auto& [stream, state] : before_.streams) Release(&state);
  for (auto& [dict, clone] : before_.containers) host::ObjectRelease(clone);
  for (auto& [key, change] : keys_) {
    Release(&change.before);
    Release(&change.after);
  }
  for (auto& change : streams_) {
    Release(&change.before);
    Release(&change.after);
  }
  for (auto& change : containers_) {
    host::ObjectRelease(change.before);
    host::ObjectRelease(change.after);
  }
}

bool CKW_AnnotChange::IsWholeKey(const std::string& key) const {
  return (std::find(wholeKeys_.begin(), wholeKeys_.end(), key) != wholeKeys_.end()) != allWhole_;
}

void CKW_AnnotChange::Release(Value* v) {
  if (v->object && !v->indirect) host::ObjectRelease(v->object);
  v->object = nullptr;
}

void CKW_AnnotChange::Release(StreamState* s) {
  if (s->dict) host::ObjectRelease(s->dict);
  s->dict = nullptr;
}

void CKW_AnnotChange::Take(Snapshot* out) const {
  for (const std::string& key : KeysOf(dict_)) {
    KPD_Object value = host::DictGet(dict_, key.c_str());
    if (!value) continue;
    Value v;
    // A value replaced whole is as good as a copy: held like an indirect one.
    v.indirect = IsIndirect(value) || IsWholeKey(key);
    v.object = v.indirect ? value : host::ObjectClone(value);
    if (v.object) out->keys[key] = v;
  }

  auto addStream = [&](KPD_Stream stream) {
    if (newStreams_) return;
    for (const auto& [known, state] : out->streams)
      if (known == stream) return;
    StreamState state;
    state.present = true;
    host::ByteString data;
    if (host::StreamGetData(stream, 0, data.get())) state.data = data.str();
    state.dict = host::ObjectClone(host::StreamGetDict(stream));
    out->streams.emplace_back(stream, std::move(state));
  };
  auto addContainer = [&](KPD_Dictionary dict) {
    if (!IsIndirect(dict)) return;  // a direct one is part of its parent's clone
    for (const auto& [known, clone] : out->containers)
      if (known == dict) return;
    out->containers.emplace_back(dict, host::ObjectClone(dict));
  };

  KPD_Dictionary ap = host::DictGet(dict_, "/AP");
  if (!ap || host::ObjectGetType(ap) != KPD_OBJ_DICTIONARY) return;
  addContainer(ap);
  for (const char* which : {"/N", "/D", "/R"}) {
    KPD_Object entry = host::DictGet(ap, which);
    int32_t type = entry ? host::ObjectGetType(entry) : KPD_OBJ_INVALID;
    if (type == KPD_OBJ_STREAM) {
      addStream(entry);
    } else if (type == KPD_OBJ_DICTIONARY) {
      addContainer(entry);
      for (const std::string& state : KeysOf(entry)) {
        KPD_Object stream = host::DictGet(entry, state.c_str());
        if (stream && host::ObjectGetType(stream) == KPD_OBJ_STREAM) addStream(stream);
      }
    }
  }
}

bool CKW_AnnotChange::SameValue(const Value& a, const Value& b) {
  if (!a.object || !b.object) return !a.object && !b.object;
  if (a.indirect || b.indirect) return a.indirect && b.indirect && host::ObjectIsIdentical(a.object, b.object);
  // The written text keeps references as "N G R", so a value that points at
  // another object differs even when that object's contents are equal.
  // The text first: it tells most changes apart without reading the streams
  // that the values refer to.
  return Written(a.object) == Written(b.object) && host::ObjectIsEqual(a.object, b.object);
}

bool CKW_AnnotChange::SameStream(const StreamState& a, const StreamState& b) {
  if (a.present != b.present) return false;
  if (!a.present) return true;
  return a.data == b.data && a.dict && b.dict && host::ObjectIsEqual(a.dict, b.dict) &&
         Written(a.dict) == Written(b.dict);
}

bool CKW_AnnotChange::Finish() {
  if (!dict_ || finished_) return HasChanges();
  finished_ = true;
  Snapshot now;
  Take(&now);

  // Keys: the union of both states, kept where they differ.
  std::map<std::string, KeyChange> keys;
  for (auto& [key, value] : before_.keys) keys[key].before = value;
  for (auto& [key, value] : now.keys) keys[key].after = value;
  before_.keys.clear();
  for (auto& [key, change] : keys) {
    if (SameValue(change.before, change.after)) {
      Release(&change.before);
      Release(&change.after);
    } else {
      keys_.emplace(key, change);
    }
  }

  // Streams: every stream met before or now. One met only before is read
  // again as it is now (it may still be changed, and it comes back on undo);
  // one met only now has no before state and is written on redo only.
  for (auto& [stream, state] : now.streams) {
    auto it = std::find_if(before_.streams.begin(), before_.streams.end(),
                           [&](const auto& entry) { return entry.first == stream; });
    StreamChange change;
    change.stream = stream;
    change.after = std::move(state);
    if (it != before_.streams.end()) {
      change.before = std::move(it->second);
      before_.streams.erase(it);
    }
    streams_.push_back(std::move(change));
  }
  for (auto& [stream, state] : before_.streams) {
    StreamChange change;
    change.stream = stream;
    change.before = state;
    change.after.present = true;
    host::ByteString data;
    if (host::StreamGetData(stream, 0, data.get())) change.after.data = data.str();
    change.after.dict = host::ObjectClone(host::StreamGetDict(stream));
    streams_.push_back(std::move(change));
  }
  before_.streams.clear();
  streams_.erase(std::remove_if(streams_.begin(), streams_.end(),
                                [](StreamChange& c) {
                                  if (!SameStream(c.before, c.after)) return false;
                                  Release(&c.before);
                                  Release(&c.after);
                                  return true;
                                }),
                 streams_.end());

  // Indirect containers of the appearance tree, likewise.
  for (auto& [dict, clone] : now.containers) {
    ContainerChange change{dict, nullptr, clone};
    auto it = std::find_if(before_.containers.begin(), before_.containers.end(),
                           [&](const auto& entry) { return entry.first == dict; });
    if (it != before_.containers.end()) {
      change.before = it->second;
      before_.containers.erase(it);
    }
    containers_.push_back(change);
  }
  for (auto& [dict, clone] : before_.containers)
    containers_.push_back({dict, clone, host::ObjectClone(dict)});
  before_.containers.clear();
  containers_.erase(std::remove_if(containers_.begin(), containers_.end(),
                                   [](ContainerChange& c) {
                                     bool same = c.before && c.after && host::ObjectIsEqual(c.before, c.after) &&
                                                 Written(c.before) == Written(c.after);
                                     if (!same) return false;
                                     host::ObjectRelease(c.before);
                                     host::ObjectRelease(c.after);
                                     return true;
                                   }),
                   containers_.end());
  return HasChanges();
}

// Makes `target` hold exactly the keys of `source`, each a fresh copy so
// that the recorded state stays untouched by later edits.
bool CKW_AnnotChange::ReplaceKeys(KPD_Dictionary target, KPD_Object source) {
  bool ok = true;
  std::vector<std::string> wanted = KeysOf(source);
  for (const std::string& key : KeysOf(target))
    if (std::find(wanted.begin(), wanted.end(), key) == wanted.end()) ok = host::DictRemove(target, key.c_str()) && ok;
  for (const std::string& key : wanted) {
    KPD_Object value = host::DictGet(source, key.c_str());
    if (!value) continue;
    KPD_Object copy = IsIndirect(value) ? value : host::ObjectClone(value);
    ok = host::DictSet(target, key.c_str(), copy) && ok;
    if (copy != value) host::ObjectRelease(copy);
  }
  return ok;
}

bool CKW_AnnotChange::Apply(bool after) {
  if (!dict_ || !finished_) return false;
  bool ok = true;
  for (auto& change : streams_) {
    const StreamState& state = after ? change.after : change.before;
    if (!state.present) continue;
    ok = host::StreamSetData(change.stream, state.data.data(), state.data.size()) && ok;
    // Setting the data drops /Filter; the recorded dictionary brings it back
    // with the data still encoded as it was.
    ok = ReplaceKeys(host::StreamGetDict(change.stream), state.dict) && ok;
  }
  for (auto& change : containers_) {
    KPD_Object state = after ? change.after : change.before;
    if (state) ok = ReplaceKeys(change.dict, state) && ok;
  }
  for (auto& [key, change] : keys_) {
    Value& v = after ? change.after : change.before;
    if (IsWholeKey(key)) {
      // The value there now holds the other state (undo and redo take
      // turns), and it leaves the dictionary here: it is kept in place of
      // the recorded one, which goes back in. Whatever edits the value
      // later while it is in the dictionary has been undone by the time
      // it is taken out again, so neither state is ever copied.
      Value& other = after ? change.before : change.after;
      KPD_Object now = host::DictGet(dict_, key.c_str());
      if (now && !(v.object && host::ObjectIsIdentical(now, v.object))) other = {now, true};
    }
    if (!v.object) {
      host::DictRemove(dict_, key.c_str());
      ok = !host::DictHasKey(dict_, key.c_str()) && ok;
      continue;
    }
    KPD_Object copy = v.indirect ? v.object : host::ObjectClone(v.object);
    ok = host::DictSet(dict_, key.c_str(), copy) && ok;
    if (copy != v.object) host::ObjectRelease(copy);
  }
  return ok;
}

}  // namespace kwannotation
