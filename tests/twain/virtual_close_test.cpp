// With CloseWhenDone = yes a source enabled without its dialog asks to be closed once it has
// delivered (or discarded) everything it announced; with the dialog the user decides; by default it keeps quiet.
#include "virtual_fixture.h"

namespace korven::test {
namespace {

// Takes every message now in the thread's queue, offering each to the source first as an application
// does; returns the TWAIN messages the source recognised (MSG_NULL ones left out).
std::vector<TW_UINT16> DrainSourceEvents(TwainApp& app) {
  std::vector<TW_UINT16> got;
  MSG m{};
  while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
    TW_EVENT event{&m, MSG_NULL};
    if (app.ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) {
      if (event.TWMessage != MSG_NULL) got.push_back(event.TWMessage);
      continue;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return got;
}

struct CloseCase {
  const char* name;
  const char* ini;
  bool feeder;
  int xferCount;       // CAP_XFERCOUNT, -1: no limit
  int transfers;       // images transferred and ended
  bool resetAfter;     // then MSG_RESET discards what is left
  bool expectRequest;  // MSG_CLOSEDSREQ follows the last of them
};
void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class CloseWhenDone : public VirtualTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseWhenDone, RequestFollowsTheLastImageOnly) {
  const CloseCase& c = GetParam();
  TwainApp& app = Open(std::string("Resolutions = 10..100\nDefaultResolution = 10\n") + c.ini);
  if (c.feeder) {
    ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  }
  if (c.xferCount > 0) {
    ASSERT_EQ(app.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, c.xferCount), TWRC_SUCCESS);
  }
  EnableAndWait(app);
  TW_PENDINGXFERS pending{};
  for (int i = 0; i < c.transfers; ++i) {
    ASSERT_TRUE(DrainSourceEvents(app).empty()) << "before image " << i + 1;
    TW_HANDLE h = 0;
    ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
    GlobalBlock dib(h);
    ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  }
  if (c.resetAfter) {
    ASSERT_TRUE(DrainSourceEvents(app).empty());
    ASSERT_NE(+pending.Count, 0);
    ASSERT_EQ(app.ResetXfers(pending), TWRC_SUCCESS);
  }
  ASSERT_EQ(+pending.Count, 0);
  EXPECT_EQ(app.State(), 5);
  EXPECT_EQ(DrainSourceEvents(app), c.expectRequest ? std::vector<TW_UINT16>{MSG_CLOSEDSREQ} : std::vector<TW_UINT16>{});
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

const CloseCase kCloseCases[] = {
    {"FlatbedAfterItsImage", "CloseWhenDone = yes\n", false, -1, 1, false, true},
    {"FeederAfterTheThirdPage", "CloseWhenDone = yes\nPagesLoaded = 3\n", true, -1, 3, false, true},
    {"XferCountAfterTheSecond", "CloseWhenDone = yes\nPagesLoaded = 5\n", true, 2, 2, false, true},
    {"SeveralImagesPerScan", "CloseWhenDone = yes\nImagesPerScan = 2\n", false, -1, 2, false, true},
    {"ResetDiscardsTheRest", "CloseWhenDone = yes\nPagesLoaded = 5\n", true, -1, 1, true, true},
    {"CloseAfterAsksOnce", "CloseWhenDone = yes\nImagesPerScan = 5\nCloseAfter = 2\n", false, -1, 2, false, true},
    {"Off", "CloseWhenDone = no\nPagesLoaded = 3\n", true, -1, 3, false, false},
    {"OffAfterReset", "CloseWhenDone = no\nPagesLoaded = 3\n", true, -1, 1, true, false},
};

INSTANTIATE_TEST_SUITE_P(Virtual, CloseWhenDone, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An application that disables right after its single transfer never sees the request, and the next
// enable asks again once it is done.
TEST_F(VirtualTest, DisablingTakesBackThePendingRequest) {
  TwainApp& app = Open("CloseWhenDone = yes\nResolutions = 10..100\nDefaultResolution = 10\n");
  for (int round = 0; round < 2; ++round) {
    GlobalBlock dib(ScanOne(app));  // transfer, end (the request is posted), disable
    MSG left{};
    EXPECT_FALSE(PeekMessageA(&left, 0, 0, 0, PM_NOREMOVE)) << "message " << left.message << " left in the queue";
  }
  EnableAndWait(app);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);  // skipping the image counts as done too
  EXPECT_EQ(app.WaitForSourceEvent(), MSG_CLOSEDSREQ);
}

// With its dialog the source leaves closing to the user, who may still scan again.
TEST_F(VirtualTest, WithTheDialogNothingIsRequested) {
  TwainApp& app = Open("CloseWhenDone = yes\nResolutions = 10..100\nDefaultResolution = 10\n");
  desktop_.Press("Scan");
  ASSERT_EQ(app.Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  TW_HANDLE h = 0;
  ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  GlobalBlock dib(h);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  ASSERT_EQ(+pending.Count, 0);
  EXPECT_TRUE(DrainSourceEvents(app).empty());
  ASSERT_EQ(desktop_.Shown().size(), 1u);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(desktop_.Shown()[0].hwnd, IDOK)));  // a second scan is possible
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

}  // namespace
}  // namespace korven::test
