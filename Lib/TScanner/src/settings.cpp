// Settings: the bulk operations Reset, CurrentSettings and ApplySettings, the single-valued
// settings (pixel type, bit depth, automatic brightness, indicators, the document feeder) and the
// setters of the eight ranges. Inactive, a setter only stores; active, it sends and keeps the
// source's answer.
#include "internal.h"

namespace korven {

namespace {
// The built-in parameters of the eight ranges.
struct RangeParam {
  TScannerCap cap;
  float min, max, step, def;
  uint32_t capability;
};
constexpr RangeParam BuiltIn[8] = {
    {scBrightness, -1000, 1000, 10, 0, ICAP_BRIGHTNESS}, {scContrast, -1000, 1000, 10, 0, ICAP_CONTRAST},
    {scGamma, 0, 10, 0.1f, 2.2f, ICAP_GAMMA},            {scHighlight, 0, 255, 1, 255, ICAP_HIGHLIGHT},
    {scShadow, 0, 255, 1, 0, ICAP_SHADOW},               {scThreshold, 0, 255, 1, 128, ICAP_THRESHOLD},
    {scResolution, 1, 1200, 1, 300, ICAP_XRESOLUTION},   {scScaling, 0.1f, 10, 0.1f, 1, ICAP_XSCALING}};
}  // namespace

void TScanner::Reset() {
  if (!FActive) {
    FCaps = TScannerCaps{scBrightness, scContrast, scGamma,      scHighlight, scShadow,
                         scThreshold,  scResolution, scScaling, scAutoFeeder};
    SetUnitMode(umInch);
    FUnitModes = TScanUnitModes{umInch, umCm, umPixel};
    FPixelType = ptRGB;
    FPixelTypes = TScanPixelTypes{ptBlackWhite, ptGray, ptRGB, ptPalette};
    FBitDepth = 24;
    TScanRange* ranges[8] = {FBrightness.get(), FContrast.get(), FGamma.get(),      FHighlight.get(),
                             FShadow.get(),     FThreshold.get(), FResolution.get(), FScaling.get()};
    for (int i = 0; i < 8; ++i)
      ranges[i]->SetParam(BuiltIn[i].cap, BuiltIn[i].min, BuiltIn[i].max, BuiltIn[i].step, BuiltIn[i].def,
                          BuiltIn[i].capability);
    SetShowIndicator(true);
    FShowUI = true;
    SetPaperSize(psA4);
    return;
  }
  uint16_t def = 0;
  SetPixelType(TWAIN_GetCapDefault(ICAP_PIXELTYPE, TWTY_UINT16, &def) ? static_cast<TScanPixelType>(def) : ptRGB);
  SetUnitMode(TWAIN_GetCapDefault(ICAP_UNITS, TWTY_UINT16, &def) ? static_cast<TScanUnitMode>(def) : umInch);
  SetBitDepth(TWAIN_GetCapDefault(ICAP_BITDEPTH, TWTY_UINT16, &def) ? int32_t(def) : 0);
  FFrameLeft = 0;
  FFrameTop = 0;
  FFrameWidth = FMaxFrameWidth;
  FFrameHeight = FMaxFrameHeight;
  UpdateLayout(true);
  for (TScanRange* r : {FBrightness.get(), FContrast.get(), FGamma.get(), FShadow.get(), FHighlight.get(),
                        FThreshold.get(), FScaling.get(), FResolution.get()})
    r->Reset();
  FShowUI = true;
  SetShowIndicator(true);
}

void TScanner::CurrentSettings() {
  if (!FActive) return;
  FUnitMode = static_cast<TScanUnitMode>(TWAIN_GetCurrentUnits());
  FPixelType = static_cast<TScanPixelType>(TWAIN_GetPixelType());
  FBitDepth = TWAIN_GetBitDepth();
  UpdateLayout(false);
  FShowIndicator = TWAIN_GetIndicators();
  for (TScanRange* r : {FContrast.get(), FBrightness.get(), FGamma.get(), FHighlight.get(), FShadow.get(),
                        FThreshold.get(), FResolution.get(), FScaling.get()})
    r->SetValue(r->GetCurrent());
}

void TScanner::ApplySettings() {
  if (!FActive) return;
  TWAIN_SetCurrentUnits(FUnitMode);
  FUnitMode = static_cast<TScanUnitMode>(TWAIN_GetCurrentUnits());
  TWAIN_SetPixelType(FPixelType);
  FPixelType = static_cast<TScanPixelType>(TWAIN_GetPixelType());
  TWAIN_SetBitDepth(FBitDepth);
  FBitDepth = TWAIN_GetBitDepth();
  UpdateLayout(true);
  TWAIN_SetIndicators(FShowIndicator);
  FShowIndicator = TWAIN_GetIndicators();
  for (TScanRange* r : {FContrast.get(), FBrightness.get(), FGamma.get(), FHighlight.get(), FShadow.get(),
                        FThreshold.get(), FScaling.get(), FResolution.get()}) {
    try {
      r->ApplySetting();
    } catch (const EScanner& e) {
      // One range the source will not take does not stop the others.
      OutputDebugStringA((std::string("TScanner.ApplySettings: ") + e.Message()).c_str());
    }
  }
}

void TScanner::SetPixelType(TScanPixelType value) {
  if (value == FPixelType) return;
  FPixelType = value;
  if (!FActive) return;
  TWAIN_SetCapOneValue(ICAP_PIXELTYPE, TWTY_UINT16, value);
  FPixelType = static_cast<TScanPixelType>(TWAIN_GetCapUint16(ICAP_PIXELTYPE, 2));
  // The source picks the depth that goes with the type.
  FBitDepth = TWAIN_GetCapUint16(ICAP_BITDEPTH, FBitDepth);
}

void TScanner::SetBitDepth(int32_t value) {
  FBitDepth = value;
  if (!FActive) return;
  try {
    TWAIN_SetCapOneValue(ICAP_BITDEPTH, TWTY_UINT16, value);
    FBitDepth = TWAIN_GetCapUint16(ICAP_BITDEPTH, 0);
  } catch (const std::exception&) {
    FBitDepth = 0;
  }
}

void TScanner::SetAutoBright(bool value) {
  FAutoBright = value;
  if (!FActive) return;
  try {
    TWAIN_SetCapBool(ICAP_AUTOBRIGHT, value);
    FAutoBright = TWAIN_GetCapBool(ICAP_AUTOBRIGHT, false);
  } catch (const std::exception&) {
    FAutoBright = false;
  }
}

bool TScanner::GetFeederEnabled() {
  if (!FActive) return FFeederEnabled;
  try {
    return TWAIN_GetCapBool(CAP_FEEDERENABLED, false);
  } catch (const std::exception&) {
    return false;
  }
}

void TScanner::SetFeederEnabled(bool value) {
  FFeederEnabled = value;
  if (!FActive) return;
  try {
    TWAIN_SetCapBool(CAP_FEEDERENABLED, value);
    FFeederEnabled = GetFeederEnabled();
  } catch (const std::exception&) {
    FFeederEnabled = false;
  }
}

bool TScanner::GetAutoFeedEnabled() {
  if (!FActive) return FAutoFeedEnabled;
  try {
    return TWAIN_GetCapBool(CAP_AUTOFEED, false);
  } catch (const std::exception&) {
    return false;
  }
}

void TScanner::SetAutoFeedEnabled(bool value) {
  if (value) SetFeederEnabled(true);
  FAutoFeedEnabled = value;
  if (!FActive) return;
  try {
    TWAIN_SetCapBool(CAP_AUTOFEED, value);
    FAutoFeedEnabled = GetAutoFeedEnabled();
  } catch (const std::exception&) {
    FAutoFeedEnabled = false;
  }
}

bool TScanner::GetFeederLoaded() {
  try {
    return TWAIN_GetCapBool(CAP_FEEDERLOADED, false);
  } catch (const std::exception&) {
    return false;
  }
}

bool TScanner::GetHasFeeder() {
  if (!FActive) return false;
  bool requested = FFeederEnabled;
  bool result = GetFeederEnabled();
  if (!result) {
    SetFeederEnabled(true);
    result = GetFeederEnabled();
    SetFeederEnabled(false);
  }
  SetFeederEnabled(requested);
  return result;
}

void TScanner::SetResolution(TScanRange* value) { FResolution->Assign(value); }
void TScanner::SetScaling(TScanRange* value) { FScaling->Assign(value); }
void TScanner::SetBrightness(TScanRange* value) { FBrightness->Assign(value); }
void TScanner::SetContrast(TScanRange* value) { FContrast->Assign(value); }
void TScanner::SetGamma(TScanRange* value) { FGamma->Assign(value); }
void TScanner::SetHighlight(TScanRange* value) { FHighlight->Assign(value); }
void TScanner::SetShadow(TScanRange* value) { FShadow->Assign(value); }
void TScanner::SetThreshold(TScanRange* value) { FThreshold->Assign(value); }

}  // namespace korven
