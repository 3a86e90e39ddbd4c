// The palette bitmap "TSCANNER", a bitmap resource of the run-time package made at build time from
// its text picture, and the resource registry it is found through.
#include <korven/Scanner.h>
#include <vcl/Graphics.h>
#include <vcl/Resources.h>

#include "testsupport.h"

namespace {

class PaletteBitmap : public korven::test::KorvenTest {};

TEST_F(PaletteBitmap, TheRunTimePackageCarriesA24By24SixteenColourScanner) {
  ASSERT_EQ(vcl::GetClass("TScanner"), &korven::TScanner::StaticClass());  // the package is loaded
  vcl::TResourceData res = vcl::FindResourceData(vcl::RT_BITMAP_NAME, "tscanner");
  ASSERT_NE(res.Data, nullptr);
  EXPECT_EQ(res.Module, "korvenrt");
  vcl::TBitmap b;
  vcl::LoadBitmapResource(&b, "TSCANNER");
  EXPECT_EQ(b.GetWidth(), 24);
  EXPECT_EQ(b.GetHeight(), 24);
  EXPECT_EQ(b.GetPixelFormat(), vcl::pf4bit);
  // Olive around (the transparent colour, from the bottom-left pixel), a black outline, aqua glass
  // and a lime light bar inside.
  vcl::TCanvas* c = b.GetCanvas();
  EXPECT_EQ(c->GetPixels(0, 23), vcl::clOlive);
  EXPECT_EQ(c->GetPixels(12, 6), vcl::clBlack);
  EXPECT_EQ(c->GetPixels(12, 8), vcl::clAqua);
  EXPECT_EQ(c->GetPixels(12, 9), vcl::clLime);
}

TEST_F(PaletteBitmap, AnUnknownNameIsNotFoundAndAWithdrawnRegistrationUncoversTheEarlierOne) {
  vcl::TBitmap b;
  EXPECT_THROW(vcl::LoadBitmapResource(&b, "NOSUCHBITMAP"), vcl::EResNotFound);
  static const uint8_t other[] = {1, 2, 3};
  const uint8_t* original = vcl::FindResourceData(vcl::RT_BITMAP_NAME, "TSCANNER").Data;
  {
    vcl::TResourceRegistration hide("test", vcl::RT_BITMAP_NAME, "TSCANNER", other, sizeof other);
    EXPECT_EQ(vcl::FindResourceData("bitmap", "TSCANNER").Data, other);
    EXPECT_THROW(vcl::LoadBitmapResource(&b, "TSCANNER"), vcl::EInvalidGraphic);  // three bytes are no BMP
  }
  EXPECT_EQ(vcl::FindResourceData(vcl::RT_BITMAP_NAME, "TSCANNER").Data, original);
}

}  // namespace
