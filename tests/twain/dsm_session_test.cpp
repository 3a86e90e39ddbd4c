// The manager's sessions: one per application identity, the manager's own state checks, and
// DAT_STATUS answering each application's last condition code.
#include "dsm_fixture.h"

#include <cstring>
#include <thread>

using namespace korven::test;

namespace {

using SessionTest = DsmTest;

TEST_F(SessionTest, OpenAssignsAnIdAndCloseReturnsToLoaded) {
  TwainApp app;
  ASSERT_TRUE(app.Loaded());
  EXPECT_EQ(app.Identity().Id, 0u);
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_NE(app.Identity().Id, 0u);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SUCCESS);
  EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
  // Closed: the identity names no session any more.
  EXPECT_EQ(app.CloseDSM(), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SEQERROR);
  // The same application may open again.
  EXPECT_EQ(app.OpenDSM(), TWRC_SUCCESS);
}

TEST_F(SessionTest, SeveralApplicationsInOneProcessHaveTheirOwnSessions) {
  TwainApp first("first"), second("second");
  ASSERT_EQ(first.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(second.OpenDSM(), TWRC_SUCCESS);
  EXPECT_NE(first.Identity().Id, second.Identity().Id);

  // A failure of one application does not show in the other's condition.
  EXPECT_EQ(first.OpenDS("no such source"), TWRC_FAILURE);
  EXPECT_EQ(second.ManagerCondition(), TWCC_SUCCESS);
  EXPECT_EQ(first.ManagerCondition(), TWCC_NODS);

  // Closing one leaves the other open.
  ASSERT_EQ(first.CloseDSM(), TWRC_SUCCESS);
  TW_UINT16 end = 0;
  second.ListSources(&end);
  EXPECT_EQ(end, TWRC_ENDOFLIST);
  EXPECT_EQ(second.ManagerCondition(), TWCC_NODS);  // no source installed
  EXPECT_EQ(second.CloseDSM(), TWRC_SUCCESS);
}

TEST_F(SessionTest, TheSameIdentityOpeningTwiceIsASequenceError) {
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  TW_UINT32 id = app.Identity().Id;
  EXPECT_EQ(app.OpenDSM(), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SEQERROR);
  EXPECT_EQ(app.Identity().Id, id);
  EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
}

TEST_F(SessionTest, OpenRequiresAParentWindow) {
  TwainApp app;
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_BADVALUE);
  HWND notAWindow = 0x7777;
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &notAWindow), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_BADVALUE);
  EXPECT_EQ(app.Identity().Id, 0u);
}

TEST_F(SessionTest, StatusAnswersTheLastConditionOnceAndThenSuccess) {
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  TW_IDENTITY id{};
  ASSERT_EQ(app.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SEQERROR);
  EXPECT_EQ(app.ManagerCondition(), TWCC_SUCCESS);
  // A later success replaces an unread condition.
  ASSERT_EQ(app.OpenDS("missing"), TWRC_FAILURE);
  TW_IDENTITY def{};
  EXPECT_EQ(app.GetDefault(def), TWRC_FAILURE);  // no source: NODS again
  EXPECT_EQ(app.ListSources().size(), 0u);
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_BADVALUE);
}

