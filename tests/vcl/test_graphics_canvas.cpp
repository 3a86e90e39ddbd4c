// TCanvas on a bitmap (fill, pixels, resampled drawing, text metrics), pixel format changes,
// Assign between bitmaps and pictures, and TImage's canvas.
#include <vcl/ExtCtrls.h>
#include <vcl/Graphics.h>

#include "testsupport.h"

using namespace vcl;

namespace {

class Canvas : public korven::test::KorvenTest {};

std::unique_ptr<TBitmap> Filled(int w, int h, TColor c, TPixelFormat f = pf24bit) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(f);
  b->SetSize(w, h);
  b->GetCanvas()->GetBrush()->SetColor(c);
  b->GetCanvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

TEST_F(Canvas, FillRectClipsUsesTheBrushAndSkipsAClearBrush) {
  auto b = Filled(4, 4, clWhite);
  TCanvas* c = b->GetCanvas();
  c->GetBrush()->SetColor(clRed);
  c->FillRect(Rect(2, -5, 10, 2));  // partly outside
  EXPECT_EQ(c->GetPixels(2, 0), clRed);
  EXPECT_EQ(c->GetPixels(3, 1), clRed);
  EXPECT_EQ(c->GetPixels(1, 1), clWhite);
  EXPECT_EQ(c->GetPixels(3, 2), clWhite);

  c->GetBrush()->SetStyle(bsClear);
  c->FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(c->GetPixels(0, 3), clWhite);

  c->GetBrush()->SetStyle(bsHorizontal);
  c->GetBrush()->SetColor(clBlue);
  c->FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(c->GetPixels(1, 0), clBlue);   // hatch line on row 0
  EXPECT_EQ(c->GetPixels(1, 1), clWhite);  // between the lines: untouched
}

TEST_F(Canvas, PixelsOutsideReadClNoneAndWritesAreIgnored) {
  auto b = Filled(2, 2, clBlack);
  TCanvas* c = b->GetCanvas();
  c->SetPixels(-1, 0, clRed);
  c->SetPixels(2, 0, clRed);
  EXPECT_EQ(c->GetPixels(2, 0), clNone);
  EXPECT_EQ(c->GetPixels(0, -1), clNone);
  c->SetPixels(1, 1, clYellow);
  EXPECT_EQ(c->GetPixels(1, 1), clYellow);
  EXPECT_EQ(c->GetClipRect(), Rect(0, 0, 2, 2));
  TBitmap empty;
  EXPECT_EQ(empty.GetCanvas()->GetPixels(0, 0), clNone);
  EXPECT_THROW(b->ScanLine(2), EInvalidGraphicOperation);
}

TEST_F(Canvas, StretchDrawAveragesWhenShrinkingAndInterpolatesWhenEnlarging) {
  // A black/white checkerboard halved: every destination pixel covers two black and two white.
  auto checker = Filled(4, 4, clBlack);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      if ((x + y) & 1) checker->GetCanvas()->SetPixels(x, y, clWhite);
  auto small = Filled(2, 2, clRed);
  small->GetCanvas()->StretchDraw(Rect(0, 0, 2, 2), checker.get());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(small->GetCanvas()->GetPixels(x, y), 0x808080);

  // Shrinking 3 → 2 weights the middle pixel half into each side: (0 + 0.5 * 255) / 1.5 = 85.
  auto row = Filled(3, 1, clBlack);
  row->GetCanvas()->SetPixels(1, 0, clWhite);
  auto two = Filled(2, 1, clRed);
  two->GetCanvas()->StretchDraw(Rect(0, 0, 2, 1), row.get());
  EXPECT_EQ(two->GetCanvas()->GetPixels(0, 0), 0x555555);
  EXPECT_EQ(two->GetCanvas()->GetPixels(1, 0), 0x555555);

  // Enlarging black|white to 4 pixels: centres at -0.25, 0.25, 0.75, 1.25 of the source.
  auto pair = Filled(2, 1, clBlack);
  pair->GetCanvas()->SetPixels(1, 0, clWhite);
  auto wide = Filled(4, 1, clRed);
  wide->GetCanvas()->StretchDraw(Rect(0, 0, 4, 1), pair.get());
  EXPECT_EQ(wide->GetCanvas()->GetPixels(0, 0), clBlack);
  EXPECT_EQ(wide->GetCanvas()->GetPixels(1, 0), 0x404040);
  EXPECT_EQ(wide->GetCanvas()->GetPixels(2, 0), 0xBFBFBF);
  EXPECT_EQ(wide->GetCanvas()->GetPixels(3, 0), clWhite);
}

TEST_F(Canvas, DrawCopiesUnscaledClippedAndIntoIndexedFormats) {
  auto src = Filled(3, 2, clLime);
  src->GetCanvas()->SetPixels(2, 1, clBlue);
  auto dst = Filled(4, 4, clWhite, pf8bit);
  dst->GetCanvas()->Draw(2, 3, src.get());  // only the top-left 2 x 1 lands inside
  EXPECT_EQ(dst->GetCanvas()->GetPixels(2, 3), clLime);
  EXPECT_EQ(dst->GetCanvas()->GetPixels(3, 3), clLime);
  EXPECT_EQ(dst->GetCanvas()->GetPixels(1, 3), clWhite);
  dst->GetCanvas()->Draw(-2, -1, src.get());
  EXPECT_EQ(dst->GetCanvas()->GetPixels(0, 0), clBlue);
  dst->GetCanvas()->StretchDraw(Rect(3, 3, 1, 1), src.get());  // inverted: nothing
  EXPECT_EQ(dst->GetCanvas()->GetPixels(2, 2), clWhite);
  // Drawing a bitmap onto itself reads from a copy.
  src->GetCanvas()->Draw(1, 0, src.get());
  EXPECT_EQ(src->GetCanvas()->GetPixels(1, 0), clLime);
  EXPECT_EQ(src->GetCanvas()->GetPixels(2, 0), clLime);
}

TEST_F(Canvas, TextMetricsFollowTheDocumentedFormula) {
  TCanvas c;
  EXPECT_EQ(c.GetFont()->GetHeight(), -11);
  EXPECT_EQ(c.TextHeight("x"), 13);
  // "TScanner ProxyWindow": capitals T S P = 3 * 13, wide W w = 2 * 16, narrow r space r i =
  // 4 * 6, the other 11 letters 10 each -> 205 twentieths of 11 pixels = 112.75 -> 113.
  EXPECT_EQ(c.TextExtent("TScanner ProxyWindow"), (TSize{113, 13}));
  EXPECT_EQ(c.TextWidth(""), 0);
  EXPECT_EQ(c.TextWidth("\xE3\x81\x82"), 11);  // one multi-byte character: one em
  c.GetFont()->SetStyle(TFontStyles{fsBold});
  EXPECT_EQ(c.TextWidth("ab"), 11 + 2);
  c.GetFont()->SetSize(12);
  EXPECT_EQ(c.TextHeight("x"), (6 * 16 + 2) / 5);
}

TEST_F(Canvas, PixelFormatChangesConvertThePixels) {
  auto b = Filled(3, 1, clWhite);
  b->GetCanvas()->SetPixels(0, 0, clRed);
  b->GetCanvas()->SetPixels(1, 0, 0x202020);
  b->SetPixelFormat(pf1bit);
  EXPECT_EQ(b->GetPalette().size(), 2u);
  EXPECT_EQ(b->GetCanvas()->GetPixels(1, 0), clBlack);
  EXPECT_EQ(b->GetCanvas()->GetPixels(2, 0), clWhite);
  b->SetPixelFormat(pf8bit);
  EXPECT_EQ(b->GetPalette().size(), 256u);
  b->SetPixelFormat(pf32bit);
  EXPECT_EQ(b->GetCanvas()->GetPixels(2, 0), clWhite);
  EXPECT_EQ(b->BytesPerScanLine(), 12u);
  EXPECT_THROW(b->SetPixelFormat(pfCustom), EInvalidGraphicOperation);
}

TEST_F(Canvas, AssignCopiesDeeplyThroughPicturesAndRefusesStrangers) {
  auto a = Filled(2, 2, clRed);
  TBitmap b;
  b.Assign(a.get());
  a->GetCanvas()->SetPixels(0, 0, clBlue);
  EXPECT_EQ(b.GetCanvas()->GetPixels(0, 0), clRed);

  TPicture picture;
  picture.Assign(a.get());
  TBitmap c;
  c.Assign(&picture);  // the picture hands over its graphic
  EXPECT_EQ(c.GetCanvas()->GetPixels(0, 0), clBlue);
  EXPECT_EQ(picture.GetWidth(), 2);

  TBrush brush;
  EXPECT_THROW(c.Assign(&brush), EConvertError);
  c.Assign(nullptr);
  EXPECT_TRUE(c.GetEmpty());
  picture.Assign(nullptr);
  EXPECT_EQ(picture.GetGraphic(), nullptr);
  EXPECT_THROW(picture.LoadFromFile("scan.png"), EInvalidGraphic);

  bool changed = false;
  b.OnChange = [&](TObject*) { changed = true; };
  b.SetModified(false);
  b.GetCanvas()->FillRect(Rect(0, 0, 1, 1));
  EXPECT_TRUE(changed);
  EXPECT_TRUE(b.GetModified());
}

TEST_F(Canvas, ImageCanvasDrawsIntoItsPictureAndAutoSizeFollowsIt) {
  TImage image(nullptr);
  image.SetBounds(0, 0, 20, 10);
  image.GetCanvas()->GetBrush()->SetColor(clNavy);
  image.GetCanvas()->FillRect(Rect(0, 0, 20, 10));
  ASSERT_NE(image.GetPicture()->GetBitmap(), nullptr);
  EXPECT_EQ(image.GetPicture()->GetWidth(), 20);
  EXPECT_EQ(image.GetPicture()->GetBitmap()->GetCanvas()->GetPixels(19, 9), clNavy);

  // The brush survives a cleared picture when it is copied back, as DrawFixedAspect does.
  TBrush saved;
  saved.Assign(image.GetCanvas()->GetBrush());
  image.GetPicture()->Assign(nullptr);
  image.GetCanvas()->GetBrush()->Assign(&saved);
  EXPECT_EQ(image.GetCanvas()->GetBrush()->GetColor(), clNavy);
  EXPECT_EQ(image.GetCanvas()->GetPixels(0, 0), clWhite);  // a fresh white bitmap of the control's size

  auto big = Filled(30, 40, clRed);
  image.SetAutoSize(true);
  image.GetPicture()->Assign(big.get());
  EXPECT_EQ(image.GetWidth(), 30);
  EXPECT_EQ(image.GetHeight(), 40);
}

}  // namespace

