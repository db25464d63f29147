#include "plugin/plugin_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/ext_hft.h"
#include "host/host_functions.h"
#include "plugin/annotation_app.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

std::vector<std::string> g_calls;

// A module that records what the start-up and shut-down sequences ask of it.
class RecordingModule : public IAnnot_Module {
 public:
  RecordingModule(std::string name, bool enabled) : name_(std::move(name)), enabled_(enabled) {}
  ~RecordingModule() override { g_calls.push_back(name_ + ".destroy"); }
  std::string GetName() const override { return name_; }
  bool IsEnabled() const override { return enabled_; }
  void OnMainFrameCreated(KA_Frame) override { g_calls.push_back(name_ + ".frame"); }
  void OnMainFrameClosing(KA_Frame) override { g_calls.push_back(name_ + ".closing"); }
  void Init() override { g_calls.push_back(name_ + ".init"); }
  void Exit() override { g_calls.push_back(name_ + ".exit"); }

 private:
  std::string name_;
  bool enabled_;
};

}  // namespace

// The test program's module table: an enabled, a disabled and an enabled one.
std::span<const ModuleFactory> ModuleFactories() {
  static constexpr ModuleFactory kFactories[] = {
      [] { return std::unique_ptr<IAnnot_Module>(new RecordingModule("MeasureAnnot", true)); },
      [] { return std::unique_ptr<IAnnot_Module>(new RecordingModule("DrawingAnnot", false)); },
      [] { return std::unique_ptr<IAnnot_Module>(new RecordingModule("TOOLSET", true)); },
  };
  return kFactories;
}

namespace {

// Host side of the start-up records, recording every operation by position.
struct FakeHost {
  std::vector<int> positions;
  KS_RegistrationProc registration = nullptr;
  KS_BoolProc init = nullptr, unload = nullptr;
  KS_FrameEventRecord frames{};
  uint32_t value32 = 0;
  std::string version;
};
FakeHost* g_host = nullptr;

KS_HandshakeRecord MakeHandshakeRecord() {
  KS_HandshakeRecord r{};
  r.size = sizeof r;
  r.SetRegistrationProc = [](KS_HandshakeRecord*, KS_RegistrationProc p) {
    g_host->positions.push_back(2);
    g_host->registration = p;
  };
  r.GetCoreHFT = [](KS_HandshakeRecord*) {
    g_host->positions.push_back(3);
    return kshost::CoreHFT();
  };
  r.GetPluginID = [](KS_HandshakeRecord*) {
    g_host->positions.push_back(4);
    return reinterpret_cast<KS_PluginID>(g_host);
  };
  r.SetValue32 = [](KS_HandshakeRecord*, uint32_t v) {
    g_host->positions.push_back(5);
    g_host->value32 = v;
  };
  r.SetVersionString = [](KS_HandshakeRecord*, const char* v) {
    g_host->positions.push_back(7);
    g_host->version = v;
  };
  return r;
}

KS_RegistrationRecord MakeRegistrationRecord() {
  KS_RegistrationRecord r{};
  r.size = sizeof r;
  r.SetNames = [](KS_RegistrationRecord*, const char*, const char16_t*) { g_host->positions.push_back(3); };
  r.SetExportProc = [](KS_RegistrationRecord*, KS_BoolProc) { g_host->positions.push_back(4); };
  r.SetImportProc = [](KS_RegistrationRecord*, KS_BoolProc) { g_host->positions.push_back(5); };
  r.SetInitProc = [](KS_RegistrationRecord*, KS_BoolProc p) {
    g_host->positions.push_back(6);
    g_host->init = p;
  };
  r.SetFrameEvents = [](KS_RegistrationRecord*, const KS_FrameEventRecord* e) {
    g_host->positions.push_back(7);
    g_host->frames = *e;
  };
  r.SetUnloadProc = [](KS_RegistrationRecord*, KS_BoolProc p) {
    g_host->positions.push_back(8);
    g_host->unload = p;
  };
  return r;
}

class PluginEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_host = &host_;
    g_calls.clear();
  }
  void TearDown() override { g_host = nullptr; }
  FakeHost host_;
};

