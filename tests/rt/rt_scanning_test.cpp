// Scanning with the component: Execute on inactive and active components, the scan events and
// their Cancel, a feeder batch, Abort, the source's own dialog, and pages whose pixels follow the
// settings.
#include "rt_support.h"

#include <korven/platform.h>
#include <vcl/Forms.h>

#include <cmath>
#include <set>

namespace korven::test {
namespace {

class ScanningTest : public RtTest {
 protected:
  // A small gray page by default, so that every scan is quick.
  TestScanner& SmallScanner() {
    TestScanner& s = NewScanner();
    s.SetUseCurrentValue(false);
    s.SetPixelType(ptGray);
    s.SetBitDepth(8);
    s.GetResolution()->SetValue(50);
    s.SetBounds(0.3f, 0.3f, 2, 2);
    return s;
  }
};

// Records what the scan events saw; copies of the pages, since the component's bitmap is reused.
struct Pages {
  int before = 0;
  std::vector<TScanImageInfo> infos;
  std::vector<std::unique_ptr<vcl::TBitmap>> pages;
  bool cancelBefore = false, cancelAfter = false;
  void Install(TScanner& s) {
    s.SetOnBeforeScan([this](vcl::TObject* sender, const TScanImageInfo& info, bool& cancel) {
      ++before;
      infos.push_back(info);
      EXPECT_NE(dynamic_cast<TScanner*>(sender), nullptr);
      if (cancelBefore) cancel = true;
    });
    s.SetOnAfterScan([this](vcl::TObject*, vcl::TBitmap* bitmap, bool& cancel) {
      pages.push_back(std::make_unique<vcl::TBitmap>());
      pages.back()->Assign(bitmap);
      if (cancelAfter) cancel = true;
    });
  }
};

double Mean(vcl::TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < b.GetHeight(); ++y) {
    auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int x = 0; x < b.GetWidth(); ++x) sum += row[x];
  }
  return sum / (double(b.GetWidth()) * b.GetHeight());
}

TEST_F(ScanningTest, ExecuteOnAnInactiveComponentActivatesScansAndRestoresFocus) {
  AddVirtual("Scanner A");
  TestScanner& s = SmallScanner();
  int activations = 0, deactivations = 0;
  s.SetOnActivate([&](vcl::TObject*) { ++activations; });
  s.SetOnDeactivate([&](vcl::TObject*) { ++deactivations; });
  vcl::TForm form(nullptr);
  form.Show();
  vcl::TForm other(nullptr);
  // A handler that puts another form in front: Execute hands the focus back.
  s.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap*, bool&) {
    other.Show();
    other.SetFocus();
  });
  ASSERT_EQ(vcl::Screen->ActiveForm(), &form);
  EXPECT_TRUE(s.Execute());
  EXPECT_FALSE(s.GetActive());
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_EQ(s.GetSourceName(), "");
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(deactivations, 1);
  EXPECT_EQ(GetFocus(), form.GetHandle());
  EXPECT_EQ(vcl::Screen->ActiveForm(), &form);
  EXPECT_EQ(s.GetBitmap()->GetWidth(), 100);
  EXPECT_EQ(s.GetBitmap()->GetHeight(), 100);
  EXPECT_TRUE(s.Execute());  // chooses the source anew
  EXPECT_EQ(activations, 2);
}

TEST_F(ScanningTest, ExecuteOnAnActiveComponentStaysActive) {
  AddVirtual("Scanner A");
  TestScanner& s = SmallScanner();
  s.SetActive(true);
  int deactivations = 0;
  s.SetOnDeactivate([&](vcl::TObject*) { ++deactivations; });
  EXPECT_TRUE(s.Execute());
  EXPECT_TRUE(s.GetActive());
  EXPECT_EQ(s.GetState(), tsSOURCE_OPEN);
  EXPECT_EQ(deactivations, 0);
  EXPECT_EQ(s.GetSourceName(), "Scanner A");
}

TEST_F(ScanningTest, ASourceThatClosesItselfIsOpenedAgainWithTheSettings) {
  AddVirtual("Scanner A", "CloseWhenDone = yes\n");
  AddVirtual("Scanner B", "CloseWhenDone = yes\nPagesLoaded = 2\n");
  TestScanner& s = SmallScanner();
  s.SetSourceName("Scanner B");
  s.SetFeederEnabled(true);
  s.SetActive(true);
  EXPECT_TRUE(s.Execute());  // one page; the other is discarded
  EXPECT_TRUE(s.GetActive());
  EXPECT_EQ(s.GetState(), tsSM_OPEN);  // the source asked to be closed once it was done
  s.GetResolution()->SetValue(75);
  s.SetMultiTransfer(true);
  Pages p;
  p.Install(s);
  EXPECT_TRUE(s.Execute());
  EXPECT_EQ(s.GetSourceName(), "Scanner B");
  ASSERT_EQ(p.pages.size(), 2u);  // the feeder batch of the same source
  EXPECT_EQ(p.pages[1]->GetWidth(), 150);
}

