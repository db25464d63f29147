// A real host in-process for the appearance tests: a one-page document to
// put annotations on, and readers of what the generators wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/core_hft.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation::test {

namespace host = ks::host;

class AppearanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Bind(kshost::CoreHFT(), nullptr);
    doc_ = host::DocNew();
    KS_FloatRect box{0, 0, 612, 792};
    page_ = host::DocAddPage(doc_, &box);
    ASSERT_TRUE(page_);
  }
  void TearDown() override { host::DocClose(doc_); }

  // The annotation parsed from `text` and put on the page.
  KPD_Dictionary Add(const std::string& text) {
    KPD_Object parsed = host::ObjectParse(text.data(), text.size());
    EXPECT_TRUE(parsed) << text;
    KPD_Dictionary annot = host::PageInsertAnnot(page_, -1, parsed);
    host::ObjectRelease(parsed);
    EXPECT_TRUE(annot) << text;
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

  KPD_Document doc_ = nullptr;
  KPD_Page page_ = nullptr;
};

}  // namespace kwannotation::test
