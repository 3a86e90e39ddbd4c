// A data source of several devices: one file that lists one identity per device (MSG_GETFIRST /
// MSG_GETNEXT), beside plain one-identity sources that must see no difference.
#include "dsm_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace korven::test;
namespace fs = std::filesystem;

namespace {

class MultiSourceTest : public DsmTest {
 protected:
  // Installs the stand-in as twain_32/<file>.ds listing `devices`.
  void AddMulti(const std::string& file, const std::vector<std::string>& devices) {
    fs::copy_file(TWAIN_STUB_MULTI_DS, Windows().SourcesDir() / (file + ".ds"), fs::copy_options::overwrite_existing);
    std::ofstream ini(Windows().SourcesDir() / (file + ".ini"));
    for (const std::string& d : devices) ini << d << "\n";
  }
  size_t Count(const std::string& text) const {
    return size_t(std::count_if(debug_.Lines().begin(), debug_.Lines().end(),
                                [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
  DebugCapture debug_;
};

TEST_F(MultiSourceTest, EachDeviceIsASourceOfItsOwnInFileOrder) {
  AddScanner("a_virtual", "Virtual Scanner");
  AddMulti("b_multi", {"Device One", "Device Two", "Device Three"});
  AddScanner("c_virtual", "Last Scanner");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.SourceNames(),
            (std::vector<std::string>{"Virtual Scanner", "Device One", "Device Two", "Device Three", "Last Scanner"}));
  for (const TW_IDENTITY& id : app.ListSources()) {
    if (TwainApp::Name(id).starts_with("Device")) {
      EXPECT_STREQ(id.Manufacturer, "korven tests");
    }
  }
}

TEST_F(MultiSourceTest, OpeningByNameHandsTheSourceThatNameAndDiscoveryHappensOncePerSession) {
  AddMulti("multi", {"Device One", "Device Two"});
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  const size_t loaded = LiveCounts::Now().modules;
  app.SourceNames();
  app.SourceNames();
  ASSERT_EQ(app.OpenDS("Device Two"), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(app.Source()), "Device Two");
  EXPECT_NE(app.Source().Id, 0u);
  EXPECT_EQ(Count("multi.ds: open Device Two"), 1u);
  // The source stayed loaded from the listing (no second load for the open) and was asked once.
  EXPECT_EQ(LiveCounts::Now().modules, loaded);
  EXPECT_EQ(Count("multi.ds: listing"), 1u);
  ASSERT_EQ(app.CloseDS(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS("Device One"), TWRC_SUCCESS);
  EXPECT_EQ(Count("multi.ds: open Device One"), 1u);
  EXPECT_EQ(Count("multi.ds: listing"), 1u);
  ASSERT_EQ(app.CloseDS(), TWRC_SUCCESS);
  ASSERT_EQ(app.CloseDSM(), TWRC_SUCCESS);
  // The next session finds the devices anew.
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(Count("multi.ds: listing"), 2u);
}

TEST_F(MultiSourceTest, TheDefaultSourceMayBeOneOfItsDevices) {
  AddMulti("multi", {"Device One", "Device Two"});
  WriteProfileStringA("TWAIN", "Default Source", "Device Two");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  TW_IDENTITY def{};
  ASSERT_EQ(app.GetDefault(def), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(def), "Device Two");
  ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(app.Source()), "Device Two");
  EXPECT_EQ(Count("multi.ds: open Device Two"), 1u);
}

TEST_F(MultiSourceTest, OneApplicationHoldsOneConnectionPerSourceFile) {
  // The source knows a connection by the application's identity alone, so a second device of the
  // same file would be indistinguishable from the first.
  AddMulti("multi", {"Device One", "Device Two"});
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS("Device One"), TWRC_SUCCESS);
  TW_IDENTITY second = TwainApp::NamedIdentity("Device Two");
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &second), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SEQERROR);
  // Another application may open the other device meanwhile.
  TwainApp other("second application");
  ASSERT_EQ(other.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(other.OpenDS("Device Two"), TWRC_SUCCESS);
}

TEST_F(MultiSourceTest, ASourceWithoutDevicesAndRepeatedNamesAreLeftOutWithAReason) {
  AddMulti("empty", {});
  AddMulti("multi", {"Device One", "Device One", "Device Two"});
  AddScanner("plain", "Device Two");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.SourceNames(), (std::vector<std::string>{"Device One", "Device Two"}));
  EXPECT_TRUE(debug_.Contains("empty.ds: it lists no source now"));
  EXPECT_TRUE(debug_.Contains("ProductName \"Device One\" is already listed"));
  EXPECT_TRUE(debug_.Contains("ProductName \"Device Two\" is already listed"));
}

}  // namespace
