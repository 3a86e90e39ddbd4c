// Units, the scan frame, paper sizes and the aspect-true drawing of the component's bitmap.
#include "rt_support.h"

#include <vcl/ExtCtrls.h>

namespace korven::test {
namespace {

using UnitsTest = RtTest;

TEST_F(UnitsTest, ConversionsBetweenTwipsAndEveryUnit) {
  struct Case {
    TScanUnitMode mode;
    float resolution;
    float value, twips;
  } cases[] = {
      {umInch, 300, 1, 1440},  {umCm, 300, 1, 567},         {umPica, 300, 1, 240},
      {umPoint, 300, 1, 20},   {umTwips, 300, 123.5f, 123.5f}, {umPixel, 300, 300, 1440},
      {umPixel, 0, 1, 1440},   {umPixel, 150, 3, 28.8f},
      {static_cast<TScanUnitMode>(9), 300, 42, 42},  // outside the enumeration: unchanged
  };
  TestScanner& s = NewScanner();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " at " << c.resolution << " dpi");
    s.GetResolution()->SetValue(c.resolution);
    EXPECT_FLOAT_EQ(s.ConvertToTwips(c.mode, c.value), c.twips);
    EXPECT_FLOAT_EQ(s.ConvertFromTwips(c.mode, c.twips), c.value);
  }
  s.GetResolution()->SetValue(300);
  s.SetUnitMode(umCm);
  TScanRect r = s.UnitToTwips(TScanRect{1, 2, 3, 4});
  EXPECT_EQ(r, (TScanRect{567, 1134, 1701, 2268}));
  EXPECT_EQ(s.TwipsToUnit(r), (TScanRect{1, 2, 3, 4}));
}

TEST_F(UnitsTest, EveryPaperSizeSetsItsPageAtTheOrigin) {
  struct Case {
    TScanPaperSize size;
    TScanUnitMode unit;
    float width, height;  // in unit
    float twipsWidth, twipsHeight;
  } cases[] = {
      {psA5, umCm, 14.8f, 21, 8391.6f, 11907},       {psA4, umCm, 21, 29.7f, 11907, 16839.9f},
      {psA3, umCm, 29.7f, 42, 16839.9f, 23814},      {psB5, umCm, 18.2f, 25.7f, 10319.4f, 14571.9f},
      {psB4, umCm, 25.7f, 36.4f, 14571.9f, 20638.8f}, {psLetter, umInch, 8.5f, 11, 12240, 15840},
      {psPostCard, umCm, 10, 14.8f, 5670, 8391.6f},
  };
  TestScanner& s = NewScanner();
  for (const Case& c : cases) {
    SCOPED_TRACE(ScanPaperSizeNames[c.size]);
    s.SetUnitMode(umTwips);
    s.SetBounds(5, 6, 7, 8);
    s.SetPaperSize(c.size);
    EXPECT_EQ(s.GetPaperSize(), c.size);
    EXPECT_EQ(s.GetFrameLeft(), 0);
    EXPECT_EQ(s.GetFrameTop(), 0);
    EXPECT_FLOAT_EQ(s.GetFrameWidth(), c.twipsWidth);
    EXPECT_FLOAT_EQ(s.GetFrameHeight(), c.twipsHeight);
    s.SetUnitMode(c.unit);  // the frame stays; only the numbers read change
    EXPECT_FLOAT_EQ(s.GetFrameWidth(), c.width);
    EXPECT_FLOAT_EQ(s.GetFrameHeight(), c.height);
  }
  s.SetPaperSize(psCustom);  // keeps the frame
  EXPECT_FLOAT_EQ(s.GetFrameWidth(), 10);
  EXPECT_EQ(s.GetPaperSize(), psCustom);
}

