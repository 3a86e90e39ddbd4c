// The message pump of an enabled source: the modal loop, the queue drain, the hook that offers each
// window message to the source, and the hidden proxy window used when a caller has no valid parent.
#include "internal.h"

#include <vcl/Dialogs.h>

namespace korven {

HWND TScanner::CreateProxyWindow() {
  vcl::ShowMessage("CreateProxyWindow");
  return CreateWindowExA(0, "STATIC", "TWAIN Proxy", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, 0, 0, 0, nullptr);
}

HWND TScanner::GetValidHwnd(HWND hWnd) {
  if (IsWindow(hWnd)) return hWnd;
  if (FProxyWindow == 0) FProxyWindow = CreateProxyWindow();
  // A proxy destroyed from outside is not recreated here; the next call makes a new one.
  if (FProxyWindow == 0 || !IsWindow(FProxyWindow)) {
    TWAIN_ErrorBox("TScanner: Unable to create window");
    FProxyWindow = 0;
  }
  vcl::ShowMessage("UseProxyWindow");
  return FProxyWindow;
}

void TScanner::TWAIN_ModalEventLoop() {
  FBreakModalLoop = false;
  detail::TryFinally(
      [&] {
        MSG msg{};
        // The conditions are tested before each fetch, in this order. GetMessageA's -1 (an error)
        // ends the loop like WM_QUIT: there is no message to offer.
        while (FState >= tsSOURCE_ENABLED && !FBreakModalLoop) {
          BOOL got = GetMessageA(&msg, 0, 0, 0);
          if (got == 0 || got == -1) break;
          if (!TWAIN_MessageHook(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
          }
        }
      },
      [&] { FBreakModalLoop = false; });
}

void TScanner::TWAIN_EmptyMessageQueue() {
  MSG msg{};
  while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) {
    if (!TWAIN_MessageHook(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void TScanner::TWAIN_BreakModalLoop() { FBreakModalLoop = true; }

bool TScanner::TWAIN_MessageHook(MSG& Msg) {
  if (FState < tsSOURCE_ENABLED) return false;
  bool result = false;
  try {
    TW_EVENT event{};
    event.pEvent = &Msg;
    event.TWMessage = MSG_NULL;
    result = TWAIN_DS(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    switch (event.TWMessage) {
      case MSG_XFERREADY:
        VCL_ASSERT(FState == tsTRANSFER_READY);
        DoOneTransfer();
        break;
      case MSG_CLOSEDSREQ:
        TWAIN_CloseSource();
        break;
      default:
        break;
    }
  } catch (const vcl::Exception& e) {
    vcl::MessageDlg(e.Message(), vcl::mtError, vcl::TMsgDlgButtons{vcl::mbOK}, 0);
  }
  return result;
}

}  // namespace korven