TEST_F(PluginEntryTest, PlugInMainGivesVersionAndHandshakeWhateverItIsGiven) {
  uint32_t version = 7;
  KS_HandshakeProc handshake = nullptr;
  EXPECT_EQ(PluginMain(&version, &handshake), 1);
  EXPECT_EQ(version, 0x10000u);
  EXPECT_EQ(handshake, &Handshake);
}

TEST_F(PluginEntryTest, WrongInterfaceVersionTouchesNothing) {
  KS_HandshakeRecord hs = MakeHandshakeRecord();
  KS_RegistrationRecord rg = MakeRegistrationRecord();
  EXPECT_EQ(Handshake(0x10001, &hs), 0);
  EXPECT_EQ(Registration(0x10001, &rg), 0);
  EXPECT_EQ(Handshake(0xFFFF, &hs), 0);
  EXPECT_TRUE(host_.positions.empty());
}

TEST_F(PluginEntryTest, HandshakeAndRegistrationUseTheirOperationsInOrder) {
  KS_HandshakeRecord hs = MakeHandshakeRecord();
  ASSERT_EQ(Handshake(0x10000, &hs), 1);
  EXPECT_EQ(host_.positions, (std::vector<int>{3, 4, 2, 5, 7}));
  EXPECT_EQ(host_.value32, 0x0B000000u);
  EXPECT_EQ(host_.version, "2026.2.0");
  ASSERT_EQ(host_.registration, &Registration);

  host_.positions.clear();
  KS_RegistrationRecord rg = MakeRegistrationRecord();
  ASSERT_EQ(host_.registration(0x10000, &rg), 1);
  EXPECT_EQ(host_.positions, (std::vector<int>{3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(host_.frames.size, 80u);
  EXPECT_NE(host_.frames.callbacks[4], nullptr);  // created
  EXPECT_EQ(host_.frames.callbacks[6], nullptr);
  EXPECT_NE(host_.frames.callbacks[7], nullptr);  // closing
  EXPECT_EQ(host_.frames.callbacks[8], nullptr);
}

// A disabled module is created and destroyed but never initialised, told of
// frames or exited; the rest go in list order.
TEST_F(PluginEntryTest, StartUpFramesAndUnloadFollowTheModuleList) {
  KS_HandshakeRecord hs = MakeHandshakeRecord();
  ASSERT_EQ(Handshake(0x10000, &hs), 1);
  KS_RegistrationRecord rg = MakeRegistrationRecord();
  ASSERT_EQ(Registration(0x10000, &rg), 1);

  ASSERT_EQ(host_.init(), 1);
  std::vector<std::string> names;
  for (const auto& module : TheApp().Modules()) names.push_back(module->GetName());
  EXPECT_EQ(names, (std::vector<std::string>{"MeasureAnnot", "DrawingAnnot", "TOOLSET"}));

  host_.frames.callbacks[4](nullptr);
  host_.frames.callbacks[7](nullptr);
  ASSERT_EQ(host_.unload(), 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"MeasureAnnot.init", "TOOLSET.init", "MeasureAnnot.frame",
                                               "TOOLSET.frame", "MeasureAnnot.closing", "TOOLSET.closing",
                                               "MeasureAnnot.exit", "TOOLSET.exit", "MeasureAnnot.destroy",
                                               "DrawingAnnot.destroy", "TOOLSET.destroy"}));
  EXPECT_TRUE(TheApp().Modules().empty());
}

// With no toolsets the names list is empty, so no index is accepted.
TEST_F(PluginEntryTest, ExtensionEntriesWithoutToolsets) {
  KS_HandshakeRecord hs = MakeHandshakeRecord();
  ASSERT_EQ(Handshake(0x10000, &hs), 1);
  EXPECT_EQ(ExtListToolsets(nullptr), 0);
  KS_WideStringArray names = kshost::direct::WideStringArrayNew();
  EXPECT_EQ(ExtListToolsets(names), 1);
  EXPECT_EQ(kshost::direct::WideStringArrayCount(names), 0);
  kshost::direct::WideStringArrayDestroy(names);
  KPD_Page anyPage = reinterpret_cast<KPD_Page>(&host_);
  EXPECT_EQ(ExtAddSelectionToToolset(0, anyPage), 0);
  EXPECT_EQ(ExtAddSelectionToToolset(-1, anyPage), 0);
}

}  // namespace
}  // namespace AnnotationPlugin
