#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/host_functions.h"
#include "host/strings.h"
#include "host/test_temp_dir.h"
#include "host/utf.h"

namespace direct = kshost::direct;
namespace fs = std::filesystem;
using kshost::testing::TempDir;

namespace {

class FileFunctionsTest : public ::testing::Test {
 protected:
  std::u16string path(const std::string& name) const { return kshost::ToUtf16(tmp_ / name); }

  std::vector<std::u16string> list(const std::string& folder, bool folders) {
    KS_WideStringArray arr = direct::WideStringArrayNew();
    std::vector<std::u16string> names;
    if (direct::DirectoryList(path(folder).c_str(), folders ? 1 : 0, arr)) names = arr->items;
    direct::WideStringArrayDestroy(arr);
    return names;
  }

  TempDir tmp_;
};

}  // namespace

TEST_F(FileFunctionsTest, WriteReadRemoveRoundTripWithBinaryData) {
  const std::u16string file = path("\u00FCber \U0001F4C4.bin");  // non-ASCII name
  const std::string data("a\0\xFF\n", 4);
  EXPECT_EQ(direct::FileExists(file.c_str()), 0);
  ASSERT_EQ(direct::FileWrite(file.c_str(), data.data(), data.size()), 1);
  EXPECT_EQ(direct::FileExists(file.c_str()), 1);
  EXPECT_EQ(direct::DirectoryExists(file.c_str()), 0);

  KS_ByteString out = direct::ByteStringNew(nullptr, 0);
  ASSERT_EQ(direct::FileRead(file.c_str(), out), 1);
  EXPECT_EQ(out->text, data);
  ASSERT_EQ(direct::FileWrite(file.c_str(), "new", 3), 1);  // replaces
  ASSERT_EQ(direct::FileRead(file.c_str(), out), 1);
  EXPECT_EQ(out->text, "new");

  EXPECT_EQ(direct::FileRemove(file.c_str()), 1);
  EXPECT_EQ(direct::FileRemove(file.c_str()), 0);
  EXPECT_EQ(direct::FileRead(file.c_str(), out), 0);
  direct::ByteStringDestroy(out);
}

TEST_F(FileFunctionsTest, RefusesRelativeEmptyAndNullPaths) {
  for (const char16_t* bad : {u"relative.txt", u"", static_cast<const char16_t*>(nullptr)}) {
    EXPECT_EQ(direct::FileWrite(bad, "x", 1), 0);
    EXPECT_EQ(direct::FileExists(bad), 0);
    EXPECT_EQ(direct::DirectoryExists(bad), 0);
    EXPECT_EQ(direct::DirectoryCreate(bad), 0);
    EXPECT_EQ(direct::FileRemove(bad), 0);
  }
  EXPECT_FALSE(fs::exists("relative.txt"));
}

TEST_F(FileFunctionsTest, WriteDoesNotCreateFoldersAndFailsOnAFolder) {
  EXPECT_EQ(direct::FileWrite(path("missing/x.txt").c_str(), "x", 1), 0);
  EXPECT_FALSE(fs::exists(tmp_ / "missing"));
  ASSERT_EQ(direct::DirectoryCreate(path("a/b/c").c_str()), 1);
  EXPECT_EQ(direct::DirectoryCreate(path("a/b/c").c_str()), 1);  // already there
  EXPECT_EQ(direct::DirectoryExists(path("a/b/c").c_str()), 1);
  EXPECT_EQ(direct::FileWrite(path("a/b").c_str(), "x", 1), 0);
  EXPECT_EQ(direct::FileRemove(path("a/b").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(tmp_ / "a/b"));
  std::ofstream(tmp_ / "plain") << "x";
  EXPECT_EQ(direct::DirectoryCreate(path("plain").c_str()), 0);
}

TEST_F(FileFunctionsTest, ListGivesSortedNamesOfOneKind) {
  for (const char* name : {"b.txt", "A.txt", "\xC3\xA9.txt", "a.txt"}) std::ofstream(tmp_ / name) << "x";
  fs::create_directories(tmp_ / "zdir/inner");
  fs::create_directories(tmp_ / "adir");
  fs::create_symlink(tmp_ / "adir", tmp_ / "link-to-dir");

  EXPECT_EQ(list("", false), (std::vector<std::u16string>{u"A.txt", u"a.txt", u"b.txt", u"\u00e9.txt"}));
  EXPECT_EQ(list("", true), (std::vector<std::u16string>{u"adir", u"link-to-dir", u"zdir"}));
  EXPECT_TRUE(list("adir", false).empty());

  KS_WideStringArray arr = direct::WideStringArrayNew();
  KS_WideString stale = direct::WideStringNew(u"stale", 5);
  direct::WideStringArrayAppend(arr, stale);
  EXPECT_EQ(direct::DirectoryList(path("zdir").c_str(), 1, arr), 1);
  EXPECT_EQ(arr->items, std::vector<std::u16string>{u"inner"});  // replaced, not appended
  EXPECT_EQ(direct::DirectoryList(path("b.txt").c_str(), 0, arr), 0);
  EXPECT_EQ(direct::DirectoryList(path("nope").c_str(), 0, arr), 0);
  EXPECT_EQ(direct::DirectoryList(path("").c_str(), 0, nullptr), 0);
  direct::WideStringDestroy(stale);
  direct::WideStringArrayDestroy(arr);
}