TEST_F(ScanningTest, ExecuteWithoutAScanRestoresFocusAndReportsAsTheTextSays) {
  vcl::TForm form(nullptr);
  form.Show();
  {
    SCOPED_TRACE("the selection dialog cancelled");
    AddVirtual("Scanner A");
    AddVirtual("Scanner B");
    TestScanner& s = NewScanner();
    desktop.Press("Cancel", "Select Source");
    EXPECT_FALSE(s.Execute());
    EXPECT_FALSE(s.GetActive());
    EXPECT_EQ(GetFocus(), form.GetHandle());
  }
  {
    SCOPED_TRACE("no source installed");
    FreshWindows();
    TestScanner& s = NewScanner();
    SetFocus(AppWindow());
    try {
      s.Execute();
      ADD_FAILURE() << "no exception";
    } catch (const EScannerFaital& e) {
      EXPECT_EQ(platform::ToUtf8(e.Message()), "TWAINデバイスがインストールされていません");
    }
    EXPECT_FALSE(s.GetActive());
    EXPECT_EQ(GetFocus(), form.GetHandle());
  }
}

TEST_F(ScanningTest, CancelFromEitherEventEndsTheAcquisition) {
  struct Case {
    const char* what;
    bool cancelBefore, cancelAfter;
    bool result;
    int before, pages;
  } cases[] = {
      {"before the first image", true, false, false, 1, 0},
      {"after the first image", false, true, true, 1, 1},
      {"nobody cancels: the batch ends with the last image", false, false, true, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A", "ImagesPerScan = 3\n");
    TestScanner& s = SmallScanner();
    s.SetMultiTransfer(true);
    Pages p;
    p.cancelBefore = c.cancelBefore;
    p.cancelAfter = c.cancelAfter;
    p.Install(s);
    EXPECT_EQ(s.Execute(), c.result);
    EXPECT_EQ(p.before, c.before);
    EXPECT_EQ(int(p.pages.size()), c.pages);
    EXPECT_EQ(s.GetBitmap()->GetEmpty(), c.pages == 0);  // a cancelled first image leaves it as it was
    EXPECT_EQ(s.GetState(), tsPRESESSION);
  }
}

// A page the bitmap cannot take (here a block shorter than its header says) is reported and not
// handed on: the after-scan event would otherwise deliver the previous page again as if it were new.
TEST_F(ScanningTest, ARefusedImageIsNotHandedOnAsThePreviousPage) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B", "DibTruncate = yes\n");
  TestScanner& s = SmallScanner();
  Pages p;
  p.Install(s);
  s.SetSourceName("Scanner A");
  EXPECT_TRUE(s.Execute());
  ASSERT_EQ(p.pages.size(), 1u);
  DebugCapture debug;
  s.SetSourceName("Scanner B");
  s.Execute();
  EXPECT_EQ(p.before, 2);               // the second page was announced...
  EXPECT_EQ(p.pages.size(), 1u);        // ...but not handed on
  EXPECT_TRUE(debug.Contains("Illegal DIB: larger than its memory block")) << debug.All();
}

TEST_F(ScanningTest, FeederBatchDeliversEveryPageAtTheAskedGeometry) {
  AddVirtual("Scanner A", "PagesLoaded = 4\n");
  TestScanner& s = NewScanner();
  s.SetUseCurrentValue(false);
  s.SetMultiTransfer(true);
  s.SetFeederEnabled(true);
  s.SetUnitMode(umCm);
  s.SetPixelType(ptRGB);
  s.GetResolution()->SetValue(100);
  s.SetBounds(1, 2, 5, 7);
  Pages p;
  p.Install(s);
  EXPECT_TRUE(s.Execute());  // ends when the feeder is empty
  ASSERT_EQ(p.pages.size(), 4u);
  // floor(L x R + 0.25) pixels for a length of L inches at R dpi.
  int w = int(std::floor(5 / 2.54 * 100 + 0.25)), h = int(std::floor(7 / 2.54 * 100 + 0.25));
  for (size_t i = 0; i < p.pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    EXPECT_EQ(p.pages[i]->GetWidth(), w);
    EXPECT_EQ(p.pages[i]->GetHeight(), h);
    EXPECT_EQ(p.pages[i]->GetPixelFormat(), vcl::pf24bit);
    EXPECT_EQ(p.infos[i].Width, w);
    EXPECT_EQ(p.infos[i].Height, h);
    EXPECT_EQ(p.infos[i].XResolution, 100);
    EXPECT_EQ(p.infos[i].BitsPerPixel, 24);
    EXPECT_EQ(p.infos[i].PixelType, ptRGB);
  }
}

