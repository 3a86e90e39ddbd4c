// The component-level minimum the session layer relies on: the window handed to TWAIN, the simple
// activation, and a destructor that takes any session down.
#include "rt_support.h"

#include <korven/platform.h>

namespace korven::test {
namespace {

using ComponentTest = RtTest;

TEST_F(ComponentTest, HandleIsTheOwnersFormOrTheApplicationWindow) {
  TestScanner& loose = NewScanner();
  EXPECT_EQ(loose.GetHandle(), AppWindow());
  vcl::TForm form(nullptr);
  auto* owned = new TestScanner(&form);  // freed by the form
  EXPECT_EQ(owned->GetHandle(), form.GetHandle());
  EXPECT_NE(form.GetHandle(), AppWindow());
}

TEST_F(ComponentTest, ActivationOpensTheNamedSourceElseTheDefault) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B");
  TestScanner& s = NewScanner();
  s.SetSourceName("Scanner B");
  s.SetActive(true);
  EXPECT_TRUE(s.GetActive());
  EXPECT_EQ(s.GetSourceName(), "Scanner B");
  s.SetActive(false);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_EQ(s.GetSourceName(), "");
  s.SetSourceName("No Such Scanner");
  s.SetActive(true);
  EXPECT_EQ(s.GetSourceName(), "Scanner A");  // the default: the first listed
}

TEST_F(ComponentTest, ActivationFailuresRaiseTheFatalTexts) {
  TestScanner& s = NewScanner();
  try {
    s.SetActive(true);
    ADD_FAILURE() << "no exception";
  } catch (const EScannerFaital& e) {
    EXPECT_EQ(platform::ToUtf8(e.Message()), "TWAINデバイスが動作しません");
  }
  EXPECT_FALSE(s.GetActive());
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  windows->RemoveManager();
  try {
    s.SetActive(true);
    ADD_FAILURE() << "no exception";
  } catch (const EScannerFaital& e) {
    EXPECT_EQ(platform::ToUtf8(e.Message()), "TWAINソースマネージャー ( TWAIN_32.DLL) をロードできません");
  }
}

TEST_F(ComponentTest, DestroyingAnEnabledComponentReleasesEverything) {
  AddVirtual("Scanner A", "ImagesPerScan = 2\n");
  size_t modules = platform::LoadedModuleCount();
  {
    TestScanner s(nullptr);
    s.SetShowUI(false);
    ASSERT_TRUE(s.TWAIN_EnableSource(AppWindow()));
    EXPECT_EQ(SourcesInUse->Count(), 1);
  }
  EXPECT_EQ(SourcesInUse->Count(), 0);
  EXPECT_EQ(platform::LoadedModuleCount(), modules);
}

}  // namespace
}  // namespace korven::test

namespace korven::test {
namespace {

TEST_F(ComponentTest, ProxyFormIsShownOnceAndGoesWithTheComponent) {
  size_t windows = platform::LiveWindowCount();
  {
    TestScanner s(nullptr);
    HWND h = s.CreateProxyForm();
    EXPECT_EQ(s.CreateProxyForm(), h);
    ASSERT_TRUE(IsWindow(h));
    ASSERT_FALSE(desktop.Shown().empty());
    EXPECT_EQ(desktop.Shown().back().caption, "TScanner ProxyWindow");
  }
  EXPECT_EQ(platform::LiveWindowCount(), windows);
}

}  // namespace
}  // namespace korven::test
