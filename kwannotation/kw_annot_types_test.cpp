#include "kwannotation/kw_annot_types.h"

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

// The names of subtypes, line endings and border styles are the file's
// vocabulary: each reads back as its code, and other spellings, and codes
// outside the tables, give the empty answer instead of reading past them.
TEST(AnnotTypes, NamesAndCodesMatchBothWaysAndNothingElseMatches) {
  const char* subtypes[] = {"Text", "Link", "FreeText", "Line", "Square", "Circle", "Polygon", "PolyLine",
                            "Highlight", "Underline", "Squiggly", "StrikeOut", "Stamp", "Caret", "Ink",
                            "FileAttachment", "Sound", "Movie", "Widget", "Screen", "PrinterMark", "TrapNet",
                            "Watermark", "3D", "Popup", "Redact", "Projection"};
  for (int32_t code = 1; code <= kKwLastSubtypeCode; ++code) {
    EXPECT_EQ(KW_SubtypeCodeFromName(subtypes[code - 1]), code) << subtypes[code - 1];
    EXPECT_EQ(KW_SubtypeNameFromCode(code), subtypes[code - 1]);
  }
  for (const char* other : {"", "line", "Lines", " Line", "PSInk", "/Line"}) EXPECT_EQ(KW_SubtypeCodeFromName(other), 0) << other;
  for (int32_t code : {0, kKwLastSubtypeCode + 1, -1}) EXPECT_EQ(KW_SubtypeNameFromCode(code), "") << code;

  const char* endings[] = {"None", "Square", "Circle", "Diamond", "OpenArrow", "ClosedArrow", "Butt",
                           "ROpenArrow", "RClosedArrow", "Slash"};
  for (int32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(KW_LineEndingFromName(endings[i]), i);
    EXPECT_EQ(KW_LineEndingName(i), endings[i]);
  }
  EXPECT_EQ(KW_LineEndingFromName("openarrow"), 0);
  for (int32_t code : {10, -3}) EXPECT_EQ(KW_LineEndingName(code), "None") << code;

  const char* styles[] = {"solid", "dash", "bevelled", "inset", "underline", "cloudy"};
  for (int32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(KW_BorderStyleName(i), styles[i]);
    EXPECT_EQ(KW_BorderStyleFromName(styles[i]), i);
  }
  EXPECT_EQ(KW_BorderStyleFromName("dashed"), -1);
  EXPECT_EQ(KW_BorderStyleName(6), "solid");
}

TEST(AnnotTypes, MeasureKindsFromIntentsAndTheirSubtypes) {
  struct Row {
    const char* intent;
    int32_t kind;
    int32_t subtype;
  } rows[] = {
      {"LineDimension", 1, KW_ANNOT_LINE},       {"PolyLineDimension", 2, KW_ANNOT_POLYLINE},
      {"PolygonDimension", 3, KW_ANNOT_POLYGON}, {"PolygonVolume", 4, KW_ANNOT_POLYGON},
      {"CircleDimension", 5, KW_ANNOT_CIRCLE},   {"PolygonRadius", 6, KW_ANNOT_POLYGON},
      {"PolyLineAngle", 7, KW_ANNOT_POLYLINE},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(KW_MeasureKindFromIntent(r.intent), r.kind) << r.intent;
    EXPECT_EQ(KW_IntentFromMeasureKind(r.kind), r.intent);
    EXPECT_EQ(KW_SubtypeCodeFromMeasureKind(r.kind), r.subtype) << r.intent;
  }
  for (const char* other : {"", "LineArrow", "PolygonCloud", "linedimension", "LineDimension "})
    EXPECT_EQ(KW_MeasureKindFromIntent(other), 0) << other;
  EXPECT_EQ(KW_SubtypeCodeFromMeasureKind(0), 0);
  EXPECT_EQ(KW_SubtypeCodeFromMeasureKind(8), 0);
  EXPECT_EQ(KW_IntentFromMeasureKind(9), "");
}

TEST(AnnotTypes, HandledSubtypesMatchWholeNamesOnly) {
  int handled = 0;
  for (int32_t code = 0; code <= kKwLastSubtypeCode; ++code) handled += KW_IsHandledSubtype(KW_SubtypeNameFromCode(code));
  EXPECT_EQ(handled + 1, 22);  // PSInk has no subtype code
  EXPECT_TRUE(KW_IsHandledSubtype("PSInk"));
  EXPECT_TRUE(KW_IsHandledSubtype("Watermark"));
  for (const char* no : {"Sound", "Movie", "3D", "text", "Tex", "", "Projection"}) EXPECT_FALSE(KW_IsHandledSubtype(no)) << no;
}

TEST(AnnotTypes, FlagsFormatInTableOrderWithoutLeadingComma) {
  struct Row {
    uint32_t flags;
    const char* text;
  } rows[] = {
      {6, "hidden,print"},
      {0, ""},
      {1024 | 2, "hidden,flag1024"},
      {2047, "invisible,hidden,print,nozoom,norotate,noview,readonly,locked,togglenoview,lockedcontents,flag1024"},
      {4096 | 4, "print"},  // bits without a name are not written
  };
  for (const Row& r : rows) EXPECT_EQ(KW_FormatAnnotFlags(r.flags), r.text) << r.flags;
}

