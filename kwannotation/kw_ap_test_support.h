// Readers of what the appearance generators wrote, over the one-page test
// document.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_test_support.h"

namespace kwannotation::test {

namespace host = ks::host;

class AppearanceTest : public HostDocTest {
 protected:
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
