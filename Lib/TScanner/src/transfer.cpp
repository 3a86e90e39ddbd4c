// Native image transfer: one whole acquisition, the waits for each image, one transfer per image
// with the low-level before- and after-scan handlers, and the release of every DIB.
#include "internal.h"

namespace korven {

using detail::TryFinally;

bool TScanner::TWAIN_AcquireNative(HWND hWnd) {
  TWAINState old = FState;
  bool result = false;
  HWND h = GetValidHwnd(hWnd);

  if (FState < tsSOURCE_OPEN) {
    if (!TWAIN_OpenSourceManager(h))
      TWAIN_ErrorBox("Unable to open Source Manager (TWAIN_32.DLL)");
    else if (!TWAIN_OpenDefaultSource(h))
      TWAIN_ErrorBox("Unable to open default Data Source");
    else
      VCL_ASSERT(FState == tsSOURCE_OPEN);
  }
  if (FState == tsSOURCE_OPEN && !TWAIN_SetXferMech(XFERMECH_NATIVE)) {
    TWAIN_UnloadSourceManager(h);
    TWAIN_ErrorBox("Error setting Native Transfer mode");
    return false;
  }
  FStopXfer = false;
  bool batchDone = false;

  TryFinally(
      [&] {
        while (FState >= tsSOURCE_OPEN) {
          result = TWAIN_WaitForNativeXfer(h) != 0;
          if (!GetMultiTransfer() || FStopXfer) break;
          // Without its dialog nobody can ask an idle source for more: waiting again would never
          // end, so the batch is complete when nothing is pending any more.
          if (!GetShowUI() && FState == tsSOURCE_ENABLED) {
            batchDone = true;
            break;
          }
        }
      },
      [&] {
        // With MultiTransfer and no stop the source was closed by its user: the session stays there.
        if (!GetMultiTransfer() || FStopXfer || batchDone) {
          TryFinally(
              [&] {
                TWAIN_AbortAllPendingXfers();
                TWAIN_DisableSource();
              },
              [&] {
                if (old < tsSM_OPEN) TWAIN_CloseSourceManager(h);
                if (old == tsPRESESSION) TWAIN_UnloadSourceManager(h);
              });
        }
      });
  return result;
}

bool TScanner::TWAIN_SetXferMech(TWAINXferMech Mech) {
  if (!TWAIN_SetCapOneValue(ICAP_XFERMECH, TWTY_UINT16, static_cast<int32_t>(Mech))) return false;
  FXferMech = Mech;
  return true;
}

void TScanner::TWAIN_WaitForXfer(HWND hWnd) {
  HWND h = GetValidHwnd(hWnd);
  bool wasDisabled = EnableWindow(h, FALSE) != 0;
  TryFinally(
      [&] {
        if (FState == tsTRANSFER_READY)
          DoOneTransfer();
        else if (FState >= tsSOURCE_ENABLED || TWAIN_EnableSource(h))
          TWAIN_ModalEventLoop();
        else {
          TWAIN_ErrorBox("Failed to enable Data Source");
          // A source that cannot be enabled will not be enabled by asking again: the acquisition
          // ends here as after a failed transfer (with MultiTransfer the next wait would ask again
          // for ever).
          FStopXfer = true;
        }
      },
      [&] { EnableWindow(h, wasDisabled ? FALSE : TRUE); });
}

HGLOBAL TScanner::TWAIN_WaitForNativeXfer(HWND hWnd) {
  FLastDib = 0;
  if (TWAIN_CheckSourceOpen()) TWAIN_WaitForXfer(hWnd);
  return FLastDib;
}

void TScanner::DoOneTransfer() {
  TryFinally(
      [&] {
        switch (FXferMech) {
          case XFERMECH_NATIVE: NativeXferHandler(); break;
          case XFERMECH_FILE: FileXferHandler(); break;
          case XFERMECH_MEMORY: MemoryXferHandler(); break;
        }
      },
      [&] {
        TWAIN_BreakModalLoop();
        // A transfer the source would not end leaves the session transferring, where no event can
        // come: the acquisition ends as after a failed transfer, and its clean-up asks once more.
        if (!TWAIN_EndXfer()) FStopXfer = true;
        VCL_ASSERT(FState == tsTRANSFER_READY || FState == tsSOURCE_ENABLED,
                   "State=tsTRANSFER_READY or State=tsSource_ENABLED (State=" + detail::StateName(FState) + ")");
      });
}

void TScanner::NativeXferHandler() {
  if (FState != tsTRANSFER_READY) {
    FLastDib = 0;
    return;
  }
  if (FTwainBeforeScan) {
    TW_IMAGEINFO info{};
    // A source that cannot describe the image still delivers it; only the handler is skipped.
    if (TWAIN_DS(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info)) FTwainBeforeScan(FTwainEventSender, info, FStopXfer);
  }
  // The image stays pending; the acquisition's clean-up resets it.
  if (FStopXfer) return;

  HGLOBAL hDib = 0;
  TryFinally(
      [&] {
        if (TWAIN_DS(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &hDib)) {
          FLastDib = hDib;
          if (FTwainAfterScan) FTwainAfterScan(FTwainEventSender, hDib, FStopXfer);
        } else {
          FStopXfer = true;
        }
      },
      [&] { TWAIN_FreeNative(hDib); });
}

void TScanner::FileXferHandler() {
  TWAIN_ErrorBox("FileXfer not supported");
  FStopXfer = true;
}

void TScanner::MemoryXferHandler() {
  TWAIN_ErrorBox("MemoryXfer not supported");
  FStopXfer = true;
}

void TScanner::TWAIN_FreeNative(HGLOBAL hDib) {
  if (hDib == 0) return;
  HGLOBAL left = GlobalFree(hDib);
  VCL_ASSERT(left == 0);
}

void TScanner::TWAIN_SetBeforeScanEvent(vcl::TObject* Sender, TWainBeforeScanEvent Event) {
  FTwainBeforeScan = std::move(Event);
  FTwainEventSender = Sender;
}

void TScanner::TWAIN_SetAfterScanEvent(vcl::TObject* Sender, TWainAfterScanEvent Event) {
  FTwainAfterScan = std::move(Event);
  FTwainEventSender = Sender;
}

}  // namespace korven