namespace {

TEST_F(Canvas, AnImageKeepsItsPictureInAFormFile) {
  TImage image(nullptr);
  image.SetName("Logo");
  image.SetStretch(true);
  auto b = Filled(3, 2, clAqua, pf8bit);
  b->GetCanvas()->SetPixels(2, 1, clRed);
  image.GetPicture()->Assign(b.get());
  const std::string text = ComponentToText(&image);
  EXPECT_NE(text.find("Picture.Data = {"), std::string::npos) << text;
  EXPECT_NE(text.find("Stretch = True"), std::string::npos) << text;

  TImage back(nullptr);
  TextToComponent(text, &back);
  EXPECT_TRUE(back.GetStretch());
  TBitmap* bitmap = back.GetPicture()->GetBitmap();
  ASSERT_EQ(bitmap->GetWidth(), 3);
  EXPECT_EQ(bitmap->GetPixelFormat(), pf8bit);
  EXPECT_EQ(bitmap->GetCanvas()->GetPixels(0, 0), clAqua);
  EXPECT_EQ(bitmap->GetCanvas()->GetPixels(2, 1), clRed);

  TImage empty(nullptr);
  empty.SetName("Empty");
  EXPECT_EQ(ComponentToText(&empty).find("Picture.Data"), std::string::npos);
}

}  // namespace
