// TScanner on SANE devices, unchanged: a program that scans with the component scans from SANE.
#include "sane_support.h"

#include <korven/Scanner.h>
#include <vcl/Forms.h>

namespace korven::test {
namespace {

class SaneComponentTest : public SaneTest {
 protected:
  void TearDown() override {
    scanner_.reset();  // its destructor unloads the manager before the checks
    debug_.reset();
    SaneTest::TearDown();
  }
  TScanner& Scanner() {
    scanner_ = std::make_unique<TScanner>(nullptr);
    scanner_->SetShowUI(false);
    scanner_->SetUseDefaultSource(true);
    return *scanner_;
  }
  std::unique_ptr<DebugCapture> debug_ = std::make_unique<DebugCapture>();
  std::unique_ptr<TScanner> scanner_;
};

TEST_F(SaneComponentTest, TheDefaultSourceIsASaneDeviceAndScans) {
  InstallSane();
  Windows().AddSource("virtual", "virtual");
  WriteProfileStringA("TWAIN", "Default Source", TestSourceName(1).c_str());
  TScanner& s = Scanner();
  EXPECT_EQ(s.GetSourceNames()->Count(), 3);
  std::string during;
  s.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap*, bool&) { during = s.GetSourceName(); });
  ASSERT_TRUE(s.Execute());
  EXPECT_EQ(during, TestSourceName(1));
  EXPECT_EQ(LastOpenedDevice(), TestDeviceName(1));
  // 80 x 100 mm at 75 dpi, grey.
  EXPECT_EQ(s.GetBitmap()->GetWidth(), 236);
  EXPECT_EQ(s.GetBitmap()->GetHeight(), 295);
  EXPECT_EQ(s.GetBitmap()->GetPixelFormat(), vcl::pf8bit);
}

TEST_F(SaneComponentTest, TheComponentsSettingsReachTheDevice) {
  InstallSane();
  TScanner& s = Scanner();
  s.SetSourceName(TestSourceName(0));
  ASSERT_TRUE(s.Open());
  EXPECT_TRUE(s.GetPixelTypes().Contains(ptRGB));
  EXPECT_TRUE(s.GetPixelTypes().Contains(ptBlackWhite));
  EXPECT_TRUE(s.GetResolution()->GetSupported());
  EXPECT_EQ(s.GetResolution()->GetMax(), 1200);
  EXPECT_FALSE(s.GetBrightness()->GetSupported());
  EXPECT_TRUE(s.GetHasFeeder());
  s.SetPixelType(ptRGB);
  EXPECT_EQ(s.GetBitDepth(), 24);
  s.GetResolution()->SetValue(150);
  s.SetUnitMode(umCm);
  s.SetBounds(1, 1, 4, 2);
  ASSERT_TRUE(s.Execute());
  EXPECT_EQ(s.GetBitmap()->GetPixelFormat(), vcl::pf24bit);
  EXPECT_EQ(s.GetBitmap()->GetWidth(), int(40 * 150 / 25.4));
  EXPECT_EQ(s.GetBitmap()->GetHeight(), int(20 * 150 / 25.4));
  s.Close();
}

TEST_F(SaneComponentTest, AFeederBatchDeliversEveryPage) {
  InstallSane();
  TScanner& s = Scanner();
  s.SetSourceName(TestSourceName(0));
  s.SetMultiTransfer(true);
  s.SetFeederEnabled(true);
  int pages = 0;
  s.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap*, bool&) { ++pages; });
  EXPECT_TRUE(s.Execute());
  EXPECT_EQ(pages, 10);
}

TEST_F(SaneComponentTest, ACancelledPageLeavesTheNextScanWorking) {
  InstallSane();
  TScanner& s = Scanner();
  s.SetSourceName(TestSourceName(0));
  ASSERT_TRUE(s.Open());
  bool cancel = true;
  s.SetOnBeforeScan([&](vcl::TObject*, const TScanImageInfo&, bool& c) { c = cancel; });
  const int cancels = SaneCallCounts().cancel;
  EXPECT_FALSE(s.Execute());
  EXPECT_GT(SaneCallCounts().cancel, cancels);
  cancel = false;
  EXPECT_TRUE(s.Execute());
  EXPECT_EQ(s.GetBitmap()->GetWidth(), 236);
  s.Close();
}

TEST_F(SaneComponentTest, AScannerErrorReachesTheComponentsDebugOutput) {
  InstallSane();
  Sane().Write({{"read-status-code", "\"SANE_STATUS_COVER_OPEN\""}});
  TScanner& s = Scanner();
  s.SetSourceName(TestSourceName(0));
  EXPECT_FALSE(s.Execute());
  EXPECT_TRUE(debug_->Contains("sane.ds: " + TestSourceName(0) + ": scanning failed: Scanner cover is open (SANE_STATUS_COVER_OPEN)"))
      << debug_->All();
  EXPECT_TRUE(Desktop().Shown().empty()) << "nothing is shown with ShowUI off";
}

}  // namespace
}  // namespace korven::test
