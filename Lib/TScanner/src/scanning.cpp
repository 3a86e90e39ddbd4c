// Scanning: Execute and Abort, the bridges from the session layer's low-level scan events to the
// component's OnBeforeScan / OnAfterScan, the source's identity and its native resolutions.
#include "internal.h"

#include <vcl/Forms.h>

namespace korven {

using detail::TryFinally;

namespace {
// Whether the form remembered before a scan still exists: a handler may have freed it meanwhile.
bool FormStillExists(vcl::TCustomForm* form) {
  if (!vcl::Screen) return false;
  for (int i = 0; i < vcl::Screen->FormCount(); ++i)
    if (vcl::Screen->Forms(i) == form) return true;
  return false;
}
}  // namespace

bool TScanner::Execute() {
  vcl::TCustomForm* activeForm = vcl::Screen ? vcl::Screen->ActiveForm() : nullptr;
  bool wasActive = FActive;
  return TryFinally(
      [&] {
        if (!wasActive) {
          try {
            SetActive(true);
          } catch (const EScannerFaital&) {
            throw;
          } catch (const vcl::Exception& e) {
            // Any other activation failure means "no scan", not an error of Execute.
            OutputDebugStringA((std::string("TScanner.Execute: ") + e.Message()).c_str());
          }
        }
        if (!FActive) return false;
        // A source that closed itself since (its user closed its dialog, or it asked to be closed
        // when done) is opened again, so the settings below reach the source that scans.
        if (FState < tsSOURCE_OPEN) ReopenSource();
        // The component's settings win before every scan, also over the ones activation took.
        ApplySettings();
        return TWAIN_AcquireNative(GetHandle());
      },
      [&] {
        if (!wasActive) SetActive(false);
        // A form freed or hidden meanwhile cannot take the focus; the scan's result still counts.
        if (activeForm && FormStillExists(activeForm) && activeForm->CanFocus()) {
          activeForm->SetFocus();
          vcl::Application->BringToFront();
        }
      });
}

void TScanner::ReopenSource() {
  if (!FSourceName.empty()) TWAIN_OpenSource(GetHandle(), FSourceName);
  if (FState < tsSOURCE_OPEN && !TWAIN_OpenDefaultSource(GetHandle())) return;  // the acquisition reports it
  FSourceName = TWAIN_SourceName();
  bool autoFeed = FAutoFeedEnabled;
  SetFeederEnabled(FFeederEnabled);
  if (GetFeederEnabled()) SetAutoFeedEnabled(autoFeed);
}

void TScanner::Abort() { TWAIN_BreakModalLoop(); }

void TScanner::TWainBeforeScan(vcl::TObject* Sender, const TW_IMAGEINFO& Info, bool& Cancel) {
  TScanImageInfo info;
  info.XResolution = Fix32ToSingle(Info.XResolution);
  info.YResolution = Fix32ToSingle(Info.YResolution);
  info.Width = Info.ImageWidth;
  info.Height = Info.ImageLength;
  info.BitsPerPixel = Info.BitsPerPixel;
  info.PixelType = static_cast<TScanPixelType>(static_cast<uint8_t>(Info.PixelType));
  if (auto* scanner = vcl::As<TScanner>(Sender)) scanner->DoBeforeScan(info, Cancel);
}

void TScanner::TWainAfterScan(vcl::TObject* Sender, HGLOBAL hDib, bool& Cancel) {
  // A DIB the bitmap could not take leaves the previous page in Bitmap: handing that on as the new
  // page would be a wrong page, so the event is not raised (the fault is in the debug output).
  // The DIB is freed as soon as this handler returns and nothing reads it before, so the bitmap takes
  // its pixels over rather than copying a whole page.
  if (!DrawDib(FBitmap.get(), hDib, true)) return;
  if (auto* scanner = vcl::As<TScanner>(Sender)) scanner->DoAfterScan(FBitmap.get(), Cancel);
}

void TScanner::DoBeforeScan(const TScanImageInfo& ImageInfo, bool& Cancel) {
  TScanImageInfo copy = ImageInfo;
  if (FOnBeforeScan) FOnBeforeScan(this, copy, Cancel);
}

void TScanner::DoAfterScan(vcl::TBitmap* Bitmap, bool& Cancel) {
  if (FOnAfterScan) FOnAfterScan(this, Bitmap, Cancel);
}

TScanSourceInfo TScanner::GetSourceInfo() const {
  TScanSourceInfo info;
  if (!FActive) return info;
  info.MajorNum = FSourceID.Version.MajorNum;
  info.MinorNum = FSourceID.Version.MinorNum;
  info.VersionInfo = detail::Str32(FSourceID.Version.Info);
  info.Manufacturer = detail::Str32(FSourceID.Manufacturer);
  info.ProductFamily = detail::Str32(FSourceID.ProductFamily);
  info.ProductName = detail::Str32(FSourceID.ProductName);
  return info;
}

float TScanner::GetXNativeResolution() {
  CheckActive();
  return TWAIN_GetCapFix32(ICAP_XNATIVERESOLUTION, 0);
}

float TScanner::GetYNativeResolution() {
  CheckActive();
  return TWAIN_GetCapFix32(ICAP_YNATIVERESOLUTION, 0);
}

}  // namespace korven