TEST_F(SessionTest, CallsWithoutASessionAreAnsweredNeverFollowed) {
  TwainApp app;
  ASSERT_TRUE(app.Loaded());
  DSMENTRYPROC entry = app.Entry();
  HWND parent = app.Parent();
  TW_STATUS status{};
  // No origin at all.
  EXPECT_EQ(entry(nullptr, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_FAILURE);
  EXPECT_EQ(entry(nullptr, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE);
  // An identity the manager never gave out: its condition is kept for whoever asks without a session.
  TW_IDENTITY stranger = TwainApp::NamedIdentity("stranger");
  stranger.Id = 0xDEADBEEF;
  TW_IDENTITY dest{};
  dest.Id = 0xDEADBEEF;
  TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_DONTCARE16, 0};
  EXPECT_EQ(entry(&stranger, &dest, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
  EXPECT_EQ(entry(&stranger, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
  EXPECT_EQ(status.ConditionCode, TWCC_SEQERROR);
  EXPECT_EQ(cap.hContainer, 0u);
  // A ProductName without its terminating NUL is read within its 34 bytes.
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  TW_IDENTITY unterminated{};
  std::memset(unterminated.ProductName, 'x', sizeof(unterminated.ProductName));
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &unterminated), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);
}

TEST_F(SessionTest, ApplicationsOnSeveralThreadsAreServedOneAtATime) {
  AddScanner("a", "Alpha");
  AddScanner("b", "Beta");
  constexpr int kThreads = 4, kRounds = 5;
  int failures[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < kRounds; ++round) {
        TwainApp app("thread " + std::to_string(t));
        bool ok = app.OpenDSM() == TWRC_SUCCESS && app.SourceNames().size() == 2 &&
                  app.OpenDS(t % 2 ? "Alpha" : "Beta") == TWRC_SUCCESS && app.CloseDS() == TWRC_SUCCESS &&
                  app.CloseDSM() == TWRC_SUCCESS;
        failures[t] += ok ? 0 : 1;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// ---- Sequence and protocol errors, as a table --------------------------------------------------

enum class Dest { None, Open, Bogus };
enum class Data { Identity, Parent, Status, Capability, Null };

struct Refusal {
  const char* name;
  int state;  // 2 loaded, 3 open, 4 a source open
  Dest dest;
  TW_UINT32 dg;
  TW_UINT16 dat, msg;
  Data data;
  TW_UINT16 condition;
};

class RefusalTest : public DsmTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, IsRefusedWithItsCondition) {
  const Refusal& r = GetParam();
  AddScanner("scanner", "Scanner");
  TwainApp app;
  ASSERT_TRUE(app.Loaded());
  if (r.state >= 3) {
    ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  }
  if (r.state >= 4) {
    ASSERT_EQ(app.OpenDS("Scanner"), TWRC_SUCCESS);
  }

  TW_IDENTITY identity = r.state >= 4 ? app.Source() : TwainApp::NamedIdentity("Scanner");
  HWND parent = app.Parent();
  TW_STATUS status{};
  TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_DONTCARE16, 0};
  void* data = nullptr;
  switch (r.data) {
    case Data::Identity: data = &identity; break;
    case Data::Parent: data = &parent; break;
    case Data::Status: data = &status; break;
    case Data::Capability: data = &cap; break;
    case Data::Null: break;
  }
  TW_IDENTITY bogus = app.Source();
  bogus.Id = 0x12345;
  pTW_IDENTITY dest = r.dest == Dest::None ? nullptr : r.dest == Dest::Open ? &app.Source() : &bogus;

  EXPECT_EQ(app.Call(dest, r.dg, r.dat, r.msg, data), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), r.condition);
  EXPECT_EQ(cap.hContainer, 0u);
  // The refusal changed nothing: the application can still walk back down.
  if (r.state >= 4) {
    EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
  }
  if (r.state >= 3) {
    EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
  }
}

const Refusal kRefusals[] = {
    {"CloseDsmUnopened", 2, Dest::None, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, Data::Parent, TWCC_SEQERROR},
    {"GetFirstUnopened", 2, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, Data::Identity, TWCC_SEQERROR},
    {"OpenDsUnopened", 2, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, Data::Identity, TWCC_SEQERROR},
    {"UserSelectUnopened", 2, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, Data::Identity, TWCC_SEQERROR},
    {"SourceCallUnopened", 2, Dest::Bogus, DG_CONTROL, DAT_CAPABILITY, MSG_GET, Data::Capability, TWCC_SEQERROR},
    {"OpenDsmTwice", 3, Dest::None, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, Data::Parent, TWCC_SEQERROR},
    {"GetNextBeforeGetFirst", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, Data::Identity, TWCC_SEQERROR},
    {"CloseDsWithoutSource", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, Data::Identity, TWCC_SEQERROR},
    {"SourceCallWithoutSource", 3, Dest::Bogus, DG_CONTROL, DAT_CAPABILITY, MSG_GET, Data::Capability, TWCC_SEQERROR},
    {"CloseDsmWithSourceOpen", 4, Dest::None, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, Data::Parent, TWCC_SEQERROR},
    {"OpenSameSourceTwice", 4, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, Data::Identity, TWCC_SEQERROR},
    {"SourceCallToUnknownId", 4, Dest::Bogus, DG_CONTROL, DAT_CAPABILITY, MSG_GET, Data::Capability, TWCC_BADDEST},
    {"StatusOfUnknownSource", 4, Dest::Bogus, DG_CONTROL, DAT_STATUS, MSG_GET, Data::Status, TWCC_BADDEST},
    {"ParentGet", 3, Dest::None, DG_CONTROL, DAT_PARENT, MSG_GET, Data::Parent, TWCC_BADPROTOCOL},
    {"IdentitySet", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_SET, Data::Identity, TWCC_BADPROTOCOL},
    {"StatusSet", 3, Dest::None, DG_CONTROL, DAT_STATUS, MSG_SET, Data::Status, TWCC_BADPROTOCOL},
    {"ImageTripletToManager", 4, Dest::None, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, Data::Status, TWCC_BADPROTOCOL},
    {"CapabilityToManager", 4, Dest::None, DG_CONTROL, DAT_CAPABILITY, MSG_GET, Data::Capability, TWCC_BADPROTOCOL},
    {"UnknownGroup", 3, Dest::None, 0x40, DAT_NULL, MSG_NULL, Data::Null, TWCC_BADPROTOCOL},
    {"UnknownGroupUnopened", 2, Dest::None, 0x40, DAT_NULL, MSG_NULL, Data::Null, TWCC_BADPROTOCOL},
    {"GetFirstNullData", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, Data::Null, TWCC_BADVALUE},
    {"OpenDsNullData", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, Data::Null, TWCC_BADVALUE},
    {"CloseDsNullData", 4, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, Data::Null, TWCC_BADVALUE},
    {"UserSelectNullData", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, Data::Null, TWCC_BADVALUE},
    {"GetDefaultNullData", 3, Dest::None, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, Data::Null, TWCC_BADVALUE},
};

INSTANTIATE_TEST_SUITE_P(Manager, RefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(SessionTest, CloseDsNamingAnotherIdIsABadDestination) {
  AddScanner("scanner", "Scanner");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS("Scanner"), TWRC_SUCCESS);
  TW_IDENTITY other = app.Source();
  other.Id += 1000;
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &other), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_BADDEST);
  EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
}

TEST_F(SessionTest, AnApplicationCannotAddressAnotherApplicationsSource) {
  AddScanner("a", "Alpha");
  AddScanner("b", "Beta");
  TwainApp owner("owner"), intruder("intruder");
  ASSERT_EQ(owner.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(intruder.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(owner.OpenDS("Alpha"), TWRC_SUCCESS);
  ASSERT_EQ(intruder.OpenDS("Beta"), TWRC_SUCCESS);

  TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_DONTCARE16, 0};
  EXPECT_EQ(intruder.Call(&owner.Source(), DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
  EXPECT_EQ(intruder.ManagerCondition(), TWCC_BADDEST);
  EXPECT_EQ(intruder.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &owner.Source()), TWRC_FAILURE);
  EXPECT_EQ(intruder.ManagerCondition(), TWCC_BADDEST);
  EXPECT_EQ(cap.hContainer, 0u);
}

}  // namespace
