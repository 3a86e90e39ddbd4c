// The component core: published properties, construction, activation and deactivation, the source
// selection, the window handed to TWAIN (with the proxy form) and copying one component onto another.
#include "internal.h"

#include <vcl/Forms.h>

namespace korven {

using detail::TryFinally;

VCL_IMPLEMENT_CLASS(TScanner, vcl::TComponent)

namespace {
// A form file that holds a TScanner can be read once the package is loaded.
struct RegisterScannerClass {
  RegisterScannerClass() { vcl::RegisterClass(TScanner::StaticClass()); }
} registerScannerClass;
}  // namespace

void TScanner::DeclareProperties(vcl::TPropertyBuilder<TScanner>& p) {
  using S = TScanner;
  // The order is the streaming order. Read-only values the inspector must show are writable with a
  // setter that drops the value, so a form file cannot change them.
  p.Property("Active", &S::GetActive, &S::SetActive).Stored(false);
  p.Property("SourceName", &S::GetSourceName, &S::SetSourceName);
  p.Property("SourceNames", &S::GetSourceNames, vcl::IgnoreValue).Stored(false);
  p.Property("UseDefaultSource", &S::GetUseDefaultSource, &S::SetUseDefaultSource).Default(false);
  p.Property("UseCurrentValue", &S::GetUseCurrentValue, &S::SetUseCurrentValue).Default(true);
  p.Property("MultiTransfer", &S::GetMultiTransfer, &S::SetMultiTransfer).Default(false);
  p.Property("Caps", &S::GetCaps, vcl::IgnoreValue);
  p.Property("ShowUI", &S::GetShowUI, &S::SetShowUI).Default(true);
  p.Property("ShowIndicator", &S::GetShowIndicator, &S::SetShowIndicator).Default(true);
  p.Property("Bitmap", &S::GetBitmap, &S::SetBitmap).Stored(false);
  p.Property("UnitMode", &S::GetUnitMode, &S::SetUnitMode).Default(umInch);
  p.Property("UnitModes", &S::GetUnitModes, vcl::IgnoreValue).Default(TScanUnitModes{umInch, umCm, umPixel});
  p.Property("PixelType", &S::GetPixelType, &S::SetPixelType).Default(ptRGB);
  p.Property("PixelTypes", &S::GetPixelTypes, vcl::IgnoreValue)
      .Default(TScanPixelTypes{ptBlackWhite, ptGray, ptRGB, ptPalette});
  p.Property("BitDepth", &S::GetBitDepth, &S::SetBitDepth).Default(24);
  p.Property("PaperSize", &S::GetPaperSize, &S::SetPaperSize).Default(psA4);
  p.Property("FrameTop", &S::GetFrameTop, &S::SetFrameTop);
  p.Property("FrameLeft", &S::GetFrameLeft, &S::SetFrameLeft);
  p.Property("FrameWidth", &S::GetFrameWidth, &S::SetFrameWidth);
  p.Property("FrameHeight", &S::GetFrameHeight, &S::SetFrameHeight);
  p.Property("MaxFrameWidth", &S::GetMaxFrameWidth, vcl::IgnoreValue).Stored(false);
  p.Property("MaxFrameHeight", &S::GetMaxFrameHeight, vcl::IgnoreValue).Stored(false);
  p.Property("HasFeeder", &S::GetHasFeeder, vcl::IgnoreValue).Default(false);
  p.Property("FeederEnabled", &S::GetFeederEnabled, &S::SetFeederEnabled).Default(false);
  p.Property("AutoFeedEnabled", &S::GetAutoFeedEnabled, &S::SetAutoFeedEnabled).Default(false);
  p.Property("Resolution", &S::GetResolution, &S::SetResolution);
  p.Property("Scaling", &S::GetScaling, &S::SetScaling);
  p.Property("AutoBright", &S::GetAutoBright, &S::SetAutoBright).Default(false);
  p.Property("Brightness", &S::GetBrightness, &S::SetBrightness);
  p.Property("Contrast", &S::GetContrast, &S::SetContrast);
  p.Property("Gamma", &S::GetGamma, &S::SetGamma);
  p.Property("Highlight", &S::GetHighlight, &S::SetHighlight);
  p.Property("Shadow", &S::GetShadow, &S::SetShadow);
  p.Property("Threshold", &S::GetThreshold, &S::SetThreshold);
  p.Property("OnBeforeScan", &S::GetOnBeforeScan, &S::SetOnBeforeScan).TypeName("TBeforeScanEvent");
  p.Property("OnAfterScan", &S::GetOnAfterScan, &S::SetOnAfterScan).TypeName("TAfterScanEvent");
  p.Property("OnActivate", &S::GetOnActivate, &S::SetOnActivate).TypeName("TNotifyEvent");
  p.Property("OnDeactivate", &S::GetOnDeactivate, &S::SetOnDeactivate).TypeName("TNotifyEvent");
}

TScanner::TScanner(vcl::TComponent* owner) : vcl::TComponent(owner) {
  FSourceNames = std::make_unique<vcl::TStringList>();
  InitAppID();
  FBitmap = std::make_unique<vcl::TBitmap>();
  FUseCurrentValue = true;
  for (auto* r : {&FBrightness, &FContrast, &FGamma, &FHighlight, &FShadow, &FThreshold, &FResolution, &FScaling})
    *r = std::make_unique<TScanRange>(this);
  Reset();
  TWAIN_SetBeforeScanEvent(this, [this](vcl::TObject* sender, const TW_IMAGEINFO& info, bool& cancel) {
    TWainBeforeScan(sender, info, cancel);
  });
  TWAIN_SetAfterScanEvent(this, [this](vcl::TObject* sender, HGLOBAL hDib, bool& cancel) {
    TWainAfterScan(sender, hDib, cancel);
  });
}

TScanner::~TScanner() {
  // Whatever the state: no library, source or SourcesInUse entry outlives the component. A
  // destructor cannot pass an exception on; the session goes as far down as it can. No events.
  try {
    UnloadSourceManager();
  } catch (const std::exception& e) {
    OutputDebugStringA((std::string("TScanner: ") + e.what()).c_str());
    DestroyProxyForm();
  }
  FSourceNames.reset();
  FBitmap.reset();
  for (auto* r : {&FBrightness, &FContrast, &FGamma, &FHighlight, &FShadow, &FThreshold, &FResolution, &FScaling})
    r->reset();
}

void TScanner::SetActive(bool value) {
  if (value == FActive) return;
  FActive = false;
  if (!value) {
    UnloadSourceManager();
    DoDeactivate();
    FSourceName.clear();
    return;
  }

  LoadSourceManager();
  if (!FSourceName.empty()) TWAIN_OpenSource(GetHandle(), FSourceName);
  // A named source that does not open falls back to the selection or the default, silently.
  if (FState < tsSOURCE_OPEN) {
    if (!FUseDefaultSource && GetSourceNames()->Count() >= 2 && !TWAIN_SelectImageSource(GetHandle())) {
      UnloadSourceManager();
      FSourceName.clear();
      return;  // the user cancelled: not an error
    }
    if (!TWAIN_OpenDefaultSource(GetHandle())) {
      UnloadSourceManager();
      FSourceName.clear();
      throw EScannerFaital(vcl::LoadStr(SScannerDoesNotWork));
    }
  }

  TScanUnitMode units = static_cast<TScanUnitMode>(TWAIN_GetCurrentUnits());
  FMaxFrameWidth = ConvertToTwips(units, TWAIN_GetCapFix32(ICAP_PHYSICALWIDTH, 0));
  FMaxFrameHeight = ConvertToTwips(units, TWAIN_GetCapFix32(ICAP_PHYSICALHEIGHT, 0));
  FCaps = TScannerCaps{};
  FSourceName = TWAIN_SourceName();
  for (TScanRange* r : {FBrightness.get(), FContrast.get(), FGamma.get(), FHighlight.get(), FShadow.get(),
                        FThreshold.get(), FResolution.get(), FScaling.get()})
    r->Refresh();
  if (TWAIN_GetCapUint16(ICAP_SUPPORTEDSIZES, -1) >= 0) FCaps.Include(scFrame);
  // HasFeeder asks the source only while active.
  FActive = true;
  TryFinally(
      [&] {
        if (GetHasFeeder()) FCaps.Include(scAutoFeeder);
      },
      [&] { FActive = false; });

  FUnitModes = TScanUnitModes{};
  FPixelTypes = TScanPixelTypes{};
  {
    vcl::TList list;
    int32_t current = 0, def = 0;
    if (TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, current, def))
      for (int i = 0; i < list.Count(); ++i) {
        auto v = reinterpret_cast<intptr_t>(list[i]);
        if (v >= 0 && v <= umPixel) FUnitModes.Include(static_cast<TScanUnitMode>(v));
      }
    if (TWAIN_GetCapEnumeration(ICAP_PIXELTYPE, TWTY_UINT16, &list, current, def))
      for (int i = 0; i < list.Count(); ++i) {
        auto v = reinterpret_cast<intptr_t>(list[i]);
        if (v >= 0 && v <= ptCIEXYZ) FPixelTypes.Include(static_cast<TScanPixelType>(v));
      }
  }

