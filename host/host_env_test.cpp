#include "host/host_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "host/host_functions.h"
#include "host/pref_file.h"
#include "host/strings.h"
#include "host/test_temp_dir.h"
#include "host/utf.h"

namespace direct = kshost::direct;
namespace fs = std::filesystem;
using kshost::Env;
using kshost::testing::TempDir;

namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spill(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

class HostEnvTest : public ::testing::Test {
 protected:
  HostEnvTest()
      : home_("HOME", tmp_ / "home"),
        config_("XDG_CONFIG_HOME", tmp_ / "config"),
        data_("XDG_DATA_HOME", tmp_ / "data"),
        user_("ANNOT_USER_DIR", std::nullopt),
        app_("ANNOT_APP_DIR", std::nullopt) {
    Env().Reset();
  }
  ~HostEnvTest() override { Env().Reset(); }

  std::string prefFile() const { return tmp_ / "config/annot/preferences.ini"; }

  TempDir tmp_;
  ScopedEnv home_, config_, data_, user_, app_;
};

}  // namespace

TEST_F(HostEnvTest, FoldersFollowTheEnvironment) {
  EXPECT_TRUE(fs::is_directory(Env().appFolder() + "/lang/en-US")) << Env().appFolder();  // the default one
  EXPECT_EQ(Env().appDataFolder(), tmp_ / "data/annot");
  EXPECT_EQ(Env().userFolder(), tmp_ / "home");
  {
    ScopedEnv user("ANNOT_USER_DIR", tmp_ / "docs");
    ScopedEnv app("ANNOT_APP_DIR", tmp_ / "app");
    ScopedEnv relative("XDG_CONFIG_HOME", std::string("relative/dir"));  // ignored: not absolute
    Env().Reset();
    EXPECT_EQ(Env().userFolder(), tmp_ / "docs");
    EXPECT_EQ(Env().appFolder(), tmp_ / "app");
    EXPECT_EQ(Env().uiFolder(), tmp_ / "app/ui");
    ASSERT_TRUE(Env().setPrefText(u"S", u"k", u"v"));
    EXPECT_TRUE(fs::exists(tmp_ / "home/.config/annot/preferences.ini"));
  }
  // Cached until Reset(): a folder does not move under a running session.
  EXPECT_EQ(Env().userFolder(), tmp_ / "docs");
  Env().Reset();
  EXPECT_EQ(Env().userFolder(), tmp_ / "home");
}

TEST_F(HostEnvTest, TableFunctionsReportFoldersAndLanguageInUtf16) {
  ScopedEnv user("ANNOT_USER_DIR", tmp_ / "D\xC3\xA9j\xC3\xA0");  // "Déjà"
  Env().Reset();
  KS_WideString out = direct::WideStringNew(nullptr, 0);
  EXPECT_EQ(direct::AppGetUserFolder(out), 1);
  EXPECT_EQ(out->text, kshost::ToUtf16(tmp_ / "D\xC3\xA9j\xC3\xA0"));
  EXPECT_EQ(direct::AppGetUILanguage(out), 1);
  EXPECT_EQ(out->text, u"en-US");
  Env().setUiLanguage("de-DE");
  EXPECT_EQ(direct::AppGetUILanguage(out), 1);
  EXPECT_EQ(out->text, u"de-DE");
  EXPECT_EQ(direct::AppGetUiFolder(nullptr), 0);
  direct::WideStringDestroy(out);
}

// The author of what the user makes: the preference when it says
// something, else the account's login name (not $USER, which anyone sets).
TEST_F(HostEnvTest, TheUserNameIsThePreferenceElseTheLoginName) {
  ScopedEnv user("USER", std::string("someone-else"));
  KS_WideString out = direct::WideStringNew(nullptr, 0);
  FILE* who = ::popen("id -un", "r");
  ASSERT_NE(who, nullptr);
  char login[256] = {};
  const bool read = std::fgets(login, sizeof login, who) != nullptr;
  ::pclose(who);
  ASSERT_TRUE(read);
  std::string name = login;
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
  for (const char16_t* blank : {static_cast<const char16_t*>(nullptr), u"", u"  \t"}) {
    if (blank) ASSERT_EQ(direct::PrefSetText(u"Identity", u"Name", blank), 1);
    EXPECT_EQ(direct::AppGetUserName(out), 1);
    EXPECT_EQ(out->text, kshost::ToUtf16(name));
  }
  ASSERT_EQ(direct::PrefSetText(u"Identity", u"Name", u"Ada \u00C9"), 1);
  EXPECT_EQ(direct::AppGetUserName(out), 1);
  EXPECT_EQ(out->text, u"Ada \u00C9");
  direct::WideStringDestroy(out);
}