TEST_F(UnitsTest, ThePixelUnitFollowsTheResolution) {
  TestScanner& s = NewScanner();
  s.SetUnitMode(umPixel);
  s.GetResolution()->SetValue(100);
  s.SetFrameWidth(200);
  s.GetResolution()->SetValue(300);
  EXPECT_FLOAT_EQ(s.GetFrameWidth(), 600);
  s.SetUnitMode(umInch);
  EXPECT_FLOAT_EQ(s.GetFrameWidth(), 2);
  EXPECT_EQ(s.GetFrameRect(), (TScanRect{0, 0, 2, s.GetFrameHeight()}));
}

TEST_F(UnitsTest, ActivePaperSizesAreClampedToThePlaten) {
  struct Case {
    const char* what;
    std::string ini;
    TScanPaperSize asked, result;
    float width, height;  // inches
  } cases[] = {
      {"A3 on the default platen (8.8 x 12 in)", "", psA3, psCustom, 8.8f, 12},
      {"A4 fits (567 twips to the cm)", "", psA4, psA4, 11907 / 1440.f, 16839.9f / 1440},
      {"Letter on a smaller platen", "PlatenWidth = 8\nPlatenHeight = 10\n", psLetter, psCustom, 8, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A", c.ini);
    TestScanner& s = NewScanner();
    s.SetActive(true);
    s.SetPaperSize(c.asked);
    EXPECT_EQ(s.GetPaperSize(), c.result);
    EXPECT_NEAR(s.GetFrameWidth(), c.width, 1e-4);
    EXPECT_NEAR(s.GetFrameHeight(), c.height, 1e-4);
    s.UpdateLayout(false);  // the source holds the clamped page too
    EXPECT_NEAR(s.GetFrameWidth(), c.width, 1e-4);
    EXPECT_NEAR(s.GetFrameHeight(), c.height, 1e-4);
  }
}

TEST_F(UnitsTest, FramesReadFromTheSource) {
  struct Case {
    const char* what;
    std::string ini;
    float left;
    TScanRect expected;  // inches
  } cases[] = {
      {"left not at the origin", "", 0.5f, {0.5f, 0, 3.5f, 4}},
      {"no layout from the source", "RefuseImageLayout = get\n", 0, {0, 0, 0, 0}},
      // Without a physical size there is nothing to clamp to: the frame stays as the source has it.
      {"no physical size", "PhysicalSize = no\n", 0, {0, 0, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A", c.ini);
    TestScanner& s = NewScanner();
    s.SetActive(true);
    s.SetBounds(c.left, 0, 3, 4);
    s.UpdateLayout(false);
    EXPECT_EQ(s.GetPaperSize(), psCustom);
    TScanRect r = s.GetFrameRect();
    EXPECT_NEAR(r.Left, c.expected.Left, 1e-4);
    EXPECT_NEAR(r.Right, c.expected.Right, 1e-4);
    EXPECT_NEAR(r.Bottom, c.expected.Bottom, 1e-4);
  }
}

TEST_F(UnitsTest, AnUnchangedFrameValueSendsNothing) {
  AddVirtual("Scanner A", "RefuseImageLayout = set\n");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  debug->Clear();
  s.SetFrameRect(s.GetFrameRect());
  EXPECT_TRUE(debug->Lines().empty()) << debug->All();
  s.SetFrameWidth(s.GetFrameWidth() / 2);  // sent and refused: the frame is kept as computed
  EXPECT_FALSE(debug->Lines().empty());
  EXPECT_FLOAT_EQ(s.GetFrameWidth(), s.GetMaxFrameWidth() / 2);
}

// ---- DrawFixedAspect -------------------------------------------------------------------------------

class DrawTest : public RtTest {
 protected:
  void SetUp() override {
    RtTest::SetUp();
    target.SetSize(120, 120);
    target.GetCanvas()->GetBrush()->SetColor(vcl::clBlue);
  }
  // A red 200 x 100 page as the component's last scan.
  void RedPage(TScanner& s) {
    vcl::TBitmap* b = s.GetBitmap();
    b->SetSize(200, 100);
    b->GetCanvas()->GetBrush()->SetColor(vcl::clRed);
    b->GetCanvas()->FillRect(vcl::Rect(0, 0, 200, 100));
  }
  // The bounding box of the red pixels in the target.
  vcl::TRect Drawn() {
    vcl::TRect r{1000, 1000, -1, -1};
    for (int y = 0; y < target.GetHeight(); ++y)
      for (int x = 0; x < target.GetWidth(); ++x)
        if (target.GetCanvas()->GetPixels(x, y) == vcl::clRed) {
          r.Left = std::min(r.Left, x);
          r.Top = std::min(r.Top, y);
          r.Right = std::max(r.Right, x + 1);
          r.Bottom = std::max(r.Bottom, y + 1);
        }
    return r;
  }
  vcl::TBitmap target;
};

TEST_F(DrawTest, DrawsAspectTrueIntoTheRectangle) {
  struct Case {
    vcl::TRect rect;
    bool center;
    vcl::TRect drawn;
  } cases[] = {
      {vcl::Rect(0, 0, 100, 100), true, vcl::Rect(0, 25, 100, 75)},
      {vcl::Rect(0, 0, 100, 100), false, vcl::Rect(0, 0, 100, 50)},
      {vcl::Rect(10, 10, 110, 110), true, vcl::Rect(10, 35, 110, 85)},
      {vcl::Rect(0, 0, 20, 100), true, vcl::Rect(0, 45, 20, 55)},  // narrow: the width decides
  };
  TestScanner& s = NewScanner();
  RedPage(s);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rect.Left << "," << c.rect.Top << "," << c.rect.Right << ","
                                    << c.rect.Bottom << (c.center ? " centred" : ""));
    target.GetCanvas()->FillRect(vcl::Rect(0, 0, 120, 120));
    s.DrawFixedAspect(target.GetCanvas(), c.rect, c.center);
    vcl::TRect d = Drawn();
    EXPECT_EQ(d.Left, c.drawn.Left);
    EXPECT_EQ(d.Top, c.drawn.Top);
    EXPECT_EQ(d.Right, c.drawn.Right);
    EXPECT_EQ(d.Bottom, c.drawn.Bottom);
    EXPECT_EQ(target.GetCanvas()->GetPixels(c.rect.Left, c.rect.Top), c.center ? vcl::clBlue : vcl::clRed);
  }
}

TEST_F(DrawTest, AnEmptyBitmapOnlyFills) {
  TestScanner& s = NewScanner();
  target.GetCanvas()->GetBrush()->SetColor(vcl::clLime);
  s.DrawFixedAspect(target.GetCanvas(), vcl::Rect(0, 0, 50, 50), true);
  EXPECT_EQ(target.GetCanvas()->GetPixels(49, 49), vcl::clLime);
  EXPECT_NE(target.GetCanvas()->GetPixels(50, 50), vcl::clLime);
}

TEST_F(DrawTest, IntoAnImage) {
  TestScanner& s = NewScanner();
  RedPage(s);
  vcl::TImage plain(nullptr);
  s.DrawFixedAspect(&plain);  // no Stretch: the picture is the bitmap itself
  EXPECT_EQ(plain.GetPicture()->GetWidth(), 200);
  EXPECT_EQ(plain.GetPicture()->GetHeight(), 100);

  vcl::TImage stretched(nullptr);
  stretched.SetBounds(0, 0, 100, 100);
  stretched.SetStretch(true);
  stretched.SetCenter(true);
  stretched.GetCanvas()->GetBrush()->SetColor(vcl::clYellow);
  s.DrawFixedAspect(&stretched);
  vcl::TCanvas* c = stretched.GetCanvas();
  EXPECT_EQ(stretched.GetPicture()->GetWidth(), 100);
  EXPECT_EQ(c->GetPixels(50, 10), vcl::clYellow);  // the brush the image had fills the margin
  EXPECT_EQ(c->GetPixels(50, 50), vcl::clRed);
  EXPECT_EQ(c->GetPixels(50, 80), vcl::clYellow);
}

}  // namespace
}  // namespace korven::test