  FActive = true;
  if (FUseCurrentValue)
    CurrentSettings();
  else
    ApplySettings();
  bool autoFeed = FAutoFeedEnabled;
  SetFeederEnabled(FFeederEnabled);
  if (GetFeederEnabled()) SetAutoFeedEnabled(autoFeed);
  DoActivate();
}

bool TScanner::Open() {
  SetActive(true);
  return FActive;
}

bool TScanner::Close() {
  SetActive(false);
  return !FActive;
}

bool TScanner::Select() {
  if (!FActive) LoadSourceManager();
  bool chosen = TWAIN_SelectImageSource(GetHandle());
  if (!FActive) UnloadSourceManager();
  return chosen;
}

void TScanner::CheckActive() {
  if (!FActive) throw EScannerWarning(vcl::LoadStr(SScannerNotActive));
}

std::string TScanner::GetVersion() const { return "Version 5.0.2"; }

void TScanner::LoadSourceManager() {
  if (!TWAIN_LoadSourceManager()) throw EScannerFaital(vcl::LoadStr(SCannotLoadManager));
  if (GetSourceNames()->Count() < 1) throw EScannerFaital(vcl::LoadStr(SNoScannerInstalled));
}

void TScanner::UnloadSourceManager() {
  TryFinally(
      [&] {
        if (FState != tsPRESESSION) TWAIN_UnloadSourceManager(GetHandle());
      },
      [&] { DestroyProxyForm(); });
}

