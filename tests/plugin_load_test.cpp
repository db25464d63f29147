// The shipped plug-in library in the real loader: start-up, its extension
// table as another plug-in sees it, and unload.
#include <gtest/gtest.h>

#include "host/ext_hft.h"
#include "host/host_functions.h"
#include "host/plugin_loader.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

TEST(PluginLoad, RealLibraryStartsPublishesAndUnloads) {
  kshost::PluginLoader loader;
  std::string error;
  ASSERT_TRUE(loader.Load(PluginPath(), &error)) << error;
  loader.StartUp();

  auto plugins = loader.Plugins();
  ASSERT_EQ(plugins.size(), 1u);
  EXPECT_EQ(plugins[0].internalName, "VenkoInnerPluginAnnotation");
  EXPECT_EQ(plugins[0].displayName, u"Annotation");
  EXPECT_EQ(plugins[0].versionString, "2026.2.0");
  EXPECT_EQ(plugins[0].sdkVersion, "2026.2.0");
  EXPECT_EQ(plugins[0].value32, 0x0B000000u);
  EXPECT_TRUE(plugins[0].initialised);

  // Another plug-in finds the table by name and version only.
  EXPECT_EQ(kshost::direct::ExtHFTFind("VenkoAnnot extension HFT", 2), nullptr);
  KS_ExtHFT table = kshost::direct::ExtHFTFind("VenkoAnnot extension HFT", 1);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(kshost::direct::ExtHFTEntryCount(table), 2);
  auto addSelection = reinterpret_cast<int32_t (*)(int32_t, KPD_Page)>(kshost::direct::ExtHFTGetEntry(table, 0));
  auto listNames = reinterpret_cast<int32_t (*)(KS_WideStringArray)>(kshost::direct::ExtHFTGetEntry(table, 1));
  ASSERT_TRUE(addSelection && listNames);
  EXPECT_EQ(listNames(nullptr), 0);

  // A second library cannot take over a published name.
  KS_ExtHFT other = kshost::direct::ExtHFTNew(1);
  EXPECT_EQ(kshost::direct::ExtHFTPublish("VenkoAnnot extension HFT", 1, other), 0);

  loader.ShutDown();
  EXPECT_TRUE(loader.Plugins().empty());
  EXPECT_EQ(kshost::direct::ExtHFTFind("VenkoAnnot extension HFT", 1), nullptr);
}

TEST(PluginLoad, MissingOrForeignLibraryIsRefusedWithAReason) {
  kshost::PluginLoader loader;
  std::string error;
  EXPECT_FALSE(loader.Load("/nonexistent/libnothing.so", &error));
  EXPECT_NE(error.find("/nonexistent/libnothing.so"), std::string::npos) << error;
  // A real library that is no plug-in.
  EXPECT_FALSE(loader.Load("libz.so.1", &error));
  EXPECT_NE(error.find("PlugInMain"), std::string::npos) << error;
  EXPECT_TRUE(loader.Plugins().empty());
}

// Everything but the two entry points stays inside the library, so two
// plug-ins built from different versions of the same code cannot collide.
TEST(PluginLoad, ExportsOnlyItsEntryPoints) {
  CommandResult r = Shell("nm -D --defined-only " + Quote(PluginPath()) + " | awk '{print $3}' | sort");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "PlugInMain\nVenkoGetPluginSDKVersion\n");
}

}  // namespace