// Values written, and one removed, come back from the file alone.
TEST_F(HostEnvTest, PreferencesSurviveAReloadFromTheFile) {
  const std::u16string section = u"Annotation\\Distance";
  const std::u16string awkward = u"line1\nline2\r\n[x]=y; #z %41 \t\U0001F4D0 \u00e9";
  const std::u16string lone = {u'a', 0xD800, u'b'};
  ASSERT_EQ(direct::PrefSetText(section.c_str(), u"Text", awkward.c_str()), 1);
  ASSERT_EQ(direct::PrefSetText(u"[odd=section]", u"key=with;equals", lone.c_str()), 1);
  ASSERT_EQ(direct::PrefSetInt(section.c_str(), u"Ratio", -42), 1);
  ASSERT_EQ(direct::PrefSetText(u"", u"", u""), 1);
  ASSERT_EQ(direct::PrefSetInt(u"S", u"gone", 1), 1);
  EXPECT_EQ(direct::PrefRemove(u"S", u"gone"), 1);
  EXPECT_EQ(direct::PrefRemove(u"S", u"never"), 1);
  ASSERT_TRUE(fs::exists(prefFile()));

  Env().Reset();  // forget memory: everything must come back from the file
  KS_WideString out = direct::WideStringNew(nullptr, 0);
  ASSERT_EQ(direct::PrefGetText(section.c_str(), u"Text", out), 1);
  EXPECT_EQ(out->text, awkward);
  ASSERT_EQ(direct::PrefGetText(u"[odd=section]", u"key=with;equals", out), 1);
  EXPECT_EQ(out->text, lone);
  EXPECT_EQ(direct::PrefGetInt(section.c_str(), u"Ratio", 7), -42);
  EXPECT_EQ(direct::PrefGetText(u"", u"", out), 1);
  EXPECT_EQ(out->text, u"");
  EXPECT_EQ(direct::PrefGetInt(u"S", u"gone", -1), -1);
  direct::WideStringDestroy(out);

  // No temporary files left next to the store.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(tmp_ / "config/annot")) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(HostEnvTest, MissingOrNonIntegerValuesGiveTheFallback) {
  EXPECT_EQ(direct::PrefGetInt(u"S", u"absent", 5), 5);
  KS_WideString out = direct::WideStringNew(u"keep", 4);
  EXPECT_EQ(direct::PrefGetText(u"S", u"absent", out), 0);
  EXPECT_EQ(out->text, u"keep");
  direct::WideStringDestroy(out);

  for (const char16_t* bad : {u"", u"12a", u" 12", u"1.5", u"+-3", u"2147483648", u"\uFF11"}) {
    direct::PrefSetText(u"S", u"v", bad);
    EXPECT_EQ(direct::PrefGetInt(u"S", u"v", 9), 9) << kshost::ToUtf8(bad);
  }
  direct::PrefSetText(u"S", u"v", u"-2147483648");
  EXPECT_EQ(direct::PrefGetInt(u"S", u"v", 9), INT32_MIN);
  direct::PrefSetText(u"S", u"v", u"+17");
  EXPECT_EQ(direct::PrefGetInt(u"S", u"v", 9), 17);
}

