// A recorded change of one annotation: its dictionary and the appearance
// streams it refers to, before and after an edit. Whoever edits an
// annotation takes a snapshot first, edits, then calls Finish; Apply puts
// either state back, so the dictionary and its appearance streams equal the
// recorded ones object for object (an appearance made by another program
// comes back as it was, not regenerated).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_AnnotChange {
 public:
  // Snapshots every top-level key of `annot` and every appearance stream
  // that /AP /N, /D and /R refer to (also through appearance states). A
  // null dictionary records nothing.
  explicit CKW_AnnotChange(KPD_Dictionary annot);
  // The same, with keys whose values the edit replaces whole rather than
  // changing them in place (the strokes of an ink: hundreds of thousands of
  // numbers; a measurement's measure dictionary). Their values are kept and
  // compared by identity, not copied; Apply swaps the recorded value with
  // the one in the dictionary, so a later edit in place of the value that
  // is there does not reach the record.
  // With `newStreams` the edit puts its appearance into new streams and
  // leaves the old ones as they are: only the references to streams are
  // recorded, not their data.
  CKW_AnnotChange(KPD_Dictionary annot, std::vector<std::string> wholeKeys, bool newStreams = false);
  // For an edit that replaces whole every value it changes, but those of
  // `inPlace`, and puts its appearance into new streams (re-deriving a
  // measurement: new measure dictionary, contents and rectangle, the normal
  // appearance a new stream in the same /AP). Only the values of `inPlace`
  // are copied; every other one is kept by identity, as a whole key is.
  static std::unique_ptr<CKW_AnnotChange> ReplacingAllBut(KPD_Dictionary annot, std::vector<std::string> inPlace);
  ~CKW_AnnotChange();
  CKW_AnnotChange(const CKW_AnnotChange&) = delete;
  CKW_AnnotChange& operator=(const CKW_AnnotChange&) = delete;

  // Compares the snapshot with the annotation as it is now and keeps only
  // what differs. True when anything changed. Call once, after the edit.
  bool Finish();
  bool HasChanges() const { return !keys_.empty() || !streams_.empty() || !containers_.empty(); }

  // Writes the state before (`after` false) or after the edit back into the
  // annotation and its streams. False when Finish was not called, when the
  // document refuses a write (read-only), or when the dictionary is gone.
  bool Apply(bool after);

  KPD_Dictionary GetDict() const { return dict_; }

 private:
  // A value of a key: an owned clone of a direct value, or a borrowed handle
  // kept by identity (an indirect object, or a value replaced whole).
  struct Value {
    KPD_Object object = nullptr;
    bool indirect = false;
  };
  struct KeyChange {
    Value before, after;  // null object: the key was absent
  };
  // Data and dictionary of one appearance stream (borrowed, indirect).
  struct StreamState {
    bool present = false;
    std::string data;  // raw, as stored
    KPD_Object dict = nullptr;  // owned clone
  };
  struct StreamChange {
    KPD_Stream stream = nullptr;
    StreamState before, after;
  };
  // An indirect dictionary of the appearance tree (/AP itself or a state
  // dictionary) whose keys are restored in place.
  struct ContainerChange {
    KPD_Dictionary dict = nullptr;
    KPD_Object before = nullptr, after = nullptr;  // owned clones; null: not recorded
  };

  struct Snapshot {
    std::map<std::string, Value> keys;
    std::vector<std::pair<KPD_Stream, StreamState>> streams;
    std::vector<std::pair<KPD_Dictionary, KPD_Object>> containers;
  };

  void Take(Snapshot* out) const;
  bool IsWholeKey(const std::string& key) const;
  static void Release(Value* v);
  static void Release(StreamState* s);
  static bool SameValue(const Value& a, const Value& b);
  static bool SameStream(const StreamState& a, const StreamState& b);
  static bool ReplaceKeys(KPD_Dictionary target, KPD_Object source);

  KPD_Dictionary dict_ = nullptr;
  bool finished_ = false;
  std::vector<std::string> wholeKeys_;
  bool allWhole_ = false;  // every key is whole but those of wholeKeys_
  bool newStreams_ = false;
  Snapshot before_;
  std::map<std::string, KeyChange> keys_;
  std::vector<StreamChange> streams_;
  std::vector<ContainerChange> containers_;
};

}  // namespace kwannotation