// A batch that cannot go on (the source will not be enabled, or will not end a transfer) ends as a
// failed transfer does, with or without MultiTransfer, instead of asking again for ever.
TEST_F(ScanningTest, AnAcquisitionThatCannotGoOnEndsAsAFailedTransferDoes) {
  struct Case {
    const char* what;
    std::string ini;
    bool feeder, multi;
    bool result, raises, errorDialog;
    size_t pages;
  } cases[] = {
      {"enable refused, single", "PagesLoaded = 0\n", true, false, false, false, false, 0},
      {"enable refused, MultiTransfer", "PagesLoaded = 0\n", true, true, false, false, false, 0},
      // The transfer runs inside the modal loop: its assertion is shown there.
      {"end refused once, single", "RefuseEndXferCount = 1\n", false, false, true, false, true, 1},
      {"end refused once, MultiTransfer", "RefuseEndXferCount = 1\n", false, true, true, false, true, 1},
      // Later pages are transferred straight from the wait: the assertion reaches the caller, after
      // the clean-up ended the transfer and brought the session down.
      {"end refused on the second of three", "PagesLoaded = 3\nRefuseEndXferAt = 2\n", true, true, false, true, false, 2},
      {"end refused on the last page", "PagesLoaded = 3\nRefuseEndXferAt = 3\n", true, true, false, true, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A", c.ini);
    debug->Clear();
    TestScanner& s = SmallScanner();
    s.SetFeederEnabled(c.feeder);
    s.SetMultiTransfer(c.multi);
    Pages p;
    p.Install(s);
    if (c.errorDialog) desktop.Press("OK", "Error");
    bool result = false;
    if (c.raises)
      EXPECT_THROW(s.Execute(), vcl::EAssertionFailed);
    else
      result = s.Execute();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(p.pages.size(), c.pages);
    EXPECT_EQ(s.GetState(), tsPRESESSION);
    EXPECT_TRUE(desktop.Remaining().empty());
    size_t failedEnables = 0;
    for (const std::string& line : debug->Lines()) failedEnables += line.rfind("Failed to enable Data Source", 0) == 0;
    EXPECT_EQ(failedEnables, c.pages == 0 ? 1u : 0u);
  }
}

TEST_F(ScanningTest, AnEnableRefusedOnTheSecondPageOfABatchEndsIt) {
  // The application disables the source between pages (here from a timer); the source then refuses
  // to be enabled again for the next wait.
  AddVirtual("Scanner A", "RefuseEnableAfter = 1\n");
  TestScanner& s = SmallScanner();
  s.SetShowUI(true);
  s.SetMultiTransfer(true);
  static TestScanner* target;
  target = &s;
  Pages p;
  p.Install(s);
  s.SetOnAfterScan([&p](vcl::TObject*, vcl::TBitmap*, bool&) {
    p.pages.push_back(nullptr);
    SetTimer(0, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(0, id);
      target->TWAIN_DisableSource();
    });
  });
  desktop.Press("Scan", "Scanner A");
  EXPECT_FALSE(s.Execute());  // the last wait delivered nothing
  EXPECT_EQ(p.pages.size(), 1u);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_TRUE(debug->Contains("Failed to enable Data Source"));
}

TEST_F(ScanningTest, AbortFromATimerEndsTheWait) {
  AddVirtual("Scanner A");
  TestScanner& s = SmallScanner();
  s.SetShowUI(true);  // the source's dialog waits for a person who never comes
  static TScanner* target;
  target = &s;
  UINT_PTR timer = SetTimer(0, 0, 1, [](HWND, UINT, UINT_PTR, DWORD) { target->Abort(); });
  EXPECT_FALSE(s.Execute());
  KillTimer(0, timer);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_TRUE(IsWindowEnabled(AppWindow()));
}

TEST_F(ScanningTest, ShowUIScansWhenThePersonPressesScan) {
  AddVirtual("Scanner A");
  TestScanner& s = SmallScanner();
  s.SetShowUI(true);
  Pages p;
  p.Install(s);
  desktop.Press("Scan", "Scanner A");
  EXPECT_TRUE(s.Execute());
  EXPECT_EQ(p.pages.size(), 1u);
  EXPECT_TRUE(desktop.Remaining().empty());
}

