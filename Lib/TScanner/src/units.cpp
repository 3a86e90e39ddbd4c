// Units, the scan frame and paper sizes, and the aspect-true drawing of the scanned bitmap. The
// frame is kept in twips; the unit mode only matters where a value crosses the property boundary
// or goes to the source.
#include "internal.h"

#include <vcl/ExtCtrls.h>

#include <algorithm>

namespace korven {

using detail::TryFinally;

namespace {
// Twips per unit for the modes that do not depend on the resolution.
double TwipsPer(TScanUnitMode mode) {
  switch (mode) {
    case umInch: return 1440;
    case umCm: return 567;
    case umPica: return 240;
    default: return 0;
  }
}
}  // namespace

float TScanner::ConvertToTwips(TScanUnitMode Mode, float Value) const {
  double v = Value;
  switch (Mode) {
    case umInch:
    case umCm:
    case umPica: return float(v * TwipsPer(Mode));
    case umPoint: return float(v * 1440 / 72);
    case umTwips: return Value;
    case umPixel: {
      double r = FResolution ? FResolution->GetValue() : 0;
      if (r == 0) r = 1;
      return float(v * 1440 / r);
    }
  }
  return Value;
}

float TScanner::ConvertFromTwips(TScanUnitMode Mode, float Value) const {
  double v = Value;
  switch (Mode) {
    case umInch:
    case umCm:
    case umPica: return float(v / TwipsPer(Mode));
    case umPoint: return float(v / 1440 * 72);
    case umTwips: return Value;
    case umPixel: {
      double r = FResolution ? FResolution->GetValue() : 0;
      if (r == 0) r = 1;
      return float(v / 1440 * r);
    }
  }
  return Value;
}

TScanRect TScanner::UnitToTwips(const TScanRect& R) const {
  return {UnitToTwips(R.Left), UnitToTwips(R.Top), UnitToTwips(R.Right), UnitToTwips(R.Bottom)};
}

TScanRect TScanner::TwipsToUnit(const TScanRect& R) const {
  return {TwipsToUnit(R.Left), TwipsToUnit(R.Top), TwipsToUnit(R.Right), TwipsToUnit(R.Bottom)};
}

void TScanner::SetUnitMode(TScanUnitMode value) {
  if (value == FUnitMode) return;
  FUnitMode = value;
  if (!FActive) return;
  // The source's unit wins, also when sending raised (the exception still passes).
  TryFinally([&] { TWAIN_SetCurrentUnits(value); },
             [&] { FUnitMode = static_cast<TScanUnitMode>(TWAIN_GetCurrentUnits()); });
}

namespace {
void SetFrameField(TScanner& s, float& field, float twips) {
  if (twips == field) return;
  field = twips;
  s.UpdateLayout(true);
}
}  // namespace

void TScanner::SetFrameTop(float value) { SetFrameField(*this, FFrameTop, UnitToTwips(value)); }
void TScanner::SetFrameLeft(float value) { SetFrameField(*this, FFrameLeft, UnitToTwips(value)); }
void TScanner::SetFrameWidth(float value) { SetFrameField(*this, FFrameWidth, UnitToTwips(value)); }
void TScanner::SetFrameHeight(float value) { SetFrameField(*this, FFrameHeight, UnitToTwips(value)); }

TScanRect TScanner::GetFrameRect() const {
  float left = GetFrameLeft(), top = GetFrameTop();
  return {left, top, left + GetFrameWidth(), top + GetFrameHeight()};
}

TScanRect TScanner::GetMaxFrameRect() const { return {0, 0, GetMaxFrameWidth(), GetMaxFrameHeight()}; }

void TScanner::SetFrameRect(const TScanRect& R) {
  SetFrameLeft(R.Left);
  SetFrameTop(R.Top);
  SetFrameWidth(R.Right - R.Left);
  SetFrameHeight(R.Bottom - R.Top);
}

void TScanner::SetBounds(float Left, float Top, float Width, float Height) {
  FFrameLeft = UnitToTwips(Left);
  FFrameTop = UnitToTwips(Top);
  FFrameWidth = UnitToTwips(Width);
  FFrameHeight = UnitToTwips(Height);
  UpdateLayout(true);
}

void TScanner::UpdateLayout(bool Apply) {
  if (!FActive) return;
  float left, top, right, bottom;
  if (Apply) {
    left = GetFrameLeft();
    top = GetFrameTop();
    right = left + GetFrameWidth();
    bottom = top + GetFrameHeight();
    // A refusal is reported by the capability layer; the frame is kept as sent.
    TWAIN_SetImageLayout(left, top, right, bottom);
  } else if (!TWAIN_GetImageLayout(left, top, right, bottom)) {
    FFrameLeft = FFrameTop = FFrameWidth = FFrameHeight = 0;
    FPaperSize = psCustom;
    return;
  }
  left = UnitToTwips(left);
  top = UnitToTwips(top);
  right = UnitToTwips(right);
  bottom = UnitToTwips(bottom);
  // A source that does not tell its physical size (maximum 0) leaves the frame unclamped rather
  // than clamping it to nothing.
  if (FMaxFrameWidth > 0) {
    left = std::min(left, FMaxFrameWidth);
    right = std::min(right, FMaxFrameWidth);
  }
  if (FMaxFrameHeight > 0) {
    top = std::min(top, FMaxFrameHeight);
    bottom = std::min(bottom, FMaxFrameHeight);
  }
  FFrameLeft = left;
  FFrameTop = top;
  FFrameWidth = std::max(right - left, 0.0f);
  FFrameHeight = std::max(bottom - top, 0.0f);

  FPaperSize = psCustom;
  if (FFrameTop == 0 && FFrameLeft == 0) {
    for (int i = psCustom; i <= psPostCard; ++i) {
      const TScanPaperDimension& row = PaperSizeTable[i];
      if (ConvertToTwips(row.Unit, row.Width) == FFrameWidth && ConvertToTwips(row.Unit, row.Height) == FFrameHeight)
        FPaperSize = static_cast<TScanPaperSize>(i);
    }
  }
}

void TScanner::SetPaperSize(TScanPaperSize value) {
  FPaperSize = value;
  if (value == psCustom || value > psPostCard) return;
  const TScanPaperDimension& row = PaperSizeTable[value];
  FFrameTop = 0;
  FFrameLeft = 0;
  FFrameWidth = ConvertToTwips(row.Unit, row.Width);
  FFrameHeight = ConvertToTwips(row.Unit, row.Height);
  UpdateLayout(true);
}

void TScanner::DrawFixedAspect(vcl::TCanvas* Canvas, const vcl::TRect& Rect, bool Center) {
  Canvas->FillRect(Rect);
  vcl::TBitmap* bitmap = FBitmap.get();
  if (!bitmap || bitmap->GetEmpty()) return;
  int bw = bitmap->GetWidth(), bh = bitmap->GetHeight();
  int rw = Rect.Right - Rect.Left, rh = Rect.Bottom - Rect.Top;
  double scale = double(rw) / bw;
  if (double(rh) / bh < scale) scale = double(rh) / bh;
  int dw = static_cast<int>(bw * scale);
  int dh = static_cast<int>(bh * scale);
  int x = 0, y = 0;
  if (Center) {
    x = (rw - dw) / 2;
    y = (rh - dh) / 2;
  }
  Canvas->StretchDraw(vcl::Rect(Rect.Left + x, Rect.Top + y, Rect.Left + x + dw, Rect.Top + y + dh), bitmap);
}

void TScanner::DrawFixedAspect(vcl::TImage* Image) {
  if (Image->GetAutoSize() || !Image->GetStretch()) {
    Image->GetPicture()->Assign(FBitmap.get());
    return;
  }
  // Clearing the picture gives the image a fresh canvas; the brush the caller chose survives it.
  auto saved = std::make_unique<vcl::TBrush>();
  saved->Assign(Image->GetCanvas()->GetBrush());
  Image->GetPicture()->Assign(nullptr);
  Image->GetCanvas()->GetBrush()->Assign(saved.get());
  DrawFixedAspect(Image->GetCanvas(), vcl::Rect(0, 0, Image->GetWidth(), Image->GetHeight()), Image->GetCenter());
}

}  // namespace korven
