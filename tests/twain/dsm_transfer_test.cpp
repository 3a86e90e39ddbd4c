// A whole session through the manager, as a plain TWAIN application runs it: from opening the
// manager to a native transfer and back to state 1.
#include "dsm_fixture.h"

#include <korven/desktop.h>

#include <cstring>

using namespace korven::test;

namespace {

using TransferTest = DsmTest;

TEST_F(TransferTest, OneNativeTransferFromOpenToClose) {
  AddScanner("virtual", "Virtual Scanner", "Feeder=no\n");
  korven::platform::ScriptedDesktop desktop;  // nothing may wait for a person here
  korven::platform::ScopedDesktop installed(desktop);
  {
    TwainApp app;
    ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
    ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
    ASSERT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
    ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);

    TW_IMAGEINFO info{};
    ASSERT_EQ(app.ImageInfo(info), TWRC_SUCCESS);
    EXPECT_EQ(info.PixelType, TWPT_GRAY);
    EXPECT_EQ(info.BitsPerPixel, 8);

    TW_HANDLE handle = 0;
    ASSERT_EQ(app.NativeXfer(handle), TWRC_XFERDONE);
    GlobalBlock dib(handle);
    ASSERT_GE(dib.Size(), 40u);
    const auto* bytes = static_cast<const unsigned char*>(dib.Lock());
    ASSERT_NE(bytes, nullptr);
    int32_t header[3];
    std::memcpy(header, bytes, sizeof(header));
    EXPECT_EQ(header[0], 40);
    EXPECT_EQ(header[1], info.ImageWidth);
    EXPECT_EQ(header[2], info.ImageLength);

    TW_PENDINGXFERS pending{};
    ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseDS(), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseDSM(), TWRC_SUCCESS);
    EXPECT_EQ(app.State(), 2);
  }
  // State 1: the fixture checks that no block, window or module is left.
  EXPECT_TRUE(desktop.Shown().empty());
}

TEST_F(TransferTest, TheManagerForwardsEventsOnlyToTheSourceTheyAreFor) {
  AddScanner("virtual", "Virtual Scanner", "Feeder=no\n");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
  MSG foreign{app.Parent(), WM_USER + 7, 0, 0, 0, {0, 0}};
  TW_EVENT event{&foreign, MSG_NULL};
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app.ResetXfers(pending), TWRC_SUCCESS);
}

}  // namespace