TEST_F(ScanningTest, PixelsFollowTheSettings) {
  AddVirtual("Scanner A");
  TestScanner& s = SmallScanner();
  s.SetActive(true);
  auto scan = [&] {
    EXPECT_TRUE(s.Execute());
    auto copy = std::make_unique<vcl::TBitmap>();
    copy->Assign(s.GetBitmap());
    return copy;
  };
  auto plain = scan();
  s.GetBrightness()->SetValue(300);
  auto brighter = scan();
  EXPECT_GT(Mean(*brighter), Mean(*plain) + 10);
  s.GetBrightness()->SetValue(0);

  s.SetPixelType(ptBlackWhite);
  EXPECT_EQ(s.GetBitDepth(), 1);
  s.GetThreshold()->SetValue(100);
  auto bw = scan();
  EXPECT_EQ(bw->GetPixelFormat(), vcl::pf1bit);
  std::set<vcl::TColor> colours;
  for (int y = 0; y < bw->GetHeight(); ++y)
    for (int x = 0; x < bw->GetWidth(); ++x) colours.insert(bw->GetCanvas()->GetPixels(x, y));
  EXPECT_EQ(colours, (std::set<vcl::TColor>{vcl::clBlack, vcl::clWhite}));

  s.SetUnitMode(umPixel);  // 50 dpi: 1 pixel = 28.8 twips
  s.SetBounds(10, 10, 60, 30);
  auto framed = scan();
  EXPECT_EQ(framed->GetWidth(), 60);
  EXPECT_EQ(framed->GetHeight(), 30);
}

TEST_F(ScanningTest, AHandlerThatRaisesLeavesNothingBehind) {
  struct Case {
    const char* what;
    bool inBefore;
  } cases[] = {{"OnBeforeScan raises", true}, {"OnAfterScan raises", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A");
    TestScanner& s = SmallScanner();
    if (c.inBefore)
      s.SetOnBeforeScan([](vcl::TObject*, const TScanImageInfo&, bool&) { throw vcl::Exception("Handler broke"); });
    else
      s.SetOnAfterScan([](vcl::TObject*, vcl::TBitmap*, bool&) { throw vcl::Exception("Handler broke"); });
    desktop.Press("OK", "Error");  // the hook shows the error
    s.Execute();
    EXPECT_TRUE(desktop.Remaining().empty());
    EXPECT_EQ(s.GetState(), tsPRESESSION);
    EXPECT_TRUE(IsWindowEnabled(AppWindow()));
  }
}

TEST_F(ScanningTest, ImageInfoIsBuiltFromTheSourcesRecord) {
  struct Case {
    TW_FIX32 x;
    float xResolution;
    TW_INT16 bits;
    TW_INT16 pixelType;
    TScanPixelType expected;
  } cases[] = {
      {{300, 0}, 300.0f, 24, TWPT_RGB, ptRGB},
      {{150, 32768}, 150.5f, 8, TWPT_GRAY, ptGray},
      {{72, 0}, 72.0f, -1, 0x0108, ptCIEXYZ},  // the low byte only; the sign kept
  };
  TestScanner& s = NewScanner();
  TScanImageInfo seen{};
  s.SetOnBeforeScan([&](vcl::TObject*, const TScanImageInfo& info, bool&) { seen = info; });
  for (const Case& c : cases) {
    TW_IMAGEINFO info{};
    info.XResolution = c.x;
    info.YResolution = TW_FIX32{600, 0};
    info.ImageWidth = 2480;
    info.ImageLength = 3508;
    info.BitsPerPixel = c.bits;
    info.PixelType = c.pixelType;
    bool cancel = false;
    s.TWainBeforeScan(&s, info, cancel);
    EXPECT_EQ(seen.XResolution, c.xResolution);
    EXPECT_EQ(seen.YResolution, 600.0f);
    EXPECT_EQ(seen.Width, 2480);
    EXPECT_EQ(seen.Height, 3508);
    EXPECT_EQ(seen.BitsPerPixel, c.bits);
    EXPECT_EQ(seen.PixelType, c.expected);
    EXPECT_FALSE(cancel);
  }
  bool cancel = false;
  TW_IMAGEINFO info{};
  vcl::TStringList notAScanner;
  EXPECT_THROW(s.TWainBeforeScan(&notAScanner, info, cancel), vcl::Exception);  // a checked cast
}

}  // namespace
}  // namespace korven::test