TEST(AnnotTypes, FlagsParseKnownTokensOnly) {
  struct Row {
    const char* text;
    uint32_t flags;
  } rows[] = {
      {"print,bogus,hidden", 6}, {"", 4},     {"bogus", 0}, {" print", 0},
      {"print,", 4},             {",,locked,,", 128}, {"PRINT", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(KW_ParseAnnotFlags(r.text), r.flags) << r.text;
  // Every named bit comes back from its text.
  for (uint32_t flags : {512u, 1024u, 1536u | 4u, 2047u})
    EXPECT_EQ(KW_ParseAnnotFlags(KW_FormatAnnotFlags(flags)), flags);
}

using BorderRecord = test::HostDocTest;

TEST_F(BorderRecord, ReadsBorderStyleAndCloudFromEveryPlace) {
  struct Row {
    const char* dict;
    bool found;
    float width;
    int32_t style;
    float intensity;
    std::vector<float> dashes;
  } rows[] = {
      {"<< >>", false, 1, 0, 0, {}},
      {"<< /BS << /W 2 /S /D /D [3 1] >> >>", true, 2, 1, 0, {3, 1}},
      {"<< /BS << /S /B >> >>", true, 1, 2, 0, {}},
      {"<< /BS << /W 1 /S /I >> >>", true, 1, 3, 0, {}},
      {"<< /BS << /W 1 /S /U >> >>", true, 1, 4, 0, {}},
      {"<< /BS << /W -4 >> >>", true, 0, 0, 0, {}},
      {"<< /BS << /W (wide) /S /Q >> >>", true, 1, 0, 0, {}},
      {"<< /Border [0 0 3 [2 2]] >>", true, 3, 1, 0, {2, 2}},
      {"<< /Border [0 0 2.5] >>", true, 2.5f, 0, 0, {}},
      {"<< /Border (no) >>", false, 1, 0, 0, {}},
      {"<< /BS (no) /Border [0 0 2] >>", true, 2, 0, 0, {}},
      {"<< /BS << /W 1.5 >> /BE << /S /C /I 1.5 >> >>", true, 1.5f, 5, 1.5f, {}},
      {"<< /BE << /S /S /I 1 >> >>", true, 1, 0, 0, {}},
      {"<< /BS << /W 2 /D [1 (x)] >> >>", true, 2, 0, 0, {}},
  };
  for (const Row& r : rows) {
    KwBorderInfo info;
    info.width = 99;
    EXPECT_EQ(KW_ReadBorderInfo(test::Parse(r.dict).get(), &info), r.found) << r.dict;
    EXPECT_FLOAT_EQ(info.width, r.width) << r.dict;
    EXPECT_EQ(info.style, r.style) << r.dict;
    EXPECT_FLOAT_EQ(info.intensity, r.intensity) << r.dict;
    EXPECT_EQ(info.dashes, r.dashes) << r.dict;
  }
  EXPECT_FALSE(KW_ReadBorderInfo(nullptr, nullptr));
}

TEST_F(BorderRecord, WritesANewBorderAndKeepsTheCloudOnlyWhenCloudy) {
  test::Owned owned = test::Parse("<< /BS << /W 9 /Extra 1 >> /BE << /S /C /I 1 >> >>");
  KPD_Dictionary annot = owned.get();
  KwBorderInfo cloudy{2.5f, KW_BORDER_CLOUDY, 2.0f, 0, {}};
  ASSERT_TRUE(KW_WriteBorderInfo(annot, cloudy));
  KwBorderInfo back;
  ASSERT_TRUE(KW_ReadBorderInfo(annot, &back));
  EXPECT_FLOAT_EQ(back.width, 2.5f);
  EXPECT_EQ(back.style, KW_BORDER_CLOUDY);
  EXPECT_FLOAT_EQ(back.intensity, 2.0f);
  KPD_Object bs = ks::host::DictGet(annot, "/BS");
  EXPECT_FALSE(ks::host::DictHasKey(bs, "/Extra"));
  EXPECT_TRUE(ks::host::NameIs(ks::host::DictGet(bs, "/Type"), "/Border"));

  KwBorderInfo dashed{-1.0f, KW_BORDER_DASH, 0, 0, {4, 2}};
  ASSERT_TRUE(KW_WriteBorderInfo(annot, dashed));
  EXPECT_FALSE(ks::host::DictHasKey(annot, "/BE"));
  ASSERT_TRUE(KW_ReadBorderInfo(annot, &back));
  EXPECT_FLOAT_EQ(back.width, 0.0f);
  EXPECT_EQ(back.style, KW_BORDER_DASH);
  EXPECT_EQ(back.dashes, (std::vector<float>{4, 2}));

  EXPECT_FALSE(KW_WriteBorderInfo(nullptr, dashed));
  EXPECT_FALSE(KW_WriteBorderInfo(test::Parse("[1 2]").get(), dashed));
}

}  // namespace
}  // namespace kwannotation
