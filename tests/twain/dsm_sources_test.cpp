// Finding, listing and opening data sources, and the default source.
#include "dsm_fixture.h"

#include <filesystem>
#include <fstream>

using namespace korven::test;
namespace fs = std::filesystem;

namespace {

using SourcesTest = DsmTest;

struct Installed {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // file name, product name
  std::vector<std::string> listed;
};

class ListingTest : public DsmTest, public ::testing::WithParamInterface<Installed> {};

TEST_P(ListingTest, ListsEverySourceInFileNameOrderThenEndOfList) {
  for (const auto& [file, product] : GetParam().files) AddScanner(file, product);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  TW_UINT16 end = 0;
  std::vector<TW_IDENTITY> ids = app.ListSources(&end);
  EXPECT_EQ(end, TWRC_ENDOFLIST);
  std::vector<std::string> names;
  for (const TW_IDENTITY& id : ids) {
    names.push_back(TwainApp::Name(id));
    EXPECT_EQ(id.Id, 0u) << "a listed source has no Id until it is opened";
    EXPECT_EQ(TwainApp::Name(id).size(), strnlen(id.ProductName, sizeof(TW_STR32)));
  }
  EXPECT_EQ(names, GetParam().listed);
  // The end stays the end; MSG_GETFIRST starts over.
  TW_IDENTITY id{};
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id), TWRC_ENDOFLIST);
  EXPECT_EQ(app.SourceNames(), GetParam().listed);
}

const Installed kInstalled[] = {
    {"None", {}, {}},
    {"One", {{"virtual", "Virtual Scanner"}}, {"Virtual Scanner"}},
    // File names decide the order, not product names.
    {"Three", {{"b_second", "Zeta"}, {"a_first", "Omega"}, {"c_third", "Alpha"}}, {"Omega", "Zeta", "Alpha"}},
    // A second file reporting a product name already listed could never be opened by name.
    {"DuplicateName", {{"one", "Same"}, {"two", "Same"}, {"three", "Other"}}, {"Same", "Other"}},
};

INSTANTIATE_TEST_SUITE_P(Manager, ListingTest, ::testing::ValuesIn(kInstalled),
                         [](const ::testing::TestParamInfo<Installed>& info) { return std::string(info.param.name); });

TEST_F(SourcesTest, FilesThatAreNoSourcesAreSkippedWithAReason) {
  AddScanner("good", "Good Scanner");
  std::ofstream(Windows().SourcesDir() / "broken.ds") << "not a shared object";
  // A shared object without DS_Entry: the manager itself.
  fs::copy_file(Windows().Path() / "TWAIN_32.DLL", Windows().SourcesDir() / "manager.ds");
  std::ofstream(Windows().SourcesDir() / "readme.txt") << "ignored";
  std::ofstream(Windows().SourcesDir() / "empty.ds");
  // A half-copied driver: its segments reach past the end of the file, which would fault the loader.
  fs::copy_file(Windows().SourcesDir() / "good.ds", Windows().SourcesDir() / "trunc.ds");
  fs::resize_file(Windows().SourcesDir() / "trunc.ds", 3000);
  fs::create_directories(Windows().SourcesDir() / "vendor");
  Windows().AddSource("virtual", "vendor/nested", "ProductName=Nested Scanner\n");

  DebugCapture debug;
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.SourceNames(), (std::vector<std::string>{"Good Scanner", "Nested Scanner"}));
  EXPECT_TRUE(debug.Contains("broken.ds: does not load (error 193): too short for an ELF header")) << debug.All();
  EXPECT_TRUE(debug.Contains("empty.ds: does not load (error 193): too short")) << debug.All();
  EXPECT_TRUE(debug.Contains("trunc.ds: does not load (error 193): segment")) << debug.All();
  EXPECT_TRUE(debug.Contains("manager.ds: exports no DS_Entry")) << debug.All();
  EXPECT_FALSE(debug.Contains("readme.txt"));
  EXPECT_EQ(app.OpenDS("Nested Scanner"), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
  // The good ones scan.
  EXPECT_EQ(app.OpenDS("Good Scanner"), TWRC_SUCCESS);
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  TW_HANDLE dib = 0;
  EXPECT_EQ(app.NativeXfer(dib), TWRC_XFERDONE);
  GlobalBlock image(dib);
  EXPECT_GT(image.Size(), 40u);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

TEST_F(SourcesTest, OpensByExactProductNameAndFillsTheIdentity) {
  AddScanner("a", "Alpha");
  AddScanner("b", "Alpha Two");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.OpenDS("alpha"), TWRC_FAILURE);  // exact: case matters
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);
  EXPECT_EQ(app.OpenDS("Alpha Tw"), TWRC_FAILURE);  // no prefix match
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);

  ASSERT_EQ(app.OpenDS("Alpha Two"), TWRC_SUCCESS);
  const TW_IDENTITY& source = app.Source();
  EXPECT_EQ(TwainApp::Name(source), "Alpha Two");
  EXPECT_STREQ(source.Manufacturer, "korven");
  EXPECT_NE(source.Id, 0u);
  EXPECT_NE(source.Id, app.Identity().Id);
  EXPECT_EQ(source.ProtocolMajor, 1);
  TW_UINT32 first = source.Id;
  // The source answers through the manager.
  TW_UINT32 count = 0;
  EXPECT_TRUE(app.GetOneValue(CAP_XFERCOUNT, count));
  ASSERT_EQ(app.CloseDS(), TWRC_SUCCESS);
  // Every open is a new connection with a fresh Id.
  ASSERT_EQ(app.OpenDS("Alpha Two"), TWRC_SUCCESS);
  EXPECT_NE(app.Source().Id, first);
  EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
}

