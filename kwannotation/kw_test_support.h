// Test helpers for the annotation library: the real host bound in-process,
// a one-page document, and PDF objects parsed from and written as text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "host/core_hft.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation::test {

struct ObjectDeleter {
  void operator()(KPD_Object__* obj) const { ks::host::ObjectRelease(obj); }
};
using Owned = std::unique_ptr<KPD_Object__, ObjectDeleter>;

inline Owned Parse(std::string_view text) { return Owned(ks::host::ObjectParse(text.data(), text.size())); }

inline std::string Write(KPD_Object obj) {
  ks::host::ByteString out;
  ks::host::ObjectWrite(obj, out.get());
  return out.str();
}

// A fresh document with one letter-size page, against the real host.
class HostDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    doc_ = ks::host::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    page_ = ks::host::DocAddPage(doc_, &letter);
    ASSERT_NE(page_, nullptr);
  }
  void TearDown() override { ks::host::DocClose(doc_); }

  // A direct dictionary parsed from `text`, stored in the document as an
  // indirect object (borrowed).
  KPD_Dictionary Indirect(std::string_view text) {
    Owned parsed = Parse(text);
    return ks::host::DocMakeIndirect(doc_, parsed.get());
  }

  // The annotation parsed from `text` and put at the end of `page`.
  KPD_Dictionary Add(std::string_view text, KPD_Page page = nullptr) {
    Owned parsed = Parse(text);
    EXPECT_TRUE(parsed) << text;
    KPD_Dictionary annot = ks::host::PageInsertAnnot(page ? page : page_, -1, parsed.get());
    EXPECT_TRUE(annot) << text;
    return annot;
  }

  KPD_Document doc_ = nullptr;
  KPD_Page page_ = nullptr;
};

}  // namespace kwannotation::test
