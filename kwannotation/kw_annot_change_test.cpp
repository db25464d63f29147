// Recording and replaying the change of an annotation, against the real host.
#include "kwannotation/kw_annot_change.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

namespace host = ks::host;

class AnnotChange : public test::HostDocTest {
 public:
  KPD_Stream NewStream(const std::string& data) { return host::DocNewStream(doc_, data.data(), data.size()); }

 protected:
  // A square whose /AP /N is `normal`.
  KPD_Dictionary SquareWith(KPD_Stream normal) {
    KPD_Dictionary annot = Add("<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /C [1 0 0] >>");
    test::Owned ap = test::Parse("<< >>");
    host::DictSet(annot, "/AP", ap.get());
    host::DictSet(host::DictGet(annot, "/AP"), "/N", normal);
    return annot;
  }

  static std::string Data(KPD_Stream stream) {
    host::ByteString out;
    host::StreamGetData(stream, 0, out.get());
    return out.str();
  }

  // Everything the change must restore: the dictionary as written (references
  // stay "N G R") and the dictionary and data of its normal appearance.
  static std::string State(KPD_Dictionary annot) {
    std::string text = test::Write(annot);
    KPD_Object ap = host::DictGet(annot, "/AP");
    KPD_Object normal = ap ? host::DictGet(ap, "/N") : nullptr;
    if (normal && host::ObjectGetType(normal) == KPD_OBJ_STREAM)
      text += " | " + test::Write(host::StreamGetDict(normal)) + " | " + Data(normal);
    return text;
  }
};

