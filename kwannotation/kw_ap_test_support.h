// Readers of what the appearance generators wrote, over the one-page test
// document.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_test_support.h"

namespace kwannotation::test {

namespace host = ks::host;

class AppearanceTest : public HostDocTest {
 protected:
  // The annotation parsed from `text`, put on the page and drawn.
  KPD_Dictionary Drawn(std::string_view text) {
    KPD_Dictionary annot = Add(text);
    std::string reason;
    EXPECT_TRUE(RebuildAppearance(annot, &reason)) << text << ": " << reason;
    return annot;
  }

  static KPD_Stream Normal(KPD_Dictionary annot) {
    KPD_Object ap = host::DictGet(annot, "/AP");
    return ap ? host::DictGet(ap, "/N") : nullptr;
  }

  // The content of the normal appearance, or "<none>".
  static std::string Content(KPD_Dictionary annot) {
    KPD_Stream n = Normal(annot);
    host::ByteString data;
    if (!n || !host::StreamGetData(n, 1, data.get())) return "<none>";
    return data.str();
  }

  // The PDF text of a value of `dict` ("<absent>" when missing).
  static std::string Value(KPD_Object dict, const char* key) {
    KPD_Object obj = dict ? host::DictGet(dict, key) : nullptr;
    if (!obj) return "<absent>";
    host::ByteString out;
    host::ObjectWrite(obj, out.get());
    return out.str();
  }

  static KPD_Dictionary StreamDict(KPD_Dictionary annot) { return host::StreamGetDict(Normal(annot)); }

  static KPD_Object Resources(KPD_Dictionary annot) { return host::DictGet(StreamDict(annot), "/Resources"); }
};

}  // namespace kwannotation::test