TEST_F(SourcesTest, AnAllZeroIdentityOpensTheFirstSourceWithoutAChoice) {
  AddScanner("b", "Second");
  AddScanner("a", "First");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  TW_IDENTITY def{};
  ASSERT_EQ(app.GetDefault(def), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(def), "First");
  ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(app.Source()), "First");
}

TEST_F(SourcesTest, OpeningWithoutAnySourceFindsNone) {
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.OpenDS(""), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);
}

TEST_F(SourcesTest, TheDefaultSourceIsTheStoredChoiceUnlessItIsGone) {
  AddScanner("a", "First");
  AddScanner("b", "Second");
  struct Case {
    const char* stored;
    const char* opened;
  } cases[] = {{"Second", "Second"}, {"Removed Scanner", "First"}, {"", "First"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(WriteProfileStringA("TWAIN", "Default Source", c.stored));
    TwainApp app;
    ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
    ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
    EXPECT_EQ(TwainApp::Name(app.Source()), c.opened);
  }
}

TEST_F(SourcesTest, TwoApplicationsOpenTheSameSourceAsSeparateConnections) {
  AddScanner("virtual", "Shared");
  TwainApp first("first"), second("second");
  ASSERT_EQ(first.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(second.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(first.OpenDS("Shared"), TWRC_SUCCESS);
  ASSERT_EQ(second.OpenDS("Shared"), TWRC_SUCCESS);
  EXPECT_NE(first.Source().Id, second.Source().Id);

  // Each connection keeps its own settings.
  ASSERT_EQ(first.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
  ASSERT_EQ(second.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
  TW_UINT32 type = 0;
  ASSERT_TRUE(first.GetOneValue(ICAP_PIXELTYPE, type));
  EXPECT_EQ(TW_UINT16(type), TWPT_GRAY);

  // The first closing does not take the library from under the second.
  ASSERT_EQ(first.CloseDS(), TWRC_SUCCESS);
  ASSERT_TRUE(second.GetOneValue(ICAP_PIXELTYPE, type));
  EXPECT_EQ(TW_UINT16(type), TWPT_RGB);
  EXPECT_EQ(second.CloseDS(), TWRC_SUCCESS);
}

TEST_F(SourcesTest, ASourceRefusingTheOpenGivesItsCondition) {
  AddScanner("virtual", "Single", "MaxConnections=1\n");
  TwainApp first("first"), second("second");
  ASSERT_EQ(first.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(second.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(first.OpenDS("Single"), TWRC_SUCCESS);
  EXPECT_EQ(second.OpenDS("Single"), TWRC_FAILURE);
  EXPECT_EQ(second.ManagerCondition(), TWCC_MAXCONNECTIONS);
  EXPECT_EQ(second.State(), 3);
  EXPECT_EQ(second.CloseDSM(), TWRC_SUCCESS);  // nothing was left open for it
  ASSERT_EQ(first.CloseDS(), TWRC_SUCCESS);
}

TEST_F(SourcesTest, StatusWithADestinationIsTheSourcesOwn) {
  AddScanner("virtual", "Virtual Scanner");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
  EXPECT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, 77), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SUCCESS);  // the manager passed the call on, nothing more
  TW_UINT16 source = app.SourceCondition();
  EXPECT_NE(source, TWCC_SUCCESS);
  EXPECT_NE(source, 0xFFFF);
}

TEST_F(SourcesTest, ASourceRefusingToCloseStaysOpen) {
  AddScanner("virtual", "Virtual Scanner", "Feeder=no\n");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDS(), TWRC_FAILURE);  // enabled sources close only after being disabled
  EXPECT_EQ(app.ManagerCondition(), TWCC_SEQERROR);
  EXPECT_EQ(app.CloseDSM(), TWRC_FAILURE);
  // The connection is still there and answers.
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
}

TEST_F(SourcesTest, SourcesAreFoundWhenTheManagerOpens) {
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  AddScanner("late", "Late Scanner");
  EXPECT_TRUE(app.SourceNames().empty());
  ASSERT_EQ(app.CloseDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.SourceNames(), std::vector<std::string>{"Late Scanner"});
}

}  // namespace