vcl::TStrings* TScanner::GetSourceNames() {
  if (FSourceNames->Count() > 0) return FSourceNames.get();
  bool hadProxy = FProxyForm != nullptr;
  // A proxy form made only for this enumeration goes again afterwards.
  TryFinally(
      [&] {
        if (!TWAIN_EnumSources(GetHandle(), FSourceNames.get())) FSourceNames->Clear();
      },
      [&] {
        if (!hadProxy) DestroyProxyForm();
      });
  return FSourceNames.get();
}

void TScanner::SetBitmap(vcl::TBitmap* value) { FBitmap->Assign(value); }

HWND TScanner::GetHandle() {
  HWND h = vcl::Application ? vcl::Application->GetHandle() : 0;
  if (auto* control = dynamic_cast<vcl::TControl*>(GetOwner())) {
    if (vcl::TCustomForm* form = vcl::GetParentForm(control)) h = form->GetHandle();
  }
  if (IsWindow(h)) return h;
  return CreateProxyForm();
}

HWND TScanner::CreateProxyForm() {
  if (!FProxyForm) {
    auto form = std::make_unique<vcl::TForm>(vcl::Application);
    form->SetBorderStyle(vcl::bsToolWindow);
    form->SetCaption("TScanner ProxyWindow");
    vcl::TSize extent = form->GetCanvas()->TextExtent("TScanner ProxyWindow");
    form->SetBounds(0, 0, extent.cx, extent.cy);
    form->Show();
    FProxyForm = form.release();
    FProxyForm->FreeNotification(this);
  }
  return FProxyForm->GetHandle();
}

void TScanner::Notification(vcl::TComponent* component, vcl::TOperation operation) {
  inherited::Notification(component, operation);
  if (operation == vcl::opRemove && component == static_cast<vcl::TComponent*>(FProxyForm)) FProxyForm = nullptr;
}

void TScanner::DestroyProxyForm() {
  delete FProxyForm;
  FProxyForm = nullptr;
}

void TScanner::DoActivate() {
  if (FOnActivate) FOnActivate(this);
}

void TScanner::DoDeactivate() {
  if (FOnDeactivate) FOnDeactivate(this);
}

void TScanner::AssignTo(vcl::TPersistent* Dest) {
  auto* d = dynamic_cast<TScanner*>(Dest);
  if (!d) {
    inherited::AssignTo(Dest);
    return;
  }
  d->SetActive(false);
  // Raw copies: the destination's setters would talk to a source or re-derive the paper size.
  d->FSourceName = FSourceName;
  d->FSourceNames->Assign(FSourceNames.get());
  d->FUseDefaultSource = FUseDefaultSource;
  d->FUseCurrentValue = FUseCurrentValue;
  d->FMultiTransfer = FMultiTransfer;
  d->FCaps = FCaps;
  d->FShowUI = FShowUI;
  d->FShowIndicator = FShowIndicator;
  d->FBitmap->Assign(FBitmap.get());
  d->FUnitMode = FUnitMode;
  d->FUnitModes = FUnitModes;
  d->FPixelType = FPixelType;
  d->FPixelTypes = FPixelTypes;
  d->FBitDepth = FBitDepth;
  d->FFrameTop = FFrameTop;
  d->FFrameLeft = FFrameLeft;
  d->FFrameWidth = FFrameWidth;
  d->FFrameHeight = FFrameHeight;
  d->FPaperSize = FPaperSize;
  d->FMaxFrameWidth = FMaxFrameWidth;
  d->FMaxFrameHeight = FMaxFrameHeight;
  d->FFeederEnabled = FFeederEnabled;
  d->FAutoFeedEnabled = FAutoFeedEnabled;
  d->FAutoBright = FAutoBright;
  d->FResolution->Assign(FResolution.get());
  d->FScaling->Assign(FScaling.get());
  d->FBrightness->Assign(FBrightness.get());
  d->FContrast->Assign(FContrast.get());
  d->FGamma->Assign(FGamma.get());
  d->FHighlight->Assign(FHighlight.get());
  d->FShadow->Assign(FShadow.get());
  d->FThreshold->Assign(FThreshold.get());
}

}  // namespace korven