// Two processes over one configuration folder: each writes only the keys it
// changed, on top of what the other wrote since it read the file.
TEST_F(HostEnvTest, TwoProcessesKeepEachOthersSettings) {
  kshost::HostEnv first, second;
  ASSERT_TRUE(first.setPrefInt(u"ToolChestPanel", u"ItemWidth", 60));
  ASSERT_TRUE(first.setPrefText(u"Annotation\\Distance", u"Color", u"red"));
  EXPECT_EQ(second.prefInt(u"ToolChestPanel", u"ItemWidth"), 60);  // second reads the file now
  ASSERT_TRUE(first.setPrefText(u"Annotation\\Distance", u"Width", u"2"));
  ASSERT_TRUE(first.removePref(u"Annotation\\Distance", u"Color"));
  // The second process sets another key and writes back a value it only
  // read: neither undoes what the first wrote after the second read.
  ASSERT_TRUE(second.setPrefInt(u"Measurement", u"Precision", 3));
  ASSERT_TRUE(second.setPrefInt(u"ToolChestPanel", u"ItemWidth", 60));
  const auto stored = kshost::ParsePrefFile(Slurp(prefFile()));
  ASSERT_TRUE(stored);
  const kshost::PrefMap expected{{{u"Annotation\\Distance", u"Width"}, u"2"},
                                 {{u"Measurement", u"Precision"}, u"3"},
                                 {{u"ToolChestPanel", u"ItemWidth"}, u"60"}};
  EXPECT_EQ(*stored, expected);
  // A key both changed holds the later value.
  ASSERT_TRUE(first.setPrefInt(u"Measurement", u"Precision", 5));
  EXPECT_EQ(kshost::ParsePrefFile(Slurp(prefFile()))->at({u"Measurement", u"Precision"}), u"5");
}

TEST_F(HostEnvTest, MalformedFileGivesAnEmptyStoreAndIsKeptAside) {
  const std::string garbage = "[Good]\nk=1\nthis line has no equals sign\n";
  Spill(prefFile(), garbage);
  EXPECT_EQ(direct::PrefGetInt(u"Good", u"k", -1), -1);
  EXPECT_EQ(direct::PrefSetInt(u"Good", u"k", 3), 1);
  EXPECT_EQ(Slurp(prefFile() + ".bad"), garbage);
  Env().Reset();
  EXPECT_EQ(direct::PrefGetInt(u"Good", u"k", -1), 3);
}

TEST_F(HostEnvTest, UnwritableConfigFolderFailsButKeepsTheValue) {
  Spill(tmp_ / "config/annot", "a file where the folder should be");
  EXPECT_EQ(direct::PrefSetInt(u"S", u"k", 4), 0);
  EXPECT_EQ(direct::PrefGetInt(u"S", u"k", -1), 4);
}

TEST(PrefFile, RejectsBrokenLinesAndEscapes) {
  EXPECT_FALSE(kshost::ParsePrefFile("[unterminated\n"));
  EXPECT_FALSE(kshost::ParsePrefFile("[S]\nk=%4\n"));
  EXPECT_FALSE(kshost::ParsePrefFile("[S]\nk=%u12G4\n"));
  EXPECT_FALSE(kshost::ParsePrefFile("[S]\nk=\xFF\n"));
  const auto parsed = kshost::ParsePrefFile("\xEF\xBB\xBF; comment\r\n# other\n\nk=v\r\n[S]\nx=a=b\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->size(), 2u);
  EXPECT_EQ(parsed->at({u"", u"k"}), u"v");
  EXPECT_EQ(parsed->at({u"S", u"x"}), u"a=b");  // a hand-written '=' in a value is fine
}

TEST(ModuleRecords, SameRecordPerInstanceUntilReleased) {
  int a = 0, b = 0;
  KA_ModuleRecord ra = direct::ModuleRecordGet(&a);
  EXPECT_EQ(direct::ModuleRecordGet(&a), ra);
  KA_ModuleRecord rb = direct::ModuleRecordGet(&b);
  EXPECT_NE(ra, rb);
  EXPECT_EQ(direct::ModuleRecordGet(nullptr), nullptr);
  direct::ModuleRecordApplyNumber(ra, 1234);

  direct::ModuleRecordRelease(ra);
  EXPECT_EQ(direct::ModuleRecordGet(&a), ra);  // one reference was left
  direct::ModuleRecordRelease(ra);
  direct::ModuleRecordRelease(ra);
  direct::ModuleRecordRelease(rb);
  // Stale and foreign handles are ignored (a freed record read here is an
  // error under AddressSanitizer).
  direct::ModuleRecordRelease(ra);
  direct::ModuleRecordApplyNumber(reinterpret_cast<KA_ModuleRecord>(&b), 1);
  direct::ModuleRecordRelease(nullptr);
}