TEST_F(AnnotChange, UndoAndRedoRestoreDictionaryAndAppearanceExactly) {
  struct Row {
    const char* name;
    std::function<void(AnnotChange*, KPD_Dictionary)> edit;
  } rows[] = {
      {"key removed", [](AnnotChange*, KPD_Dictionary a) { host::DictRemove(a, "/C"); }},
      {"key added",
       [](AnnotChange*, KPD_Dictionary a) {
         test::Owned v = test::Parse("[0 0 1]");
         host::DictSet(a, "/IC", v.get());
       }},
      {"key changed in place",
       [](AnnotChange*, KPD_Dictionary a) {
         test::Owned r = test::Parse("[50 0 60 10]");
         host::DictSet(a, "/Rect", r.get());
       }},
      {"stream data rewritten",
       [](AnnotChange*, KPD_Dictionary a) {
         KPD_Stream n = host::DictGet(host::DictGet(a, "/AP"), "/N");
         host::StreamSetData(n, "1 0 0 RG 0 0 m 9 9 l S", 22);
         test::Owned box = test::Parse("[0 0 9 9]");
         host::DictSet(host::StreamGetDict(n), "/BBox", box.get());
       }},
      {"stream replaced by a new object",
       [](AnnotChange* t, KPD_Dictionary a) {
         host::DictSet(host::DictGet(a, "/AP"), "/N", t->NewStream("0 0 m 1 1 l S"));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KPD_Stream normal = NewStream("0 0 m 10 10 l S");
    KPD_Dictionary annot = SquareWith(normal);
    std::string before = State(annot);

    CKW_AnnotChange change(annot);
    row.edit(this, annot);
    std::string after = State(annot);
    ASSERT_NE(before, after);
    EXPECT_TRUE(change.Finish());

    for (int round = 0; round < 2; ++round) {
      EXPECT_TRUE(change.Apply(false));
      EXPECT_EQ(State(annot), before);
      EXPECT_EQ(host::DictGet(host::DictGet(annot, "/AP"), "/N"), normal) << "the very stream object comes back";
      EXPECT_TRUE(change.Apply(true));
      EXPECT_EQ(State(annot), after);
    }
  }
}

TEST_F(AnnotChange, SharedStreamComesBackForBothAnnotations) {
  // Two annotations draw with one stream; the edit rewrites it through one.
  KPD_Stream shared = NewStream("0 0 m 10 10 l S");
  KPD_Dictionary first = SquareWith(shared);
  KPD_Dictionary second = SquareWith(shared);
  std::string before = State(second);

  CKW_AnnotChange change(first);
  host::StreamSetData(shared, "q Q", 3);
  ASSERT_TRUE(change.Finish());
  ASSERT_TRUE(change.Apply(false));
  EXPECT_EQ(State(second), before);
  EXPECT_EQ(Data(shared), "0 0 m 10 10 l S");
}

TEST_F(AnnotChange, NothingRecordedWithoutAChange) {
  KPD_Dictionary annot = SquareWith(NewStream("0 0 m 10 10 l S"));
  CKW_AnnotChange change(annot);
  // Written again with equal values: not a change.
  test::Owned same = test::Parse("[1 0 0]");
  host::DictSet(annot, "/C", same.get());
  EXPECT_FALSE(change.Finish());
  EXPECT_FALSE(change.HasChanges());

  CKW_AnnotChange none(nullptr);
  EXPECT_FALSE(none.Finish());
  EXPECT_FALSE(none.Apply(false));
}

TEST_F(AnnotChange, AppearanceStatesAreRecorded) {
  KPD_Dictionary annot = Add("<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AS /On >>");
  KPD_Stream on = NewStream("1 g");
  test::Owned ap = test::Parse("<< /N << >> >>");
  host::DictSet(annot, "/AP", ap.get());
  host::DictSet(host::DictGet(host::DictGet(annot, "/AP"), "/N"), "/On", on);

  CKW_AnnotChange change(annot);
  host::StreamSetData(on, "0 g", 3);
  ASSERT_TRUE(change.Finish());
  ASSERT_TRUE(change.Apply(false));
  EXPECT_EQ(Data(on), "1 g");
  ASSERT_TRUE(change.Apply(true));
  EXPECT_EQ(Data(on), "0 g");
}

// A value recorded by identity (a whole key, or any key but the in-place
// ones) may be edited in place by a later change while it is back in the
// dictionary; undoing that change and then this one must still bring back
// this change's own state, not the later edit.
TEST_F(AnnotChange, ValuesKeptByIdentityComeBackAsRecordedAfterLaterEditsInPlace) {
  struct Row {
    const char* name;
    std::function<std::unique_ptr<CKW_AnnotChange>(KPD_Dictionary)> record;
  } rows[] = {
      {"whole key",
       [](KPD_Dictionary a) {
         return std::make_unique<CKW_AnnotChange>(a, std::vector<std::string>{"/Measure"}, true);
       }},
      {"all but /AP", [](KPD_Dictionary a) { return CKW_AnnotChange::ReplacingAllBut(a, {"/AP"}); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KPD_Stream normal = NewStream("0 0 m 10 10 l S");
    KPD_Dictionary annot = SquareWith(normal);
    test::Owned old = test::Parse("<< /R (1 in = 1 in) /X [ << /U (in) /C 1 >> ] >>");
    host::DictSet(annot, "/Measure", old.get());
    const std::string before = State(annot);

    // The edit: a new measure dictionary, contents and appearance stream.
    std::unique_ptr<CKW_AnnotChange> change = row.record(annot);
    test::Owned fresh = test::Parse("<< /R (1 cm = 1 m) /X [ << /U (m) /C 0.01 >> ] >>");
    host::DictSet(annot, "/Measure", fresh.get());
    test::Owned contents = test::Parse("(2.54 m)");
    host::DictSet(annot, "/Contents", contents.get());
    host::DictSet(host::DictGet(annot, "/AP"), "/N", NewStream("0 0 m 5 5 l S"));
    ASSERT_TRUE(change->Finish());
    const std::string after = State(annot);

    for (int round = 0; round < 2; ++round) {
      // A later edit changes the measure dictionary in place, and is undone.
      CKW_AnnotChange later(annot);
      test::Owned ratio = test::Parse("(1 cm = 2 m)");
      host::DictSet(host::DictGet(annot, "/Measure"), "/R", ratio.get());
      ASSERT_TRUE(later.Finish());
      ASSERT_TRUE(later.Apply(false));
      ASSERT_EQ(State(annot), after);

      ASSERT_TRUE(change->Apply(false));
      EXPECT_EQ(State(annot), before);
      EXPECT_EQ(host::DictGet(host::DictGet(annot, "/AP"), "/N"), normal) << "the very stream object comes back";
      ASSERT_TRUE(change->Apply(true));
      EXPECT_EQ(State(annot), after);
    }
  }
}

}  // namespace
}  // namespace kwannotation
